#include <climits>
#include <cstdint>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "lcv.h"

namespace {

std::string conv(uint64_t value, int base) {
  char buf[LCV_MAXDIGITS + 8];
  memset(buf, '#', sizeof buf);
  int n = lcvbg2b(buf, value, base);
  EXPECT_EQ(buf[n], '#') << "no terminator is written";
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

TEST(Lcvbg2b, Bases) {
  struct Case {
    int64_t value;
    int base;
    std::string text;
  } cases[] = {
      {-255, -16, "-ff"},
      {255, 16, "ff"},
      {255, 2, "11111111"},
      {0, 10, "0"},
      {0, -2, "0"},
      {123, 0, "123"},  // base 0 is signed decimal
      {-123, 0, "-123"},
      {-1, 10, "18446744073709551615"},  // positive bases take the value unsigned
      {-1, -10, "-1"},
      {35, 36, "z"},
      {-71, -36, "-1z"},
      {8, 8, "10"},
      {INT64_MIN, -10, "-9223372036854775808"},
      {INT64_MIN, 0, "-9223372036854775808"},
      {INT64_MIN, -2, "-1" + std::string(63, '0')},
      {INT64_MAX, -16, "7fffffffffffffff"},
  };
  for (const Case& c : cases)
    EXPECT_EQ(conv(static_cast<uint64_t>(c.value), c.base), c.text)
        << c.value << " base " << c.base;
  EXPECT_EQ(conv(UINT64_MAX, 2), std::string(64, '1'));
}

TEST(Lcvbg2b, RejectsBasesOutsideTwoToThirtySix) {
  for (int base : {1, -1, 37, -37, 100, INT_MIN, INT_MAX}) EXPECT_EQ(conv(42, base), "") << base;
}
