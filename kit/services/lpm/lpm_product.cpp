// Products and their nodes, and the error recording of the package manager.
#include <cstring>

#include "lem.h"
#include "lemx.h"
#include "lfi.h"
#include "lmm.h"
#include "lpm.h"
#include "lpm_int.h"

namespace {

// Clears the newest mark when the call already holds one, so that the call
// keeps a single mark.
void drop_extra_mark(lpm_meta *obj, int *flag) {
  if (*flag == 1) lwemcmk(obj->errs);
}

int rec_text(lpm_meta *obj, int *flag, int number, const char *text) {
  return lpmprec(obj, nullptr, flag, number, 0, LSFTXTP, text, LSFEND);
}

// Frees what lpmpali allocated for a product.
void free_product(lpm_meta *obj, lpm_node *node, lpm_product *prod, lpm_link *link) {
  lpm_free(obj, link);
  lpm_free(obj, prod);
  lpm_free(obj, node);
}

}  // namespace

extern "C" {

int lpmprec(lpm_meta *obj, lwem_facility *fac, int *call_flag, int number, int site, ...) {
  if (!obj || !obj->ready) return -1;
  if (!fac) {
    lpm_ctx *ctx = lpm_context(obj);
    if (!ctx) return -1;
    fac = ctx->fac;
  }
  va_list ap;
  va_start(ap, site);
  int r = lwemrev(obj->errs, fac, number, nullptr, site, LWEM_CLASS_RECORDED, ap);
  va_end(ap);
  if (r == 0 && call_flag && *call_flag != 1) {
    lwemmrk(obj->errs);
    *call_flag = 1;
  }
  return r;
}

void lpmpce(lpm_meta *obj) {
  if (obj && !obj->ready) lwemdtm(obj->errs);
}

void lpmpchex(lpm_meta *obj, unsigned depth_before, int *call_flag) {
  if (!obj || !obj->ready) return;
  unsigned now = lwemged(obj->errs);
  if (now <= depth_before) return;
  int n = int(now - depth_before);
  if (lwemimk(obj->errs, n) == 0) lwemnmk(obj->errs, n);
  for (int i = 1; i < n; i++)
    if (lwemimk(obj->errs, i) == 1) lwemcmk(obj->errs);
  if (*call_flag == 1) lwemcmk(obj->errs);
  *call_flag = 1;
}

int lpmpali(lpm_meta *obj, lpm_ctx *ctx, lpm_node **node_out, lpm_pkgnode **pkg_out,
            const char *name, int name_len, int *call_flag, uint8_t copy, size_t *memdata) {
  if (!node_out) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmpali().");
    return -1;
  }
  *node_out = nullptr;
  if (!ctx) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmpali().");
    return -1;
  }
  auto node = static_cast<lpm_node *>(lpm_calloc(obj, sizeof(lpm_node)));
  if (!node) {
    rec_text(obj, call_flag, LPM_NOMEM, "lpmpali()");
    return -1;
  }
  *node_out = node;
  size_t psize = copy ? sizeof(lpm_product) : sizeof(lpm_meta);
  auto prod = static_cast<lpm_product *>(lpm_calloc(obj, psize));
  auto link = static_cast<lpm_link *>(lpm_calloc(obj, sizeof(lpm_link)));
  if (!prod || !link) {
    rec_text(obj, call_flag, LPM_NOMEM, "lpmpali().");
    free_product(obj, node, prod, link);
    *node_out = nullptr;
    return -1;
  }
  lpm_pkgnode *pkg = nullptr;
  if (pkg_out) {
    sltsmna(ctx->thr, &ctx->pkgs.mutex);
    int broken = 0;
    pkg = lpmpfind(ctx, name, name_len, &broken);
    int r = 0;
    if (broken) {
      rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpali().");
      r = -1;
    } else if (!pkg && lpmpapb(obj, ctx, &pkg, name, name_len, call_flag) != 0) {
      rec_text(obj, call_flag, LPM_STEPFAIL, "llpmpali().");
      r = -1;
    }
    sltsmnr(ctx->thr, &ctx->pkgs.mutex);
    if (r != 0) {
      free_product(obj, node, prod, link);
      *node_out = nullptr;
      return -1;
    }
    *pkg_out = pkg;
  }

  std::memcpy(&prod->m, ctx->owner, sizeof(lpm_meta));
  prod->m.link = prod->m.pm = link;
  link->node = node;
  prod->m.ready = 0;
  if (copy) prod->block = obj;

  node->refcnt = 0;
  node->flags = 0;
  node->product = prod;
  node->priv = nullptr;
  node->pkg = pkg;
  node->ctx = ctx;
  if (sltsmxi(ctx->thr, &node->mutex) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, "lpmpali().");
    free_product(obj, node, prod, link);
    *node_out = nullptr;
    return -1;
  }
  bool listed = false;
  bool linked = false;
  if (pkg_out) {
    // The caller holds the product-list mutex.
    lpm_list_append(&ctx->prods, reinterpret_cast<lpm_lelem *>(node));
    listed = true;
  }
  if (slpmali(obj, &ctx->table, node, call_flag) != 0) {
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpali().");
    goto undo;
  }
  linked = true;

  {
    lmm_ctx *mem = nullptr;
    int r = lmmcis(ctx->owner, &mem, prod, memdata);
    node->mem = mem;
    if (r != 0) {
      lpmprec(obj, nullptr, call_flag, LPM_MEMINST, 0, LSFEND);
      goto undo;
    }
  }
  if (lficis(ctx->owner, &node->file, prod) != 0) {
    drop_extra_mark(obj, call_flag);
    lpmprec(obj, nullptr, call_flag, LPM_FILEINST, 0, LSFEND);
    if (lmmcit(ctx->owner, static_cast<lmm_ctx *>(node->mem), prod) != 0) drop_extra_mark(obj, call_flag);
    goto undo;
  }
  if (lemcis(ctx->owner, &node->err, prod) != 0) {
    drop_extra_mark(obj, call_flag);
    lpmprec(obj, nullptr, call_flag, LPM_ERRINST, 0, LSFEND);
    if (lficit(ctx->owner, node->file, prod) != 0) drop_extra_mark(obj, call_flag);
    if (lmmcit(ctx->owner, static_cast<lmm_ctx *>(node->mem), prod) != 0) drop_extra_mark(obj, call_flag);
    goto undo;
  }
  return 0;

