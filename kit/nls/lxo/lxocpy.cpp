// Bounded copies of texts between byte buffers (lxsCpStr) and between
// character cursors (lxoCpStr), never splitting a character and keeping the
// shift state of shift-sensitive sets. Runs are moved whole where the set
// allows it; characters are walked only where a NUL or a boundary must be
// found.
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxp.h"

namespace {

constexpr size_t kUnit = 2;

bool zero_unit(const uint8_t *p) { return p[0] == 0 && p[1] == 0; }

// The UTF-8 family of the copies: charset flag 0x4000, or AL32UTF8.
bool utf8_family(const lxcsobj *cs) {
  return cs && ((cs->flags & LXCSF_SURR6) || cs->id == LXCS_AL32UTF8);
}

// The cut position of a UTF-8 window (lead bytes F8 to FF start no
// character here).
const uint8_t *utf8_cut(const uint8_t *begin, const uint8_t *end) {
  const uint8_t *cut = lxptmutf8(begin, end);
  return cut < end && *cut >= 0xF8 ? end : cut;
}

// Whole characters of a table-driven set within n bytes at s, stopping
// after a character whose last byte is NUL when nul is set; *chars counts
// them.
size_t walk_classes(const lxcsobj *cs, const uint8_t *s, size_t n, bool nul, size_t *chars) {
  size_t i = 0, k = 0;
  while (i < n) {
    const size_t m = lxmi::lead_len(cs, s[i]);
    if (m > n - i) break;
    i += m;
    ++k;
    if (nul && s[i - 1] == 0) break;
  }
  *chars = k;
  return i;
}

}  // namespace

extern "C" size_t lxsCpStr(void *dst, size_t dstsize, const void *src, size_t srclen,
                           uint32_t flags, const lxlangid *h, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  auto *d = static_cast<uint8_t *>(dst);
  const auto *s = static_cast<const uint8_t *>(src);
  const bool al16 = (h->flags & LXH_F_AL16UTF16) != 0;
  const size_t term = al16 ? kUnit : 1;
  const bool exact = flags == LXO_EXACTLEN;
  const bool nulterm = flags == LXO_NULTERM;
  if (dstsize == 0) return 0;
  if (srclen == 0) {
    if (!nulterm || dstsize < term) return 0;
    memset(d, 0, term);
    return term;
  }
  size_t n = dstsize < srclen ? dstsize : srclen;
  size_t in = 0, out = 0;
  bool ended_nul = false;  // the copy ended with the source's NUL
  const lxcsobj *cs = lxmi::charset(h, glo);
  if (h->flags & LXH_F_SINGLE) {
    if (exact) {
      in = out = n;
    } else {
      const void *z = memchr(s, 0, n);
      in = out = z ? size_t(static_cast<const uint8_t *>(z) - s) + 1 : n;
      ended_nul = z != nullptr;
    }
    memmove(d, s, out);
  } else if (al16) {
    n &= ~size_t{1};
    if (exact) {
      in = out = n;
    } else {
      while (in + kUnit <= n) {
        in += kUnit;
        if (zero_unit(s + in - kUnit)) {
          ended_nul = true;
          break;
        }
      }
      out = in;
    }
    memmove(d, s, out);
  } else if (h->flags & LXH_F_SHIFT) {
    int state = 0, out_state = 0;
    const size_t mb = h->mb_len ? h->mb_len : 1u;
    while (in < srclen) {
      const uint8_t b = s[in];
      if (b == h->shift_out || b == h->shift_in) {
        // shift bytes set the state; the destination gets its own when a
        // character needs it
        state = b == h->shift_out;
        ++in;
        continue;
      }
      const size_t len = state ? mb : 1u;
      if (len > srclen - in) break;
      if (nulterm && !state && b == 0) break;
      // a multibyte character also keeps room for the closing shift-in
      const size_t need = len + (state != out_state ? 1 : 0) + (state ? 1 : 0);
      if (need > dstsize - out) break;
      if (state != out_state) {
        d[out++] = lxmi::shift_byte(h, state);
        out_state = state;
      }
      memmove(d + out, s + in, len);
      out += len;
      in += len;
    }
    if (out_state) d[out++] = h->shift_in;
    if (nulterm && in < srclen && s[in] == 0 && out < dstsize) {
      d[out++] = 0;
      ++in;
      ended_nul = true;
    }
  } else if (exact) {
    const uint8_t *cut = utf8_family(cs) ? utf8_cut(s, s + n) : lxptmult(s, n, h, glo);
    in = out = size_t(cut - s);
    memmove(d, s, out);
  } else {
    size_t chars;
    in = out = walk_classes(cs, s, n, true, &chars);
    ended_nul = out > 0 && s[out - 1] == 0;
    memmove(d, s, out);
  }
  // the NUL rule: terminate a copy that did not end with the source's NUL
  // when room is left
  if (!exact && !ended_nul && (!(h->flags & LXH_F_SHIFT) || nulterm) && dstsize - out >= term) {
    memset(d + out, 0, term);
    out += term;
  }
  glo->nbytes = in;
  return out;
}

