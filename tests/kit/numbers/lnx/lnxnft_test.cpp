// NUMBER formatted text: the generated table (tools/numbers/lnxnftcases.py:
// Python's decimal formatting with ROUND_HALF_UP, Roman and hexadecimal
// helpers), the documented examples, NLS texts (currency items, the
// language's characters, EBCDIC, AL16UTF16 within its room), the date mode,
// the NLS reference each call takes, and the print engine's use.
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "lnx.h"
#include "lnx_check.h"
#include "lxh.h"
#include "nlsfix.h"
#include "numinst.h"

extern "C" uintptr_t slxlobc;  // the shared NLS table's use count

using namespace lnxtest;
using nlsfix::Installed;
using nlstest::Env;

namespace {

constexpr unsigned char kGuard = '@';
constexpr size_t kOut = 600;

struct Case {
  const char *num;
  uint32_t flags;
  int intpos, decpos, width, minint, mindec;
  const char *groups;
  const char *want;
};

const Case kCases[] = {
#include "lnxnftcases.inc"
};

lnx_fmt descriptor(uint32_t flags, int intpos, int decpos, int width, int minint = 0,
                   int mindec = 0, const Bytes &groups = {}) {
  lnx_fmt f{};
  f.flags = flags | LNXF_FORMATTED;
  f.intpos = uint8_t(intpos);
  f.decpos = uint8_t(decpos);
  f.width = uint8_t(width);
  f.minint = uint8_t(minint);
  f.mindec = uint8_t(mindec);
  for (size_t i = 0; i < groups.size(); ++i) f.groups[i] = groups[i];
  return f;
}

// The room a call may write: the width, or the text-minimum room.
size_t room_of(const lnx_fmt &f, size_t unit = 1) {
  const bool textmin = (f.flags & LNXF_TEXTMIN) && f.width < LNX_TEXTMIN_ROOM;
  return unit * (textmin ? LNX_TEXTMIN_ROOM : f.width);
}

// Runs lnxnftg (or lnxnft when glo is NULL) into a guarded buffer; checks
// that nothing was written past the room and that the result lies in it.
std::string run(const Bytes &num, const lnx_fmt &f, const lxlangid *h, lxglo *glo,
                size_t unit = 1) {
  unsigned char out[kOut];
  std::memset(out, kGuard, sizeof out);
  if (!lnxchk(num.data(), num.size())) {
    ADD_FAILURE() << "not a NUMBER: " << hex(num);
    return "";
  }
  const size_t n = glo ? lnxnftg(num.data(), num.size(), &f, out, h, glo)
                       : lnxnft(num.data(), num.size(), &f, out, h);
  const size_t room = room_of(f, unit);
  EXPECT_LE(n, room);
  for (size_t i = room; i < sizeof out; ++i)
    if (out[i] != kGuard) {
      ADD_FAILURE() << "written past the room at " << i;
      break;
    }
  return std::string(reinterpret_cast<char *>(out), n <= room ? n : room);
}

class LnxNft : public Installed {};

TEST_F(LnxNft, GeneratedTable) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    size_t i = 0;
    for (const Case &c : kCases) {
      const lnx_fmt f = descriptor(c.flags, c.intpos, c.decpos, c.width, c.minint, c.mindec,
                                   unhex(c.groups));
      const Bytes num = unhex(c.num);
      ASSERT_TRUE(lnxchk(num.data(), num.size())) << c.num;
      EXPECT_EQ(run(num, f, &h, &e.glo), c.want) << c.num << " flags " << std::hex << c.flags;
      // the prefixed form, and every few cases the entry that takes its own
      // status record, with this handle and with the default one
      Bytes prefixed{uint8_t(num.size())};
      prefixed.insert(prefixed.end(), num.begin(), num.end());
      unsigned char out[kOut];
      const size_t n = lnxnftg(prefixed.data(), 0, &f, out, &h, &e.glo);
      EXPECT_EQ(std::string(reinterpret_cast<char *>(out), n), c.want) << "prefixed " << c.num;
      if (i++ % 7 == 0) {
        EXPECT_EQ(run(num, f, &h, nullptr), c.want) << "lnxnft " << c.num;
        EXPECT_EQ(run(num, f, nullptr, nullptr), c.want) << "default handle " << c.num;
      }
    }
  });
}

