// Process blocks live in process-wide state (the stash, the thread-services
// context), so every test runs its body in a forked child.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "child.h"
#include "lem.h"
#include "lemx.h"
#include "lfi.h"
#include "lfv.h"
#include "lmm.h"
#include "lpm.h"
#include "lpm_int.h"
#include "slsl.h"

namespace {

// What the observed services saw, and an optional failure to inject.
std::vector<std::string> g_trace;
std::string g_fail_at;
lpm_meta *g_block = nullptr;
bool g_mm_at_lpmrist = false;
unsigned g_depth_during_start = 99;

int observer(const char *service, lpm_meta *block, int mode) {
  std::string step = std::string(service) + ":" + std::to_string(mode);
  g_trace.push_back(step);
  g_block = block;
  if (step == "lpmrist:0" || step == "lpmrist:1") g_mm_at_lpmrist = block->mm != nullptr;
  if (step == "lemrist:0") {
    // Start-up runs with the block not ready: nothing is recorded.
    int flag = 0;
    CHILD_CHECK(block->ready == 0);
    lpmprec(block, nullptr, &flag, LPM_BADARG, 0, LSFTXTP, "start", LSFEND);
    g_depth_during_start = lwemged(block->errs);
    CHILD_CHECK(flag == 0);
  }
  return step == g_fail_at ? 1 : 0;
}

void reset() {
  // Settle the virtual-file layer on real files, so that loading NLS data
  // does not bring up the data package's second, stashed block.
  lfvinit(LFV_MODE_FILES);
  g_trace.clear();
  g_fail_at.clear();
  g_block = nullptr;
  lpm_service_observer = observer;
}

TEST(Bootstrap, ServiceTableOrder) {
  lpm_iftab tab;
  int slot = 0;
  lpmpgif(&slot, &tab);
  ASSERT_EQ(tab.count, 4);
  EXPECT_EQ(tab.slot, &slot);
  EXPECT_EQ(tab.fns[0], &lmmrist);
  EXPECT_EQ(tab.fns[1], &lpmrist);
  EXPECT_EQ(tab.fns[2], &lfirist);
  EXPECT_EQ(tab.fns[3], &lemrist);
  EXPECT_EQ(tab.fns[1](nullptr, nullptr, 7), -1);
  EXPECT_EQ(tab.fns[2](nullptr, nullptr, 2), -1);
}

TEST(Bootstrap, PrivateBlockComesUpAndGoesDownInOrder) {
  EXPECT_EQ(0, in_child([] {
    reset();
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    CHILD_CHECK((g_trace == std::vector<std::string>{"lpmrist:0", "lfirist:0", "lemrist:0",
                                                      "lficis:0", "lemcis:0"}));
    CHILD_CHECK(g_mm_at_lpmrist);  // the memory manager started first
    CHILD_CHECK(g_depth_during_start == 0);
    lpm_meta *block = root->block;
    CHILD_CHECK(block == g_block);
    CHILD_CHECK(block->ready == 1);
    CHILD_CHECK(block->five == 5);
    CHILD_CHECK(block->owns_mem == 1);
    CHILD_CHECK(block->mem != nullptr);
    CHILD_CHECK(block->own_nls == 1);
    CHILD_CHECK(block->link == block->pm);
    CHILD_CHECK(block->hdr != nullptr && block->hdr->four == 4);
    CHILD_CHECK(std::strcmp(block->hdr->exedesc(), "core") == 0);
    CHILD_CHECK(block->payload_size == sizeof(lpm_meta));
    CHILD_CHECK(slslgetmeta() == nullptr);  // a private block is never stashed

    // The root product is a copy of the block in all but fields 2, 6 and 9.
    lpm_meta expect = *block;
    expect.link = expect.pm = root->m.link;
    expect.ready = 0;
    expect.mm = root->m.mm;  // the product's own memory instance
    expect.fi = root->m.fi;  // ... file instance
    expect.em = root->m.em;  // ... and error-manager instance
    CHILD_CHECK(std::memcmp(&expect, &root->m, sizeof(lpm_meta)) == 0);
    CHILD_CHECK(root->m.link != block->link);
    CHILD_CHECK(root->m.link->node->product == root);
    lpm_ctx *ctx = lpm_context(block);
    CHILD_CHECK(ctx != nullptr && ctx->root == root->m.link->node);
    CHILD_CHECK(ctx->root->osrec.table == &ctx->table);
    CHILD_CHECK(lmmtophp(*static_cast<lmm_ctx **>(root->m.mm)) != nullptr);
    CHILD_CHECK(ctx->root->mem == *static_cast<lmm_ctx **>(root->m.mm));

    // Termination callbacks run last to first, then the services stop in
    // reverse order.
    static std::vector<int> order;
    ctx->termcb[0] = [](void *a) { order.push_back(int(reinterpret_cast<intptr_t>(a))); };
    ctx->termarg[0] = reinterpret_cast<void *>(intptr_t(1));
    ctx->termcb[1] = ctx->termcb[0];
    ctx->termarg[1] = reinterpret_cast<void *>(intptr_t(2));
    ctx->ntermcb = 2;
    g_trace.clear();
    CHILD_CHECK(lpmprterm(root) == 0);
    CHILD_CHECK((order == std::vector<int>{2, 1}));
    CHILD_CHECK((g_trace == std::vector<std::string>{"lemcit:1", "lficit:1", "lemrist:1",
                                                      "lfirist:1", "lpmrist:1"}));
    CHILD_CHECK(g_mm_at_lpmrist);  // the memory manager stops last
  }));
}

TEST(Bootstrap, ReadyRuleAndPackageManagerMarks) {
  EXPECT_EQ(0, in_child([] {
    reset();
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    lpm_meta *block = root->block;
    lwem_ctx *errs = block->errs;

    // Ready: records are kept and the call's first one is marked.
    int flag = 0;
    CHILD_CHECK(lpmprec(block, nullptr, &flag, LPM_BADARG, 0, LSFTXTP, "one", LSFEND) == 0);
    CHILD_CHECK(flag == 1);
    CHILD_CHECK(lwemimk(errs, 1) == 1);
    CHILD_CHECK(lpmprec(block, nullptr, &flag, LPM_STEPFAIL, 0, LSFTXTP, "two", LSFEND) == 0);
    CHILD_CHECK(lwemimk(errs, 1) == 0);
    char fac[10];
    CHILD_CHECK(lwemgef(errs, 1, fac, sizeof fac) == 4 && std::strcmp(fac, "LPM") == 0);
    CHILD_CHECK(lwemgne(errs, 1)->cls == LWEM_CLASS_RECORDED);
    lpmpce(block);  // ready: the records stay
    CHILD_CHECK(lwemged(errs) == 2);
    lwemces(errs);

    // The memory manager records on the block's store, under its facility.
    lmm_ctx *mctx = static_cast<lmm_service *>(block->mm)->ctx;
    CHILD_CHECK(lmmfree(mctx, lmmtophp(mctx), nullptr, 0) == -1);
    CHILD_CHECK(lwemgec(errs, 1) == 33);
    CHILD_CHECK(lwemgef(errs, 1, fac, sizeof fac) == 4 && std::strcmp(fac, "LMM") == 0);
    CHILD_CHECK(lwemimk(errs, 1) == 1);
    CHILD_CHECK(std::strcmp(static_cast<const char *>(lwemgep(errs, 1)->entries[0].value.ptr),
                            "lmmfree") == 0);
    lwemces(errs);

    // A bad argument to lpmpali is recorded with its text.
    int f2 = 0;
    CHILD_CHECK(lpmpali(block, lpm_context(block), nullptr, nullptr, nullptr, 0, &f2, 0, nullptr) ==
                -1);
    CHILD_CHECK(lwemgec(errs, 1) == LPM_BADARG);
    CHILD_CHECK(std::strcmp(static_cast<const char *>(lwemgep(errs, 1)->entries[0].value.ptr),
                            "lpmpali().") == 0);
    // A package product comes with its package node, and goes with it.
    lpm_node *node = nullptr;
    lpm_pkgnode *pkg = nullptr;
    int f3 = 0;
    lpm_ctx *pctx = lpm_context(block);
    CHILD_CHECK(lpmpali(block, pctx, &node, &pkg, "lsf", 3, &f3, 0, nullptr) == 0);
    CHILD_CHECK(node != nullptr && pkg != nullptr && node->pkg == pkg);
    if (node) CHILD_CHECK(lpmpfin(block, pctx, node, &f3) == 0);
    CHILD_CHECK(pctx->pkgs.head.next == &pctx->pkgs.tail);
    CHILD_CHECK(pctx->prods.head.next == &pctx->prods.tail);
    lwemces(errs);

    // Records a package entry routine leaves fold under the call's one mark.
    for (bool call_marked : {false, true}) {
      int cf = 0;
      if (call_marked) lpmprec(block, nullptr, &cf, LPM_NOPKG, 0, LSFEND);
      unsigned before = lwemged(errs);
      int inner = 0;
      lpmprec(block, nullptr, &inner, 100, 0, LSFEND);  // marked by its own call
      lpmprec(block, nullptr, &inner, 101, 0, LSFEND);
      int other = 0;
      lpmprec(block, nullptr, &other, 102, 0, LSFEND);  // a second callee's mark
      lpmpchex(block, before, &cf);
      CHILD_CHECK(cf == 1);
      int marks = 0;
      for (int i = 1; lwemget(errs, -i) != LWEM_KIND_NONE; i++) marks += lwemimk(errs, -i);
      CHILD_CHECK(marks == 1);
      lwemdtm(errs);
      CHILD_CHECK(lwemged(errs) == 0);
    }

    // Not ready: nothing is recorded, and ending the call deletes back to
    // the mark.
    int g = 0;
    lpmprec(block, nullptr, &g, LPM_NOMEM, 0, LSFEND);  // marked
    lpmprec(block, nullptr, &flag, LPM_BADARG, 0, LSFEND);  // flag already 1: unmarked
    block->ready = 0;
    int h = 0;
    CHILD_CHECK(lpmprec(block, nullptr, &h, LPM_MUTEX, 0, LSFEND) == -1);
    CHILD_CHECK(h == 0);
    CHILD_CHECK(lwemged(errs) == 2);
    lpmpce(block);
    CHILD_CHECK(lwemged(errs) == 0);
    block->ready = 1;
    CHILD_CHECK(lpmprterm(root) == 0);
  }));
}

TEST(Bootstrap, FailedStartReleasesTheBlock) {
  EXPECT_EQ(0, in_child([] {
    reset();
    g_fail_at = "lfirist:0";
    CHILD_CHECK(lpmprinit() == nullptr);
    CHILD_CHECK((g_trace == std::vector<std::string>{"lpmrist:0", "lfirist:0", "lpmrist:1"}));
    CHILD_CHECK(slslgetmeta() == nullptr);
    reset();
    g_fail_at = "lemcis:0";  // the root product fails: the block goes down
    CHILD_CHECK(lpmprinit() == nullptr);
    CHILD_CHECK((g_trace == std::vector<std::string>{"lpmrist:0", "lfirist:0", "lemrist:0",
                                                      "lficis:0", "lemcis:0", "lficit:1",
                                                      "lemrist:1", "lfirist:1", "lpmrist:1"}));
    reset();
    g_fail_at = "lemcis:0";
    CHILD_CHECK(lpminit() == nullptr);
    CHILD_CHECK(slslgetmeta() == nullptr);
  }));
}

TEST(Bootstrap, FailedTerminationStopsAtTheFailingService) {
  EXPECT_EQ(0, in_child([] {
    reset();
    lpm_product *root = lpmprinit();
    CHILD_CHECK(root != nullptr);
    if (!root) return;
    g_trace.clear();
    g_fail_at = "lfirist:1";
    CHILD_CHECK(lpmprterm(root) == -1);
    CHILD_CHECK((g_trace == std::vector<std::string>{"lemcit:1", "lficit:1", "lemrist:1",
                                                      "lfirist:1"}));
  }));
}

TEST(Bootstrap, StashedBlock) {
  EXPECT_EQ(0, in_child([] {
    reset();
    CHILD_CHECK(lpmterm() == 0);  // nothing stashed
    lpm_product *a = lpminit();
    CHILD_CHECK(a != nullptr);
    if (!a) return;
    lpm_meta *block = slslgetmeta();
    CHILD_CHECK(block != nullptr);
    CHILD_CHECK(block == sslslstash);
    CHILD_CHECK(*sslslgmp() == block);
    CHILD_CHECK(block->ready == 1);
    CHILD_CHECK(block->own_nls == 0);
    CHILD_CHECK(lpm_context(block)->root->product == a);
    CHILD_CHECK(lpminit() == a);  // no second block
    CHILD_CHECK(std::count(g_trace.begin(), g_trace.end(), "lpmrist:0") == 1);

    // A forked child inherits the stash.
    CHILD_CHECK(in_child([&] { return slslgetmeta() == block && lpminit() == a ? 0 : 1; }) == 0);

    // A private block does not touch the stash.
    lpm_product *p = lpmprinit();
    CHILD_CHECK(p != nullptr && slslgetmeta() == block);
    CHILD_CHECK(lpmprterm(p) == 0);
    CHILD_CHECK(slslgetmeta() == block);

    CHILD_CHECK(lpmterm() == 0);
    CHILD_CHECK(slslgetmeta() == nullptr);
    lpm_product *b = lpminit();
    CHILD_CHECK(b != nullptr);
    CHILD_CHECK(slslgetmeta() != nullptr);
    CHILD_CHECK(lpmterm() == 0);
  }));
}

TEST(Bootstrap, StashThroughBlockHeaders) {
  EXPECT_EQ(0, in_child([] {
    lpm_meta *block = nullptr;
    void *slot = nullptr;
    CHILD_CHECK(slslameta(3 * sizeof(void *) + 1, &block, &slot) == 0);
    CHILD_CHECK(block->payload_size == 3 * sizeof(void *) + 1);
    auto hdr = *static_cast<slsl_header **>(slot);
    CHILD_CHECK(reinterpret_cast<char *>(hdr) ==
                reinterpret_cast<char *>(block) + 4 * sizeof(void *));
    CHILD_CHECK(hdr->slot == slot);
    CHILD_CHECK(hdr->stash() == &sslslstash);
    CHILD_CHECK(std::strcmp(sslslged(), "core") == 0);
    slslfmeta(block);
  }));
}

}  // namespace
