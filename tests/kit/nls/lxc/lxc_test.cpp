// Character codecs: fixed forms against iconv, table-driven sets and GB18030
// against Python's codecs, and the replacement rules.
#include <gtest/gtest.h>
#include <iconv.h>

#include <cstring>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "lxc.h"
#include "nlsobjw.h"

namespace {

using Bytes = std::vector<uint8_t>;

uint32_t pack(uint32_t cp) {
  if (cp <= 0xFFFF) return cp;
  cp -= 0x10000;
  return ((0xD800u | (cp >> 10)) << 16) | (0xDC00u | (cp & 0x3FF));
}

Bytes enc(lxcsu2mf f, const lxcsobj *cs, uint32_t v, unsigned sw, lxglo *glo) {
  uint8_t out[8] = {};
  uint16_t n = f(cs, out, v, sw, glo);
  return Bytes(out, out + n);
}

// Converts with iconv; empty when iconv cannot.
Bytes iconv_conv(const char *to, const char *from, const Bytes &in) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return {};
  Bytes out(in.size() * 4 + 16);
  char *ip = (char *)in.data(), *op = (char *)out.data();
  size_t il = in.size(), ol = out.size();
  size_t r = iconv(cd, &ip, &il, &op, &ol);
  iconv_close(cd);
  if (r == (size_t)-1) return {};
  out.resize(out.size() - ol);
  return out;
}

bool have_iconv(const char *to, const char *from) {
  iconv_t cd = iconv_open(to, from);
  if (cd == (iconv_t)-1) return false;
  iconv_close(cd);
  return true;
}

Bytes be32(uint32_t cp) {
  return {(uint8_t)(cp >> 24), (uint8_t)(cp >> 16), (uint8_t)(cp >> 8), (uint8_t)cp};
}

struct Charset {
  nlsw::Image img;
  const lxcsobj *cs() const { return (const lxcsobj *)img.bytes.data(); }
};

Charset from_map(const char *file, uint16_t id, nlsw::CsKind kind, uint32_t mbrepl = 0) {
  nlsw::CharsetDesc s;
  s.name = file;
  s.id = id;
  s.kind = kind;
  s.mb_repl = mbrepl;
  std::string err;
  EXPECT_TRUE(nlsw::read_map(std::string(NLS_MAPS) + "/" + file, s, err)) << err;
  unsigned longest = 1;
  for (auto &m : s.map) longest = std::max<unsigned>(longest, (unsigned)m.first.size());
  s.maxbytes = (uint8_t)longest;
  return Charset{nlsw::build_charset(s)};
}

// A two-byte set of the given kind with the ASCII characters as single
// bytes and A1A1 as its replacement; the caller adds its two-byte characters.
nlsw::CharsetDesc two_byte(const char *name, uint16_t id, nlsw::CsKind kind) {
  nlsw::CharsetDesc s = nlsw::ascii_charset(name, id);
  s.kind = kind;
  s.maxbytes = 2;
  s.mb_repl = 0xA1A1;
  return s;
}

// ---- Fixed forms ----------------------------------------------------------

TEST(Utfe, TableRowsAndInverse) {
  const std::pair<uint8_t, uint8_t> rows[] = {{0x0A, 0x15}, {0x20, 0x40}, {0x41, 0xC1}, {0x30, 0xF0},
                                              {0x85, 0x25}, {0xA0, 0x41}, {0xFF, 0xFE}};
  for (auto &r : rows) EXPECT_EQ(lxcsi2e[r.first], r.second) << std::hex << (int)r.first;
  for (int i = 0; i < 256; ++i) EXPECT_EQ(lxcse2i[lxcsi2e[i]], i);
}

