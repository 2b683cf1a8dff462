// Segment dumps, the Solaris layer: the dump directory, writing segment files
// and "diagmdata", loading and checking a dump, and mapping it back
// copy-on-write or into re-created shared segments.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <time.h>
#include <unistd.h>

#include "skgsd.h"
#include "sltln.h"
#include "sskgm.h"
#include "vzclient.h"

namespace {

constexpr int kCreateFlags = O_RDWR | O_CREAT | O_SYNC;
constexpr int kOpenFlags = O_RDWR | O_SYNC;  // existing dump files only
constexpr size_t kCtimeSkip = 4;             // the weekday and its blank

void fail(sl_status *err, int e) { sskgm_seterr(err, 0, e); }

// Writes all n bytes, retrying short writes and interruptions.
bool write_all(int fd, const void *buf, size_t n) {
  const char *p = static_cast<const char *>(buf);
  while (n > 0) {
    const ssize_t w = write(fd, p, n);
    if (w < 0 && errno == EINTR) continue;
    if (w <= 0) {
      if (w == 0) errno = EIO;
      return false;
    }
    p += w;
    n -= static_cast<size_t>(w);
  }
  return true;
}

// Reads up to n bytes; returns the count read (short only at the end of the
// file) or -1.
ssize_t read_all(int fd, void *buf, size_t n) {
  char *p = static_cast<char *>(buf);
  size_t got = 0;
  while (got < n) {
    const ssize_t r = read(fd, p + got, n - got);
    if (r < 0 && errno == EINTR) continue;
    if (r < 0) return -1;
    if (r == 0) break;
    got += static_cast<size_t>(r);
  }
  return static_cast<ssize_t>(got);
}

// "dir/name" into out; false when it does not fit.
bool join(char (&out)[2 * SKGSD_PATHMAX], const char *dir, const char *name) {
  const int n = snprintf(out, sizeof out, "%s/%s", dir, name);
  return n > 0 && static_cast<size_t>(n) < sizeof out;
}

// The segment file of an address: its whole address in hexadecimal.
bool seg_name(char (&out)[2 * SKGSD_PATHMAX], const char *dir, uintptr_t addr) {
  const int n = snprintf(out, sizeof out, "%s/%lx", dir, static_cast<unsigned long>(addr));
  return n > 0 && static_cast<size_t>(n) < sizeof out;
}

// Opens a file of the dump (created rw-rw---- when create).
int open_file(sl_status *err, const char *path, bool create) {
  const int fd = create ? open(path, kCreateFlags, SKGSD_FILEMODE) : open(path, kOpenFlags);
  if (fd < 0) {
    fail(err, errno);
    return -1;
  }
  if (create && fchmod(fd, SKGSD_FILEMODE) != 0) {
    fail(err, errno);
    close(fd);
    return -1;
  }
  return fd;
}

// A failed write: the write's errno, the file closed; when the close fails
// too, detail 1 keeps the write's errno and the status the close's.
void write_failed(sl_status *err, int fd) {
  const int werr = errno;
  fail(err, werr);
  if (close(fd) != 0) {
    err->detail[0] = werr;
    err->oserr = errno;
  }
}

// The name of a dump directory for now: ctime without the weekday and the
// newline, blanks as '_'.
bool time_name(sl_status *err, char *out, size_t outlen) {
  struct timeval tv;
  if (gettimeofday(&tv, nullptr) != 0) {
    sskgm_seterr(err, SKGSD_ERR_TIME, errno);
    return false;
  }
  const time_t t = tv.tv_sec;
  char text[64];
  if (ctime_r(&t, text) == nullptr || strlen(text) <= kCtimeSkip) {
    sskgm_seterr(err, SKGSD_ERR_TIME, EOVERFLOW);
    return false;
  }
  char *s = text + kCtimeSkip;
  s[strcspn(s, "\n")] = '\0';
  for (char *c = s; *c; ++c)
    if (*c == ' ') *c = '_';
  if (strlen(s) >= outlen) {
    fail(err, ENAMETOOLONG);
    return false;
  }
  memcpy(out, s, strlen(s) + 1);
  return true;
}

// Checks a loaded descriptor and its records against what "diagmdata" may
// hold: terminated texts, non-empty page-aligned segments inside the address
// space, none at address 0.
bool valid(const skgsd_ctx &d) {
  if (memchr(d.dir, '\0', sizeof d.dir) == nullptr || memchr(d.home, '\0', sizeof d.home) == nullptr ||
      memchr(d.sid, '\0', sizeof d.sid) == nullptr)
    return false;
  const uint64_t page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE));
  for (uint32_t i = 0; i < d.nsegs; ++i) {
    const skgsd_seg &s = d.segs[i];
    if (s.segsize == 0 || s.addr == 0 || s.addr % page != 0) return false;
    if (s.segsize > UINTPTR_MAX - s.addr || s.segsize > SIZE_MAX) return false;
  }
  return true;
}

