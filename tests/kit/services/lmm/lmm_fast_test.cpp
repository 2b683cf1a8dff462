// The fast arena strategy.
#include <unistd.h>

#include <random>

#include "lmm_fixture.h"
#include "lmmfs.h"

namespace {

constexpr size_t W = sizeof(void*);

// Each case runs on a heap with a mutex, whose lmmmalloc goes through the
// strategy, and on one without, whose lmmmalloc bumps the arena itself.
class FastHeap : public LmmTest, public ::testing::WithParamInterface<unsigned> {
 protected:
  void SetUp() override {
    LmmTest::SetUp();
    parent = subheap(&kSpy);
    h = subheap(&lmmgfast, parent, GetParam());
  }
  void TearDown() override {
    if (h) {
      EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
    }
    EXPECT_EQ(lmmhpfree(ctx, parent, 0), 0);
    // Everything that the arena took from its parent went back.
    EXPECT_EQ(spy.mallocs, spy.frees);
    LmmTest::TearDown();
  }
  lmmfs_vblock* cur() { return *static_cast<lmmfs_vblock**>(h->strctx); }
  char* data(lmmfs_vblock* v) { return reinterpret_cast<char*>(v + 1); }
  void* m(size_t n) { return hmalloc(ctx, h, n); }
  lmm_heap* parent = nullptr;
  lmm_heap* h = nullptr;
};

}  // namespace

TEST_P(FastHeap, FreshHeapHasEmptyVirtualBlock) {
  // The context word and a header-only virtual block.
  // The descriptor, the context word and the header-only virtual block.
  ASSERT_EQ(spy.sizes.size(), 3u);
  EXPECT_EQ(spy.sizes[0], sizeof(lmm_heap));
  EXPECT_EQ(spy.sizes[1], sizeof(void*));
  lmmfs_vblock* v = cur();
  ASSERT_NE(v, nullptr);
  EXPECT_EQ(v->freeb, 0u);
  EXPECT_EQ(v->next, nullptr);
  EXPECT_EQ(spy.sizes.back(), sizeof(lmmfs_vblock));
}

TEST_P(FastHeap, FirstAllocationOpensEightKilobytes) {
  lmmfs_vblock* v0 = cur();
  char* p = static_cast<char*>(m(10));
  lmmfs_vblock* v = cur();
  ASSERT_NE(v, v0);
  EXPECT_EQ(v->next, v0);
  EXPECT_EQ(spy.sizes.back(), sizeof(lmmfs_vblock) + 8192);
  EXPECT_EQ(p, data(v) + 2 * W);
  EXPECT_EQ(*reinterpret_cast<intptr_t*>(data(v)), 16);
  EXPECT_EQ(v->count, 1u);
  EXPECT_EQ(v->freeb, 8192 - 16 - 2 * W);
  // Consecutive blocks are contiguous.
  char* q = static_cast<char*>(m(3));
  EXPECT_EQ(q, p + 16 + 2 * W);
  EXPECT_EQ(reinterpret_cast<intptr_t*>(q)[-2], 8);
  EXPECT_EQ(lmmfree(ctx, h, p, 0), 0);  // does nothing
  EXPECT_EQ(v->count, 2u);
}

TEST_P(FastHeap, BigRequestsSizeTheirVirtualBlock) {
  m(8);
  // 5 x need above 8192.
  size_t before = spy.sizes.size();
  m(9000);
  EXPECT_EQ(spy.sizes[before], sizeof(lmmfs_vblock) + 5 * (9000 + 2 * W));
  // 5 x need above the limit: exactly need. Computed in 64 bits in both widths.
  spy.fail_above = 1u << 20;
  for (size_t n : {size_t{500000000}, size_t{900000000}}) {
    before = spy.sizes.size();
    int rec = record_count();
    EXPECT_EQ(m(n), nullptr);
    ASSERT_EQ(spy.sizes.size(), before + 1) << n;
    EXPECT_EQ(spy.sizes[before], sizeof(lmmfs_vblock) + n + 2 * W);
    auto recs = recorded_since(rec);
    bool has610 = false;
    for (auto& r : recs) has610 |= r.second == 610;
    EXPECT_TRUE(has610);
  }
  // 5 x need within the limit but refused: retried with need.
  before = spy.sizes.size();
  EXPECT_EQ(m(300000000), nullptr);
  ASSERT_EQ(spy.sizes.size(), before + 2);
  EXPECT_EQ(spy.sizes[before], sizeof(lmmfs_vblock) + 5 * (300000000 + 2 * W));
  EXPECT_EQ(spy.sizes[before + 1], sizeof(lmmfs_vblock) + 300000000 + 2 * W);
  spy.fail_above = static_cast<size_t>(-1);
  // The heap stays usable.
  EXPECT_NE(m(8), nullptr);
}

