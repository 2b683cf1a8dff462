// Multibyte class, display width, case and equivalents; the Unicode property
// getters. Objects come from the object writer: a double-byte EUC set with
// fullwidth letters (case pairs, and a delta form), and a UTF-16 code-unit set.
#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "lxc.h"
#include "nlsobjw.h"

namespace {

using Bytes = std::vector<uint8_t>;

constexpr uint16_t kUpperLetter = 0x804, kLowerLetter = 0x808, kWide = 0x10;

struct Charset {
  nlsw::Image img;
  const lxcsobj *cs() const { return reinterpret_cast<const lxcsobj *>(img.bytes.data()); }
};

// A double-byte EUC set: ASCII, and the fullwidth letters A3C1..A3DA and
// A3E1..A3FA with width 2, case pairs and "A".."Z" as equivalents. 8E B1 is a
// narrow (halfwidth) character; A4 A2 lies outside the class trie.
nlsw::CharsetDesc euc() {
  nlsw::CharsetDesc s = nlsw::ascii_charset("TESTEUC", 830);
  s.kind = nlsw::CsKind::Fixed2;
  s.maxbytes = 2;
  for (uint8_t k = 0; k < 26; ++k) {
    uint8_t up = uint8_t(0xC1 + k), lo = uint8_t(0xE1 + k);
    s.map.push_back({{0xA3, up}, 0xFF21u + k});
    s.map.push_back({{0xA3, lo}, 0xFF41u + k});
    s.classes[{0xA3, up}] = kUpperLetter | kWide;
    s.classes[{0xA3, lo}] = kLowerLetter | kWide;
    s.lower_pairs[0xA300u | up] = 0xA300u | lo;
    s.upper_pairs[0xA300u | lo] = 0xA300u | up;
    s.equivalents[uint8_t('A' + k)] = 0xA300u | up;
  }
  s.map.push_back({{0x8E, 0xB1}, 0xFF71});
  s.classes[{0x8E, 0xB1}] = 0x800;
  s.map.push_back({{0xA4, 0xA2}, 0x3042});
  return s;
}

// The same set with case deltas: class index 5 lowers A3C1 to "A" (one
// byte) and index 6 to the three bytes 01 A3 C1; index 9 raises by 0x20.
nlsw::CharsetDesc euc_delta() {
  nlsw::CharsetDesc s = euc();
  s.flags |= LXCSF_CASEDELTA;
  s.lower_pairs.clear();
  s.upper_pairs.clear();
  s.lower_deltas = {0, 0, 0, 0, 0, -(0xA3C1 - 'A'), 0x10000, 0};
  s.upper_deltas = {0, 0, 0, 0, 0, 0, 0, 0, 0, -0x20};
  s.classes[{0xA3, 0xC1}] = 0x800 | 0x4 | 0x1;                 // index 5
  s.classes[{0xA3, 0xC2}] = 0x800 | 0x4 | 0x2;                 // index 6
  s.classes[{0xA3, 0xE1}] = 0x800 | 0x8 | 0x1;                 // index 9
  s.classes[{0xA3, 0xE2}] = 0x800 | 0x8 | 0x4 | 0x3;           // index 15: beyond the deltas
  return s;
}

// A UTF-16 code-unit set: Latin-1 case forms at 1164 / 1676, properties of
// U+0000..U+00FF at 652, Greek capitals in the class trie and case pairs.
nlsw::CharsetDesc utf16() {
  nlsw::CharsetDesc s = nlsw::al16utf16_charset();
  s.upper16.resize(256);
  s.lower16.resize(256);
  s.latin_props.assign(256, 0x40);  // width 1
  for (unsigned c = 0; c < 256; ++c) {
    s.upper16[c] = s.lower16[c] = uint16_t(c);
    if ((c >= 'A' && c <= 'Z') || (c >= 0xC0 && c <= 0xDE && c != 0xD7)) s.lower16[c] = uint16_t(c + 0x20);
    if ((c >= 'a' && c <= 'z') || (c >= 0xE0 && c <= 0xFE && c != 0xF7)) s.upper16[c] = uint16_t(c - 0x20);
  }
  s.latin_props[0xA1] = 0xC0;  // ambiguous
  for (uint8_t k = 0; k < 17; ++k) {
    uint8_t up = uint8_t(0x91 + k), lo = uint8_t(0xB1 + k);
    s.classes[{0x03, up}] = kUpperLetter;
    s.classes[{0x03, lo}] = kLowerLetter;
    s.lower_pairs[0x0300u | up] = 0x0300u | lo;
    s.upper_pairs[0x0300u | lo] = 0x0300u | up;
  }
  s.properties[{0x4E, 0x00}] = 0x80;  // wide
  s.properties[{0x03, 0x91}] = 0xC0;  // ambiguous
  s.combining[0x0301] = 230;
  s.combining[0x0316] = 220;
  s.combining[0x0345] = 240;
  s.numeric[0x0031] = 1;
  s.numeric[0x2164] = 5;
  return s;
}

Bytes lower(const lxcsobj *cs, Bytes in) {
  uint8_t out[8] = {};
  size_t n = lxcsmlo(cs, out, in.data(), in.size());
  return Bytes(out, out + n);
}
Bytes upper(const lxcsobj *cs, Bytes in) {
  uint8_t out[8] = {};
  size_t n = lxcsmup(cs, out, in.data(), in.size());
  return Bytes(out, out + n);
}

TEST(Lxcmb, EucClassWidthAndCase) {
  Charset c{nlsw::build_charset(euc())};
  const lxcsobj *cs = c.cs();
  struct Case {
    Bytes ch;
    uint16_t cls;
    unsigned width;
    Bytes lo, up;
  } cases[] = {
      {{0xA3, 0xC1}, kUpperLetter | kWide, 2, {0xA3, 0xE1}, {0xA3, 0xC1}},
      {{0xA3, 0xDA}, kUpperLetter | kWide, 2, {0xA3, 0xFA}, {0xA3, 0xDA}},
      {{0xA3, 0xFA}, kLowerLetter | kWide, 2, {0xA3, 0xFA}, {0xA3, 0xDA}},
      {{0x8E, 0xB1}, 0x800, 1, {0x8E, 0xB1}, {0x8E, 0xB1}},   // no case: unchanged
      {{0xA4, 0xA2}, 0, 2, {0xA4, 0xA2}, {0xA4, 0xA2}},       // not in the trie
      {{0xA3, 0xB0}, 0, 1, {0xA3, 0xB0}, {0xA3, 0xB0}},       // empty slot of a leaf: narrow
  };
  for (auto &k : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(k.ch[0]) << ' ' << int(k.ch[1]));
    EXPECT_EQ(lxcsgmc(cs, k.ch.data()), k.cls);
    EXPECT_EQ(lxcsgmw(cs, k.ch.data()), k.width);
    EXPECT_EQ(lower(cs, k.ch), k.lo);
    EXPECT_EQ(upper(cs, k.ch), k.up);
  }
  EXPECT_EQ(lxcsgmw(cs, (const uint8_t *)"A"), 1u);
  // packed values: single bytes by the byte tables, others by the pairs
  EXPECT_EQ(lxcswlo(cs, 'Q'), uint32_t('q'));
  EXPECT_EQ(lxcswup(cs, 'q'), uint32_t('Q'));
  EXPECT_EQ(lxcswlo(cs, 0xA3C5), 0xA3E5u);
  EXPECT_EQ(lxcswup(cs, 0xA3E5), 0xA3C5u);
  EXPECT_EQ(lxcswup(cs, 0xA3C5), 0xA3C5u);
  EXPECT_EQ(lxcswlo(cs, 0xA4A2), 0xA4A2u);
}

