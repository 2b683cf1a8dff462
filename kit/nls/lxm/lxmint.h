// What the cursor and cursor-writing operations share: the character-set
// object of a cursor's handle and the length rule of its lead bytes.
#ifndef QEN_KIT_NLS_LXMINT_H
#define QEN_KIT_NLS_LXMINT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxfglo.h"
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

// The shift byte that puts a text of the handle's set into state (1:
// shifted out).
inline uint8_t shift_byte(const lxlangid *h, int state) {
  return state ? h->shift_out : h->shift_in;
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

// The end of a one-character copy of the len bytes at the input cursor, of
// which left bytes were before it: with advance the cursor moves past them
// and, when the output is shift-sensitive, past the shift bytes after them.
// Gives the input bytes taken (none when a shift-sensitive output leaves the
// input where it stood).
inline size_t end_char_copy(const lxmcur *out, lxmcur *in, size_t len, size_t left, bool advance) {
  if (!advance) return out->shift_sensitive ? 0 : len;
  in->pos += len;
  return out->shift_sensitive ? take_shift_bytes(in, len, left) : len;
}

// What a shift-sensitive copy walk does after a character it copied.
struct AfterChar {
  bool take_shift;  // the shift byte right after the character goes with it
  bool go_on;       // the walk goes on to the next character
};

// The copy of a shift-sensitive text, s[0..avail) of the src cursor into
// d[0..room) of the dst cursor, moving in and out (source and destination
// bytes) and the cursors' shift states, never splitting a character. A
// shift-out at the start is taken; the destination gets a shift byte of its
// own before a character whose state it is not in. admit(c, shift) is asked
// before the character at c is written (shift: 1 when a shift byte goes
// before it) and stops the walk with false; after(c, len, shift_next) is
// asked once the len bytes at c are written (shift_next: a shift byte
// follows them).
template <class Admit, class After>
void shift_copy(lxmcur *src, lxmcur *dst, const uint8_t *s, size_t avail, uint8_t *d, size_t room,
                size_t &in, size_t &out, Admit admit, After after) {
  const lxlangid *h = src->langid;
  const size_t mb = h->mb_len ? h->mb_len : 1u;
  if (!src->shifted && s[0] == h->shift_out) {
    src->shifted = 1;
    in = 1;
  }
  while (in < avail) {
    const size_t len = src->shifted ? mb : 1u;
    const size_t shift = src->shifted != dst->shifted ? 1 : 0;
    if (len > avail - in || len + shift > room - out) break;
    if (!admit(s + in, shift)) break;
    if (shift) {
      d[out++] = shift_byte(h, src->shifted);
      dst->shifted = src->shifted;
    }
    memmove(d + out, s + in, len);
    out += len;
    in += len;
    const bool shift_next = in < avail && is_shift(h, s[in]);
    const AfterChar next = after(s + in - len, len, shift_next);
    if (shift_next && next.take_shift) {
      src->shifted = s[in] == h->shift_out ? 1 : 0;
      ++in;
    }
    if (!next.go_on) break;
  }
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
