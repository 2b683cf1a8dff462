// Registrations on a query context, waiting until a registered event fires,
// and collecting the fired events one at a time.
#include "gimh_int.h"
#include "lbi.h"

namespace {

constexpr size_t kBits = GIMH_NEVENTS;
constexpr uint8_t kAllLow = 0xFF;
constexpr uint8_t kAllHigh = 0x7F;  // events 8 to 14; bit 15 is never set
constexpr uint32_t kUsecPerMs = 1000;

// Flag that marks kind 1, 2 or 3 as having no registration.
constexpr int kNoRegFlag[3] = {GIMH_Q_NOREG1, GIMH_Q_NOREG2, GIMH_Q_NOREG3};

bool empty(const uint8_t *v) { return v[0] == 0 && (v[1] & kAllHigh) == 0; }

// The shared checks of gimh_add_par and gimh_res_par: GIMH_OK, with the
// process's error environment in *envp, or the result.
int validate(gimh_query_ctx *q, int event, int kind, gimc_env **envp) {
  gimh_proc_ctx *proc = gimh_query_proc(q);
  if (!proc) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  *envp = env;
  const uint8_t event_byte = static_cast<uint8_t>(event);
  if (event != GIMH_ANY_STATE && static_cast<unsigned>(event) >= GIMH_NEVENTS) {
    GIMH_RECORD(env, VUV_BADEVENT, LSFUB1, &event_byte);
    return GIMH_FAIL;
  }
  if (event != GIMH_ANY_STATE && q->live[event] == GIMH_STATE_UNSUPPORTED) {
    GIMH_RECORD(env, VUV_UNSUPPORTED, LSFUB1, &event_byte);
    return GIMH_UNSUPPORTED;
  }
  if (kind < GIMH_KIND_UNSET || kind > GIMH_KIND_CHANGED) {
    unsigned kind_word = static_cast<unsigned>(kind);
    GIMH_RECORD(env, VUV_BADKIND, LSFUWORD, &kind_word);
    return GIMH_FAIL;
  }
  return GIMH_OK;
}

bool test_bit(const uint8_t *v, unsigned n) { return (v[n / 8] >> (n % 8)) & 1u; }

}  // namespace

extern "C" {

int gimh_add_par(gimh_query_ctx *q, int event, int kind) {
  gimc_env *env = nullptr;
  int r = validate(q, event, kind, &env);
  if (r != GIMH_OK) return r;
  const int k = kind - 1;
  q->flags &= ~kNoRegFlag[k];
  uint8_t *mask = q->mask[k];
  if (event == GIMH_ANY_STATE) {
    mask[0] = kAllLow;
    mask[1] = kAllHigh;
    return GIMH_OK;
  }
  const unsigned n = static_cast<unsigned>(event);
  if (test_bit(mask, n)) {
    const uint8_t event_byte = static_cast<uint8_t>(event);
    unsigned kind_word = static_cast<unsigned>(kind);
    GIMH_RECORD(env, VUV_REGISTERED, LSFUB1, &event_byte, LSFUWORD, &kind_word);
    return GIMH_NOREG;
  }
  mask[n / 8] = static_cast<uint8_t>(mask[n / 8] | (1u << (n % 8)));
  return GIMH_OK;
}

int gimh_res_par(gimh_query_ctx *q, int event, int kind) {
  gimc_env *env = nullptr;
  int r = validate(q, event, kind, &env);
  if (r != GIMH_OK) return r;
  const int k = kind - 1;
  uint8_t *mask = q->mask[k];
  if (event == GIMH_ANY_STATE) {
    mask[0] = mask[1] = 0;
    q->flags |= kNoRegFlag[k];
    return GIMH_OK;
  }
  const unsigned n = static_cast<unsigned>(event);
  if (!test_bit(mask, n)) {
    const uint8_t event_byte = static_cast<uint8_t>(event);
    unsigned kind_word = static_cast<unsigned>(kind);
    GIMH_RECORD(env, VUV_NOT_REGISTERED, LSFUB1, &event_byte, LSFUWORD, &kind_word);
    return GIMH_NOREG;
  }
  mask[n / 8] = static_cast<uint8_t>(mask[n / 8] & ~(1u << (n % 8)));
  if (empty(mask)) q->flags |= kNoRegFlag[k];
  return GIMH_OK;
}

int gimh_res_all(gimh_query_ctx *q) {
  if (!gimh_query_proc(q)) return GIMH_FAIL;
  for (auto &m : q->mask) m[0] = m[1] = 0;
  q->flags |= GIMH_Q_NOREG_ALL;
  return GIMH_OK;
}

int gimh_block(gimh_query_ctx *q, int interval_ms) {
  gimh_proc_ctx *proc = gimh_query_proc(q);
  if (!proc) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  if ((q->flags & GIMH_Q_NOREG_ALL) == GIMH_Q_NOREG_ALL) {
    GIMH_RECORD(env, VUV_NOREG_WAIT);
    return GIMH_NOREG;
  }
  const uint32_t pause =
      interval_ms == 0 ? kUsecPerMs : static_cast<uint32_t>(interval_ms) * kUsecPerMs;
  for (;;) {
    if (gimh_get(q) != GIMH_OK) return GIMH_FAIL;
    for (const auto &f : q->fired)
      if (!empty(f)) return GIMH_OK;
    gimh_pause(pause);
  }
}

int gimh_next(gimh_query_ctx *q, gimh_event *event) {
  gimh_proc_ctx *proc = gimh_query_proc(q);
  if (!proc || !event) return GIMH_FAIL;
  gimc_env *env = &proc->env;
  if (q->flags & GIMH_Q_NOSNAP) {
    GIMH_RECORD(env, VUV_NOSNAP);
    return GIMH_FAIL;
  }
  if ((q->flags & GIMH_Q_NOREG_ALL) == GIMH_Q_NOREG_ALL) {
    GIMH_RECORD(env, VUV_NOREG_NEXT);
    return GIMH_NOREG;
  }
  for (int k = 0; k < 3; ++k) {
    uint8_t *f = q->fired[k];
    const int32_t n = lbivffs(f, 0, static_cast<int32_t>(kBits));
    if (n < 0) continue;
    const unsigned bit = static_cast<unsigned>(n);
    f[bit / 8] = static_cast<uint8_t>(f[bit / 8] & ~(1u << (bit % 8)));
    event->event = n;
    switch (k + 1) {
      case GIMH_KIND_UNSET: event->kind = GIMH_REP_UNSET; break;
      case GIMH_KIND_SET: event->kind = GIMH_REP_SET; break;
      default:
        event->kind = test_bit(q->state[q->cur], bit) ? GIMH_REP_NOW_SET : GIMH_REP_NOW_UNSET;
    }
    event->name = gimh_name(proc, n);
    event->cls = gimh_class(proc, n);
    return GIMH_OK;
  }
  return GIMH_NONE;
}

}  // extern "C"
