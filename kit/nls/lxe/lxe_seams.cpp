// Narrow stand-in for the string comparison that is not built yet, over the
// cursor and the multibyte class and case primitives. It goes when lxsCmpStr
// arrives; the calendar tests stay.
#include <cstring>

#include "lxc.h"
#include "lxeint.h"
#include "lxh.h"
#include "lxmint.h"

namespace {

bool plain_single(const lxlangid *h) {
  return (h->flags & LXH_F_SINGLE) && !(h->flags & LXH_F_SHIFT);
}

// The lower-case form of the len-byte character at p into out (its length,
// 0 when it has none): single bytes through the byte table, others through
// the case tables.
size_t lower(const lxcsobj *cs, uint8_t *out, const uint8_t *p, size_t len) {
  if (!cs || len == 0 || len > 4) return 0;
  if (len == 1) {
    out[0] = cs->lower[p[0]];
    return 1;
  }
  return lxcsmlo(cs, out, p, len);
}

}  // namespace

extern "C" {

// Replaced by lxsCmpStr [20].
int lxsCmpStr_seam(const void *a, size_t alen, const void *b, size_t blen, uint32_t flags,
                   const lxlangid *h, lxglo *glo) {
  if (alen != blen) return alen < blen ? -1 : 1;
  if (!(flags & 0x10u)) return std::memcmp(a, b, alen);
  const lxcsobj *cs = lxmi::charset(h, glo);
  if (plain_single(h)) {
    for (size_t i = 0; i < alen; ++i) {
      uint8_t x = static_cast<const uint8_t *>(a)[i], y = static_cast<const uint8_t *>(b)[i];
      if (cs) {
        x = cs->lower[x];
        y = cs->lower[y];
      }
      if (x != y) return x < y ? -1 : 1;
    }
    return 0;
  }
  lxmcur ca, cb;
  lxmcpen(a, alen, &ca, h, glo);
  lxmcpen(b, blen, &cb, h, glo);
  while (lxmleft(&ca) > 0 && lxmleft(&cb) > 0) {
    const unsigned char *pa = ca.pos, *pb = cb.pos;
    const size_t la = lxmfwdx(&ca, glo), lb = lxmfwdx(&cb, glo);
    if (la == 0 || lb == 0) return std::memcmp(pa, pb, la < lb ? la : lb);
    uint8_t xa[4], xb[4];
    size_t na = lower(cs, xa, pa, la), nb = lower(cs, xb, pb, lb);
    const uint8_t *qa = na ? xa : pa, *qb = nb ? xb : pb;
    if (!na) na = la;
    if (!nb) nb = lb;
    if (na != nb || std::memcmp(qa, qb, na) != 0) {
      int r = std::memcmp(qa, qb, na < nb ? na : nb);
      return r ? r : (na < nb ? -1 : 1);
    }
  }
  return 0;
}

}  // extern "C"
