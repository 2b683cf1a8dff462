// Process services, the OS part: the SIGALRM handler and its registration
// with the signal multiplexer, the semtimedop probe, the identity copy, and
// every system call of the portable process services (sskgp.h): limits and
// ids, start times from the process file system, liveness, spawning and
// reaping, signals, naps, accounting, names, the mapped size, file
// identities and the diagnostic readings.
#include "skgp.h"

#include <errno.h>
#include <fcntl.h>
#include <pwd.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/select.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include "kstat.h"
#include "prmap.h"
#include "psinfo.h"
#include "sskgp.h"
#include "ssls.h"

// The timed semaphore wait may be missing from the C library: look for it
// without requiring it.
#pragma weak semtimedop

namespace {

// Flags of the SIGALRM registration: run after the signal mask is restored.
constexpr int kAlarmRegFlags = SSLSS_FINAL;

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
// The exit status of a new process whose program could not be started.
constexpr int kExecFailed = 128;
// Control message of /proc/self/ctl that turns on microstate accounting.
constexpr long kPcset = 16;
constexpr long kPrMsacct = 0x1000000;
constexpr char kCtlPath[] = "/proc/self/ctl";
constexpr char kDevPrefix[] = "/dev/";
constexpr char kDevZero[] = "/dev/zero";
constexpr char kPstack[] = "/usr/proc/bin/pstack";
constexpr int kPidDigits = 12;
constexpr long kSwapPause = 1000000;  // microseconds between the two readings
constexpr double kMiB = 1048576.0;
constexpr long kUsecPerSec = 1000000;

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

[[noreturn]] void exit_errno() { _exit((errno & 0x7F) | kExecFailed); }

// Reaps pid, retrying after a signal; the waitpid result.
pid_t reap(pid_t pid) {
  pid_t got;
  int status;
  do got = waitpid(pid, &status, 0);
  while (got < 0 && errno == EINTR);
  return got;
}

// Copies text, terminated, into buf of len (> 0) bytes.
void put_text(char *buf, size_t len, const char *text) { snprintf(buf, len, "%s", text); }

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

// ---- identity and liveness ------------------------------------------------

extern "C" int sskgpnofile(slos_error *err) {
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
  return 1;
}

extern "C" int32_t sskgpself(void) { return static_cast<int32_t>(getpid()); }

extern "C" int sskgpticks(slos_error *err, long *ticks) {
  *ticks = sysconf(_SC_CLK_TCK);
  if (*ticks >= 1) return 1;
  slosFillErr(err, SKGP_ERR_SYSCALL, errno, "sysconf_clk_tck", "skgpinit4");
  return 0;
}

extern "C" int sskgpstime(slos_error *err, skgp_pid *pid) {
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

extern "C" int sskgpexists(slos_error *err, int32_t pid) {
  if (kill(static_cast<pid_t>(pid), 0) == 0 || errno == EPERM) return 1;
  if (errno == ESRCH) return 0;
  slosFillErr(err, SKGP_ERR_SYSCALL, errno, "kill", "skgpalive2");
  return -1;
}

// ---- process control ------------------------------------------------------

extern "C" int32_t sskgpspawn(slos_error *err, const char *path, char *const argv[],
                              skgp_pid *out) {
  int fds[2];
  if (pipe(fds) != 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "pipe", "skgpspawn2");
    return -1;
  }
  pid_t mid = fork();
  if (mid < 0) {
    slosFillErr(err, SKGP_ERR_FORK, errno, "fork", "skgpspawn3");
    close(fds[0]);
    close(fds[1]);
    return -1;
  }
  if (mid == 0) {
    close(fds[0]);
    pid_t grand = fork();
    if (grand < 0) _exit(1);
    if (grand > 0) _exit(0);
    skgp_pid self{};
    self.pid = static_cast<int32_t>(getpid());
    slos_error own{};
    if (!sskgpstime(&own, &self)) _exit(1);
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
    sskgpdchild(path, argv);
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
    return -1;
  }
  *out = got;
  return static_cast<int32_t>(mid);
}

extern "C" void sskgpdchild(const char *path, char *const argv[]) {
  close(0);
  close(1);
  close(2);
  setsid();
  if (chdir("/") != 0) exit_errno();
  execv(path, argv);
  exit_errno();
}

extern "C" int32_t sskgpchild(slos_error *err, const char *path, char *const argv[]) {
  pid_t pid = fork();
  if (pid < 0) {
    slosFillErr(err, SKGP_ERR_FORK, errno, "fork", "skgpchild1");
    return -1;
  }
  if (pid == 0) {
    execv(path, argv);
    // The child never returns into its caller's code.
    exit_errno();
  }
  return static_cast<int32_t>(pid);
}

extern "C" int sskgpwait(slos_error *err, int32_t pid, const char *loc_fail, const char *loc_wrong,
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

extern "C" int sskgpsetpgrp(void) { return static_cast<int>(setsid()); }

extern "C" void sskgpexit(void) { _exit(0); }

extern "C" int sskgpkill(int32_t pid) {
  if (kill(static_cast<pid_t>(pid), SIGKILL) == 0 || errno == ESRCH) return 0;
  return errno;
}

extern "C" void sskgpnap(long usec) {
  struct timeval tv;
  tv.tv_sec = static_cast<time_t>(usec / kUsecPerSec);
  tv.tv_usec = static_cast<suseconds_t>(usec % kUsecPerSec);
  select(0, nullptr, nullptr, nullptr, &tv);
}

extern "C" int sskgpint(void) {
  struct sigaction old;
  if (sigaction(SIGINT, nullptr, &old) != 0) return 0;
  return old.sa_handler != SIG_IGN;
}

extern "C" int sskgpmsacct(int *oserr) {
  int fd = open(kCtlPath, O_WRONLY);
  if (fd < 0) {
    *oserr = errno;
    return 1;
  }
  const long msg[2] = {kPcset, kPrMsacct};
  int rc = 0;
  if (write(fd, msg, sizeof msg) != static_cast<ssize_t>(sizeof msg)) {
    *oserr = errno;
    rc = 2;
  }
  close(fd);
  return rc;
}

// ---- information and diagnostics ------------------------------------------

extern "C" int sskgpname(slos_error *err, uint32_t selector, char *buf, size_t len) {
  if (selector & SKGP_INFO_OSNAME) {
    struct utsname u;
    if (uname(&u) != 0) {
      slosFillErr(err, SKGP_ERR_NAME, errno, "uname", "skgpgetinfo1");
      return 0;
    }
    put_text(buf, len, u.sysname);
    return 1;
  }
  if (selector & SKGP_INFO_TTY) {
    const char *tty = ttyname(0);
    if (tty == nullptr) {
      slosFillErr(err, SKGP_ERR_NAME, errno, "ttyname", "skgpgetinfo3");
      return 0;
    }
    if (strncmp(tty, kDevPrefix, sizeof kDevPrefix - 1) == 0) tty += sizeof kDevPrefix - 1;
    put_text(buf, len, tty);
    return 1;
  }
  errno = 0;
  const struct passwd *pw = getpwuid(getuid());
  if (pw == nullptr) {
    slosFillErr(err, SKGP_ERR_NAME, errno, "getpwuid", "skgpgetinfo4");
    return 0;
  }
  put_text(buf, len, pw->pw_name);
  return 1;
}

extern "C" int sskgpgpmap(slos_error *err, uint64_t *result) {
  char path[40];
  snprintf(path, sizeof path, "/proc/%d/map", static_cast<int>(getpid()));
  int fd = prmap_open(path, O_RDONLY);
  if (fd < 0) {
    slosFillErr(err, SKGP_ERR_MAP, errno, "open failed", "skgpgpmap1");
    return -1;
  }
  struct stat st;
  if (fstat(fd, &st) != 0) {
    slosFillErr(err, SKGP_ERR_MAP, errno, "stat failed", "skgpgpmap2");
    close(fd);
    return -1;
  }
  int zero = open(kDevZero, O_RDWR);
  if (zero < 0) {
    slosFillErr(err, SKGP_ERR_MAP, errno, "open failed: mmapfile", "skgpgpmap3");
    close(fd);
    return -1;
  }
  // Room for twice the entries the size shows, and one more: mappings made
  // while the file is read.
  const size_t entries = static_cast<size_t>(st.st_size) / sizeof(prmap_t);
  const size_t room = (2 * entries + 1) * sizeof(prmap_t);
  void *area = mmap(nullptr, room, PROT_READ | PROT_WRITE, MAP_PRIVATE, zero, 0);
  if (area == MAP_FAILED) {
    slosFillErr(err, SKGP_ERR_MAP, errno, "mmap failed", "skgpgpmap4");
    close(zero);
    close(fd);
    return -1;
  }
  ssize_t got = pread(fd, area, room, 0);
  int e = errno;
  close(zero);
  close(fd);
  if (got < 0) {
    munmap(area, room);
    slosFillErr(err, SKGP_ERR_MAP, e, "read failed", "skgpgpmap5");
    return -1;
  }
  const prmap_t *rec = static_cast<const prmap_t *>(area);
  uint64_t sum = 0;
  for (size_t i = 0; i < static_cast<size_t>(got) / sizeof(prmap_t); ++i) sum += rec[i].pr_size;
  munmap(area, room);
  *result = sum;
  return 0;
}

extern "C" int sskgpiidget(slos_error *err, const char *path, skgp_iid *out) {
  struct stat st;
  if (stat(path, &st) != 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "stat", "skgpiidget1");
    return 0;
  }
  out->size = static_cast<uintptr_t>(st.st_size);
  out->inode = static_cast<uintptr_t>(st.st_ino);
  out->mtime = static_cast<uintptr_t>(st.st_mtime);
  return 1;
}

extern "C" int sskgploadavg(double avg[3]) { return getloadavg(avg, 3) == 3; }

extern "C" int sskgpswapdelta(double mb[5]) {
  kstat_ctl_t *kc = kstat_open();
  if (kc == nullptr) return 0;
  vminfo_t first, second;
  kstat_t *ks = kstat_lookup(kc, "unix", 0, "vminfo");
  if (ks == nullptr || kstat_read(kc, ks, &first) < 0) {
    kstat_close(kc);
    return 0;
  }
  sskgpnap(kSwapPause);
  if (kstat_chain_update(kc) < 0 || (ks = kstat_lookup(kc, "unix", 0, "vminfo")) == nullptr ||
      kstat_read(kc, ks, &second) < 0) {
    kstat_close(kc);
    return 0;
  }
  kstat_close(kc);
  const double page_mb = static_cast<double>(sysconf(_SC_PAGESIZE)) / kMiB;
  auto delta = [&](uint64_t a, uint64_t b) { return static_cast<double>(b - a) * page_mb; };
  mb[0] = delta(first.freemem, second.freemem);
  mb[1] = delta(first.swap_resv, second.swap_resv);
  mb[2] = delta(first.swap_alloc, second.swap_alloc);
  mb[3] = delta(first.swap_avail, second.swap_avail);
  mb[4] = delta(first.swap_free, second.swap_free);
  return 1;
}

extern "C" void sskgpgpstack(int32_t pid, char *buf, size_t len) {
  char cmd[sizeof kPstack + kPidDigits + 2];
  snprintf(cmd, sizeof cmd, "%s %u", kPstack, static_cast<unsigned>(pid));
  fflush(nullptr);
  FILE *p = popen(cmd, "r");
  if (p == nullptr) {
    snprintf(buf, len, "popen: failed to get stack of pid=%d\n", static_cast<int>(pid));
    return;
  }
  size_t n = fread(buf, 1, len, p);
  if (n > 0) buf[n - 1] = '\0';
  pclose(p);
}
