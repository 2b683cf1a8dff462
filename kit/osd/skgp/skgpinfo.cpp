// Process information and diagnostics: ids as text and back, system names,
// the mapped size, image identities and a diagnostic report on a process.
#include <assert.h>
#include <errno.h>
#include <limits.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "skgp.h"
#include "skgpw.h"
#include "sskgp.h"

namespace {

constexpr char kUnknown[] = "UNKNOWN";
constexpr char kPidPrefix[] = "Unix process pid: ";
constexpr char kImagePrefix[] = ", image: ";
constexpr int kPidDigits = 12;
constexpr size_t kNameRoom = PATH_MAX;  // a system, terminal or user name

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
  uint32_t which = 0;  // the first selector set, in this order
  if (selector & SKGP_INFO_OSNAME) {
    which = SKGP_INFO_OSNAME;
  } else if (selector & SKGP_INFO_EXENAME) {
    slosFillErr(err, SKGP_ERR_NOTSUP, 0, "get_exe_name", "skgpgetinfo2");
    return unknown(buf, buflen, outlen);
  } else if (selector & SKGP_INFO_TTY) {
    which = SKGP_INFO_TTY;
  } else if (selector & SKGP_INFO_USER) {
    which = SKGP_INFO_USER;
  } else {
    return unknown(buf, buflen, outlen);
  }
  char name[kNameRoom];
  if (!sskgpname(err, which, name, sizeof name)) return unknown(buf, buflen, outlen);
  *outlen = copy_text(buf, buflen, name);
  return 1;
}

extern "C" int skgpdumpinfo(slos_error *err, skgp_ctx *ctx) {
  assert(is_init(ctx));
  if (ctx->pwctx == nullptr) return 0;
  return sskgpdmpinfo(err, ctx, ctx->pwctx, nullptr, 1);
}

extern "C" int skgpgpmap(slos_error *err, uint64_t *result) {
  if (result == nullptr) return -1;
  return sskgpgpmap(err, result);
}

extern "C" int skgpiidget(slos_error *err, skgp_ctx *ctx, const char *path, skgp_iid *out) {
  assert(is_init(ctx));
  (void)ctx;
  if (!sskgpiidget(err, path, out)) return 0;
  out->magic = SKGP_IID_MAGIC;
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
  if (len == 0 || !sskgploadavg(avg)) return;
  snprintf(buf, len, "loadavg : %.02lf %.02lf %.02lf\n", avg[0], avg[1], avg[2]);
}

extern "C" void skgpgswap(skgp_ctx *ctx, char *buf, size_t len) {
  (void)ctx;
  double mb[5];
  if (!sskgpswapdelta(mb) || len == 0) return;
  snprintf(buf, len,
           "swap info: free_mem = %.2lfM rsv = %.2lfM \n           alloc = %.2lfM avail = %.2lf "
           "swap_free = %.2lfM\n",
           mb[0], mb[1], mb[2], mb[3], mb[4]);
}

extern "C" void skgpgpstack(const int32_t *pid, char *buf, size_t len) {
  if (len == 0) return;
  sskgpgpstack(*pid, buf, len);
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
