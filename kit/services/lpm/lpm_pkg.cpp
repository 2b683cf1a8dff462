// The package manager: its service entry, loading and unloading packages,
// package nodes, and what entry routines call to register themselves.
#include <cstddef>
#include <cstring>

#include "lem.h"
#include "lpm.h"
#include "lpm_int.h"

namespace {

constexpr const char kInvalidList[] = "Invalid list structure pointer";

int rec_text(lpm_meta *obj, int *flag, int number, const char *text) {
  return lpmprec(obj, nullptr, flag, number, 0, LSFTXTP, text, LSFEND);
}

int rec_site(lpm_meta *obj, int *flag, int site, const char *text) {
  return lpmprec(obj, nullptr, flag, LPM_INTERNAL, site, LSFTXTP, text, LSFEND);
}

lpm_lelem *as_elem(void *p) { return static_cast<lpm_lelem *>(p); }

slts_ctx *thr_of(lpm_meta *obj) {
  lpm_ctx *ctx = lpm_context(obj);
  return ctx ? ctx->thr : nullptr;
}

lpm_node *node_of(lpm_product *prod) {
  if (!prod || !prod->m.pm) return nullptr;
  return prod->m.pm->node;
}

// Looks up the package product of that exact name in the product list (the
// caller holds both list mutexes). -1 for a broken list.
int find_product(lpm_ctx *ctx, const char *name, int len, lpm_node **out) {
  *out = nullptr;
  for (lpm_lelem *e = ctx->prods.head.next; e != &ctx->prods.tail; e = e->next) {
    if (!e) return -1;
    auto node = reinterpret_cast<lpm_node *>(e);
    if (!(node->flags & LPM_NODE_PACKAGE) || !node->pkg) continue;
    if (node->pkg->name_len == len && std::memcmp(node->pkg->name, name, size_t(len)) == 0) {
      *out = node;
      return 0;
    }
  }
  return 0;
}

// Finalises a package product under the product-list mutex.
void finalise_product(lpm_meta *obj, lpm_ctx *ctx, lpm_node *node, int *flag) {
  sltsmna(ctx->thr, &ctx->prods.mutex);
  lpmpfin(obj, ctx, node, flag);
  sltsmnr(ctx->thr, &ctx->prods.mutex);
}

}  // namespace

extern "C" {

// ---------------------------------------------------------------------------
// Lists

namespace {

// Sets up a list or a call stack; `bad` and `nomutex` are the texts recorded
// for a missing list and for a mutex that cannot be made.
int init_list(lpm_meta *obj, lpm_list *list, int *call_flag, const char *bad,
              const char *nomutex) {
  if (!list) {
    rec_text(obj, call_flag, LPM_BADARG, bad);
    return -1;
  }
  if (lpm_list_init(thr_of(obj), list) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, nomutex);
    return -1;
  }
  return 0;
}

}  // namespace

int lpmllil(lpm_meta *obj, lpm_list *list, int *call_flag) {
  return init_list(obj, list, call_flag, "lpmllil().",
                   "lpmllil(): failure to initialize mutex");
}

int lpmllae(lpm_meta *obj, lpm_list *list, void *elem, int *call_flag) {
  if (!list || !elem) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmllae().");
    return -1;
  }
  lpm_list_append(list, as_elem(elem));
  return 0;
}

int lpmllre(lpm_meta *obj, lpm_list *list, void *elem, int *call_flag) {
  if (!list || !elem) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmllre().");
    return -1;
  }
  if (lpm_list_remove(list, as_elem(elem)) != 0) {
    rec_site(obj, call_flag, 160, "List element not found.");
    return -1;
  }
  return 0;
}

int lpmllne(lpm_meta *obj, lpm_list *list, void *elem, void **next, int *call_flag) {
  if (!list || !next) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmllne().");
    return -1;
  }
  lpm_lelem *e = elem ? as_elem(elem)->next : list->head.next;
  *next = (!e || e == &list->tail) ? nullptr : e;
  return 0;
}

int lpmllmem(lpm_meta *obj, lpm_list *list, void *elem, int *call_flag) {
  if (!list || !elem) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmllmem().");
    return -1;
  }
  for (lpm_lelem *e = list->head.next; e && e != &list->tail; e = e->next)
    if (e == elem) return 1;
  return 2;
}

// ---------------------------------------------------------------------------
// Call stack

