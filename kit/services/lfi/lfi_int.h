// The NLS set-up of the file-stream service.
#ifndef QEN_KIT_CORE_LFI_INT_H
#define QEN_KIT_CORE_LFI_INT_H

#include "lfi.h"

#ifdef __cplusplus
extern "C" {
#endif

// Builds what the block does not bring of its own: without the block's NLS
// environment and with its own-NLS flag, an NLS object table and environment
// (ctx->nls_table, ctx->glo_room, ctx->glo); without the block's language
// handle, one read from NLS_LANG and the other NLS variables (ctx->lang_room,
// ctx->lang). 0, or -1 when the environment cannot be built.
int lfi_nls_build(lpm_meta *block, lfi_ctx *ctx);

// Ends what lfi_nls_build made (the own environment, when the block had none).
void lfi_nls_end(lpm_meta *block, lfi_ctx *ctx);

#ifdef __cplusplus
}
#endif

#endif
