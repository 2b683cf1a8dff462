// NUMA placement, the OS part: the environment that switches placement off
// or simulates it, and loading the locality-group library's entry points.
// It calls only downward (the C library, the dynamic loader, the platform's
// library path) and never back into skgsn*.
#ifndef QEN_KIT_OSD_SSKGSN_H
#define QEN_KIT_OSD_SSKGSN_H

#include "skgsn.h"

#ifdef __cplusplus
extern "C" {
#endif

// 1 when DISABLE_NUMA is set (to anything, even empty).
int sskgsndisabled(void);
// The value of SIM_NUMA, or NULL when it is not set.
const char *sskgsnsimulated(void);
// Loads the library and fills every SKGSN_lgrp_* entry point: 1. 0 when the
// library cannot be opened, or when an entry point is missing (then none is
// set, the library is closed and the trace callback of ctx, when ctx has one
// and a callback context, names the symbol and the loader's reason).
int sskgsnload(const skgsnsctx *ctx);

#ifdef __cplusplus
}
#endif

#endif