int lpmcsin(lpm_meta *obj, lpm_list *stack, int *call_flag) {
  return init_list(obj, stack, call_flag, "lpmcsin().",
                   "lpmcsin(): failure to initialize mutex");
}

int lpmcste(lpm_meta *obj, lpm_list *stack, int *call_flag) {
  if (!stack) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmcste().");
    return -1;
  }
  if (stack->head.next != &stack->tail) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmcste().the stack is not empty");
    return -1;
  }
  if (sltsmxd(thr_of(obj), &stack->mutex) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, "lpmcste(): failure to terminate mutex");
    return -1;
  }
  return 0;
}

int lpmcspu(lpm_meta *obj, lpm_list *stack, lpm_csentry *entry, int *call_flag) {
  if (!stack || !entry) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmcspu().");
    return -1;
  }
  slts_ctx *thr = thr_of(obj);
  if (sltstidinit(thr, &entry->tid) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, "lpmcspu(): failure to initialize Thread ID");
    return -1;
  }
  sltstgi(thr, &entry->tid);
  lpm_list_append(stack, reinterpret_cast<lpm_lelem *>(entry));
  return 0;
}

int lpmcsmem(lpm_meta *obj, lpm_list *stack, lpm_csentry **out, int *call_flag) {
  if (!stack) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmcsmem().");
    return -1;
  }
  if (out) *out = nullptr;
  // The calling thread's id, compared with each entry's.
  slts_ctx *thr = thr_of(obj);
  slts_tid me;
  if (sltstidinit(thr, &me) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, "lpmcsmem(): failure to initialize Thread ID");
    return -1;
  }
  sltstgi(thr, &me);
  int found = 2;
  for (lpm_lelem *e = stack->tail.prev; e && e != &stack->head; e = e->prev) {
    auto ent = reinterpret_cast<lpm_csentry *>(e);
    if (sltsThrIsSame(&ent->tid, &me) == 1) {
      if (out) *out = ent;
      found = 1;
      break;
    }
  }
  if (sltstiddestroy(thr, &me) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, "lpmcsmem(): failure to destroy Thread ID");
    return -1;
  }
  return found;
}

int lpmcspo(lpm_meta *obj, lpm_list *stack, lpm_csentry **out, uint8_t pop, int *call_flag) {
  if (!stack || !out) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmcspo().");
    return -1;
  }
  lpm_csentry *ent = nullptr;
  if (lpmcsmem(obj, stack, &ent, call_flag) != 1) {
    rec_site(obj, call_flag, 170, "Stack element not found.");
    *out = nullptr;
    return -1;
  }
  if (pop == 1) {
    lpm_list_remove(stack, reinterpret_cast<lpm_lelem *>(ent));
    if (sltstiddestroy(thr_of(obj), &ent->tid) != 0)
      rec_text(obj, call_flag, LPM_MUTEX, "lpmcspu(): failure to destroy Thread ID");
  }
  *out = ent;
  return 0;
}

// ---------------------------------------------------------------------------
// Service entry

