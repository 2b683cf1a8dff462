// The realm context: initialisation and reset, the stack guard, the subarea
// size, the private allocation limit, the small arithmetic, and the reporting
// helpers every realm call uses.
//
// Invariant: a context's magic is SKGM_CTX_MAGIC from a successful skgminit
// until skgmreset, which needs an empty handle list.
#include <assert.h>
#include <stdarg.h>

#include "skgm.h"
#include "skgm_int.h"
#include "sskgm.h"

void skgm_report(const skgm_ctx *ctx, const char *name, uint64_t v1, uint64_t v2, uint64_t v3,
                 uint64_t v4) {
  if (ctx == nullptr || ctx->ops == nullptr || ctx->ops->error == nullptr) return;
  ctx->ops->error(ctx->osdctx, name, 4, 0, v1, 0, v2, 0, v3, 0, v4);
}

void skgm_invalid(sl_status *err, const skgm_ctx *ctx, const char *name, uint64_t v1,
                  uint64_t v2, uint64_t v3, uint64_t v4) {
  sskgm_seterr(err, SKGM_ERR_INVALID, 0);
  skgm_report(ctx, name, v1, v2, v3, v4);
}

extern "C" int skgminit(sl_status *err, skgm_ctx *ctx, const skgm_ops *ops, void *osdctx) {
  err->code = 0;
  ctx->ops = ops;
  ctx->osdctx = osdctx;
  ctx->handles = nullptr;
  if (ctx->magic != 0) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_INIT);
    return 0;
  }
  if (!sskgminit(err, ctx)) return 0;
  const uint32_t sub = sskgmqsubareasz();
  if (ctx->largestsize < sub) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_LARGEST, sub, sskgm_hi(ctx->largestsize),
                 sskgm_lo(ctx->largestsize));
    return 0;
  }
  ctx->magic = SKGM_CTX_MAGIC;
  ctx->lcmsize = skgmlcm(ctx->mapsize, ctx->protectsize);
  slos_error se{};
  skgsninit(&se, &ctx->numa, ops != nullptr ? &ops->trace : nullptr, ctx->osdctx);
  if (se.code != 0) {
    skgm_invalid(err, ctx, SKGM_EN_SKGSNINI, static_cast<uint64_t>(static_cast<int64_t>(se.code)));
    return 0;
  }
  return 1;
}

extern "C" int skgmreset(sl_status *err, skgm_ctx *ctx) {
  err->code = 0;
  if (ctx->magic != SKGM_CTX_MAGIC || ctx->handles != nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_RESET, ctx->magic);
    return 0;
  }
  ctx->magic = SKGM_CTX_RESET;
  return 1;
}

extern "C" int skgmcheck(const skgm_ctx *ctx) {
  return ctx != nullptr && ctx->magic == SKGM_CTX_MAGIC;
}

extern "C" int skgmstack(sl_status *err, skgm_ctx *ctx, size_t size, skgm_stackfn fn,
                         void *arg) {
  err->code = 0;
  if (!skgmcheck(ctx) || size == 0 || fn == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_STACK, ctx != nullptr ? ctx->magic : 0,
                 size);
    return 0;
  }
  if (ctx->stackdir != 0 && !sskgmgetopenv(err, ctx, SKGM_OE_NOSTACK)) {
    volatile char here = 0;
    const uintptr_t at = reinterpret_cast<uintptr_t>(&here);
    const bool room = ctx->stackdir > 0 ? (ctx->stacklimit > size && at < ctx->stacklimit - size)
                                        : (at > ctx->stacklimit + size &&
                                           ctx->stacklimit + size > ctx->stacklimit);
    if (!room) {
      sskgm_seterr(err, SKGM_ERR_NOMEM, 0);
      return 0;
    }
  }
  fn(arg);
  return 1;
}

extern "C" uint32_t skgmqsubareasize(void) { return sskgmqsubareasz(); }

extern "C" void skgmsetsubareasz(void *, skgm_ctx *ctx, uint32_t size) {
  if (size == 0 || !skgmcheck(ctx)) return;
  if (ctx->smallestsize < size) ctx->smallestsize = size;
  sskgmsetsubareasz(size);
}

extern "C" void skgmqsubareasz_range(void *, uint32_t *min, uint32_t *max) {
  *min = sskgmqsubareasz_min();
  *max = sskgmqsubareasz_max();
}

extern "C" size_t skgmqprvtmaxalloc(void *, const skgm_ctx *ctx) {
  return SKGM_PRVTMAX - ctx->protectsize;
}

extern "C" uint64_t skgmround(uint64_t value, uint32_t unit) {
  assert(unit != 0);
  return (value + unit - 1) / unit * unit;
}

extern "C" uint64_t skgmtrunc(uint64_t value, uint32_t unit) {
  assert(unit != 0);
  return value / unit * unit;
}

// Remainder, by a mask when the divisor is a power of two.
static uint32_t skgm_mod(uint32_t a, uint32_t b) {
  return (b & (b - 1)) == 0 ? a & (b - 1) : a % b;
}

extern "C" uint32_t skgmlcm(uint32_t a, uint32_t b) {
  uint32_t x = a, y = b;
  while (y != 0) {
    const uint32_t r = skgm_mod(x, y);
    x = y;
    y = r;
  }
  return x == 0 ? 0 : b * (a / x);
}
