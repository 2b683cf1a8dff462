// lxsCmpStr: the linguistic comparison of two byte strings in a handle's
// character set, through cursors opened over them (lxoCmpStr decides).
// Callers: the calendar name match, tests.
#include <assert.h>

#include "lxo.h"

extern "C" int lxsCmpStr(const void *left, size_t llen, const void *right, size_t rlen,
                         uint32_t flags, const lxlangid *h, lxglo *glo) {
  assert(h && glo);
  lxmcur l, r;
  const size_t lskip = lxmcpen(left, llen, &l, h, glo);
  const size_t rskip = lxmcpen(right, rlen, &r, h, glo);
  assert(lskip <= llen && rskip <= rlen);
  return lxoCmpStr(&l, llen - lskip, &r, rlen - rskip, flags, glo);
}
