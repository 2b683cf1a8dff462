// Error manager: contexts of process blocks and products, facilities, the
// NLS set-up of a context, stack access and the error manager's own errors.
#include <cstdlib>
#include <cstring>

#include "lemx.h"
#include "lem_fmt.h"
#include "lemx_int.h"
#include "lpm.h"

namespace {

void destroy_mutex(slts_ctx *thr, lwem_mutex *mx) {
  sltsmxd(thr, &mx->mutex);
  sltstiddestroy(thr, &mx->owner);
}

void **slot_of(lpm_meta *block) { return block ? static_cast<void **>(block->em) : nullptr; }

}  // namespace

// ---------------------------------------------------------------------------
// Internal services

lwem_facility *lem_facility(lem_ctx *lem) {
  return lem && lem->cache ? lem->cache->lemfac : nullptr;
}

void lem_own(LemCall &c, int number, const char *a, const char *b) {
  lemprc(c.lem, lem_facility(c.lem), number, 0, nullptr, c.flag, LSFTXTP, a, LSFTXTP, b,
         LSFEND);
}

int lem_nls_setup(LemCall &c) {
  lem_ctx *lem = c.lem;
  if (!lem || !lem->priv) return -1;
  BothLocks locks(lem);
  int r = lem_nls_prepare(lem);
  locks.release();
  if (r != 0) {
    lemprc(lem, lem_facility(lem), LEM_INTERNAL, 1, nullptr, c.flag, LSFTXTP,
           "Error encountered in lempilx()", LSFTXTP, "Null metacontext returned from lxlinit()",
           LSFTXTP, "", LSFTXTP, "", LSFTXTP, "", LSFEND);
    return -1;
  }
  return 0;
}

int lem_env(LemCall &c, lsf_env *out) {
  if (lem_nls_setup(c) != 0) return -1;
  lem_ctx *lem = c.lem;
  BothLocks locks(lem);
  lem_nls_env(lem);
  out->thr = lem->priv->thr;
  out->lang = lem->priv->lang;
  out->glo = lem->priv->glo;
  out->utf16 = 0;
  out->fmt = nullptr;
  locks.release();
  return 0;
}

int lem_record(LemCall &c, lwem_facility *fac, int number, int site, int cls, va_list ap) {
  lwem_ctx *store = c.store();
  if (!store || !fac) return -1;
  lsf_env env{};
  if (lem_env(c, &env) != 0) return -1;
  if (site != 0) number = lwemgie(store, fac);
  // Refused records are not built: the store would take the list.
  if (number == 0 || (site == 0 && number == lwemgie(store, fac))) return -1;
  int st = LSFST_OK;
  lsf_arglist *list = lwsfdlv(store, &env, &st, ap);
  if (!list) return -1;
  if (lwemade(store, fac, number, nullptr, site, cls, list) != 0) {
    lwsfdrm(store, &env, list, &st);
    return -1;
  }
  c.pushed();
  return 0;
}

int lem_recordl(LemCall &c, lwem_facility *fac, int number, int site, int cls, ...) {
  va_list ap;
  va_start(ap, cls);
  int r = lem_record(c, fac, number, site, cls, ap);
  va_end(ap);
  return r;
}

