// NUMBER default text: the examples and edge cases without a language
// handle, then in ASCII, EBCDIC and AL16UTF16 handles of a written NLS
// installation (each in a child), and the NLS helpers of the formatter.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "lnx.h"
#include "lnx_check.h"
#include "lxh.h"
#include "nlsfix.h"

using namespace lnxtest;
using nlsfix::Installed;
using nlstest::Env;

namespace {

// The text of a NUMBER given by its digits in a field; blanks shown as '_'.
std::string text(const std::string &body, int width, int pad = 1, const lxlangid *lang = nullptr,
                 lxglo *glo = nullptr, int *reported = nullptr) {
  Bytes b = unhex(body);
  unsigned char buf[300];
  std::memset(buf, '@', sizeof buf);
  int len = -7;
  lnxnucoptg(b.data(), b.size(), buf, width, lang, &len, pad, glo);
  for (size_t i = std::abs(width); i < sizeof buf; ++i)
    EXPECT_EQ(buf[i], '@') << "written past the field";
  if (reported) *reported = len;
  if (len < 0) return "(none)";
  std::string s(reinterpret_cast<char *>(buf), len);
  for (char &c : s)
    if (c == ' ') c = '_';
  return s;
}

std::string enc(int e, std::initializer_list<int> digits, bool neg = false) {
  Bytes b{static_cast<uint8_t>(neg ? 62 - e : 193 + e)};
  for (int d : digits) b.push_back(static_cast<uint8_t>(neg ? 101 - d : d + 1));
  if (neg && digits.size() < 20) b.push_back(102);
  return hex(b);
}

TEST(LnxText, Examples) {
  std::string two100 = "d0021b4d333d031d175f0232440415364d";  // 2^100
  struct {
    const char *what;
    std::string n;
    int width, pad;
    std::string want;
  } cases[] = {
      {"1", "c102", 10, 1, "_________1"},
      {"-0.5", enc(-1, {50}, true), 10, 1, "_______-.5"},
      {"3.14159 w5", enc(0, {3, 14, 15, 90}), 5, 1, "3.142"},
      {"3.14159 w3", enc(0, {3, 14, 15, 90}), 3, 1, "3.1"},
      {"-3.14159 w3", enc(0, {3, 14, 15, 90}, true), 3, 1, "_-3"},
      {"123456 w5", enc(2, {12, 34, 56}), 5, 1, "#####"},
      {"99999.5 w5", enc(2, {9, 99, 99, 50}), 5, 1, "#####"},
      {"1.23e-7", enc(-4, {12, 30}), 10, 1, ".000000123"},
      {"1e-40 w10", enc(-20, {1}), 10, 1, "1.0000E-40"},
      {"1e-40 w7", enc(-20, {1}), 7, 1, "1.0E-40"},
      {"1e-40 w6", enc(-20, {1}), 6, 1, "_____0"},
      {"1 w-10", "c102", -10, 1, "1.0000E+00"},
      {"-1 w-10", "3e6466", -10, 1, "-1.000E+00"},
      {"2^100 w40", two100, 40, 1, "_________1267650600228229401496703205376"},
      {"1e-130 w-12", "8002", -12, 1, "1.00000E-130"},
      {"0 w-10 unpadded", "80", -10, 0, "0E+00"},
      {"0 w-4", "80", -4, 1, "####"},
      {"1 w-6", "c102", -6, 1, "######"},
      {"-1 w-7", "3e6466", -7, 1, "#######"},
      {"-1 w-8", "3e6466", -8, 1, "-1.0E+00"},
      {"0.95 w1", enc(-1, {95}), 1, 1, "1"},
      {"9.6 w1", enc(0, {9, 60}), 1, 1, "#"},
      {"9.4 w1", enc(0, {9, 40}), 1, 1, "9"},
      {"-9.4 w2", enc(0, {9, 40}, true), 2, 1, "-9"},
      {"+inf", "ff65", 3, 1, "__~"},
      {"-inf", "00", 3, 0, "-~"},
      {"-inf w1", "00", 1, 1, "#"},
      {"1 unpadded", "c102", 10, 0, "1"},
      {"0", "80", 4, 1, "___0"},
  };
  for (auto &c : cases) EXPECT_EQ(text(c.n, c.width, c.pad), c.want) << c.what;
  int len = -7;
  EXPECT_EQ(text("c102", 0, 1, nullptr, nullptr, &len), "(none)") << "width 0 writes nothing";
  EXPECT_EQ(len, -7);
  EXPECT_EQ(text("c102", 10, 1, nullptr, nullptr, &len), "_________1");
  EXPECT_EQ(len, 10);
  EXPECT_EQ(text("c102", 10, 0, nullptr, nullptr, &len), "1");
  EXPECT_EQ(len, 1);
}

TEST(LnxText, ThirtyNineDigitsInAFieldOf45) {
  // 12345678901234567890123456789012345678.9
  EXPECT_EQ(text("d30d23394f5b0d23394f5b0d23394f5b0d23394f5b", 45),
            "_____12345678901234567890123456789012345678.9");
}

TEST(LnxText, PublicWrappers) {
  unsigned char buf[16];
  std::memset(buf, '@', sizeof buf);
  lnxnuc(lnxqpos1, 0, buf, 4, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 5), "   1@");
  lnxnucg(lnxqneg1, 0, buf, 4, nullptr, nullptr);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 5), "  -1@");
  int len = 0;
  lnxnucopt(lnxqten, 0, buf, 4, nullptr, &len, 0);
  EXPECT_EQ(len, 2);
  EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), 2), "10");
}

