// The realm service's Solaris layer: platform set-up, segments (System V, or
// process memory for private realms), the stable-address map, the hooks of
// create, attach, detach and destroy, and the dynamic intimate memory lock
// master with its request and response records.
//
// Records:
//   sskgm_privseg  one private segment (process-wide list, newest first). As
//                  with System V memory, a segment deleted while attached
//                  stays until its last detach but is no longer found.
//   sskgm_dismreq  request to the lock master; sskgm_dismrsp its response.
//                  Both cross a pipe to another program: host byte order,
//                  fixed per width (static_asserts below).
//
// Results: 1 for success, 0 for failure with the sl_status filled (code,
// errno, and for some failures details 1 and 2), except sskgmget (id or -1).
//
// Layering: this layer alone talks to the system for realms; it calls only
// downward (the C library, the platform shims, name translation and the
// small OS services), never back into the portable skgm* calls. The small
// helpers both sides use (storing codes, the trace line, the segment walk)
// are defined here.
//
// Who may call: the realm service's portable calls, the lock master's outside
// callers (sskgmdism_extcr) and tests. Nothing here is locked.
#ifndef QEN_KIT_OSD_SSKGM_H
#define QEN_KIT_OSD_SSKGM_H

#include <stddef.h>
#include <stdint.h>

#include "skgm.h"

#ifdef __cplusplus
extern "C" {
#endif

// Stores code and errno (details untouched).
static inline void sskgm_seterr(sl_status *err, int32_t code, int32_t oserr) {
  err->code = code;
  err->oserr = oserr;
}
// Stores code and errno and writes the error trace line "skgm error ..." with
// its four values through the context's trace callback (when it has one).
void sskgm_trace_err(sl_status *err, const skgm_ctx *ctx, int32_t code, int32_t oserr, long i1,
                     long i2, long i3, long i4);
// The high and low 32 bits of a size, as the messages print them.
static inline uint32_t sskgm_hi(uint64_t v) { return (uint32_t)(v >> 32); }
static inline uint32_t sskgm_lo(uint64_t v) { return (uint32_t)v; }
// 1 when subarea i of a handle begins a segment (its shmid differs from the
// previous one's).
static inline int sskgm_segstart(const skgm_realm *h, uint32_t i) {
  return i == 0 || h->subs[i].shmid != h->subs[i - 1].shmid;
}

// Hook events.
enum {
  SKGM_EV_PREATTACH = 1, SKGM_EV_POSTATTACH, SKGM_EV_PREDETACH, SKGM_EV_POSTDETACH,
  SKGM_EV_PRECREATE, SKGM_EV_POSTCREATE, SKGM_EV_PREDESTROY, SKGM_EV_POSTDESTROY
};

// Protections of sskgmprotect.
#define SKGM_PROT_NONE 0u
#define SKGM_PROT_READ 1u
#define SKGM_PROT_WRITE 2u
#define SKGM_PROT_RW 3u

// sskgmstat queries.
#define SKGM_STAT_SIZE 1
#define SKGM_STAT_NATTCH 2

typedef struct sskgm_privseg {
  int32_t key;
  void *mem;
  uintptr_t addr;
  int32_t id;
  size_t size;
  size_t attached;
  int removed;     // deleted while attached: freed at the last detach
  struct sskgm_privseg *next;
} sskgm_privseg;

// Platform set-up, open environment, subarea size.
int sskgminit(sl_status *err, skgm_ctx *ctx);
void sskgmsetopenv(sl_status *err, skgm_ctx *ctx, uint32_t bits, int op);
int sskgmgetopenv(sl_status *err, const skgm_ctx *ctx, uint32_t bits);
#define SKGM_OPENV_SET 1
#define SKGM_OPENV_CLEAR 2
uint32_t sskgmqsubareasz(void);
void sskgmsetsubareasz(uint32_t size);
uint32_t sskgmqsubareasz_min(void);
uint32_t sskgmqsubareasz_max(void);

// Segments.
int sskgmget(sl_status *err, skgm_ctx *ctx, int32_t key, int create, uint64_t size,
             const skgm_area *area, int *oserr, int priv);
int sskgmat(sl_status *err, skgm_ctx *ctx, int32_t id, uint64_t size, uintptr_t addr,
            const skgm_area *area, uintptr_t *actual, int priv);
int sskgmdt(sl_status *err, skgm_ctx *ctx, int32_t id, uint64_t size, const skgm_area *area,
            uintptr_t *actual, int priv);
int sskgmrm(sl_status *err, skgm_ctx *ctx, int32_t id, const skgm_area *area, int priv);
int sskgmstat(sl_status *err, skgm_ctx *ctx, int32_t id, uint64_t *value, int what, int priv);
int sskgmprotect(sl_status *err, skgm_ctx *ctx, uint32_t areaflags, uintptr_t addr, size_t len,
                 uint32_t prot, int intimate, uint32_t *newprot);
int sskgmflags(sl_status *err, skgm_ctx *ctx, uintptr_t addr, size_t len, uint32_t *flags);
int sskgmqstable(sl_status *err, skgm_ctx *ctx, uint64_t size, uint32_t areaflags,
                 uintptr_t *addr, int priv);
void sskgmblock(skgm_ctx *ctx, uintptr_t addr, uint64_t len);
void sskgmunblock(skgm_ctx *ctx, uintptr_t addr, uint64_t len);
int sskgmcrealm(sl_status *err, skgm_ctx *ctx, int event, int ok, const skgm_realmdesc *desc,
                uint32_t nareas, skgm_area *areas, skgm_realm *handle);
// The dynamic-memory probe of the create hook.
void sskgmdism_preprocess(skgm_ctx *ctx, uint32_t nareas, skgm_area *areas);

// The platform part of skgmdumprealm. Always 1.
int sskgmdumprealm(void *a, skgm_ctx *ctx, skgm_realm *handle, uint32_t flags);

// The stable-address window of this build.
uintptr_t sskgm_window_base(void);
#define SKGM_WINDOW_LEN ((uint64_t)SKGM_MAPBITS * SKGM_UNIT)

// The lock master.
#define SSKGM_DISM_MAGIC 0x501A0CB5u
#define SSKGM_DISM_MAGIC2 0x5BC0A105u
#define SSKGM_DISM_VERSION 2u
#define SSKGM_DISM_SHMFLAGS 0x8000u
#define SSKGM_OP_REGISTER 1u
#define SSKGM_OP_RESTART 2u
#define SSKGM_OP_LOCK 16u
#define SSKGM_OP_UNLOCK 0x20u
#define SSKGM_OP_LIVE 64u
#define SSKGM_OP_EXIT 256u
#define SSKGM_ST_OK 1u
#define SSKGM_ST_START 0x10000u
#define SSKGM_ST_WRITE 0x20000u
#define SSKGM_ST_READ 0x30000u
#define SSKGM_FD_NONE (-1)     // never started
#define SSKGM_FD_GONE (-2)     // gone or told to exit
#define SSKGM_FD_DEAD (-3)     // failed its liveness check
#define SSKGM_LOCKGRAIN 0x400000u  // lock ranges widen to 4 MB
#define SSKGM_RIVEVAV "rivevav"
#define SSKGM_MMAN_PREFIX "zur_mman_"

typedef struct sskgm_dismreq {
  uint32_t magic;
  uint32_t version;
  uint32_t op;
  int32_t shmid;
  uintptr_t segaddr;
  uint32_t shmflags;
  uintptr_t start;
  uint32_t length;
  uint16_t location;
  uint8_t reserved[34];
  uint32_t magic2;
} sskgm_dismreq;

typedef struct sskgm_dismrsp {
  uint32_t magic;
  uint32_t version;
  uint32_t status;
  uint32_t reserved1;
  int32_t oserr;
  uint32_t diag;
  uint32_t value;
  uint8_t reserved2[32];
  uint32_t magic2;
} sskgm_dismrsp;

// The process-wide descriptor of the pipe to the lock master (or FD_*).
extern int32_t sskgm_dism_fd;

int sskgmdism_cr_lckmstr(sl_status *err, skgm_ctx *ctx, int32_t *fd, sskgm_dismrsp *rsp,
                         int warn);
int sskgmdism_rw_lckmstr(sl_status *err, skgm_ctx *ctx, sskgm_dismreq *req,
                         sskgm_dismrsp *rsp);
int sskgmdism_comm(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t op,
                   int32_t shmid, uintptr_t segaddr, uint32_t shmflags, uintptr_t start,
                   uint32_t length, const uint16_t *location, int warn);
int sskgmdism_create_lckmstr(sl_status *err, skgm_ctx *ctx, skgm_realm *handle);
int sskgmlock(sl_status *err, skgm_ctx *ctx, uintptr_t addr, size_t len, uint32_t op,
              uint32_t *result, const uint16_t *location);
int sskgmlockchk(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t op,
                 uint32_t *result);
int sskgmdism_extcr(skgm_ctx *ctx, int op);

#ifdef __cplusplus
}

