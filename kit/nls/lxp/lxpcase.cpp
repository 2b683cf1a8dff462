// Upper- and lower-case forms of one multibyte character through the
// charset object's case maps; the map search itself is the charset
// primitives' one (lxcsmmap).
#include "lxp.h"

extern "C" uint16_t lxpmmup(const lxcsobj *cs, uint8_t *dst, const uint8_t *src, size_t len) {
  return static_cast<uint16_t>(lxcsmmap(cs, 1, dst, src, len));
}

extern "C" uint16_t lxpmmlo(const lxcsobj *cs, uint8_t *dst, const uint8_t *src, size_t len) {
  return static_cast<uint16_t>(lxcsmmap(cs, 0, dst, src, len));
}