extern "C" {

// ---------------------------------------------------------------------------
// Own errors

void lemprc(lem_ctx *lem, lwem_facility *facility, int number, int site, const sl_status *st,
            int *flag, ...) {
  if (!lem || !lem->priv || !facility) return;
  lpm_meta *block = lem->priv->block;
  if (block && !block->ready) return;
  lwem_ctx *store = lem->priv->store;
  va_list ap;
  va_start(ap, flag);
  int r = lwemrev(store, facility, number, st, site, LWEM_CLASS_RECORDED, ap);
  va_end(ap);
  if (r == 0 && flag && *flag == 0) {
    lwemmrk(store);
    *flag = 1;
  }
}

// ---------------------------------------------------------------------------
// Contexts

lem_ctx *lempint(lem_ctx *lem, lpm_meta *block, void **callbacks, uintptr_t user,
                 const char *lang_name, lwem_ctx *store, lxglo *glo) {
  if (!lem) return nullptr;
  std::memset(lem, 0, sizeof *lem);
  auto priv = static_cast<lem_priv *>(std::calloc(1, sizeof(lem_priv)));
  if (!priv) return nullptr;
  lem->priv = priv;
  int stage = 0;
  const uint8_t own_nls = block ? block->own_nls : 0;
  if (callbacks) {
    lem->callbacks = callbacks;
  } else {
    lem->callbacks = static_cast<void **>(std::calloc(4, sizeof(void *)));
    if (!lem->callbacks) goto fail;
    priv->flags |= LEM_OWN_CALLBACKS;
  }
  if (void **slot = slot_of(block); slot && slot[0]) {
    lem->cache = static_cast<lem_ctx *>(slot[0])->cache;
  } else {
    auto cache = static_cast<lem_msgcache *>(std::calloc(1, sizeof(lem_msgcache)));
    if (!cache) goto fail;
    if (!lempin(cache, block)) {
      std::free(cache);
      goto fail;
    }
    lem->cache = cache;
    priv->flags |= LEM_OWN_CACHE;
  }
  stage = 1;
  priv->block = block;
  priv->user = user;
  lem->slot = slot_of(block);
  priv->glo = glo ? glo : block ? block->glo : nullptr;
  priv->lang = block ? block->lang : nullptr;
  if (own_nls && (!priv->glo || !priv->lang) && lem_nls_own(lem) != 0) goto fail;
  stage = 2;
  if (store) {
    priv->store = store;
  } else {
    priv->store = lwemist(lang_name, priv->glo, own_nls);
    if (!priv->store) goto fail;
    priv->flags |= LEM_OWN_STORE;
  }
  priv->store->block = block;
  stage = 3;
  priv->thr = sltsini();
  if (!priv->thr) goto fail;
  stage = 4;
  if (lwemmxi(priv->thr, &priv->mx.mutex, &priv->mx.owner) != 0) goto fail;
  stage = 5;
  lem->root = static_cast<lem_frame *>(std::calloc(1, sizeof(lem_frame)));
  if (!lem->root) goto fail;
  lemfri(lem, lem->root);
  return lem;

fail:
  if (stage >= 5) destroy_mutex(priv->thr, &priv->mx);
  if (stage >= 4) sltster(priv->thr);
  if (stage >= 3 && (priv->flags & LEM_OWN_STORE)) lwemdst(priv->store);
  if (stage >= 2 && !(block && block->glo)) lem_nls_end(lem);
  if (priv->flags & LEM_OWN_CACHE) {
    destroy_mutex(nullptr, &lem->cache->mx);
    std::free(lem->cache);
  }
  if (priv->flags & LEM_OWN_CALLBACKS) std::free(lem->callbacks);
  std::free(priv);
  std::memset(lem, 0, sizeof *lem);
  return nullptr;
}

void lemfre(lem_ctx *lem) {
  if (!lem || !lem->priv) return;
  lem_priv *priv = lem->priv;
  if (priv->fmt) {
    lemces(lem);
    lem_fmtcln(lem);
  }
  if (priv->flags & LEM_OWN_STORE) lwemdst(priv->store);
  priv->store = nullptr;
  if (priv->flags & LEM_OWN_CALLBACKS) std::free(lem->callbacks);
  lem->callbacks = nullptr;
  if ((priv->flags & LEM_OWN_CACHE) && lem->cache) {
    lem_msgcache *cache = lem->cache;
    lem_cache_close(cache);
    if (cache->lsf) lpmdelete(cache->block, "lsf");
    cache->lsf = nullptr;
    destroy_mutex(priv->thr, &cache->mx);
    std::free(cache);
  }
  lem->cache = nullptr;
  destroy_mutex(priv->thr, &priv->mx);
  if (!(priv->block && priv->block->glo)) lem_nls_end(lem);
  std::free(lem->root);
  lem->root = nullptr;
  sltster(priv->thr);
  std::free(priv);
  lem->priv = nullptr;
}

int lemrist(lpm_meta *block, void *slot, int mode) {
  (void)slot;
  if (!block || lpm_observe("lemrist", block, mode) != 0) return -1;
  if (mode == 0) {
    slts_ctx *thr = sltsini();
    if (!thr) return -1;
    auto lem = static_cast<lem_ctx *>(std::calloc(1, sizeof(lem_ctx)));
    auto rec = static_cast<void **>(std::calloc(LEM_SLOT_WORDS, sizeof(void *)));
    lwem_facility *fac = nullptr;
    bool made = false;
    if (!lem || !rec) goto fail;
    if (!lempint(lem, block, nullptr, 0, nullptr, block->errs, nullptr)) goto fail;
    made = true;
    block->em = rec;
    rec[0] = lem;
    lem->slot = rec;
    lem->cache->block = block;
    fac = lemfaa(lem, nullptr, "VODUDED", "LEM", LEM_INTERNAL, LEM_FATAL);
    if (!fac) goto fail;
    lem->cache->lemfac = fac;
    return 0;
  fail:
    if (made) lemfre(lem);
    std::free(lem);
    std::free(rec);
    block->em = nullptr;
    sltster(thr);
    return -1;
  }
  if (mode == 1) {
    void **rec = slot_of(block);
    if (!rec || !rec[0]) return -1;
    auto lem = static_cast<lem_ctx *>(rec[0]);
    slts_ctx *thr = lem->priv ? lem->priv->thr : nullptr;
    if (lem->cache) {
      lemfaf(lem, lem->cache->lemfac);
      lem->cache->lemfac = nullptr;
    }
    lemfre(lem);
    std::free(lem);
    std::free(rec);
    block->em = nullptr;
    // The reference taken at start; lemfre dropped the context's own.
    if (thr) sltster(thr);
    return 0;
  }
  return -1;
}

int lemcis(lpm_meta *parent, void **out, lpm_product *product) {
  void **pslot = slot_of(parent);
  if (!pslot || !out || !product || lpm_observe("lemcis", parent, 0) != 0) return -1;
  auto copy = static_cast<void **>(std::malloc(LEM_SLOT_WORDS * sizeof(void *)));
  if (!copy) return -1;
  std::memcpy(copy, pslot, LEM_SLOT_WORDS * sizeof(void *));
  copy[0] = pslot[0];
  product->m.em = copy;
  *out = pslot[0];
  return 0;
}

int lemcit(lpm_meta *parent, void *ignored, lpm_product *product) {
  (void)ignored;
  if (!parent || !product || lpm_observe("lemcit", parent, 1) != 0) return -1;
  std::free(product->m.em);
  product->m.em = nullptr;
  return 0;
}

lwem_facility *lemfaa(lem_ctx *lem, void **callbacks, const char *product, const char *facility,
                      int internal, int fatal) {
  if (!lem || !lem->priv || !product || !facility || internal == 0 || fatal == 0) return nullptr;
  return lwemfaa(lem->priv->store, callbacks, product, facility, internal, fatal);
}

void lemfaf(lem_ctx *lem, lwem_facility *facility) {
  if (!lem || !lem->priv || !facility) return;
  lwemfaf(lem->priv->store, facility);
}

// ---------------------------------------------------------------------------
// Stack access

static lwem_ctx *store_of(lem_ctx *lem) { return lem && lem->priv ? lem->priv->store : nullptr; }

unsigned lemged(lem_ctx *lem) { return store_of(lem) ? lwemged(store_of(lem)) : 0; }
void lemdec(lem_ctx *lem, int n) {
  if (store_of(lem)) lwemdec(store_of(lem), n);
}
void lemces(lem_ctx *lem) {
  if (store_of(lem)) lwemces(store_of(lem));
}
void lempbas(lem_ctx *lem) {
  if (store_of(lem)) lwembas(store_of(lem));
}
void lempbar(lem_ctx *lem) {
  if (store_of(lem)) lwembar(store_of(lem));
}

// ---------------------------------------------------------------------------
// NLS set-up

int lempilx(lem_ctx *lem, int *flag) {
  if (!lem || !lem->priv) return -1;
  LemCall c(lem, flag);
  int r = lem_nls_setup(c);
  c.finish();
  return r;
}

int lempsll(lem_ctx *lem, lsf_env *out, int *flag) {
  if (!lem || !lem->priv || !out) return -1;
  LemCall c(lem, flag);
  int r = lem_env(c, out);
  c.finish();
  return r;
}

}  // extern "C"
