// Seams of the process bootstrap. Each stands for a service that later work
// on the kit builds; the service table and the product code call the seams so
// that start-up order, reverse teardown and products work now.
#include <cstring>

#include "lem.h"
#include "lpm_int.h"

extern "C" {

int (*lpm_seam_observer)(const char *service, lpm_meta *block, int mode) = nullptr;

}

namespace {

int observe(const char *service, lpm_meta *block, int mode) {
  return lpm_seam_observer ? lpm_seam_observer(service, block, mode) : 0;
}

// A service entry that only succeeds (modes 0 and 1).
int empty_service(const char *service, lpm_meta *block, int mode) {
  if (mode != 0 && mode != 1) return -1;
  return observe(service, block, mode) != 0 ? -1 : 0;
}

}  // namespace

extern "C" {

// Stands for lxzinit, the NLS lock set-up: prepares the thread layer; the NLS
// global lock (slxmxinit) comes with the NLS environment work.
int lpm_seam_lxzinit(void) {
  static bool done = false;
  if (done) return 0;
  done = true;
  sltspin();
  return 0;
}

// Stands for lpmrist, the package manager's service entry. It builds the part
// of the package-manager context that products need (context, the block's
// lpm_link and manager node, the LPM facility, the product and package lists
// and the OS product-record list); the package manager's own start (static
// package table, call stack, spare list) replaces it.
int lpm_seam_lpmrist(lpm_meta *block, void *slot, int mode) {
  (void)slot;
  if (mode == 0) {
    if (observe("lpmrist", block, 0) != 0) return -1;
    auto ctx = static_cast<lpm_ctx *>(lpm_calloc(block, sizeof(lpm_ctx)));
    auto link = static_cast<lpm_link *>(lpm_calloc(block, sizeof(lpm_link)));
    auto node = static_cast<lpm_node *>(lpm_calloc(block, sizeof(lpm_node)));
    int lists = 0;
    if (!ctx || !link || !node) goto fail;
    block->link = block->pm = link;
    link->node = node;
    node->product = reinterpret_cast<lpm_product *>(block);
    node->ctx = ctx;
    ctx->owner = block;
    ctx->ntermcb = 0;
    ctx->thr = sltsini();
    if (!ctx->thr) goto fail;
    ctx->fac = lwemfaa(block->errs, nullptr, "VODUDED", "LPM", 3, 4);
    if (!ctx->fac) goto fail;
    if (lpm_list_init(ctx->thr, &ctx->pkgs) != 0) goto fail;
    lists = 1;
    if (lpm_list_init(ctx->thr, &ctx->prods) != 0) goto fail;
    lists = 2;
    if (lpm_list_init(ctx->thr, &ctx->table.recs) != 0) goto fail;
    lists = 3;
    if (sltsmxi(ctx->thr, &node->mutex) != 0) goto fail;
    node->flags = LPM_NODE_MANAGER;
    ctx->table.owner = block;
    ctx->table.link = link;
    return 0;
  fail:
    if (ctx) {
      if (lists > 2) lpm_list_fini(ctx->thr, &ctx->table.recs);
      if (lists > 1) lpm_list_fini(ctx->thr, &ctx->prods);
      if (lists > 0) lpm_list_fini(ctx->thr, &ctx->pkgs);
      if (ctx->fac) lwemfaf(block->errs, ctx->fac);
      if (ctx->thr) sltster(ctx->thr);
    }
    lpm_free(block, node);
    lpm_free(block, link);
    lpm_free(block, ctx);
    block->link = block->pm = nullptr;
    return -1;
  }
  if (mode == 1) {
    if (observe("lpmrist", block, 1) != 0) return -1;
    lpm_ctx *ctx = lpm_context(block);
    if (!ctx) return -1;
    lpm_node *node = block->pm->node;
    sltsmxd(ctx->thr, &node->mutex);
    lpm_list_fini(ctx->thr, &ctx->table.recs);
    lpm_list_fini(ctx->thr, &ctx->prods);
    lpm_list_fini(ctx->thr, &ctx->pkgs);
    lwemfaf(block->errs, ctx->fac);
    sltster(ctx->thr);
    lpm_free(block, node);
    lpm_free(block, block->pm);
    lpm_free(block, ctx);
    block->link = block->pm = nullptr;
    return 0;
  }
  return -1;
}

// Stands for lfirist, the file service's entry (file-stream service work).
int lpm_seam_lfirist(lpm_meta *block, void *slot, int mode) {
  (void)slot;
  return empty_service("lfirist", block, mode);
}

// Stands for lemrist, the error manager's entry (error manager work).
int lpm_seam_lemrist(lpm_meta *block, void *slot, int mode) {
  (void)slot;
  return empty_service("lemrist", block, mode);
}

// Stand for lficis / lficit, a product's file instance (file-stream service work).
int lpm_seam_lficis(lpm_meta *block, void **place, lpm_product *product) {
  (void)product;
  *place = nullptr;
  return observe("lficis", block, 0) != 0 ? -1 : 0;
}

int lpm_seam_lficit(lpm_meta *block, void *inst, lpm_product *product) {
  (void)inst;
  (void)product;
  return observe("lficit", block, 1) != 0 ? -1 : 0;
}

// Stand for lemcis / lemcit, a product's error-manager instance (error manager work).
int lpm_seam_lemcis(lpm_meta *block, void **place, lpm_product *product) {
  (void)product;
  *place = nullptr;
  return observe("lemcis", block, 0) != 0 ? -1 : 0;
}

int lpm_seam_lemcit(lpm_meta *block, void *inst, lpm_product *product) {
  (void)inst;
  (void)product;
  return observe("lemcit", block, 1) != 0 ? -1 : 0;
}

// Stands for the package-list search and lpmpapb of the package manager,
// which makes package nodes; until it exists no package product can be made.
int lpm_seam_lpmpapb(lpm_meta *obj, lpm_ctx *ctx, const char *name, int len,
                     lpm_pkgnode **pkg) {
  (void)obj;
  (void)ctx;
  (void)name;
  (void)len;
  *pkg = nullptr;
  return -1;
}

// Stands for lpmpfpb, dropping a package reference (package manager work).
int lpm_seam_lpmpfpb(lpm_meta *obj, lpm_ctx *ctx, lpm_pkgnode *pkg) {
  (void)obj;
  (void)ctx;
  (void)pkg;
  return 0;
}

}  // extern "C"
