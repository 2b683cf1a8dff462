// The kit's heaps against the C library's malloc and free, and the fast arena
// against std::pmr::monotonic_buffer_resource. After the runs a table gives
// each heap's time as a ratio of its counterpart's.
#include <benchmark/benchmark.h>
#include <stdio.h>
#include <malloc.h>
#include <stdlib.h>

#include <map>
#include <memory_resource>
#include <random>
#include <string>
#include <vector>

#include "lmm.h"
#include "../common/collect.h"

namespace {

// A process block with its memory service, and heaps under its root heap.
struct Kit {
  void* block[16] = {};
  lmm_ctx* ctx = nullptr;
  Kit() {
    if (lmmrist(reinterpret_cast<lpm_meta*>(block), nullptr, 0) != 0) abort();
    ctx = static_cast<lmm_service*>(block[3])->ctx;
  }
  lmm_heap* heap(const lmm_strategy* st, unsigned flags = LMM_NOMUTEX) {
    lmm_heap* h = nullptr;
    if (lmmhpinit(ctx, &h, lmmtophp(ctx), flags, nullptr, "bench", 0, st) != 0) abort();
    return h;
  }
};
Kit& kit() {
  static Kit k;
  return k;
}

inline void* kmalloc(lmm_ctx* ctx, lmm_heap* h, size_t n) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  return lmmmalloc(ctx, h, n, 0, nullptr, 0);
#else
  return lmmmalloc(ctx, h, n, 0);
#endif
}

struct Lmm {
  lmm_ctx* ctx = kit().ctx;
  lmm_heap* h = kit().heap(&lmmgstand);
  ~Lmm() { lmmhpfree(ctx, h, 0); }
  void* alloc(size_t n) { return kmalloc(ctx, h, n); }
  void release(void* p) { lmmfree(ctx, h, p, 0); }
  void* grow(void* p, size_t n, size_t old) {
    int mark = 0;
    return lmmstrealloc(ctx, h, p, n, old, 0, &mark);
  }
};

// The same heap with its mutex taken on every malloc and free.
struct LmmLocked : Lmm {
  LmmLocked() {
    lmmhpfree(ctx, h, 0);
    h = kit().heap(&lmmgstand, 0);
  }
};

struct Libc {
  void* alloc(size_t n) { return malloc(n); }
  void release(void* p) { free(p); }
  void* grow(void* p, size_t n, size_t) { return realloc(p, n); }
};

std::vector<size_t> sizes(size_t count, size_t lo, size_t hi, unsigned seed) {
  std::mt19937 rng(seed);
  std::vector<size_t> v(count);
  for (auto& s : v) s = lo + rng() % (hi - lo + 1);
  return v;
}

// Churn with `live` blocks: each step frees one block (the newest for LIFO, the
// oldest for FIFO) and allocates another.
template <class A, bool Fifo>
void Churn(benchmark::State& state, size_t lo, size_t hi) {
  A a;
  const size_t live = static_cast<size_t>(state.range(0));
  auto sz = sizes(4096, lo, hi, 42);
  std::vector<void*> ring(live);
  for (size_t i = 0; i < live; ++i) ring[i] = a.alloc(sz[i % sz.size()]);
  size_t head = 0, k = 0;
  for (auto _ : state) {
    size_t slot = Fifo ? head : live - 1;
    a.release(ring[slot]);
    void* p = a.alloc(sz[k++ & 4095]);
    benchmark::DoNotOptimize(p);
    *static_cast<char*>(p) = 1;
    ring[slot] = p;
    if (Fifo && ++head == live) head = 0;
  }
  for (void* p : ring) a.release(p);
  state.SetItemsProcessed(state.iterations());
}

template <class A>
void SmallLifo(benchmark::State& s) { Churn<A, false>(s, 1, 247); }
template <class A>
void SmallFifo(benchmark::State& s) { Churn<A, true>(s, 1, 247); }
template <class A>
void MidChurn(benchmark::State& s) { Churn<A, true>(s, 248, 65536); }
template <class A>
void LargeChurn(benchmark::State& s) { Churn<A, true>(s, 65537, 1 << 20); }

// One live object at a time: the standard heap opens a virtual block for it
// and gives it back when it is freed.
template <class A>
void PingPong(benchmark::State& state) {
  A a;
  for (auto _ : state) {
    void* p = a.alloc(64);
    benchmark::DoNotOptimize(p);
    *static_cast<char*>(p) = 1;
    a.release(p);
  }
  state.SetItemsProcessed(state.iterations());
}

