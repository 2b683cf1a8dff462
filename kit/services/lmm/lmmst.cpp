// Standard allocation strategy: small slots carved from chunks, large blocks in
// 64-byte steps filed in size buckets under a two-level bitmap, all inside
// virtual blocks that are given back as soon as they are entirely free.
//
// Every link is an 8-byte slot in both widths, so the byte layout is the same.
//
// Design
//
// Virtual blocks. Memory comes from the parent heap (or the process
// allocator for a root heap) in virtual blocks; each ends in a trailer that
// points back at its start and sits on one of two lists: in use, or released
// (vfree, given back at once, or kept while the parent refuses). A fresh
// virtual block is one large block with no physical neighbours.
//
// Large blocks. A header (StBlock) with the previous and next physical
// block of the same virtual block, the payload size (a multiple of 64 for
// what malloc hands out) and a state byte right before the payload: 0x0F in
// use, 0x07 free. Physical links agree both ways (next->prev is the block).
// A free block is filed in bucket size / 64 (bucket 1024 for 64 KB and
// more), and never has a free physical neighbour: freeing merges with both
// neighbours first, and a cut that leaves a free rest merges it forward. A
// block that has no neighbour left when freed gives its virtual block back.
//
// Buckets and bitmap. Buckets 0 to 1023 each have a bit: bit b of l2[b / 32]
// is set exactly when bucket b is not empty, and bit w of l1 exactly when
// l2[w] is not zero. Bucket 1024 has no bit and is searched by walking.
//
// Chunks and classes. Requests up to 247 bytes take slots of four classes
// (23, 55, 119, 247 bytes of payload). Slots are carved in order from a chunk,
// a large block of 8 KB or more in use as a whole: a slot is an 8-byte link to
// its chunk, with the class byte (in-use bit 0x08) right before the payload.
// A chunk's cursor plus its free bytes always reach the end of its block; a
// freed slot goes on its class's free list, and the chunk's last slot in use
// freed gives the whole chunk back as a large block. The lists are doubly
// linked with the first node's previous link pointing at the last node.
#include <assert.h>
#include <string.h>

#include "lmmst.h"

using namespace lmmst;

