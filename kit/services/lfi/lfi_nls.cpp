// The file-stream service's own NLS environment and language handle: built
// at the service's start when the block brings none and asks for its own.
#include <cstdlib>

#include "lfi_int.h"
#include "lpm.h"
#include "lxh.h"

extern "C" {

int lfi_nls_build(lpm_meta *block, lfi_ctx *ctx) {
  if (!ctx->glo && block->own_nls) {
    ctx->glo_room = lxlownenv(nullptr);
    if (!ctx->glo_room) return -1;
    ctx->nls_table = ctx->glo_room->table;
    ctx->glo = ctx->glo_room;
  }
  if (!ctx->lang && block->own_nls && ctx->glo) {
    ctx->lang_room = static_cast<lxlangid *>(std::calloc(1, sizeof(lxlangid)));
    if (!ctx->lang_room) {
      lfi_nls_end(block, ctx);
      return -1;
    }
    // Reads NLS_LANG and the other NLS variables (once per process).
    if (lxhLangEnv(ctx->lang_room, 0, ctx->glo)) ctx->lang = ctx->lang_room;
  }
  return 0;
}

void lfi_nls_end(lpm_meta *block, lfi_ctx *ctx) {
  if (ctx->nls_table && !block->glo && ctx->glo_room) lxlterm(ctx->glo_room);
  ctx->nls_table = nullptr;
  if (ctx->glo == ctx->glo_room) ctx->glo = nullptr;
  if (ctx->lang == ctx->lang_room) ctx->lang = nullptr;
  std::free(ctx->glo_room);
  std::free(ctx->lang_room);
  ctx->glo_room = nullptr;
  ctx->lang_room = nullptr;
}

}  // extern "C"
