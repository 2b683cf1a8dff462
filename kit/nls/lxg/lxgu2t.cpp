// Conversion between text in a character set and UTF-16 code units.
#include <string.h>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxl.h"
#include "lxlget.h"

using namespace nlsobj;

namespace {

const uint8_t *obj(const lxcsobj *cs) { return reinterpret_cast<const uint8_t *>(cs); }

// A four-byte GB18030 character beyond the BMP (U+10000 to U+10FFFF).
bool gb_supplementary(const uint8_t *p) {
  uint32_t lin = p[0] * 12600u + p[1] * 1260u + p[2] * 10u + p[3];
  return lin >= LXCGB_SUPP0 && lin <= LXCGB_SUPP0 + 0xFFFFFu;
}

bool is_high(uint32_t u) { return (u & 0xFC00u) == 0xD800u; }
bool is_low(uint32_t u) { return (u & 0xFC00u) == 0xDC00u; }

// Destination forms.
enum Form {
  F_AUTO = 0,
  F_SINGLE = 1,
  F_TABLE = 2,
  F_SHIFT = 3,
  F_UCS = 4,
  F_U16 = 5,
  F_UTF8 = 6,  // AL32UTF8
  F_U16LE = 7,
  F_GB = 8
};

Form form_of(const uint8_t *cs) {
  uint16_t id = cs_id(cs);
  if (id == ID_UCS) return F_UCS;
  if (cs_single(cs)) return F_SINGLE;
  if (id == ID_AL32UTF8) return F_UTF8;
  if (id == ID_AL16UTF16) return F_U16;
  if (cs_flags(cs) & CS_SHIFT) return F_SHIFT;
  if (id == ID_AL16UTF16LE) return F_U16LE;
  if (id == ID_GB18030) return F_GB;
  return F_TABLE;
}

struct U2T {
  uint8_t *dst;          // NULL: measure
  const uint8_t *cs;
  Form form;
  size_t dstlen;         // byte limit (ignored when measuring)
  size_t charlim;        // character limit
  const uint16_t *src;
  uint32_t n;
  bool combine;          // surrogate pairs become one character
  bool keep_high;        // a final high surrogate stays unconsumed
  bool resume;           // cooperate with the carry-over
  uint16_t mode;
  // results
  uint32_t units = 0;
  size_t chars = 0;
  size_t out = 0;
  bool small = false;
};

unsigned encode_one(const U2T &c, uint32_t v, uint8_t *buf, lxn::enc_fn enc, lxglo *g) {
  switch (c.form) {
    case F_SINGLE:
      buf[0] = lxcsu2sb(lxn::csobj(c.cs), v, g);
      return 1;
    case F_UCS:
    case F_U16:
    case F_U16LE: {
      unsigned k = 0;
      uint16_t u[2];
      unsigned nu = 0;
      if (v > 0xFFFF) {
        u[nu++] = static_cast<uint16_t>(v >> 16);
      }
      u[nu++] = static_cast<uint16_t>(v);
      for (unsigned j = 0; j < nu; ++j) {
        if (c.form == F_UCS) {
          memcpy(buf + k, &u[j], 2);
        } else if (c.form == F_U16) {
          buf[k] = static_cast<uint8_t>(u[j] >> 8);
          buf[k + 1] = static_cast<uint8_t>(u[j]);
        } else {
          buf[k] = static_cast<uint8_t>(u[j]);
          buf[k + 1] = static_cast<uint8_t>(u[j] >> 8);
        }
        k += 2;
      }
      return k;
    }
    default:
      return lxn::encode(enc, c.cs, buf, v, 0, g);
  }
}

// The unit-by-unit loop: measuring when c.dst is NULL.
void run(U2T &c, lxglo *g) {
  lxn::enc_fn enc = (c.form == F_SINGLE || c.form == F_UCS || c.form == F_U16 ||
                     c.form == F_U16LE)
                        ? nullptr
                        : lxn::encoder(c.cs);
  bool measure = c.dst == nullptr;
  bool multi = c.resume && c.form == F_SHIFT && g->carry.dst_shift != 0;
  // A whole conversion, and the resumable mode 2, keep a byte for the
  // closing shift-in; modes 0 and 1 close in a later call when it is full.
  bool keep_si = !measure && (!c.resume || (c.mode & 2));
  uint32_t i = 0;
  size_t o = 0, chars = 0;
  uint8_t buf[16];
  while (i < c.n) {
    if (chars >= c.charlim) {
      c.small = true;
      break;
    }
    uint32_t v = c.src[i];
    uint32_t take = 1;
    if (c.combine && is_high(v)) {
      if (i + 1 < c.n && is_low(c.src[i + 1])) {
        v = (v << 16) | c.src[i + 1];
        take = 2;
      } else if (i + 1 == c.n && (c.keep_high || c.resume)) {
        break;
      }
    }
    const int16_t mark = lxn::mark(g);  // kept when the character is not written
    unsigned len = encode_one(c, v, buf, enc, g);
    const int16_t written = lxn::mark(g);  // the mark once it is written
    size_t need = len;
    bool so = false, si = false;
    if (c.form == F_SHIFT) {
      if (len >= 2) {
        if (!multi) {
          so = true;
          ++need;
        }
        if (keep_si) ++need;  // kept for the closing shift-in
      } else if (multi) {
        si = true;
        ++need;
      }
    }
    if (measure) {
      o += len + (so ? 1 : 0) + (si ? 1 : 0);
    } else if (need > c.dstlen - o) {
      lxn::mark(g) = mark;
      if (!c.resume) {
        c.small = true;
        break;
      }
      // The character is split between this output and the pending bytes
      // (modes 0 and 1), or dropped (mode 2); either way it is consumed.
      lxn::status(g) = LXG_ST_SMALL;
      if (c.dstlen == o) {  // no room at all: the unit waits for the next call
        c.small = true;
        break;
      }
      if (!(c.mode & 2)) {
        uint8_t whole[20];
        size_t k = 0;
        if (so) whole[k++] = cs_so(c.cs);
        if (si) whole[k++] = cs_si(c.cs);
        memcpy(whole + k, buf, len);
        k += len;
        size_t avail = c.dstlen - o;
        size_t put = k < avail ? k : avail;
        size_t rest = k - put;
        if (rest > 4) {
          // the pending bytes cannot hold the rest: the unit is not consumed
          c.small = true;
          break;
        }
        memcpy(c.dst + o, whole, put);
        o += put;
        lxn::mark(g) = written;
        memcpy(lxn::pend_bytes(g), whole + put, rest);
        lxn::pend_count(g) = static_cast<uint8_t>(rest);
        if (so) multi = true;
        if (si) multi = false;
      }
      i += take;
      ++chars;
      c.small = true;
      break;
    } else {
      if (so) c.dst[o++] = cs_so(c.cs);
      if (si) c.dst[o++] = cs_si(c.cs);
      memcpy(c.dst + o, buf, len);
      o += len;
    }
    if (so) multi = true;
    if (si) multi = false;
    i += take;
    ++chars;
  }
  if (c.form == F_SHIFT) {
    if (c.resume) {
      lxn::dst_shift(g) = multi ? 1 : 0;
    } else if (multi) {
      if (!measure) c.dst[o] = cs_si(c.cs);
      ++o;
    }
  }
  c.units = i;
  c.chars = chars;
  c.out = o;
}

// Straight paths of the single-byte and UTF-16 forms.
bool straight(U2T &c, lxglo *g) {
  if (c.form != F_SINGLE && c.form != F_U16 && c.form != F_U16LE && c.form != F_UCS) return false;
  uint32_t per = c.form == F_SINGLE ? 1 : 2;
  uint32_t pairs = 0;
  if (c.dst == nullptr) {
    c.units = c.n;
    for (uint32_t i = 0; i + 1 < c.n; ++i)
      if (is_high(c.src[i]) && is_low(c.src[i + 1])) {
        ++pairs;
        ++i;
      }
    c.chars = c.form == F_SINGLE ? c.n : c.n - pairs;
    c.out = static_cast<size_t>(c.n) * per;
    return true;
  }
  size_t fit = c.dstlen / per;
  uint32_t m = fit < c.n ? static_cast<uint32_t>(fit) : c.n;
  for (uint32_t i = 0; i < m; ++i) {
    uint16_t u = c.src[i];
    uint8_t *p = c.dst + static_cast<size_t>(i) * per;
    if (c.form == F_SINGLE) {
      p[0] = lxcsu2sb(lxn::csobj(c.cs), u, g);
    } else if (c.form == F_U16) {
      p[0] = static_cast<uint8_t>(u >> 8);
      p[1] = static_cast<uint8_t>(u);
    } else if (c.form == F_U16LE) {
      p[0] = static_cast<uint8_t>(u);
      p[1] = static_cast<uint8_t>(u >> 8);
    } else {
      memcpy(p, &u, 2);
    }
    if (c.form != F_SINGLE && i + 1 < m && is_high(u) && is_low(c.src[i + 1])) ++pairs;
  }
  c.units = m;
  c.chars = c.form == F_SINGLE ? m : m - pairs;
  c.out = static_cast<size_t>(m) * per;
  c.small = m < c.n;
  return true;
}

void clear_u2t(lxglo *g) {
  lxn::status(g) = 0;
  lxn::nbytes2(g) = 0;
  lxn::ncount(g) = 0;
  lxn::ncount2(g) = 0;
  lxn::mark(g) = 0;
}

// The built-in wide object holds no encoder: units are not converted into it.
bool unserved_dst(const uint8_t *cs) { return cs == lxn::wkb(); }

}  // namespace