namespace {

constexpr size_t kSmallSizes[5] = {23, 55, 119, 247, 247};
constexpr size_t kChunkSize = 8192;

// Class of each small size by size / 8; one more when the size passes it.
constexpr auto kClassOf = [] {
  struct T {
    u8 c[32];
  } t{};
  for (size_t i = 0; i < 32; ++i) {
    size_t n = i * 8;
    u8 cls = 0;
    while (kSmallSizes[cls] < n && cls < 3) ++cls;
    t.c[i] = cls;
  }
  return t;
}();
constexpr size_t kChunkMax = 16384;

inline u8* payload(StBlock* b) { return reinterpret_cast<u8*>(b) + sizeof(StBlock); }
inline StBlock* header(void* p) {
  return reinterpret_cast<StBlock*>(static_cast<u8*>(p) - sizeof(StBlock));
}
inline u8& state_of(void* p) { return static_cast<u8*>(p)[-9]; }
inline Link& word_before(void* p) { return *reinterpret_cast<Link*>(static_cast<u8*>(p) - 8); }

inline StBlock* lnk(const Link& l) { return l.get<StBlock>(); }
inline bool is_free(StBlock* b) { return b && (b->state & kInUse) == 0; }

// Doubly linked lists whose head's first node has its previous link pointing
// at the last node. Each list keeps its links at fixed offsets in its nodes.
struct ListOfs {
  size_t prev, next;
};
constexpr ListOfs kFreeLinks{0, 8};    // bucket and class lists: first payload words
constexpr ListOfs kChunkLinks{8, 0};   // chunk header words 2 and 1
constexpr ListOfs kTrailLinks{16, 8};  // trailer words 3 and 2

inline Link& at(u8* n, size_t ofs) { return *reinterpret_cast<Link*>(n + ofs); }

[[gnu::always_inline]] inline void list_append(Link& head, u8* n, ListOfs o) {
  u8* first = head.get<u8>();
  at(n, o.next).set(nullptr);
  if (!first) {
    head.set(n);
    at(n, o.prev).set(n);
    return;
  }
  u8* last = at(first, o.prev).get<u8>();
  at(last, o.next).set(n);
  at(n, o.prev).set(last);
  at(first, o.prev).set(n);
}

[[gnu::always_inline]] inline void list_unlink(Link& head, u8* n, ListOfs o) {
  u8* first = head.get<u8>();
  u8* prev = at(n, o.prev).get<u8>();
  u8* next = at(n, o.next).get<u8>();
  if (n == first) {
    head.set(next);
    if (next) at(next, o.prev).set(prev);
  } else {
    at(prev, o.next).set(next);
    if (next)
      at(next, o.prev).set(prev);
    else
      at(first, o.prev).set(prev);
  }
  at(n, o.prev).set(nullptr);
  at(n, o.next).set(nullptr);
}

inline unsigned bucket_index(uint64_t size) {
  return size >= 65536 ? 1024u : static_cast<unsigned>(size / 64);
}

void fail(lmm_ctx* ctx, int site, const char* text, unsigned flags, int* mark) {
  lmmi_internal(ctx, site, text, mark, flags);
}

// The bitmap's two levels agree for word w (checked in debug builds).
[[maybe_unused]] bool level_one_agrees(const lmmst_ctx* st, unsigned w) {
  return (st->l2[w] != 0) == (((st->l1 >> w) & 1u) != 0);
}
// Bucket b's bit says whether the bucket holds a block.
[[maybe_unused]] bool bit_agrees(const lmmst_ctx* st, unsigned b) {
  if (b >= 1024) return true;
  return (st->buckets[b].v != 0) == (((st->l2[b / 32] >> (b % 32)) & 1u) != 0);
}

// Bitmap change: only buckets below 1024 have bits.
int bitcg(lmmst_ctx* st, unsigned b, bool set) {
  if (b >= 1024) return 0;
  unsigned w = b / 32, bit = 1u << (b % 32);
  if (set) {
    st->l2[w] |= bit;
    if (st->l2[w] == bit) st->l1 |= 1u << w;
  } else {
    st->l2[w] &= ~bit;
    if (st->l2[w] == 0) st->l1 &= ~(1u << w);
  }
  assert(level_one_agrees(st, w));
  return 0;
}

unsigned bucket_of(lmmst_ctx* st, StBlock* b) {
  return static_cast<unsigned>(b->bucket.get<Link>() - st->buckets);
}

// Files a free block in its bucket, setting the bit when the bucket was empty.
int file_block(lmmst_ctx* st, StBlock* b) {
  unsigned idx = bucket_index(b->size);
  b->bucket.set(&st->buckets[idx]);
  bool was_empty = st->buckets[idx].v == 0;
  list_append(st->buckets[idx], payload(b), kFreeLinks);
  int rc = was_empty ? bitcg(st, idx, true) : 0;
  assert(bit_agrees(st, idx));
  return rc;
}

// Unbucketing: a block in use is left alone.
int rmlrg(lmm_ctx* ctx, lmmst_ctx* st, StBlock* b, unsigned flags, int* mark) {
  if (!is_free(b)) return 0;
  unsigned idx = bucket_of(st, b);
  // A free block's size has not changed since it was filed.
  assert(idx == bucket_index(b->size));
  list_unlink(st->buckets[idx], payload(b), kFreeLinks);
  if (st->buckets[idx].v == 0 && idx < 1024 && bitcg(st, idx, false) != 0) {
    fail(ctx, 420, "In Std rmlrg: std bit change fail", flags, mark);
    return -1;
  }
  assert(bit_agrees(st, idx));
  return 0;
}

}  // namespace

