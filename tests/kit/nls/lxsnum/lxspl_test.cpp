// The English number speller against a Python model written from its rules
// (spell.inc, generated at build time): cardinals, ordinals and suffixes of
// 0-999999 and a spread to 999999999, years 0-9999; the rules one by one;
// AL16UTF16 and EBCDIC handles; outputs one byte short.
#include <gtest/gtest.h>

#include <string.h>

#include <array>
#include <string>

#include "lxsp.h"
#include "numtest.h"

namespace {

#include "spell.inc"

using namespace numtest;

class Speller : public NumText {};

constexpr size_t kRoom = 200;

// The text written, or "(null)" for a failure.
std::string spell(const lxlangid &h, Env &e, uint32_t n, uint32_t flags, size_t room = kRoom) {
  char buf[kRoom + 16];
  memset(buf, '#', sizeof buf);
  char *end = lxspln(&h, n, buf, room, flags, &e.glo);
  if (end == nullptr) return "(null)";
  EXPECT_EQ(buf[end - buf], '#');
  return std::string(buf, size_t(end - buf));
}
std::string suffix(const lxlangid &h, Env &e, uint32_t n, size_t room = kRoom) {
  char buf[kRoom];
  char *end = lxsplth(&h, n, buf, room, &e.glo);
  return end ? std::string(buf, size_t(end - buf)) : "(null)";
}
std::string year(const lxlangid &h, Env &e, int32_t y, size_t room = kRoom) {
  char buf[kRoom + 16];
  memset(buf, '#', sizeof buf);
  char *end = lxsply(&h, y, buf, room, &e.glo);
  if (end == nullptr) return "(null)";
  EXPECT_EQ(buf[end - buf], '#');
  return std::string(buf, size_t(end - buf));
}

// CRC-32 as zlib computes it (reflected polynomial 0xEDB88320), continued
// from `crc`: the generator digests each block with Python's zlib.crc32.
uint32_t crc32(const std::string &s, uint32_t crc) {
  static const auto table = [] {
    std::array<uint32_t, 256> t{};
    for (uint32_t i = 0; i < 256; ++i) {
      uint32_t c = i;
      for (int k = 0; k < 8; ++k) c = (c & 1) ? 0xEDB88320u ^ (c >> 1) : c >> 1;
      t[i] = c;
    }
    return t;
  }();
  crc = ~crc;
  for (unsigned char c : s) crc = table[(crc ^ c) & 0xFF] ^ (crc >> 8);
  return ~crc;
}

}  // namespace

TEST_F(Speller, ExamplesOfTheRules) {
  child([](Env &e) {
    Sets s(e);
    struct {
      uint32_t n;
      const char *cardinal, *ordinal, *suffix;
    } cases[] = {
        {0, "zero", "zeroeth", "(null)"},
        {1, "one", "first", "st"},
        {3, "three", "third", "rd"},
        {8, "eight", "eighth", "th"},
        {9, "nine", "ninth", "th"},
        {12, "twelve", "twelfth", "th"},
        {21, "twenty-one", "twenty-first", "st"},
        {40, "forty", "fortieth", "th"},
        {100, "one hundred", "one hundredth", "th"},
        {101, "one hundred one", "one hundred first", "st"},
        {111, "one hundred eleven", "one hundred eleventh", "th"},
        {1066, "one thousand sixty-six", "one thousand sixty-sixth", "th"},
        {1000000, "one million", "one millionth", "th"},
        {5373484,
         "five million three hundred seventy-three thousand four hundred eighty-four",
         "five million three hundred seventy-three thousand four hundred eighty-fourth", "th"},
        {200000, "two hundred thousand", "two hundred thousandth", "th"},  // one blank
        {1000000000, "(null)", "(null)", "th"},                          // ten digits
        {4294967295u, "(null)", "(null)", "th"},
    };
    for (const auto &c : cases) {
      EXPECT_EQ(spell(s.as, e, c.n, 0), c.cardinal);
      EXPECT_EQ(spell(s.as, e, c.n, LXSPL_ORDINAL), c.ordinal);
      EXPECT_EQ(suffix(s.as, e, c.n), c.suffix);
    }
    struct {
      int32_t y;
      const char *text;
    } years[] = {{1999, "nineteen ninety-nine"}, {2024, "twenty twenty-four"},
                 {1066, "ten sixty-six"},        {2005, "two thousand five"},
                 {1900, "one thousand nine hundred"}, {45, "forty-five"},
                 {0, "zero"},                    {-1, "(null)"},
                 {INT32_MIN, "(null)"}};
    for (const auto &c : years) EXPECT_EQ(year(s.as, e, c.y), c.text) << c.y;
  });
}

TEST_F(Speller, AgainstThePythonModel) {
  child([](Env &e) {
    Sets s(e);
    for (uint32_t b = 0; b < 1000; ++b) {
      uint32_t h = 0;
      for (uint32_t n = b * 1000; n < b * 1000 + 1000; ++n) {
        std::string suf = n == 0 ? "" : suffix(s.as, e, n);
        h = crc32(spell(s.as, e, n, 0) + "|" + spell(s.as, e, n, LXSPL_ORDINAL) + "|" + suf + "\n", h);
      }
      ASSERT_EQ(h, kSpellBlocks[b]) << "numbers " << b * 1000 << " to " << b * 1000 + 999;
    }
    for (const auto &r : kSpellSpread) {
      EXPECT_EQ(spell(s.as, e, r.n, 0), r.cardinal);
      EXPECT_EQ(spell(s.as, e, r.n, LXSPL_ORDINAL), r.ordinal);
      if (r.n != 0) {
        EXPECT_EQ(suffix(s.as, e, r.n), r.suffix);
      }
    }
    for (int32_t b = 0; b < 100; ++b) {
      uint32_t h = 0;
      for (int32_t y = b * 100; y < b * 100 + 100; ++y) h = crc32(year(s.as, e, y) + "\n", h);
      EXPECT_EQ(h, kYearBlocks[b]) << "years " << b * 100 << " to " << b * 100 + 99;
    }
  });
}

