// NUMBER formatted text against snprintf("%12.2f"): the same values, a
// double for snprintf and the NUMBER of that double for lnxnft, in a field
// of 12 with 2 decimals, right-justified. lnxnft takes and drops a status
// record of its own on every call; lnxnftg works under the caller's, as
// the kit's print engine calls it.
#include <benchmark/benchmark.h>

#include <cmath>
#include <cstdio>
#include <random>
#include <vector>

#include "../common/collect.h"
#include "lnx.h"
#include "lxh.h"
#include "lxz.h"

namespace {

constexpr size_t kValues = 1024;
constexpr int kWidth = 12, kDecimals = 2;

struct Values {
  std::vector<double> d;
  std::vector<std::vector<uint8_t>> n;
  Values() {
    std::mt19937_64 rng(12);
    std::uniform_real_distribution<double> u(-1, 1);
    for (size_t i = 0; i < kValues; ++i) {
      const double x = u(rng) * std::pow(10.0, static_cast<int>(rng() % 8));
      d.push_back(x);
      uint8_t r[LNX_MAXPREFIXED];
      size_t len = 0;
      lnxren(&x, sizeof x, r, &len);
      n.emplace_back(r, r + len);
    }
  }
};

const Values &values() {
  static Values v;
  return v;
}

// "%12.2f": nine integer positions, two decimals, blank fill.
lnx_fmt format() {
  lnx_fmt f{};
  f.flags = LNXF_FORMATTED | LNXF_BLANKFILL | LNXF_DOT;
  f.intpos = kWidth - kDecimals - 1;
  f.decpos = kDecimals;
  f.width = kWidth;
  f.minint = 1;
  f.mindec = kDecimals;
  return f;
}

struct Nls {
  lxglo glo{};
  lxlangid h{};
  Nls() {
    lxzinit();
    uint32_t status = 0;
    lxinitc(&glo, lxlinit(nullptr, 1, &status), nullptr, 0);
    lxhLaToId("", 0, &h, 1, &glo);
  }
};

Nls &nls() {
  static Nls n;
  return n;
}

void BM_lnxnft(benchmark::State &st) {
  const Values &v = values();
  const lnx_fmt f = format();
  Nls &e = nls();
  unsigned char out[kWidth];
  size_t i = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(lnxnft(v.n[i].data(), v.n[i].size(), &f, out, &e.h));
    benchmark::DoNotOptimize(out);
    i = (i + 1) % kValues;
  }
}
BENCHMARK(BM_lnxnft)->Name("fixed/lnxnft");

void BM_lnxnftg(benchmark::State &st) {
  const Values &v = values();
  const lnx_fmt f = format();
  Nls &e = nls();
  unsigned char out[kWidth];
  size_t i = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(lnxnftg(v.n[i].data(), v.n[i].size(), &f, out, &e.h, &e.glo));
    benchmark::DoNotOptimize(out);
    i = (i + 1) % kValues;
  }
}
BENCHMARK(BM_lnxnftg)->Name("fixed/lnxnftg");

void BM_snprintf(benchmark::State &st) {
  const Values &v = values();
  char out[kWidth + 1];
  size_t i = 0;
  for (auto _ : st) {
    benchmark::DoNotOptimize(std::snprintf(out, sizeof out, "%12.2f", v.d[i]));
    benchmark::DoNotOptimize(out);
    i = (i + 1) % kValues;
  }
}
BENCHMARK(BM_snprintf)->Name("fixed/snprintf");

void ratio(const Collect &c, const char *ours, const char *theirs, double target) {
  auto a = c.ns.find(ours), b = c.ns.find(theirs);
  if (a == c.ns.end() || b == c.ns.end()) return;
  std::printf("  %-14s vs %-16s %6.2fx the time (target <= %.1fx)\n", ours, theirs,
              a->second / b->second, target);
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  std::printf("\nRatios (below 1 means the NUMBER text is faster):\n");
  ratio(rep, "fixed/lnxnft", "fixed/snprintf", 1.5);
  ratio(rep, "fixed/lnxnftg", "fixed/snprintf", 1.5);
  benchmark::Shutdown();
  return 0;
}
