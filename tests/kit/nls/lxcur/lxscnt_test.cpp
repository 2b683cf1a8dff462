// Character counts (lxsCntChar) and lengths without trailing pad or white
// space (lxsCntXExc, lxsCntExc) over the installation of curinst.h; counts
// of random UTF-8 texts against glibc's mbrtowc in C.UTF-8.
#include <gtest/gtest.h>
#include <locale.h>
#include <stdlib.h>
#include <wchar.h>

#include <random>
#include <string>
#include <vector>

#include "curinst.h"
#include "lxo.h"

using namespace curinst;
using nlstest::Env;

namespace {

class CntChar : public Installed {};

struct Case {
  const char *what;
  int set;  // 0 latin, 1 euc, 2 shift, 3 al32, 4 u16, 5 utf8
  Bytes text;
  size_t len;  // SIZE_MAX: the text's size
  uint32_t flags;
  size_t count, nbytes;
};

}  // namespace

TEST_F(CntChar, Table) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32, &h.u16, &h.utf8};
    const Bytes lvtm = utf16(0x1100) + utf16(0x1161) + utf16(0x11A8) + utf16(0x0301);
    const char SO = char(kSO), SI = char(kSI);
    const uint32_t NUL = 0x10000000;
    const Case cases[] = {
        {"u16 pair", 4, Bytes("\xD8\x00\xDC\x00", 4), SIZE_MAX, 0, 1, 4},
        {"u16 pair as units", 4, Bytes("\xD8\x00\xDC\x00", 4), SIZE_MAX, 0x1000, 2, 4},
        {"u16 lone high", 4, Bytes("\xD8\x00", 2), SIZE_MAX, 0, 0, 0},
        {"u16 high before zero", 4, Bytes("\0a\xD8\x00\0\0", 6), SIZE_MAX, NUL, 1, 2},
        {"u16 odd length", 4, Bytes("\0a\0b", 4), 3, 0, 1, 2},
        {"u16 zero ends", 4, Bytes("\0a\0\0\0b", 6), SIZE_MAX, NUL, 1, 2},
        {"u16 jamo and mark", 4, lvtm, SIZE_MAX, 0x4000, 1, 8},
        {"u16 mark alone", 4, utf16(0x0301), SIZE_MAX, 0x4000, 0, 2},
        {"u16 mark then letter", 4, utf16(0x0301) + utf16('a'), SIZE_MAX, 0x4000, 1, 4},
        {"al32 four bytes as units", 3, utf8(0x1F600), SIZE_MAX, 0x8000, 2, 4},
        {"al32 four bytes", 3, utf8(0x1F600), SIZE_MAX, 0, 1, 4},
        {"al32 cut off", 3, utf8(0x4E00), 2, 0, 0, 0},
        {"al32 whole", 3, "e\xCC\x81" "a", SIZE_MAX, 0x4000, 2, 4},
        {"utf8 coded pair", 5, "\xED\xA0\x80\xED\xB0\x80", SIZE_MAX, 0x2000, 1, 6},
        {"utf8 coded pair cut", 5, "a\xED\xA0\x80\xED\xB0", SIZE_MAX, 0x2000, 1, 1},
        {"utf8 coded pair as units", 5, "\xED\xA0\x80\xED\xB0\x80", SIZE_MAX, 0, 2, 6},
        {"latin zeros count", 0, Bytes("a\0b\0", 4), SIZE_MAX, 0, 4, 4},
        {"latin zero ends", 0, Bytes("a\0b\0", 4), SIZE_MAX, NUL, 1, 1},
        {"latin unbounded", 0, Bytes("abc\0", 4), size_t(-1), NUL | 0x1000, 3, 3},
        {"euc", 1, "a\xA3\xC1\x8E\xB1\x8F\xB0\xA1", SIZE_MAX, 0, 4, 8},
        {"euc cut", 1, "a\xA3\xC1\x8F\xB0", SIZE_MAX, 0, 2, 3},
        {"shift", 2, {SO, '\xA3', '\xC1', SI, 'a'}, SIZE_MAX, 0, 2, 5},
        {"shift cut", 2, {'a', SO, '\xA3'}, SIZE_MAX, 0, 1, 2},
        {"shift zero", 2, {'a', 0, 'b'}, SIZE_MAX, NUL, 1, 1},
    };
    for (const auto &c : cases) {
      e.glo.status = 9;
      size_t n = lxsCntChar(c.text.data(), c.len == SIZE_MAX ? c.text.size() : c.len, c.flags,
                            sets[c.set], &e.glo);
      EXPECT_EQ(n, c.count) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(e.glo.status, 0u) << c.what;
    }
  });
}