int lpmrist(lpm_meta *block, void *slot, int mode) {
  (void)slot;
  if (!block || lpm_observe("lpmrist", block, mode) != 0) return -1;
  if (mode == 0) {
    auto ctx = static_cast<lpm_ctx *>(lpm_calloc(block, sizeof(lpm_ctx)));
    auto link = static_cast<lpm_link *>(lpm_calloc(block, sizeof(lpm_link)));
    auto node = static_cast<lpm_node *>(lpm_calloc(block, sizeof(lpm_node)));
    int flag = 0;
    int stage = 0;
    if (!ctx || !link || !node) goto fail;
    block->link = block->pm = link;
    link->node = node;
    node->product = reinterpret_cast<lpm_product *>(block);
    node->ctx = ctx;
    ctx->owner = block;
    ctx->ntermcb = 0;
    ctx->thr = sltsini();
    if (!ctx->thr) goto fail;
    stage = 1;
    ctx->fac = lwemfaa(block->errs, nullptr, "VODUDED", "LPM", 3, 4);
    if (!ctx->fac) goto fail;
    stage = 2;
    if (lpmllil(block, &ctx->pkgs, &flag) != 0) goto fail;
    stage = 3;
    if (lpmllil(block, &ctx->prods, &flag) != 0) goto fail;
    stage = 4;
    if (lpmcsin(block, &ctx->cstack, &flag) != 0) goto fail;
    stage = 5;
    if (lpmllil(block, &ctx->spare, &flag) != 0) goto fail;
    stage = 6;
    if (sltsmxi(ctx->thr, &node->mutex) != 0) goto fail;
    stage = 7;
    node->flags = LPM_NODE_MANAGER;
    node->pkg = nullptr;
    node->reserved = nullptr;
    node->priv = nullptr;
    if (slpmini(block, &ctx->table, link, 0) != 0) goto fail;
    return 0;
  fail:
    if (stage >= 7) sltsmxd(ctx->thr, &node->mutex);
    if (stage >= 6) sltsmxd(ctx->thr, &ctx->spare.mutex);
    if (stage >= 5) lpmcste(block, &ctx->cstack, &flag);
    if (stage >= 4) sltsmxd(ctx->thr, &ctx->prods.mutex);
    if (stage >= 3) sltsmxd(ctx->thr, &ctx->pkgs.mutex);
    if (stage >= 2) lwemfaf(block->errs, ctx->fac);
    if (stage >= 1) sltster(ctx->thr);
    lpm_free(block, node);
    lpm_free(block, link);
    lpm_free(block, ctx);
    block->link = block->pm = nullptr;
    return -1;
  }
  if (mode == 1) {
    lpm_ctx *ctx = lpm_context(block);
    if (!ctx) return -1;
    int flag = 0;
    lpm_link *link = block->pm;
    lpm_node *node = link->node;
    int r = slpmini(block, &ctx->table, link, 1);
    sltsmxd(ctx->thr, &node->mutex);
    sltsmxd(ctx->thr, &ctx->spare.mutex);
    lpmcste(block, &ctx->cstack, &flag);
    sltsmxd(ctx->thr, &ctx->prods.mutex);
    sltsmxd(ctx->thr, &ctx->pkgs.mutex);
    lwemfaf(block->errs, ctx->fac);
    sltster(ctx->thr);
    lpm_free(block, node);
    lpm_free(block, ctx);
    lpm_free(block, link);
    block->link = block->pm = nullptr;
    return r;
  }
  return -1;
}

// ---------------------------------------------------------------------------
// Descriptors

int lpmapd(lpm_meta *obj, const lpm_package *pkgs, int count, int *dup_index, void *ignored) {
  lpm_ctx *ctx = lpm_context(obj);
  if (!obj || !pkgs || !ctx) return -1;
  sltsmna(ctx->thr, &ctx->pkgs.mutex);
  int r = slpmadp(obj, &ctx->table, pkgs, count, dup_index, ignored, 1, 1);
  sltsmnr(ctx->thr, &ctx->pkgs.mutex);
  return r;
}

// ---------------------------------------------------------------------------
// Package nodes

lpm_pkgnode *lpmpfind(lpm_ctx *ctx, const char *name, int len, int *broken) {
  if (broken) *broken = 0;
  if (!ctx || !name) return nullptr;
  for (lpm_lelem *e = ctx->pkgs.head.next; e != &ctx->pkgs.tail; e = e->next) {
    if (!e) {
      if (broken) *broken = -1;
      return nullptr;
    }
    auto pkg = reinterpret_cast<lpm_pkgnode *>(e);
    if (pkg->name_len == len && std::memcmp(pkg->name, name, size_t(len)) == 0) return pkg;
  }
  return nullptr;
}

int lpmpapb(lpm_meta *obj, lpm_ctx *ctx, lpm_pkgnode **place, const char *name, int len,
            int *call_flag) {
  if (!place || !name || !ctx || len < 0) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmpapb().");
    return -1;
  }
  auto pkg = static_cast<lpm_pkgnode *>(
      lpm_calloc(obj, offsetof(lpm_pkgnode, name_buf) + size_t(len) + 1));
  if (!pkg) {
    *call_flag = 1;
    rec_text(obj, call_flag, LPM_NOMEM, "lpmpapb()");
    return -1;
  }
  std::memcpy(pkg->name_buf, name, size_t(len));
  pkg->name_buf[len] = 0;
  pkg->name = pkg->name_buf;
  pkg->name_len = len;
  pkg->flags = LPM_PKGN_MADE;
  pkg->iface = nullptr;
  pkg->refcnt = 0;
  if (lpmllae(obj, &ctx->pkgs, pkg, call_flag) != 0) {
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpapb() - lpmllae()");
    lpm_free(obj, pkg);
    return -1;
  }
  if (slpmapb(obj, &pkg->os) != 0) {
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpapb() - slpmapb()");
    if (lpmllre(obj, &ctx->pkgs, pkg, call_flag) != 0)
      rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpapb() - lpmllre()");
    lpm_free(obj, pkg);
    return -1;
  }
  pkg->os.name = pkg->name;
  *place = pkg;
  return 0;
}

