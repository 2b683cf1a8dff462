// Display widths of texts, copies limited by display columns, and padding a
// text into a field. A single-byte character takes one column; a multibyte
// one its width class (1, 2, or ambiguous: 2 for the languages at boot
// indexes 33 to 36 and 43, else 1).
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxp.h"

namespace {

constexpr size_t kUnit = 2;
constexpr unsigned kWidthShift = 6;  // property value: display width in bits 6-7
constexpr unsigned kWidthMask = 0x3;

bool zero_unit(const uint8_t *p) { return p[0] == 0 && p[1] == 0; }
bool high_unit(const uint8_t *p) { return p[0] >= 0xD8 && p[0] <= 0xDB; }

// An AL16UTF16 character at p within avail: one unit, or a surrogate pair;
// 0 when it does not fit.
size_t al16_len(const uint8_t *p, size_t avail) {
  if (avail < kUnit) return 0;
  if (!high_unit(p)) return kUnit;
  return avail >= 2 * kUnit ? 2 * kUnit : 0;
}

unsigned al16_cols(const lxcsobj *cs, const uint8_t *p, const lxlangid *h) {
  return lxmi::width_cols((lxcsugpv(cs, p) >> kWidthShift) & kWidthMask, h);
}

// Columns of the multibyte character at p of a table-driven set.
unsigned mb_cols(const lxcsobj *cs, const uint8_t *p, size_t len, const lxlangid *h) {
  return len == 1 ? 1u : lxmi::width_cols(lxcsgmw(cs, p), h);
}

}  // namespace

extern "C" size_t lxsCntDisp(const void *text, size_t length, uint32_t flags, const lxlangid *h,
                             lxglo *glo) {
  glo->status = 0;
  const auto *p = static_cast<const uint8_t *>(text);
  const bool exact = (flags & LXO_EXACTLEN) != 0;
  const lxcsobj *cs = lxmi::charset(h, glo);
  size_t cols = 0, i = 0;
  if (!cs || (h->flags & LXH_F_SINGLE)) {
    if (exact) {
      for (i = 0; i < length; ++i) cols += p[i] != 0;
    } else {
      while (i < length && p[i] != 0) ++i;
      cols = i;
      if (i < length) ++i;  // the NUL is taken
    }
  } else if (h->flags & LXH_F_AL16UTF16) {
    for (;;) {
      const size_t m = al16_len(p + i, length - i);
      if (m == 0) break;
      if (zero_unit(p + i)) {
        i += m;
        if (!exact) break;
        continue;
      }
      cols += al16_cols(cs, p + i, h);
      i += m;
    }
  } else if (h->flags & LXH_F_SHIFT) {
    const bool shift_cols = (flags & LXO_SHIFT_COLUMN) != 0;
    lxmcur c;
    const size_t lead = lxmcpen(p, length, &c, h, glo);
    if (shift_cols) cols += lead;
    if (flags & (LXO_NULTERM | LXO_EXACTLEN)) {
      for (;;) {
        const size_t at = size_t(c.pos - c.start);
        const size_t next = (c.shifted && h->mb_len) ? h->mb_len : 1u;
        if (at >= length || next > length - at) break;
        if ((flags & LXO_NULTERM) && c.pos[0] == 0) break;
        if (!c.shifted)
          cols += 1;
        else
          cols += shift_cols ? lxmdssln(&c, glo) : lxmdspx(&c, glo);
        if (lxpmfwdx(&c, glo) == 0) break;
      }
    }
    i = size_t(c.pos - c.start);
    if (i > length) i = length;
  } else {
    while (i < length) {
      const size_t m = lxmi::lead_len(cs, p[i]);
      if (m > length - i) break;
      if (p[i] == 0) {
        i += m;
        if (!exact) break;
        continue;
      }
      cols += mb_cols(cs, p + i, m, h);
      i += m;
    }
  }
  glo->nbytes = i;
  return cols;
}

extern "C" size_t lxoCpDisp(lxmcur *dst, size_t dstsize, lxmcur *src, size_t srclen,
                            size_t columns, uint32_t flags, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  const lxlangid *h = src->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const size_t dst_left = lxmleft(dst), src_left = lxmleft(src);
  const size_t room = dstsize < dst_left ? dstsize : dst_left;
  const size_t avail = srclen < src_left ? srclen : src_left;
  if (room == 0 || avail == 0) return 0;
  const bool exact = (flags & LXO_EXACTLEN) != 0;
  const uint8_t *s = src->pos;
  uint8_t *d = dst->pos;
  size_t in = 0, out = 0, left = columns;
  if (src->single_byte || !cs) {
    const size_t n = room < avail ? room : avail;
    while (in < n) {
      if (s[in] == 0) {
        if (!exact) break;
      } else {
        if (left == 0) break;
        --left;
      }
      ++in;
    }
    out = in;
    memmove(d, s, out);
  } else if (h->flags & LXH_F_AL16UTF16) {
    const size_t n = room < avail ? room : avail;
    for (;;) {
      const size_t m = al16_len(s + in, n - in);
      if (m == 0) break;
      if (zero_unit(s + in)) {
        if (!exact) break;
      } else {
        const unsigned w = al16_cols(cs, s + in, h);
        if (w > left) break;
        left -= w;
      }
      in += m;
    }
    out = in;
    memmove(d, s, out);
  } else if (src->shift_sensitive) {
    const bool shift_cols = (flags & LXO_SHIFT_COLUMN) != 0;
    lxmi::shift_copy(
        src, dst, s, avail, d, room, in, out,
        [&](const uint8_t *c, size_t shift) {
          if (!exact && c[0] == 0 && !src->shifted) return false;
          // the width class as the charset gives it
          const unsigned w = src->shifted ? lxcsgmw(cs, c) : 1u;
          const size_t need = w + (shift_cols ? shift : 0);
          if (need > left) return false;
          left -= need;
          return true;
        },
        [&](const uint8_t *, size_t, bool shift_next) {
          // a shift byte takes a column of its own with LXO_SHIFT_COLUMN
          if (!shift_next || !shift_cols) return lxmi::AfterChar{true, true};
          if (left == 0) return lxmi::AfterChar{false, false};
          --left;
          return lxmi::AfterChar{true, true};
        });
  } else {
    const size_t n = room < avail ? room : avail;
    while (in < n) {
      const size_t m = lxmi::lead_len(cs, s[in]);
      if (m > n - in) break;
      if (s[in] == 0) {
        if (!exact) break;
      } else {
        const unsigned w = mb_cols(cs, s + in, m, h);
        if (w > left) break;
        left -= w;
      }
      in += m;
    }
    out = in;
    memmove(d, s, out);
  }
  src->pos += in;
  dst->pos += out;
  glo->nbytes = in;
  return out;
}

