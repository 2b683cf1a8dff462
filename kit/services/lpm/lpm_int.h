// Internal services of the process bootstrap: lists, memory of the kit's own
// records.
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

#endif
