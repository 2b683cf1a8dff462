// The real-free heap: create and destroy, first-fit allocation over the
// address-ordered free list, freeing with merges of freeable neighbours,
// releasing pages (freeable chunks made clean, whole trailing segments
// unmapped), the statistics and the dump.
//
// Invariants (checked in debug builds where cheap):
//   - every block of a mapped segment belongs to exactly one chunk; a chunk's
//     blocks lie in one segment; a chunk's first block holds its descriptor
//     and every other descriptor below iniblk is zero (a descriptor left by a
//     merged or split chunk is cleared at once, so free sees kind 2 only at
//     the start of a live chunk);
//   - the free list, from block 0, holds every freeable, free and unmapped
//     chunk in ascending block order; its counters match it; an unmapped
//     chunk covers its whole segment;
//   - segment 1 holds the heap itself and is never unmapped before destroy;
//     the descriptor pages added by growth sit in an extra block in front of
//     their segment's blocks and stay mapped until destroy.
#include <assert.h>
#include <errno.h>
#include <string.h>

#include <algorithm>

#include "skgm.h"
#include "skgmrf.h"

namespace {

constexpr uint64_t kKB = 0x400;
constexpr uint64_t kMB = 0x100000;
constexpr uint64_t kMinHeapMax = 0x40000000;   // maximum sizes below 1 GB count as 1 GB
constexpr uint64_t kFirstSegMin = 512 * kKB;
constexpr uint64_t kSplitSlack = 256 * kKB;    // remainders below this are not split off
constexpr uint64_t kDescPageBytes = SKGMRF_DESCPAGE * sizeof(skgmrf_blkdesc);   // 16 KB
constexpr uint64_t kBlkszMax = 0x80000000;     // largest block size (a 32-bit power of two)
constexpr uint32_t kBigHeapSegs = 240;         // beyond: 256 MB segments
constexpr uint64_t kBigGrowth = 256 * kMB;
constexpr uint64_t kMidHeap = 0x40000000;      // k x 16 MB beyond this: 64 MB segments
constexpr uint64_t kMidGrowth = 64 * kMB;
constexpr uint64_t kMidStep = 16 * kMB;
constexpr uint32_t kHead = 0;

constexpr uint64_t skgmrf_segsizval[SKGMRF_NSEGSIZ] = {
    512 * kKB, 512 * kKB, 1 * kMB, 1 * kMB, 2 * kMB, 2 * kMB,
    4 * kMB,   4 * kMB,   8 * kMB, 8 * kMB, 16 * kMB};
static_assert(kBigGrowth == 16 * skgmrf_segsizval[SKGMRF_NSEGSIZ - 1]);

constexpr const char kWarnSegs[] = "WARNING: out of private memory [1]\n";
constexpr const char kWarnBlks[] = "WARNING: out of private memory [2]\n";

inline void fail(sl_status *err, int32_t code, int oserr, intptr_t d1, intptr_t d2) {
  err->code = code;
  err->oserr = oserr;
  err->detail[0] = d1;
  err->detail[1] = d2;
}

inline bool is_heap(const skgmrf_heap *h) {
  return h != nullptr && h->mag == SKGMRF_MAGIC &&
         (h->flg & SKGMRF_FLG_TYPEMASK) == SKGMRF_FLG_TYPE;
}

inline skgmrf_blkdesc *desc(const skgmrf_heap *h, uint32_t n) {
  assert(n < h->iniblk);
  return &h->blkdstbl[n / SKGMRF_DESCPAGE][n % SKGMRF_DESCPAGE];
}

inline uint64_t roundup(uint64_t v, uint64_t unit) { return (v + unit - 1) / unit * unit; }

inline uint64_t bytes(const skgmrf_heap *h, uint64_t nblk) { return nblk << h->blkshift; }

inline uint32_t seg_nblk(const skgmrf_heap *h, uint32_t s) {
  return static_cast<uint32_t>((h->segs[s].top - h->segs[s].base) >> h->blkshift);
}

inline bool seg_unmapped(const skgmrf_heap *h, uint32_t s) {
  return desc(h, h->segs[s].fstblk)->kind == SKGMRF_UNMAPPED;
}

// The /dev/zero offset of a block.
inline uint64_t blk_offset(const skgmrf_heap *h, uint32_t blk) {
  const skgmrf_seg &s = h->segs[skgmrf_blknotosegno(h, blk)];
  return static_cast<uint64_t>(s.foffs) + bytes(h, blk - s.fstblk);
}

inline bool same_seg(const skgmrf_heap *h, uint32_t a, uint32_t b) {
  return skgmrf_blknotosegno(h, a) == skgmrf_blknotosegno(h, b);
}

void warn(const skgmrf_heap *h, const char *text) {
  if (h->realm.ops != nullptr && h->realm.ops->trace != nullptr)
    h->realm.ops->trace(h->realm.osdctx, text);
}

void publish(const skgmrf_heap *h) {
  if (h->stat_total != nullptr) *h->stat_total = h->inuse_siz + h->freeable_siz;
  if (h->stat_freeable != nullptr) *h->stat_freeable = h->freeable_siz;
}

inline void set_desc(skgmrf_blkdesc *d, uint32_t kind, uint32_t count, uint32_t next,
                     uint32_t prev) {
  *d = skgmrf_blkdesc{kind, count, next, prev};
}

// Takes chunk n out of the list.
inline void unlink(skgmrf_heap *h, uint32_t n) {
  skgmrf_blkdesc *d = desc(h, n);
  desc(h, d->prev)->next = d->next;
  desc(h, d->next)->prev = d->prev;
}

// Puts chunk n (its descriptor already filled but for the links) after p.
inline void link_after(skgmrf_heap *h, uint32_t p, uint32_t n) {
  skgmrf_blkdesc *pd = desc(h, p);
  skgmrf_blkdesc *nd = desc(h, n);
  nd->prev = p;
  nd->next = pd->next;
  desc(h, pd->next)->prev = n;
  pd->next = n;
}

// Chunk n absorbs its list successor (which must begin where n ends); the
// successor's descriptor is cleared.
inline void absorb_next(skgmrf_heap *h, uint32_t n) {
  skgmrf_blkdesc *d = desc(h, n);
  const uint32_t m = d->next;
  skgmrf_blkdesc *md = desc(h, m);
  assert(n + d->count == m);
  d->count += md->count;
  unlink(h, m);
  *md = skgmrf_blkdesc{};
}

// Commits (commit 1) or gives back (commit 0) n blocks from blk.
int validate(sl_status *err, skgmrf_heap *h, uint32_t blk, uint32_t n, int commit) {
  return sskgmrf_validaterange(err, reinterpret_cast<void *>(skgmrf_blknotoaddr(h, blk)), h->fds,
                               static_cast<size_t>(bytes(h, n)), blk_offset(h, blk), commit,
                               h->flg, h->blksz);
}

// Maps a new segment for a request of len bytes (see the contract at the
// top); returns its base, or 0 after a warning or a recorded failure.
uintptr_t skgmrf_extend(sl_status *err, skgmrf_heap *h, uint64_t len) {
  const uint32_t k = h->numsegs;
  if (k >= SKGMRF_MAXSEGS) {
    warn(h, kWarnSegs);
    return 0;
  }
  if (k > kBigHeapSegs)
    h->growsz = static_cast<size_t>(kBigGrowth);
  else if (static_cast<uint64_t>(k) * kMidStep > kMidHeap)
    h->growsz = static_cast<size_t>(kMidGrowth);
  const uint64_t grow =
      h->growsz != 0 ? h->growsz : skgmrf_segsizval[std::min(k, SKGMRF_NSEGSIZ - 1)];

  if (k == 0) {
    const uint64_t size = roundup(len, h->blksz);
    if (size > SIZE_MAX) {
      fail(err, SKGM_ERR_NOMEM, ENOMEM, SKGMRF_SITE_MAP, static_cast<intptr_t>(size));
      return 0;
    }
    void *p = sskgmrf_maprange(err, h->fds, nullptr, static_cast<size_t>(size), 0, h->blksz);
    if (p == nullptr) return 0;
    const uintptr_t a = reinterpret_cast<uintptr_t>(p);
    h->segs[1] = skgmrf_seg{1, a, a + static_cast<uintptr_t>(size), 0};
    h->numsegs = 1;
    return a;
  }

  const skgmrf_seg &last = h->segs[k];
  const uint64_t size = roundup(std::max(grow, len), h->blksz);
  const uint64_t nblk = size >> h->blkshift;
  const uint64_t fst = last.fstblk + ((last.top - last.base) >> h->blkshift);
  const uint64_t lastblk = fst + nblk - 1;
  if (lastblk >= h->maxblk) {
    warn(h, kWarnBlks);
    return 0;
  }
  // Descriptors beyond the table's pages come from one extra block in front
  // of the segment's blocks; blocks below a descriptor page cannot hold one,
  // and one block may not hold enough: then the heap cannot grow.
  const bool extra = lastblk >= h->iniblk;
  uint32_t newpages = 0;
  if (extra) {
    newpages = static_cast<uint32_t>(std::min<uint64_t>(
        h->blksz / kDescPageBytes, SKGMRF_DESCPAGES - h->iniblk / SKGMRF_DESCPAGE));
    if (h->iniblk + static_cast<uint64_t>(newpages) * SKGMRF_DESCPAGE <= lastblk) {
      warn(h, kWarnBlks);
      return 0;
    }
  }
  const uint64_t lead = extra ? h->blksz : 0;
  const uint64_t maplen = size + lead;
  if (maplen > SIZE_MAX) {
    fail(err, SKGM_ERR_NOMEM, ENOMEM, SKGMRF_SITE_MAP, static_cast<intptr_t>(maplen));
    return 0;
  }
  const uint64_t off = static_cast<uint64_t>(last.foffs) + (last.top - last.base);
  void *p = sskgmrf_maprange(err, h->fds, nullptr, static_cast<size_t>(maplen), off, h->blksz);
  if (p == nullptr) return 0;
  // The descriptor block and the blocks the caller takes are committed.
  const uint64_t commit = std::min(maplen, lead + len);
  if (sskgmrf_validaterange(err, p, h->fds, static_cast<size_t>(commit), off, 1, h->flg,
                            h->blksz) != 0) {
    sl_status scratch{};
    (void)sskgmrf_unmaprange(&scratch, p, static_cast<size_t>(maplen));
    return 0;
  }
  const uintptr_t a = reinterpret_cast<uintptr_t>(p);
  for (uint32_t j = 0; j < newpages; j++) {
    h->blkdstbl[h->iniblk / SKGMRF_DESCPAGE] =
        reinterpret_cast<skgmrf_blkdesc *>(a + j * kDescPageBytes);
    h->iniblk += SKGMRF_DESCPAGE;
  }
  const uintptr_t base = a + static_cast<uintptr_t>(lead);
  h->numsegs = k + 1;
  h->segs[k + 1] = skgmrf_seg{static_cast<uint32_t>(fst), base,
                              base + static_cast<uintptr_t>(size), static_cast<size_t>(off)};
  const uint64_t taken = len >> h->blkshift;
  if (nblk > taken) {
    const uint32_t r = static_cast<uint32_t>(fst + taken);
    const uint32_t n = static_cast<uint32_t>(nblk - taken);
    set_desc(desc(h, r), SKGMRF_FREE, n, kHead, kHead);
    link_after(h, desc(h, kHead)->prev, r);
    h->free_num++;
    h->free_siz += static_cast<size_t>(bytes(h, n));
  }
  return base;
}

// Allocates the run of chunks first..last (s blocks, adjacent, one segment)
// for b blocks. Commits before it changes anything.
void *take_run(sl_status *err, skgmrf_heap *h, uint32_t first, uint32_t last, uint32_t s,
               uint32_t b) {
  const uint32_t end = first + b;
  for (uint32_t c = first;; c = desc(h, c)->next) {
    const skgmrf_blkdesc *d = desc(h, c);
    if (d->kind == SKGMRF_FREE &&
        validate(err, h, c, std::min(d->count, end - c), 1) != 0)
      return nullptr;
    if (c == last) break;
  }
  const uint32_t prev = desc(h, first)->prev;
  const uint32_t next = desc(h, last)->next;
  const uint32_t lastkind = desc(h, last)->kind;
  for (uint32_t c = first;;) {
    skgmrf_blkdesc *d = desc(h, c);
    const uint32_t used = std::min(d->count, end - c);
    const uint32_t following = d->next;
    const bool whole = used == d->count;
    if (d->kind == SKGMRF_FREEABLE) {
      h->freeable_siz -= static_cast<size_t>(bytes(h, used));
      if (whole) h->freeable_num--;
    } else {
      h->free_siz -= static_cast<size_t>(bytes(h, used));
      if (whole) h->free_num--;
    }
    const bool done = c == last;
    if (c != first) *d = skgmrf_blkdesc{};
    if (done) break;
    c = following;
  }
  if (s == b) {
    desc(h, prev)->next = next;
    desc(h, next)->prev = prev;
  } else {
    const uint32_t r = end;
    set_desc(desc(h, r), lastkind, s - b, next, prev);
    desc(h, prev)->next = r;
    desc(h, next)->prev = r;
  }
  set_desc(desc(h, first), SKGMRF_ALLOC, b, 0, 0);
  h->inuse_num++;
  h->inuse_siz += static_cast<size_t>(bytes(h, b));
  publish(h);
  return reinterpret_cast<void *>(skgmrf_blknotoaddr(h, first));
}

// Maps unmapped segment s again and allocates its first b blocks.
void *take_unmapped(sl_status *err, skgmrf_heap *h, uint32_t s, uint32_t b) {
  skgmrf_seg &seg = h->segs[s];
  const uint32_t n = seg_nblk(h, s);
  const size_t len = static_cast<size_t>(seg.top - seg.base);
  void *p = sskgmrf_maprange(err, h->fds, nullptr, len, seg.foffs, h->blksz);
  if (p == nullptr) return nullptr;
  if (sskgmrf_validaterange(err, p, h->fds, static_cast<size_t>(bytes(h, b)), seg.foffs, 1,
                            h->flg, h->blksz) != 0) {
    sl_status scratch{};
    (void)sskgmrf_unmaprange(&scratch, p, len);
    return nullptr;
  }
  seg.base = reinterpret_cast<uintptr_t>(p);
  seg.top = seg.base + len;
  const uint32_t f = seg.fstblk;
  skgmrf_blkdesc *d = desc(h, f);
  if (b < n) {
    const uint32_t r = f + b;
    set_desc(desc(h, r), SKGMRF_FREE, n - b, d->next, d->prev);
    desc(h, d->prev)->next = r;
    desc(h, d->next)->prev = r;
    h->free_num++;
    h->free_siz += static_cast<size_t>(bytes(h, n - b));
  } else {
    unlink(h, f);
  }
  set_desc(d, SKGMRF_ALLOC, b, 0, 0);
  h->inuse_num++;
  h->inuse_siz += static_cast<size_t>(bytes(h, b));
  publish(h);
  return p;
}

// Unmaps segment s when its chunks are all free and its freeable blocks fit
// the want y (see release); adds the freeable blocks given back to *w.
// 1 unmapped, 0 passed over, -1 failed.
int release_segment(sl_status *err, skgmrf_heap *h, uint32_t s, uint64_t y, uint64_t *w) {
  if (seg_unmapped(h, s)) return 0;
  const uint32_t f = h->segs[s].fstblk;
  const uint32_t end = f + seg_nblk(h, s);
  uint64_t fb = 0;
  for (uint32_t c = f; c < end;) {
    const skgmrf_blkdesc *d = desc(h, c);
    if ((d->kind != SKGMRF_FREE && d->kind != SKGMRF_FREEABLE) || d->count == 0) return 0;
    if (d->kind == SKGMRF_FREEABLE) fb += d->count;
    c += d->count;
  }
  if (!(fb <= y || fb - y < (kSplitSlack >> h->blkshift))) return 0;
  if (sskgmrf_unmaprange(err, reinterpret_cast<void *>(h->segs[s].base),
                         static_cast<size_t>(h->segs[s].top - h->segs[s].base)) != 0)
    return -1;
  const uint32_t prev = desc(h, f)->prev;
  uint32_t next = kHead;
  for (uint32_t c = f; c < end;) {
    skgmrf_blkdesc *d = desc(h, c);
    const uint32_t cnt = d->count;
    if (d->kind == SKGMRF_FREEABLE) {
      h->freeable_num--;
      h->freeable_siz -= static_cast<size_t>(bytes(h, cnt));
    } else {
      h->free_num--;
      h->free_siz -= static_cast<size_t>(bytes(h, cnt));
    }
    next = d->next;
    *d = skgmrf_blkdesc{};
    c += cnt;
  }
  set_desc(desc(h, f), SKGMRF_UNMAPPED, end - f, next, prev);
  desc(h, prev)->next = f;
  desc(h, next)->prev = f;
  *w += fb;
  return 1;
}

}  // namespace

