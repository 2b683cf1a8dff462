// Query contexts: snapshots of the fifteen event states of the mapped health
// file with the liveness of the instance process, checks on the latest
// snapshot, and the event table with its names and classes.
//
// Invariants of a context whose magic is GIMH_QUERY_MAGIC: cur and prev are 0
// and 1 in some order; every event vector has bit 15 clear; live points at
// the state bytes of one of the ten records inside the mapping.
#include <assert.h>
#include <string.h>

#include "gimh_int.h"
#include "lbi.h"

extern "C" {

constexpr gimsa_row gimsa_tab[GIMSA_ROWS] = {
    {100, "Not Supported", 0},
    {100, "Any State", GIMH_CLASS_INFO},
    {0, "Abnormal Termination     ", GIMH_CLASS_SOFT},
    {1, "Instance Shutdown        ", GIMH_CLASS_INFO},
    {2, "Corrupted Controlfile    ", GIMH_CLASS_HARD},
    {3, "Corrupted Dictionary     ", GIMH_CLASS_HARD},
    {4, "Inaccessible Logfile     ", GIMH_CLASS_HARD},
    {5, "Stuck Archiver           ", GIMH_CLASS_HARD},
    {6, "Instance Recovery        ", GIMH_CLASS_INFO},
    {7, "Cluster Reconfiguration  ", GIMH_CLASS_INFO},
    {8, "Instance Restart         ", GIMH_CLASS_INFO},
    {9, "Open                     ", GIMH_CLASS_INFO},
    {10, "Mounted (Closed)         ", GIMH_CLASS_INFO},
    {11, "Dismounted               ", GIMH_CLASS_INFO},
    {12, "Readonly                 ", GIMH_CLASS_INFO},
    {13, "Quiesced                 ", GIMH_CLASS_INFO},
    {14, "Restricted Access        ", GIMH_CLASS_INFO},
    {100, "DUMMY", 123},
};

}  // extern "C"

namespace {

constexpr size_t kBits = GIMH_NEVENTS;
// The bits of the 15 events in the second byte of a vector.
constexpr uint8_t kHighMask = 0x7F;

constexpr bool names_padded() {
  for (int row = GIMSA_FIRST_EVENT_ROW; row < GIMSA_ROWS - 1; ++row) {
    size_t n = 0;
    while (gimsa_tab[row].name[n]) ++n;
    if (n != GIMSA_NAME_WIDTH) return false;
  }
  return true;
}

void set_bit(uint8_t *v, unsigned n) { v[n / 8] = static_cast<uint8_t>(v[n / 8] | (1u << (n % 8))); }
void clear_bit(uint8_t *v, unsigned n) {
  v[n / 8] = static_cast<uint8_t>(v[n / 8] & ~(1u << (n % 8)));
}
bool test_bit(const uint8_t *v, unsigned n) { return (v[n / 8] >> (n % 8)) & 1u; }
bool any(const uint8_t *v) { return v[0] != 0 || (v[1] & kHighMask) != 0; }

// NOT over the 15 event bits, leaving bit 15 clear.
void vec_not(uint8_t *dst, const uint8_t *a) {
  lbivnot(dst, a, kBits);
  dst[1] &= kHighMask;
}

// Copies the instance process identity from the file.
bool copy_owner(gimh_query_ctx *q, gimc_env *env, gimh_proc_ctx *proc) {
  slos_error err;
  gimh_clear_oserr(&err);
  skgp_pid src;
  memcpy(&src, const_cast<const skgp_pid *>(&q->region->pid), sizeof src);
  if (skgpmaterialize(&err, &proc->skgp, &src, &q->owner)) return true;
  if (err.code != 0) gimcroserr(env, &err);
  return false;
}

const volatile uint8_t *record_states(const volatile gimh_region *region, unsigned index) {
  assert(index < GIMH_NRECORDS);
  return region->rec[index].state;
}

}  // namespace

static_assert(names_padded(), "event names are padded to their width");

