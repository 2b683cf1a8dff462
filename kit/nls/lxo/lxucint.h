// A multilingual sort object as the collation code reads it: every read is
// checked against the object's size, and a read outside gives 0 (a missing
// entry).
#ifndef QEN_KIT_NLS_LXUCINT_H
#define QEN_KIT_NLS_LXUCINT_H

#include <stddef.h>
#include <stdint.h>

#include "lxfobj.h"
#include "lxl.h"
#include "lxuc.h"

namespace lxuc {

// Offsets of a multilingual sort object.
enum : size_t {
  kFlags = 152,      // 32-bit collation flags
  kMain = 188,       // 32-bit offsets of the tables, relative to the data area
  kContract = 192,
  kExpand = 196,
  kCanon = 200,
  kSurr = 204,
  kDirect = 212,
  kCompose = 348,    // 8-bit: compose combining sequences
  kData = LXSRT_NAME
};
// Table layouts.
enum : size_t {
  kMainElems = 516,  // the main table's elements follow its 256 block numbers
  kConEntry = 20,    // contraction entry: element, more flag, length, string
  kConString = 14,
  kCanEntry = 12,    // canonical entry: key, element, character, count
};

struct Sort {
  const uint8_t *o;
  size_t size;
  uint32_t flags;
  explicit Sort(const void *obj) : o(static_cast<const uint8_t *>(obj)) {
    size = nlsobj::rd32(o + offsetof(lxnlsobj, size));
    flags = r32(kFlags);
  }
  bool in(size_t at, size_t n) const { return at <= size && n <= size - at; }
  uint32_t r32(size_t at) const { return in(at, 4) ? nlsobj::rd32(o + at) : 0; }
  uint16_t r16(size_t at) const { return in(at, 2) ? nlsobj::rd16(o + at) : 0; }
  uint8_t r8(size_t at) const { return in(at, 1) ? o[at] : 0; }
  const uint8_t *bytes(size_t at, size_t n) const { return in(at, n) ? o + at : nullptr; }
  // Start of a table (absolute offset in the object).
  size_t table(size_t word) const { return kData + static_cast<size_t>(r32(word)); }
  bool compose() const { return r8(kCompose) == 1; }
  bool has_contraction_table() const { return r32(kContract) != r32(kExpand); }
};

inline bool is_mark(uint32_t e) { return (e >> 16) == 0 && ((e >> 8) & 0xFF) != 0; }

}  // namespace lxuc

#endif