extern "C" uint32_t lxgt2u(uint16_t *dst, uint32_t cap, const void *srcv, const lxcsobj *srccs,
                           uint32_t srclen, uint16_t mode, lxglo *g) {
  const uint8_t *cs = obj(srccs);
  auto *src = static_cast<const uint8_t *>(srcv);
  if (!cs) {
    lxn::status(g) = LXG_ST_NOCS;
    lxn::nbytes(g) = 0;
    return 0;
  }
  lxn::status(g) = 0;
  lxn::mark(g) = 0;
  if (srclen == 0) {
    lxn::nbytes(g) = 0;
    return 0;
  }
  uint32_t flags = cs_flags(cs);
  uint16_t id = cs_id(cs);
  if (flags & CS_STATEFUL) return lxg2t2u(dst, cap, srcv, srccs, srclen, mode, g);
  if (cs == lxn::wkb()) {
    lxn::status(g) = LXG_ST_NOCS;
    lxn::nbytes(g) = 0;
    return 0;
  }
  lxn::dec_fn dec = lxn::decoder(cs);
  bool shift = (flags & CS_SHIFT) != 0;
  // Straight forms: single-byte, the two UTF-16 byte orders, and host-order units.
  if (cs_single(cs) || id == ID_AL16UTF16 || id == ID_AL16UTF16LE || id == ID_UCS) {
    uint32_t per = cs_single(cs) ? 1 : 2;
    uint32_t total = srclen / per;
    if (cap == 0) {
      lxn::nbytes(g) = static_cast<size_t>(total) * per;
      return total;
    }
    uint32_t m = cap < total ? cap : total;
    for (uint32_t i = 0; i < m; ++i) {
      const uint8_t *p = src + static_cast<size_t>(i) * per;
      uint16_t u;
      if (per == 1) {
        u = cs_sbu(cs, p[0]);
        if (u == 0xFFFD) lxn::mark(g) = 1000;
      } else if (id == ID_AL16UTF16) {
        u = static_cast<uint16_t>((p[0] << 8) | p[1]);
      } else if (id == ID_AL16UTF16LE) {
        u = static_cast<uint16_t>((p[1] << 8) | p[0]);
      } else {
        memcpy(&u, p, 2);
      }
      dst[i] = u;
    }
    if (cap < total) lxn::status(g) = LXG_ST_SMALL;
    lxn::nbytes(g) = static_cast<size_t>(m) * per;
    return m;
  }
  uint8_t mb = cs_max(cs);
  bool multi = false, gb = id == ID_GB18030;
  uint32_t i = 0, o = 0;
  bool measure = cap == 0;
  while (i < srclen) {
    if (shift) {
      if (src[i] == cs_so(cs)) {
        multi = true;
        ++i;
        continue;
      }
      if (src[i] == cs_si(cs)) {
        multi = false;
        ++i;
        continue;
      }
    }
    unsigned len = shift ? (multi ? mb : 1u)
                   : gb  ? lxcgbgwt(srccs, src + i, srclen - i, 0)
                         : cs_len(cs, src[i]);
    if (len > srclen - i) break;  // incomplete last character
    if (measure) {
      unsigned need = 1;
      if (len == 4 && (id == ID_AL32UTF8 || (gb && gb_supplementary(src + i)))) {
        need = 2;
      } else if (len > 1 && (flags & CS_CP32)) {
        need = lxn::decode(dec, cs, src + i, len) > 0xFFFF ? 2 : 1;
      }
      o += need;
      i += len;
      continue;
    }
    if (o >= cap) {
      lxn::status(g) = LXG_ST_SMALL;
      break;
    }
    uint32_t v = len == 1 ? cs_sbu(cs, src[i]) : lxn::decode(dec, cs, src + i, len);
    if (v > 0xFFFF) {
      if (cap - o < 2) {
        // the pair does not fit: reported, not silently dropped
        lxn::status(g) = LXG_ST_SMALL;
        break;
      }
      dst[o++] = static_cast<uint16_t>(v >> 16);
      dst[o++] = static_cast<uint16_t>(v);
      if ((v & 0xFFFF) == 0xFFFD) lxn::mark(g) = 1000;
    } else {
      dst[o++] = static_cast<uint16_t>(v);
      if (v == 0xFFFD) lxn::mark(g) = 1000;
    }
    i += len;
  }
  lxn::nbytes(g) = i;
  return o;
}