TEST(Lxcmb, EquivalentsAtEitherEnd) {
  Charset c{nlsw::build_charset(euc())};
  const lxcsobj *cs = c.cs();
  EXPECT_EQ(lxcsm2s(cs, (const uint8_t *)"\xA3\xC1", 2), 'A');  // front
  EXPECT_EQ(lxcsm2s(cs, (const uint8_t *)"\xA3\xDA", 2), 'Z');  // back
  EXPECT_EQ(lxcsm2s(cs, (const uint8_t *)"\xA3\xCD", 2), 'M');
  EXPECT_EQ(lxcsm2s(cs, (const uint8_t *)"\xA3\xE1", 2), 0);
  uint8_t out[4] = {};
  EXPECT_EQ(lxcss2m(cs, out, 'A'), 2u);
  EXPECT_EQ(Bytes(out, out + 2), (Bytes{0xA3, 0xC1}));
  EXPECT_EQ(lxcss2m(cs, out, 'Z'), 2u);
  EXPECT_EQ(lxcss2m(cs, out, 'A' - 1), 0u);  // just outside the range
  EXPECT_EQ(lxcss2m(cs, out, 'Z' + 1), 0u);
  // without the list nothing has an equivalent
  nlsw::CharsetDesc none = euc();
  none.equivalents.clear();
  Charset n{nlsw::build_charset(none)};
  EXPECT_EQ(lxcsm2s(n.cs(), (const uint8_t *)"\xA3\xC1", 2), 0);
  EXPECT_EQ(lxcss2m(n.cs(), out, 'A'), 0u);
}

