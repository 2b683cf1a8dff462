// Internal services of the process bootstrap: lists, memory of the kit's own
// records, and the seams that stand for services built elsewhere.
#ifndef QEN_KIT_CORE_LPM_INT_H
#define QEN_KIT_CORE_LPM_INT_H

#include <stddef.h>

#include "lpm.h"

// Lists with head and tail sentinels. They do not lock.
int lpm_list_init(slts_ctx *thr, lpm_list *list);
void lpm_list_fini(slts_ctx *thr, lpm_list *list);
void lpm_list_append(lpm_list *list, lpm_lelem *e);
int lpm_list_remove(lpm_list *list, lpm_lelem *e);  // 0, or -1 when not a member

// Zeroed memory for records of a block or product (its memory handle).
void *lpm_calloc(lpm_meta *obj, size_t size);
void lpm_free(lpm_meta *obj, void *p);

// Seams. Each stands for a function that later work on the kit provides, as
// its comment in lpm_seams.cpp says.
#ifdef __cplusplus
extern "C" {
#endif
int lpm_seam_lxzinit(void);
int lpm_seam_lpmrist(lpm_meta *block, void *slot, int mode);
int lpm_seam_lfirist(lpm_meta *block, void *slot, int mode);
int lpm_seam_lemrist(lpm_meta *block, void *slot, int mode);
int lpm_seam_lficis(lpm_meta *block, void **place, lpm_product *product);
int lpm_seam_lficit(lpm_meta *block, void *inst, lpm_product *product);
int lpm_seam_lemcis(lpm_meta *block, void **place, lpm_product *product);
int lpm_seam_lemcit(lpm_meta *block, void *inst, lpm_product *product);
int lpm_seam_lpmpapb(lpm_meta *obj, lpm_ctx *ctx, const char *name, int len,
                     lpm_pkgnode **pkg);
int lpm_seam_lpmpfpb(lpm_meta *obj, lpm_ctx *ctx, lpm_pkgnode *pkg);

// Observer of the seamed services, for tests: called with the service's name,
// the block and the mode before the seam acts; a nonzero result makes the
// seam fail.
extern int (*lpm_seam_observer)(const char *service, lpm_meta *block, int mode);
#ifdef __cplusplus
}
#endif

#endif
