// The calendar converters with the date library registered: the edge cases
// of each calendar, the status codes, and calendar files written by the
// calendar-file writer (eras, deviations, broken files, the path bound).
#include <stdint.h>
#include <stdlib.h>

#include <cstring>
#include <string>

#include <gtest/gtest.h>

#include "calw.h"
#include "ldx.h"
#include "ldxtest.h"
#include "lxe.h"
#include "temp_dir.h"

namespace {

ldx_date ymd(int y, int m, int d, int hh = 0, int mi = 0, int ss = 0) {
  ldx_date r{};
  r.year = int16_t(y);
  r.month = int8_t(m);
  r.day = int8_t(d);
  r.hour = int8_t(hh);
  r.minute = int8_t(mi);
  r.second = int8_t(ss);
  return r;
}

class Cal : public ::testing::Test {
 protected:
  void SetUp() override { unsetenv("VIRUZE_HOME"); }
  // Direction 0 through lxeg2u; the status in st.
  bool to_cal(int cal, ldx_date in, ldx_date *out, int32_t *era, uint32_t *st) {
    lxlangid h = ldxtest::american(cal);
    lxglo g{};
    bool ok = lxeg2u(&h, out, &in, era, &g) == 1;
    *st = g.status;
    return ok;
  }
  bool to_greg(int cal, ldx_date in, int32_t era, ldx_date *out, uint32_t *st) {
    lxlangid h = ldxtest::american(cal);
    lxglo g{};
    bool ok = lxetbn[cal]->convert(&h, out, &in, 1, &era, &g) == 1;
    *st = g.status;
    return ok;
  }
};

struct Conv {
  int cal;
  ldx_date greg;
  int y, m, d, era;
};

TEST_F(Cal, EdgeCasesBothDirections) {
  const Conv cases[] = {
      {1, ymd(1989, 1, 8), 1, 1, 8, 3},       {1, ymd(1989, 1, 7), 64, 1, 7, 2},
      {3, ymd(2004, 1, 1), 2547, 1, 1, 0},    {2, ymd(2004, 1, 1), 93, 1, 1, 0},
      {1, ymd(2004, 6, 1), 16, 6, 1, 3},      {4, ymd(2004, 3, 21), 1383, 1, 2, -1},
      {4, ymd(2004, 3, 19), 1382, 12, 29, -1}, {5, ymd(622, 7, 16), 1, 1, 1, -1},
      {6, ymd(622, 7, 16), 1, 1, 1, -1},
  };
  for (const Conv &c : cases) {
    ldx_date out;
    int32_t era = 99;
    uint32_t st = 0;
    ASSERT_TRUE(to_cal(c.cal, c.greg, &out, &era, &st)) << c.cal << " status " << st;
    EXPECT_EQ(out.year, c.y) << c.cal;
    EXPECT_EQ(out.month, c.m) << c.cal;
    EXPECT_EQ(out.day, c.d) << c.cal;
    EXPECT_EQ(era, c.era) << c.cal;
    ldx_date back;
    ASSERT_TRUE(to_greg(c.cal, out, era, &back, &st)) << c.cal << " status " << st;
    EXPECT_EQ(back.year, c.greg.year);
    EXPECT_EQ(back.month, c.greg.month);
    EXPECT_EQ(back.day, c.greg.day);
  }
}

TEST_F(Cal, TimePassesThrough) {
  for (int cal : {1, 4, 5}) {
    ldx_date out, back;
    int32_t era;
    uint32_t st;
    ASSERT_TRUE(to_cal(cal, ymd(2010, 5, 6, 13, 14, 15), &out, &era, &st));
    EXPECT_EQ(out.hour, 13);
    EXPECT_EQ(out.second, 15);
    ASSERT_TRUE(to_greg(cal, out, era, &back, &st));
    EXPECT_EQ(back.minute, 14);
    EXPECT_EQ(back.hour, 13);
  }
}

TEST_F(Cal, PersianNowruzFormula) {
  // D(Y) is 21 + a signed byte: 20 in 2004, 21 in 2003, 22 in 1903.
  const struct {
    int year, day;
  } cases[] = {{2004, 20}, {2003, 21}, {1903, 22}};
  for (auto c : cases) {
    ldx_date out;
    int32_t era;
    uint32_t st;
    ASSERT_TRUE(to_cal(4, ymd(c.year, 3, c.day), &out, &era, &st));
    EXPECT_EQ(out.month, 1) << c.year;
    EXPECT_EQ(out.day, 1) << c.year;
    ASSERT_TRUE(to_cal(4, ymd(c.year, 3, c.day - 1), &out, &era, &st));
    EXPECT_EQ(out.month, 12) << c.year;
  }
}

TEST_F(Cal, StatusCodes) {
  ldx_date out;
  int32_t era;
  uint32_t st;
  // before the first Japanese era
  EXPECT_FALSE(to_cal(1, ymd(1868, 1, 1), &out, &era, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_ERA));
  // the day before the lunar epoch
  EXPECT_FALSE(to_cal(5, ymd(622, 7, 15), &out, &era, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_EPOCH));
  // a Persian month 2, day 31 is checked as a Gregorian date first
  EXPECT_FALSE(to_greg(4, ymd(1383, 2, 31), -1, &out, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_DATE));
  // an era that does not exist, a date outside its era
  EXPECT_FALSE(to_greg(1, ymd(5, 1, 1), 7, &out, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_NOERA));
  EXPECT_FALSE(to_greg(1, ymd(70, 1, 1), 0, &out, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_ERA));
  // a lunar month that does not exist
  EXPECT_FALSE(to_greg(6, ymd(1400, 13, 1), -1, &out, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_NOMATCH));
  // no record; direction; calendar 0 through a converter
  EXPECT_FALSE(to_cal(7, ymd(2000, 1, 1), &out, &era, &st));
  EXPECT_EQ(st, uint32_t(LXE_ST_NOCAL));
  lxlangid h = ldxtest::american(1);
  lxglo g{};
  ldx_date in = ymd(2000, 1, 1);
  EXPECT_EQ(lxecg2i(&h, &out, &in, 2, &era, &g), 0);
  EXPECT_EQ(g.status, uint32_t(LXE_ST_DIR));
  h.cal = 0;
  EXPECT_EQ(lxecg2l(&h, &out, &in, 0, &era, &g), 0);
  EXPECT_EQ(g.status, uint32_t(LXE_ST_GREG));
}

TEST_F(Cal, GregorianCopiesInPlace) {
  // In and out may be one record: calendar 0 gives the date back, not zeros.
  lxlangid h = ldxtest::american();
  lxglo g{};
  ldx_date d = ymd(1999, 12, 31, 23, 59, 58);
  int32_t era = 5;
  ASSERT_EQ(lxeg2u(&h, &d, &d, &era, &g), 1);
  EXPECT_EQ(d.year, 1999);
  EXPECT_EQ(d.day, 31);
  EXPECT_EQ(d.second, 58);
  EXPECT_EQ(era, -1);
  h.cal = 1;
  ASSERT_EQ(lxeg2u(&h, &d, &d, &era, &g), 1);
  EXPECT_EQ(d.year, 11);
  EXPECT_EQ(era, 3);
}

// ---- calendar files ------------------------------------------------------------

class CalFile : public Cal {
 protected:
  void SetUp() override {
    Cal::SetUp();
    setenv("VIRUZE_HOME", dir.path().c_str(), 1);
  }
  void TearDown() override { unsetenv("VIRUZE_HOME"); }
  TempDir dir;
};

calw::File two_eras() {
  calw::File f;
  calw::Era a;
  a.name = "Reiwa";
  a.abbr = "R";
  a.name2 = "REIWA2";
  a.abbr2 = "R2";
  a.first = 2458605;  // 2019-05-01
  a.last = 2460000;
  calw::Era b = a;
  b.name = "Next";
  b.abbr = "N";
  b.first = 2460001;
  b.last = 0;
  f.eras = {a, b};
  return f;
}

TEST_F(CalFile, FileErasFollowTheBuiltInOnes) {
  ASSERT_TRUE(calw::write(dir.path(), "ji", two_eras()));
  char name[LXE_NAME_FIELD], abbr2[LXE_ABBR_FIELD];
  lxeera e{};
  e.text[LXE_T_NAME] = name;
  e.text[LXE_T_ABBR2] = abbr2;
  ASSERT_EQ(lxegera(&lxeji, 3, &e), 1);
  EXPECT_EQ(e.last, 2458605 - 1);  // the built-in last era ends before the file's first
  ASSERT_EQ(lxegera(&lxeji, 4, &e), 1);
  EXPECT_STREQ(name, "Reiwa");
  EXPECT_STREQ(abbr2, "R2");
  EXPECT_EQ(e.len[LXE_T_NAME2], 6);
  EXPECT_EQ(e.first, 2458605);
  ASSERT_EQ(lxegera(&lxeji, 5, &e), 1);
  EXPECT_STREQ(name, "Next");
  EXPECT_EQ(lxegera(&lxeji, 6, &e), 0);
  // 2019-05-01 is year 1 of era 4; 2019-04-30 year 31 of era 3
  ldx_date out;
  int32_t era;
  uint32_t st;
  ASSERT_TRUE(to_cal(1, ymd(2019, 5, 1), &out, &era, &st));
  EXPECT_EQ(era, 4);
  EXPECT_EQ(out.year, 1);
  ASSERT_TRUE(to_cal(1, ymd(2019, 4, 30), &out, &era, &st));
  EXPECT_EQ(era, 3);
  EXPECT_EQ(out.year, 31);
  // the Persian and lunar calendars have no eras at all, file or not
  ASSERT_TRUE(calw::write(dir.path(), "pg", two_eras()));
  EXPECT_EQ(lxegera(&lxepg, 0, &e), 0);
}

TEST_F(CalFile, BrokenFilesAddNothing) {
  calw::File wrong_magic = two_eras();
  wrong_magic.magic = 1234;
  calw::File foreign = two_eras();
  foreign.foreign_order = true;
  calw::File short_file = two_eras();
  short_file.cut = 8 + 108 + 50;  // the second era cut off
  const struct {
    calw::File f;
    int last_era;
  } cases[] = {{wrong_magic, 3}, {foreign, 3}, {short_file, 4}};
  for (const auto &c : cases) {
    ASSERT_TRUE(calw::write(dir.path(), "ji", c.f));
    lxeera e{};
    int n = 0;
    while (lxegera(&lxeji, n, &e)) ++n;
    EXPECT_EQ(n - 1, c.last_era);
  }
}

TEST_F(CalFile, LongTextsAreCutInsideTheirFields) {
  calw::File f = two_eras();
  f.eras[0].name = std::string(31, 'x');
  f.eras[0].abbr = std::string(16, 'y');
  f.eras[0].lens[LXE_T_NAME] = 31;
  f.eras[0].lens[LXE_T_ABBR] = 200;
  ASSERT_TRUE(calw::write(dir.path(), "ji", f));
  char name[LXE_NAME_FIELD + 8], abbr[LXE_ABBR_FIELD + 8];
  std::memset(name, '#', sizeof name);
  std::memset(abbr, '#', sizeof abbr);
  lxeera e{};
  e.text[LXE_T_NAME] = name;
  e.text[LXE_T_ABBR] = abbr;
  ASSERT_EQ(lxegera(&lxeji, 4, &e), 1);
  EXPECT_EQ(e.len[LXE_T_NAME], 30);
  EXPECT_EQ(e.len[LXE_T_ABBR], 15);
  EXPECT_EQ(std::string(name), std::string(30, 'x'));
  EXPECT_EQ(std::string(abbr), std::string(15, 'y'));
  EXPECT_EQ(name[31], '#');
  EXPECT_EQ(abbr[16], '#');
}

TEST_F(CalFile, DeviationsShiftHijrahDatesBothWays) {
  // Day 29 of a month pushes later dates back a day; day 1 forward.
  calw::File f;
  const int32_t j29 = 2451545 + 100, j1 = 2451545 + 400;
  f.devs = {{j29, 1, 0}, {j1, 12, 0}};
  ASSERT_TRUE(calw::write(dir.path(), "eh", f));
  lxedev d{};
  ASSERT_EQ(lxegdev(&lxeeh, 1, &d), 1);
  EXPECT_EQ(d.jday, j1);
  EXPECT_EQ(d.shift, 12);
  EXPECT_EQ(lxegdev(&lxeeh, 2, &d), 0);
  EXPECT_EQ(lxegdev(&lxeah, 0, &d), 0);  // another calendar's file
}

TEST_F(CalFile, ExtremeDaysAndShiftsFailCleanly) {
  // Days and shifts at their limits: conversions go on or fail with a status.
  calw::File f;
  f.devs = {{INT32_MIN, 32767, 0}, {INT32_MAX, -32768, 0}, {2451550, 32767, 0},
            {2451551, 32767, 0}, {2451552, -32768, 0}};
  calw::Era far;
  far.name = "Far";
  far.first = INT32_MIN;
  calw::File eras;
  eras.eras = {far};
  ASSERT_TRUE(calw::write(dir.path(), "eh", f));
  ASSERT_TRUE(calw::write(dir.path(), "ji", eras));
  for (int cal : {1, 6}) {
    ldx_date out, back;
    int32_t era = -1;
    uint32_t st = 0;
    if (to_cal(cal, ymd(2024, 6, 30), &out, &era, &st)) {
      to_greg(cal, out, era, &back, &st);
    } else {
      EXPECT_GE(st, uint32_t(LXE_ST_NOCAL));
      EXPECT_LE(st, uint32_t(LXE_ST_NOERA));
    }
  }
}

TEST_F(CalFile, PathBoundAndMissingHome) {
  // VIRUZE_HOME + 22 + the short name's length must stay below 512.
  std::string home = dir.path();
  home += std::string(512 - 22 - 2 - home.size() - 1, '/');
  setenv("VIRUZE_HOME", home.c_str(), 1);
  ASSERT_TRUE(calw::write(dir.path(), "ji", two_eras()));
  lxeera e{};
  EXPECT_EQ(lxegera(&lxeji, 4, &e), 1);  // 511 bytes: found
  home += "/";
  setenv("VIRUZE_HOME", home.c_str(), 1);
  EXPECT_EQ(lxegera(&lxeji, 4, &e), 0);  // 512: refused
  unsetenv("VIRUZE_HOME");
  EXPECT_EQ(lxegera(&lxeji, 4, &e), 0);
  EXPECT_EQ(lxegera(&lxeji, 3, &e), 1);
  EXPECT_EQ(e.last, 0);
  setenv("VIRUZE_HOME", "", 1);
  EXPECT_EQ(lxegera(&lxeji, 4, &e), 0);
}

}  // namespace
