// The standard strategy: slots, chunks, large blocks, buckets, virtual blocks.
#include <unistd.h>

#include "lmm_fixture.h"
#include "lmmst.h"

using lmmst::StBlock;
using lmmst::StChunk;
using lmmst::StTrailer;

namespace {

StBlock* hdr(void* p) { return reinterpret_cast<StBlock*>(static_cast<char*>(p) - 40); }
unsigned char state(void* p) { return static_cast<unsigned char*>(p)[-9]; }
StTrailer* first_vrt(lmmst_ctx* st) { return st->vinuse.get<StTrailer>(); }
int count_list(const lmmst::Link& head, size_t next_ofs) {
  int n = 0;
  for (char* p = head.get<char>(); p; p = reinterpret_cast<lmmst::Link*>(p + next_ofs)->get<char>())
    ++n;
  return n;
}
size_t page() { return static_cast<size_t>(sysconf(_SC_PAGESIZE)); }

class StdHeap : public LmmTest {
 protected:
  void SetUp() override {
    LmmTest::SetUp();
    h = subheap(&lmmgstand);
    st = static_cast<lmmst_ctx*>(h->strctx);
  }
  void TearDown() override {
    EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
    // Nothing of the sub-heap stays in the root heap.
    EXPECT_EQ(static_cast<lmmst_ctx*>(root->strctx)->vinuse.v, 0u);
    LmmTest::TearDown();
  }
  void* m(size_t n) { return hmalloc(ctx, h, n); }
  int f(void* p) { return lmmfree(ctx, h, p, 0); }
  lmm_heap* h = nullptr;
  lmmst_ctx* st = nullptr;
};

}  // namespace

TEST_F(StdHeap, FirstSmallAllocationCarvesChunkFromDefaultVirtualBlock) {
  if (page() > 8192) GTEST_SKIP() << "figures for pages up to 8 KiB";
  char* p = static_cast<char*>(m(1));
  ASSERT_NE(p, nullptr);
  StTrailer* tr = first_vrt(st);
  ASSERT_NE(tr, nullptr);
  EXPECT_EQ(tr->total, 139264u);
  char* v = tr->start.get<char>();
  EXPECT_EQ(reinterpret_cast<char*>(tr), v + 139264 - 32);
  // The chunk is the payload of the first block, cut to 8192.
  auto* b = reinterpret_cast<StBlock*>(v);
  EXPECT_EQ(b->size, 8192u);
  EXPECT_EQ(b->state, 0x0F);
  auto* c = reinterpret_cast<StChunk*>(v + 40);
  EXPECT_EQ(st->chunks.get<StChunk>(), c);
  EXPECT_EQ(c->inuse, 1u);
  EXPECT_EQ(c->freeb, 8192u - 56 - 32);
  // First slot: class byte in the chunk header's last byte, chunk pointer at p - 8.
  EXPECT_EQ(p, v + 40 + 56 + 8);
  EXPECT_EQ(c->firstclass, 0x08);
  EXPECT_EQ(state(p), 0x08);
  EXPECT_EQ(reinterpret_cast<lmmst::Link*>(p - 8)->get<StChunk>(), c);
  // The rest of the virtual block is one free block in bucket 1024.
  StBlock* rest = st->buckets[1024].v ? hdr(st->buckets[1024].get<char>()) : nullptr;
  ASSERT_NE(rest, nullptr);
  EXPECT_EQ(rest->size, 130960u);
  EXPECT_EQ(rest->state, 0x07);
  EXPECT_EQ(st->l1, 0u);
  EXPECT_EQ(f(p), 0);
  // The chunk's only slot freed the chunk and gave the virtual block back.
  EXPECT_EQ(st->vinuse.v, 0u);
  EXPECT_EQ(st->chunks.v, 0u);
  EXPECT_EQ(st->buckets[1024].v, 0u);
}

