// Shared-memory realms: named sets of caller-described memory areas laid out
// over System V shared-memory segments (or, for a private realm, over process
// memory), with a header in the primary segment from which any process of the
// same word size rebuilds the layout from the realm's name alone.
//
// Layers: the portable skgm* calls (context, header and keys, attach and
// detach, creation) stand on the sskgm* calls of sosd/ (segments, stable
// addresses, hooks, the dynamic intimate memory lock master), which alone
// talk to the system.
//
// Records:
//   skgm_ctx        per process and caller; the caller allocates it and zeroes
//                   at least its magic before skgminit.
//   skgm_ops        the caller's trace, warning and error callbacks.
//   skgm_realmdesc  realm name and flags, passed to create and attach.
//   skgm_area       an area as the creator describes it.
//   skgm_areaent    an area as the realm records it (area, nsub, firstsub).
//   skgm_subarea    one piece of an area inside one segment.
//   skgm_header     at the very end of the primary segment; before it the area
//                   table, before that the subarea table. These three shared
//                   records are fixed byte for byte per word size (host byte
//                   order); a realm is shared only among processes of one width.
//   skgm_realm      per-process handle of an attached realm.
//
// Errors: every realm call takes an sl_status first; public calls clear its
// code, and on failure store a code of the 27100 series (SKGM_ERR_*), the errno
// of a failed system call and sometimes details 1 and 2. Argument errors also
// go to the error callback with a name (SKGM_EN_*) and four values. Calls
// return nonzero for success, 0 for failure, unless stated otherwise.
//
// Concealed realms: while a handle is concealed its tables are not mapped, so
// only detach, reveal and the attach count accept it; every other call
// reports SKGMBADHANDLE with 3 and its site.
//
// Header use: a header is trusted only when it fits the segment it sits in:
// its counts and indexes lie inside the segment, and it names that very
// segment (its id) as its primary, whose subareas form one run that the
// segment holds. Otherwise the segment does not hold the realm.
//
// Who may call: any code of the kit. A context, its handles and the process's
// private segments are not locked: one thread at a time.
#ifndef QEN_KIT_OSD_SKGM_H
#define QEN_KIT_OSD_SKGM_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "skgsn.h"

