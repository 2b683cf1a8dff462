// Day arithmetic: dates to day numbers and back, day of year to month and
// day. Divisions and remainders truncate; where an operand can be negative
// the algorithm says so.
#include "ldx.h"

namespace {

constexpr int32_t kFirstYear = -4712;
constexpr int32_t kLastJulianYear = 1582;
constexpr int32_t kLastJulianDay = 2299160;    // 1582-10-04
constexpr int32_t kYearDays = 365;
constexpr int32_t kFourYears = 1461;
constexpr int32_t kGregorianBase = 1721119;
constexpr int32_t kFourCenturies = 146097;
constexpr int32_t kReformGap = 10;             // 1582-10-05 to 1582-10-14

// Days in the months before month m of a common year (entry 0 unused).
constexpr int32_t ldxdom[14] = {0, 0, 31, 59, 90, 120, 151, 181, 212, 243, 273, 304, 334, 365};

int32_t dom(int32_t m) { return ldxdom[m < 0 ? 0 : m > 13 ? 13 : m]; }

}  // namespace

extern "C" {

int ldxleap(int32_t y) {
  if (y % 4 != 0) return 0;
  if (y <= kLastJulianYear) return y != kFirstYear;
  return y % 100 != 0 || y % 400 == 0;
}

int32_t ldxctj(ldx_ctx *, int16_t year, int8_t month, int8_t day) {
  const int32_t y = year, m = month, d = day;
  int32_t base = y == kFirstYear ? 0 : kYearDays * (y - kFirstYear) + (y + 4711) / 4;
  if (y > kLastJulianYear) base += (y - 1201) / 400 - (y - 1501) / 100 - kReformGap;
  const int32_t leap = (m > 2 && ldxleap(y)) ? 1 : 0;
  int32_t j = base + dom(m) + d + leap;
  if (y == kLastJulianYear && ((m == 10 && d > 14) || m > 10)) j -= kReformGap;
  return j;
}

void ldxdyc(ldx_ctx *ctx, int16_t year, int32_t t, int8_t *month, int8_t *mday) {
  const int32_t leap = ldxleap(year);
  if (!leap && t == 366) ldxerr(ctx, LDX_ERR_DOY);
  // February counts 30 days from here on.
  if (t > 59 + leap) t += 2 - leap;
  const int32_t u = t + 91;
  const int32_t k = (100 * u) / 3055;
  *month = int8_t(k - 2);
  *mday = int8_t(u - (3055 * k) / 100);
}

int32_t ldxjtc(ldx_ctx *ctx, int32_t n, int16_t *year, int8_t *month, int8_t *mday) {
  if (n < 1) ldxerr(ctx, LDX_ERR_DAYNUM);
  if (n <= kYearDays) {
    *year = int16_t(kFirstYear);
    ldxdyc(ctx, *year, n, month, mday);
    return n;
  }
  if (n <= kLastJulianDay) {
    const int32_t k = n - 366, q = k / kFourYears, r = k % kFourYears;
    const int32_t b = r / kYearDays, e = r % kYearDays;
    int32_t y, t;
    if (e == 0 && b == 4) {
      y = 4 * q - 4708;
      t = 366;
    } else {
      y = 4 * q - 4711 + b;
      t = e + 1;
    }
    *year = int16_t(y);
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
  *mday = int8_t((v % 153) / 5 + 1);
  if (i < 10) {
    *month = int8_t(i + 3);
  } else {
    *month = int8_t(i - 9);
    ++y;
  }
  *year = int16_t(y);
  return n;
}

void ldxdtd(ldx_ctx *ctx, const ldx_date *date, ldx_julian *out) {
  out->day = ldxctj(ctx, date->year, date->month, date->day);
  out->seconds = (int32_t(date->hour) * 60 + date->minute) * 60 + date->second;
}

void ldxdfd(ldx_ctx *ctx, const ldx_julian *in, ldx_date *out) {
  *out = ldx_date{};
  ldxjtc(ctx, in->day, &out->year, &out->month, &out->day);
  const int32_t s = in->seconds;
  out->hour = int8_t(s / 3600);
  out->minute = int8_t((s % 3600) / 60);
  out->second = int8_t((s % 3600) % 60);
}

}  // extern "C"