namespace lmmst {

unsigned gslt(lmmst_ctx* st, uint64_t s) {
  if (s >= 65536) return 1024;
  unsigned w = static_cast<unsigned>(s / 2048);
  unsigned bit = static_cast<unsigned>((s / 64) % 32);
  uint32_t m = st->l2[w] & (~0u << bit);
  if (m) return w * 32 + static_cast<unsigned>(__builtin_ctz(m));
  uint32_t m1 = w >= 31 ? 0 : (st->l1 & (~0u << (w + 1)));
  if (m1) {
    unsigned w2 = static_cast<unsigned>(__builtin_ctz(m1));
    return w2 * 32 + static_cast<unsigned>(__builtin_ctz(st->l2[w2]));
  }
  return 1024;
}

}  // namespace lmmst

namespace {

// Cutting: shrinks an in-use block to w (at least 256) and files the rest.
int cutlrg(lmm_ctx* ctx, lmmst_ctx* st, StBlock* b, uint64_t w, unsigned flags, int* mark) {
  if (w < 256) w = 256;
  if (b->size < w + 296) return 0;
  auto* rest = reinterpret_cast<StBlock*>(payload(b) + w);
  memset(rest, 0, sizeof *rest);
  rest->size = b->size - w - sizeof(StBlock);
  rest->prev.set(b);
  rest->next = b->next;
  if (StBlock* n = lnk(b->next)) n->prev.set(rest);
  b->next.set(rest);
  b->size = w;
  b->state = kLarge | kInUse;
  b->bucket.set(&st->buckets[bucket_index(w)]);
  rest->state = kLarge;
  if (file_block(st, rest) != 0) {
    fail(ctx, 435, "In Std cutlrg: std bit change fail.", flags, mark);
    return -1;
  }
  return 0;
}

// Merging a block with a physical neighbour into the one at the lower address,
// which comes back in use.
StBlock* mrg(lmm_ctx* ctx, lmmst_ctx* st, StBlock* b, StBlock* nb, unsigned flags, int* mark) {
  if (!nb || !is_free(nb)) return b;
  assert(lnk(b->next) == nb ? lnk(nb->prev) == b : lnk(b->prev) == nb && lnk(nb->next) == b);
  if (rmlrg(ctx, st, b, flags, mark) != 0) {
    fail(ctx, 415, "In Std merge: std remove lrg blk fail w/ block", flags, mark);
    return nullptr;
  }
  if (rmlrg(ctx, st, nb, flags, mark) != 0) {
    fail(ctx, 416, "In Std merge: std rm lrg blk fail w/ nbor blk", flags, mark);
    return nullptr;
  }
  StBlock* lo = b < nb ? b : nb;
  StBlock* hi = b < nb ? nb : b;
  lo->size = lo->size + hi->size + sizeof(StBlock);
  lo->next = hi->next;
  if (StBlock* n = lnk(hi->next)) n->prev.set(lo);
  lo->bucket.set(&st->buckets[bucket_index(lo->size)]);
  lo->state = kLarge | kInUse;
  return lo;
}

uint64_t default_vrt(lmm_ctx* ctx) {
  lmm_primary* pr = lmmi_primary(ctx);
  if (pr && pr->vrtsize) return pr->vrtsize;
  return slmmstmsr();
}

// Gets a virtual block of at least `want` bytes; its size comes back in *got.
// Returns 0, -1 (process allocator) or -3 (parent heap).
int vrt(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, uint64_t want, unsigned flags, int* mark,
        u8** out, uint64_t* got) {
  for (u8* t = st->vfree.get<u8>(); t; t = at(t, kTrailLinks.next).get<u8>()) {
    auto* tr = reinterpret_cast<StTrailer*>(t);
    if (tr->total >= want) {
      list_unlink(st->vfree, t, kTrailLinks);
      *out = tr->start.get<u8>();
      *got = tr->total;
      return 0;
    }
  }
  uint64_t min;
  if (flags & LMM_VRTSIZE)
    min = static_cast<uint64_t>(flags & 31) * 8192;
  else
    min = default_vrt(ctx);
  uint64_t size = want > min ? want : min;
  *got = 0;
  if (size > LMM_MAXSIZE) {
    fail(ctx, hp->parent ? 430 : 340,
         hp->parent ? "In Std getvrt: generic malloc fail."
                    : "Call to slwmmgetmem failed in lmmstvrt",
         flags, mark);
    return hp->parent ? -3 : -1;
  }
  void* p;
  if (!hp->parent) {
    size_t sz = static_cast<size_t>(size);
    p = slwmmgetmem(lmmi_tsctx(ctx), &sz);
    if (!p) {
      fail(ctx, 340, "Call to slwmmgetmem failed in lmmstvrt", flags, mark);
      return -1;
    }
  } else {
    p = lmmi_palloc(ctx, hp->parent, static_cast<size_t>(size), LMM_INTERNAL, "lmmstvr", 221,
                    mark);
    if (!p) {
      fail(ctx, 430, "In Std getvrt: generic malloc fail.", flags, mark);
      return -3;
    }
  }
  *out = static_cast<u8*>(p);
  *got = size;
  return 0;
}

// Lays a fresh virtual block out as one large block with no neighbours, its
// trailer on the in-use list.
StBlock* setup_vrt(lmmst_ctx* st, u8* v, uint64_t total) {
  auto* tr = reinterpret_cast<StTrailer*>(v + total - sizeof(StTrailer));
  memset(tr, 0, sizeof *tr);
  tr->start.set(v);
  tr->total = total;
  list_append(st->vinuse, reinterpret_cast<u8*>(tr), kTrailLinks);
  auto* b = reinterpret_cast<StBlock*>(v);
  memset(b, 0, sizeof *b);
  b->size = total - sizeof(StBlock) - sizeof(StTrailer);
  b->bucket.set(&st->buckets[1024]);
  b->state = kLarge | kInUse;
  return b;
}

// Gives back every released virtual block.
int fvrt_all(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, unsigned flags, int* mark) {
  while (u8* t = st->vfree.get<u8>()) {
    auto* tr = reinterpret_cast<StTrailer*>(t);
    void* v = tr->start.get<void>();
    list_unlink(st->vfree, t, kTrailLinks);
    if (!hp->parent) {
      if (slwmmputmem(lmmi_tsctx(ctx), v) != 0) {
        list_append(st->vfree, t, kTrailLinks);
        fail(ctx, 341, "Call to slwmmputmem failed in lmmstfvrt", flags, mark);
        return -1;
      }
    } else if (lmmi_pfree(ctx, hp->parent, v, LMM_INTERNAL, mark) != 0) {
      list_append(st->vfree, t, kTrailLinks);
      fail(ctx, 405, "In Std freevrt: generic free fail", flags, mark);
      return -1;
    }
  }
  return 0;
}

int fvrt(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, StTrailer* tr, uint64_t total,
         unsigned flags, int* mark) {
  tr->total = total;
  list_append(st->vfree, reinterpret_cast<u8*>(tr), kTrailLinks);
  return fvrt_all(ctx, hp, st, flags, mark);
}

inline lmmst_ctx* stctx(lmm_heap* hp) { return static_cast<lmmst_ctx*>(hp->strctx); }

// Getting a chunk: a free block of at least 2048 bytes, or a fresh virtual block.
u8* chnk(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, unsigned flags, int* mark) {
  unsigned idx = gslt(st, 2048);
  StBlock* b = st->buckets[idx].v ? header(st->buckets[idx].get<u8>()) : nullptr;
  if (b) {
    if (rmlrg(ctx, st, b, flags, mark) != 0) {
      fail(ctx, 395, "In Std getchnk: remove large blk fail", flags, mark);
      return nullptr;
    }
  } else {
    u8* v;
    uint64_t total;
    if (vrt(ctx, hp, st, 0, flags, mark, &v, &total) != 0) {
      fail(ctx, 397, "In Std getchnk: get virtual blk fail", flags, mark);
      return nullptr;
    }
    b = setup_vrt(st, v, total);
  }
  b->state = kLarge | kInUse;
  if (b->size > kChunkMax && cutlrg(ctx, st, b, kChunkSize, flags, mark) != 0) {
    fail(ctx, 396, "In Std getchnk: cut large block fail", flags, mark);
    return nullptr;
  }
  return payload(b);
}

void* sml(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, unsigned cls, unsigned flags, int* mark) {
  const uint64_t z = kSmallSizes[cls] + 9;
  u8* first = st->chunks.get<u8>();
  auto* c = first ? reinterpret_cast<StChunk*>(at(first, kChunkLinks.prev).get<u8>()) : nullptr;
  if (!c || c->freeb < z) {
    u8* mem = chnk(ctx, hp, st, flags, mark);
    if (!mem) {
      fail(ctx, 425, "In Std getsml: std get chunk fail.", flags, mark);
      return nullptr;
    }
    c = reinterpret_cast<StChunk*>(mem);
    memset(c, 0, sizeof *c);
    c->cursor.set(mem + sizeof(StChunk));
    c->freeb = header(mem)->size - sizeof(StChunk);
    c->inuse = 0;
    list_append(st->chunks, mem, kChunkLinks);
  }
  assert(cls < 4 && c->freeb >= z);
  u8* s = c->cursor.get<u8>();
  reinterpret_cast<Link*>(s)->set(c);
  s[-1] = static_cast<u8>(cls | kInUse);
  c->cursor.set(s + z);
  c->freeb -= z;
  c->inuse++;
  // The cursor and the free bytes still reach the end of the chunk's block.
  assert(c->cursor.get<u8>() + c->freeb == reinterpret_cast<u8*>(c) + header(c)->size);
  return s + 8;
}

void* lrg(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, uint64_t n, unsigned flags, int* mark) {
  uint64_t r = (n + 63) & ~static_cast<uint64_t>(63);
  unsigned idx = gslt(st, r);
  StBlock* b = nullptr;
  for (u8* p = st->buckets[idx].get<u8>(); p; p = at(p, kFreeLinks.next).get<u8>()) {
    if (header(p)->size >= r) {
      b = header(p);
      break;
    }
  }
  if (!b) {
    u8* v;
    uint64_t total;
    if (vrt(ctx, hp, st, r + sizeof(StBlock) + sizeof(StTrailer), flags, mark, &v, &total) != 0) {
      fail(ctx, 412, "In Std getlrg: std get vrt blk fail.", flags, mark);
      return nullptr;
    }
    b = setup_vrt(st, v, total);
  } else if (rmlrg(ctx, st, b, flags, mark) != 0) {
    fail(ctx, 410, "In Std getlrg: std remove large blk fail.", flags, mark);
    return nullptr;
  }
  b->state = kLarge | kInUse;
  if (cutlrg(ctx, st, b, r, flags, mark) != 0) {
    fail(ctx, 411, "In Std getlrg: std cut large blk fail.", flags, mark);
    return nullptr;
  }
  return payload(b);
}

// Frees a large block in use: merges, files or gives its virtual block back.
int free_large(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, StBlock* b, unsigned flags, int* mark) {
  StBlock* m = mrg(ctx, st, b, lnk(b->prev), flags, mark);
  if (!m) {
    fail(ctx, 388, "In Std free:std merge w/ prev lrg blk fail", flags, mark);
    return -1;
  }
  b = m;
  m = mrg(ctx, st, b, lnk(b->next), flags, mark);
  if (!m) {
    fail(ctx, 389, "In Std free fail:std mrg w/ next lrg blk fail", flags, mark);
    return -1;
  }
  b = m;
  assert(!is_free(lnk(b->prev)) && !is_free(lnk(b->next)));
  assert(!lnk(b->next) || lnk(lnk(b->next)->prev) == b);
  if (b->prev.v || b->next.v) {
    b->state = kLarge;
    if (file_block(st, b) != 0) {
      fail(ctx, 391, "In Std free: std bit change fail", flags, mark);
      return -1;
    }
    return 0;
  }
  auto* tr = reinterpret_cast<StTrailer*>(payload(b) + b->size);
  assert(tr->start.get<u8>() == reinterpret_cast<u8*>(b));
  list_unlink(st->vinuse, reinterpret_cast<u8*>(tr), kTrailLinks);
  if (fvrt(ctx, hp, st, tr, b->size + sizeof(StBlock) + sizeof(StTrailer), flags, mark) != 0) {
    fail(ctx, 390, "In Std free: std free vrt fail", flags, mark);
    return -1;
  }
  return 0;
}

int fchnk(lmm_ctx* ctx, lmm_heap* hp, lmmst_ctx* st, StChunk* c, unsigned flags, int* mark) {
  u8* base = reinterpret_cast<u8*>(c);
  u8* end = c->cursor.get<u8>();
  for (u8* s = base + sizeof(StChunk); s < end;) {
    u8 cls = static_cast<u8>(s[-1] & 7);
    if (!(s[-1] & kInUse)) list_unlink(st->small[cls], s + 8, kFreeLinks);
    s += kSmallSizes[cls] + 9;
  }
  list_unlink(st->chunks, base, kChunkLinks);
  if (lmmstfree(ctx, hp, base, 0x1420000, mark) != 0) {
    fail(ctx, 400, "In Std freechnk: std free fail.", flags, mark);
    return -1;
  }
  return 0;
}

// Usable bytes behind p, and the block that holds them.
size_t capacity_of(void* p) {
  u8 s = state_of(p);
  if (s == kPaged) {
    uint64_t off = word_before(p).v;
    u8* base = static_cast<u8*>(p) - off;
    return static_cast<size_t>(header(base)->size - off);
  }
  unsigned cls = s & 7;
  if (cls < 5) return kSmallSizes[cls];
  if (cls == kLarge) return static_cast<size_t>(header(p)->size);
  return 0;
}

bool too_large(lmm_ctx* ctx, size_t n, const char* op, unsigned flags, int* mark) {
  if (n <= LMM_MAXSIZE) return false;
  lmmi_error(ctx, LMM_ETOOLARGE, op, mark, flags);
  return true;
}

}  // namespace