extern "C" uint32_t skgmrf_blknotosegno(const skgmrf_heap *h, uint32_t blk) {
  uint32_t lo = 1, hi = h->numsegs > 0 ? h->numsegs : 1;
  while (lo < hi) {
    const uint32_t mid = (lo + hi + 1) / 2;
    if (h->segs[mid].fstblk <= blk)
      lo = mid;
    else
      hi = mid - 1;
  }
  return lo;
}

extern "C" uintptr_t skgmrf_blknotoaddr(const skgmrf_heap *h, uint32_t blk) {
  const skgmrf_seg &s = h->segs[skgmrf_blknotosegno(h, blk)];
  return s.base + static_cast<uintptr_t>(bytes(h, blk - s.fstblk));
}

extern "C" uint32_t skgmrf_addrtoblkno(const skgmrf_heap *h, const void *addr) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(addr);
  for (uint32_t s = 1; s <= h->numsegs; s++) {
    const skgmrf_seg &seg = h->segs[s];
    if (seg_unmapped(h, s) || a < seg.base) continue;
    const uintptr_t i = (a - seg.base) >> h->blkshift;
    if (i >= seg_nblk(h, s)) continue;
    const uint32_t blk = seg.fstblk + static_cast<uint32_t>(i);
    return desc(h, blk)->kind == SKGMRF_UNMAPPED ? 0 : blk;
  }
  return 0;
}