TEST(Utfe, LengthsAndRoundTripOfEveryUnit) {
  lxglo glo{};
  const std::pair<uint32_t, size_t> lens[] = {{0x9F, 1}, {0xA0, 2}, {0x3FF, 2}, {0x400, 3}, {0x3FFF, 3}, {0x4000, 4}};
  for (auto &l : lens) EXPECT_EQ(enc(lxcsu2mUTFE, nullptr, l.first, 0, &glo).size(), l.second);
  for (uint32_t u = 0; u <= 0xFFFF; ++u) {
    if (u == 0xFFFD) continue;
    Bytes b = enc(lxcsu2mUTFE, nullptr, u, 0, &glo);
    if (b.size() == 1) continue;  // single bytes never reach a decoder
    ASSERT_EQ(lxcsm2uUTFE(nullptr, b.data(), (uint16_t)b.size()), u) << std::hex << u;
  }
  EXPECT_EQ(glo.repmark, 0);
  Bytes pair = enc(lxcsu2mUTFE, nullptr, 0xD83DDE00, 0, &glo);
  ASSERT_EQ(pair.size(), 8u);
  EXPECT_EQ(lxcsm2uUTFE(nullptr, pair.data(), 4), 0xD83Du);
  EXPECT_EQ(lxcsm2uUTFE(nullptr, pair.data() + 4, 4), 0xDE00u);
}

TEST(Al32Utf8, AgreesWithIconv) {
  if (!have_iconv("UTF-8", "UTF-32BE")) GTEST_SKIP() << "iconv has no UTF-8";
  lxglo glo{};
  std::vector<uint32_t> cps;
  for (uint32_t c = 0x80; c < 0x10000; ++c)
    if (c < 0xD800 || c > 0xDFFF) cps.push_back(c);
  for (uint32_t c = 0x10000; c <= 0x10FFFF; c += 97) cps.push_back(c);
  cps.push_back(0x10FFFF);
  for (uint32_t c : cps) {
    if (c == 0xFFFD) continue;
    Bytes ref = iconv_conv("UTF-8", "UTF-32BE", be32(c));
    Bytes got = enc(lxcsu2mAL32UTF8, nullptr, pack(c), 0, &glo);
    ASSERT_EQ(got, ref) << std::hex << c;
    ASSERT_EQ(lxcsm2uAL32UTF8(nullptr, ref.data(), (uint16_t)ref.size()), pack(c)) << std::hex << c;
    if (c <= 0xFFFF) {
      ASSERT_EQ(lxcsm2uUTF8(nullptr, ref.data(), (uint16_t)ref.size()), c);
    }
  }
  EXPECT_EQ(glo.repmark, 0);
}

TEST(Utf16, AgreesWithIconvIncludingSurrogates) {
  if (!have_iconv("UTF-16BE", "UTF-32BE")) GTEST_SKIP() << "iconv has no UTF-16";
  lxglo glo{};
  for (uint32_t c : {0x41u, 0x3B1u, 0xFFFEu, 0x10000u, 0x1F600u, 0x10FFFFu}) {
    Bytes be = iconv_conv("UTF-16BE", "UTF-32BE", be32(c));
    Bytes le = iconv_conv("UTF-16LE", "UTF-32BE", be32(c));
    EXPECT_EQ(enc(lxcsu2mAL16UTF16, nullptr, pack(c), 0, &glo), be);
    EXPECT_EQ(enc(lxcsu2mAL16UTF16LE, nullptr, pack(c), 0, &glo), le);
    EXPECT_EQ(lxcsm2uAL16UTF16(nullptr, be.data(), (uint16_t)be.size()), pack(c));
    EXPECT_EQ(lxcsm2uAL16UTF16LE(nullptr, le.data(), (uint16_t)le.size()), pack(c));
  }
  EXPECT_EQ(glo.repmark, 0);
}

