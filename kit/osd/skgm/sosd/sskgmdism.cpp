// The dynamic intimate memory lock master: starting the program, the request
// and response exchange over its pipe, lock, unlock, liveness and exit.
//
// The descriptor sskgm_dism_fd is -1 until a start is tried, the pipe (0 or
// more) while the lock master serves, -2 once it is gone or told to exit, -3
// after a failed liveness check. Writes to a dead lock master fail with EPIPE
// instead of raising SIGPIPE (MSG_NOSIGNAL is not available on a pipe, so the
// signal is blocked around the write and a pending one is consumed).
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include "ism.h"
#include "psinfo.h"
#include "skgm.h"
#include "slmisc.h"
#include "sltln.h"
#include "sskgm.h"

int32_t sskgm_dism_fd = SSKGM_FD_NONE;

namespace {

constexpr size_t kPathBuf = 512;
constexpr size_t kArgBuf = 64;
constexpr int kExecFailedExit = 128;
constexpr intptr_t kDetailSite = 110;
constexpr size_t kTraceBuf = 256;

bool absent() { return sskgm_dism_fd < 0; }

void warn(const skgm_ctx *ctx, const char *fmt, const char *a, unsigned b) {
  if (ctx != nullptr && ctx->ops != nullptr && ctx->ops->warning != nullptr)
    ctx->ops->warning(ctx->osdctx, fmt, a, b);
}

void trace_line(const skgm_ctx *ctx, const char *line) {
  if (ctx != nullptr && ctx->ops != nullptr && ctx->ops->trace != nullptr)
    ctx->ops->trace(ctx->osdctx, "%s", line);
}

// One read of up to n bytes (a response is one record: a short one is
// reported, not waited for); the count, or -1 with errno.
ssize_t read_once(int fd, void *buf, size_t n) {
  ssize_t r;
  do {
    r = read(fd, buf, n);
  } while (r < 0 && errno == EINTR);
  return r;
}

// Writes the whole buffer with SIGPIPE held off; -1 with errno on failure.
ssize_t write_nosig(int fd, const void *buf, size_t n) {
  sigset_t pipe_set, old;
  sigemptyset(&pipe_set);
  sigaddset(&pipe_set, SIGPIPE);
  pthread_sigmask(SIG_BLOCK, &pipe_set, &old);
  size_t done = 0;
  ssize_t rc = 0;
  while (done < n) {
    rc = write(fd, static_cast<const char *>(buf) + done, n - done);
    if (rc < 0) {
      if (errno == EINTR) continue;
      break;
    }
    done += static_cast<size_t>(rc);
  }
  const int e = errno;
  if (rc < 0 && e == EPIPE && !sigismember(&old, SIGPIPE)) {
    sigset_t pending;
    sigpending(&pending);
    if (sigismember(&pending, SIGPIPE)) {
      const struct timespec zero = {0, 0};
      sigtimedwait(&pipe_set, nullptr, &zero);
    }
  }
  pthread_sigmask(SIG_SETMASK, &old, nullptr);
  errno = e;
  return rc < 0 ? -1 : static_cast<ssize_t>(done);
}

void fail_rsp(sskgm_dismrsp *rsp, uint32_t status, int oserr, uint32_t diag, uint32_t value) {
  rsp->status = status;
  rsp->oserr = oserr;
  rsp->diag = diag;
  rsp->value = value;
}

}  // namespace

