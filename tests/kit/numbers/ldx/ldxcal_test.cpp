// Calendar arithmetic against independent references: std::chrono's civil
// calendar and weekdays over every Gregorian day, the ISO week of the week's
// Thursday, the standard Julian-calendar day-number formula, Python's
// toordinal() + 1721425 and isocalendar() for chosen dates, and an exact
// decimal model of a NUMBER of days split into day and seconds. Also the
// behaviour kept on purpose (the year -4712, year 0, the reform gap, negative
// seconds) and the errors, caught by a long-jumping callback.
#include <chrono>
#include <csetjmp>
#include <cstdint>
#include <random>
#include <cstring>
#include <string>
#include <tuple>
#include <vector>

#include <gtest/gtest.h>

#include "ldx.h"
#include "ldxtest.h"
#include "lnx.h"

namespace {

namespace chr = std::chrono;

constexpr int32_t kUnixDay = 2440588;        // 1970-01-01
constexpr int32_t kFirstGregorian = 2299161; // 1582-10-15
constexpr int32_t kLastDay = 5373484;        // 9999-12-31
constexpr int32_t kYear0First = 1721058, kYear0Last = 1721423;

// A context whose errors come back as the value of the setjmp in the macro
// below; the handle is the built-in AMERICAN one (first day Sunday).
struct Ctx {
  jmp_buf jb;
  ldx_ctx ctx;
  lxlangid h = ldxtest::american();
  Ctx() { ldxnbeg(&ctx, &h, ldxtest::jump, &jb, h.owner->table, h.owner); }
  ~Ctx() { ldxend(&ctx); }
};

#define RAISED(c, stmt) LDX_RAISED((c).jb, stmt)

chr::year_month_day civil(int32_t j) { return chr::year_month_day{chr::sys_days{chr::days{j - kUnixDay}}}; }

// The standard Julian-calendar day number (astronomical years, noon epoch).
int32_t julian_formula(int32_t y, int32_t m, int32_t d) {
  const int32_t a = (14 - m) / 12, yy = y + 4800 - a, mm = m + 12 * a - 3;
  return d + (153 * mm + 2) / 5 + 365 * yy + yy / 4 - 32083;
}

// ISO week and year by the week's Thursday.
struct Iso {
  int week, year;
};
Iso iso_of(chr::sys_days day) {
  const chr::weekday wd{day};
  const chr::sys_days thursday = day - chr::days{wd.iso_encoding() - 1} + chr::days{3};
  const chr::year_month_day t{thursday};
  const chr::sys_days jan1{t.year() / chr::January / 1};
  return {int((thursday - jan1).count() / 7 + 1), int(t.year())};
}

ldx_date date_of(int y, int m, int d) {
  ldx_date r{};
  r.year = int16_t(y);
  r.month = int8_t(m);
  r.day = int8_t(d);
  return r;
}

TEST(LdxCal, PythonCasesAndAnchors) {
  // Gregorian rows: Python's toordinal() + 1721425, isocalendar() week and
  // year, isoweekday(); iso false where the ten missing days count.
  struct Row {
    int y, m, d;
    int32_t j;
    int week, isoyear, isoweekday;
  } rows[] = {
      {1582, 10, 15, 2299161, 41, 1582, 5}, {1600, 3, 1, 2305508, 9, 1600, 3},
      {1700, 2, 28, 2342031, 8, 1700, 7},   {1700, 3, 1, 2342032, 9, 1700, 1},
      {1900, 2, 28, 2415079, 9, 1900, 3},   {1900, 3, 1, 2415080, 9, 1900, 4},
      {1970, 1, 1, 2440588, 1, 1970, 4},    {1982, 2, 28, 2445029, 8, 1982, 7},
      {1982, 3, 1, 2445030, 9, 1982, 1},    {2000, 1, 1, 2451545, 52, 1999, 6},
      {2000, 2, 29, 2451604, 9, 2000, 2},   {2004, 12, 31, 2453371, 53, 2004, 5},
      {2005, 1, 1, 2453372, 53, 2004, 6},   {2008, 12, 29, 2454830, 1, 2009, 1},
      {2010, 1, 3, 2455200, 53, 2009, 7},   {2020, 12, 31, 2459215, 53, 2020, 4},
      {2021, 1, 3, 2459218, 53, 2020, 7},   {2026, 12, 11, 2461386, 50, 2026, 5},
      {9998, 12, 31, 5373119, 53, 9998, 4}, {9999, 12, 31, 5373484, 52, 9999, 5},
  };
  Ctx c;
  for (const Row &r : rows) {
    SCOPED_TRACE(std::to_string(r.y) + "-" + std::to_string(r.m) + "-" + std::to_string(r.d));
    const ldx_date d = date_of(r.y, r.m, r.d);
    EXPECT_EQ(ldxctj(&c.ctx, d.year, d.month, d.day), r.j);
    int16_t y;
    int8_t m, dd;
    EXPECT_EQ(ldxjtc(&c.ctx, r.j, &y, &m, &dd), r.j);
    EXPECT_EQ(y, r.y);
    EXPECT_EQ(m, r.m);
    EXPECT_EQ(dd, r.d);
    // Sunday is day 1 of the AMERICA territory.
    EXPECT_EQ(ldxdow(&c.ctx, r.j), r.isoweekday % 7 + 1);
    if (r.y == 1582) continue;  // its day of year counts the ten missing days
    EXPECT_EQ(ldxisw(&c.ctx, &d), r.week);
    EXPECT_EQ(ldxisy(&c.ctx, &d), r.isoyear);
  }
}

TEST(LdxCal, EveryGregorianDayMatchesChrono) {
  Ctx c;
  for (int32_t j = kFirstGregorian; j <= kLastDay; ++j) {
    int16_t y;
    int8_t m, d;
    ldxjtc(&c.ctx, j, &y, &m, &d);
    const chr::year_month_day ref = civil(j);
    ASSERT_EQ(int(ref.year()), y) << j;
    ASSERT_EQ(unsigned(ref.month()), unsigned(m)) << j;
    ASSERT_EQ(unsigned(ref.day()), unsigned(d)) << j;
    ASSERT_EQ(ldxctj(&c.ctx, y, m, d), j);
    const chr::weekday wd{chr::sys_days{ref}};
    ASSERT_EQ(ldxdow(&c.ctx, j), int(wd.c_encoding()) + 1) << j;
    if (y >= 1584 && y <= 9998) {
      const ldx_date date = date_of(y, m, d);
      const Iso iso = iso_of(chr::sys_days{ref});
      ASSERT_EQ(ldxisw(&c.ctx, &date), iso.week) << j;
      ASSERT_EQ(ldxisy(&c.ctx, &date), iso.year) << j;
    }
  }
}

TEST(LdxCal, JulianRangeMatchesTheStandardFormula) {
  // Years are astronomical (the count has a year 0), but -4712 is a common
  // year here: its first 59 days lie one above the formula's numbers.
  Ctx c;
  for (int32_t j = 1; j < kFirstGregorian; ++j) {
    int16_t y;
    int8_t m, d;
    ldxjtc(&c.ctx, j, &y, &m, &d);
    ASSERT_EQ(julian_formula(y, m, d) + (j <= 59 ? 1 : 0), j) << y << "-" << int(m) << "-" << int(d);
    ASSERT_EQ(ldxctj(&c.ctx, y, m, d), j);
  }
  // And every Julian date the formula knows, from 1 March -4712 on.
  for (int32_t y = -4712; y <= 1582; ++y) {
    for (int32_t m = 1; m <= 12; ++m) {
      const int32_t first = julian_formula(y, m, 1);
      const int32_t next = m == 12 ? julian_formula(y + 1, 1, 1) : julian_formula(y, m + 1, 1);
      for (int32_t d = 1; d <= next - first; ++d) {
        const int32_t f = julian_formula(y, m, d);
        if (f < 60 || f >= kFirstGregorian) continue;
        ASSERT_EQ(ldxctj(&c.ctx, int16_t(y), int8_t(m), int8_t(d)), f) << y << "-" << m << "-" << d;
      }
    }
  }
}

TEST(LdxCal, KeptBehaviour) {
  Ctx c;
  int16_t y;
  int8_t m, d;
  const auto date_of_day = [&](int32_t j) {
    ldxjtc(&c.ctx, j, &y, &m, &d);
    return std::make_tuple(int(y), int(m), int(d));
  };
  using Ymd = std::tuple<int, int, int>;
  // -4712 has 365 days: 29 February -4712 does not exist, day 60 is 1 March.
  EXPECT_EQ(date_of_day(59), Ymd(-4712, 2, 28));
  EXPECT_EQ(date_of_day(60), Ymd(-4712, 3, 1));
  EXPECT_EQ(date_of_day(365), Ymd(-4712, 12, 31));
  EXPECT_EQ(date_of_day(366), Ymd(-4711, 1, 1));
  EXPECT_EQ(ldxctj(&c.ctx, -4712, 3, 1), 60);
  EXPECT_EQ(ldxctj(&c.ctx, -4708, 3, 1), 4 * 365 + 31 + 29 + 1);  // -4708 is a leap year
  // The numbers reserved for year 0 come back as year 0, a leap year.
  for (int32_t j = kYear0First; j <= kYear0Last; ++j) {
    ASSERT_EQ(std::get<0>(date_of_day(j)), 0) << j;
    ASSERT_EQ(ldxctj(&c.ctx, y, m, d), j);
  }
  EXPECT_EQ(date_of_day(kYear0First), Ymd(0, 1, 1));
  EXPECT_EQ(date_of_day(kYear0First + 59), Ymd(0, 2, 29));
  EXPECT_EQ(date_of_day(kYear0Last), Ymd(0, 12, 31));
  EXPECT_EQ(date_of_day(kYear0First - 1), Ymd(-1, 12, 31));
  EXPECT_EQ(date_of_day(kYear0Last + 1), Ymd(1, 1, 1));
  // 1582-10-05 to 10-14 take the numbers of 10-15 to 10-24.
  for (int k = 0; k < 10; ++k) {
    EXPECT_EQ(ldxctj(&c.ctx, 1582, 10, int8_t(5 + k)), kFirstGregorian + k);
    EXPECT_EQ(date_of_day(kFirstGregorian + k), Ymd(1582, 10, 15 + k));
  }
  EXPECT_EQ(ldxctj(&c.ctx, 1582, 10, 4), kFirstGregorian - 1);
  // Leap years: Julian rule up to 1582 (but not -4712), Gregorian after.
  const struct {
    int year, leap;
  } leaps[] = {{-4712, 0}, {-4708, 1}, {-1, 0}, {0, 1}, {4, 1}, {1500, 1}, {1582, 0},
               {1600, 1},  {1700, 0},  {1900, 0}, {2000, 1}, {2100, 0}, {9996, 1}};
  for (const auto &l : leaps) EXPECT_EQ(ldxleap(l.year), l.leap) << l.year;
  int8_t mm, dd;
  ldxdyc(&c.ctx, 1500, 366, &mm, &dd);
  EXPECT_EQ(mm * 100 + dd, 1231);
  ldxdyc(&c.ctx, 2000, 60, &mm, &dd);
  EXPECT_EQ(mm * 100 + dd, 229);
  ldxdyc(&c.ctx, 1900, 60, &mm, &dd);
  EXPECT_EQ(mm * 100 + dd, 301);
}

TEST(LdxCal, TimeOfDay) {
  Ctx c;
  const struct {
    int32_t seconds;
    int h, m, s;
  } rows[] = {{0, 0, 0, 0}, {59, 0, 0, 59}, {3600, 1, 0, 0}, {43200, 12, 0, 0}, {86399, 23, 59, 59}};
  for (const auto &r : rows) {
    ldx_julian j{2451545, r.seconds};
    ldx_date out;
    std::memset(&out, 0x5A, sizeof out);
    ldxdfd(&c.ctx, &j, &out);
    EXPECT_EQ(out.year * 10000 + out.month * 100 + out.day, 20000101);
    EXPECT_EQ(out.hour * 10000 + out.minute * 100 + out.second, r.h * 10000 + r.m * 100 + r.s);
    EXPECT_EQ(out.pad, 0);  // the whole record is cleared first
    ldx_julian back{};
    ldxdtd(&c.ctx, &out, &back);
    EXPECT_EQ(back.day, j.day);
    EXPECT_EQ(back.seconds, j.seconds);
  }
}

TEST(LdxCal, Errors) {
  Ctx c;
  int16_t y;
  int8_t m, d;
  ldx_date out;
  ldx_julian jd{};
  // Day numbers outside 1 to 5373484, also through ldxdfd.
  for (int32_t j : {0, -1, -2147483647 - 1, kLastDay + 1, 2147483647}) {
    EXPECT_EQ(RAISED(c, ldxjtc(&c.ctx, j, &y, &m, &d)), LDX_ERR_DAYNUM) << j;
    jd.day = j;
    EXPECT_EQ(RAISED(c, ldxdfd(&c.ctx, &jd, &out)), LDX_ERR_DAYNUM) << j;
  }
  EXPECT_EQ(RAISED(c, ldxjtc(&c.ctx, kLastDay, &y, &m, &d)), 0);
  // Months outside 1 to 12, in every operation that reads the month table.
  for (int bad : {0, 13, 14, -1, 127, -128}) {
    const ldx_date date = date_of(2000, bad, 1);
    EXPECT_EQ(RAISED(c, ldxctj(&c.ctx, 2000, int8_t(bad), 1)), LDX_ERR_MONTH) << bad;
    EXPECT_EQ(RAISED(c, ldxdtd(&c.ctx, &date, &jd)), LDX_ERR_MONTH) << bad;
    EXPECT_EQ(RAISED(c, ldxisw(&c.ctx, &date)), LDX_ERR_MONTH) << bad;
    EXPECT_EQ(RAISED(c, ldxisy(&c.ctx, &date)), LDX_ERR_MONTH) << bad;
  }
  // Days of year the year does not have.
  const struct {
    int year;
    int32_t t;
  } doys[] = {{1900, 366}, {1700, 366}, {2001, 366}, {-4712, 366}, {2000, 367},
              {2000, 0},   {2000, -1},  {2000, 2147483647}};
  for (const auto &x : doys)
    EXPECT_EQ(RAISED(c, ldxdyc(&c.ctx, int16_t(x.year), x.t, &m, &d)), LDX_ERR_DOY)
        << x.year << " " << x.t;
  EXPECT_EQ(RAISED(c, ldxdyc(&c.ctx, 2000, 366, &m, &d)), 0);
}

// ---- NUMBER of days ----------------------------------------------------------

// The NUMBER of n / 10^9 with its length byte, written from the decimal
// digits (an encoder of its own, checked by lnxchk).
std::vector<uint8_t> number_e9(int64_t n) {
  if (n == 0) return {1, 0x80};
  const bool neg = n < 0;
  uint64_t mag = neg ? uint64_t(0) - uint64_t(n) : uint64_t(n);
  // Base-100 digits: the integer part, then the fraction's nine decimals as
  // five base-100 digits (one zero decimal appended).
  std::vector<int> ip, fp;
  uint64_t whole = mag / 1000000000u, frac = (mag % 1000000000u) * 10;
  for (; whole; whole /= 100) ip.insert(ip.begin(), int(whole % 100));
  for (int k = 0; k < 5; ++k, frac /= 100) fp.insert(fp.begin(), int(frac % 100));
  int exp = int(ip.size()) - 1;
  std::vector<int> digits = ip;
  digits.insert(digits.end(), fp.begin(), fp.end());
  while (!digits.empty() && digits.front() == 0) {
    digits.erase(digits.begin());
    --exp;
  }
  while (!digits.empty() && digits.back() == 0) digits.pop_back();
  std::vector<uint8_t> out{0};
  out.push_back(uint8_t(neg ? 62 - exp : 193 + exp));
  for (int dg : digits) out.push_back(uint8_t(neg ? 101 - dg : dg + 1));
  if (neg && digits.size() < 20) out.push_back(102);
  out[0] = uint8_t(out.size() - 1);
  return out;
}

// Day and seconds of n / 10^9 days: the fraction of the day rounded half
// away from zero, a whole day carried into the day.
ldx_julian model_e9(int64_t n) {
  constexpr int64_t kE9 = 1000000000;
  int64_t day = n / kE9, frac = n - day * kE9;
  const int64_t mag = frac < 0 ? -frac : frac;
  int64_t s = (mag * 86400 + kE9 / 2) / kE9;
  if (frac < 0) s = -s;
  if (s == 86400 || s == -86400) {
    day += s / 86400;
    s = 0;
  }
  return {int32_t(day), int32_t(s)};
}

TEST(LdxCal, NumberOfDays) {
  Ctx c;
  const struct {
    int64_t e9;
    int32_t day, seconds;
  } rows[] = {
      {2500000000, 2, 43200},   {-2500000000, -2, -43200},  // negative seconds are kept
      {2999999999, 3, 0},       {-2999999999, -3, 0},       // never 24:00:00
      {0, 0, 0},                {500000000, 0, 43200},      {-500000000, 0, -43200},
      {5787, 0, 0},             {5788, 0, 1},               {-5788, 0, -1},
      {2451545999994212, 2451545, 86399},  {2451545999994213, 2451546, 0},
      {5373484000000000, 5373484, 0},      {1000000000, 1, 0},
  };
  for (const auto &r : rows) {
    const std::vector<uint8_t> num = number_e9(r.e9);
    ASSERT_TRUE(lnxchk(num.data(), 0)) << r.e9;
    ldx_julian out{-1, -1};
    ldxftd(&c.ctx, num.data(), 0, &out);
    EXPECT_EQ(out.day, r.day) << r.e9;
    EXPECT_EQ(out.seconds, r.seconds) << r.e9;
    // The counted form gives the same.
    ldx_julian counted{-1, -1};
    ldxftd(&c.ctx, num.data() + 1, num.size() - 1, &counted);
    EXPECT_EQ(counted.day, out.day);
    EXPECT_EQ(counted.seconds, out.seconds);
  }
  // Infinity gives no day a date has: the conversion to a date raises 1854.
  const uint8_t posinf[] = {LNX_POSINF0, LNX_POSINF1};
  ldx_julian inf{};
  ldxftd(&c.ctx, posinf, sizeof posinf, &inf);
  EXPECT_EQ(inf.day, 2147483647);
  ldx_date date;
  EXPECT_EQ(RAISED(c, ldxdfd(&c.ctx, &inf, &date)), LDX_ERR_DAYNUM);
  // The encoder agrees with lnxmin on whole days.
  for (int32_t days : {1, 99, 100, 2451545, -7, -2451545}) {
    lnx_number ref[LNX_MAXPREFIXED];
    size_t len = 0;
    lnxmin(&days, sizeof days, LNX_KIND_SIGNED, ref, &len);
    const std::vector<uint8_t> mine = number_e9(int64_t(days) * 1000000000);
    EXPECT_EQ(std::vector<uint8_t>(ref, ref + len), std::vector<uint8_t>(mine.begin() + 1, mine.end()));
  }
  std::mt19937_64 rng(26);
  std::uniform_int_distribution<int64_t> any(-5373484000000000, 5373484000000000);
  std::uniform_int_distribution<int64_t> small(-3000000000, 3000000000);
  for (int i = 0; i < 200000; ++i) {
    const int64_t n = (i & 1) ? any(rng) : small(rng);
    const std::vector<uint8_t> num = number_e9(n);
    ldx_julian out{};
    ldxftd(&c.ctx, num.data(), 0, &out);
    const ldx_julian want = model_e9(n);
    ASSERT_EQ(out.day, want.day) << n;
    ASSERT_EQ(out.seconds, want.seconds) << n;
  }
}

TEST(LdxCal, NumberConstants) {
  const struct {
    const unsigned char *num;
    int64_t e9;
  } rows[] = {{ldxsid, 86400000000000}, {ldxftdp5, 500000000}, {ldxftdn5, -500000000}};
  for (const auto &r : rows) {
    const std::vector<uint8_t> want = number_e9(r.e9);
    EXPECT_EQ(std::vector<uint8_t>(r.num, r.num + r.num[0] + 1), want);
  }
}

}  // namespace