TEST(FixedForms, InvalidInputDecodesToReplacement) {
  struct Case {
    lxcsm2uf f;
    Bytes in;
    uint32_t want;
  } const cases[] = {
      {lxcsm2uAL32UTF8, {0xED, 0xA0, 0x80}, 0xFFFD},
      {lxcsm2uUTF8, {0xED, 0xA0, 0x80}, 0xD800},
      {lxcsm2uAL32UTF8, {0xF0, 0x9F, 0x98, 0x80}, 0xD83DDE00},
      {lxcsm2uAL32UTF8, {0xC0, 0x80}, 0xFFFD},  // overlong two-byte forms
      {lxcsm2uAL32UTF8, {0xC1, 0xBF}, 0xFFFD},
      {lxcsm2uAL32UTF8, {0xE0, 0x80, 0x80}, 0xFFFD},
      {lxcsm2uAL32UTF8, {0xF0, 0x80, 0x80, 0x80}, 0xFFFD},
      {lxcsm2uAL32UTF8, {0xF4, 0x90, 0x80, 0x80}, 0xFFFD},
      {lxcsm2uAL32UTF8, {0xF5, 0x80, 0x80, 0x80}, 0xFFFD},
      {lxcsm2uAL32UTF8, {0xC3, 0x41}, 0xFFFD},
      {lxcsm2uUTF8, {0xC3, 0x41}, 0xFFFD},
      {lxcsm2uUTF8, {0xE0, 0x9F, 0xBF}, 0xFFFD},
      {lxcsm2uUTF8, {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}, 0xD83DDE00},
      {lxcsm2uUTF8, {0xF0, 0x9F, 0x98, 0x80}, 0xFFFD},  // never read past its length
  };
  for (auto &c : cases)
    EXPECT_EQ(c.f(nullptr, c.in.data(), (uint16_t)c.in.size()), c.want);
}

TEST(FixedForms, EncodingRulesAndMark) {
  struct Case {
    lxcsu2mf f;
    uint32_t v;
    Bytes want;
    bool marked;
  } const cases[] = {
      {lxcsu2mAL32UTF8, 0xD83DDE00, {0xF0, 0x9F, 0x98, 0x80}, false},
      {lxcsu2mUTF8, 0xD83DDE00, {0xED, 0xA0, 0xBD, 0xED, 0xB8, 0x80}, false},
      {lxcsu2mUTF8, 0xD800, {0xED, 0xA0, 0x80}, false},
      {lxcsu2mAL32UTF8, 0xD800, {0xEF, 0xBF, 0xBD}, true},
      {lxcsu2mAL32UTF8, 0x12345, {0xEF, 0xBF, 0xBD}, true},
      {lxcsu2mUTF8, 0xFFFD, {0xEF, 0xBF, 0xBD}, true},
      {lxcsu2mAL32UTF8, 0xFFFD, {0xEF, 0xBF, 0xBD}, true},
      {lxcsu2mAL16UTF16, 0xFFFD, {0xFF, 0xFD}, true},
      {lxcsu2mAL16UTF16, 0x12345, {0xFF, 0xFD}, true},
      {lxcsu2mAL16UTF16, 0xDC00, {0xDC, 0x00}, false},
      {lxcsu2mAL16UTF16LE, 0xFFFD, {0xFD, 0xFF}, true},
      {lxcsu2mAL16UTF16LE, 0xD83DDE00, {0x3D, 0xD8, 0x00, 0xDE}, false},
      {lxcsu2mUTFE, 0xFFFD, {lxcsi2e[0xF1], lxcsi2e[0xBF], lxcsi2e[0xBF], lxcsi2e[0xBD]}, true},
  };
  for (auto &c : cases) {
    lxglo glo{};
    EXPECT_EQ(enc(c.f, nullptr, c.v, 0, &glo), c.want) << std::hex << c.v;
    EXPECT_EQ(glo.repmark, c.marked ? LX_REPMARK : 0) << std::hex << c.v;
  }
}

// ---- Table-driven sets ----------------------------------------------------

void check_map_round_trip(const Charset &c, const char *file) {
  std::ifstream in(std::string(NLS_MAPS) + "/" + file);
  std::string hb, hu;
  lxglo glo{};
  size_t n = 0;
  lxcsm2uf dec = lxcsdecoder(c.cs());
  lxcsu2mf en = lxcsencoder(c.cs());
  while (in >> hb >> hu) {
    Bytes b;
    for (size_t i = 2; i < hb.size(); i += 2) b.push_back((uint8_t)std::stoul(hb.substr(i, 2), nullptr, 16));
    uint32_t cp = (uint32_t)std::stoul(hu, nullptr, 16);
    if (b.size() == 1) {
      ASSERT_EQ(c.cs()->sbu[b[0]], cp) << hb;
    } else {
      ASSERT_EQ(dec(c.cs(), b.data(), (uint16_t)b.size()), pack(cp)) << hb;
    }
    ASSERT_EQ(enc(en, c.cs(), pack(cp), (unsigned)b.size(), &glo), b) << hu;
    ++n;
  }
  EXPECT_GT(n, 100u);
  EXPECT_EQ(glo.repmark, 0);
}