#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(sizeof(sskgm_dismreq) == 88 && offsetof(sskgm_dismreq, segaddr) == 16 &&
              offsetof(sskgm_dismreq, shmflags) == 24 && offsetof(sskgm_dismreq, start) == 32 &&
              offsetof(sskgm_dismreq, length) == 40 && offsetof(sskgm_dismreq, location) == 44 &&
              offsetof(sskgm_dismreq, reserved) == 46 && offsetof(sskgm_dismreq, magic2) == 80);
#else
static_assert(sizeof(sskgm_dismreq) == 72 && offsetof(sskgm_dismreq, segaddr) == 16 &&
              offsetof(sskgm_dismreq, shmflags) == 20 && offsetof(sskgm_dismreq, start) == 24 &&
              offsetof(sskgm_dismreq, length) == 28 && offsetof(sskgm_dismreq, location) == 32 &&
              offsetof(sskgm_dismreq, reserved) == 34 && offsetof(sskgm_dismreq, magic2) == 68);
#endif
static_assert(sizeof(sskgm_dismrsp) == 64 && offsetof(sskgm_dismrsp, status) == 8 &&
              offsetof(sskgm_dismrsp, oserr) == 16 && offsetof(sskgm_dismrsp, diag) == 20 &&
              offsetof(sskgm_dismrsp, value) == 24 && offsetof(sskgm_dismrsp, magic2) == 60);
#endif

#endif
