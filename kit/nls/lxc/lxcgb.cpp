// The small GB18030 character routines that the GB18030 codec and the
// GB18030 conversion loops share: the length of a character at a position,
// one-character decode and encode, and the four bytes of a linear value.
#include "lxc.h"

namespace {

// Bytes that follow the first byte, from the byte class.
inline unsigned class_len(const lxcsobj *cs, uint8_t b) { return (cs->bclass[b] & 3u) + 1; }
inline bool hi_surrogate_byte(uint8_t b) { return b >= 0xD8 && b <= 0xDB; }
inline bool lo_surrogate_byte(uint8_t b) { return b >= 0xDC && b <= 0xDF; }

}  // namespace

extern "C" {

unsigned lxcgbgwt(const lxcsobj *cs, const uint8_t *p, size_t avail, unsigned mode) {
  unsigned len = class_len(cs, p[0]);
  if (cs->id == LXCS_GB18030) {
    if (len == 1 || avail < 2) return len;
    return (p[1] >= 0x30 && p[1] <= 0x39) ? 4u : len;
  }
  bool unit16 = (cs->flags & LXCSF_UNIT16) != 0;
  if (!(mode & LXCGB_FIRSTBYTES)) {
    if (unit16) return (hi_surrogate_byte(p[0]) && avail > 2 && lo_surrogate_byte(p[2])) ? 4u : 2u;
    if (len == 1 || avail < 2) return len;
    if (cs->id == LXCS_UTF8) {
      if (avail > 4 && p[0] == 0xED && (p[1] >> 4) == 0xA && p[3] == 0xED && (p[4] >> 4) == 0xB)
        return 6;
      return len;
    }
    if (cs->id == LXCS_AL16UTF16LE) {
      if (avail < 4) return 2;
      return (hi_surrogate_byte(p[1]) && lo_surrogate_byte(p[3])) ? 4u : 2u;
    }
    return len;
  }
  if (unit16) return hi_surrogate_byte(p[0]) ? 4u : 2u;
  if (cs->id == LXCS_AL16UTF16LE) return (avail >= 2 && hi_surrogate_byte(p[1])) ? 4u : 2u;
  if (len == 1 || avail < 2) return len;
  if (cs->id == LXCS_UTF8 && p[0] == 0xED && (p[1] >> 4) == 0xA) return 6;
  return len;
}

uint32_t lxcgbt2u(const lxcsobj *cs, const uint8_t *p, unsigned len) {
  if (len == 1) return cs->sbu[p[0]];
  return lxcsm2uGB18030(cs, p, (uint16_t)len);
}

uint16_t lxcgbu2t(const lxcsobj *cs, uint8_t *out, uint32_t value, unsigned srcwidth, lxglo *glo) {
  if (cs->id == LXCS_GB18030) return lxcsu2mGB18030(cs, out, value, srcwidth, glo);
  return lxcsencoder(cs)(cs, out, value, srcwidth, glo);
}

uint8_t lxcgbunLinear(uint32_t n, uint8_t *out) {
  uint32_t i = n - LXCGB_BMP0;
  out[3] = (uint8_t)(0x30 + i % 10);
  out[2] = (uint8_t)(0x81 + (i / 10) % 126);
  out[1] = (uint8_t)(0x30 + (i / 1260) % 10);
  out[0] = (uint8_t)(0x81 + i / 12600);
  return out[0];
}

}  // extern "C"
