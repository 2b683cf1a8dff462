// The manager's entry points, its memory service and the OS block list.
#include <stdint.h>
#include <unistd.h>

#include <algorithm>
#include <thread>

#include "lmm_fixture.h"
#include "lmmst.h"

TEST_F(LmmTest, ServiceLinksBlockContextAndRootHeap) {
  auto* svc = static_cast<lmm_service*>(block.words[3]);
  ASSERT_NE(svc, nullptr);
  EXPECT_EQ(svc->ctx, ctx);
  EXPECT_EQ(ctx->owner, block.meta());
  lmm_primary* pr = ctx->priv->primary;
  EXPECT_EQ(pr->block, block.meta());
  EXPECT_EQ(pr->roothp, root);
  EXPECT_EQ(pr->vrtsize, 0u);
  EXPECT_NE(pr->tsctx, nullptr);
  EXPECT_EQ(root->parent, nullptr);
  EXPECT_EQ(root->strategy, &lmmgstand);
  EXPECT_EQ(root->callerowned, 1);
  EXPECT_EQ(root->locking, 0);
  EXPECT_EQ(root->blocks, nullptr);
  EXPECT_NE(root->strctx, nullptr);
  EXPECT_EQ(lmmhpsz(), sizeof(lmm_heap));
  EXPECT_EQ(lmmgetstmfp(), &lmmgstand);
  EXPECT_EQ(lmmgetfsmfp(), &lmmgfast);
}

TEST(LmmService, OtherModesFailAndStopFreesEverything) {
  FakeBlock b;
  EXPECT_EQ(lmmrist(b.meta(), nullptr, 2), -1);
  EXPECT_EQ(lmmrist(nullptr, nullptr, 0), -1);
  ASSERT_EQ(lmmrist(b.meta(), nullptr, 0), 0);
  lmm_ctx* c = static_cast<lmm_service*>(b.words[3])->ctx;
  // Root allocations whose virtual blocks were all freed again leave nothing.
  void* p = hmalloc(c, lmmtophp(c), 5000);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(lmmfree(c, lmmtophp(c), p, 0), 0);
  EXPECT_EQ(lmmrist(b.meta(), nullptr, 1), 0);
  EXPECT_EQ(b.words[3], nullptr);
}

TEST_F(LmmTest, MallocArgumentsAndLimit) {
  struct Case {
    size_t size;
    int number;
  };
  const Case cases[] = {{0, LMM_EBADARG}, {2147473648u, LMM_ETOOLARGE}};
  for (const Case& c : cases) {
    int before = record_count();
    EXPECT_EQ(hmalloc(ctx, root, c.size), nullptr);
    ASSERT_EQ(record_count(), before + 1);
    EXPECT_EQ(newest_record().number, c.number);
    EXPECT_STREQ(newest_record().text, "lmmmalloc");
  }
  EXPECT_EQ(hmalloc(nullptr, root, 8), nullptr);
  EXPECT_EQ(hmalloc(ctx, nullptr, 8), nullptr);

  // The largest size goes to the strategy.
  lmm_heap* h = subheap(&kSpy);
  spy.fail_above = 100;
  EXPECT_EQ(hmalloc(ctx, h, 2147473647u), nullptr);
  EXPECT_EQ(spy.last_size, 2147473647u);
  EXPECT_EQ(newest_record().number, LMM_EINTERNAL);
  EXPECT_EQ(newest_record().site, 120);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
}

TEST_F(LmmTest, NoRecordWhenNotReadyOrAsked) {
  block.set_ready(false);
  EXPECT_EQ(hmalloc(ctx, root, 0), nullptr);
  EXPECT_EQ(record_count(), mark0);
  block.set_ready(true);
  EXPECT_EQ(hmalloc(ctx, root, 0, LMM_NOREC), nullptr);
  EXPECT_EQ(record_count(), mark0);
}

TEST_F(LmmTest, FreeArgumentsAndStrategyResult) {
  EXPECT_EQ(lmmfree(ctx, root, nullptr, 0), -1);
  EXPECT_EQ(newest_record().number, LMM_EBADARG);
  EXPECT_STREQ(newest_record().text, "lmmfree");
  lmm_heap* h = subheap(&kSpy);
  void* p = hmalloc(ctx, h, 16);
  spy.free_result = 7;
  EXPECT_EQ(lmmfree(ctx, h, p, 0), 7);
  EXPECT_EQ(newest_record().site, 240);
  spy.free_result = 0;
  EXPECT_EQ(lmmfree(ctx, h, p, 0), 0);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
}

