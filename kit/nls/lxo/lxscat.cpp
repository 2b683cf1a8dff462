// Copying and appending NUL-terminated texts.
#include <string.h>

#include "lxh.h"
#include "lxo.h"

extern "C" size_t lxscop(void *dst, const void *src, const lxlangid *h, lxglo *glo) {
  size_t n = (h && (h->flags & LXH_F_AL16UTF16)) ? lxsulen(src) + 2
                                                 : strlen(static_cast<const char *>(src)) + 1;
  memmove(dst, src, n);
  if (glo) glo->nbytes = n;
  return n;
}

extern "C" size_t lxscat(void *dst, const void *src, const lxlangid *h, lxglo *glo) {
  auto d = static_cast<uint8_t *>(dst);
  auto s = static_cast<const uint8_t *>(src);
  size_t end = (h && (h->flags & LXH_F_WIDE)) ? lxsulen(dst) : strlen(static_cast<char *>(dst));
  size_t dropped = 0;
  if (h && (h->flags & LXH_F_SHIFT) && end > 0 && d[end - 1] == h->shift_in &&
      s[0] == h->shift_out) {
    // the join continues shifted out
    --end;
    ++s;
    dropped = 1;
  }
  size_t n = lxscop(d + end, s, h, glo);
  glo->nbytes = n + dropped;
  glo->nbytes2 = end + n;
  return n;
}
