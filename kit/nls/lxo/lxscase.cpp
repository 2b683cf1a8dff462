// Case conversion of byte strings: the engine over two cursors, then the
// closing shift-in of a shift-sensitive output and the terminator.
#include "lxl.h"
#include "lxo.h"

namespace {

constexpr uint32_t kStatusFull = 6;

}  // namespace

extern "C" size_t lxsCnvCase(void *dst, size_t dstlen, const void *src, size_t srclen,
                             uint32_t flags, const lxlangid *h, lxglo *glo) {
  lxmcur in, out;
  const size_t k = lxmcpen(src, srclen, &in, h, glo);
  lxmopen(dst, dstlen, &out, h, glo, 1);
  size_t r = lxoCnvCase(&out, dstlen, &in, srclen > k ? srclen - k : 0, flags, glo);
  glo->nbytes += k;
  auto d = static_cast<uint8_t *>(dst);
  const bool terminate = (flags & LXO_NULTERM) != 0;

  if (h->flags & LXH_F_SHIFT) {
    const size_t mb = h->mb_len ? h->mb_len : 1;
    if (r == dstlen && out.shifted && r >= mb) {
      // no room for the closing shift-in: the last character goes back
      glo->nbytes -= glo->nbytes >= mb ? mb : glo->nbytes;
      if (!in.shifted && glo->nbytes > 0) --glo->nbytes;  // and the shift byte after it
      if (glo->ncount) --glo->ncount;
      if (glo->ncount2) --glo->ncount2;
      r -= mb;
      out.pos -= mb;
      if (r > 0 && d[r - 1] == h->shift_out) {
        --r;
        --out.pos;
        out.shifted = 0;
      }
      glo->status = kStatusFull;
    }
    if (dstlen == 0 || (r != 0 && d[r - 1] == 0)) return r;
    if (terminate) {
      const size_t shift = out.shifted ? 1 : 0;
      if (r + 1 + shift <= dstlen) {
        if (shift) d[r++] = h->shift_in;
        d[r++] = 0;
        return r;
      }
      glo->status = kStatusFull;
    }
    if (out.shifted && r < dstlen) d[r++] = h->shift_in;
    return r;
  }

  if (!terminate) return r;
  const size_t unit = (h->flags & LXH_F_WIDE) ? 2 : 1;
  const bool ended = r >= unit && d[r - 1] == 0 && (unit == 1 || d[r - 2] == 0);
  if (ended) return r;
  if (dstlen - r >= unit) {
    for (size_t i = 0; i < unit; ++i) d[r++] = 0;
    ++glo->ncount2;
    return r;
  }
  glo->status = kStatusFull;
  return r;
}