extern "C" skgmrf_heap *skgmrf_create(sl_status *err, const skgm_ctx *ctx,
                                      const skgmrf_params *params, uint32_t flags) {
  err->code = 0;
  const uint32_t granule = ctx != nullptr ? ctx->protectsize : 0;
  const uint64_t req = params != nullptr ? params->blksize : 0;
  const uint64_t page = sskgmrf_pagesize();
  // Blocks are mapped one by one: a block must be whole pages and its size a
  // 32-bit power of two.
  if (ctx == nullptr || params == nullptr || granule == 0 || req % granule != 0 || req < page ||
      req > kBlkszMax) {
    fail(err, SKGM_ERR_INVALID, 0, SKGMRF_SITE_BLKSZ, static_cast<intptr_t>(granule));
    return nullptr;
  }
  skgmrf_heap l{};
  l.realm = *ctx;
  l.mag = SKGMRF_MAGIC;
  const int fd = sskgmrf_init(err);
  if (fd < 0) return nullptr;
  l.fds = fd;
  uint32_t shift = 0;
  while ((uint64_t{1} << shift) < req) shift++;
  l.blkshift = shift;
  l.blksz = uint32_t{1} << shift;
  const uint64_t maxsize = std::max<uint64_t>(params->maxsize, kMinHeapMax);
  const uint64_t w = roundup(maxsize >> shift, SKGMRF_DESCPAGE);
  l.maxblk = SKGMRF_MAXBLK;
  const uint64_t first = std::max(roundup(kFirstSegMin, l.blksz),
                                  2 * uint64_t{l.blksz} +
                                      roundup(sizeof(skgmrf_heap) + sizeof(skgmrf_blkdesc) * w,
                                              l.blksz));
  const uintptr_t a = skgmrf_extend(err, &l, first);
  if (a == 0) {
    sl_status scratch{};
    (void)sskgmrf_destroy(&scratch, fd);
    return nullptr;
  }
  auto *h = reinterpret_cast<skgmrf_heap *>(a);
  memcpy(h, &l, sizeof l);

  const uintptr_t d0 = static_cast<uintptr_t>(roundup(a + sizeof(skgmrf_heap), 8));
  const uintptr_t e = static_cast<uintptr_t>(roundup(d0 + sizeof(skgmrf_blkdesc) * w, h->blksz));
  const uint64_t pages =
      std::clamp<uint64_t>((e - d0) / kDescPageBytes, 1, SKGMRF_DESCPAGES);
  for (uint64_t i = 0; i < pages; i++)
    h->blkdstbl[i] = reinterpret_cast<skgmrf_blkdesc *>(d0 + i * kDescPageBytes);
  h->iniblk = static_cast<uint32_t>(pages * SKGMRF_DESCPAGE);
  h->segs[1].base = e;
  const uint32_t n = seg_nblk(h, 1);
  assert(n >= 1 && n < h->iniblk);
  set_desc(desc(h, 1), SKGMRF_FREE, n, kHead, kHead);
  set_desc(desc(h, kHead), SKGMRF_FREEABLE, 0, 1, 1);
  h->free_num = 1;
  h->free_siz = static_cast<size_t>(bytes(h, n));
  h->flg = (flags & SKGMRF_FLG_CALLER) | SKGMRF_FLG_TYPE;
  return h;
}

