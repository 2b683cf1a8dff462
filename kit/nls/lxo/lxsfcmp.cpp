// The keyed comparator of the special sorts: both keys made side by side in
// one scratch buffer (after lower-casing, for a caseless comparison) and
// compared byte-wise.
#include <string.h>

#include "lxo.h"
#include "lxsfint.h"

namespace lxsf {

size_t cut_at_nul(const lxmcur *cur, size_t len) {
  const uint8_t *p = cur->pos;
  if (cur->langid && (cur->langid->flags & LXH_F_WIDE)) {
    for (size_t i = 0; i + 1 < len; i += 2)
      if (p[i] == 0 && p[i + 1] == 0) return i;
    return len;
  }
  if (len == 0) return 0;
  const void *z = memchr(p, 0, len);
  return z ? static_cast<size_t>(static_cast<const uint8_t *>(z) - p) : len;
}

size_t equal_prefix(const lxmcur *l, size_t llen, const lxmcur *r, size_t rlen,
                    const lxcsobj *cs, bool nul, size_t keep) {
  const lxlangid *h = l->langid;
  if (!h || !cs || (r->langid != h && (r->langid == nullptr || r->langid->cs != h->cs))) return 0;
  if (h->flags & LXH_F_SHIFT) return 0;
  const uint8_t *a = l->pos, *b = r->pos;
  size_t n = llen < rlen ? llen : rlen, d = 0;
  if (!nul) {
    constexpr size_t kChunk = 64;  // whole equal chunks first, by memcmp
    while (n - d >= kChunk && memcmp(a + d, b + d, kChunk) == 0) d += kChunk;
  }
  while (d < n && a[d] == b[d] && !(nul && a[d] == 0)) ++d;
  constexpr uint32_t kUtf8Forms = 0x4000 | 0x8000;
  if (cs->maxbytes == 1) return d > keep ? d - keep : 0;
  if (h->flags & LXH_F_WIDE) {
    d &= ~size_t{1};
    size_t back = 2 * (keep + 1);  // a surrogate pair counts as two
    return d > back ? d - back : 0;
  }
  if (!((cs->flags & kUtf8Forms) || cs->id == LXCS_AL32UTF8)) return 0;
  // Back to the lead byte of the character before the difference, and keep
  // more characters before it.
  size_t chars = 0;
  while (d > 0) {
    --d;
    if ((a[d] & 0xC0) != 0x80 && ++chars > keep) return d;
  }
  return 0;
}

namespace {

// Lower-cases n bytes of text in h's charset character by character into
// out (room n); a character whose lower-case form does not fit ends the
// text. Shift bytes are copied. Returns the bytes written.
size_t lower_chars(const lxlangid *h, lxglo *g, const uint8_t *src, size_t n, uint8_t *out) {
  const lxcsobj *cs = lxmi::charset(h, g);
  if (!cs) {
    memcpy(out, src, n);
    return n;
  }
  const bool shift = (h->flags & LXH_F_SHIFT) != 0;
  const bool single = cs->maxbytes == 1;
  bool shifted = false;
  size_t i = 0, w = 0;
  while (i < n) {
    uint8_t b = src[i];
    if (shift && (b == h->shift_out || b == h->shift_in)) {
      shifted = b == h->shift_out;
      out[w++] = b;
      ++i;
      continue;
    }
    size_t len = single ? 1 : shift ? (shifted ? h->mb_len : 1) : lxmi::lead_len(cs, b);
    if (len == 0 || len > n - i) break;
    if (len == 1) {
      out[w++] = cs->lower[b];
      ++i;
      continue;
    }
    uint8_t low[8];
    size_t m = len <= 4 ? lxcsmlo(cs, low, src + i, len) : 0;
    if (m == 0 || m > sizeof low) {
      m = len;
      memcpy(low, src + i, len < sizeof low ? len : sizeof low);
      if (len > sizeof low) break;
    }
    if (m > n - w) break;
    memcpy(out + w, low, m);
    w += m;
    i += len;
  }
  return w;
}

struct Work {
  const Keyed *k;
  lxmcur *cur[2];
  size_t len[2];
  bool caseless;
  lxglo *g;
  int result = 0;
};

void run(Work &w, uint8_t *buf) {
  const uint8_t *text[2] = {w.cur[0]->pos, w.cur[1]->pos};
  size_t len[2] = {w.len[0], w.len[1]};
  const lxlangid *hand[2] = {w.cur[0]->langid, w.cur[1]->langid};
  uint8_t *at = buf;
  if (w.caseless) {
    for (int s = 0; s < 2; ++s) {
      const lxlangid *h = w.k->lower == Lower::simple_left ? hand[0] : hand[s];
      size_t n = len[s];
      if (w.k->lower == Lower::chars) {
        n = lower_chars(h, w.g, text[s], len[s], at);
      } else if (n != 0) {
        lxsCnvSimple(at, text[s], n, LXO_EXACTLEN | 0x10u, h, w.g);
      }
      // The lowered text is read through a cursor of its own.
      lxmcur c;
      size_t skipped = lxmcpen(at, n, &c, h, w.g);
      text[s] = c.pos;
      len[s] = n - (skipped < n ? skipped : n);
      hand[s] = h;
      at += w.len[s];
    }
  }
  // Each key slot holds the key of the longer text, so that padding either
  // key to the other's length stays in its slot.
  size_t m = w.len[0] > w.len[1] ? w.len[0] : w.len[1];
  size_t slot = w.k->mul * m + w.k->add;
  size_t room[2] = {w.k->mul * w.len[0] + w.k->add, w.k->mul * w.len[1] + w.k->add};
  uint8_t *key[2] = {at, at + slot};
  size_t klen[2];
  uint32_t failed = 0, kept = 0;
  for (int s = 0; s < 2; ++s) {
    w.g->status = 0;
    klen[s] = w.k->make(key[s], room[s], text[s], len[s], hand[s], w.g);
    if (klen[s] == 0 && w.g->status != 0 && failed == 0) failed = w.g->status;
    if (kept == 0) kept = w.g->status;
  }
  w.g->status = failed ? failed : kept;
  if (failed) {
    // A key that cannot be made never makes different texts equal.
    w.result = byte_order(text[0], len[0], text[1], len[1]);
    return;
  }
  if (w.k->padded) {
    size_t n = klen[0] > klen[1] ? klen[0] : klen[1];
    for (int s = 0; s < 2; ++s) memset(key[s] + klen[s], 0, n - klen[s]);
    w.result = key_difference(key[0], key[1], n);
    return;
  }
  int c = key_difference(key[0], key[1], klen[0] < klen[1] ? klen[0] : klen[1]);
  if (c != 0)
    w.result = c;
  else
    w.result = w.len[0] == w.len[1] ? 0 : (w.len[0] < w.len[1] ? -1 : 1);
}

}  // namespace

int keyed_compare(const Keyed &k, lxmcur *left, size_t llen, lxmcur *right, size_t rlen,
                  int caseless, int nulterm, lxglo *g) {
  if (nulterm) {
    llen = cut_at_nul(left, llen);
    rlen = cut_at_nul(right, rlen);
  }
  Work w;
  w.k = &k;
  w.cur[0] = left;
  w.cur[1] = right;
  w.len[0] = llen;
  w.len[1] = rlen;
  w.caseless = caseless != 0;
  w.g = g;
  // Room for both keys (padded keys: the longer one twice) and, caseless,
  // both lowered texts.
  size_t m = llen > rlen ? llen : rlen;
  size_t size = 2 * (k.mul * m + k.add) + (w.caseless ? llen + rlen : 0);
  auto body = [&w](uint8_t *buf) { run(w, buf); };
  if (!with_scratch(size, body))
    return byte_order(left->pos, llen, right->pos, rlen);
  return w.result;
}

}  // namespace lxsf