// The documented examples.
TEST_F(LnxNft, Examples) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    const Bytes n1234_5 = unhex("c20d2333");       // 1234.5
    const Bytes n12345 = unhex("c302182e");         // 12345
    const Bytes n1234 = unhex("c20d23");            // 1234
    const Bytes zero = unhex("80");
    const Bytes neg_001 = unhex("405b66");          // -0.001
    const Bytes tiny = unhex("8002");               // 1E-130
    struct {
      const char *what;
      Bytes num;
      lnx_fmt f;
      std::string want;
    } cases[] = {
        {"1234.5 min 2", n1234_5, descriptor(LNXF_BLANKFILL | LNXF_DOT, 4, 2, 8, 0, 2), " 1234.50"},
        {"1234.5 min 0", n1234_5, descriptor(LNXF_BLANKFILL | LNXF_DOT, 4, 2, 8, 0, 0), "  1234.5"},
        {"12345 in 4", n12345, descriptor(0, 4, 0, 6), "######"},
        {"0 blanked", zero, descriptor(LNXF_ZEROBLANK | LNXF_BLANKFILL, 4, 2, 7), "       "},
        {"0 blanked, no fill", zero, descriptor(LNXF_ZEROBLANK, 4, 2, 7), ""},
        {"-0.001", neg_001, descriptor(0, 3, 2, 8, 1, 2), "-0.00"},
        {"1.23E+04", n12345, descriptor(LNXF_SCI, 1, 2, 12), "1.23E+04"},
        {"1E-130", tiny, descriptor(LNXF_SCI | LNXF_NOPOINT, 1, 0, 12), "1E-130"},
        {"1,234", n1234, descriptor(LNXF_NOPOINT, 4, 0, 8, 0, 0, {1}), "1,234"},
        {"+inf", unhex("ff65"), descriptor(0, 10, 2, 5), "#####"},
        {"-inf", unhex("00"), descriptor(0, 10, 2, 5), "#####"},
        {"not formatted", n1234, descriptor(0, 10, 2, 4), "####"},
        {"too wide for the field", n1234_5, descriptor(0, 4, 2, 6, 0, 2), "######"},
        // 0/5 rounding with no decimal positions takes the last significant digit
        {"1230 to 0 or 5", unhex("c20d1f"), descriptor(LNXF_ROUND05 | LNXF_NOPOINT, 6, 0, 8), "1250"},
        {"1.28 to 1.30", unhex("c1021d"), descriptor(LNXF_ROUND05, 2, 2, 8, 1, 2), "1.30"},
        {"0.01 to 0", unhex("c002"), descriptor(LNXF_ROUND05, 2, 2, 8, 1, 2), "0.00"},
        {"-0.01 to -0", unhex("3f6466"), descriptor(LNXF_ROUND05, 2, 2, 8, 1, 2), "-0.00"},
        {"9.98 carries", unhex("c10a63"), descriptor(LNXF_ROUND05, 2, 2, 8, 1, 2), "10.00"},
        {"9.98 carries out", unhex("c10a63"), descriptor(LNXF_ROUND05, 1, 2, 8, 1, 2), "########"},
        {"9.98E+00 carries", unhex("c10a63"), descriptor(LNXF_SCI | LNXF_ROUND05, 1, 2, 12, 1, 2), "1.00E+01"},
        // signs under blank fill and the trailing forms
        {"angle", unhex("3e5c3366"), descriptor(LNXF_ANGLE | LNXF_BLANKFILL, 2, 1, 8), "   <9.5>"},
        {"angle +", unhex("c10a33"), descriptor(LNXF_ANGLE | LNXF_BLANKFILL, 2, 1, 8), "    9.5 "},
        {"trailing sign", unhex("3e5c3366"), descriptor(LNXF_TRAILSIGN, 2, 1, 8), "9.5-"},
        {"trailing sign +", unhex("c10a33"), descriptor(LNXF_TRAILSIGN, 2, 1, 8), "9.5+"},
        {"dollar", unhex("c10a33"), descriptor(LNXF_DOLLAR | LNXF_PLUS, 2, 1, 8), "+$9.5"},
        // the group after an empty position is skipped
        {"empty groups", unhex("c10a"), descriptor(LNXF_BLANKFILL | LNXF_NOPOINT, 7, 0, 10, 0, 0, {1, 4}), "         9"},
        {"groups and zeros", unhex("c10a"), descriptor(LNXF_NOPOINT, 7, 0, 12, 7, 0, {1, 4}), "0,000,009"},
        // text-minimum: positions from the value, scientific beyond 64 characters
        {"text-minimum", unhex("c20d2333"), descriptor(LNXF_TEXTMIN, 0, 0, 0), "1234.5"},
        {"text-minimum fill", neg_001, descriptor(LNXF_TEXTMIN | LNXF_BLANKFILL, 0, 0, 0), "-.001"},
        {"text-minimum 1E+70", unhex("e402"), descriptor(LNXF_TEXTMIN, 0, 0, 0), "1E+70"},
        // Roman and hexadecimal
        {"Roman 1994", unhex("c2145f"), descriptor(LNXF_ROMAN, 0, 0, 10), "MCMXCIV"},
        {"Roman lower", unhex("c2145f"), descriptor(LNXF_ROMAN | LNXF_LOWER | LNXF_BLANKFILL, 0, 0, 10), "   mcmxciv"},
        {"Roman 0", zero, descriptor(LNXF_ROMAN, 0, 0, 4), "####"},
        {"Roman too wide", unhex("c2145f"), descriptor(LNXF_ROMAN, 0, 0, 6), "######"},
        {"hex 255", unhex("c20338"), descriptor(LNXF_HEX, 4, 0, 6, 1), "00FF"},
        {"hex negative", unhex("3e6466"), descriptor(LNXF_HEX, 4, 0, 6), "######"},
    };
    for (auto &c : cases) EXPECT_EQ(run(c.num, c.f, &h, &e.glo), c.want) << c.what;
  });
}