extern "C" int skgmrf_destroy(sl_status *err, skgmrf_heap *h) {
  err->code = 0;
  if (!is_heap(h)) return -1;
  for (uint32_t s = 2; s <= h->numsegs; s++)
    if (!seg_unmapped(h, s))
      (void)sskgmrf_unmaprange(err, reinterpret_cast<void *>(h->segs[s].base),
                               static_cast<size_t>(h->segs[s].top - h->segs[s].base));
  // The extra blocks of descriptor pages, each entered as a run of pages.
  const uintptr_t lo = reinterpret_cast<uintptr_t>(h), hi = h->segs[1].top;
  const uint32_t perblk = static_cast<uint32_t>(h->blksz / kDescPageBytes);
  uint32_t outside = 0;
  for (uint32_t j = 0; j < h->iniblk / SKGMRF_DESCPAGE; j++) {
    const uintptr_t p = reinterpret_cast<uintptr_t>(h->blkdstbl[j]);
    if (p >= lo && p < hi) continue;
    if (perblk != 0 && outside++ % perblk == 0)
      (void)sskgmrf_unmaprange(err, h->blkdstbl[j], h->blksz);
  }
  const int fd = h->fds;
  (void)sskgmrf_unmaprange(err, h, hi - lo);
  return sskgmrf_destroy(err, fd);
}

