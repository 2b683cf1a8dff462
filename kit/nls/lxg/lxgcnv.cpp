// Whole-string conversion and the output-size ratio.
#include <string.h>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxgint.h"
#include "lxlget.h"
#include "lxlname.h"

using namespace nlsobj;

namespace lxg {

unsigned measure_la(const uint8_t *cs, const uint8_t *p, size_t rem) {
  uint32_t f = cs_flags(cs);
  uint16_t id = cs_id(cs);
  if (f & CS_WIDE) return ((p[0] >> 2) == 0x36 && rem > 2 && (p[2] >> 2) == 0x37) ? 4u : 2u;
  if (id == ID_UTF8 && rem >= 5 && p[0] == 0xED && (p[1] >> 4) == 0xA && p[3] == 0xED &&
      (p[4] >> 4) == 0xB)
    return 6;
  if (id == ID_AL16UTF16LE) return (rem > 3 && (p[1] >> 2) == 0x36 && (p[3] >> 2) == 0x37) ? 4u : 2u;
  return cs_len(cs, p[0]);
}

bool utf16_shaped(const uint8_t *cs) {
  uint16_t id = cs_id(cs);
  return (cs_flags(cs) & CS_WIDE) || id == ID_UTF8 || id == ID_AL16UTF16LE;
}
bool code_point(const uint8_t *cs) {
  uint16_t id = cs_id(cs);
  return id == ID_AL32UTF8 || (cs_flags(cs) & (CS_WIDE | CS_CP32)) || id == ID_AL16UTF16LE;
}

}  // namespace lxg

using namespace lxg;

