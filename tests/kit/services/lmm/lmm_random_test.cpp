// Randomised allocate/free/realloc runs checked against a shadow model: every
// live block keeps its contents and no two live blocks overlap.
#include <map>
#include <random>

#include "lmm_fixture.h"
#include "lmmst.h"

namespace {

struct Live {
  size_t size;
  unsigned char fill;
};

void check_no_overlap(const std::map<uintptr_t, Live>& live) {
  uintptr_t end = 0;
  for (auto& [addr, l] : live) {
    ASSERT_GE(addr, end) << "blocks overlap";
    end = addr + l.size;
  }
}

void check_contents(const std::map<uintptr_t, Live>& live) {
  for (auto& [addr, l] : live) {
    auto* p = reinterpret_cast<const unsigned char*>(addr);
    for (size_t i = 0; i < l.size; i += 1 + l.size / 16)
      ASSERT_EQ(p[i], l.fill) << "at " << i << " of " << l.size;
    ASSERT_EQ(p[l.size - 1], l.fill);
  }
}

size_t pick_size(std::mt19937& rng) {
  switch (rng() % 10) {
    case 0: case 1: case 2: case 3: return 1 + rng() % 247;
    case 4: case 5: return 248 + rng() % 2000;
    case 6: case 7: return 2000 + rng() % 62000;
    case 8: return 64000 + rng() % 200000;
    default: return 1 + rng() % 64;
  }
}

void run(lmm_ctx* ctx, lmm_heap* h, const lmm_strategy* st, unsigned seed, int steps) {
  std::mt19937 rng(seed);
  std::map<uintptr_t, Live> live;
  int mark = 0;
  for (int i = 0; i < steps; ++i) {
    unsigned op = rng() % 10;
    if (live.empty() || op < 5) {
      size_t n = pick_size(rng);
      void* p = op == 4 ? st->valloc(ctx, h, n, 0, &mark) : hmalloc(ctx, h, n);
      ASSERT_NE(p, nullptr);
      auto fill = static_cast<unsigned char>(rng());
      memset(p, fill, n);
      ASSERT_TRUE(live.emplace(reinterpret_cast<uintptr_t>(p), Live{n, fill}).second);
    } else {
      auto it = live.begin();
      std::advance(it, static_cast<long>(rng() % live.size()));
      if (op < 8) {
        ASSERT_EQ(lmmfree(ctx, h, reinterpret_cast<void*>(it->first), 0), 0);
        live.erase(it);
      } else {
        size_t n = pick_size(rng);
        Live l = it->second;
        void* p = st->realloc(ctx, h, reinterpret_cast<void*>(it->first), n, l.size, 0, &mark);
        ASSERT_NE(p, nullptr);
        auto* q = static_cast<unsigned char*>(p);
        size_t kept = std::min(n, l.size);
        for (size_t k = 0; k < kept; k += 1 + kept / 8) ASSERT_EQ(q[k], l.fill);
        ASSERT_EQ(q[kept - 1], l.fill);
        live.erase(it);
        auto fill = static_cast<unsigned char>(rng());
        memset(p, fill, n);
        ASSERT_TRUE(live.emplace(reinterpret_cast<uintptr_t>(p), Live{n, fill}).second);
      }
    }
    if (i % 64 == 0) {
      check_no_overlap(live);
      check_contents(live);
    }
  }
  check_no_overlap(live);
  check_contents(live);
  // Fast heap blocks are not freed one by one; the standard heap gives back all.
  if (st == &lmmgstand) {
    for (auto& [addr, l] : live) ASSERT_EQ(lmmfree(ctx, h, reinterpret_cast<void*>(addr), 0), 0);
    auto* s = static_cast<lmmst_ctx*>(h->strctx);
    EXPECT_EQ(s->vinuse.v, 0u);
    EXPECT_EQ(s->chunks.v, 0u);
    EXPECT_EQ(s->l1, 0u);
    for (unsigned w = 0; w < 32; ++w) EXPECT_EQ(s->l2[w], 0u);
    for (unsigned c = 0; c < 5; ++c) EXPECT_EQ(s->small[c].v, 0u);
  }
}

}  // namespace

TEST_F(LmmTest, RandomStandardSubHeap) {
  for (unsigned seed : {1u, 2u, 3u}) {
    lmm_heap* h = subheap(&lmmgstand);
    run(ctx, h, &lmmgstand, seed, 6000);
    EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  }
}

TEST_F(LmmTest, RandomRootHeap) { run(ctx, root, &lmmgstand, 7, 6000); }

TEST_F(LmmTest, RandomFastArena) {
  lmm_heap* h = subheap(&lmmgfast);
  run(ctx, h, &lmmgfast, 11, 4000);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  EXPECT_EQ(static_cast<lmmst_ctx*>(root->strctx)->vinuse.v, 0u);
}

// A standard heap under a fast arena under the root heap.
TEST_F(LmmTest, RandomStandardUnderFastArena) {
  lmm_heap* fast = subheap(&lmmgfast);
  lmm_heap* h = subheap(&lmmgstand, fast);
  run(ctx, h, &lmmgstand, 5, 3000);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  EXPECT_EQ(lmmhpfree(ctx, fast, 0), 0);
}