#ifdef __cplusplus
extern "C" {
#endif

// Error codes.
#define SKGM_ERR_EXISTS 27100     // realm exists, or two segments claim it
#define SKGM_ERR_NOREALM 27101    // no such realm; cookie never set
#define SKGM_ERR_NOMEM 27102      // memory, limits, stack, refused segment size
#define SKGM_ERR_INVALID 27103    // argument or state (error callback)
#define SKGM_ERR_RM 27120         // deleting a segment
#define SKGM_ERR_STAT 27121       // querying a segment
#define SKGM_ERR_PROTECT 27122    // changing protection
#define SKGM_ERR_ATTACH 27123     // attaching; no stable address free
#define SKGM_ERR_DETACH 27124     // detaching
#define SKGM_ERR_GET 27125        // getting or creating a segment
#define SKGM_ERR_LOCK 27126       // locking in memory; lock range in no segment
#define SKGM_ERR_SYSQUERY 27128   // a system query at set-up

// Names passed to the error callback.
#define SKGM_EN_INVALID "SKGMINVALID"
#define SKGM_EN_BADAREA "SKGMBADAREA"
#define SKGM_EN_FAIL "SKGMFAIL"
#define SKGM_EN_HASH "SKGMHASH"
#define SKGM_EN_BUSY "SKGMBUSY"
#define SKGM_EN_BADHANDLE "SKGMBADHANDLE"
#define SKGM_EN_BADROHANDLE "SKGMBADROHANDLE"
#define SKGM_EN_SKGSNINI "SKGMSKGSNINI"

// Sites of SKGMINVALID (its first value).
enum {
  SKGM_SITE_INIT = 1, SKGM_SITE_RESET, SKGM_SITE_STACK, SKGM_SITE_CREATE,
  SKGM_SITE_ATTACH, SKGM_SITE_INSPECT, SKGM_SITE_ADDRESS, SKGM_SITE_SPROTECT,
  SKGM_SITE_SPROTECT_CROSS, SKGM_SITE_SPROTECT_OUT, SKGM_SITE_PPROTECT,
  SKGM_SITE_HCHECK, SKGM_SITE_LARGEST, SKGM_SITE_APPLY, SKGM_SITE_SETCOOKIE,
  SKGM_SITE_GETCOOKIE, SKGM_SITE_SLOCK, SKGM_SITE_SLOCK_CROSS, SKGM_SITE_SLOCK_OUT,
  SKGM_SITE_SVALIDATE_BOTH, SKGM_SITE_SVALIDATE_NONE
};

// Handle-check sites (the caller's site number in SKGMINVALID site 12 and in
// SKGMBADHANDLE / SKGMBADROHANDLE).
enum {
  SKGM_HSITE_DESTROY = 1, SKGM_HSITE_DETACH, SKGM_HSITE_INSPECT, SKGM_HSITE_ADDRESS,
  SKGM_HSITE_PROTECT, SKGM_HSITE_APPLY, SKGM_HSITE_SETCOOKIE, SKGM_HSITE_GETCOOKIE,
  SKGM_HSITE_REVEAL, SKGM_HSITE_ATTCOUNT
};

#define SKGM_CTX_MAGIC 0xACC01ADEu   // context initialised
#define SKGM_CTX_RESET 1u            // context reset
#define SKGM_HDR_MAGIC 0xBACEBA11u   // header complete
#define SKGM_HDR_VERSION 3u
#define SKGM_HASH_MOD 1061461267     // modulus of the key derivation
#define SKGM_NKEYS 4                 // keys per realm: basekey .. basekey + 3
#define SKGM_NCOOKIES 4
#define SKGM_NAMEMAX 256             // bytes of a realm name
#define SKGM_AREANAME 32             // bytes of an area name
#define SKGM_MAXOWNERS 128           // owner slots of an area
#define SKGM_OWNERSET 32             // owner numbers an area may use (0..31)

// Realm flags.
#define SKGM_RF_RECORDED 0x1u        // recorded, no effect
#define SKGM_RF_RDONLY 0x2u          // read-only handle (attach)
#define SKGM_RF_ANYADDR 0x4u         // ignore stable addresses (attach)
#define SKGM_RF_PRIVATE 0x8u         // process-local segments
#define SKGM_RF_CREATE_OK 0x9u       // flags create accepts
#define SKGM_RF_ALL 0xFu

// Area flags.
#define SKGM_AF_ONESEG 0x1u          // in one segment
#define SKGM_AF_STABLE 0x2u          // same address in every process
#define SKGM_AF_FIXED 0x4u           // at the given address
#define SKGM_AF_INTIMATE 0x10u       // intimate (shared-MMU) memory
#define SKGM_AF_LOCK 0x20u           // locked in memory at creation
#define SKGM_AF_NUMA 0x80u           // NUMA-owned
#define SKGM_AF_ALL 0xB7u
#define SKGM_AF_DISM 0x200000u       // overhead area: dynamic intimate memory
#define SKGM_AF_RDONLY 0x80000000u   // private copies only: read-only attach

// Open-environment flags.
#define SKGM_OE_NOSTACK 0x1u         // skgmstack skips its check
#define SKGM_OE_WARNFALLBACK 0x2u    // warn once on intimate fallback
#define SKGM_OE_EINVALWARNED 0x4u
#define SKGM_OE_FALLBACKWARNED 0x8u
#define SKGM_OE_DISM 0x200000u       // dynamic intimate memory in use
#define SKGM_OE_ISM 0x400000u        // an intimate attach was made
#define SKGM_OE_RDONLY 0x800000u     // a read-only attach was made
#define SKGM_OE_HOOKMASK 0xF00000u   // cleared by the hooks

#define SKGM_SUBAREA_DEFAULT 0x1000000u  // 16 MB
#define SKGM_SUBAREA_MIN 0x100000u       // 1 MB
#define SKGM_SUBAREA_MAX 0x10000000u     // 256 MB
#define SKGM_SMALLEST 0x400000ull        // 4 MB
#if UINTPTR_MAX > 0xFFFFFFFFu
#define SKGM_LARGEST 0x40000000000ull    // 4 TB
#define SKGM_MAPBITS 4096                // stable units of 1 GB
#define SKGM_UNIT 0x40000000ull
#define SKGM_PRVTMAX 0x10000000u
#else
#define SKGM_LARGEST 0xF8000000ull
#define SKGM_MAPBITS 192                 // stable units of 16 MB
#define SKGM_UNIT 0x1000000ull
#define SKGM_PRVTMAX 0x4000000u
#endif

typedef struct skgm_ops {
  void (*trace)(void *osdctx, const char *fmt, ...);
  void (*warning)(void *osdctx, const char *fmt, ...);
  // (osdctx, name, 4, then four pairs: int type 0, uint64_t value)
  void (*error)(void *osdctx, const char *name, int count, ...);
} skgm_ops;

struct skgm_realm;

typedef struct skgm_ctx {
  const skgm_ops *ops;
  void *osdctx;
  uint32_t areaflags;
  uint32_t realmflags;
  uint32_t mapsize;
  uint32_t protectsize;
  uint32_t lcmsize;
  uint32_t seglen;
  uint64_t largestsize;
  uint64_t smallestsize;
  uint64_t maxtotal;
  uintptr_t stacklimit;
  int32_t stackdir;
  uint32_t mode;
  struct skgm_realm *handles;
  skgsnsctx numa;
  uint32_t magic;
  uint32_t sharedmmu;
  uint32_t shareddec;
  uint32_t usedmap[SKGM_MAPBITS / 32];
  uint32_t openenv;
} skgm_ctx;

typedef struct skgm_realmdesc {
  char name[SKGM_NAMEMAX];
  size_t namelen;
  uint32_t flags;
} skgm_realmdesc;

typedef struct skgm_area {
  char name[SKGM_AREANAME];
  size_t namelen;
  uintptr_t address;
  uint64_t dynsize;
  uint64_t size;
  uint32_t minsub;
  uint16_t owners[SKGM_MAXOWNERS];
  uint32_t nowners;
  uint32_t reserved;
  uint32_t flags;
} skgm_area;

typedef struct skgm_areaent {
  skgm_area area;
  uint32_t nsub;
  uint32_t firstsub;
} skgm_areaent;

typedef struct skgm_subarea {
  uintptr_t stable;
#if UINTPTR_MAX <= 0xFFFFFFFFu
  uint32_t pad;
#endif
  uint64_t size;
  uint64_t segsize;
  int32_t shmid;
  uint32_t area;
} skgm_subarea;

typedef struct skgm_header {
  skgm_realmdesc realm;
  int32_t basekey;
  int32_t key;
  uint32_t nareas;
  uint32_t nsub;
  int32_t shmid;
  uint32_t primary;
  uint32_t version;
  uintptr_t cookies[SKGM_NCOOKIES];
  uint32_t cookieset[SKGM_NCOOKIES];
  uint32_t magic;
} skgm_header;

// A segment as a handle attached it. Detach, conceal and destroy act on these
// records, never on the ids the shared tables hold by then: another process
// (or a damaged header) may have changed those, and a private id it names
// may belong to another realm of this process.
typedef struct skgm_attseg {
  int32_t shmid;            // the id attached
  uint32_t sub;             // its first subarea: addrs[sub] is its address
  uint64_t segsize;         // the size it was attached with
  uint32_t flags;           // the area flags it was attached with
} skgm_attseg;

typedef struct skgm_realm {
  skgm_header hdr;          // copy as attached (realm flags: the caller's)
  skgm_areaent *areas;      // area table, in the primary segment
  skgm_subarea *subs;       // subarea table, in the primary segment
  uintptr_t *addrs;         // actual address of each subarea
  skgm_header *shared;      // the header in the primary segment
  uint32_t concealed;       // 1 while concealed: the tables are not mapped
  uint32_t nsegs;           // segments attached now (0 while concealed)
  skgm_attseg *segs;        // room for hdr.nsub; segs[0] is the primary
  struct skgm_realm *next;
} skgm_realm;

// Called for each subarea by skgmapply; 0 stops the walk.
typedef int (*skgm_applyfn)(sl_status *err, skgm_ctx *ctx, skgm_realm *handle,
                            skgm_areaent *area, uintptr_t addr, uint64_t size,
                            uintptr_t *cell, void *arg);
typedef void (*skgm_stackfn)(void *arg);

// Context, configuration and limits.
int skgminit(sl_status *err, skgm_ctx *ctx, const skgm_ops *ops, void *osdctx);
int skgmreset(sl_status *err, skgm_ctx *ctx);
int skgmcheck(const skgm_ctx *ctx);
int skgmstack(sl_status *err, skgm_ctx *ctx, size_t size, skgm_stackfn fn, void *arg);
uint32_t skgmqsubareasize(void);
void skgmsetsubareasz(void *a, skgm_ctx *ctx, uint32_t size);
void skgmqsubareasz_range(void *a, uint32_t *min, uint32_t *max);
size_t skgmqprvtmaxalloc(void *a, const skgm_ctx *ctx);
uint64_t skgmround(uint64_t value, uint32_t unit);
uint64_t skgmtrunc(uint64_t value, uint32_t unit);
uint32_t skgmlcm(uint32_t a, uint32_t b);

// Header, keys, handles and cookies.
int32_t skgmhash(const char *name, size_t len);
int skgmlocate(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc, int32_t basekey,
               uint32_t areaflags, uint64_t size, int create, int32_t *key, int32_t *shmid,
               int *oserr, uintptr_t *stable, uint32_t *flags, uint64_t *segsize);
int skgmidrealm(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc, int32_t basekey,
                int32_t key, int32_t shmid, int *found, uintptr_t *stable, uint32_t *flags,
                uint64_t *size);
skgm_header *skgmrfind(void *seg, uint64_t len);
skgm_areaent *skgmafind(skgm_header *hdr);
skgm_subarea *skgmsafind(skgm_header *hdr);
// 1 when the header's counts and indexes fit a segment of len bytes.
int skgmhfits(const skgm_header *hdr, uint64_t len);
int skgmhmalloc(sl_status *err, skgm_ctx *ctx, uint32_t nsub, skgm_realm **handle);
int skgmhfree(sl_status *err, skgm_ctx *ctx, skgm_realm *handle);
int skgmhcheck(sl_status *err, skgm_ctx *ctx, int allowro, skgm_realm *handle, int site);
int skgmsetcookie(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t n,
                  uintptr_t value);
int skgmgetcookie(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t n,
                  uintptr_t *value);
int skgminrealm(void *a, void *b, const skgm_realm *handle, const void *addr);

// Attach, detach, inspection and protection.
int skgmattach(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc, skgm_realm **handle);
int skgmdetach(sl_status *err, skgm_ctx *ctx, skgm_realm *handle);
int skgmconceal(sl_status *err, skgm_ctx *ctx, skgm_realm *handle);
int skgmreveal(sl_status *err, skgm_ctx *ctx, skgm_realm *handle);
int skgmattach_count(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint64_t *count);
int skgminspect(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, skgm_realmdesc *descout,
                uint32_t *count, uint32_t max, skgm_area *areasout, uint32_t *nsubout);
int skgmaddress(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area, uint32_t sub,
                uintptr_t *addr, uint64_t *size);
int skgmapply(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t first, uint32_t count,
              skgm_applyfn fn, void *arg);
int skgmsvalidate(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area,
                  uintptr_t *addr, size_t len, uint32_t flags, uint32_t *out, uint16_t *loc);
int skgmslock(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area, uintptr_t addr,
              size_t len, uint32_t op, uint32_t *out, uint16_t *loc);
int skgmsprotect(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area,
                 uintptr_t addr, size_t len, uint32_t prot, int intimate, uint32_t *newprot);
int skgmpprotect(sl_status *err, skgm_ctx *ctx, uintptr_t addr, size_t len, uint32_t prot,
                 uint32_t *newprot);

// Creation and destruction.
int skgmcreate(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc, uint32_t nareas,
               skgm_area *areas, skgm_realm **handle);
int skgmdestroy(sl_status *err, skgm_ctx *ctx, skgm_realm *handle);
int skgmckareas(sl_status *err, skgm_ctx *ctx, uint32_t nareas, skgm_area *areas,
                uint64_t *overhead);

// Dumps through the trace callback: the context, the attached realms, the
// handle's areas and subareas (handle may be NULL) and the platform state;
// with SKGM_DUMP_SEGMENTS only the handle's segments. Always 1.
#define SKGM_DUMP_SEGMENTS 0x1u
int skgmdumprealm(void *a, skgm_ctx *ctx, skgm_realm *handle, uint32_t flags);

#ifdef __cplusplus
}

