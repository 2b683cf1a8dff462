// Internal services of the formatting context: what a formatting call does on
// entry and on return (the context lock, the error store it records on), and
// the allocator of argument-handle cells.
#ifndef QEN_KIT_CORE_LSF_CTX_INT_H
#define QEN_KIT_CORE_LSF_CTX_INT_H

#include <stddef.h>

#include "lsf_ctx.h"

typedef struct lwem_ctx lwem_ctx;

// The language handle and the NLS environment in use of a context.
inline lxlangid *lsf_ctx_lang(lsf_priv *p) { return &p->lang; }
inline lxglo *lsf_ctx_own_glo(lsf_priv *p) { return &p->own_glo; }

// The error store of the context's product, or NULL.
lwem_ctx *lsf_ctx_errs(const lsf_ctx *ctx);

// The environment record of the list layer for calls made under ctx.
void lsf_ctx_env(lsf_ctx *ctx, lsf_env *env);

// Takes the context lock when locking is enabled and the calling thread does
// not already hold it. Returns 0 and sets *taken (1 when this call locked), or
// -1 when the calling thread's identity could not be made.
int lsf_ctx_lock(lsf_ctx *ctx, int *taken);
// Gives back what lsf_ctx_lock took.
void lsf_ctx_unlock(lsf_ctx *ctx, int taken);

#ifdef __cplusplus
extern "C" {
#endif
#ifdef QEN_TEST_HOOKS
// Allocator and release of the argument-handle cells: the system allocator.
// Tests replace them to watch the cells or make the allocation fail. Test
// builds only; a product build calls malloc and free.
extern void *(*lsfd_cell_alloc)(size_t size);
extern void (*lsfd_cell_free)(void *cell);
#endif
#ifdef __cplusplus
}
#endif

#endif
