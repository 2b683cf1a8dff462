// Counting bytes of characters and columns at a cursor (lxoCntByte) and
// skipping characters (lxoSkip) over the installation of curinst.h; complete
// characters against a shadow model built on unicodedata's combining classes
// and the jamo ranges.
#include <gtest/gtest.h>

#include <random>
#include <string>
#include <vector>

#include "curinst.h"
#include "lxm.h"
#include "lxo.h"

using namespace curinst;
using nlstest::Env;

namespace {

class Count : public Installed {};

struct CntCase {
  const char *what;
  int set;  // 0 latin, 1 euc, 2 shift, 3 al32, 4 u16, 5 u16 narrow
  Bytes text;
  size_t maxlen, n;
  uint32_t flags;
  size_t bytes, counted;
};

}  // namespace

TEST_F(Count, CntByte) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32, &h.u16, &h.u16narrow};
    const char SO = char(kSO), SI = char(kSI);
    const uint32_t COLS = 0x80000000u, NUL = 0x10000000u;
    const CntCase cases[] = {
        {"latin chars", 0, "abcdef", 100, 4, 0, 4, 4},
        {"latin bound", 0, "abcdef", 3, 4, 0, 3, 3},
        {"latin n 0", 0, "abcdef", 3, 0, 0, 0, 0},
        {"latin zero ends", 0, Bytes("ab\0cd", 5), 100, 4, NUL, 2, 2},
        {"latin zero ordinary", 0, Bytes("ab\0cd", 5), 100, 4, 0, 4, 4},
        {"euc chars", 1, "a\xA3\xC1\x8F\xB0\xA1" "b", 100, 3, 0, 6, 3},
        {"euc bound splits none", 1, "a\xA3\xC1\x8F\xB0\xA1" "b", 5, 3, 0, 3, 2},
        {"euc cut off adds nothing", 1, "a\xA3", 100, 3, 0, 1, 1},
        {"u16 exact: arithmetic", 4, Bytes(20, 'x'), 7, 10, 0x20000000, 6, 3},
        {"u16 units", 4, Bytes("\0a\0b\0c", 6), 100, 2, 0, 4, 2},
        {"u16 zero unit ends", 4, Bytes("\0a\0\0\0c", 6), 100, 3, 0, 2, 1},
        {"shift: steps with shift bytes", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 100, 2, 0, 5, 2},
        {"shift: step past the bound", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 4, 2, 0, 2, 1},
        // display columns
        {"cols: wide character fits", 3, "a\xE4\xB8\x80" "b", 100, 3, COLS, 4, 3},
        {"cols: wide overflows by one", 3, "a\xE4\xB8\x80" "b", 100, 2, COLS, 1, 1},
        {"cols: byte limit", 3, "a\xE4\xB8\x80" "b", 3, 10, COLS, 1, 1},
        {"cols: maxlen 0", 3, "abc", 0, 10, COLS, 0, 0},
        {"cols: zero taken and ends", 3, Bytes("ab\0cd", 5), 100, 10, COLS | NUL, 3, 2},
        {"cols: zero is width 0", 3, Bytes("ab\0cd", 5), 100, 10, COLS, 5, 4},
        {"cols: euc", 1, "\xA3\xC1\x8E\xB1" "a", 100, 3, COLS, 4, 3},
        {"cols: ambiguous wide lang", 4, Bytes("\0\xA1\0a", 4), 100, 2, COLS, 2, 2},
        {"cols: ambiguous narrow lang", 5, Bytes("\0\xA1\0a", 4), 100, 2, COLS, 4, 2},
        {"cols: shift bytes count", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 100, 3, COLS | NUL | 0x80, 2, 2},
        {"cols: shift", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 100, 3, COLS, 5, 3},
    };
    for (const auto &c : cases) {
      Bytes t = c.text;
      lxmcur cur;
      lxmopen(t.data(), t.size(), &cur, sets[c.set], &e.glo, 1);
      const lxmcur before = cur;
      e.glo.status = 9;
      EXPECT_EQ(lxoCntByte(&cur, c.maxlen, c.n, c.flags, &e.glo), c.bytes) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.bytes) << c.what;
      EXPECT_EQ(e.glo.nbytes2, c.counted) << c.what;
      EXPECT_EQ(e.glo.status, 0u) << c.what;
      EXPECT_EQ(cur.pos, before.pos) << c.what;
      EXPECT_EQ(cur.shifted, before.shifted) << c.what;
    }
  });
}

namespace {

struct SkipCase {
  const char *what;
  int set;
  Bytes text;
  size_t n;
  uint32_t flags;
  size_t moved;
  uint32_t status;
};

}  // namespace

