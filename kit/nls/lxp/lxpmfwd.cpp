// The forward step of a shift-sensitive cursor.
#include "lxmint.h"
#include "lxp.h"

extern "C" size_t lxpmfwdx(lxmcur *cur, lxglo *) {
  if (lxmleft(cur) == 0) {
    ++cur->pos;
    return 0;
  }
  return lxmi::shift_step(cur);
}
