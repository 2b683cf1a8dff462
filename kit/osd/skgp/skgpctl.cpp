// Process control: feature queries, detached and plain children, reaping,
// killing, pausing, the interrupt signal's state, processor counts and
// microstate accounting.
#include <assert.h>
#include <errno.h>
#include <string.h>

#include "skgp.h"
#include "skgpw.h"
#include "skgsn.h"
#include "slmisc.h"
#include "sskgp.h"

namespace {

constexpr char kInternalPlan[] = "INTERNAL_PLAN";

[[maybe_unused]] bool is_init(const skgp_ctx *ctx) {
  return ctx != nullptr && (ctx->flags & SKGP_FLG_INIT) != 0;
}

void clear_err(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

}  // namespace

extern "C" int skgpquery(const skgp_ctx *ctx, uint32_t bits) {
  if (bits & SKGP_Q_ALWAYS) return 1;
  if (bits & SKGP_Q_NEVER) return 0;
  if (ctx == nullptr || (ctx->flags & SKGP_FLG_INIT) == 0) return 0;
  if ((bits & SKGP_Q_POSTWAIT) == 0) return 1;
  return ctx->pwctx != nullptr && (ctx->pwctx->flags & SKGPW_AREA_VALID) != 0;
}

extern "C" int skgpspawn(slos_error *err, skgp_ctx *ctx, const char *path,
                         void *(*thread)(void *), void *arg, char *const argv[], skgp_pid *out,
                         void *reserved1, void *reserved2, uint32_t flags) {
  assert(is_init(ctx));
  (void)reserved1;
  (void)reserved2;
  *out = skgp_pid{};
  if (flags & SKGP_SPAWN_CHILD) {
    clear_err(err);
    return skgpchild(err, ctx, path, thread, arg, argv, out);
  }
  if (path == nullptr && thread != nullptr) {
    slosFillErr(err, SKGP_ERR_NOTSUP, 0, "thread_support", "skgpspawn1");
    return 0;
  }
  const int32_t mid = sskgpspawn(err, path, argv, out);
  if (mid < 0) return 0;
  clear_err(err);
  return skgpdparent(err, ctx, mid);
}

extern "C" void skgpdchild(skgp_ctx *ctx, const char *path, void *arg, char *const argv[]) {
  (void)ctx;
  (void)arg;
  sskgpdchild(path, argv);
}

extern "C" int skgpchild(slos_error *err, skgp_ctx *ctx, const char *path,
                         void *(*thread)(void *), void *arg, char *const argv[],
                         skgp_pid *out) {
  assert(is_init(ctx));
  (void)thread;
  (void)arg;
  const int32_t pid = sskgpchild(err, path, argv);
  if (pid < 0) return 0;
  *out = skgp_pid{};
  out->pid = pid;
  return skgpstime(err, ctx, out);
}

extern "C" int skgpdparent(slos_error *err, skgp_ctx *ctx, int32_t pid) {
  assert(is_init(ctx));
  (void)ctx;
  return sskgpwait(err, pid, "skgpdparent1", "skgpdparent2", SKGP_ERR_SYSCALL);
}

extern "C" int skgpjoin(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  assert(is_init(ctx));
  (void)ctx;
  return sskgpwait(err, pid->pid, "skgpjoin1", "skgpjoin2", SKGP_ERR_WRONGPID);
}

extern "C" int skgpsetpgrp(void) { return sskgpsetpgrp(); }

extern "C" int skgpdone(slos_error *err, skgp_ctx *ctx) {
  (void)err;
  assert(is_init(ctx));
  (void)ctx;
  return 1;
}

extern "C" void skgpexit(void) { sskgpexit(); }

extern "C" int skgpkill(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  assert(is_init(ctx));
  if (pid == nullptr) return 1;
  // 0 and negative ids would signal a process group or every process.
  if (pid->pid <= 0) {
    slosFillErr(err, SKGP_ERR_BADPID, 0, "invalid_process_id", "skgpkill2");
    return 0;
  }
  if (!skgpvtime(err, ctx, pid)) return err->code == 0 ? 1 : 0;
  const int e = sskgpkill(pid->pid);
  if (e == 0) return 1;
  if (e == EPERM) {
    slos_error own{};
    if (!skgpvtime(&own, ctx, pid) && own.code == 0) return 1;
  }
  slosFillErr(err, SKGP_ERR_KILL, e, "kill", "skgpkill1");
  return 0;
}

extern "C" void skgpnap(slos_error *err, skgp_ctx *ctx, long usec) {
  (void)err;
  assert(is_init(ctx));
  sskgpnap(usec > ctx->usec_per_tick ? usec : ctx->usec_per_tick);
}

extern "C" int skgpint(void) { return sskgpint(); }

// The OS layer's one processor count (slcpuc: the bound processor set's
// count, else the online processors), reported as a failure when the
// system gives no count.
extern "C" int skgpnumcpu(slos_error *err) {
  sl_status st{};
  const int n = slcpuc(&st);
  if (n > 0) return n;
  slosFillErr(err, SKGP_ERR_SYSCALL, st.oserr, "sysconf", "skgpnumcpu1");
  return -2;
}

extern "C" int skgpmoveme(slos_error *err, skgp_ctx *ctx, int lgroup) {
  assert(is_init(ctx));
  (void)ctx;
  clear_err(err);
  if (skgsnenvoff()) return 1;
  if (!skgsn_load_lgrp_library(err, nullptr)) return 0;
  lgrp_id_t home = SKGSN_lgrp_home(P_LWPID, P_MYID);
  if (SKGSN_lgrp_affinity_set(P_LWPID, P_MYID, home, LGRP_AFF_NONE) == 0 &&
      SKGSN_lgrp_affinity_set(P_LWPID, P_MYID, lgroup, LGRP_AFF_STRONG) == 0)
    return 1;
  slosFillErr(err, SKGP_ERR_SYSCALL, errno, "lgrp_affinity_set", "skgpmoveme1");
  return 0;
}

extern "C" void skgpacctg(skgp_ctx *ctx) {
  if (ctx->ops == nullptr || ctx->ops->parm == nullptr) return;
  int timed = 0;
  ctx->ops->parm(ctx->opsctx, "timed_os_statistics", 0, &timed, nullptr, 0, 0);
  if (timed == 0) {
    int len = 0;
    char *plan = nullptr;
    ctx->ops->parm(ctx->opsctx, "resource_manager_plan", 0, &len, &plan, 0, 0);
    if (plan == nullptr || len <= 0) return;
    const size_t n = static_cast<size_t>(len);
    if (n == sizeof kInternalPlan - 1 && memcmp(plan, kInternalPlan, n) == 0) return;
  }
  int oserr = 0;
  const int failed = sskgpmsacct(&oserr);
  if (failed != 0 && ctx->ops->warn != nullptr)
    ctx->ops->warn(ctx->opsctx,
                   failed == 1 ? "WARNING: skgpacctg /proc open failed, errno = %d \n"
                               : "WARNING: skgpacctg /proc write failed, errno = %d \n",
                   oserr);
}
