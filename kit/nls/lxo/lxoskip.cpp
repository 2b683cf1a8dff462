// Moving a cursor forward over characters: by a byte budget, or by a count
// of characters, code units or code points.
#include "lxh.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr uint32_t kStatusFewer = 14;  // fewer characters than asked
constexpr uint32_t kCountFlags = LXO_SKIP_UNITS | LXO_SKIP_POINTS | LXO_SKIP_WHOLE | LXO_SKIP_UNITS2;

bool is_shift(const lxlangid *h, uint8_t b) { return b == h->shift_in || b == h->shift_out; }
bool high_unit(const uint8_t *p) { return p[0] >= 0xD8 && p[0] <= 0xDB; }
bool zero_unit(const uint8_t *p) { return p[0] == 0 && p[1] == 0; }

// A coded surrogate pair of the UTF-8 family at p (six bytes available).
bool coded_pair(const uint8_t *p) {
  return p[0] == 0xED && p[1] >= 0xA0 && p[1] <= 0xAF && p[3] == 0xED && p[4] >= 0xB0 &&
         p[4] <= 0xBF;
}

size_t budget_skip(lxmcur *cur, size_t n, uint32_t flags, lxglo *glo) {
  const lxlangid *h = cur->langid;
  const bool nul = (flags & LXO_NULTERM) != 0;
  const size_t left = lxmleft(cur);
  size_t budget = n < left ? n : left;
  const uint8_t *p = cur->pos;
  size_t i = 0;
  if (cur->single_byte) {
    if (!nul)
      i = budget;
    else
      while (i < budget && p[i] != 0) ++i;
  } else if (h->flags & LXH_F_AL16UTF16) {
    budget &= ~size_t{1};
    while (i + 2 <= budget) {
      if (nul && zero_unit(p + i)) break;
      if (high_unit(p + i)) {
        if (i + 4 > budget || (nul && zero_unit(p + i + 2))) break;
        i += 4;
      } else {
        i += 2;
      }
    }
  } else if (cur->shift_sensitive) {
    lxmcur c = *cur;
    for (;;) {
      size_t next = (c.shifted && h->mb_len) ? h->mb_len : 1u;
      if (i + next > n || lxmleft(&c) == 0) break;
      if (nul && *c.pos == 0) break;
      lxmcur before = c;
      size_t step = lxmfwdx(&c, glo);
      if (step == 0) {
        c = before;
        break;
      }
      i += step;
    }
    *cur = c;
    return i;
  } else {
    const lxcsobj *cs = lxmi::charset(h, glo);
    while (i < budget) {
      if (nul && p[i] == 0) break;
      size_t l = lxmi::lead_len(cs, p[i]);
      if (i + l > budget) break;
      i += l;
    }
  }
  cur->pos += i;
  return i;
}

// Count mode: returns false when the text holds fewer than n characters.
bool count_skip(lxmcur *cur, size_t n, uint32_t flags, lxglo *glo, size_t *moved) {
  const lxlangid *h = cur->langid;
  const bool nul = (flags & LXO_NULTERM) != 0;
  const size_t left = lxmleft(cur);
  const uint8_t *p = cur->pos;
  size_t i = 0;
  if (cur->single_byte) {
    if (left < n) return false;
    *moved = n;
    cur->pos += n;
    return true;
  }
  if (h->flags & LXH_F_AL16UTF16) {
    const bool units = (flags & (LXO_SKIP_UNITS | LXO_SKIP_UNITS2)) != 0;
    for (size_t k = 0; k < n; ++k) {
      if (i + 2 > left || (nul && zero_unit(p + i))) return false;
      if (!units && high_unit(p + i)) {
        if (i + 4 > left) break;  // a high unit without its partner ends the text
        i += 4;
      } else {
        i += 2;
      }
    }
  } else if (cur->shift_sensitive) {
    int shifted = cur->shifted;
    for (size_t k = 0; k < n; ++k) {
      size_t l = (shifted && h->mb_len) ? h->mb_len : 1u;
      if (i + l > left || (nul && p[i] == 0)) return false;
      i += l;
      if (i < left && is_shift(h, p[i])) {
        shifted = !shifted;
        ++i;
      }
    }
    while (i < left && p[i] == h->shift_in) {
      shifted = 0;
      ++i;
    }
    cur->shifted = shifted;
  } else {
    const lxcsobj *cs = lxmi::charset(h, glo);
    const bool points = (flags & (LXO_SKIP_POINTS | LXO_SKIP_WHOLE)) != 0;
    for (size_t k = 0; k < n; ++k) {
      if (i >= left || (nul && p[i] == 0)) return false;
      if (points && left - i >= 6 && coded_pair(p + i)) {
        i += 6;
        continue;
      }
      size_t l = lxmi::lead_len(cs, p[i]);
      if (i + l > left) return false;
      i += l;
    }
  }
  *moved = i;
  cur->pos += i;
  return true;
}

}  // namespace

extern "C" size_t lxoSkip(lxmcur *cur, size_t n, uint32_t flags, lxglo *glo) {
  glo->status = 0;
  if (!(flags & kCountFlags)) {
    size_t moved = budget_skip(cur, n, flags, glo);
    glo->nbytes = moved;
    return moved;
  }
  size_t moved = 0;
  lxmcur saved = *cur;
  if (!count_skip(cur, n, flags, glo, &moved)) {
    *cur = saved;
    glo->status = kStatusFewer;
    return 0;
  }
  glo->nbytes = moved;
  return moved;
}
