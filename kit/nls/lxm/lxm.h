// Character cursors: walking text in a language handle's character set one
// character at a time, keeping the shift state of shift-sensitive sets.
#ifndef QEN_KIT_NLS_LXM_H
#define QEN_KIT_NLS_LXM_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"

#ifdef __cplusplus
extern "C" {
#endif

// A cursor over len bytes at start. The caller owns it; opening fills every
// field. The bytes left at a cursor are len - (pos - start); a step at the
// end moves pos one byte past it, so compare pos - start with len.
typedef struct lxmcur {
  int32_t single_byte;      // 1: the handle's set is single-byte
  int32_t shift_sensitive;  // 1: the handle's set is shift-sensitive
  unsigned char *pos;       // current position
  const lxlangid *langid;   // the handle whose character set the text is in
  unsigned char *start;     // first byte of the text
  int32_t shifted;          // 1 while shifted out (multibyte characters)
  size_t len;               // byte length of the text; (size_t)-1 for no limit
  int32_t mark;             // the no-skip argument of lxmopen, 0 after lxmcpen
  uint16_t mark2;           // cleared at opening
} lxmcur;

// Bytes left at the cursor; 0 once a step has moved it past its end.
static inline size_t lxmleft(const lxmcur *cur) {
  size_t used = (size_t)(cur->pos - cur->start);
  return used < cur->len ? cur->len - used : 0;
}

// Opens a cursor over text[0..len) in the handle's character set. In a
// shift-sensitive set with noskip 0 and len not 0 the shift bytes at the
// start are stepped over; returns their number, else 0. Reading cursors and
// output cursors are both opened here, so the text is taken as writable.
size_t lxmopen(const void *text, size_t len, lxmcur *cur, const lxlangid *langid, lxglo *glo,
               int noskip);

// lxmopen with mark 0, always stepping over the leading shift bytes of a
// non-empty shift-sensitive text; returns their number.
size_t lxmcpen(const void *text, size_t len, lxmcur *cur, const lxlangid *langid, lxglo *glo);

// Steps over consecutive shift bytes at the cursor, keeping its shift state;
// returns the bytes stepped.
size_t lxmskps(lxmcur *cur, lxglo *glo);

// Steps over one character (and, in a shift-sensitive set, the shift bytes
// that follow it); returns the bytes stepped. A character cut off by the end
// of the text moves the cursor one byte and gives 0.
size_t lxmfwdx(lxmcur *cur, lxglo *glo);

// Nonzero (the class bit) when the character at the cursor is a digit.
int lxmdigx(const lxmcur *cur, lxglo *glo);

// 1 when the character at the cursor is the character set's multibyte
// equivalent of the single-byte code (an ASCII letter or sign), else 0.
int lxmctex(const lxmcur *cur, int code, lxglo *glo);

// The single-byte equivalent of the character at the cursor, 0 for none;
// nbytes receives the character's length and status is cleared.
int lxmtos(const lxmcur *cur, lxglo *glo);

// lxmfwdx with the byte-class table (256 16-bit entries) given by the caller,
// for loops that hoist it.
size_t lxmfwtx(lxmcur *cur, const uint16_t *classtab);

// Steps back over one shift byte right before the cursor; -1 when it
// stepped, else 0. Sets mark to 1 and clears status and nbytes.
int lxmr2w(lxmcur *cur, lxglo *glo);

// Class tests of the character at the cursor: the class bits found, nonzero
// when it has the class. A character cut off by the end of the text has no
// class.
int lxmalnx(const lxmcur *cur, lxglo *glo);  // alphabetic or digit
int lxmalpx(const lxmcur *cur, lxglo *glo);  // alphabetic
int lxmlowx(const lxmcur *cur, lxglo *glo);  // lower case
int lxmspax(const lxmcur *cur, lxglo *glo);  // space
int lxmuppx(const lxmcur *cur, lxglo *glo);  // upper case

// The upper-case test (class bit 0x4) of a packed wide value.
int lxwuppx(uint32_t wide, const lxlangid *langid, lxglo *glo);

// 1 when the packed wide value is the character set's equivalent of the
// single-byte code (or the code itself), else 0.
int lxwctex(uint32_t wide, int code, const lxlangid *langid, lxglo *glo);

// The character at the cursor as a packed wide value (its bytes read
// big-endian); 0 for a character cut off by the end of the text.
uint32_t lxmc2wx(const lxmcur *cur, lxglo *glo);

// The lower-case and upper-case forms of the character at the cursor as
// packed wide values; 0 for a character cut off by the end of the text.
uint32_t lxm2wlx(const lxmcur *cur, lxglo *glo);
uint32_t lxm2wux(const lxmcur *cur, lxglo *glo);

// The lower-case form of a packed wide value (the value itself when it has
// none).
uint32_t lxwc2lx(uint32_t wide, const lxlangid *langid, lxglo *glo);

// Display width in columns of the character at the cursor: 1 or 2; an
// ambiguous character takes 2 for the languages at boot indexes 33 to 36 and
// 43, else 1. A character cut off by the end of the text takes 0.
unsigned lxmdspx(const lxmcur *cur, lxglo *glo);

// lxmdspx plus one column for a shift byte that follows the character.
unsigned lxmdssln(const lxmcur *cur, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