// Random UTF-8 texts: code points as mbrtowc counts them.
TEST_F(CntChar, Utf8AgainstMbrtowc) {
  child([](Env &e) {
    ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    Handles h(e);
    std::mt19937 rng(118);
    for (int round = 0; round < 500; ++round) {
      Bytes t;
      const size_t n = rng() % 20;
      for (size_t k = 0; k < n; ++k) {
        const UcdChar &u = kUcd[rng() % (sizeof kUcd / sizeof kUcd[0])];
        t += (rng() % 3 == 0) ? utf8('a' + rng() % 26) : utf8(u.cp);
      }
      // glibc's count of the whole characters within a cut length
      const size_t len = t.empty() ? 0 : rng() % (t.size() + 1);
      mbstate_t st{};
      size_t want = 0, at = 0;
      while (at < len) {
        wchar_t w;
        size_t r = mbrtowc(&w, t.data() + at, len - at, &st);
        if (r == size_t(-1) || r == size_t(-2)) break;
        at += r;
        ++want;
      }
      EXPECT_EQ(lxsCntChar(t.data(), len, 0, &h.al32, &e.glo), want) << round;
      EXPECT_EQ(e.glo.nbytes, at) << round;
      size_t units = 0;
      for (size_t i = 0; i < at;) {
        const unsigned char b = t[i];
        const size_t l = b < 0x80 ? 1 : b < 0xE0 ? 2 : b < 0xF0 ? 3 : 4;
        units += l == 4 ? 2 : 1;
        i += l;
      }
      EXPECT_EQ(lxsCntChar(t.data(), len, 0x8000, &h.al32, &e.glo), units) << round;
    }
  });
}

namespace {

struct ExcCase {
  const char *what;
  int set;
  Bytes text;
  size_t len, count;
  uint32_t flags;
  size_t result, out_count, nbytes;
};

}  // namespace

