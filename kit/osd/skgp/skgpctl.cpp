// Process control: feature queries, detached and plain children, reaping,
// killing, pausing, the interrupt signal's state, processor counts and
// microstate accounting.
#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <sched.h>
#include <stdlib.h>
#include <signal.h>
#include <string.h>
#include <sys/select.h>
#include <sys/wait.h>
#include <unistd.h>

#include "pset.h"
#include "skgp.h"
#include "skgpw.h"
#include "skgsn.h"

namespace {

// The exit status of a new process whose program could not be started.
constexpr int kExecFailed = 128;
// Control message of /proc/self/ctl that turns on microstate accounting.
constexpr long kPcset = 16;
constexpr long kPrMsacct = 0x1000000;
constexpr char kCtlPath[] = "/proc/self/ctl";
constexpr char kInternalPlan[] = "INTERNAL_PLAN";

[[maybe_unused]] bool is_init(const skgp_ctx *ctx) {
  return ctx != nullptr && (ctx->flags & SKGP_FLG_INIT) != 0;
}

void clear_err(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

[[noreturn]] void exit_errno() { _exit((errno & 0x7F) | kExecFailed); }

// Reaps pid, retrying after a signal; the waitpid result.
pid_t reap(pid_t pid) {
  pid_t got;
  int status;
  do got = waitpid(pid, &status, 0);
  while (got < 0 && errno == EINTR);
  return got;
}

int wait_for(slos_error *err, int32_t pid, const char *loc_fail, const char *loc_wrong,
             int wrong_code) {
  pid_t got = reap(static_cast<pid_t>(pid));
  if (got < 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "waitpid", loc_fail);
    return 0;
  }
  if (got != pid) {
    slosFillErr(err, wrong_code, 0, "found_wrong_pid", loc_wrong);
    return 0;
  }
  return 1;
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
  int fds[2];
  if (pipe(fds) != 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "pipe", "skgpspawn2");
    return 0;
  }
  pid_t mid = fork();
  if (mid < 0) {
    slosFillErr(err, SKGP_ERR_FORK, errno, "fork", "skgpspawn3");
    close(fds[0]);
    close(fds[1]);
    return 0;
  }
  if (mid == 0) {
    close(fds[0]);
    pid_t grand = fork();
    if (grand < 0) _exit(1);
    if (grand > 0) _exit(0);
    skgp_pid self{};
    self.pid = static_cast<int32_t>(getpid());
    slos_error own{};
    if (!skgpstime(&own, ctx, &self)) _exit(1);
    const char *p = reinterpret_cast<const char *>(&self);
    size_t left = sizeof self;
    while (left > 0) {
      ssize_t n = write(fds[1], p, left);
      if (n < 0 && errno == EINTR) continue;
      if (n <= 0) _exit(1);
      p += n;
      left -= static_cast<size_t>(n);
    }
    close(fds[1]);
    skgpdchild(ctx, path, arg, argv);
  }
  close(fds[1]);
  skgp_pid got{};
  char *p = reinterpret_cast<char *>(&got);
  size_t have = 0;
  while (have < sizeof got) {
    ssize_t n = read(fds[0], p + have, sizeof got - have);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      slosFillErr(err, SKGP_ERR_SYSCALL, errno, "fork", "skgpspawn4");
      break;
    }
    if (n == 0) {
      slosFillErr(err, SKGP_ERR_FORK, 0, "fork", "skgpspawn5");
      break;
    }
    have += static_cast<size_t>(n);
  }
  close(fds[0]);
  if (have < sizeof got) {
    reap(mid);
    return 0;
  }
  *out = got;
  clear_err(err);
  return skgpdparent(err, ctx, static_cast<int32_t>(mid));
}

extern "C" void skgpdchild(skgp_ctx *ctx, const char *path, void *arg, char *const argv[]) {
  (void)ctx;
  (void)arg;
  close(0);
  close(1);
  close(2);
  skgpsetpgrp();
  if (chdir("/") != 0) exit_errno();
  execv(path, argv);
  exit_errno();
}

