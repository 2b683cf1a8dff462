// Copying one character between cursors while converting it: to its lower-
// or upper-case form, to its single-byte equivalent or to its multibyte
// equivalent, keeping the output's shift state.
//
// The form is made before anything is written, so that a form that does not
// fit in the room is not written at all: the call then sets status 6 and
// leaves both cursors where they were.
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr size_t kMaxForm = 8;  // a case form has at most four bytes

struct Form {
  uint8_t bytes[kMaxForm];
  size_t len;
};

// The converted form of the len-byte character at in.
Form make_form(const lxmcur *in, size_t len, uint32_t flags, lxglo *glo) {
  const lxlangid *h = in->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const uint8_t *p = in->pos;
  Form f;
  memcpy(f.bytes, p, len);
  f.len = len;
  if (!cs) return f;
  // a character of one byte: of a single-byte cursor, shifted in, or with a
  // one-byte class entry
  const bool one_byte =
      in->single_byte || (in->shift_sensitive ? in->shifted == 0 : (cs->bclass[*p] & 3u) == 0);
  if (flags & LXS_EQUI_TOMULTI) {
    if (one_byte && !in->single_byte) {
      uint8_t eq[4];
      const size_t n = lxcss2m(cs, eq, *p);
      if (n != 0) {
        memcpy(f.bytes, eq, n);
        f.len = n;
      }
    }
  } else if (flags & LXS_EQUI_TOSINGLE) {
    if (!one_byte) {
      const uint8_t b = lxcsm2s(cs, p, len);
      if (b != 0) {
        f.bytes[0] = b;
        f.len = 1;
      }
    }
  } else if (!(flags & LXO_NOADVANCE)) {
    const bool upper = (flags & LXO_CASE_UPPER) != 0;
    const uint8_t *obj = reinterpret_cast<const uint8_t *>(cs);
    if (in->single_byte)
      f.bytes[0] = obj[h->csoff[upper ? LXH_OFF_UPPER : LXH_OFF_LOWER] + *p];
    else if (one_byte && len == 1)
      f.bytes[0] = upper ? cs->upper[*p] : cs->lower[*p];
    else
      f.len = upper ? lxcsmup(cs, f.bytes, p, len) : lxcsmlo(cs, f.bytes, p, len);
  }
  return f;
}

}  // namespace

extern "C" size_t lxoCvChar(lxmcur *out, size_t outmax, lxmcur *in, size_t inmax, uint32_t flags,
                            lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  const lxlangid *h = in->langid;
  const bool check = !(flags & LXO_NOROOMCHECK);
  const size_t len = lxmi::copy_len(out, in, glo);
  if (inmax < len) return 0;
  const size_t in_left = lxmleft(in);
  const size_t out_left = lxmleft(out);
  const size_t room = out_left < outmax ? out_left : outmax;
  if (len > in_left) {
    // a cut-off character: only the shift byte its state needs is written
    if (out->shift_sensitive && in->shifted != out->shifted && in_left > 0) {
      if (check && room < len + 1) {
        glo->status = LXS_SMALL;
        return 0;
      }
      *out->pos++ = lxmi::shift_byte(h, in->shifted);
      out->shifted = in->shifted;
      return 1;
    }
    return 0;
  }
  const Form f = make_form(in, len, flags, glo);
  // in a shift-sensitive output a form of two or more bytes is written
  // shifted out, a one-byte form shifted in
  const int state = f.len >= 2 ? 1 : 0;
  const size_t shift = (out->shift_sensitive && state != out->shifted) ? 1 : 0;
  if (check && room < f.len + shift) {
    glo->status = LXS_SMALL;
    return 0;
  }
  if (shift) {
    *out->pos++ = lxmi::shift_byte(h, state);
    out->shifted = state;
  }
  memcpy(out->pos, f.bytes, f.len);
  out->pos += f.len;
  const size_t written = f.len + shift;
  // the shift bytes after the character go with it
  glo->nbytes = lxmi::end_char_copy(out, in, len, in_left, !(flags & LXO_NOADVANCE));
  return written;
}
