// Reading a 32-bit integer from text in a handle's character set: decimal
// with an optional sign, hexadecimal, or a Roman numeral in letters or in the
// Unicode Roman numeral characters (free, or a month).
//
// The reader is bounded by the length it is given: every look at a
// character first checks that the whole character lies inside the text, so
// nbytes never exceeds the length.
#include <stdint.h>

#include <initializer_list>

#include "lxc.h"
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr uint32_t kStatusInvalid = 9;
constexpr uint32_t kStatusOverflow = 10;
constexpr uint32_t kStatusNoMonth = 12;
constexpr uint16_t kEbcdicHexId = 835;  // EBCDIC set whose letters a-f are 0x62-0x67
constexpr uint8_t kNoDigit = 255;
constexpr int32_t kNoValue = 0x7FFFFFFF;
constexpr uint32_t kUnicodeShapes = LXCSF_SURR6 | LXCSF_UTF8SHAPE;
constexpr uint8_t kEbcdicPlus = 0x4E, kEbcdicMinus = 0x60;

// ---- digit tables --------------------------------------------------------

struct DigitTable {
  uint8_t v[256];
};
constexpr DigitTable digits(uint8_t d0, uint8_t a1, uint8_t a2, uint8_t a3) {
  DigitTable t{};
  for (auto &x : t.v) x = kNoDigit;
  for (unsigned k = 0; k < 10; ++k) t.v[d0 + k] = uint8_t(k);
  const uint8_t letters[3] = {a1, a2, a3};
  for (uint8_t a : letters)
    if (a)
      for (unsigned k = 0; k < 6; ++k) t.v[a + k] = uint8_t(10 + k);
  return t;
}
constexpr DigitTable lxppCodeDecToIntASCIITbl = digits('0', 0, 0, 0);
constexpr DigitTable lxppCodeDecToIntEBCDICTbl = digits(0xF0, 0, 0, 0);
constexpr DigitTable lxppCodeHexToIntASCIITbl = digits('0', 'A', 'a', 0);
constexpr DigitTable lxppCodeHexToIntEBCDICTbl = digits(0xF0, 0x81, 0xC1, 0);
constexpr DigitTable lxppCodeHexToIntEBCDICTblSpec = digits(0xF0, 0x62, 0xC1, 0);
static_assert(lxppCodeHexToIntEBCDICTblSpec.v[0x67] == 15 && lxppCodeHexToIntEBCDICTblSpec.v[0x81] == kNoDigit);

// ---- Roman numeral tables ------------------------------------------------

// Letters: a row is {following characters, first letter, up to three
// following characters, value}; longer patterns first, 5 rows a group.
struct RomRow {
  uint8_t follow;
  uint16_t c[4];
  int32_t value;
};
constexpr unsigned lxppFrNumStrRomTblWid = 5;
constexpr unsigned lxppFrNumStrRomTblLen = 70;
constexpr uint16_t kDbl = 0x2181, kTen = 0x2182;  // the 5000 and 10000 characters

constexpr auto make_rom() {
  struct {
    RomRow r[lxppFrNumStrRomTblLen];
  } t{};
  const RomRow lower[35] = {
      {2, {'c', 'c', 'c'}, 300}, {1, {'c', 'c'}, 200}, {1, {'c', 'd'}, 400}, {1, {'c', 'm'}, 900}, {0, {'c'}, 100},
      {3, {'d', 'c', 'c', 'c'}, 800}, {2, {'d', 'c', 'c'}, 700}, {1, {'d', 'c'}, 600}, {0, {'d'}, 500}, {},
      {2, {'i', 'i', 'i'}, 3}, {1, {'i', 'i'}, 2}, {1, {'i', 'v'}, 4}, {1, {'i', 'x'}, 9}, {0, {'i'}, 1},
      {3, {'l', 'x', 'x', 'x'}, 80}, {2, {'l', 'x', 'x'}, 70}, {1, {'l', 'x'}, 60}, {0, {'l'}, 50}, {},
      {2, {'m', 'm', 'm'}, 3000}, {1, {'m', 'm'}, 2000}, {1, {'m', kDbl}, 4000}, {1, {'m', kTen}, 9000}, {0, {'m'}, 1000},
      {3, {'v', 'i', 'i', 'i'}, 8}, {2, {'v', 'i', 'i'}, 7}, {1, {'v', 'i'}, 6}, {0, {'v'}, 5}, {},
      {2, {'x', 'x', 'x'}, 30}, {1, {'x', 'x'}, 20}, {1, {'x', 'l'}, 40}, {1, {'x', 'c'}, 90}, {0, {'x'}, 10},
  };
  for (unsigned i = 0; i < 35; ++i) {
    t.r[i] = lower[i];
    RomRow up = lower[i];
    for (auto &c : up.c)
      if (c >= 'a' && c <= 'z') c = uint16_t(c - 'a' + 'A');
    t.r[35 + i] = up;
  }
  return t;
}
constexpr auto kRom = make_rom();
constexpr const RomRow *lxppFrNumStrRomTbl = kRom.r;

