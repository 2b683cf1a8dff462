// What the handle code uses of the components below it in one include: the
// environment record's accessors (lxfglo.h), loading objects (lxlget.h), the
// codec pair of a charset object (lxccodec.h), the objects' field readers
// (lxfobj.h) and the installers (lxp.h).
#ifndef QEN_KIT_NLS_LXHINT_H
#define QEN_KIT_NLS_LXHINT_H

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxh.h"
#include "lxlget.h"
#include "lxp.h"

#endif
