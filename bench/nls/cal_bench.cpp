// Calendar conversion: lxeg2u on 10 000 dates per calendar against ICU's
// calendars (japanese, roc, buddhist, persian, islamic-civil), with
// VIRUZE_HOME unset (no file lookups); then the Japanese and English Hijrah
// calendars with a calendar file, whose lookups open it each time.
#include <stdlib.h>

#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include "../common/collect.h"
#include "calw.h"
#include "ldx.h"
#include "lxe.h"
#include "temp_dir.h"

#ifdef QEN_HAVE_ICU
#include <unicode/calendar.h>
#include <unicode/locid.h>
#endif

namespace {

constexpr int kDates = 10000;
constexpr int32_t kFirstDay = 2444240;  // 1980-01-01
constexpr int32_t kUnixEpoch = 2440588;
constexpr double kMsPerDay = 86400000.0;

struct CalCase {
  int cal;
  const char *icu;
};
constexpr CalCase kCases[] = {{1, "japanese"}, {2, "roc"},           {3, "buddhist"},
                              {4, "persian"},  {5, "islamic-civil"}, {6, "islamic-civil"}};

const std::vector<ldx_date> &dates() {
  static std::vector<ldx_date> d = [] {
    std::vector<ldx_date> v(kDates);
    ldx_ctx ctx;
    ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
    for (int i = 0; i < kDates; ++i) {
      ldx_julian j{kFirstDay + 3 * i, 0};
      ldxdfd(&ctx, &j, &v[size_t(i)]);
    }
    return v;
  }();
  return d;
}

void Ours(benchmark::State &state, int cal) {
  lxlangid h{};
  h.cal = uint16_t(cal);
  const std::vector<ldx_date> &in = dates();
  for (auto _ : state) {
    int32_t sum = 0;
    for (const ldx_date &d : in) {
      ldx_date out;
      int32_t era;
      lxglo g{};
      lxeg2u(&h, &out, &d, &era, &g);
      sum += out.year + out.day;
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kDates);
}

#ifdef QEN_HAVE_ICU
void Icu(benchmark::State &state, const char *type) {
  UErrorCode err = U_ZERO_ERROR;
  std::string loc = std::string("en@calendar=") + type;
  std::unique_ptr<icu::Calendar> c(
      icu::Calendar::createInstance(*icu::TimeZone::getGMT(), icu::Locale(loc.c_str()), err));
  if (U_FAILURE(err)) {
    state.SkipWithError("no ICU calendar");
    return;
  }
  for (auto _ : state) {
    int32_t sum = 0;
    for (int i = 0; i < kDates; ++i) {
      c->setTime((kFirstDay + 3 * i - kUnixEpoch) * kMsPerDay, err);
      sum += c->get(UCAL_YEAR, err) + c->get(UCAL_DATE, err);
    }
    benchmark::DoNotOptimize(sum);
  }
  state.SetItemsProcessed(state.iterations() * kDates);
}
#endif

std::string home;

void WithFile(benchmark::State &state, int cal) {
  setenv("VIRUZE_HOME", home.c_str(), 1);
  Ours(state, cal);
  unsetenv("VIRUZE_HOME");
}

}  // namespace

int main(int argc, char **argv) {
  unsetenv("VIRUZE_HOME");
  home = kept_temp_dir();
  calw::File eras;
  calw::Era reiwa;
  reiwa.name = "Reiwa";
  reiwa.abbr = "R";
  reiwa.first = 2458605;
  eras.eras = {reiwa};
  calw::File devs;
  devs.devs = {{2451550, 1, 0}, {2451965, 11, 0}, {2452349, 12, 0}};
  calw::write(home, "ji", eras);
  calw::write(home, "eh", devs);
  for (const CalCase &c : kCases) {
    std::string name = "Calendar" + std::to_string(c.cal);
    benchmark::RegisterBenchmark((name + "/lxeg2u").c_str(), Ours, c.cal);
#ifdef QEN_HAVE_ICU
    benchmark::RegisterBenchmark((name + "/icu").c_str(), Icu, c.icu);
#endif
  }
  benchmark::RegisterBenchmark("Calendar1/lxeg2u-file", WithFile, 1);
  benchmark::RegisterBenchmark("Calendar6/lxeg2u-file", WithFile, 6);
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  std::printf("\nRatios time(ICU)/time(ours) (target >= 1.0 without calendar files):\n");
  for (const CalCase &c : kCases) {
    std::string n = "Calendar" + std::to_string(c.cal);
    auto a = rep.ns.find(n + "/lxeg2u"), b = rep.ns.find(n + "/icu");
    if (a != rep.ns.end() && b != rep.ns.end())
      std::printf("  calendar %d vs ICU %-14s %6.2f\n", c.cal, c.icu, b->second / a->second);
  }
  std::printf("Cost of the per-lookup opens of a calendar file (time with / without):\n");
  for (int cal : {1, 6}) {
    std::string n = "Calendar" + std::to_string(cal);
    auto a = rep.ns.find(n + "/lxeg2u"), b = rep.ns.find(n + "/lxeg2u-file");
    if (a != rep.ns.end() && b != rep.ns.end())
      std::printf("  calendar %d: %6.2fx\n", cal, b->second / a->second);
  }
  benchmark::Shutdown();
  return 0;
}