size_t lmmst_capacity(void* p) { return capacity_of(p); }
size_t lmmst_ctx_size() { return sizeof(lmmst_ctx); }

// ---------------------------------------------------------------- operations

int lmmsthinit(lmm_ctx* ctx, lmm_heap* hp, void** place, unsigned flags, int* mark) {
  void* p = hp->parent ? lmmi_palloc(ctx, hp->parent, sizeof(lmmst_ctx), LMM_INTERNAL, "lmmsthi",
                                     150, mark)
                       : [&] {
                           size_t sz = sizeof(lmmst_ctx);
                           return slwmmgetmem(lmmi_tsctx(ctx), &sz);
                         }();
  if (!p) {
    fail(ctx, 350, "In Std hpinit: cannot allocate context.", flags, mark);
    return -1;
  }
  memset(p, 0, sizeof(lmmst_ctx));
  *place = p;
  return 0;
}

int lmmsthfree(lmm_ctx* ctx, lmm_heap* hp, unsigned flags, int* mark) {
  if (flags & LMM_KEEPHP) return 0;
  lmmst_ctx* st = stctx(hp);
  auto give = [&](void* p) {
    if (hp->parent) return lmmi_pfree(ctx, hp->parent, p, LMM_INTERNAL, mark);
    return slwmmputmem(lmmi_tsctx(ctx), p);
  };
  // Gives back every virtual block of a trailer list.
  auto drain = [&](auto& list, int site, const char* text) {
    while (u8* t = list.template get<u8>()) {
      void* v = reinterpret_cast<StTrailer*>(t)->start.template get<void>();
      list_unlink(list, t, kTrailLinks);
      if (give(v) != 0) {
        fail(ctx, site, text, flags, mark);
        return false;
      }
    }
    return true;
  };
  if (!drain(st->vinuse, 355, "In Std hpfree: free fail w/ inuse vrtblk") ||
      !drain(st->vfree, 356, "In Std hpfree: free fail w/ free vrtblk"))
    return -1;
  if (give(st) != 0) {
    fail(ctx, 357, "In Std hpfree: free std ctx fail", flags, mark);
    return -1;
  }
  hp->strctx = nullptr;
  return 0;
}

