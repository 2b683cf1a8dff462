// The real-free heap: a process-private allocator of large, block-aligned
// ranges of memory that can give pages back to the system while it lives.
// Memory is mapped from /dev/zero in segments; every block has a descriptor
// in the heap's own table. A chunk is in use (allocated), freeable (freed,
// still holding pages) or free (clean pages the system does not back); a
// release turns freeable chunks into clean mappings in place, or unmaps a
// whole trailing segment.
//
// Records (process-private; none meets a file or another process, the
// layouts below are fixed per width all the same):
//   skgmrf_params   create's input: maximum heap size, requested block size.
//   skgmrf_heap     the heap context; it lives at the start of segment 1,
//                   followed by the initial descriptor pages and the blocks.
//   skgmrf_seg      one mapped range of blocks (segments 1..numsegs).
//   skgmrf_blkdesc  one per block; only a chunk's first block holds one
//                   (every other descriptor is zero). Block 0 is the head of
//                   the free list: circular, doubly linked, ascending block
//                   numbers, holding every chunk that is not in use.
//
// Errors: the calls that can fail clear the status code on entry and store
// code (27102 out of memory, 27103 otherwise), errno and details 1 and 2
// (a site number and a value). Running out of blocks or segments writes a
// warning through the realm context's trace callback, fails the allocation
// and leaves the status clear.
//
// Sound behaviour on bad input: a free acts only on the exact start of a
// chunk in use, so double and interior frees do nothing; an address outside
// the heap's mapped segments maps to no block; growth that would outrun the
// descriptor table (blocks below 16 KB cannot add descriptor pages) fails
// with warning [2]. Block sizes below the system page or above 2 GB are
// refused at create like a size off the granule.
//
// Results: destroy on something that is not a heap returns -1 at once; a
// release of 0 bytes gives back nothing (no segment either); a failed
// release still reports, in its out count, what it gave back before.
//
// Who may call: any code of the kit's memory layer. A heap belongs to one
// process and is not locked: its callers serialise the calls. The alignment
// switch is process-wide.
#ifndef QEN_KIT_OSD_SKGMRF_H
#define QEN_KIT_OSD_SKGMRF_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "skgm.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SKGMRF_MAGIC 0xFEFE0001u
#define SKGMRF_FLG_TYPE 0x05000000u     // bits 24..27 = 5: a real-free heap
#define SKGMRF_FLG_TYPEMASK 0x0F000000u
#define SKGMRF_FLG_CALLER 0x00FFFFFFu   // the caller's flags kept
#define SKGMRF_FLG_NOACCESS 0x1u        // released ranges get no access

#define SKGMRF_DESCPAGE 1024u           // descriptors per descriptor page
#define SKGMRF_DESCPAGES 256u           // descriptor pages the table holds
#define SKGMRF_MAXBLK (SKGMRF_DESCPAGE * SKGMRF_DESCPAGES)
#define SKGMRF_MAXSEGS 255u
#define SKGMRF_NSEGSIZ 11u

// Block kinds.
#define SKGMRF_ALLOC 0x2u       // first block of a chunk in use ("Alloc whole")
#define SKGMRF_FREEABLE 0x10u   // freed, still holding pages; also the list head
#define SKGMRF_FREE 0x30u       // clean pages
#define SKGMRF_UNMAPPED 0x70u   // a whole segment given back to the system

// Detail 1 of the failures (the site).
enum {
  SKGMRF_SITE_BLKSZ = 1, SKGMRF_SITE_ALLOC = 4, SKGMRF_SITE_RELEASE = 7,
  SKGMRF_SITE_OPEN = 101, SKGMRF_SITE_CLOSE = 102, SKGMRF_SITE_MAP = 103,
  SKGMRF_SITE_UNMAP = 104, SKGMRF_SITE_COMMIT = 107, SKGMRF_SITE_DECOMMIT = 108
};

// The process-wide alignment switch: SKGMRF_ALGN_ON until the system refuses
// large-page advice, then SKGMRF_ALGN_OFF for good (no over-mapping for
// alignment, no advice).
#define SKGMRF_ALGN_ON 5
#define SKGMRF_ALGN_OFF 80
extern int sskgmrf_algn_flags;

typedef struct skgmrf_params {
  size_t maxsize;   // maximum heap size in bytes (below 1 GB counts as 1 GB)
  size_t blksize;   // requested block size in bytes
} skgmrf_params;

typedef struct skgmrf_blkdesc {
  uint32_t kind;
  uint32_t count;   // blocks in the chunk
  uint32_t next;    // free list, block numbers
  uint32_t prev;
} skgmrf_blkdesc;