TEST_F(Count, Skip) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32, &h.u16, &h.utf8};
    const Bytes pair = Bytes("\xD8\x00\xDC\x00", 4);
    const Bytes lv = utf16(0x1100) + utf16(0x1161) + utf16(0x0301);
    const Bytes lv8 = utf8(0x1100) + utf8(0x1161) + utf8(0x0301);
    const char SO = char(kSO), SI = char(kSI);
    const SkipCase cases[] = {
        {"u16 budget before a pair", 4, pair, 2, 0, 0, 0},
        {"u16 budget takes a pair", 4, pair, 4, 0, 4, 0},
        {"u16 code point", 4, pair, 1, 0x2000, 4, 0},
        {"u16 unit", 4, pair, 1, 0x1000, 2, 0},
        {"u16 units: fewer", 4, pair, 3, 0x8000, 0, 14},
        {"u16 whole: jamo and mark", 4, lv + utf16('a'), 1, 0x4000, 6, 0},
        {"u16 whole: two", 4, lv + utf16('a'), 2, 0x4000, 8, 0},
        {"u16 whole: lone high last", 4, utf16('a') + Bytes("\xD8\x00", 2), 2, 0x4000, 2, 0},
        {"u16 lone high before more", 4, Bytes("\xD8\x00", 2), 2, 0x2000, 0, 14},
        {"u16 trailing jamo runs", 4, utf16(0x11A8) + utf16(0x11A9) + utf16(0x1161), 2, 0x4000, 6, 0},
        {"u16 zero ends", 4, utf16('a') + Bytes(2, '\0') + utf16('b'), 2, 0x2000 | 0x10000000, 0, 14},
        {"utf8 whole: jamo and mark", 5, lv8 + "a", 1, 0x4000, 8, 0},
        {"al32 whole: base and marks", 3, "e\xCC\x81\xCC\xA3x", 1, 0x4000, 5, 0},
        {"al32 whole: mark alone counts", 3, "\xCC\x81x", 2, 0x4000, 3, 0},
        {"utf8 coded pair once", 5, "\xED\xA0\x80\xED\xB0\x80" "a", 1, 0x2000, 6, 0},
        {"utf8 coded pair as units", 5, "\xED\xA0\x80\xED\xB0\x80" "a", 1, 0x1000, 3, 0},
        {"euc count", 1, "a\xA3\xC1\x8F\xB0\xA1", 3, 0x1000, 6, 0},
        {"euc count: fewer", 1, "a\xA3\xC1\x8F\xB0", 3, 0x1000, 0, 14},
        {"euc budget", 1, "a\xA3\xC1\x8F\xB0\xA1", 5, 0, 3, 0},
        {"latin count", 0, "abc", 3, 0x1000, 3, 0},
        {"latin count: fewer", 0, "abc", 4, 0x1000, 0, 14},
        {"shift count", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 2, 0x1000, 5, 0},
        {"shift budget", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 3, 0, 2, 0},
        {"shift budget: whole", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 4, 0, 5, 0},
    };
    for (const auto &c : cases) {
      Bytes t = c.text;
      lxmcur cur;
      lxmopen(t.data(), t.size(), &cur, sets[c.set], &e.glo, 1);
      e.glo.nbytes = 77;
      size_t r = lxoSkip(&cur, c.n, c.flags, &e.glo);
      EXPECT_EQ(r, c.moved) << c.what;
      EXPECT_EQ(e.glo.status, c.status) << c.what;
      EXPECT_EQ(size_t(cur.pos - cur.start), c.moved) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.status ? 77u : c.moved) << c.what;
    }
  });
}

namespace {

// Shadow model of complete characters over code points.
int jamo_kind(uint32_t cp) {
  if (cp >= 0x1100 && cp <= 0x115F) return 1;
  if (cp >= 0x1160 && cp <= 0x11A2) return 2;
  if (cp >= 0x11A8 && cp <= 0x11F9) return 3;
  return 0;
}
bool is_mark(uint32_t cp) {
  const UcdChar *u = ucd(cp);
  return u && u->ccc > 0;
}
// Code-point index where each complete character ends.
std::vector<size_t> whole_ends(const std::vector<uint32_t> &cps) {
  std::vector<size_t> ends;
  size_t i = 0;
  while (i < cps.size()) {
    int first = jamo_kind(cps[i]), last = first;
    ++i;
    if (first)
      while (i < cps.size() && jamo_kind(cps[i]) &&
             (first == 1 || (last == 2 && jamo_kind(cps[i]) >= 2) || (last == 3 && jamo_kind(cps[i]) == 3))) {
        if (first != 1) last = jamo_kind(cps[i]);
        ++i;
      }
    while (i < cps.size() && is_mark(cps[i])) ++i;
    ends.push_back(i);
  }
  return ends;
}

}  // namespace

// Random texts of jamo, marks, letters, ideographs and emoji: skipping n
// complete characters lands where the shadow model says, in AL16UTF16 and
// AL32UTF8.
TEST_F(Count, WholeCharactersAgainstShadowModel) {
  child([](Env &e) {
    Handles h(e);
    const uint32_t pool[] = {'a', 'Z', 0x1100, 0x1112, 0x1161, 0x1175, 0x11A8, 0x11C2, 0x0301, 0x0323,
                             0x0345, 0x3099, 0x4E00, 0xAC00, 0x1F600, 0x20001, 0x00E9};
    std::mt19937 rng(21);
    for (int round = 0; round < 300; ++round) {
      std::vector<uint32_t> cps(rng() % 12);
      for (auto &c : cps) c = pool[rng() % (sizeof pool / sizeof pool[0])];
      const std::vector<size_t> ends = whole_ends(cps);
      for (bool u16 : {true, false}) {
        Bytes t;
        std::vector<size_t> offset = {0};
        for (uint32_t c : cps) {
          t += u16 ? utf16(c) : utf8(c);
          offset.push_back(t.size());
        }
        for (size_t n = 0; n <= ends.size() + 1; ++n) {
          lxmcur cur;
          lxmopen(t.data(), t.size(), &cur, u16 ? &h.u16 : &h.al32, &e.glo, 1);
          size_t r = lxoSkip(&cur, n, 0x4000, &e.glo);
          if (n > ends.size()) {
            EXPECT_EQ(e.glo.status, 14u);
          } else {
            EXPECT_EQ(e.glo.status, 0u);
            EXPECT_EQ(r, n ? offset[ends[n - 1]] : 0) << "round " << round << " n " << n << " u16 " << u16;
          }
        }
      }
    }
  });
}
