// Writing a 32-bit integer as text in a handle's character set: decimal or
// hexadecimal digits with sign, group separators and zero padding, or a
// Roman numeral in letters or in the Unicode Roman numeral characters.
//
// A field is written from its right end: digits (padding zeros count as
// digits for the grouping), then the sign in the field's first position.
// Nothing is written when the call fails.
#include <assert.h>
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxg.h"
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr uint32_t kStatusRoom = 6;
constexpr uint32_t kStatusRange = 10;
constexpr uint32_t kStatusNoMode = 11;
constexpr uint16_t kEbcdicHexId = 835;     // EBCDIC set whose letters a-f are 0x62-0x67
constexpr uint32_t kUnicodeShapes = LXCSF_SURR6 | LXCSF_UTF8SHAPE;
constexpr unsigned kMaxDigits = 32;        // hexadecimal digits, separators and sign fit
constexpr uint8_t kAsciiMinus = 0x2D, kEbcdicMinus = 0x60;
constexpr size_t kUnicodeRomanBytes = 3;   // room counted per numeral character
constexpr uint16_t kSmallEleven = 0x217A, kSmallTwelve = 0x217B;

// Digit tables: the characters of the values 0 to 15.
constexpr uint8_t lxscnvinIntToASCIITbl[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                               '8', '9', 'a', 'b', 'c', 'd', 'e', 'f'};
constexpr uint8_t lxscnvinIntToASCIITbu[16] = {'0', '1', '2', '3', '4', '5', '6', '7',
                                               '8', '9', 'A', 'B', 'C', 'D', 'E', 'F'};
constexpr uint8_t lxscnvinIntToEBCDICTbl[16] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                                                0xF8, 0xF9, 0x81, 0x82, 0x83, 0x84, 0x85, 0x86};
constexpr uint8_t lxscnvinIntToEBCDICTbu[16] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                                                0xF8, 0xF9, 0xC1, 0xC2, 0xC3, 0xC4, 0xC5, 0xC6};
constexpr uint8_t lxscnvinIntToEBCDICTbls[16] = {0xF0, 0xF1, 0xF2, 0xF3, 0xF4, 0xF5, 0xF6, 0xF7,
                                                 0xF8, 0xF9, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67};

// Roman numeral patterns, indexed by digit * 4 + place (0 units, 1 tens,
// 2 hundreds, 3 thousands): a count and up to four UTF-16 units.
struct RomPattern {
  uint8_t count;
  uint16_t units[4];
};
constexpr unsigned kPlaces = 4;
constexpr unsigned kPatterns = 10 * kPlaces;

// One place's nine patterns from its one, five and ten characters.
constexpr void place(RomPattern (&t)[kPatterns], unsigned p, uint16_t one, uint16_t five,
                     uint16_t ten) {
  const RomPattern shapes[10] = {{0, {}},
                                 {1, {one}},
                                 {2, {one, one}},
                                 {3, {one, one, one}},
                                 {2, {one, five}},
                                 {1, {five}},
                                 {2, {five, one}},
                                 {3, {five, one, one}},
                                 {4, {five, one, one, one}},
                                 {2, {one, ten}}};
  for (unsigned d = 0; d < 10; ++d) t[d * kPlaces + p] = shapes[d];
}

constexpr auto make_letters() {
  struct {
    RomPattern t[kPatterns];
  } r{};
  place(r.t, 0, 'i', 'v', 'x');
  place(r.t, 1, 'x', 'l', 'c');
  place(r.t, 2, 'c', 'd', 'm');
  place(r.t, 3, 'm', 0, 0);
  for (unsigned d = 4; d < 10; ++d) r.t[d * kPlaces + 3] = {0, {}};  // 4000 and up: none
  return r;
}

constexpr auto make_unicode() {
  struct {
    RomPattern t[kPatterns];
  } r{};
  place(r.t, 1, 0x2179, 0x217C, 0x217D);
  place(r.t, 2, 0x217D, 0x217E, 0x217F);
  place(r.t, 3, 0x217F, 0, 0);
  for (unsigned d = 4; d < 10; ++d) r.t[d * kPlaces + 3] = {0, {}};
  for (unsigned d = 1; d < 10; ++d) r.t[d * kPlaces] = {1, {uint16_t(0x2170 + d - 1)}};
  return r;
}

constexpr auto kLetters = make_letters();
constexpr auto kUnicode = make_unicode();
constexpr const RomPattern *lxppToNumStrRomTbl = kLetters.t;
constexpr const RomPattern *lxppToNumStrUnicodeRomanTbl = kUnicode.t;

