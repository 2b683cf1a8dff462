// Reading the NLS boot block as the loader leaves it in slot 0 of an object
// table: a 48-byte header (first entry of each type at 20, entry count at 40)
// and 40-byte entries from offset 48 (size, type, id, name length counting the
// NUL, name, and for territories the language key at 38 and the group byte at
// 39). Numbers are in host order once loaded.
#ifndef QEN_KIT_NLS_LXPBOOT_H
#define QEN_KIT_NLS_LXPBOOT_H

#include <stdint.h>

#include "lxhobj.h"
#include "lxp.h"

namespace lxpboot {

inline constexpr unsigned kHeader = 48;
inline constexpr unsigned kEntry = 40;
inline constexpr unsigned kFirst = 20;
inline constexpr unsigned kCount = 40;

using lxo::rd16;
using lxo::rd32;

// Slot 0 of the table: the boot block.
inline const uint8_t *block(const lxlobj *objtab) {
  if (!objtab) return nullptr;
  return static_cast<const uint8_t *>(*reinterpret_cast<void *const *>(objtab));
}

// first[t] for t 0..9; t 10 gives the entry count, which closes type 9.
inline uint16_t first(const uint8_t *b, unsigned t) { return rd16(b + kFirst + 2 * t); }
inline uint16_t count(const uint8_t *b) { return rd16(b + kCount); }

inline const uint8_t *entry(const uint8_t *b, unsigned i) { return b + kHeader + kEntry * i; }
inline uint32_t ent_size(const uint8_t *e) { return rd32(e); }
inline uint16_t ent_type(const uint8_t *e) { return rd16(e + 4); }
inline uint16_t ent_id(const uint8_t *e) { return rd16(e + 6); }
inline uint8_t ent_namelen(const uint8_t *e) { return e[8]; }
inline const char *ent_name(const uint8_t *e) { return reinterpret_cast<const char *>(e + 9); }
inline uint8_t ent_langkey(const uint8_t *e) { return e[38]; }
inline uint8_t ent_group(const uint8_t *e) { return e[39]; }

}  // namespace lxpboot

#endif