void* lmmstmalloc(lmm_ctx* ctx, lmm_heap* hp, size_t n, unsigned flags, int* mark) {
  if (too_large(ctx, n, "lmmmalloc", flags, mark)) return nullptr;
  lmmst_ctx* st = stctx(hp);
  if (n > 247) {
    void* p = lrg(ctx, hp, st, n, flags, mark);
    if (!p) fail(ctx, 361, "In Std malloc: Get large blk fail", flags, mark);
    return p;
  }
  unsigned cls = kClassOf.c[n / 8];
  if (kSmallSizes[cls] < n) ++cls;
  if (u8* p = st->small[cls].get<u8>()) {
    list_unlink(st->small[cls], p, kFreeLinks);
    word_before(p).get<StChunk>()->inuse++;
    p[-9] = static_cast<u8>(cls | kInUse);
    return p;
  }
  void* p = sml(ctx, hp, st, cls, flags, mark);
  if (!p) fail(ctx, 360, "In Std malloc: Get small blk fail", flags, mark);
  return p;
}

int lmmstfree(lmm_ctx* ctx, lmm_heap* hp, void* ptr, unsigned flags, int* mark) {
  if (!ptr) return 0;
  lmmst_ctx* st = stctx(hp);
  u8* p = static_cast<u8*>(ptr);
  // A page-aligned pointer stands in front of the block that malloc returned.
  if (state_of(p) == kPaged) p -= word_before(p).v;
  u8 s = state_of(p);
  if (!(s & kInUse)) return 0;
  unsigned cls = s & 7;
  if (cls < 5) {
    auto* c = word_before(p).get<StChunk>();
    assert(c->inuse > 0);
    if (--c->inuse != 0) {
      p[-9] = static_cast<u8>(cls);
      list_append(st->small[cls], p, kFreeLinks);
      return 0;
    }
    if (fchnk(ctx, hp, st, c, flags, mark) != 0) {
      fail(ctx, 392, "In Std free: std free chunk fail", flags, mark);
      return -1;
    }
    return 0;
  }
  if (cls == kLarge) return free_large(ctx, hp, st, header(p), flags, mark);
  lmmorec(nullptr, nullptr, ctx, LMM_EBADARG, 0, nullptr, mark, flags, LMMI_TXTP, "lmmfree",
          LMMI_DVOID, ptr, 0);
  return -1;
}

