// Character rules shared by the conversion routines.
#ifndef QEN_KIT_NLS_LXGINT_H
#define QEN_KIT_NLS_LXGINT_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>

#include "lxc.h"

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

constexpr uint32_t kRepl = 0xFFFD;  // what the codecs give for what they reject

// Length of the UTF-8 form of a unit that the AL32UTF8 encoder writes
// without a replacement; 0 for a surrogate or U+FFFD (the general step's).
inline unsigned utf8_len(uint32_t u) {
  if (u < 0x80) return 1;
  if (u < 0x800) return 2;
  if ((u & 0xF800u) == 0xD800u || u == kRepl) return 0;
  return 3;
}
// Writes that form, n = utf8_len(u) bytes.
inline void put_utf8(uint8_t *d, uint32_t u, unsigned n) {
  switch (n) {
    case 1: d[0] = static_cast<uint8_t>(u); break;
    case 2:
      d[0] = static_cast<uint8_t>(0xC0 | (u >> 6));
      d[1] = static_cast<uint8_t>(0x80 | (u & 0x3F));
      break;
    default:
      d[0] = static_cast<uint8_t>(0xE0 | (u >> 12));
      d[1] = static_cast<uint8_t>(0x80 | ((u >> 6) & 0x3F));
      d[2] = static_cast<uint8_t>(0x80 | (u & 0x3F));
      break;
  }
}

// An AL32UTF8 object of the usual shape: ASCII as itself, C2..DF leading
// two bytes, E0..EF three (its source can be decoded by the bytes alone).
bool utf8_usual(const uint8_t *cs);
inline bool utf8_cont(uint8_t b) { return (b & 0xC0) == 0x80; }
// The AL32UTF8 decoder's two- and three-byte forms, its checks included;
// kRepl for what it rejects.
inline uint32_t utf8_2(const uint8_t *p) {
  if (!utf8_cont(p[1]) || p[0] < 0xC2) return kRepl;
  return ((p[0] & 0x1Fu) << 6) | (p[1] & 0x3Fu);
}
inline uint32_t utf8_3(const uint8_t *p) {
  if (!utf8_cont(p[1]) || !utf8_cont(p[2]) || (p[0] == 0xE0 && p[1] < 0xA0) ||
      (p[0] == 0xED && p[1] > 0x9F))
    return kRepl;
  return ((p[0] & 0x0Fu) << 12) | ((p[1] & 0x3Fu) << 6) | (p[2] & 0x3Fu);
}
// One character below U+FFFF of such a source at s (se its end): its value
// and length; U+FFFD for anything the general step must take, with len 0
// for a four-byte or cut-off character (an invalid two- or three-byte one
// keeps its length).
inline uint32_t utf8_value(const uint8_t *s, const uint8_t *se, unsigned &len) {
  const uint8_t b = s[0];
  if (b < 0x80) {
    len = 1;
    return b;
  }
  if (b >= 0xC2 && b < 0xE0 && se - s >= 2) {
    len = 2;
    return utf8_2(s);
  }
  if (b >= 0xE0 && b < 0xF0 && se - s >= 3) {
    len = 3;
    return utf8_3(s);
  }
  len = 0;
  return kRepl;
}

// A dedicated loop of the whole-string conversion for one pair of common
// sets (lxgroad.cpp): it converts the characters it knows straight into the
// output and leaves every other one to the general loop's step.
struct Road {
  enum Kind : uint8_t { None, U16ToUtf8, Utf8ToU16, SbToUtf8, SbToU16, Utf8ToSb, U16ToSb, GbToUtf8, Utf8ToGb };
  Kind kind = None;
  bool le = false;                 // the UTF-16 side is little-endian
  bool ascii_same = false;         // GB18030: ASCII passes as itself
  const uint8_t *scs = nullptr, *dcs = nullptr;
  uint8_t sb[256], lossy[256];     // single-byte destination: U+0000..U+00FF
  uint8_t u8[256][4];              // single-byte source: UTF-8 form, [3] its length (0: not here)
  uint16_t u16[256];               // single-byte source: unit (U+FFFD: not here)
  mutable lxcsranks ranks;         // GB18030 destination: its encoder's row ranks, counted
                                   // as the road meets the rows
};

// Chooses the road for a general-loop conversion (surrogate: the general
// loop is the surrogate-aware one, else the direct one); kind None when the
// pair has none.
void road_setup(Road &r, const uint8_t *scs, const uint8_t *dcs, size_t srclen, bool surrogate);

// The roads between GB18030 and AL32UTF8, for a whole-string engine run
// that counts nothing but bytes (lxgbcnv).
void road_setup_gb(Road &r, const uint8_t *scs, const uint8_t *dcs, lxglo *g);

// Converts from src[i..srclen) into dst[o..dstlen) what the road knows;
// advances i and o and returns the characters converted.
size_t road_run(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                size_t dstlen, size_t &o, lxglo *g);

}  // namespace lxg

#endif
