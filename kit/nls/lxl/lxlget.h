// The objects of an environment's table for the components written in C++:
// loading an object on first use and the built-in character-set objects.
// The inline look-ups of the table are the environment record's (lxfglo.h).
#ifndef QEN_KIT_NLS_LXLGET_H
#define QEN_KIT_NLS_LXLGET_H

#include <stdint.h>

#include "lxfglo.h"

namespace lxn {

bool boot_builtin(const lxglo *g);                     // the built-in table is in use
const uint8_t *get(uint16_t idx, int type, lxglo *g);  // loads on first use

// Built-in charset objects.
const uint8_t *ucs();      // id 1000
const uint8_t *utf16le();  // id 2002
const uint8_t *wkb();      // id 799

}  // namespace lxn

#endif