TEST_F(StdHeap, SmallClassesAndSlotSteps) {
  struct Case {
    size_t n;
    unsigned cls;
    ptrdiff_t step;
  };
  const Case cases[] = {{1, 0, 32}, {23, 0, 32}, {24, 1, 64}, {55, 1, 64},
                        {56, 2, 128}, {119, 2, 128}, {120, 3, 256}, {247, 3, 256}};
  for (const Case& c : cases) {
    char* a = static_cast<char*>(m(c.n));
    char* b = static_cast<char*>(m(c.n));
    ASSERT_TRUE(a && b);
    EXPECT_EQ(state(a), 0x08 | c.cls) << c.n;
    EXPECT_EQ(b - a, c.step) << c.n;
    memset(a, 0x5A, c.n);  // the caller's bytes end before the next class byte
    EXPECT_EQ(state(b), 0x08 | c.cls);
    EXPECT_EQ(f(a), 0);
    EXPECT_EQ(state(a), c.cls);  // free: in-use bit cleared, slot on its class list
    EXPECT_EQ(st->small[c.cls].get<char>(), a);
    EXPECT_EQ(m(c.n), a);        // taken again from the list
    EXPECT_EQ(f(a), 0);
    EXPECT_EQ(f(b), 0);
  }
  EXPECT_EQ(st->vinuse.v, 0u);
}

TEST_F(StdHeap, LargeBlockOf248Bytes) {
  void* keep = m(1000);  // keeps the virtual block
  char* p = static_cast<char*>(m(248));
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(state(p), 0x0F);
  EXPECT_EQ(hdr(p)->size, 256u);
  EXPECT_EQ(hdr(p)->bucket.get<lmmst::Link>(), &st->buckets[4]);
  EXPECT_EQ(f(p), 0);
  EXPECT_EQ(state(p), 0x07);
  EXPECT_EQ(f(p), 0);  // twice: nothing the second time
  EXPECT_EQ(state(p), 0x07);
  EXPECT_EQ(f(keep), 0);
  EXPECT_EQ(st->vinuse.v, 0u);
}

TEST_F(StdHeap, DoubleFreeOfSlotDoesNothing) {
  void* a = m(10);
  void* b = m(10);
  EXPECT_EQ(f(a), 0);
  EXPECT_EQ(f(a), 0);
  EXPECT_EQ(count_list(st->small[0], 8), 1);
  EXPECT_EQ(static_cast<StChunk*>(st->chunks.get<StChunk>())->inuse, 1u);
  EXPECT_EQ(f(b), 0);
}

TEST_F(StdHeap, BucketSearchTable) {
  // Set bits by hand: buckets 5, 40 and 700.
  st->l2[0] = 1u << 5;
  st->l2[1] = 1u << 8;
  st->l2[21] = 1u << 28;
  st->l1 = 1u | 2u | (1u << 21);
  struct Case {
    uint64_t s;
    unsigned bucket;
  };
  const Case cases[] = {{64, 5},     {320, 5},    {384, 40},    {2048, 40},  {2560, 40},
                        {2624, 700}, {44800, 700}, {44864, 1024}, {65536, 1024}, {1 << 20, 1024}};
  for (const Case& c : cases) EXPECT_EQ(lmmst::gslt(st, c.s), c.bucket) << c.s;
  memset(st->l2, 0, sizeof st->l2);
  st->l1 = 0;
}