void* lmmstcalloc(lmm_ctx* ctx, lmm_heap* hp, size_t count, size_t size, unsigned flags,
                  int* mark) {
  return lmmi_calloc(ctx, count, size, "lmmstcalloc", 365, "In Std calloc: cannot allocate memptr",
                     mark, flags,
                     [&](size_t n) { return n ? lmmstmalloc(ctx, hp, n, flags, mark) : nullptr; });
}

void* lmmstvalloc(lmm_ctx* ctx, lmm_heap* hp, size_t n, unsigned flags, int* mark) {
  const size_t page = lmmi_pagesize();
  if (too_large(ctx, n, "lmmstvalloc", flags, mark) ||
      too_large(ctx, n + page + 8, "lmmstvalloc", flags, mark))
    return nullptr;
  u8* m = static_cast<u8*>(lmmstmalloc(ctx, hp, n + page + 8, flags | 0x120000, mark));
  if (!m) {
    fail(ctx, 380, "In Std valloc: std malloc fail", flags, mark);
    return nullptr;
  }
  uintptr_t a = (reinterpret_cast<uintptr_t>(m) + page - 1) & ~(static_cast<uintptr_t>(page) - 1);
  if (a - reinterpret_cast<uintptr_t>(m) < 16) a += page;
  u8* g = reinterpret_cast<u8*>(a);
  g[-9] = kPaged;
  word_before(g).v = static_cast<uint64_t>(g - m);
  return g;
}

