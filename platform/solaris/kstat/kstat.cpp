// The vminfo statistics from /proc/meminfo.
#include "kstat.h"

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>
#include <unistd.h>

namespace {

constexpr char kMeminfo[] = "/proc/meminfo";
const char *g_meminfo = nullptr;

// A field of meminfo in kB, or -1.
long long field(const char *text, const char *name) {
  const char *p = strstr(text, name);
  if (p == nullptr) return -1;
  return atoll(p + strlen(name));
}

}  // namespace

#ifdef QEN_TEST_HOOKS
extern "C" void qen_kstat_set_meminfo_path(const char *path) { g_meminfo = path; }
#endif

extern "C" kstat_ctl_t *kstat_open(void) {
  kstat_ctl_t *kc = static_cast<kstat_ctl_t *>(calloc(1, sizeof(kstat_ctl_t)));
  if (kc == nullptr) return nullptr;
  snprintf(kc->vminfo.ks_module, sizeof kc->vminfo.ks_module, "unix");
  snprintf(kc->vminfo.ks_name, sizeof kc->vminfo.ks_name, "vminfo");
  kc->vminfo.ks_data = &kc->data;
  kc->vminfo.ks_data_size = sizeof kc->data;
  return kc;
}

extern "C" int kstat_close(kstat_ctl_t *kc) {
  free(kc);
  return 0;
}

extern "C" kstat_t *kstat_lookup(kstat_ctl_t *kc, const char *module, int instance,
                                 const char *name) {
  if (kc == nullptr || module == nullptr || name == nullptr || strcmp(module, "unix") != 0 ||
      strcmp(name, "vminfo") != 0 || (instance != 0 && instance != -1)) {
    errno = ENOENT;
    return nullptr;
  }
  return &kc->vminfo;
}

extern "C" int kstat_read(kstat_ctl_t *kc, kstat_t *ksp, void *buf) {
  if (kc == nullptr || ksp != &kc->vminfo) {
    errno = EINVAL;
    return -1;
  }
  FILE *f = fopen(g_meminfo != nullptr ? g_meminfo : kMeminfo, "re");
  if (f == nullptr) return -1;
  char text[8192];
  size_t n = fread(text, 1, sizeof text - 1, f);
  fclose(f);
  text[n] = '\0';
  const long long free_kb = field(text, "MemFree:");
  const long long swap_total = field(text, "SwapTotal:");
  const long long swap_free = field(text, "SwapFree:");
  const long long committed = field(text, "Committed_AS:");
  if (free_kb < 0 || swap_total < 0 || swap_free < 0 || committed < 0) {
    errno = EIO;
    return -1;
  }
  // The seconds since the handle's last reading, rounded (1 for the first).
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  const double now = static_cast<double>(ts.tv_sec) + ts.tv_nsec / 1e9;
  uint64_t secs = 1;
  if (kc->last > 0) {
    double d = now - kc->last + 0.5;
    secs = d < 1 ? 1 : static_cast<uint64_t>(d);
  }
  kc->last = now;
  const uint64_t kb_per_page = static_cast<uint64_t>(sysconf(_SC_PAGESIZE)) / 1024;
  auto pages = [&](long long kb) { return static_cast<uint64_t>(kb) / kb_per_page * secs; };
  // Reserved swap: the memory committed beyond what is free; allocated:
  // the swap in use.
  const long long alloc = swap_total - swap_free;
  const long long resv = committed > alloc ? committed : alloc;
  const long long avail = swap_total + free_kb > resv ? swap_total + free_kb - resv : 0;
  kc->data.freemem += pages(free_kb);
  kc->data.swap_resv += pages(resv);
  kc->data.swap_alloc += pages(alloc);
  kc->data.swap_avail += pages(avail);
  kc->data.swap_free += pages(swap_free);
  kc->data.updates += secs;
  if (buf != nullptr) memcpy(buf, &kc->data, sizeof kc->data);
  return 0;
}

extern "C" int kstat_chain_update(kstat_ctl_t *kc) { return kc != nullptr ? 0 : -1; }