struct RomIndex {
  int32_t low, high;
  uint32_t places;
  const RomPattern *patterns;
};
constexpr RomIndex lxppToNumStrIdx[2] = {{1, 3999, kPlaces, kLetters.t},
                                         {1, 3999, kPlaces, kUnicode.t}};

static_assert(lxppToNumStrRomTbl[9 * kPlaces + 1].units[1] == 'c');          // xc
static_assert(lxppToNumStrUnicodeRomanTbl[4 * kPlaces + 0].units[0] == 0x2173);  // iv

// Digits of m in base.
template <uint32_t Base>
unsigned count_digits(uint32_t m) {
  unsigned n = 1;
  while (m >= Base) {
    m /= Base;
    ++n;
  }
  return n;
}

// The plain field: single-byte, no separators, no shift-in byte. Digits
// right to left, then padding, then the sign.
template <uint32_t Base>
void write_plain(uint8_t *out, size_t field, uint32_t m, bool negative, const uint8_t *digits,
                 uint8_t minus) {
  uint8_t *p = out + field;
  do {
    *--p = digits[m % Base];
    m /= Base;
  } while (m != 0);
  uint8_t *first = out + (negative ? 1 : 0);
  while (p > first) *--p = digits[0];
  if (negative) out[0] = minus;
}

size_t fail(lxglo *glo, uint32_t status) {
  glo->status = status;
  return 0;
}

// Decimal and hexadecimal.
size_t write_number(uint8_t *out, size_t size, int32_t value, size_t width, uint32_t flags,
                    const lxlangid *h, const lxcsobj *cs, lxglo *glo) {
  const bool hex = !(flags & LXS_NUM_DEC);
  const bool wide = cs && cs->id == LXCS_AL16UTF16;
  const bool ascii = wide || !cs || (cs->flags & LXCSF_ASCII);
  const bool upper = (flags & LXS_NUM_UPPER) != 0;
  const uint8_t *digits = ascii ? (upper ? lxscnvinIntToASCIITbu : lxscnvinIntToASCIITbl)
                          : upper ? lxscnvinIntToEBCDICTbu
                          : cs->id == kEbcdicHexId ? lxscnvinIntToEBCDICTbls
                                                   : lxscnvinIntToEBCDICTbl;
  const uint32_t base = hex ? 16 : 10;
  const bool negative = !(flags & LXS_NUM_UNSIGNED) && value < 0;
  uint32_t m = static_cast<uint32_t>(value);
  if (negative) m = 0u - m;
  const bool group = (flags & LXS_NUM_GROUP) != 0;
  const bool shifted = (flags & LXS_NUM_SHIFTED) != 0;

  const unsigned ndig = hex ? count_digits<16>(m) : count_digits<10>(m);
  const size_t chars = ndig + (group ? (ndig - 1) / 3 : 0) + (negative ? 1 : 0);
  const size_t unit = wide ? 2 : 1;
  if (wide) width = width < 2 ? 0 : width & ~size_t(1);
  const size_t lead = shifted ? 1 : 0;  // the shift-in byte in front
  const size_t need = chars * unit + lead;
  const size_t field = width ? width : need;
  if (size < need || size < field || field < need) return fail(glo, kStatusRoom);

  const uint8_t minus = ascii ? kAsciiMinus : kEbcdicMinus;
  if (!wide && !group && !shifted) {
    if (hex) write_plain<16>(out, field, m, negative, digits, minus);
    else write_plain<10>(out, field, m, negative, digits, minus);
    glo->ncount2 = field;
    return field;
  }
  // Positions are characters of the field after the shift-in byte.
  const size_t nchars = (field - lead) / unit;
  const uint8_t sep_hi = wide ? h->numchars[2] : 0;
  const uint8_t sep = wide ? h->numchars[3] : h->numchars[1];
  auto put = [&](size_t pos, uint8_t hi, uint8_t lo) {
    uint8_t *p = out + lead + pos * unit;
    if (wide) {
      p[0] = hi;
      p[1] = lo;
    } else {
      p[0] = lo;
    }
  };
  const size_t first = negative ? 1 : 0;  // first position of digits and padding
  size_t pos = nchars;
  unsigned written = 0;  // digits and padding zeros so far
  while (pos > first) {
    if (group && written > 0 && written % 3 == 0 && pos - 1 > first) {
      put(--pos, sep_hi, sep);
      if (pos == first) break;
    }
    uint8_t d = digits[0];
    if (written < ndig) {
      d = digits[m % base];
      m /= base;
    }
    put(--pos, 0, d);
    ++written;
  }
  if (negative) put(0, 0, minus);
  glo->ncount2 = nchars;
  return field;
}

