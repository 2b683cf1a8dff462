// The two-level fold walk of the named mappings (BINARY_AI, CASE_FOLDING).
#include <string.h>

#include "lxlig.h"

namespace lxfold {

uint32_t word(const uint8_t *obj, size_t size, size_t at, size_t i) {
  if (at > size || i > (size - at) / 4 || (size - at) / 4 - i < 1) return 0;
  uint32_t v;
  memcpy(&v, obj + at + 4 * i, 4);
  return v;
}

uint32_t value(const uint8_t *obj, size_t size, size_t first, uint16_t u) {
  uint32_t off = word(obj, size, first, u >> 8);
  if (off == 0) return 0;
  return word(obj, size, first, size_t(kSecond) + off / 4 + (u & 0xFF));
}

}  // namespace lxfold
