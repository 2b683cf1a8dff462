// The formatting context's lock and error bookkeeping, shared by every
// formatting call.
#include <cstdarg>
#include <cstdint>

#include "lem.h"
#include "lpm.h"
#include "lsf_ctx.h"
#include "lsf_ctx_int.h"

lwem_ctx *lsf_ctx_errs(const lsf_ctx *ctx) {
  if (!ctx || !ctx->priv || !ctx->priv->area || !ctx->priv->area->product) return nullptr;
  return ctx->priv->area->product->m.errs;
}

void lsf_ctx_env(lsf_ctx *ctx, lsf_env *env) {
  lsf_priv *p = ctx->priv;
  env->thr = p->thr;
  env->lang = lsf_ctx_lang(p);
  env->glo = p->glo;
  env->utf16 = p->utf16;
  env->fmt = ctx;
}

// The owner is read without the mutex: only its own thread ever finds itself
// there, since a thread sets the owner to itself only while holding the mutex
// and clears it before letting go.
int lsf_ctx_lock(lsf_ctx *ctx, int *taken) {
  *taken = 0;
  lsf_priv *p = ctx->priv;
  if (!p->lock) return 0;
  slts_tid me{};
  if (sltstidinit(p->thr, &me) != 0) return -1;
  sltstgi(p->thr, &me);
  if (sltsThrIsSame(&me, &p->owner) != 1) {
    sltsmna(p->thr, &p->mutex);
    sltstai(p->thr, &p->owner, &me);
    *taken = 1;
  }
  sltstiddestroy(p->thr, &me);
  return 0;
}

void lsf_ctx_unlock(lsf_ctx *ctx, int taken) {
  if (!taken) return;
  lsf_priv *p = ctx->priv;
  sltstan(p->thr, &p->owner);
  sltsmnr(p->thr, &p->mutex);
}

extern "C" {

void lsforec(lsf_ctx *ctx, int number, int site, const sl_status *status, ...) {
  if (!ctx || !ctx->priv || !ctx->priv->record) return;
  lwem_ctx *errs = lsf_ctx_errs(ctx);
  va_list ap;
  va_start(ap, status);
  int r = lwemrev(errs, ctx->priv->fac, number, status, site, LWEM_CLASS_RECORDED, ap);
  va_end(ap);
  if (r == 0) lwemmrk(errs);
}

void lsfohwf(lsf_ctx *ctx, int status, void *arg) {
  int32_t zero = 0;
  switch (status) {
    case LSFST_NOMEM:
      lsforec(ctx, LSF_NOMEM, 0, nullptr, LSFTXTP, "", LSFSB4, &zero, LSFEND);
      break;
    case LSFST_ARGZERO:
      lsforec(ctx, LSF_ARGZERO, 0, nullptr, LSFUWORD, arg, LSFEND);
      break;
    case LSFST_ENDINSERT:
      lsforec(ctx, LSF_ENDINSERT, 0, nullptr, LSFEND);
      break;
    case LSFST_TOOMANY:
      lsforec(ctx, LSF_TOOMANY, 0, nullptr, LSFIVALUE, int64_t{LSF_MAXARGS + 1}, LSFEND);
      break;
    case LSFST_NOEND:
      lsforec(ctx, LSF_INTERNAL, LSF_SITE_ARGLIST, nullptr, LSFTXTP, "LSF Internal Error.",
              LSFTXTP, "Descriptor Overflow", LSFTXTP, "Maximum descriptor size is: ",
              LSFIVALUE, int64_t{LSF_MAXARGS + 1}, LSFEND);
      break;
    case LSFST_NOARGLIST:
      lsforec(ctx, LSF_NOARGLIST, 0, nullptr, LSFEND);
      break;
    case LSFST_NEGLEN:
      lsforec(ctx, LSF_NEGLEN, 0, nullptr, LSFEND);
      break;
    case LSFST_NOLIST:
      lsforec(ctx, LSF_NOHANDLE, 0, nullptr, LSFEND);
      break;
    case LSFST_BADPOS:
      lsforec(ctx, LSF_BADINSPOS, 0, nullptr, LSFSB4, arg, LSFEND);
      break;
    case LSFST_BADTYPE:
      lsforec(ctx, LSF_NOTACCEPTED, 0, nullptr, LSFEND);
      break;
    default:  // success, "not supported", and anything unknown
      break;
  }
}

// Records pushed during a call are newer than the depth noted on entry: each
// new record is one deeper than the thread's newest. Deleting while the stack
// is deeper removes exactly the call's records, and never one that was there
// before the call, whatever marks the callees left.
void lsfocdtm(lsf_ctx *ctx, unsigned depth) {
  if (!ctx || !ctx->priv || ctx->priv->record) return;
  lwem_ctx *errs = lsf_ctx_errs(ctx);
  for (unsigned d = lwemged(errs); d > depth;) {
    lwemdec(errs, -1);
    unsigned now = lwemged(errs);
    if (now == d) break;  // the record could not be deleted
    d = now;
  }
}

}  // extern "C"
