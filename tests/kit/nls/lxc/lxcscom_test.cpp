// Canonical composition and the Hangul arithmetic, against Python's
// unicodedata: the NFD form of generated texts composes to their NFC form in
// AL16UTF16 and UTF8 handles, including texts longer than the work area. The
// AL16UTF16 object carries every combining class and the composition table
// built from the primary composites.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lxc.h"
#include "lxh.h"
#include "nlsinst.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace {

#include "compose.inc"

struct Ucd {
  uint32_t cp;
  uint16_t ccc;
  uint32_t lower, upper;
};
const Ucd kUcd[] = {
#include "ucd.inc"
};
struct Supp {
  uint32_t cp, ccc;
};
const Supp kSupp[] = {SUPP_CLASSES};
const nlsw::ComposePair kPairs[] = {COMPOSE_PAIRS};
struct Case {
  const char16_t *nfd, *nfc;
  const char *nfd8, *nfc8;
};
const Case kCases[] = {COMPOSE_CASES};

using Bytes = std::vector<uint8_t>;

Bytes be(const std::u16string &s) {
  Bytes b;
  for (char16_t u : s) {
    b.push_back(uint8_t(u >> 8));
    b.push_back(uint8_t(u));
  }
  return b;
}

uint32_t packed_pair(uint32_t cp) {
  uint32_t v = cp - 0x10000;
  return (0xD800 + (v >> 10)) << 16 | (0xDC00 + (v & 0x3FF));
}

// The AL16UTF16 object; without the pair dropped (when given).
nlsw::Image al16utf16(const nlsw::ComposePair *dropped = nullptr) {
  nlsw::CharsetDesc s = nlsw::al16utf16_charset();
  for (const Ucd &u : kUcd)
    if (u.ccc) s.combining[u.cp] = u.ccc;
  for (const Supp &u : kSupp) s.combining[packed_pair(u.cp)] = u.ccc;
  std::vector<nlsw::ComposePair> pairs;
  for (const auto &p : kPairs)
    if (!dropped || p.first != dropped->first || p.second != dropped->second) pairs.push_back(p);
  s.compose = nlsw::build_compose_table(pairs);
  return nlsw::build_charset(s);
}

std::string install(const nlsw::ComposePair *dropped = nullptr) {
  nlsw::Installation inst = nlsw::base_installation();
  nlsw::add_charset(inst, nlsw::utf8_charset());
  nlsw::add_object(inst, LX_TCS, LXCS_AL16UTF16, "AL16UTF16", al16utf16(dropped));
  std::string err, dir = nlskit::write(inst, err);
  EXPECT_FALSE(dir.empty()) << err;
  return dir;
}

// Runs body with a handle of the installation in dir for the given set.
void with_handle(const std::string &dir, const char *lang,
                 const std::function<void(const lxlangid &, lxglo &)> &body) {
  nlstest::in_child([&] {
    setenv("ZUR_NLS10", dir.c_str(), 1);
    nlstest::Env e;
    lxlangid h{};
    ASSERT_TRUE(nlskit::handle(lang, &e.glo, &h)) << lang;
    body(h, e.glo);
  });
}

Bytes compose(const lxlangid &h, lxglo &g, const Bytes &in, size_t room = 0) {
  Bytes out(room ? room : in.size() + 16, 0xEE);
  g.status = 0;
  size_t n = lxcscom(&h, out.data(), out.size(), in.data(), in.size());
  out.resize(n);
  return out;
}

std::string hex(const Bytes &b) {
  static const char d[] = "0123456789ABCDEF";
  std::string s;
  for (uint8_t x : b) {
    s += d[x >> 4];
    s += d[x & 15];
  }
  return s;
}

class Lxcscom : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = install(); }
  static std::string dir_;
};
std::string Lxcscom::dir_;

TEST_F(Lxcscom, NfdComposesToNfcInAl16utf16) {
  with_handle(dir_, "AMERICAN_AMERICA.AL16UTF16", [](const lxlangid &h, lxglo &g) {
    ASSERT_TRUE(h.flags & LXH_F_AL16UTF16);
    int bad = 0;
    for (const Case &c : kCases) {
      Bytes got = compose(h, g, be(c.nfd));
      if (got != be(c.nfc) && ++bad < 5)
        ADD_FAILURE() << "NFD " << hex(be(c.nfd)) << "\n got " << hex(got) << "\nwant " << hex(be(c.nfc));
      EXPECT_EQ(g.status, 0u);
    }
    EXPECT_EQ(bad, 0);
  });
}

TEST_F(Lxcscom, NfdComposesToNfcInUtf8) {
  with_handle(dir_, "AMERICAN_AMERICA.UTF8", [](const lxlangid &h, lxglo &g) {
    int bad = 0;
    for (const Case &c : kCases) {
      if (!c.nfd8) continue;
      Bytes in(c.nfd8, c.nfd8 + strlen(c.nfd8)), want(c.nfc8, c.nfc8 + strlen(c.nfc8));
      Bytes got = compose(h, g, in);
      if (got != want && ++bad < 5) ADD_FAILURE() << "NFD " << hex(in) << "\n got " << hex(got) << "\nwant " << hex(want);
    }
    EXPECT_EQ(bad, 0);
  });
}