TEST_F(StdHeap, SplitMergeAndBitmap) {
  char* a = static_cast<char*>(m(1000));
  char* b = static_cast<char*>(m(1000));
  char* c = static_cast<char*>(m(1000));
  ASSERT_TRUE(a && b && c);
  // Cut one after the other from the same virtual block.
  EXPECT_EQ(b, a + 1024 + 40);
  EXPECT_EQ(c, b + 1024 + 40);
  EXPECT_EQ(hdr(b)->prev.get<StBlock>(), hdr(a));
  EXPECT_EQ(hdr(b)->next.get<StBlock>(), hdr(c));
  EXPECT_EQ(f(b), 0);
  EXPECT_EQ(state(b), 0x07);
  EXPECT_EQ(st->l2[0], 1u << 16);  // 1024 bytes: bucket 16
  EXPECT_EQ(st->l1, 1u);
  EXPECT_EQ(f(a), 0);  // merges with b: 2088 bytes, bucket 32
  EXPECT_EQ(hdr(a)->size, 2088u);
  EXPECT_EQ(st->l2[0], 0u);
  EXPECT_EQ(st->l2[1], 1u);
  EXPECT_EQ(st->l1, 2u);
  EXPECT_EQ(st->buckets[32].get<char>(), a);
  // A 2000-byte request finds bucket 32; 2088 is too small to cut.
  char* d = static_cast<char*>(m(2000));
  EXPECT_EQ(d, a);
  EXPECT_EQ(hdr(d)->size, 2088u);
  EXPECT_EQ(st->l1, 0u);
  EXPECT_EQ(f(d), 0);
  EXPECT_EQ(f(c), 0);  // everything merges, the virtual block goes back
  EXPECT_EQ(st->vinuse.v, 0u);
  EXPECT_EQ(st->l1, 0u);
  EXPECT_EQ(st->buckets[32].v, 0u);
}

TEST_F(StdHeap, CutLeavesAtLeast256) {
  // A free block of 2088 bytes holds an 1856-byte request without a cut
  // (2088 < 1856 + 296) but a 1024-byte one with it.
  char* a = static_cast<char*>(m(1000));
  char* b = static_cast<char*>(m(1000));
  char* keep = static_cast<char*>(m(1000));
  f(a);
  f(b);
  char* x = static_cast<char*>(m(1800));
  EXPECT_EQ(x, a);
  EXPECT_EQ(hdr(x)->size, 2088u);
  f(x);
  char* y = static_cast<char*>(m(1024));
  EXPECT_EQ(y, a);
  EXPECT_EQ(hdr(y)->size, 1024u);
  StBlock* rest = hdr(y)->next.get<StBlock>();
  EXPECT_EQ(rest->size, 2088u - 1024 - 40);
  EXPECT_EQ(rest->state, 0x07);
  f(y);
  f(keep);
}

TEST_F(StdHeap, ChunkFreedWhenAllSlotsFree) {
  std::vector<void*> v;
  for (int i = 0; i < 300; ++i) v.push_back(m(20));  // 254 slots fit a chunk
  EXPECT_EQ(count_list(st->chunks, 0), 2);
  char* c1 = st->chunks.get<char>();
  // Free the first chunk's slots out of order.
  for (int i = 253; i >= 0; i -= 2) EXPECT_EQ(f(v[static_cast<size_t>(i)]), 0);
  for (int i = 0; i < 254; i += 2) EXPECT_EQ(f(v[static_cast<size_t>(i)]), 0);
  EXPECT_EQ(count_list(st->chunks, 0), 1);
  EXPECT_NE(st->chunks.get<char>(), c1);
  // Its free slots left the class list with it.
  EXPECT_EQ(count_list(st->small[0], 8), 0);
  for (size_t i = 254; i < v.size(); ++i) EXPECT_EQ(f(v[i]), 0);
  EXPECT_EQ(st->vinuse.v, 0u);
}

TEST_F(StdHeap, VirtualBlockForLargeRequest) {
  char* p = static_cast<char*>(m(200001));
  ASSERT_NE(p, nullptr);
  StTrailer* tr = first_vrt(st);
  EXPECT_EQ(tr->total, 200064u + 72);
  EXPECT_EQ(hdr(p)->size, tr->total - 72);
  EXPECT_EQ(f(p), 0);
  EXPECT_EQ(st->vinuse.v, 0u);
}

