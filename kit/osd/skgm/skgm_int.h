// Internal to the realm service's portable calls: argument-error reports,
// the header check, and small queries on a handle. (The helpers the Solaris
// layer shares with them, storing codes and tracing, live in sosd/sskgm.h.)
#ifndef QEN_KIT_OSD_SKGM_INT_H
#define QEN_KIT_OSD_SKGM_INT_H

#include <stdint.h>

#include "skgm.h"
#include "sskgm.h"

// Reports an argument error through the context's error callback (when the
// context has one) with four values.
void skgm_report(const skgm_ctx *ctx, const char *name, uint64_t v1, uint64_t v2, uint64_t v3,
                 uint64_t v4);
// 27103 with the name and its values.
void skgm_invalid(sl_status *err, const skgm_ctx *ctx, const char *name, uint64_t v1,
                  uint64_t v2 = 0, uint64_t v3 = 0, uint64_t v4 = 0);

// 1 when the header at the end of a segment of len bytes whose id is shmid
// describes a realm held there: complete (magic, version), fitting the
// segment (skgmhfits), naming shmid as its primary segment, and the
// primary's subareas one run of that segment's size that the segment holds,
// with no other subarea naming shmid.
int skgm_hdrholds(const skgm_header *hdr, uint64_t len, int32_t shmid);

// The number of user areas of a handle (the overhead area excluded).
inline uint32_t skgm_userareas(const skgm_realm *h) { return h->hdr.nareas - 1; }

#endif
