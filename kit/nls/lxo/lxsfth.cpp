// Thai dictionary and telephone order: keys of a primary part (consonants
// and vowels, a leading vowel after its consonant) and a secondary part (the
// tone and other marks, each in the slot of the character it belongs to).
#include <string.h>

#include "lxsfint.h"

namespace {

// Classes of tlevel.
enum : uint8_t {
  kPlain = 0,    // a consonant or vowel: a primary byte with its own slot
  kAbove = 1,    // a primary byte whose marks stay with the character before
  kLeading = 2,  // a vowel written before its consonant
  kMark = 3,     // a tone or other mark: the current secondary slot
  kRepeat = 5    // the repetition sign: primary 7F
};
constexpr uint8_t kRepeatPrimary = 0x7F;

struct Levels {
  uint8_t v[256];
};
constexpr Levels make_tlevel() {
  Levels t{};
  t.v[0xD1] = kAbove;
  for (unsigned b = 0xD4; b <= 0xD9; ++b) t.v[b] = kAbove;
  t.v[0xED] = kAbove;
  for (unsigned b = 0xE0; b <= 0xE4; ++b) t.v[b] = kLeading;
  for (unsigned b = 0xE7; b <= 0xEC; ++b) t.v[b] = kMark;
  t.v[0xCF] = kRepeat;
  return t;
}
constexpr Levels tlevel = make_tlevel();

// Bytes of the Thai EBCDIC set (id 42) as the key reads them.
constexpr uint8_t ascii_ebcdic[256] = {
    0x00, 0x01, 0x02, 0x03, 0x04, 0x05, 0x06, 0x07, 0x08, 0x09, 0x0A, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x14, 0x15, 0x16, 0x17, 0x18, 0x19, 0x1A, 0x1B, 0x1C, 0x1D, 0x1E, 0x1F,
    0x20, 0x21, 0x22, 0x23, 0x24, 0x25, 0x26, 0x27, 0x28, 0x29, 0x2A, 0x2B, 0x2C, 0x2D, 0x2E, 0x2F,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0x3A, 0x3B, 0x3C, 0x3D, 0x3E, 0x3F,
    0x20, 0x00, 0xA1, 0xA2, 0xA3, 0xA4, 0xA5, 0xA6, 0xA7, 0x00, 0x4A, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0x00, 0xA8, 0xA9, 0xAA, 0xAB, 0xAC, 0xAD, 0xAE, 0x00, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0x5E,
    0x2D, 0x2F, 0xAF, 0xB0, 0xB1, 0xB2, 0xB3, 0xB4, 0xB5, 0x00, 0x7C, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0x24, 0x00, 0xB6, 0xB7, 0xB8, 0xB9, 0xBA, 0xBB, 0xBC, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0x00, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0xBD, 0xBE, 0xBF, 0xC0, 0xC1, 0xC2,
    0x00, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0xC3, 0xC4, 0xC5, 0xC6, 0xC7, 0xC8,
    0x00, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xC9, 0xCA, 0xCB, 0xCC, 0xCD, 0xCE,
    0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7, 0xF8, 0xF9, 0xCF, 0xD0, 0xD1, 0xD2, 0xD3, 0xD4,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0x00, 0xD5, 0xD6, 0xD7, 0xD8, 0xD9,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xDA, 0xE0, 0xE1, 0xE2, 0xE3, 0xE4,
    0x5C, 0x00, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xE5, 0xE6, 0xE7, 0xE8, 0xE9, 0xEA,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xEB, 0xEC, 0xED, 0x00, 0x00, 0x00};

// The key of n bytes of Thai text (mapped through map when given) with the
// classes of levels; key holds at least 2n + 1 bytes.
size_t thai_key(uint8_t *key, const uint8_t *t, size_t n, const uint8_t *map, const Levels &levels) {
  // The empty text's key is two zero bytes.
  memset(key, 0, n == 0 ? 2 : 2 * n + 1);
  if (n == 0) return 2;
  size_t prim = 0;  // primary bytes so far
  size_t slot = n;  // the current secondary slot
  for (size_t i = 0; i < n; ++i) {
    uint8_t b = map ? map[t[i]] : t[i];
    uint8_t cls = levels.v[b];
    if (cls == kLeading && i + 1 >= n) cls = kPlain;
    switch (cls) {
      case kAbove:
        key[prim++] = b;
        break;
      case kLeading:
        ++i;
        key[prim++] = map ? map[t[i]] : t[i];
        slot = n + prim;
        key[prim++] = b;
        break;
      case kMark:
        key[slot] = b;
        break;
      case kRepeat:
        slot = n + prim;
        key[prim++] = kRepeatPrimary;
        break;
      default:
        slot = n + prim;
        key[prim++] = b;
        break;
    }
  }
  // The zero byte after the current slot ends the key.
  return slot + 2;
}

size_t thai_make(uint8_t *key, size_t keysize, const uint8_t *text, size_t len, const lxlangid *h,
                 lxglo *g, const Levels &levels) {
  g->nbytes = 0;
  if (keysize < 2 * len + 1 || keysize < 2) {
    g->status = LXSF_ST_KEYSIZE;
    return 0;
  }
  g->status = 0;
  bool ebcdic = false;
  size_t r = lxsf::in_charset(LXSF_CS_THAI, LXSF_CS_THAI_EBCDIC, text, len, h, g, &ebcdic,
                              [&](const uint8_t *t, size_t n) {
                                g->nbytes = n;
                                return thai_key(key, t, n, ebcdic ? ascii_ebcdic : nullptr, levels);
                              });
  if (r == 0) g->nbytes = 0;
  return r;
}

}  // namespace

extern "C" size_t lxsmdth(uint8_t *key, size_t keysize, const uint8_t *text, size_t len,
                          const lxlangid *h, lxglo *g) {
  return thai_make(key, keysize, text, len, h, g, tlevel);
}

// Telephone order has the same content as dictionary order.
extern "C" size_t lxsmtth(uint8_t *key, size_t keysize, const uint8_t *text, size_t len,
                          const lxlangid *h, lxglo *g) {
  return thai_make(key, keysize, text, len, h, g, tlevel);
}

namespace {
constexpr lxsf::Keyed kThai{lxsmdth, 2, 1, false, lxsf::Lower::simple_left};
}

extern "C" int lxscdth(lxmcur *l, size_t llen, lxmcur *r, size_t rlen, int caseless, int nulterm,
                       lxglo *g) {
  return lxsf::keyed_compare(kThai, l, llen, r, rlen, caseless, nulterm, g);
}

extern "C" int lxsctth(lxmcur *l, size_t llen, lxmcur *r, size_t rlen, int caseless, int nulterm,
                       lxglo *g) {
  return lxsf::keyed_compare(kThai, l, llen, r, rlen, caseless, nulterm, g);
}
