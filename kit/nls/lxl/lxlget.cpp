// Loading the objects of an environment's table on first use, and the
// built-in character-set objects.
#include "lxl.h"
#include "lxlget.h"

namespace lxn {

bool boot_builtin(const lxglo *g) {
  const uint8_t *b = boot(g);
  return b && (reinterpret_cast<const lxboot *>(b)->flags & LX_BOOT_BUILTIN);
}

const uint8_t *get(uint16_t idx, int type, lxglo *g) {
  const uint8_t *b = boot(g);
  if (!b || idx == 0 || idx >= reinterpret_cast<const lxboot *>(b)->count) {
    if (g) g->status = LXS_NOLOAD;
    return nullptr;
  }
  return reinterpret_cast<const uint8_t *>(lxdgetobj(idx, static_cast<unsigned>(type), g));
}

const uint8_t *ucs() { return reinterpret_cast<const uint8_t *>(lxdlucs); }
const uint8_t *utf16le() { return reinterpret_cast<const uint8_t *>(lxdlutf16le); }
const uint8_t *wkb() { return reinterpret_cast<const uint8_t *>(lxdlwkb); }

}  // namespace lxn