TEST_F(Speller, OtherCharsets) {
  child([](Env &e) {
    Sets s(e);
    const uint32_t numbers[] = {0, 1, 12, 5373484, 999999999};
    for (const lxlangid *h : {&s.u16, &s.eb, &s.u8}) {
      for (uint32_t n : numbers) {
        for (uint32_t f : {0u, unsigned(LXSPL_ORDINAL)}) {
          std::string ascii = spell(s.as, e, n, f);
          EXPECT_EQ(spell(*h, e, n, f), in_set(*h, e, ascii)) << h->cs << " " << n;
          EXPECT_EQ(spell(*h, e, n, f | LXSPL_RAW), ascii);
        }
        if (n != 0) {
          EXPECT_EQ(suffix(*h, e, n), in_set(*h, e, suffix(s.as, e, n)));
        }
      }
      EXPECT_EQ(year(*h, e, 1999), in_set(*h, e, "nineteen ninety-nine"));
    }
  });
}

// A text one byte longer than the output fails; the exact length succeeds.
TEST_F(Speller, OutputsOneByteShort) {
  child([](Env &e) {
    Sets s(e);
    for (const lxlangid *h : {&s.as, &s.u16, &s.eb}) {
      for (uint32_t n : {0u, 1u, 21u, 5373484u}) {
        for (uint32_t f : {0u, unsigned(LXSPL_ORDINAL)}) {
          std::string full = spell(*h, e, n, f);
          ASSERT_NE(full, "(null)");
          EXPECT_EQ(spell(*h, e, n, f, full.size()), full);
          EXPECT_EQ(spell(*h, e, n, f, full.size() - 1), "(null)") << h->cs << " " << n;
        }
      }
      std::string y = year(*h, e, 1999);
      EXPECT_EQ(year(*h, e, 1999, y.size()), y);
      EXPECT_EQ(year(*h, e, 1999, y.size() - 1), "(null)");
    }
    // the suffix needs a length greater than its own
    EXPECT_EQ(suffix(s.as, e, 1, 2), "(null)");
    EXPECT_EQ(suffix(s.as, e, 1, 3), "st");
    EXPECT_EQ(suffix(s.u16, e, 1, 3), "(null)");  // four bytes in AL16UTF16
    EXPECT_EQ(suffix(s.u16, e, 1, 4), in_set(s.u16, e, "st"));
  });
}

// Each rule character on its own.
TEST(SpellerRules, EveryRuleCharacter) {
  struct {
    int rule;
    const char *digits;  // digits[0] is the previous digit
    int32_t value;
    const char *out;
    int advance;
    int mark;  // -9: unchanged
    int result;
  } cases[] = {
        {'A', "07", -1, "seven", 1, 'A', 0},
        {'A', "00", -1, "", 1, -9, 0},
        {'A', "07", 42, "two", 1, 'A', 0},
        {'B', "01", -1, "", 1, -9, 0},
        {'B', "03", -1, "three", 1, 'A', 0},
        {'D', "01", 33, "thirteen", 1, 'D', 0},
        {'P', "04", 47, "forty", 1, 'P', 0},
        {'O', "04", 57, "forty", 1, 'P', 0},
        {'N', "017", -1, "seventeen", 2, 'D', 0},
        {'N', "000", -1, "", 2, -9, 0},
        {'N', "090", -1, "ninety", 2, 'P', 0},
        {'N', "099", -1, "ninety-nine", 2, 'A', 0},
        {'H', "3", -1, "hundred", 0, 0, 0},
        {'H', "0", -1, "", 0, -9, 0},
        {' ', "3", -1, " ", 0, -9, 0},
        {' ', "0", -1, "", 0, -9, 0},
        {'_', "1", -1, "", 0, -9, 0},
        {'_', "2", -1, " ", 0, -9, 0},
        {'-', "2", -1, "-", 0, -9, 0},
        {'&', "2", -1, "and", 0, -9, 0},
        {'Z', "2", -1, "", 0, -9, 1},
        {'a', "2", -1, "", 0, -9, 1},
  };
  for (const auto &c : cases) {
    char buf[LXSPL_RULE_ROOM + 8] = {};
    char *out = buf;
    const char *d = c.digits + 1;
    int mark = -9;
    EXPECT_EQ(lxsplndo(c.rule, &out, &d, 0, c.value, &mark), c.result) << char(c.rule);
    EXPECT_EQ(std::string(buf, size_t(out - buf)), c.out) << char(c.rule) << c.digits;
    EXPECT_EQ(d - (c.digits + 1), c.advance) << char(c.rule);
    EXPECT_EQ(mark, c.mark) << char(c.rule) << c.digits;
  }
  EXPECT_EQ(lxsplang.lang, 0);
  EXPECT_EQ(lxsplang.csid, 1);
}