extern "C" int sskgmdism_cr_lckmstr(sl_status *err, skgm_ctx *ctx, int32_t *fd,
                                    sskgm_dismrsp *rsp, int warnflag) {
  memset(rsp, 0, sizeof *rsp);
  char path[kPathBuf] = {0};
  char arg0[kArgBuf] = {0};
  sl_status st{};
  size_t len = 0;
  sltln(&st, "?/bin/", 6, path, sizeof path - sizeof SSKGM_RIVEVAV, &len);
  if (st.code == 0) memcpy(path + len, SSKGM_RIVEVAV, sizeof SSKGM_RIVEVAV);
  sltln(&st, "zur_dism_@", 10, arg0, sizeof arg0 - 1, &len);

  int pfd[2];
  if (qen_pipe(pfd) != 0) {
    sskgm_seterr(err, SKGM_ERR_INVALID, errno);
    err->detail[0] = kDetailSite;
    err->detail[1] = 0;
    return 0;
  }
  const pid_t child = fork();
  if (child < 0) {
    fail_rsp(rsp, SSKGM_ST_START, errno, 1, 0);
  } else if (child == 0) {
    // The child leaves at once; the grandchild, no child of the caller, runs
    // the lock master. Neither returns into the caller.
    if (fork() != 0) _exit(0);
    const int keep = pfd[1];
    close(pfd[0]);
    for (int d = 0; d <= STDERR_FILENO; d++)
      if (d != keep) close(d);
    dup2(keep, STDOUT_FILENO);
    dup2(keep, STDIN_FILENO);
    if (keep > STDOUT_FILENO) close(keep);
    char *const argv[] = {arg0, nullptr};
    const int rc = execv(path, argv);
    sskgm_dismrsp r{};
    r.magic = SSKGM_DISM_MAGIC2;
    r.version = SSKGM_DISM_VERSION;
    r.status = SSKGM_ST_START;
    r.oserr = errno;
    r.diag = rc < 0 ? 2 : 3;
    r.magic2 = SSKGM_DISM_MAGIC;
    ssize_t ignored = write(STDOUT_FILENO, &r, sizeof r);
    (void)ignored;
    _exit(kExecFailedExit);
  } else {
    close(pfd[1]);
    pfd[1] = -1;
    int status = 0;
    while (waitpid(child, &status, 0) < 0 && errno == EINTR) {
    }
    const ssize_t n = read_once(pfd[0], rsp, sizeof *rsp);
    const int e = errno;
    auto bad = [&](int oserr, intptr_t d2) {
      sskgm_seterr(err, SKGM_ERR_INVALID, oserr);
      err->detail[0] = kDetailSite;
      err->detail[1] = d2;
    };
    if (n < 0) {
      bad(e, 4);
      fail_rsp(rsp, SSKGM_ST_START, e, 4, 0);
    } else if (static_cast<size_t>(n) < sizeof *rsp) {
      bad(0, 5);
      fail_rsp(rsp, SSKGM_ST_START, 0, 5, static_cast<uint32_t>(n));
    } else if (rsp->magic != SSKGM_DISM_MAGIC2) {
      bad(0, 6);
      fail_rsp(rsp, SSKGM_ST_START, 0, 6, rsp->magic);
    } else if (rsp->magic2 != SSKGM_DISM_MAGIC) {
      bad(0, 7);
      fail_rsp(rsp, SSKGM_ST_START, 0, 7, rsp->magic2);
    } else if (rsp->status != SSKGM_ST_OK) {
      bad(0, 8);
      rsp->status = SSKGM_ST_START;
    }
  }
  if (pfd[1] >= 0) close(pfd[1]);
  if (rsp->status != SSKGM_ST_START) {
    if (ctx != nullptr) warn(ctx, "DISM started as %s, OS id=%u\n", path, rsp->diag);
    *fd = dup(pfd[0]);
  } else if (ctx != nullptr && warnflag && ctx->ops != nullptr && ctx->ops->warning != nullptr) {
    ctx->ops->warning(ctx->osdctx,
                      "WARNING: -------------------------------\nWARNING: %s not set up "
                      "correctly.\n  Dynamic ISM can not be locked. Please\n  setup %s, or unset "
                      "sga_max_size.\n  [diagnostic %d, %d, %d]\n"
                      "----------------------------------------\n",
                      SSKGM_RIVEVAV, SSKGM_RIVEVAV, rsp->oserr, static_cast<int>(rsp->diag),
                      static_cast<int>(rsp->value));
  }
  close(pfd[0]);
  return rsp->status != SSKGM_ST_START;
}