extern "C" void *skgmrf_alloc(sl_status *err, skgmrf_heap *h, size_t size) {
  err->code = 0;
  if (size == 0) return nullptr;
  if (!is_heap(h)) {
    fail(err, SKGM_ERR_INVALID, 0, SKGMRF_SITE_ALLOC, 0);
    return nullptr;
  }
  const uint64_t b64 = (static_cast<uint64_t>(size) + h->blksz - 1) >> h->blkshift;
  if (b64 >= h->maxblk) {   // no run, segment or growth can hold it
    warn(h, kWarnBlks);
    return nullptr;
  }
  const uint32_t b = static_cast<uint32_t>(b64);

  // First fit over the list; runs of adjacent chunks of one segment join.
  for (uint32_t e = desc(h, kHead)->next; e != kHead;) {
    const skgmrf_blkdesc *d = desc(h, e);
    if (d->kind == SKGMRF_UNMAPPED) {
      e = d->next;
      continue;
    }
    uint32_t run = d->count, last = e, n = d->next;
    if (run < b) {
      const uint32_t seg = skgmrf_blknotosegno(h, e);
      while (run < b && n != kHead && n == e + run && desc(h, n)->kind != SKGMRF_UNMAPPED &&
             skgmrf_blknotosegno(h, n) == seg) {
        run += desc(h, n)->count;
        last = n;
        n = desc(h, n)->next;
      }
    }
    if (run >= b) return take_run(err, h, e, last, run, b);
    e = n;
  }
  for (uint32_t s = 2; s <= h->numsegs; s++)
    if (seg_unmapped(h, s) && seg_nblk(h, s) >= b) return take_unmapped(err, h, s, b);

  const uintptr_t base = skgmrf_extend(err, h, bytes(h, b));
  if (base == 0) return nullptr;
  set_desc(desc(h, h->segs[h->numsegs].fstblk), SKGMRF_ALLOC, b, 0, 0);
  h->inuse_num++;
  h->inuse_siz += static_cast<size_t>(bytes(h, b));
  publish(h);
  return reinterpret_cast<void *>(base);
}

