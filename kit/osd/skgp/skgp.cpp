// Process services: set-up and reset of the context, start times and liveness.
//
// Invariant: a context whose flags hold SKGP_FLG_INIT has its own identity's
// pid set and holds the SIGALRM registration (alarm_id; -1 when the
// multiplexer reported this handler with this context as registered already);
// the identity's start time may still be 0 when its lookup failed.
//
// The alarm handler is SIGALRM's final handler, and the multiplexer keeps one
// per signal: while one context is set up, a second skgpinit in the process
// fails at "sskgpinit1" with the multiplexer's status 21113.
#include "skgp.h"

#include <assert.h>
#include <string.h>

#include "sskgp.h"
#include "ssls.h"

namespace {

constexpr char kBadPid[] = "invalid_process_id";
constexpr long kUsecPerSec = 1000000;

[[maybe_unused]] bool is_init(const skgp_ctx *ctx) {
  return ctx != nullptr && (ctx->flags & SKGP_FLG_INIT) != 0;
}

// Clears the code and the additional information, as callers do before a call.
void clear_err(slos_error *err) {
  if (err == nullptr) return;
  err->code = 0;
  err->other[0] = '\0';
}

}  // namespace

extern "C" int skgpinit(slos_error *err, skgp_ctx *ctx, skgp_ops *ops, void *opsctx,
                        uint32_t flags) {
  if (!sskgpnofile(err)) return 0;

  memset(static_cast<void *>(ctx), 0, sizeof *ctx);
  ctx->usr2_id = -1;
  ctx->ops = ops;
  ctx->opsctx = opsctx;
  ctx->self.pid = sskgpself();

  if (!sskgpinit(err, ctx, flags)) return 0;

  long ticks = 0;
  if (!sskgpticks(err, &ticks)) return 0;
  clear_err(err);
  ctx->flags |= SKGP_FLG_INIT;
  ctx->usec_per_tick = static_cast<int>(kUsecPerSec / ticks + 1);
  return skgpstime(err, ctx, &ctx->self);
}

extern "C" int skgpreset(slos_error *err, skgp_ctx *ctx) {
  assert(is_init(ctx));
  if (!sskgpreset(err, ctx)) return 0;
  if (ctx->usr2_id != -1) {
    sl_status st{};
    if (sslssunreghdlr(&st, SIGUSR2, ctx->usr2_id) < 0) {
      slosFillErr(err, st.code, st.oserr, "sslssunreghdlr", "skgpreset2");
      return 0;
    }
    ctx->usr2_id = -1;
  }
  ctx->flags &= ~SKGP_FLG_INIT;
  return 1;
}

extern "C" int skgpstime(slos_error *err, skgp_ctx *ctx, skgp_pid *pid) {
  assert(is_init(ctx));
  (void)ctx;
  // Only positive ids name one process: kill() and /proc would take 0 and
  // negative ids for groups or fail on them.
  if (pid->pid <= 0) {
    slosFillErr(err, SKGP_ERR_BADPID, 0, kBadPid, "skgpstime1");
    return 0;
  }
  return sskgpstime(err, pid);
}

extern "C" int skgpvtime(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  if (pid->stime == 0) return 1;
  skgp_pid now{};
  now.pid = pid->pid;
  clear_err(err);
  if (skgpstime(err, ctx, &now)) return now.stime == pid->stime ? 1 : 0;
  if (err != nullptr && err->code == SKGP_ERR_BADPID) clear_err(err);
  return 0;
}

extern "C" int skgpalive(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  assert(is_init(ctx));
  if (pid->pid <= 0) {
    slosFillErr(err, SKGP_ERR_BADPID, 0, kBadPid, "skgpalive1");
    return 0;
  }
  const int exists = sskgpexists(err, pid->pid);
  if (exists <= 0) return 0;  // gone (record untouched), or the record filled
  slos_error own{};
  if (skgpvtime(&own, ctx, pid)) return 1;
  return own.code != 0 ? 1 : 0;
}

extern "C" int skgpmaterialize(slos_error *err, skgp_ctx *ctx, const skgp_pid *src,
                               skgp_pid *dst) {
  assert(is_init(ctx));
  if (src == nullptr || dst == nullptr) {
    slosFillInt(err, "skgpmaterialize1");
    return 0;
  }
  return sskgpmaterialize(err, ctx, src, dst);
}
