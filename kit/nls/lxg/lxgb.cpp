// Conversions with GB18030 on either side: characters are measured by
// lxcgbgwt (the second byte tells a four-byte character), and work can be
// limited and reported in characters as well as bytes.
#include <string.h>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxgeng.h"
#include "lxl.h"
#include "lxlget.h"

using namespace nlsobj;

namespace {

const uint8_t *obj(const lxcsobj *cs) { return reinterpret_cast<const uint8_t *>(cs); }
bool misaligned(const void *p) { return (reinterpret_cast<uintptr_t>(p) & 1u) != 0; }

}  // namespace

extern "C" {

size_t lxgbcnv(void *dstv, const lxcsobj *dstcs, size_t *dstlen, size_t *dstchars,
               const void *srcv, const lxcsobj *srccs, size_t *srclen, size_t *srcchars,
               int bytesonly, lxglo *g) {
  auto *dst = static_cast<uint8_t *>(dstv);
  auto *src = static_cast<const uint8_t *>(srcv);
  const uint8_t *dcs = obj(dstcs), *scs = obj(srccs);
  size_t dl = *dstlen, sl = *srclen;
  size_t dc = dstchars ? *dstchars : dl, sc = srcchars ? *srcchars : sl;
  if (!(cs_flags(scs) & CS_SHIFT)) {
    lxn::src_shift(g) = 0;
    lxn::stateful_byte(g) = 0;
  }
  size_t out = 0, taken = 0, chars = 0, schars = 0;
  if (dcs == scs) {
    size_t n = dl < sl ? dl : sl;
    while (taken < n && chars < dc && schars < sc) {
      unsigned len = lxcgbgwt(srccs, src + taken, n - taken, 0);
      if (len > n - taken) break;
      taken += len;
      ++chars;
      ++schars;
    }
    memcpy(dst, src, taken);
    out = taken;
    if (sl > dl && lxn::status(g) == 0) lxn::status(g) = LXG_ST_SMALL;
  } else if (bytesonly && cs_id(scs) == ID_UCS) {
    if (misaligned(src)) {
      lxn::status(g) = LXG_ST_MISALIGNED;
      return 0;
    }
    uint32_t r = lxgu2t(dst, dstcs, static_cast<uint32_t>(dl), reinterpret_cast<const uint16_t *>(src),
                        static_cast<uint32_t>(sl / 2), 0, g);
    lxn::nbytes(g) *= 2;
    if (lxn::status(g) == LXG_ST_NOCS) lxn::status(g) = LXG_ST_COPIED;
    return r;
  } else if (bytesonly && cs_id(dcs) == ID_UCS) {
    if (misaligned(dst)) {
      lxn::status(g) = LXG_ST_MISALIGNED;
      return 0;
    }
    if (dl < 2) {
      // room for no unit at all: nothing converted (a capacity of 0 would measure)
      if (sl) lxn::status(g) = LXG_ST_SMALL;
      return 0;
    }
    uint32_t n = lxgt2u(reinterpret_cast<uint16_t *>(dst), static_cast<uint32_t>(dl / 2), src, srccs,
                        static_cast<uint32_t>(sl), 0, g);
    if (lxn::status(g) == LXG_ST_NOCS) lxn::status(g) = LXG_ST_COPIED;
    lxn::nbytes2(g) = n;
    return 2 * static_cast<size_t>(n);
  } else {
    if (cs_id(scs) == ID_AL16UTF16 || cs_id(scs) == ID_AL16UTF16LE) sl &= ~static_cast<size_t>(1);
    lxg::Run r;
    r.dst = dst;
    r.dstlen = dl;
    r.src = src;
    r.srclen = sl;
    r.dcs = dstcs;
    r.scs = srccs;
    r.whole = true;
    r.how = lxg::Measure::Gb;
    r.outchar_lim = dc;
    r.srcchar_lim = sc;
    lxg::run(r, g);
    if (r.status) lxn::status(g) = r.status;
    out = r.out;
    taken = r.consumed;
    chars = r.chars;
    schars = r.srcchars;
  }
  lxn::nbytes(g) = taken;
  lxn::nbytes2(g) = chars;
  if (!bytesonly) {
    *dstlen = out;
    if (dstchars) *dstchars = chars;
    *srclen = taken;
    if (srcchars) *srcchars = schars;
  }
  return out;
}

int32_t lxgbcvp(void *dst, const lxcsobj *dstcs, uint32_t *dstlen, uint32_t *dstchars,
                const void **src, const lxcsobj *srccs, uint32_t *srclen, uint32_t *srcchars,
                uint16_t mode, int bytesonly, lxglo *g) {
  lxg::Run r;
  int32_t n = lxg::resume(dst, dstcs, *dstlen, src, srccs, srclen, mode, lxg::Measure::Gb,
                          dstchars ? *dstchars : SIZE_MAX, srcchars ? *srcchars : SIZE_MAX, r, g);
  if (n >= 0 && !bytesonly) {
    *dstlen = static_cast<uint32_t>(r.out);
    if (dstchars) *dstchars = static_cast<uint32_t>(r.chars);
    if (srcchars) *srcchars = static_cast<uint32_t>(r.srcchars);
  }
  return n;
}

}  // extern "C"