// Without a handle and without a status record there is nothing to work
// in; lnxnft makes both (here over the built-in NLS objects).
TEST(LnxNftBare, NoEnvironment) {
  const Bytes n = unhex("c10a33");
  const lnx_fmt f = descriptor(0, 4, 2, 6, 1, 2);
  EXPECT_EQ(run(n, f, nullptr, nullptr, 1), "9.50");
  unsigned char out[8];
  EXPECT_EQ(lnxnftg(n.data(), n.size(), &f, out, nullptr, nullptr), 6u);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(out), 6), "######");
}

// Currency texts by item, the language's decimal and group characters.
TEST_F(LnxNft, LanguageTexts) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    ASSERT_EQ(lxhlmod(&h, "EUR", 3, 69, 0, 0, &e.glo), 1);
    ASSERT_EQ(lxhlmod(&h, ",.", 2, 71, 0, 0, &e.glo), 1);
    auto item = [&](int n) {
      char buf[64] = {};
      lxhlinfo(&h, n, buf, sizeof buf, &e.glo);
      return std::string(buf);
    };
    const Bytes num = unhex("c30d2339");  // 123456
    struct {
      uint32_t flags;
      std::string want;
    } cases[] = {
        {LNXF_CURBEFORE, "EUR123.456,00"},
        {LNXF_CURAFTER | LNXF_DOT, "123.456.00EUR"},
        {LNXF_CURPOINT, "123.456EUR00"},
        {LNXF_CURBEFORE | LNXF_CUR53, item(53) + "123.456,00"},
        {LNXF_CURBEFORE | LNXF_CUR121, item(121) + "123.456,00"},
    };
    for (auto &c : cases) {
      // group bit 0x80: the language's group character after position 3
      const lnx_fmt f = descriptor(c.flags, 6, 2, 30, 1, 2, {0x83});
      EXPECT_EQ(run(num, f, &h, &e.glo), c.want) << std::hex << c.flags;
    }
    // a currency text that does not fit the width
    EXPECT_EQ(run(num, descriptor(LNXF_CURBEFORE, 6, 2, 10, 1, 2), &h, &e.glo), "##########");
  });
}

TEST_F(LnxNft, EbcdicTable) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    h.flags &= ~LXH_F_ASCII;
    h.numchars[0] = 0x4B;  // "." in code page 037
    const Bytes num = unhex("3d59433366");  // -1234.5
    const std::string got = run(num, descriptor(LNXF_BLANKFILL, 4, 2, 10, 1, 2, {1}), &h, &e.glo);
    const std::string want = "\x40\x60\xF1\x6B\xF2\xF3\xF4\x4B\xF5\xF0";  // " -1,234.50"
    EXPECT_EQ(got, want);
    EXPECT_EQ(run(num, descriptor(0, 2, 0, 3), &h, &e.glo), "\x7B\x7B\x7B");
  });
}

