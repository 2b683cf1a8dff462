// Classification and single-byte values of the character at a cursor.
#include "lxh.h"
#include "lxm.h"
#include "lxmint.h"

namespace {

constexpr uint16_t kClassDigit = 0x0020;

// Length of the character at the cursor by the character length rule.
size_t char_len(const lxmcur *cur, const lxcsobj *cs) {
  if (cur->single_byte) return 1;
  if (cur->shift_sensitive) return (cur->shifted && cur->langid->mb_len) ? cur->langid->mb_len : 1;
  return lxmi::lead_len(cs, *cur->pos);
}

// The class bits of the character at the cursor (the rule of the class tests).
uint16_t class_bits(const lxmcur *cur, lxglo *glo, uint16_t bits) {
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  const uint8_t c = *cur->pos;
  const uint16_t k = cs ? cs->bclass[c] : 0;
  const bool one_byte = cur->shift_sensitive ? cur->shifted == 0 : (k & 3u) == 0;
  if (one_byte || !cs) return k & bits;
  if (c != 0) return lxcsgmc(cs, cur->pos) & bits;
  if (cs->flags & LXCSF_UNIT16) return cs->bclass[cur->pos[1]] & bits;
  return k & bits;
}

}  // namespace

extern "C" {

int lxmdigx(const lxmcur *cur, lxglo *glo) { return class_bits(cur, glo, kClassDigit); }

int lxmctex(const lxmcur *cur, int code, lxglo *glo) {
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  if (!cs || code < 0 || code > 0xFF) return 0;
  uint8_t want[4];
  size_t n = lxcss2m(cs, want, static_cast<uint8_t>(code));
  if (n == 0 || n > lxmleft(cur)) return 0;
  for (size_t i = 0; i < n; ++i)
    if (cur->pos[i] != want[i]) return 0;
  return 1;
}

int lxmtos(const lxmcur *cur, lxglo *glo) {
  glo->status = 0;
  if (cur->single_byte) {
    glo->nbytes = 1;
    return *cur->pos;
  }
  const lxcsobj *cs = lxmi::charset(cur->langid, glo);
  size_t n = char_len(cur, cs);
  if (!cs) {
    glo->nbytes = n;
    return n == 1 ? *cur->pos : 0;
  }
  const bool wide = (cs->flags & LXCSF_UNIT16) != 0;
  glo->nbytes = n;
  if (!wide && n == 1) return *cur->pos;
  return lxcsm2s(cs, cur->pos, n);
}

}  // extern "C"
