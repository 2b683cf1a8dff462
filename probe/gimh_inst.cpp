// The instance context: maps an instance's health file read-only, waits for
// its ready flag and checks its magics, version and current-record index.
//
// Invariant: a context whose magic is GIMH_INST_MAGIC holds a complete process
// context and a mapping of sizeof(gimh_region) bytes that passed
// gimh_region_ok when the context was made.
#include <string.h>
#include <unistd.h>

#include "gimh_int.h"
#include "vsnnum.h"

namespace {

// The ready wait: up to this many pauses of this length.
constexpr unsigned kReadyPauses = 10;
constexpr uint32_t kReadyPauseUsec = 100000;

bool ready(const volatile gimh_region *r) { return (r->flags & GIMH_FLG_READY) != 0; }

// A creation that fails gives back what it took: the mapping, the health
// file's descriptor (a failed attach keeps the one it opened) and the
// context's memory, so that a caller that tries again and again does not run
// out of descriptors. The error store keeps the failure's messages.
void release_partial(gimc_env *env, gimh_inst_ctx *ctx) {
  if (!ctx) return;
  slos_error err;
  gimh_clear_oserr(&err);
  if (ctx->addr) {
    void *addr = ctx->addr;
    skgmsmr_op(&err, &ctx->smr, SKGMSMR_OP_DETACH, GIMH_REGION_SIZE, nullptr, nullptr,
               SKGMSMR_MODE_READ, 0, &addr);
  } else if (ctx->smr.fd > 0) {
    close(ctx->smr.fd);
    ctx->smr.fd = -1;
  }
  if (ctx->flags & GIMH_INST_SMR)
    skgmsmr_op(&err, &ctx->smr, SKGMSMR_OP_TERM, 0, nullptr, nullptr, 0, 0, nullptr);
  lmmfree(env->lmm, env->heap, ctx, 0);
}

}  // namespace

extern "C" {

gimh_proc_ctx *gimh_inst_proc(const gimh_inst_ctx *inst) {
  if (!inst || inst->magic != GIMH_INST_MAGIC) return nullptr;
  gimh_proc_ctx *proc = inst->proc;
  return proc && proc->magic == GIMH_PROC_MAGIC ? proc : nullptr;
}

unsigned gimh_region_index(const volatile gimh_region *region) {
  unsigned index = region->curidx;
  return index < GIMH_NRECORDS ? index : GIMH_NRECORDS;
}

bool gimh_region_ok(const volatile gimh_region *region) {
  return region && region->magic == GIMH_MAGIC && region->version == vsnnum &&
         region->magic2 == GIMH_MAGIC && gimh_region_index(region) < GIMH_NRECORDS;
}

int gimh_init_inst_ctx(gimh_inst_ctx **out, gimh_proc_ctx *proc, const char *home,
                       const char *sid) {
  if (!out || !proc || proc->magic != GIMH_PROC_MAGIC) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  gimh_inst_ctx *volatile ctx = nullptr;
  lem_frame root;
  lem_tryframe frame;
  GIMH_TRY(env, root, frame) {
    if (!env->lmm) gimh_throw(&root, env, VUV_NOHEAP);
    ctx = static_cast<gimh_inst_ctx *>(gimh_alloc(env, sizeof(gimh_inst_ctx)));
    if (!ctx) gimh_throw(&root, env, VUV_INST_NOMEM);
    memset(ctx, 0, sizeof *ctx);
    slos_error err;
    gimh_clear_oserr(&err);
    if (skgmsmr_op(&err, &ctx->smr, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, 0, nullptr) !=
        SKGMSMR_OK) {
      if (err.code != 0) gimcroserr(env, &err);
      gimh_throw(&root, env, VUV_SMR_INIT);
    }
    ctx->flags |= GIMH_INST_SMR;
    gimh_clear_oserr(&err);
    void *addr = nullptr;
    if (skgmsmr_op(&err, &ctx->smr, SKGMSMR_OP_ATTACH, GIMH_REGION_SIZE, home, sid,
                   SKGMSMR_MODE_READ, 0, &addr) != SKGMSMR_OK) {
      if (err.code != 0) gimcroserr(env, &err);
      gimh_throw(&root, env, VUV_ATTACH);
    }
    ctx->addr = addr;
    auto *region = static_cast<const volatile gimh_region *>(addr);
    unsigned pauses = 0;
    if (region && !ready(region)) {
      do {
        gimh_pause(kReadyPauseUsec);
        ++pauses;
      } while (!ready(region) && pauses < kReadyPauses);
    }
    if (pauses == kReadyPauses || !gimh_region_ok(region)) gimh_throw(&root, env, VUV_MISMATCH);
    ctx->proc = proc;
    lemptfr(&root, &frame);
    ctx->magic = GIMH_INST_MAGIC;
    *out = ctx;
    return GIMH_OK;
  }
  GIMH_CATCH(env, root, frame) {
    gimh_unwind(env);
    release_partial(env, ctx);
    return GIMH_FAIL;
  }
}

int gimh_dest_inst_ctx(gimh_inst_ctx *inst) {
  if (!inst || !inst->proc || inst->magic != GIMH_INST_MAGIC) return GIMH_FAIL;
  gimc_env *env = &inst->proc->env;
  lem_frame root;
  lem_tryframe frame;
  GIMH_TRY(env, root, frame) {
    if (!env->lmm || !env->heap) gimh_throw(&root, env, VUV_NOHEAP);
    slos_error err;
    if (inst->addr) {
      gimh_clear_oserr(&err);
      void *addr = inst->addr;
      skgmsmr_op(&err, &inst->smr, SKGMSMR_OP_DETACH, GIMH_REGION_SIZE, nullptr, nullptr,
                 SKGMSMR_MODE_READ, 0, &addr);
    }
    if (inst->flags & GIMH_INST_SMR) {
      gimh_clear_oserr(&err);
      skgmsmr_op(&err, &inst->smr, SKGMSMR_OP_TERM, 0, nullptr, nullptr, 0, 0, nullptr);
    }
    inst->magic = 0;
    lmmfree(env->lmm, env->heap, inst, 0);
    lemptfr(&root, &frame);
    return GIMH_OK;
  }
  GIMH_CATCH(env, root, frame) {
    gimh_unwind(env);
    return GIMH_FAIL;
  }
}

}  // extern "C"
