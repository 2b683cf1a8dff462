// Field readers over the NLS data objects as loaded (host byte order): the
// character-set, language, territory and sort objects are file formats, read
// here by offset. Internal to the handle, installer and conversion code.
#ifndef QEN_KIT_NLS_LXHOBJ_H
#define QEN_KIT_NLS_LXHOBJ_H

#include <stdint.h>
#include <string.h>

namespace lxo {

// Host-order numbers at any alignment (the boot block readers of lxpboot.h
// use them too).
inline uint16_t rd16(const uint8_t *p) {
  uint16_t v;
  memcpy(&v, p, 2);
  return v;
}
inline uint32_t rd32(const uint8_t *p) {
  uint32_t v;
  memcpy(&v, p, 4);
  return v;
}

// ---- character-set objects -------------------------------------------------

inline constexpr unsigned kCsData = 2476;  // data area; table offsets are relative to it

enum : uint32_t {
  CS_ASCII = 0x1,
  CS_DISPLAY = 0x2,
  CS_SHIFT = 0x4,
  CS_FLAG8 = 0x8,
  CS_STATEFUL = 0x80,
  CS_WIDE = 0x100,
  CS_SIX = 0x4000,
  CS_FIXED = 0x2000,
  CS_CP32 = 0x10000000
};

enum : uint16_t {
  ID_WKB = 799,
  ID_GB18030 = 854,
  ID_UTF8 = 871,
  ID_UTFE = 872,
  ID_AL32UTF8 = 873,
  ID_UCS = 1000,
  ID_AL16UTF16 = 2000,
  ID_AL16UTF16LE = 2002
};

inline uint16_t cs_id(const uint8_t *cs) { return rd16(cs + 92); }
inline uint32_t cs_flags(const uint8_t *cs) { return rd32(cs + 96); }
inline uint16_t cs_val100(const uint8_t *cs) { return rd16(cs + 100); }
inline uint8_t cs_repl(const uint8_t *cs) { return cs[110]; }
inline uint8_t cs_si(const uint8_t *cs) { return cs[113]; }
inline uint8_t cs_so(const uint8_t *cs) { return cs[114]; }
inline uint8_t cs_max(const uint8_t *cs) { return cs[115]; }
inline uint32_t cs_word(const uint8_t *cs, unsigned off) { return rd32(cs + off); }
inline uint16_t cs_class(const uint8_t *cs, uint8_t b) { return rd16(cs + 140 + 2 * b); }
inline unsigned cs_len(const uint8_t *cs, uint8_t b) { return (cs_class(cs, b) & 3u) + 1; }
inline uint16_t cs_sbu(const uint8_t *cs, uint8_t b) { return rd16(cs + 1164 + 2 * b); }
inline uint16_t cs_sb799(const uint8_t *cs, uint8_t b) { return rd16(cs + 1676 + 2 * b); }
inline uint32_t cs_dir(const uint8_t *cs, unsigned t) { return rd32(cs + 2284 + 4 * t); }
inline const uint8_t *cs_table(const uint8_t *cs, unsigned t) { return cs + kCsData + cs_dir(cs, t); }
inline bool cs_single(const uint8_t *cs) { return cs_max(cs) == 1; }

// The built-in wide object's table of 2000 UTF-16 values from offset 140.
inline uint16_t wkb_value(const uint8_t *wkb, unsigned code) { return rd16(wkb + 140 + 2 * code); }

// ---- language objects ------------------------------------------------------

inline constexpr unsigned kLanPool = 324;
inline uint32_t lan_flags(const uint8_t *o) { return rd32(o + 92); }
inline uint16_t lan_id(const uint8_t *o) { return rd16(o + 96); }
inline uint16_t lan_ter(const uint8_t *o) { return rd16(o + 98); }
inline uint16_t lan_cs(const uint8_t *o) { return rd16(o + 100); }
inline uint16_t lan_sort(const uint8_t *o) { return rd16(o + 104); }
inline const char *lan_name(const uint8_t *o) {
  return reinterpret_cast<const char *>(o + kLanPool + rd16(o + 294));
}

// ---- territory objects -----------------------------------------------------

inline constexpr unsigned kTerPool = 228;
inline uint16_t ter_id(const uint8_t *o) { return rd16(o + 96); }

// ---- sort objects ------------------------------------------------------------

inline uint16_t sort_id(const uint8_t *o) { return rd16(o + 92); }
inline uint16_t sort_flags(const uint8_t *o) { return rd16(o + 102); }
inline uint16_t sort_cmp_fn(const uint8_t *o) { return rd16(o + 104); }
inline uint16_t sort_key_fn(const uint8_t *o) { return rd16(o + 106); }

// A UTF-16 string of a language or territory pool: the 16-bit pool offset at
// field off, ended by the next field's offset less the two-byte terminator.
struct PoolText {
  const uint16_t *units;
  uint32_t count;
};
inline PoolText pool_text(const uint8_t *o, unsigned pool, unsigned off) {
  uint16_t start = rd16(o + off), end = rd16(o + off + 2);
  const uint8_t *p = o + pool + start;
  uint32_t n = 0;
  if (end >= start + 2u) {
    n = (end - start - 2u) / 2u;
  } else {
    // the next field does not follow this string: it ends at its zero unit
    while (n < 1024 && rd16(p + 2 * n) != 0) ++n;
  }
  return {reinterpret_cast<const uint16_t *>(p), n};
}
// Only the start offset (strings whose end is not the next field).
inline PoolText pool_unit(const uint8_t *o, unsigned pool, unsigned off, uint32_t n) {
  return {reinterpret_cast<const uint16_t *>(o + pool + rd16(o + off)), n};
}

}  // namespace lxo

#endif