// Maps one segment file privately at its address, never over a mapping.
bool cow_one(sl_status *err, const char *dir, skgsd_seg &s) {
  char path[2 * SKGSD_PATHMAX];
  if (!seg_name(path, dir, s.addr)) {
    fail(err, ENAMETOOLONG);
    return false;
  }
  const int fd = open_file(err, path, false);
  if (fd < 0) return false;
  s.fd = fd;
  struct stat st;
  if (fstat(fd, &st) != 0 || static_cast<uint64_t>(st.st_size) < s.segsize) {
    // A private map past the end of its file would fault on first touch.
    fail(err, EINVAL);
    return false;
  }
  void *want = reinterpret_cast<void *>(s.addr);
  void *p = mmap(want, static_cast<size_t>(s.segsize), PROT_READ | PROT_WRITE,
                 MAP_PRIVATE | MAP_FIXED_NOREPLACE, fd, 0);
  if (p == MAP_FAILED) {
    fail(err, errno);
    return false;
  }
  if (p != want) {  // a kernel without the no-replace flag chose elsewhere
    munmap(p, static_cast<size_t>(s.segsize));
    fail(err, EEXIST);
    return false;
  }
  return true;
}

// Re-creates one segment under key, attaches it at its address and fills it
// from its file. Returns -1 when the load must stop, 0 when this segment's
// file could not be read whole (the load goes on), 1 when done.
int seg_one(sl_status *err, const char *dir, skgsd_seg &s, key_t key) {
  char path[2 * SKGSD_PATHMAX];
  if (!seg_name(path, dir, s.addr)) {
    fail(err, ENAMETOOLONG);
    return -1;
  }
  const int fd = open_file(err, path, false);
  if (fd < 0) return -1;
  const int id = shmget(key, static_cast<size_t>(s.segsize), IPC_CREAT | IPC_EXCL | SKGSD_FILEMODE);
  if (id < 0) {
    fail(err, errno);
    close(fd);
    return -1;
  }
  struct shmid_ds ds;
  if (shmctl(id, IPC_STAT, &ds) == 0) {
    ds.shm_perm.uid = getuid();
    ds.shm_perm.gid = getgid();
    ds.shm_perm.mode = SKGSD_FILEMODE;
    shmctl(id, IPC_SET, &ds);
  }
  // shmat at a given address refuses a range that is already mapped.
  void *p = shmat(id, reinterpret_cast<void *>(s.addr), 0);
  if (p == reinterpret_cast<void *>(-1) || p != reinterpret_cast<void *>(s.addr)) {
    fail(err, p == reinterpret_cast<void *>(-1) ? errno : EEXIST);
    if (p != reinterpret_cast<void *>(-1)) shmdt(p);
    shmctl(id, IPC_RMID, nullptr);  // unreachable otherwise
    close(fd);
    return -1;
  }
  s.shmid = id;
  const ssize_t r = read_all(fd, p, static_cast<size_t>(s.segsize));
  close(fd);
  return r == static_cast<ssize_t>(s.segsize) ? 1 : 0;
}

}  // namespace