// The shared format, per width.
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(skgm_realmdesc) == 272 && offsetof(skgm_realmdesc, namelen) == 256 &&
              offsetof(skgm_realmdesc, flags) == 264);
static_assert(sizeof(skgm_area) == 336 && offsetof(skgm_area, namelen) == 32 &&
              offsetof(skgm_area, address) == 40 && offsetof(skgm_area, dynsize) == 48 &&
              offsetof(skgm_area, size) == 56 && offsetof(skgm_area, minsub) == 64 &&
              offsetof(skgm_area, owners) == 68 && offsetof(skgm_area, nowners) == 324 &&
              offsetof(skgm_area, reserved) == 328 && offsetof(skgm_area, flags) == 332);
static_assert(sizeof(skgm_areaent) == 344 && offsetof(skgm_areaent, nsub) == 336 &&
              offsetof(skgm_areaent, firstsub) == 340);
static_assert(sizeof(skgm_header) == 360 && offsetof(skgm_header, basekey) == 272 &&
              offsetof(skgm_header, key) == 276 && offsetof(skgm_header, nareas) == 280 &&
              offsetof(skgm_header, nsub) == 284 && offsetof(skgm_header, shmid) == 288 &&
              offsetof(skgm_header, primary) == 292 && offsetof(skgm_header, version) == 296 &&
              offsetof(skgm_header, cookies) == 304 && offsetof(skgm_header, cookieset) == 336 &&
              offsetof(skgm_header, magic) == 352);
