// The context layer of the typed argument lists: the list layer under a
// formatting context, with the context's lock and its error bookkeeping.
#include <cstdarg>
#include <cstdlib>

#include "lem.h"
#include "lsf.h"
#include "lsf_ctx.h"
#include "lsf_ctx_int.h"

#ifdef QEN_TEST_HOOKS
extern "C" {
void *(*lsfd_cell_alloc)(size_t) = std::malloc;
void (*lsfd_cell_free)(void *) = std::free;
}
#endif

namespace {

#ifdef QEN_TEST_HOOKS
void *cell_alloc(size_t size) { return lsfd_cell_alloc(size); }
void cell_free(void *cell) { lsfd_cell_free(cell); }
#else
void *cell_alloc(size_t size) { return std::malloc(size); }
void cell_free(void *cell) { std::free(cell); }
#endif

bool usable(const lsf_ctx *ctx) { return ctx && ctx->priv; }

// What every locking context-layer call does around its work: notes the
// depth of the error stack and takes the context lock on entry; gives the
// lock back and trims the stack on leaving.
class Call {
 public:
  explicit Call(lsf_ctx *ctx, bool lock) : ctx_(ctx) {
    errs_ = lsf_ctx_errs(ctx);
    depth_ = lwemged(errs_);
    if (lock && lsf_ctx_lock(ctx, &taken_) != 0) failed_ = true;
    lsf_ctx_env(ctx, &env_);
  }
  ~Call() {
    lsf_ctx_unlock(ctx_, taken_);
    lsfocdtm(ctx_, depth_);
  }
  Call(const Call &) = delete;
  Call &operator=(const Call &) = delete;

  bool failed() const { return failed_; }
  lwem_ctx *errs() const { return errs_; }
  lsf_env *env() { return &env_; }

 private:
  lsf_ctx *ctx_;
  lwem_ctx *errs_ = nullptr;
  unsigned depth_ = 0;
  int taken_ = 0;
  bool failed_ = false;
  lsf_env env_{};
};

}  // namespace

extern "C" {

lsf_handle *lsfdlv(lsf_ctx *ctx, va_list ap) {
  if (!usable(ctx)) return nullptr;
  Call call(ctx, true);
  if (call.failed()) return nullptr;
  int st = LSFST_OK;
  lsf_arglist *list = lwsfdlv(call.errs(), call.env(), &st, ap);
  if (!list) {
    lsfohwf(ctx, st, nullptr);
    return nullptr;
  }
  auto handle = static_cast<lsf_handle *>(cell_alloc(sizeof(lsf_handle)));
  if (!handle) {
    lsforec(ctx, LSF_NOMEM, 0, nullptr, LSFTXTP, "lsfdlv() failed to allocate memory", LSFEND);
    // Nobody could reach the list any more.
    int rst = LSFST_OK;
    lwsfdrm(call.errs(), call.env(), list, &rst);
    return nullptr;
  }
  *handle = list;
  return handle;
}

lsf_handle *lsfdl(lsf_ctx *ctx, ...) {
  va_list ap;
  va_start(ap, ctx);
  lsf_handle *h = lsfdlv(ctx, ap);
  va_end(ap);
  return h;
}

lsf_handle *lsfdiv(lsf_ctx *ctx, lsf_handle *handle, int position, va_list ap) {
  if (!usable(ctx)) return nullptr;
  Call call(ctx, true);
  if (call.failed()) return nullptr;
  if (!handle) {
    lsfohwf(ctx, LSFST_NOLIST, nullptr);
    return nullptr;
  }
  int st = LSFST_OK;
  int32_t pos = position;
  if (!lwsfdiv(call.errs(), call.env(), *handle, position, &st, ap)) {
    lsfohwf(ctx, st, &pos);
    return nullptr;
  }
  return handle;
}

lsf_handle *lsfdi(lsf_ctx *ctx, lsf_handle *handle, int position, ...) {
  va_list ap;
  va_start(ap, position);
  lsf_handle *h = lsfdiv(ctx, handle, position, ap);
  va_end(ap);
  return h;
}

// The cell is freed only with its list: after a failure the caller still
// holds both.
int lsfdrm(lsf_ctx *ctx, lsf_handle *handle) {
  if (!usable(ctx)) return -17;
  Call call(ctx, false);
  if (!handle) {
    lsfohwf(ctx, LSFST_NOLIST, nullptr);
    return -17;
  }
  int st = LSFST_OK;
  if (lwsfdrm(call.errs(), call.env(), *handle, &st) != 0) {
    lsfohwf(ctx, st, nullptr);
    return -17;
  }
  cell_free(handle);
  return 0;
}

int64_t lsfdval(lsf_ctx *ctx, const lsf_entry *entries, int n) {
  int st = LSFST_OK;
  int32_t arg = n;
  int64_t v = 0;
  if (!entries && n != 0)
    st = LSFST_NOLIST;
  else
    v = lwsfdval(entries, n, &st);
  if (st != LSFST_OK) lsfohwf(ctx, st, &arg);
  return v;
}

int lsfdcnt(lsf_ctx *ctx, lsf_handle *handle) {
  if (!usable(ctx)) return -1;
  Call call(ctx, false);
  if (!handle) {
    lsfohwf(ctx, LSFST_NOLIST, nullptr);
    return -1;
  }
  return lwsfdcnt(*handle);
}

int lsfdal(lsf_ctx *ctx, lsf_handle *handle) {
  if (!usable(ctx) || !handle || !*handle) return -1;
  return lwsfdal(ctx->priv->thr, *handle);
}

int lsfdrl(lsf_ctx *ctx, lsf_handle *handle) {
  if (!usable(ctx) || !handle || !*handle) return -1;
  return lwsfdrl(ctx->priv->thr, *handle);
}

}  // extern "C"
