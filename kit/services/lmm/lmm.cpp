// Memory manager: heap descriptors, the manager's entry points, the memory
// service of a process block and its products, and the error recorder.
#include <string.h>
#include <unistd.h>

#include "lmmfs.h"
#include "lmmi.h"

// ---------------------------------------------------------------- mutexes

namespace {

int mx_init(slts_ctx* ts, slts_mutex* m) { return sltsmxi(ts, m); }
int mx_destroy(slts_ctx* ts, slts_mutex* m) { return sltsmxd(ts, m); }
void mx_lock(slts_ctx* ts, slts_mutex* m) { sltsmna(ts, m); }
void mx_unlock(slts_ctx* ts, slts_mutex* m) { sltsmnr(ts, m); }
slts_ctx* ts_take() { return sltsini(); }
int ts_release(slts_ctx* ts) { return sltster(ts); }

}  // namespace

// ---------------------------------------------------------------- recording

int lmmorec(lpm_meta* block, lwem_facility* facility, lmm_ctx* ctx, int number, int site,
            void*, int* mark, unsigned flags, ...) {
  if (flags & LMM_NOREC) return 0;
  if (!block || !facility) {
    lmm_primary* pr = lmmi_primary(ctx);
    if (pr) {
      if (!block) block = pr->block;
      if (!facility) facility = pr->facility;
    }
  }
  if (!lmmi_block_ready(block)) return 0;
  va_list ap;
  va_start(ap, flags);
  int pushed = lmm_record_error(block, facility, number, site, ap);
  va_end(ap);
  if (pushed && !(flags & LMM_NOMARK) && mark && *mark == 0) {
    lmm_mark_newest(block);
    *mark = 1;
  }
  return pushed ? 0 : -1;
}

void lmmi_internal(lmm_ctx* ctx, int site, const char* text, int* mark, unsigned flags) {
  lmmorec(nullptr, nullptr, ctx, LMM_EINTERNAL, site, nullptr, mark, flags, LMMI_TXTP, text, 0);
}

void lmmi_error(lmm_ctx* ctx, int number, const char* text, int* mark, unsigned flags) {
  lmmorec(nullptr, nullptr, ctx, number, 0, nullptr, mark, flags, LMMI_TXTP, text, 0);
}

void lmmi_markrule(lmm_ctx* ctx, int before, int* mark) {
  lpm_meta* block = lmmi_block(ctx);
  if (lmm_error_depth(block) > before) {
    if (*mark == 0)
      *mark = 1;
    else
      lmm_clear_newest_mark(block);
  }
}

// The recorder pushes only on a ready block (lmmorec), and a call on a parent
// heap runs nothing but the manager: for a block that is not ready the depth
// cannot grow during the call, so it is not read.
void* lmmi_palloc(lmm_ctx* ctx, lmm_heap* parent, size_t size, unsigned flags,
                  [[maybe_unused]] const char* file, [[maybe_unused]] int line, int* mark) {
  lpm_meta* block = lmmi_block(ctx);
  const bool ready = lmmi_block_ready(block);
  const int before = ready ? lmm_error_depth(block) : 0;
#if UINTPTR_MAX > 0xFFFFFFFFu
  void* p = lmmmalloc(ctx, parent, size, flags, file, line);
#else
  void* p = lmmmalloc(ctx, parent, size, flags);
#endif
  if (ready) lmmi_markrule(ctx, before, mark);
  return p;
}

int lmmi_pfree(lmm_ctx* ctx, lmm_heap* parent, void* ptr, unsigned flags, int* mark) {
  lpm_meta* block = lmmi_block(ctx);
  const bool ready = lmmi_block_ready(block);
  const int before = ready ? lmm_error_depth(block) : 0;
  int r = lmmfree(ctx, parent, ptr, flags);
  if (ready) lmmi_markrule(ctx, before, mark);
  return r;
}

size_t lmmi_pagesize() {
  static const size_t page = [] {
    long p = sysconf(_SC_PAGESIZE);
    return p > 0 ? static_cast<size_t>(p) : static_cast<size_t>(4096);
  }();
  return page;
}

// ---------------------------------------------------------------- heaps

const lmm_strategy* lmmgetstmfp(void) { return &lmmgstand; }
const lmm_strategy* lmmgetfsmfp(void) { return &lmmgfast; }
size_t lmmhpsz(void) { return sizeof(lmm_heap); }