// AL16UTF16: the text is made in UTF-8 and converted; the bytes written
// are reported, never more than the room of twice the width.
TEST_F(LnxNft, Al16Utf16WithinItsRoom) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.AL16UTF16");
    ASSERT_TRUE(h.flags & LXH_F_AL16UTF16);
    auto units = [](const std::string &ascii) {
      std::string s;
      for (char c : ascii) s += '\0', s += c;
      return s;
    };
    const Bytes num = unhex("c20d2333");  // 1234.5
    EXPECT_EQ(run(num, descriptor(0, 4, 2, 10, 1, 2), &h, &e.glo, 2), units("1234.50"));
    EXPECT_EQ(run(num, descriptor(LNXF_BLANKFILL, 4, 2, 9, 1, 2), &h, &e.glo, 2),
              units("  1234.50"));
    EXPECT_EQ(run(num, descriptor(0, 2, 2, 5), &h, &e.glo, 2), units("#####"));
    EXPECT_EQ(run(num, descriptor(LNXF_ROMAN, 0, 0, 12), &h, &e.glo, 2), units("MCCXXXV"));
    // A currency text of one UTF-16 unit that is three bytes in UTF-8:
    // 2 bytes for it, not 6.
    const char euro[] = {'\x20', '\xAC'};
    ASSERT_EQ(lxhlmod(&h, euro, 2, 69, 0, 0, &e.glo), 1);
    const std::string got = run(num, descriptor(LNXF_CURBEFORE, 4, 2, 10, 1, 2), &h, &e.glo, 2);
    EXPECT_EQ(got, std::string(euro, 2) + units("1234.50"));
    // exactly the width in UTF-8 bytes, and one less
    EXPECT_EQ(run(num, descriptor(LNXF_CURBEFORE, 4, 2, 10, 1, 2), &h, &e.glo, 2).size(), 16u);
    EXPECT_EQ(run(num, descriptor(LNXF_CURBEFORE, 4, 2, 9, 1, 2), &h, &e.glo, 2),
              units("#########"));
  });
}

// Each call of lnxnft takes a reference to the shared NLS table and drops
// it, on every path.
TEST_F(LnxNft, DropsTheReferenceItTakes) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    lxlangid wide = nlsfix::handle(e, "AMERICAN_AMERICA.AL16UTF16");
    const uintptr_t before = slxlobc;
    ASSERT_GE(before, 1u);
    const Bytes num = unhex("c20d2333");
    unsigned char out[kOut];
    const lnx_fmt fmts[] = {descriptor(0, 4, 2, 10, 1, 2), descriptor(0, 1, 0, 3),
                            descriptor(LNXF_ROMAN, 0, 0, 10), descriptor(LNXF_HEX, 4, 0, 4),
                            descriptor(LNXF_DATE_DMY, 0, 0, 10)};
    for (const lnx_fmt &f : fmts)
      for (const lxlangid *lang : {static_cast<const lxlangid *>(&h), static_cast<const lxlangid *>(&wide),
                                   static_cast<const lxlangid *>(nullptr)}) {
        lnxnft(num.data(), num.size(), &f, out, lang);
        EXPECT_EQ(slxlobc, before) << std::hex << f.flags;
      }
  });
}

// Date mode: the NUMBER is a day count with a fraction; the text fills the
// width it reports, blanks after the date.
TEST_F(LnxNft, DateMode) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    const Bytes epoch = unhex("c4032d065933");     // 2440588.5: 1970-01-01 12:00
    const Bytes jan13 = unhex("c4032d07");         // 2440600: 1970-01-13
    const Bytes zero = unhex("80"), minus = unhex("3b6466");  // 0, -1000000
    struct {
      const char *what;
      Bytes num;
      lnx_fmt f;
      std::string want;
    } cases[] = {
        {"DD/MM/YY", epoch, descriptor(LNXF_DATE_DMY, 0, 0, 8), "01/01/70"},
        {"wider", epoch, descriptor(LNXF_DATE_DMY, 0, 0, 12), "01/01/70    "},
        {"MM/DD/YY", jan13, descriptor(LNXF_DATE_MDY, 0, 0, 10), "01/13/70  "},
        {"DMY wins", jan13, descriptor(LNXF_DATE_MDY | LNXF_DATE_DMY, 0, 0, 8), "13/01/70"},
        {"over Roman", jan13, descriptor(LNXF_DATE_DMY | LNXF_ROMAN, 0, 0, 8), "13/01/70"},
        {"no room", epoch, descriptor(LNXF_DATE_DMY, 0, 0, 7), "#######"},
        {"day 0", zero, descriptor(LNXF_DATE_DMY, 0, 0, 8), "########"},
        {"before day 1", minus, descriptor(LNXF_DATE_DMY, 0, 0, 8), "########"},
        {"infinity", unhex("ff65"), descriptor(LNXF_DATE_DMY, 0, 0, 8), "########"},
        {"not formatted", epoch, descriptor(LNXF_DATE_DMY, 0, 0, 8), "########"},
    };
    cases[9].f.flags &= ~LNXF_FORMATTED;
    for (auto &c : cases) {
      EXPECT_EQ(run(c.num, c.f, &h, &e.glo), c.want) << c.what;
      EXPECT_EQ(run(c.num, c.f, &h, nullptr), c.want) << "lnxnft " << c.what;
    }
    // AL16UTF16: units, twice the width reported, blank units after the date
    lxlangid wide = nlsfix::handle(e, "AMERICAN_AMERICA.AL16UTF16");
    std::string want;
    for (char c : std::string("01/01/70  ")) want += '\0', want += c;
    EXPECT_EQ(run(epoch, descriptor(LNXF_DATE_DMY, 0, 0, 10), &wide, &e.glo, 2), want);
    EXPECT_EQ(run(epoch, descriptor(LNXF_DATE_DMY, 0, 0, 4), &wide, &e.glo, 2),
              std::string("\0#\0#\0#\0#", 8));
  });
}

