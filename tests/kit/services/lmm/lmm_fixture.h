// A process block with its memory service, a spy strategy and helpers to read
// what the manager recorded.
#ifndef QEN_TESTS_LMM_FIXTURE_H
#define QEN_TESTS_LMM_FIXTURE_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <utility>
#include <vector>

#include "lmmi.h"

// A stand-in process block: fourteen machine words (and room to spare); the
// memory service lands in word 4, the ready flag is the first byte of word 9.
struct FakeBlock {
  void* words[16] = {};
  lpm_meta* meta() { return reinterpret_cast<lpm_meta*>(words); }
  void set_ready(bool r) { reinterpret_cast<unsigned char*>(&words[8])[0] = r ? 1 : 0; }
};

inline std::vector<std::pair<int, int>> recorded_since(int from) {
  lmm_record_log* l = lmm_recorded_log();
  std::vector<std::pair<int, int>> out;
  if (from < l->count - 32) from = l->count - 32;
  for (int i = from; i < l->count; ++i) out.emplace_back(l->rec[i % 32].number, l->rec[i % 32].site);
  return out;
}
inline int record_count() { return lmm_recorded_log()->count; }
inline const lmm_recorded& newest_record() {
  lmm_record_log* l = lmm_recorded_log();
  return l->rec[(l->count - 1) % 32];
}

// A strategy over the process allocator that counts and can be told to fail.
struct Spy {
  int mallocs = 0, frees = 0, hinits = 0, hfrees = 0;
  std::vector<size_t> sizes;  // every malloc request
  size_t fail_above = static_cast<size_t>(-1);
  bool fail_hinit = false, fail_hfree = false;
  int free_result = 0;
  size_t last_size = 0;
};
inline Spy* g_spy = nullptr;

extern "C" {
inline int spy_hinit(lmm_ctx*, lmm_heap*, void** place, unsigned, int*) {
  g_spy->hinits++;
  if (g_spy->fail_hinit) return -1;
  *place = g_spy;
  return 0;
}
inline int spy_hfree(lmm_ctx*, lmm_heap*, unsigned, int*) {
  g_spy->hfrees++;
  return g_spy->fail_hfree ? 1 : 0;
}
inline void* spy_malloc(lmm_ctx*, lmm_heap*, size_t n, unsigned, int*) {
  g_spy->sizes.push_back(n);
  g_spy->last_size = n;
  if (n > g_spy->fail_above) return nullptr;
  g_spy->mallocs++;
  return malloc(n);
}
inline int spy_free(lmm_ctx*, lmm_heap*, void* p, unsigned, int*) {
  if (g_spy->free_result) return g_spy->free_result;
  g_spy->frees++;
  free(p);
  return 0;
}
inline void* spy_calloc(lmm_ctx*, lmm_heap*, size_t, size_t, unsigned, int*) { return nullptr; }
inline void* spy_realloc(lmm_ctx*, lmm_heap*, void*, size_t, size_t, unsigned, int*) {
  return nullptr;
}
inline void* spy_valloc(lmm_ctx*, lmm_heap*, size_t, unsigned, int*) { return nullptr; }
}
inline const lmm_strategy kSpy = {spy_hinit,  spy_hfree,   spy_malloc, spy_free,
                                  spy_calloc, spy_realloc, spy_valloc};

// A ready process block with its memory service started.
class LmmTest : public ::testing::Test {
 protected:
  void SetUp() override {
    g_spy = &spy;
    ASSERT_EQ(lmmrist(block.meta(), nullptr, 0), 0);
    block.set_ready(true);
    ctx = static_cast<lmm_service*>(block.words[3])->ctx;
    root = lmmtophp(ctx);
    mark0 = record_count();
  }
  void TearDown() override {
    block.set_ready(false);
    EXPECT_EQ(lmmrist(block.meta(), nullptr, 1), 0);
    g_spy = nullptr;
  }
  lmm_heap* subheap(const lmm_strategy* st, lmm_heap* parent = nullptr, unsigned flags = 0) {
    lmm_heap* h = nullptr;
    EXPECT_EQ(lmmhpinit(ctx, &h, parent ? parent : root, flags, nullptr, __FILE__, __LINE__, st),
              0);
    return h;
  }
  std::vector<std::pair<int, int>> records() { return recorded_since(mark0); }
  bool recorded(int number, int site = 0) {
    for (auto& r : records())
      if (r.first == number && r.second == site) return true;
    return false;
  }

  FakeBlock block;
  Spy spy;
  lmm_ctx* ctx = nullptr;
  lmm_heap* root = nullptr;
  int mark0 = 0;
};

inline void* hmalloc(lmm_ctx* ctx, lmm_heap* h, size_t n, unsigned flags = 0) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  return lmmmalloc(ctx, h, n, flags, __FILE__, __LINE__);
#else
  return lmmmalloc(ctx, h, n, flags);
#endif
}

#endif
