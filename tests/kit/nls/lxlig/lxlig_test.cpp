// Sort-object lookups, lxlibbletter and lxCmpStr. The sort objects and the
// BINARY_AI mapping come from the object writer; the comparisons and the
// base-letter mapping run in a child over a written installation.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lxh.h"
#include "lxl.h"
#include "lxm.h"
#include "lxo.h"
#include "lxp.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace {

using Bytes = std::vector<uint8_t>;

const lxsrtobj *sort_of(const nlsw::Image &img) { return reinterpret_cast<const lxsrtobj *>(img.bytes.data()); }

uint16_t rd16(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}

nlsw::SortRecord rec(uint16_t ch, uint16_t second, uint16_t v0, bool any = false) {
  nlsw::SortRecord r;
  r.ch = ch;
  r.second = second;
  r.v[0] = v0;
  r.any_second = any;
  return r;
}

// A monolingual Latin sort: letters have major keys by their base letter
// (accented ones share it) and minor keys by accent; '-' has no major key.
nlsw::SortDesc latin_sort(bool minor = true) {
  nlsw::SortDesc d;
  d.name = "TESTLATIN";
  d.id = 60;
  d.flags = 0x1;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.major[c] = uint8_t(10 + (c - 'a'));
    d.major[uint16_t(c - 32)] = uint8_t(10 + (c - 'a'));
    if (minor) {
      d.minor[c] = 1;
      d.minor[uint16_t(c - 32)] = 2;
    }
  }
  d.major[0xE9] = d.major['e'];  // é
  d.major[0xE8] = d.major['e'];  // è
  if (minor) {
    d.minor[0xE9] = 5;
    d.minor[0xE8] = 6;
  }
  d.major[0x0391] = 40;  // a block of its own between the first and last
  d.major[0x2000] = 41;
  d.base_letters = {{0xE9, 'e'}, {0xC0, 'A'}, {0x0391, 0x0391}, {0x1EA1, 'a'}};
  d.special = {{0xDF, 7}, {0x0153, 8}};
  d.contracting = {{'c', 'h'}, {'l', 'l'}};
  d.upper = {rec(0xDF, 0, 0x53, true)};
  d.lower = {rec(0x130, 0, 'i', true), rec(0x1E9E, 's', 1), rec(0x1E9E, 0, 2, true), rec(0x2160, 0, 3)};
  d.base_records = {rec('a', 0x0301, 0xE1), rec('c', 0x0327, 0xE7)};
  return d;
}

// BINARY_AI: accented Latin letters to their base, Æ to "AE", two
// supplementary letters to their base and one pair kept.
nlsw::BinaryAiDesc binary_ai() {
  nlsw::BinaryAiDesc d;
  for (uint16_t c = 0xC0; c <= 0xC5; ++c) d.units[c] = {'A'};
  for (uint16_t c = 0xE0; c <= 0xE5; ++c) d.units[c] = {'a'};
  for (uint16_t c = 0xE8; c <= 0xEB; ++c) d.units[c] = {'e'};
  d.units[0xC6] = {'A', 'E'};
  d.units[0x1EA1] = {'a'};
  d.pairs[0xD835DC00] = 'A';          // U+1D400 bold A
  d.pairs[0xD835DC01] = 0xD835DC02;   // U+1D401 to U+1D402, a pair
  d.pairs[0xD835DC03] = 0;            // kept
  return d;
}

// ---- lookups ------------------------------------------------------------------

TEST(Lxlig, KeysAndBaseLetters) {
  nlsw::Image img = nlsw::build_sort_object(latin_sort());
  const lxsrtobj *s = sort_of(img);
  const uint8_t *major = img.bytes.data() + LXSRT_NAME + s->sect[LXSRT_MAJOR];
  uint16_t count = s->h108[LXSRT_MAJOR - 1];
  ASSERT_EQ(count, 3u);                         // blocks 0x00, 0x03, 0x20
  EXPECT_EQ(lxligkey(major, count, 'b'), 11);   // first entry
  EXPECT_EQ(lxligkey(major, count, 0x2000), 41);  // last entry
  EXPECT_EQ(lxligkey(major, count, 0x0391), 40);  // bisection
  EXPECT_EQ(lxligkey(major, count, 0x0392), 0);   // its block, no key
  EXPECT_EQ(lxligkey(major, count, 0x1000), 0);   // no block
  EXPECT_EQ(lxligkey(major, 0, 'b'), 0);
  EXPECT_EQ(lxligbl(s, 0xE9), 'e');
  EXPECT_EQ(lxligbl(s, 0x1EA1), 'a');
  EXPECT_EQ(lxligbl(s, 0xEA), 0xEA);  // in a block of mapped ones
  EXPECT_EQ(lxligbl(s, 0x4E00), 0x4E00);
}