extern "C" void skgmrf_free(sl_status *err, skgmrf_heap *h, void *addr) {
  (void)err;
  if (!is_heap(h)) return;
  const uint32_t blk = skgmrf_addrtoblkno(h, addr);
  if (blk == 0 || skgmrf_blknotoaddr(h, blk) != reinterpret_cast<uintptr_t>(addr)) return;
  skgmrf_blkdesc *d = desc(h, blk);
  if (d->kind != SKGMRF_ALLOC) return;
  const uint32_t cnt = d->count;
  const size_t sz = static_cast<size_t>(bytes(h, cnt));

  uint32_t e = desc(h, kHead)->next;
  while (e != kHead && e < blk) e = desc(h, e)->next;
  const uint32_t p = desc(h, e)->prev;
  h->inuse_num--;
  h->inuse_siz -= sz;
  h->freeable_siz += sz;
  uint32_t holder = blk;
  skgmrf_blkdesc *pd = desc(h, p);
  if (p != kHead && p + pd->count == blk && pd->kind == SKGMRF_FREEABLE && same_seg(h, p, blk)) {
    pd->count += cnt;
    *d = skgmrf_blkdesc{};
    holder = p;
  } else {
    set_desc(d, SKGMRF_FREEABLE, cnt, 0, 0);
    link_after(h, p, blk);
    h->freeable_num++;
  }
  const skgmrf_blkdesc *hd = desc(h, holder);
  const uint32_t n = hd->next;
  if (n != kHead && holder + hd->count == n && desc(h, n)->kind == SKGMRF_FREEABLE &&
      same_seg(h, holder, n)) {
    absorb_next(h, holder);
    h->freeable_num--;
  }
  publish(h);
}

