// Calendar arithmetic: dates to day numbers and back, day of year to month
// and day, day of the week, ISO week and ISO year, and a NUMBER of days to a
// day count with seconds.
//
// Days are counted from 1 January -4712 (day 1) to 31 December 9999 (day
// 5373484); the calendar is Julian up to 1582-10-04 and Gregorian from
// 1582-10-15. The count reserves 366 numbers for a year 0, which ldxjtc
// gives back as year 0. Every operation is pure integer arithmetic except
// ldxdow, which reads the territory's first day of the week under the
// context's NLS hold. Errors leave through ldxerr (the context's callback):
//   1843  a month outside 1 to 12 (ldxctj, ldxisw, ldxisy; ldxdom is only
//         read inside its table);
//   1848  a day of year the year does not have (ldxdyc);
//   1854  a day number outside 1 to 5373484 (ldxjtc, ldxdfd);
//   1890  the territory's first day of the week cannot be read (ldxdow).
// Days, years and times are not otherwise validated: 1582-10-05 to 10-14
// take the numbers of 10-15 to 10-24, and ldxdfd splits any seconds.
//
// Divisions and remainders truncate toward zero; where an operand can be
// negative the code says how the remainder is corrected.
#include <cstdint>
#include <limits>

#include "ldx.h"
#include "lnx.h"
#include "lxh.h"

namespace {

constexpr int32_t kFirstYear = -4712;
constexpr int32_t kLastJulianYear = 1582;
constexpr int32_t kLastJulianDay = 2299160;     // 1582-10-04
constexpr int32_t kYearDays = 365;
constexpr int32_t kLeapYearDays = 366;
constexpr int32_t kFourYears = 1461;
constexpr int32_t kGregorianBase = 1721119;
constexpr int32_t kFourCenturies = 146097;
constexpr int32_t kReformGap = 10;              // 1582-10-05 to 1582-10-14
constexpr int32_t kFebEnd = 59;                 // day of year of 28 February
constexpr int32_t kSundayRef = 2445029;         // 1982-02-28, a Sunday
constexpr int32_t kMondayRef = 2445030;         // 1982-03-01, a Monday
constexpr int32_t kWeekDays = 7;
constexpr int32_t kDaySeconds = 86400;
constexpr int kItemFirstDay = 97;               // NLS numeric item: first day of the week

constexpr int32_t kMonths = 12;

// (y + 1) and (y - 1) as the 16-bit years the operations take.
int16_t year16(int32_t y) { return static_cast<int16_t>(y); }

int32_t leap_day(int32_t year, int32_t month) { return (month > 2 && ldxleap(year)) ? 1 : 0; }

void check_month(ldx_ctx *ctx, int32_t month) {
  if (month < 1 || month > kMonths) ldxerr(ctx, LDX_ERR_MONTH);
}

// Weekday of 1 January of year y: 0 Monday to 6 Sunday.
int32_t jan1_weekday(ldx_ctx *ctx, int32_t y) {
  int32_t r = (ldxctj(ctx, year16(y), 1, 1) - kMondayRef) % kWeekDays;
  if (r < 0) r += kWeekDays;
  return r;
}

// Day of year of a date, counting the ten days of October 1582.
int32_t day_of_year(ldx_ctx *ctx, const ldx_date *date) {
  check_month(ctx, date->month);
  return ldxdom[date->month] + date->day + leap_day(date->year, date->month);
}

// The week of day D of a year whose 1 January falls on weekday w, counted
// from the year's first ISO week (0: the previous year's last week).
int32_t week_of(int32_t days, int32_t w) { return (days + w + (w < 4 ? 6 : -1)) / kWeekDays; }

}  // namespace

