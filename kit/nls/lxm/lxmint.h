// What the cursor and cursor-writing operations share: the character-set
// object of a cursor's handle and the length rule of its lead bytes.
#ifndef QEN_KIT_NLS_LXMINT_H
#define QEN_KIT_NLS_LXMINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxhint.h"
#include "lxm.h"

namespace lxmi {

// The handle's character-set object as loaded in the environment's table
// (callers load it before they open a cursor); NULL when it is not there.
inline const lxcsobj *charset(const lxlangid *h, const lxglo *g) {
  return h ? lxn::csobj(lxn::loaded(g, h->cs)) : nullptr;
}

// Length of the character whose first byte is b by the byte-class rule.
inline unsigned lead_len(const lxcsobj *cs, uint8_t b) {
  return cs ? (cs->bclass[b] & 3u) + 1u : 1u;
}

// A shift byte of the handle's set.
inline bool is_shift(const lxlangid *h, uint8_t b) {
  return b == h->shift_in || b == h->shift_out;
}

// Length of the character at the cursor by the character length rule (the
// shift bytes around it not included).
inline size_t char_len(const lxmcur *cur, const lxcsobj *cs) {
  if (cur->single_byte) return 1;
  if (cur->shift_sensitive) return (cur->shifted && cur->langid->mb_len) ? cur->langid->mb_len : 1u;
  return lead_len(cs, *cur->pos);
}

// Length of the input character a one-character copy takes: a
// shift-sensitive output follows the input's shift state, any other the
// input's own length rule.
inline size_t copy_len(const lxmcur *out, const lxmcur *in, lxglo *glo) {
  const lxlangid *h = in->langid;
  if (out->shift_sensitive) return (in->shifted && h->mb_len) ? h->mb_len : 1u;
  if (in->single_byte) return 1;
  return lead_len(charset(h, glo), *in->pos);
}

// The step of a shift-sensitive cursor that is inside its text: the
// character and the shift bytes after it, keeping the shift state. A
// character cut off by the end moves one byte and gives 0.
inline size_t shift_step(lxmcur *cur) {
  const lxlangid *h = cur->langid;
  const size_t left = lxmleft(cur);
  size_t n = (cur->shifted && h->mb_len) ? h->mb_len : 1u;
  while (n < left && is_shift(h, cur->pos[n])) {
    cur->shifted = cur->pos[n] == h->shift_out ? 1 : 0;
    ++n;
  }
  if (n > left) {
    ++cur->pos;
    return 0;
  }
  cur->pos += n;
  return n;
}

// Steps the cursor over the shift bytes right at it, within the first left
// bytes from where it stood before taken bytes were passed, keeping its
// state; returns taken plus the bytes stepped.
inline size_t take_shift_bytes(lxmcur *in, size_t taken, size_t left) {
  const lxlangid *h = in->langid;
  while (taken < left && is_shift(h, *in->pos)) {
    in->shifted = *in->pos == h->shift_out ? 1 : 0;
    ++in->pos;
    ++taken;
  }
  return taken;
}

// The columns of a character of ambiguous width: two for the languages at
// boot indexes 33 to 36 and 43, one for the others.
inline unsigned ambiguous_cols(const lxlangid *h) {
  const unsigned l = h->lang;
  return ((l >= 33 && l <= 36) || l == 43) ? 2u : 1u;
}

// A width class (1, 2, or 3 for ambiguous) in columns.
inline unsigned width_cols(unsigned w, const lxlangid *h) { return w == 3 ? ambiguous_cols(h) : w; }

}  // namespace lxmi

#endif
