// The NLS environment record (lxglo) every component passes along: the
// object table it reads, its status and counts, its charset cache and the
// carry-over of the resumable conversions, with the status codes stored in
// it. The environment's own code (lxl) builds and ends it; every component
// reads and writes it through the accessors below (namespace lxn), the only
// place besides lxl that looks inside it.
//
// Part of the formats component: it includes nothing of the NLS but lxf.h.
#ifndef QEN_KIT_NLS_LXFGLO_H
#define QEN_KIT_NLS_LXFGLO_H

#include <stddef.h>
#include <stdint.h>

#include "lxf.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- Status codes ---------------------------------------------------------

#define LXS_OK 0u
#define LXS_NOMEM 5u        // memory exhausted
#define LXS_SMALL 6u        // output too small
#define LXS_NOCS 7u         // character-set object missing
#define LXS_BUILTIN 22u     // no usable boot file: the built-in table is in use
#define LXS_NOLOAD 23u      // a data object could not be loaded
#define LXS_FREEFAIL 24u    // a free callback failed

#define LX_REPMARK 1000     // replacement mark after a lossy conversion

// ---- Object table ---------------------------------------------------------

// The object table: an array of object pointers indexed by boot index, slot 0
// holding the boot block. The type is never completed: reach the slots
// through the functions below.
typedef struct lxlobj lxlobj;

static inline lxnlsobj **lxlslots(lxlobj *table) { return (lxnlsobj **)(void *)table; }

// Reads slot i; slots are published under the global NLS lock and may be read
// by other threads at any time.
static inline lxnlsobj *lxlslot(lxlobj *table, unsigned i) {
  return __atomic_load_n(&lxlslots(table)[i], __ATOMIC_ACQUIRE);
}
static inline void lxlsetslot(lxlobj *table, unsigned i, lxnlsobj *obj) {
  __atomic_store_n(&lxlslots(table)[i], obj, __ATOMIC_RELEASE);
}

// The loader callback block (lxl.h).
typedef struct lxldcb lxldcb;

// ---- NLS environment record -----------------------------------------------

// Carry-over of the resumable conversions (the last fields of lxglo).
typedef struct lxgcarry {
  uint8_t src_shift;   // source in multibyte mode
  uint8_t dst_shift;   // destination has an open multibyte run
  uint8_t ncarried;    // source bytes held in carried
  uint8_t npending;    // output bytes held in pending
  uint8_t state[2];    // stateful engine: current and designated set
  uint8_t carried[6];
  uint8_t pending[4];
} lxgcarry;

typedef struct lxglo {
  lxlobj **objtab;     // where readers find the table (normally &table)
  lxldcb *ldcb;        // loader callback block
  lxlobj *table;       // the table in use
  uintptr_t nbytes;    // bytes consumed
  uintptr_t nbytes2;   // second count
  uintptr_t ncount;    // characters consumed
  uintptr_t ncount2;   // characters produced
  uint32_t status;
  int16_t repmark;     // LX_REPMARK after a lossy conversion
  uint16_t csid[2];    // charset cache: ids
  uint16_t csidx[2];   //   and their boot indexes
  uint8_t csnext;      //   entry the next miss replaces
  lxgcarry carry;
} lxglo;

#ifdef __cplusplus
}

namespace lxn {

// Object table and objects. The look-ups run on every string operation and
// stay inline: the table, its boot block (slot 0) and a slot below the boot
// block's count, each NULL when it is missing. Loading an object on first
// use is the environment's (lxlget.h).
inline const lxlobj *table(const lxglo *g) { return (g && g->objtab) ? *g->objtab : nullptr; }
inline const uint8_t *boot(const lxglo *g) {
  const lxlobj *t = table(g);
  return t ? reinterpret_cast<const uint8_t *>(lxlslot(const_cast<lxlobj *>(t), 0)) : nullptr;
}
// The slot, no loading.
inline const uint8_t *loaded(const lxglo *g, uint16_t idx) {
  const lxlobj *t = table(g);
  if (!t) return nullptr;
  lxlobj *slots = const_cast<lxlobj *>(t);
  const auto *b = reinterpret_cast<const lxboot *>(lxlslot(slots, 0));
  if (!b || idx >= b->count) return nullptr;
  return reinterpret_cast<const uint8_t *>(lxlslot(slots, idx));
}

// Results.
inline uint32_t &status(lxglo *g) { return g->status; }
inline size_t &nbytes(lxglo *g) { return reinterpret_cast<size_t &>(g->nbytes); }    // bytes consumed
inline size_t &nbytes2(lxglo *g) { return reinterpret_cast<size_t &>(g->nbytes2); }  // second count
inline size_t &ncount(lxglo *g) { return reinterpret_cast<size_t &>(g->ncount); }    // characters consumed
inline size_t &ncount2(lxglo *g) { return reinterpret_cast<size_t &>(g->ncount2); }  // characters produced
inline int16_t &mark(lxglo *g) { return g->repmark; }  // replacement mark

// Two-entry charset cache.
inline uint16_t &cache_id(lxglo *g, int i) { return g->csid[i]; }
inline uint16_t &cache_idx(lxglo *g, int i) { return g->csidx[i]; }
inline uint8_t &cache_next(lxglo *g) { return g->csnext; }

// Carry-over bytes that the whole-string conversion clears.
inline uint8_t &src_shift(lxglo *g) { return g->carry.src_shift; }
inline uint8_t &dst_shift(lxglo *g) { return g->carry.dst_shift; }
inline uint8_t &stateful_byte(lxglo *g) { return g->carry.state[0]; }
inline uint8_t &pend_count(lxglo *g) { return g->carry.npending; }
inline uint8_t *pend_bytes(lxglo *g) { return g->carry.pending; }  // 4 bytes

// A loaded object as the charset record it holds.
inline const lxcsobj *csobj(const uint8_t *p) { return reinterpret_cast<const lxcsobj *>(p); }

}  // namespace lxn
#endif

#endif
