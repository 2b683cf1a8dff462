// Region files over open, fcntl record locks and mmap.
#include "skgmsmr.h"

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

#include "sltln_int.h"

namespace {

// Error number of a failed system call (the record carries its errno).
constexpr int32_t kErrSyscall = -2;
constexpr int kCreateFlags = O_RDWR | O_CREAT | O_SYNC;
constexpr int kAttachFlags = O_RDWR | O_SYNC;
constexpr mode_t kFileMode = 0660;
constexpr char kBlank = ' ';
constexpr size_t kZeroChunk = 4096;

// The failure convention: clear code and additional information, then fill.
int fail(slos_error *err, int32_t code, int32_t oserr, const char *call, const char *loc,
         const char *info = nullptr) {
  if (err != nullptr) {
    err->code = 0;
    err->other[0] = '\0';
  }
  slosFillErr(err, code, oserr, call, loc);
  if (info != nullptr) slosOtherInfo(err, info);
  return SKGMSMR_FAIL;
}

int fail_errno(slos_error *err, const char *call, const char *loc) {
  return fail(err, kErrSyscall, errno, call, loc);
}

// The whole-file write lock (F_WRLCK) or its release (F_UNLCK), waiting.
int lock_file(int fd, short type) {
  struct flock fl;
  memset(&fl, 0, sizeof fl);
  fl.l_type = type;
  fl.l_whence = SEEK_SET;
  fl.l_start = 0;
  fl.l_len = 0;
  return fcntl(fd, F_SETLKW, &fl);
}

// A failure after the lock was taken: release it, keeping the failure's errno.
int fail_locked(slos_error *err, int fd, const char *call, const char *loc) {
  int e = errno;
  lock_file(fd, F_UNLCK);
  errno = e;
  return fail_errno(err, call, loc);
}

// The protection of a mapping mode; false for a mode not known.
bool protection(int mode, int *prot) {
  switch (mode) {
    case SKGMSMR_MODE_NONE: *prot = PROT_NONE; return true;
    case SKGMSMR_MODE_READ: *prot = PROT_READ; return true;
    case SKGMSMR_MODE_WRITE: *prot = PROT_WRITE; return true;
    case SKGMSMR_MODE_RW: *prot = PROT_READ | PROT_WRITE; return true;
    default: return false;
  }
}

// Translates "?" or "@" into buf (SKGMSMR_NAMEMAX + 1 bytes).
int translate(slos_error *err, const char *logical, char *buf, const char *unset_loc,
              const char *status_loc, const char *unset_info) {
  sl_status st;
  size_t len = 0;
  sltlnexp(&st, logical, 1, buf, SKGMSMR_NAMEMAX, &len);
  if (len == 0) return fail(err, kErrSyscall, 0, "env", unset_loc, unset_info);
  if (st.code != 0) return fail(err, st.code, 0, "sltln", status_loc);
  buf[len] = '\0';
  return SKGMSMR_OK;
}

// Composes <home>/dbs/hc_<sid>.dat into path (SKGMSMR_NAMEMAX + 1 bytes).
// A path that does not fit fails at the operation's first call (call, loc).
int compose(slos_error *err, const char *home, const char *sid, char *path,
            const char *call, const char *loc) {
  char home_buf[SKGMSMR_NAMEMAX + 1];
  char sid_buf[SKGMSMR_NAMEMAX + 1];
  if (home == nullptr) {
    if (translate(err, "?", home_buf, "sskgmsmr_3", "sskgmsmr_3a", "VIRUZE_HOME not set") !=
        SKGMSMR_OK)
      return SKGMSMR_FAIL;
    home = home_buf;
  }
  if (sid == nullptr) {
    if (translate(err, "@", sid_buf, "sskgmsmr_4", "sskgmsmr_4a", "VIRUZE_SID not set") !=
        SKGMSMR_OK)
      return SKGMSMR_FAIL;
    sid = sid_buf;
  }
  int n = snprintf(path, SKGMSMR_NAMEMAX + 1, "%s/%s/%s%s.dat", home, "dbs", "hc_", sid);
  if (n < 0 || n > SKGMSMR_NAMEMAX) {
    errno = ENAMETOOLONG;
    return fail_errno(err, call, loc);
  }
  return SKGMSMR_OK;
}

// Maps length bytes of the open file of ctx, shared, with the protection the
// mode asks for (the last part of both create and attach); the mapping goes
// to *addr.
int map_file(slos_error *err, skgmsmr_ctx *ctx, size_t length, int mode, void **addr) {
  int prot = 0;
  if (!protection(mode, &prot)) return fail(err, kErrSyscall, 0, "skgmpmode", "sskgmsmr_12");
  void *p = mmap(nullptr, length, prot, MAP_SHARED, ctx->fd, 0);
  *addr = p;
  if (p == MAP_FAILED) return fail_errno(err, "mmap", "sskgmsmr_13");
  return SKGMSMR_OK;
}

// Zeroes length bytes of the file through its descriptor, for a mapping that
// cannot be written.
int zero_by_descriptor(int fd, size_t length) {
  static const char zeros[kZeroChunk] = {};
  off_t at = 0;
  while (static_cast<size_t>(at) < length) {
    size_t want = length - static_cast<size_t>(at) < kZeroChunk ? length - static_cast<size_t>(at)
                                                                 : kZeroChunk;
    ssize_t n = pwrite(fd, zeros, want, at);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) return -1;
    at += n;
  }
  return 0;
}

