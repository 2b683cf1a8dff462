// Widths of characters in a handle's character set, and fitting its texts
// into fixed room without splitting a character.
#ifndef QEN_KIT_NLS_LXHTEXT_H
#define QEN_KIT_NLS_LXHTEXT_H

#include <stddef.h>
#include <stdint.h>

#include <string.h>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxlget.h"
#include "lxlname.h"

namespace lxhtext {

// The bytes a character value of the handle's character set takes.
inline unsigned value_bytes(const lxlangid *h, uint32_t v) {
  if (h->flags & LXH_F_WIDE) return v > 0xFFFF ? 4 : 2;
  return v < 0x100 ? 1 : v < 0x10000 ? 2 : v < 0x1000000 ? 3 : 4;
}

// Width of one numeric or monetary character: two bytes in a fixed
// two-byte set.
inline size_t char_width(const lxlangid *h) {
  return ((h->flags & LXH_F_FIXED) && !(h->flags & LXH_F_SINGLE)) ? 2 : 1;
}

// The longest prefix of text[0..len) of whole characters within room bytes.
inline size_t fit(const lxlangid *h, const char *text, size_t len, size_t room, lxglo *g) {
  size_t n = len < room ? len : room;
  if (h->flags & LXH_F_SINGLE) return n;
  if (h->flags & LXH_F_WIDE) return n & ~static_cast<size_t>(1);
  const uint8_t *cs = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!cs) return n;
  bool shift = (h->flags & LXH_F_SHIFT) != 0, multi = false;
  size_t i = 0;
  while (i < n) {
    auto b = static_cast<uint8_t>(text[i]);
    size_t l;
    if (shift && (b == nlsobj::cs_so(cs) || b == nlsobj::cs_si(cs))) {
      multi = b == nlsobj::cs_so(cs);
      l = 1;
    } else {
      l = shift ? (multi ? nlsobj::cs_max(cs) : 1u) : nlsobj::cs_len(cs, b);
    }
    if (l > n - i) break;
    i += l;
  }
  return i;
}

// Writes the territory's default text at pool offset pool_off into the
// handle's text field (field, size) in character set cs, and records its
// length in par_len[par]. Without a character set the field is left empty.
inline void put_territory_text(lxlangid *h, size_t field, size_t size, int par,
                               unsigned pool_off, const uint8_t *ter, const lxcsobj *cs,
                               lxglo *g) {
  char *dst = reinterpret_cast<char *>(h) + field;
  memset(dst, 0, size);
  nlsobj::PoolText t = nlsobj::pool_text(ter, nlsobj::kTerPool, pool_off);
  uint32_t n = t.count && cs ? lxgu2t(dst, cs, static_cast<uint32_t>(size), t.units, t.count, 0, g)
                             : 0;
  h->par_len[par] = static_cast<uint8_t>(n);
}

}  // namespace lxhtext

#endif
