// The print engine against snprintf on an error line's prefix and text,
// "%s-%05d: %s": lsfpd over an argument list built once (as the error
// manager prints a record), and lsfp building the list on every call.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <stdlib.h>

#include <map>
#include <string>

#include "lem.h"
#include "lml.h"
#include "lpm.h"
#include "lpmpkg.h"
#include "lsf_ctx.h"
#include "lsfp.h"
#include "lxh.h"
#include "lxz.h"
#include "../common/collect.h"

namespace {

const char kFormat[] = "%s-%05d: %s";
const char kFacility[] = "VUV";
const char kText[] = "file not found";
const int64_t kNumber = 104;

// A formatting context over a product of its own, in US7ASCII.
struct Kit {
  lpm_product prod{};
  lsf_pkgarea area{};
  lpm_funcs iface{};
  lxglo glo{};
  lxlangid lang{};
  lsf_ctx* ctx = nullptr;
  Kit() {
    lxzinit();
    uint32_t st = 0;
    lxlobj* table = lxlinit(nullptr, 1, &st);
    lxinitc(&glo, table, nullptr, 0);
    if (!lxhLaToId("AMERICAN_AMERICA.US7ASCII", 0, &lang, 0, &glo)) abort();
    prod.m.mem = lmlinit(nullptr, [](void*, size_t n) { return malloc(n); },
                         [](void*, void* p) { free(p); });
    prod.m.errs = lwemist("AMERICAN_AMERICA.US7ASCII", nullptr, 1);
    area.product = &prod;
    iface.priv = &area;
    ctx = lsfiniu(&iface, &lang, &glo, LSF_FLAG_NOLOCK);
    if (!ctx) abort();
  }
};
Kit& kit() {
  static Kit k;
  return k;
}

void Lsfpd(benchmark::State& state) {
  Kit& k = kit();
  lsf_handle* args = lsfdl(k.ctx, LSFTXTP, kFacility, LSFIVALUE, kNumber, LSFTXTP, kText, LSFEND);
  char buf[128];
  for (auto _ : state) {
    int n = lsfpd(k.ctx, buf, sizeof buf, kFormat, args);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
  lsfdrm(k.ctx, args);
}

void Lsfpd_locked(benchmark::State& state) {
  Kit& k = kit();
  static lsf_ctx* locked = lsfiniu(&k.iface, &k.lang, &k.glo, 0);
  lsf_handle* args = lsfdl(locked, LSFTXTP, kFacility, LSFIVALUE, kNumber, LSFTXTP, kText, LSFEND);
  char buf[128];
  for (auto _ : state) {
    int n = lsfpd(locked, buf, sizeof buf, kFormat, args);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
  lsfdrm(locked, args);
}

void Lsfp(benchmark::State& state) {
  Kit& k = kit();
  char buf[128];
  for (auto _ : state) {
    int n = lsfp(k.ctx, buf, sizeof buf, kFormat, LSFTXTP, kFacility, LSFIVALUE, kNumber, LSFTXTP,
                 kText, LSFEND);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}

void Snprintf(benchmark::State& state) {
  char buf[128];
  for (auto _ : state) {
    int n = snprintf(buf, sizeof buf, kFormat, kFacility, int(kNumber), kText);
    benchmark::DoNotOptimize(n);
    benchmark::DoNotOptimize(buf);
  }
}

}  // namespace

BENCHMARK(Lsfpd)->Name("Line/lsfpd");
BENCHMARK(Lsfpd_locked)->Name("Line/lsfpd-locked");
BENCHMARK(Lsfp)->Name("Line/lsfp");
BENCHMARK(Snprintf)->Name("Line/snprintf");

namespace {

// target 0: a comparison without a target.
void ratio(const Collect& c, const std::string& ours, const std::string& theirs, double target) {
  auto a = c.ns.find(ours), b = c.ns.find(theirs);
  if (a == c.ns.end() || b == c.ns.end()) return;
  printf("  %-22s vs %-16s %6.2fx the time", ours.c_str(), theirs.c_str(), a->second / b->second);
  if (target > 0) printf(" (target <= %.1fx)", target);
  printf("\n");
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios (below 1 means the kit is faster):\n");
  ratio(rep, "Line/lsfpd", "Line/snprintf", 2.0);
  ratio(rep, "Line/lsfpd-locked", "Line/snprintf", 2.0);
  ratio(rep, "Line/lsfp", "Line/snprintf", 0);
  benchmark::Shutdown();
  return 0;
}
