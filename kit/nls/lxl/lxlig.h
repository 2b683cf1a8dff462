// Internal to the sort-object lookups, the base-letter mapping and the
// byte-string compare: bounded views of a sort object's sections, and the
// two-level fold walk of the named mappings BINARY_AI and CASE_FOLDING.
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

// ---- The two-level fold walk ------------------------------------------------
// A named mapping of UTF-16 units keeps a first-level table of 256 32-bit
// values at object offset first, one per high byte: 0 for a block without
// mappings, else a byte offset. The unit's value is the 32-bit value at index
// LXFOLD_SECOND + offset / 4 + low byte, counted from the first-level table's
// start. Every read stays inside the object's size bytes.
namespace lxfold {

inline constexpr unsigned kFirstLevel = 256;
inline constexpr unsigned kSecond = 320;  // second-level index base

// The value of unit u (0: the unit keeps itself, and for what lies outside).
uint32_t value(const uint8_t *obj, size_t size, size_t first, uint16_t u);
// The 32-bit value at index i of the table at object offset at, or 0 when
// it lies outside.
uint32_t word(const uint8_t *obj, size_t size, size_t at, size_t i);

}  // namespace lxfold

#endif