lmm_heap* lmmtophp(lmm_ctx* ctx) { return (ctx && ctx->priv) ? ctx->priv->tophp : nullptr; }

int lmmhpinit(lmm_ctx* ctx, lmm_heap** place, lmm_heap* parent, unsigned flags, void*,
              const char* file, int line, const lmm_strategy* strategy) {
  int mark = 0;
  (void)file;
  (void)line;
  if (!ctx || !place || !parent) {
    lmmi_error(ctx, LMM_EBADARG, "lmmhpinit", &mark, flags);
    return -1;
  }
  lmm_heap* hp = *place;
  int owned = 1;
  if (!hp) {
    hp = static_cast<lmm_heap*>(
        lmmi_palloc(ctx, parent, sizeof(lmm_heap), LMM_INTERNAL, "lmmhpinit", 0, &mark));
    if (!hp) {
      lmmi_internal(ctx, 61, "Unable to allocate memory in lmmhpinit", &mark, flags);
      return -1;
    }
    owned = 0;
    *place = hp;
  }
  // A descriptor that fails to initialise stays safe to hand to lmmhpfree.
  memset(hp, 0, sizeof *hp);
  hp->callerowned = owned;
  hp->parent = parent;
  hp->blocks = nullptr;
  if (!(flags & LMM_NOMUTEX)) {
    if (mx_init(lmmi_tsctx(ctx), &hp->mutex) != 0) {
      lmmi_internal(ctx, 330, "Unable to initialize mutex in lmmhpinit", &mark, flags);
      return -1;
    }
    hp->locking = 1;
  }
  hp->strategy = strategy ? strategy : &lmmgstand;
  int before = lmm_error_depth(lmmi_block(ctx));
  int r = hp->strategy->hinit(ctx, hp, &hp->strctx, flags, &mark);
  lmmi_markrule(ctx, before, &mark);
  if (r != 0) {
    hp->strctx = nullptr;
    if (hp->locking) {
      mx_destroy(lmmi_tsctx(ctx), &hp->mutex);
      hp->locking = 0;
    }
    lmmi_internal(ctx, 60, "lmmhpinit fail due to underlying init heap fail", &mark, flags);
    return -1;
  }
  return 0;
}

int lmmhpfree(lmm_ctx* ctx, lmm_heap* hp, unsigned flags) {
  int mark = 0;
  if (!ctx || !hp) {
    lmmi_error(ctx, LMM_EBADARG, "lmmhpfree", &mark, flags);
    return -1;
  }
  slts_ctx* ts = lmmi_tsctx(ctx);
  lmmohfreeblklist(ctx, hp, flags, &mark);
  // A descriptor whose initialisation failed has no strategy context.
  if (hp->strategy && hp->strctx) {
    int before = lmm_error_depth(lmmi_block(ctx));
    int r = hp->strategy->hfree(ctx, hp, flags, &mark);
    lmmi_markrule(ctx, before, &mark);
    if (r != 0) {
      if (hp->locking && mx_destroy(ts, &hp->mutex) != 0)
        lmmi_internal(ctx, 331, "Unable to destroy lock in lmmhpfree", &mark, flags);
      hp->locking = 0;
      lmmi_internal(ctx, 90, "lmmhpfree fail due to underlying free heap fail", &mark, flags);
      return -1;
    }
    hp->strctx = nullptr;
  }
  if (hp->locking) {
    hp->locking = 0;
    if (mx_destroy(ts, &hp->mutex) != 0) {
      lmmi_internal(ctx, 331, "Unable to destroy lock in lmmhpfree", &mark, flags);
      return -1;
    }
  }
  if (!hp->callerowned && hp->parent) {
    if (lmmi_pfree(ctx, hp->parent, hp, LMM_INTERNAL, &mark) != 0) {
      lmmi_internal(ctx, 91, "Unable to free memory in lmmhpfree", &mark, flags);
      return -1;
    }
  }
  return 0;
}