extern "C" uint32_t lxgu2t(void *dstv, const lxcsobj *dstcs, uint32_t dstlen, const uint16_t *src,
                           uint32_t nunits, uint16_t mode, lxglo *g) {
  const uint8_t *cs = obj(dstcs);
  clear_u2t(g);
  if (!cs) {
    lxn::status(g) = LXG_ST_NOCS;
    lxn::nbytes(g) = 0;
    return 0;
  }
  if (nunits == 0) {
    lxn::nbytes(g) = 0;
    return 0;
  }
  if (cs_flags(cs) & CS_STATEFUL) return lxg2u2t(dstv, dstcs, dstlen, src, nunits, mode, g);
  if (unserved_dst(cs)) {
    lxn::status(g) = LXG_ST_NOCS;
    lxn::nbytes(g) = 0;
    return 0;
  }
  U2T c{};
  c.dst = dstlen ? static_cast<uint8_t *>(dstv) : nullptr;
  c.cs = cs;
  c.form = form_of(cs);
  c.dstlen = dstlen;
  c.charlim = SIZE_MAX;
  c.src = src;
  c.n = nunits;
  c.combine = c.form == F_UTF8 || c.form == F_GB || ((cs_flags(cs) & CS_CP32) != 0);
  c.keep_high = false;
  c.resume = (mode & LXG_U2T_RESUME) != 0;
  c.mode = mode;
  if (!straight(c, g)) run(c, g);
  if (c.small && !c.resume && c.units < nunits) lxn::status(g) = LXG_ST_SMALL;
  lxn::nbytes(g) = c.units;
  lxn::nbytes2(g) = c.chars;
  lxn::ncount2(g) = c.chars & 0xFFFFu;
  if (!c.dst && (c.form == F_SINGLE || c.form == F_U16 || c.form == F_U16LE || c.form == F_UCS))
    lxn::ncount(g) = c.chars;
  return static_cast<uint32_t>(c.out);
}

