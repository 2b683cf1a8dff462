// The calendars against ICU's where the rules coincide: roc and buddhist
// within their eras, persian, islamic-civil (both Hijrah calendars), and
// japanese from the day ICU starts Meiji to the last day of Heisei.
#include <stdlib.h>

#include <memory>
#include <string>

#include <gtest/gtest.h>
#include <unicode/calendar.h>
#include <unicode/locid.h>

#include "ldx.h"
#include "ldxtest.h"
#include "lxe.h"

namespace {

constexpr int32_t kUnixEpoch = 2440588;
constexpr double kMsPerDay = 86400000.0;
constexpr int32_t kIcuMeiji = 232;  // ICU's era number of Meiji

int32_t day(int y, int m, int d) {
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  return ldxctj(&ctx, int16_t(y), int8_t(m), int8_t(d));
}

struct Range {
  int cal;
  const char *icu;
  int32_t first, last;
  int32_t era_base;  // ICU's era of our era 0 (-1: not compared)
};

TEST(LxeIcu, CalendarsAgreeWithIcu) {
  unsetenv("VIRUZE_HOME");
  const Range ranges[] = {
      {1, "japanese", day(1868, 9, 8), day(2019, 4, 30), kIcuMeiji},
      {2, "roc", day(1912, 1, 1), day(2100, 12, 31), 1},
      {3, "buddhist", day(1583, 1, 1), day(2100, 12, 31), 0},
      {4, "persian", day(1584, 1, 1), day(2100, 12, 31), -1},  // until March 1583 the year began before the reform
      {5, "islamic-civil", day(1583, 1, 1), day(2100, 12, 31), -1},
      {6, "islamic-civil", day(1583, 1, 1), day(2100, 12, 31), -1},
  };
  for (const Range &r : ranges) {
    UErrorCode err = U_ZERO_ERROR;
    std::string loc = std::string("en@calendar=") + r.icu;
    std::unique_ptr<icu::Calendar> c(
        icu::Calendar::createInstance(*icu::TimeZone::getGMT(), icu::Locale(loc.c_str()), err));
    ASSERT_TRUE(U_SUCCESS(err)) << r.icu;
    lxlangid h = ldxtest::american(r.cal);
    ldx_ctx ctx;
    ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
    int bad = 0;
    for (int32_t j = r.first; j <= r.last && bad < 5; ++j) {
      ldx_julian jd{j, 0};
      ldx_date g, out;
      ldxdfd(&ctx, &jd, &g);
      lxglo glo{};
      int32_t era = -1;
      ASSERT_EQ(lxeg2u(&h, &out, &g, &era, &glo), 1) << r.cal << " day " << j;
      c->setTime((j - kUnixEpoch) * kMsPerDay, err);
      const int y = c->get(UCAL_YEAR, err), m = c->get(UCAL_MONTH, err) + 1,
                d = c->get(UCAL_DATE, err), e = c->get(UCAL_ERA, err);
      if (out.year != y || out.month != m || out.day != d ||
          (r.era_base >= 0 && era + r.era_base != e)) {
        ADD_FAILURE() << r.icu << " day " << j << ": ours " << out.year << "-" << int(out.month)
                      << "-" << int(out.day) << " era " << era << ", ICU " << y << "-" << m << "-"
                      << d << " era " << e;
        ++bad;
      }
    }
  }
}

}  // namespace