// The shift state a shift-sensitive source ends in after its next n bytes.
static int end_state(const lxmcur *src, size_t n, lxglo *glo) {
  lxmcur probe = *src;
  probe.len = size_t(probe.pos - probe.start) + n;
  lxmskps(&probe, glo);
  while (lxmleft(&probe) > 0 && lxmfwdx(&probe, glo) != 0) {
  }
  return probe.shifted;
}

extern "C" size_t lxoPadStr(lxmcur *dst, lxmcur *src, size_t srclen, uint32_t pad, size_t width,
                            uint32_t flags, lxglo *glo) {
  glo->status = 0;
  const lxlangid *h = dst->langid;
  const bool al16 = (h->flags & LXH_F_AL16UTF16) != 0;
  if ((flags & LXO_CHARLEN) && al16) width *= kUnit;
  auto refuse = [glo]() -> size_t {
    glo->status = LXS_SMALL;
    glo->nbytes = glo->nbytes2 = 0;
    return 0;
  };
  const size_t used = size_t(dst->pos - dst->start);
  const size_t dst_left = lxmleft(dst);
  size_t have;  // bytes already in the field
  if (!src) {
    // the text is already in the destination: the field begins at the
    // position (length 1) or at the start (length 0)
    if (srclen == 1 ? width > dst_left : used > width) return refuse();
    have = srclen == 1 ? 0 : used;
    glo->nbytes = 0;
  } else {
    const size_t room = width < dst_left ? width : dst_left;
    const uint8_t *s = src->pos;
    const size_t term = al16 ? kUnit : 1;
    size_t n = srclen;
    if (n == SIZE_MAX)
      n = (h->flags & LXH_F_WIDE) ? lxsulen(s) : strlen(reinterpret_cast<const char *>(s));
    else if (al16)
      n &= ~size_t{1};
    if ((h->flags & LXH_F_SHIFT) && n > 0 && s[n - 1] == h->shift_in) --n;
    // a shift-sensitive destination needs a shift byte when its state
    // differs from the source's, and a closing shift-in when the source
    // ends shifted out
    size_t extra = 0;
    if (dst->shift_sensitive && src != dst) {
      if (dst->shifted != src->shifted) ++extra;
      if (end_state(src, n, glo)) ++extra;
    }
    if (room == 0 || n + extra > room) return refuse();
    size_t copied;
    if (src == dst) {
      const uint8_t *from = dst->pos;
      lxoSkip(dst, n, LXO_NULTERM, glo);
      if (dst->shift_sensitive) lxmr2w(dst, glo);
      copied = size_t(dst->pos - from);
      glo->nbytes = copied;
    } else {
      copied = lxoCpStr(dst, room, src, n, LXO_EXACTLEN, glo);
      // a NUL right after the source, within its length, is taken
      const bool within = srclen == SIZE_MAX || glo->nbytes + term <= srclen;
      if (within && lxmleft(src) >= term && src->pos[0] == 0 && (!al16 || src->pos[1] == 0)) {
        src->pos += term;
        glo->nbytes += term;
      }
    }
    if (dst->shift_sensitive && dst->shifted) {
      if (lxmleft(dst) == 0) return copied;
      *dst->pos++ = h->shift_in;
      dst->shifted = 0;
      ++copied;
    }
    have = copied;
  }
  if (have >= width) return have;
  // fill the rest of the field with the pad character
  size_t fill = width - have;
  const size_t left = lxmleft(dst);
  if (fill > left) fill = left;
  uint8_t *at = dst->pos;
  if (al16) {
    fill &= ~size_t{1};
    for (size_t k = 0; k < fill; k += kUnit) {
      at[k] = uint8_t(pad >> 8);
      at[k + 1] = uint8_t(pad);
    }
  } else if (fill != 0) {
    memset(at, int(pad & 0xFF), fill);
  }
  dst->pos += fill;
  glo->nbytes2 = width;
  return width;
}
