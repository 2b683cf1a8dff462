// Instance-health interface: reads the health state of one Viruze instance
// from the health file that the instance keeps in <home>/dbs/hc_<sid>.dat.
//
// Three contexts, each a record in the interface's own sub-heap that begins
// with a 16-bit magic set only once the record is complete:
//   gimh_proc_ctx   one per process: the kit bootstrap, the VUV error
//                   facility, NLS, the VUV message handle, the process services
//   gimh_inst_ctx   one per instance: the read-only mapping of its health file
//   gimh_query_ctx  snapshots of the fifteen event states, checks on the latest
//                   snapshot, registrations and the events they fired
//
// Failures are recorded as VUV messages on the calling thread's error stack;
// gimh_error turns the stack into text. Create and destroy functions record
// with class 2 and throw to their own try frame; the others record with class
// 3 and return an error code, trimming the stack to its 20 newest records.
//
// Callers: the probe's main (healthprobe_64 / healthprobe_32) and tests. One
// thread per query context; the process context is made once per process.
#ifndef QEN_PROBE_GIMH_H
#define QEN_PROBE_GIMH_H

#include <stdint.h>

#include "gimh_region.h"
#include "lem.h"
#include "lemx.h"
#include "lmm.h"
#include "lms.h"
#include "lpm.h"
#include "lsf_ctx.h"
#include "lxl.h"
#include "skgmsmr.h"
#include "skgp.h"

