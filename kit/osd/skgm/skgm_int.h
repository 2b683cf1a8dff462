// Internal to the realm service: the reporting helpers shared by the portable
// calls and the Solaris layer, and the segment walk over a handle.
#ifndef QEN_KIT_OSD_SKGM_INT_H
#define QEN_KIT_OSD_SKGM_INT_H

#include <stdint.h>

#include "skgm.h"

// Stores code and errno (details untouched).
inline void skgm_seterr(sl_status *err, int32_t code, int32_t oserr) {
  err->code = code;
  err->oserr = oserr;
}

// Reports an argument error through the context's error callback (when the
// context has one) with four values.
void skgm_report(const skgm_ctx *ctx, const char *name, uint64_t v1, uint64_t v2, uint64_t v3,
                 uint64_t v4);
// 27103 with the name and its values.
void skgm_invalid(sl_status *err, const skgm_ctx *ctx, const char *name, uint64_t v1,
                  uint64_t v2 = 0, uint64_t v3 = 0, uint64_t v4 = 0);
// Stores code and errno and writes the error trace line with its four values.
void skgm_trace_err(sl_status *err, const skgm_ctx *ctx, int32_t code, int32_t oserr, long i1,
                    long i2, long i3, long i4);

inline uint32_t skgm_hi(uint64_t v) { return static_cast<uint32_t>(v >> 32); }
inline uint32_t skgm_lo(uint64_t v) { return static_cast<uint32_t>(v); }

// The number of user areas of a handle (the overhead area excluded).
inline uint32_t skgm_userareas(const skgm_realm *h) { return h->hdr.nareas - 1; }

// 1 when subarea i begins a segment (its shmid differs from the previous one).
inline bool skgm_segstart(const skgm_realm *h, uint32_t i) {
  return i == 0 || h->subs[i].shmid != h->subs[i - 1].shmid;
}

#endif
