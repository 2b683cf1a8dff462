// Stand-in for the NLS string operation that slgpn needs and the kit does
// not have yet: integer-to-text conversion in a handle's character set. It
// serves character sets whose digits are the ASCII bytes (single-byte
// ASCII-based sets and UTF-8), and goes when the numeric-text operations
// arrive.
#ifndef QEN_KIT_OSD_SLGPN_NLS_STANDIN_H
#define QEN_KIT_OSD_SLGPN_NLS_STANDIN_H

#include <stddef.h>
#include <stdint.h>

// value as decimal text (at least width digits, zero-filled; a '-' first
// for a negative signed value) in buf; its length.
size_t slgpn_numstr(int64_t value, int width, char *buf, size_t size);

#endif
