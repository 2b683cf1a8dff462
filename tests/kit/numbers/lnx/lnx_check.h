// Helpers of the NUMBER tests: hexadecimal NUMBER bodies, and running an
// operation with its result in every form: counted, prefixed, over its first
// operand, and one byte further on from it.
#ifndef QEN_TESTS_LNX_CHECK_H
#define QEN_TESTS_LNX_CHECK_H

#include <gtest/gtest.h>

#include <cstring>
#include <functional>
#include <string>
#include <vector>

#include "lnx.h"

namespace lnxtest {

using Bytes = std::vector<uint8_t>;

inline Bytes unhex(const std::string &h) {
  Bytes b;
  for (size_t i = 0; i + 1 < h.size(); i += 2) b.push_back(static_cast<uint8_t>(std::stoul(h.substr(i, 2), nullptr, 16)));
  return b;
}

inline std::string hex(const uint8_t *p, size_t n) {
  static const char d[] = "0123456789abcdef";
  std::string s;
  for (size_t i = 0; i < n; ++i) s += d[p[i] >> 4], s += d[p[i] & 15];
  return s;
}
inline std::string hex(const Bytes &b) { return hex(b.data(), b.size()); }

// An operation from one operand (the first) and fixed other arguments to a
// result: (operand, length, result, result length out-pointer).
using Unary = std::function<void(const lnx_number *, size_t, lnx_number *, size_t *)>;

// Runs op over a in every form and returns the results' bodies as hex; each
// must be a valid NUMBER and all must agree.
inline std::string run_all(const Bytes &a, const Unary &op) {
  std::vector<std::string> got;
  uint8_t out[64];
  size_t len = 0;
  // counted in, counted out
  op(a.data(), a.size(), out, &len);
  EXPECT_TRUE(lnxchk(out, len)) << hex(out, len);
  got.push_back(hex(out, len));
  // prefixed in, prefixed out
  uint8_t pa[LNX_MAXPREFIXED];
  pa[0] = static_cast<uint8_t>(a.size());
  std::memcpy(pa + 1, a.data(), a.size());
  op(pa, 0, out, nullptr);
  EXPECT_TRUE(lnxchk(out, 0));
  got.push_back(hex(out + 1, out[0]));
  // over the operand itself, same form
  uint8_t w[64] = {};
  std::memcpy(w, a.data(), a.size());
  op(w, a.size(), w, &len);
  got.push_back(hex(w, len));
  // one byte further on: operand prefixed at w, result counted at w + 1
  // and prefixed at w + 1
  std::memcpy(w, pa, a.size() + 1);
  op(w, 0, w + 1, &len);
  got.push_back(hex(w + 1, len));
  std::memcpy(w + 1, a.data(), a.size());
  op(w + 1, a.size(), w, nullptr);
  got.push_back(hex(w + 1, w[0]));
  for (size_t i = 1; i < got.size(); ++i) EXPECT_EQ(got[0], got[i]) << "form " << i;
  return got[0];
}

}  // namespace lnxtest

#endif
