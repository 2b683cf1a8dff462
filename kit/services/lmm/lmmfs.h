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

#endif
