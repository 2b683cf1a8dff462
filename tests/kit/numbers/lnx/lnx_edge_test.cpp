// The edge cases of each NUMBER operation, as tables.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <limits>
#include <string>

#include "lnx.h"
#include "lnx_check.h"

using namespace lnxtest;

namespace {

std::string bin(void (*fn)(const lnx_number *, size_t, const lnx_number *, size_t, lnx_number *,
                           size_t *),
                const std::string &a, const std::string &b) {
  Bytes x = unhex(a), y = unhex(b);
  return run_all(x, [&](const lnx_number *p, size_t pl, lnx_number *r, size_t *rl) {
    fn(p, pl, y.data(), y.size(), r, rl);
  });
}

// A positive body: exponent e and digits.
std::string num(int e, std::initializer_list<int> digits, bool neg = false) {
  Bytes b;
  if (!neg) {
    b.push_back(static_cast<uint8_t>(193 + e));
    for (int d : digits) b.push_back(static_cast<uint8_t>(d + 1));
  } else {
    b.push_back(static_cast<uint8_t>(62 - e));
    for (int d : digits) b.push_back(static_cast<uint8_t>(101 - d));
    if (digits.size() < 20) b.push_back(102);
  }
  return hex(b);
}
std::string one_and(int last, int pos, bool neg = false) {  // 1 + last * 100^-pos
  Bytes b;
  b.push_back(static_cast<uint8_t>(neg ? 62 : 193));
  b.push_back(neg ? 100 : 2);
  for (int i = 1; i < pos; ++i) b.push_back(neg ? 101 : 1);
  b.push_back(static_cast<uint8_t>(neg ? 101 - last : last + 1));
  if (neg && pos < 19) b.push_back(102);
  return hex(b);
}

std::string largest() {  // 9.99...9e125, twenty digits of 99
  std::string s = "ff";
  for (int i = 0; i < 20; ++i) s += "64";
  return s;
}

TEST(LnxCheck, AcceptsAndRejects) {
  std::string neg20 = "3e";
  for (int i = 0; i < 20; ++i) neg20 += "64";
  std::string neg19t = "3e";
  for (int i = 0; i < 19; ++i) neg19t += "64";
  neg19t += "66";
  std::string pos22 = "c1";
  for (int i = 0; i < 21; ++i) pos22 += "02";
  struct {
    std::string body;
    int ok;
  } cases[] = {
      {"80", 1}, {"ff65", 1}, {"00", 1}, {"c102", 1}, {"3e6466", 1}, {neg20, 1}, {neg19t, 1},
      {"8002", 1}, {"c101", 0}, {"c10201", 0}, {"3e64", 0}, {"3e646666", 0}, {"7f6566", 0},
      {"c1", 0}, {"ff6502", 0}, {pos22, 0}, {"c165", 0}, {"c166", 0}, {"3e6566", 0},
  };
  for (auto &c : cases) {
    Bytes b = unhex(c.body);
    EXPECT_EQ(lnxchk(b.data(), b.size()), c.ok) << c.body;
    Bytes p{static_cast<uint8_t>(b.size())};
    p.insert(p.end(), b.begin(), b.end());
    if (p[0] == b.size()) {
      EXPECT_EQ(lnxchk(p.data(), 0), c.ok) << "prefixed " << c.body;
    }
  }
  EXPECT_EQ(lnxchk(nullptr, 2), 0);
  uint8_t zero_len[] = {0, 0x80};
  EXPECT_EQ(lnxchk(zero_len, 0), 0);
}

TEST(LnxCheck, SignAndCopy) {
  uint8_t pinf[] = {0xFF, 0x65}, ninf[] = {0x00}, zero[] = {0x01, 0x80}, m1[] = {0x3E, 0x64, 0x66};
  EXPECT_EQ(lnxsgn(pinf, 2), 1);
  EXPECT_EQ(lnxsgn(ninf, 1), -1);
  EXPECT_EQ(lnxsgn(zero, 0), 0);
  EXPECT_EQ(lnxsgn(m1, 3), -1);
  // The smallest magnitudes as the operations make them: the exponent byte
  // of 1e-130 is zero's, but only the one-byte body is zero.
  for (double v : {1e-130, -1e-130}) {
    uint8_t r[LNX_MAXPREFIXED];
    lnxren(&v, sizeof v, r, nullptr);
    ASSERT_TRUE(lnxchk(r, 0));
    EXPECT_EQ(hex(r + 1, r[0]), v > 0 ? "8002" : "7f6466");
    EXPECT_EQ(lnxsgn(r, 0), v > 0 ? 1 : -1) << v;
    size_t rl = 0;
    lnxcopy(r, 0, r, &rl);
    EXPECT_EQ(lnxsgn(r, rl), v > 0 ? 1 : -1) << v;
  }
  Bytes two = unhex("8003"), one = unhex("8002");  // 2e-130 and 1e-130
  uint8_t d[LNX_MAXPREFIXED];
  size_t dl = 0;
  lnxsub(two.data(), two.size(), one.data(), one.size(), d, &dl);
  EXPECT_EQ(hex(d, dl), "8002");
  EXPECT_EQ(lnxsgn(d, dl), 1);
  lnxsub(one.data(), one.size(), two.data(), two.size(), d, &dl);
  EXPECT_EQ(lnxsgn(d, dl), -1);
  lnxsub(one.data(), one.size(), one.data(), one.size(), d, &dl);
  EXPECT_EQ(hex(d, dl), "80");
  EXPECT_EQ(lnxsgn(d, dl), 0);
  // prefixed to counted and back
  uint8_t buf[32];
  size_t len = 0;
  lnxcopy(lnxqpi, 0, buf, &len);
  EXPECT_EQ(len, 21u);
  EXPECT_EQ(std::memcmp(buf, lnxqpi + 1, 21), 0);
  uint8_t back[32];
  lnxcopy(buf, len, back, nullptr);
  EXPECT_EQ(std::memcmp(back, lnxqpi, 22), 0);
  // onto itself one byte further on, both ways
  uint8_t w[32];
  std::memcpy(w, lnxqe, 22);
  lnxcopy(w, 0, w + 1, &len);
  EXPECT_EQ(std::memcmp(w + 1, lnxqe + 1, 21), 0);
  std::memcpy(w + 1, lnxqe + 1, 21);
  lnxcopy(w + 1, 21, w, nullptr);
  EXPECT_EQ(std::memcmp(w, lnxqe, 22), 0);
  std::memcpy(w, lnxqe, 22);
  lnxcopy(w, 0, w, nullptr);  // the same NUMBER in the same form
  EXPECT_EQ(std::memcmp(w, lnxqe, 22), 0);
  // A length byte beyond any NUMBER copies no more than a destination holds.
  uint8_t junk[64];
  std::memset(junk, 0x42, sizeof junk);
  junk[0] = 60;
  uint8_t dst[32];
  std::memset(dst, 0xEE, sizeof dst);
  lnxcopy(junk, 0, dst, nullptr);
  EXPECT_EQ(dst[0], 21);
  EXPECT_EQ(dst[22], 0xEE);
}

TEST(LnxConstants, GettersReachTheConstants) {
  struct {
    const lnx_number *const *(*get)(void);
    const lnx_number *want;
  } cases[] = {{lnxqgtzero, lnxqzero}, {lnxqgtone, lnxqpos1}, {lnxqgtten, lnxqten},
               {lnxqgtneg1, lnxqneg1}, {lnxqgtpi, lnxqpi},    {lnxqgte, lnxqe},
               {lnxqgtln10, lnxqln10}};
  for (auto &c : cases) {
    EXPECT_EQ(static_cast<const void *>(*c.get()), static_cast<const void *>(c.want));
    EXPECT_TRUE(lnxchk(*c.get(), 0));
  }
  EXPECT_EQ(std::string(lnxqasc_chars, 50), "0123456789+- .,$<>()#~abcdefgilmprstvABCDEFILMPRST");
  EXPECT_EQ(std::memcmp(lnxqasc_chars, lnxqcom_chars, 50), 0);
  const unsigned char ebc_head[] = {0xF0, 0xF9, 0x4E, 0x60, 0x40, 0x4B, 0x6B, 0x5B,
                                    0x4C, 0x6E, 0x4D, 0x5D, 0x7B, 0xA1, 0x81, 0xC1};
  const char *e = lnxqebc_chars;
  const unsigned char got[] = {(unsigned char)e[0],  (unsigned char)e[9],  (unsigned char)e[10],
                               (unsigned char)e[11], (unsigned char)e[12], (unsigned char)e[13],
                               (unsigned char)e[14], (unsigned char)e[15], (unsigned char)e[16],
                               (unsigned char)e[17], (unsigned char)e[18], (unsigned char)e[19],
                               (unsigned char)e[20], (unsigned char)e[21], (unsigned char)e[22],
                               (unsigned char)e[37]};
  EXPECT_EQ(std::memcmp(got, ebc_head, sizeof got), 0);
  EXPECT_EQ((unsigned char)e[41], 0xC5);  // 'E'
  EXPECT_EQ((unsigned char)e[33], 0x99);  // 'r'
}

// Each table against its rule, written out independently of the generator.
TEST(LnxConstants, DigitTables) {
  for (int a = 0; a < 100; ++a)
    for (int b = 0; b < 100; ++b)
      for (int c = 0; c < 2; ++c) {
        int s = a + b + c;
        const uint8_t *p = LnxqAdd_PPP[(a + 1) + (b + 1) + c];
        EXPECT_EQ(p[0], s % 100 + 1);
        EXPECT_EQ(p[1], s >= 100);
        const uint8_t *n = LnxqAdd_NNN[(101 - a) + (101 - b) + (2 - c)];
        EXPECT_EQ(n[0], 101 - s % 100);
        EXPECT_EQ(n[1], s >= 100 ? 1 : 2);
        int d = a - b - c;  // a positive, b negative, positive result
        const uint8_t *pp = LnxqAdd_PNP[(a + 1) + (101 - b) + (2 - c)];
        EXPECT_EQ(pp[0], (d + 100) % 100 + 1);
        EXPECT_EQ(pp[1], d < 0 ? 1 : 2);
        int m = b - a - c;  // negative result of magnitude b - a
        const uint8_t *pn = LnxqAdd_PNN[(a + 1) + (101 - b) + c];
        EXPECT_EQ(pn[0], 101 - (m + 100) % 100);
        EXPECT_EQ(pn[1], m < 0 ? 1 : 0);
      }
  EXPECT_EQ(LnxqAdd_PPP[1][1], 1);
  EXPECT_EQ(LnxqAdd_NNN[0][1], 2);
  EXPECT_EQ(LnxqAdd_PNP[0][1], 2);
  EXPECT_EQ(LnxqAdd_PNN[1][1], 1);
  for (int b = 1; b <= 101; ++b) {
    EXPECT_EQ(LnxqNegate[b], 102 - b);
    EXPECT_EQ(LnxsubIdentity[b], b);
    EXPECT_EQ(LnxqFirstDigit[b], b % 10 == 1);
  }
  for (int d = 0; d < 100; ++d) {
    EXPECT_EQ(LnxqDigit_P[d], d + 1);
    EXPECT_EQ(LnxqDigit_N[d], 101 - d);
    EXPECT_EQ(LnxqComponent_P[d + 1][0] * 10 + LnxqComponent_P[d + 1][1], d);
    EXPECT_EQ(LnxqComponent_N[101 - d][0] * 10 + LnxqComponent_N[101 - d][1], d);
    EXPECT_EQ(LnxqTruncate_P[d + 1], d / 10 * 10 + 1);
    EXPECT_EQ(LnxqTruncate_N[101 - d], 101 - d / 10 * 10);
    int r = (d + 5) / 10 * 10;
    EXPECT_EQ(LnxqRound_P[d + 1], r + 1);
    EXPECT_EQ(LnxqRound_N[101 - d], 101 - r);
  }
  EXPECT_EQ(LnxqRound_P[0], 0);
  EXPECT_EQ(LnxqRound_N[1], 0);
}

TEST(LnxAdd, EdgeCases) {
  std::string big = largest();
  std::string minpos = "8002", one = "c102", m1 = "3e6466";
  struct {
    const char *what;
    bool sub;
    std::string a, b, want;
  } cases[] = {
      {"1 + 1", false, one, one, "c103"},
      {"1 + -1", false, one, m1, "80"},
      {"5 + -3", false, "c106", num(0, {3}, true), "c103"},
      {"-5 + 3", false, num(0, {5}, true), "c104", "3e6366"},
      {"1 + 1e-40", false, one, num(-20, {1}), one},
      {"1 + 50e-40", false, one, num(-20, {50}), one_and(1, 19)},
      {"1 + 49e-40", false, one, num(-20, {49}), one},
      {"-1 - 50e-40", false, m1, num(-20, {50}, true), one_and(1, 19, true)},
      {"1 + 1e-42", false, one, num(-21, {1}), one},
      {"max + max", false, big, big, "ff65"},
      {"max + 50*100^42", false, big, num(42, {50}), "ff65"},
      {"1e-130 - 1e-130", true, minpos, minpos, "80"},
      {"2e-130 - 1.5e-130", true, "8003", num(-66 + 1, {1, 50}), "80"},
      {"+inf - +inf", true, "ff65", "ff65", "80"},
      {"-inf - -inf", true, "00", "00", "00"},
      {"+inf + -inf", false, "ff65", "00", "ff65"},
      {"-inf + +inf", false, "00", "ff65", "00"},
      {"+inf - 1", true, "ff65", one, "ff65"},
      {"-inf - 1", true, "00", one, "00"},
      {"1 - +inf", true, one, "ff65", "00"},
      {"1 - -inf", true, one, "00", "ff65"},
      {"0 - 1", true, "80", one, m1},
      {"0 - -1", true, "80", m1, one},
      {"1 - 0", true, one, "80", one},
      {"0 + -1", false, "80", m1, m1},
      {"-1 + 0", false, m1, "80", m1},
      {"0 + +inf", false, "80", "ff65", "ff65"},
      {"-1 - -1", true, m1, m1, "80"},
      {"1 - 2", true, one, "c103", m1},
      {"100 - 1", true, "c202", one, "c164"},
      {"-100 + 1", false, "3d6466", one, num(0, {99}, true)},
      {"99 + 1", false, "c164", one, "c202"},
      {"-99 - 1", true, num(0, {99}, true), one, "3d6466"},
  };
  for (auto &c : cases) EXPECT_EQ(bin(c.sub ? lnxsub : lnxadd, c.a, c.b), c.want) << c.what;
}

TEST(LnxAdd, Negation) {
  std::string pos20 = "c1", neg20 = "3e";
  for (int i = 0; i < 20; ++i) pos20 += "0a", neg20 += "5c";
  struct {
    std::string a, want;
  } cases[] = {{"80", "80"}, {"00", "ff65"}, {"ff65", "00"}, {"c102", "3e6466"},
               {"3e6466", "c102"}, {pos20, neg20}, {neg20, pos20}};
  for (auto &c : cases) {
    std::string got = run_all(unhex(c.a), [](const lnx_number *x, size_t xl, lnx_number *r,
                                             size_t *rl) { lnxneg(x, xl, r, rl); });
    EXPECT_EQ(got, c.want) << c.a;
  }
}

TEST(LnxMul, EdgeCases) {
  std::string n99 = "c1", big = largest(), oneish = "c102";
  for (int i = 0; i < 20; ++i) n99 += "64";
  std::string n99small = n99;  // 0.99..99
  {
    Bytes b = unhex(n99);
    b[0] = static_cast<uint8_t>(193 - 1);
    n99small = hex(b);
  }
  std::string big31 = n99;  // 99.99.. * 100^31
  {
    Bytes b = unhex(n99);
    b[0] = static_cast<uint8_t>(193 + 31);
    big31 = hex(b);
  }
  for (int i = 0; i < 18; ++i) oneish += "01";
  oneish += "02";  // 1.00...01, twenty digits
  struct {
    const char *what;
    std::string a, b, want;
  } cases[] = {
      {"2 * 3", "c103", "c104", "c107"},
      {"-1 * -1", "3e6466", "3e6466", "c102"},
      {"-1 * 1e-130", "3e6466", "8002", "7f6466"},
      {"1e-130 squared", "8002", "8002", "80"},
      {"0.99..99 * 1e-130", n99small, "8002", "80"},
      {"big squared", big31, big31, "ff65"},
      {"max * 1.0..01", big, oneish, "ff65"},
      {"inf * 0", "ff65", "80", "80"},
      {"0 * -inf", "80", "00", "80"},
      {"-inf * -inf", "00", "00", "ff65"},
      {"+inf * -1", "ff65", "3e6466", "00"},
      {"-1 * +inf", "3e6466", "ff65", "00"},
  };
  for (auto &c : cases) EXPECT_EQ(bin(lnxmul, c.a, c.b), c.want) << c.what;
}

std::string unary_op(const std::string &a,
                     const std::function<void(const lnx_number *, size_t, lnx_number *, size_t *)> &f) {
  return run_all(unhex(a), f);
}

TEST(LnxRound, EdgeCases) {
  std::string big = largest();
  struct {
    const char *what;
    char op;  // r: lnxrou, f: lnxfpr
    std::string a;
    int arg;
    std::string want;
  } cases[] = {
      {"2.5 to 0", 'r', num(0, {2, 50}), 0, "c104"},
      {"-2.5 to 0", 'r', num(0, {2, 50}, true), 0, num(0, {3}, true)},
      {"1.45 to 1", 'r', num(0, {1, 45}), 1, num(0, {1, 50})},
      {"1234 to -2", 'r', num(1, {12, 34}), -2, num(1, {12})},
      {"1250 to -2", 'r', num(1, {12, 50}), -2, num(1, {13})},
      {"0.6 to 0", 'r', num(-1, {60}), 0, "c102"},
      {"0.4 to 0", 'r', num(-1, {40}), 0, "80"},
      {"5 to -1", 'r', "c106", -1, "c10b"},
      {"max to -86", 'r', big, -86, big},
      {"max to -87", 'r', big, -87, "ff65"},
      {"-inf to 2", 'r', "00", 2, "00"},
      {"+inf to 2", 'r', "ff65", 2, "ff65"},
      {"0 to 2", 'r', "80", 2, "80"},
      {"123.456 to 4 digits", 'f', num(1, {1, 23, 45, 60}), 4, num(1, {1, 23, 50})},
      {"99.95 to 3 digits", 'f', num(0, {99, 95}), 3, "c202"},
      {"1 to 40 digits", 'f', "c102", 40, "c102"},
      {"pi to -1 digits", 'f', hex(lnxqpi + 1, 21), -1, "80"},
      {"max to 3 digits", 'f', big, 3, "ff65"},
      {"0.5 to 0 digits", 'f', num(-1, {50}), 0, "c102"},
      {"0.95 to 0 digits", 'f', num(-1, {95}), 0, "c102"},
      {"0.4 to 0 digits", 'f', num(-1, {40}), 0, "80"},
      {"7 to 0 digits", 'f', "c108", 0, "c10b"},
      {"123 to 0 digits", 'f', num(1, {1, 23}), 0, "80"},
      {"-inf to 3 digits", 'f', "00", 3, "00"},
      {"huge digit count", 'f', hex(lnxqpi + 1, 21), 2147483647, hex(lnxqpi + 1, 21)},
      {"huge place count", 'r', hex(lnxqe + 1, 21), -2147483647 - 1, "80"},
  };
  for (auto &c : cases) {
    std::string got = unary_op(c.a, [&](const lnx_number *x, size_t xl, lnx_number *r, size_t *rl) {
      if (c.op == 'r')
        lnxrou(x, xl, r, rl, c.arg);
      else
        lnxfpr(x, xl, r, rl, c.arg);
    });
    EXPECT_EQ(got, c.want) << c.what;
  }
}

TEST(LnxRound, Scale) {
  struct {
    const char *what;
    std::string a;
    int prec, scale;
    std::string want;
    int count, flag;
  } cases[] = {
      {"1.23 (2,1)", num(0, {1, 23}), 2, 1, num(0, {1, 20}), 1, 0},
      {"123 (2,1)", num(1, {1, 23}), 2, 1, num(1, {1, 23}), -1, 1},
      {"0.001 (2,1)", num(-2, {10}), 2, 1, "80", 131, 0},
      {"4.154178e-5 (24,25)", num(-3, {41, 54, 17, 80}), 24, 25, num(-3, {41, 54, 17, 80}), 28, 0},
      {"0.05 (0,5)", num(-1, {5}), 0, 5, num(-1, {5}), 1, 0},
      {"zero", "80", 2, 1, "80", 131, 0},
      {"negative infinity counts as zero", "00", 2, 1, "80", 131, 0},
      {"one-byte operand never overflows", "80", -200, 1, "80", -71, 0},
      {"a rounded zero can", num(-2, {10}), -200, 1, "80", -71, 1},
      {"rounding up past the largest", largest(), 200, -87, "ff65", 74, 0},
  };
  for (auto &c : cases) {
    int count = 0, flag = -1;
    std::string got = unary_op(c.a, [&](const lnx_number *x, size_t xl, lnx_number *r, size_t *rl) {
      count = lnxsca(x, xl, r, rl, c.prec, c.scale, &flag);
    });
    EXPECT_EQ(got, c.want) << c.what;
    EXPECT_EQ(count, c.count) << c.what;
    EXPECT_EQ(flag, c.flag) << c.what;
  }
}

TEST(LnxIntegers, FromNative) {
  uint64_t all = ~0ull;
  int8_t m1 = -1, m128 = -128;
  int64_t smin = std::numeric_limits<int64_t>::min();
  uint8_t out[32];
  size_t len;
  struct {
    const void *v;
    size_t size;
    int kind, st;
    std::string want;
  } cases[] = {
      {&all, 8, 0, 0, "ca132d442d08260a381110"},
      {&m1, 1, 2, 0, "3e6466"},
      {&m128, 1, 2, 0, "3d644966"},
      {&m128, 1, 1, 0, "3d644966"},
      {&smin, 8, 2, 0, "355c4f441d62212f182b5d66"},
      {&all, 8, 1, 3, ""},
      {&all, 4, 3, 3, ""},
      {&all, 3, 0, 3, ""},
  };
  for (auto &c : cases) {
    len = 99;
    std::memset(out, 0xEE, sizeof out);
    int st = lnxmin(c.v, c.size, c.kind, out, &len);
    EXPECT_EQ(st, c.st);
    if (st == 0)
      EXPECT_EQ(hex(out, len), c.want);
    else
      EXPECT_EQ(out[0], 0xEE) << "status 3 writes nothing";
  }
  uint32_t zero = 0;
  ASSERT_EQ(lnxmin(&zero, 4, 0, out, &len), 0);
  EXPECT_EQ(hex(out, len), "80");
}

TEST(LnxIntegers, ToNative) {
  struct {
    const char *what;
    std::string n;
    unsigned flags;
    size_t size;
    int st;
    uint64_t want;
  } cases[] = {
      {"127", "c2021c", 2, 1, 0, 0x7F},
      {"128", "c2021d", 2, 1, 1, 0x7F},
      {"-128", num(1, {1, 28}, true), 2, 1, 1, 0x80},
      {"-128 full", num(1, {1, 28}, true), 2 | 0x4000, 1, 0, 0x80},
      {"-129", num(1, {1, 29}, true), 2 | 0x4000, 1, 1, 0x80},
      {"3.5", num(0, {3, 50}), 2, 1, 0, 3},
      {"-3.5", num(0, {3, 50}, true), 2, 1, 0, 0xFD},
      {"0.5", num(-1, {50}), 2, 1, 2, 0},
      {"-0.5", num(-1, {50}, true), 2, 1, 2, 0},
      {"4294967295", "c52b5f6149" "60", 0, 4, 0, 0xFFFFFFFF},
      {"4294967296", num(4, {42, 94, 96, 72, 96}), 0, 4, 1, 0xFFFFFFFF},
      {"-1 unsigned", "3e6466", 0, 4, 1, 0},
      {"4294967296 masked", num(4, {42, 94, 96, 72, 96}), 0x8000, 4, 1, 0},
      {"1e30 masked", num(15, {1}), 0x8000, 4, 1, 0x40000000},
      {"128 masked", "c2021d", 2 | 0x8000, 1, 1, 0},
      {"-129 masked", num(1, {1, 29}, true), 2 | 0x8000, 1, 1, 0xFF},
      {"255 masked", "c20338", 2 | 0x8000, 1, 1, 0x7F},
      {"-128 full masked", num(1, {1, 28}, true), 2 | 0xC000, 1, 0, 0x80},
      {"32767 kind 1", num(2, {3, 27, 67}), 1, 2, 0, 0x7FFF},
      {"65535 kind 1", "c3073824", 1, 2, 1, 0x7FFF},
      {"+inf", "ff65", 0, 8, 1, ~0ull},
      {"-inf", "00", 2, 4, 1, 0x80000000},
      {"-inf full", "00", 2 | 0x4000, 2, 1, 0x8000},
      {"-inf unsigned", "00", 0, 2, 1, 0},
      {"127.99 stays in range", num(1, {1, 27, 99}), 2, 1, 0, 0x7F},
      {"bit 0x80 ignored", "c2021c", 2 | 0x80, 1, 0, 0x7F},
      {"2^63 - 1", "ca0a17224904453" "74e3b08", 2, 8, 0, 0x7FFFFFFFFFFFFFFF},
      {"10^20 unsigned 8", num(10, {1}), 0, 8, 1, ~0ull},
  };
  for (auto &c : cases) {
    Bytes b = unhex(c.n);
    uint64_t out = 0;
    int st = lnxsni(b.data(), b.size(), &out, c.size, c.flags);
    EXPECT_EQ(st, c.st) << c.what;
    EXPECT_EQ(out, c.want) << c.what;
  }
  uint64_t out = 0xAB;
  uint8_t one[] = {0xC1, 0x02};
  EXPECT_EQ(lnxsni(one, 2, &out, 8, 1), 3);
  EXPECT_EQ(lnxsni(one, 2, &out, 4, 3), 3);
  EXPECT_EQ(out, 0xABu);
  // The limit records: real lengths and patterns.
  EXPECT_EQ(hex(LnxsniUb8Maximum.num, LnxsniUb8Maximum.len), "ca132d442d08260a381110");
  EXPECT_EQ(hex(LnxsniUb1Maximum.num, LnxsniUb1Maximum.len), "c20338");
  EXPECT_EQ(hex(LnxsniSb1FullMin.num, LnxsniSb1FullMin.len), "c2021d");
  EXPECT_EQ(static_cast<uint8_t>(LnxsniSb1Minimum.pattern), 0x80);
  EXPECT_EQ(LnxsniSbgMaximum.mask, 0x7FFFFFFFu);
}

std::string ren(const void *v, size_t size) {
  uint8_t out[32];
  size_t len;
  lnxren(v, size, out, &len);
  EXPECT_TRUE(lnxchk(out, len));
  return hex(out, len);
}

TEST(LnxFloat, EdgeCases) {
  struct {
    double v;
    std::string want;
  } dbl[] = {
      {1.0, "c102"}, {0.5, "c033"}, {0.1, "c00b"}, {1.0 / 3, "c022222222222222" "1f"},
      {123.456, "c202182e3d"}, {99.99999999999999, "c202"}, {9.999999999999998e125, "ff65"},
      {1e126, "ff65"}, {-1e126, "00"}, {1e-130, "8002"}, {9.9999999999999e-131, "80"},
      {5e-131, "80"}, {HUGE_VAL, "ff65"}, {-HUGE_VAL, "00"}, {0.0, "80"}, {-0.0, "80"},
      {std::numeric_limits<double>::quiet_NaN(), "ff65"},
      {-std::numeric_limits<double>::quiet_NaN(), "ff65"},
  };
  for (auto &c : dbl) EXPECT_EQ(ren(&c.v, 8), c.want) << c.v;
  struct {
    float v;
    std::string want;
  } flt[] = {{1.0f / 3, "c0222222"}, {3.4e38f, "d40429"}, {-2.5f, "3e633366"},
             {std::numeric_limits<float>::quiet_NaN(), "ff65"}};
  for (auto &c : flt) EXPECT_EQ(ren(&c.v, 4), c.want) << c.v;
  __float128 qn = __builtin_nanq("");
  EXPECT_EQ(ren(&qn, 16), "ff65");
  __float128 qi = __builtin_infq();
  EXPECT_EQ(ren(&qi, 16), "ff65");
  qi = -qi;
  EXPECT_EQ(ren(&qi, 16), "00");
  short two = 1;
  EXPECT_EQ(ren(&two, 2), "80");
}

TEST(LnxFloat, ThirdInBinary128HasThirtyThreeDigits) {
  __float128 q = 1;
  q /= 3;
  // 17 digits of 33, the last one rounded to tens: 0.333...330 (33 threes)
  std::string want = "c0";
  for (int i = 0; i < 16; ++i) want += "22";
  want += "1f";
  EXPECT_EQ(ren(&q, 16), want);
}

TEST(LnxHex, EdgeCases) {
  struct {
    std::string n;
    size_t size;
    int fill;
    std::string want;
  } cases[] = {
      {"c20338", 8, 0, "ff"},
      {num(1, {40, 96}), 8, 0, "1000"},
      {num(10, {1}), 40, 0, "56bc75e2d63100000"},
      {num(62, {10}), 40, 0, ""},
      {"3e6466", 8, 0, ""},
      {"ff65", 8, 0, ""},
      {num(1, {40, 96}), 3, 0, ""},
      {num(1, {40, 96}), 6, 1, "001000"},
      {"80", 4, 0, "0"},
      {"80", 4, 1, "0000"},
      {"80", 0, 0, ""},
      {"c20338", 0, 1, ""},
      {num(0, {55, 50}), 8, 0, "37"},  // 55.5: the fraction is ignored
      {num(-1, {50}), 8, 0, "0"},             // 0.5 reads as zero
  };
  for (auto &c : cases) {
    Bytes b = unhex(c.n);
    char buf[64];
    std::memset(buf, '@', sizeof buf);
    size_t n = lnxqn2h(b.data(), b.size(), buf, c.size, c.fill, lnxqasc_chars);
    EXPECT_EQ(std::string(buf, n), c.want) << c.n;
    for (size_t i = n; i < sizeof buf; ++i) ASSERT_EQ(buf[i], '@') << c.n;
  }
  // The largest NUMBER fits its limbs: 100^63 - 100^43 needs 105 digits.
  Bytes big = unhex(largest());
  char buf[128];
  EXPECT_EQ(lnxqn2h(big.data(), big.size(), buf, sizeof buf, 0, lnxqasc_chars), 105u);
  // EBCDIC table: the letters start at its entry 22
  Bytes ff = unhex("c20338");
  ASSERT_EQ(lnxqn2h(ff.data(), ff.size(), buf, 8, 0, lnxqebc_chars), 2u);
  EXPECT_EQ(static_cast<unsigned char>(buf[0]), 0x86);
}

}  // namespace
