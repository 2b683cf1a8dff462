// Bounded copies (lxsCpStr, lxoCpStr) and NUL-terminated copies within a
// destination size (lxscop, lxscat) over the installation of curinst.h.
// Destinations are guarded past their size.
#include <gtest/gtest.h>
#include <string.h>

#include <string>

#include "curinst.h"
#include "lxm.h"
#include "lxo.h"

using namespace curinst;
using nlstest::Env;

namespace {

class Copy : public Installed {};

struct Case {
  const char *what;
  int set;  // 0 latin, 1 euc, 2 shift, 3 al32, 4 u16
  Bytes src;
  size_t srclen;  // SIZE_MAX: the source's size
  size_t dstsize;
  uint32_t flags;
  Bytes want;
  size_t nbytes;
};

bool guarded(const unsigned char *buf, size_t from, size_t size) {
  for (size_t i = from; i < size; ++i)
    if (buf[i] != '#') return false;
  return true;
}

}  // namespace

TEST_F(Copy, CpStr) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32, &h.u16};
    const char SO = char(kSO), SI = char(kSI);
    const uint32_t NUL = 0x10000000, EXACT = 0x20000000;
    const Bytes cjk = "a" + utf8(0x4E00) + "b";
    const Case cases[] = {
        {"utf8 window inside a character", 3, cjk, SIZE_MAX, 3, EXACT, "a", 1},
        {"utf8 window after a character", 3, cjk, SIZE_MAX, 4, EXACT, "a\xE4\xB8\x80", 4},
        {"utf8 four-byte lead cut", 3, "ab" + utf8(0x1F600), SIZE_MAX, 5, EXACT, "ab", 2},
        {"exact room: no terminator", 0, "abc", SIZE_MAX, 3, NUL, "abc", 3},
        {"one more: terminator", 0, "abc", SIZE_MAX, 4, NUL, Bytes("abc\0", 4), 3},
        {"source shorter than room", 0, "abc", 2, 4, NUL, Bytes("ab\0", 3), 2},
        {"NUL ends the copy", 0, Bytes("ab\0cd", 5), SIZE_MAX, 10, NUL, Bytes("ab\0", 3), 3},
        {"exact: NUL ordinary", 0, Bytes("ab\0cd", 5), SIZE_MAX, 10, EXACT, Bytes("ab\0cd", 5), 5},
        {"empty source terminated", 0, "", 0, 4, NUL, Bytes(1, '\0'), 0},
        {"empty source, other flags", 0, "", 0, 4, 0, "", 0},
        {"u16 empty source", 4, "", 0, 4, NUL, Bytes(2, '\0'), 0},
        {"no room", 0, "abc", SIZE_MAX, 0, NUL, "", 0},
        {"u16 odd room", 4, Bytes("\0a\0b", 4), SIZE_MAX, 3, EXACT, Bytes("\0a", 2), 2},
        {"u16 NUL unit", 4, Bytes("\0a\0\0\0b", 6), SIZE_MAX, 10, NUL, Bytes("\0a\0\0", 4), 4},
        {"u16 terminated", 4, Bytes("\0a", 2), SIZE_MAX, 10, NUL, Bytes("\0a\0\0", 4), 2},
        {"euc walk", 1, "a\xA3\xC1\x8F\xB0\xA1", SIZE_MAX, 5, EXACT, "a\xA3\xC1", 3},
        {"euc NUL", 1, Bytes("a\0\xA3\xC1", 4), SIZE_MAX, 10, NUL, Bytes("a\0", 2), 2},
        {"shift ends shifted in", 2, {SO, '\xA3', '\xC1', '\xA3', '\xE1', SI}, SIZE_MAX, 4, EXACT,
         {SO, '\xA3', '\xC1', SI}, 3},
        {"shift whole", 2, {'a', SO, '\xA3', '\xC1', SI, 'b'}, SIZE_MAX, 6, EXACT,
         {'a', SO, '\xA3', '\xC1', SI, 'b'}, 6},
        {"shift: shift-out after the copy consumed", 2, {'a', SO, '\xA3', '\xC1', SI}, SIZE_MAX, 3,
         EXACT, {'a'}, 2},
        {"shift: NUL ends", 2, {'a', 0, 'b'}, SIZE_MAX, 5, NUL, Bytes("a\0", 2), 2},
    };
    for (const auto &c : cases) {
      unsigned char buf[32];
      memset(buf, '#', sizeof buf);
      const size_t srclen = c.srclen == SIZE_MAX ? c.src.size() : c.srclen;
      size_t r = lxsCpStr(buf, c.dstsize, c.src.data(), srclen, c.flags, sets[c.set], &e.glo);
      EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), r), c.want) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(e.glo.status, 0u) << c.what;
      EXPECT_TRUE(guarded(buf, c.dstsize, sizeof buf)) << c.what;
    }
  });
}

