// Display-width padding: the single-byte table, and a multibyte set with
// double-width characters, pad strings and status 28.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "calinst.h"
#include "lxd.h"

namespace {

using calinst::handle;
using nlstest::Env;
class Lxd : public calinst::Installed {};

struct Pad {
  std::string out;
  size_t written;
  long result;  // offset of the result from the destination, -1 for NULL
  uint32_t status;
};

Pad pad(const lxlangid &h, Env &e, const std::string &src, size_t width, const char *padstr,
        int mode, size_t size = 64) {
  char buf[96];
  memset(buf, '#', sizeof buf);
  char *r = lxdprl(src.data(), src.size(), buf, size, width, padstr, mode, &h, &e.glo);
  EXPECT_EQ(buf[size], '#') << "written past the destination's size";
  return {std::string(buf, e.glo.nbytes2), e.glo.nbytes2, r ? long(r - buf) : -1, e.glo.status};
}

TEST_F(Lxd, SingleByteTable) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.US7ASCII");
    const struct {
      const char *src;
      size_t width;
      const char *pad;
      int mode;
      const char *out;
      long result;
    } cases[] = {
        {"AB", 5, "xy", 1, "ABxyx", 2},   {"AB", 5, "xy", 0, "xyxAB", 0},
        {"ABCDEF", 4, "xy", 1, "ABCD", -1}, {"AB", 4, nullptr, 1, "AB  ", 2},
        {"AB", 4, "", 0x101, "AB  ", 2},  {"AB", 4, nullptr, 2, "  AB", 0},
        {"ABCD", 4, nullptr, 1, "ABCD", -1},
    };
    for (auto c : cases) {
      Pad p = pad(h, e, c.src, c.width, c.pad, c.mode);
      EXPECT_EQ(p.out, c.out) << c.src << " " << c.width;
      EXPECT_EQ(p.written, c.width);
      EXPECT_EQ(p.result, c.result) << c.src << " " << c.width;
      EXPECT_EQ(p.status, 0u);
    }
    // The destination's size is never passed: status 6.
    Pad small = pad(h, e, "AB", 10, "xy", 1, 6);
    EXPECT_EQ(small.status, 6u);
    EXPECT_EQ(small.result, -1);
  });
}

TEST_F(Lxd, DoubleWidthCharacters) {
  child([](Env &e) {
    // JA16EUC pads with a blank.
    lxlangid h = handle(e, "AMERICAN_AMERICA.JA16EUC");
    const std::string kan = "\xB7\xEE";  // a two-column character
    Pad p = pad(h, e, kan, 3, nullptr, 1);
    EXPECT_EQ(p.out, kan + " ");
    EXPECT_EQ(p.result, 2);
    EXPECT_EQ(p.status, 0u);
    // A pad string of two-column characters; the column left takes a blank.
    p = pad(h, e, "A", 4, kan.c_str(), 1);
    EXPECT_EQ(p.out, "A" + kan + " ");
    EXPECT_EQ(p.status, 0u);
    p = pad(h, e, "A", 5, kan.c_str(), 0);
    EXPECT_EQ(p.out, kan + kan + "A");
    EXPECT_EQ(p.result, 0);
    EXPECT_EQ(p.status, 0u);
    // A source wider than the width: the two-column character at the end is
    // dropped and its column padded.
    p = pad(h, e, "AB" + kan, 3, nullptr, 1);
    EXPECT_EQ(p.out, "AB ");
    EXPECT_EQ(p.result, -1);
    EXPECT_EQ(p.status, 0u);
    // Too small a destination: status 6, nothing past it.
    p = pad(h, e, kan + kan, 8, nullptr, 1, 5);
    EXPECT_EQ(p.status, 6u);
    EXPECT_EQ(p.result, -1);
  });
}

TEST_F(Lxd, TwoColumnPadCharacter) {
  child([](Env &e) {
    // ZHT32EUC pads with the ideographic space: an odd count stays one short.
    lxlangid h = handle(e, "AMERICAN_AMERICA.ZHT32EUC");
    const std::string zh = "\xC4\xE3", space = "\xA1\xA1";
    Pad p = pad(h, e, "A", 4, nullptr, 1);
    EXPECT_EQ(p.out, "A" + space);
    EXPECT_EQ(p.status, 28u);
    EXPECT_EQ(p.result, 1);
    p = pad(h, e, "A", 5, zh.c_str(), 0);
    EXPECT_EQ(p.out, zh + zh + "A");
    EXPECT_EQ(p.status, 0u);
    p = pad(h, e, "AB" + zh, 3, nullptr, 1);
    EXPECT_EQ(p.out, "AB");
    EXPECT_EQ(p.status, 28u);
    EXPECT_EQ(p.result, -1);
  });
}

}  // namespace
