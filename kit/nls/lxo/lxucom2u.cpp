// Characters at a cursor to UTF-16 units for the collation elements, with
// the case preprocessing a comparison asks for: lower case through the
// charset's tables, base letters and case folding through the byte-string
// case conversion (lxsCnvCase), one character at a time.
//
// Called by the multilingual comparison; writes at most capacity - 1 units
// and never reads past the cursor's text.
#include <string.h>

#include "lxmint.h"
#include "lxo.h"
#include "lxucint.h"

namespace {

constexpr uint32_t kLower = 0x10, kBase = 0x200, kFold = 0x400;
constexpr size_t kCaseArea = 100;  // one character's converted form
constexpr size_t kMaxCharBytes = 8;
constexpr uint32_t kLastBmp = 0xFFFF;

// The text's character set and how its characters are told apart.
struct Text {
  const lxlangid *h;
  const lxcsobj *cs;
  lxcsm2uf dec;
  bool wide, shift, single;
};

// Appends the units of one character (a supplementary one as its pair).
size_t put_units(uint16_t *out, uint32_t v) {
  if (v > kLastBmp) {
    out[0] = static_cast<uint16_t>(v >> 16);
    out[1] = static_cast<uint16_t>(v);
    return 2;
  }
  out[0] = static_cast<uint16_t>(v);
  return 1;
}

// The units of the converted text at p (n bytes, starting shifted in),
// at most room of them; returns their number.
size_t decode_all(const Text &t, const uint8_t *p, size_t n, uint16_t *out, size_t room) {
  size_t w = 0;
  int shifted = 0;
  for (size_t i = 0; i < n && w + 2 <= room;) {
    if (t.shift && lxmi::is_shift(t.h, p[i])) {
      shifted = p[i] == t.h->shift_out;
      ++i;
      continue;
    }
    size_t l = t.single ? 1
               : t.shift ? (shifted && t.h->mb_len ? t.h->mb_len : 1u)
                         : lxmi::lead_len(t.cs, p[i]);
    if (l > n - i) break;
    const uint32_t v = l == 1 && !t.wide ? t.cs->sbu[p[i]] : t.dec(t.cs, p + i, static_cast<uint16_t>(l));
    w += put_units(out + w, v);
    i += l;
  }
  return w;
}

}  // namespace

extern "C" size_t lxucom2u(uint16_t *units, size_t capacity, lxmcur *cur, size_t *consumed,
                           size_t chars, uint32_t flags, lxglo *g) {
  *consumed = 0;
  const lxlangid *h = cur->langid;
  const lxcsobj *cs = lxmi::charset(h, g);
  if (!cs) return 0;
  Text t{h, cs, lxcsdecoder(cs), (h->flags & LXH_F_WIDE) != 0, (h->flags & LXH_F_SHIFT) != 0,
         false};
  t.single = cs->maxbytes == 1 && !t.shift;
  const bool al16 = (h->flags & LXH_F_AL16UTF16) != 0;
  const bool convert = (flags & (kBase | kFold)) != 0;
  const bool lower = (flags & kLower) != 0;
  // the character alone, length-bounded, without a terminator
  const uint32_t cflags = (flags & ~LXO_NULTERM) | LXO_EXACTLEN;
  size_t w = 0;
  for (size_t taken = 0; taken < chars && w + 1 < capacity; ++taken) {
    size_t left = lxmleft(cur);
    if (t.shift) {
      const size_t n = lxmi::take_shift_bytes(cur, 0, left);
      *consumed += n;
      left -= n;
    }
    if (left == 0) break;
    const uint8_t *p = cur->pos;
    if (flags & LXO_NULTERM) {
      if (t.wide ? (left >= 2 && p[0] == 0 && p[1] == 0) : p[0] == 0) break;
    }
    size_t len = t.single ? 1
                 : t.shift ? (cur->shifted ? h->mb_len : 1)
                           : lxmi::lead_len(cs, p[0]);
    if (len == 0) len = 1;
    if (len > left) {
      if (!(al16 && len == 4 && left >= 2)) break;
      len = 2;
    }
    if (convert && len <= kMaxCharBytes) {
      // base letters or case folding of the character by the case engine;
      // a conversion that gives nothing leaves the character as it is
      uint8_t src[kMaxCharBytes + 1], area[kCaseArea];
      size_t n = 0;
      if (t.shift && len > 1) src[n++] = h->shift_out;
      memcpy(src + n, p, len);
      n += len;
      const size_t r = lxsCnvCase(area, sizeof area, src, n, cflags, h, g);
      uint16_t got[kCaseArea];
      const size_t k = r ? decode_all(t, area, r, got, sizeof got / sizeof got[0]) : 0;
      if (k > 0) {
        if (w + k >= capacity && w > 0) break;  // taken by the next call
        const size_t fit = w + k < capacity ? k : capacity - 1 - w;
        memcpy(units + w, got, fit * sizeof got[0]);
        w += fit;
        cur->pos += len;
        *consumed += len;
        continue;
      }
    }
    if (len == 1) {
      uint8_t b = lower ? cs->lower[p[0]] : p[0];
      units[w++] = cs->sbu[b];
    } else {
      uint8_t low[kMaxCharBytes];
      const uint8_t *q = p;
      size_t n = len;
      if (lower && len <= 4) {
        size_t m = lxcsmlo(cs, low, p, len);
        if (m >= 1 && m <= 4) {
          q = low;
          n = m;
        }
      }
      const uint32_t v = n == 1 ? cs->sbu[*q] : t.dec(cs, q, static_cast<uint16_t>(n));
      w += put_units(units + w, v);
    }
    cur->pos += len;
    *consumed += len;
  }
  return w;
}