TEST(TableDriven, EucKrFixedTableMatchesPython) {
  Charset c = from_map("euckr.map", 846, nlsw::CsKind::Fixed2, 0xA1A1);
  check_map_round_trip(c, "euckr.map");
}

TEST(TableDriven, EucJpTrieMatchesPython) {
  Charset c = from_map("eucjp.map", 830, nlsw::CsKind::Trie, 0xA1A9);
  check_map_round_trip(c, "eucjp.map");
}

TEST(TableDriven, Latin1SingleBytes) {
  Charset c = from_map("latin1.map", 31, nlsw::CsKind::Single);
  check_map_round_trip(c, "latin1.map");
  lxglo glo{};
  EXPECT_EQ(enc(lxcsu2mx, c.cs(), 0x20AC, 1, &glo), Bytes{'?'});
  EXPECT_EQ(glo.repmark, LX_REPMARK);
}

TEST(TableDriven, EucKrAgreesWithIconv) {
  if (!have_iconv("UTF-32BE", "EUC-KR")) GTEST_SKIP() << "iconv has no EUC-KR";
  Charset c = from_map("euckr.map", 846, nlsw::CsKind::Fixed2, 0xA1A1);
  for (unsigned a = 0xB0; a <= 0xC8; ++a)
    for (unsigned b = 0xA1; b <= 0xFE; ++b) {
      Bytes in{(uint8_t)a, (uint8_t)b};
      Bytes ref = iconv_conv("UTF-32BE", "EUC-KR", in);
      if (ref.size() != 4) continue;
      uint32_t cp = (uint32_t)ref[0] << 24 | ref[1] << 16 | ref[2] << 8 | ref[3];
      ASSERT_EQ(lxcsm2ux(c.cs(), in.data(), 2), cp) << std::hex << a << b;
    }
}

TEST(TableDriven, ReplacementBySourceWidth) {
  Charset c = from_map("euckr.map", 846, nlsw::CsKind::Fixed2, 0xA1A1);
  struct Case {
    uint32_t v;
    unsigned sw;
    Bytes want;
  } const cases[] = {
      {0x0E01, 2, {0xA1, 0xA1}},   // no row, multibyte source
      {0x0E01, 1, {'?'}},          // single-byte source
      {0x0E01, 0, {'?'}},          // UTF-16 source below U+3000
      {0xE000, 0, {0xA1, 0xA1}},   // from U+3000 on
      {0xFFFD, 0x102, {0xA1, 0xA1}},  // only the low 8 bits count
  };
  for (auto &k : cases) {
    lxglo glo{};
    EXPECT_EQ(enc(lxcsu2mx, c.cs(), k.v, k.sw, &glo), k.want) << std::hex << k.v << " " << k.sw;
    EXPECT_EQ(glo.repmark, LX_REPMARK);
  }
}

TEST(TableDriven, InvalidMultibyteDecodesToReplacement) {
  Charset c = from_map("euckr.map", 846, nlsw::CsKind::Fixed2);
  Charset j = from_map("eucjp.map", 830, nlsw::CsKind::Trie);
  const Bytes bad[] = {{0xA1, 0x41}, {0x80, 0xA1}, {0xFF, 0xA1}};
  for (auto &b : bad) EXPECT_EQ(lxcsm2ux(c.cs(), b.data(), 2), 0xFFFDu);
  const Bytes badj[] = {{0xA1, 0x41}, {0x8F, 0xA1, 0x20}, {0x8E, 0xFF}};
  for (auto &b : badj) EXPECT_EQ(lxcsm2ux(j.cs(), b.data(), (uint16_t)b.size()), 0xFFFDu);
}