TEST(Lxlig, RecordSections) {
  nlsw::Image img = nlsw::build_sort_object(latin_sort());
  const lxsrtobj *s = sort_of(img);
  ASSERT_NE(lxligss(s, 0x0153), nullptr);
  EXPECT_EQ(rd16(lxligss(s, 0x0153) + 2), 8);
  EXPECT_EQ(lxligss(s, 'x'), nullptr);
  EXPECT_NE(lxligcs(s, 'l', 'l'), nullptr);
  EXPECT_EQ(lxligcs(s, 'l', 'h'), nullptr);
  ASSERT_NE(lxligsu(s, 0xDF, 'q'), nullptr);  // any second character
  EXPECT_EQ(rd16(lxligsu(s, 0xDF, 'q') + 4), 0x53);
  EXPECT_NE(lxligsbl(s, 'c', 0x0327), nullptr);
  EXPECT_EQ(lxligsbl(s, 'c', 0x0301), nullptr);
  // special lower case: bisection, its matching rule, and the cases it skips
  EXPECT_EQ(rd16(lxligsl(s, 0x1E9E, 's') + 4), 1);
  EXPECT_EQ(rd16(lxligsl(s, 0x1E9E, 'x') + 4), 2);
  EXPECT_NE(lxligsl(s, 0x130, 0), nullptr);
  EXPECT_EQ(lxligsl(s, 0x2161, 0), nullptr);  // past the last record
  EXPECT_EQ(lxligsl(s, 0x80, 0), nullptr);    // before the first
  nlsw::SortDesc low = latin_sort();
  low.lower = {rec('a', 0, 1, true)};
  nlsw::Image img2 = nlsw::build_sort_object(low);
  EXPECT_EQ(lxligsl(sort_of(img2), 'a', 0), nullptr);  // below 128: not looked at
  EXPECT_EQ(lxligsu(sort_of(img2), 'a', 0), nullptr);
}

TEST(Lxlig, UnsortedSectionHidesLaterRecords) {
  nlsw::SortDesc d = latin_sort();
  d.upper = {rec(0x200, 0, 1, true), rec(0x100, 0, 2, true)};
  nlsw::Image img = nlsw::build_sort_object(d);
  EXPECT_NE(lxligsu(sort_of(img), 0x200, 0), nullptr);
  EXPECT_EQ(lxligsu(sort_of(img), 0x100, 0), nullptr);
}

TEST(Lxlig, SectionsOutsideTheObjectGiveNone) {
  nlsw::Image img = nlsw::build_sort_object(latin_sort());
  lxsrtobj *s = reinterpret_cast<lxsrtobj *>(img.bytes.data());
  const lxsrtobj saved = *s;
  s->sect[LXSRT_SPECIAL] = 0xFFFFFF00u;
  s->h108[LXSRT_CONTRACT - 1] = 0xFFFF;
  s->sect[LXSRT_BASE] = s->hdr.size - LXSRT_NAME - 8;  // entries inside, blocks beyond
  s->h108[LXSRT_SUPPER - 1] = 0x7FFF;
  EXPECT_EQ(lxligss(s, 0xDF), nullptr);
  EXPECT_EQ(lxligcs(s, 'c', 'h'), nullptr);
  EXPECT_EQ(lxligsu(s, 0xDF, 0), nullptr);
  EXPECT_EQ(lxligbl(s, 0xE9), 0xE9);
  *s = saved;
  EXPECT_NE(lxligss(s, 0xDF), nullptr);
}

// ---- an installation --------------------------------------------------------