extern "C" int sskgmdism_rw_lckmstr(sl_status *, skgm_ctx *ctx, sskgm_dismreq *req,
                                    sskgm_dismrsp *rsp) {
  req->magic = SSKGM_DISM_MAGIC;
  req->version = SSKGM_DISM_VERSION;
  req->magic2 = SSKGM_DISM_MAGIC2;
  memset(rsp, 0, sizeof *rsp);
  if (write_nosig(sskgm_dism_fd, req, sizeof *req) < 0) {
    const int e = errno;
    if (e == EBADF || e == EPIPE) {
      if (e == EPIPE) close(sskgm_dism_fd);
      sskgm_dism_fd = SSKGM_FD_GONE;
      if (ctx != nullptr && ctx->ops != nullptr && ctx->ops->warning != nullptr)
        ctx->ops->warning(ctx->osdctx, "WARNING: Detected dead rivevav process.\n");
    }
    fail_rsp(rsp, SSKGM_ST_WRITE, e, 0, 0);
    return 0;
  }
  const ssize_t n = read_once(sskgm_dism_fd, rsp, sizeof *rsp);
  if (n < 0) {
    fail_rsp(rsp, SSKGM_ST_READ, errno, 1, 0);
  } else if (static_cast<size_t>(n) < sizeof *rsp) {
    fail_rsp(rsp, SSKGM_ST_READ, 0, 2, static_cast<uint32_t>(n));
  } else if (rsp->magic != SSKGM_DISM_MAGIC2) {
    fail_rsp(rsp, SSKGM_ST_READ, 0, 3, SSKGM_DISM_MAGIC2);
  } else if (rsp->magic2 != SSKGM_DISM_MAGIC) {
    fail_rsp(rsp, SSKGM_ST_READ, 0, 4, SSKGM_DISM_MAGIC);
  }
  return rsp->status != SSKGM_ST_WRITE && rsp->status != SSKGM_ST_READ;
}

// One exchange of a request with the given fields; 1 when the lock master
// answered with success.
static int exchange(sl_status *err, skgm_ctx *ctx, uint32_t op, int32_t shmid,
                    uintptr_t segaddr, uint32_t shmflags, uintptr_t start, uint32_t length,
                    uint16_t location, sskgm_dismrsp *rsp) {
  sskgm_dismreq req{};
  req.op = op;
  req.shmid = shmid;
  req.segaddr = segaddr;
  req.shmflags = shmflags;
  req.start = start;
  req.length = length;
  req.location = location;
  return sskgmdism_rw_lckmstr(err, ctx, &req, rsp) && rsp->status == SSKGM_ST_OK;
}

static bool trace_on(skgm_ctx *ctx) {
  char val[kArgBuf] = {0};
  sl_status st{};
  size_t len = 0;
  sltln(&st, "${RIVEVAV_TRC}", 14, val, sizeof val - 1, &len);
  (void)ctx;
  return st.code == 0 && len >= 2 && val[0] == 'o' && val[1] == 'n';
}

