// The health interface's process context: brings up the kit (bootstrap, the
// VUV facility, a sub-heap for the interface's contexts, NLS, the VUV message
// handle, the process services) and maps event numbers to rows of the event
// table.
//
// Invariant: a context whose magic is GIMH_PROC_MAGIC has every handle of its
// gimc_env set, env.flags has GIMC_ENV_NLS, and flags has GIMH_PROC_SKGP.
#include <assert.h>
#include <string.h>

#include "gimh_int.h"
#include "ldx.h"
#include "lnx.h"
#include "lxh.h"
#include "lxz.h"
#include "sltr.h"

namespace {

void *heap_alloc(lmm_ctx *lmm, lmm_heap *heap, size_t size) {
#if UINTPTR_MAX > 0xFFFFFFFFu
  return lmmmalloc(lmm, heap, size, 0, __FILE__, __LINE__);
#else
  return lmmmalloc(lmm, heap, size, 0);
#endif
}

void (*pause_fn)(uint32_t usec);

}  // namespace

extern "C" {

void gimh_throw(lem_frame *root, gimc_env *env, int number) {
  lempftec()(root, env->fac, number, LWEM_CLASS_THROWN, LSFEND);
}

// The depth of a record is fixed when it is made, so after a deletion the
// thread's depth can exceed its number of records: the oldest surplus record
// is always the one just past the kept ones.
void gimh_trim(gimc_env *env) {
  lem_ctx *lem = env->lem;
  lwem_stack *store = lem && lem->priv && lem->priv->store ? lem->priv->store->store : nullptr;
  for (unsigned n = lemged(lem); n > GIMH_STACK_KEEP; --n) {
    const int32_t before = store ? store->count : 0;
    lemdec(lem, static_cast<int>(GIMH_STACK_KEEP + 1));
    if (!store || store->count == before) break;
  }
}

void gimh_unwind(gimc_env *env) {
  lempbas(env->lem);
  lempbar(env->lem);
}

void gimh_pause(uint32_t usec) {
  if (pause_fn) {
    pause_fn(usec);
    return;
  }
  sl_status st;
  sltrusleep(&st, usec, nullptr);
}

#ifdef QEN_TEST_HOOKS
void gimh_test_set_pause(void (*pause)(uint32_t usec)) { pause_fn = pause; }
#endif

void *gimh_alloc(gimc_env *env, size_t size) { return heap_alloc(env->lmm, env->heap, size); }

int gimh_init_proc_ctx(gimh_proc_ctx **out, int flags) {
  (void)flags;
  if (!out) return GIMH_FAIL;
  *out = nullptr;
  const int lxz = lxzinit();

  lpm_product *product = lpmprinit();
  if (!product) return GIMH_FAIL;
  lmm_ctx *lmm = *static_cast<lmm_ctx **>(product->m.mm);
  lem_ctx *lem = *static_cast<lem_ctx **>(product->m.em);
  lmm_heap *top = lmmtophp(lmm);

  lwem_facility *fac = lemfaa(lem, nullptr, GIMH_PRODUCT, GIMH_FACILITY, GIMH_FAC_INTERNAL,
                              GIMH_FAC_FATAL);
  if (!fac) return GIMH_FAIL;
  lmm_heap *heap = static_cast<lmm_heap *>(heap_alloc(lmm, top, lmmhpsz()));
  if (!heap) {
    lemfaf(lem, fac);
    return GIMH_FAIL;
  }
  if (lmmhpinit(lmm, &heap, top, 0, nullptr, __FILE__, __LINE__, lmmgetfsmfp()) != 0) {
    lmmhpfree(lmm, heap, 0);
    lemfaf(lem, fac);
    return GIMH_FAIL;
  }
  auto *ctx = static_cast<gimh_proc_ctx *>(heap_alloc(lmm, heap, sizeof(gimh_proc_ctx)));
  if (!ctx) {
    lmmhpfree(lmm, heap, 0);
    lemfaf(lem, fac);
    return GIMH_FAIL;
  }
  memset(ctx, 0, sizeof *ctx);
  gimc_env *env = &ctx->env;
  env->product = product;
  env->lmm = lmm;
  env->heap = heap;
  env->lem = lem;
  env->fac = fac;
  *out = ctx;

  lem_frame root;
  lem_tryframe frame;
  GIMH_TRY(env, root, frame) {
    if (lxz != 0) gimh_throw(&root, env, VUV_LXZINIT);
    env->ldcb = lxldini(nullptr, product);
    if (!env->ldcb) gimh_throw(&root, env, VUV_LXLDINI);
    uint32_t status = 0;
    lxlobj *table = lxlinit(env->ldcb, 1, &status);
    if (!table) gimh_throw(&root, env, VUV_LXLINIT);
    lxinitc(&env->glo, table, env->ldcb, 1);
    env->flags |= GIMC_ENV_NLS;
    env->lang = lxhLangEnv(&env->lang_area, 0, &env->glo);
    lmsaicmt(&env->msg, nullptr, GIMH_PRODUCT, GIMH_FACILITY, 0, env->lang, &env->glo, nullptr,
             nullptr, nullptr, 0, nullptr);
    env->flags |= GIMC_ENV_MSG;
    slos_error err;
    gimh_clear_oserr(&err);
    if (!skgpinit(&err, &ctx->skgp, &ctx->ops, nullptr, 0)) {
      if (err.code != 0) gimcroserr(env, &err);
      gimh_throw(&root, env, VUV_SKGPINIT);
    }
    ctx->flags |= GIMH_PROC_SKGP;
    memset(ctx->event_row, GIMSA_NOT_SUPPORTED_ROW, sizeof ctx->event_row);
    for (int row = GIMSA_FIRST_EVENT_ROW;
         row < GIMSA_ROWS && gimsa_tab[row].event >= 0 && gimsa_tab[row].event < GIMH_NEVENTS; ++row)
      ctx->event_row[gimsa_tab[row].event] = static_cast<uint8_t>(row);
    lemptfr(&root, &frame);
    ctx->magic = GIMH_PROC_MAGIC;
    return GIMH_OK;
  }
  GIMH_CATCH(env, root, frame) {
    gimh_unwind(env);
    return GIMH_FAIL;
  }
}

int gimh_dest_proc_ctx(gimh_proc_ctx *ctx) {
  if (!ctx || ctx->magic != GIMH_PROC_MAGIC) return GIMH_FAIL;
  gimc_env *env = &ctx->env;
  if (ctx->flags & GIMH_PROC_SKGP) {
    slos_error err;
    gimh_clear_oserr(&err);
    skgpreset(&err, &ctx->skgp);
  }
  if (env->fmt) lsfcln(env->fmt);
  if (env->flags & GIMC_ENV_MSG) lmsatrm(&env->msg);
  if (env->flags & GIMC_ENV_NLS) lxlterm(&env->glo);
  if (env->ldcb) lxldfcb(env->ldcb);
  lpm_product *product = env->product;
  lmm_ctx *lmm = env->lmm;
  lmm_heap *heap = env->heap;
  if (env->fac) lemfaf(env->lem, env->fac);
  ctx->magic = 0;
  if (heap) lmmhpfree(lmm, heap, 0);  // the context itself lives in this heap
  if (product) lpmprterm(product);
  return GIMH_OK;
}

}  // extern "C"
