// Internal services of the process bootstrap: lists, memory of the kit's own
// records, and the observer of the core services' entries.
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

#ifdef __cplusplus
extern "C" {
#endif
#ifdef QEN_TEST_HOOKS
// Observer of the core services' entries and product instances, for tests:
// called with the service's name, the block and the mode when the entry
// begins; a nonzero result makes the entry fail at once. Test builds only.
extern int (*lpm_service_observer)(const char *service, lpm_meta *block, int mode);
static inline int lpm_observe(const char *service, lpm_meta *block, int mode) {
  return lpm_service_observer ? lpm_service_observer(service, block, mode) : 0;
}
#else
static inline int lpm_observe(const char *, lpm_meta *, int) { return 0; }
#endif
#ifdef __cplusplus
}
#endif

#endif
