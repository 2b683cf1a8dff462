// Post-wait facade: checks the contexts and forwards to the OS part.
#include "skgpw.h"

#include <assert.h>
#include <signal.h>
#include <stdio.h>

#include "slts.h"

namespace {

void clear_err(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

[[maybe_unused]] bool is_init(const skgp_ctx *ctx) {
  return ctx != nullptr && (ctx->flags & SKGP_FLG_INIT) != 0;
}

[[maybe_unused]] bool area_valid(const skgp_ctx *ctx) {
  return ctx->pwctx != nullptr && (ctx->pwctx->flags & SKGPW_AREA_VALID) != 0;
}

void fill_other(slos_error *err, const char *fmt, int a, int b) {
  char text[sizeof err->other];
  snprintf(text, sizeof text, fmt, a, b);
  slosOtherInfo(err, text);
}

}  // namespace

extern "C" int skgpwinit(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared,
                         const skgpw_wid *wid, skgp_oswid *oswid, int slot, int maxprocs,
                         uint32_t flags) {
  assert(is_init(ctx));
  ctx->pwctx = shared;
  if (shared == nullptr) {
    slosFillInt(err, "skgpwinit1");
    slosOtherInfo(err, "invalid shared context");
    return 0;
  }
  const bool create = (flags & SKGPW_INIT_CREATE) != 0;
  if (!create && (shared->flags & SKGPW_AREA_VALID) == 0) {
    slosFillInt(err, "skgpwinit4");
    slosOtherInfo(err, "attach to invalid skgp shared ctx");
    return 0;
  }
  // A slot outside the area would name another set's link or magic.
  const int slots = create ? maxprocs : static_cast<int>(shared->maxprocs);
  if (slot < 0 || slot >= slots) {
    slosFillInt(err, "skgpwinit5");
    fill_other(err, "slot = %d, maxprocs = %d", slot, slots);
    return 0;
  }
  if (create) {
    shared->maxprocs = static_cast<uint32_t>(maxprocs);
    shared->flags &= ~SKGPW_AREA_VALID;
    if (!sskgpwcr(err, ctx, shared, wid)) return 0;
    shared->flags |= SKGPW_AREA_VALID;
  } else {
    skgpacctg(ctx);
  }
  return sskgpwattach(err, ctx, shared, oswid, slot);
}

extern "C" int skgpwreset(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared) {
  if (!is_init(ctx) || shared == nullptr || (shared->flags & SKGPW_AREA_VALID) == 0) {
    slosFillInt(err, "skgpwreset1");
    slosOtherInfo(err, is_init(ctx) ? "invalid shared ctx" : "invalid process ctx");
    return 0;
  }
  sskgpwrm(err, shared, nullptr, 1);
  ctx->pwctx = nullptr;
  shared->flags &= ~SKGPW_AREA_VALID;
  return err->code == 0;
}

extern "C" int skgpwwait(slos_error *err, skgp_ctx *ctx, long usec, uint32_t flags) {
  assert(is_init(ctx) && area_valid(ctx));
  if (flags & SKGPW_WAIT_NAP) {
    clear_err(err);
    skgpnap(err, ctx, usec);
    return 0;
  }
  if (usec == 0 && (flags & SKGPW_WAIT_FOREVER) == 0) {
    sltstyield();
    return 0;
  }
  clear_err(err);
  return sskgpwwait(err, ctx, usec, flags);
}

extern "C" int skgpwpost(slos_error *err, skgp_ctx *ctx, const skgp_oswid *target,
                         uint32_t flags) {
  (void)ctx;
  (void)flags;
  return sskgpwpost(err, target);
}

extern "C" int skgpwvectorpost(slos_error *err, skgp_ctx *ctx, skgp_oswid **targets, int count,
                               uint32_t flags) {
  (void)flags;
  return sskgpwvectorpost(err, ctx, targets, count);
}

extern "C" int skgpwcall(slos_error *err, skgp_ctx *ctx, const int32_t *pid, uint32_t flags) {
  assert(is_init(ctx) && ((flags & SKGPW_CALL_ANY) != 0 || area_valid(ctx)));
  (void)ctx;
  (void)flags;
  // 0 and negative ids would signal a process group or every process.
  if (pid == nullptr || *pid <= 0) {
    slosFillErr(err, SKGP_ERR_BADPID, 0, "invalid_process_id", "skgpwcall2");
    return 0;
  }
  if (const int e = sskgpwcall(*pid); e != 0) {
    slosFillErr(err, SKGPW_ERR_CALL, e, "kill", "skgpwcall1");
    fill_other(err, "target pid = %d", static_cast<int>(*pid), 0);
    return 0;
  }
  return 1;
}

extern "C" int skgpwcinit(slos_error *err, skgp_ctx *ctx, skgpw_callfn handler) {
  assert(is_init(ctx) && area_valid(ctx));
  sl_status st{};
  int id = sslssreghdlr(&st, SIGUSR2, handler, ctx, 0);
  if (id < 0) {
    slosFillErr(err, st.code, 0, "sslssreghdlr", "skgpwcinit1");
    return 0;
  }
  ctx->usr2_id = id;
  return 1;
}