TEST_F(Lxcscom, HangulEdges) {
  struct HCase {
    std::u16string in, want;
  };
  const HCase cases[] = {
      {u"\x1100\x1161", u"\xAC00"},
      {u"\xAC00\x11A8", u"\xAC01"},
      {u"\xAC00\x11A7", u"\xAC00\x11A7"},  // not a trailing consonant
      {u"\xAC00\x11C3", u"\xAC00\x11C3"},
      {u"\xAC01\x11A8", u"\xAC01\x11A8"},  // already has one
      {u"\xD7A4\x11A8", u"\xD7A4\x11A8"},  // past the last syllable
      {u"\x1100\x1161\x11A8x", u"\xAC01x"},
  };
  with_handle(dir_, "AMERICAN_AMERICA.AL16UTF16", [&](const lxlangid &h, lxglo &g) {
    for (const HCase &c : cases) EXPECT_EQ(hex(compose(h, g, be(c.in))), hex(be(c.want))) << hex(be(c.in));
  });
}

TEST_F(Lxcscom, BlockedMarkStaysAfterTheCompositeInSourceOrder) {
  // The second mark of a class is blocked by the first; a chained composite
  // (e, cedilla, breve) takes its marks before the blocked one.
  with_handle(dir_, "AMERICAN_AMERICA.AL16UTF16", [](const lxlangid &h, lxglo &g) {
    EXPECT_EQ(hex(compose(h, g, be(u"a\x0323\x0323"))), hex(be(u"\x1EA1\x0323")));
    EXPECT_EQ(hex(compose(h, g, be(u"e\x0327\x0306\x0306"))), hex(be(u"\x1E1D\x0306")));
  });
}

TEST_F(Lxcscom, ResultThatDoesNotFitStopsWithStatus6) {
  with_handle(dir_, "AMERICAN_AMERICA.UTF8", [](const lxlangid &h, lxglo &g) {
    // an invalid byte decodes to U+FFFD: three bytes out for one in
    Bytes in = {'a', 0x80, 'b'};
    Bytes got = compose(h, g, in, 3);
    EXPECT_EQ(hex(got), "61");
    EXPECT_EQ(g.status, LXS_SMALL);
    got = compose(h, g, in, 4);
    EXPECT_EQ(hex(got), "61EFBFBD");
    EXPECT_EQ(g.status, LXS_SMALL);
  });
  with_handle(dir_, "AMERICAN_AMERICA.AL16UTF16", [](const lxlangid &h, lxglo &g) {
    Bytes in = be(u"a\xD800\xDC00");
    Bytes got = compose(h, g, in, 4);  // room for half the pair only
    EXPECT_EQ(hex(got), "0061");
    EXPECT_EQ(g.status, LXS_SMALL);
  });
}

TEST_F(Lxcscom, NonUnicodeTextIsCopied) {
  with_handle(dir_, "AMERICAN_AMERICA.US7ASCII", [](const lxlangid &h, lxglo &g) {
    Bytes in = {'a', 0xCC, 0x81};
    EXPECT_EQ(compose(h, g, in), in);
    EXPECT_EQ(compose(h, g, in, 2).size(), 2u);
    EXPECT_EQ(g.status, LXS_SMALL);
  });
}

TEST(LxcscomTable, APairMissingFromTheTableStaysUncomposed) {
  const nlsw::ComposePair drop = {0x0065, 0x0301, 0x00E9};
  std::string dir = install(&drop);
  with_handle(dir, "AMERICAN_AMERICA.AL16UTF16", [](const lxlangid &h, lxglo &g) {
    EXPECT_EQ(hex(compose(h, g, be(u"e\x0301 a\x0301"))), hex(be(u"e\x0301 \x00E1")));
  });
}

TEST(Lxcsjmc, RunsInUtf8AreCommittedOnlyWithTheFinalFlag) {
  nlsw::Image img = nlsinst::utf8_charset();
  const lxcsobj *cs = reinterpret_cast<const lxcsobj *>(img.bytes.data());
  lxglo g{};
  Bytes src = be(u"\x1100\x1161\x11A8");
  uint8_t out[16] = {};
  size_t d = 0, reached = 0, s = 0;
  EXPECT_EQ(lxcsjmc(out, &d, src.data(), &reached, &s, src.size(), 0, cs, &g), 0u);
  EXPECT_EQ(s, 0u);
  EXPECT_EQ(reached, src.size());
  EXPECT_EQ(lxcsjmc(out, &d, src.data(), &reached, &s, src.size(), 1, cs, &g), 3u);
  EXPECT_EQ(s, src.size());
  EXPECT_EQ(hex(Bytes(out, out + d)), "EAB081");  // U+AC01
  // a unit that is no jamo ends the run there, committed
  Bytes src2 = be(u"\x1100\x1161x");
  d = s = 0;
  EXPECT_EQ(lxcsjmc(out, &d, src2.data(), &reached, &s, src2.size(), 0, cs, &g), 3u);
  EXPECT_EQ(s, 4u);
  EXPECT_EQ(reached, 4u);
  // an empty run, and a set that is not Unicode
  s = src.size();
  EXPECT_EQ(lxcsjmc(out, &d, src.data(), &reached, &s, src.size(), 1, cs, &g), 0u);
  nlsw::Image ascii = nlsw::build_charset(nlsw::ascii_charset("US7ASCII", 1));
  s = 0;
  EXPECT_EQ(lxcsjmc(out, &d, src.data(), &reached, &s, src.size(), 1,
                    reinterpret_cast<const lxcsobj *>(ascii.bytes.data()), &g), 0u);
}

}  // namespace