// Roman numeral characters: 36 groups of 6 rows, one per U+2160..U+2183;
// a row is {following characters, up to four of them, value of the group};
// an empty row ends a group.
struct URomRow {
  uint8_t follow;
  uint16_t c[4];
  int32_t value;
};
constexpr unsigned kUFirst = 0x2160, kULast = 0x2183;
constexpr unsigned kUGroups = kULast - kUFirst + 1;
constexpr unsigned lxppFrNumStrUnicodeRomTblWid = 6;
constexpr uint16_t kSmall = 0x10;  // U+2170.. mirror U+2160..

constexpr auto make_urom() {
  struct {
    URomRow r[kUGroups][lxppFrNumStrUnicodeRomTblWid];
  } t{};
  const uint16_t I = 0x2160, V = 0x2164, X = 0x2169, L = 0x216C, C = 0x216D, D = 0x216E,
                 M = 0x216F;
  auto set = [&](uint16_t g, std::initializer_list<URomRow> rows, bool mirror) {
    unsigned k = 0;
    for (const URomRow &r : rows) t.r[g - kUFirst][k++] = r;
    if (!mirror) return;
    k = 0;
    for (URomRow r : rows) {
      for (unsigned j = 0; j < r.follow; ++j)
        if (r.c[j] >= I && r.c[j] <= M) r.c[j] = uint16_t(r.c[j] + kSmall);
      t.r[g + kSmall - kUFirst][k++] = r;
    }
  };
  set(I, {{2, {I, I}, 3}, {1, {I}, 2}, {1, {V}, 4}, {1, {X}, 9}}, true);
  set(V, {{3, {I, I, I}, 8}, {2, {I, I}, 7}, {1, {I}, 6}}, true);
  set(X, {{2, {X, X}, 30}, {1, {X}, 20}, {1, {L}, 40}, {1, {C}, 90}}, true);
  set(L, {{3, {X, X, X}, 80}, {2, {X, X}, 70}, {1, {X}, 60}}, true);
  set(C, {{2, {C, C}, 300}, {1, {C}, 200}, {1, {D}, 400}, {1, {M}, 900}}, true);
  set(D, {{3, {C, C, C}, 800}, {2, {C, C}, 700}, {1, {C}, 600}}, true);
  set(M, {{2, {M, M}, 3000}, {1, {M}, 2000}, {1, {kDbl}, 4000}, {1, {kTen}, 9000}}, true);
  const uint16_t m = M + kSmall;
  set(kDbl, {{3, {M, M, M}, 8000}, {2, {M, M}, 7000}, {1, {M}, 6000},
             {3, {m, m, m}, 8000}, {2, {m, m}, 7000}, {1, {m}, 6000}}, false);
  set(kTen, {{2, {kTen, kTen}, 30000}, {1, {kTen}, 20000}}, false);
  return t;
}
constexpr auto kURom = make_urom();
constexpr const URomRow (*lxppFrNumStrUnicodeRomTbl)[lxppFrNumStrUnicodeRomTblWid] = kURom.r;
static_assert(kURom.r[0x217F - kUFirst][0].c[1] == 0x217F && kURom.r[0x217F - kUFirst][2].c[0] == kDbl);

