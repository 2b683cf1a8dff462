// Kernel statistics: the "unix" / "vminfo" record only. Solaris adds the
// current free memory and swap figures (in pages) to cumulative counters
// once a second; here each reading through a handle adds the figures read
// from /proc/meminfo times the seconds since its last reading (rounded, 1 for
// the first), so the difference of two readings a second apart is the
// current figure in pages, as there.
#ifndef QEN_PLATFORM_SOLARIS_KSTAT_H
#define QEN_PLATFORM_SOLARIS_KSTAT_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef struct vminfo {
  uint64_t freemem;     // free memory, pages
  uint64_t swap_resv;   // swap reserved
  uint64_t swap_alloc;  // swap allocated
  uint64_t swap_avail;  // swap available, not reserved
  uint64_t swap_free;   // swap free, not allocated
  uint64_t updates;
} vminfo_t;

typedef struct kstat {
  char ks_module[32];
  char ks_name[32];
  int ks_instance;
  void *ks_data;          // the record after kstat_read
  unsigned ks_data_size;
} kstat_t;

typedef struct kstat_ctl {
  kstat_t vminfo;
  vminfo_t data;
  double last;  // monotonic seconds of the last reading, 0 before it
} kstat_ctl_t;

kstat_ctl_t *kstat_open(void);
int kstat_close(kstat_ctl_t *kc);
// Only module "unix", name "vminfo" exists (instance 0 or -1).
kstat_t *kstat_lookup(kstat_ctl_t *kc, const char *module, int instance, const char *name);
int kstat_read(kstat_ctl_t *kc, kstat_t *ksp, void *buf);
int kstat_chain_update(kstat_ctl_t *kc);

#ifdef QEN_TEST_HOOKS
// Test builds only: a test feeds the memory statistics from a file it wrote,
// read in place of /proc/meminfo (NULL puts /proc/meminfo back).
void qen_kstat_set_meminfo_path(const char *path);
#endif

#ifdef __cplusplus
}
#endif

#endif
