// Fast arena strategy: allocation bumps a cursor through virtual blocks taken
// from the parent heap; single frees do nothing; heap free gives every virtual
// block back at once.
#include <string.h>

#include "lmmfs.h"

namespace {

constexpr size_t kHdr = sizeof(lmmfs_bhdr);

inline size_t round8(size_t n) { return (n + 7) & ~static_cast<size_t>(7); }
inline char* data_start(lmmfs_vblock* v) { return reinterpret_cast<char*>(v + 1); }
inline lmmfs_vblock** current(lmm_heap* hp) { return static_cast<lmmfs_vblock**>(hp->strctx); }

// The header position that follows the cursor's record.
char* next_pos(intptr_t* cur) {
  intptr_t s = *cur;
  char* c = reinterpret_cast<char*>(cur);
  if (s == 0) return c;
  if (s < 0) return c - s;
  return c + s + kHdr;
}

lmmfs_vblock* vrt(lmm_ctx* ctx, lmm_heap* hp, uint64_t s, unsigned flags, int* mark,
                  bool record) {
  void* p = nullptr;
  if (s <= LMM_MAXSIZE - sizeof(lmmfs_vblock))
    p = lmmi_palloc(ctx, hp->parent, sizeof(lmmfs_vblock) + static_cast<size_t>(s), LMM_INTERNAL,
                    "lmmfsvr", 97, mark);
  if (!p) {
    if (record) lmmi_internal(ctx, 630, "In Fast getvrt: generic malloc fail.", mark, flags);
    return nullptr;
  }
  auto* v = static_cast<lmmfs_vblock*>(p);
  v->cursor = reinterpret_cast<intptr_t*>(data_start(v));
  v->freeb = static_cast<size_t>(s);
  v->count = 0;
  if (s > 0) *v->cursor = 0;
  lmmfs_vblock** cur = current(hp);
  v->next = *cur;
  *cur = v;
  return v;
}

// Opens a virtual block of max(5 x need, 8192), or of exactly `need` when that
// size is refused or too large. Products are taken in 64 bits in both widths.
lmmfs_vblock* grow(lmm_ctx* ctx, lmm_heap* hp, uint64_t need, unsigned flags, int* mark) {
  uint64_t five = 5 * need;
  lmmfs_vblock* v = nullptr;
  if (five <= LMM_MAXSIZE) v = vrt(ctx, hp, five > 8192 ? five : 8192, flags, mark, true);
  if (!v) v = vrt(ctx, hp, need, flags, mark, true);
  return v;
}

}  // namespace

size_t lmmfs_capacity(void* p) {
  auto* h = reinterpret_cast<lmmfs_bhdr*>(static_cast<char*>(p) - kHdr);
  return static_cast<size_t>(h->size);
}

int lmmfshinit(lmm_ctx* ctx, lmm_heap* hp, void** place, unsigned flags, int* mark) {
  if (!hp->parent) {
    lmmi_internal(ctx, 600, "In Fast hpinit: generic malloc fail.", mark, flags);
    return -1;
  }
  void* w = lmmi_palloc(ctx, hp->parent, sizeof(void*), LMM_INTERNAL, "lmmfshi", 100, mark);
  if (!w) {
    lmmi_internal(ctx, 600, "In Fast hpinit: generic malloc fail.", mark, flags);
    return -1;
  }
  *static_cast<lmmfs_vblock**>(w) = nullptr;
  *place = w;
  if (!vrt(ctx, hp, 0, flags, mark, true)) {
    lmmi_internal(ctx, 601, "In Fast hpinit: fast get vrt blk fail.", mark, flags);
    // Leave nothing behind: the heap has no context then.
    lmmi_pfree(ctx, hp->parent, w, LMM_INTERNAL, mark);
    *place = nullptr;
    return -1;
  }
  return 0;
}

int lmmfshfree(lmm_ctx* ctx, lmm_heap* hp, unsigned flags, int* mark) {
  lmmfs_vblock** cur = current(hp);
  while (lmmfs_vblock* v = *cur) {
    lmmfs_vblock* older = v->next;
    int r = lmmi_pfree(ctx, hp->parent, v, LMM_INTERNAL, mark);
    if (r != 0) {
      lmmi_internal(ctx, 605, "In Fast hpfree: generic free w/ vrt blk fail.", mark, flags);
      return r;
    }
    *cur = older;
  }
  int r = lmmi_pfree(ctx, hp->parent, cur, LMM_INTERNAL, mark);
  if (r != 0) {
    lmmi_internal(ctx, 606, "In Fast hpfree: generic free w/ realhp fail.", mark, flags);
    return r;
  }
  hp->strctx = nullptr;
  return 0;
}

void* lmmfsmalloc(lmm_ctx* ctx, lmm_heap* hp, size_t n, unsigned flags, int* mark) {
  if (n > LMM_MAXSIZE) {
    lmmi_error(ctx, LMM_ETOOLARGE, "lmmfsmalloc", mark, flags);
    return nullptr;
  }
  if (void* p = lmmfs_bump(hp, n)) return p;
  return lmmfs_open(ctx, hp, n, flags, mark);
}