extern "C" int skgmrf_release(sl_status *err, skgmrf_heap *h, size_t want, size_t *released) {
  err->code = 0;
  if (released != nullptr) *released = 0;
  if (!is_heap(h)) {
    fail(err, SKGM_ERR_INVALID, 0, SKGMRF_SITE_RELEASE, 0);
    return -1;
  }
  uint64_t y = (static_cast<uint64_t>(want) + h->blksz - 1) >> h->blkshift;
  uint64_t given = 0;
  int rc = 0;
  const uint64_t slack = kSplitSlack >> h->blkshift;

  // Whole trailing segments first (segment 1 holds the heap); nothing asked,
  // nothing given, not even a clean segment.
  for (uint32_t s = h->numsegs; y > 0 && s >= 2; s--) {
    uint64_t w = 0;
    const int r = release_segment(err, h, s, y, &w);
    if (r < 0) {
      rc = -1;
      break;
    }
    if (r > 0) {
      y -= std::min(w, y);
      given += w;
    }
  }
  // Then freeable chunks, from the highest down.
  for (uint32_t m = desc(h, kHead)->prev; rc == 0 && y > 0 && m != kHead;) {
    skgmrf_blkdesc *d = desc(h, m);
    if (d->kind != SKGMRF_FREEABLE) {
      m = d->prev;
      continue;
    }
    const uint32_t a = d->count;
    uint32_t holder;
    if (a > y && a - y >= slack) {
      const uint32_t cut = static_cast<uint32_t>(y);
      const uint32_t r = m + a - cut;
      if (validate(err, h, r, cut, 0) != 0) {
        rc = -1;
        break;
      }
      d->count = a - cut;
      set_desc(desc(h, r), SKGMRF_FREE, cut, 0, 0);
      link_after(h, m, r);
      h->free_num++;
      h->freeable_siz -= static_cast<size_t>(bytes(h, cut));
      h->free_siz += static_cast<size_t>(bytes(h, cut));
      given += cut;
      y = 0;
      holder = r;
    } else {
      if (validate(err, h, m, a, 0) != 0) {
        rc = -1;
        break;
      }
      given += a;
      y -= std::min<uint64_t>(a, y);
      h->freeable_num--;
      h->freeable_siz -= static_cast<size_t>(bytes(h, a));
      h->free_siz += static_cast<size_t>(bytes(h, a));
      const uint32_t p = d->prev;
      const skgmrf_blkdesc *pd = desc(h, p);
      if (p != kHead && pd->kind == SKGMRF_FREE && p + pd->count == m && same_seg(h, p, m)) {
        absorb_next(h, p);
        holder = p;
      } else {
        d->kind = SKGMRF_FREE;
        h->free_num++;
        holder = m;
      }
    }
    const skgmrf_blkdesc *hd = desc(h, holder);
    const uint32_t n = hd->next;
    if (n != kHead && desc(h, n)->kind == SKGMRF_FREE && holder + hd->count == n &&
        same_seg(h, holder, n)) {
      absorb_next(h, holder);
      h->free_num--;
    }
    m = desc(h, holder)->prev;
  }
  if (released != nullptr) *released = static_cast<size_t>(bytes(h, given));
  publish(h);
  return rc;
}

