// The real-free heap against what a user would use instead: mapping and
// unmapping anonymous memory for each use. Sizes 64 KB to 4 MB, every page
// written once per use. Three cycles of the heap: alloc and free (freed pages
// stay with the heap and are used again), alloc, free and release of the
// same size (the pages go back to the system each time, as with munmap), and
// the mmap/munmap cycle itself. The ratio lines are what to read.
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>

#include <benchmark/benchmark.h>

#include "collect.h"
#include "skgm.h"
#include "skgmrf.h"

namespace {

constexpr size_t kBlock = 64 * 1024;
const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));

void quiet(void *, const char *, ...) {}
void quiet_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {quiet, quiet, quiet_error};

void touch(void *p, size_t len) {
  auto *c = static_cast<volatile char *>(p);
  for (size_t off = 0; off < len; off += kPage) c[off] = 1;
}

struct Heap {
  skgm_ctx ctx{};
  skgmrf_heap *h = nullptr;
  Heap() {
    ctx.ops = &kOps;
    ctx.protectsize = static_cast<uint32_t>(kPage);
    skgmrf_params p{0, kBlock};
    sl_status err{};
    h = skgmrf_create(&err, &ctx, &p, 0);
  }
  ~Heap() {
    sl_status err{};
    if (h != nullptr) skgmrf_destroy(&err, h);
  }
};

void BM_RealFree_AllocFree(benchmark::State &state) {
  const size_t len = static_cast<size_t>(state.range(0));
  Heap heap;
  sl_status err{};
  for (auto _ : state) {
    void *p = skgmrf_alloc(&err, heap.h, len);
    if (p == nullptr) {
      state.SkipWithError("skgmrf_alloc failed");
      break;
    }
    touch(p, len);
    skgmrf_free(&err, heap.h, p);
  }
}

void BM_RealFree_AllocFreeRelease(benchmark::State &state) {
  const size_t len = static_cast<size_t>(state.range(0));
  Heap heap;
  sl_status err{};
  for (auto _ : state) {
    void *p = skgmrf_alloc(&err, heap.h, len);
    if (p == nullptr) {
      state.SkipWithError("skgmrf_alloc failed");
      break;
    }
    touch(p, len);
    skgmrf_free(&err, heap.h, p);
    size_t got = 0;
    skgmrf_release(&err, heap.h, len, &got);
    benchmark::DoNotOptimize(got);
  }
}

void BM_Mmap_Munmap(benchmark::State &state) {
  const size_t len = static_cast<size_t>(state.range(0));
  for (auto _ : state) {
    void *p = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    if (p == MAP_FAILED) {
      state.SkipWithError("mmap failed");
      break;
    }
    touch(p, len);
    munmap(p, len);
  }
}

constexpr int64_t kSizes[] = {64 << 10, 256 << 10, 1 << 20, 4 << 20};

void sizes(benchmark::internal::Benchmark *b) {
  for (int64_t s : kSizes) b->Arg(s);
}

BENCHMARK(BM_RealFree_AllocFree)->Apply(sizes);
BENCHMARK(BM_RealFree_AllocFreeRelease)->Apply(sizes);
BENCHMARK(BM_Mmap_Munmap)->Apply(sizes);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("mmap/munmap time over the heap's (above 1: the heap is faster)\n");
  for (int64_t s : kSizes) {
    const std::string arg = "/" + std::to_string(s);
    print_speedup(rep, "BM_RealFree_AllocFree" + arg, "BM_Mmap_Munmap" + arg);
    print_speedup(rep, "BM_RealFree_AllocFreeRelease" + arg, "BM_Mmap_Munmap" + arg);
  }
  benchmark::Shutdown();
  return 0;
}
