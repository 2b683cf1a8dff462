// Internal to the sort-object lookups and the byte-string compare: bounded
// views of a sort object's sections.
#ifndef QEN_KIT_NLS_LXLIG_H
#define QEN_KIT_NLS_LXLIG_H

#include <stddef.h>
#include <stdint.h>

#include "lxl.h"

namespace lxlig {

// A section of a sort object: its records, their count and the bytes of the
// object from its start on. p is NULL when the section would leave the object.
struct Section {
  const uint8_t *p;
  uint16_t count;
  size_t room;
};
Section section(const lxsrtobj *sort, unsigned k, size_t recsize);
// The block offset of ch in a two-level table, or -1.
long block_of(const uint8_t *table, uint16_t count, uint16_t ch);
// lxligkey within the section's room.
uint8_t key(const Section &s, uint16_t ch);

}  // namespace lxlig

#endif
