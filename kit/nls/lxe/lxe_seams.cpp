// Narrow stand-ins for string operations that are not built yet, over the
// cursor and the multibyte class, width and case primitives. Each goes when
// the operation named in its comment arrives; the calendar and padding tests
// stay.
#include <cstring>

#include "lxc.h"
#include "lxeint.h"
#include "lxh.h"
#include "lxhtext.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

bool wide(const lxlangid *h) { return (h->flags & LXH_F_WIDE) != 0; }
bool plain_single(const lxlangid *h) {
  return (h->flags & LXH_F_SINGLE) && !(h->flags & LXH_F_SHIFT);
}

// At a NUL character (two zero bytes in a wide set) or the end of the text.
bool at_end(const lxmcur &c, const lxlangid *h) {
  const size_t left = lxmleft(&c);
  if (left == 0 || c.pos[0] != 0) return left == 0;
  return !wide(h) || (left > 1 && c.pos[1] == 0);
}

// Width of the character at the cursor: ambiguous widths count one column.
size_t width_at(const lxmcur &c, const lxlangid *h, lxglo *g) {
  if (c.single_byte || (c.shift_sensitive && !c.shifted)) return 1;
  const lxcsobj *cs = lxmi::charset(h, g);
  if (!cs) return 1;
  const unsigned w = lxcsgmw(cs, c.pos);
  return w == 2 ? 2 : 1;
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

// Replaced by lxsCpStr [18].
size_t lxsCpStr_seam(void *dst, size_t size, const void *src, size_t len, uint32_t flags,
                     const lxlangid *h, lxglo *glo) {
  if (!dst || !src || !h) return 0;
  const char *s = static_cast<const char *>(src);
  if (flags & LXO_NULTERM) len = wide(h) ? lxsulen(s) : strnlen(s, len);
  const size_t n = lxhtext::fit(h, s, len, size, glo);
  std::memcpy(dst, s, n);
  return n;
}

// Replaced by lxoCpStr [18].
size_t lxoCpStr_seam(lxmcur *out, size_t outmax, lxmcur *in, size_t inmax, uint32_t,
                     lxglo *glo) {
  const lxlangid *h = in->langid;
  const unsigned char *from = in->pos;
  size_t written = 0;
  while (!at_end(*in, h) && size_t(in->pos - from) < inmax) {
    size_t w = lxoCpChar(out, outmax - written, in, inmax - size_t(in->pos - from), 0, glo);
    if (w == 0 || glo->status != 0) break;
    written += w;
  }
  glo->status = 0;
  return written;
}

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

// Replaced by lxsCntDisp [18].
size_t lxsCntDisp_seam(const void *text, size_t len, uint32_t, const lxlangid *h, lxglo *glo) {
  if (plain_single(h)) return strnlen(static_cast<const char *>(text), len);
  lxmcur c;
  lxmcpen(text, len, &c, h, glo);
  size_t cols = 0;
  while (!at_end(c, h)) {
    const size_t w = width_at(c, h, glo);
    if (lxmfwdx(&c, glo) == 0) break;
    cols += w;
  }
  return cols;
}

// Replaced by lxoCpDisp [18].
size_t lxoCpDisp_seam(lxmcur *out, size_t outmax, lxmcur *in, size_t cols, size_t *used,
                      lxglo *glo) {
  const lxlangid *h = in->langid;
  size_t written = 0, done = 0;
  while (!at_end(*in, h)) {
    const size_t w = width_at(*in, h, glo);
    if (done + w > cols) break;
    const size_t n = lxoCpChar(out, outmax - written, in, lxmleft(in), 0, glo);
    if (n == 0 || glo->status != 0) break;
    written += n;
    done += w;
  }
  glo->status = 0;
  if (used) *used = done;
  return written;
}

// Replaced by lxsCntChar [20].
size_t lxsCntChar_seam(const void *text, size_t len, const lxlangid *h, lxglo *glo) {
  if (plain_single(h)) return len;
  lxmcur c;
  lxmcpen(text, len, &c, h, glo);
  size_t n = 0;
  while (lxmleft(&c) > 0 && lxmfwdx(&c, glo) > 0) ++n;
  return n;
}

}  // extern "C"