extern "C" {

skgsd_seg *skgsd_segalloc(uint32_t n) {
  const uint64_t each = sizeof(skgsd_seg) + sizeof(uintptr_t);
  if (static_cast<uint64_t>(n) * each > SIZE_MAX) return nullptr;  // the 32-bit build
  return static_cast<skgsd_seg *>(calloc(n == 0 ? 1 : n, each));
}

void skgsdfree(skgsd_ctx *dump) {
  if (dump == nullptr) return;
  free(dump->segs);
  free(dump);
}

int sskgsdinit(sl_status *err, skgsd_ctx **dump, const char *base, const char *home,
               const char *sid, int32_t key) {
  *dump = nullptr;
  skgsd_ctx *d = static_cast<skgsd_ctx *>(calloc(1, sizeof(skgsd_ctx)));
  if (d == nullptr) {
    fail(err, ENOMEM);
    return 0;
  }
  size_t at = 0;
  if (base != nullptr) {
    const int n = snprintf(d->dir, sizeof d->dir, "%s/", base);
    if (n < 0 || static_cast<size_t>(n) >= sizeof d->dir) {
      fail(err, ENAMETOOLONG);
      free(d);
      return 0;
    }
    at = static_cast<size_t>(n);
  }
  if (!time_name(err, d->dir + at, sizeof d->dir - at)) {
    free(d);
    return 0;
  }
  if (mkdir(d->dir, SKGSD_DIRMODE) != 0) {
    fail(err, errno);
    free(d);
    return 0;
  }
  snprintf(d->home, sizeof d->home, "%s", home);
  snprintf(d->sid, sizeof d->sid, "%s", sid);
  d->key = key;
  *dump = d;
  return 1;
}

int sskgsdwrseg(sl_status *err, skgsd_ctx *dump) {
  char path[2 * SKGSD_PATHMAX];
  const uintptr_t *src = skgsd_src(dump);
  for (uint32_t i = 0; i < dump->nsegs; ++i) {
    skgsd_seg &s = dump->segs[i];
    if (!seg_name(path, dump->dir, s.addr)) {
      fail(err, ENAMETOOLONG);
      return 0;
    }
    const int fd = open_file(err, path, true);
    if (fd < 0) return 0;
    s.fd = fd;
    if (!write_all(fd, reinterpret_cast<const void *>(src[i]), static_cast<size_t>(s.segsize))) {
      write_failed(err, fd);
      return 0;
    }
    s.written = static_cast<uint32_t>(s.segsize);
    close(fd);
  }
  if (!join(path, dump->dir, SKGSD_DATAFILE)) {
    fail(err, ENAMETOOLONG);
    return 0;
  }
  const int fd = open_file(err, path, true);
  if (fd < 0) return 0;
  if (!write_all(fd, dump, sizeof *dump) ||
      !write_all(fd, dump->segs, sizeof(skgsd_seg) * dump->nsegs)) {
    write_failed(err, fd);
    return 0;
  }
  close(fd);
  return 1;
}

int sskgsdload(sl_status *err, const char *dir, skgsd_ctx **dump) {
  *dump = nullptr;
  char path[2 * SKGSD_PATHMAX];
  if (!join(path, dir, SKGSD_DATAFILE)) {
    fail(err, ENAMETOOLONG);
    return 0;
  }
  const int fd = open_file(err, path, false);
  if (fd < 0) return 0;
  struct stat st;
  skgsd_ctx *d = static_cast<skgsd_ctx *>(calloc(1, sizeof(skgsd_ctx)));
  bool ok = d != nullptr && fstat(fd, &st) == 0;
  if (!ok) fail(err, d == nullptr ? ENOMEM : errno);
  if (ok && read_all(fd, d, sizeof *d) != static_cast<ssize_t>(sizeof *d)) {
    ok = false;
    fail(err, EINVAL);
  }
  uint32_t n = 0;
  if (d != nullptr) {  // the file's pointer and count mean nothing here
    n = d->nsegs;
    d->segs = nullptr;
    d->nsegs = 0;
  }
  // The file holds exactly the descriptor and its records.
  if (ok && static_cast<uint64_t>(st.st_size) !=
                sizeof *d + static_cast<uint64_t>(n) * sizeof(skgsd_seg)) {
    ok = false;
    fail(err, EINVAL);
  }
  if (ok) {
    skgsd_seg *recs = skgsd_segalloc(n);
    if (recs == nullptr) {
      ok = false;
      fail(err, ENOMEM);
    } else {
      d->segs = recs;
      d->nsegs = n;
      if (read_all(fd, recs, sizeof(skgsd_seg) * n) != static_cast<ssize_t>(sizeof(skgsd_seg) * n) ||
          !valid(*d)) {
        ok = false;
        fail(err, EINVAL);
      } else {
        uintptr_t *src = skgsd_src(d);
        for (uint32_t i = 0; i < n; ++i) {
          src[i] = recs[i].addr;
          recs[i].fd = -1;
        }
      }
    }
  }
  close(fd);
  if (!ok) {
    skgsdfree(d);
    return 0;
  }
  *dump = d;
  return 1;
}

int sskgsdcowmap(sl_status *err, skgsd_ctx *dump) {
  for (uint32_t i = 0; i < dump->nsegs; ++i)
    if (!cow_one(err, dump->dir, dump->segs[i])) return 0;
  return 1;
}

int sskgsdcowmpd(sl_status *err, const char *dir, skgsd_ctx **dump) {
  if (!sskgsdload(err, dir, dump)) return 0;
  return sskgsdcowmap(err, *dump);
}

int sskgsdsegmap(sl_status *err, const char *dir, skgsd_ctx **dump) {
  if (!sskgsdload(err, dir, dump)) return 0;
  skgsd_ctx *d = *dump;
  for (uint32_t i = 0; i < d->nsegs; ++i) {
    // One key names one segment: the first takes the dump's, the rest are private.
    const key_t key = i == 0 ? static_cast<key_t>(d->key) : IPC_PRIVATE;
    if (seg_one(err, d->dir, d->segs[i], key) < 0) return 0;
  }
  return 1;
}

int sskgsdsegunmap(sl_status *err, skgsd_ctx *dump) {
  for (uint32_t i = 0; i < dump->nsegs; ++i) {
    const skgsd_seg &s = dump->segs[i];
    if (shmdt(reinterpret_cast<void *>(s.addr)) != 0 || shmctl(s.shmid, IPC_RMID, nullptr) != 0) {
      fail(err, errno);
      return 0;
    }
  }
  return 1;
}

int32_t sskgsdcdfnm(const char *base, const char *name, char *dst, size_t dstlen,
                    const char *subdir) {
  if (chdir(base) != 0) return errno;
  struct stat st;
  if (stat(subdir, &st) != 0 && mkdir(subdir, SKGSD_DIRMODE) != 0) return errno;
  sl_status status;
  memset(&status, 0, sizeof status);
  char full[SKGSD_PATHMAX];
  slgfn(&status, base, subdir, "", nullptr, full, sizeof full);
  if (status.code != 0) return status.code;
  char pdir[SLFNP_PART], pname[SLFNP_PART], pext[SLFNP_PART], pfourth[SLFNP_PART];
  const int32_t rc = slfnp(&status, pdir, pname, pext, pfourth, name);
  if (rc != 0) return rc;
  slgfn(&status, full, pname, pext, pfourth, dst, dstlen);
  return status.code;
}

}  // extern "C"