#ifdef __cplusplus
extern "C" {
#endif

#define GIMH_PROC_MAGIC 0xF645u   // 63045
#define GIMH_INST_MAGIC 0xF646u   // 63046
#define GIMH_QUERY_MAGIC 0xF647u  // 63047

// Results of the interface's functions.
enum { GIMH_OK = 0, GIMH_NONE = 1, GIMH_FAIL = 2, GIMH_UNSUPPORTED = 3, GIMH_NOREG = 4 };

// Event numbers (0 to 14) and "Any State".
enum {
  GIMH_EV_ABNORMAL = 0,
  GIMH_EV_SHUTDOWN = 1,
  GIMH_EV_RESTART = 8,
  GIMH_EV_OPEN = 9,
  GIMH_EV_CLOSED = 10,
  GIMH_EV_DISMOUNTED = 11,
  GIMH_EV_RESTRICTED = 14
};
#define GIMH_ANY_STATE 0x7FFFFFFF

// Kinds of test and of registration.
enum { GIMH_KIND_UNSET = 1, GIMH_KIND_SET = 2, GIMH_KIND_CHANGED = 3 };
// Kinds of report of gimh_next.
enum { GIMH_REP_UNSET = 1, GIMH_REP_SET = 2, GIMH_REP_NOW_SET = 4, GIMH_REP_NOW_UNSET = 5 };

// Classes of the event table.
enum { GIMH_CLASS_SOFT = 1, GIMH_CLASS_HARD = 2, GIMH_CLASS_INFO = 3 };

// The VUV facility.
#define GIMH_PRODUCT "RIDOR"
#define GIMH_FACILITY "VUV"
#define GIMH_FAC_INTERNAL 600
#define GIMH_FAC_FATAL 601

// VUV message numbers.
enum {
  VUV_LXZINIT = 1,
  VUV_LXLDINI = 2,
  VUV_LXLINIT = 3,
  VUV_OSCALL = 90,
  VUV_OSTEXT = 91,
  VUV_OSLOC = 92,
  VUV_OSINFO = 93,
  VUV_SKGPINIT = 100,
  VUV_INST_NOMEM = 101,
  VUV_NOHEAP = 102,
  VUV_SMR_INIT = 103,
  VUV_ATTACH = 104,
  VUV_MISMATCH = 105,
  VUV_QUERY_NOMEM = 106,
  VUV_ALIVE = 107,
  VUV_NOSNAP = 108,
  VUV_BADEVENT = 109,
  VUV_UNSUPPORTED = 110,
  VUV_BADKIND = 111,
  VUV_NOREG_WAIT = 112,
  VUV_REGISTERED = 113,
  VUV_NOT_REGISTERED = 114,
  VUV_NOREG_NEXT = 115
};

// One row of the event table.
typedef struct gimsa_row {
  int event;
  const char *name;
  int cls;
} gimsa_row;

#define GIMSA_ROWS 18
#define GIMSA_NAME_WIDTH 25
#define GIMSA_FIRST_EVENT_ROW 2
#define GIMSA_NOT_SUPPORTED_ROW 0
#define GIMSA_ANY_STATE_ROW 1
extern const gimsa_row gimsa_tab[GIMSA_ROWS];

// Kit handles the error functions receive.
#define GIMC_ENV_NLS 0x1u     // the NLS global record is initialised
#define GIMC_ENV_MSG 0x2u     // the message handle is open
typedef struct gimc_env {
  lpm_product *product;
  lmm_ctx *lmm;
  lmm_heap *heap;
  lem_ctx *lem;
  lwem_facility *fac;
  lxldcb *ldcb;
  lxlangid lang_area;       // filled by lxhLangEnv
  lxlangid *lang;
  lxglo glo;
  lmshnd msg;
  lsf_ctx *fmt;             // never set here; cleaned at destruction when set
  uint8_t flags;
} gimc_env;

#define GIMH_PROC_SKGP 0x1u   // the process services are initialised
typedef struct gimh_proc_ctx {
  uint16_t magic;
  gimc_env env;
  skgp_ctx skgp;
  skgp_ops ops;
  uint8_t event_row[GIMH_NEVENTS];
  uint8_t flags;
} gimh_proc_ctx;

#define GIMH_INST_SMR 0x1u    // the region-file handle is initialised
typedef struct gimh_inst_ctx {
  uint16_t magic;
  gimh_proc_ctx *proc;
  skgmsmr_ctx smr;
  void *addr;               // the mapped health file (gimh_region)
  uint8_t flags;
} gimh_inst_ctx;

// An event vector: 15 bits in 2 bytes, event n at bit n % 8 of byte n / 8.
#define GIMH_VEC_BYTES 2
typedef uint8_t gimh_vec[GIMH_VEC_BYTES];

// Query flags.
#define GIMH_Q_NOSNAP 0x1
#define GIMH_Q_NOPREV 0x2
#define GIMH_Q_NOREG2 0x4
#define GIMH_Q_NOREG1 0x8
#define GIMH_Q_NOREG3 0x10
#define GIMH_Q_NOREG_ALL (GIMH_Q_NOREG1 | GIMH_Q_NOREG2 | GIMH_Q_NOREG3)
#define GIMH_Q_ALL (GIMH_Q_NOSNAP | GIMH_Q_NOPREV | GIMH_Q_NOREG_ALL)

typedef struct gimh_query_ctx {
  uint16_t magic;
  gimh_inst_ctx *inst;
  const volatile gimh_region *region;
  const volatile uint8_t *live;   // the 15 state bytes of the record in use
  skgp_pid owner;
  int cur;                        // current and previous generation: 0 and 1
  int prev;
  gimh_vec state[2];
  gimh_vec change;
  gimh_vec mask[3];               // registrations of kinds 1, 2, 3
  gimh_vec fired[3];
  int flags;
} gimh_query_ctx;

// A fired event as gimh_next reports it.
typedef struct gimh_event {
  int event;
  int kind;                       // GIMH_REP_*
  const char *name;
  int cls;
} gimh_event;

// Process context.
int gimh_init_proc_ctx(gimh_proc_ctx **out, int flags);
int gimh_dest_proc_ctx(gimh_proc_ctx *ctx);

// Instance context; NULL home or sid are taken from VIRUZE_HOME, VIRUZE_SID.
// A failed creation keeps its messages in the error store and releases the
// mapping, descriptor and memory it took.
int gimh_init_inst_ctx(gimh_inst_ctx **out, gimh_proc_ctx *proc, const char *home,
                       const char *sid);
int gimh_dest_inst_ctx(gimh_inst_ctx *inst);

// Query context, snapshots and checks.
int gimh_init_query_ctx(gimh_query_ctx **out, gimh_inst_ctx *inst);
int gimh_dest_query_ctx(gimh_query_ctx *query);
int gimh_get(gimh_query_ctx *query);
int gimh_check(gimh_query_ctx *query, int event, int kind, int *result);
const char *gimh_name(gimh_proc_ctx *proc, int event);
int gimh_class(gimh_proc_ctx *proc, int event);

// Registrations and waiting.
int gimh_add_par(gimh_query_ctx *query, int event, int kind);
int gimh_res_par(gimh_query_ctx *query, int event, int kind);
int gimh_res_all(gimh_query_ctx *query);
int gimh_block(gimh_query_ctx *query, int interval_ms);
int gimh_next(gimh_query_ctx *query, gimh_event *event);

// Error text.
void gimcroserr(gimc_env *env, const slos_error *oserr);
int gimcgem(gimc_env *env, char *buffer, int length, int clear);
void gimcpem(gimc_env *env);
int gimh_error(gimh_proc_ctx *proc, char *buffer, int length);

#ifdef QEN_TEST_HOOKS
// Test builds only: replaces the pause of the ready wait and of gimh_block
// (NULL restores the real one).
void gimh_test_set_pause(void (*pause)(uint32_t usec));
#endif

#ifdef __cplusplus
}
#endif

#endif
