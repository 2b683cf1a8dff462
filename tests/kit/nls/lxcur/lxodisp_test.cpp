// Display widths (lxsCntDisp), copies limited by columns (lxoCpDisp) and
// padding into a field (lxoPadStr) over the installation of curinst.h;
// widths of UTF-8 texts against glibc's wcwidth in C.UTF-8.
#include <gtest/gtest.h>
#include <locale.h>
#include <string.h>
#include <wchar.h>

#include <random>
#include <string>
#include <vector>

#include "curinst.h"
#include "lxm.h"
#include "lxo.h"

using namespace curinst;
using nlstest::Env;

namespace {

class Disp : public Installed {};

bool guarded(const unsigned char *buf, size_t from, size_t size) {
  for (size_t i = from; i < size; ++i)
    if (buf[i] != '#') return false;
  return true;
}

}  // namespace

TEST_F(Disp, CntDisp) {
  child([](Env &e) {
    Handles h(e);
    const char SO = char(kSO), SI = char(kSI);
    const uint32_t NUL = 0x10000000, EXACT = 0x20000000;
    struct {
      const char *what;
      const lxlangid *h;
      Bytes text;
      uint32_t flags;
      size_t cols, nbytes;
    } cases[] = {
        {"latin NUL stops", &h.latin, Bytes("ab\0cd", 5), NUL, 2, 3},
        {"latin NUL no column", &h.latin, Bytes("ab\0cd", 5), EXACT, 4, 5},
        {"al32 wide", &h.al32, "a" + utf8(0x4E00) + utf8(0xFF21), NUL, 5, 7},
        {"al32 ambiguous is narrow", &h.al32, utf8(0x00A1), NUL, 1, 2},
        {"al32 cut off", &h.al32, "a\xE4\xB8", NUL, 1, 1},
        {"u16 ambiguous, wide language", &h.u16, utf16(0x00A1) + utf16('a'), NUL, 3, 4},
        {"u16 ambiguous, narrow language", &h.u16narrow, utf16(0x00A1) + utf16('a'), NUL, 2, 4},
        {"u16 pair", &h.u16, utf16(0x1F600), NUL, 2, 4},
        {"u16 NUL taken", &h.u16, utf16('a') + Bytes(2, '\0') + utf16('b'), NUL, 1, 4},
        {"u16 NUL no column", &h.u16, utf16('a') + Bytes(2, '\0') + utf16('b'), EXACT, 2, 6},
        {"euc", &h.euc, "a\xA3\xC1\x8E\xB1\x8F\xB0\xA1", NUL, 6, 8},
        {"euc NUL", &h.euc, Bytes("a\0\xA3\xC1", 4), NUL, 1, 2},
        {"shift", &h.shift, {'a', SO, '\xA3', '\xC1', SI, 'b'}, NUL, 4, 6},
        {"shift bytes as columns", &h.shift, {SO, '\xA3', '\xC1', SI, 'b'}, NUL | 0x80, 5, 5},
        {"shift without flags: leading shift bytes only", &h.shift, {SO, '\xA3', '\xC1'}, 0x80, 1, 1},
    };
    for (const auto &c : cases) {
      e.glo.status = 9;
      EXPECT_EQ(lxsCntDisp(c.text.data(), c.text.size(), c.flags, c.h, &e.glo), c.cols) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(e.glo.status, 0u) << c.what;
    }
  });
}

// Texts of narrow and wide characters without ambiguous, combining or
// control characters: the width wcwidth gives them.
TEST_F(Disp, Utf8AgainstWcwidth) {
  child([](Env &e) {
    ASSERT_NE(setlocale(LC_CTYPE, "C.UTF-8"), nullptr);
    Handles h(e);
    std::vector<uint32_t> pool;
    for (uint32_t c = 0x20; c < 0x7F; ++c) pool.push_back(c);
    for (const auto &u : kUcd) {
      const bool safe = (u.cp >= 0x4E00 && u.cp <= 0x4FFF) || (u.cp >= 0xAC00 && u.cp <= 0xACFF) ||
                        (u.cp >= 0x3041 && u.cp <= 0x3096) || (u.cp >= 0xFF01 && u.cp <= 0xFF9F) ||
                        (u.cp >= 0x1F600 && u.cp <= 0x1F64F);
      if (safe && u.assigned && u.eaw != 3 && u.ccc == 0) pool.push_back(u.cp);
    }
    std::mt19937 rng(117);
    for (int round = 0; round < 300; ++round) {
      Bytes t;
      int want = 0;
      for (size_t k = rng() % 16; k > 0; --k) {
        const uint32_t cp = pool[rng() % pool.size()];
        t += utf8(cp);
        want += wcwidth(wchar_t(cp));
      }
      const Bytes z = t + Bytes(1, '\0');
      EXPECT_EQ(lxsCntDisp(z.data(), size_t(-1), 0x10000000, &h.al32, &e.glo), size_t(want)) << round;
      EXPECT_EQ(e.glo.nbytes, z.size()) << round;
    }
  });
}

