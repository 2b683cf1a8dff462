// Date rendering against what a user would use instead: ldxdts under a
// compiled format against strftime (C locale) for the same dates, in the
// ISO form "YYYY-MM-DD HH24:MI:SS" (%Y-%m-%d %H:%M:%S) and the long form
// "fmDay, DD Month YYYY" (%A, %d %B %Y). The dates are random, 1584 to
// 9998; strftime gets its broken-down times ready, weekday and day of year
// included. The date context uses the built-in NLS data (AMERICAN).
#include <benchmark/benchmark.h>

#include <chrono>
#include <csetjmp>
#include <cstdio>
#include <cstring>
#include <ctime>
#include <random>
#include <vector>

#include "../common/collect.h"
#include "ldx.h"
#include "lxh.h"

namespace {

constexpr size_t kDates = 1024;
constexpr size_t kOut = 64;
constexpr uint8_t kFmtRoom = 64;
constexpr int32_t kUnixEpochDay = 2440588;

struct Sample {
  ldx_date d;
  std::tm tm;
};

std::vector<Sample> samples() {
  using namespace std::chrono;
  std::mt19937 rng(1584);
  const int32_t first = int32_t(sys_days{year{1584} / 1 / 1}.time_since_epoch().count());
  const int32_t last = int32_t(sys_days{year{9998} / 12 / 31}.time_since_epoch().count());
  std::uniform_int_distribution<int32_t> days(first, last);
  std::uniform_int_distribution<int> secs(0, 86399);
  std::vector<Sample> v(kDates);
  for (Sample &s : v) {
    const sys_days sd{std::chrono::days{days(rng)}};
    const year_month_day ymd{sd};
    const int t = secs(rng);
    s.tm = std::tm{};
    s.tm.tm_year = int(ymd.year()) - 1900;
    s.tm.tm_mon = int(unsigned(ymd.month())) - 1;
    s.tm.tm_mday = int(unsigned(ymd.day()));
    s.tm.tm_hour = t / 3600;
    s.tm.tm_min = t / 60 % 60;
    s.tm.tm_sec = t % 60;
    s.tm.tm_wday = int(weekday{sd}.c_encoding());
    s.tm.tm_yday = int((sd - sys_days{ymd.year() / January / 1}).count());
    s.d = ldx_date{int16_t(s.tm.tm_year + 1900), int8_t(s.tm.tm_mon + 1), int8_t(s.tm.tm_mday),
                   int8_t(s.tm.tm_hour), int8_t(s.tm.tm_min), int8_t(s.tm.tm_sec), 0};
  }
  return v;
}

const std::vector<Sample> &dates() {
  static const std::vector<Sample> v = samples();
  return v;
}

jmp_buf jb;
void jump(void *, int err) { std::longjmp(jb, err); }

// A date context over the built-in AMERICAN handle, with a format compiled.
struct Renderer {
  lxglo *glo = lxlownenv(nullptr);
  lxlangid h{};
  ldx_ctx ctx{};
  uint8_t fmt[kFmtRoom] = {};
  bool ok = false;
  explicit Renderer(const char *text) {
    if (!glo || !lxhLaToId(nullptr, 0, &h, 0, glo)) return;
    if (setjmp(jb)) return;
    ldxnbeg(&ctx, &h, jump, nullptr, glo->table, glo);
    ldxsto(&ctx, text, uint8_t(std::strlen(text)), fmt, kFmtRoom);
    ok = true;
  }
};

void BM_ldxdts(benchmark::State &st, const char *text) {
  static Renderer *cache[2];
  Renderer *&r = cache[text[0] == 'f'];
  if (!r) r = new Renderer(text);
  if (!r->ok || setjmp(jb)) {
    st.SkipWithError("the date context could not be begun, or a date raised an error");
    return;
  }
  const auto &v = dates();
  char out[kOut];
  size_t i = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(ldxdts(&r->ctx, out, kOut, &v[i].d, r->fmt));
    benchmark::ClobberMemory();
    i = (i + 1) % v.size();
  }
}

void BM_strftime(benchmark::State &st, const char *fmt) {
  const auto &v = dates();
  char out[kOut];
  size_t i = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(std::strftime(out, kOut, fmt, &v[i].tm));
    benchmark::ClobberMemory();
    i = (i + 1) % v.size();
  }
}

BENCHMARK_CAPTURE(BM_ldxdts, iso, "YYYY-MM-DD HH24:MI:SS")->Name("iso/ldxdts");
BENCHMARK_CAPTURE(BM_strftime, iso, "%Y-%m-%d %H:%M:%S")->Name("iso/strftime");
BENCHMARK_CAPTURE(BM_ldxdts, long, "fmDay, DD Month YYYY")->Name("long/ldxdts");
BENCHMARK_CAPTURE(BM_strftime, long, "%A, %d %B %Y")->Name("long/strftime");

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  // Targets: ldxdts within 1.5 and 2.5 times strftime's time.
  std::printf("\nSpeed-ups (strftime's time / ldxdts's; above 1 ldxdts is faster):\n");
  print_speedup(rep, "iso/ldxdts", "iso/strftime", 1 / 1.5);
  print_speedup(rep, "long/ldxdts", "long/strftime", 1 / 2.5);
  benchmark::Shutdown();
  return 0;
}