extern "C" {

// Days in the months before month m of a common year (entry 0 unused,
// entry 13 the year's length).
const int32_t ldxdom[14] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

// NUMBERs with their length byte: 86400, 0.5 and -0.5.
const unsigned char ldxsid[] = {0x03, 0xC3, 0x09, 0x41};
const unsigned char ldxftdp5[] = {0x02, 0xC0, 0x33};
const unsigned char ldxftdn5[] = {0x03, 0x3F, 0x33, 0x66};

int ldxleap(int32_t y) {
  if (y % 4 != 0) return 0;
  if (y <= kLastJulianYear) return y != kFirstYear;
  return y % 100 != 0 || y % 400 == 0;
}

int32_t ldxctj(ldx_ctx *ctx, int16_t year, int8_t month, int8_t day) {
  const int32_t y = year, m = month, d = day;
  check_month(ctx, m);
  int32_t base = y == kFirstYear ? 0 : kYearDays * (y - kFirstYear) + (y + 4711) / 4;
  if (y > kLastJulianYear) base += (y - 1201) / 400 - (y - 1501) / 100 - kReformGap;
  int32_t j = base + ldxdom[m] + d + leap_day(y, m);
  if (y == kLastJulianYear && ((m == 10 && d > 14) || m > 10)) j -= kReformGap;
  return j;
}

void ldxdyc(ldx_ctx *ctx, int16_t year, int32_t t, int8_t *month, int8_t *mday) {
  const int32_t leap = ldxleap(year);
  if (t < 1 || t > kYearDays + leap) ldxerr(ctx, LDX_ERR_DOY);
  // February counts 30 days from here on.
  if (t > kFebEnd + leap) t += 2 - leap;
  const int32_t u = t + 91;
  const int32_t k = (100 * u) / 3055;
  *month = static_cast<int8_t>(k - 2);
  *mday = static_cast<int8_t>(u - (3055 * k) / 100);
}

int32_t ldxjtc(ldx_ctx *ctx, int32_t n, int16_t *year, int8_t *month, int8_t *mday) {
  if (n < 1 || n > LDX_JMAX) ldxerr(ctx, LDX_ERR_DAYNUM);
  if (n <= kYearDays) {
    *year = year16(kFirstYear);
    ldxdyc(ctx, *year, n, month, mday);
    return n;
  }
  if (n <= kLastJulianDay) {
    const int32_t k = n - kLeapYearDays, q = k / kFourYears, r = k % kFourYears;
    const int32_t b = r / kYearDays, e = r % kYearDays;
    int32_t y, t;
    if (e == 0 && b == 4) {
      y = 4 * q - 4708;
      t = kLeapYearDays;
    } else {
      y = 4 * q - 4711 + b;
      t = e + 1;
    }
    *year = year16(y);
    ldxdyc(ctx, *year, t, month, mday);
    return n;
  }
  int32_t v = 4 * (n - kGregorianBase) - 1;
  const int32_t c = v / kFourCenturies;
  v -= kFourCenturies * c;
  v = 4 * (v / 4) + 3;
  int32_t y = 100 * c + v / kFourYears;
  v %= kFourYears;
  v = 5 * (v / 4 + 1) - 3;
  const int32_t i = v / 153;
  *mday = static_cast<int8_t>((v % 153) / 5 + 1);
  if (i < 10) {
    *month = static_cast<int8_t>(i + 3);
  } else {
    *month = static_cast<int8_t>(i - 9);
    ++y;
  }
  *year = year16(y);
  return n;
}

void ldxdtd(ldx_ctx *ctx, const ldx_date *date, ldx_julian *out) {
  out->day = ldxctj(ctx, date->year, date->month, date->day);
  out->seconds = (int32_t{date->hour} * 60 + date->minute) * 60 + date->second;
}

void ldxdfd(ldx_ctx *ctx, const ldx_julian *in, ldx_date *out) {
  *out = ldx_date{};
  ldxjtc(ctx, in->day, &out->year, &out->month, &out->day);
  const int32_t s = in->seconds;
  out->hour = static_cast<int8_t>(s / 3600);
  out->minute = static_cast<int8_t>((s % 3600) / 60);
  out->second = static_cast<int8_t>((s % 3600) % 60);
}

int ldxdow(ldx_ctx *ctx, int32_t day) {
  const int loaded = ldxlxi(ctx);
  const int32_t first = lxhninfo(ctx->lang, kItemFirstDay, ctx->glo);
  ldxlxt(ctx, loaded);
  if (first < 0) ldxerr(ctx, LDX_ERR_NLSFAIL);
  // Remainder corrected to 0..6 for days before the reference.
  int64_t r = (int64_t{day} - (first + int64_t{kSundayRef})) % kWeekDays;
  if (r < 0) r += kWeekDays;
  return static_cast<int>(r) + 1;
}

int ldxisw(ldx_ctx *ctx, const ldx_date *date) {
  const int32_t y = date->year;
  const int32_t days = day_of_year(ctx, date);
  int32_t week = week_of(days, jan1_weekday(ctx, y));
  if (week == 0) {
    const int32_t prev = kYearDays + ldxleap(y - 1);
    week = week_of(prev + days, jan1_weekday(ctx, y - 1));
  }
  if (week == 53 && jan1_weekday(ctx, y + 1) < 4) return 1;
  return week;
}

int ldxisy(ldx_ctx *ctx, const ldx_date *date) {
  const int32_t y = date->year;
  const int32_t days = day_of_year(ctx, date);
  if (days < 4) {
    const int32_t w = jan1_weekday(ctx, y);
    if (w > 3 && days <= kWeekDays - w) return y - 1;
  } else if (days >= 363) {
    const int32_t rest = kYearDays + ldxleap(y) - days;
    const int32_t w = jan1_weekday(ctx, y + 1);
    if (w < 4 && rest < w) return y + 1;
  }
  return y;
}

void ldxftd(ldx_ctx *, const unsigned char *num, size_t len, ldx_julian *out) {
  const int sign = lnxsgn(num, len);
  int32_t day = 0;
  lnxsni(num, len, &day, sizeof day, LNX_KIND_SIGNED);
  lnx_number whole[LNX_MAXPREFIXED], part[LNX_MAXPREFIXED];
  size_t wlen = 0, plen = 0;
  lnxmin(&day, sizeof day, LNX_KIND_SIGNED, whole, &wlen);
  lnxsub(num, len, whole, wlen, part, &plen);
  lnxmul(part, plen, ldxsid, 0, part, &plen);
  lnxadd(part, plen, sign < 0 ? ldxftdn5 : ldxftdp5, 0, part, &plen);
  int32_t seconds = 0;
  lnxsni(part, plen, &seconds, sizeof seconds, LNX_KIND_SIGNED);
  // A fraction that rounds to a whole day moves into the day: the time of
  // day stays below 24:00:00.
  if (seconds == kDaySeconds && day < std::numeric_limits<int32_t>::max()) {
    ++day;
    seconds = 0;
  } else if (seconds == -kDaySeconds && day > std::numeric_limits<int32_t>::min()) {
    --day;
    seconds = 0;
  }
  out->day = day;
  out->seconds = seconds;
}

}  // extern "C"
