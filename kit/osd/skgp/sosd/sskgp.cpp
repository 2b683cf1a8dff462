// Process services, the OS part: the SIGALRM handler and its registration
// with the signal multiplexer, the semtimedop probe, the identity copy.
#include "skgp.h"

#include <signal.h>
#include <sys/sem.h>

#include "ssls.h"

// The timed semaphore wait may be missing from the C library: look for it
// without requiring it.
#pragma weak semtimedop

namespace {

// Flags of the SIGALRM registration: run after the signal mask is restored.
constexpr int kAlarmRegFlags = SSLSS_FINAL;

}  // namespace

extern "C" int sskgpinit(slos_error *err, skgp_ctx *ctx, uint32_t flags) {
  (void)flags;
  sl_status st{};
  int id = sslssreghdlr(&st, SIGALRM, sskgpalarm, ctx, kAlarmRegFlags);
  if (id >= 0) {
    ctx->alarm_id = id;
  } else if (st.code == SSLSS_ERR_DUP) {
    // This handler with this context is registered already: keep that one.
    ctx->alarm_id = -1;
  } else {
    slosFillErr(err, st.code, st.oserr, "sslssreghdlr", "sskgpinit1");
    return 0;
  }
  if (&semtimedop != nullptr) ctx->flags |= SKGP_FLG_SEMTIMEDOP;
  return 1;
}

extern "C" int sskgpreset(slos_error *err, skgp_ctx *ctx) {
  sl_status st{};
  if (sslssunreghdlr(&st, SIGALRM, ctx->alarm_id) < 0) {
    slosFillErr(err, st.code, st.oserr, "sslssunreghdlr", "sskgpreset1");
    return 0;
  }
  return 1;
}

extern "C" int sskgpmaterialize(slos_error *err, skgp_ctx *ctx, const skgp_pid *src,
                                skgp_pid *dst) {
  (void)err;
  (void)ctx;
  // The source may be shared memory that another process writes: read each
  // word once.
  const volatile skgp_pid *from = src;
  dst->pid = from->pid;
  dst->stime = from->stime;
  return 1;
}

extern "C" void sskgpalarm(int sig, void *arg) {
  skgp_ctx *ctx = static_cast<skgp_ctx *>(arg);
  ctx->alarm_fired = 1;
  if (ctx->jmpflags & SKGP_JMP_VALID) siglongjmp(ctx->jmpbuf, 1);
  if (ctx->ops != nullptr && ctx->ops->trace != nullptr)
    ctx->ops->trace(ctx->opsctx,
                    "sskgpalarm: signal %d recieved by unix process %d with invalid jmpbuf\n",
                    sig, static_cast<int>(ctx->self.pid));
}