TEST(TableDriven, OffsetsOutsideTheObjectDecodeToReplacement) {
  // A trie node or leaf, or a fixed-table row, that would lie past the end
  // of the object is never read: the character does not exist.
  nlsw::CharsetDesc t = two_byte("TRIE", 902, nlsw::CsKind::Trie);
  t.maxbytes = 3;
  t.map.push_back({{0x8F, 0xA1, 0xA1}, 0x4E00});
  t.map.push_back({{0xB0, 0xA1}, 0xAC00});
  nlsw::CharsetDesc f = two_byte("FIXED", 903, nlsw::CsKind::Fixed2);
  f.map.push_back({{0xB0, 0xA1}, 0xAC00});
  const uint8_t three[] = {0x8F, 0xA1, 0xA1}, two[] = {0xB0, 0xA1};
  for (uint32_t bad : {0x7FFFFFF0u, 0xFFFFFFF8u}) {
    Charset c{nlsw::build_charset(t)};
    lxcsobj *m = (lxcsobj *)c.img.bytes.data();
    uint8_t *t12 = (uint8_t *)lxcstab(m, LXCT_M2U);
    ASSERT_EQ(lxcsm2ux(m, three, 3), 0x4E00u);
    ASSERT_EQ(lxcsm2ux(m, two, 2), 0xAC00u);
    std::memcpy(t12 + 8 * 0x8F, &bad, 4);  // node of the first byte
    std::memcpy(t12 + 8 * 0xB0, &bad, 4);  // leaf of a two-byte character
    EXPECT_EQ(lxcsm2ux(m, three, 3), 0xFFFDu) << std::hex << bad;
    EXPECT_EQ(lxcsm2ux(m, two, 2), 0xFFFDu) << std::hex << bad;
  }
  Charset c{nlsw::build_charset(f)};
  lxcsobj *m = (lxcsobj *)c.img.bytes.data();
  ASSERT_EQ(lxcsm2ux(m, two, 2), 0xAC00u);
  m->dir[LXCT_M2U] = m->hdr.size - LXCS_DATA - 1;  // the row starts in the last byte
  EXPECT_EQ(lxcsm2ux(m, two, 2), 0xFFFDu);
}

TEST(Rows, SparseRowRankAndEntryWidths) {
  // Row 0x01: low bytes 0x05, 0x40 and 0x41 mapped, width 2; U+0141 has a
  // zero first byte and comes out as one byte.
  nlsw::CharsetDesc s = two_byte("SPARSE", 900, nlsw::CsKind::Fixed2);
  s.map.push_back({{0xB0, 0xA1}, 0x105});
  s.map.push_back({{0xB0, 0xA2}, 0x140});
  s.map.push_back({{0xB0, 0xA3}, 0x141});
  Charset c{nlsw::build_charset(s)};
  const uint8_t *rows = lxcstab(c.cs(), LXCT_U2M);
  EXPECT_EQ(rows[8 * 1 + 5], 0x22);  // sparse, width 2
  lxglo glo{};
  EXPECT_EQ(enc(lxcsu2mx, c.cs(), 0x105, 0, &glo), (Bytes{0xB0, 0xA1}));
  EXPECT_EQ(enc(lxcsu2mx, c.cs(), 0x141, 0, &glo), (Bytes{0xB0, 0xA3}));
  EXPECT_EQ(glo.repmark, 0);
  uint8_t out[4];
  EXPECT_EQ(lxcsu22m(rows, 0x106, out), 0);
  EXPECT_EQ(lxcsu22m(rows, 0x200, out), 0);
  // The third mapped entry of the row is written whatever it holds.
  Bytes data(c.img.bytes);
  lxcsobj *m = (lxcsobj *)data.data();
  uint8_t *r1 = (uint8_t *)lxcstab(m, LXCT_U2M);
  uint32_t off;
  std::memcpy(&off, r1 + 8, 4);
  r1[off + 32 + 2 * 2] = 0;
  r1[off + 32 + 2 * 2 + 1] = 0x5A;
  EXPECT_EQ(enc(lxcsu2mx, m, 0x141, 0, &glo), (Bytes{0x5A}));
}