void* lmmfs_open(lmm_ctx* ctx, lmm_heap* hp, size_t n, unsigned flags, int* mark) {
  const size_t sz = round8(n);
  const size_t need = sz + kHdr;
  lmmfs_vblock* v = grow(ctx, hp, need, flags, mark);
  if (!v) {
    lmmi_internal(ctx, 610, "In Fast malloc: fast get vrt blk fail.", mark, flags);
    return nullptr;
  }
  // A fresh virtual block: the block goes at its start.
  return lmmfs_place(v, data_start(v), sz, need);
}

int lmmfsfree(lmm_ctx*, lmm_heap*, void*, unsigned, int*) { return 0; }

namespace {

void* memalign(lmm_ctx* ctx, lmm_heap* hp, size_t a, size_t n, unsigned flags, int* mark) {
  if (a < 8) a = 8;
  if (n > LMM_MAXSIZE || a > LMM_MAXSIZE) {
    lmmi_error(ctx, LMM_ETOOLARGE, "lmmfsmemalign", mark, flags);
    return nullptr;
  }
  const uint64_t e = round8(n);
  const uint64_t f = static_cast<uint64_t>(a) + e + kHdr;
  auto open = [&]() -> lmmfs_vblock* {
    uint64_t five = 5 * f;
    lmmfs_vblock* v = nullptr;
    if (five <= LMM_MAXSIZE) v = vrt(ctx, hp, five > 8192 ? five : 8192, flags, mark, true);
    if (!v) v = vrt(ctx, hp, f, flags, mark, true);
    if (!v) lmmi_internal(ctx, 625, "In Fast memalign: fast get vrt blk fail.", mark, flags);
    return v;
  };
  auto align_up = [&](char* p) {
    uintptr_t g = (reinterpret_cast<uintptr_t>(p) + a + 15) & ~(static_cast<uintptr_t>(a) - 1);
    return reinterpret_cast<char*>(g);
  };
  lmmfs_vblock* v = *current(hp);
  char* p;
  char* g;
  if (!v || v->freeb < e + kHdr) {
    if (!(v = open())) return nullptr;
    p = next_pos(v->cursor);
    g = align_up(p);
  } else {
    p = next_pos(v->cursor);
    g = align_up(p);
    if (v->freeb < e + static_cast<uint64_t>(g - p)) {
      if (!(v = open())) return nullptr;
      p = next_pos(v->cursor);
      g = align_up(p);
    }
  }
  if (g != p + kHdr) {
    intptr_t skip = static_cast<intptr_t>(g - p - kHdr);
    *reinterpret_cast<intptr_t*>(p) = -skip;
    v->cursor = reinterpret_cast<intptr_t*>(p);
    v->count++;
    v->freeb -= static_cast<size_t>(skip);
  }
  void* q = lmmfsmalloc(ctx, hp, static_cast<size_t>(e), flags, mark);
  if (!q) return nullptr;
  reinterpret_cast<lmmfs_bhdr*>(static_cast<char*>(q) - kHdr)->align = static_cast<intptr_t>(a);
  return q;
}

}  // namespace

void* lmmfsvalloc(lmm_ctx* ctx, lmm_heap* hp, size_t n, unsigned flags, int* mark) {
  return memalign(ctx, hp, lmmi_pagesize(), n, flags, mark);
}

void* lmmfscalloc(lmm_ctx* ctx, lmm_heap* hp, size_t count, size_t size, unsigned flags,
                  int* mark) {
  return lmmi_calloc(ctx, count, size, "lmmfscalloc", 615, "In Fast calloc: fast malloc fail.",
                     mark, flags, [&](size_t n) { return lmmfsmalloc(ctx, hp, n, flags, mark); });
}

void* lmmfsrealloc(lmm_ctx* ctx, lmm_heap* hp, void* ptr, size_t n, size_t k, unsigned flags,
                   int* mark) {
  if (!ptr) return lmmfsmalloc(ctx, hp, n, flags, mark);
  if (n > LMM_MAXSIZE) {
    lmmi_error(ctx, LMM_ETOOLARGE, "lmmfsrealloc", mark, flags);
    return nullptr;
  }
  auto* h = reinterpret_cast<lmmfs_bhdr*>(static_cast<char*>(ptr) - kHdr);
  const size_t m = round8(n);
  const size_t c = static_cast<size_t>(h->size);
  if (m == c) return ptr;
  lmmfs_vblock* v = *current(hp);
  if (v && v->cursor == &h->size && c + v->freeb >= m) {
    v->freeb = c + v->freeb - m;
    h->size = static_cast<intptr_t>(m);
    return ptr;
  }
  if (m < c) {
    h->size = static_cast<intptr_t>(m);
    return ptr;
  }
  void* q;
  if (h->align) {
    q = memalign(ctx, hp, static_cast<size_t>(h->align), n, flags, mark);
    if (!q) lmmi_internal(ctx, 620, "In Fast realloc: fast memalign fail.", mark, flags);
  } else {
    q = lmmfsmalloc(ctx, hp, n, flags, mark);
    if (!q) lmmi_internal(ctx, 621, "In Fast realloc: fast malloc fail.", mark, flags);
  }
  if (!q) return nullptr;
  size_t kk = ((flags & LMM_COPYALL) || k > c) ? c : k;
  memcpy(q, ptr, kk < m ? kk : m);
  return q;
}

const lmm_strategy lmmgfast = {lmmfshinit,  lmmfshfree,   lmmfsmalloc, lmmfsfree,
                               lmmfscalloc, lmmfsrealloc, lmmfsvalloc};