extern "C" int skgpchild(slos_error *err, skgp_ctx *ctx, const char *path,
                         void *(*thread)(void *), void *arg, char *const argv[],
                         skgp_pid *out) {
  assert(is_init(ctx));
  (void)thread;
  (void)arg;
  pid_t pid = fork();
  if (pid < 0) {
    slosFillErr(err, SKGP_ERR_FORK, errno, "fork", "skgpchild1");
    return 0;
  }
  if (pid == 0) {
    execv(path, argv);
    // The child never returns into its caller's code.
    exit_errno();
  }
  *out = skgp_pid{};
  out->pid = static_cast<int32_t>(pid);
  return skgpstime(err, ctx, out);
}

extern "C" int skgpdparent(slos_error *err, skgp_ctx *ctx, int32_t pid) {
  assert(is_init(ctx));
  (void)ctx;
  return wait_for(err, pid, "skgpdparent1", "skgpdparent2", SKGP_ERR_SYSCALL);
}

extern "C" int skgpjoin(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  assert(is_init(ctx));
  (void)ctx;
  return wait_for(err, pid->pid, "skgpjoin1", "skgpjoin2", SKGP_ERR_WRONGPID);
}

extern "C" int skgpsetpgrp(void) { return static_cast<int>(setsid()); }

extern "C" int skgpdone(slos_error *err, skgp_ctx *ctx) {
  (void)err;
  assert(is_init(ctx));
  (void)ctx;
  return 1;
}

extern "C" void skgpexit(void) { _exit(0); }

extern "C" int skgpkill(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  assert(is_init(ctx));
  if (pid == nullptr) return 1;
  // 0 and negative ids would signal a process group or every process.
  if (pid->pid <= 0) {
    slosFillErr(err, SKGP_ERR_BADPID, 0, "invalid_process_id", "skgpkill2");
    return 0;
  }
  if (!skgpvtime(err, ctx, pid)) return err->code == 0 ? 1 : 0;
  if (kill(static_cast<pid_t>(pid->pid), SIGKILL) == 0 || errno == ESRCH) return 1;
  const int e = errno;
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
  long wait = usec > ctx->usec_per_tick ? usec : ctx->usec_per_tick;
  struct timeval tv;
  tv.tv_sec = static_cast<time_t>(wait / 1000000);
  tv.tv_usec = static_cast<suseconds_t>(wait % 1000000);
  select(0, nullptr, nullptr, nullptr, &tv);
}

extern "C" int skgpint(void) {
  struct sigaction old;
  if (sigaction(SIGINT, nullptr, &old) != 0) return 0;
  return old.sa_handler != SIG_IGN;
}

extern "C" int skgpnumcpu(slos_error *err) {
  psetid_t set = PS_NONE;
  unsigned count = 0;
  if (pset_bind(PS_QUERY, P_PID, P_MYPID, &set) == 0 && set != PS_NONE &&
      pset_info(set, nullptr, &count, nullptr) == 0)
    return static_cast<int>(count);
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  if (online < 1) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "sysconf", "skgpnumcpu1");
    return -2;
  }
  return static_cast<int>(online);
}

extern "C" int skgpmoveme(slos_error *err, skgp_ctx *ctx, int lgroup) {
  assert(is_init(ctx));
  (void)ctx;
  clear_err(err);
  if (getenv("DISABLE_NUMA") != nullptr || getenv("SIM_NUMA") != nullptr) return 1;
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
  int fd = open(kCtlPath, O_WRONLY);
  if (fd < 0) {
    if (ctx->ops->warn != nullptr)
      ctx->ops->warn(ctx->opsctx, "WARNING: skgpacctg /proc open failed, errno = %d \n", errno);
    return;
  }
  const long msg[2] = {kPcset, kPrMsacct};
  if (write(fd, msg, sizeof msg) != static_cast<ssize_t>(sizeof msg) && ctx->ops->warn != nullptr)
    ctx->ops->warn(ctx->opsctx, "WARNING: skgpacctg /proc write failed, errno = %d \n", errno);
  close(fd);
}
