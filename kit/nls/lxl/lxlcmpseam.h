// The hand-off of lxCmpStr to the comparison of character cursors.
#ifndef QEN_KIT_NLS_LXLCMPSEAM_H
#define QEN_KIT_NLS_LXLCMPSEAM_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"
#include "lxm.h"

// Compares llen bytes at the left cursor with rlen bytes at the right one
// under the left cursor's handle, with lxCmpStr's flags. The lengths are
// always measured: never LXCMP_NUL.
int lxCmpStr_oCmpStr_seam(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
                          lxglo *glo);

#endif