namespace {

// A strategy that gave no memory: the manager's record of it.
void strategy_failed(lmm_ctx* ctx, int* mark, unsigned flags) {
  lmmi_internal(ctx, 120, "Underlying model-specific malloc call failed", mark, flags);
}

// lmmmalloc through the heap's strategy, with every check, lock and record.
[[gnu::noinline]] void* malloc_slow(lmm_ctx* ctx, lmm_heap* hp, size_t size, unsigned flags) {
  int mark = 0;
  if (!ctx || !hp || size == 0) {
    lmmi_error(ctx, LMM_EBADARG, "lmmmalloc", &mark, flags);
    return nullptr;
  }
  if (size > LMM_MAXSIZE) {
    lmmi_error(ctx, LMM_ETOOLARGE, "lmmmalloc", &mark, flags);
    return nullptr;
  }
  slts_ctx* ts = lmmi_tsctx(ctx);
  if (hp->locking) mx_lock(ts, &hp->mutex);
  void* p = hp->strategy->malloc(ctx, hp, size, flags, &mark);
  if (hp->locking) mx_unlock(ts, &hp->mutex);
  if (!p) strategy_failed(ctx, &mark, flags);
  return p;
}

// What malloc_slow does for a request that passed lmmmalloc's checks on a fast
// heap without a mutex and did not fit its current virtual block: the
// strategy opens a new one (its malloc would only try the same bump again).
[[gnu::noinline]] void* fast_refill(lmm_ctx* ctx, lmm_heap* hp, size_t size, unsigned flags) {
  int mark = 0;
  void* p = lmmfs_open(ctx, hp, size, flags, &mark);
  if (!p) strategy_failed(ctx, &mark, flags);
  return p;
}

}  // namespace

