// The real-free heap: layout at create, growth sizes read back from the
// level-2 dump, release seen by mincore and /proc/self/maps, whole segments
// unmapped and mapped again, the warnings, frees that must do nothing, the
// published statistics, and random traffic against a shadow model of the
// allocations with a full structural check after every step.
#include <gtest/gtest.h>

#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <unistd.h>

#include <algorithm>
#include <map>
#include <random>
#include <sstream>
#include <string>
#include <vector>

#include "child.h"
#include "skgm.h"
#include "skgmrf.h"
#include "trace_capture.h"

namespace {

constexpr size_t kKB = 1024;
constexpr size_t kMB = 1024 * kKB;
const size_t kPage = static_cast<size_t>(sysconf(_SC_PAGESIZE));

void no_warning(void *, const char *, ...) {}
void no_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {trace, no_warning, no_error};

skgm_ctx realm_ctx() {
  skgm_ctx c{};
  c.ops = &kOps;
  c.protectsize = static_cast<uint32_t>(kPage);
  return c;
}

const skgmrf_blkdesc &D(const skgmrf_heap *h, uint32_t n) {
  return h->blkdstbl[n / SKGMRF_DESCPAGE][n % SKGMRF_DESCPAGE];
}

uint32_t nblk(const skgmrf_heap *h, uint32_t s) {
  return static_cast<uint32_t>((h->segs[s].top - h->segs[s].base) / h->blksz);
}

bool unmapped(const skgmrf_heap *h, uint32_t s) {
  return D(h, h->segs[s].fstblk).kind == SKGMRF_UNMAPPED;
}

// Pages of [p, p + len) resident; -1 when part of it is not mapped.
long resident(const void *p, size_t len) {
  std::vector<unsigned char> v((len + kPage - 1) / kPage);
  if (mincore(const_cast<void *>(p), len, v.data()) != 0) return -1;
  long n = 0;
  for (unsigned char c : v) n += c & 1;
  return n;
}

// The protection text ("rw-p") of the mapping holding addr.
std::string protection(const void *addr) {
  FILE *f = fopen("/proc/self/maps", "r");
  if (f == nullptr) return "";
  char line[512];
  std::string out;
  // Through uintptr_t: a 32-bit pointer cast straight to a wider integer is
  // sign-extended, and an address past 2 GiB would match no line.
  const unsigned long long a = reinterpret_cast<uintptr_t>(addr);
  while (fgets(line, sizeof line, f) != nullptr) {
    unsigned long long lo = 0, hi = 0;
    char perms[8] = {};
    if (sscanf(line, "%llx-%llx %7s", &lo, &hi, perms) == 3 && a >= lo && a < hi) {
      out = perms;
      break;
    }
  }
  fclose(f);
  return out;
}

// The heap's invariants, walked independently of its code: every mapped
// segment is tiled by chunks whose first descriptor alone is set; the list is
// ascending, doubly linked and holds exactly the chunks not in use; the
// counters and the published statistics match.
void check_heap(const skgmrf_heap *h) {
  ASSERT_EQ(h->mag, SKGMRF_MAGIC);
  ASSERT_EQ(h->flg & SKGMRF_FLG_TYPEMASK, SKGMRF_FLG_TYPE);
  ASSERT_GE(h->numsegs, 1u);
  ASSERT_LE(h->numsegs, SKGMRF_MAXSEGS);
  size_t n[4] = {}, sz[4] = {};   // in use, freeable, free, unmapped
  auto slot = [](uint32_t kind) {
    return kind == SKGMRF_ALLOC ? 0 : kind == SKGMRF_FREEABLE ? 1 : kind == SKGMRF_FREE ? 2 : 3;
  };
  uint32_t expect_fst = 1;
  for (uint32_t s = 1; s <= h->numsegs; s++) {
    const skgmrf_seg &seg = h->segs[s];
    ASSERT_EQ(seg.fstblk, expect_fst) << "segment " << s;
    const uint32_t cnt = nblk(h, s);
    ASSERT_GE(cnt, 1u);
    ASSERT_LT(seg.fstblk + cnt - 1, h->iniblk);
    expect_fst = seg.fstblk + cnt;
    for (uint32_t c = seg.fstblk; c < seg.fstblk + cnt;) {
      const skgmrf_blkdesc &d = D(h, c);
      ASSERT_TRUE(d.kind == SKGMRF_ALLOC || d.kind == SKGMRF_FREEABLE || d.kind == SKGMRF_FREE ||
                  d.kind == SKGMRF_UNMAPPED)
          << "block " << c << " kind " << d.kind;
      ASSERT_GE(d.count, 1u);
      ASSERT_LE(c + d.count, seg.fstblk + cnt) << "chunk " << c << " leaves segment " << s;
      if (d.kind == SKGMRF_UNMAPPED) {
        ASSERT_EQ(d.count, cnt);
      }
      for (uint32_t i = c + 1; i < c + d.count; i++) {
        const skgmrf_blkdesc &z = D(h, i);
        ASSERT_TRUE(z.kind == 0 && z.count == 0 && z.next == 0 && z.prev == 0)
            << "stale descriptor at block " << i << " kind " << z.kind;
      }
      n[slot(d.kind)]++;
      sz[slot(d.kind)] += static_cast<size_t>(d.count) * h->blksz;
      c += d.count;
    }
  }
  for (uint32_t i = expect_fst; i < h->iniblk; i++)
    if (D(h, i).kind != 0) FAIL() << "descriptor beyond the last segment at " << i;

  size_t listed = 0;
  uint32_t prev = 0;
  ASSERT_EQ(D(h, 0).kind, SKGMRF_FREEABLE);
  for (uint32_t e = D(h, 0).next; e != 0; e = D(h, e).next) {
    ASSERT_GT(e, prev) << "list not ascending";
    ASSERT_EQ(D(h, e).prev, prev);
    ASSERT_NE(D(h, e).kind, SKGMRF_ALLOC);
    prev = e;
    ASSERT_LE(++listed, n[1] + n[2] + n[3]);
  }
  ASSERT_EQ(D(h, 0).prev, prev);
  ASSERT_EQ(listed, n[1] + n[2] + n[3]);
  ASSERT_EQ(h->inuse_num, n[0]);
  ASSERT_EQ(h->inuse_siz, sz[0]);
  ASSERT_EQ(h->freeable_num, n[1]);
  ASSERT_EQ(h->freeable_siz, sz[1]);
  ASSERT_EQ(h->free_num, n[2]);
  ASSERT_EQ(h->free_siz, sz[2]);
  if (h->stat_total != nullptr) {
    ASSERT_EQ(*h->stat_total, sz[0] + sz[1]);
  }
  if (h->stat_freeable != nullptr) {
    ASSERT_EQ(*h->stat_freeable, sz[1]);
  }
}

// Counters, segments and the descriptor pages of every block (check_heap
// sees the rest zero): equal snapshots mean a call changed nothing.
std::vector<unsigned char> snapshot(const skgmrf_heap *h) {
  constexpr size_t kPageBytes = SKGMRF_DESCPAGE * sizeof(skgmrf_blkdesc);
  const skgmrf_seg &last = h->segs[h->numsegs];
  const size_t end = last.fstblk + nblk(h, h->numsegs);
  const size_t pages = std::min<size_t>(h->iniblk, end + SKGMRF_DESCPAGE) / SKGMRF_DESCPAGE;
  const size_t head = 6 * sizeof(size_t) + sizeof h->numsegs + sizeof h->segs;
  std::vector<unsigned char> out(head + pages * kPageBytes);
  unsigned char *o = out.data();
  memcpy(o, &h->inuse_num, 6 * sizeof(size_t));
  memcpy(o + 6 * sizeof(size_t), &h->numsegs, sizeof h->numsegs);
  memcpy(o + 6 * sizeof(size_t) + sizeof h->numsegs, h->segs, sizeof h->segs);
  for (size_t i = 0; i < pages; i++) memcpy(o + head + i * kPageBytes, h->blkdstbl[i], kPageBytes);
  return out;
}

struct Heap {
  skgm_ctx ctx = realm_ctx();
  skgmrf_heap *h = nullptr;
  sl_status err{};
  Heap(size_t blksize, uint32_t flags = 0, size_t maxsize = 0) {
    g_trace.clear();
    skgmrf_params p{maxsize, blksize};
    h = skgmrf_create(&err, &ctx, &p, flags);
  }
  ~Heap() {
    if (h != nullptr) {
      sl_status e{};
      EXPECT_EQ(skgmrf_destroy(&e, h), 0);
      EXPECT_EQ(e.code, 0);
    }
  }
  void *alloc(size_t n) { return skgmrf_alloc(&err, h, n); }
  void free(void *p) { skgmrf_free(&err, h, p); }
  size_t release(size_t want) {
    size_t got = ~size_t{0};
    EXPECT_EQ(skgmrf_release(&err, h, want, &got), 0);
    EXPECT_EQ(err.code, 0);
    return got;
  }
  // Takes every clean block of segment 1, so later requests grow the heap.
  void fill_first() {
    const uint32_t n = D(h, 1).count;
    ASSERT_EQ(D(h, 1).kind, SKGMRF_FREE);
    ASSERT_EQ(alloc(static_cast<size_t>(n) * h->blksz),
              reinterpret_cast<void *>(h->segs[1].base));
  }
};

// Destroys the heap and checks that nothing of it stays mapped: its
// segments, the heap record and every descriptor page, also those growth
// added in front of later segments.
void destroy_checked(Heap &t) {
  skgmrf_heap *h = t.h;
  std::vector<std::pair<const void *, size_t>> ranges;
  ranges.emplace_back(h, h->segs[1].top - reinterpret_cast<uintptr_t>(h));
  for (uint32_t s = 2; s <= h->numsegs; s++)
    if (!unmapped(h, s))
      ranges.emplace_back(reinterpret_cast<void *>(h->segs[s].base),
                          h->segs[s].top - h->segs[s].base);
  for (uint32_t j = 0; j < h->iniblk / SKGMRF_DESCPAGE; j++)
    ranges.emplace_back(h->blkdstbl[j], SKGMRF_DESCPAGE * sizeof(skgmrf_blkdesc));
  sl_status err{};
  t.h = nullptr;
  EXPECT_EQ(skgmrf_destroy(&err, h), 0);
  EXPECT_EQ(err.code, 0);
  for (const auto &[p, len] : ranges) EXPECT_EQ(resident(p, len), -1) << p;
}

// Segment lines of a level-2 dump: (fstblk, nblks) per segment.
std::vector<std::pair<unsigned, unsigned>> dump_segments(skgmrf_heap *h) {
  g_trace.clear();
  skgmrf_dump(h, 2);
  std::vector<std::pair<unsigned, unsigned>> out;
  std::istringstream in(g_trace);
  std::string line;
  while (std::getline(in, line)) {
    unsigned f = 0, n = 0;
    if (sscanf(line.c_str(), "fstblk=%u nblks=%u", &f, &n) == 2) out.emplace_back(f, n);
  }
  return out;
}

TEST(RealFreeHeap, CreateLaysOutTheFirstSegment) {
  Heap t(64 * kKB);
  skgmrf_heap *h = t.h;
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(t.err.code, 0);
  check_heap(h);
  EXPECT_EQ(h->blksz, 64 * kKB);
  EXPECT_EQ(h->blkshift, 16u);
  EXPECT_EQ(h->flg, SKGMRF_FLG_TYPE);
  EXPECT_EQ(h->maxblk, SKGMRF_MAXBLK);
  EXPECT_EQ(h->numsegs, 1u);
  // 1 GB of 64 KB blocks: 16384 descriptors right after the heap; the pages
  // reach up to the first block.
  const auto heap = reinterpret_cast<uintptr_t>(h);
  const auto d0 = reinterpret_cast<uintptr_t>(h->blkdstbl[0]);
  EXPECT_EQ(d0, (heap + sizeof *h + 7) & ~uintptr_t{7});
  EXPECT_EQ(h->iniblk, (h->segs[1].base - d0) / (16 * kKB) * 1024);
  EXPECT_GE(h->iniblk, 16384u);
  for (uint32_t i = 1; i < h->iniblk / 1024; i++)
    EXPECT_EQ(reinterpret_cast<uintptr_t>(h->blkdstbl[i]), d0 + i * 16 * kKB);
  EXPECT_EQ(h->blkdstbl[h->iniblk / 1024], nullptr);
  EXPECT_EQ(h->segs[1].base % h->blksz, 0u);
  EXPECT_EQ(h->segs[1].base, (reinterpret_cast<uintptr_t>(h->blkdstbl[0]) + 16 * 16384 +
                              h->blksz - 1) & ~uintptr_t{h->blksz - 1});
  EXPECT_EQ(h->segs[1].fstblk, 1u);
  EXPECT_EQ(h->segs[1].foffs, 0u);
  EXPECT_EQ(D(h, 0).kind, SKGMRF_FREEABLE);
  EXPECT_EQ(D(h, 0).next, 1u);
  EXPECT_EQ(D(h, 1).count, nblk(h, 1));
  EXPECT_EQ(h->free_num, 1u);
  EXPECT_EQ(h->free_siz, nblk(h, 1) * h->blksz);
  EXPECT_EQ(h->realm.ops, &kOps);
}

TEST(RealFreeHeap, BlockSizeIsCheckedAndRoundedUp) {
  const uint32_t g = static_cast<uint32_t>(kPage);
  struct Case {
    size_t req;
    size_t blksz;   // 0: refused
  } cases[] = {
      {3 * kPage, 4 * kPage}, {kPage, kPage}, {5 * kPage, 8 * kPage},
      {kPage + 1, 0},          {kPage / 2, 0}, {0, 0},
  };
  for (const Case &c : cases) {
    Heap t(c.req, 0x12345678);
    if (c.blksz == 0) {
      EXPECT_EQ(t.h, nullptr) << c.req;
      EXPECT_EQ(t.err.code, SKGM_ERR_INVALID);
      EXPECT_EQ(t.err.oserr, 0);
      EXPECT_EQ(t.err.detail[0], SKGMRF_SITE_BLKSZ);
      EXPECT_EQ(t.err.detail[1], static_cast<intptr_t>(g));
    } else {
      ASSERT_NE(t.h, nullptr) << c.req;
      EXPECT_EQ(t.h->blksz, c.blksz);
      EXPECT_EQ(t.h->flg, 0x05345678u);   // the caller's low 24 bits kept
      check_heap(t.h);
    }
  }
}

TEST(RealFreeHeap, AllocationsTakeWholeBlocks) {
  Heap t(128 * kKB);
  ASSERT_NE(t.h, nullptr);
  t.err.code = 99;
  EXPECT_EQ(t.alloc(0), nullptr);
  EXPECT_EQ(t.err.code, 0);
  void *one = t.alloc(1);
  ASSERT_NE(one, nullptr);
  EXPECT_EQ(t.h->inuse_siz, 128 * kKB);
  void *two = t.alloc(128 * kKB + 1);
  ASSERT_NE(two, nullptr);
  EXPECT_EQ(t.h->inuse_siz, 3 * 128 * kKB);
  // Blocks above 64 KB are aligned to their size.
  EXPECT_EQ(reinterpret_cast<uintptr_t>(one) % (128 * kKB), 0u);
  EXPECT_EQ(reinterpret_cast<uintptr_t>(two) % (128 * kKB), 0u);
  memset(two, 0x5A, 2 * 128 * kKB);
  check_heap(t.h);
}

TEST(RealFreeHeap, GrowthSizesFromTheLevelTwoDump) {
  Heap t(64 * kKB);
  ASSERT_NE(t.h, nullptr);
  while (t.h->numsegs < 13) ASSERT_NE(t.alloc(64 * kKB), nullptr);
  check_heap(t.h);
  const auto segs = dump_segments(t.h);
  ASSERT_EQ(segs.size(), 13u);
  const unsigned kb[] = {512, 1024, 1024, 2048, 2048, 4096, 4096, 8192, 8192, 16384, 16384, 16384};
  for (size_t i = 1; i < segs.size(); i++) {
    EXPECT_EQ(segs[i].second, kb[i - 1] / 64) << "segment " << i + 1;
    EXPECT_EQ(segs[i].first, segs[i - 1].first + segs[i - 1].second);
  }
  // The level-0 lines, exactly.
  g_trace.clear();
  skgmrf_dump(t.h, 0);
  char want[1024];
  snprintf(want, sizeof want,
           " \nDump of Real-Free Memory Allocator Heap [0x%08lx]\n"
           "mag=0xfefe0001 flg=0x5000000 fds=0x%x blksz=65536\n"
           "blkdstbl=0x%08lx, iniblk=%u maxblk=262144 numsegs=13\n"
           "In-use num=%u siz=%u, Freeable num=0 siz=0, Free num=%u siz=%u\n",
           reinterpret_cast<unsigned long>(t.h), static_cast<unsigned>(t.h->fds),
           reinterpret_cast<unsigned long>(t.h->blkdstbl), t.h->iniblk,
           static_cast<unsigned>(t.h->inuse_num),
           static_cast<unsigned>(t.h->inuse_siz), static_cast<unsigned>(t.h->free_num),
           static_cast<unsigned>(t.h->free_siz));
  EXPECT_EQ(g_trace, want);
}

TEST(RealFreeHeap, ALargeRequestSizesItsSegment) {
  Heap t(64 * kKB);
  ASSERT_NE(t.h, nullptr);
  t.fill_first();
  void *p = t.alloc(2 * kMB + 1);
  ASSERT_NE(p, nullptr);
  EXPECT_EQ(p, reinterpret_cast<void *>(t.h->segs[2].base));
  const auto segs = dump_segments(t.h);
  ASSERT_EQ(segs.size(), 2u);
  EXPECT_EQ(segs[1].second, 33u);
  EXPECT_EQ(t.h->inuse_siz, (nblk(t.h, 1) + 33) * 64 * kKB);
  check_heap(t.h);
  // The next segment follows the table again: 1 MB.
  ASSERT_NE(t.alloc(64 * kKB), nullptr);
  EXPECT_EQ(nblk(t.h, 3), 16u);
}

TEST(RealFreeHeap, ReleaseGivesPagesBackInPlace) {
  const size_t B = 64 * kKB;
  Heap t(B);
  ASSERT_NE(t.h, nullptr);
  size_t total = 0, freeable = 0;
  skgmrf_statreg(nullptr, t.h, &total, &freeable);
  t.fill_first();
  char *a = static_cast<char *>(t.alloc(40 * B));   // segment 2, exactly 40 blocks
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(nblk(t.h, 2), 40u);
  memset(a, 0xA5, 40 * B);
  EXPECT_EQ(resident(a, 40 * B), static_cast<long>(40 * B / kPage));
  t.free(a);
  char *keep = static_cast<char *>(t.alloc(B));     // takes the freeable chunk's first block
  ASSERT_EQ(keep, a);
  EXPECT_EQ(keep[0], static_cast<char>(0xA5));      // freeable pages keep their contents
  memset(keep, 0x3C, B);
  EXPECT_EQ(freeable, 39 * B);
  EXPECT_EQ(total, t.h->inuse_siz + 39 * B);
  check_heap(t.h);

  // 2 blocks asked of a 39-block chunk: only its tail goes.
  EXPECT_EQ(t.release(2 * B), 2 * B);
  EXPECT_EQ(resident(a + 38 * B, 2 * B), 0);
  EXPECT_EQ(resident(a + B, 37 * B), static_cast<long>(37 * B / kPage));
  EXPECT_EQ(freeable, 37 * B);
  check_heap(t.h);
  // 35 asked of 37: a remainder under 256 KB is not split off.
  EXPECT_EQ(t.release(35 * B), 37 * B);
  EXPECT_EQ(resident(a + B, 39 * B), 0);
  EXPECT_EQ(a[38 * B], 0);   // fresh zero-fill pages
  EXPECT_EQ(freeable, 0u);
  EXPECT_EQ(t.h->free_num, 1u);   // the released chunk merged with the clean tail
  check_heap(t.h);
  for (size_t i = 0; i < B; i++) ASSERT_EQ(keep[i], 0x3C);

  // Nothing asked, nothing given.
  t.free(keep);
  EXPECT_EQ(t.release(0), 0u);
  EXPECT_EQ(freeable, B);
  EXPECT_EQ(resident(keep, B), static_cast<long>(B / kPage));
  skgmrf_statunreg(nullptr, t.h);
  ASSERT_NE(t.alloc(B), nullptr);
  EXPECT_EQ(freeable, B);   // no longer published
}

// The 256 KB slack at its edges (4 blocks of 64 KB). A segment of 40
// blocks, all freeable, or all but its first block (in use).
TEST(RealFreeHeap, ReleaseSlackEdges) {
  const size_t B = 64 * kKB;
  struct Case {
    bool keep;        // first block in use: the segment cannot go
    size_t want;      // blocks asked
    size_t given;     // blocks released
    bool gone;        // segment unmapped
  } cases[] = {
      {false, 37, 40, true},    // 3 over: under the slack, the segment goes
      {false, 36, 36, false},   // 4 over: kept, the chunk's tail goes
      {true, 35, 35, false},    // 39 - 35 = 4: the tail alone
      {true, 36, 39, false},    // 39 - 36 = 3: the whole chunk
      {true, 39, 39, false},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(testing::Message() << "keep " << c.keep << " want " << c.want);
    Heap t(B);
    ASSERT_NE(t.h, nullptr);
    t.fill_first();
    char *a = static_cast<char *>(t.alloc(40 * B));
    ASSERT_EQ(nblk(t.h, 2), 40u);
    t.free(a);
    if (c.keep) {
      ASSERT_EQ(t.alloc(B), a);
    }
    EXPECT_EQ(t.release(c.want * B), c.given * B);
    EXPECT_EQ(unmapped(t.h, 2), c.gone);
    check_heap(t.h);
  }
}

TEST(RealFreeHeap, ReleasedRangesCanHaveNoAccess) {
  const size_t B = 64 * kKB;
  Heap t(B, SKGMRF_FLG_NOACCESS);
  ASSERT_NE(t.h, nullptr);
  EXPECT_EQ(t.h->flg, SKGMRF_FLG_TYPE | SKGMRF_FLG_NOACCESS);
  t.fill_first();
  char *a = static_cast<char *>(t.alloc(4 * B));   // segment 2: 8 blocks
  char *b = static_cast<char *>(t.alloc(B));       // keeps it from being unmapped
  ASSERT_NE(a, nullptr);
  ASSERT_EQ(b, a + 4 * B);
  memset(a, 1, 4 * B);
  EXPECT_EQ(protection(a), "rw-p");
  t.free(a);
  EXPECT_EQ(t.release(4 * B), 4 * B);
  EXPECT_EQ(protection(a), "---p");
  EXPECT_EQ(protection(a + 3 * B), "---p");
  EXPECT_EQ(protection(b), "rw-p");
  char *again = static_cast<char *>(t.alloc(4 * B));   // committed again: usable
  ASSERT_EQ(again, a);
  EXPECT_EQ(protection(a), "rw-p");
  memset(again, 2, 4 * B);
  check_heap(t.h);
}

TEST(RealFreeHeap, WholeSegmentRelease) {
  const size_t B = 64 * kKB;
  Heap t(B);
  ASSERT_NE(t.h, nullptr);
  t.fill_first();
  char *a = static_cast<char *>(t.alloc(40 * B));
  ASSERT_NE(a, nullptr);
  memset(a, 7, 40 * B);
  t.free(a);
  const size_t clean_before = t.h->free_siz;
  // 40 freeable blocks, 38 asked: 2 over, under 256 KB: the segment goes.
  EXPECT_EQ(t.release(38 * B), 40 * B);
  EXPECT_TRUE(unmapped(t.h, 2));
  EXPECT_EQ(resident(a, 40 * B), -1);   // no longer mapped
  EXPECT_EQ(errno, ENOMEM);
  EXPECT_EQ(t.h->freeable_siz, 0u);
  EXPECT_EQ(t.h->free_siz, clean_before);
  check_heap(t.h);
  // A foreign address now: the old range maps to no block.
  EXPECT_EQ(skgmrf_addrtoblkno(t.h, a), 0u);
  // The next allocation that fits maps it again.
  char *b = static_cast<char *>(t.alloc(10 * B));
  ASSERT_NE(b, nullptr);
  EXPECT_EQ(t.h->numsegs, 2u);
  EXPECT_FALSE(unmapped(t.h, 2));
  EXPECT_EQ(b, reinterpret_cast<char *>(t.h->segs[2].base));
  EXPECT_EQ(b[0], 0);
  memset(b, 9, 10 * B);
  EXPECT_EQ(D(t.h, t.h->segs[2].fstblk + 10).kind, SKGMRF_FREE);
  EXPECT_EQ(D(t.h, t.h->segs[2].fstblk + 10).count, 30u);
  check_heap(t.h);
  // Too big for it: the heap grows instead.
  ASSERT_NE(t.alloc(41 * B), nullptr);
  EXPECT_EQ(t.h->numsegs, 3u);
  check_heap(t.h);
}

TEST(RealFreeHeap, WarningTwoWhenBlocksRunOut) {
  struct Case {
    size_t blksz;
    size_t request;
  } cases[] = {
      // 8 KB blocks cannot hold a descriptor page: the table never grows.
      {8 * kKB, 131072 * 8 * kKB},
      // 16 KB blocks: one extra block adds 1024 descriptors, not enough.
      {16 * kKB, 70000 * 16 * kKB},
      // past the table's capacity
      {16 * kKB, (SKGMRF_MAXBLK - 1) * 16 * kKB},
  };
  for (const Case &c : cases) {
    Heap t(c.blksz);
    ASSERT_NE(t.h, nullptr);
    const auto before = snapshot(t.h);
    g_trace.clear();
    EXPECT_EQ(t.alloc(c.request), nullptr);
    EXPECT_EQ(t.err.code, 0);
    EXPECT_EQ(g_trace, "WARNING: out of private memory [2]\n");
    EXPECT_EQ(snapshot(t.h), before);
    check_heap(t.h);
  }
}

// Descriptor growth needs more than 1 GB of address space.
TEST(RealFreeHeap, DescriptorsGrowWithTheHeap) {
  if (sizeof(void *) < 8) GTEST_SKIP() << "needs a 64-bit address space";
  const size_t B = 64 * kKB;
  Heap t(B);
  ASSERT_NE(t.h, nullptr);
  const uint32_t ini = t.h->iniblk;
  const size_t len = size_t{ini} * B;
  char *a = static_cast<char *>(t.alloc(len));   // reaches past the table
  ASSERT_NE(a, nullptr);
  EXPECT_EQ(t.h->iniblk, ini + 4 * 1024);   // 64 KB: four pages in the extra block
  for (uint32_t j = 0; j < 4; j++)
    EXPECT_EQ(reinterpret_cast<uintptr_t>(t.h->blkdstbl[ini / 1024 + j]),
              t.h->segs[2].base - B + j * 16 * kKB);
  a[0] = 1;
  a[len - 1] = 2;
  check_heap(t.h);
  void *b = t.alloc(B);
  ASSERT_NE(b, nullptr);
  t.free(a);
  EXPECT_EQ(t.release(len), len);
  EXPECT_TRUE(unmapped(t.h, 2));
  check_heap(t.h);   // the descriptors of segment 2 survive its unmapping
  t.free(b);
  check_heap(t.h);
  destroy_checked(t);
}

// Only one large segment is mapped at a time: both widths.
TEST(RealFreeHeap, WarningOneAfterTwoHundredFiftyFiveSegments) {
  const size_t B = kMB;
  Heap t(B);
  ASSERT_NE(t.h, nullptr);
  const uint32_t ini = t.h->iniblk;
  // Each request outgrows every segment given back before it.
  for (size_t k = 1; t.h->numsegs < SKGMRF_MAXSEGS; k++) {
    void *p = t.alloc((256 + k) * B);
    ASSERT_NE(p, nullptr) << "segment " << t.h->numsegs + 1;
    t.free(p);
    ASSERT_EQ(t.release((256 + k) * B), (256 + k) * B);
  }
  check_heap(t.h);
  g_trace.clear();
  EXPECT_EQ(t.alloc(600 * B), nullptr);
  EXPECT_EQ(t.err.code, 0);
  EXPECT_EQ(g_trace, "WARNING: out of private memory [1]\n");
  // What fits an unmapped segment still works.
  EXPECT_NE(t.alloc(300 * B), nullptr);
  check_heap(t.h);
  EXPECT_GT(t.h->iniblk, ini);   // growth added descriptor pages on the way
  destroy_checked(t);
}

TEST(RealFreeHeap, FreesThatMustDoNothing) {
  const size_t B = 64 * kKB;
  Heap t(B);
  Heap other(B);
  ASSERT_NE(t.h, nullptr);
  ASSERT_NE(other.h, nullptr);
  t.fill_first();
  char *a = static_cast<char *>(t.alloc(2 * B));
  char *b = static_cast<char *>(t.alloc(2 * B));
  char *c = static_cast<char *>(t.alloc(4 * B));
  ASSERT_EQ(b, a + 2 * B);
  ASSERT_EQ(c, b + 2 * B);
  t.free(a);
  t.free(b);   // merges into a's chunk; its descriptor is cleared
  EXPECT_EQ(D(t.h, 0).next, t.h->segs[2].fstblk);
  EXPECT_EQ(D(t.h, t.h->segs[2].fstblk).count, 4u);
  check_heap(t.h);
  int local = 0;
  void *foreign_heap = other.alloc(B);
  std::vector<char> vec(16);
  const char *const nowhere = reinterpret_cast<const char *>(t.h->segs[t.h->numsegs].top);
  struct Case {
    const char *what;
    const void *addr;
  } cases[] = {
      {"double free", a},
      {"free of a merged chunk", b},
      {"interior block", c + B},
      {"interior byte", c + 1},
      {"last byte", c + 4 * B - 1},
      {"the heap record", t.h},
      {"a descriptor page", t.h->blkdstbl[0]},
      {"past the last segment", nowhere},
      {"past the first segment", reinterpret_cast<const void *>(t.h->segs[1].top)},
      {"the stack", &local},
      {"the C heap", vec.data()},
      {"another heap", foreign_heap},
      {"NULL", nullptr},
  };
  for (const Case &k : cases) {
    const auto before = snapshot(t.h);
    t.free(const_cast<void *>(k.addr));
    EXPECT_EQ(snapshot(t.h), before) << k.what;
  }
  check_heap(t.h);

  // A run of a freeable and a clean chunk allocated as one: the clean
  // chunk's old start is interior now.
  t.free(c);
  const uint32_t f = t.h->segs[2].fstblk;
  ASSERT_EQ(D(t.h, f).count, 8u);
  EXPECT_EQ(t.release(2 * B), 2 * B);   // 6 over is above 256 KB: only the tail goes
  ASSERT_EQ(D(t.h, f).kind, SKGMRF_FREEABLE);
  ASSERT_EQ(D(t.h, f).count, 6u);
  ASSERT_EQ(D(t.h, f + 6).kind, SKGMRF_FREE);
  check_heap(t.h);
  char *run = static_cast<char *>(t.alloc(8 * B));   // joins the two
  ASSERT_EQ(run, a);
  EXPECT_EQ(D(t.h, f + 6).kind, 0u);
  run[8 * B - 1] = 1;   // the clean part was committed
  const auto before = snapshot(t.h);
  t.free(run + 6 * B);
  EXPECT_EQ(snapshot(t.h), before);
  check_heap(t.h);
}

TEST(RealFreeHeap, CallsOnSomethingElse) {
  skgmrf_heap fake{};
  sl_status err{};
  EXPECT_EQ(skgmrf_alloc(&err, &fake, 10), nullptr);
  EXPECT_EQ(err.code, SKGM_ERR_INVALID);
  EXPECT_EQ(err.detail[0], SKGMRF_SITE_ALLOC);
  EXPECT_EQ(err.detail[1], 0);
  size_t got = 5;
  err = sl_status{};
  EXPECT_EQ(skgmrf_release(&err, &fake, 10, &got), -1);
  EXPECT_EQ(got, 0u);
  EXPECT_EQ(err.code, SKGM_ERR_INVALID);
  EXPECT_EQ(err.detail[0], SKGMRF_SITE_RELEASE);
  err = sl_status{};
  EXPECT_EQ(skgmrf_destroy(&err, &fake), -1);
  EXPECT_EQ(err.code, 0);
  skgmrf_free(&err, &fake, &fake);
  fake.mag = SKGMRF_MAGIC;   // the right magic but not the type bits
  EXPECT_EQ(skgmrf_alloc(&err, &fake, 10), nullptr);
  EXPECT_EQ(err.code, SKGM_ERR_INVALID);
  EXPECT_EQ(skgmrf_alloc(&err, nullptr, 10), nullptr);
  EXPECT_EQ(err.code, SKGM_ERR_INVALID);
}

TEST(RealFreeHeap, DumpShowsEveryKindOfChunk) {
  const size_t B = 64 * kKB;
  Heap t(B);
  ASSERT_NE(t.h, nullptr);
  t.fill_first();
  char *a = static_cast<char *>(t.alloc(2 * B));   // segment 2: 8 blocks
  char *b = static_cast<char *>(t.alloc(B));
  t.free(a);
  char *c = static_cast<char *>(t.alloc(40 * B));  // segment 3: exactly 40
  t.free(c);
  EXPECT_EQ(t.release(40 * B), 40 * B);            // segment 3 unmapped
  (void)b;
  g_trace.clear();
  skgmrf_dump(t.h, 6);
  const uint32_t f2 = t.h->segs[2].fstblk, f3 = t.h->segs[3].fstblk;
  char want[256];
  snprintf(want, sizeof want, "   blk=%6u addr=0x%08lx  Free cnt=2 totalsz=131072 0,%u [freeable]\n",
           f2, static_cast<unsigned long>(t.h->segs[2].base), f2 + 3);
  EXPECT_NE(g_trace.find(want), std::string::npos) << g_trace;
  snprintf(want, sizeof want, "   blk=%6u addr=0x%08lx  Alloc whole nblks=1, totalsz=65536\n",
           f2 + 2, static_cast<unsigned long>(t.h->segs[2].base + 2 * B));
  EXPECT_NE(g_trace.find(want), std::string::npos) << g_trace;
  snprintf(want, sizeof want, " Free cnt=5 totalsz=327680 %u,%u [free]\n", f2, f3);
  EXPECT_NE(g_trace.find(want), std::string::npos) << g_trace;
  snprintf(want, sizeof want, " Free cnt=40 totalsz=2621440 %u,0 [unmapped]\n", f2 + 3);
  EXPECT_NE(g_trace.find(want), std::string::npos) << g_trace;
  EXPECT_NE(g_trace.find(" \nSegment [003] --\n"), std::string::npos);
  // An unknown kind at a segment's first block ends that segment's walk.
  skgmrf_blkdesc saved = t.h->blkdstbl[f2 / 1024][f2 % 1024];
  t.h->blkdstbl[f2 / 1024][f2 % 1024].kind = 0x99;
  g_trace.clear();
  skgmrf_dump(t.h, 6);
  EXPECT_NE(g_trace.find(" Unknown blk type 99 [2] ["), std::string::npos);
  t.h->blkdstbl[f2 / 1024][f2 % 1024] = saved;
}

// Random traffic against a model of the live allocations: no overlap, every
// allocation intact until freed, counters and statistics right, releases
// giving back what they report, and the structure whole after each step.
// Adds to *unmaps and *remaps the segments given back and mapped again.
void random_traffic(size_t blksz, uint32_t flags, unsigned seed, int steps, uint32_t *unmaps,
                    uint32_t *remaps) {
  Heap t(blksz, flags);
  ASSERT_NE(t.h, nullptr);
  size_t total = 0, freeable = 0;
  skgmrf_statreg(nullptr, t.h, &total, &freeable);
  std::mt19937 rng(seed);
  struct Live {
    size_t len;
    unsigned char fill;
  };
  std::map<char *, Live> live;
  uint32_t unmapped_now = 0, seen_unmap = 0, seen_remap = 0;
  auto pick = [&]() {
    auto it = live.begin();
    std::advance(it, std::uniform_int_distribution<size_t>(0, live.size() - 1)(rng));
    return it;
  };
  // A byte of each page and the last byte carry an allocation's mark.
  const size_t stride = kPage;
  auto mark = [&](char *p, const Live &l) {
    for (size_t off = 0; off < l.len; off += stride) p[off] = static_cast<char>(l.fill);
    p[l.len - 1] = static_cast<char>(l.fill);
  };
  auto intact = [&](char *p, const Live &l) {
    for (size_t off = 0; off < l.len; off += stride)
      if (static_cast<unsigned char>(p[off]) != l.fill) return false;
    return static_cast<unsigned char>(p[l.len - 1]) == l.fill;
  };
  for (int step = 0; step < steps; step++) {
    const int op = std::uniform_int_distribution<int>(0, 99)(rng);
    if (op < 45 || live.empty()) {
      const size_t maxblocks = op % 5 == 0 ? 64 : 6;
      const size_t len =
          std::uniform_int_distribution<size_t>(1, maxblocks * blksz)(rng);
      char *p = static_cast<char *>(t.alloc(len));
      ASSERT_NE(p, nullptr) << "step " << step;
      ASSERT_EQ(t.err.code, 0);
      const uint32_t blk = skgmrf_addrtoblkno(t.h, p);
      ASSERT_NE(blk, 0u);
      ASSERT_EQ(skgmrf_blknotoaddr(t.h, blk), reinterpret_cast<uintptr_t>(p));
      const size_t rounded = (len + blksz - 1) / blksz * blksz;
      ASSERT_EQ(D(t.h, blk).count * blksz, rounded);
      auto next = live.lower_bound(p);
      if (next != live.end()) {
        ASSERT_LE(p + rounded, next->first) << "overlap";
      }
      if (next != live.begin()) {
        auto prev = std::prev(next);
        ASSERT_LE(prev->first + (prev->second.len + blksz - 1) / blksz * blksz, p) << "overlap";
      }
      const unsigned char fill = static_cast<unsigned char>(step | 1);
      live[p] = Live{len, fill};
      mark(p, live[p]);
    } else if (op < 80) {
      auto it = pick();
      ASSERT_TRUE(intact(it->first, it->second)) << "step " << step;
      char *p = it->first;
      const size_t len = it->second.len;
      live.erase(it);
      t.free(p);
      if (op % 3 == 0) {   // frees that must do nothing
        const auto before = snapshot(t.h);
        t.free(p);
        if (len > blksz) t.free(p + blksz);
        t.free(p + 1);
        ASSERT_EQ(snapshot(t.h), before) << "step " << step;
      }
    } else {
      const size_t want = std::uniform_int_distribution<size_t>(0, 48 * blksz)(rng);
      const size_t f = t.h->freeable_siz;
      const size_t got = t.release(want);
      const size_t y = (want + blksz - 1) / blksz * blksz;
      ASSERT_EQ(t.h->freeable_siz, f - got) << "step " << step;
      ASSERT_GE(got, std::min(y, f));
      ASSERT_EQ(got % blksz, 0u);
    }
    check_heap(t.h);
    if (testing::Test::HasFatalFailure()) return;
    uint32_t nun = 0;
    for (uint32_t s = 2; s <= t.h->numsegs; s++) nun += unmapped(t.h, s);
    if (nun > unmapped_now) seen_unmap++;
    if (nun < unmapped_now) seen_remap++;
    unmapped_now = nun;
    size_t inuse = 0;
    for (const auto &[p, l] : live) inuse += (l.len + blksz - 1) / blksz * blksz;
    ASSERT_EQ(t.h->inuse_num, live.size());
    ASSERT_EQ(t.h->inuse_siz, inuse);
    ASSERT_EQ(total, inuse + freeable);
  }
  for (const auto &[p, l] : live) ASSERT_TRUE(intact(p, l));
  *unmaps += seen_unmap;
  *remaps += seen_remap;
}

TEST(RealFreeHeap, RandomTrafficAgainstAModel) {
  struct Case {
    size_t blksz;
    uint32_t flags;
  } cases[] = {{64 * kKB, 0}, {16 * kKB, SKGMRF_FLG_NOACCESS}, {256 * kKB, 0}, {kPage, 0}};
  for (const Case &c : cases) {
    uint32_t unmaps = 0, remaps = 0;
    for (unsigned seed = 1; seed <= 3; seed++) {
      SCOPED_TRACE(testing::Message() << "blksz " << c.blksz << " seed " << seed);
      random_traffic(c.blksz, c.flags, seed, 500, &unmaps, &remaps);
      if (testing::Test::HasFatalFailure()) return;
    }
    // The traffic reached whole segments given back and mapped again.
    EXPECT_GT(unmaps, 0u) << c.blksz;
    EXPECT_GT(remaps, 0u) << c.blksz;
  }
}

TEST(RealFreeHeap, DestroyUnmapsEverything) {
  const size_t B = 64 * kKB;
  skgm_ctx ctx = realm_ctx();
  skgmrf_params p{0, B};
  sl_status err{};
  skgmrf_heap *h = skgmrf_create(&err, &ctx, &p, 0);
  ASSERT_NE(h, nullptr);
  void *a = skgmrf_alloc(&err, h, 3 * kMB);
  ASSERT_NE(a, nullptr);
  const int fd = h->fds;
  const uintptr_t seg1 = reinterpret_cast<uintptr_t>(h);
  const size_t seg1len = h->segs[1].top - seg1;
  EXPECT_EQ(skgmrf_destroy(&err, h), 0);
  EXPECT_EQ(err.code, 0);
  EXPECT_EQ(resident(a, 3 * kMB), -1);
  EXPECT_EQ(resident(reinterpret_cast<void *>(seg1), seg1len), -1);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);   // /dev/zero closed
}

