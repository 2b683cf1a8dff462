// Process information and diagnostics: ids as text and back, system names,
// the mapped size, image identities and a diagnostic report on a process.
#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>

#include "kstat.h"
#include "prmap.h"
#include "skgp.h"
#include "skgpw.h"

namespace {

constexpr char kUnknown[] = "UNKNOWN";
constexpr char kDevPrefix[] = "/dev/";
constexpr char kPidPrefix[] = "Unix process pid: ";
constexpr char kImagePrefix[] = ", image: ";
constexpr char kPstack[] = "/usr/proc/bin/pstack";
constexpr char kDevZero[] = "/dev/zero";
constexpr int kPidDigits = 12;
constexpr long kSwapPause = 1000000;  // microseconds between the two readings
constexpr double kMiB = 1048576.0;

[[maybe_unused]] bool is_init(const skgp_ctx *ctx) {
  return ctx != nullptr && (ctx->flags & SKGP_FLG_INIT) != 0;
}

// Copies the text without a terminator, at most buflen bytes; its length.
size_t copy_text(char *buf, size_t buflen, const char *text) {
  size_t n = std::min(strlen(text), buflen);
  memcpy(buf, text, n);
  return n;
}

// The text that a failure leaves: "UNKNOWN" with its terminator, cut to the
// buffer.
int unknown(char *buf, size_t buflen, size_t *outlen) {
  size_t n = std::min(sizeof kUnknown, buflen);
  memcpy(buf, kUnknown, n);
  *outlen = std::min(n, sizeof kUnknown - 1);
  return 0;
}

// Appends to a terminated text in buf; false when no room is left.
size_t used(const char *buf, size_t len) { return strnlen(buf, len); }

}  // namespace

extern "C" int skgpospidstr(slos_error *err, skgp_ctx *ctx, const int32_t *pid, char *buf,
                            size_t buflen, size_t *outlen, const char *image, size_t imagelen,
                            uint32_t flags) {
  assert(is_init(ctx));
  (void)ctx;
  char num[kPidDigits];
  int digits = snprintf(num, sizeof num, "%d", static_cast<int>(*pid));
  if (image == nullptr) imagelen = 0;
  const bool with_image = (flags & SKGP_PIDSTR_IMAGE) != 0;
  const size_t len = with_image ? static_cast<size_t>(digits) + imagelen +
                                      (sizeof kPidPrefix - 1) + (sizeof kImagePrefix - 1)
                                : static_cast<size_t>(digits);
  if (len >= buflen) {
    slosFillErr(err, SKGP_ERR_ROOM, 0, "memcpy", "skgpospidstr1");
    char text[24];
    snprintf(text, sizeof text, "%lu", static_cast<unsigned long>(*outlen));
    slosOtherInfo(err, text);
    return 0;
  }
  char *p = buf;
  auto put = [&p](const char *s, size_t n) {
    memcpy(p, s, n);
    p += n;
  };
  if (with_image) put(kPidPrefix, sizeof kPidPrefix - 1);
  put(num, static_cast<size_t>(digits));
  if (with_image) {
    put(kImagePrefix, sizeof kImagePrefix - 1);
    if (imagelen > 0) put(image, imagelen);
  }
  *p = '\0';
  *outlen = len;
  return 1;
}

extern "C" void skgposwidstr(slos_error *err, skgp_ctx *ctx, const skgp_oswid *oswid, char *buf,
                             size_t buflen, size_t *outlen) {
  (void)ctx;
  sskgposwidstr(err, oswid, buf, buflen, outlen);
}

extern "C" void skgpscanpid(slos_error *err, skgp_ctx *ctx, void *reserved,
                            const char *const *text, const size_t *len, skgp_pid *out) {
  assert(is_init(ctx));
  (void)ctx;
  (void)reserved;
  char copy[SKGP_SCAN_MAX + 1];
  const size_t n = std::min<size_t>(*len, SKGP_SCAN_MAX);
  memcpy(copy, *text, n);
  copy[n] = '\0';
  *out = skgp_pid{};
  char *end;
  errno = 0;
  long long v = strtoll(copy, &end, 0);
  // Text past 23 characters is text left over, like any other.
  const bool bad = *end != '\0' || *len > SKGP_SCAN_MAX || errno == ERANGE || v > INT_MAX ||
                   v < INT_MIN;
  out->pid = static_cast<int32_t>(v);
  if (bad) {
    slosFillErr(err, SKGP_ERR_SCAN, 0, "strtol", "skgpscanpid");
    char info[40];
    snprintf(info, sizeof info, "pid = %d", static_cast<int>(out->pid));
    slosOtherInfo(err, info);
  }
}

