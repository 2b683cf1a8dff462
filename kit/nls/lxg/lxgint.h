// Character rules shared by the conversion routines.
#ifndef QEN_KIT_NLS_LXGINT_H
#define QEN_KIT_NLS_LXGINT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

typedef struct lxglo lxglo;

namespace lxg {

// Length of the source character at p with the surrogate look-ahead.
unsigned measure_la(const uint8_t *cs, const uint8_t *p, size_t remaining);

// A supplementary character changes form between a UTF-16 shaped or
// six-byte set (flag 0x100, UTF8, AL16UTF16LE) and a code-point set
// (AL32UTF8, flag 0x100 or 0x10000000, AL16UTF16LE).
bool utf16_shaped(const uint8_t *cs);
bool code_point(const uint8_t *cs);

// One character's bytes into the output: fixed moves for the common lengths.
inline void put_small(uint8_t *to, const uint8_t *from, size_t n) {
  switch (n) {
    case 1: to[0] = from[0]; break;
    case 2: memcpy(to, from, 2); break;
    case 3: memcpy(to, from, 3); break;
    case 4: memcpy(to, from, 4); break;
    default: memcpy(to, from, n); break;
  }
}

}  // namespace lxg

#endif
