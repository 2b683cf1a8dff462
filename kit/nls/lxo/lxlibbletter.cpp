// Base letters of text through the named mapping BINARY_AI.
//
// The mapping value of a UTF-16 unit comes from the two-level fold walk
// (lxpfmget, lxp.h). A value of 0 keeps the character; 0xFFC2xxxx is an expansion
// (xxxx indexes the expansion table at w4: a count n, then n units);
// 0xFFC5xxxx marks a high surrogate whose mapping the following low
// surrogate selects in the table at w5 (0 keeps the pair, 0x10000 or more is
// a pair, else one unit); any other value's low 16 bits are the replacement.
// Every table read stays inside the object; a count or index that leaves it
// keeps the character, as does an empty expansion; an expansion gives at
// most LXP_FOLD_MAXOUT units.
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxl.h"
#include "lxm.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxp.h"

namespace {

constexpr unsigned kMaxRepl = LXP_FOLD_MAXOUT;  // outputs of one expansion, at most
constexpr size_t kMaxOut = kMaxRepl * 10;

bool is_high(uint32_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(uint32_t u) { return u >= 0xDC00 && u <= 0xDFFF; }

struct Mapping {
  lxpfmap map;

  explicit Mapping(const lxnlsobj *m) { lxpfmopen(&map, m, LXP_BASELETTER_LEVEL2); }

  // The replacement of c (a unit or a packed surrogate pair): n values, each
  // a unit or a packed pair; false keeps the character.
  bool resolve(uint32_t c, uint32_t *v, unsigned &n) const {
    const bool pair = c > 0xFFFF;
    lxpfent e;
    lxpfmget(&map, uint16_t(pair ? c >> 16 : c), &e);
    if (pair) {
      if (e.kind != LXP_FOLD_SUPP) return false;
      const uint32_t s = lxpfmsupp(&map, e.cell, uint16_t(c));
      if (s == 0) return false;
      v[0] = s;
      n = 1;
      return true;
    }
    if (e.kind == LXP_FOLD_KEEP || e.kind == LXP_FOLD_SUPP || e.n == 0) return false;
    for (unsigned k = 0; k < e.n; ++k) v[k] = e.u[k];
    n = e.n;
    return true;
  }
};

enum class Path { Single, Wide, Shift, Multi };

}  // namespace

extern "C" size_t lxlibbletter(const lxnlsobj *mapping, lxmcur *out, size_t size, lxmcur *in,
                               size_t len, uint32_t flags, lxglo *glo) {
  const lxlangid *h = in->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  if (!mapping || !cs) return 0;
  const Mapping map(mapping);
  const Path path = (cs->flags & LXCSF_UNIT16)   ? Path::Wide
                    : (cs->flags & LXCSF_SHIFT)  ? Path::Shift
                    : cs->maxbytes <= 1          ? Path::Single
                                                 : Path::Multi;
  const lxcsm2uf dec = lxcsdecoder(cs);
  const lxcsu2mf enc = lxcsencoder(cs);
  const uint8_t so = h->shift_out, si = h->shift_in;
  const unsigned mb = h->mb_len ? h->mb_len : cs->maxbytes;
  const bool counted = (flags & LXLIB_COUNTED) != 0;

  const uint8_t *p = in->pos;
  uint8_t *o = out->pos;
  size_t avail = len < lxmleft(in) ? len : lxmleft(in);
  size_t room = size < lxmleft(out) ? size : lxmleft(out);
  size_t i = 0, w = 0, nread = 0, nwritten = 0;
  int ishift = in->shifted, oshift = out->shifted;

  while (i < avail) {
    const uint8_t b = p[i];
    if (path == Path::Shift && (b == so || b == si)) {
      ishift = b == so;
      ++i;
      continue;
    }
    const size_t nul = path == Path::Wide ? 2 : 1;
    if (!counted && b == 0 && (path != Path::Wide || (i + 1 < avail && p[i + 1] == 0)) &&
        !(path == Path::Shift && ishift)) {
      if (room - w >= nul) {  // the terminator, when it fits
        memset(o + w, 0, nul);
        w += nul;
        i += nul;
      }
      break;
    }
    // one character: its length and UTF-16 value
    size_t cl = 1;
    uint32_t c = 0;
    switch (path) {
      case Path::Single:
        cl = 1;
        c = cs->sbu[b];
        break;
      case Path::Wide:
        cl = avail - i >= 4 && is_high(uint32_t(b << 8 | p[i + 1])) &&
                     is_low(uint32_t(p[i + 2] << 8 | p[i + 3]))
                 ? 4 : 2;
        if (cl > avail - i) break;
        c = cl == 4 ? uint32_t(b << 24 | p[i + 1] << 16 | p[i + 2] << 8 | p[i + 3])
                    : uint32_t(b << 8 | p[i + 1]);
        break;
      case Path::Shift:
        cl = ishift ? mb : 1;
        if (cl > avail - i) break;
        c = cl == 1 ? cs->sbu[b] : dec(cs, p + i, uint16_t(cl));
        break;
      case Path::Multi:
      default:
        cl = lxcgbgwt(cs, p + i, avail - i, 0);
        if (cl == 0 || cl > avail - i) break;
        c = cl == 1 ? cs->sbu[b] : dec(cs, p + i, uint16_t(cl));
        break;
    }
    if (cl > avail - i) break;  // a character cut off by the end of the text

    uint8_t buf[kMaxOut];
    size_t bn = 0;
    int state = oshift;
    auto shift_to = [&](int s) {
      if (path == Path::Shift && s != state) {
        buf[bn++] = s ? so : si;
        state = s;
      }
    };
    uint32_t v[kMaxRepl];
    unsigned n = 0;
    if (!map.resolve(c, v, n)) {
      shift_to(cl > 1);
      memcpy(buf + bn, p + i, cl);
      bn += cl;
      n = 1;
    } else {
      for (unsigned k = 0; k < n; ++k) {
        uint8_t e[16];
        size_t en;
        if (path == Path::Single) {
          e[0] = lxcsu2sb(cs, v[k], glo);
          en = 1;
        } else if (path == Path::Wide) {
          en = v[k] > 0xFFFF ? 4 : 2;
          for (size_t x = 0; x < en; ++x) e[x] = uint8_t(v[k] >> (8 * (en - 1 - x)));
        } else {
          en = enc(cs, e, v[k], unsigned(cl), glo);
        }
        shift_to(en > 1);
        memcpy(buf + bn, e, en);
        bn += en;
      }
    }
    if (bn > room - w) {  // the output is full: the text goes on
      glo->status = LXS_SMALL;
      break;
    }
    memcpy(o + w, buf, bn);
    w += bn;
    oshift = state;
    i += cl;
    ++nread;
    nwritten += n;
  }
  in->pos += i;
  out->pos += w;
  if (path == Path::Shift) {
    in->shifted = ishift;
    out->shifted = oshift;
  }
  glo->nbytes = i;
  glo->nbytes2 = w;
  glo->ncount = nread;
  glo->ncount2 = nwritten;
  return w;
}