// Roman numerals.
size_t write_roman(uint8_t *out, size_t size, int32_t value, uint32_t flags, const lxcsobj *cs,
                   lxglo *glo) {
  const bool wide = cs && cs->id == LXCS_AL16UTF16;
  const bool unicode_set =
      cs && (wide || cs->id == LXCS_UTFE ||
             ((cs->flags & kUnicodeShapes) && !(cs->flags & LXCSF_SHIFT)));
  const bool unicode = flags == LXS_NUM_UROMAN && unicode_set;
  const RomIndex &idx = lxppToNumStrIdx[unicode ? 1 : 0];
  const size_t per = wide ? 2 : unicode ? kUnicodeRomanBytes : 1;

  uint16_t units[16];
  uint32_t n = 0;
  if (unicode && (value == 11 || value == 12) && size >= per) {
    units[n++] = value == 11 ? kSmallEleven : kSmallTwelve;
  } else {
    if (value < idx.low || value > idx.high) return fail(glo, kStatusRange);
    uint32_t v = static_cast<uint32_t>(value);
    static constexpr uint32_t kPow[kPlaces] = {1, 10, 100, 1000};
    for (unsigned p = idx.places; p-- > 0;) {
      const RomPattern &pat = idx.patterns[(v / kPow[p]) % 10 * kPlaces + p];
      assert(n + pat.count <= sizeof units / sizeof units[0]);
      for (unsigned k = 0; k < pat.count; ++k) units[n++] = pat.units[k];
    }
  }
  if (size < n * per) return fail(glo, kStatusRoom);
  if (!cs) {  // no set loaded: the letters as ASCII
    for (uint32_t k = 0; k < n; ++k) out[k] = static_cast<uint8_t>(units[k]);
    glo->ncount2 = n;
    return n;
  }
  lxglo work = *glo;
  uint32_t bytes = lxgu2t(out, cs, static_cast<uint32_t>(size), units, n, 0, &work);
  glo->repmark = work.repmark;
  glo->ncount2 = n;
  return bytes;
}

}  // namespace

extern "C" size_t lxsCnvIntToNumStr(void *out, size_t size, int32_t value, size_t width,
                                    uint32_t flags, const lxlangid *h, lxglo *glo) {
  glo->status = 0;
  glo->ncount = 0;
  glo->ncount2 = 0;
  const lxcsobj *cs = lxmi::charset(h, glo);
  auto *o = static_cast<uint8_t *>(out);
  if (flags & (LXS_NUM_DEC | LXS_NUM_HEX)) return write_number(o, size, value, width, flags, h, cs, glo);
  if (flags & (LXS_NUM_ROMAN | LXS_NUM_UROMAN)) return write_roman(o, size, value, flags, cs, glo);
  return fail(glo, kStatusNoMode);
}

extern "C" size_t lxoCnvIntToNumStr(lxmcur *cur, size_t maxlen, int32_t value, size_t width,
                                    uint32_t flags, lxglo *glo) {
  glo->status = 0;
  glo->ncount = 0;
  glo->ncount2 = 0;
  const size_t left = lxmleft(cur);
  const size_t limit = maxlen < left ? maxlen : left;
  const lxlangid *h = cur->langid;
  const bool numeric = (flags & (LXS_NUM_DEC | LXS_NUM_HEX)) != 0;
  if (cur->shift_sensitive && cur->shifted && numeric) {
    // Measure first, so that a field that does not fit leaves the cursor.
    uint8_t probe[kMaxDigits * 2];
    lxglo m = *glo;
    size_t chars = lxsCnvIntToNumStr(probe, sizeof probe, value, 0, flags & ~LXS_NUM_SHIFTED, h, &m);
    if (chars == 0) {
      glo->status = m.status;
      return 0;
    }
    const size_t need = chars + 1;
    if (limit < need || limit < width || (width != 0 && width < need)) return fail(glo, kStatusRoom);
    *cur->pos = h->shift_in;
    cur->shifted = 0;
    flags |= LXS_NUM_SHIFTED;
  }
  size_t n = lxsCnvIntToNumStr(cur->pos, limit, value, width, flags, h, glo);
  cur->pos += n;
  cur->mark2 = static_cast<uint16_t>(cur->mark2 + glo->ncount2);
  return n;
}