extern "C" int sskgmdism_comm(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t op,
                              int32_t shmid, uintptr_t segaddr, uint32_t shmflags,
                              uintptr_t start, uint32_t length, const uint16_t *location,
                              int warnflag) {
  sskgm_dismrsp rsp{};
  int ok = 1;
  bool restart_failed = false;
  const uint16_t loc = location != nullptr ? *location : 0;
  switch (op) {
    case SSKGM_OP_REGISTER:
    case SSKGM_OP_RESTART: {
      int32_t fd = sskgm_dism_fd;
      if (!sskgmdism_cr_lckmstr(err, ctx, &fd, &rsp, warnflag)) {
        ok = 0;
        restart_failed = true;
        break;
      }
      if (sskgm_dism_fd >= 0) close(sskgm_dism_fd);
      sskgm_dism_fd = fd;
      if (handle == nullptr || handle->concealed) break;
      for (uint32_t i = 0; i < handle->hdr.nsub; i++) {
        if (!sskgm_segstart(handle, i)) continue;
        const skgm_subarea &s = handle->subs[i];
        if (!exchange(err, ctx, SSKGM_OP_REGISTER, s.shmid, s.stable, SSKGM_DISM_SHMFLAGS, 0, 0, 0,
                      &rsp)) {
          ok = 0;
          restart_failed = true;
          continue;
        }
        if (op != SSKGM_OP_RESTART) continue;
        const uint64_t piece = sskgmqsubareasz();
        for (uint64_t off = 0; off < s.segsize;) {
          const uint64_t next = (off / piece + 1) * piece;
          const uint64_t end = next < s.segsize ? next : s.segsize;
          if (!exchange(err, ctx, SSKGM_OP_LOCK, s.shmid, s.stable, SSKGM_DISM_SHMFLAGS,
                        static_cast<uintptr_t>(s.stable + off), static_cast<uint32_t>(end - off),
                        loc, &rsp)) {
            ok = 0;
            restart_failed = true;
            break;
          }
          off = end;
        }
      }
      break;
    }
    case SSKGM_OP_LOCK:
    case SSKGM_OP_UNLOCK:
      if (absent()) return 1;
      ok = exchange(err, ctx, op, shmid, segaddr, shmflags, start, length, loc, &rsp);
      break;
    case SSKGM_OP_LIVE:
      if (absent()) return 1;
      if (!exchange(err, ctx, op, 0, 0, 0, 0, 0, 0, &rsp) && sskgm_dism_fd == SSKGM_FD_GONE)
        return 0;
      return 1;
    case SSKGM_OP_EXIT:
      if (absent()) return 1;
      ok = exchange(err, ctx, op, 0, 0, 0, 0, 0, 0, &rsp);
      if (sskgm_dism_fd >= 0) close(sskgm_dism_fd);
      sskgm_dism_fd = SSKGM_FD_GONE;
      break;
    default:
      return 1;
  }
  if (ctx != nullptr && op != SSKGM_OP_REGISTER &&
      ((op == SSKGM_OP_RESTART && restart_failed) || trace_on(ctx))) {
    char line[kTraceBuf];
    const char *outcome = ok ? "SUCCESS : " : "FAILED : ";
    if (op == SSKGM_OP_RESTART)
      snprintf(line, sizeof line, "DISM REINIT: %s", outcome);
    else if (op == SSKGM_OP_EXIT)
      snprintf(line, sizeof line, "DISM EXIT  : %s", outcome);
    else
      snprintf(line, sizeof line, "DISM %s: start=0x%p len=%8ld loc=%d opc=0x%x",
               op == SSKGM_OP_LOCK ? "LOCK  " : "UNLOCK", reinterpret_cast<void *>(start),
               static_cast<long>(length), loc, op);
    trace_line(ctx, line);
    snprintf(line, sizeof line, " :: 0x%x [0x%x,0x%x,0x%x]\n", rsp.status,
             static_cast<unsigned>(rsp.oserr), rsp.diag, rsp.value);
    trace_line(ctx, line);
  }
  return ok;
}

extern "C" int sskgmdism_create_lckmstr(sl_status *err, skgm_ctx *ctx, skgm_realm *handle) {
  const int32_t was = sskgm_dism_fd;
  sskgm_dism_fd = SSKGM_FD_GONE;
  char path[32];
  snprintf(path, sizeof path, "/proc/%d/psinfo", static_cast<int>(getpid()));
  const int fd = psinfo_open(path, O_RDONLY);
  if (fd < 0) return 1;
  psinfo_t rec;
  const ssize_t n = read(fd, &rec, sizeof rec);
  close(fd);
  if (n != static_cast<ssize_t>(sizeof rec)) return 1;
  if (strncmp(rec.pr_psargs, SSKGM_MMAN_PREFIX, sizeof SSKGM_MMAN_PREFIX - 1) == 0)
    sskgmdism_comm(err, ctx, handle, SSKGM_OP_REGISTER, 0, 0, 0, 0, 0, nullptr,
                   was == SSKGM_FD_NONE);
  return 1;
}

