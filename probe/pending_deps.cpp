// STAND-INS, WAITING FOR THE OS LAYER AND THE MESSAGE FILES.
//
// Minimal versions of what the health interface calls in kit/osd (process
// identity and liveness, region files), in the message-file service and in
// the error manager's text service, so that the probe links and its tests run
// before those parts are in the tree. They go, with pending_deps.h, when the
// OS layer (skgp*, skgmsmr_op), the message files (lmsaicmt, lmsatrm) and the
// error texts (lembem, slemdsp, lsfcln) arrive.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

#include "lsf.h"
#include "pending_deps.h"
#include "psinfo.h"

namespace {

constexpr size_t kPathMax = 512;

void clear(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

void fill(slos_error *err, int32_t code, int32_t oserr, const char *call, const char *loc) {
  clear(err);
  slosFillErr(err, code, oserr, call, loc);
}

// Start time of a process from its psinfo record.
int stime(slos_error *err, int32_t pid, long *start, const char *loc1, const char *loc2) {
  if (pid <= 0) {
    fill(err, SKGP_INVALID_PID, 0, "invalid_process_id", loc1);
    return 0;
  }
  char path[64];
  snprintf(path, sizeof path, "/proc/%d/psinfo", static_cast<int>(pid));
  int fd = psinfo_open(path, O_RDONLY);
  if (fd < 0) {
    if (errno == ENOENT) fill(err, SKGP_INVALID_PID, 0, "invalid_process_id", loc2);
    else fill(err, SKGP_SYSCALL_FAILED, errno, "open", loc2);
    return 0;
  }
  psinfo_t rec;
  ssize_t n = read(fd, &rec, sizeof rec);
  int saved = errno;
  close(fd);
  if (n <= 0) {
    fill(err, saved == ENOENT || n == 0 ? SKGP_INVALID_PID : SKGP_SYSCALL_FAILED, saved,
         saved == ENOENT || n == 0 ? "invalid_process_id" : "read", "skgpstime3");
    return 0;
  }
  *start = static_cast<long>(rec.pr_start.tv_sec);
  return 1;
}

}  // namespace

extern "C" {

int skgpinit(slos_error *err, skgp_ctx *ctx, skgp_ops *ops, void *ops_ctx, uint32_t flags) {
  (void)flags;
  struct rlimit rl;
  if (getrlimit(RLIMIT_NOFILE, &rl) != 0) {
    fill(err, SKGP_SYSCALL_FAILED, errno, "getrlimit", "skgpinit1");
    return 0;
  }
  rl.rlim_cur = rl.rlim_max;
  if (setrlimit(RLIMIT_NOFILE, &rl) != 0) {
    fill(err, SKGP_SYSCALL_FAILED, errno, "setrlimit", "skgpinit2");
    return 0;
  }
  memset(ctx, 0, sizeof *ctx);
  ctx->usr2_handle = -1;
  ctx->ops = ops;
  ctx->ops_ctx = ops_ctx;
  ctx->self.pid = static_cast<int32_t>(getpid());
  long ticks = sysconf(_SC_CLK_TCK);
  if (ticks < 1) {
    fill(err, SKGP_SYSCALL_FAILED, errno, "sysconf_clk_tck", "skgpinit4");
    return 0;
  }
  clear(err);
  ctx->flags |= 1u;
  ctx->usec_per_tick = static_cast<int>(1000000 / ticks + 1);
  return stime(err, ctx->self.pid, &ctx->self.start, "skgpstime1", "skgpstime2");
}

int skgpreset(slos_error *err, skgp_ctx *ctx) {
  clear(err);
  ctx->flags &= ~1u;
  return 1;
}

int skgpalive(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid) {
  (void)ctx;
  if (pid->pid <= 0) {
    fill(err, SKGP_INVALID_PID, 0, "invalid_process_id", "skgpalive1");
    return 0;
  }
  if (kill(pid->pid, 0) != 0) {
    if (errno == ESRCH) return 0;
    if (errno != EPERM) {
      fill(err, SKGP_SYSCALL_FAILED, errno, "kill", "skgpalive2");
      return 0;
    }
  }
  if (pid->start == 0) return 1;
  slos_error priv;
  clear(&priv);
  long now = 0;
  if (!stime(&priv, pid->pid, &now, "skgpstime1", "skgpstime2"))
    return priv.code == SKGP_INVALID_PID ? 0 : 1;
  return now == pid->start;
}

int skgpmaterialize(slos_error *err, skgp_ctx *ctx, const skgp_pid *src, skgp_pid *dst) {
  (void)ctx;
  if (!src || !dst) {
    slosFillInt(err, "skgpmaterialize1");
    return 0;
  }
  dst->pid = src->pid;
  dst->start = src->start;
  return 1;
}

int skgmsmr_op(slos_error *err, skgmsmr_ctx *ctx, unsigned op, size_t length, const char *home,
               const char *sid, int mode, unsigned flags, void **addr) {
  if (!ctx) {
    fill(err, SLOS_ERR_INTERNAL, 0, "invalid skgmsmr_cx", "skgmsmr_op1");
    return SKGMSMR_FAILED;
  }
  if (op == SKGMSMR_OP_INIT) {
    if (ctx->magic != 0) {
      fill(err, SLOS_ERR_INTERNAL, 0, "invalid skgmsmr_ctx", "sskgmsmr_1");
      return SKGMSMR_FAILED;
    }
    ctx->magic = SKGMSMR_MAGIC;
    ctx->flags |= flags;
    ctx->fd = 0;
    return SKGMSMR_OK;
  }
  if (op != SKGMSMR_OP_ATTACH && op != SKGMSMR_OP_DETACH && op != SKGMSMR_OP_TERM)
    return SKGMSMR_UNKNOWN;
  if (ctx->magic != SKGMSMR_MAGIC) {
    fill(err, SLOS_ERR_INTERNAL, 0, "invalid skgmsmr_ctx", "sskgmsmr_2");
    return SKGMSMR_FAILED;
  }
  if (op == SKGMSMR_OP_TERM) {
    ctx->magic = SKGMSMR_RETIRED;
    return SKGMSMR_OK;
  }
  if (op == SKGMSMR_OP_DETACH) {
    if (munmap(*addr, length) != 0) {
      fill(err, -2, errno, "munmap", "sskgmsmr_15");
      return SKGMSMR_FAILED;
    }
    if (close(ctx->fd) != 0) {
      fill(err, -2, errno, "close", "sskgmsmr_16");
      return SKGMSMR_FAILED;
    }
    return SKGMSMR_OK;
  }
  if (!home) home = getenv("VIRUZE_HOME");
  if (!home || !*home) {
    fill(err, -2, 0, "env", "sskgmsmr_3");
    slosOtherInfo(err, "VIRUZE_HOME not set");
    return SKGMSMR_FAILED;
  }
  if (!sid) sid = getenv("VIRUZE_SID");
  if (!sid || !*sid) {
    fill(err, -2, 0, "env", "sskgmsmr_4");
    slosOtherInfo(err, "VIRUZE_SID not set");
    return SKGMSMR_FAILED;
  }
  char path[kPathMax + 1];
  int n = snprintf(path, sizeof path, "%s/%s/%s%s.dat", home, "dbs", "hc_", sid);
  if (n < 0 || static_cast<size_t>(n) > kPathMax) {
    fill(err, SLOS_ERR_INTERNAL, 0, "path too long", "sskgmsmr_3b");
    return SKGMSMR_FAILED;
  }
  ctx->fd = open(path, O_RDWR | O_SYNC, 0660);
  if (ctx->fd < 0) {
    fill(err, -2, errno, "open", "sskgmsmr_7");
    return SKGMSMR_FAILED;
  }
  static const int prot[] = {PROT_NONE, PROT_READ, PROT_WRITE, PROT_READ | PROT_WRITE};
  if (mode < 0 || mode > 3) {
    fill(err, -2, 0, "skgmpmode", "sskgmsmr_12");
    return SKGMSMR_FAILED;
  }
  // A mapping beyond the end of the file faults when it is read.
  struct stat st;
  if (fstat(ctx->fd, &st) != 0) {
    fill(err, -2, errno, "fstat", "sskgmsmr_13");
    return SKGMSMR_FAILED;
  }
  if (static_cast<unsigned long long>(st.st_size) < length) {
    fill(err, -2, EINVAL, "mmap", "sskgmsmr_13");
    slosOtherInfo(err, "file shorter than the mapping");
    return SKGMSMR_FAILED;
  }
  *addr = mmap(nullptr, length, prot[mode], MAP_SHARED, ctx->fd, 0);
  if (*addr == MAP_FAILED) {
    fill(err, -2, errno, "mmap", "sskgmsmr_13");
    return SKGMSMR_FAILED;
  }
  return SKGMSMR_OK;
}

lmshnd *lmsaicmt(lmshnd *handle, const char *dir, const char *product, const char *facility,
                 int ignored, lxlangid *lang, lxglo *glo, size_t *msg_cache,
                 size_t *cmt_cache, const char *path, int thread_safe, int *lock_failed) {
  (void)dir, (void)product, (void)facility, (void)ignored, (void)lang, (void)glo;
  (void)path, (void)thread_safe;
  memset(handle, 0, sizeof *handle);
  if (msg_cache) *msg_cache = 0;
  if (cmt_cache) *cmt_cache = 0;
  if (lock_failed) *lock_failed = 0;
  return handle;
}

void lmsatrm(lmshnd *handle) { memset(handle, 0, sizeof *handle); }

void lsfcln(lsf_ctx *ctx) { (void)ctx; }

void slemdsp(lem_ctx *lem, const char *text) {
  (void)lem;
  puts(text);
}

// The text of the calling thread's records, newest first, in the form the
// error manager gives when the facility's message file is missing.
int lembem(lem_ctx *lem, int all, char *buffer, int size) {
  if (size < 1) return size;
  if (!lem || !lem->priv || !lem->priv->store) return -1;
  lwem_ctx *store = lem->priv->store;
  const int n = static_cast<int>(lwemged(store));
  const size_t cap = static_cast<size_t>(size);
  size_t used = 0;
  buffer[0] = '\0';
  auto put = [&](const char *text) {
    size_t len = strlen(text);
    size_t room = cap - 1 - used;
    if (len > room) len = room;
    memcpy(buffer + used, text, len);
    used += len;
    buffer[used] = '\0';
  };
  for (int i = 1; i <= (all ? n : (n > 0 ? 1 : 0)); ++i) {
    lwem_record *r = lwemgne(store, i);
    if (!r) break;
    char line[768];
    if (r->kind == LWEM_KIND_OS) {
      if (slcgems(&r->u.os, line, sizeof line) <= 0) break;
    } else {
      int at = snprintf(line, sizeof line, "%s-%05d: file not found", r->facility,
                        static_cast<int>(r->u.msg.number));
      lsf_arglist *args = r->u.msg.args;
      int count = args ? lwsfdcnt(args) : 0;
      if (count > 0 && at > 0 && static_cast<size_t>(at) < sizeof line)
        at += snprintf(line + at, sizeof line - static_cast<size_t>(at), "; arguments:");
      for (int a = 1; a <= count && at > 0 && static_cast<size_t>(at) < sizeof line; ++a) {
        const lsf_entry &e = args->entries[a - 1];
        char value[64];
        const char *text = value;
        if (e.type == LSFTXTP) {
          text = e.value.ptr ? static_cast<const char *>(e.value.ptr) : "";
        } else {
          int status = LSFST_OK;
          snprintf(value, sizeof value, "%lld",
                   static_cast<long long>(lwsfdval(args->entries, a, &status)));
        }
        at += snprintf(line + at, sizeof line - static_cast<size_t>(at), " [%s]", text);
      }
    }
    if (used + 1 >= cap) break;
    put(line);
    if (all && used > 0 && buffer[used - 1] != '\n' && used + 1 < cap) put("\n");
  }
  return static_cast<int>(used);
}

}  // extern "C"
