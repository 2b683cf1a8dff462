// NUMA placement: the machine's processor groups (locality groups holding
// both processors and memory), the calling thread's group, and the mapping
// between the layer's group numbers 0..n-1 and the system's locality-group
// ids. The groups come from the locality-group library, loaded at run time.
//
// Environment, read at every call (set means present, even when empty):
//   DISABLE_NUMA  one group, own group 0; the library is never loaded
//   SIM_NUMA      (when DISABLE_NUMA is not set) its decimal value is the
//                 group count; numbers and ids are the same; the own group
//                 is chosen at random once per process
//
// Layers: the environment and the loading of the library are the OS part
// (sosd/sskgsn.cpp); the portable part counts and maps the groups through
// the library's entry points.
//
// Records:
//   skgsnsctx   the NUMA context, owned by its caller (the realm context
//               holds one); skgsninit fills it.
//
// Results: 1 (or the asked value) for success; 0 for failure with the
// caller's slos_error filled (error 1 with errno, or -1 internal).
//
// Who may call: anyone; a context is not locked, so its owner fills it before
// sharing it. The mapping functions need a marked context and a group number
// below the count (asserted in debug builds).
#ifndef QEN_KIT_OSD_SKGSN_H
#define QEN_KIT_OSD_SKGSN_H

#include <stddef.h>
#include <stdint.h>

#include "lgrp_user.h"
#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SKGSN_MAGIC 0xA55AA55Au
#define SKGSNMAXPG 128  // bounds the group count: at most 127 groups are used
#define SKGSN_ERR 1     // a call of the library failed

// The trace callback: the first slot of the caller's callback table.
typedef void (*skgsn_tracefn)(void *cbctx, const char *fmt, ...);

typedef struct skgsnsctx {
  uint32_t magic;                  // SKGSN_MAGIC once initialised
  void *cbctx;                     // first argument of the trace callback
  const skgsn_tracefn *cbtab;      // the callback table; slot 0 traces
  uint16_t isize_skgsnsctx;        // processor groups, 0 until known
  uint32_t map[SKGSNMAXPG];        // locality-group id of each group
} skgsnsctx;

// A locality-group id as it travels.
typedef struct skgsnospg {
  int32_t id;
} skgsnospg;

// The library's entry points; SKGSN_lgrp_version non-NULL: loaded.
extern lgrp_version_fn SKGSN_lgrp_version;
extern lgrp_init_fn SKGSN_lgrp_init;
extern lgrp_fini_fn SKGSN_lgrp_fini;
extern lgrp_home_fn SKGSN_lgrp_home;
extern lgrp_nlgrps_fn SKGSN_lgrp_nlgrps;
extern lgrp_affinity_set_fn SKGSN_lgrp_affinity_set;
extern lgrp_children_fn SKGSN_lgrp_children;
extern lgrp_root_fn SKGSN_lgrp_root;
extern lgrp_mem_size_fn SKGSN_lgrp_mem_size;
extern lgrp_cpus_fn SKGSN_lgrp_cpus;

// Clears, fills and marks the context. Always 1.
int skgsninit(slos_error *err, skgsnsctx *ctx, const skgsn_tracefn *cbtab, void *cbctx);
// 1 for a marked context; else 0 with an internal error.
int skgsnchkctx(slos_error *err, const skgsnsctx *ctx);
// 1 when the library's entry points are available (loaded at most once).
int skgsn_load_lgrp_library(slos_error *err, const skgsnsctx *ctx);
// 1 when NUMA placement is in effect.
int skgsnqnuma(slos_error *err, skgsnsctx *ctx);
// The number of processor groups; 0 on failure. Stored in the context.
int skgsnisize(slos_error *err, skgsnsctx *ctx);
// The calling thread's group number; 0 on failure.
int skgsnmypg(slos_error *err, skgsnsctx *ctx);
// The id of group pg. 1, or 0 when the count cannot be found.
int skgsnomap(slos_error *err, skgsnsctx *ctx, int pg, void *ignored, skgsnospg *out);
void skgsnpg_to_skgsnospg(const skgsnsctx *ctx, int pg, skgsnospg *out);
int skgsnospg_to_skgsnpg(const skgsnsctx *ctx, skgsnospg id);
// Writes "PG: %u PROC: %u\n" (each number as 16 bits) into buf, which holds
// SKGSN_UNMAP_LEN bytes, the longest text and its NUL. Always 1.
#define SKGSN_UNMAP_LEN 24
int skgsnunmap(void *ignored1, void *ignored2, unsigned pg, unsigned proc, char *buf);
int skgsnmeproc(void);
// 1 when DISABLE_NUMA or SIM_NUMA is set: placement is off or simulated, and
// the library is not to be asked.
int skgsnenvoff(void);

#ifdef __cplusplus
}
static_assert(sizeof(skgsnospg) == 4);
#endif

#endif
