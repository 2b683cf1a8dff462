// Moving a cursor forward over characters: by a byte budget, or by a count
// of characters, code units or code points.
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxoint.h"

namespace {

constexpr uint32_t kStatusFewer = 14;  // fewer characters than asked
constexpr uint32_t kCountFlags = LXO_SKIP_UNITS | LXO_SKIP_POINTS | LXO_SKIP_WHOLE | LXO_SKIP_UNITS2;

bool is_shift(const lxlangid *h, uint8_t b) { return b == h->shift_in || b == h->shift_out; }
bool high_unit(const uint8_t *p) { return p[0] >= 0xD8 && p[0] <= 0xDB; }
bool zero_unit(const uint8_t *p) { return p[0] == 0 && p[1] == 0; }


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

// Count mode over AL16UTF16 or the UTF-8 family, counting code points or
// complete characters; returns false when the text holds fewer than n.
bool count_unicode(const lxoi::Uni &u, const uint8_t *p, size_t left, size_t n, uint32_t flags,
                   size_t *moved) {
  const bool nul = (flags & LXO_NULTERM) != 0;
  const bool whole = (flags & LXO_SKIP_WHOLE) != 0;
  size_t i = 0;
  for (size_t k = 0; k < n; ++k) {
    const size_t avail = left - i;
    // the text ends inside the last character counted: the count stands
    // with the cursor before it
    if (lxoi::uni_half_cut(u, p + i, avail, nul)) {
      if (k + 1 == n) break;
      return false;
    }
    if (lxoi::uni_len(u, p + i, avail) == 0 || (nul && lxoi::uni_zero(u, p + i))) return false;
    bool lone_mark;
    size_t m = whole ? lxoi::uni_whole(u, p + i, avail, nul, &lone_mark) : lxoi::uni_pair(u, p + i, avail);
    if (m == 0) m = lxoi::uni_len(u, p + i, avail);
    i += m;
  }
  *moved = i;
  return true;
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
  lxoi::Uni u;
  const bool uni = lxoi::uni_open(u, h, glo);
  const bool units = (flags & (LXO_SKIP_UNITS | LXO_SKIP_UNITS2)) != 0;
  const bool points = (flags & (LXO_SKIP_POINTS | LXO_SKIP_WHOLE)) != 0;
  if (uni && u.al16 && units) {
    for (size_t k = 0; k < n; ++k) {
      if (i + 2 > left || (nul && zero_unit(p + i))) return false;
      i += 2;
    }
  } else if (uni && u.al16 && !(flags & LXO_SKIP_WHOLE) && !nul) {
    // code points: a high unit takes its low partner with it
    for (size_t k = 0; k < n; ++k) {
      if (i + 2 > left) return false;
      if (high_unit(p + i) && i + 4 <= left && p[i + 2] >= 0xDC && p[i + 2] <= 0xDF) {
        i += 4;
      } else if (high_unit(p + i) && i + 4 > left) {
        if (k + 1 == n) break;  // the text ends inside the last character
        return false;
      } else {
        i += 2;
      }
    }
  } else if (uni && (u.al16 || points)) {
    if (!count_unicode(u, p, left, n, flags, &i)) return false;
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
    for (size_t k = 0; k < n; ++k) {
      if (i >= left || (nul && p[i] == 0)) return false;
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