extern "C" {

gimh_proc_ctx *gimh_query_proc(const gimh_query_ctx *query) {
  if (!query || query->magic != GIMH_QUERY_MAGIC || !query->inst) return nullptr;
  gimh_proc_ctx *proc = query->inst->proc;
  return proc && proc->magic == GIMH_PROC_MAGIC ? proc : nullptr;
}

int gimh_init_query_ctx(gimh_query_ctx **out, gimh_inst_ctx *inst) {
  if (!out || !inst || inst->magic != GIMH_INST_MAGIC || !inst->proc) return GIMH_FAIL;
  gimh_proc_ctx *proc = inst->proc;
  gimc_env *env = &proc->env;
  lem_frame root;
  lem_tryframe frame;
  GIMH_TRY(env, root, frame) {
    if (!env->lmm || !env->heap) gimh_throw(&root, env, VUV_NOHEAP);
    auto *region = static_cast<const volatile gimh_region *>(inst->addr);
    // The index is read once: the instance may move it at any time.
    unsigned index = region ? gimh_region_index(region) : GIMH_NRECORDS;
    if (!gimh_region_ok(region) || index >= GIMH_NRECORDS) gimh_throw(&root, env, VUV_MISMATCH);
    auto *q = static_cast<gimh_query_ctx *>(gimh_alloc(env, sizeof(gimh_query_ctx)));
    if (!q) gimh_throw(&root, env, VUV_QUERY_NOMEM);
    memset(q, 0, sizeof *q);
    q->inst = inst;
    q->region = region;
    q->live = record_states(region, index);
    q->flags = GIMH_Q_ALL;
    q->cur = 0;
    q->prev = 1;
    if (!copy_owner(q, env, proc)) gimh_throw(&root, env, VUV_MISMATCH);
    q->magic = GIMH_QUERY_MAGIC;
    *out = q;
    lemptfr(&root, &frame);
    return GIMH_OK;
  }
  GIMH_CATCH(env, root, frame) {
    gimh_unwind(env);
    return GIMH_FAIL;
  }
}

int gimh_dest_query_ctx(gimh_query_ctx *query) {
  gimh_proc_ctx *proc = gimh_query_proc(query);
  if (!proc) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  lem_frame root;
  lem_tryframe frame;
  GIMH_TRY(env, root, frame) {
    if (!env->lmm || !env->heap) gimh_throw(&root, env, VUV_NOHEAP);
    query->magic = 0;
    lmmfree(env->lmm, env->heap, query, 0);
    lemptfr(&root, &frame);
    return GIMH_OK;
  }
  GIMH_CATCH(env, root, frame) {
    gimh_unwind(env);
    return GIMH_FAIL;
  }
}

int gimh_get(gimh_query_ctx *q) {
  gimh_proc_ctx *proc = gimh_query_proc(q);
  if (!proc) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  const volatile gimh_region *region = q->region;
  if (!gimh_region_ok(region)) {
    GIMH_RECORD(env, VUV_MISMATCH);
    return GIMH_FAIL;
  }
  const int old = q->cur;
  q->prev = old;
  q->cur = 1 - old;
  uint8_t *cur = q->state[q->cur];
  uint8_t *prev = q->state[q->prev];

  bool restart = false;
  if (q->live[GIMH_EV_RESTART] == GIMH_STATE_SET) {
    restart = true;
    const unsigned index = gimh_region_index(region);
    if (index >= GIMH_NRECORDS) {
      GIMH_RECORD(env, VUV_MISMATCH);
      return GIMH_FAIL;
    }
    q->live = record_states(region, index);
    if (!copy_owner(q, env, proc)) {
      GIMH_RECORD(env, VUV_MISMATCH);
      return GIMH_FAIL;
    }
    q->flags |= GIMH_Q_NOPREV;
    memset(prev, 0, GIMH_VEC_BYTES);
    memset(q->change, 0, GIMH_VEC_BYTES);
  }

  memset(cur, 0, GIMH_VEC_BYTES);
  for (unsigned n = 0; n < GIMH_NEVENTS; ++n)
    if (q->live[n] == GIMH_STATE_SET) set_bit(cur, n);

  const bool valid_prev = (q->flags & GIMH_Q_NOPREV) == 0;
  bool gone = false;
  if (!test_bit(cur, GIMH_EV_SHUTDOWN) && !test_bit(cur, GIMH_EV_RESTART)) {
    slos_error err;
    gimh_clear_oserr(&err);
    if (!skgpalive(&err, &proc->skgp, &q->owner)) {
      if (err.code != 0) {
        gimcroserr(env, &err);
        GIMH_RECORD(env, VUV_ALIVE);
        return GIMH_FAIL;
      }
      gone = true;
    }
  }
  if (gone) {
    set_bit(cur, GIMH_EV_ABNORMAL);
    for (unsigned n = GIMH_EV_OPEN; n <= GIMH_EV_RESTRICTED; ++n) clear_bit(cur, n);
    if (valid_prev) {
      lbivxor(q->change, cur, prev, kBits);
    } else if (restart) {
      set_bit(q->change, GIMH_EV_RESTART);
      set_bit(q->change, GIMH_EV_DISMOUNTED);
    }
  } else if (restart) {
    set_bit(cur, GIMH_EV_RESTART);
    set_bit(q->change, GIMH_EV_RESTART);
    set_bit(q->change, GIMH_EV_DISMOUNTED);
  } else if (valid_prev) {
    lbivxor(q->change, cur, prev, kBits);
  }

  if (!(q->flags & GIMH_Q_NOREG1)) {
    uint8_t unset[GIMH_VEC_BYTES];
    vec_not(unset, cur);
    lbivand(q->fired[0], unset, q->mask[0], kBits);
  }
  if (!(q->flags & GIMH_Q_NOREG2)) lbivand(q->fired[1], cur, q->mask[1], kBits);
  if (!(q->flags & GIMH_Q_NOREG3)) lbivand(q->fired[2], q->change, q->mask[2], kBits);
  q->flags &= ~(GIMH_Q_NOSNAP | GIMH_Q_NOPREV);
  return GIMH_OK;
}

int gimh_check(gimh_query_ctx *q, int event, int kind, int *result) {
  gimh_proc_ctx *proc = gimh_query_proc(q);
  if (!proc) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  if (q->flags & GIMH_Q_NOSNAP) {
    GIMH_RECORD(env, VUV_NOSNAP);
    return GIMH_FAIL;
  }
  const uint8_t *cur = q->state[q->cur];
  unsigned kind_word = static_cast<unsigned>(kind);
  if (event == GIMH_ANY_STATE) {
    int answer;
    switch (kind) {
      case GIMH_KIND_UNSET: {
        uint8_t unset[GIMH_VEC_BYTES];
        vec_not(unset, cur);
        answer = any(unset);
        break;
      }
      case GIMH_KIND_SET: answer = any(cur); break;
      case GIMH_KIND_CHANGED: answer = any(q->change); break;
      default:
        GIMH_RECORD(env, VUV_BADKIND, LSFUWORD, &kind_word);
        return GIMH_FAIL;
    }
    if (result) *result = answer;
    return GIMH_OK;
  }
  const uint8_t event_byte = static_cast<uint8_t>(event);
  if (static_cast<unsigned>(event) >= GIMH_NEVENTS) {
    GIMH_RECORD(env, VUV_BADEVENT, LSFUB1, &event_byte);
    return GIMH_FAIL;
  }
  const unsigned n = static_cast<unsigned>(event);
  if (q->live[n] == GIMH_STATE_UNSUPPORTED) {
    GIMH_RECORD(env, VUV_UNSUPPORTED, LSFUB1, &event_byte);
    return GIMH_UNSUPPORTED;
  }
  int answer;
  switch (kind) {
    case GIMH_KIND_UNSET: answer = !test_bit(cur, n); break;
    case GIMH_KIND_SET: answer = test_bit(cur, n); break;
    case GIMH_KIND_CHANGED: answer = test_bit(q->change, n); break;
    default:
      GIMH_RECORD(env, VUV_BADKIND, LSFUWORD, &kind_word);
      return GIMH_FAIL;
  }
  if (result) *result = answer;
  return GIMH_OK;
}

namespace {

const gimsa_row *row_of(gimh_proc_ctx *proc, int event) {
  if (!proc || proc->magic != GIMH_PROC_MAGIC) return nullptr;
  if (event == GIMH_ANY_STATE) return &gimsa_tab[GIMSA_ANY_STATE_ROW];
  if (event < 0 || event >= GIMH_NEVENTS) return nullptr;
  return &gimsa_tab[proc->event_row[event]];
}

}  // namespace

const char *gimh_name(gimh_proc_ctx *proc, int event) {
  const gimsa_row *row = row_of(proc, event);
  return row ? row->name : nullptr;
}

int gimh_class(gimh_proc_ctx *proc, int event) {
  const gimsa_row *row = row_of(proc, event);
  return row ? row->cls : 0;
}

}  // extern "C"
