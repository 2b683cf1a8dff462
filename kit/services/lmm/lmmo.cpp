// A heap's list of blocks taken straight from the process allocator.
#include <string.h>

#include "lmmi.h"

namespace {

void* node_alloc(lmm_ctx* ctx, lmm_heap* hp, int* mark) {
  if (hp->parent)
    return lmmi_palloc(ctx, hp->parent, sizeof(lmm_block), LMM_INTERNAL, "lmmoblk", 0, mark);
  size_t sz = sizeof(lmm_block);
  return slwmmgetmem(lmmi_tsctx(ctx), &sz);
}

int node_free(lmm_ctx* ctx, lmm_heap* hp, lmm_block* n, int* mark) {
  if (hp->parent) return lmmi_pfree(ctx, hp->parent, n, LMM_INTERNAL, mark);
  return slwmmputmem(lmmi_tsctx(ctx), n);
}

void append(lmm_heap* hp, lmm_block* n) {
  n->next = nullptr;
  if (!hp->blocks) {
    hp->blocks = n;
    n->prev = n;
    return;
  }
  lmm_block* last = hp->blocks->prev;
  last->next = n;
  n->prev = last;
  hp->blocks->prev = n;
}

void unlink(lmm_heap* hp, lmm_block* n) {
  lmm_block* first = hp->blocks;
  if (n == first) {
    hp->blocks = n->next;
    if (n->next) n->next->prev = n->prev;
  } else {
    n->prev->next = n->next;
    if (n->next)
      n->next->prev = n->prev;
    else
      first->prev = n->prev;
  }
  n->next = n->prev = nullptr;
}

lmm_block* find(lmm_heap* hp, void* p) {
  for (lmm_block* n = hp->blocks; n; n = n->next) {
    if (n->block == p) return n;
    if ((n->flags & LMM_PAGEBLK) && static_cast<char*>(n->block) + n->alignoff == p) return n;
  }
  return nullptr;
}

void* user_ptr(lmm_block* n) {
  return (n->flags & LMM_PAGEBLK) ? static_cast<char*>(n->block) + n->alignoff : n->block;
}

size_t user_size(lmm_block* n) {
  return (n->flags & LMM_PAGEBLK) ? n->size - n->alignoff : n->size;
}

// Allocates a list block of `size`, page-aligned with `paged`. Sites and texts
// are the caller's.
void* list_alloc(lmm_ctx* ctx, lmm_heap* hp, size_t size, bool paged, unsigned flags, int* mark,
                 int site, const char* text) {
  size_t total = size;
  const size_t page = lmmi_pagesize();
  if (paged) total = size + page + 8;
  void* mem = slwmmgetmem(lmmi_tsctx(ctx), &total);
  if (!mem) {
    lmmi_internal(ctx, site, text, mark, flags);
    return nullptr;
  }
  auto* n = static_cast<lmm_block*>(node_alloc(ctx, hp, mark));
  if (!n) {
    slwmmputmem(lmmi_tsctx(ctx), mem);
    lmmi_internal(ctx, 750, "lmmomallocblklist: Cannot create blk strc", mark, flags);
    return nullptr;
  }
  memset(n, 0, sizeof *n);
  n->size = total;
  n->block = mem;
  if (paged) {
    uintptr_t m = reinterpret_cast<uintptr_t>(mem);
    uintptr_t a = (m + page - 1) & ~(static_cast<uintptr_t>(page) - 1);
    n->alignoff = a - m;
    n->flags = LMM_PAGEBLK;
  }
  append(hp, n);
  return user_ptr(n);
}

// Frees block and node; 0, or -1 after recording.
int release(lmm_ctx* ctx, lmm_heap* hp, lmm_block* n, unsigned flags, int* mark) {
  unlink(hp, n);
  if (slwmmputmem(lmmi_tsctx(ctx), n->block) != 0) {
    lmmi_internal(ctx, 755, "lmmofreeblklist: Cannot free memory", mark, flags);
    return -1;
  }
  if (node_free(ctx, hp, n, mark) != 0) {
    lmmi_internal(ctx, 756, "lmmofreeblklist: Cannot free blk strc", mark, flags);
    return -1;
  }
  return 0;
}

}  // namespace

void* lmmomallocblklist(lmm_ctx* ctx, lmm_heap* hp, size_t size, unsigned flags, int* mark) {
  if (!ctx || !hp || size == 0 || size > LMM_MAXSIZE) {
    lmmi_error(ctx, size > LMM_MAXSIZE ? LMM_ETOOLARGE : LMM_EBADARG, "lmmomallocblklist", mark,
               flags);
    return nullptr;
  }
  return list_alloc(ctx, hp, size, false, flags, mark, 751,
                    "lmmomallocblklist: Cannot allocate memory");
}

