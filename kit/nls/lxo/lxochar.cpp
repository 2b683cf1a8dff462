// Copying one character between cursors and writing one byte at a cursor,
// keeping the output's shift state.
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr uint32_t kStatusCutOff = 34;  // the input character is cut off
// the flags that hand the copy to lxoCvChar
constexpr uint32_t kConvertFlags =
    LXO_CASE_LOWER | LXO_CASE_UPPER | LXS_EQUI_TOSINGLE | LXS_EQUI_TOMULTI;

}  // namespace

extern "C" size_t lxoCpChar(lxmcur *out, size_t outmax, lxmcur *in, size_t inmax,
                            uint32_t flags, lxglo *glo) {
  if (flags & kConvertFlags) return lxoCvChar(out, outmax, in, inmax, flags, glo);
  glo->status = 0;
  const lxlangid *h = in->langid;
  const bool check = !(flags & LXO_NOROOMCHECK);
  const size_t len = lxmi::copy_len(out, in, glo);
  glo->nbytes = 0;
  if (inmax < len) {
    if (inmax != 0) glo->status = kStatusCutOff;
    return 0;
  }
  const size_t in_left = lxmleft(in);
  const size_t room = lxmleft(out) < outmax ? lxmleft(out) : outmax;
  size_t written = 0;
  if (out->shift_sensitive && in->shifted != out->shifted) {
    if (check && room < len + 1) {
      glo->status = LXS_SMALL;
      return 0;
    }
    *out->pos++ = lxmi::shift_byte(h, in->shifted);
    out->shifted = in->shifted;
    written = 1;
  } else if (check && room < len) {
    glo->status = LXS_SMALL;
    return 0;
  }
  if (len > in_left) {
    if (in_left > 0) glo->status = kStatusCutOff;
    return written;
  }
  memcpy(out->pos, in->pos, len);
  out->pos += len;
  written += len;
  // the shift bytes after the character go with it
  glo->nbytes = lxmi::end_char_copy(out, in, len, in_left, !(flags & LXO_NOADVANCE));
  return written;
}

extern "C" size_t lxoWriChar(lxmcur *out, uint8_t byte, uint32_t, lxglo *) {
  size_t n = 0;
  if (out->shift_sensitive && out->shifted) {
    *out->pos++ = out->langid->shift_in;
    out->shifted = 0;
    n = 1;
  }
  *out->pos++ = byte;
  return n + 1;
}
