#include "lxo.h"

#include <cstdint>

extern "C" size_t lxsulen(const void *text) {
  // Scan two bytes at a time; the text need not be aligned for 16-bit access.
  auto p = static_cast<const unsigned char *>(text);
  size_t n = 0;
  while (p[n] != 0 || p[n + 1] != 0) n += 2;
  return n;
}
