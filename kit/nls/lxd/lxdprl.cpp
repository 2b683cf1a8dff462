// Display-width padding of a text field (lxdprl).
#include <cstring>

#include "lxd.h"
#include "lxh.h"
#include "lxhint.h"
#include "lxm.h"
#include "lxo.h"

namespace {

constexpr uint32_t kBlank = 0x20;
constexpr uint32_t kUnicode2 = 0x100;  // charset flag: a two-byte Unicode set

// The pad character's text, most significant byte first; its length.
size_t pad_text(const lxcsobj *cs, uint8_t *out) {
  uint32_t v = cs && cs->pad ? cs->pad : kBlank;
  size_t n;
  if (cs && (cs->flags & kUnicode2))
    n = v < 0x10000 ? 2 : 4;
  else
    n = v <= 0xFF ? 1 : v <= 0xFFFF ? 2 : v < 0x1000000 ? 3 : 4;
  for (size_t i = 0; i < n; ++i) out[i] = uint8_t(v >> (8 * (n - 1 - i)));
  return n;
}

// Fills n bytes with the pad string repeated (the last repetition cut), or
// with the pad byte.
void fill_bytes(char *at, size_t n, const char *pad, size_t padlen, uint8_t padbyte) {
  if (!padlen) {
    std::memset(at, padbyte, n);
    return;
  }
  for (size_t i = 0; i < n; ++i) at[i] = pad[i % padlen];
}

char *single_byte(const char *src, size_t srclen, char *dst, size_t dstsize, size_t width,
                  const char *pad, bool right, const lxcsobj *cs, lxglo *g) {
  const size_t padlen = pad ? std::strlen(pad) : 0;
  uint8_t pc[4];
  pad_text(cs, pc);
  const uint8_t padbyte = pc[0];
  if (width > dstsize) {
    g->status = LXS_SMALL;
    g->nbytes2 = 0;
    return nullptr;
  }
  g->nbytes2 = width;
  if (srclen >= width) {
    std::memmove(dst, src, width);
    return nullptr;
  }
  const size_t n = width - srclen;
  if (right) {
    std::memmove(dst, src, srclen);
    fill_bytes(dst + srclen, n, pad, padlen, padbyte);
    return dst + srclen;
  }
  std::memmove(dst + n, src, srclen);
  fill_bytes(dst, n, pad, padlen, padbyte);
  return dst;
}

struct Out {
  lxmcur cur;
  size_t size;
  bool full = false;
  size_t room() const { return size - size_t(cur.pos - cur.start); }
};

// Pads c columns at out: the pad text's characters in turn while each fits;
// then the single-byte pad character, one column each, or status 28.
void pad_columns(Out &out, size_t c, const uint8_t *pad, size_t padlen, bool pad_single,
                 uint8_t padbyte, const lxlangid *h, lxglo *g) {
  lxmcur pc;
  lxmcpen(pad, padlen, &pc, h, g);
  while (c > 0 && padlen > 0) {
    if (lxmleft(&pc) == 0) lxmcpen(pad, padlen, &pc, h, g);
    lxmcur one = pc;
    lxmcur next = pc;
    if (lxmfwdx(&next, g) == 0) break;
    const size_t w = lxsCntDisp(one.pos, size_t(next.pos - one.pos), LXO_NULTERM, h, g);
    if (w == 0 || w > c) break;
    const size_t n = lxoCpChar(&out.cur, out.room(), &pc, lxmleft(&pc), 0, g);
    if (n == 0) {
      out.full = true;
      return;
    }
    c -= w;
  }
  g->status = 0;
  if (c == 0) return;
  if (!pad_single) {
    g->status = LXD_ST_SHORT;
    return;
  }
  for (; c > 0; --c) {
    if (out.room() < (out.cur.shifted ? 2u : 1u)) {
      out.full = true;
      return;
    }
    lxoWriChar(&out.cur, padbyte, 0, g);
  }
}

// Copies the measured source (len bytes, its NUL excluded) whole, or marks
// the output full.
void copy_source(Out &out, const char *src, size_t len, const lxlangid *h, lxglo *g) {
  lxmcur in;
  lxmcpen(src, len, &in, h, g);
  lxoCpStr(&out.cur, out.room(), &in, len, LXO_EXACTLEN, g);
  if (lxmleft(&in) > 0) out.full = true;
}

}  // namespace

extern "C" char *lxdprl(const void *srcp, size_t srclen, char *dst, size_t dstsize, size_t width,
                        const char *pad, int mode, const lxlangid *h, lxglo *glo) {
  if (!glo) return nullptr;
  glo->status = 0;
  glo->nbytes2 = 0;
  if (!srcp || !dst || !h) return nullptr;
  const char *src = static_cast<const char *>(srcp);
  const bool right = (mode & 0xFF) == LXD_PAD_RIGHT;
  const lxcsobj *cs = lxn::csobj(lxn::get(h->cs, LXP_TYPE_CHARSET, glo));
  if (h->flags & LXH_F_SINGLE)
    return single_byte(src, srclen, dst, dstsize, width, pad, right, cs, glo);

  const bool two_byte = (h->flags & LXH_F_WIDE) != 0;
  uint8_t padchar[4];
  const size_t pclen = pad_text(cs, padchar);
  const bool pad_single = pclen == 1;
  const uint8_t *ptext = padchar;
  size_t plen = pclen;
  if (pad && (two_byte ? lxsulen(pad) : std::strlen(pad)) > 0) {
    ptext = reinterpret_cast<const uint8_t *>(pad);
    plen = two_byte ? lxsulen(pad) : std::strlen(pad);
  }
  size_t len = two_byte ? lxsulen(src) : strnlen(src, srclen);
  if (len > srclen) len = srclen;
  const size_t cols = lxsCntDisp(src, len, LXO_NULTERM, h, glo);

  Out out;
  out.size = dstsize;
  lxmopen(dst, dstsize, &out.cur, h, glo, 1);
  char *result = nullptr;
  if (cols < width) {
    const size_t c = width - cols;
    if (right) copy_source(out, src, len, h, glo);
    if (!out.full) pad_columns(out, c, ptext, plen, pad_single, padchar[0], h, glo);
    const uint32_t st = glo->status;
    if (!right && !out.full) copy_source(out, src, len, h, glo);
    glo->status = st;
    result = right ? dst + srclen : dst;
  } else {
    lxmcur in;
    lxmcpen(src, len, &in, h, glo);
    lxoCpDisp(&out.cur, out.room(), &in, len, width, LXO_NULTERM, glo);
    // the columns copied: a character wider than the columns left stays out
    const size_t used = lxsCntDisp(src, size_t(in.pos - in.start), LXO_NULTERM, h, glo);
    if (used < width) pad_columns(out, width - used, padchar, 0, pad_single, padchar[0], h, glo);
  }
  glo->nbytes2 = size_t(out.cur.pos - out.cur.start);
  if (out.full) {
    glo->status = LXS_SMALL;
    return nullptr;
  }
  return result;
}
