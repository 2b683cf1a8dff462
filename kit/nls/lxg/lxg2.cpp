// Stateful sets (ISO-2022 and HZ): sequence lookups, and the conversions
// to and from them through their base charsets.
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
bool stateful(const lxcsobj *cs) { return cs && (cs_flags(obj(cs)) & CS_STATEFUL); }
bool misaligned(const void *p) { return (reinterpret_cast<uintptr_t>(p) & 1u) != 0; }

// A whole-string run with lxgcnv's results.
size_t whole(uint8_t *dst, const lxcsobj *dstcs, size_t dstlen, const uint8_t *src,
             const lxcsobj *srccs, size_t srclen, bool measure, lxg::Run &r, lxglo *g) {
  r.dst = measure ? nullptr : dst;
  r.dstlen = dstlen;
  r.src = src;
  r.srclen = srclen;
  r.dcs = dstcs;
  r.scs = srccs;
  r.whole = true;
  r.measure = measure;
  lxg::run(r, g);
  lxn::status(g) = r.status;
  return r.out;
}

}  // namespace

extern "C" {

int lx2seq(const lxcsobj *stcs, const uint8_t *bytes, unsigned *idx, int mode, size_t avail) {
  if (avail == 0) return 0;
  if (mode == 0 || mode == 1) {
    for (unsigned i = 0; i < lxg::kEntries; ++i) {
      lxg::Entry e = lxg::entry(stcs, i);
      unsigned len = mode == 0 ? e.dlen() : e.slen();
      if (len == 0) continue;
      if (len > 6) len = 6;
      size_t cmp = len < avail ? len : avail;
      const uint8_t *seq = mode == 0 ? e.desig() : e.shift();
      if (seq[0] == bytes[0] && memcmp(seq, bytes, cmp) == 0) {
        *idx = i;
        return 1;
      }
    }
    return 0;
  }
  if (bytes[0] < 0x80) {
    *idx = 0;
    return 1;
  }
  int fallback = -1;
  for (unsigned i = 0; i < lxg::kEntries; ++i) {
    lxg::Entry e = lxg::entry(stcs, i);
    const uint8_t *pat = e.pattern();
    switch (e.blen()) {
      case 2:
        if (fallback < 0) fallback = static_cast<int>(i);
        if (bytes[0] <= 0x9F && bytes[0] == pat[0]) {
          *idx = i;
          return 1;
        }
        break;
      case 3:
        if (bytes[0] == pat[0]) {
          *idx = i;
          return 1;
        }
        break;
      case 4:
        if (avail >= 2 && bytes[0] == pat[0] && bytes[1] == pat[1]) {
          *idx = i;
          return 1;
        }
        break;
      default: break;
    }
  }
  if (fallback < 0) return 0;
  *idx = static_cast<unsigned>(fallback);
  return 1;
}

int lxmatch(const lxcsobj *cs, const lxcsobj *stcs, uint16_t *baseid) {
  uint16_t b0 = lxg::entry(stcs, 0).base();
  if (lxg::one_base(stcs)) {
    *baseid = b0;
    return 1;
  }
  if (cs && cs_id(obj(cs)) == b0) {
    *baseid = b0;
    return 1;
  }
  return 0;
}

size_t lxg2o2i(void *dst, const lxcsobj *stcs, size_t dstlen, const void *src,
               const lxcsobj *basecs, size_t srclen, lxglo *g) {
  lxn::status(g) = 0;
  if (dstlen == 0 || srclen == 0) return 0;
  if (!basecs || !stateful(stcs)) {
    lxn::status(g) = LXG_ST_NOTSTATEFUL;
    return 0;
  }
  lxg::Run r;
  size_t n = whole(static_cast<uint8_t *>(dst), stcs, dstlen, static_cast<const uint8_t *>(src),
                   basecs, srclen, false, r, g);
  lxn::nbytes(g) = r.consumed;
  return n;
}

size_t lxg2cnv(void *dst, const lxcsobj *dstcs, size_t dstlen, const void *src,
               const lxcsobj *srccs, size_t srclen, lxglo *g) {
  if ((cs_id(obj(dstcs)) == ID_UCS && misaligned(dst)) ||
      (cs_id(obj(srccs)) == ID_UCS && misaligned(src))) {
    lxn::status(g) = LXG_ST_MISALIGNED;
    return 0;
  }
  lxg::Run r;
  size_t n = whole(static_cast<uint8_t *>(dst), dstcs, dstlen, static_cast<const uint8_t *>(src),
                   srccs, srclen, false, r, g);
  lxn::nbytes(g) = r.consumed;
  lxn::nbytes2(g) = r.chars;
  lxn::ncount2(g) = r.chars & 0xFFFFu;
  return n;
}

uint32_t lxg2t2u(uint16_t *dst, uint32_t capacity, const void *src, const lxcsobj *srccs,
                 uint32_t srclen, uint16_t, lxglo *g) {
  lxn::nbytes(g) = 0;
  if (!srccs) {
    lxn::status(g) = LXG_ST_NOCS;
    return 0;
  }
  lxg::Run r;
  size_t n = whole(reinterpret_cast<uint8_t *>(dst), lxn::csobj(lxn::ucs()),
                   2 * static_cast<size_t>(capacity), static_cast<const uint8_t *>(src), srccs,
                   srclen, capacity == 0, r, g);
  return static_cast<uint32_t>(n / 2);
}

uint32_t lxg2u2t(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const uint16_t *src,
                 uint32_t nunits, uint16_t, lxglo *g) {
  if (!dstcs) {
    lxn::status(g) = LXG_ST_NOCS;
    lxn::nbytes(g) = 0;
    return 0;
  }
  lxg::Run r;
  size_t n = whole(static_cast<uint8_t *>(dst), dstcs, dstlen,
                   reinterpret_cast<const uint8_t *>(src), lxn::csobj(lxn::ucs()),
                   2 * static_cast<size_t>(nunits), dstlen == 0, r, g);
  lxn::nbytes(g) = r.consumed / 2;
  lxn::nbytes2(g) = r.srcchars;
  lxn::ncount2(g) = r.srcchars & 0xFFFFu;
  return static_cast<uint32_t>(n);
}

int32_t lxg2cvp(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const void **src,
                const lxcsobj *srccs, uint32_t *srclen, uint16_t mode, lxglo *g) {
  lxg::Run r;
  return lxg::resume(dst, dstcs, dstlen, src, srccs, srclen, mode, lxg::Measure::Normal, SIZE_MAX,
                     SIZE_MAX, r, g);
}

}  // extern "C"
