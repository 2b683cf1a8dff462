// The date context: beginning one, raising errors through its callback, and
// the registration of the day arithmetic with the calendar layer.
#include <cstdlib>
#include <cstring>

#include "ldx.h"

namespace {

void nbeg(void *ctx, const lxlangid *h, lxedterrf cb, void *arg, lxlobj *table, lxglo *glo) {
  ldxnbeg(static_cast<ldx_ctx *>(ctx), h, cb, arg, table, glo);
}
void *cbarg(void *ctx) { return static_cast<ldx_ctx *>(ctx)->cbarg; }
void dtd(void *ctx, const ldx_date *d, ldx_julian *j) { ldxdtd(static_cast<ldx_ctx *>(ctx), d, j); }
void dfd(void *ctx, const ldx_julian *j, ldx_date *d) { ldxdfd(static_cast<ldx_ctx *>(ctx), j, d); }

constexpr lxedtfns kRoutines = {sizeof(ldx_ctx), nbeg, cbarg, dtd, dfd};

}  // namespace

extern "C" {

// Narrow beginning: the dates issue [23] adds the default format and the
// NLS hold.
void ldxnbeg(ldx_ctx *ctx, const lxlangid *lang, ldx_errf callback, void *arg, lxlobj *table,
             lxglo *glo) {
  std::memset(static_cast<void *>(ctx), 0, sizeof *ctx);
  ctx->callback = callback;
  ctx->cbarg = arg;
  ctx->glo = glo;
  ctx->table = table;
  ctx->lang = lang;
}

void ldxerr(ldx_ctx *ctx, int err) {
  if (ctx && ctx->callback) ctx->callback(ctx, err);
  // The callback must not return; nothing here can continue.
  std::abort();
}

void ldxlxereg(void) { lxesetdate(&kRoutines); }

}  // extern "C"
