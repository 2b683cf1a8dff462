// Processor sets over the process's affinity mask.
#include "pset.h"

#include <errno.h>
#include <sched.h>
#include <sys/wait.h>
#include <unistd.h>

namespace {

constexpr psetid_t kMaskSet = 1;

// Processors in the affinity mask, or -1.
int mask_count(cpu_set_t *set) {
  CPU_ZERO(set);
  if (sched_getaffinity(0, sizeof *set, set) != 0) return -1;
  return CPU_COUNT(set);
}

}  // namespace

extern "C" int pset_bind(psetid_t pset, int idtype, int id, psetid_t *opset) {
  if (pset != PS_QUERY || idtype != P_PID || id != P_MYPID || opset == nullptr) {
    errno = EINVAL;
    return -1;
  }
  cpu_set_t set;
  int bound = mask_count(&set);
  if (bound < 0) return -1;
  long online = sysconf(_SC_NPROCESSORS_ONLN);
  *opset = bound > 0 && online > 0 && bound < online ? kMaskSet : PS_NONE;
  return 0;
}

extern "C" int pset_info(psetid_t pset, int *type, unsigned *numcpus, processorid_t *cpulist) {
  psetid_t mine = PS_NONE;
  if (pset_bind(PS_QUERY, P_PID, P_MYPID, &mine) != 0) return -1;
  if (pset != kMaskSet || mine != kMaskSet) {
    errno = EINVAL;
    return -1;
  }
  cpu_set_t set;
  int n = mask_count(&set);
  if (n < 0) return -1;
  if (type != nullptr) *type = PS_PRIVATE;
  if (cpulist != nullptr) {
    int k = 0;
    for (int c = 0; c < CPU_SETSIZE && k < n; ++c)
      if (CPU_ISSET(c, &set)) cpulist[k++] = c;
  }
  if (numcpus != nullptr) *numcpus = static_cast<unsigned>(n);
  return 0;
}