// What one ping-pong costs at least: the process allocator's zeroed block of
// the default virtual-block size, taken and given back.
void PingPongFloor(benchmark::State& state) {
  const size_t n = slmmstmsr() + 72;
  for (auto _ : state) {
    void* p = calloc(1, n);
    benchmark::DoNotOptimize(p);
    free(p);
  }
  state.SetItemsProcessed(state.iterations());
}

// A buffer grown by half again each step from 16 bytes to 1 MiB.
template <class A>
void ReallocGrowth(benchmark::State& state) {
  A a;
  for (auto _ : state) {
    size_t n = 16;
    void* p = a.alloc(n);
    while (n < (1u << 20)) {
      size_t m = n + n / 2;
      p = a.grow(p, m, n);
      static_cast<char*>(p)[m - 1] = 1;
      n = m;
    }
    a.release(p);
  }
  state.SetItemsProcessed(state.iterations());
}

// Arena use: many small objects, then everything released at once. Each
// side allocates the same sequence of sizes.
constexpr int kArenaObjects = 10000;
// What the arena should reach against pmr (pmr's time / ours): it does more
// per block (a header the strategy's realloc reads, the block count, the
// memory manager's checks), so it is not expected to match a bare bump.
constexpr double kArenaWarmGoal = 0.33;
constexpr double kArenaColdGoal = 0.4;

const std::vector<size_t>& arena_sizes() {
  static const std::vector<size_t> v = sizes(kArenaObjects, 8, 256, 7);
  return v;
}

// The fast arena under a standard heap, as a component makes it.
struct ArenaLmm {
  lmm_ctx* ctx = kit().ctx;
  lmm_heap* parent = kit().heap(&lmmgstand);
  ~ArenaLmm() { lmmhpfree(ctx, parent, 0); }
  void run() {
    lmm_heap* h = nullptr;
    lmmhpinit(ctx, &h, parent, LMM_NOMUTEX, nullptr, "bench", 0, &lmmgfast);
    for (size_t n : arena_sizes()) {
      void* p = kmalloc(ctx, h, n);
      benchmark::DoNotOptimize(p);
      *static_cast<char*>(p) = 1;
    }
    lmmhpfree(ctx, h, 0);
  }
};

struct ArenaPmr {
  void run() {
    std::pmr::monotonic_buffer_resource r;
    for (size_t n : arena_sizes()) {
      void* p = r.allocate(n, 8);
      benchmark::DoNotOptimize(p);
      *static_cast<char*>(p) = 1;
    }
  }
};

// The process allocator's settings for the arena rows, the same for both
// sides whatever ran before: glibc otherwise moves its mmap threshold up
// each time it frees a mapped block, so that which rows ran first decided
// whether an arena's memory came from fresh mappings or from the heap.
// Every block comes from the heap, and what is freed stays there.
void pin_allocator() {
  mallopt(M_MMAP_THRESHOLD, 64 << 20);
  mallopt(M_TRIM_THRESHOLD, 512 << 20);
}

// Warm: the memory an arena frees is the memory the next one gets.
template <class A>
void ArenaWarm(benchmark::State& state) {
  pin_allocator();
  A a;
  a.run();
  for (auto _ : state) a.run();
  state.SetItemsProcessed(state.iterations() * kArenaObjects);
}

// Cold: before each arena the process gives every free page back to the
// system, so that the arena's memory is faulted in afresh.
template <class A>
void ArenaCold(benchmark::State& state) {
  pin_allocator();
  A a;
  for (auto _ : state) {
    state.PauseTiming();
    malloc_trim(0);
    state.ResumeTiming();
    a.run();
  }
  state.SetItemsProcessed(state.iterations() * kArenaObjects);
}

// The arena against malloc and free, under the allocator's own settings.
void Arena_lmm(benchmark::State& state) {
  ArenaLmm a;
  for (auto _ : state) a.run();
  state.SetItemsProcessed(state.iterations() * kArenaObjects);
}

void Arena_malloc(benchmark::State& state) {
  const auto& sz = arena_sizes();
  std::vector<void*> v(kArenaObjects);
  for (auto _ : state) {
    for (size_t i = 0; i < sz.size(); ++i) {
      v[i] = malloc(sz[i]);
      *static_cast<char*>(v[i]) = 1;
    }
    for (void* p : v) free(p);
  }
  state.SetItemsProcessed(state.iterations() * kArenaObjects);
}

}  // namespace

