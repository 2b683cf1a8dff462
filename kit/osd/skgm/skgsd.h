// Segment diagnostic dumps: a realm's shared memory written to disk segment
// by segment, for post-mortem analysis, and mapped back later at the recorded
// addresses, privately (copy-on-write) or into newly created shared segments.
//
// Files: a dump directory named after the current time ("Dec_10_23:14:53_2026",
// the ctime text without the weekday, blanks as '_'), mode rwxr-x---, under an
// optional base directory. It holds one file per segment, named by the
// segment's whole address in lower-case hexadecimal, and "diagmdata": the
// descriptor skgsd_ctx followed by its nsegs skgsd_seg records. Files are
// rw-rw----. Both records are fixed byte for byte per word size in the host's
// byte order (static_asserts below); a dump is read back by a process of the
// width that wrote it.
//
// Records:
//   skgsd_ctx  the dump descriptor (heap record, and the head of "diagmdata").
//   skgsd_seg  one segment: its id, size, the address it is recorded at (its
//              stable address; where this process attached it when it has
//              none) and its offset from the primary subarea's stable address.
//
// In memory the record array carries, behind the nsegs records, the address
// each segment is read from while it is written (skgsd_src): where this
// process has it attached, which is the recorded address unless the realm
// was attached elsewhere. A loaded dump reads from the recorded addresses.
//
// Safety: "diagmdata" is checked before it is used (its size must be exactly
// the descriptor and its records, texts terminated, every segment non-empty,
// page-aligned and inside the address space). Nothing is mapped or attached
// at address 0 or over an existing mapping. Reads and writes loop to
// completion. When segments are re-created, the first takes the dump's key and
// every later one is IPC_PRIVATE, so a dump of several segments loads whole.
//
// Results: 1 for success, 0 for failure with the errno in the status record
// and code 0, except where a call says otherwise (skgsdcdfnm returns a code).
// Descriptors come from the heap: release them with skgsdfree.
//
// Who may call: diagnostic tools and tests; nothing in the probe calls them.
// One thread at a time per descriptor.
#ifndef QEN_KIT_OSD_SKGSD_H
#define QEN_KIT_OSD_SKGSD_H

#include <stddef.h>
#include <stdint.h>

#include "skgm.h"

#ifdef __cplusplus
extern "C" {
#endif

#define SKGSD_PATHMAX 513          // bytes of dir, home and sid (NUL included)
#define SKGSD_DATAFILE "diagmdata"
#define SKGSD_DIRMODE 0x1E8        // rwxr-x---
#define SKGSD_FILEMODE 0x1B0       // rw-rw----
#define SKGSD_ERR_TIME 7206        // the current time could not be read

// skgsdinit modes.
#define SKGSD_MODE_ALL 0           // descriptor and segment records
#define SKGSD_MODE_DESC 1          // descriptor only
#define SKGSD_MODE_SEGS 2          // records of an existing descriptor

typedef struct skgsd_seg {
  int32_t fd;          // the segment file while it is open
  uint32_t written;    // bytes written to the segment file
  uint32_t reserved;
  int32_t shmid;       // segment id; the new id once re-created
  uint64_t segsize;
  uintptr_t addr;      // recorded address
  intptr_t offset;     // addr minus the primary subarea's stable address
} skgsd_seg;

typedef struct skgsd_ctx {
  char dir[SKGSD_PATHMAX];   // dump directory
  char home[SKGSD_PATHMAX];  // VIRUZE_HOME
  char sid[SKGSD_PATHMAX];   // VIRUZE_SID
  uint8_t pad;
  int32_t key;               // skgmhash of VIRUZE_HOME followed by VIRUZE_SID
  uint32_t nsegs;
  skgsd_seg *segs;           // meaningless in the file
} skgsd_ctx;

// The source address of each record while writing (see above).
inline uintptr_t *skgsd_src(const skgsd_ctx *dump) {
  return reinterpret_cast<uintptr_t *>(dump->segs + dump->nsegs);
}

// Portable calls.
int skgsdinit(sl_status *err, skgsd_ctx **dump, const char *base, skgm_ctx *ctx,
              skgm_realm *handle, int mode);
uint32_t skgmrtshi(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, skgsd_seg **records);
int skgmwtfpm(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, const char *base,
              skgsd_ctx **dump);
int skgsdwrseg(sl_status *err, skgsd_ctx *dump);
int skgsdcowmap(sl_status *err, skgsd_ctx *dump);
int skgsdcowmpd(sl_status *err, const char *dir, skgsd_ctx **dump);
int skgsdsegmap(sl_status *err, const char *dir, skgsd_ctx **dump);
int skgsdsegunmap(sl_status *err, skgsd_ctx *dump);
int32_t skgsdcdfnm(const char *subdir, char *dst, size_t dstlen, const char *name,
                   const char *base);

// The Solaris layer (it calls nothing above it; the descriptor's allocation
// helpers, which both layers use, live there too).
// Releases a descriptor and its records (NULL is allowed).
void skgsdfree(skgsd_ctx *dump);
int sskgsdinit(sl_status *err, skgsd_ctx **dump, const char *base, const char *home,
               const char *sid, int32_t key);
int sskgsdwrseg(sl_status *err, skgsd_ctx *dump);
int sskgsdcowmap(sl_status *err, skgsd_ctx *dump);
int sskgsdcowmpd(sl_status *err, const char *dir, skgsd_ctx **dump);
int sskgsdsegmap(sl_status *err, const char *dir, skgsd_ctx **dump);
int sskgsdsegunmap(sl_status *err, skgsd_ctx *dump);
int32_t sskgsdcdfnm(const char *base, const char *name, char *dst, size_t dstlen,
                    const char *subdir);
// Loads and checks "diagmdata" of a dump directory into a new descriptor.
int sskgsdload(sl_status *err, const char *dir, skgsd_ctx **dump);
// A zeroed record array of n records with their source addresses; NULL when
// out of memory.
skgsd_seg *skgsd_segalloc(uint32_t n);

#ifdef __cplusplus
}

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(skgsd_ctx) == 1560 && offsetof(skgsd_ctx, home) == 513 &&
              offsetof(skgsd_ctx, sid) == 1026 && offsetof(skgsd_ctx, key) == 1540 &&
              offsetof(skgsd_ctx, nsegs) == 1544 && offsetof(skgsd_ctx, segs) == 1552);
static_assert(sizeof(skgsd_seg) == 40 && offsetof(skgsd_seg, shmid) == 12 &&
              offsetof(skgsd_seg, segsize) == 16 && offsetof(skgsd_seg, addr) == 24 &&
              offsetof(skgsd_seg, offset) == 32);
#else
static_assert(sizeof(skgsd_ctx) == 1552 && offsetof(skgsd_ctx, home) == 513 &&
              offsetof(skgsd_ctx, sid) == 1026 && offsetof(skgsd_ctx, key) == 1540 &&
              offsetof(skgsd_ctx, nsegs) == 1544 && offsetof(skgsd_ctx, segs) == 1548);
static_assert(sizeof(skgsd_seg) == 32 && offsetof(skgsd_seg, shmid) == 12 &&
              offsetof(skgsd_seg, segsize) == 16 && offsetof(skgsd_seg, addr) == 24 &&
              offsetof(skgsd_seg, offset) == 28);
#endif
#endif

#endif