typedef struct skgmrf_seg {
  uint32_t fstblk;  // number of the segment's first block
  uintptr_t base;   // address of that block
  uintptr_t top;    // end of the segment's blocks
  size_t foffs;     // the segment's offset in /dev/zero
} skgmrf_seg;

typedef struct skgmrf_heap {
  uint32_t mag;
  uint32_t flg;
  uint32_t blksz;
  uint32_t blkshift;
  skgmrf_blkdesc *blkdstbl[SKGMRF_DESCPAGES];
  uint32_t iniblk;   // descriptors the entered pages provide
  uint32_t maxblk;
  size_t inuse_num;
  size_t inuse_siz;
  size_t freeable_num;
  size_t freeable_siz;
  size_t free_num;
  size_t free_siz;
  size_t *stat_total;     // in-use size + freeable size published here
  size_t *stat_freeable;  // freeable size published here
  int32_t fds;            // /dev/zero, read-only
  skgm_ctx realm;         // copy of the caller's realm context (callbacks)
  uint32_t numsegs;
  skgmrf_seg segs[SKGMRF_MAXSEGS + 1];   // entry 0 unused
  size_t growsz;          // sticky growth size, 0 until set
} skgmrf_heap;

skgmrf_heap *skgmrf_create(sl_status *err, const skgm_ctx *ctx, const skgmrf_params *params,
                           uint32_t flags);
int skgmrf_destroy(sl_status *err, skgmrf_heap *heap);
void *skgmrf_alloc(sl_status *err, skgmrf_heap *heap, size_t size);
void skgmrf_free(sl_status *err, skgmrf_heap *heap, void *addr);
int skgmrf_release(sl_status *err, skgmrf_heap *heap, size_t want, size_t *released);
void skgmrf_statreg(void *a, skgmrf_heap *heap, size_t *total, size_t *freeable);
void skgmrf_statunreg(void *a, skgmrf_heap *heap);
void skgmrf_dump(skgmrf_heap *heap, int level);

// Lookups (block 0: no block).
uint32_t skgmrf_addrtoblkno(const skgmrf_heap *heap, const void *addr);
uint32_t skgmrf_blknotosegno(const skgmrf_heap *heap, uint32_t blk);
uintptr_t skgmrf_blknotoaddr(const skgmrf_heap *heap, uint32_t blk);

// The Solaris layer: /dev/zero and its mappings, and the system's page size.
uint64_t sskgmrf_pagesize(void);
int sskgmrf_init(sl_status *err);
int sskgmrf_destroy(sl_status *err, int fd);
void *sskgmrf_maprange(sl_status *err, int fd, void *addr, size_t len, uint64_t off,
                       size_t align);
int sskgmrf_unmaprange(sl_status *err, void *addr, size_t len);
int sskgmrf_validaterange(sl_status *err, void *addr, int fd, size_t len, uint64_t off,
                          int commit, uint32_t flags, uint32_t blksz);

#ifdef QEN_TEST_HOOKS
// When nonzero, large-page advice fails with this errno.
extern int qen_rf_advise_errno;
#endif

#ifdef __cplusplus
}

static_assert(sizeof(skgmrf_blkdesc) == 16);
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(skgmrf_params) == 16);
static_assert(sizeof(skgmrf_seg) == 32 && offsetof(skgmrf_seg, base) == 8 &&
              offsetof(skgmrf_seg, top) == 16 && offsetof(skgmrf_seg, foffs) == 24);
static_assert(offsetof(skgmrf_heap, blkdstbl) == 16 && offsetof(skgmrf_heap, iniblk) == 2064 &&
              offsetof(skgmrf_heap, inuse_num) == 2072 &&
              offsetof(skgmrf_heap, stat_total) == 2120 && offsetof(skgmrf_heap, fds) == 2136);
#else
static_assert(sizeof(skgmrf_params) == 8);
static_assert(sizeof(skgmrf_seg) == 16 && offsetof(skgmrf_seg, base) == 4 &&
              offsetof(skgmrf_seg, top) == 8 && offsetof(skgmrf_seg, foffs) == 12);
static_assert(offsetof(skgmrf_heap, blkdstbl) == 16 && offsetof(skgmrf_heap, iniblk) == 1040 &&
              offsetof(skgmrf_heap, inuse_num) == 1048 &&
              offsetof(skgmrf_heap, stat_total) == 1072 && offsetof(skgmrf_heap, fds) == 1080);
#endif
#endif

#endif
