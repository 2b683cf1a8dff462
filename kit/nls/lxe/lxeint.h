// What the calendar files share inside the component: the handle's record,
// and the date library's routines under a begun date context.
#ifndef QEN_KIT_NLS_LXEINT_H
#define QEN_KIT_NLS_LXEINT_H

#include "lxe.h"

namespace lxe {

// The record of the handle's calendar, or NULL when the number has none.
inline const lxecal *record(const lxlangid *h) {
  if (!h || h->cal >= LXE_NCAL) return nullptr;
  return lxetbn[h->cal];
}

}  // namespace lxe

// ---- String comparison the calendars use -------------------------------------
// A narrow stand-in (lxe_seams.cpp) for the comparison not built yet; it takes
// the operation's own arguments.
extern "C" {
// 0 when a[0..alen) and b[0..blen) are equal (ignoring case with
// LXE_CMP_NOCASE). Replaced by lxsCmpStr [20].
#define LXE_CMP_NOCASE 0x10000010u
int lxsCmpStr_seam(const void *a, size_t alen, const void *b, size_t blen, uint32_t flags,
                   const lxlangid *h, lxglo *glo);
}

#endif