namespace {

void* move_block(lmm_ctx* ctx, lmm_heap* hp, void* p, size_t cap, size_t n, size_t k, bool paged,
                 unsigned flags, int* mark) {
  void* q = paged ? lmmstvalloc(ctx, hp, n, flags, mark) : lmmstmalloc(ctx, hp, n, flags, mark);
  if (!q) {
    if (paged)
      fail(ctx, 372, "In Std realloc: call std valloc fail", flags, mark);
    else
      fail(ctx, 375, "In Std realloc: std malloc fail", flags, mark);
    return nullptr;
  }
  if (flags & LMM_COPYALL) k = cap;
  size_t c = cap < n ? cap : n;
  if (k < c) c = k;
  memcpy(q, p, c);
  if (lmmstfree(ctx, hp, p, flags, mark) != 0) {
    fail(ctx, 376, "In Std realloc: std free fail.", flags, mark);
    lmmstfree(ctx, hp, q, flags, mark);
    return nullptr;
  }
  return q;
}

// After a cut behind b: the block that now follows, when free, joins a free
// block behind it and is filed again.
int tidy_behind(lmm_ctx* ctx, lmmst_ctx* st, StBlock* b, unsigned flags, int* mark) {
  StBlock* f = lnk(b->next);
  if (!is_free(f) || !is_free(lnk(f->next))) return 0;
  StBlock* m = mrg(ctx, st, f, lnk(f->next), flags, mark);
  if (!m) {
    fail(ctx, 377, "In Std realloc: call std merge w/ 2 next blks fail", flags, mark);
    return -1;
  }
  m->state = kLarge;
  return file_block(st, m);
}

}  // namespace

