// Copying and appending NUL-terminated texts within a destination size.
#include <string.h>

#include "lxl.h"
#include "lxo.h"

extern "C" size_t lxscop(void *dst, size_t dstsize, const void *src, const lxlangid *h,
                         lxglo *glo) {
  glo->status = 0;
  const bool al16 = h && (h->flags & LXH_F_AL16UTF16);
  const size_t term = al16 ? 2 : 1;
  const size_t len = al16 ? lxsulen(src) : strlen(static_cast<const char *>(src));
  size_t n;
  if (len + term <= dstsize) {
    memmove(dst, src, len + term);
    n = len + term;
  } else if (dstsize < term || !h) {
    glo->status = LXS_SMALL;
    glo->nbytes = 0;
    return 0;
  } else {
    // whole characters before the terminator's room
    n = lxsCpStr(dst, dstsize - term, src, len, LXO_EXACTLEN, h, glo);
    memset(static_cast<uint8_t *>(dst) + n, 0, term);
    n += term;
    glo->status = LXS_SMALL;
  }
  glo->nbytes = n;
  return n;
}

extern "C" size_t lxscat(void *dst, size_t dstsize, const void *src, const lxlangid *h,
                         lxglo *glo) {
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
  size_t n = lxscop(d + end, end < dstsize ? dstsize - end : 0, s, h, glo);
  glo->nbytes = n + dropped;
  glo->nbytes2 = end + n;
  return n;
}