TEST_F(Disp, CpDisp) {
  child([](Env &e) {
    Handles h(e);
    const char SO = char(kSO), SI = char(kSI);
    const uint32_t NUL = 0x10000000, EXACT = 0x20000000;
    const Bytes cjk = "a" + utf8(0x4E00) + "b";
    struct {
      const char *what;
      const lxlangid *h;
      Bytes src;
      size_t dstsize, cols;
      uint32_t flags;
      Bytes want;
      size_t nbytes;
      int dst_shifted;
    } cases[] = {
        {"wide character over by one column", &h.al32, cjk, 10, 2, NUL, "a", 1, 0},
        {"wide character fits", &h.al32, cjk, 10, 3, NUL, "a\xE4\xB8\x80", 4, 0},
        {"wide character over the room", &h.al32, cjk, 3, 10, NUL, "a", 1, 0},
        {"NUL ends", &h.al32, Bytes("a\0b", 3), 10, 10, NUL, "a", 1, 0},
        {"NUL copied", &h.al32, Bytes("a\0b", 3), 10, 10, EXACT, Bytes("a\0b", 3), 3, 0},
        {"latin columns", &h.latin, "abcdef", 10, 4, NUL, "abcd", 4, 0},
        {"latin NUL copied free", &h.latin, Bytes("a\0bc", 4), 10, 2, EXACT, Bytes("a\0b", 3), 3, 0},
        {"u16 ambiguous wide", &h.u16, utf16(0xA1) + utf16('a'), 10, 2, NUL, utf16(0xA1), 2, 0},
        {"u16 ambiguous narrow", &h.u16narrow, utf16(0xA1) + utf16('a'), 10, 2, NUL,
         utf16(0xA1) + utf16('a'), 4, 0},
        {"u16 pair whole", &h.u16, utf16(0x1F600), 3, 10, NUL, "", 0, 0},
        {"euc", &h.euc, "\xA3\xC1\x8E\xB1" "a", 10, 3, NUL, "\xA3\xC1\x8E\xB1", 4, 0},
        {"shift", &h.shift, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 10, 3, NUL, {'a', SO, '\xA3', '\xC1'}, 5, 1},
        {"shift bytes cost columns", &h.shift, {'a', SO, '\xA3', '\xC1', SI, 'b'}, 10, 3, NUL | 0x80,
         {'a'}, 2, 0},
    };
    for (const auto &c : cases) {
      Bytes src = c.src;
      lxmcur in, out;
      lxmopen(src.data(), src.size(), &in, c.h, &e.glo, 1);
      unsigned char buf[32];
      memset(buf, '#', sizeof buf);
      lxmopen(buf, sizeof buf, &out, c.h, &e.glo, 1);
      size_t r = lxoCpDisp(&out, c.dstsize, &in, size_t(-1), c.cols, c.flags, &e.glo);
      EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), r), c.want) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(size_t(in.pos - in.start), c.nbytes) << c.what;
      EXPECT_EQ(out.shifted, c.dst_shifted) << c.what;
      EXPECT_TRUE(guarded(buf, r, sizeof buf)) << c.what;
    }
  });
}