std::string install(bool other_order = false) {
  nlsw::Installation inst = nlsw::base_installation();
  if (other_order) inst.big_endian = !inst.big_endian;
  nlsw::add_charset(inst, nlsw::latin1_charset());
  nlsw::add_charset(inst, nlsw::utf8_charset());
  nlsw::add_charset(inst, nlsw::al16utf16_charset());
  nlsw::add_object(inst, LX_TSORT, 60, "TESTLATIN", nlsw::build_sort_object(latin_sort()));
  nlsw::SortDesc nominor = latin_sort(false);
  nominor.name = "TESTNOMINOR";
  nominor.id = 61;
  nlsw::add_object(inst, LX_TSORT, 61, nominor.name, nlsw::build_sort_object(nominor));
  nlsw::SortDesc multi = latin_sort();
  multi.name = "TESTMULTI";
  multi.id = 4200;
  nlsw::add_object(inst, LX_TSORT, 4200, multi.name, nlsw::build_sort_object(multi));
  nlsw::add_object(inst, LX_TMAP, LXMAP_BINARY_AI, "BINARY_AI", nlsw::build_binary_ai(binary_ai()));
  std::string err, dir = nlskit::write(inst, err);
  EXPECT_FALSE(dir.empty()) << err;
  return dir;
}

class LxligInst : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    dir_ = install();
    other_ = install(true);
  }
  // Runs body with a handle for the set, and the sort (when named) installed.
  static void with(const char *cs, const char *sort,
                   const std::function<void(lxlangid &, lxglo &)> &body, bool other_order = false) {
    nlstest::in_child([&] {
      setenv("ZUR_NLS10", (other_order ? other_ : dir_).c_str(), 1);
      nlstest::Env e;
      lxlangid h{};
      ASSERT_TRUE(nlskit::handle(nlskit::american(cs), &e.glo, &h)) << cs;
      if (sort) {
        ASSERT_TRUE(nlskit::set_sort(sort, &e.glo, &h)) << sort;
      }
      body(h, e.glo);
    });
  }
  static std::string dir_, other_;
};
std::string LxligInst::dir_, LxligInst::other_;

int sign(int v) { return v < 0 ? -1 : v > 0 ? 1 : 0; }

struct CmpCase {
  const char *l, *r;
  uint32_t ll, rl, flags;
  int want;  // sign, or exactly -1 / 1 where the walk says so
  bool exact;
};

TEST_F(LxligInst, BinaryComparison) {
  const CmpCase cases[] = {
      {"abc", "abd", 3, 3, 0, -1, false},
      {"ab", "abc", 2, 3, 0, -1, true},
      {"abc", "ab", 3, 2, 0, 1, true},
      {"ABC", "abc", 3, 3, LXCMP_CI, 0, true},
      {"\xC0" "B", "\xE0" "b", 2, 2, LXCMP_CI, 0, true},  // folded through the set's lower-case table
      {"ab\0x", "ab\0y", 4, 4, 0, 0, true},              // a NUL ends both
      {"", "", 0, 0, 0, 0, true},
      {"", "a", 0, 1, 0, -1, true},
      {"abc", "abd", LXCMP_NUL, 0, 0, -1, false},
      {"abc", "ab", LXCMP_NUL, 0, 0, 1, true},
      {"abc", "abd", 3, 3, LXCMP_LING, -1, false},  // no sort: binary
      {"abc", "ABC", LXCMP_NUL, 0, LXCMP_LING | LXCMP_CI, 0, true},  // lstclo
      {"abc", "abd", LXCMP_NUL, 0, LXCMP_LING, -1, false},           // strcmp
  };
  with("WE8ISO8859P1", nullptr, [&](lxlangid &h, lxglo &g) {
    for (const CmpCase &c : cases) {
      int got = lxCmpStr(c.l, c.r, c.ll, c.rl, c.flags, &h, &g);
      if (c.exact) EXPECT_EQ(got, c.want) << c.l << " / " << c.r;
      else EXPECT_EQ(sign(got), c.want) << c.l << " / " << c.r;
    }
  });
}