undo:
  if (linked) slpmfin(obj, &ctx->table, node, call_flag);
  if (listed) lpm_list_remove(&ctx->prods, reinterpret_cast<lpm_lelem *>(node));
  if (pkg) {
    int32_t left = 0;
    sltsmna(ctx->thr, &ctx->pkgs.mutex);
    lpmpfpb(obj, ctx, pkg, node, &left, call_flag);
    sltsmnr(ctx->thr, &ctx->pkgs.mutex);
  }
  sltsmxd(ctx->thr, &node->mutex);
  free_product(obj, node, prod, link);
  *node_out = nullptr;
  return -1;
}

int lpmpfin(lpm_meta *obj, lpm_ctx *ctx, lpm_node *node, int *call_flag) {
  if (!node || !ctx) {
    rec_text(obj, call_flag, LPM_BADARG, "lpmpfin().");
    return -1;
  }
  bool failed = false;
  const bool packaged = node->pkg != nullptr;
  if (packaged) {
    int32_t left = 0;
    sltsmna(ctx->thr, &ctx->pkgs.mutex);
    int r = lpmpfpb(obj, ctx, node->pkg, node, &left, call_flag);
    sltsmnr(ctx->thr, &ctx->pkgs.mutex);
    if (r != 0) {
      rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfin() - lpmpfpb().");
      failed = true;
    }
  }
  // A node that belongs to a package is counted and sits in the product list
  // (whose mutex the caller holds) even before its package flag is set, as
  // when locating the package failed; it is freed only at its last
  // reference and only once it is off the list.
  if (packaged) {
    if (node->refcnt-- > 1) return failed ? -1 : 0;
    int r = lpm_list_remove(&ctx->prods, reinterpret_cast<lpm_lelem *>(node));
    if (r != 0) {
      rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfin() - lpmprec().");
      failed = true;
    }
  }
  if (slpmfin(obj, &ctx->table, node, call_flag) != 0) {
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfin() - slpmfin().");
    failed = true;
  }
  if (sltsmxd(ctx->thr, &node->mutex) != 0) {
    rec_text(obj, call_flag, LPM_MUTEX, "lpmpfin(): failure to terminate mutex");
    failed = true;
  }
  lpm_product *prod = node->product;
  if (lemcit(ctx->owner, node->err, prod) != 0) {
    drop_extra_mark(obj, call_flag);
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfin() - lemcit().");
    failed = true;
  }
  if (lficit(ctx->owner, node->file, prod) != 0) {
    drop_extra_mark(obj, call_flag);
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfin() - lficit().");
    failed = true;
  }
  if (lmmcit(ctx->owner, static_cast<lmm_ctx *>(node->mem), prod) != 0) {
    drop_extra_mark(obj, call_flag);
    rec_text(obj, call_flag, LPM_STEPFAIL, "lpmpfin() - lmmcit().");
    failed = true;
  }
  lpm_free(obj, prod ? prod->m.link : nullptr);
  lpm_free(obj, prod);
  lpm_free(obj, node->priv);
  lpm_free(obj, node);
  return failed ? -1 : 0;
}

}  // extern "C"
