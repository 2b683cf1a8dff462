#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "lst.h"

TEST(Lstprintf, FormatsAndCounts) {
  char buf[64];
  EXPECT_EQ(lstprintf(buf, sizeof buf, "PG: %u PROC: %u\n", 3u, 17u), 15);
  EXPECT_STREQ(buf, "PG: 3 PROC: 17\n");
  EXPECT_EQ(lstprintf(buf, sizeof buf, "%s", ""), 0);
  EXPECT_STREQ(buf, "");
}

TEST(Lstprintf, NeverWritesPastTheBuffer) {
  struct Case {
    size_t size;
    int rc;
    const char* text;
  } cases[] = {
      {1, 0, ""}, {2, 1, "a"}, {6, 5, "abcde"}, {11, 10, "abcdefghij"}, {12, 10, "abcdefghij"},
  };
  for (const Case& c : cases) {
    char buf[16];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(lstprintf(buf, c.size, "%s%s", "abcde", "fghij"), c.rc) << c.size;
    EXPECT_STREQ(buf, c.text);
    EXPECT_EQ(buf[c.size], '#') << c.size;
  }
  char untouched = '#';
  EXPECT_EQ(lstprintf(&untouched, 0, "%d", 12345), 0);
  EXPECT_EQ(untouched, '#');
}

TEST(Lstmclo, ComparesIgnoringCaseOverExactlyN) {
  struct Case {
    const char* a;
    const char* b;
    size_t n;
    int sign;
  } cases[] = {
      {"ABC", "abd", 3, -1},
      {"ABC", "abc", 3, 0},
      {"abc", "ABD", 2, 0},
      {"xyz", "abc", 0, 0},
      {"a\0b", "A\0c", 3, -1},  // NUL bytes are ordinary bytes
      {"a\0C", "A\0c", 3, 0},
      {"[", "{", 1, -1},        // only letters fold: '[' and '{' stay apart
      {"\xC4", "\xE4", 1, -1},  // bytes above ASCII do not fold
  };
  for (const Case& c : cases) {
    int r = lstmclo(c.a, c.b, c.n);
    EXPECT_EQ((r > 0) - (r < 0), c.sign) << c.a << " / " << c.b;
  }
  EXPECT_EQ(lstmclo("Z", "a", 1), 'z' - 'a');
}

TEST(Lstmup, UpperCasesAndHandlesOverlap) {
  char out[16] = {};
  EXPECT_EQ(lstmup(out, "ab-z\0q\xe4", 7), out);
  EXPECT_EQ(std::string(out, 7), std::string("AB-Z\0Q\xe4", 7));

  // Source before the destination, overlapping it.
  char buf[16] = "abcdef";
  lstmup(buf + 2, buf, 6);
  EXPECT_EQ(std::string(buf, 8), "abABCDEF");
  // Destination before the source.
  char buf2[16] = "xxabcd";
  lstmup(buf2, buf2 + 2, 4);
  EXPECT_EQ(std::string(buf2, 6), "ABCDcd");
  // In place.
  char buf3[8] = "mIx1";
  lstmup(buf3, buf3, 4);
  EXPECT_STREQ(buf3, "MIX1");
}