extern "C" int skgpgetinfo(slos_error *err, skgp_ctx *ctx, char *buf, size_t buflen,
                           size_t *outlen, uint32_t selector) {
  assert(is_init(ctx));
  (void)ctx;
  if (selector & SKGP_INFO_OSNAME) {
    struct utsname u;
    if (uname(&u) != 0) {
      slosFillErr(err, SKGP_ERR_NAME, errno, "uname", "skgpgetinfo1");
      return unknown(buf, buflen, outlen);
    }
    *outlen = copy_text(buf, buflen, u.sysname);
    return 1;
  }
  if (selector & SKGP_INFO_EXENAME) {
    slosFillErr(err, SKGP_ERR_NOTSUP, 0, "get_exe_name", "skgpgetinfo2");
    return unknown(buf, buflen, outlen);
  }
  if (selector & SKGP_INFO_TTY) {
    const char *tty = ttyname(0);
    if (tty == nullptr) {
      slosFillErr(err, SKGP_ERR_NAME, errno, "ttyname", "skgpgetinfo3");
      return unknown(buf, buflen, outlen);
    }
    if (strncmp(tty, kDevPrefix, sizeof kDevPrefix - 1) == 0) tty += sizeof kDevPrefix - 1;
    *outlen = copy_text(buf, buflen, tty);
    return 1;
  }
  if (selector & SKGP_INFO_USER) {
    errno = 0;
    const struct passwd *pw = getpwuid(getuid());
    if (pw == nullptr) {
      slosFillErr(err, SKGP_ERR_NAME, errno, "getpwuid", "skgpgetinfo4");
      return unknown(buf, buflen, outlen);
    }
    *outlen = copy_text(buf, buflen, pw->pw_name);
    return 1;
  }
  return unknown(buf, buflen, outlen);
}

extern "C" int skgpdumpinfo(slos_error *err, skgp_ctx *ctx) {
  assert(is_init(ctx));
  if (ctx->pwctx == nullptr) return 0;
  return sskgpdmpinfo(err, ctx, ctx->pwctx, nullptr, 1);
}

