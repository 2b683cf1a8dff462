// The resumable conversion: dispatch, the paths of the built-in wide object
// (id 799), and the engine for everything else.
#include <string.h>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxgeng.h"
#include "lxgint.h"
#include "lxl.h"
#include "lxlget.h"

using namespace nlsobj;

namespace lxg {

void clear_resumable(lxglo *g) {
  lxn::status(g) = 0;
  lxn::nbytes2(g) = 0;
  lxn::ncount(g) = 0;
  lxn::ncount2(g) = 0;
  lxn::mark(g) = 0;
}

int32_t resume(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const void **src,
               const lxcsobj *srccs, uint32_t *srclen, uint16_t mode, Measure how,
               size_t outchars, size_t srcchars, Run &r, lxglo *g) {
  clear_resumable(g);
  if (!dstcs || !srccs) {
    lxn::status(g) = LXG_ST_NOCS;
    return -1;
  }
  if (cs_id(reinterpret_cast<const uint8_t *>(dstcs)) == ID_UCS &&
      (reinterpret_cast<uintptr_t>(dst) & 1u)) {
    lxn::status(g) = LXG_ST_MISALIGNED;
    return -1;
  }
  r.dst = static_cast<uint8_t *>(dst);
  r.dstlen = dstlen;
  r.src = static_cast<const uint8_t *>(*src);
  r.srclen = *srclen;
  r.dcs = dstcs;
  r.scs = srccs;
  r.mode = mode;
  r.how = how;
  r.outchar_lim = outchars;
  r.srcchar_lim = srcchars;
  run(r, g);
  lxn::status(g) = r.status;
  if (r.refused) return -1;
  *src = static_cast<const uint8_t *>(*src) + r.consumed;
  *srclen -= static_cast<uint32_t>(r.consumed);
  lxn::nbytes2(g) = r.chars;
  lxn::ncount2(g) = r.chars & 0xFFFFu;
  return static_cast<int32_t>(r.out);
}

}  // namespace lxg

namespace {

const uint8_t *obj(const lxcsobj *cs) { return reinterpret_cast<const uint8_t *>(cs); }

// Single bytes into the wide object's two-byte big-endian codes. The second
// byte of a code that did not fit waits in the pending bytes.
int32_t to_wkb(uint8_t *dst, uint32_t dstlen, const uint8_t **srcp, const uint8_t *scs,
               uint32_t *srclen, uint16_t mode, lxglo *g) {
  lxgcarry &k = g->carry;
  uint32_t o = 0, i = 0, n = *srclen, chars = 0;
  if (k.npending) {
    if (dstlen == 0) {
      lxn::status(g) = LXG_ST_SMALL;
      if (mode == LXG_LAST_WHOLE) return -1;
      return 0;
    }
    dst[o++] = k.pending[0];
    k.npending = 0;
    ++chars;
  }
  while (i < n && dstlen - o >= 2) {
    uint16_t code = cs_sb799(scs, (*srcp)[i++]);
    dst[o++] = static_cast<uint8_t>(code >> 8);
    dst[o++] = static_cast<uint8_t>(code);
    ++chars;
  }
  if (i < n && dstlen - o == 1 && mode != LXG_LAST_WHOLE) {
    uint16_t code = cs_sb799(scs, (*srcp)[i++]);
    dst[o++] = static_cast<uint8_t>(code >> 8);
    k.pending[0] = static_cast<uint8_t>(code);
    k.npending = 1;
  }
  if (i < n || k.npending) lxn::status(g) = LXG_ST_SMALL;
  *srcp += i;
  *srclen -= i;
  lxn::nbytes2(g) = chars;
  lxn::ncount2(g) = chars & 0xFFFFu;
  return static_cast<int32_t>(o);
}

// The wide object's codes into single bytes. Codes above 1998 stand for
// U+00BF (entry 129); an odd last byte waits in the carried bytes.
int32_t from_wkb(uint8_t *dst, const uint8_t *dcs, uint32_t dstlen, const uint8_t **srcp,
                 const uint8_t *wkb, uint32_t *srclen, uint16_t mode, lxglo *g) {
  lxgcarry &k = g->carry;
  const uint8_t *s = *srcp;
  uint32_t o = 0, i = 0, n = *srclen;
  int16_t keep = lxn::mark(g);
  auto put = [&](unsigned code) {
    if (code > 1998) code = 129;
    dst[o++] = lxcsu2sb(lxn::csobj(dcs), wkb_value(wkb, code), g);
  };
  if (k.ncarried && i < n && o < dstlen) {
    put((static_cast<unsigned>(k.carried[0]) << 8) | s[i++]);
    k.ncarried = 0;
  }
  while (n - i >= 2 && o < dstlen) {
    put((static_cast<unsigned>(s[i]) << 8) | s[i + 1]);
    i += 2;
  }
  if (n - i == 1 && !k.ncarried) {
    if (o < dstlen && mode != LXG_LAST_WHOLE) {
      k.carried[0] = s[i++];
      k.ncarried = 1;
    } else {
      lxn::status(g) = LXG_ST_SMALL;
    }
  }
  if (i < n) lxn::status(g) = LXG_ST_SMALL;
  lxn::mark(g) = keep;  // this path reports no replacement
  *srcp += i;
  *srclen -= i;
  lxn::nbytes2(g) = o;
  lxn::ncount2(g) = o & 0xFFFFu;
  return static_cast<int32_t>(o);
}

}  // namespace

extern "C" int32_t lxgcvp(void *dst, const lxcsobj *dstcs, uint32_t dstlen, const void **src,
                          const lxcsobj *srccs, uint32_t *srclen, uint16_t mode, lxglo *g) {
  lxg::clear_resumable(g);
  const uint8_t *dcs = obj(dstcs), *scs = obj(srccs);
  if (!dcs || !scs) {
    lxn::status(g) = LXG_ST_NOCS;
    return -1;
  }
  if ((cs_flags(dcs) | cs_flags(scs)) & CS_STATEFUL)
    return lxg2cvp(dst, dstcs, dstlen, src, srccs, srclen, mode, g);
  if (cs_id(dcs) == ID_GB18030 || cs_id(scs) == ID_GB18030) {
    uint32_t dl = dstlen, dc = dstlen, sc = *srclen;
    return lxgbcvp(dst, dstcs, &dl, &dc, src, srccs, srclen, &sc, mode, 1, g);
  }
  const uint8_t *wkb = lxn::wkb();
  if (dcs == wkb || scs == wkb) {
    if (dcs == wkb && scs != wkb && cs_single(scs))
      return to_wkb(static_cast<uint8_t *>(dst), dstlen, reinterpret_cast<const uint8_t **>(src),
                    scs, srclen, mode, g);
    if (scs == wkb && dcs != wkb && cs_single(dcs))
      return from_wkb(static_cast<uint8_t *>(dst), dcs, dstlen,
                      reinterpret_cast<const uint8_t **>(src), wkb, srclen, mode, g);
    lxn::status(g) = LXG_ST_NOCS;
    return -1;
  }
  lxg::Run r;
  return lxg::resume(dst, dstcs, dstlen, src, srccs, srclen, mode, lxg::Measure::Normal, SIZE_MAX,
                     SIZE_MAX, r, g);
}
