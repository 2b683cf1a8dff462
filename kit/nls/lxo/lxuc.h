// Unicode collation elements of multilingual linguistic sorts and the
// multilingual comparison built on them.
//
// A multilingual sort (sort id 4096 and above) orders text by 32-bit
// collation elements looked up per UTF-16 code unit: primary weight in bits
// 31-16, secondary in 15-8, tertiary in 7-0. Values from 0xFFC00000 up are
// references (contraction start, expansion, canonical combining character,
// high surrogate, implicit weight). lxucom2u turns the characters at a
// cursor into units, lxucGetKeys the next character of a unit buffer into
// elements, and lxoUcCmp compares two texts element by element without
// building keys.
//
// Every offset, block, index and count read from a sort object is checked
// against the object's size; one that lies outside acts as a missing entry.
// Callers: the linguistic comparison, tests. Nothing here allocates or keeps
// state between calls; no status is set.
#ifndef QEN_KIT_NLS_LXUC_H
#define QEN_KIT_NLS_LXUC_H

#include <stddef.h>
#include <stdint.h>

#include "lxm.h"

#ifdef __cplusplus
extern "C" {
#endif

// Collation flags of a multilingual sort object (its 32-bit word at +152).
#define LXUC_F_CONTRACT 0x1u    // contractions
#define LXUC_F_EXPAND 0x2u      // expansions
#define LXUC_F_CANON 0x4u       // canonical combining characters
#define LXUC_F_THAI 0x8u        // Thai and Lao vowels written first are reordered
#define LXUC_F_REVSEC 0x10u     // reverse secondary order
#define LXUC_F_CASE 0x40u       // case handling of the comparison
#define LXUC_F_HANGUL 0x80u     // Hangul jamo are composed
#define LXUC_F_DIRECT 0x100u    // direct table for units below 256

// Element references: the high 16 bits give the kind.
#define LXUC_REF 0xFFC00000u
#define LXUC_CONTRACT 0xFFC1u
#define LXUC_EXPAND 0xFFC2u
#define LXUC_CANON 0xFFC3u
#define LXUC_SURROGATE 0xFFC5u
#define LXUC_IMPLICIT 0xFFF00000u

// Kind codes of lxucUC2key and lxucGetKeys.
#define LXUC_K_UNKNOWN 0   // a reference of an unknown kind
#define LXUC_K_OFF 1       // a kind the sort's flags do not enable
#define LXUC_K_ELEMS 4     // elements
#define LXUC_K_CONTRACT 6  // contraction start
#define LXUC_K_CANON 8     // canonical combining character
#define LXUC_K_THAI 9      // Thai or Lao vowel written before its consonant
#define LXUC_K_SURR 10     // high surrogate
#define LXUC_K_HANGUL 11   // Hangul jamo to compose

// Sizes: units a unit buffer holds, elements one step may produce (a longer
// expansion is cut), bytes of the history.
#define LXUC_UNITS 64
#define LXUC_ELEMS 64
#define LXUC_HIST 48

// Key state of one side.
typedef struct lxucstate {
  size_t fill;    // where the next converted units go while more are needed, else 0
  size_t nunits;  // units waiting at the front of the unit buffer
  size_t need;    // 1: buffer used up; while a kind waits for units, how many are missing; else 0
  size_t nelems;  // elements produced by the last step
  uint8_t hist[LXUC_HIST];  // big-endian UTF-16 of the last base character and its marks
  size_t nhist;   // bytes used in hist
  uint8_t eot;    // 1 when the side's text has no more characters
} lxucstate;

// Converts up to chars characters at the cursor into UTF-16 units (host
// order) at units, at most capacity - 1 of them, and advances the cursor;
// *consumed receives the bytes taken. Flags: 0x10 lower case, 0x200 base
// letters, 0x400 case folding, 0x10000000 a NUL ends the text. Returns the
// units written.
size_t lxucom2u(uint16_t *units, size_t capacity, lxmcur *cur, size_t *consumed, size_t chars,
                uint32_t flags, lxglo *glo);

// The elements of units[0] (kind code; *count elements at elems, at most
// LXUC_ELEMS). sort is the loaded multilingual sort object.
int lxucUC2key(const void *sort, const uint16_t *units, uint32_t *elems, size_t *count);

// The elements of the next character of the unit buffer (LXUC_UNITS units,
// st->nunits waiting), consuming its units. Returns LXUC_K_ELEMS with
// st->nelems elements at elems; or LXUC_K_CONTRACT, LXUC_K_THAI, LXUC_K_SURR
// or LXUC_K_HANGUL with st->need above 0: convert need more characters at
// st->fill and call again; or LXUC_K_HANGUL with need 0: call again for the
// composed syllable.
int lxucGetKeys(const void *sort, lxucstate *st, uint16_t *units, uint32_t *elems,
                const lxlangid *langid);

// The longest contraction at the front of the unit buffer: its elements at
// elems (count in st->nelems) and the units it covers in *matched.
void lxucConKey(const void *sort, lxucstate *st, uint32_t *elems, const uint16_t *units,
                size_t *matched);

// The element of the combining character unit (2 big-endian bytes) after the
// history hist (its first 4 bytes, zero-filled): 0 with elems[0] set, 1 when
// the unit's first canonical entry does not belong to the unit.
int lxucCsKey(const void *sort, const uint8_t *hist, const uint8_t *unit, uint32_t *elems);

// Hangul composition of in[inpos..incount) into out (room for incount -
// inpos units): returns the units written (also in *outcount) and the units
// taken in *consumed.
size_t lxujmc(uint16_t *out, size_t *outcount, const uint16_t *in, size_t *consumed,
              size_t inpos, size_t incount);

// Compares the texts at two cursors under the left handle's multilingual
// sort, level by level (levels: 1 primary, 2 with secondary, else all
// three). Flags: 0x10 case-insensitive, 0x200 accent-insensitive,
// 0x10000000 NUL-terminated. Both cursors' pos and shifted are restored.
int lxoUcCmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
             uint8_t levels, lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
