// Characters at a cursor to UTF-16 units for the collation elements, with
// the case preprocessing a comparison asks for.
#include <string.h>

#include "lxo.h"
#include "lxucint.h"
#include "lxmint.h"

namespace {
constexpr uint32_t kLower = 0x10, kBase = 0x200, kFold = 0x400;
}

extern "C" size_t lxucom2u(uint16_t *units, size_t capacity, lxmcur *cur, size_t *consumed,
                           size_t chars, uint32_t flags, lxglo *g) {
  *consumed = 0;
  const lxlangid *h = cur->langid;
  const lxcsobj *cs = lxmi::charset(h, g);
  if (!cs) return 0;
  const lxcsm2uf dec = lxcsdecoder(cs);
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  const bool al16 = (h->flags & LXH_F_AL16UTF16) != 0;
  const bool shift = (h->flags & LXH_F_SHIFT) != 0;
  const bool single = cs->maxbytes == 1 && !shift;
  // Base letters and case folding lower-case here until the byte-string
  // case conversion serves them; the comparison asks for one level then.
  const bool lower = (flags & (kLower | kBase | kFold)) != 0;
  size_t w = 0;
  for (size_t taken = 0; taken < chars && w + 1 < capacity; ++taken) {
    size_t left = lxmleft(cur);
    if (shift) {
      while (left > 0 && (*cur->pos == h->shift_out || *cur->pos == h->shift_in)) {
        cur->shifted = *cur->pos == h->shift_out;
        ++cur->pos;
        ++*consumed;
        --left;
      }
    }
    if (left == 0) break;
    const uint8_t *p = cur->pos;
    if (flags & LXO_NULTERM) {
      if (wide ? (left >= 2 && p[0] == 0 && p[1] == 0) : p[0] == 0) break;
    }
    size_t len = single ? 1 : shift ? (cur->shifted ? h->mb_len : 1) : lxmi::lead_len(cs, p[0]);
    if (len == 0) len = 1;
    if (len > left) {
      if (!(al16 && len == 4 && left >= 2)) break;
      len = 2;
    }
    if (len == 1) {
      uint8_t b = lower ? cs->lower[p[0]] : p[0];
      units[w++] = cs->sbu[b];
    } else {
      uint8_t low[8];
      const uint8_t *q = p;
      size_t n = len;
      if (lower && len <= 4) {
        size_t m = lxcsmlo(cs, low, p, len);
        if (m >= 1 && m <= 4) {
          q = low;
          n = m;
        }
      }
      uint32_t v = n == 1 ? cs->sbu[*q] : dec(cs, q, static_cast<uint16_t>(n));
      if (v > 0xFFFFu) {
        units[w++] = static_cast<uint16_t>(v >> 16);
        units[w++] = static_cast<uint16_t>(v);
      } else {
        units[w++] = static_cast<uint16_t>(v);
      }
    }
    cur->pos += len;
    *consumed += len;
  }
  return w;
}
