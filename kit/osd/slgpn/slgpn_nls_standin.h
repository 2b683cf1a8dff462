// Stand-ins for two NLS string operations that slgpn needs and the kit
// does not have yet: the character test against an ASCII letter and
// character counting in a handle's character set. They
// serve character sets whose letters and digits are the ASCII bytes
// (single-byte ASCII-based sets and UTF-8), and go when the NLS string
// operations arrive.
#ifndef QEN_KIT_OSD_SLGPN_NLS_STANDIN_H
#define QEN_KIT_OSD_SLGPN_NLS_STANDIN_H

#include <stddef.h>
#include <stdint.h>

#include "lxm.h"

// The character at the cursor, as a packed wide value (its bytes
// big-endian), and its byte length; steps over shift bytes before it. The
// cursor is not moved.
uint32_t slgpn_peekchar(lxmcur *cur, size_t *len, lxglo *glo);
// 1 when that character is the ASCII character c.
int slgpn_isascii(uint32_t wide, size_t len, char c);
// Characters of text up to its first zero byte.
size_t slgpn_cntchar(const char *text, const lxlangid *langid, lxglo *glo);

#endif
