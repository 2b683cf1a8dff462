// The real-free heap's Solaris layer: /dev/zero, private mappings of it
// (over-mapped and trimmed when a block larger than 64 KB wants its own
// alignment), committing a range (backing store reserved, large pages
// advised) and giving one back (fresh zero-fill pages in place).
//
// Memory control: large-page advice (memcntl MC_HAT_ADVISE with
// MHA_MAPSIZE_VA) is madvise(MADV_HUGEPAGE) here; a system without large
// pages answers EINVAL, as Solaris does, and the alignment switch goes off.
//
// Failures are stored in the caller's sl_status: code, errno, details 1 and 2.
#include <assert.h>
#include <errno.h>
#include <fcntl.h>
#include <sys/mman.h>
#include <unistd.h>

#include "skgm.h"
#include "skgmrf.h"

int sskgmrf_algn_flags = SKGMRF_ALGN_ON;

#ifdef QEN_TEST_HOOKS
int qen_rf_advise_errno = 0;
#endif

namespace {

constexpr size_t kAlignOver = 0x10000;   // alignments above 64 KB are made by trimming
constexpr const char kZeroDev[] = "/dev/zero";

void fail(sl_status *err, int32_t code, int oserr, intptr_t d1, intptr_t d2) {
  err->code = code;
  err->oserr = oserr;
  err->detail[0] = d1;
  err->detail[1] = d2;
}

// 27102 for a system out of memory, else 27103.
int32_t map_code(int oserr) { return oserr == ENOMEM ? SKGM_ERR_NOMEM : SKGM_ERR_INVALID; }

void *const kMapFailed = MAP_FAILED;

int advise_large(void *addr, size_t len) {
#ifdef QEN_TEST_HOOKS
  if (qen_rf_advise_errno != 0) {
    errno = qen_rf_advise_errno;
    return -1;
  }
#endif
  return madvise(addr, len, MADV_HUGEPAGE);
}

}  // namespace

extern "C" uint64_t sskgmrf_pagesize(void) { return static_cast<uint64_t>(sysconf(_SC_PAGESIZE)); }

extern "C" int sskgmrf_init(sl_status *err) {
  const int fd = open(kZeroDev, O_RDONLY | O_CLOEXEC);
  if (fd < 0) fail(err, SKGM_ERR_INVALID, errno, SKGMRF_SITE_OPEN, 0);
  return fd;
}

extern "C" int sskgmrf_destroy(sl_status *err, int fd) {
  const int rc = close(fd);
  if (rc != 0) fail(err, SKGM_ERR_INVALID, errno, SKGMRF_SITE_CLOSE, 0);
  return rc;
}

extern "C" void *sskgmrf_maprange(sl_status *err, int fd, void *addr, size_t len, uint64_t off,
                                  size_t align) {
  const int flags = MAP_PRIVATE | MAP_NORESERVE | (addr != nullptr ? MAP_FIXED : 0);
  // A fixed address is never widened: nothing beyond the range is mapped over.
  const bool over = addr == nullptr && align > kAlignOver &&
                    sskgmrf_algn_flags == SKGMRF_ALGN_ON && len <= SIZE_MAX - align;
  const size_t maplen = over ? len + align : len;
  void *p = mmap(addr, maplen, PROT_READ | PROT_WRITE, flags, fd, static_cast<off_t>(off));
  if (p == kMapFailed) {
    fail(err, map_code(errno), errno, SKGMRF_SITE_MAP, static_cast<intptr_t>(len));
    return nullptr;
  }
  if (!over) return p;

  const uintptr_t start = reinterpret_cast<uintptr_t>(p);
  const uintptr_t aligned = (start + align - 1) & ~(static_cast<uintptr_t>(align) - 1);
  const size_t head = aligned - start;
  const size_t tail = maplen - head - len;
  bool ok = true;
  if (head == 0) {
    ok = sskgmrf_unmaprange(err, reinterpret_cast<void *>(aligned + len), align) == 0;
  } else if (head + tail != align) {
    ok = false;
  } else {
    ok = sskgmrf_unmaprange(err, p, head) == 0 &&
         sskgmrf_unmaprange(err, reinterpret_cast<void *>(aligned + len), tail) == 0;
  }
  if (!ok) {
    // The clean-up reports elsewhere: the caller's record keeps the trim.
    sl_status scratch{};
    (void)sskgmrf_unmaprange(&scratch, p, maplen);
    return nullptr;
  }
  return reinterpret_cast<void *>(aligned);
}

extern "C" int sskgmrf_unmaprange(sl_status *err, void *addr, size_t len) {
  if (munmap(addr, len) != 0) {
    fail(err, SKGM_ERR_INVALID, errno, SKGMRF_SITE_UNMAP, 0);
    return -1;
  }
  return 0;
}

extern "C" int sskgmrf_validaterange(sl_status *err, void *addr, int fd, size_t len,
                                     uint64_t off, int commit, uint32_t flags, uint32_t blksz) {
  if (len == 0) return 0;
  int prot = PROT_READ | PROT_WRITE;
  int mflags = MAP_PRIVATE | MAP_FIXED;
  if (!commit) {
    mflags |= MAP_NORESERVE;
    if (flags & SKGMRF_FLG_NOACCESS) prot = PROT_NONE;
  }
  if (mmap(addr, len, prot, mflags, fd, static_cast<off_t>(off)) == kMapFailed) {
    fail(err, map_code(errno), errno, commit ? SKGMRF_SITE_COMMIT : SKGMRF_SITE_DECOMMIT,
         static_cast<intptr_t>(len));
    return -1;
  }
  if (commit && blksz > kAlignOver && sskgmrf_algn_flags == SKGMRF_ALGN_ON) {
    const uintptr_t s = reinterpret_cast<uintptr_t>(addr);
    const uintptr_t mask = static_cast<uintptr_t>(blksz) - 1;
    const uintptr_t lo = (s + mask) & ~mask;
    const uintptr_t hi = (s + len) & ~mask;
    if (hi > lo && advise_large(reinterpret_cast<void *>(lo), hi - lo) != 0 && errno == EINVAL)
      sskgmrf_algn_flags = SKGMRF_ALGN_OFF;   // other refusals are only advice lost
  }
  return 0;
}