int lpmpfpb(lpm_meta *obj, lpm_ctx *ctx, lpm_pkgnode *pkg, lpm_node *node, int32_t *remaining,
            int *call_flag) {
  if (!pkg || !remaining || !ctx) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmpfpb().");
    return -1;
  }
  pkg->refcnt--;
  if (pkg->refcnt > 0) {
    *remaining = pkg->refcnt;
    return 0;
  }
  bool failed = false;
  unsigned depth = lwemged(obj->errs);
  constexpr uint32_t kCalled = LPM_PKGN_LOCATED | LPM_PKGN_CALLED;
  if ((pkg->flags & kCalled) == kCalled && pkg->entry)
    pkg->entry(node ? node->product : nullptr, node ? node->priv : nullptr, LPM_ENTRY_TERM, 0, 0);
  lpmpchex(obj, depth, call_flag);
  if (lpmllre(obj, &ctx->pkgs, pkg, call_flag) != 0) {
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfpb() - lpmllre().");
    failed = true;
  }
  if (slpmfpb(obj, &pkg->os, call_flag) != 0) {
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfpb() - slpmfpb().");
    failed = true;
  }
  lpm_free(obj, pkg->iface);
  lpm_free(obj, pkg);
  *remaining = 0;
  return failed ? -1 : 0;
}

// ---------------------------------------------------------------------------
// Loading

lpm_funcs *lpmloadpkg(lpm_meta *obj, const char *name) {
  int flag = 0;
  lpm_ctx *ctx = lpm_context(obj);
  if (!ctx || !name) {
    if (obj) {
      rec_text(obj, &flag, LPM_BADARG, "lpmloadpkg().");
      lpmpce(obj);
    }
    return nullptr;
  }
  const int len = int(std::strlen(name));
  slts_ctx *thr = ctx->thr;

  sltsmna(thr, &ctx->prods.mutex);
  sltsmna(thr, &ctx->pkgs.mutex);
  lpm_node *node = nullptr;
  if (find_product(ctx, name, len, &node) != 0) {
    rec_site(obj, &flag, 30, kInvalidList);
    sltsmnr(thr, &ctx->pkgs.mutex);
    sltsmnr(thr, &ctx->prods.mutex);
    lpmpce(obj);
    return nullptr;
  }
  lpm_pkgnode *pkg = node ? node->pkg : nullptr;
  if (!node) {
    sltsmnr(thr, &ctx->pkgs.mutex);
    if (lpmpali(obj, ctx, &node, &pkg, name, len, &flag, 0, nullptr) != 0 || !node || !pkg) {
      rec_text(obj, &flag, LPM_PRODFAIL, name);
      sltsmnr(thr, &ctx->prods.mutex);
      lpmpce(obj);
      return nullptr;
    }
    sltsmna(thr, &ctx->pkgs.mutex);
  }
  node->refcnt++;
  pkg->refcnt++;
  if (!(pkg->flags & LPM_PKGN_LOCATED)) {
    if (slpmloc(obj, &pkg->os, name, len, &pkg->entry) != 0) {
      sltsmnr(thr, &ctx->pkgs.mutex);
      sltsmnr(thr, &ctx->prods.mutex);
      rec_text(obj, &flag, LPM_NOPKGLIB, name);
      finalise_product(obj, ctx, node, &flag);
      lpmpce(obj);
      return nullptr;
    }
    pkg->flags |= LPM_PKGN_LOCATED;
    pkg->flags &= ~LPM_PKGN_CALLED;
  }
  node->flags |= LPM_NODE_PACKAGE;
  sltsmnr(thr, &ctx->pkgs.mutex);
  sltsmnr(thr, &ctx->prods.mutex);

  sltsmna(thr, &node->mutex);
  if (pkg->flags & LPM_PKGN_INIT) {
    lpm_funcs *iface = pkg->iface;
    sltsmnr(thr, &node->mutex);
    lpmpce(obj);
    return iface;
  }
  unsigned depth = lwemged(obj->errs);
  int r = pkg->entry(node->product, node->priv, LPM_ENTRY_INIT, 0, 0);
  lpmpchex(obj, depth, &flag);
  if (r != 0) {
    // The counts stay raised and the product stays listed: a later load
    // calls the routine again.
    sltsmnr(thr, &node->mutex);
    lpmpce(obj);
    return nullptr;
  }
  int missing = 0;
  if (!node->priv) {
    missing = LPM_NOPRIV;
  } else {
    pkg->flags |= LPM_PKGN_CALLED;
    if (!pkg->iface) missing = LPM_NOIFACE;
  }
  if (missing) {
    rec_text(obj, &flag, missing, name);
    sltsmnr(thr, &node->mutex);
    finalise_product(obj, ctx, node, &flag);
    lpmpce(obj);
    return nullptr;
  }
  pkg->flags |= LPM_PKGN_INIT;
  lpm_funcs *iface = pkg->iface;
  sltsmnr(thr, &node->mutex);
  lpmpce(obj);
  return iface;
}