extern "C" void skgmrf_statreg(void *a, skgmrf_heap *h, size_t *total, size_t *freeable) {
  (void)a;
  if (!is_heap(h)) return;
  if (total != nullptr) h->stat_total = total;
  if (freeable != nullptr) h->stat_freeable = freeable;
  publish(h);
}

extern "C" void skgmrf_statunreg(void *a, skgmrf_heap *h) {
  (void)a;
  if (!is_heap(h)) return;
  h->stat_total = nullptr;
  h->stat_freeable = nullptr;
}

extern "C" void skgmrf_dump(skgmrf_heap *h, int level) {
  if (h == nullptr || h->realm.ops == nullptr || h->realm.ops->trace == nullptr) return;
  void (*const tr)(void *, const char *, ...) = h->realm.ops->trace;
  void *const oc = h->realm.osdctx;
  using ul = unsigned long;
  using ui = unsigned int;
  tr(oc, " \n");
  tr(oc, "Dump of Real-Free Memory Allocator Heap [0x%08lx]\n", reinterpret_cast<ul>(h));
  tr(oc, "mag=0x%x flg=0x%x fds=0x%x blksz=%u\n", h->mag, h->flg, static_cast<ui>(h->fds),
     h->blksz);
  tr(oc, "blkdstbl=0x%08lx, iniblk=%u maxblk=%u numsegs=%u\n", reinterpret_cast<ul>(h->blkdstbl),
     h->iniblk, h->maxblk, h->numsegs);
  tr(oc, "In-use num=%u siz=%u, Freeable num=%u siz=%u, ", static_cast<ui>(h->inuse_num),
     static_cast<ui>(h->inuse_siz), static_cast<ui>(h->freeable_num),
     static_cast<ui>(h->freeable_siz));
  tr(oc, "Free num=%u siz=%u\n", static_cast<ui>(h->free_num), static_cast<ui>(h->free_siz));
  if (level < 2 || !is_heap(h)) return;
  for (uint32_t s = 1; s <= h->numsegs && s <= SKGMRF_MAXSEGS; s++) {
    const skgmrf_seg &seg = h->segs[s];
    const uint32_t n = seg_nblk(h, s);
    tr(oc, " \nSegment [%03d] --\n", static_cast<int>(s));
    tr(oc, "fstblk=%6u nblks=%u base=0x%08lx top=0x%08lx ", seg.fstblk, n,
       static_cast<ul>(seg.base), static_cast<ul>(seg.top));
    tr(oc, "foffs=%u\n", static_cast<ui>(seg.foffs));
    if (level < 6) continue;
    // An unknown descriptor steps on by the chunk before it; at a segment's
    // first block (nothing before it) or with a zero step the walk stops.
    uint32_t step = 0;
    for (uint32_t c = seg.fstblk; c < seg.fstblk + n && c < h->iniblk;) {
      const skgmrf_blkdesc *d = desc(h, c);
      tr(oc, "   blk=%6u addr=0x%08lx ", c, static_cast<ul>(skgmrf_blknotoaddr(h, c)));
      switch (d->kind) {
        case SKGMRF_ALLOC:
          tr(oc, " Alloc whole nblks=%u, totalsz=%u\n", d->count,
             static_cast<ui>(bytes(h, d->count)));
          step = d->count;
          break;
        case SKGMRF_FREEABLE:
        case SKGMRF_FREE:
        case SKGMRF_UNMAPPED:
          tr(oc, " Free cnt=%u totalsz=%u %u,%u ", d->count, static_cast<ui>(bytes(h, d->count)),
             d->prev, d->next);
          tr(oc, d->kind == SKGMRF_UNMAPPED ? "[unmapped]\n"
                 : d->kind == SKGMRF_FREE   ? "[free]\n"
                                            : "[freeable]\n");
          step = d->count;
          break;
        default:
          tr(oc, " Unknown blk type %x [%x] [%x] [%x]\n", d->kind, d->count, d->next, d->prev);
          break;
      }
      if (step == 0) break;
      c += step;
    }
  }
}