// ---- the text ------------------------------------------------------------

struct Text {
  const uint8_t *p;
  size_t len;
  const lxlangid *h;
  const lxcsobj *cs;
};

// ---- decimal and hexadecimal ---------------------------------------------

int32_t read_number(const Text &t, uint32_t flags, lxglo *glo) {
  const bool dec = (flags & LXS_NUM_DEC) != 0;
  const lxcsobj *cs = t.cs;
  const bool wide = cs ? cs->id == LXCS_AL16UTF16 : (t.h->flags & LXH_F_AL16UTF16) != 0;
  const bool ascii = wide || !cs || (cs->flags & LXCSF_ASCII);
  const bool spec835 = cs && cs->id == kEbcdicHexId;
  const bool shift = cs ? (cs->flags & LXCSF_SHIFT) != 0 : (t.h->flags & LXH_F_SHIFT) != 0;
  const bool multi = cs && !wide && !shift && cs->maxbytes > 1 && !(cs->flags & kUnicodeShapes) &&
                     cs->id != LXCS_UTFE && !spec835;
  const DigitTable &tab = dec ? (ascii ? lxppCodeDecToIntASCIITbl : lxppCodeDecToIntEBCDICTbl)
                          : ascii ? lxppCodeHexToIntASCIITbl
                          : spec835 ? lxppCodeHexToIntEBCDICTblSpec
                                    : lxppCodeHexToIntEBCDICTbl;
  const bool unsig = (flags & LXS_NUM_UNSIGNED) ||
                     ((flags & LXS_NUM_UNSIGNED2) && !(flags & LXS_NUM_SIGNED));
  const uint32_t base = dec ? 10 : 16;
  const uint32_t limit = dec ? (unsig ? 4294967295u : 2147483647u)
                             : (unsig ? 0xFFFFFFFFu : 0x7FFFFFFFu);
  const uint32_t plus = ascii ? '+' : kEbcdicPlus, minus = ascii ? '-' : kEbcdicMinus;
  const uint32_t group = wide ? (uint32_t(t.h->numchars[2]) << 8 | t.h->numchars[3])
                              : t.h->numchars[1];
  const size_t unit = wide ? 2 : 1;
  const uint8_t *p = t.p;
  const size_t len = t.len;
  if (wide && len < 2) return 0;

  // The character at i as a value for the sign and separator tests, or -1
  // when no whole single-unit character lies there.
  auto at = [&](size_t i) -> int32_t {
    if (i + unit > len) return -1;
    if (wide) return int32_t(uint32_t(p[i]) << 8 | p[i + 1]);
    if (multi && (cs->bclass[p[i]] & 3u)) return -1;
    return p[i];
  };
  // The digit value of the character at i, or kNoDigit.
  auto digit = [&](size_t i) -> uint32_t {
    int32_t c = at(i);
    if (c < 0) return kNoDigit;
    if (!wide) return tab.v[c];
    uint32_t v = cs ? lxcsugnv(cs, p + i, 2) : LXCS_NONUMERIC;
    if (v < base) return v;
    // letters of hexadecimal text, and ASCII digits of a set without numeric values
    if (v == LXCS_NONUMERIC && c < 256) return tab.v[c];
    return kNoDigit;
  };

  if (!wide && !multi && !shift && !(flags & LXS_NUM_GROUP)) {
    // one byte a character: the table alone decides
    size_t i = 0;
    bool negative = false;
    if (dec && (p[0] == plus || p[0] == minus)) {
      negative = p[0] == minus;
      i = 1;
    }
    if (i == len || tab.v[p[i]] == kNoDigit) {
      glo->status = kStatusInvalid;
      glo->nbytes = i;
      return 0;
    }
    const uint32_t top = limit / base, last = limit % base;
    uint32_t value = 0;
    for (; i < len; ++i) {
      const uint32_t d = tab.v[p[i]];
      if (d == kNoDigit) break;
      if (value >= top && (value > top || d > last)) {
        glo->status = kStatusOverflow;
        glo->nbytes = i;
        return 0;
      }
      value = value * base + d;
    }
    glo->nbytes = i;
    if (negative) value = 0u - value;
    return static_cast<int32_t>(value);
  }

  size_t i = 0;
  bool negative = false;
  int32_t c = at(0);
  if (dec && c >= 0 && (uint32_t(c) == plus || uint32_t(c) == minus)) {
    negative = uint32_t(c) == minus;
    i += unit;
  }
  if (digit(i) == kNoDigit) {
    glo->status = kStatusInvalid;
    glo->nbytes = i;
    return 0;
  }
  uint32_t value = 0;
  for (;;) {
    uint32_t d = digit(i);
    if (d == kNoDigit) break;
    if (value > limit / base || (value == limit / base && d > limit % base)) {
      glo->status = kStatusOverflow;
      glo->nbytes = i;
      return 0;
    }
    value = value * base + d;
    i += unit;
    int32_t next = at(i);
    if ((flags & LXS_NUM_GROUP) && next >= 0 && uint32_t(next) == group) {
      i += unit;  // one separator after a digit
      continue;
    }
    if (shift && next >= 0 && uint8_t(next) == t.h->shift_in) {
      i += 1;
      continue;
    }
    if (shift && next >= 0 && uint8_t(next) == t.h->shift_out) {
      i += 1;
      break;
    }
  }
  glo->nbytes = i;
  if (negative) value = 0u - value;
  return static_cast<int32_t>(value);
}