TEST_F(LxligInst, MonolingualTwoPasses) {
  const CmpCase cases[] = {
      {"e", "\xE9", 1, 1, LXCMP_LING, -1, false},       // one major key; the accent decides in pass 2
      {"\xE9", "\xE8", 1, 1, LXCMP_LING, -1, false},
      {"\xE8t\xE9", "et\xE9", 3, 3, LXCMP_LING, 1, false},
      {"a", "b", 1, 1, LXCMP_LING, -1, false},          // pass 1
      {"\xE9z", "fa", 2, 2, LXCMP_LING, -1, false},      // pass 1 before any accent
      {"ab", "a-b", 2, 3, LXCMP_LING, 0, false},       // placeholder: decided by pass 2 below
      {"a", "A", 1, 1, LXCMP_LING, -1, false},
      {"abc", "abc", 3, 3, LXCMP_LING, 0, true},
      {"", "", 0, 0, LXCMP_LING, 0, true},
      {"", "-", 0, 1, LXCMP_LING, -1, false},          // equal in pass 1, longer in pass 2
      {"ab", "abc", 2, 3, LXCMP_LING, -1, false},
      {"e", "\xE9", LXCMP_NUL, 0, LXCMP_LING, -1, false},
  };
  with("WE8ISO8859P1", "TESTLATIN", [&](lxlangid &h, lxglo &g) {
    for (const CmpCase &c : cases) {
      int got = lxCmpStr(c.l, c.r, c.ll, c.rl, c.flags, &h, &g);
      if (std::string(c.r) == "a-b") {
        // '-' has no major key: equal in pass 1, so pass 2 must tell them apart
        EXPECT_NE(got, 0);
        EXPECT_EQ(sign(got), -sign(lxCmpStr(c.r, c.l, c.rl, c.ll, c.flags, &h, &g)));
        continue;
      }
      if (c.exact) EXPECT_EQ(got, c.want) << c.l << " / " << c.r;
      else EXPECT_EQ(sign(got), c.want) << c.l << " / " << c.r;
    }
  });
  with("WE8ISO8859P1", "TESTNOMINOR", [&](lxlangid &h, lxglo &g) {
    EXPECT_EQ(lxCmpStr("e", "\xE9", 1, 1, LXCMP_LING, &h, &g), 0);  // no minor keys: equal
    EXPECT_EQ(lxCmpStr("ab", "a-b", 2, 3, LXCMP_LING, &h, &g), 0);
    EXPECT_LT(lxCmpStr("a", "b", 1, 1, LXCMP_LING, &h, &g), 0);
  });
}

TEST_F(LxligInst, HandOffTakesMeasuredLengths) {
  // Case- and accent-insensitive sorts and multilingual sorts go to the
  // cursor comparison, NUL-terminated texts with their measured lengths.
  struct Opt {
    const char *sort;
    uint32_t opts;
  } const opts[] = {{nullptr, LXH_O_CI}, {nullptr, LXH_O_AI}, {"TESTLATIN", LXH_O_CI},
                    {"TESTLATIN", LXH_O_AI}, {"TESTMULTI", 0}};
  for (const Opt &o : opts) {
    with("WE8ISO8859P1", o.sort, [&](lxlangid &h, lxglo &g) {
      h.opts |= o.opts;
      EXPECT_EQ(lxCmpStr("abc", "abc", LXCMP_NUL, 0, LXCMP_LING, &h, &g), 0);
      EXPECT_LT(lxCmpStr("abc", "abd", LXCMP_NUL, 0, LXCMP_LING, &h, &g), 0);
      EXPECT_GT(lxCmpStr("abcd", "abc", LXCMP_NUL, 0, LXCMP_LING, &h, &g), 0);
      // the right text ends at its NUL, not at a length of its own
      char right[8] = {'a', 'b', 'c', 0, 'z', 'z', 'z', 'z'};
      EXPECT_EQ(lxCmpStr("abc", right, LXCMP_NUL, 0, LXCMP_LING, &h, &g), 0);
      EXPECT_LT(lxCmpStr("ab", "abc", 2, 3, LXCMP_LING, &h, &g), 0);
    });
  }
}

// ---- base letters -------------------------------------------------------------

struct BlResult {
  Bytes out;
  size_t consumed, written, nread, nwritten;
  uint32_t status;
};

BlResult bletter(lxlangid &h, lxglo &g, const nlsw::Image &map, const Bytes &in, size_t room,
                 uint32_t flags = 0) {
  Bytes buf(64, 0xEE);
  lxmcur ic, oc;
  lxmopen(in.data(), in.size(), &ic, &h, &g, 1);
  lxmopen(buf.data(), buf.size(), &oc, &h, &g, 1);
  g.status = 0;
  size_t n = lxlibbletter(reinterpret_cast<const lxnlsobj *>(map.bytes.data()), &oc, room, &ic,
                          in.size(), flags, &g);
  EXPECT_EQ(size_t(oc.pos - oc.start), n);
  EXPECT_EQ(size_t(ic.pos - ic.start), g.nbytes);
  for (size_t i = n; i < buf.size(); ++i) EXPECT_EQ(buf[i], 0xEE) << "written past " << n;
  buf.resize(n);
  return {buf, g.nbytes, g.nbytes2, g.ncount, g.ncount2, g.status};
}