TEST_F(Copy, ScopAndScatWithinTheirSize) {
  child([](Env &e) {
    Handles h(e);
    unsigned char buf[16];
    const Bytes cjk = "a" + utf8(0x4E00);
    struct {
      const lxlangid *h;
      Bytes src;
      size_t size;
      Bytes want;
      uint32_t status;
    } cases[] = {
        {&h.al32, cjk, 5, cjk + Bytes(1, '\0'), 0},
        {&h.al32, cjk, 4, Bytes("a\0", 2), 6},  // cut before the character, terminated
        {&h.al32, cjk, 1, Bytes(1, '\0'), 6},
        {&h.al32, cjk, 0, "", 6},
        {&h.u16, Bytes("\0a\0b\0\0", 6), 5, Bytes("\0a\0\0", 4), 6},
        {&h.shift, {char(kSO), '\xA3', '\xC1', '\xA3', '\xE1', char(kSI)}, 6,
         {char(kSO), '\xA3', '\xC1', char(kSI), '\0'}, 6},
    };
    for (auto &c : cases) {
      memset(buf, '#', sizeof buf);
      Bytes src = c.src + Bytes(2, '\0');
      size_t r = lxscop(buf, c.size, src.data(), c.h, &e.glo);
      EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), r), c.want) << c.size;
      EXPECT_EQ(e.glo.status, c.status) << c.size;
      EXPECT_EQ(e.glo.nbytes, r);
      EXPECT_TRUE(guarded(buf, c.size, sizeof buf)) << c.size;
    }
    // appending: the shift bytes at the join go, and the size holds
    char d[8] = {'a', char(kSO), '\xA3', '\xC1', char(kSI), 0, '#', '#'};
    const char s[] = {char(kSO), '\xA3', '\xE1', char(kSI), 0};
    EXPECT_EQ(lxscat(d, 8, s, &h.shift, &e.glo), 4u);
    EXPECT_EQ(Bytes(d, 8), Bytes("a\x0E\xA3\xC1\xA3\xE1\x0F\0", 8));
    EXPECT_EQ(e.glo.nbytes2, 8u);
    EXPECT_EQ(e.glo.status, 0u);
    char d2[6] = {'a', 'b', 0, '#', '#', '#'};
    EXPECT_EQ(lxscat(d2, 4, "cde", &h.latin, &e.glo), 2u);
    EXPECT_EQ(Bytes(d2, 6), Bytes("abc\0##", 6));
    EXPECT_EQ(e.glo.status, 6u);
  });
}

TEST_F(Copy, CursorCopy) {
  child([](Env &e) {
    Handles h(e);
    const lxlangid *sets[] = {&h.latin, &h.euc, &h.shift, &h.al32, &h.u16};
    const char SO = char(kSO), SI = char(kSI);
    const uint32_t NUL = 0x10000000, EXACT = 0x20000000;
    struct {
      const char *what;
      int set;
      Bytes src;
      int src_shifted, dst_shifted;
      size_t dstsize;
      uint32_t flags;
      Bytes want;
      size_t nbytes, ncount, ncount2;
      int src_after, dst_after;
    } cases[] = {
        {"latin NUL stops after it", 0, Bytes("ab\0cd", 5), 0, 0, 10, NUL, Bytes("ab\0", 3), 3, 3, 3, 0, 0},
        {"latin NUL ordinary", 0, Bytes("ab\0cd", 5), 0, 0, 10, 0, Bytes("ab\0cd", 5), 5, 5, 5, 0, 0},
        {"latin room", 0, "abcd", 0, 0, 2, 0, "ab", 2, 2, 2, 0, 0},
        {"u16 units", 4, Bytes("\0a\0\0\0b", 6), 0, 0, 5, NUL, Bytes("\0a\0\0", 4), 4, 2, 2, 0, 0},
        {"shift: shifted-out source into shifted-in destination", 2, {'\xA3', '\xC1'}, 1, 0, 10, 0,
         {SO, '\xA3', '\xC1'}, 2, 1, 1, 1, 1},
        {"shift: leading shift-out stepped", 2, {SO, '\xA3', '\xC1', SI, 'a'}, 0, 0, 10, EXACT,
         {SO, '\xA3', '\xC1', SI, 'a'}, 5, 2, 2, 0, 0},
        {"shift: no room for the shift byte", 2, {'\xA3', '\xC1'}, 1, 0, 2, 0, "", 0, 0, 0, 1, 0},
        {"shift: NUL ends", 2, {'a', 0, 'b'}, 0, 0, 10, 0, Bytes("a\0", 2), 2, 2, 2, 0, 0},
        {"euc walk", 1, "a\xA3\xC1\x8F\xB0\xA1", 0, 0, 5, 0, "a\xA3\xC1", 3, 2, 2, 0, 0},
        {"euc NUL character ends", 1, Bytes("a\0b", 3), 0, 0, 5, 0, Bytes("a\0", 2), 2, 2, 2, 0, 0},
        {"utf8 quick cut", 3, "ab\xE4\xB8\x80", 0, 0, 4, EXACT, "ab", 2, 0, 0, 0, 0},
    };
    for (const auto &c : cases) {
      Bytes src = c.src;
      lxmcur in, out;
      lxmopen(src.data(), src.size(), &in, sets[c.set], &e.glo, 1);
      in.shifted = c.src_shifted;
      unsigned char buf[32];
      memset(buf, '#', sizeof buf);
      lxmopen(buf, c.dstsize, &out, sets[c.set], &e.glo, 1);
      out.shifted = c.dst_shifted;
      size_t r = lxoCpStr(&out, size_t(-1), &in, size_t(-1), c.flags, &e.glo);
      EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), r), c.want) << c.what;
      EXPECT_EQ(size_t(out.pos - out.start), r) << c.what;
      EXPECT_EQ(size_t(in.pos - in.start), c.nbytes) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(e.glo.ncount, c.ncount) << c.what;
      EXPECT_EQ(e.glo.ncount2, c.ncount2) << c.what;
      EXPECT_EQ(in.shifted, c.src_after) << c.what;
      EXPECT_EQ(out.shifted, c.dst_after) << c.what;
      EXPECT_TRUE(guarded(buf, c.dstsize, sizeof buf)) << c.what;
    }
  });
}
