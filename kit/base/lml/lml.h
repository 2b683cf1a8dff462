// Lightweight memory handle: a magic, user data and an allocate/release pair of
// callbacks, or the process allocator when there are none.
#ifndef QEN_KIT_CORE_LML_H
#define QEN_KIT_CORE_LML_H

#include <stddef.h>
#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

#define LML_MAGIC 0x4C4D4C21u /* "LML!" */

typedef void* (*lml_allocfn)(void* user, size_t size);
typedef void (*lml_releasefn)(void* user, void* ptr);

typedef struct lml_ctx {
  uint32_t magic;
  void* user;
  lml_allocfn alloc;
  lml_releasefn release;
  void* reserved;
} lml_ctx;

lml_ctx* lmlinit(void* user, lml_allocfn alloc, lml_releasefn release);
void lmlterm(lml_ctx* h);
void* lmlalloc(lml_ctx* h, size_t size);
void* lmlcalloc(lml_ctx* h, size_t size);
void lmlfree(lml_ctx* h, void* ptr);

#ifdef __cplusplus
}
#endif

#endif