int create(slos_error *err, skgmsmr_ctx *ctx, size_t length, const char *home,
           const char *sid, int mode, void **addr) {
  char path[SKGMSMR_NAMEMAX + 1];
  if (compose(err, home, sid, path, "open", "sskgmsmr_7") != SKGMSMR_OK) return SKGMSMR_FAIL;
  ctx->fd = open(path, kCreateFlags, 0);
  if (ctx->fd < 0) return fail_errno(err, "open", "sskgmsmr_7");
  int fd = ctx->fd;
  if (lock_file(fd, F_WRLCK) != 0) return fail_errno(err, "lock", "sskgmsmr_8");
  if (fchmod(fd, kFileMode) != 0) return fail_locked(err, fd, "fchmod", "sskgmsmr_9");
  if (lseek(fd, static_cast<off_t>(length) - 1, SEEK_SET) < 0)
    return fail_locked(err, fd, "lseek", "sskgmsmr_10");
  ssize_t n;
  do n = write(fd, &kBlank, 1);
  while (n < 0 && errno == EINTR);
  if (n < 1) {
    if (n == 0) errno = 0;
    return fail_locked(err, fd, "write", "sskgmsmr_11");
  }
  if (map_file(err, ctx, length, mode, addr) != SKGMSMR_OK) {
    lock_file(fd, F_UNLCK);
    return SKGMSMR_FAIL;
  }
  int prot = 0;
  protection(mode, &prot);
  if (prot & PROT_WRITE)
    memset(*addr, 0, length);
  else if (zero_by_descriptor(fd, length) != 0)
    return fail_locked(err, fd, "write", "sskgmsmr_11");
  if (lock_file(fd, F_UNLCK) != 0) return fail_errno(err, "unlock", "sskgmsmr_14");
  return SKGMSMR_OK;
}