TEST_F(Disp, PadStr) {
  child([](Env &e) {
    Handles h(e);
    const char SO = char(kSO), SI = char(kSI);
    struct {
      const char *what;
      const lxlangid *h;
      Bytes src;
      size_t srclen, room, width;
      uint32_t flags;
      Bytes want;
      size_t result, nbytes, nbytes2;
      uint32_t status;
    } cases[] = {
        {"pads", &h.latin, "ab", 2, 16, 5, 0, "ab...", 5, 2, 5, 0},
        {"exactly the width: no pad", &h.latin, "abcde", 5, 16, 5, 0, "abcde", 5, 5, 0, 0},
        {"one byte longer", &h.latin, "abcdef", 6, 16, 5, 0, "", 0, 0, 0, 6},
        {"room smaller than width", &h.latin, "ab", 2, 4, 5, 0, "ab..", 5, 2, 5, 0},
        {"to its NUL", &h.latin, Bytes("ab\0", 3), SIZE_MAX, 16, 4, 0, "ab..", 4, 3, 4, 0},
        {"NULs inside the length are text", &h.latin, Bytes("ab\0z", 4), 4, 16, 5, 0, Bytes("ab\0z.", 5), 5, 4, 5, 0},
        {"u16 pad unit", &h.u16, utf16('a'), 2, 16, 6, 0, utf16('a') + Bytes("\x20\x2E\x20\x2E"), 6, 2, 6, 0},
        {"u16 width in characters", &h.u16, utf16('a'), 2, 16, 2, 0x40000000, utf16('a') + Bytes("\x20\x2E"), 4, 2, 4, 0},
        {"shift: closing shift-in fits", &h.shift, {SO, '\xA3', '\xC1'}, 3, 16, 5, 0,
         {SO, '\xA3', '\xC1', SI, '.'}, 5, 3, 5, 0},
        {"shift: closing shift-in counted", &h.shift, {SO, '\xA3', '\xC1'}, 3, 16, 3, 0, "", 0, 0, 0, 6},
        {"shift: final shift-in not counted", &h.shift, {SO, '\xA3', '\xC1', SI}, 4, 16, 4, 0,
         {SO, '\xA3', '\xC1', SI}, 4, 3, 0, 0},
    };
    for (const auto &c : cases) {
      Bytes src = c.src;
      lxmcur in, out;
      lxmopen(src.data(), src.size(), &in, c.h, &e.glo, 1);
      unsigned char buf[32];
      memset(buf, '#', sizeof buf);
      lxmopen(buf, c.room, &out, c.h, &e.glo, 1);
      e.glo.nbytes2 = 0;
      const uint32_t pad = c.h == &h.u16 ? 0x202E : '.';
      size_t r = lxoPadStr(&out, &in, c.srclen, pad, c.width, c.flags, &e.glo);
      EXPECT_EQ(r, c.result) << c.what;
      EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), size_t(out.pos - out.start)), c.want) << c.what;
      EXPECT_EQ(e.glo.nbytes, c.nbytes) << c.what;
      EXPECT_EQ(e.glo.nbytes2, c.nbytes2) << c.what;
      EXPECT_EQ(e.glo.status, c.status) << c.what;
      EXPECT_EQ(out.shifted, 0) << c.what;
      EXPECT_TRUE(guarded(buf, c.want.size(), sizeof buf)) << c.what;
    }
    // the text already in the destination
    unsigned char buf[16];
    memset(buf, '#', sizeof buf);
    lxmcur out;
    lxmopen(buf, 8, &out, &h.latin, &e.glo, 1);
    memcpy(buf, "ab", 2);
    out.pos += 2;
    EXPECT_EQ(lxoPadStr(&out, nullptr, 0, '-', 5, 0, &e.glo), 5u);
    EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), 6), "ab---#");
    EXPECT_EQ(lxoPadStr(&out, nullptr, 1, '+', 3, 0, &e.glo), 3u);
    EXPECT_EQ(Bytes(reinterpret_cast<char *>(buf), 9), "ab---+++#");
    EXPECT_EQ(lxoPadStr(&out, nullptr, 1, '+', 3, 0, &e.glo), 0u);  // past the room
    EXPECT_EQ(e.glo.status, 6u);
    EXPECT_EQ(lxoPadStr(&out, nullptr, 0, '+', 3, 0, &e.glo), 0u);  // longer than the width
    EXPECT_EQ(e.glo.status, 6u);
    // the same cursor as source and destination: stepped over in place
    char t[8] = {'x', 'y', 0, '#', '#', '#', '#', '#'};
    lxmopen(t, 6, &out, &h.latin, &e.glo, 1);
    EXPECT_EQ(lxoPadStr(&out, &out, SIZE_MAX, '*', 5, 0, &e.glo), 5u);
    EXPECT_EQ(Bytes(t, 7), "xy***##");
  });
}
