// Numeric text: lxsCnvIntToNumStr against snprintf ("%d", "%x"),
// lxsCnvNumStrToInt against strtol, on values of 1 to 10 digits, and the
// English speller's seven-digit ordinals, in a US7ASCII handle of the
// numeric-text tests' installation.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>

#include <cmath>
#include <random>
#include <string>
#include <vector>

#include "../common/collect.h"
#include "lxh.h"
#include "lxo.h"
#include "lxsp.h"
#include "lxz.h"
#include "nlskit.h"
#include "numinst.h"

namespace {

constexpr int kMaxDigits = 10;
constexpr size_t kValues = 256;  // values a run cycles through
constexpr double kOrdinalTargetNs = 1000;

struct Env {
  lxglo glo{};
  lxlangid h{};
  bool ok = false;
  // values[d - 1]: values of d decimal digits; texts: their decimal text
  std::vector<int32_t> values[kMaxDigits];
  std::vector<std::string> texts[kMaxDigits];
  Env() {
    const std::string dir = numinst::write();
    if (dir.empty() || !nlskit::use(dir, &glo)) return;
    if (!nlskit::handle(nlskit::american("US7ASCII"), &glo, &h)) return;
    std::mt19937 rng(119);
    for (int d = 1; d <= kMaxDigits; ++d) {
      const int64_t lo = d == 1 ? 0 : int64_t(std::pow(10, d - 1));
      const int64_t hi = d == kMaxDigits ? INT32_MAX : int64_t(std::pow(10, d)) - 1;
      std::uniform_int_distribution<int64_t> pick(lo, hi);
      for (size_t k = 0; k < kValues; ++k) {
        int32_t v = int32_t(pick(rng));
        values[d - 1].push_back(v);
        texts[d - 1].push_back(std::to_string(v));
      }
    }
    ok = true;
  }
};
Env &env() {
  static Env e;
  return e;
}

void OursWrite(benchmark::State &st, int d, uint32_t flags) {
  Env &e = env();
  char buf[32];
  size_t k = 0;
  for (auto _ : st) {
    size_t n = lxsCnvIntToNumStr(buf, sizeof buf, e.values[d - 1][k++ % kValues], 0, flags, &e.h, &e.glo);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}
void Snprintf(benchmark::State &st, int d, const char *fmt) {
  Env &e = env();
  char buf[32];
  size_t k = 0;
  for (auto _ : st) {
    int n = snprintf(buf, sizeof buf, fmt, e.values[d - 1][k++ % kValues]);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}
void OursRead(benchmark::State &st, int d) {
  Env &e = env();
  size_t k = 0;
  for (auto _ : st) {
    const std::string &t = e.texts[d - 1][k++ % kValues];
    benchmark::DoNotOptimize(lxsCnvNumStrToInt(t.data(), t.size(), LXS_NUM_DEC, &e.h, &e.glo));
  }
}
void Strtol(benchmark::State &st, int d) {
  Env &e = env();
  size_t k = 0;
  for (auto _ : st) {
    const std::string &t = e.texts[d - 1][k++ % kValues];
    char *end;
    benchmark::DoNotOptimize(strtol(t.c_str(), &end, 10));
    benchmark::DoNotOptimize(end);
  }
}
void Ordinal7(benchmark::State &st) {
  Env &e = env();
  char buf[200];
  size_t k = 0;
  for (auto _ : st) {
    char *end = lxspln(&e.h, uint32_t(e.values[6][k++ % kValues]), buf, sizeof buf, LXSPL_ORDINAL, &e.glo);
    benchmark::DoNotOptimize(end);
  }
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!env().ok) {
    fprintf(stderr, "cannot set up the NLS installation\n");
    return 1;
  }
  for (int d = 1; d <= kMaxDigits; ++d) {
    const std::string s = "/" + std::to_string(d);
    benchmark::RegisterBenchmark(("ours/dec" + s).c_str(), OursWrite, d, LXS_NUM_DEC);
    benchmark::RegisterBenchmark(("snprintf/dec" + s).c_str(), Snprintf, d, "%d");
    benchmark::RegisterBenchmark(("ours/hex" + s).c_str(), OursWrite, d, LXS_NUM_HEX | LXS_NUM_UNSIGNED);
    benchmark::RegisterBenchmark(("snprintf/hex" + s).c_str(), Snprintf, d, "%x");
    benchmark::RegisterBenchmark(("ours/read" + s).c_str(), OursRead, d);
    benchmark::RegisterBenchmark(("strtol/read" + s).c_str(), Strtol, d);
  }
  benchmark::RegisterBenchmark("ours/ordinal/7", Ordinal7);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios time(theirs) / time(ours) (above 1: the kit is faster; writer target 3, reader 1):\n");
  for (int d = 1; d <= kMaxDigits; ++d) {
    const std::string s = "/" + std::to_string(d);
    print_speedup(rep, "ours/dec" + s, "snprintf/dec" + s, 3.0);
    print_speedup(rep, "ours/hex" + s, "snprintf/hex" + s, 3.0);
    print_speedup(rep, "ours/read" + s, "strtol/read" + s, 1.0);
  }
  auto o = rep.ns.find("ours/ordinal/7");
  if (o != rep.ns.end())
    printf("  seven-digit ordinal: %.0f ns (target below %.0f ns: %s)\n", o->second, kOrdinalTargetNs,
           o->second < kOrdinalTargetNs ? "met" : "missed");
  benchmark::Shutdown();
  return 0;
}