int attach(slos_error *err, skgmsmr_ctx *ctx, size_t length, const char *home,
           const char *sid, int mode, void **addr) {
  char path[SKGMSMR_NAMEMAX + 1];
  if (compose(err, home, sid, path, "open", "sskgmsmr_7") != SKGMSMR_OK) return SKGMSMR_FAIL;
  ctx->fd = open(path, kAttachFlags, kFileMode);
  if (ctx->fd < 0) return fail_errno(err, "open", "sskgmsmr_7");
  int prot = 0;
  if (!protection(mode, &prot)) return fail(err, kErrSyscall, 0, "skgmpmode", "sskgmsmr_12");
  // A mapping past the end of the file would fault when read: a file shorter
  // than the mapping is refused as the mapping itself.
  struct stat st;
  if (fstat(ctx->fd, &st) != 0) {
    *addr = MAP_FAILED;
    return fail_errno(err, "fstat", "sskgmsmr_13");
  }
  if (st.st_size < 0 || static_cast<unsigned long long>(st.st_size) < length) {
    *addr = MAP_FAILED;
    return fail(err, kErrSyscall, ENXIO, "mmap", "sskgmsmr_13",
                "file shorter than the mapping");
  }
  return map_file(err, ctx, length, mode, addr);
}

int detach(slos_error *err, skgmsmr_ctx *ctx, size_t length, void **addr) {
  if (munmap(*addr, length) != 0) return fail_errno(err, "munmap", "sskgmsmr_15");
  // The descriptor is forgotten even when close fails, so that a second
  // detach cannot close a descriptor that another open has reused.
  int fd = ctx->fd;
  ctx->fd = -1;
  if (close(fd) != 0) return fail_errno(err, "close", "sskgmsmr_16");
  return SKGMSMR_OK;
}

int remove_file(slos_error *err, const char *home, const char *sid) {
  char path[SKGMSMR_NAMEMAX + 1];
  if (compose(err, home, sid, path, "stat", "sskgmsmr_5") != SKGMSMR_OK) return SKGMSMR_FAIL;
  struct stat st;
  if (stat(path, &st) != 0) return fail_errno(err, "stat", "sskgmsmr_5");
  if (unlink(path) != 0) return fail_errno(err, "unlink", "sskgmsmr_6");
  return SKGMSMR_OK;
}

bool known_op(uint32_t op) {
  switch (op) {
    case SKGMSMR_OP_INIT:
    case SKGMSMR_OP_CREATE:
    case SKGMSMR_OP_ATTACH:
    case SKGMSMR_OP_DETACH:
    case SKGMSMR_OP_DELETE:
    case SKGMSMR_OP_TERM:
      return true;
    default:
      return false;
  }
}

}  // namespace

extern "C" int skgmsmr_op(slos_error *err, skgmsmr_ctx *ctx, uint32_t op, size_t length,
                          const char *home, const char *sid, int mode, uint32_t flags,
                          void **addr) {
  if (ctx == nullptr) return fail(err, SLOS_ERR_INTERNAL, 0, "invalid skgmsmr_cx", "skgmsmr_op1");
  if (op == SKGMSMR_OP_INIT) {
    if (ctx->magic != 0) return fail(err, SLOS_ERR_INTERNAL, 0, "invalid skgmsmr_ctx", "sskgmsmr_1");
  } else if (ctx->magic != SKGMSMR_MAGIC) {
    return fail(err, SLOS_ERR_INTERNAL, 0, "invalid skgmsmr_ctx", "sskgmsmr_2");
  }
  if (!known_op(op)) return SKGMSMR_BADOP;

  switch (op) {
    case SKGMSMR_OP_INIT:
      ctx->magic = SKGMSMR_MAGIC;
      if (flags != 0) ctx->flags |= flags;
      ctx->fd = 0;
      return SKGMSMR_OK;
    case SKGMSMR_OP_CREATE:
      return create(err, ctx, length, home, sid, mode, addr);
    case SKGMSMR_OP_ATTACH:
      return attach(err, ctx, length, home, sid, mode, addr);
    case SKGMSMR_OP_DETACH:
      return detach(err, ctx, length, addr);
    case SKGMSMR_OP_DELETE:
      return remove_file(err, home, sid);
    default:
      ctx->magic = SKGMSMR_RETIRED;
      return SKGMSMR_OK;
  }
}