// ---- Roman numerals ------------------------------------------------------

struct Char {
  uint32_t u;    // UTF-16 value (0 at the end of the text)
  size_t bytes;  // 0 at the end of the text
};

class RomanReader {
 public:
  RomanReader(const Text &t) : t_(t) {
    wide_ = t.cs && (t.cs->flags & LXCSF_UNIT16);
    unicode_ = t.cs && (t.cs->id == LXCS_AL16UTF16 || t.cs->id == LXCS_UTFE ||
                        ((t.cs->flags & kUnicodeShapes) && !(t.cs->flags & LXCSF_SHIFT)));
  }

  // The character at byte i; a NUL, a cut-off character or the end of the
  // text gives {0, 0}.
  Char at(size_t i) const {
    if (i >= t_.len) return {0, 0};
    const uint8_t *p = t_.p + i;
    size_t n = t_.cs ? lxmi::lead_len(t_.cs, p[0]) : 1;
    if (wide_ && n < 2) n = 2;
    if (n > t_.len - i) return {0, 0};
    if (n == 1) {
      if (p[0] == 0) return {0, 0};
      return {t_.cs ? uint32_t(t_.cs->sbu[p[0]]) : uint32_t(p[0]), 1};
    }
    if (wide_ && p[0] == 0 && p[1] == 0) return {0, 0};
    uint32_t u = lxcsdecoder(t_.cs)(t_.cs, p, uint16_t(n));
    return {u, n};
  }

  // Reads one group at byte i; its value and bytes, or value -1 when the
  // character there starts none. With month_second, a group iii counts as ii.
  struct Group {
    int32_t value;
    size_t bytes;
  };
  Group group(size_t i, bool month_second) const {
    Char first = at(i);
    if (first.bytes == 0) return {-1, 0};
    if (unicode_ && first.u >= kUFirst && first.u <= kULast) return unicode_group(i, first);
    const uint16_t f = fold(first.u);
    for (unsigned g = 0; g < lxppFrNumStrRomTblLen; g += lxppFrNumStrRomTblWid) {
      if (fold(lxppFrNumStrRomTbl[g].c[0]) != f) continue;
      for (unsigned k = 0; k < lxppFrNumStrRomTblWid; ++k) {
        const RomRow &r = lxppFrNumStrRomTbl[g + k];
        if (r.value == 0) continue;  // empty row
        if (month_second && r.follow == 2 && r.value == 3) continue;  // iii: read as ii
        size_t j = i + first.bytes;
        bool match = true;
        for (unsigned n = 1; n <= r.follow && match; ++n) {
          Char c = at(j);
          match = c.bytes != 0 && fold(c.u) == fold(r.c[n]);
          j += c.bytes;
        }
        if (match) return {r.value, j - i};
      }
      return {-1, 0};
    }
    return {-1, 0};
  }

