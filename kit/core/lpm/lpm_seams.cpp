// Seams of the process bootstrap. Each stands for a function that later work
// on the kit provides, as its comment says.
#include "lpm_int.h"

extern "C" {

int (*lpm_seam_observer)(const char *service, lpm_meta *block, int mode) = nullptr;

// Stands for lxzinit, the NLS lock set-up: prepares the thread layer; the NLS
// global lock (slxmxinit) comes with the NLS environment work.
int lpm_seam_lxzinit(void) {
  static bool done = false;
  if (done) return 0;
  done = true;
  sltspin();
  return 0;
}

}  // extern "C"
