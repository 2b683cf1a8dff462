// Building and terminating process blocks.
#include <cstring>

#include "lem.h"
#include "lemx.h"
#include "lfi.h"
#include "lml.h"
#include "lmm.h"
#include "lpm.h"
#include "lpm_int.h"
#include "lxz.h"
#include "slsl.h"

extern "C" {

// The core services in start-up order; they stop in reverse.
const lpm_service lpmiftfs[] = {
    lmmrist,           // memory manager
    lpmrist,           // package manager
    lfirist,           // file service
    lemrist,           // error manager
    nullptr,
};

}  // extern "C"

namespace {

constexpr const char kStoreLanguage[] = "AMERICAN_AMERICA.US7ASCII";

static_assert(sizeof(lpm_meta) == LPM_META_WORDS * sizeof(void *));
static_assert(sizeof(lpm_product) == (LPM_META_WORDS + 1) * sizeof(void *));
static_assert(offsetof(lpm_meta, errs) == 9 * sizeof(void *));
static_assert(offsetof(lpm_meta, own_nls) == 13 * sizeof(void *));

// Stops the services tab.fns[0..n) in reverse order; the first failure ends
// the walk with -1.
int stop_services(lpm_meta *block, const lpm_iftab &tab, int n) {
  for (int i = n - 1; i >= 0; i--)
    if (tab.fns[i](block, tab.slot, 1) != 0) return -1;
  return 0;
}

// Termination of a block (stashed: the block in the stash).
int terminate_block(lpm_meta *block, bool stashed) {
  lpm_ctx *ctx = lpm_context(block);
  if (ctx) {
    for (int i = ctx->ntermcb - 1; i >= 0; i--) ctx->termcb[i](ctx->termarg[i]);
    ctx->ntermcb = 0;
  }
  block->ready = 0;
  if (ctx && ctx->root) {
    int flag = 0;
    lpmpfin(block, ctx, ctx->root, &flag);
    ctx->root = nullptr;
  }
  lpm_iftab tab;
  lpmpgif(block->hdr->slot, &tab);
  if (stashed) lpmpistoremeta(nullptr);
  if (stop_services(block, tab, tab.count) != 0) return -1;
  if (block->owns_mem) {
    lmlterm(block->mem);
    block->owns_mem = 0;
    block->mem = nullptr;
  }
  lwemdst(block->errs);
  slslfmeta(block);
  return 0;
}

// Builds a block up to its started services; NULL on failure with
// everything it made released.
lpm_meta *build_block(lml_ctx *mem, lxlangid *lang, lxglo *glo, uint8_t own_nls, bool stash) {
  bool owns = false;
  if (!mem) {
    mem = lmlinit(nullptr, nullptr, nullptr);
    if (!mem) return nullptr;
    owns = true;
  }
  lpm_meta *block = nullptr;
  void *slot = nullptr;
  if (lxzinit() != 0 || slslameta(sizeof(lpm_meta), &block, &slot) != 0) {
    if (owns) lmlterm(mem);
    return nullptr;
  }
  block->five = 5;
  block->ready = 0;
  block->owns_mem = owns;
  block->mem = mem;
  block->lang = lang;
  block->glo = glo;
  block->own_nls = own_nls;
  block->errs = lwemist(kStoreLanguage, glo, own_nls);
  if (!block->errs) {
    slslfmeta(block);
    if (owns) lmlterm(mem);
    return nullptr;
  }
  lpm_iftab tab;
  lpmpgif(slot, &tab);
  slslini(slot, block);
  for (int i = 0; i < tab.count; i++) {
    if (tab.fns[i](block, slot, 0) != 0) {
      // Take down what started, then release the store and the block.
      stop_services(block, tab, i);
      lwemdst(block->errs);
      slslfmeta(block);
      if (owns) lmlterm(mem);
      return nullptr;
    }
  }
  if (stash) lpmpistoremeta(block);
  return block;
}

}  // namespace

extern "C" {

lpm_ctx *lpm_context(lpm_meta *obj) {
  if (!obj || !obj->pm || !obj->pm->node) return nullptr;
  return obj->pm->node->ctx;
}

void lpmpgif(void *slot, lpm_iftab *out) {
  int n = 0;
  while (lpmiftfs[n]) n++;
  static_assert(sizeof(lpmiftfs) / sizeof(lpmiftfs[0]) - 1 <= LPM_MAXSERVICES);
  out->slot = slot;
  out->count = n;
  for (int i = 0; i < n; i++) out->fns[i] = lpmiftfs[i];
}

void lpmpistoremeta(lpm_meta *block) {
  if (block) {
    lpm_ctx *ctx = lpm_context(block);
    if (ctx) slpmstor(&ctx->table, ctx->owner);
    return;
  }
  lpm_meta *stashed = slslgetmeta();
  if (stashed) *stashed->hdr->stash() = nullptr;
}

lpm_product *lpmprinitm(lml_ctx *mem, void *ignored, lxlangid *lang, lxglo *glo,
                        uint8_t own_nls) {
  (void)ignored;
  lpm_meta *block = build_block(mem, lang, glo, own_nls, false);
  if (!block) return nullptr;
  lpm_ctx *ctx = lpm_context(block);
  int flag = 0;
  if (!ctx || lpmpali(block, ctx, &ctx->root, nullptr, nullptr, 0, &flag, 1, nullptr) != 0) {
    terminate_block(block, false);
    return nullptr;
  }
  block->ready = 1;
  return ctx->root->product;
}

lpm_product *lpmprinit(void) { return lpmprinitm(nullptr, nullptr, nullptr, nullptr, 1); }

lpm_product *lpminitm(lml_ctx *mem, size_t *memdata, lxlangid *lang, lxglo *glo,
                      uint8_t own_nls) {
  if (lpm_meta *stashed = slslgetmeta()) {
    lpm_ctx *ctx = lpm_context(stashed);
    return ctx && ctx->root ? ctx->root->product : nullptr;
  }
  lpm_meta *block = build_block(mem, lang, glo, own_nls, true);
  if (!block) return nullptr;
  lpm_ctx *ctx = lpm_context(block);
  int flag = 0;
  if (!ctx || lpmpali(block, ctx, &ctx->root, nullptr, nullptr, 0, &flag, 0, memdata) != 0) {
    lpmterm();
    return nullptr;
  }
  block->ready = 1;
  return ctx->root->product;
}

lpm_product *lpminit(void) { return lpminitm(nullptr, nullptr, nullptr, nullptr, 0); }

int lpmprterm(lpm_product *root) {
  if (!root || !root->block) return -1;
  return terminate_block(root->block, false);
}

int lpmterm(void) {
  lpm_meta *block = slslgetmeta();
  if (!block) return 0;
  return terminate_block(block, true);
}

}  // extern "C"

#ifdef QEN_TEST_HOOKS
extern "C" {
int (*lpm_service_observer)(const char *service, lpm_meta *block, int mode) = nullptr;
}
#endif