TEST_F(LmmTest, HeapInitArgumentsAndDescriptors) {
  lmm_heap* h = nullptr;
  EXPECT_EQ(lmmhpinit(ctx, nullptr, root, 0, nullptr, "f", 1, nullptr), -1);
  EXPECT_EQ(newest_record().number, LMM_EBADARG);
  EXPECT_STREQ(newest_record().text, "lmmhpinit");
  EXPECT_EQ(lmmhpinit(ctx, &h, nullptr, 0, nullptr, "f", 1, nullptr), -1);
  EXPECT_EQ(lmmhpfree(ctx, nullptr, 0), -1);
  EXPECT_STREQ(newest_record().text, "lmmhpfree");

  // A descriptor of the caller's: left to the caller by lmmhpfree.
  auto* mine = static_cast<lmm_heap*>(malloc(lmmhpsz()));
  memset(mine, 0xA5, lmmhpsz());
  lmm_heap* place = mine;
  ASSERT_EQ(lmmhpinit(ctx, &place, root, 0, nullptr, "f", 1, nullptr), 0);
  EXPECT_EQ(place, mine);
  EXPECT_EQ(mine->callerowned, 1);
  EXPECT_EQ(mine->locking, 1);
  EXPECT_EQ(mine->parent, root);
  EXPECT_EQ(mine->strategy, &lmmgstand);
  EXPECT_EQ(mine->blocks, nullptr);
  EXPECT_EQ(lmmhpfree(ctx, mine, 0), 0);
  EXPECT_EQ(mine->locking, 0);
  free(mine);

  // One of the manager's: allocated from the parent and freed to it.
  lmm_heap* own = subheap(&lmmgfast, root, LMM_NOMUTEX);
  ASSERT_NE(own, nullptr);
  EXPECT_EQ(own->callerowned, 0);
  EXPECT_EQ(own->locking, 0);
  EXPECT_EQ(lmmhpfree(ctx, own, 0), 0);
}

// A failed init leaves a zeroed descriptor that lmmhpfree frees safely.
TEST_F(LmmTest, FailedInitLeavesFreeableDescriptor) {
  spy.fail_hinit = true;
  lmm_heap* h = nullptr;
  EXPECT_EQ(lmmhpinit(ctx, &h, root, 0, nullptr, "f", 1, &kSpy), -1);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 60));
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->strctx, nullptr);
  EXPECT_EQ(h->locking, 0);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
  EXPECT_EQ(spy.hfrees, 0);

  // A fast heap whose parent refuses everything: nothing is left allocated.
  spy.fail_hinit = false;
  lmm_heap* parent = subheap(&kSpy);
  spy.fail_above = 0;
  lmm_heap* place = static_cast<lmm_heap*>(malloc(lmmhpsz()));
  lmm_heap* p2 = place;
  EXPECT_EQ(lmmhpinit(ctx, &p2, parent, 0, nullptr, "f", 1, &lmmgfast), -1);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 600));
  EXPECT_EQ(lmmhpfree(ctx, place, 0), 0);
  free(place);
  spy.fail_above = static_cast<size_t>(-1);
  EXPECT_EQ(spy.mallocs, spy.frees + 0);
  EXPECT_EQ(lmmhpfree(ctx, parent, 0), 0);
}

TEST_F(LmmTest, HeapFreeFailureOfStrategy) {
  lmm_heap* h = subheap(&kSpy);
  spy.fail_hfree = true;
  EXPECT_EQ(lmmhpfree(ctx, h, 0), -1);
  EXPECT_TRUE(recorded(LMM_EINTERNAL, 90));
  spy.fail_hfree = false;
  // The mutex is gone, the descriptor is still there.
  EXPECT_EQ(h->locking, 0);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
}

TEST_F(LmmTest, ProductInstances) {
  void* product[16] = {};
  lmm_ctx* pc = nullptr;
  size_t memdata = 65536;
  ASSERT_EQ(lmmcis(block.meta(), &pc, product, &memdata), 0);
  auto* psvc = static_cast<lmm_service*>(product[3]);
  ASSERT_NE(psvc, nullptr);
  EXPECT_EQ(psvc->ctx, pc);
  EXPECT_EQ(psvc->count, 9u);
  EXPECT_EQ(pc->owner, product);
  EXPECT_EQ(pc->priv->primary, ctx->priv->primary);
  EXPECT_EQ(ctx->priv->primary->vrtsize, 65536u);
  lmm_heap* top = lmmtophp(pc);
  ASSERT_NE(top, nullptr);
  EXPECT_EQ(top->parent, root);
  EXPECT_EQ(top->locking, 1);
  // A product's heap is used through the block's ctx.
  void* p = hmalloc(ctx, top, 100);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(lmmcit(block.meta(), pc, product), 0);
  EXPECT_EQ(product[3], nullptr);
  // Everything went back to the root heap's process allocator.
  EXPECT_EQ(static_cast<lmmst_ctx*>(root->strctx)->vinuse.v, 0u);
}

