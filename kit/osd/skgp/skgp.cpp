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
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/resource.h>
#include <unistd.h>

#include "psinfo.h"
#include "ssls.h"

namespace {

// The psinfo record as read: the Solaris sizes of the two builds, at least the
// size of the record the process file system serves here.
#if UINTPTR_MAX > 0xFFFFFFFFu
constexpr size_t kPsinfoRead = 416;
#else
constexpr size_t kPsinfoRead = 336;
#endif
static_assert(kPsinfoRead >= sizeof(psinfo_t));

union PsinfoBuf {
  psinfo_t rec;
  char raw[kPsinfoRead];
};

constexpr char kBadPid[] = "invalid_process_id";

[[maybe_unused]] bool is_init(const skgp_ctx *ctx) {
  return ctx != nullptr && (ctx->flags & SKGP_FLG_INIT) != 0;
}

// Clears the code and the additional information, as callers do before a call.
void clear_err(slos_error *err) {
  if (err == nullptr) return;
  err->code = 0;
  err->other[0] = '\0';
}

// read(2) that retries after a signal.
ssize_t read_again(int fd, void *buf, size_t len) {
  ssize_t n;
  do n = read(fd, buf, len);
  while (n < 0 && errno == EINTR);
  return n;
}

void close_keep_errno(int fd) {
  int e = errno;
  close(fd);
  errno = e;
}

}  // namespace

extern "C" int skgpinit(slos_error *err, skgp_ctx *ctx, skgp_ops *ops, void *opsctx,
                        uint32_t flags) {
  struct rlimit rl;
  if (getrlimit(RLIMIT_NOFILE, &rl) != 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "getrlimit", "skgpinit1");
    return 0;
  }
  rl.rlim_cur = rl.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &rl) != 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "setrlimit", "skgpinit2");
    return 0;
  }

  memset(static_cast<void *>(ctx), 0, sizeof *ctx);
  ctx->usr2_id = -1;
  ctx->ops = ops;
  ctx->opsctx = opsctx;
  ctx->self.pid = static_cast<int32_t>(getpid());

  if (!sskgpinit(err, ctx, flags)) return 0;

  long ticks = sysconf(_SC_CLK_TCK);
  if (ticks < 1) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "sysconf_clk_tck", "skgpinit4");
    return 0;
  }
  clear_err(err);
  ctx->flags |= SKGP_FLG_INIT;
  ctx->usec_per_tick = static_cast<int>(1000000 / ticks + 1);
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
  char path[32];
  snprintf(path, sizeof path, "/proc/%d/psinfo", static_cast<int>(pid->pid));
  int fd = psinfo_open(path, O_RDONLY);
  if (fd < 0) {
    if (errno == ENOENT)
      slosFillErr(err, SKGP_ERR_BADPID, errno, kBadPid, "skgpstime2");
    else
      slosFillErr(err, SKGP_ERR_SYSCALL, errno, "open", "skgpstime2");
    return 0;
  }
  PsinfoBuf buf;
  ssize_t n = read_again(fd, buf.raw, sizeof buf.raw);
  if (n > 0) {
    close(fd);
    pid->stime = static_cast<decltype(pid->stime)>(buf.rec.pr_start.tv_sec);
    return 1;
  }
  // An empty record is a process that ended while it was read.
  int e = n == 0 ? ENOENT : errno;
  if (e == ENOENT)
    slosFillErr(err, SKGP_ERR_BADPID, e, kBadPid, "skgpstime3");
  else
    slosFillErr(err, SKGP_ERR_SYSCALL, e, "read", "skgpstime3");
  close_keep_errno(fd);
  return 0;
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
  if (kill(static_cast<pid_t>(pid->pid), 0) != 0) {
    if (errno == ESRCH) return 0;
    if (errno != EPERM) {
      slosFillErr(err, SKGP_ERR_SYSCALL, errno, "kill", "skgpalive2");
      return 0;
    }
  }
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