TEST_P(FastHeap, OldFreeBytesAreNotReused) {
  m(8000);  // opens 40080-ish; fill most of it
  lmmfs_vblock* v = cur();
  size_t left = v->freeb;
  m(left);  // does not fit with its header: new block
  EXPECT_NE(cur(), v);
  EXPECT_EQ(v->freeb, left);
  size_t small_before = spy.sizes.size();
  m(8);
  EXPECT_EQ(spy.sizes.size(), small_before);  // served by the newest block
}

TEST_P(FastHeap, Realloc) {
  int mark = 0;
  char* a = static_cast<char*>(m(16));
  char* b = static_cast<char*>(m(16));
  memcpy(b, "0123456789abcde", 16);
  lmmfs_vblock* v = cur();
  size_t fr = v->freeb;
  // Growing the newest block keeps its address.
  EXPECT_EQ(lmmfsrealloc(ctx, h, b, 100, 16, 0, &mark), b);
  EXPECT_EQ(reinterpret_cast<intptr_t*>(b)[-2], 104);
  EXPECT_EQ(v->freeb, fr - 88);
  // Shrinking it gives bytes back.
  EXPECT_EQ(lmmfsrealloc(ctx, h, b, 20, 16, 0, &mark), b);
  EXPECT_EQ(v->freeb, fr - 8);
  // Same rounded size: nothing.
  EXPECT_EQ(lmmfsrealloc(ctx, h, b, 17, 16, 0, &mark), b);
  // An older block: shrinks in place, grows by moving; the old copy stays.
  memcpy(a, "ABCDEFGHIJKLMNO", 16);
  EXPECT_EQ(lmmfsrealloc(ctx, h, a, 8, 16, 0, &mark), a);
  EXPECT_EQ(reinterpret_cast<intptr_t*>(a)[-2], 8);
  char* a2 = static_cast<char*>(lmmfsrealloc(ctx, h, a, 64, 100, 0, &mark));
  ASSERT_NE(a2, a);
  EXPECT_EQ(memcmp(a2, "ABCDEFGH", 8), 0);  // copy length cut to the old size
  EXPECT_EQ(memcmp(a, "ABCDEFGH", 8), 0);
  EXPECT_STREQ(b, "0123456789abcde");
}

TEST_P(FastHeap, VallocAlignsAndCountsPad) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  m(8);
  lmmfs_vblock* v = cur();
  uint32_t count = v->count;
  char* at = reinterpret_cast<char*>(v->cursor) + 8 + 2 * W;  // where the next header goes
  bool padded = reinterpret_cast<uintptr_t>(at + 2 * W) % page != 0;
  char* p = static_cast<char*>(lmmfsvalloc(ctx, h, 100, 0, nullptr));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % page, 0u);
  auto* hd = reinterpret_cast<lmmfs_bhdr*>(p - 2 * W);
  EXPECT_EQ(hd->size, 104);
  EXPECT_EQ(static_cast<size_t>(hd->align), page);
  ASSERT_EQ(cur(), v);
  EXPECT_EQ(v->count, count + (padded ? 2 : 1));  // the pad record counts as a block
  // The next allocation follows the aligned block.
  char* q = static_cast<char*>(m(8));
  EXPECT_EQ(q, p + 104 + 2 * W);
  // Growing an aligned block keeps the alignment.
  int mark = 0;
  char* p2 = static_cast<char*>(lmmfsrealloc(ctx, h, p, 5000, 100, 0, &mark));
  EXPECT_EQ(reinterpret_cast<uintptr_t>(p2) % page, 0u);
}

TEST_P(FastHeap, CallocAndOverflow) {
  int mark = 0;
  char* p = static_cast<char*>(lmmfscalloc(ctx, h, 10, 30, 0, &mark));
  ASSERT_NE(p, nullptr);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(p[i], 0);
  int rec = record_count();
  EXPECT_EQ(lmmfscalloc(ctx, h, SIZE_MAX / 2, 3, 0, &mark), nullptr);
  auto recs = recorded_since(rec);
  ASSERT_FALSE(recs.empty());
  EXPECT_EQ(recs[0].first, LMM_ETOOLARGE);
}

TEST_P(FastHeap, HeapFreeGivesEveryBlockBack) {
  for (int i = 0; i < 2000; ++i) ASSERT_NE(m(static_cast<size_t>(1 + i % 700)), nullptr);
  EXPECT_GT(spy.mallocs - spy.frees, 5);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  h = nullptr;
  EXPECT_EQ(spy.mallocs, spy.frees);
}

TEST_P(FastHeap, ParentRefusalsRecorded) {
  spy.fail_above = 0;
  EXPECT_EQ(m(10), nullptr);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 630));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 610));
  EXPECT_EQ(lmmfsvalloc(ctx, h, 10, 0, nullptr), nullptr);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 625));
  spy.fail_above = static_cast<size_t>(-1);
}

INSTANTIATE_TEST_SUITE_P(Locking, FastHeap, ::testing::Values(0u, LMM_NOMUTEX),
                         [](const ::testing::TestParamInfo<unsigned>& i) {
                           return i.param == LMM_NOMUTEX ? std::string("NoMutex")
                                                         : std::string("Mutex");
                         });

