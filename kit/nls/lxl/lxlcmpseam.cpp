// The seam between lxCmpStr and the cursor comparison lxoCmpStr, which the
// linguistic-comparison issue [20] brings: it replaces this body by
// "return lxoCmpStr(left, llen, right, rlen, flags, glo);".
//
// Until then the cursors' bytes are compared binary, case-insensitively
// through the character set's lower-case byte table when the flags or the
// handle's options ask for it; the shorter text sorts first.
#include "lxlcmpseam.h"

#include <assert.h>

#include "lxc.h"
#include "lxh.h"
#include "lxmint.h"

int lxCmpStr_oCmpStr_seam(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
                          lxglo *glo) {
  assert(llen != LXCMP_NUL && rlen != LXCMP_NUL);  // lengths are measured, never "NUL-terminated"
  const lxlangid *h = left->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const bool ci = (flags & LXCMP_CI) || (h && (h->opts & LXH_O_CI));
  const uint8_t *l = left->pos, *r = right->pos;
  size_t n = llen < rlen ? llen : rlen;
  for (size_t i = 0; i < n; ++i) {
    int a = l[i], b = r[i];
    if (ci && cs) {
      a = cs->lower[a];
      b = cs->lower[b];
    }
    if (a != b) return a - b;
  }
  return llen < rlen ? -1 : llen > rlen ? 1 : 0;
}