// A fast heap without a mutex whose current virtual block has room takes the
// block straight from it: the checks that let a request through to a
// strategy, then the arena's bump; one whose block is full opens the next
// straight away. Everything else goes the long way.
#if UINTPTR_MAX > 0xFFFFFFFFu
void* lmmmalloc(lmm_ctx* ctx, lmm_heap* hp, size_t size, unsigned flags, const char*, int) {
#else
void* lmmmalloc(lmm_ctx* ctx, lmm_heap* hp, size_t size, unsigned flags) {
#endif
  if (__builtin_expect(ctx != nullptr && hp != nullptr && hp->strategy == &lmmgfast &&
                           hp->locking == 0 && hp->strctx != nullptr && size - 1 < LMM_MAXSIZE,
                       1)) {
    if (void* p = lmmfs_bump(hp, size)) return p;
    return fast_refill(ctx, hp, size, flags);
  }
  return malloc_slow(ctx, hp, size, flags);
}

int lmmfree(lmm_ctx* ctx, lmm_heap* hp, void* ptr, unsigned flags) {
  int mark = 0;
  if (!ctx || !hp || !ptr) {
    lmmi_error(ctx, LMM_EBADARG, "lmmfree", &mark, flags);
    return -1;
  }
  slts_ctx* ts = lmmi_tsctx(ctx);
  if (hp->locking) mx_lock(ts, &hp->mutex);
  int r = hp->blocks ? lmmofreeblklist(ctx, hp, ptr, flags, &mark) : 1;
  if (r == 1) r = hp->strategy->free(ctx, hp, ptr, flags, &mark);
  if (hp->locking) mx_unlock(ts, &hp->mutex);
  if (r != 0) lmmi_internal(ctx, 240, "Underyling model-specific free call fail", &mark, flags);
  return r;
}

// ---------------------------------------------------------------- memory service

void slmmpreinit(lpm_meta*) {}

namespace {

void* getmem(slts_ctx* ts, size_t n) {
  size_t sz = n;
  return slwmmgetmem(ts, &sz);
}

// Frees what start-up made so far; every piece may be NULL.
void rist_undo(slts_ctx* ts, lmm_service* svc, lmm_ctx* ctx, lmm_private* pv, lmm_primary* pr,
               lmm_heap* hp, bool mutex) {
  if (hp) {
    if (mutex) mx_destroy(ts, &hp->mutex);
    if (hp->strctx) slwmmputmem(ts, hp->strctx);
    slwmmputmem(ts, hp);
  }
  if (pr) slwmmputmem(ts, pr);
  if (pv) slwmmputmem(ts, pv);
  if (ctx) slwmmputmem(ts, ctx);
  if (svc) slwmmputmem(ts, svc);
}

int rist_start(lpm_meta* block) {
  int mark = 0;
  slmmpreinit(block);
  lwem_facility* fac = lmm_facility_add(block);
  slts_ctx* ts = ts_take();
  // The block is not ready during its own start-up, so records go through a
  // bare primary that names the block and the facility.
  lmm_primary tmp{};
  tmp.block = block;
  tmp.facility = fac;
  lmm_private tmpv{&tmp, nullptr, nullptr};
  lmm_ctx tmpc{block, &tmpv};
  if (!ts) {
    lmmi_error(&tmpc, LMM_ENOTSCTX, "lmmrist", &mark, 0);
    lmm_facility_free(block, fac);
    return -1;
  }
  tmp.tsctx = ts;
  struct Step {
    size_t size;
    int site;
    const char* text;
  };
  static constexpr Step steps[] = {
      {sizeof(lmm_service), 700, "In lmmrist: Cannot init product descriptor"},
      {sizeof(lmm_ctx), 701, "In lmmrist: Cannot init lmm context"},
      {sizeof(lmm_private), 702, "In lmmrist: Cannot init priv inst context"},
      {sizeof(lmm_primary), 703, "In lmmrist: Cannot init primary context"},
      {sizeof(lmm_heap), 704, "In lmmrist: Cannot init root top heap"},
  };
  void* got[5] = {};
  for (int i = 0; i < 5; ++i) {
    got[i] = getmem(ts, steps[i].size);
    if (!got[i]) {
      lmmi_internal(&tmpc, steps[i].site, steps[i].text, &mark, 0);
      rist_undo(ts, static_cast<lmm_service*>(got[0]), static_cast<lmm_ctx*>(got[1]),
                static_cast<lmm_private*>(got[2]), static_cast<lmm_primary*>(got[3]), nullptr,
                false);
      lmm_facility_free(block, fac);
      ts_release(ts);
      return -1;
    }
  }
  auto* svc = static_cast<lmm_service*>(got[0]);
  auto* ctx = static_cast<lmm_ctx*>(got[1]);
  auto* pv = static_cast<lmm_private*>(got[2]);
  auto* pr = static_cast<lmm_primary*>(got[3]);
  auto* hp = static_cast<lmm_heap*>(got[4]);
  svc->ctx = ctx;
  ctx->owner = block;
  ctx->priv = pv;
  pv->primary = pr;
  pv->tophp = hp;
  pr->block = block;
  pr->roothp = hp;
  pr->facility = fac;
  hp->parent = nullptr;
  hp->strategy = &lmmgstand;
  hp->callerowned = 1;
  hp->blocks = nullptr;
  hp->locking = 0;
  if (mx_init(ts, &hp->mutex) != 0) {
    lmmi_internal(&tmpc, 330, "Unable to initialize mutex in lmmrist", &mark, 0);
    rist_undo(ts, svc, ctx, pv, pr, hp, false);
    lmm_facility_free(block, fac);
    ts_release(ts);
    return -1;
  }
  void* st = getmem(ts, lmmst_ctx_size());
  if (!st) {
    lmmi_internal(&tmpc, 705, "In lmmrist: Cannot init standard context", &mark, 0);
    rist_undo(ts, svc, ctx, pv, pr, hp, true);
    lmm_facility_free(block, fac);
    ts_release(ts);
    return -1;
  }
  hp->strctx = st;
  pr->tsctx = ts;
  *lmmi_service_field(block) = svc;
  return 0;
}

int rist_stop(lpm_meta* block) {
  auto* svc = static_cast<lmm_service*>(*lmmi_service_field(block));
  if (!svc || !svc->ctx) return -1;
  lmm_ctx* ctx = svc->ctx;
  lmm_private* pv = ctx->priv;
  lmm_primary* pr = pv->primary;
  lmm_heap* hp = pr->roothp;
  slts_ctx* ts = pr->tsctx;
  lwem_facility* fac = pr->facility;
  int mark = 0;
  int rc = 0;
  if (mx_destroy(ts, &hp->mutex) != 0) {
    lmmi_internal(ctx, 331, "Unable to destroy lock in lmmrist.", &mark, 0);
    rc = -1;
  }
  lmmfrthp(ctx);
  // Records made from here on name the block through a bare primary.
  lmm_primary tmp = *pr;
  lmm_private tmpv{&tmp, nullptr, nullptr};
  lmm_ctx tmpc{block, &tmpv};
  slwmmputmem(ts, hp->strctx);
  slwmmputmem(ts, hp);
  slwmmputmem(ts, pr);
  slwmmputmem(ts, pv);
  slwmmputmem(ts, ctx);
  slwmmputmem(ts, svc);
  *lmmi_service_field(block) = nullptr;
  if (ts_release(ts) != 0) {
    lmmi_error(&tmpc, LMM_ETSCTXREL, "lmmrist", &mark, 0);
    rc = -1;
  }
  lmm_facility_free(block, fac);
  return rc;
}

}  // namespace

int lmmrist(lpm_meta* block, void*, int mode) {
  if (!block) return -1;
  if (mode == 0) return rist_start(block);
  if (mode == 1) return rist_stop(block);
  return -1;
}

// The source line lmmcis reports for its product's top heap.
constexpr int kProductHeapLine = 187;

int lmmcis(lpm_meta* block, lmm_ctx** place, void* product, size_t* memdata) {
  if (!block || !place || !product) return -1;
  auto* bsvc = static_cast<lmm_service*>(*lmmi_service_field(block));
  if (!bsvc || !bsvc->ctx) return -1;
  lmm_ctx* bctx = bsvc->ctx;
  lmm_primary* pr = bctx->priv->primary;
  lmm_heap* root = pr->roothp;
  int mark = 0;
  const unsigned fl = LMM_PRODUCT;
  if (memdata) pr->vrtsize = *memdata;
  auto* svc = static_cast<lmm_service*>(
      lmmi_palloc(bctx, root, sizeof(lmm_service), fl, "lmmcis", 0, &mark));
  auto* ctx = svc ? static_cast<lmm_ctx*>(
                        lmmi_palloc(bctx, root, sizeof(lmm_ctx), fl, "lmmcis", 0, &mark))
                  : nullptr;
  auto* pv = ctx ? static_cast<lmm_private*>(
                       lmmi_palloc(bctx, root, sizeof(lmm_private), fl, "lmmcis", 0, &mark))
                 : nullptr;
  lmm_heap* top = nullptr;
  if (pv) {
    svc->ctx = ctx;
    svc->count = 9;
    memcpy(svc->words, bsvc->words, sizeof svc->words);
    *lmmi_service_field(product) = svc;
    ctx->owner = product;
    ctx->priv = pv;
    pv->primary = pr;
    pv->tophp = nullptr;
    pv->reserved = nullptr;
    int before = lmm_error_depth(block);
    int r = lmmhpinit(bctx, &top, root, 0, nullptr, "lmmcis", kProductHeapLine, &lmmgstand);
    lmmi_markrule(bctx, before, &mark);
    if (r == 0) {
      pv->tophp = top;
      *place = ctx;
      return 0;
    }
    // A descriptor left by the failed init is freed with it.
    if (top) lmmhpfree(bctx, top, LMM_PRODUCT_UNDO);
    *lmmi_service_field(product) = nullptr;
  }
  const unsigned ufl = LMM_PRODUCT_UNDO;
  if (pv) lmmi_pfree(bctx, root, pv, ufl, &mark);
  if (ctx) lmmi_pfree(bctx, root, ctx, ufl, &mark);
  if (svc) lmmi_pfree(bctx, root, svc, ufl, &mark);
  return -1;
}

int lmmcit(lpm_meta* block, lmm_ctx* inst, void* product) {
  if (!block || !inst || !inst->priv) return -1;
  auto* bsvc = static_cast<lmm_service*>(*lmmi_service_field(block));
  if (!bsvc || !bsvc->ctx) return -1;
  lmm_ctx* bctx = bsvc->ctx;
  lmm_heap* root = bctx->priv->primary->roothp;
  int mark = 0;
  lmm_private* pv = inst->priv;
  if (pv->tophp && lmmhpfree(bctx, pv->tophp, 0) != 0) return -1;
  pv->tophp = nullptr;
  void* svc = *lmmi_service_field(product ? product : inst->owner);
  if (lmmi_pfree(bctx, root, pv, LMM_PRODUCT, &mark) != 0) return -1;
  inst->priv = nullptr;
  if (lmmi_pfree(bctx, root, inst, LMM_PRODUCT, &mark) != 0) return -1;
  if (svc && static_cast<lmm_service*>(svc)->ctx == inst) {
    if (lmmi_pfree(bctx, root, svc, LMM_PRODUCT, &mark) != 0) return -1;
    *lmmi_service_field(product ? product : inst->owner) = nullptr;
  }
  return 0;
}
