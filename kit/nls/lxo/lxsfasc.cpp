// Binary Unicode order: characters by their UTF-16 values in the handle's
// own charset. A key holds each character's value big-endian (two bytes, or
// four for a character of four bytes, as a surrogate pair); the comparator
// orders characters first by their byte length.
#include <string.h>

#include "lxsfint.h"

namespace {

constexpr size_t kLongChar = 4;  // a character of this length has a 32-bit value

// Characters of a text one at a time, by the byte-class rule or, in a
// shift-sensitive charset, by the shift state.
struct Reader {
  const lxcsobj *cs;
  const lxlangid *h;
  lxcsm2uf dec;
  bool single, shift, shifted;
  const uint8_t *p;
  size_t left;

  Reader(const lxcsobj *c, const lxlangid *hd, bool sh, const uint8_t *text, size_t len)
      : cs(c), h(hd), dec(lxcsdecoder(c)), single(c->maxbytes == 1 && !(hd->flags & LXH_F_SHIFT)),
        shift((hd->flags & LXH_F_SHIFT) != 0), shifted(sh), p(text), left(len) {}

  // The length of the next character, after passing over shift bytes; 0 at
  // the end of the text or at a character longer than what remains.
  size_t next() {
    if (shift) {
      while (left > 0 && (*p == h->shift_out || *p == h->shift_in)) {
        shifted = *p == h->shift_out;
        ++p;
        --left;
      }
    }
    if (left == 0) return 0;
    size_t n = single ? 1 : shift ? (shifted ? h->mb_len : 1) : lxmi::lead_len(cs, *p);
    return n == 0 || n > left ? 0 : n;
  }
  void take(size_t n) {
    p += n;
    left -= n;
  }
  // The value of the n-byte character at q: the single-byte table for one
  // byte, the decoder's packed value for four, its 16 bits otherwise.
  uint32_t value(const uint8_t *q, size_t n) const {
    if (n == 1) return cs->sbu[*q];
    uint32_t v = dec(cs, q, static_cast<uint16_t>(n));
    return n == kLongChar ? v : (v & 0xFFFFu);
  }
};

void put_be(uint8_t *k, uint32_t v, size_t n) {
  for (size_t i = 0; i < n; ++i) k[i] = static_cast<uint8_t>(v >> (8 * (n - 1 - i)));
}

}  // namespace

extern "C" size_t lxsmasc(uint8_t *key, size_t keysize, const uint8_t *text, size_t len,
                          const lxlangid *h, lxglo *g) {
  g->nbytes = 0;
  if (keysize < 2 * len + 1 || keysize < 2) {
    g->status = LXSF_ST_KEYSIZE;
    return 0;
  }
  g->status = 0;
  memset(key, 0, 2 * len + 1);
  const lxcsobj *cs = lxmi::charset(h, g);
  if (!cs) {
    g->status = LXSF_ST_NOCS;
    return 0;
  }
  if (len == 0) return 0;
  Reader rd(cs, h, false, text, len);
  size_t k = 0;
  for (size_t n; (n = rd.next()) != 0;) {
    size_t w = n == kLongChar ? kLongChar : 2;
    put_be(key + k, rd.value(rd.p, n), w);
    k += w;
    rd.take(n);
  }
  g->nbytes = len - rd.left;
  return k;
}

extern "C" int lxscasc(lxmcur *l, size_t llen, lxmcur *r, size_t rlen, int caseless, int nulterm,
                       lxglo *g) {
  if (nulterm) {
    llen = lxsf::cut_at_nul(l, llen);
    rlen = lxsf::cut_at_nul(r, rlen);
  }
  lxmcur lc = *l, rc = *r;
  const lxcsobj *cs[2] = {lxmi::charset(lc.langid, g), lxmi::charset(rc.langid, g)};
  if (!cs[0] || !cs[1]) return lxsf::byte_order(lc.pos, llen, rc.pos, rlen);
  if (!caseless && !lc.shifted && !rc.shifted) {
    size_t same = lxsf::equal_prefix(&lc, llen, &rc, rlen, cs[0], false, 0);
    lc.pos += same;
    rc.pos += same;
    llen -= same;
    rlen -= same;
  }
  Reader rd[2] = {Reader(cs[0], lc.langid, lc.shifted != 0, lc.pos, llen),
                  Reader(cs[1], rc.langid, rc.shifted != 0, rc.pos, rlen)};
  for (;;) {
    size_t n[2] = {rd[0].next(), rd[1].next()};
    if (n[0] == 0 || n[1] == 0) break;
    if (!caseless && n[0] == n[1] && cs[0] == cs[1] && memcmp(rd[0].p, rd[1].p, n[0]) == 0) {
      // The same bytes in the same charset: the same character.
      rd[0].take(n[0]);
      rd[1].take(n[1]);
      continue;
    }
    uint32_t v[2];
    size_t eff[2];
    for (int s = 0; s < 2; ++s) {
      const uint8_t *q = rd[s].p;
      uint8_t low[8];
      eff[s] = n[s];
      if (caseless && n[s] == 1) {
        low[0] = cs[s]->lower[*q];
        q = low;
      } else if (caseless && n[s] < kLongChar) {
        size_t m = lxcsmlo(cs[s], low, q, n[s]);
        if (m >= 1 && m <= kLongChar) {
          q = low;
          eff[s] = m;
        }
      }
      v[s] = rd[s].value(q, eff[s]);
      rd[s].take(n[s]);
    }
    if (eff[0] != eff[1]) return eff[0] < eff[1] ? -1 : 1;
    if (v[0] != v[1]) return v[0] < v[1] ? -1 : 1;
  }
  size_t a = rd[0].left, b = rd[1].left;
  return a == b ? 0 : (a < b ? -1 : 1);
}