TEST_F(LxligInst, BaseLettersInASingleByteSet) {
  nlsw::Image map = nlsw::build_binary_ai(binary_ai());
  with("WE8ISO8859P1", nullptr, [&](lxlangid &h, lxglo &g) {
    BlResult r = bletter(h, g, map, {0xC0, 'b', 0xE9, ' ', 0xC6, 'x', 0xF1}, 20);
    EXPECT_EQ(r.out, (Bytes{'A', 'b', 'e', ' ', 'A', 'E', 'x', 0xF1}));
    EXPECT_EQ(r.consumed, 7u);
    EXPECT_EQ(r.nread, 7u);
    EXPECT_EQ(r.nwritten, 8u);
    EXPECT_EQ(r.status, 0u);
    // a NUL ends the text unless it is counted
    r = bletter(h, g, map, {0xE9, 0, 0xE9}, 20);
    EXPECT_EQ(r.out, (Bytes{'e', 0}));
    r = bletter(h, g, map, {0xE9, 0, 0xE9}, 20, LXLIB_COUNTED);
    EXPECT_EQ(r.out, (Bytes{'e', 0, 'e'}));
    // the expansion does not fit: nothing of it is written
    r = bletter(h, g, map, {'a', 0xC6, 'b'}, 2);
    EXPECT_EQ(r.out, (Bytes{'a'}));
    EXPECT_EQ(r.consumed, 1u);
    EXPECT_EQ(r.status, LXS_SMALL);
    r = bletter(h, g, map, {'a', 'b', 0}, 2);  // full, only the NUL left
    EXPECT_EQ(r.out, (Bytes{'a', 'b'}));
    EXPECT_EQ(r.status, 0u);
  });
}

TEST_F(LxligInst, BaseLettersInUtf8) {
  nlsw::Image map = nlsw::build_binary_ai(binary_ai());
  with("UTF8", nullptr, [&](lxlangid &h, lxglo &g) {
    // é, Æ, ạ, ñ (unmapped), and U+1D400 as two three-byte halves
    Bytes in = {0xC3, 0xA9, 0xC3, 0x86, 0xE1, 0xBA, 0xA1, 0xC3, 0xB1,
                0xED, 0xA0, 0xB5, 0xED, 0xB0, 0x80};
    BlResult r = bletter(h, g, map, in, 40);
    EXPECT_EQ(r.out, (Bytes{'e', 'A', 'E', 'a', 0xC3, 0xB1, 'A'}));
    EXPECT_EQ(r.nread, 5u);
    EXPECT_EQ(r.consumed, in.size());
    r = bletter(h, g, map, in, 6);  // room for everything but the last letter
    EXPECT_EQ(r.out, (Bytes{'e', 'A', 'E', 'a', 0xC3, 0xB1}));
    EXPECT_EQ(r.status, LXS_SMALL);
    EXPECT_EQ(r.consumed, in.size() - 6);
  });
}

TEST_F(LxligInst, BaseLettersInAl16utf16) {
  nlsw::Image map = nlsw::build_binary_ai(binary_ai());
  with("AL16UTF16", nullptr, [&](lxlangid &h, lxglo &g) {
    Bytes in = {0x00, 0xE9, 0x00, 0xC6, 0xD8, 0x35, 0xDC, 0x00, 0xD8, 0x35, 0xDC, 0x01,
                0xD8, 0x35, 0xDC, 0x03, 0x00, 0x7A};
    BlResult r = bletter(h, g, map, in, 40);
    EXPECT_EQ(r.out, (Bytes{0x00, 'e', 0x00, 'A', 0x00, 'E', 0x00, 'A', 0xD8, 0x35, 0xDC, 0x02,
                            0xD8, 0x35, 0xDC, 0x03, 0x00, 0x7A}));
    EXPECT_EQ(r.nread, 6u);
    EXPECT_EQ(r.nwritten, 7u);
    // a full output: the pair's replacement does not fit in 3 bytes
    r = bletter(h, g, map, {0x00, 0xE9, 0xD8, 0x35, 0xDC, 0x01, 0x00, 0x7A}, 5);
    EXPECT_EQ(r.out, (Bytes{0x00, 'e'}));
    EXPECT_EQ(r.status, LXS_SMALL);
    // a NUL unit ends the text
    r = bletter(h, g, map, {0x00, 0xE9, 0x00, 0x00, 0x00, 0xE9}, 40);
    EXPECT_EQ(r.out, (Bytes{0x00, 'e', 0x00, 0x00}));
  });
}