// The alignment switch is process-wide: each case runs in a child.
TEST(RealFreeHeap, LargePageRefusalEndsAlignment) {
#ifdef QEN_TEST_HOOKS
  struct Case {
    int errnum;
    int after;
  } cases[] = {{EINVAL, SKGMRF_ALGN_OFF}, {EAGAIN, SKGMRF_ALGN_ON}};
  for (const Case &c : cases) {
    IN_CHILD({
      qen_rf_advise_errno = c.errnum;
      skgm_ctx ctx = realm_ctx();
      skgmrf_params p{0, 256 * kKB};
      sl_status err{};
      skgmrf_heap *h = skgmrf_create(&err, &ctx, &p, 0);
      CHILD_CHECK(h != nullptr);
      CHILD_CHECK(sskgmrf_algn_flags == SKGMRF_ALGN_ON);
      void *a = skgmrf_alloc(&err, h, 256 * kKB);
      CHILD_CHECK(a != nullptr && reinterpret_cast<uintptr_t>(a) % (256 * kKB) == 0);
      CHILD_CHECK(sskgmrf_algn_flags == c.after);
      memset(a, 1, 256 * kKB);
      void *b = skgmrf_alloc(&err, h, 4 * kMB);   // mapped without over-mapping when off
      CHILD_CHECK(b != nullptr);
      memset(b, 1, 4 * kMB);
      CHILD_CHECK(skgmrf_destroy(&err, h) == 0);
    });
  }
#else
  GTEST_SKIP() << "test hooks not built";
#endif
}

}  // namespace

