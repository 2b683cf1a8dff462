// Installing a territory, character set or display character set in a
// language handle, the forward step and cut positions of multibyte text,
// the case maps of multibyte characters, the fold mappings and the keys of a
// monolingual sort. The names and boot-block look-ups it builds on are
// lxlname.h's (included here); the language and sort installers, which reach
// the sort functions of lxo, are lxh.h's.
#ifndef QEN_KIT_NLS_LXP_H
#define QEN_KIT_NLS_LXP_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"
#include "lxlname.h"
#include "lxm.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- installers (1 on success, 0 with the handle unchanged) ----------------

int lxptset(uint16_t ter, lxlangid *h, lxglo *glo);
int lxpcset(uint16_t cs, lxlangid *h, lxglo *glo);
// The character set with that id (item 79 set from a number): the built-in
// UCS and AL16UTF16LE by their id alone (status 26 when leaving one of them
// for an id while the boot block does not reach the handle's index); an id
// not in the boot block leaves the handle unchanged, or with reset installs
// the language's character set.
int lxpcidset(uint16_t id, int reset, lxlangid *h, lxglo *glo);
int lxpdcset(uint16_t cs, lxlangid *h, lxglo *glo);
int lxpdload(lxlangid *h, lxglo *glo);

// The forward step of a shift-sensitive cursor (lxmfwdx for callers that
// know the set is shift-sensitive): at or past the end it moves one byte and
// gives 0.
size_t lxpmfwdx(lxmcur *cur, lxglo *glo);

// ---- cut positions (no incomplete character left at the end) ---------------

// For UTF-8 text begin..end, the position at which it must be cut; begin when
// it holds only continuation bytes or is empty.
const unsigned char *lxptmutf8(const unsigned char *begin, const unsigned char *end);

// The same for a table-driven multibyte set: the cut position of
// text[0..len); whole characters go to ncount and ncount2 of glo when the
// text is walked, and nbytes receives len (unless len is 0).
const unsigned char *lxptmult(const unsigned char *text, size_t len, const lxlangid *langid,
                              lxglo *glo);

// ---- case maps of multibyte characters --------------------------------------

// The upper-case (lxpmmup) or lower-case (lxpmmlo) form of the len-byte
// character at src through the charset's class trie and case maps (pairs or
// deltas): written at dst in the fewest big-endian bytes that hold its value
// (at most 4); returns their number. A character without that form is
// copied with its own length.
uint16_t lxpmmup(const lxcsobj *cs, uint8_t *dst, const uint8_t *src, size_t len);
uint16_t lxpmmlo(const lxcsobj *cs, uint8_t *dst, const uint8_t *src, size_t len);

// ---- fold mappings (CASE_FOLDING, BINARY_AI) ---------------------------------
// A named mapping object keeps at +108, +112 and +116 the object offsets of
// its fold table, expansion area and supplementary area. The fold table has
// 256 first-level words by the high byte of a UTF-16 value (a page offset
// within the second level, 0 for none) and pages of 256 words by the low
// byte; the second level starts level2 bytes after the table. Every read is
// checked against the object: what lies outside reads as no mapping.

#define LXP_FOLD_LEVEL2 LXFOLD_LEVEL2          // CASE_FOLDING (lxf.h)
#define LXP_BASELETTER_LEVEL2 LXFOLD_BALEVEL2  // BINARY_AI
#define LXP_FOLD_MAXOUT 3u           // outputs of one expansion, at most
#define LXP_FOLD_ID 17u              // named-object id of CASE_FOLDING
#define LXP_BASELETTER_ID 16u        // named-object id of BINARY_AI

typedef struct lxpfmap {
  const uint8_t *obj;  // the loaded object
  size_t size;         // its bytes (header size word)
  size_t table;        // fold table, from obj
  size_t level2;       // second level, from the table
  size_t exp;          // expansion area, from obj
  size_t supp;         // supplementary area, from obj
  const uint8_t *first;  // the first level, NULL when it lies outside the object
} lxpfmap;

enum {
  LXP_FOLD_KEEP = 0,    // the value stays
  LXP_FOLD_ONE = 1,     // u[0] replaces it
  LXP_FOLD_EXPAND = 2,  // u[0..n) replace it (n may be 0)
  LXP_FOLD_SUPP = 3     // a high surrogate: its pairs start at supplementary cell 'cell'
};

typedef struct lxpfent {
  uint8_t kind;
  uint8_t n;
  uint16_t u[LXP_FOLD_MAXOUT];
  uint32_t cell;
} lxpfent;

// Opens the walk over a loaded mapping object with the given second level.
void lxpfmopen(lxpfmap *m, const void *object, size_t level2);
// The mapping of UTF-16 value v.
void lxpfmget(const lxpfmap *m, uint16_t v, lxpfent *e);
// The mapping of the pair of a high surrogate whose entry gave cell, and its
// low surrogate: 0 the pair stays, a value above 0xFFFF a pair (high unit in
// the upper 16 bits), else one unit.
uint32_t lxpfmsupp(const lxpfmap *m, uint32_t cell, uint16_t low);

// Case-folds the text at src (srclen bytes) through the loaded CASE_FOLDING
// object into at most dstlen bytes at dst, in the source handle's charset;
// of the flags only 0x20000000 (length-bounded) is read. Advances dst (and
// src in a shift-sensitive set, with both shift states); nbytes, nbytes2,
// ncount and ncount2 receive the bytes and characters consumed and written;
// status 6 when the destination was too small (status is not cleared).
size_t lxpCaseFold(const void *object, lxmcur *dst, size_t dstlen, lxmcur *src, size_t srclen,
                   uint32_t flags, lxglo *glo);

// ---- keys of a monolingual sort ---------------------------------------------
// (The 8-byte records of sections LXSRT_SPECIAL and LXSRT_CONTRACT,
// lxpsplet and lxpcpair, are lxf.h's.)

// The keys of character ch, followed by next (0 when nothing follows), in a
// monolingual sort: a special letter of ch gives both its major keys in
// major[0..1] and both minor keys in minor[0..1] (result 0); else a
// contracting pair (ch, next) gives its major key in major[0] and minor key
// in minor[0] (result 1); else major[0] is ch's major key and minor is left
// as it was (result 0). The caller clears major[1] first and reads a nonzero
// major[1] as a second major key. Every record is read inside the object.
int lxphlc(uint8_t *major, uint8_t *minor, uint16_t ch, uint16_t next, const lxsrtobj *sort);

#ifdef __cplusplus
}
#endif

#endif
