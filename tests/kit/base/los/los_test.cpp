#include <cerrno>
#include <cstddef>
#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "los.h"

namespace {

slos_error filled_with(char c) {
  slos_error e;
  memset(&e, c, sizeof e);
  return e;
}

}  // namespace

// The records meet callers across the kit; their layout is fixed in both widths.
TEST(LosRecords, Layout) {
  EXPECT_EQ(offsetof(slos_error, call), 4u);
  EXPECT_EQ(offsetof(slos_error, location), 37u);
  EXPECT_EQ(offsetof(slos_error, other), 50u);
  EXPECT_EQ(offsetof(slos_error, oserr), 212u);
  EXPECT_EQ(sizeof(sl_status), 8 + 4 * sizeof(void*));
}

TEST(SlosFill, ErrCutsTextsAndKeepsOtherInfo) {
  slos_error e = filled_with('x');
  std::string call(40, 'c');
  slosFillErr(&e, SLOS_ERR_NOTFOUND, ENOENT, call.c_str(), "a-location-tag-too-long");
  EXPECT_EQ(e.code, SLOS_ERR_NOTFOUND);
  EXPECT_EQ(e.oserr, ENOENT);
  EXPECT_EQ(std::string(e.call), std::string(32, 'c'));
  EXPECT_EQ(e.call[32], '\0');
  EXPECT_STREQ(e.location, "a-location-t");
  EXPECT_EQ(e.other[0], 'x');  // untouched
  EXPECT_EQ(e.other[160], 'x');

  slosFillErr(&e, SLOS_ERR_OTHER, 0, "open", nullptr);
  EXPECT_STREQ(e.call, "open");
  EXPECT_STREQ(e.location, "");
}

TEST(SlosFill, IntKeepsCallText) {
  slos_error e = filled_with('y');
  slosFillErr(&e, SLOS_ERR_BADREQ, EINVAL, "mmap", "loc1");
  slosFillInt(&e, "inner");
  EXPECT_EQ(e.code, SLOS_ERR_INTERNAL);
  EXPECT_EQ(e.oserr, 0);
  EXPECT_STREQ(e.location, "inner");
  EXPECT_STREQ(e.call, "mmap");
}

TEST(SlosFill, OtherInfoCutAt160) {
  slos_error e = filled_with('z');
  std::string text(200, 'o');
  slosOtherInfo(&e, text.c_str());
  EXPECT_EQ(std::string(e.other), std::string(160, 'o'));
  EXPECT_EQ(e.oserr, static_cast<int32_t>(0x7a7a7a7a));  // the next field is intact
  slosOtherInfo(&e, "short");
  EXPECT_STREQ(e.other, "short");
}

TEST(SlosFill, NullRecordIsLeftAlone) {
  // Callers with an optional record pass NULL straight through.
  slosFillErr(nullptr, SLOS_ERR_OTHER, 5, "call", "loc");
  slosFillInt(nullptr, "loc");
  slosOtherInfo(nullptr, "text");
  SUCCEED();
}

TEST(SlosDep2Mesg, CopiesSystemTextCut) {
  char buf[80];
  ASSERT_EQ(slosDep2Mesg(ENOENT, buf, sizeof buf), 1);
  EXPECT_STREQ(buf, strerror(ENOENT));

  char small[5];
  ASSERT_EQ(slosDep2Mesg(ENOENT, small, sizeof small), 1);
  EXPECT_EQ(std::string(small), std::string(strerror(ENOENT)).substr(0, 4));

  EXPECT_EQ(slosDep2Mesg(123456, buf, sizeof buf), 0);
}

TEST(SlosDep2String, DecimalCutToLength) {
  struct Case {
    int32_t number;
    size_t len;
    const char* want;
  } cases[] = {
      {0, 2, "0"},       {0, 1, ""},           {2, 10, "2"},
      {27141, 10, "27141"}, {27141, 4, "271"}, {-13, 10, "-13"},
      {2147483647, 11, "2147483647"},
  };
  for (const Case& c : cases) {
    char buf[16];
    memset(buf, '#', sizeof buf);
    slosDep2String(c.number, buf, c.len);
    EXPECT_STREQ(buf, c.want) << c.number << " in " << c.len;
  }
  char untouched = '#';
  slosDep2String(5, &untouched, 0);
  EXPECT_EQ(untouched, '#');
}

