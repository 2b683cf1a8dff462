// What the cursor and cursor-writing operations share: the character-set
// object of a cursor's handle and the length rule of its lead bytes.
#ifndef QEN_KIT_NLS_LXMINT_H
#define QEN_KIT_NLS_LXMINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxc.h"
#include "lxhint.h"
#include "lxm.h"

namespace lxmi {

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
