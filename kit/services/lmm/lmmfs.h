// Layout of the fast arena strategy, in machine words.
#ifndef QEN_KIT_CORE_LMMFS_H
#define QEN_KIT_CORE_LMMFS_H

#include <stddef.h>
#include <stdint.h>

#include "lmmi.h"

// A virtual block: this header, then its data area.
struct lmmfs_vblock {
  lmmfs_vblock* next;   // next older virtual block
  intptr_t* cursor;     // header of the newest block placed here
  size_t freeb;         // free bytes left
  uint32_t count;       // blocks placed, alignment pads included
};

// A block: {size rounded up to 8, alignment or 0}, then its bytes. A pad record
// is one word holding minus the bytes to skip.
struct lmmfs_bhdr {
  intptr_t size;
  intptr_t align;
};

static_assert(sizeof(lmmfs_vblock) == 4 * sizeof(void*));
static_assert(sizeof(lmmfs_bhdr) == 2 * sizeof(void*));

// Places a block of sz bytes (a multiple of 8) with its header at pos in v,
// which has room for need = sz + header bytes: the cursor moves to it and the
// block's bytes are returned.
inline void* lmmfs_place(lmmfs_vblock* v, char* pos, size_t sz, size_t need) {
  auto* h = reinterpret_cast<lmmfs_bhdr*>(pos);
  h->size = static_cast<intptr_t>(sz);
  h->align = 0;
  v->cursor = &h->size;
  v->freeb -= need;
  v->count++;
  return pos + sizeof(lmmfs_bhdr);
}

// The allocation that fits the current virtual block: place a block of n
// bytes (1 <= n <= LMM_MAXSIZE) after the cursor's record and return its
// bytes, or NULL when the heap has no current virtual block or it has too
// little room (the caller then opens a new one). Inline, so that lmmmalloc
// bumps a fast heap without a call.
inline void* lmmfs_bump(lmm_heap* hp, size_t n) {
  lmmfs_vblock* v = *static_cast<lmmfs_vblock**>(hp->strctx);
  const size_t sz = (n + 7) & ~static_cast<size_t>(7);
  const size_t need = sz + sizeof(lmmfs_bhdr);
  if (v == nullptr || v->freeb < need) return nullptr;
  // The header position that follows the cursor's record: the cursor itself
  // for the size word 0 of a fresh block, past a pad record, or past a block.
  intptr_t* cur = v->cursor;
  const intptr_t s = *cur;
  char* pos = reinterpret_cast<char*>(cur);
  if (s < 0)
    pos -= s;
  else if (s > 0)
    pos += static_cast<size_t>(s) + sizeof(lmmfs_bhdr);
  return lmmfs_place(v, pos, sz, need);
}

// The allocation that does not fit: opens a virtual block for a block of n
// bytes (1 <= n <= LMM_MAXSIZE) and places it at its start, recording what
// fails as lmmfsmalloc does; NULL then.
void* lmmfs_open(lmm_ctx* ctx, lmm_heap* hp, size_t n, unsigned flags, int* mark);

#endif