int lpmdelete(lpm_meta *obj, const char *name) {
  int flag = 0;
  lpm_ctx *ctx = lpm_context(obj);
  if (!ctx || !name) {
    if (obj) {
      rec_text(obj, &flag, LPM_BADARG, "lpmdelete().");
      lpmpce(obj);
    }
    return -1;
  }
  const int len = int(std::strlen(name));
  slts_ctx *thr = ctx->thr;
  sltsmna(thr, &ctx->prods.mutex);
  sltsmna(thr, &ctx->pkgs.mutex);
  lpm_node *node = nullptr;
  int r = 0;
  if (find_product(ctx, name, len, &node) != 0) {
    rec_site(obj, &flag, 60, kInvalidList);
    sltsmnr(thr, &ctx->pkgs.mutex);
    r = -1;
  } else if (!node) {
    rec_text(obj, &flag, LPM_NOPKG, name);
    sltsmnr(thr, &ctx->pkgs.mutex);
    r = -1;
  } else {
    sltsmnr(thr, &ctx->pkgs.mutex);
    if (lpmpfin(obj, ctx, node, &flag) != 0) {
      rec_text(obj, &flag, LPM_PKGFIN, name);
      r = -1;
    }
  }
  sltsmnr(thr, &ctx->prods.mutex);
  lpmpce(obj);
  return r;
}

// ---------------------------------------------------------------------------
// Called by entry routines

lpm_funcs *lpmarrfuncs(lpm_product *prod, void *priv, int count, const lpm_fn *funcs) {
  lpm_node *node = node_of(prod);
  auto obj = reinterpret_cast<lpm_meta *>(prod);
  int flag = 0;
  if (!node || !node->pkg || count < 0 || (count > 0 && !funcs)) {
    if (prod) {
      rec_text(obj, &flag, LPM_BADARG, "lpmarrfuncs().");
      lpmpce(obj);
    }
    return nullptr;
  }
  lpm_pkgnode *pkg = node->pkg;
  if (pkg->iface) return pkg->iface;
  size_t n = count > 0 ? size_t(count) : 1;
  auto arr = static_cast<lpm_funcs *>(
      lpm_calloc(obj, offsetof(lpm_funcs, funcs) + n * sizeof(lpm_fn)));
  if (!arr) {
    flag = 1;
    rec_text(obj, &flag, LPM_NOMEM, "lpmarrfuncs(): Out of Memory.");
    lpmpce(obj);
    return nullptr;
  }
  arr->priv = priv;
  arr->count = count;
  for (int i = 0; i < count; i++) arr->funcs[i] = funcs[i];
  pkg->iface = arr;
  return arr;
}

void *lpmmkpri(lpm_product *prod, size_t size) {
  lpm_node *node = node_of(prod);
  if (!node || node->priv) return nullptr;
  auto obj = reinterpret_cast<lpm_meta *>(prod);
  void *p = lpm_calloc(obj, size ? size : 1);
  if (!p) {
    int flag = 1;
    rec_text(obj, &flag, LPM_NOMEM, "lpmmkpri(): Out of Memory.");
    lpmpce(obj);
    return nullptr;
  }
  node->priv = p;
  return p;
}

}  // extern "C"
