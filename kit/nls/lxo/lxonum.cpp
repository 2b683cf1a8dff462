// Reading a decimal or hexadecimal integer from text in a handle's
// character set.
#include <stdint.h>

#include "lxh.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr uint32_t kStatusInvalid = 9;
constexpr uint32_t kStatusOverflow = 10;
constexpr uint16_t kEbcdicHexId = 835;  // EBCDIC set whose letters a-f are 0x62-0x67
constexpr uint8_t kNoDigit = 255;

// The digit value of byte b, or kNoDigit.
uint8_t digit(uint8_t b, bool hex, bool ascii, bool spec835) {
  if (ascii) {
    if (b >= '0' && b <= '9') return uint8_t(b - '0');
    if (hex && b >= 'A' && b <= 'F') return uint8_t(b - 'A' + 10);
    if (hex && b >= 'a' && b <= 'f') return uint8_t(b - 'a' + 10);
    return kNoDigit;
  }
  if (b >= 0xF0 && b <= 0xF9) return uint8_t(b - 0xF0);
  if (hex && b >= 0xC1 && b <= 0xC6) return uint8_t(b - 0xC1 + 10);
  if (hex && !spec835 && b >= 0x81 && b <= 0x86) return uint8_t(b - 0x81 + 10);
  if (hex && spec835 && b >= 0x62 && b <= 0x67) return uint8_t(b - 0x62 + 10);
  return kNoDigit;
}

}  // namespace

extern "C" int32_t lxsCnvNumStrToInt(const void *text, size_t len, uint32_t flags,
                                     const lxlangid *h, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  const bool dec = (flags & LXS_NUM_DEC) != 0;
  const bool hex = !dec && (flags & LXS_NUM_HEX);
  if (!dec && !hex) {
    // Roman numerals are not read here
    if (flags & LXS_NUM_ROMAN) glo->status = kStatusInvalid;
    return 0;
  }
  if (len == 0) return 0;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const bool wide = (h->flags & LXH_F_AL16UTF16) != 0;
  const bool ascii = wide || !cs || (cs->flags & LXCSF_ASCII);
  const bool spec835 = cs && cs->id == kEbcdicHexId;
  const bool shift = (h->flags & LXH_F_SHIFT) != 0;
  const bool multi = !(h->flags & LXH_F_SINGLE) && !shift && !wide && cs &&
                     !(cs->flags & (LXCSF_SURR6 | LXCSF_UTF8SHAPE)) && cs->id != LXCS_UTFE &&
                     !spec835;
  const bool unsig = (flags & LXS_NUM_UNSIGNED) ||
                     ((flags & LXS_NUM_UNSIGNED2) && !(flags & LXS_NUM_SIGNED));
  const uint64_t limit = hex ? (unsig ? 0xFFFFFFFFu : 0x7FFFFFFFu)
                             : (unsig ? 4294967295u : 2147483647u);
  const unsigned base = hex ? 16 : 10;
  const uint8_t plus = ascii ? '+' : 0x4E, minus = ascii ? '-' : 0x60;
  const uint8_t group = wide ? h->numchars[3] : h->numchars[1];
  const size_t unit = wide ? 2 : 1;
  auto p = static_cast<const uint8_t *>(text);
  if (wide && len < 2) return 0;

  // the byte of the character at i, or -1 when it is no single-byte character
  auto at = [&](size_t i) -> int {
    if (i + unit > len) return -1;
    if (wide) return p[i] == 0 ? p[i + 1] : -1;
    if (multi && (cs->bclass[p[i]] & 3u)) return -1;
    return p[i];
  };

  size_t i = 0;
  bool negative = false;
  int c = at(0);
  if (dec && (c == plus || c == minus)) {
    negative = c == minus;
    i += unit;
  }
  c = at(i);
  if (c < 0 || digit(uint8_t(c), hex, ascii, spec835) == kNoDigit) {
    glo->status = kStatusInvalid;
    glo->nbytes = i;
    return 0;
  }
  uint64_t value = 0;
  for (;;) {
    c = at(i);
    uint8_t d = c < 0 ? kNoDigit : digit(uint8_t(c), hex, ascii, spec835);
    if (d == kNoDigit) break;
    if (value > limit / base || (value == limit / base && d > limit % base)) {
      glo->status = kStatusOverflow;
      glo->nbytes = i;
      return 0;
    }
    value = value * base + d;
    i += unit;
    int next = at(i);
    if ((flags & LXS_NUM_GROUP) && next >= 0 && uint8_t(next) == group) {
      i += unit;  // one separator after a digit
      continue;
    }
    if (shift && next >= 0 && uint8_t(next) == h->shift_in) {
      i += 1;
      continue;
    }
    if (shift && next >= 0 && uint8_t(next) == h->shift_out) {
      i += 1;
      break;
    }
  }
  glo->nbytes = i;
  uint32_t v = static_cast<uint32_t>(value);
  if (negative) v = 0u - v;
  return static_cast<int32_t>(v);
}

extern "C" int32_t lxoCnvNumStrToInt(lxmcur *cur, size_t maxlen, uint32_t flags, lxglo *glo) {
  glo->nbytes = 0;
  if (cur->shift_sensitive && cur->shifted) return 0;
  size_t left = lxmleft(cur);
  size_t len = maxlen < left ? maxlen : left;
  int32_t v = lxsCnvNumStrToInt(cur->pos, len, flags, cur->langid, glo);
  size_t n = glo->nbytes;
  cur->pos += n;
  if (cur->shift_sensitive && n > 0 && cur->pos[-1] == cur->langid->shift_out) {
    cur->shifted = 1;  // the shift-out byte that ended the digits
  }
  return v;
}
