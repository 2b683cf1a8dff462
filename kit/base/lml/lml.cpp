// Lightweight memory handle.
#include "lml.h"

#include <stdlib.h>
#include <string.h>

namespace {

void* get(void* user, lml_allocfn alloc, size_t size) {
  return alloc ? alloc(user, size) : malloc(size);
}

bool valid(const lml_ctx* h) { return h && h->magic == LML_MAGIC; }

}  // namespace

lml_ctx* lmlinit(void* user, lml_allocfn alloc, lml_releasefn release) {
  if ((alloc == nullptr) != (release == nullptr)) return nullptr;
  auto* h = static_cast<lml_ctx*>(get(user, alloc, sizeof(lml_ctx)));
  if (!h) return nullptr;
  memset(h, 0, sizeof *h);
  h->magic = LML_MAGIC;
  h->user = user;
  h->alloc = alloc;
  h->release = release;
  return h;
}

void lmlterm(lml_ctx* h) {
  if (!valid(h)) return;
  void* user = h->user;
  lml_releasefn release = h->release;
  memset(h, 0, sizeof *h);
  if (release)
    release(user, h);
  else
    free(h);
}

void* lmlalloc(lml_ctx* h, size_t size) {
  if (!valid(h) || size == 0) return nullptr;
  return get(h->user, h->alloc, size);
}

void* lmlcalloc(lml_ctx* h, size_t size) {
  void* p = lmlalloc(h, size);
  if (p) memset(p, 0, size);
  return p;
}

void lmlfree(lml_ctx* h, void* ptr) {
  if (!valid(h) || !ptr) return;
  if (h->release)
    h->release(h->user, ptr);
  else
    free(ptr);
}