 private:
  static uint16_t fold(uint32_t u) {
    return uint16_t(u >= 'A' && u <= 'Z' ? u - 'A' + 'a' : u);
  }

  Group unicode_group(size_t i, Char first) const {
    uint32_t v = lxcsugnv(t_.cs, t_.p + i, first.bytes);
    if (v == LXCS_NONUMERIC || v > uint32_t(INT32_MAX)) return {-1, 0};
    Group best{int32_t(v), first.bytes};
    const URomRow *rows = lxppFrNumStrUnicodeRomTbl[first.u - kUFirst];
    for (unsigned k = 0; k < lxppFrNumStrUnicodeRomTblWid && rows[k].follow; ++k) {
      size_t j = i + first.bytes;
      bool match = true;
      for (unsigned n = 0; n < rows[k].follow && match; ++n) {
        Char c = at(j);
        match = c.bytes != 0 && c.u == rows[k].c[n];  // running out is a mismatch
        j += c.bytes;
      }
      if (match) return {rows[k].value, j - i};
    }
    return best;
  }

  Text t_;
  bool wide_ = false, unicode_ = false;
};

int32_t read_roman(const Text &t, uint32_t flags, lxglo *glo) {
  const bool month = (flags & LXS_NUM_SHIFTED) != 0;
  if (t.len == 0) {
    glo->status = month ? kStatusNoMonth : kStatusInvalid;
    return 0;
  }
  RomanReader r(t);
  if (month) {
    RomanReader::Group g = r.group(0, false);
    if (g.value < 0) {
      glo->status = kStatusNoMonth;
      return 0;
    }
    int32_t total = g.value;
    size_t used = g.bytes;
    if (total == 10) {
      RomanReader::Group g2 = r.group(used, true);
      if (g2.value >= 0) {
        total += g2.value;
        used += g2.bytes;
      }
    }
    glo->nbytes = used;
    return total;
  }
  int64_t total = 0;
  size_t used = 0;
  while (r.at(used).bytes != 0) {
    RomanReader::Group g = r.group(used, false);
    if (g.value < 0) {
      glo->status = kStatusInvalid;
      glo->nbytes = used;
      return 0;
    }
    if (total + g.value > INT32_MAX) {
      glo->status = kStatusOverflow;
      glo->nbytes = used;
      return 0;
    }
    total += g.value;
    used += g.bytes;
  }
  glo->nbytes = used;
  return static_cast<int32_t>(total);
}

}  // namespace

extern "C" int32_t lxsCnvNumStrToInt(const void *text, size_t len, uint32_t flags,
                                     const lxlangid *h, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  const Text t{static_cast<const uint8_t *>(text), len, h, lxmi::charset(h, glo)};
  if (flags & (LXS_NUM_DEC | LXS_NUM_HEX)) return len == 0 ? 0 : read_number(t, flags, glo);
  if (flags & LXS_NUM_ROMAN) return read_roman(t, flags, glo);
  return 0;
}

extern "C" int32_t lxoCnvNumStrToInt(lxmcur *cur, size_t maxlen, uint32_t flags, lxglo *glo) {
  glo->nbytes = 0;
  if (cur->shift_sensitive && cur->shifted) return 0;
  size_t left = lxmleft(cur);
  size_t len = maxlen < left ? maxlen : left;
  int32_t v = lxsCnvNumStrToInt(cur->pos, len, flags, cur->langid, glo);
  size_t n = glo->nbytes;
  cur->pos += n;
  // The reader takes a shift-out byte that ends the digits; the cursor
  // follows it into the shifted-out state.
  if (cur->shift_sensitive && n > 0 && cur->pos[-1] == cur->langid->shift_out) cur->shifted = 1;
  return v;
}

extern "C" int32_t lxsCnvNuInvalidNumber(const void *unit) {
  auto p = static_cast<const uint8_t *>(unit);
  const uint32_t u = uint32_t(p[0]) << 8 | p[1];
  if (u >= 256) return kNoValue;
  const uint8_t v = lxppCodeHexToIntASCIITbl.v[u];
  return v == kNoDigit ? kNoValue : v;
}