TEST(Rows, GapsOfANearlyFullRowAreReplaced) {
  // Row 0x50 maps U+5000 to U+50EF and nothing above: a dense row would read
  // U+50F0's zero entry as a NUL byte, unmarked. The writer keeps any row
  // with a gap sparse, so the gap is replaced and the loss marked, and only
  // a full row is dense.
  nlsw::CharsetDesc s = two_byte("NEARFULL", 904, nlsw::CsKind::Fixed2);
  uint32_t cp = 0x5000;
  for (unsigned a = 0xB0; a <= 0xB2 && cp < 0x50F0; ++a)
    for (unsigned b = 0xA1; b <= 0xFE && cp < 0x50F0; ++b)
      s.map.push_back({{(uint8_t)a, (uint8_t)b}, cp++});
  for (unsigned lo = 0; lo < 256; ++lo)
    s.map.push_back({{(uint8_t)(0xB8 + lo / 94), (uint8_t)(0xA1 + lo % 94)}, 0x5100 + lo});
  Charset c{nlsw::build_charset(s)};
  const uint8_t *rows = lxcstab(c.cs(), LXCT_U2M);
  EXPECT_EQ(rows[8 * 0x50 + 5] & LXCSR_SPARSE, LXCSR_SPARSE);
  EXPECT_EQ(rows[8 * 0x51 + 5] & LXCSR_SPARSE, 0u);  // every low byte mapped
  for (uint32_t gap : {0x50F0u, 0x50F4u, 0x50FFu}) {
    lxglo glo{};
    EXPECT_EQ(enc(lxcsu2mx, c.cs(), gap, 2, &glo), (Bytes{0xA1, 0xA1})) << std::hex << gap;
    EXPECT_EQ(glo.repmark, LX_REPMARK) << std::hex << gap;
  }
  lxglo glo{};
  EXPECT_EQ(enc(lxcsu2mx, c.cs(), 0x50EF, 2, &glo), (Bytes{0xB2, 0xA1 + (0xEF - 2 * 94)}));
  EXPECT_EQ(enc(lxcsu2mx, c.cs(), 0x51FF, 2, &glo), (Bytes{0xB8 + 255 / 94, 0xA1 + 255 % 94}));
  EXPECT_EQ(glo.repmark, 0);
}

TEST(Trie32, SupplementaryLeavesAndPlanes) {
  nlsw::CharsetDesc s = two_byte("WIDE", 901, nlsw::CsKind::Trie32);
  s.map.push_back({{0xA1, 0xA2}, 0x3042});
  s.map.push_back({{0xA1, 0xA3}, 0x20000});
  s.map.push_back({{0xA2, 0xA1}, 0x1F600});
  Charset c{nlsw::build_charset(s)};
  EXPECT_EQ(lxcsdecoder(c.cs()), &lxcsm2uUTF32);
  const uint8_t b1[] = {0xA1, 0xA2}, b2[] = {0xA1, 0xA3}, b3[] = {0xA2, 0xA1}, b4[] = {0xA2, 0xA2};
  EXPECT_EQ(lxcsm2uUTF32(c.cs(), b1, 2), 0x3042u);
  EXPECT_EQ(lxcsm2uUTF32(c.cs(), b2, 2), pack(0x20000));
  EXPECT_EQ(lxcsm2uUTF32(c.cs(), b3, 2), pack(0x1F600));
  EXPECT_EQ(lxcsm2uUTF32(c.cs(), b4, 2), 0xFFFDu);
  lxglo glo{};
  EXPECT_EQ(enc(lxcsu2mUTF32, c.cs(), pack(0x20000), 0, &glo), (Bytes{0xA1, 0xA3}));
  EXPECT_EQ(enc(lxcsu2mUTF32, c.cs(), pack(0x1F600), 0, &glo), (Bytes{0xA2, 0xA1}));
  EXPECT_EQ(glo.repmark, 0);
  EXPECT_EQ(enc(lxcsu2mUTF32, c.cs(), pack(0x30000), 0, &glo), (Bytes{0xA1, 0xA1}));  // no plane
  EXPECT_EQ(glo.repmark, LX_REPMARK);
}

// ---- GB18030 --------------------------------------------------------------

