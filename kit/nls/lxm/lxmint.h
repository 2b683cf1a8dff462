// What the cursor and cursor-writing operations share: the cursor's room and
// the character-set object of its handle.
#ifndef QEN_KIT_NLS_LXMINT_H
#define QEN_KIT_NLS_LXMINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxhint.h"
#include "lxm.h"

namespace lxmi {

// Bytes left at the cursor; 0 once a step has moved it past its end.
inline size_t room(const lxmcur *c) {
  size_t used = static_cast<size_t>(c->pos - c->start);
  return used < c->len ? c->len - used : 0;
}

// The handle's character-set object as loaded in the environment's table
// (callers load it before they open a cursor); NULL when it is not there.
inline const lxcsobj *charset(const lxlangid *h, const lxglo *g) {
  return h ? lxn::csobj(lxn::loaded(g, h->cs)) : nullptr;
}

// Length of the character whose first byte is b by the byte-class rule.
inline unsigned lead_len(const lxcsobj *cs, uint8_t b) {
  return cs ? (cs->bclass[b] & 3u) + 1u : 1u;
}

}  // namespace lxmi

#endif