extern "C" int sskgmlock(sl_status *err, skgm_ctx *ctx, uintptr_t addr, size_t len, uint32_t op,
                         uint32_t *result, const uint16_t *location) {
  if (!sskgmgetopenv(err, ctx, SKGM_OE_DISM)) return 1;
  if (op != SSKGM_OP_LOCK && !(op & SSKGM_OP_UNLOCK)) return 1;
  if (sskgm_dism_fd == SSKGM_FD_NONE || sskgm_dism_fd == SSKGM_FD_DEAD)
    sskgmdism_create_lckmstr(err, ctx, ctx->handles);
  if (absent()) return 1;
  for (const skgm_realm *h = ctx->handles; h != nullptr; h = h->next) {
    for (uint32_t i = 0; !h->concealed && i < h->hdr.nsub; i++) {
      if (!sskgm_segstart(h, i)) continue;
      const skgm_subarea &s = h->subs[i];
      const uint64_t lo = s.stable, hi = s.stable + s.segsize;
      if (s.stable == 0 || addr < lo || addr >= hi) continue;
      uint64_t start = addr, end = static_cast<uint64_t>(addr) + len;
      const uint64_t rstart = start / SSKGM_LOCKGRAIN * SSKGM_LOCKGRAIN;
      if (rstart >= lo) start = rstart;
      const uint64_t rend = (end + SSKGM_LOCKGRAIN - 1) / SSKGM_LOCKGRAIN * SSKGM_LOCKGRAIN;
      if (rend <= hi) end = rend;
      const uint32_t sent = op == SSKGM_OP_LOCK ? SSKGM_OP_LOCK : SSKGM_OP_UNLOCK;
      const int ok = sskgmdism_comm(err, ctx, nullptr, sent, s.shmid, s.stable,
                                    SSKGM_DISM_SHMFLAGS, static_cast<uintptr_t>(start),
                                    static_cast<uint32_t>(end - start), location, 0);
      if (result != nullptr) *result = ok ? op : 0;
      return 1;
    }
  }
  sskgm_trace_err(err, ctx, SKGM_ERR_LOCK, 0, 2, 0, static_cast<long>(addr),
                 static_cast<long>(len));
  return 0;
}

extern "C" int sskgmlockchk(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t op,
                            uint32_t *result) {
  if (!sskgmgetopenv(err, ctx, SKGM_OE_DISM) || op != SSKGM_OP_LIVE) return 1;
  if (!absent() && sskgmdism_comm(err, ctx, handle, SSKGM_OP_LIVE, 0, 0, 0, 0, 0, nullptr, 0))
    return 1;
  sskgm_dism_fd = SSKGM_FD_DEAD;
  if (result != nullptr) *result = 0;
  return 1;
}

extern "C" int sskgmdism_extcr(skgm_ctx *ctx, int op) {
  if (ctx == nullptr || slrac(ctx, sizeof *ctx) != 0 || ctx->magic != SKGM_CTX_MAGIC) return 0;
  sl_status st{};
  if (!sskgmgetopenv(&st, ctx, SKGM_OE_DISM)) return 0;
  if (op == 1) return sskgmdism_comm(&st, ctx, ctx->handles, SSKGM_OP_RESTART, 0, 0, 0, 0, 0,
                                     nullptr, 0);
  if (op == 2) return sskgmdism_create_lckmstr(&st, ctx, ctx->handles);
  return 0;
}