void* lmmstrealloc(lmm_ctx* ctx, lmm_heap* hp, void* ptr, size_t n, size_t k, unsigned flags,
                   int* mark) {
  if (!ptr) return lmmstmalloc(ctx, hp, n, flags, mark);
  if (too_large(ctx, n, "lmmstrealloc", flags, mark)) return nullptr;
  lmmst_ctx* st = stctx(hp);
  u8* p = static_cast<u8*>(ptr);
  u8 s = state_of(p);
  if (s == kPaged) {
    size_t cap = capacity_of(p);
    if (cap >= n) return p;
    return move_block(ctx, hp, p, cap, n, k, true, flags, mark);
  }
  if (!(s & kInUse) || (s & 7) == 5 || (s & 7) == 6) {
    lmmorec(nullptr, nullptr, ctx, LMM_EBADARG, 0, nullptr, mark, flags, LMMI_TXTP,
            "lmmrealloc", LMMI_DVOID, ptr, 0);
    return nullptr;
  }
  unsigned cls = s & 7;
  if (cls < 5) {
    if (kSmallSizes[cls] >= n) return p;
    return move_block(ctx, hp, p, kSmallSizes[cls], n, k, false, flags, mark);
  }
  StBlock* b = header(p);
  const uint64_t r = (static_cast<uint64_t>(n) + 63) & ~static_cast<uint64_t>(63);
  if (b->size == r) return p;
  if (b->size >= n) {
    if (cutlrg(ctx, st, b, r, flags, mark) != 0) {
      fail(ctx, 374, "In Std realloc: cut large blocks fail", flags, mark);
      return nullptr;
    }
    if (tidy_behind(ctx, st, b, flags, mark) != 0) return nullptr;
    return p;
  }
  StBlock* nx = lnk(b->next);
  if (is_free(nx) && b->size + nx->size + sizeof(StBlock) >= n) {
    if (!mrg(ctx, st, b, nx, flags, mark)) {
      fail(ctx, 373, "In Std realloc: merge lrg blks fail", flags, mark);
      return nullptr;
    }
    if (cutlrg(ctx, st, b, r, flags, mark) != 0) {
      fail(ctx, 374, "In Std realloc: cut large blocks fail", flags, mark);
      return nullptr;
    }
    if (tidy_behind(ctx, st, b, flags, mark) != 0) return nullptr;
    return p;
  }
  return move_block(ctx, hp, p, static_cast<size_t>(b->size), n, k, false, flags, mark);
}

int lmmfrthp(lmm_ctx* ctx) {
  lmm_primary* pr = lmmi_primary(ctx);
  if (!pr || !pr->roothp || !pr->roothp->strctx) return -1;
  int mark = 0;
  return fvrt_all(ctx, pr->roothp, stctx(pr->roothp), 0, &mark);
}

const lmm_strategy lmmgstand = {lmmsthinit,  lmmsthfree,   lmmstmalloc, lmmstfree,
                                lmmstcalloc, lmmstrealloc, lmmstvalloc};