namespace {

TEST(RealFreeHeap, SystemRefusalsAreRecorded) {
  // No descriptor left for /dev/zero.
  IN_CHILD({
    struct rlimit rl = {0, 0};
    CHILD_CHECK(setrlimit(RLIMIT_NOFILE, &rl) == 0);
    skgm_ctx ctx = realm_ctx();
    skgmrf_params p{0, 64 * kKB};
    sl_status err{};
    CHILD_CHECK(skgmrf_create(&err, &ctx, &p, 0) == nullptr);
    CHILD_CHECK(err.code == SKGM_ERR_INVALID && err.oserr == EMFILE);
    CHILD_CHECK(err.detail[0] == SKGMRF_SITE_OPEN && err.detail[1] == 0);
  });
  // No room for a new segment: 27102, and nothing changes. In 64 bits an
  // address-space limit refuses it (not under AddressSanitizer, whose shadow
  // needs the space); in 32 bits no hole holds 3.5 GB.
#if defined(__SANITIZE_ADDRESS__)
  if (sizeof(void *) == 8) GTEST_SKIP() << "no address-space limit under AddressSanitizer";
#endif
  IN_CHILD({
    const size_t blksz = sizeof(void *) == 8 ? 64 * kKB : kMB;
    const size_t len = sizeof(void *) == 8 ? 256 * kMB : 3584 * kMB;
    skgm_ctx ctx = realm_ctx();
    skgmrf_params p{0, blksz};
    sl_status err{};
    skgmrf_heap *h = skgmrf_create(&err, &ctx, &p, 0);
    CHILD_CHECK(h != nullptr);
    const auto before = snapshot(h);
    if (sizeof(void *) == 8) {
      size_t pages = 0;
      if (FILE *f = fopen("/proc/self/statm", "r")) {
        if (fscanf(f, "%zu", &pages) != 1) pages = 0;
        fclose(f);
      }
      struct rlimit rl;
      rl.rlim_cur = rl.rlim_max = pages * kPage + 32 * kMB;
      CHILD_CHECK(setrlimit(RLIMIT_AS, &rl) == 0);
    }
    CHILD_CHECK(skgmrf_alloc(&err, h, len) == nullptr);
    CHILD_CHECK(err.code == SKGM_ERR_NOMEM && err.oserr == ENOMEM);
    CHILD_CHECK(err.detail[0] == SKGMRF_SITE_MAP);
    CHILD_CHECK(err.detail[1] == static_cast<intptr_t>(len));
    CHILD_CHECK(snapshot(h) == before);
  });
}

}  // namespace