TEST_F(LmmTest, BlockListBlocks) {
  lmm_heap* h = subheap(&lmmgstand);
  int mark = 0;
  void* a = lmmomallocblklist(ctx, h, 1000, 0, &mark);
  void* b = lmmovallocblklist(ctx, h, 100, 0, &mark);
  void* c = lmmocallocblklist(ctx, h, 10, 10, 0, &mark);
  ASSERT_TRUE(a && b && c);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(b) % static_cast<uintptr_t>(sysconf(_SC_PAGESIZE)), 0u);
  for (int i = 0; i < 100; ++i) EXPECT_EQ(static_cast<char*>(c)[i], 0);
  ASSERT_NE(h->blocks, nullptr);
  EXPECT_EQ(h->blocks->block, a);
  EXPECT_EQ(h->blocks->prev->flags, 0u);  // the last node is c's
  EXPECT_EQ(h->blocks->next->flags, static_cast<uint32_t>(LMM_PAGEBLK));
  // lmmfree consults the list first.
  EXPECT_EQ(lmmfree(ctx, h, b, 0), 0);
  EXPECT_EQ(lmmofreeblklist(ctx, h, b, 0, &mark), 1);
  memset(a, 1, 1000);
  int found = -1;
  void* a2 = lmmoreallocblklist(ctx, h, a, 500, 1000, 0, &found, 1, &mark);
  EXPECT_EQ(found, 1);
  EXPECT_EQ(a2, a);  // shrinks by less than 2049: stays
  void* a3 = lmmoreallocblklist(ctx, h, a, 5000, 1000, 0, &found, 1, &mark);
  ASSERT_NE(a3, nullptr);
  EXPECT_NE(a3, a);
  EXPECT_EQ(static_cast<unsigned char*>(a3)[999], 1);
  // A strategy block moves onto the list.
  void* s = hmalloc(ctx, h, 40);
  memset(s, 7, 55);
  void* s2 = lmmoreallocblklist(ctx, h, s, 100, 100, 0, &found, 1, &mark);
  EXPECT_EQ(found, 0);
  ASSERT_NE(s2, nullptr);
  EXPECT_EQ(static_cast<unsigned char*>(s2)[54], 7);  // class 1: 55 bytes copied
  // Limits.
  int before = record_count();
  EXPECT_EQ(lmmovallocblklist(ctx, h, 65536, 0, &mark), nullptr);
  EXPECT_EQ(record_count(), before + 1);
  EXPECT_EQ(newest_record().number, LMM_ETOOLARGE);
  EXPECT_STREQ(newest_record().text, "lmmvallocblklist");
  EXPECT_EQ(lmmocallocblklist(ctx, h, SIZE_MAX / 2, 4, 0, &mark), nullptr);
  EXPECT_EQ(newest_record().number, LMM_ETOOLARGE);
  // lmmhpfree releases the rest of the list.
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
}

TEST(LmmProcessAllocator, NeedsThreadContext) {
  size_t n = 64;
  EXPECT_EQ(slwmmgetmem(nullptr, &n), nullptr);
  EXPECT_EQ(slwmmputmem(nullptr, nullptr), -1);
  EXPECT_EQ(slmmstmsr(), 17 * std::max<size_t>(static_cast<size_t>(sysconf(_SC_PAGESIZE)), 8192));
}

// Several threads on one locking heap: the mutex keeps it whole.
TEST_F(LmmTest, LockingHeapSharedByThreads) {
  lmm_heap* h = subheap(&lmmgstand);
  ASSERT_EQ(h->locking, 1);
  auto work = [&](int seed) {
    std::vector<void*> live;
    unsigned x = static_cast<unsigned>(seed) * 2654435761u + 1;
    for (int i = 0; i < 4000; ++i) {
      x = x * 1103515245u + 12345u;
      if (live.size() < 50 && (x >> 16) % 3 != 0) {
        size_t n = 1 + (x >> 8) % 3000;
        void* p = hmalloc(ctx, h, n);
        ASSERT_NE(p, nullptr);
        memset(p, seed, n);
        live.push_back(p);
      } else if (!live.empty()) {
        size_t k = (x >> 4) % live.size();
        ASSERT_EQ(lmmfree(ctx, h, live[k], 0), 0);
        live[k] = live.back();
        live.pop_back();
      }
    }
    for (void* p : live) ASSERT_EQ(lmmfree(ctx, h, p, 0), 0);
  };
  std::thread t1(work, 1), t2(work, 2), t3(work, 3);
  t1.join();
  t2.join();
  t3.join();
  EXPECT_EQ(static_cast<lmmst_ctx*>(h->strctx)->vinuse.v, 0u);
  EXPECT_EQ(lmmhpfree(ctx, h, 0), 0);
}

// Releasing a context that is not the process's: LMM 36 (in a child, since the
// thread-services context is process-wide).
TEST(LmmServiceDeath, ThreadContextReleaseFailure) {
  EXPECT_EXIT(
      {
        FakeBlock b;
        if (lmmrist(b.meta(), nullptr, 0) != 0) _exit(1);
        b.set_ready(true);
        lmm_ctx* c = static_cast<lmm_service*>(b.words[3])->ctx;
        static slts_ctx bogus;
        c->priv->primary->tsctx = &bogus;
        int before = record_count();
        int r = lmmrist(b.meta(), nullptr, 1);
        auto recs = recorded_since(before);
        _exit(r == -1 && !recs.empty() && recs.back().first == LMM_ETSCTXREL ? 0 : 2);
      },
      ::testing::ExitedWithCode(0), "");
}
