// Seams of the process bootstrap. Each stands for a function that later work
// on the kit provides, as its comment says.
#include "lpm_int.h"

extern "C" {

int (*lpm_seam_observer)(const char *service, lpm_meta *block, int mode) = nullptr;

}  // extern "C"