BENCHMARK(SmallLifo<Lmm>)->Name("SmallLifo/lmm")->Arg(1000)->Arg(1000000);
BENCHMARK(SmallLifo<Libc>)->Name("SmallLifo/malloc")->Arg(1000)->Arg(1000000);
BENCHMARK(SmallLifo<LmmLocked>)->Name("SmallLifo/lmm-locked")->Arg(1000);
BENCHMARK(SmallFifo<Lmm>)->Name("SmallFifo/lmm")->Arg(1000)->Arg(1000000);
BENCHMARK(SmallFifo<Libc>)->Name("SmallFifo/malloc")->Arg(1000)->Arg(1000000);
BENCHMARK(PingPong<Lmm>)->Name("PingPong/lmm");
BENCHMARK(PingPong<Libc>)->Name("PingPong/malloc");
BENCHMARK(PingPongFloor)->Name("PingPong/calloc-vb");
BENCHMARK(MidChurn<Lmm>)->Name("MidChurn/lmm")->Arg(1000);
BENCHMARK(MidChurn<Libc>)->Name("MidChurn/malloc")->Arg(1000);
BENCHMARK(LargeChurn<Lmm>)->Name("LargeChurn/lmm")->Arg(100);
BENCHMARK(LargeChurn<Libc>)->Name("LargeChurn/malloc")->Arg(100);
BENCHMARK(ReallocGrowth<Lmm>)->Name("ReallocGrowth/lmm");
BENCHMARK(ReallocGrowth<Libc>)->Name("ReallocGrowth/malloc");
BENCHMARK(Arena_lmm)->Name("Arena/lmm");
BENCHMARK(Arena_malloc)->Name("Arena/malloc");
// The arena rows against pmr set the allocator's thresholds (for every row
// after them too): they come last. Their ratios compare medians of several
// runs of each side, so that one run slowed by the machine does not decide.
constexpr int kArenaRepetitions = 5;
BENCHMARK(ArenaWarm<ArenaLmm>)->Name("ArenaWarm/lmm")->Repetitions(kArenaRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(ArenaWarm<ArenaPmr>)->Name("ArenaWarm/pmr")->Repetitions(kArenaRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(ArenaCold<ArenaLmm>)->Name("ArenaCold/lmm")->Repetitions(kArenaRepetitions)
    ->ReportAggregatesOnly(true);
BENCHMARK(ArenaCold<ArenaPmr>)->Name("ArenaCold/pmr")->Repetitions(kArenaRepetitions)
    ->ReportAggregatesOnly(true);

namespace {

void ratio(const Collect& c, const std::string& ours, const std::string& theirs) {
  auto a = c.ns.find(ours), b = c.ns.find(theirs);
  if (a == c.ns.end() || b == c.ns.end()) return;
  printf("  %-28s vs %-28s %8.2fx the time\n", ours.c_str(), theirs.c_str(), a->second / b->second);
}

}  // namespace

int main(int argc, char** argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios (below 1 means the kit is faster):\n");
  for (const char* arg : {"/1000", "/1000000"}) {
    ratio(rep, std::string("SmallLifo/lmm") + arg, std::string("SmallLifo/malloc") + arg);
    ratio(rep, std::string("SmallFifo/lmm") + arg, std::string("SmallFifo/malloc") + arg);
  }
  ratio(rep, "SmallLifo/lmm-locked/1000", "SmallLifo/malloc/1000");
  ratio(rep, "PingPong/lmm", "PingPong/malloc");
  ratio(rep, "PingPong/lmm", "PingPong/calloc-vb");
  ratio(rep, "MidChurn/lmm/1000", "MidChurn/malloc/1000");
  ratio(rep, "LargeChurn/lmm/100", "LargeChurn/malloc/100");
  ratio(rep, "ReallocGrowth/lmm", "ReallocGrowth/malloc");
  ratio(rep, "Arena/lmm", "Arena/malloc");
  printf("\nThe fast arena against std::pmr::monotonic_buffer_resource (pmr time / ours):\n");
  print_speedup(rep, "ArenaWarm/lmm", "ArenaWarm/pmr", kArenaWarmGoal);
  print_speedup(rep, "ArenaCold/lmm", "ArenaCold/pmr", kArenaColdGoal);
  benchmark::Shutdown();
  return 0;
}
