// What the string operations of this folder share: the Unicode character
// rules of AL16UTF16 and the UTF-8 family (surrogate pairs, Hangul jamo
// sequences, combining marks) that make up a complete character, and what
// the comparisons need of their cursors.
#ifndef QEN_KIT_NLS_LXOINT_H
#define QEN_KIT_NLS_LXOINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxl.h"
#include "lxm.h"

namespace lxoi {

// Unicode text: a UTF-8 form, UTFE, or an AL16UTF16 handle.
inline bool unicode_text(const lxlangid *h, const lxcsobj *cs) {
  constexpr uint32_t kUtf8Forms = LXCSF_SURR6 | LXCSF_UTF8SHAPE;
  return (cs && ((cs->flags & kUtf8Forms) || cs->id == LXCS_UTFE)) ||
         (h->flags & LXH_F_AL16UTF16);
}

// Where a cursor stands, kept by the comparisons, which hand their caller's
// cursors back as they found them.
struct CursorMark {
  unsigned char *pos;
  int32_t shifted;
  size_t len;
};
inline CursorMark mark(const lxmcur *c) { return {c->pos, c->shifted, c->len}; }
inline void restore(lxmcur *c, const CursorMark &m) {
  c->pos = m.pos;
  c->shifted = m.shifted;
  c->len = m.len;
}

// The charset kind of a text for the Unicode rules.
struct Uni {
  const lxcsobj *cs = nullptr;   // the text's set
  const lxcsobj *u16 = nullptr;  // AL16UTF16, for combining classes
  bool al16 = false;             // the text is AL16UTF16
  bool utf8 = false;             // the UTF-8 family (flag 0x4000 or 0x8000, or UTFE)
  bool utfe = false;
  lxglo *glo = nullptr;
};

// The Unicode kind of a handle's set; false when it is neither AL16UTF16
// nor of the UTF-8 family.
bool uni_open(Uni &u, const lxlangid *h, lxglo *glo);

// A zero character at p (a zero unit in AL16UTF16).
inline bool uni_zero(const Uni &u, const uint8_t *p) { return p[0] == 0 && (!u.al16 || p[1] == 0); }

// Bytes of the character at p by the set's length rule (one unit in
// AL16UTF16); 0 when it does not fit in avail.
size_t uni_len(const Uni &u, const uint8_t *p, size_t avail);

// A surrogate pair at p that fits in avail (a high and a low unit in
// AL16UTF16, two coded halves ED A0..AF xx ED B0..BF xx in the UTF-8
// family, DD 65 .. DD 66 .. in UTFE): its bytes, else 0.
size_t uni_pair(const Uni &u, const uint8_t *p, size_t avail);

// The character of len bytes at p is a combining mark (combining class
// above 0).
bool uni_combining(const Uni &u, const uint8_t *p, size_t len);

// The bytes of the complete character at p within avail: a Hangul jamo
// sequence, a surrogate pair or one character, with the combining marks
// after it; 0 when its first character does not fit. With nul a zero
// character is never taken as a mark. *lone_mark tells that the first
// character is itself a combining mark.
size_t uni_whole(const Uni &u, const uint8_t *p, size_t avail, bool nul, bool *lone_mark);

// The first half of a surrogate pair at p whose second half does not fit in
// avail (or, with nul, is a zero character): the text ends inside it.
bool uni_half_cut(const Uni &u, const uint8_t *p, size_t avail, bool nul);

// The monolingual comparison of lxoCmpStr: the texts at two cursors under
// the left handle's monolingual sort (id below 4096), single-byte or Unicode
// text, with the extended flags. Both cursors come back as they went in.
int mono_cmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags, lxglo *glo);
// The same for a caller that has found the handle's sort and charset
// objects already (either NULL: the texts are put in byte order).
int mono_cmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags, lxglo *glo,
             const lxsrtobj *sort, const lxcsobj *cs);

// The multilingual comparison (lxoUcCmp) for a caller that has found the
// left handle's sort and charset objects already.
int uc_cmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags, uint8_t levels,
           lxglo *g, const void *sort, const lxcsobj *cs);

#ifdef QEN_TEST_HOOKS
// Test builds only: set, the comparisons never decide from the first
// characters alone but take the whole road, so that tests can hold the two
// against each other.
extern bool cmp_whole_road;
inline bool first_chars_may_decide() { return !cmp_whole_road; }
#else
inline bool first_chars_may_decide() { return true; }
#endif

}  // namespace lxoi

#endif