TEST(Lxcmb, DeltaResultsTakeTheirLengthFromTheirMagnitude) {
  Charset c{nlsw::build_charset(euc_delta())};
  const lxcsobj *cs = c.cs();
  EXPECT_EQ(lower(cs, {0xA3, 0xC1}), Bytes{'A'});
  EXPECT_EQ(lower(cs, {0xA3, 0xC2}), (Bytes{0x01, 0xA3, 0xC2}));
  EXPECT_EQ(upper(cs, {0xA3, 0xE1}), (Bytes{0xA3, 0xC1}));
  EXPECT_EQ(lxcswlo(cs, 0xA3C1), uint32_t('A'));
  EXPECT_EQ(lxcswup(cs, 0xA3E1), 0xA3C1u);
  // an index past the delta table keeps the case
  EXPECT_EQ(lower(cs, {0xA3, 0xE2}), (Bytes{0xA3, 0xE2}));
  EXPECT_EQ(upper(cs, {0xA3, 0xE2}), (Bytes{0xA3, 0xE2}));
}

TEST(Lxcmb, Utf16Sets) {
  Charset c{nlsw::build_charset(utf16())};
  const lxcsobj *cs = c.cs();
  // a zero first byte: the 16-bit forms, written at the character's length
  EXPECT_EQ(lower(cs, {0x00, 0xC9}), (Bytes{0x00, 0xE9}));
  EXPECT_EQ(upper(cs, {0x00, 0xE9}), (Bytes{0x00, 0xC9}));
  // (indexed by the second byte whatever the length)
  EXPECT_EQ(lower(cs, {0x00, 0xC9, 0x7F}), (Bytes{0x00, 0x00, 0xE9}));
  EXPECT_EQ(upper(cs, {0x00, 0xE9, 0x7F, 0x7F}), (Bytes{0x00, 0x00, 0x00, 0xC9}));
  EXPECT_EQ(lower(cs, {0x03, 0x91}), (Bytes{0x03, 0xB1}));
  EXPECT_EQ(upper(cs, {0x03, 0xB1}), (Bytes{0x03, 0x91}));
  EXPECT_EQ(lower(cs, {0x04, 0x10}), (Bytes{0x04, 0x10}));
  EXPECT_EQ(lxcswlo(cs, 0xC9), 0xE9u);
  EXPECT_EQ(lxcswup(cs, 0xE9), 0xC9u);
  EXPECT_EQ(lxcswlo(cs, 0x391), 0x3B1u);
  EXPECT_EQ(lxcswup(cs, 0x3B1), 0x391u);
  EXPECT_EQ(lxcswlo(cs, 0x3B1), 0x3B1u);
  // class of a zero first byte: the byte class of the second
  EXPECT_EQ(lxcsgmc(cs, (const uint8_t *)"\x00\x41"), 1u);
  // width from the property value's bits 6-7
  EXPECT_EQ(lxcsgmw(cs, (const uint8_t *)"\x00\x41"), 1u);
  EXPECT_EQ(lxcsgmw(cs, (const uint8_t *)"\x00\xA1"), 3u);
  EXPECT_EQ(lxcsgmw(cs, (const uint8_t *)"\x4E\x00"), 2u);
  EXPECT_EQ(lxcsgmw(cs, (const uint8_t *)"\x03\x91"), 3u);
  EXPECT_EQ(lxcsugpv(cs, (const uint8_t *)"\x4E\x01"), 0u);
}

TEST(Lxcmb, PropertyGetters) {
  Charset c{nlsw::build_charset(utf16())};
  const lxcsobj *cs = c.cs();
  struct Case {
    Bytes ch;
    uint16_t ccc;
    uint32_t num;
  } cases[] = {
      {{0x03, 0x01}, 230, LXCS_NONUMERIC},
      {{0x03, 0x16}, 220, LXCS_NONUMERIC},
      {{0x03, 0x45}, 240, LXCS_NONUMERIC},  // the last record
      {{0x03, 0x00}, 0, LXCS_NONUMERIC},    // before the first
      {{0x00, 0x31}, 0, 1},
      {{0x21, 0x64}, 0, 5},
      {{0x00, 0x41}, 0, LXCS_NONUMERIC},
      {{0xFF, 0xFF}, 0, LXCS_NONUMERIC},
  };
  for (auto &k : cases) {
    SCOPED_TRACE(testing::Message() << std::hex << int(k.ch[0]) << ' ' << int(k.ch[1]));
    EXPECT_EQ(lxcsugcm(cs, k.ch.data(), k.ch.size()), k.ccc);
    EXPECT_EQ(lxcsugnv(cs, k.ch.data(), k.ch.size()), k.num);
  }
}

