// Special linguistic sorts: the sorts that are code rather than tables (Thai
// dictionary and telephone order, Japanese order, Canadian French order and
// binary Unicode order), each a key maker and a comparator, and the table
// lxsftb that maps a sort object's function numbers to them.
//
// A key maker turns a text into a byte string whose byte order is the sort's
// order. A comparator orders two texts at cursors, in most cases by making
// both keys and comparing them. Installing a special sort in a language
// handle (lxpsset) stores the table rows of its two functions; the
// linguistic comparison calls the comparator row.
//
// Callers: the sort installer, the linguistic comparison, tests. The
// functions keep no state; the tables are read-only. Scratch space comes
// from slmaacb; nothing is allocated otherwise.
#ifndef QEN_KIT_NLS_LXSF_H
#define QEN_KIT_NLS_LXSF_H

#include <stddef.h>
#include <stdint.h>

#include "lxm.h"

#ifdef __cplusplus
extern "C" {
#endif

// Statuses of the key makers (besides 0).
#define LXSF_ST_KEYSIZE 6   // the key does not fit in keysize
#define LXSF_ST_NOCS 7      // a character set the key needs is not loaded
#define LXSF_ST_BADJA 20    // malformed Japanese text

// Charset ids the special sorts make their keys in.
#define LXSF_CS_LATIN1 31       // Canadian French
#define LXSF_CS_THAI 41         // Thai
#define LXSF_CS_THAI_EBCDIC 42  // Thai text mapped through ascii_ebcdic
#define LXSF_CS_EUCJP 830       // Japanese

// Key maker: the key of text[0..len) in the handle's charset, at most
// keysize bytes; returns its length (nbytes: the text bytes consumed), or 0
// with status 6 (nbytes 0), 7 or 20 on failure.
typedef size_t (*lxsfkey)(uint8_t *key, size_t keysize, const uint8_t *text, size_t len,
                          const lxlangid *h, lxglo *glo);
// Comparator: the order of the texts at the cursors' pos (sign only).
// caseless 1 compares lower-case forms; nulterm 1 cuts each length at its
// first zero character. The cursors' pos may move; the caller restores it.
typedef int (*lxsfcmp)(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, int caseless,
                       int nulterm, lxglo *glo);

// One row of lxsftb: a function number and a key maker or a comparator.
typedef struct lxsfent {
  uint16_t number;  // 0 ends the table
  union {
    lxsfkey key;
    lxsfcmp cmp;
  } fn;
} lxsfent;

// Rows 0-9 hold function numbers 1-10 (odd: key makers, even: comparators);
// row 10 ends the table.
#define LXSF_ROWS 11
extern const lxsfent lxsftb[LXSF_ROWS];

// 1 when function number n names a comparator (even numbers), 0 for a key
// maker; a sort whose numbers name the wrong kind cannot be installed.
static inline int lxsfcmpnum(uint16_t n) { return n % 2 == 0; }

size_t lxsmdth(uint8_t *key, size_t keysize, const uint8_t *text, size_t len, const lxlangid *h,
               lxglo *glo);
size_t lxsmtth(uint8_t *key, size_t keysize, const uint8_t *text, size_t len, const lxlangid *h,
               lxglo *glo);
size_t lxsmdja(uint8_t *key, size_t keysize, const uint8_t *text, size_t len, const lxlangid *h,
               lxglo *glo);
size_t lxsmdcf(uint8_t *key, size_t keysize, const uint8_t *text, size_t len, const lxlangid *h,
               lxglo *glo);
size_t lxsmasc(uint8_t *key, size_t keysize, const uint8_t *text, size_t len, const lxlangid *h,
               lxglo *glo);

int lxscdth(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, int caseless, int nulterm,
            lxglo *glo);
int lxsctth(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, int caseless, int nulterm,
            lxglo *glo);
int lxscdja(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, int caseless, int nulterm,
            lxglo *glo);
int lxscdcf(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, int caseless, int nulterm,
            lxglo *glo);
int lxscasc(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, int caseless, int nulterm,
            lxglo *glo);

#ifdef __cplusplus
}
#endif

#endif
