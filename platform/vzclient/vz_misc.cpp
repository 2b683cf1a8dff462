// Scratch buffers, UTF-16 measuring and the shared/exclusive lock of the
// client library.
#include <cstdlib>
#include <cstring>

#include "vzclient.h"

struct lxu_ctx {
  int units;  // bytes per UTF-16 unit
};

namespace {

constexpr size_t small_scratch = 2048;
lxu_ctx utf16_ctx{2};

}  // namespace

extern "C" int slmaacb(slmaacb_fn fn, void *ctx, size_t size) {
  if (fn == nullptr) return -1;
  if (size <= small_scratch) {
    alignas(16) unsigned char local[small_scratch];
    fn(ctx, local);
    return 0;
  }
  void *buf = malloc(size);
  if (buf == nullptr) return -1;
  fn(ctx, buf);
  free(buf);
  return 0;
}

extern "C" lxu_ctx *lxuCvtToCtx(const void *, const void *) {
  return &utf16_ctx;
}

extern "C" size_t lxuStrLen(const lxu_ctx *, const void *text) {
  if (text == nullptr) return 0;
  auto *p = static_cast<const unsigned char *>(text);
  size_t n = 0;
  for (;; ++n) {
    uint16_t unit;
    memcpy(&unit, p + 2 * n, sizeof unit);
    if (unit == 0) return n;
  }
}

extern "C" int SltsPrInit(void *, SltsPrLock *lock) {
  return pthread_rwlock_init(&lock->rw, nullptr);
}

extern "C" int SltsPrRead(void *, SltsPrLock *lock) {
  return pthread_rwlock_rdlock(&lock->rw);
}

extern "C" int SltsPrWrite(void *, SltsPrLock *lock) {
  return pthread_rwlock_wrlock(&lock->rw);
}

extern "C" int SltsPrUnlock(void *, SltsPrLock *lock) {
  return pthread_rwlock_unlock(&lock->rw);
}

extern "C" int SltsPrDestroy(void *, SltsPrLock *lock) {
  return pthread_rwlock_destroy(&lock->rw);
}