namespace {

const uint8_t *obj(const lxcsobj *cs) { return reinterpret_cast<const uint8_t *>(cs); }

void set_counts(lxglo *g, size_t consumed, size_t chars) {
  lxn::nbytes(g) = consumed;
  lxn::nbytes2(g) = chars;
  lxn::ncount2(g) = chars & 0xFFFFu;
}

// Copy without conversion (status 8).
size_t copy_as_is(void *dst, size_t dstlen, const void *src, size_t srclen, lxglo *g) {
  size_t n = dstlen < srclen ? dstlen : srclen;
  memcpy(dst, src, n);
  lxn::status(g) = LXG_ST_COPIED;
  set_counts(g, n, n);
  return n;
}

// Copy of two-byte units without conversion (status 8), where one side is
// the built-in wide set and the other multibyte: the second counts are of
// units, nothing is counted as consumed.
size_t copy_units(void *dst, size_t dstlen, const void *src, size_t srclen, lxglo *g) {
  size_t n = dstlen < srclen ? dstlen : srclen;
  memcpy(dst, src, n);
  lxn::status(g) = LXG_ST_COPIED;
  lxn::nbytes2(g) = n / 2;
  lxn::ncount2(g) = (n / 2) & 0xFFFFu;
  return n;
}

// One charset on both sides.
size_t same_set(uint8_t *dst, const uint8_t *cs, size_t dstlen, const uint8_t *src, size_t srclen,
                lxglo *g) {
  size_t n = dstlen < srclen ? dstlen : srclen;
  uint16_t id = cs_id(cs);
  size_t out = 0, chars = 0;
  bool no_room = false;  // the shift-coded copy stopped for the output's room
  if (cs_single(cs)) {
    memcpy(dst, src, n);
    out = chars = n;
    lxn::nbytes(g) = n;
  } else if (id == ID_AL16UTF16 || id == ID_AL16UTF16LE || id == ID_UCS) {
    out = n & ~static_cast<size_t>(1);
    memcpy(dst, src, out);
    chars = out / 2;
    lxn::nbytes(g) = out;
    if (id == ID_UCS) lxn::ncount(g) = chars;
  } else if (!(cs_flags(cs) & CS_SHIFT)) {
    size_t i = 0;
    while (i < n) {
      unsigned len = cs_len(cs, src[i]);
      if (len > n - i) break;
      i += len;
      ++chars;
    }
    memcpy(dst, src, i);
    out = i;
    lxn::nbytes(g) = i;
  } else {
    // The source bounds what can be read, the output what can be written:
    // a text in the multibyte shift always keeps room for its closing
    // shift-in, which is appended when the copy stops in that shift.
    uint8_t si = cs_si(cs), so = cs_so(cs), mb = cs_max(cs);
    bool multi = false, last_si = false;
    size_t i = 0;
    while (i < srclen) {
      uint8_t b = src[i];
      if (b == si) {
        if (i == srclen - 1) {  // consumed, and written as the closing shift-in
          last_si = multi;
          break;
        }
        if (i + 1 > dstlen) { no_room = true; break; }
        multi = false;
        ++i;
      } else if (b == so) {
        if (i + 1 + mb > srclen) break;
        if (i + 1 + mb + 1 > dstlen) { no_room = true; break; }
        multi = true;
        ++i;
      } else if (multi) {
        if (i + mb > srclen) break;
        if (i + mb + 1 > dstlen) { no_room = true; break; }
        i += mb;
        ++chars;
      } else {
        if (i + 1 > dstlen) { no_room = true; break; }
        ++i;
        ++chars;
      }
    }
    memcpy(dst, src, i);
    out = i;
    if (multi) dst[out++] = si;
    lxn::nbytes(g) = i + (last_si ? 1 : 0);  // source bytes consumed
    lxn::src_shift(g) = multi ? 1 : 0;
  }
  if ((srclen > dstlen || no_room) && lxn::status(g) == 0) lxn::status(g) = LXG_ST_SMALL;
  lxn::nbytes2(g) = chars;
  lxn::ncount2(g) = chars & 0xFFFFu;
  return out;
}

enum class Loop { Direct, Surrogate, Shift };


// Runs of ASCII characters between two sets that both hold ASCII as
// themselves are converted as runs: copied, widened to UTF-16 or looked up
// in a 128-entry table, instead of one codec call each. Only long sources
// take the time to check the sets.
struct AsciiRun {
  enum Kind : uint8_t { None, Copy, Utf16Be, Utf16Le, Table } kind = None;
  uint8_t byte[128];
  bool lossy[128];
};

constexpr size_t kAsciiRunMin = 64;

void ascii_run_setup(AsciiRun &r, const uint8_t *scs, const uint8_t *dcs, size_t srclen, Loop loop,
                     lxglo *g) {
  r.kind = AsciiRun::None;
  if (loop == Loop::Shift || srclen < kAsciiRunMin) return;
  uint16_t sid = cs_id(scs), did = cs_id(dcs);
  if ((cs_flags(scs) & CS_WIDE) || sid == ID_AL16UTF16LE || sid == ID_UCS) return;
  for (unsigned b = 0; b < 128; ++b)
    if (cs_sbu(scs, static_cast<uint8_t>(b)) != b || cs_len(scs, static_cast<uint8_t>(b)) != 1) return;
  if (did == ID_UTF8 || did == ID_AL32UTF8) {
    r.kind = AsciiRun::Copy;
  } else if (did == ID_AL16UTF16) {
    r.kind = AsciiRun::Utf16Be;
  } else if (did == ID_AL16UTF16LE) {
    r.kind = AsciiRun::Utf16Le;
  } else if (cs_single(dcs) && !(cs_flags(dcs) & CS_SHIFT)) {
    int16_t keep = lxn::mark(g);
    for (unsigned b = 0; b < 128; ++b) {
      lxn::mark(g) = 0;
      r.byte[b] = lxcsu2sb(lxn::csobj(dcs), b, g);
      r.lossy[b] = lxn::mark(g) != 0;
    }
    lxn::mark(g) = keep;
    r.kind = AsciiRun::Table;
  }
}

// Converts the ASCII run at src[i..) into dst[o..); returns the characters.
size_t ascii_run(const AsciiRun &r, uint8_t *dst, size_t dstlen, size_t &o, const uint8_t *src,
                 size_t srclen, size_t &i, lxglo *g) {
  size_t start = i;
  size_t per = (r.kind == AsciiRun::Utf16Be || r.kind == AsciiRun::Utf16Le) ? 2 : 1;
  size_t room = (dstlen - o) / per;
  size_t end = srclen - i < room ? srclen : i + room;
  size_t j = i;
  while (j < end && src[j] < 0x80) ++j;
  size_t n = j - i;
  uint8_t *out = dst + o;
  switch (r.kind) {
    case AsciiRun::Copy: memcpy(out, src + i, n); break;
    case AsciiRun::Utf16Be:
      for (size_t k = 0; k < n; ++k) {
        out[2 * k] = 0;
        out[2 * k + 1] = src[i + k];
      }
      break;
    case AsciiRun::Utf16Le:
      for (size_t k = 0; k < n; ++k) {
        out[2 * k] = src[i + k];
        out[2 * k + 1] = 0;
      }
      break;
    case AsciiRun::Table: {
      bool lossy = false;
      for (size_t k = 0; k < n; ++k) {
        out[k] = r.byte[src[i + k]];
        lossy |= r.lossy[src[i + k]];
      }
      if (lossy) lxn::mark(g) = 1000;
      break;
    }
    case AsciiRun::None: break;
  }
  o += n * per;
  i = j;
  return i - start;
}

size_t general(uint8_t *dst, const uint8_t *dcs, size_t dstlen, const uint8_t *src,
               const uint8_t *scs, size_t srclen, lxglo *g) {
  uint16_t sid = cs_id(scs), did = cs_id(dcs);
  uint32_t sf = cs_flags(scs), df = cs_flags(dcs);
  if (sid == ID_AL16UTF16 || sid == ID_AL16UTF16LE) srclen &= ~static_cast<size_t>(1);
  bool sshift = (sf & CS_SHIFT) != 0, dshift = (df & CS_SHIFT) != 0;
  Loop loop = Loop::Direct;
  if (sshift || dshift)
    loop = Loop::Shift;
  else if ((utf16_shaped(scs) && code_point(dcs)) || (code_point(scs) && utf16_shaped(dcs)))
    loop = Loop::Surrogate;
  lxn::dec_fn dec = lxn::decoder(scs);
  lxn::enc_fn enc = lxn::encoder(dcs);
  bool dsingle = cs_single(dcs);
  bool smulti = false, dmulti = false, small = false;
  uint8_t smax = cs_max(scs);
  size_t i = 0, o = 0, chars = 0;
  uint8_t scratch[16];
  Road road;
  if (loop != Loop::Shift) road_setup(road, scs, dcs, srclen, loop == Loop::Surrogate);
  AsciiRun run;
  if (road.kind == Road::None) ascii_run_setup(run, scs, dcs, srclen, loop, g);
  while (i < srclen) {
    if (road.kind != Road::None) {
      // the road takes what it knows; the step below takes the next character
      chars += road_run(road, src, srclen, i, dst, dstlen, o, g);
      if (i >= srclen) break;
    } else if (run.kind != AsciiRun::None && src[i] < 0x80) {
      size_t n = ascii_run(run, dst, dstlen, o, src, srclen, i, g);
      chars += n;
      if (n == 0) {  // no room for it
        small = true;
        break;
      }
      continue;
    }
    if (loop == Loop::Shift && sshift) {
      uint8_t b = src[i];
      if (b == cs_so(scs)) {
        smulti = true;
        ++i;
        continue;
      }
      if (b == cs_si(scs)) {
        smulti = false;
        ++i;
        continue;
      }
    }
    unsigned len;
    if (loop == Loop::Shift && sshift)
      len = smulti ? smax : 1u;
    else if (loop == Loop::Direct)
      len = cs_len(scs, src[i]);
    else
      len = measure_la(scs, src + i, srclen - i);
    if (len > srclen - i) break;  // incomplete last character: left for the caller
    if (o >= dstlen) {
      small = true;
      break;
    }
    uint32_t v = len == 1 ? cs_sbu(scs, src[i]) : lxn::decode(dec, scs, src + i, len);
    const int16_t mark = lxn::mark(g);  // kept when the character does not fit
    unsigned n;
    if (dsingle) {
      scratch[0] = lxcsu2sb(lxn::csobj(dcs), v, g);
      n = 1;
    } else {
      uint8_t width = loop == Loop::Surrogate ? (len == 1 ? 1 : 2) : static_cast<uint8_t>(len);
      n = lxn::encode(enc, dcs, scratch, v, width, g);
    }
    size_t need = n;
    bool so = false, si = false;
    if (dshift && !dsingle) {
      if (n >= 2) {
        if (!dmulti) {
          so = true;
          ++need;
        }
        ++need;  // kept for the closing shift-in
      } else if (dmulti) {
        si = true;
        ++need;
      }
    }
    if (need > dstlen - o) {
      lxn::mark(g) = mark;
      small = true;
      break;
    }
    if (so) {
      dst[o++] = cs_so(dcs);
      dmulti = true;
    }
    if (si) {
      dst[o++] = cs_si(dcs);
      dmulti = false;
    }
    put_small(dst + o, scratch, n);
    o += n;
    i += len;
    bool two = loop != Loop::Direct &&
               ((n == 4 && ((df & CS_WIDE) || did == ID_AL16UTF16LE)) || (n == 6 && (df & CS_SIX)));
    chars += two ? 2 : 1;
  }
  if (loop == Loop::Shift) {
    if (dmulti) dst[o++] = cs_si(dcs);
    lxn::src_shift(g) = smulti ? 1 : 0;
    lxn::stateful_byte(g) = 0;
  }
  lxn::nbytes(g) = i;
  if (small && i < srclen) lxn::status(g) = LXG_ST_SMALL;
  lxn::nbytes2(g) = chars;
  lxn::ncount2(g) = chars & 0xFFFFu;
  return o;
}

// Text in the built-in wide object (two-byte big-endian codes) into a
// single-byte set. Codes above 1999 stand for U+00BF (entry 129).
size_t from_wkb(uint8_t *dst, const uint8_t *dcs, size_t dstlen, const uint8_t *src,
                const uint8_t *wkb, size_t srclen, lxglo *g) {
  size_t i = 0, o = 0;
  int16_t keep = lxn::mark(g);
  while (srclen - i >= 2 && o < dstlen) {
    unsigned code = (static_cast<unsigned>(src[i]) << 8) | src[i + 1];
    if (code > 1999) code = 129;
    dst[o++] = lxcsu2sb(lxn::csobj(dcs), wkb_value(wkb, code), g);
    i += 2;
  }
  lxn::mark(g) = keep;  // this path reports no replacement
  lxn::nbytes(g) = i;
  if (srclen - i >= 2) lxn::status(g) = LXG_ST_SMALL;
  lxn::nbytes2(g) = o;
  lxn::ncount2(g) = o & 0xFFFFu;
  return o;
}

// Single-byte text into the built-in wide object's codes.
size_t to_wkb(uint8_t *dst, size_t dstlen, const uint8_t *src, const uint8_t *scs, size_t srclen,
              lxglo *g) {
  size_t i = 0, o = 0;
  while (i < srclen && dstlen - o >= 2) {
    uint16_t code = cs_sb799(scs, src[i++]);
    dst[o++] = static_cast<uint8_t>(code >> 8);
    dst[o++] = static_cast<uint8_t>(code);
  }
  lxn::nbytes(g) = i;
  if (i < srclen) lxn::status(g) = LXG_ST_SMALL;
  lxn::nbytes2(g) = i;
  lxn::ncount2(g) = i & 0xFFFFu;
  return o;
}

size_t utf16_out(void *dst, size_t dstlen, const void *src, const lxcsobj *srccs, size_t srclen,
                 lxglo *g) {
  if (reinterpret_cast<uintptr_t>(dst) & 1u) {
    lxn::status(g) = LXG_ST_MISALIGNED;
    return 0;
  }
  if (dstlen == 1) {
    // room for no unit at all: nothing converted (a capacity of 0 would measure)
    if (srclen) lxn::status(g) = LXG_ST_SMALL;
    return 0;
  }
  uint32_t n = lxgt2u(static_cast<uint16_t *>(dst), static_cast<uint32_t>(dstlen / 2), src, srccs,
                      static_cast<uint32_t>(srclen), 0, g);
  if (lxn::status(g) == LXG_ST_NOCS) lxn::status(g) = LXG_ST_COPIED;
  lxn::nbytes2(g) = n;
  lxn::ncount2(g) = n & 0xFFFFu;
  return 2u * static_cast<size_t>(n);
}

size_t utf16_in(void *dst, const lxcsobj *dstcs, size_t dstlen, const void *src, size_t srclen,
                lxglo *g) {
  if (reinterpret_cast<uintptr_t>(src) & 1u) {
    lxn::status(g) = LXG_ST_MISALIGNED;
    return 0;
  }
  uint32_t r = lxgu2t(dst, dstcs, static_cast<uint32_t>(dstlen), static_cast<const uint16_t *>(src),
                      static_cast<uint32_t>(srclen / 2), 0, g);
  lxn::nbytes(g) *= 2;
  if (lxn::status(g) == LXG_ST_NOCS) lxn::status(g) = LXG_ST_COPIED;
  return r;
}

}  // namespace

