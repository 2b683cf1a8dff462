// The case form of the character at a cursor as a packed wide value.
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

extern "C" uint32_t lxoCnvCh2Wide(const lxmcur *cur, uint32_t mode, lxglo *glo) {
  const bool upper = mode == LXO_CASE_UPPER;
  if (!upper && mode != LXO_CASE_LOWER) return 0;
  if (!cur->single_byte) return upper ? lxm2wux(cur, glo) : lxm2wlx(cur, glo);
  const lxlangid *h = cur->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  if (lxmleft(cur) == 0) return 0;
  if (!cs) return *cur->pos;
  // a single-byte set maps through the byte tables the handle points at
  const uint8_t *obj = reinterpret_cast<const uint8_t *>(cs);
  return obj[h->csoff[upper ? LXH_OFF_UPPER : LXH_OFF_LOWER] + *cur->pos];
}