TEST_F(LxligInst, DamagedMappingKeepsCharacters) {
  nlsw::Image map = nlsw::build_binary_ai(binary_ai());
  auto word = [&](size_t at) {
    uint32_t v;
    memcpy(&v, map.bytes.data() + at, 4);
    return v;
  };
  auto put = [&](size_t at, uint32_t v) { memcpy(map.bytes.data() + at, &v, 4); };
  put(word(112), 0xFFFF);                 // Æ's expansion count runs past the object
  put(word(108) + 4 * 0xD8, 0x7FFFFFF0u);  // the surrogates' block lies past it
  with("AL16UTF16", nullptr, [&](lxlangid &h, lxglo &g) {
    Bytes in = {0x00, 0xC6, 0xD8, 0x35, 0xDC, 0x00, 0x00, 0xE9};
    BlResult r = bletter(h, g, map, in, 40);
    EXPECT_EQ(r.out, (Bytes{0x00, 0xC6, 0xD8, 0x35, 0xDC, 0x00, 0x00, 'e'}));
  });
}

// Base letters asked of the case engine by a handle without a base-letter
// table come from BINARY_AI: with and without the binary flag, and with an
// expansion.
TEST_F(LxligInst, CaseEngineTakesBaseLettersFromBinaryAi) {
  for (uint32_t flags : {uint32_t(LXO_EXACTLEN | LXO_CASE_BASE),
                         uint32_t(LXO_EXACTLEN | LXO_CASE_BASE | LXO_CASE_BINARY)}) {
    with("WE8ISO8859P1", nullptr, [&](lxlangid &h, lxglo &g) {
      Bytes in = {0xC6, 0xE9, 'x'}, out(8);
      lxmcur ic, oc;
      lxmopen(in.data(), in.size(), &ic, &h, &g, 1);
      lxmopen(out.data(), out.size(), &oc, &h, &g, 1);
      out.resize(lxoCnvCase(&oc, out.size(), &ic, in.size(), flags, &g));
      EXPECT_EQ(g.status, 0u);
      EXPECT_EQ(out, (Bytes{'A', 'E', 'e', 'x'}));
    });
  }
}

TEST_F(LxligInst, ObjectsOfTheOtherByteOrderReadTheSame) {
  for (bool other : {false, true}) {
    with("WE8ISO8859P1", "TESTLATIN", [&](lxlangid &h, lxglo &g) {
      const lxsrtobj *s = reinterpret_cast<const lxsrtobj *>(lxdgetobj(h.sort, LX_TSORT, &g));
      ASSERT_NE(s, nullptr);
      EXPECT_EQ(lxligbl(s, 0xE9), 'e');
      EXPECT_EQ(lxligbl(s, 0x0391), 0x0391);
      ASSERT_NE(lxligsu(s, 0xDF, 0), nullptr);
      EXPECT_EQ(rd16(lxligsu(s, 0xDF, 0) + 4), 0x53);
      EXPECT_EQ(rd16(lxligsl(s, 0x1E9E, 's') + 4), 1);
      EXPECT_LT(lxCmpStr("e", "\xE9", 1, 1, LXCMP_LING, &h, &g), 0);
      EXPECT_LT(lxCmpStr("\xE9z", "fa", 2, 2, LXCMP_LING, &h, &g), 0);
      int nf = 1;
      uint16_t idx = lxpe2i(LXMAP_BINARY_AI, g.table, LX_TMAP, &nf, 0);
      ASSERT_FALSE(nf);
      const lxnlsobj *m = lxdgetobj(idx, LX_TMAP, &g);
      ASSERT_NE(m, nullptr);
      Bytes in = {0xC6, 0xE9, 'x'}, out(8);
      lxmcur ic, oc;
      lxmopen(in.data(), in.size(), &ic, &h, &g, 1);
      lxmopen(out.data(), out.size(), &oc, &h, &g, 1);
      out.resize(lxlibbletter(m, &oc, out.size(), &ic, in.size(), 0, &g));
      EXPECT_EQ(out, (Bytes{'A', 'E', 'e', 'x'}));
    }, other);
  }
}

}  // namespace
