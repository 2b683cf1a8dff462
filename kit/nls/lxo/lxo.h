// NLS string operations: copying, concatenation and lengths of texts, and
// writing characters at a cursor.
#ifndef QEN_KIT_NLS_LXO_H
#define QEN_KIT_NLS_LXO_H

#include <stddef.h>
#include <stdint.h>

#include "lxm.h"

#ifdef __cplusplus
extern "C" {
#endif

// Flags of the copy and write operations.
#define LXO_NOROOMCHECK 0x800000u   // the caller guarantees the output room
#define LXO_NULTERM 0x10000000u     // the source ends at a NUL (at most at its length)
#define LXO_EXACTLEN 0x20000000u    // the source is exactly its length; NULs are ordinary
#define LXO_CHARLEN 0x40000000u     // the source length counts characters

// Byte length of a UTF-16 text before its terminating unit of two zero bytes.
size_t lxsulen(const void *text);

// Writes a packed wide value (its bytes big-endian) as one character at the
// cursor, with the shift byte the cursor's state needs first, and advances
// it. Returns the bytes written, or 0 with status 6 when the cursor's room
// (unlimited with LXO_NOROOMCHECK) is too small; a shift-out byte written
// before that stays written.
size_t lxoWriWChar(lxmcur *out, uint32_t wide, uint32_t flags, lxglo *glo);

// Copies src[0..srclen), a plain string in the cursor handle's character
// set, to the cursor: at most dstsize bytes and never past the cursor's own
// length, never splitting a character. Advances the cursor and returns the
// bytes written; glo's nbytes receives the source bytes taken (a NUL that
// ended the source included), ncount the characters taken and ncount2 the
// characters written.
size_t lxoCpToOp(lxmcur *dst, size_t dstsize, const void *src, size_t srclen, uint32_t flags,
                 lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
