// Writing one wide character at an output cursor.
#include <stdint.h>

#include "lxhtext.h"
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

extern "C" size_t lxoWriWChar(lxmcur *out, uint32_t wide, uint32_t flags, lxglo *glo) {
  glo->status = 0;
  size_t room = (flags & LXO_NOROOMCHECK) ? SIZE_MAX : lxmleft(out);
  auto small = [glo]() -> size_t {
    glo->status = LXS_SMALL;
    return 0;
  };
  if (out->single_byte) {
    if (room == 0) return small();
    *out->pos++ = static_cast<unsigned char>(wide);
    return 1;
  }
  const lxlangid *h = out->langid;
  unsigned size = lxhtext::value_bytes(h, wide);
  if (size == 1) {
    if (out->shift_sensitive && out->shifted) {
      if (room < 2) return small();
      *out->pos++ = h->shift_in;
      *out->pos++ = static_cast<unsigned char>(wide);
      out->shifted = 0;
      return 2;
    }
    if (room == 0) return small();
    *out->pos++ = static_cast<unsigned char>(wide);
    return 1;
  }
  size_t shift = 0;
  if (out->shift_sensitive && !out->shifted) {
    if (room == 0) return small();
    *out->pos++ = h->shift_out;
    out->shifted = 1;
    shift = 1;
    --room;
  }
  if (room < size) return small();
  for (unsigned k = 0; k < size; ++k)
    *out->pos++ = static_cast<unsigned char>(wide >> (8 * (size - 1 - k)));
  return size + shift;
}
