// Dedicated loops of the whole-string conversion between the common sets:
// AL32UTF8, AL16UTF16 in either byte order, and single-byte sets (run by
// lxgcnv's general loop), and between GB18030 and AL32UTF8 (run by the
// engine for lxgbcnv).
//
// Why they exist: the general loop of lxgcnv pays per character for what a
// pair of sets never changes: measuring through the charset's flags, a
// decode and an encode through two function pointers, a scratch buffer and
// its copy, and loop-invariant tests. A road converts the characters it
// knows inline, straight into the output, and stops in front of anything
// else: a character it does not handle (a surrogate, a replacement
// character, a value outside its tables), one cut off at the end of the
// source, or one the remaining room does not hold. The general step then
// takes that character exactly as it always did.
//
// What a road must equal: for every character it takes, the general step's
// output bytes, source length, count (1) and replacement mark, so that
// lxgcnv's results stay byte for byte those of the general loop. A
// randomized test holds each road against the general loop (forced with
// lxg_general_only in test builds).
#include <string.h>

#include <algorithm>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxg.h"
#include "lxgint.h"
#include "lxl.h"
#include "lxlget.h"

using namespace nlsobj;

#ifdef QEN_TEST_HOOKS
int lxg_general_only = 0;
#endif

namespace lxg {

namespace {

// Every loop ends here: the source and output positions it reached go back
// to the caller, with the characters it converted.
inline size_t settle(const uint8_t *s, const uint8_t *src, size_t &i, const uint8_t *d,
                     const uint8_t *dst, size_t &o, size_t chars) {
  i = static_cast<size_t>(s - src);
  o = static_cast<size_t>(d - dst);
  return chars;
}

constexpr size_t kTablesMin = 64;    // sources shorter than this skip the 256-entry tables
constexpr size_t kUtf8Max = 3;       // bytes of a character below U+10000 in AL32UTF8

uint16_t unit_at(const uint8_t *p, bool le) {
  return le ? static_cast<uint16_t>(p[1] << 8 | p[0]) : static_cast<uint16_t>(p[0] << 8 | p[1]);
}
void put_unit(uint8_t *d, uint32_t u, bool le) {
  d[le ? 1 : 0] = static_cast<uint8_t>(u >> 8);
  d[le ? 0 : 1] = static_cast<uint8_t>(u);
}

// Four UTF-16 units below U+0080 at p, in either byte order.
bool four_ascii_units(const uint8_t *p, bool le) {
  static const uint8_t kMask[2][8] = {{0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80},
                                      {0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF, 0x80, 0xFF}};
  uint64_t x, m;
  memcpy(&x, p, 8);
  memcpy(&m, kMask[le ? 1 : 0], 8);
  return (x & m) == 0;
}

// AL16UTF16 (either order) into AL32UTF8. ASCII runs are narrowed four
// units at a time while the room certainly holds them.
size_t u16_to_utf8(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                   size_t dstlen, size_t &o) {
  const bool le = r.le;
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  const unsigned lo = le ? 0 : 1;  // the byte of a unit that holds an ASCII character
  while (se - s >= 2) {
    uint32_t u = unit_at(s, le);
    if (u < 0x80) {
      while (se - s >= 8 && de - d >= 4 && four_ascii_units(s, le)) {
        d[0] = s[lo];
        d[1] = s[2 + lo];
        d[2] = s[4 + lo];
        d[3] = s[6 + lo];
        s += 8;
        d += 4;
      }
      if (se - s < 2 || d == de) break;
      u = unit_at(s, le);  // s may have moved
    }
    unsigned n = utf8_len(u);
    if (n == 0 || static_cast<size_t>(de - d) < n) break;
    put_utf8(d, u, n);
    d += n;
    s += 2;
  }
  size_t chars = static_cast<size_t>(s - (src + i)) / 2;
  return settle(s, src, i, d, dst, o, chars);
}

}  // namespace

namespace {

// AL32UTF8 into AL16UTF16 (either order): one- to three-byte characters.
size_t utf8_to_u16(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                   size_t dstlen, size_t &o) {
  const bool le = r.le;
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  size_t chars = 0;
  while (s < se && de - d >= 2) {
    if (*s < 0x80) {
      // an ASCII run, widened while room remains
      size_t n = std::min(static_cast<size_t>(se - s), static_cast<size_t>(de - d) / 2);
      size_t k = 0;
      while (k < n && s[k] < 0x80) {
        d[2 * k + (le ? 0 : 1)] = s[k];
        d[2 * k + (le ? 1 : 0)] = 0;
        ++k;
      }
      s += k;
      d += 2 * k;
      chars += k;
      continue;
    }
    unsigned len;
    uint32_t v = utf8_value(s, se, len);
    if (v == kRepl) break;
    put_unit(d, v, le);
    d += 2;
    s += len;
    ++chars;
  }
  return settle(s, src, i, d, dst, o, chars);
}

// Single bytes into AL32UTF8 through the source's table of UTF-8 forms.
size_t sb_to_utf8(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                  size_t dstlen, size_t &o) {
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  while (s < se) {
    // characters that certainly fit, three bytes of room each
    const uint8_t *stop = s + std::min(static_cast<size_t>(se - s), static_cast<size_t>(de - d) / kUtf8Max);
    if (stop == s) break;
    while (s < stop) {
      const uint8_t *t = r.u8[*s];
      if (t[3] == 0) goto done;
      memcpy(d, t, kUtf8Max);
      d += t[3];
      ++s;
    }
  }
  // the last characters, with the room checked for each
  while (s < se) {
    const uint8_t *t = r.u8[*s];
    if (t[3] == 0 || static_cast<size_t>(de - d) < t[3]) break;
    memcpy(d, t, t[3]);
    d += t[3];
    ++s;
  }
done:
  size_t chars = static_cast<size_t>(s - (src + i));
  return settle(s, src, i, d, dst, o, chars);
}

// Single bytes into AL16UTF16 (either order) through the source's units.
size_t sb_to_u16(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                 size_t dstlen, size_t &o) {
  const bool le = r.le;
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  size_t n = std::min(static_cast<size_t>(se - s), static_cast<size_t>(de - d) / 2);
  size_t k = 0;
  for (; k < n; ++k) {
    uint16_t u = r.u16[s[k]];
    if (u == kRepl) break;
    put_unit(d + 2 * k, u, le);
  }
  i += k;
  o += 2 * k;
  return k;
}

// Characters below U+0100 into a single-byte set through its row 0.
template <class Value>
size_t to_sb(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
             size_t dstlen, size_t &o, lxglo *g, Value value) {
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  uint8_t lossy = 0;
  while (s < se && d < de) {
    unsigned len;
    uint32_t v = value(s, se, len);
    if (v > 0xFF) break;
    *d++ = r.sb[v];
    lossy |= r.lossy[v];
    s += len;
  }
  if (lossy) lxn::mark(g) = LX_REPMARK;
  size_t chars = static_cast<size_t>(d - (dst + o));
  return settle(s, src, i, d, dst, o, chars);
}

}  // namespace

// An AL32UTF8 object whose byte classes and single-byte table are the
// usual ones: ASCII as itself, C2..DF leading two bytes, E0..EF three. The
// roads decode such a source by its bytes alone.
bool utf8_usual(const uint8_t *cs) {
  for (unsigned b = 0; b < 0xF0; ++b) {
    uint8_t c = static_cast<uint8_t>(b);
    unsigned want = b < 0x80 ? 1 : b < 0xC2 ? 0 : b < 0xE0 ? 2 : 3;
    if (want && cs_len(cs, c) != want) return false;
    if (b < 0x80 && cs_sbu(cs, c) != b) return false;
  }
  return true;
}

namespace {

// AL32UTF8 into a single-byte set: ASCII runs and the two-byte characters
// up to U+00FF through row 0.
size_t utf8_to_sb(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                  size_t dstlen, size_t &o, lxglo *g) {
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  uint8_t lossy = 0;
  while (s < se && d < de) {
    uint8_t b = *s;
    if (b < 0x80) {
      size_t n = std::min(static_cast<size_t>(se - s), static_cast<size_t>(de - d)), k = 0;
      for (; k < n && s[k] < 0x80; ++k) {
        d[k] = r.sb[s[k]];
        lossy |= r.lossy[s[k]];
      }
      s += k;
      d += k;
      continue;
    }
    if ((b != 0xC2 && b != 0xC3) || se - s < 2 || !utf8_cont(s[1])) break;
    uint32_t v = ((b & 0x1Fu) << 6) | (s[1] & 0x3Fu);
    *d++ = r.sb[v];
    lossy |= r.lossy[v];
    s += 2;
  }
  if (lossy) lxn::mark(g) = LX_REPMARK;
  size_t chars = static_cast<size_t>(d - (dst + o));
  return settle(s, src, i, d, dst, o, chars);
}

// Copies the run of ASCII bytes at s, as far as the output has room, and
// advances both; returns the characters copied (at least one when *s is
// ASCII and d < de).
size_t copy_ascii_run(const uint8_t *&s, const uint8_t *se, uint8_t *&d, const uint8_t *de) {
  const size_t n = std::min(static_cast<size_t>(se - s), static_cast<size_t>(de - d));
  size_t k = 0;
  while (k < n && s[k] < 0x80) ++k;
  memcpy(d, s, k);
  s += k;
  d += k;
  return k;
}

// The length of the GB18030 character at s as lxcgbgwt gives it: by the
// byte class, and four when a digit follows a lead byte.
inline unsigned gb_len(const uint8_t *cs, const uint8_t *s, size_t avail) {
  constexpr uint8_t kDigit0 = 0x30, kDigit9 = 0x39;
  const unsigned len = cs_len(cs, s[0]);
  return len > 1 && avail >= 2 && s[1] >= kDigit0 && s[1] <= kDigit9 ? 4u : len;
}

// GB18030 into AL32UTF8: ASCII runs copied, other characters measured as
// lxcgbgwt does and decoded by the GB18030 decoder, written inline.
size_t gb_to_utf8(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                  size_t dstlen, size_t &o) {
  const lxcsobj *cs = lxn::csobj(r.scs);
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  size_t chars = 0;
  while (s < se && d < de) {
    if (*s < 0x80 && r.ascii_same) {
      chars += copy_ascii_run(s, se, d, de);
      continue;
    }
    const unsigned len = gb_len(r.scs, s, static_cast<size_t>(se - s));
    if (len > static_cast<size_t>(se - s)) break;  // cut off: the general step's
    uint32_t v = len == 1 ? cs_sbu(r.scs, s[0]) : lxcsm2uGB18030(cs, s, static_cast<uint16_t>(len));
    unsigned n;
    if (v > 0xFFFF) {
      if ((v & 0xFC00FC00u) != 0xD800DC00u || de - d < 4) break;
      uint32_t cp = 0x10000u + (((v >> 16) & 0x3FF) << 10) + (v & 0x3FF);
      d[0] = static_cast<uint8_t>(0xF0 | (cp >> 18));
      d[1] = static_cast<uint8_t>(0x80 | ((cp >> 12) & 0x3F));
      d[2] = static_cast<uint8_t>(0x80 | ((cp >> 6) & 0x3F));
      d[3] = static_cast<uint8_t>(0x80 | (cp & 0x3F));
      n = 4;
    } else {
      n = utf8_len(v);
      if (n == 0 || static_cast<size_t>(de - d) < n) break;
      put_utf8(d, v, n);
    }
    d += n;
    s += len;
    ++chars;
  }
  return settle(s, src, i, d, dst, o, chars);
}

// AL32UTF8 into GB18030: ASCII runs copied, other characters decoded inline
// and encoded by the GB18030 encoder (through the road's row ranks)
// straight into the output when it fits.
size_t utf8_to_gb(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                  size_t dstlen, size_t &o, lxglo *g) {
  int16_t &mark = lxn::mark(g);
  const uint8_t *s = src + i, *const se = src + srclen;
  uint8_t *d = dst + o, *const de = dst + dstlen;
  size_t chars = 0;
  uint8_t tmp[8];
  while (s < se && d < de) {
    if (*s < 0x80 && r.ascii_same) {
      chars += copy_ascii_run(s, se, d, de);
      continue;
    }
    unsigned len;
    uint32_t v = utf8_value(s, se, len);
    if (v == kRepl) break;
    const int16_t keep = mark;
    bool direct = de - d >= 4;  // room for any character
    unsigned n = lxcsu2mr(&r.ranks, direct ? d : tmp, v, len, g);
    if (!direct) {
      if (static_cast<size_t>(de - d) < n) {
        mark = keep;  // not written
        break;
      }
      memcpy(d, tmp, n);
    }
    d += n;
    s += len;
    ++chars;
  }
  return settle(s, src, i, d, dst, o, chars);
}

}  // namespace

void road_setup_gb(Road &r, const uint8_t *scs, const uint8_t *dcs, lxglo *g) {
  r.kind = Road::None;
#ifdef QEN_TEST_HOOKS
  if (lxg_general_only) return;
#endif
  const uint16_t sid = cs_id(scs), did = cs_id(dcs);
  if ((cs_flags(scs) | cs_flags(dcs)) & (CS_SHIFT | CS_STATEFUL)) return;
  r.scs = scs;
  r.dcs = dcs;
  if (sid == ID_GB18030 && did == ID_AL32UTF8) {
    r.kind = Road::GbToUtf8;
    r.ascii_same = true;
    for (unsigned b = 0; b < 0x80 && r.ascii_same; ++b)
      r.ascii_same = cs_len(scs, static_cast<uint8_t>(b)) == 1 && cs_sbu(scs, static_cast<uint8_t>(b)) == b;
  } else if (did == ID_GB18030 && sid == ID_AL32UTF8 && !(cs_flags(scs) & (CS_WIDE | CS_CP32)) &&
             utf8_usual(scs)) {
    r.kind = Road::Utf8ToGb;
    lxcsranksinit(&r.ranks, lxn::csobj(dcs));
    // ASCII is copied when the encoder writes each as itself, unmarked
    const int16_t keep = lxn::mark(g);
    lxn::mark(g) = 0;
    r.ascii_same = true;
    uint8_t out[8];
    for (unsigned b = 0; b < 0x80 && r.ascii_same; ++b)
      r.ascii_same = lxcsu2mGB18030(lxn::csobj(dcs), out, b, 1, g) == 1 && out[0] == b;
    r.ascii_same = r.ascii_same && lxn::mark(g) == 0;
    lxn::mark(g) = keep;
  }
}

void road_setup(Road &r, const uint8_t *scs, const uint8_t *dcs, size_t srclen, bool surrogate) {
  r.kind = Road::None;
#ifdef QEN_TEST_HOOKS
  if (lxg_general_only) return;
#endif
  const uint16_t sid = cs_id(scs), did = cs_id(dcs);
  const uint32_t sf = cs_flags(scs), df = cs_flags(dcs);
  if ((sf | df) & (CS_SHIFT | CS_STATEFUL)) return;
  // The UTF-16 sets as the general loop measures them: AL16UTF16 by its
  // flag 0x100, AL16UTF16LE by its id alone.
  const bool s16 = (sid == ID_AL16UTF16 && (sf & CS_WIDE)) || (sid == ID_AL16UTF16LE && !(sf & CS_WIDE));
  const bool d16 = (did == ID_AL16UTF16 && (df & CS_WIDE)) || (did == ID_AL16UTF16LE && !(df & CS_WIDE));
  const bool s8 = sid == ID_AL32UTF8 && !(sf & (CS_WIDE | CS_CP32)) && utf8_usual(scs);
  const bool d8 = did == ID_AL32UTF8;
  const bool ssb = cs_single(scs) && !(sf & (CS_WIDE | CS_CP32));
  const bool dsb = cs_single(dcs);
  r.scs = scs;
  if (surrogate && s16 && d8) {
    r.kind = Road::U16ToUtf8;
    r.le = sid == ID_AL16UTF16LE;
  } else if (surrogate && s8 && d16) {
    r.kind = Road::Utf8ToU16;
    r.le = did == ID_AL16UTF16LE;
  } else if (surrogate || srclen < kTablesMin) {
    return;
  } else if (ssb && d8) {
    r.kind = Road::SbToUtf8;
    for (unsigned b = 0; b < 256; ++b) {
      uint8_t *t = r.u8[b];
      uint32_t u = cs_sbu(scs, static_cast<uint8_t>(b));
      unsigned n = cs_len(scs, static_cast<uint8_t>(b)) == 1 ? utf8_len(u) : 0;
      memset(t, 0, 4);
      if (n) put_utf8(t, u, n);
      t[3] = static_cast<uint8_t>(n);
    }
  } else if (ssb && d16) {
    r.kind = Road::SbToU16;
    r.le = did == ID_AL16UTF16LE;
    for (unsigned b = 0; b < 256; ++b)
      r.u16[b] = cs_len(scs, static_cast<uint8_t>(b)) == 1 ? cs_sbu(scs, static_cast<uint8_t>(b))
                                                          : static_cast<uint16_t>(kRepl);
  } else if ((s8 || s16) && dsb) {
    r.kind = s8 ? Road::Utf8ToSb : Road::U16ToSb;
    r.le = sid == ID_AL16UTF16LE;
    lxcsu2sbrow(lxn::csobj(dcs), 0, r.sb, r.lossy);
  }
}

size_t road_run(const Road &r, const uint8_t *src, size_t srclen, size_t &i, uint8_t *dst,
                size_t dstlen, size_t &o, lxglo *g) {
  switch (r.kind) {
    case Road::U16ToUtf8: return u16_to_utf8(r, src, srclen, i, dst, dstlen, o);
    case Road::Utf8ToU16: return utf8_to_u16(r, src, srclen, i, dst, dstlen, o);
    case Road::SbToUtf8: return sb_to_utf8(r, src, srclen, i, dst, dstlen, o);
    case Road::SbToU16: return sb_to_u16(r, src, srclen, i, dst, dstlen, o);
    case Road::Utf8ToSb: return utf8_to_sb(r, src, srclen, i, dst, dstlen, o, g);
    case Road::U16ToSb: {
      const uint8_t *scs = r.scs;
      const bool le = r.le;
      return to_sb(r, src, srclen, i, dst, dstlen, o, g,
                   [scs, le](const uint8_t *s, const uint8_t *se, unsigned &len) -> uint32_t {
                     len = cs_len(scs, s[0]);
                     if (len != 2 || se - s < 2) return kRepl;
                     return unit_at(s, le);
                   });
    }
    case Road::GbToUtf8: return gb_to_utf8(r, src, srclen, i, dst, dstlen, o);
    case Road::Utf8ToGb: return utf8_to_gb(r, src, srclen, i, dst, dstlen, o, g);
    case Road::None: break;
  }
  return 0;
}

}  // namespace lxg