TEST_F(StdHeap, VallocAlignedAndReallyFreed) {
  for (size_t n : {1u, 100u, 5000u}) {
    char* p = static_cast<char*>(lmmstvalloc(ctx, h, n, 0, nullptr));
    ASSERT_NE(p, nullptr);
    EXPECT_EQ(reinterpret_cast<uintptr_t>(p) % page(), 0u);
    EXPECT_EQ(state(p), 0x06);
    uint64_t off = reinterpret_cast<lmmst::Link*>(p - 8)->v;
    EXPECT_GE(off, 16u);
    EXPECT_EQ(state(p - off), 0x0F);
    memset(p, 1, n);
    EXPECT_EQ(f(p), 0);
    // The underlying block was freed: its virtual block went back.
    EXPECT_EQ(st->vinuse.v, 0u) << n;
  }
}

TEST_F(StdHeap, ReallocInPlaceAndMoved) {
  int mark = 0;
  char* a = static_cast<char*>(m(1000));
  char* b = static_cast<char*>(m(1000));
  char* keep = static_cast<char*>(m(1000));
  for (int i = 0; i < 1000; ++i) a[i] = static_cast<char>(i);
  // Shrink in place: cut to 320, the rest filed.
  EXPECT_EQ(lmmstrealloc(ctx, h, a, 300, 1000, 0, &mark), a);
  EXPECT_EQ(hdr(a)->size, 320u);
  StBlock* rest = hdr(a)->next.get<StBlock>();
  EXPECT_EQ(rest->state, 0x07);
  EXPECT_EQ(rest->size, 1024u - 320 - 40);
  // Grow in place into that free rest.
  EXPECT_EQ(lmmstrealloc(ctx, h, a, 900, 1000, 0, &mark), a);
  EXPECT_EQ(hdr(a)->size, 1024u);
  for (int i = 0; i < 300; ++i) ASSERT_EQ(a[i], static_cast<char>(i));
  // Same rounded size: same pointer.
  EXPECT_EQ(lmmstrealloc(ctx, h, a, 1000, 1000, 0, &mark), a);
  // Shrink next to a free block: the two free blocks behind join.
  EXPECT_EQ(f(b), 0);
  EXPECT_EQ(lmmstrealloc(ctx, h, a, 300, 1000, 0, &mark), a);
  rest = hdr(a)->next.get<StBlock>();
  EXPECT_EQ(rest->size, (1024u - 320 - 40) + 1024 + 40);
  EXPECT_EQ(rest->next.get<StBlock>(), hdr(keep));
  // Grow past the neighbours: moved, contents kept up to the copy length.
  char* z = static_cast<char*>(lmmstrealloc(ctx, h, a, 5000, 200, 0, &mark));
  ASSERT_NE(z, nullptr);
  EXPECT_NE(z, a);
  for (int i = 0; i < 200; ++i) ASSERT_EQ(z[i], static_cast<char>(i));
  // Flag 0x1 copies the whole old block.
  memset(keep, 9, 1000);
  char* k2 = static_cast<char*>(lmmstrealloc(ctx, h, keep, 70000, 10, LMM_COPYALL, &mark));
  ASSERT_NE(k2, nullptr);
  EXPECT_EQ(k2[999], 9);
  // Small slots: in place within their class, moved beyond it.
  char* s = static_cast<char*>(m(10));
  EXPECT_EQ(lmmstrealloc(ctx, h, s, 23, 10, 0, &mark), s);
  strcpy(s, "abcdefghi");
  char* s2 = static_cast<char*>(lmmstrealloc(ctx, h, s, 100, 100, 0, &mark));
  EXPECT_NE(s2, s);
  EXPECT_STREQ(s2, "abcdefghi");
  EXPECT_EQ(state(s2), 0x0A);
  // A page-aligned block stays while it fits and moves page-aligned.
  char* pg = static_cast<char*>(lmmstvalloc(ctx, h, 100, 0, &mark));
  EXPECT_EQ(lmmstrealloc(ctx, h, pg, 100, 100, 0, &mark), pg);
  char* pg2 = static_cast<char*>(lmmstrealloc(ctx, h, pg, 3 * page(), 100, 0, &mark));
  EXPECT_NE(pg2, pg);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(pg2) % page(), 0u);
  for (void* p : {static_cast<void*>(z), static_cast<void*>(k2), static_cast<void*>(s2),
                  static_cast<void*>(pg2)})
    EXPECT_EQ(f(p), 0);
  EXPECT_EQ(st->vinuse.v, 0u);
}