int lmmofreeblklist(lmm_ctx* ctx, lmm_heap* hp, void* ptr, unsigned flags, int* mark) {
  lmm_block* n = find(hp, ptr);
  if (!n) return 1;
  return release(ctx, hp, n, flags, mark);
}

int lmmohfreeblklist(lmm_ctx* ctx, lmm_heap* hp, unsigned flags, int* mark) {
  int rc = 0;
  while (lmm_block* n = hp->blocks) {
    n->flags &= ~LMM_PAGEBLK;
    unlink(hp, n);
    bool ok = slwmmputmem(lmmi_tsctx(ctx), n->block) == 0;
    ok = node_free(ctx, hp, n, mark) == 0 && ok;
    if (!ok) {
      lmmi_internal(ctx, 770, "lmmohfreeblklist: Error freeing mem blk", mark, flags);
      rc = -1;
    }
  }
  return rc;
}

void* lmmocallocblklist(lmm_ctx* ctx, lmm_heap* hp, size_t count, size_t size, unsigned flags,
                        int* mark) {
  return lmmi_calloc(ctx, count, size, "lmmocallocblklist", 775,
                     "lmmocallocblklist: Cannot allocate memory", mark, flags, [&](size_t n) {
                       return n ? list_alloc(ctx, hp, n, false, flags, mark, 751,
                                             "lmmomallocblklist: Cannot allocate memory")
                                : nullptr;
                     });
}

void* lmmovallocblklist(lmm_ctx* ctx, lmm_heap* hp, size_t size, unsigned flags, int* mark) {
  const uint64_t total = static_cast<uint64_t>(size) + lmmi_pagesize() + 8;
  if (total > 65536) {
    lmmi_error(ctx, LMM_ETOOLARGE, "lmmvallocblklist", mark, flags);
    return nullptr;
  }
  void* p = list_alloc(ctx, hp, size, true, flags | LMM_PAGEBLK, mark, 780,
                       "lmmovallocblklist: Allocate memory fail");
  return p;
}

void* lmmoreallocblklist(lmm_ctx* ctx, lmm_heap* hp, void* ptr, size_t size, size_t copylen,
                         unsigned flags, int* found, int listflag, int* mark) {
  if (!ctx || !hp || !ptr || size == 0 || size > LMM_MAXSIZE) {
    lmmi_error(ctx, size > LMM_MAXSIZE ? LMM_ETOOLARGE : LMM_EBADARG, "lmmoreallocblklist", mark,
               flags);
    return nullptr;
  }
  lmm_block* n = find(hp, ptr);
  if (found) *found = n != nullptr;
  auto copy_len = [&](size_t old) {
    size_t c = old < size ? old : size;
    if (!(flags & LMM_COPYALL) && copylen < c) c = copylen;
    return c;
  };
  if (n) {
    size_t old = user_size(n);
    bool paged = (n->flags & LMM_PAGEBLK) != 0;
    if (size <= old && old - size < 2049) return ptr;
    void* q;
    if (listflag || size > old) {
      q = list_alloc(ctx, hp, size, paged, flags, mark, 760,
                     "lmmoreallocblklist: (2a) Allocate memory fail");
    } else {
      // Shrinking out of the list: the strategy takes the block.
      q = paged ? hp->strategy->valloc(ctx, hp, size, flags, mark)
                : hp->strategy->malloc(ctx, hp, size, flags, mark);
      if (!q)
        lmmi_internal(ctx, 760, "lmmoreallocblklist: (2a) Allocate memory fail", mark, flags);
    }
    if (!q) return nullptr;
    memcpy(q, ptr, copy_len(old));
    if (release(ctx, hp, n, flags, mark) != 0) {
      lmmi_internal(ctx, 761, "lmmoreallocblklist: (2a) Free memory fail", mark, flags);
      return nullptr;
    }
    return q;
  }
  // A block of the standard strategy moves as case 1a; one of the fast
  // strategy (or of any other) as case 1b/c.
  const bool standard = hp->strategy == &lmmgstand;
  size_t old;
  if (standard)
    old = lmmst_capacity(ptr);
  else if (hp->strategy == &lmmgfast)
    old = lmmfs_capacity(ptr);
  else
    old = 0;
  void* q = standard ? list_alloc(ctx, hp, size, false, flags, mark, 762,
                                  "lmmoreallocblklist: (1a) Allocate memory fail")
                     : list_alloc(ctx, hp, size, false, flags, mark, 764,
                                  "lmmoreallocblklist:(1b/c)Allocate memory fail");
  if (!q) return nullptr;
  memcpy(q, ptr, copy_len(old));
  if (hp->strategy->free(ctx, hp, ptr, flags, mark) != 0) {
    if (standard)
      lmmi_internal(ctx, 763, "lmmoreallocblklist: (1a) Free memory fail", mark, flags);
    else
      lmmi_internal(ctx, 765, "lmmoreallocblklist: (1b/c) Free memory fail", mark, flags);
    return nullptr;
  }
  return q;
}
