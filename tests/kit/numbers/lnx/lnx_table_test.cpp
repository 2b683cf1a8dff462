// The NUMBER operations against tables written by tools/numbers/lnxcases.py
// from independent models (Python's decimal, and a float model of the
// conversion's digit loop). Every case runs in every operand and result form.
#include <gtest/gtest.h>

#include <fstream>
#include <map>
#include <sstream>

#include "lnx.h"
#include "lnx_check.h"

using namespace lnxtest;

namespace {

struct Case {
  int line;
  std::vector<std::string> f;
};

const std::map<std::string, std::vector<Case>> &cases() {
  static std::map<std::string, std::vector<Case>> all = [] {
    std::map<std::string, std::vector<Case>> m;
    std::ifstream in(QEN_SOURCE_DIR "/tests/kit/numbers/lnx/lnxcases.txt");
    std::string s;
    int line = 0;
    while (std::getline(in, s)) {
      ++line;
      std::istringstream is(s);
      std::string op, w;
      is >> op;
      Case c{line, {}};
      while (is >> w) c.f.push_back(w);
      m[op].push_back(c);
    }
    return m;
  }();
  return all;
}

const std::vector<Case> &of(const char *op) {
  auto &m = cases();
  auto it = m.find(op);
  static const std::vector<Case> none;
  EXPECT_NE(it, m.end()) << "no cases for " << op;
  return it == m.end() ? none : it->second;
}

void binary(const char *op, void (*fn)(const lnx_number *, size_t, const lnx_number *, size_t,
                                        lnx_number *, size_t *)) {
  for (const Case &c : of(op)) {
    Bytes a = unhex(c.f[0]), b = unhex(c.f[1]);
    // result over the first operand's forms
    std::string r1 = run_all(a, [&](const lnx_number *x, size_t xl, lnx_number *r, size_t *rl) {
      fn(x, xl, b.data(), b.size(), r, rl);
    });
    ASSERT_EQ(r1, c.f[2]) << op << " line " << c.line << ": " << c.f[0] << " " << c.f[1];
    // and over the second operand's
    std::string r2 = run_all(b, [&](const lnx_number *y, size_t yl, lnx_number *r, size_t *rl) {
      fn(a.data(), a.size(), y, yl, r, rl);
    });
    ASSERT_EQ(r2, c.f[2]) << op << " line " << c.line;
  }
}

TEST(LnxTable, Add) { binary("add", lnxadd); }
TEST(LnxTable, Sub) { binary("sub", lnxsub); }
TEST(LnxTable, Mul) { binary("mul", lnxmul); }

void rounding(const char *op, void (*fn)(const lnx_number *, size_t, lnx_number *, size_t *, int)) {
  for (const Case &c : of(op)) {
    int arg = std::stoi(c.f[1]);
    std::string r = run_all(unhex(c.f[0]), [&](const lnx_number *x, size_t xl, lnx_number *o,
                                                size_t *ol) { fn(x, xl, o, ol, arg); });
    ASSERT_EQ(r, c.f[2]) << op << " line " << c.line;
  }
}

TEST(LnxTable, RoundToPlaces) { rounding("rou", lnxrou); }
TEST(LnxTable, RoundToDigits) { rounding("fpr", lnxfpr); }

TEST(LnxTable, Scale) {
  for (const Case &c : of("sca")) {
    int prec = std::stoi(c.f[1]), scale = std::stoi(c.f[2]);
    int count = 0, flag = -1;
    std::string r = run_all(unhex(c.f[0]), [&](const lnx_number *x, size_t xl, lnx_number *o,
                                                size_t *ol) {
      count = lnxsca(x, xl, o, ol, prec, scale, &flag);
    });
    ASSERT_EQ(r, c.f[3]) << "line " << c.line;
    EXPECT_EQ(count, std::stoi(c.f[4])) << "line " << c.line;
    EXPECT_EQ(flag, std::stoi(c.f[5])) << "line " << c.line;
  }
}

TEST(LnxTable, FromIntegers) {
  for (const Case &c : of("min")) {
    int kind = std::stoi(c.f[0]);
    size_t size = std::stoul(c.f[1]);
    uint64_t v = std::stoull(c.f[2], nullptr, 16);
    uint8_t raw[8];
    uint8_t u1 = static_cast<uint8_t>(v);
    uint16_t u2 = static_cast<uint16_t>(v);
    uint32_t u4 = static_cast<uint32_t>(v);
    std::memcpy(raw, size == 1 ? (void *)&u1 : size == 2 ? (void *)&u2 : size == 4 ? (void *)&u4 : (void *)&v, size);
    int st = -1;
    std::string r = run_all(Bytes{0x80}, [&](const lnx_number *, size_t, lnx_number *o, size_t *ol) {
      st = lnxmin(raw, size, kind, o, ol);
    });
    EXPECT_EQ(st, 0);
    ASSERT_EQ(r, c.f[3]) << "line " << c.line;
  }
}

TEST(LnxTable, ToIntegers) {
  for (const Case &c : of("sni")) {
    Bytes n = unhex(c.f[0]);
    unsigned flags = static_cast<unsigned>(std::stoul(c.f[1]));
    size_t size = std::stoul(c.f[2]);
    uint8_t out[8] = {0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5, 0xA5};
    int st = lnxsni(n.data(), n.size(), out, size, flags);
    uint64_t got = 0;
    std::memcpy(&got, out, size);  // little-endian host
    ASSERT_EQ(st, std::stoi(c.f[3])) << "line " << c.line;
    ASSERT_EQ(got, std::stoull(c.f[4], nullptr, 16)) << "line " << c.line;
    for (size_t i = size; i < 8; ++i) EXPECT_EQ(out[i], 0xA5) << "wrote past the size";
  }
}

// The conversion's own digits (the model), and within one unit of the exact
// value rounded to the type's significant digits.
void floats(const char *op, bool exact) {
  for (const Case &c : of(op)) {
    Bytes v = unhex(c.f[0]);
    std::string r = run_all(Bytes{0x80}, [&](const lnx_number *, size_t, lnx_number *o, size_t *ol) {
      lnxren(v.data(), v.size(), o, ol);
    });
    size_t alt = 1;
    if (exact) {
      ASSERT_EQ(r, c.f[1]) << op << " line " << c.line;
      alt = 2;
    }
    if (c.f.size() > alt) {
      bool near = false;
      for (size_t i = alt; i < c.f.size(); ++i) near |= r == c.f[i];
      EXPECT_TRUE(near) << op << " line " << c.line << ": " << r << " not within one unit of " << c.f[alt];
    }
  }
}

TEST(LnxTable, FromDouble) { floats("rend", true); }
TEST(LnxTable, FromFloat) { floats("renf", true); }
TEST(LnxTable, FromBinary128) { floats("renq", false); }

TEST(LnxTable, Hexadecimal) {
  for (const Case &c : of("n2h")) {
    Bytes n = unhex(c.f[0]);
    size_t size = std::stoul(c.f[1]);
    int fill = std::stoi(c.f[2]);
    std::string want = c.f[3] == "-" ? "" : c.f[3];
    std::vector<char> buf(size + 8, '@');
    size_t got = lnxqn2h(n.data(), n.size(), buf.data(), size, fill, lnxqasc_chars);
    ASSERT_EQ(std::string(buf.data(), got), want) << "line " << c.line;
    for (size_t i = got; i < buf.size(); ++i) ASSERT_EQ(buf[i], '@') << "line " << c.line;
  }
}

TEST(LnxTable, DefaultText) {
  for (const Case &c : of("nuc")) {
    Bytes n = unhex(c.f[0]);
    int width = std::stoi(c.f[1]), pad = std::stoi(c.f[2]);
    std::string want = c.f[3];
    for (char &ch : want)
      if (ch == '_') ch = ' ';
    std::vector<unsigned char> buf(std::abs(width) + 8, '@');
    int len = -1;
    lnxnucoptg(n.data(), n.size(), buf.data(), width, nullptr, &len, pad, nullptr);
    ASSERT_EQ(std::string(reinterpret_cast<char *>(buf.data()), len < 0 ? 0 : len), want)
        << "line " << c.line << " width " << width;
    for (size_t i = std::abs(width); i < buf.size(); ++i) ASSERT_EQ(buf[i], '@');
  }
}

// The sign in both forms; the body is followed by a byte that a reader of the
// whole buffer would take for a digit.
TEST(LnxTable, Sign) {
  for (const Case &c : of("sgn")) {
    Bytes n = unhex(c.f[0]);
    const int want = std::stoi(c.f[1]);
    ASSERT_TRUE(lnxchk(n.data(), n.size())) << "line " << c.line;
    Bytes counted = n;
    counted.push_back(0x02);
    EXPECT_EQ(lnxsgn(counted.data(), n.size()), want) << "counted, line " << c.line;
    Bytes prefixed{static_cast<uint8_t>(n.size())};
    prefixed.insert(prefixed.end(), counted.begin(), counted.end());
    EXPECT_EQ(lnxsgn(prefixed.data(), 0), want) << "prefixed, line " << c.line;
  }
}

}  // namespace