TEST_F(StdHeap, CallocZeroesAndChecksOverflow) {
  int mark = 0;
  char* p = static_cast<char*>(m(3000));
  memset(p, 0xFF, 3000);
  f(p);
  char* q = static_cast<char*>(lmmstcalloc(ctx, h, 30, 100, 0, &mark));
  ASSERT_NE(q, nullptr);
  for (int i = 0; i < 3000; ++i) ASSERT_EQ(q[i], 0);
  f(q);
  int before = record_count();
  EXPECT_EQ(lmmstcalloc(ctx, h, SIZE_MAX / 8, 16, 0, &mark), nullptr);
  EXPECT_EQ(lmmstcalloc(ctx, h, 65536, 65536, 0, &mark), nullptr);
  auto recs = recorded_since(before);
  ASSERT_EQ(recs.size(), 2u);
  EXPECT_EQ(recs[0], std::make_pair(LMM_ETOOLARGE, 0));
  EXPECT_EQ(recs[1], std::make_pair(LMM_ETOOLARGE, 0));
  // A refused allocation is the calloc's own failure.
  lmm_heap* spyhp = subheap(&kSpy);
  lmm_heap* sub = subheap(&lmmgstand, spyhp);
  spy.fail_above = 0;
  EXPECT_EQ(lmmstcalloc(ctx, sub, 4, 4, 0, &mark), nullptr);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 365));
  spy.fail_above = static_cast<size_t>(-1);
  EXPECT_EQ(lmmhpfree(ctx, sub, 0), 0);
  EXPECT_EQ(lmmhpfree(ctx, spyhp, 0), 0);
}

TEST_F(StdHeap, FreeOfClassFiveIsBadArgument) {
  char* p = static_cast<char*>(m(100));
  p[-9] = 0x0D;  // in use, class 5
  EXPECT_EQ(lmmfree(ctx, h, p, 0), -1);
  EXPECT_TRUE(recorded(LMM_EBADARG));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 240));
  p[-9] = 0x0A;
  EXPECT_EQ(f(p), 0);
}

TEST_F(StdHeap, ReleasingWholeHeap) {
  lmm_heap* sub = subheap(&lmmgstand, h);
  for (int i = 0; i < 500; ++i) ASSERT_NE(hmalloc(ctx, sub, static_cast<size_t>(1 + i * 97 % 90000)), nullptr);
  EXPECT_NE(st->vinuse.v, 0u);
  EXPECT_EQ(lmmhpfree(ctx, sub, 0), 0);
  // Every virtual block, the context and the descriptor went back to h.
  EXPECT_EQ(st->vinuse.v, 0u);
}

TEST_F(StdHeap, ParentFailuresAreRecorded) {
  lmm_heap* spyhp = subheap(&kSpy);
  lmm_heap* sub = subheap(&lmmgstand, spyhp);
  spy.fail_above = 0;
  EXPECT_EQ(hmalloc(ctx, sub, 10), nullptr);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 430));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 397));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 425));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 360));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 120));
  EXPECT_EQ(hmalloc(ctx, sub, 1000), nullptr);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 412));
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 361));
  spy.fail_above = static_cast<size_t>(-1);
  EXPECT_EQ(lmmhpfree(ctx, sub, 0), 0);
  EXPECT_EQ(lmmhpfree(ctx, spyhp, 0), 0);
  EXPECT_EQ(spy.mallocs, spy.frees);
}
