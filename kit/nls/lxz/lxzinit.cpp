// The NLS layer's one-time lock set-up.
#include "lxl.h"
#include "lxz.h"
#include "slts.h"

namespace {

// Set by the first call, before its work, and never cleared. Not locked: the
// first call is made while the process still has a single thread.
int lxz_flag = 0;
int lxz_result = 0;

}  // namespace

extern "C" int lxzinit(void) {
  if (lxz_flag) return lxz_result;
  lxz_flag = 1;
  sltspin();
  lxz_result = slxmxinit();
  return lxz_result;
}