#else
static_assert(sizeof(skgm_realmdesc) == 264 && offsetof(skgm_realmdesc, namelen) == 256 &&
              offsetof(skgm_realmdesc, flags) == 260);
static_assert(sizeof(skgm_area) == 328 && offsetof(skgm_area, namelen) == 32 &&
              offsetof(skgm_area, address) == 36 && offsetof(skgm_area, dynsize) == 40 &&
              offsetof(skgm_area, size) == 48 && offsetof(skgm_area, minsub) == 56 &&
              offsetof(skgm_area, owners) == 60 && offsetof(skgm_area, nowners) == 316 &&
              offsetof(skgm_area, reserved) == 320 && offsetof(skgm_area, flags) == 324);
static_assert(sizeof(skgm_areaent) == 336 && offsetof(skgm_areaent, nsub) == 328 &&
              offsetof(skgm_areaent, firstsub) == 332);
static_assert(sizeof(skgm_header) == 328 && offsetof(skgm_header, basekey) == 264 &&
              offsetof(skgm_header, key) == 268 && offsetof(skgm_header, nareas) == 272 &&
              offsetof(skgm_header, nsub) == 276 && offsetof(skgm_header, shmid) == 280 &&
              offsetof(skgm_header, primary) == 284 && offsetof(skgm_header, version) == 288 &&
              offsetof(skgm_header, cookies) == 292 && offsetof(skgm_header, cookieset) == 308 &&
              offsetof(skgm_header, magic) == 324);
#endif
static_assert(sizeof(skgm_subarea) == 32 && offsetof(skgm_subarea, size) == 8 &&
              offsetof(skgm_subarea, segsize) == 16 && offsetof(skgm_subarea, shmid) == 24 &&
              offsetof(skgm_subarea, area) == 28);
#endif

#endif