extern "C" size_t lxgcnv(void *dstv, const lxcsobj *dstcs, size_t dstlen, const void *srcv,
                         const lxcsobj *srccs, size_t srclen, lxglo *g) {
  const uint8_t *dcs = obj(dstcs), *scs = obj(srccs);
  auto *dst = static_cast<uint8_t *>(dstv);
  auto *src = static_cast<const uint8_t *>(srcv);
  lxn::nbytes(g) = 0;
  lxn::nbytes2(g) = 0;
  lxn::ncount(g) = 0;
  lxn::ncount2(g) = 0;
  lxn::status(g) = 0;
  lxn::mark(g) = 0;
  bool ucs_side = (dcs && cs_id(dcs) == ID_UCS) || (scs && cs_id(scs) == ID_UCS);
  if (srclen == 0 && !ucs_side) return 0;
  if (dstlen == 0 && !ucs_side) {
    lxn::status(g) = LXG_ST_SMALL;
    return 0;
  }
  const uint8_t *wkb = lxn::wkb();
  if (!dcs || !scs || (dcs == wkb && scs == wkb)) return copy_as_is(dst, dstlen, src, srclen, g);
  if ((cs_flags(dcs) | cs_flags(scs)) & CS_STATEFUL)
    return lxg2cnv(dstv, dstcs, dstlen, srcv, srccs, srclen, g);
  if (cs_id(dcs) == ID_GB18030 || cs_id(scs) == ID_GB18030) {
    size_t dl = dstlen, dc = dstlen, sl = srclen, sc = srclen;
    return lxgbcnv(dstv, dstcs, &dl, &dc, srcv, srccs, &sl, &sc, 1, g);
  }
  if (!(cs_flags(scs) & CS_SHIFT)) {
    lxn::src_shift(g) = 0;
    lxn::stateful_byte(g) = 0;
  }
  if (dcs == scs) return same_set(dst, dcs, dstlen, src, srclen, g);
  bool dmulti = !cs_single(dcs), smulti = !cs_single(scs);
  if (dmulti && scs == wkb) return copy_units(dst, dstlen, src, srclen, g);
  if (dmulti && dcs != wkb) {
    if (cs_id(dcs) == ID_UCS) return utf16_out(dst, dstlen, src, srccs, srclen, g);
    if (cs_id(scs) == ID_UCS) return utf16_in(dst, dstcs, dstlen, src, srclen, g);
    return general(dst, dcs, dstlen, src, scs, srclen, g);
  }
  if (dcs == wkb) {
    if (!smulti) return to_wkb(dst, dstlen, src, scs, srclen, g);
    return copy_units(dst, dstlen, src, srclen, g);
  }
  // single-byte destination
  if (!smulti) {
    size_t n = dstlen < srclen ? dstlen : srclen;
    lxhmcnv(dst, src, n, dstcs, srccs, g);
    if (dstlen < srclen) lxn::status(g) = LXG_ST_SMALL;
    set_counts(g, n, n);
    return n;
  }
  if (scs == wkb) return from_wkb(dst, dcs, dstlen, src, wkb, srclen, g);
  if (cs_id(scs) == ID_UCS) return utf16_in(dst, dstcs, dstlen, src, srclen, g);
  return general(dst, dcs, dstlen, src, scs, srclen, g);
}

extern "C" uint32_t lxgratio(const lxcsobj *dstcs, const lxcsobj *srccs, lxglo *g) {
  const uint8_t *dcs = obj(dstcs), *scs = obj(srccs);
  lxn::status(g) = 0;
  if (!dcs || !scs) {
    lxn::status(g) = LXG_ST_NOCS;
    return 0;
  }
  if (cs_id(dcs) == cs_id(scs) || cs_max(dcs) == 1) return 1;
  uint32_t d = static_cast<uint32_t>(lxhnsize(srccs));
  if (d == 0 || (cs_flags(scs) & CS_STATEFUL)) d = 1;
  uint32_t r;
  if (cs_flags(dcs) & CS_STATEFUL) {
    r = (cs_statemax(dcs) + d - 1) / d;
  } else if (cs_id(dcs) == ID_AL32UTF8) {
    return cs_id(scs) == ID_AL16UTF16 ? 2u : 3u;
  } else {
    r = (cs_max(dcs) + d - 1) / d;
  }
  return (cs_flags(dcs) & CS_SHIFT) ? r + 1 : r;
}