TEST_F(CntChar, WithoutTrailingPad) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32, &h.u16};
    const size_t ALL = SIZE_MAX;
    const char SO = char(kSO), SI = char(kSI);
    const ExcCase cases[] = {
        {"pad", 0, "AB   ", 5, ALL, 0x40, 2, 2, 5},
        {"white space", 0, "AB \t ", 5, ALL, 0, 2, 2, 5},
        {"pad stops at a tab", 0, "AB \t ", 5, ALL, 0x40, 4, 4, 5},
        {"limit inside", 0, "ABCD  ", 6, 3, 0, 3, 3, 3},
        {"inner blanks stay", 0, "A B  ", 5, ALL, 0x40, 3, 3, 5},
        {"zero ends", 0, Bytes("A \0B", 4), 4, ALL, 0x40, 1, 1, 3},
        {"zero is ordinary", 0, Bytes("A \0B", 4), 4, ALL, 0x40 | 0x20000000, 4, 4, 4},
        {"zero first", 0, Bytes("\0AB", 3), 3, ALL, 0, 0, 0, 1},
        {"length 0", 0, "AB", 0, ALL, 0, 0, 0, 0},
        {"limit 0", 0, "AB", 2, 0, 0, 0, 0, 0},
        {"all blanks", 0, "   ", 3, ALL, 0x40, 0, 0, 3},
        {"euc ideographic space: mb flag", 1, "a\xA1\xA1", 3, ALL, 0x20, 1, 1, 3},
        {"euc ideographic space kept", 1, "a\xA1\xA1", 3, ALL, 0, 3, 2, 3},
        {"euc pad", 1, "\xA3\xC1  ", 4, ALL, 0x40, 2, 1, 4},
        {"euc cut char", 1, "a \xA3", 3, ALL, 0x40, 1, 1, 2},
        {"u16 pad", 4, Bytes("\0A\0 \0 ", 6), 6, ALL, 0x40, 2, 1, 6},
        {"u16 white space needs 0x20", 4, Bytes("\0A\0 ", 4), 4, ALL, 0, 4, 2, 4},
        {"u16 white space", 4, Bytes("\0A\0 \x30\x00", 6), 6, ALL, 0x20, 2, 1, 6},
        {"u16 zero", 4, Bytes("\0A\0 \0\0", 6), 6, ALL, 0x40, 2, 1, 6},
        {"shift pad", 2, {'A', ' ', ' '}, 3, ALL, 0x40, 1, 1, 3},
        {"shift mb space", 2, {'A', SO, '\xA1', '\xA1', SI}, 5, ALL, 0x20, 2, 1, 5},  // the run starts after the shift-out that went with 'A'
        {"shift mb space kept", 2, {'A', SO, '\xA1', '\xA1', SI}, 5, ALL, 0, 5, 2, 5},
    };
    for (const auto &c : cases) {
      size_t len = c.len, count = c.count;
      size_t r = lxsCntXExc(c.text.data(), &len, &count, c.flags, sets[c.set], &e.glo);
      EXPECT_EQ(r, c.result) << c.what;
      EXPECT_EQ(len, c.result) << c.what;
      EXPECT_EQ(count, c.out_count) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(e.glo.status, 0u) << c.what;
      if (c.count == ALL) {
        EXPECT_EQ(lxsCntExc(c.text.data(), c.len, c.flags, sets[c.set], &e.glo), c.result) << c.what;
        EXPECT_EQ(e.glo.nbytes2, c.out_count) << c.what;
      }
    }
  });
}

// The built-in 16-bit set (cs 1000): big-endian units, no zero unit looked
// for, and an odd address refused.
TEST_F(CntChar, BuiltinUnits) {
  child([](Env &e) {
    Handles h(e);
    lxlangid ucs = h.u16;
    ucs.cs = 1000;
    alignas(2) unsigned char buf[10] = {0x00, 0x41, 0x00, 0x20, 0x00, 0x09, 0x00, 0x00, 0, 0};
    size_t len = 6, count = SIZE_MAX;
    EXPECT_EQ(lxsCntXExc(buf, &len, &count, 0, &ucs, &e.glo), 2u);
    EXPECT_EQ(len, 2u);
    EXPECT_EQ(count, 1u);
    EXPECT_EQ(e.glo.nbytes, 2u);
    len = 6, count = SIZE_MAX;
    EXPECT_EQ(lxsCntXExc(buf, &len, &count, 0x40, &ucs, &e.glo), 6u);
    EXPECT_EQ(count, 3u);
    len = 8, count = 2;  // the limit: two units, the second a blank
    EXPECT_EQ(lxsCntXExc(buf, &len, &count, 0x40, &ucs, &e.glo), 2u);
    len = 1, count = SIZE_MAX;  // no whole unit: untouched
    EXPECT_EQ(lxsCntXExc(buf, &len, &count, 0, &ucs, &e.glo), 0u);
    EXPECT_EQ(len, 1u);
    EXPECT_EQ(count, SIZE_MAX);
    len = 6, count = SIZE_MAX;
    EXPECT_EQ(lxsCntXExc(buf + 1, &len, &count, 0, &ucs, &e.glo), 0u);
    EXPECT_EQ(e.glo.status, 500u);
    EXPECT_EQ(len, 6u);
  });
}