extern "C" int skgpgpmap(slos_error *err, uint64_t *result) {
  if (result == nullptr) return -1;
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

extern "C" int skgpiidget(slos_error *err, skgp_ctx *ctx, const char *path, skgp_iid *out) {
  assert(is_init(ctx));
  (void)ctx;
  struct stat st;
  if (stat(path, &st) != 0) {
    slosFillErr(err, SKGP_ERR_SYSCALL, errno, "stat", "skgpiidget1");
    return 0;
  }
  out->magic = SKGP_IID_MAGIC;
  out->size = static_cast<uintptr_t>(st.st_size);
  out->inode = static_cast<uintptr_t>(st.st_ino);
  out->mtime = static_cast<uintptr_t>(st.st_mtime);
  return 1;
}

extern "C" int skgpiidcompare(slos_error *err, skgp_ctx *ctx, const skgp_iid *a,
                              const skgp_iid *b, int *same) {
  assert(is_init(ctx));
  (void)ctx;
  if (a->magic != SKGP_IID_MAGIC) {
    slosFillInt(err, "skgpiidcompare1");
    return 0;
  }
  if (b->magic != SKGP_IID_MAGIC) {
    slosFillInt(err, "skgpiidcompare2");
    return 0;
  }
  *same = a->size == b->size && a->inode == b->inode && a->mtime == b->mtime;
  return 1;
}

extern "C" void skgpiiddmp(slos_error *err, skgp_ctx *ctx, const skgp_iid *iid) {
  (void)err;
  assert(is_init(ctx));
  if (ctx->ops == nullptr || ctx->ops->trace == nullptr) return;
  ctx->ops->trace(ctx->opsctx, "iid info sz=%lld inode=%d ts=0x%x\n",
                  static_cast<long long>(iid->size), static_cast<int>(iid->inode),
                  static_cast<unsigned>(iid->mtime));
}

extern "C" void skgpcopyin(char *dst, size_t len, const char *src) {
  if (len == 0) return;
  size_t n = strnlen(src, len - 1);
  memcpy(dst, src, n);
  dst[n] = '\0';
}

extern "C" void skgpgloadavg(char *buf, size_t len) {
  double avg[3];
  if (len == 0 || getloadavg(avg, 3) != 3) return;
  snprintf(buf, len, "loadavg : %.02lf %.02lf %.02lf\n", avg[0], avg[1], avg[2]);
}

extern "C" void skgpgswap(skgp_ctx *ctx, char *buf, size_t len) {
  kstat_ctl_t *kc = kstat_open();
  if (kc == nullptr) return;
  vminfo_t first, second;
  kstat_t *ks = kstat_lookup(kc, "unix", 0, "vminfo");
  if (ks == nullptr || kstat_read(kc, ks, &first) < 0) {
    kstat_close(kc);
    return;
  }
  slos_error scratch{};
  skgpnap(&scratch, ctx, kSwapPause);
  if (kstat_chain_update(kc) < 0 || (ks = kstat_lookup(kc, "unix", 0, "vminfo")) == nullptr ||
      kstat_read(kc, ks, &second) < 0) {
    kstat_close(kc);
    return;
  }
  const double page_mb = static_cast<double>(sysconf(_SC_PAGESIZE)) / kMiB;
  auto mb = [&](uint64_t a, uint64_t b) { return static_cast<double>(b - a) * page_mb; };
  if (len > 0)
    snprintf(buf, len,
             "swap info: free_mem = %.2lfM rsv = %.2lfM \n           alloc = %.2lfM avail = %.2lf "
             "swap_free = %.2lfM\n",
             mb(first.freemem, second.freemem), mb(first.swap_resv, second.swap_resv),
             mb(first.swap_alloc, second.swap_alloc), mb(first.swap_avail, second.swap_avail),
             mb(first.swap_free, second.swap_free));
  kstat_close(kc);
}

extern "C" void skgpgpstack(const int32_t *pid, char *buf, size_t len) {
  if (len == 0) return;
  char cmd[sizeof kPstack + kPidDigits + 2];
  snprintf(cmd, sizeof cmd, "%s %u", kPstack, static_cast<unsigned>(*pid));
  fflush(nullptr);
  FILE *p = popen(cmd, "r");
  if (p == nullptr) {
    snprintf(buf, len, "popen: failed to get stack of pid=%d\n", static_cast<int>(*pid));
    return;
  }
  size_t n = fread(buf, 1, len, p);
  if (n > 0) buf[n - 1] = '\0';
  pclose(p);
}

extern "C" int skgpdiagpid(slos_error *err, skgp_ctx *ctx, const int32_t *pid, char *buf,
                           size_t buflen) {
  assert(is_init(ctx));
  if (*pid == 0) {
    slosFillErr(err, SKGP_ERR_BADPID, 0, "invalid_process_id", "skgpdiagpid1");
    return 0;
  }
  if (buflen == 0) {
    slosFillInt(err, "skgpdiagpid2");
    return 0;
  }
  char line[32];
  snprintf(line, sizeof line, "OS pid = %d\n", static_cast<int>(*pid));
  skgpcopyin(buf, buflen, line);
  size_t at = used(buf, buflen);
  if (at + 1 < buflen) {
    skgpgloadavg(buf + at, buflen - at);
    at = used(buf, buflen);
  }
  if (at + 1 < buflen) {
    skgpgswap(ctx, buf + at, buflen - at);
    at = used(buf, buflen);
  }
  if (at + 1 < buflen) skgpgpstack(pid, buf + at, buflen - at);
  return 1;
}
