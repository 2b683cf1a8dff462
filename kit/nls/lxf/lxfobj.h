// Field readers over the NLS data objects as loaded (host byte order). The
// records themselves are described once, in lxf.h; these readers take the
// offsets from those records and read at any alignment. Shared by the
// components that read the objects' fields.
#ifndef QEN_KIT_NLS_LXFOBJ_H
#define QEN_KIT_NLS_LXFOBJ_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "lxf.h"

namespace nlsobj {

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

inline constexpr unsigned kCsData = LXCS_DATA;  // data area; table offsets are relative to it

enum : uint32_t {
  CS_ASCII = LXCSF_ASCII,
  CS_DISPLAY = LXCSF_DISPLAY,
  CS_SHIFT = LXCSF_SHIFT,
  CS_FLAG8 = LXCSF_FLAG8,
  CS_STATEFUL = LXCSF_STATEFUL,
  CS_WIDE = LXCSF_UNIT16,
  CS_SIX = LXCSF_SURR6,
  CS_FIXED = LXCSF_FIXED,
  CS_CP32 = LXCSF_LEAF32
};

enum : uint16_t {
  ID_WKB = LXCS_WIDE799,
  ID_GB18030 = LXCS_GB18030,
  ID_UTF8 = LXCS_UTF8,
  ID_UTFE = LXCS_UTFE,
  ID_AL32UTF8 = LXCS_AL32UTF8,
  ID_UCS = LXCS_UCS,
  ID_AL16UTF16 = LXCS_AL16UTF16,
  ID_AL16UTF16LE = LXCS_AL16UTF16LE
};

inline uint16_t cs_id(const uint8_t *cs) { return rd16(cs + offsetof(lxcsobj, id)); }
inline uint16_t cs_w94(const uint8_t *cs) { return rd16(cs + offsetof(lxcsobj, w94)); }
inline uint32_t cs_flags(const uint8_t *cs) { return rd32(cs + offsetof(lxcsobj, flags)); }
// A stateful set keeps its largest byte count per character, escape
// sequences included, in the first byte of the row-length field.
inline uint8_t cs_statemax(const uint8_t *cs) { return cs[offsetof(lxcsobj, rowlen)]; }
inline uint8_t cs_repl(const uint8_t *cs) { return cs[offsetof(lxcsobj, sb_repl)]; }
inline uint8_t cs_si(const uint8_t *cs) { return cs[offsetof(lxcsobj, shift_in)]; }
inline uint8_t cs_so(const uint8_t *cs) { return cs[offsetof(lxcsobj, shift_out)]; }
inline uint8_t cs_max(const uint8_t *cs) { return cs[offsetof(lxcsobj, maxbytes)]; }
// The pad character and the words after it: word k of the pad's row.
inline uint32_t cs_padword(const uint8_t *cs, unsigned k) {
  return rd32(cs + offsetof(lxcsobj, pad) + 4 * k);
}
inline uint16_t cs_class(const uint8_t *cs, uint8_t b) { return rd16(cs + LX_ELEM(lxcsobj, bclass, b)); }
inline unsigned cs_len(const uint8_t *cs, uint8_t b) { return (cs_class(cs, b) & 3u) + 1; }
inline uint16_t cs_sbu(const uint8_t *cs, uint8_t b) { return rd16(cs + LX_ELEM(lxcsobj, sbu, b)); }
inline uint16_t cs_sb799(const uint8_t *cs, uint8_t b) { return rd16(cs + LX_ELEM(lxcsobj, sb799, b)); }
inline uint32_t cs_dir(const uint8_t *cs, unsigned t) { return rd32(cs + LX_ELEM(lxcsobj, dir, t)); }
inline const uint8_t *cs_table(const uint8_t *cs, unsigned t) { return cs + kCsData + cs_dir(cs, t); }
inline bool cs_single(const uint8_t *cs) { return cs_max(cs) == 1; }

// The built-in wide object's table of UTF-16 values.
inline uint16_t wkb_value(const uint8_t *wkb, unsigned code) {
  return rd16(wkb + LXCS_WKBVALUES + 2 * code);
}

// ---- language objects ------------------------------------------------------

inline constexpr unsigned kLanPool = LXLAN_POOL;
inline uint32_t lan_flags(const uint8_t *o) { return rd32(o + offsetof(lxlanobj, flags)); }
inline uint16_t lan_id(const uint8_t *o) { return rd16(o + offsetof(lxlanobj, id)); }
inline uint16_t lan_ter(const uint8_t *o) { return rd16(o + offsetof(lxlanobj, ter)); }
inline uint16_t lan_cs(const uint8_t *o) { return rd16(o + offsetof(lxlanobj, cs)); }
inline uint16_t lan_sort(const uint8_t *o) { return rd16(o + offsetof(lxlanobj, sort)); }
inline const char *lan_name(const uint8_t *o) {
  return reinterpret_cast<const char *>(o + kLanPool + rd16(o + offsetof(lxlanobj, name)));
}

// ---- territory objects -----------------------------------------------------

inline constexpr unsigned kTerPool = LXTER_POOL;
inline uint32_t ter_flags(const uint8_t *o) { return rd32(o + offsetof(lxterobj, flags)); }
inline uint16_t ter_id(const uint8_t *o) { return rd16(o + offsetof(lxterobj, id)); }

// ---- sort objects ------------------------------------------------------------

inline uint16_t sort_id(const uint8_t *o) { return rd16(o + offsetof(lxsrtobj, id)); }
inline uint16_t sort_flags(const uint8_t *o) { return rd16(o + offsetof(lxsrtobj, flags)); }
inline uint16_t sort_cmp_fn(const uint8_t *o) { return rd16(o + offsetof(lxsrtobj, cmp_fn)); }
inline uint16_t sort_key_fn(const uint8_t *o) { return rd16(o + offsetof(lxsrtobj, key_fn)); }

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

}  // namespace nlsobj

#endif
