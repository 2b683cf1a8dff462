// Copying a plain string into an output cursor without splitting a
// character, by the class of the cursor's character set.
#include <string.h>

#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxp.h"

namespace {

struct Copy {
  const uint8_t *src;
  size_t srclen;
  uint8_t *out;
  size_t room;      // bytes the copy may write
  uint32_t flags;
  size_t taken = 0;    // source bytes consumed
  size_t written = 0;  // bytes written
  size_t nin = 0;      // characters consumed
  size_t nout = 0;     // characters written
};

// Single-byte sets: bytes up to a NUL (consumed, not copied), or exactly
// the length.
void single_byte(Copy &c) {
  size_t n = c.srclen < c.room ? c.srclen : c.room;
  size_t k = n;
  bool nul = false;
  if (!(c.flags & LXO_EXACTLEN)) {
    // a NUL right after a full window also ends the text
    size_t scan = n < c.srclen ? n + 1 : n;
    if (const void *z = memchr(c.src, 0, scan)) {
      k = static_cast<size_t>(static_cast<const uint8_t *>(z) - c.src);
      nul = true;
    }
  }
  memcpy(c.out, c.src, k);
  c.written = c.nout = k;
  c.taken = c.nin = k + (nul ? 1 : 0);
}

// Fixed two-byte sets, in units of two bytes; a unit of two zero bytes is a NUL.
void fixed_two_byte(Copy &c) {
  bool in_units = !(c.flags & (LXO_NULTERM | LXO_EXACTLEN));
  size_t src_units = in_units ? c.srclen : c.srclen / 2;
  size_t room_units = c.room / 2;
  size_t n = src_units < room_units ? src_units : room_units;
  size_t k = n;
  bool nul = false;
  if (!(c.flags & LXO_EXACTLEN)) {
    size_t scan = n < src_units ? n + 1 : n;
    for (size_t u = 0; u < scan; ++u)
      if (c.src[2 * u] == 0 && c.src[2 * u + 1] == 0) {
        k = u;
        nul = true;
        break;
      }
  }
  memcpy(c.out, c.src, 2 * k);
  c.written = 2 * k;
  c.nout = k;
  c.nin = k + (nul ? 1 : 0);
  c.taken = 2 * c.nin;
}

// Shift-sensitive sets: the source starts shifted in; its shift bytes set
// its state and the destination gets the shift byte each character needs.
void shift_sensitive(Copy &c, const lxlangid *h, int32_t &dst_shifted) {
  const uint8_t si = h->shift_in, so = h->shift_out;
  const size_t mb = h->mb_len ? h->mb_len : 1u;
  const bool by_chars = (c.flags & LXO_CHARLEN) != 0;
  const bool nul_ends = !(c.flags & LXO_EXACTLEN);
  size_t i = 0, left = c.srclen;  // left: bytes, or characters with LXO_CHARLEN
  int s = 0, d = dst_shifted;
  for (;;) {
    // Shift bytes before the next character are taken with it, or at the
    // end of the source; a character that is not copied leaves them.
    size_t mark_i = i, mark_left = left;
    int mark_s = s;
    while (left > 0 && (c.src[i] == so || c.src[i] == si)) {
      s = c.src[i] == so;
      ++i;
      if (!by_chars) --left;
    }
    if (left == 0) break;
    if (nul_ends && !s && c.src[i] == 0) {
      ++i;
      ++c.nin;
      break;
    }
    size_t cl = s ? mb : 1u;
    size_t need = cl + (s != d ? 1u : 0u);
    if ((!by_chars && cl > left) || need > c.room - c.written) {
      i = mark_i;
      left = mark_left;
      s = mark_s;
      break;
    }
    if (s != d) {
      c.out[c.written++] = s ? so : si;
      d = s;
    }
    memcpy(c.out + c.written, c.src + i, cl);
    c.written += cl;
    i += cl;
    left -= by_chars ? 1u : cl;
    ++c.nin;
    ++c.nout;
  }
  c.taken = i;
  dst_shifted = d;
}

// Other multibyte sets: characters by the byte-class table.
void multibyte(Copy &c, const lxlangid *h, lxglo *g) {
  const lxcsobj *cs = lxmi::charset(h, g);
  if (c.flags & LXO_EXACTLEN) {
    size_t n = c.srclen < c.room ? c.srclen : c.room;
    const uint8_t *cut;
    if (cs && ((cs->flags & LXCSF_SURR6) || cs->id == LXCS_AL32UTF8)) {
      cut = lxptmutf8(c.src, c.src + n);
    } else {
      cut = lxptmult(c.src, n, h, g);
      c.nin = c.nout = static_cast<size_t>(g->ncount);
    }
    c.taken = c.written = static_cast<size_t>(cut - c.src);
    memcpy(c.out, c.src, c.written);
    return;
  }
  // With LXO_NULTERM the length counts bytes, otherwise characters.
  const bool by_bytes = (c.flags & LXO_NULTERM) != 0;
  size_t i = 0, left = c.srclen;
  while (left > 0) {
    uint8_t b = c.src[i];
    if (b == 0) {
      ++i;
      ++c.nin;
      break;
    }
    size_t l = lxmi::lead_len(cs, b);
    if ((by_bytes && l > left) || l > c.room - c.written) break;
    memcpy(c.out + c.written, c.src + i, l);
    c.written += l;
    i += l;
    left -= by_bytes ? l : 1u;
    ++c.nin;
    ++c.nout;
  }
  c.taken = i;
}

}  // namespace

extern "C" size_t lxoCpToOp(lxmcur *dst, size_t dstsize, const void *src, size_t srclen,
                            uint32_t flags, lxglo *glo) {
  glo->status = 0;
  glo->nbytes = 0;
  glo->ncount = 0;
  glo->ncount2 = 0;
  const lxlangid *h = dst->langid;
  size_t room = lxmleft(dst);
  if (dstsize < room) room = dstsize;
  if (!h || !src || room == 0 || srclen == 0) return 0;
  Copy c{static_cast<const uint8_t *>(src), srclen, dst->pos, room, flags};
  if (h->flags & LXH_F_SINGLE)
    single_byte(c);
  else if (h->flags & LXH_F_FIXED)
    fixed_two_byte(c);
  else if (dst->shift_sensitive)
    shift_sensitive(c, h, dst->shifted);
  else
    multibyte(c, h, glo);
  dst->pos += c.written;
  glo->nbytes = c.taken;
  glo->ncount = static_cast<uint16_t>(c.nin);
  glo->ncount2 = static_cast<uint16_t>(c.nout);
  return c.written;
}