// The sets of the numeric-text installation: code page 037 and a
// shift-sensitive set.
class LnxNftSets : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = numinst::write(); }
  inline static std::string dir_;
};

TEST_F(LnxNftSets, Ebcdic037) {
  nlstest::in_installation(dir_, [](Env &e) {
    lxlangid h{};
    ASSERT_NE(lxhLaToId("AMERICAN_AMERICA.WE8EBCDIC37", 0, &h, 0, &e.glo), nullptr);
    ASSERT_FALSE(h.flags & LXH_F_ASCII);
    // Roman and hexadecimal in capitals through the set's case map
    EXPECT_EQ(run(unhex("c2145f"), descriptor(LNXF_ROMAN, 0, 0, 7), &h, &e.glo),
              "\xD4\xC3\xD4\xE7\xC3\xC9\xE5");  // MCMXCIV
    EXPECT_EQ(run(unhex("c20338"), descriptor(LNXF_HEX | LNXF_BLANKFILL, 2, 0, 4), &h, &e.glo),
              "\x40\x40\xC6\xC6");  // "  FF"
    EXPECT_EQ(run(unhex("c20338"), descriptor(LNXF_HEX | LNXF_LOWER, 2, 0, 2), &h, &e.glo),
              "\x86\x86");  // "ff"
    // empty positions padded with the set's blank, group after position 3
    EXPECT_EQ(run(unhex("3d59433366"), descriptor(LNXF_BLANKFILL, 6, 2, 12, 1, 2, {3}), &h, &e.glo),
              "\x40\x40\x40\x60\xF1\x6B\xF2\xF3\xF4\x4B\xF5\xF0");  // "   -1,234.50"
    // the date format is converted from US7ASCII before it compiles
    EXPECT_EQ(run(unhex("c4032d065933"), descriptor(LNXF_DATE_DMY, 0, 0, 9), &h, &e.glo),
              "\xF0\xF1\x61\xF0\xF1\x61\xF7\xF0\x40");  // "01/01/70 "
  });
}

TEST_F(LnxNftSets, ShiftSensitiveCurrency) {
  nlstest::in_installation(dir_, [](Env &e) {
    lxlangid h{};
    ASSERT_NE(lxhLaToId("AMERICAN_AMERICA.NUMSHIFT", 0, &h, 0, &e.glo), nullptr);
    ASSERT_TRUE(h.flags & LXH_F_SHIFT);
    // a currency text that ends shifted out: the digits after it need a
    // shift-in byte first, and a text that ends shifted out gets one
    char cur[8] = {};
    size_t n = 0;
    cur[n++] = char(numinst::kSO);
    const std::string dbcs = "\xA3\xB0";  // a double-byte character of the set (U+FF10)
    for (char c : dbcs) cur[n++] = c;
    ASSERT_EQ(lxhlmod(&h, cur, n, 69, 0, 0, &e.glo), 1);
    const std::string so_cur = std::string(1, char(numinst::kSO)) + dbcs;
    const std::string si(1, char(numinst::kSI));
    const Bytes num = unhex("c10a33");  // 9.5
    EXPECT_EQ(run(num, descriptor(LNXF_CURBEFORE, 2, 1, 12, 1, 1), &h, &e.glo),
              so_cur + si + "9.5");
    EXPECT_EQ(run(num, descriptor(LNXF_CURAFTER, 2, 1, 12, 1, 1), &h, &e.glo),
              "9.5" + so_cur + si);
    // the closing shift-in counts against the width
    EXPECT_EQ(run(num, descriptor(LNXF_CURAFTER, 2, 1, 6, 1, 1), &h, &e.glo), "######");
  });
}

}  // namespace