extern "C" uint32_t lxgu2tc(void *dstv, const lxcsobj *dstcs, uint32_t *outbytes,
                            uint32_t *outchars, const uint16_t *src, uint32_t *srcbytes,
                            uint32_t *srcunits, uint32_t kind, lxglo *g) {
  const uint8_t *cs = obj(dstcs);
  clear_u2t(g);
  auto zero = [&] {
    if (outbytes) *outbytes = 0;
    if (outchars) *outchars = 0;
    if (srcbytes) *srcbytes = 0;
    if (srcunits) *srcunits = 0;
  };
  if (!cs) {
    lxn::status(g) = LXG_ST_NOCS;
    zero();
    return 0;
  }
  uint32_t units = 0;
  if (srcunits && srcbytes)
    units = *srcunits < *srcbytes / 2 ? *srcunits : *srcbytes / 2;
  else if (srcunits)
    units = *srcunits;
  else if (srcbytes)
    units = *srcbytes / 2;
  Form form = static_cast<Form>(kind & 0x7FFFFFFFu);
  if (form == F_AUTO || form > F_GB) form = form_of(cs);
  if ((cs_flags(cs) & CS_STATEFUL) || unserved_dst(cs)) {
    lxn::status(g) = LXG_ST_NOCS;
    zero();
    return 0;
  }
  bool measure = (!outbytes || *outbytes == 0) && (!outchars || *outchars == 0);
  U2T c{};
  c.dst = measure ? nullptr : static_cast<uint8_t *>(dstv);
  c.cs = cs;
  c.form = form;
  c.dstlen = outbytes ? *outbytes : SIZE_MAX;
  c.charlim = (!measure && outchars && *outchars) ? *outchars : SIZE_MAX;
  c.src = src;
  c.n = units;
  c.combine = true;
  c.keep_high = (kind & 0x80000000u) != 0;
  c.resume = false;
  c.mode = 0;
  if (units) run(c, g);
  if (c.small && c.units < units) lxn::status(g) = LXG_ST_SMALL;
  lxn::nbytes(g) = c.units;
  lxn::nbytes2(g) = c.chars;
  lxn::ncount2(g) = c.chars & 0xFFFFu;
  if (outbytes) *outbytes = static_cast<uint32_t>(c.out);
  if (outchars) *outchars = static_cast<uint32_t>(c.chars);
  if (srcunits) *srcunits = c.units;
  if (srcbytes) *srcbytes = 2 * c.units;
  return static_cast<uint32_t>(c.out);
}
