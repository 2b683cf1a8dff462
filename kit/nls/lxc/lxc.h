// Character-set objects (the record and its tables are those of lxf.h) and
// the one-character codecs.
#ifndef QEN_KIT_NLS_LXC_H
#define QEN_KIT_NLS_LXC_H

#include <stddef.h>
#include <stdint.h>

#include "lxf.h"
#include "lxfglo.h"

#ifdef __cplusplus
extern "C" {
#endif

// Start of table t in the data area.
static inline const uint8_t *lxcstab(const lxcsobj *cs, unsigned t) {
  return (const uint8_t *)cs + LXCS_DATA + cs->dir[t];
}

// Length in bytes of table t (its directory entry to the next one; the
// loader has checked that the entries ascend within the object).
static inline size_t lxcstablen(const lxcsobj *cs, unsigned t) {
  return cs->dir[t + 1] >= cs->dir[t] ? (size_t)(cs->dir[t + 1] - cs->dir[t]) : 0;
}

// ---- Codecs ---------------------------------------------------------------

typedef uint32_t (*lxcsm2uf)(const lxcsobj *cs, const uint8_t *p, uint16_t len);
typedef uint16_t (*lxcsu2mf)(const lxcsobj *cs, uint8_t *out, uint32_t value,
                             unsigned srcwidth, lxglo *glo);

uint32_t lxcsm2ux(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uUTF8(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uUTFE(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uAL16UTF16(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uAL32UTF8(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uAL16UTF16LE(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uGB18030(const lxcsobj *cs, const uint8_t *p, uint16_t len);
uint32_t lxcsm2uUTF32(const lxcsobj *cs, const uint8_t *p, uint16_t len);

uint16_t lxcsu2mx(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo);
uint16_t lxcsu2mUTF8(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo);
uint16_t lxcsu2mUTFE(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo);
uint16_t lxcsu2mAL16UTF16(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                          lxglo *glo);
uint16_t lxcsu2mAL32UTF8(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                         lxglo *glo);
uint16_t lxcsu2mAL16UTF16LE(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                            lxglo *glo);
uint16_t lxcsu2mGB18030(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                        lxglo *glo);
uint16_t lxcsu2mUTF32(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                      lxglo *glo);

uint16_t lxcsureplace(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth,
                      lxglo *glo);
uint16_t lxcsu22m(const uint8_t *rows, uint16_t unit, uint8_t *out);
// The byte of a single-byte set for a UTF-16 value, from its encoding rows
// (table 14): the first byte of the value's entry, else the set's single-byte
// replacement. A replacement given for any other value than the one the
// replacement byte stands for sets the replacement mark.
uint8_t lxcsu2sb(const lxcsobj *cs, uint32_t value, lxglo *glo);
// The bytes lxcsu2sb gives for the 256 values U+hh00..U+hhFF of one row,
// and which of them it would mark as replacements: a loop over a row asks
// the table once instead of once per character.
void lxcsu2sbrow(const lxcsobj *cs, unsigned hh, uint8_t byte[256], uint8_t lossy[256]);

// Ranks of the entries of sparse encoding rows, for a loop that encodes
// many characters through one charset: a row's bits are counted on its
// first use, after which an entry is found in constant time instead of by
// counting the bitmap's bits below it. lxcsu2mr gives exactly what the
// charset's encoder (lxcsencoder) gives, mark included.
typedef struct lxcsranks {
  const lxcsobj *cs;
  lxcsu2mf enc;                                 // the charset's encoder
  const uint8_t *rows;                          // its encoding rows (table 14)
  size_t rowslen;
  uint8_t plain[LXCSR_ROWS / 8];                // rows the encoder takes from the table alone
  uint8_t counted[LXCSR_ROWS / 8];              // rows counted, a bit each
  uint8_t below[LXCSR_ROWS][LXCSR_BITMAP];      // set bits before each byte of the bitmap
} lxcsranks;
void lxcsranksinit(lxcsranks *r, const lxcsobj *cs);
uint16_t lxcsu2mr(lxcsranks *r, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo);

// The codec pair of a charset object by the selection rule.
lxcsm2uf lxcsdecoder(const lxcsobj *cs);
lxcsu2mf lxcsencoder(const lxcsobj *cs);

// ---- Class values, width, case and equivalents of multibyte characters ---
// Pure reads of a loaded charset object, for the string operations. A
// packed value is a character's bytes read most significant first. Every
// lookup stays inside its table: what lies outside gives the "none" answer.

// The class value of the character at p from the class trie at trie (0 when
// the trie does not hold it).
uint16_t lxcsgmt(const uint8_t *p, const uint8_t *trie);
// The class value of the character at p; in a UTF-16 code-unit set a zero
// first byte takes the byte class of the second byte.
uint16_t lxcsgmc(const lxcsobj *cs, const uint8_t *p);
// Display width of the character at p: 1, or 2 for a wide character or one
// the class trie does not hold; in UTF-16 code-unit sets the width bits of
// its property value (3 for an ambiguous width).
unsigned lxcsgmw(const lxcsobj *cs, const uint8_t *p);
// Write the lower-case / upper-case form of the len-byte character at p
// (at most 4 bytes) at out; return its length, which may differ from len.
// A character without that form is copied unchanged.
size_t lxcsmlo(const lxcsobj *cs, uint8_t *out, const uint8_t *p, size_t len);
size_t lxcsmup(const lxcsobj *cs, uint8_t *out, const uint8_t *p, size_t len);
// The upper-case (upper nonzero) or lower-case form of the len-byte character
// at p through the class trie and the case maps alone, without the 16-bit
// tables of a UTF-16 set's first 256 values: the map search that lxcsmup,
// lxcsmlo and the string operations' case maps share. Writes at most 4 bytes
// (by magnitude; 2 or 4 in a UTF-16 code-unit set) and returns their number;
// a character without that form is copied unchanged.
size_t lxcsmmap(const lxcsobj *cs, int upper, uint8_t *out, const uint8_t *p, size_t len);
// The lower-case / upper-case form of a packed value, or the value itself.
uint32_t lxcswlo(const lxcsobj *cs, uint32_t v);
uint32_t lxcswup(const lxcsobj *cs, uint32_t v);
// The single byte whose equivalent the len-byte character at p is, or 0.
uint8_t lxcsm2s(const lxcsobj *cs, const uint8_t *p, size_t len);
// Writes the multibyte equivalent of byte at out; its length, 0 for none.
size_t lxcss2m(const lxcsobj *cs, uint8_t *out, uint8_t byte);

// ---- Unicode properties --------------------------------------------------
// A character is given by its bytes in the charset's own encoding.

// Canonical combining class (table 6), 0 when the character has none.
uint16_t lxcsugcm(const lxcsobj *cs, const uint8_t *p, size_t len);
// Numeric value (table 17), LXCS_NONUMERIC when the character has none.
#define LXCS_NONUMERIC 0x7FFFFFFFu
uint32_t lxcsugnv(const lxcsobj *cs, const uint8_t *p, size_t len);
// Property value (table 13; a zero first byte reads the 256 values that the
// AL16UTF16 object keeps at 652). Bits 6-7 are the display width.
uint16_t lxcsugpv(const lxcsobj *cs, const uint8_t *p);

// ---- Constant tables ------------------------------------------------------

extern const uint8_t lxcse2i[256];   // UTF-EBCDIC byte -> I8 byte
extern const uint8_t lxcsi2e[256];   // I8 byte -> UTF-EBCDIC byte
extern const uint8_t lxcsbm[16];     // set bits of 0 to 15
extern const uint8_t lxcsbmr[8];     // mask of the bits below bit k
#define LXCGB_RANGES 206
extern const uint16_t lxcgbMaping[LXCGB_RANGES][4];  // {first unit, last unit, first index, last index}

#define LXCGB_BMP0 1687218u   // linear value of 81 30 81 30
#define LXCGB_SUPP0 1876218u  // linear value of 90 30 81 30 (U+10000)

// ---- GB18030 character routines --------------------------------------------

// lxcgbgwt mode bit: decide from the first bytes only (no look-ahead), so
// that an incomplete character can be carried.
#define LXCGB_FIRSTBYTES 0x1u

// Length of the character at p with avail bytes available: the byte class,
// GB18030's four-byte form, and the surrogate look-ahead of the UTF-16
// shaped sets (the first bytes only with LXCGB_FIRSTBYTES).
unsigned lxcgbgwt(const lxcsobj *cs, const uint8_t *p, size_t avail, unsigned mode);
// One character of len bytes to its UTF-16 value (single bytes by table).
uint32_t lxcgbt2u(const lxcsobj *cs, const uint8_t *p, unsigned len);
// One value into cs by the codec selection rule (GB18030 tested first).
uint16_t lxcgbu2t(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo);
// Writes the four GB18030 bytes of linear value n; returns the first byte.
uint8_t lxcgbunLinear(uint32_t n, uint8_t *out);

#ifdef __cplusplus
}
#endif

#endif
