// Byte-string conversions: between the single-byte and multibyte forms of
// the same characters, and the single-byte case conversion.
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"

namespace {

constexpr uint16_t kClassDigit = LXCC_DIGIT;
constexpr uint16_t kClassAlpha = LXCC_ALPHA;

struct Equi {
  uint8_t *dst;
  size_t dstlen;
  const uint8_t *src;
  size_t srclen;
  uint32_t flags;
  size_t w = 0;  // bytes written
  size_t r = 0;  // source bytes consumed
};

// Appends a NUL when room is left and the output does not end in one.
void terminate(Equi &e) {
  if (e.w < e.dstlen && (e.w == 0 || e.dst[e.w - 1] != 0)) e.dst[e.w++] = 0;
}

void wide_units(Equi &e) {
  size_t dl = e.dstlen & ~size_t{1};
  if (e.srclen < 2) {
    if (dl >= 2) {
      e.dst[0] = e.dst[1] = 0;
      e.w = 2;
    }
    return;
  }
  if (dl < 2) return;
  size_t sl = e.srclen & ~size_t{1};
  size_t n = sl < dl ? sl : dl;
  bool stopped = false;
  for (; e.w + 2 <= n; e.w += 2) {
    if (e.src[e.w] == 0 && e.src[e.w + 1] == 0) {
      stopped = true;
      break;
    }
    e.dst[e.w] = e.src[e.w];
    e.dst[e.w + 1] = e.src[e.w + 1];
  }
  e.r = e.w + (stopped ? 2 : 0);
  if (e.w + 2 <= dl) {
    e.dst[e.w] = e.dst[e.w + 1] = 0;
    e.w += 2;
  }
}

void single_bytes(Equi &e) {
  size_t n = e.srclen < e.dstlen ? e.srclen : e.dstlen;
  while (e.w < n) {
    uint8_t b = e.src[e.w];
    e.dst[e.w++] = b;
    if (b == 0) break;
  }
  e.r = e.w;
  if (e.w > 0 && e.dst[e.w - 1] == 0) return;
  if (e.r < e.srclen && e.src[e.r] == 0) ++e.r;
  terminate(e);
}

void shift_sensitive(Equi &e, const lxlangid *h, const lxcsobj *cs) {
  const size_t mb = h->mb_len ? h->mb_len : 1u;
  int in = 0, out = 0;
  if (e.src[0] == h->shift_out || e.src[0] == h->shift_in) {
    in = e.src[0] == h->shift_out;
    e.r = 1;
  }
  uint8_t form[4];
  while (e.r < e.srclen) {
    size_t l = in ? mb : 1;
    if (e.r + l > e.srclen) break;
    const uint8_t *c = e.src + e.r;
    size_t fl = l;
    const uint8_t *f = c;
    if (!in && (e.flags & LXS_EQUI_TOMULTI) && cs) {
      size_t k = lxcss2m(cs, form, c[0]);
      if (k) {
        fl = k;
        f = form;
      }
    } else if (in && (e.flags & LXS_EQUI_TOSINGLE) && cs) {
      if (uint8_t s = lxcsm2s(cs, c, l)) {
        form[0] = s;
        fl = 1;
        f = form;
      }
    }
    const int need = fl > 1;
    const size_t shift = need != out ? 1 : 0;
    if (e.w + fl + shift + (need ? 1 : 0) > e.dstlen) break;
    if (shift) {
      e.dst[e.w++] = lxmi::shift_byte(h, need);
      out = need;
    }
    memcpy(e.dst + e.w, f, fl);
    e.w += fl;
    e.r += l;
    while (e.r < e.srclen && (e.src[e.r] == h->shift_in || e.src[e.r] == h->shift_out)) {
      if (e.r + 1 == e.srclen) {
        e.r = e.srclen;  // a shift byte that ends the source ends the conversion
        break;
      }
      in = e.src[e.r] == h->shift_out;
      ++e.r;
    }
  }
  if (out) e.dst[e.w++] = h->shift_in;  // the reserved byte
  terminate(e);
}

void multibyte(Equi &e, const lxcsobj *cs) {
  uint8_t form[4];
  while (e.r < e.srclen) {
    const uint8_t *c = e.src + e.r;
    size_t l = lxmi::lead_len(cs, c[0]);
    if (e.r + l > e.srclen) break;
    const uint8_t *f = c;
    size_t fl = l;
    if (l == 1 && (e.flags & LXS_EQUI_TOMULTI)) {
      if (size_t k = lxcss2m(cs, form, c[0])) {
        f = form;
        fl = k;
      }
    } else if (l > 1 && (e.flags & LXS_EQUI_TOSINGLE)) {
      if (uint8_t s = lxcsm2s(cs, c, l)) {
        form[0] = s;
        f = form;
        fl = 1;
      }
    }
    if (e.w + fl > e.dstlen) {
      if (f == form && l == 1 && e.w + 1 <= e.dstlen) {
        f = c;  // the equivalent does not fit: the byte is copied
        fl = 1;
      } else {
        break;
      }
    }
    memcpy(e.dst + e.w, f, fl);
    e.w += fl;
    e.r += l;
    if (c[l - 1] == 0) return;
  }
  if (e.r < e.srclen && e.src[e.r] == 0) ++e.r;
  terminate(e);
}

}  // namespace

extern "C" size_t lxsCnvEqui(void *dst, size_t dstlen, const void *src, size_t srclen,
                             uint32_t flags, const lxlangid *h, lxglo *glo) {
  Equi e{static_cast<uint8_t *>(dst), dstlen, static_cast<const uint8_t *>(src), srclen, flags};
  glo->status = 0;
  if (h->flags & LXH_F_WIDE) {
    wide_units(e);
  } else if (srclen == 0 || dstlen == 0) {
    terminate(e);
  } else if (h->flags & LXH_F_SINGLE) {
    single_bytes(e);
  } else if (h->flags & LXH_F_SHIFT) {
    shift_sensitive(e, h, lxmi::charset(h, glo));
  } else if (const lxcsobj *cs = lxmi::charset(h, glo)) {
    multibyte(e, cs);
  } else {
    single_bytes(e);
  }
  glo->nbytes = e.r;
  return e.w;
}

extern "C" void *lxsCnvSimple(void *dst, const void *src, size_t len, uint32_t flags,
                              const lxlangid *h, lxglo *glo) {
  if (len == 0) return dst;
  const lxcsobj *cs = lxmi::charset(h, glo);
  auto d = static_cast<uint8_t *>(dst);
  auto s = static_cast<const uint8_t *>(src);
  if ((flags & LXO_EXACTLEN) && s < d && s + len > d) {
    memmove(d, s, len);
    s = d;
  }
  const bool bounded = (flags & LXO_EXACTLEN) != 0;
  bool word_start = true;
  for (size_t i = 0; i < len; ++i) {
    uint8_t b = s[i], c = b;
    if (cs) {
      if (flags & LXS_CASE_INITCAP) {
        uint16_t k = cs->bclass[b];
        if (k & kClassAlpha) {
          c = word_start ? cs->upper[b] : cs->lower[b];
          word_start = false;
        } else {
          word_start = !(k & kClassDigit);  // a digit continues a word
        }
      } else {
        c = (flags & LXS_CASE_UPPER) ? cs->upper[b] : cs->lower[b];
      }
    }
    d[i] = c;
    if (!bounded && b == 0) break;
  }
  return dst;
}
