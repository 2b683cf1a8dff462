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

#endif