namespace {

// What one allocation left behind: where it went and the state of its
// virtual block, relative to that block, so that two heaps can be compared.
struct Placed {
  size_t vblocks;      // virtual blocks of the heap after the call
  ptrdiff_t offset;    // from the current virtual block's data start
  intptr_t size, align;
  uint32_t count;
  size_t freeb;
  bool operator==(const Placed&) const = default;
};

// One run of allocations on a fast heap made with the given flags: sizes
// across the 8-byte steps and past the virtual-block size, with in-place
// growth of the newest block between them. (Aligned allocations place pads
// by absolute address, so they cannot be compared across two heaps.)
// lmmmalloc is the caller's entry in every case.
std::vector<Placed> run_sequence(lmm_ctx* ctx, lmm_heap* parent, unsigned flags,
                                 std::vector<size_t>* parent_sizes, Spy& spy) {
  lmm_heap* h = nullptr;
  EXPECT_EQ(lmmhpinit(ctx, &h, parent, flags, nullptr, "seq", 1, &lmmgfast), 0);
  const size_t asked_before = spy.sizes.size();
  std::mt19937 rng(11);
  std::vector<Placed> out;
  int mark = 0;
  for (int i = 0; i < 3000; ++i) {
    size_t n;
    switch (rng() % 16) {
      case 0: n = 1 + rng() % 8; break;
      case 1: n = 1638 + rng() % 8; break;  // about 5 x need = 8192
      case 2: n = 8000 + rng() % 12000; break;
      default: n = 1 + rng() % 300; break;
    }
    char* p = static_cast<char*>(hmalloc(ctx, h, n));
    if (i % 41 == 7) p = static_cast<char*>(lmmfsrealloc(ctx, h, p, n + 40, n, 0, &mark));
    if (p == nullptr) {
      ADD_FAILURE() << "allocation " << i << " of " << n << " bytes failed";
      break;
    }
    auto* v = *static_cast<lmmfs_vblock**>(h->strctx);
    size_t chain = 0;
    for (lmmfs_vblock* w = v; w; w = w->next) ++chain;
    auto* hd = reinterpret_cast<lmmfs_bhdr*>(p - sizeof(lmmfs_bhdr));
    out.push_back({chain, p - reinterpret_cast<char*>(v + 1), hd->size, hd->align, v->count,
                   v->freeb});
  }
  parent_sizes->assign(spy.sizes.begin() + static_cast<ptrdiff_t>(asked_before), spy.sizes.end());
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  return out;
}

}  // namespace

// A fast heap without a mutex is bumped by lmmmalloc itself; one with a
// mutex goes through the strategy. Both lay every block out alike and ask
// their parent for the same virtual blocks.
TEST_F(LmmTest, FastHeapDirectAllocationMatchesStrategy) {
  lmm_heap* parent = subheap(&kSpy);
  std::vector<size_t> asked_direct, asked_strategy;
  auto direct = run_sequence(ctx, parent, LMM_NOMUTEX, &asked_direct, spy);
  auto strategy = run_sequence(ctx, parent, 0, &asked_strategy, spy);
  ASSERT_EQ(direct.size(), strategy.size());
  for (size_t i = 0; i < direct.size(); ++i) ASSERT_EQ(direct[i], strategy[i]) << "allocation " << i;
  EXPECT_EQ(asked_direct, asked_strategy);
  EXPECT_GT(direct.back().vblocks, 40u);
  EXPECT_EQ(lmmhpfree(ctx, parent, 0), 0);
  EXPECT_TRUE(records().empty());
}

// The checks in front of a fast heap without a mutex are the manager's: a
// size of 0 or past the limit is refused and recorded, and a size at the
// limit reaches the strategy, whose failure is recorded in turn.
TEST_F(LmmTest, FastHeapWithoutMutexKeepsManagerChecks) {
  lmm_heap* parent = subheap(&kSpy);
  lmm_heap* h = subheap(&lmmgfast, parent, LMM_NOMUTEX);
  ASSERT_EQ(h->locking, 0);
  struct Case {
    size_t size;
    int number, site;
  };
  const Case cases[] = {
      {0, LMM_EBADARG, 0},
      {LMM_MAXSIZE + 1, LMM_ETOOLARGE, 0},
      {LMM_MAXSIZE, LMM_EINTERNAL, 120},
  };
  for (const Case& c : cases) {
    int before = record_count();
    EXPECT_EQ(hmalloc(ctx, h, c.size), nullptr) << c.size;
    bool seen = false;
    for (auto& r : recorded_since(before)) seen |= r.first == c.number && r.second == c.site;
    EXPECT_TRUE(seen) << c.size;
  }
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 610));  // the strategy's own record
  EXPECT_EQ(hmalloc(nullptr, h, 8), nullptr);
  EXPECT_NE(hmalloc(ctx, h, 8), nullptr);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  EXPECT_EQ(lmmhpfree(ctx, parent, 0), 0);
}