TEST(Gb18030, RangeTableShape) {
  EXPECT_EQ(lxcgbMaping[0][0], 0x80);
  EXPECT_EQ(lxcgbMaping[0][1], 0xA3);
  EXPECT_EQ(lxcgbMaping[0][3], 35);
  EXPECT_EQ(lxcgbMaping[LXCGB_RANGES - 1][0], 0xFFE6);
  EXPECT_EQ(lxcgbMaping[LXCGB_RANGES - 1][3], 39419);
  for (int i = 1; i < LXCGB_RANGES; ++i) {
    EXPECT_EQ(lxcgbMaping[i][2], lxcgbMaping[i - 1][3] + 1);
    EXPECT_GT(lxcgbMaping[i][0], lxcgbMaping[i - 1][1]);
    EXPECT_EQ(lxcgbMaping[i][1] - lxcgbMaping[i][0], lxcgbMaping[i][3] - lxcgbMaping[i][2]);
  }
}

TEST(Gb18030, FourByteAreaMatchesPython) {
  Charset c = from_map("gb2.map", LXCS_GB18030, nlsw::CsKind::Fixed2, 0xA1A1);
  std::ifstream in(std::string(NLS_MAPS) + "/gb4.txt");
  unsigned idx;
  std::string hu;
  lxglo glo{};
  size_t n = 0;
  while (in >> idx >> hu) {
    uint32_t cp = (uint32_t)std::stoul(hu, nullptr, 16);
    uint8_t b[4] = {(uint8_t)(0x81 + idx / 12600), (uint8_t)(0x30 + idx / 1260 % 10),
                    (uint8_t)(0x81 + idx / 10 % 126), (uint8_t)(0x30 + idx % 10)};
    uint32_t got = lxcsm2uGB18030(c.cs(), b, 4);
    ASSERT_EQ(got, cp) << idx;
    if (cp == 0xFFFD) continue;
    ASSERT_EQ(enc(lxcsu2mGB18030, c.cs(), cp, 0, &glo), Bytes(b, b + 4)) << idx;
    ++n;
  }
  EXPECT_EQ(n, 39419u);  // every index but the one of U+FFFD
  EXPECT_EQ(glo.repmark, 0);
}

TEST(Gb18030, SupplementaryAndTwoByteMatchPython) {
  Charset c = from_map("gb2.map", LXCS_GB18030, nlsw::CsKind::Fixed2, 0xA1A1);
  check_map_round_trip(c, "gb2.map");
  std::ifstream in(std::string(NLS_MAPS) + "/gbsupp.txt");
  std::string hb, hu;
  lxglo glo{};
  while (in >> hb >> hu) {
    Bytes b;
    for (size_t i = 2; i < hb.size(); i += 2) b.push_back((uint8_t)std::stoul(hb.substr(i, 2), nullptr, 16));
    uint32_t cp = (uint32_t)std::stoul(hu, nullptr, 16);
    ASSERT_EQ(lxcsm2uGB18030(c.cs(), b.data(), 4), pack(cp)) << hb;
    ASSERT_EQ(enc(lxcsu2mGB18030, c.cs(), pack(cp), 0, &glo), b) << hu;
  }
}

TEST(Gb18030, EdgeCases) {
  Charset c = from_map("gb2.map", LXCS_GB18030, nlsw::CsKind::Fixed2, 0xA1A1);
  const struct {
    Bytes in;
    uint32_t want;
  } cases[] = {{{0x81, 0x30, 0x81, 0x30}, 0x80},
               {{0x84, 0x31, 0xA4, 0x39}, 0xFFFF},
               {{0x90, 0x30, 0x81, 0x30}, 0xD800DC00},
               {{0x81, 0x30, 0x81, 0x3A}, 0xFFFD},
               {{0xFE, 0x39, 0xFE, 0x39}, 0xFFFD}};
  for (auto &k : cases) EXPECT_EQ(lxcsm2uGB18030(c.cs(), k.in.data(), 4), k.want);
  lxglo glo{};
  EXPECT_EQ(enc(lxcsu2mGB18030, c.cs(), 0xFFFD, 0, &glo), (Bytes{0xA1, 0xA1}));
  EXPECT_EQ(glo.repmark, LX_REPMARK);
}

}  // namespace
