// NUMBER arithmetic, rounding and double conversion against what a user
// would use instead: GCC's _Decimal128 (IEEE 754 decimal, 34 digits) and
// Boost.Multiprecision's cpp_dec_float_50; lnxren against
// snprintf("%.15e"). Operands have 20 to 38 significant digits.
#include <benchmark/benchmark.h>

#include <cmath>
#include <ctime>
#include <cstdio>
#include <random>
#include <string>
#include <vector>

#include "../common/collect.h"
#include "dec128.h"
#include "ldx.h"
#include "lnx.h"

#if QEN_HAVE_BOOST_DEC
#include <boost/multiprecision/cpp_dec_float.hpp>
using dec50 = boost::multiprecision::cpp_dec_float_50;
#endif

namespace {

constexpr size_t kOperands = 1024;
constexpr int kPlaces = 4;

struct Operand {
  bool neg;
  std::string digits;  // significant digits
  int exp10;           // value = digits * 10^exp10
};

std::vector<Operand> operands(unsigned seed, size_t maxdigits) {
  std::mt19937 rng(seed);
  std::vector<Operand> v;
  for (size_t i = 0; i < kOperands; ++i) {
    size_t n = 20 + rng() % (maxdigits - 19);
    std::string d;
    d += static_cast<char>('1' + rng() % 9);
    while (d.size() < n) d += static_cast<char>('0' + rng() % 10);
    v.push_back({rng() % 2 == 1, d, -static_cast<int>(n) + static_cast<int>(rng() % 12)});
  }
  return v;
}

struct Num {
  uint8_t b[LNX_MAXPREFIXED];
};

// A NUMBER from decimal digits through the library's own operations.
Num to_number(const Operand &o) {
  Num r{};
  size_t len = 0;
  uint8_t acc[LNX_MAXPREFIXED];
  lnxcopy(lnxqzero, 0, acc, nullptr);
  for (char c : o.digits) {
    int d = c - '0';
    uint8_t dn[LNX_MAXPREFIXED];
    lnxmin(&d, 4, LNX_KIND_SIGNED, dn, nullptr);
    lnxmul(acc, 0, lnxqten, 0, acc, nullptr);
    lnxadd(acc, 0, dn, 0, acc, nullptr);
  }
  for (int e = o.exp10; e < 0; ++e) {
    static const uint8_t tenth[] = {2, 0xC0, 11};
    lnxmul(acc, 0, tenth, 0, acc, nullptr);
  }
  for (int e = o.exp10; e > 0; --e) lnxmul(acc, 0, lnxqten, 0, acc, nullptr);
  if (o.neg) lnxneg(acc, 0, acc, nullptr);
  lnxcopy(acc, 0, r.b, &len);
  lnxcopy(r.b, len, r.b, nullptr);
  return r;
}

template <typename T, typename Make>
std::vector<T> build(unsigned seed, size_t maxdigits, Make make) {
  std::vector<T> v;
  for (auto &o : operands(seed, maxdigits)) v.push_back(make(o));
  return v;
}

const std::vector<Num> &lnx_a() { static auto v = build<Num>(1, 38, to_number); return v; }
const std::vector<Num> &lnx_b() { static auto v = build<Num>(2, 38, to_number); return v; }
dec128 make_dec(const Operand &o) { return dec128_make(o.neg, o.digits.substr(0, 34).c_str(), o.exp10 + static_cast<int>(o.digits.size() > 34 ? o.digits.size() - 34 : 0)); }
const std::vector<dec128> &dec_a() { static auto v = build<dec128>(1, 38, make_dec); return v; }
const std::vector<dec128> &dec_b() { static auto v = build<dec128>(2, 38, make_dec); return v; }

template <void (*Op)(const lnx_number *, size_t, const lnx_number *, size_t, lnx_number *, size_t *)>
void BM_lnx(benchmark::State &st) {
  auto &a = lnx_a(), &b = lnx_b();
  uint8_t r[LNX_MAXPREFIXED];
  size_t i = 0;
  for (auto _ : st) {
    Op(a[i].b, 0, b[i].b, 0, r, nullptr);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_lnx<lnxadd>)->Name("add/lnxadd");
BENCHMARK(BM_lnx<lnxsub>)->Name("sub/lnxsub");
BENCHMARK(BM_lnx<lnxmul>)->Name("mul/lnxmul");

void BM_lnxrou(benchmark::State &st) {
  auto &a = lnx_a();
  uint8_t r[LNX_MAXPREFIXED];
  size_t i = 0;
  for (auto _ : st) {
    lnxrou(a[i].b, 0, r, nullptr, kPlaces);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_lnxrou)->Name("round/lnxrou");

template <dec128 (*Op)(dec128, dec128)>
void BM_dec(benchmark::State &st) {
  auto &a = dec_a(), &b = dec_b();
  size_t i = 0;
  for (auto _ : st) {
    dec128 r = Op(a[i], b[i]);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_dec<dec128_add>)->Name("add/_Decimal128");
BENCHMARK(BM_dec<dec128_sub>)->Name("sub/_Decimal128");
BENCHMARK(BM_dec<dec128_mul>)->Name("mul/_Decimal128");

void BM_decround(benchmark::State &st) {
  auto &a = dec_a();
  size_t i = 0;
  for (auto _ : st) {
    dec128 r = dec128_round(a[i], kPlaces);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_decround)->Name("round/_Decimal128");

#if QEN_HAVE_BOOST_DEC
dec50 make50(const Operand &o) {
  dec50 d((o.neg ? "-" : "") + o.digits + "e" + std::to_string(o.exp10));
  return d;
}
const std::vector<dec50> &b50_a() { static auto v = build<dec50>(1, 38, make50); return v; }
const std::vector<dec50> &b50_b() { static auto v = build<dec50>(2, 38, make50); return v; }

template <int Op>
void BM_b50(benchmark::State &st) {
  auto &a = b50_a(), &b = b50_b();
  const dec50 scale = boost::multiprecision::pow(dec50(10), kPlaces);
  size_t i = 0;
  for (auto _ : st) {
    dec50 r;
    if constexpr (Op == 0) r = a[i] + b[i];
    if constexpr (Op == 1) r = a[i] - b[i];
    if constexpr (Op == 2) r = a[i] * b[i];
    if constexpr (Op == 3) r = boost::multiprecision::round(a[i] * scale) / scale;
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_b50<0>)->Name("add/cpp_dec_float_50");
BENCHMARK(BM_b50<1>)->Name("sub/cpp_dec_float_50");
BENCHMARK(BM_b50<2>)->Name("mul/cpp_dec_float_50");
BENCHMARK(BM_b50<3>)->Name("round/cpp_dec_float_50");
#endif

const std::vector<double> &doubles() {
  static std::vector<double> v = [] {
    std::mt19937_64 rng(3);
    std::uniform_real_distribution<double> u(-1, 1);
    std::vector<double> d;
    for (size_t i = 0; i < kOperands; ++i) d.push_back(u(rng) * std::pow(10.0, static_cast<int>(rng() % 80) - 40));
    return d;
  }();
  return v;
}

void BM_lnxren(benchmark::State &st) {
  auto &d = doubles();
  uint8_t r[LNX_MAXPREFIXED];
  size_t i = 0;
  for (auto _ : st) {
    lnxren(&d[i], 8, r, nullptr);
    benchmark::DoNotOptimize(r);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_lnxren)->Name("double/lnxren");

void BM_snprintf(benchmark::State &st) {
  auto &d = doubles();
  char buf[40];
  size_t i = 0;
  for (auto _ : st) {
    std::snprintf(buf, sizeof buf, "%.15e", d[i]);
    benchmark::DoNotOptimize(buf);
    i = (i + 1) % kOperands;
  }
}
BENCHMARK(BM_snprintf)->Name("double/snprintf");

// Broken-down dates of times from 1970 to 2100: the day number and seconds
// through ldxdfd (ldxjtc inside) against gmtime_r.
constexpr int32_t kUnixDay = 2440588;
constexpr int64_t kDaySeconds = 86400;

std::vector<int64_t> unix_times() {
  std::mt19937_64 rng(7);
  std::vector<int64_t> v;
  for (size_t i = 0; i < kOperands; ++i) v.push_back(int64_t(rng() % 4102444800u));
  return v;
}

void BM_ldxdfd(benchmark::State &st) {
  const std::vector<int64_t> times = unix_times();
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  size_t i = 0;
  for (auto _ : st) {
    const int64_t t = times[i++ % kOperands];
    const ldx_julian j{int32_t(t / kDaySeconds + kUnixDay), int32_t(t % kDaySeconds)};
    ldx_date d;
    ldxdfd(&ctx, &j, &d);
    benchmark::DoNotOptimize(d);
  }
  ldxend(&ctx);
}
BENCHMARK(BM_ldxdfd)->Name("date/ldxdfd");

void BM_gmtime(benchmark::State &st) {
  const std::vector<int64_t> times = unix_times();
  size_t i = 0;
  for (auto _ : st) {
    const time_t t = time_t(times[i++ % kOperands]);
    struct tm tm;
    benchmark::DoNotOptimize(gmtime_r(&t, &tm));
    benchmark::DoNotOptimize(tm);
  }
}
BENCHMARK(BM_gmtime)->Name("date/gmtime_r");

// ours / theirs in time per operation; a target of 0 prints none.
void ratio(const Collect &c, const std::string &ours, const std::string &theirs, double target) {
  auto a = c.ns.find(ours), b = c.ns.find(theirs);
  if (a == c.ns.end() || b == c.ns.end()) return;
  std::printf("  %-14s vs %-22s %6.2fx the time", ours.c_str(), theirs.c_str(),
              a->second / b->second);
  if (target > 0) std::printf(" (target <= %.1fx)", target);
  std::printf("\n");
}

}  // namespace

// Run with --benchmark_enable_random_interleaving=true and repetitions on a
// busy machine: each ratio then compares times taken side by side.
int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  std::printf("\nRatios (below 1 means the NUMBER operation is faster):\n");
  for (const char *op : {"add", "sub", "mul", "round"}) {
    const std::string ours = std::string(op) + "/" + (op[0] == 'r' ? "lnxrou" : "lnx" + std::string(op));
    ratio(rep, ours, std::string(op) + "/_Decimal128", op[0] == 'm' ? 1.5 : 1.0);
    ratio(rep, ours, std::string(op) + "/cpp_dec_float_50", 1.0);
  }
  ratio(rep, "double/lnxren", "double/snprintf", 0.3);
  ratio(rep, "date/ldxdfd", "date/gmtime_r", 0.5);
  benchmark::Shutdown();
  return 0;
}