extern "C" size_t lxoCpStr(lxmcur *dst, size_t dstsize, lxmcur *src, size_t srclen,
                           uint32_t flags, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  glo->ncount = glo->ncount2 = 0;
  const lxlangid *h = src->langid;
  const size_t dst_left = lxmleft(dst), src_left = lxmleft(src);
  const size_t room = dstsize < dst_left ? dstsize : dst_left;
  const size_t avail = srclen < src_left ? srclen : src_left;
  if (room == 0 || avail == 0) return 0;
  size_t n = room < avail ? room : avail;
  const uint8_t *s = src->pos;
  uint8_t *d = dst->pos;
  size_t in = 0, out = 0, taken = 0, made = 0;
  const lxcsobj *cs = lxmi::charset(h, glo);
  if (src->single_byte) {
    if (flags & LXO_NULTERM) {
      const void *z = memchr(s, 0, n);
      if (z) n = size_t(static_cast<const uint8_t *>(z) - s) + 1;
    }
    in = out = taken = made = n;
    memmove(d, s, n);
  } else if (h->flags & LXH_F_AL16UTF16) {
    n &= ~size_t{1};
    if (flags & LXO_NULTERM)
      for (size_t i = 0; i + kUnit <= n; i += kUnit)
        if (zero_unit(s + i)) {
          n = i + kUnit;
          break;
        }
    in = out = n;
    taken = made = n / kUnit;
    memmove(d, s, n);
  } else if (src->shift_sensitive) {
    const bool stop_at_nul = !(flags & LXO_EXACTLEN);
    lxmi::shift_copy(
        src, dst, s, avail, d, room, in, out, [](const uint8_t *, size_t) { return true; },
        [&](const uint8_t *c, size_t len, bool) {
          ++taken;
          ++made;
          // a character whose last byte is NUL ends the text, after the
          // shift byte that follows it
          return lxmi::AfterChar{true, !(stop_at_nul && c[len - 1] == 0)};
        });
  } else if ((flags & LXO_EXACTLEN) && n >= 3) {
    const uint8_t *cut = utf8_family(cs) ? utf8_cut(s, s + n) : lxptmult(s, n, h, glo);
    in = out = size_t(cut - s);
    taken = made = glo->ncount;
    if (utf8_family(cs)) taken = made = 0;
    memmove(d, s, out);
  } else {
    in = out = walk_classes(cs, s, n, !(flags & LXO_EXACTLEN), &taken);
    made = taken;
    memmove(d, s, out);
  }
  src->pos += in;
  dst->pos += out;
  glo->nbytes = in;
  glo->ncount = uint16_t(taken);
  glo->ncount2 = uint16_t(made);
  return out;
}
