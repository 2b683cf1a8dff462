// Canadian French order over ISO 8859-1 text: letters and digits by their
// primary, secondary (accent) and tertiary (case) weights, accents compared
// from the end of the text; signs and controls last, by position and weight.
#include <string.h>

#include "lxsfint.h"

namespace {

// The four weights of a byte: primary, secondary, tertiary, and the special
// weight of a byte without a primary.
struct Row {
  uint8_t pri, sec, ter, special;
};
struct Table {
  Row r[256];
};

constexpr uint8_t kPlainSec = 0x0F, kLowerTer = 0x07, kUpperTer = 0x0A;

constexpr Table make_table() {
  Table t{};
  for (unsigned b = '0'; b <= '9'; ++b) t.r[b] = {static_cast<uint8_t>(b), kPlainSec, kLowerTer, 0};
  for (unsigned b = 'a'; b <= 'z'; ++b) t.r[b] = {static_cast<uint8_t>(b), kPlainSec, kLowerTer, 0};
  for (unsigned b = 'A'; b <= 'Z'; ++b)
    t.r[b] = {static_cast<uint8_t>(b + ('a' - 'A')), kPlainSec, kUpperTer, 0};
  auto set = [&t](unsigned b, uint8_t p, uint8_t s, uint8_t te) { t.r[b] = {p, s, te, 0}; };
  set(0xA0, 0x20, 0x0F, 0x07);
  set(0xAA, 0x61, 0x10, 0x09);
  set(0xB2, 0x32, 0x0F, 0x09);
  set(0xB3, 0x33, 0x0F, 0x09);
  set(0xB9, 0x31, 0x0F, 0x09);
  set(0xBA, 0x6F, 0x10, 0x09);
  set(0xBC, 0x30, 0x14, 0x07);
  set(0xBD, 0x30, 0x16, 0x07);
  set(0xBE, 0x30, 0x18, 0x07);
  // Upper-case accented letters (C0-DE); the lower-case ones (E0-FE) are the
  // same letters 0x20 higher.
  const uint8_t a_sec[] = {0x13, 0x12, 0x14, 0x17, 0x16, 0x15};
  for (unsigned k = 0; k < 6; ++k) set(0xC0 + k, 0x61, a_sec[k], kUpperTer);
  set(0xC6, 0x61, 0x11, kUpperTer);
  set(0xC7, 0x63, 0x19, kUpperTer);
  const uint8_t e_sec[] = {0x13, 0x12, 0x14, 0x16};
  for (unsigned k = 0; k < 4; ++k) {
    set(0xC8 + k, 0x65, e_sec[k], kUpperTer);
    set(0xCC + k, 0x69, e_sec[k], kUpperTer);
    set(0xD9 + k, 0x75, e_sec[k], kUpperTer);
  }
  set(0xD0, 0x64, 0x10, kUpperTer);
  set(0xD1, 0x6E, 0x17, kUpperTer);
  const uint8_t o_sec[] = {0x13, 0x12, 0x14, 0x17, 0x16};
  for (unsigned k = 0; k < 5; ++k) set(0xD2 + k, 0x6F, o_sec[k], kUpperTer);
  set(0xD8, 0x6F, 0x18, kUpperTer);
  set(0xDD, 0x79, 0x12, kUpperTer);
  set(0xDE, 0x74, 0x10, kUpperTer);
  set(0xDF, 0x73, 0x11, kLowerTer);
  for (unsigned b = 0xE0; b <= 0xFE; ++b) {
    if (b == 0xF7) continue;
    Row u = t.r[b - 0x20];
    t.r[b] = {u.pri, u.sec, kLowerTer, 0};
  }
  set(0xE3, 0x61, 0x17, kUpperTer);
  set(0xFF, 0x79, 0x16, kLowerTer);
  // Bytes without a primary: their special weights (controls 0).
  const uint8_t specials[][2] = {
      {0x20, 0x20}, {0x21, 0x28}, {0x22, 0x38}, {0x23, 0x52}, {0x24, 0x4C}, {0x25, 0x53},
      {0x26, 0x51}, {0x27, 0x35}, {0x28, 0x3D}, {0x29, 0x3E}, {0x2A, 0x4F}, {0x2B, 0x55},
      {0x2C, 0x25}, {0x2D, 0x24}, {0x2E, 0x2D}, {0x2F, 0x2C}, {0x3A, 0x27}, {0x3B, 0x26},
      {0x3C, 0x5B}, {0x3D, 0x5D}, {0x3E, 0x5F}, {0x3F, 0x2A}, {0x40, 0x49}, {0x5B, 0x41},
      {0x5C, 0x50}, {0x5D, 0x42}, {0x5E, 0x30}, {0x5F, 0x21}, {0x60, 0x2F}, {0x7B, 0x43},
      {0x7C, 0x61}, {0x7D, 0x44}, {0x7E, 0x32}, {0xA1, 0x29}, {0xA2, 0x4B}, {0xA3, 0x4D},
      {0xA4, 0x4A}, {0xA5, 0x4E}, {0xA6, 0x62}, {0xA7, 0x45}, {0xA8, 0x31}, {0xA9, 0x47},
      {0xAB, 0x3B}, {0xAC, 0x60}, {0xAD, 0x23}, {0xAE, 0x48}, {0xAF, 0x22}, {0xB0, 0x63},
      {0xB1, 0x57}, {0xB4, 0x2E}, {0xB5, 0x64}, {0xB6, 0x46}, {0xB7, 0x33}, {0xB8, 0x34},
      {0xBB, 0x3C}, {0xBF, 0x2B}, {0xD7, 0x59}, {0xF7, 0x58}};
  for (const auto &s : specials) t.r[s[0]] = {0, 0, 0, s[1]};
  return t;
}
constexpr Table table = make_table();

// A special byte's entry: its 1-based position, 32-bit big-endian, then its
// special weight.
constexpr size_t kSpecialEntry = 5;

size_t cf_key(uint8_t *key, size_t keysize, const uint8_t *t, size_t n, lxglo *g) {
  size_t m = 0;
  for (size_t i = 0; i < n; ++i) m += table.r[t[i]].pri != 0;
  size_t s = n - m;
  size_t need = 3 * m + 1 + kSpecialEntry * s;
  if (need > keysize) {
    g->status = LXSF_ST_KEYSIZE;
    g->nbytes = 0;
    return 0;
  }
  uint8_t *pri = key, *sec = key + m, *ter = key + 2 * m, *spec = key + 3 * m + 1;
  key[3 * m] = 0;
  size_t k = 0;
  for (size_t i = 0; i < n; ++i) {
    const Row &r = table.r[t[i]];
    if (r.pri != 0) {
      pri[k] = r.pri;
      sec[m - 1 - k] = r.sec;  // accents compare from the end
      ter[k] = r.ter;
      ++k;
    } else {
      uint32_t p = static_cast<uint32_t>(i + 1);
      spec[0] = static_cast<uint8_t>(p >> 24);
      spec[1] = static_cast<uint8_t>(p >> 16);
      spec[2] = static_cast<uint8_t>(p >> 8);
      spec[3] = static_cast<uint8_t>(p);
      spec[4] = r.special;
      spec += kSpecialEntry;
    }
  }
  g->nbytes = n;
  return need;
}

}  // namespace

extern "C" size_t lxsmdcf(uint8_t *key, size_t keysize, const uint8_t *text, size_t len,
                          const lxlangid *h, lxglo *g) {
  g->status = 0;
  g->nbytes = 0;
  if (len == 0) return 0;
  bool alt = false;
  return lxsf::in_charset(LXSF_CS_LATIN1, 0, text, len, h, g, &alt, [&](const uint8_t *t, size_t n) {
    return n == 0 ? size_t{0} : cf_key(key, keysize, t, n, g);
  });
}

namespace {
// Keys of at most 5 bytes per text byte (and the separator), in slots of 8
// bytes per text byte.
constexpr lxsf::Keyed kCanadian{lxsmdcf, 8, 1, true, lxsf::Lower::simple_own};
}

extern "C" int lxscdcf(lxmcur *l, size_t llen, lxmcur *r, size_t rlen, int caseless, int nulterm,
                       lxglo *g) {
  return lxsf::keyed_compare(kCanadian, l, llen, r, rlen, caseless, nulterm, g);
}