class LnxNls : public Installed {};

TEST_F(LnxNls, AsciiAndEbcdicHandles) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    h.numchars[0] = ',';
    std::string pi = enc(0, {3, 14, 15, 90});
    EXPECT_EQ(text(pi, 6, 1, &h, &e.glo), "3,1416");
    EXPECT_EQ(text(pi, 8, 1, &h, &e.glo), "_3,14159");
    lxlangid ebc = h;
    ebc.flags &= ~LXH_F_ASCII;
    ebc.numchars[0] = 0x4B;
    Bytes b = unhex(enc(0, {3, 14, 15, 90}, true));
    unsigned char buf[8];
    int len = 0;
    lnxnucoptg(b.data(), b.size(), buf, 6, &ebc, &len, 1, &e.glo);
    const unsigned char want[] = {0x60, 0xF3, 0x4B, 0xF1, 0xF4, 0xF2};  // -3.142
    EXPECT_EQ(len, 6);
    EXPECT_EQ(std::memcmp(buf, want, 6), 0);
    lnxnucoptg(lnxqzero, 0, buf, 3, &ebc, &len, 1, &e.glo);
    EXPECT_EQ(buf[0], 0x40);  // EBCDIC blank
    EXPECT_EQ(buf[2], 0xF0);
    lnxnucoptg(lnxqzero, 0, buf, -3, &ebc, &len, 1, &e.glo);
    EXPECT_EQ(buf[0], 0x7B);  // EBCDIC '#'
    // A handle without an environment gives the '#' fill.
    EXPECT_EQ(text(pi, 4, 1, &h, nullptr), "####");
    // lnxnucopt takes the handle's own environment.
    lnxnucopt(b.data(), b.size(), buf, 6, &h, &len, 0);
    EXPECT_EQ(std::string(reinterpret_cast<char *>(buf), len), "-3,142");
  });
}

TEST_F(LnxNls, Al16Utf16Handle) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.AL16UTF16");
    ASSERT_TRUE(h.flags & LXH_F_AL16UTF16);
    unsigned char buf[400];
    std::memset(buf, '@', sizeof buf);
    int len = 0;
    Bytes pi = unhex(enc(0, {3, 14, 15, 90}));
    lnxnucoptg(pi.data(), pi.size(), buf, 12, &h, &len, 1, &e.glo);
    const unsigned char want[] = {0, '3', 0, '.', 0, '1', 0, '4', 0, '1', 0, '6'};
    ASSERT_EQ(len, 12);
    EXPECT_EQ(std::memcmp(buf, want, 12), 0);
    EXPECT_EQ(buf[12], '@');
    // Unpadded: twice the characters written.
    lnxnucoptg(lnxqten, 0, buf, 12, &h, &len, 0, &e.glo);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(buf[1], '1');
    EXPECT_EQ(buf[3], '0');
    // A field wider than the private buffer: '#' over the field, never past it.
    std::memset(buf, '@', sizeof buf);
    lnxnucoptg(pi.data(), pi.size(), buf, 300, &h, &len, 1, &e.glo);
    EXPECT_EQ(len, 300);
    for (int i = 0; i < 300; i += 2) ASSERT_TRUE(buf[i] == 0 && buf[i + 1] == '#') << i;
    EXPECT_EQ(buf[300], '@');
    // An odd width uses whole characters only.
    std::memset(buf, '@', sizeof buf);
    lnxnucoptg(lnxqpos1, 0, buf, 5, &h, &len, 1, &e.glo);
    EXPECT_EQ(len, 4);
    EXPECT_EQ(buf[4], '@');
  });
}

TEST_F(LnxNls, Helpers) {
  child([](Env &e) {
    lxlangid h = nlsfix::handle(e, "AMERICAN_AMERICA.US7ASCII");
    const lxcsobj *utf8 = lxhchtoid("utf8", 4, &e.glo);
    ASSERT_NE(utf8, nullptr);
    char buf[8];
    size_t len = 99;
    EXPECT_EQ(LnxqBufConv(&h, "abc", 3, utf8, buf, 5, &len), 0);
    EXPECT_EQ(len, 3u);
    EXPECT_EQ(std::memcmp(buf, "abc\0\0", 5), 0);
    len = 99;
    EXPECT_EQ(LnxqBufConv(&h, "abc", 3, utf8, buf, 4, &len), -13);
    EXPECT_EQ(len, 99u);
    lxlangid nocs = h;
    nocs.cs = 0;
    EXPECT_EQ(LnxqBufConv(&nocs, "abc", 3, utf8, buf, 8, &len), -7);
    // A text cut short for want of room fails too.
    char small[4];
    EXPECT_EQ(LnxqBufConv(&h, "abcdef", 6, utf8, small, sizeof small, &len), -13);

    lxlangid copy;
    const lxlangid *u = LnxqLid2Utf(&h, &copy, &e.glo);
    EXPECT_EQ(u, &copy);
    EXPECT_EQ(copy.cs, nlsfix::UTF8);
    EXPECT_EQ(h.cs, nlsfix::US7ASCII);

    lxlobj *global = nullptr;
    lxglo fresh;
    uint32_t status = 77;
    EXPECT_EQ(slnxGetGloPtr(&global, &h, &fresh, &status), &fresh);
    EXPECT_NE(global, nullptr);
    EXPECT_EQ(status, 0u);
  });
}

}  // namespace
