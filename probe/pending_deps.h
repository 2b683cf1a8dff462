// Interfaces the health interface calls in the OS-dependent layer (process
// identity and liveness, region files), the message-file service and the
// error manager's text service, with the health file's record as the
// instance writes it.
//
// WAITING FOR THE OS LAYER AND THE MESSAGE FILES: these declarations stand
// here until kit/osd (skgp*, skgmsmr_op, gimh_region), the message-file
// service (lmsaicmt, lmsatrm, lmshnd) and the error texts (lembem, slemdsp,
// lsfcln) are in the tree; then this file goes and their own headers are
// included instead. pending_deps.cpp holds the matching stand-ins.
#ifndef QEN_PROBE_PENDING_DEPS_H
#define QEN_PROBE_PENDING_DEPS_H

#include <setjmp.h>
#include <stddef.h>
#include <stdint.h>

#include "lem.h"
#include "lemx.h"
#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

typedef struct lxlangid lxlangid;
typedef struct lxglo lxglo;

// ---- Process identity and liveness ---------------------------------------

// A process: its id and the whole seconds of its start (0 = not recorded).
// Two machine words: 16 bytes in the 64-bit build, 8 in the 32-bit build.
typedef struct skgp_pid {
  int32_t pid;
  long start;
} skgp_pid;

#define SKGP_OPS_SLOTS 13
// The caller's callbacks; an empty slot is a missing callback.
typedef struct skgp_ops {
  void *slot[SKGP_OPS_SLOTS];
} skgp_ops;

// The per-process context of the process services (caller-owned).
typedef struct skgp_ctx {
  void *pw;                 // post-wait shared context
  skgp_ops *ops;
  void *ops_ctx;
  skgp_pid self;
  int usec_per_tick;
  int usr2_handle;          // -1 = none
  uint32_t flags;           // bit 0 initialised, bit 31 semtimedop available
  uint32_t pw_osid;
  volatile int alarm_fired;
  sigjmp_buf jb;
  int alrm_handle;
  uint32_t jump_flags;      // bit 0: jb is valid
} skgp_ctx;

#define SKGP_INVALID_PID 27141
#define SKGP_SYSCALL_FAILED 27143

int skgpinit(slos_error *err, skgp_ctx *ctx, skgp_ops *ops, void *ops_ctx, uint32_t flags);
int skgpreset(slos_error *err, skgp_ctx *ctx);
int skgpalive(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid);
int skgpmaterialize(slos_error *err, skgp_ctx *ctx, const skgp_pid *src,
                    skgp_pid *dst);

// ---- Shared-memory region files ------------------------------------------

#define SKGMSMR_MAGIC 0x75019EA7u
#define SKGMSMR_RETIRED 1u

typedef struct skgmsmr_ctx {
  uint32_t magic;           // 0 fresh, SKGMSMR_MAGIC initialised, 1 retired
  int fd;                   // 0 until a create or attach opens the file
  uint32_t flags;
} skgmsmr_ctx;

enum {
  SKGMSMR_OP_INIT = 1,
  SKGMSMR_OP_CREATE = 2,
  SKGMSMR_OP_ATTACH = 4,
  SKGMSMR_OP_DETACH = 8,
  SKGMSMR_OP_DELETE = 16,
  SKGMSMR_OP_TERM = 32
};
enum { SKGMSMR_OK = 1, SKGMSMR_UNKNOWN = 2, SKGMSMR_FAILED = 3 };
enum { SKGMSMR_PROT_NONE = 0, SKGMSMR_PROT_READ = 1, SKGMSMR_PROT_WRITE = 2, SKGMSMR_PROT_RW = 3 };

int skgmsmr_op(slos_error *err, skgmsmr_ctx *ctx, unsigned op, size_t length, const char *home,
               const char *sid, int mode, unsigned flags, void **addr);

// ---- The health file -----------------------------------------------------

#define GIMH_REGION_MAGIC 0xF644u
#define GIMH_REGION_READY 0x8u
#define GIMH_RECORDS 10
#define GIMH_EVENTS 15

// One of the ten rotating state records: bytes 2 to 16 hold the states of
// events 0 to 14 (0 not supported, 2 set, anything else not set).
typedef struct gimh_state_record {
  uint8_t head[2];
  uint8_t state[GIMH_EVENTS];
  uint8_t rest[87];
} gimh_state_record;

// The health file as mapped, in the layout of this build's word size; the
// bytes this system does not read belong to the instance.
typedef struct gimh_region {
  uint8_t inst0[80];
  uint16_t magic;           // GIMH_REGION_MAGIC
  uint8_t inst1[2];
  uint32_t version;         // vsnnum
  uint8_t inst2[100];
  uint8_t index;            // current state record, 0 to 9
  uint8_t inst3[3];
  skgp_pid owner;           // the instance process
  uint8_t inst4[300];
  uint16_t magic2;          // GIMH_REGION_MAGIC
  uint16_t flags;           // GIMH_REGION_READY
  gimh_state_record records[GIMH_RECORDS];
} gimh_region;

static_assert(sizeof(gimh_state_record) == 104, "state record");
static_assert(offsetof(gimh_region, magic) == 80, "first magic");
static_assert(offsetof(gimh_region, version) == 84, "version");
static_assert(offsetof(gimh_region, index) == 188, "index");
static_assert(offsetof(gimh_region, owner) == 192, "owner");
#if UINTPTR_MAX > 0xFFFFFFFFu
static_assert(offsetof(gimh_region, owner.start) == 200, "start time");
static_assert(offsetof(gimh_region, magic2) == 508, "second magic");
static_assert(offsetof(gimh_region, flags) == 510, "flags");
static_assert(offsetof(gimh_region, records) == 512, "records");
static_assert(sizeof(gimh_region) == 1552, "64-bit region");
#else
static_assert(offsetof(gimh_region, owner.start) == 196, "start time");
static_assert(offsetof(gimh_region, magic2) == 500, "second magic");
static_assert(offsetof(gimh_region, flags) == 502, "flags");
static_assert(offsetof(gimh_region, records) == 504, "records");
static_assert(sizeof(gimh_region) == 1544, "32-bit region");
#endif

// ---- Message files and error texts ---------------------------------------

// A message-file handle, caller-allocated (stand-in size).
typedef struct lmshnd {
  void *words[64];
} lmshnd;

lmshnd *lmsaicmt(lmshnd *handle, const char *dir, const char *product, const char *facility,
                 int ignored, lxlangid *lang, lxglo *glo, size_t *msg_cache,
                 size_t *cmt_cache, const char *path, int thread_safe, int *lock_failed);
void lmsatrm(lmshnd *handle);

int lembem(lem_ctx *lem, int all, char *buffer, int size);
void slemdsp(lem_ctx *lem, const char *text);
void lsfcln(lsf_ctx *ctx);

#ifdef __cplusplus
}
#endif

#endif
