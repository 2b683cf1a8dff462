// Measuring text at a cursor: the bytes of the next n characters or n
// display columns, counted on a copy of the cursor. Nothing past the end of
// the text is read.
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr size_t kUnit = 2;

bool zero_at(const lxmcur *c, bool wide) { return c->pos[0] == 0 && (!wide || c->pos[1] == 0); }

// One step of c into next: its bytes, 0 when the character is cut off.
size_t step(const lxmcur &c, bool wide, lxmcur *next, lxglo *glo) {
  *next = c;
  if (!wide) return lxmfwdx(next, glo);
  if (lxmleft(&c) < kUnit) return 0;
  next->pos += kUnit;
  return kUnit;
}

size_t count_chars(const lxmcur *cur, size_t bound, size_t n, uint32_t flags, lxglo *glo,
                   size_t *counted) {
  const bool wide = (cur->langid->flags & LXH_F_WIDE) != 0;
  if (wide && (flags & LXO_EXACTLEN)) {
    *counted = n < bound / kUnit ? n : bound / kUnit;
    return *counted * kUnit;
  }
  // a zero unit ends a wide-unit text in any case
  const bool nul = wide || (flags & LXO_NULTERM);
  lxmcur c = *cur, next;
  size_t used = 0, k = 0;
  while (k < n && used < bound) {
    if (wide && bound - used < kUnit) break;
    if (nul && zero_at(&c, wide)) break;
    const size_t m = step(c, wide, &next, glo);
    if (m == 0 || m > bound - used) break;
    c = next;
    used += m;
    ++k;
  }
  *counted = k;
  return used;
}

// The columns of the character at c (the display-mode rule).
unsigned columns(const lxmcur &c, bool wide, uint32_t flags, lxglo *glo) {
  if ((flags & LXO_SHIFT_COLUMN) && (flags & LXO_NULTERM)) return lxmdssln(&c, glo);
  if (c.single_byte) return 1;
  const lxcsobj *cs = lxmi::charset(c.langid, glo);
  if (wide || (c.shift_sensitive && c.shifted) ||
      (!c.shift_sensitive && cs && (cs->bclass[*c.pos] & 3u) != 0))
    return lxmdspx(&c, glo);
  return 1;
}

size_t count_columns(const lxmcur *cur, size_t maxlen, size_t cols, uint32_t flags, lxglo *glo,
                     size_t *used_cols) {
  const bool wide = (cur->langid->flags & LXH_F_WIDE) != 0;
  const bool nul = (flags & LXO_NULTERM) != 0;
  const size_t left = lxmleft(cur);
  const size_t bound = maxlen < left ? maxlen : left;
  lxmcur c = *cur, next;
  size_t used = 0, spent = 0;
  while (used < bound) {
    const size_t m = step(c, wide, &next, glo);
    if (m == 0 || m > bound - used) break;
    if (zero_at(&c, wide)) {
      // with LXO_NULTERM the zero character ends the count and is taken
      used += m;
      if (nul) break;
      c = next;
      continue;
    }
    const unsigned w = columns(c, wide, flags, glo);
    if (w > cols - spent) break;
    spent += w;
    used += m;
    c = next;
  }
  *used_cols = spent;
  return used;
}

}  // namespace

extern "C" size_t lxoCntByte(const lxmcur *cur, size_t maxlen, size_t n, uint32_t flags,
                             lxglo *glo) {
  glo->status = 0;
  size_t counted = 0, bytes = 0;
  if (flags & LXO_CNT_COLUMNS) {
    if (maxlen != 0) bytes = count_columns(cur, maxlen, n, flags, glo, &counted);
  } else if (n != 0) {
    const size_t left = lxmleft(cur);
    bytes = count_chars(cur, maxlen < left ? maxlen : left, n, flags, glo, &counted);
  }
  glo->nbytes = bytes;
  glo->nbytes2 = counted;
  return bytes;
}
