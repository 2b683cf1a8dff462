// Internal services of the error manager: the per-operation record keeping
// (ready rule and mark protocol) and the locks of the text operations.
#ifndef QEN_KIT_CORE_LEMX_INT_H
#define QEN_KIT_CORE_LEMX_INT_H

#include <stdarg.h>

#include "lemx.h"
#include "lpm.h"

// One error-manager operation: the depth on entry and the call's mark flag.
// While the process block is not ready, finish() deletes back to the mark
// whatever the operation left.
struct LemCall {
  lem_ctx *lem;
  unsigned depth;
  int own_flag;
  int *flag;
  bool finished;

  explicit LemCall(lem_ctx *l, int *outer = nullptr)
      : lem(l), depth(0), own_flag(0), flag(outer ? outer : &own_flag), finished(false) {
    if (lwem_ctx *s = store()) depth = lwemged(s);
  }
  lwem_ctx *store() const { return lem && lem->priv ? lem->priv->store : nullptr; }
  lpm_meta *block() const { return lem && lem->priv ? lem->priv->block : nullptr; }
  bool ready() const {
    lpm_meta *b = block();
    return !b || b->ready;
  }
  // The operation pushed a record of its own.
  void pushed() {
    if (*flag == 0) {
      lwemmrk(store());
      *flag = 1;
    }
  }
  void finish() {
    if (finished) return;
    finished = true;
    lwem_ctx *s = store();
    if (s && !ready() && lwemged(s) > depth) lwemdtm(s);
  }
};

// Takes the message cache's mutex, then the context's (both owner-aware).
struct BothLocks {
  lem_ctx *lem;
  int cache_acq = 0;
  int ctx_acq = 0;
  explicit BothLocks(lem_ctx *l) : lem(l) {
    slts_ctx *thr = lem->priv->thr;
    if (lem->cache) cache_acq = lwemmxa(thr, &lem->cache->mx.mutex, &lem->cache->mx.owner);
    ctx_acq = lwemmxa(thr, &lem->priv->mx.mutex, &lem->priv->mx.owner);
  }
  void release() {
    slts_ctx *thr = lem->priv->thr;
    lwemmxr(thr, &lem->priv->mx.mutex, &lem->priv->mx.owner, ctx_acq);
    if (lem->cache) lwemmxr(thr, &lem->cache->mx.mutex, &lem->cache->mx.owner, cache_acq);
    ctx_acq = cache_acq = 0;
  }
};

// Records one message (site 0) or internal error (site nonzero, number = the
// facility's internal number) with the typed arguments. 0, or -1.
int lem_record(LemCall &c, lwem_facility *fac, int number, int site, int cls, va_list ap);
int lem_recordl(LemCall &c, lwem_facility *fac, int number, int site, int cls, ...);
// The error manager's own errors (recorded only while the block is ready).
void lem_own(LemCall &c, int number, const char *a, const char *b);
lwem_facility *lem_facility(lem_ctx *lem);
int lem_nls_setup(LemCall &c);
int lem_env(LemCall &c, lsf_env *out);

// Closes and frees every entry of the message cache, last to first.
void lem_cache_close(lem_msgcache *cache);

// The context's own NLS environment and language handle (lem_nls.cpp).
// Builds what the context lacks under the own-NLS flag: an environment on a
// newly loaded shared table, a handle from the environment. 0, or -1.
int lem_nls_own(lem_ctx *lem);
// Ends the environment the context built and frees what it allocated.
void lem_nls_end(lem_ctx *lem);
// Makes sure the context has an environment (the store's table, or a newly
// loaded one handed to the store) and a language handle. 0, or -1 when no
// table can be loaded.
int lem_nls_prepare(lem_ctx *lem);
// Gives the context an environment on the store's table when it has none.
void lem_nls_env(lem_ctx *lem);

#endif
