// Memory manager internals shared by the manager and its strategies.
#ifndef QEN_KIT_CORE_LMMI_H
#define QEN_KIT_CORE_LMMI_H

#include <stdarg.h>
#include <string.h>

#include "lmm.h"
#include "lpm.h"

// Typed-argument codes the manager's records carry.
#define LMMI_TXTP 25   /* pointer to a NUL-terminated text */
#define LMMI_DVOID 23  /* a data pointer, by value */
#define LMMI_SIZET 15  /* pointer to a 64-bit size */

// Where the error store connects. One record of class 3 for the facility, with
// the number, the site (nonzero only for the internal error) and the typed
// arguments; returns 1 when a record was pushed, else 0. The depth and
// clear-mark calls serve the mark rule.
int lmm_record_error(lpm_meta* block, lwem_facility* facility, int number, int site,
                     va_list args);
int lmm_mark_newest(lpm_meta* block);
int lmm_error_depth(lpm_meta* block);
void lmm_clear_newest_mark(lpm_meta* block);
lwem_facility* lmm_facility_add(lpm_meta* block);
void lmm_facility_free(lpm_meta* block, lwem_facility* facility);

#ifdef QEN_TEST_HOOKS
// What the recorder passed on (number, site, text), kept per thread so that
// tests can see the manager's errors before the error store takes them.
// Test builds only.
struct lmm_recorded {
  int number;
  int site;
  char text[64];
};
struct lmm_record_log {
  int count;                 // records passed on; the newest is rec[(count - 1) % 32]
  lmm_recorded rec[32];
};
lmm_record_log* lmm_recorded_log(void);
#endif

// The memory service record of a process block or of a product (a product
// begins with a copy of its block's words), and the block's ready flag.
inline void** lmmi_service_field(void* blockorproduct) {
  return &static_cast<lpm_meta*>(blockorproduct)->mm;
}
inline bool lmmi_block_ready(const lpm_meta* block) { return block != nullptr && block->ready != 0; }

inline lmm_primary* lmmi_primary(lmm_ctx* ctx) {
  return (ctx && ctx->priv) ? ctx->priv->primary : nullptr;
}
inline lpm_meta* lmmi_block(lmm_ctx* ctx) {
  lmm_primary* p = lmmi_primary(ctx);
  return p ? p->block : nullptr;
}
inline slts_ctx* lmmi_tsctx(lmm_ctx* ctx) {
  lmm_primary* p = lmmi_primary(ctx);
  return p ? p->tsctx : nullptr;
}

// Record LMM 3 with a site and its text.
void lmmi_internal(lmm_ctx* ctx, int site, const char* text, int* mark, unsigned flags);
// Record a numbered error with the operation's name.
void lmmi_error(lmm_ctx* ctx, int number, const char* text, int* mark, unsigned flags);

// Calls on a parent heap, under the mark rule.
void* lmmi_palloc(lmm_ctx* ctx, lmm_heap* parent, size_t size, unsigned flags, const char* file,
                  int line, int* mark);
int lmmi_pfree(lmm_ctx* ctx, lmm_heap* parent, void* ptr, unsigned flags, int* mark);
void lmmi_markrule(lmm_ctx* ctx, int before, int* mark);

size_t lmmi_pagesize();

// count x size, or false when the product overflows or passes the limit.
inline bool lmmi_mul(size_t count, size_t size, size_t* out) {
  uint64_t p = static_cast<uint64_t>(count) * static_cast<uint64_t>(size);
  if (size != 0 && p / size != count) return false;
  if (p > LMM_MAXSIZE) return false;
  *out = static_cast<size_t>(p);
  return true;
}

// calloc over a strategy's allocation: count x size bytes from alloc(n),
// zeroed. A product that is too large is LMM_ETOOLARGE under `name`; an
// allocation that gives nothing is the internal error `site` with `text`.
template <class Alloc>
void* lmmi_calloc(lmm_ctx* ctx, size_t count, size_t size, const char* name, int site,
                  const char* text, int* mark, unsigned flags, Alloc alloc) {
  size_t n;
  if (!lmmi_mul(count, size, &n)) {
    lmmi_error(ctx, LMM_ETOOLARGE, name, mark, flags);
    return nullptr;
  }
  void* p = alloc(n);
  if (!p) {
    lmmi_internal(ctx, site, text, mark, flags);
    return nullptr;
  }
  memset(p, 0, n);
  return p;
}

// Usable bytes of a block of the standard or the fast strategy.
size_t lmmst_capacity(void* ptr);
size_t lmmst_ctx_size();
size_t lmmfs_capacity(void* ptr);

#endif
