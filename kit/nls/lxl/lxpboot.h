// Reading the NLS boot block as the loader leaves it in slot 0 of an object
// table: the header and 40-byte entries of lxf.h (lxboot, lxbent). Numbers are
// in host order once loaded; the readers take their offsets from those records
// and read at any alignment.
#ifndef QEN_KIT_NLS_LXPBOOT_H
#define QEN_KIT_NLS_LXPBOOT_H

#include <stddef.h>
#include <stdint.h>

#include "lxfobj.h"
#include "lxl.h"

namespace lxpboot {

inline constexpr unsigned kHeader = LX_BOOTHDR;
inline constexpr unsigned kEntry = LX_BENTSIZE;
inline constexpr unsigned kFirst = offsetof(lxboot, first);
inline constexpr unsigned kCount = offsetof(lxboot, count);
// Territory entries: the language key and the group byte, the last two bytes
// of the name room.
inline constexpr unsigned kLangKey = LX_BENT_LANGKEY;
inline constexpr unsigned kGroup = LX_BENT_GROUP;

using nlsobj::rd16;
using nlsobj::rd32;

// Slot 0 of the table: the boot block.
inline const uint8_t *block(const lxlobj *objtab) {
  if (!objtab) return nullptr;
  return static_cast<const uint8_t *>(*reinterpret_cast<void *const *>(objtab));
}

// first[t] for t 0..9; t 10 gives the entry count, which closes type 9.
inline uint16_t first(const uint8_t *b, unsigned t) { return rd16(b + kFirst + 2 * t); }
inline uint16_t count(const uint8_t *b) { return rd16(b + kCount); }

inline const uint8_t *entry(const uint8_t *b, unsigned i) { return b + kHeader + kEntry * i; }
inline uint32_t ent_size(const uint8_t *e) { return rd32(e + offsetof(lxbent, size)); }
inline uint16_t ent_type(const uint8_t *e) { return rd16(e + offsetof(lxbent, type)); }
inline uint16_t ent_id(const uint8_t *e) { return rd16(e + offsetof(lxbent, id)); }
inline uint8_t ent_namelen(const uint8_t *e) { return e[offsetof(lxbent, namelen)]; }
inline const char *ent_name(const uint8_t *e) {
  return reinterpret_cast<const char *>(e + offsetof(lxbent, name));
}
inline uint8_t ent_langkey(const uint8_t *e) { return e[kLangKey]; }
inline uint8_t ent_group(const uint8_t *e) { return e[kGroup]; }

}  // namespace lxpboot

#endif