TEST(Slmecpy, CopiesAndReturnsDestination) {
  const char src[] = "abc\0def";
  char dst[8] = {};
  EXPECT_EQ(slmecpy(dst, src, sizeof src), dst);
  EXPECT_EQ(memcmp(dst, src, sizeof src), 0);
  EXPECT_EQ(slmecpy(dst, nullptr, 0), dst);
}

namespace {

sl_status status_of(int32_t oserr, intptr_t d1, intptr_t d2, intptr_t d3) {
  sl_status st{};
  st.code = 7202;
  st.oserr = oserr;
  st.detail[0] = d1;
  st.detail[1] = d2;
  st.detail[2] = d3;
  return st;
}

}  // namespace

TEST(Slcgems, HeaderTextAndDetails) {
  const std::string sys = strerror(ENOENT);
  struct Case {
    sl_status st;
    std::string want;
  } cases[] = {
      {status_of(ENOENT, 7, 0, 0),
       "SVR4 Error: " + std::to_string(ENOENT) + ": " + sys + "\nAdditional information: 7"},
      {status_of(ENOENT, 0, 0, 0), "SVR4 Error: " + std::to_string(ENOENT) + ": " + sys},
      {status_of(0, 0, 5, -3), "Additional information: 5\nAdditional information: -3"},
      {status_of(-4, 0, 0, 9), "Additional information: 9"},
      {status_of(123456, 0, 0, 0), "SVR4 Error: 123456: Unknown system error"},
  };
  for (const Case& c : cases) {
    char buf[512];
    int n = slcgems(&c.st, buf, sizeof buf);
    EXPECT_EQ(std::string(buf), c.want);
    EXPECT_EQ(n, static_cast<int>(c.want.size()));
  }
}

TEST(Slcgems, DetailPrintedAs32Bit) {
  if (sizeof(intptr_t) < 8) GTEST_SKIP() << "details are 32-bit already";
  sl_status st = status_of(0, static_cast<intptr_t>((int64_t{1} << 32) + 5), 0, 0);
  char buf[64];
  slcgems(&st, buf, sizeof buf);
  EXPECT_STREQ(buf, "Additional information: 5");
}

TEST(Slcgems, NothingToSay) {
  sl_status st = status_of(0, 0, 0, 0);
  char buf[8];
  memset(buf, '#', sizeof buf);
  EXPECT_EQ(slcgems(&st, buf, sizeof buf), 0);
  EXPECT_EQ(buf[0], '\0');
  EXPECT_EQ(slcgems(nullptr, buf, sizeof buf), 0);
}

TEST(Slcgems, ZeroLengthBufferIsNotWritten) {
  sl_status st = status_of(ENOENT, 1, 2, 3);
  char buf[4] = {'#', '#', '#', '#'};
  EXPECT_EQ(slcgems(&st, buf, 0), 0);
  EXPECT_EQ(buf[0], '#');
}

TEST(Slcgems, CutToBufferAndTerminatedInside) {
  sl_status st = status_of(ENOENT, 7, 0, 0);
  char full[512];
  int whole = slcgems(&st, full, sizeof full);
  for (size_t len : {1u, 2u, 10u, 16u, 17u, 40u}) {
    char buf[64];
    memset(buf, '#', sizeof buf);
    int n = slcgems(&st, buf, len);
    // The pieces fill the buffer and the last byte becomes the terminator.
    ASSERT_EQ(n, static_cast<int>(len) - 1) << len;
    EXPECT_EQ(buf[len - 1], '\0');
    EXPECT_EQ(buf[len], '#');
    EXPECT_EQ(std::string(buf), std::string(full, static_cast<size_t>(n)));
  }
  // Exactly the room the text and its final newline need.
  char exact[512];
  EXPECT_EQ(slcgems(&st, exact, static_cast<size_t>(whole) + 1), whole);
  EXPECT_STREQ(exact, full);
}
