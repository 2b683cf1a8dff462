// NLS seam of the file-stream service. The NLS environment and language-handle
// work replaces these bodies with the calls named in the comments; until then
// a block without an NLS environment of its own gets a file service without
// an environment and without a language handle.
#include "lfi_int.h"
#include "lpm.h"

extern "C" {

int lfi_seam_nls_build(lpm_meta *block, lfi_ctx *ctx) {
  // Stands for, when block->glo is NULL and block->own_nls is set:
  //   ctx->nls_table = lxlinit(no callbacks, share 1, status) (NULL fails),
  //   lxinitc(ctx->glo_room, ctx->nls_table, ...), ctx->glo = ctx->glo_room;
  // and when block->lang is NULL and block->own_nls is set:
  //   lxhLangEnv(ctx->lang_room, 0, ctx->glo), ctx->lang = ctx->lang_room.
  (void)block;
  (void)ctx;
  return 0;
}

void lfi_seam_nls_end(lpm_meta *block, lfi_ctx *ctx) {
  // Stands for lxlterm(ctx->glo) when the service built its own table and the
  // block had no environment of its own.
  (void)block;
  ctx->nls_table = nullptr;
  if (ctx->glo == ctx->glo_room) ctx->glo = nullptr;
  if (ctx->lang == ctx->lang_room) ctx->lang = nullptr;
}

}  // extern "C"
