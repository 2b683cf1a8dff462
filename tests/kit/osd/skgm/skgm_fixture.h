// Shared helpers of the realm tests: callbacks that record what the realm
// service reports, area and descriptor builders, and a context set up in the
// calling (child) process.
#ifndef QEN_TESTS_SKGM_FIXTURE_H
#define QEN_TESTS_SKGM_FIXTURE_H

#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <sys/ipc.h>
#include <sys/shm.h>

#include "child.h"
#include "trace_capture.h"
#include "skgm.h"
#include "sskgm.h"

struct skgm_reported {
  std::string name;
  uint64_t v[4];
};

inline std::string g_skgm_warning;
inline std::vector<skgm_reported> g_skgm_errors;

// Warnings go to their own string; traces to g_trace (trace_capture.h).
inline void skgm_test_warning(void *, const char *fmt, ...) {
  char buf[2048];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_skgm_warning += buf;
}

inline void skgm_test_error(void *, const char *name, int count, ...) {
  skgm_reported r{name, {0, 0, 0, 0}};
  va_list ap;
  va_start(ap, count);
  for (int i = 0; i < count && i < 4; i++) {
    (void)va_arg(ap, int);
    r.v[i] = va_arg(ap, uint64_t);
  }
  va_end(ap);
  g_skgm_errors.push_back(r);
}

inline const skgm_ops kSkgmTestOps = {trace, skgm_test_warning, skgm_test_error};

inline void skgm_test_init(skgm_ctx *ctx) {
  memset(ctx, 0, sizeof *ctx);
  sl_status err{};
  CHILD_CHECK(skgminit(&err, ctx, &kSkgmTestOps, nullptr) == 1);
}

// A realm name unique to this process.
inline skgm_realmdesc skgm_test_desc(const char *name, uint32_t flags = 0) {
  skgm_realmdesc d{};
  d.namelen = static_cast<size_t>(snprintf(d.name, sizeof d.name, "qen%d_%s",
                                           static_cast<int>(getpid()), name));
  d.flags = flags;
  return d;
}

inline skgm_area skgm_test_area(const char *name, uint64_t size, uint32_t flags = 0,
                                uint32_t minsub = 0) {
  skgm_area a{};
  a.namelen = strlen(name);
  memcpy(a.name, name, a.namelen);
  a.size = size;
  a.flags = flags;
  a.minsub = minsub;
  return a;
}

// The last reported error is name with the first values given.
inline bool skgm_last_is(const char *name, std::vector<uint64_t> values) {
  if (g_skgm_errors.empty() || g_skgm_errors.back().name != name) return false;
  for (size_t i = 0; i < values.size(); i++)
    if (g_skgm_errors.back().v[i] != values[i]) return false;
  return true;
}

// 1 when this system attaches a segment at a chosen address of the stable
// window (the 32-bit tree under an emulator refuses every chosen address).
// Run it in a child: it makes (and removes) a segment.
inline bool skgm_fixed_attach_works() {
  const int id = shmget(IPC_PRIVATE, 4096, IPC_CREAT | 0600);
  if (id < 0) return false;
  void *want = reinterpret_cast<void *>(sskgm_window_base() + 8 * SKGM_UNIT);
  void *at = shmat(id, want, 0);
  const bool ok = at == want;
  if (at != reinterpret_cast<void *>(-1)) shmdt(at);
  shmctl(id, IPC_RMID, nullptr);
  return ok;
}

// Where no stable address can be attached, creation fails with 27123 and
// leaves no handle and no segment of this process behind.
inline void skgm_check_stable_refused(skgm_ctx *ctx, skgm_realmdesc *d, uint32_t n,
                                      skgm_area *areas) {
  sl_status err{};
  skgm_realm *h = nullptr;
  CHILD_CHECK(skgmcreate(&err, ctx, d, n, areas, &h) == 0 && err.code == SKGM_ERR_ATTACH);
  CHILD_CHECK(ctx->handles == nullptr);
  struct shm_info info;
  const int maxidx = shmctl(0, SHM_INFO, reinterpret_cast<struct shmid_ds *>(&info));
  for (int idx = 0; idx <= maxidx; idx++) {
    struct shmid_ds ds;
    CHILD_CHECK(shmctl(idx, SHM_STAT, &ds) < 0 || ds.shm_cpid != getpid());
  }
}

#endif