// Offsets and counts pointing outside their tables give the "none" answer.
TEST(Lxcmb, LookupsStayInsideTheirTables) {
  nlsw::CharsetDesc d = euc();
  Charset c{nlsw::build_charset(d)};
  auto *cs = reinterpret_cast<lxcsobj *>(c.img.bytes.data());
  // a pair count beyond the table
  cs->counts[LXCT_LOWER] = 0xFFFF;
  EXPECT_EQ(lower(cs, {0xA3, 0xC1}), (Bytes{0xA3, 0xE1}));
  EXPECT_EQ(lower(cs, {0xA3, 0xC3}), (Bytes{0xA3, 0xE3}));
  // a node offset beyond the class trie
  uint8_t *trie = c.img.bytes.data() + LXCS_DATA + cs->dir[LXCT_CLASS];
  uint32_t far = uint32_t(lxcstablen(cs, LXCT_CLASS));
  memcpy(trie + 8 * 0xA3, &far, 4);
  EXPECT_EQ(lxcsgmc(cs, (const uint8_t *)"\xA3\xC1"), 0u);
  EXPECT_EQ(lxcsgmw(cs, (const uint8_t *)"\xA3\xC1"), 2u);
  EXPECT_EQ(lower(cs, {0xA3, 0xC1}), (Bytes{0xA3, 0xC1}));
  // an equivalence range beyond the list
  cs->eq_last = 0xFF;
  uint8_t out[4];
  EXPECT_EQ(lxcss2m(cs, out, 0xF0), 0u);
  EXPECT_EQ(lxcsm2s(cs, (const uint8_t *)"\xA3\xC1", 2), 'A');
  // records cut short: the table length bounds the search
  Charset u{nlsw::build_charset(utf16())};
  auto *us = reinterpret_cast<lxcsobj *>(u.img.bytes.data());
  us->dir[LXCT_COMBINING + 1] = us->dir[LXCT_COMBINING] + 8;
  EXPECT_EQ(lxcsugcm(us, (const uint8_t *)"\x03\x01", 2), 230u);
  EXPECT_EQ(lxcsugcm(us, (const uint8_t *)"\x03\x16", 2), 0u);
}

// Every BMP character of a UTF-16 set written from Python's unicodedata:
// combining classes, and one-to-one case forms through the 16-bit tables
// (U+0000..U+00FF) or the class trie and the pairs.
struct Ucd {
  uint32_t cp;
  uint16_t ccc;
  uint32_t lower, upper;
};
const Ucd kUcd[] = {
#include "ucd.inc"
};

TEST(Lxcmb, EveryBmpCharacterAgainstUnicodedata) {
  nlsw::CharsetDesc s = utf16();
  s.classes.clear();
  s.lower_pairs.clear();
  s.upper_pairs.clear();
  s.combining.clear();
  std::vector<Ucd> want(0x10000);
  for (uint32_t c = 0; c < 0x10000; ++c) want[c] = {c, 0, c, c};
  for (auto &u : kUcd) want[u.cp] = u;
  for (unsigned c = 0; c < 256; ++c) {
    s.lower16[c] = uint16_t(want[c].lower);
    s.upper16[c] = uint16_t(want[c].upper);
  }
  for (auto &u : kUcd) {
    Bytes b{uint8_t(u.cp >> 8), uint8_t(u.cp)};
    if (u.ccc) s.combining[u.cp] = u.ccc;
    if (u.cp < 0x100) continue;
    uint16_t cls = 0;
    if (u.lower != u.cp) {
      cls |= kUpperLetter;
      s.lower_pairs[u.cp] = u.lower;
    }
    if (u.upper != u.cp) {
      cls |= kLowerLetter;
      s.upper_pairs[u.cp] = u.upper;
    }
    if (cls) s.classes[b] = cls;
  }
  Charset c{nlsw::build_charset(s)};
  const lxcsobj *cs = c.cs();
  int bad = 0;
  for (uint32_t v = 0; v < 0x10000 && bad < 10; ++v) {
    if (v >= 0xD800 && v <= 0xDFFF) continue;
    const uint8_t b[2] = {uint8_t(v >> 8), uint8_t(v)};
    uint8_t out[4];
    size_t n = lxcsmlo(cs, out, b, 2);
    uint32_t lo = n == 2 ? uint32_t(out[0] << 8 | out[1]) : 0xFFFFFFFFu;
    bool ok = lxcsugcm(cs, b, 2) == want[v].ccc && lxcswlo(cs, v) == want[v].lower &&
              lxcswup(cs, v) == want[v].upper && lo == want[v].lower;
    if (!ok) {
      ++bad;
      ADD_FAILURE() << std::hex << "U+" << v << " ccc " << lxcsugcm(cs, b, 2) << " lower "
                    << lxcswlo(cs, v) << " upper " << lxcswup(cs, v);
    }
  }
}

}  // namespace
