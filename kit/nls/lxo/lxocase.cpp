// The case conversion engine: lower case, upper case, initial capitals,
// base letters and case folding of the text at a source cursor, written at
// a destination cursor in the source handle's character set, for every kind
// of character set (single-byte, wide-unit, shift-sensitive, the other
// multibyte sets). Case folding goes to the CASE_FOLDING object, base
// letters of a handle without a base-letter table to BINARY_AI.
//
// When the handle's linguistic sort carries special casing entries for the
// conversion asked, the linguistic loops of lxocasel.cpp replace the basic
// ones here; every loop ends in the one finishing step below.
//
// Invariants: nothing is written at or past dst + dstlen; a character whose
// converted form does not fit is neither written nor consumed (status 6); a
// result cut inside a character's outputs is status 6 too; no state is kept
// between calls.
#include <assert.h>
#include <string.h>

#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxl.h"
#include "lxlget.h"
#include "lxlname.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxocaseint.h"
#include "lxp.h"

namespace lxocase {

constexpr size_t kSortBasePages = 122;  // sort object: pages of its base-letter table
constexpr uint32_t kStatusMissing = 26;

namespace {

void clear_results(lxglo *g) {
  g->nbytes = g->nbytes2 = g->ncount = g->ncount2 = 0;
}

}  // namespace

// Initial capitals: letters here are the cased characters.
Mode initcap_step(Conv &c, uint16_t cls) {
  if (cls & (kClassUpper | kClassLower)) {
    Mode m = c.word_start ? Mode::Upper : Mode::Lower;
    c.word_start = false;
    return m;
  }
  c.word_start = !(cls & kClassDigit);
  return Mode::None;
}

// The upper-case or lower-case form of a multibyte character of at most 4
// bytes into out (4 bytes of room), through the cache; its length.
size_t mapped(Conv &c, bool upper, const uint8_t *p, size_t l, uint8_t *out) {
  if (l > 4) return upper ? lxcsmup(c.cs, out, p, l) : lxcsmlo(c.cs, out, p, l);
  FormCache &fc = c.cache;
  if (!fc.ready) {
    memset(fc.tag, 0, sizeof fc.tag);
    fc.ready = true;
  }
  uint32_t v = 0;
  for (size_t i = 0; i < l; ++i) v = v << 8 | p[i];
  const uint8_t tag = uint8_t(l | (upper ? 8 : 0));
  const unsigned slot = (v ^ v >> 6 ^ v >> 12) % FormCache::kSlots;
  if (fc.tag[slot] == tag && fc.key[slot] == v) {
    memcpy(out, fc.form[slot], fc.n[slot]);
    return fc.n[slot];
  }
  const size_t n = upper ? lxcsmup(c.cs, out, p, l) : lxcsmlo(c.cs, out, p, l);
  assert(n <= 4);
  fc.tag[slot] = tag;
  fc.key[slot] = v;
  fc.n[slot] = uint8_t(n);
  memcpy(fc.form[slot], out, n);
  return n;
}

// The case form of one character of a multibyte set (one-byte characters
// through the single-byte tables) into out; its length.
size_t case_form(Conv &c, Mode m, const uint8_t *p, size_t l, uint8_t *out) {
  if (m == Mode::InitCap) m = initcap_step(c, l == 1 ? c.cs->bclass[p[0]] : lxcsgmc(c.cs, p));
  if (m == Mode::None) {
    memcpy(out, p, l);
    return l;
  }
  if (l == 1) {
    out[0] = m == Mode::Upper ? c.cs->upper[p[0]] : c.cs->lower[p[0]];
    return 1;
  }
  return mapped(c, m == Mode::Upper, p, l, out);
}

namespace {

// The conversion of a multibyte set by the bits in the order upper, initial
// capitals, lower; without them base letters under a sort, else lower case.
Mode multibyte_mode(uint32_t flags, const uint8_t *sort) {
  if (flags & kUpper) return Mode::Upper;
  if (flags & kInitCap) return Mode::InitCap;
  if (flags & kLower) return Mode::Lower;
  return sort ? Mode::Base : Mode::Lower;
}

// The base-letter form of one character of a multibyte set into out: its
// length, 0 when the character has no base letter (the conversion ends).
size_t base_form(Conv &c, const uint8_t *p, size_t l, uint8_t *out) {
  const uint32_t v = l == 1 ? c.cs->sbu[p[0]] : lxcsdecoder(c.cs)(c.cs, p, uint16_t(l));
  if (v > 0xFFFF) {
    memcpy(out, p, l);
    return l;
  }
  const uint16_t b = base_letter(c.sort, uint16_t(v));
  if (b == 0) return 0;
  return lxcsencoder(c.cs)(c.cs, out, b, kReplaceMulti, c.glo);
}

// ---- single-byte sets ------------------------------------------------------

size_t single_byte(Conv &c) {
  const uint8_t *obj = reinterpret_cast<const uint8_t *>(c.cs);
  const uint8_t *upper = obj + c.h->csoff[LXH_OFF_UPPER];
  const uint8_t *lower = obj + c.h->csoff[LXH_OFF_LOWER];
  const uint8_t *cls = obj + c.h->csoff[LXH_OFF_CLASS];
  const size_t n = c.srclen < c.dstlen ? c.srclen : c.dstlen;
  const bool exact = c.exact();
  Mode m = (c.flags & kUpper)     ? Mode::Upper
           : (c.flags & kLower)   ? Mode::Lower
           : (c.flags & kBase)    ? Mode::Base
           : (c.flags & kInitCap) ? Mode::InitCap
                                  : Mode::None;
  if (m == Mode::None) {
    clear_results(c.glo);
    return 0;
  }
  size_t i = 0;
  bool ended = false;
  while (i < n) {
    const uint8_t b = c.s[i];
    uint8_t out = b;
    switch (m) {
      case Mode::Upper: out = upper[b]; break;
      case Mode::Lower: out = lower[b]; break;
      case Mode::Base: {
        if (b == 0 && !exact) break;
        const uint16_t v = base_letter(c.sort, c.cs->sbu[b]);
        if (v == 0) goto done;  // no base letter: the conversion ends before it
        out = lxcsu2sb(c.cs, v, c.glo);
        break;
      }
      case Mode::InitCap: {
        uint16_t k = nlsobj::rd16(cls + 2u * b);
        if (k & kClassAlpha) {
          out = c.word_start ? upper[b] : lower[b];
          c.word_start = false;
        } else {
          c.word_start = !(k & kClassDigit);
        }
        break;
      }
      case Mode::None: break;
    }
    c.d[i++] = out;
    if (b == 0 && !exact) {
      ended = true;  // the text ended at its NUL
      break;
    }
  }
done:
  if (i == n && !ended && c.dstlen < c.srclen) c.glo->status = kStatusFull;
  c.glo->nbytes = c.glo->nbytes2 = i;
  c.glo->ncount = c.glo->ncount2 = i & 0xFFFF;
  return i;
}

// ---- wide-unit sets ----------------------------------------------------------

void wide_units(Conv &c) {
  const bool exact = c.exact();
  const Mode mode = (c.flags & kUpper)     ? Mode::Upper
                    : (c.flags & kInitCap) ? Mode::InitCap
                    : (c.flags & kLower)   ? Mode::Lower
                    : c.sort               ? Mode::Base
                                           : Mode::Lower;
  // U+0000..U+00FF through the 16-bit tables of the set
  const uint16_t *const upper16 = c.cs->sbu, *const lower16 = c.cs->sb799;
  while (c.src_left() >= 2 && c.dst_left() >= 2 && (exact || be16(c.s + c.si) != 0)) {
    const uint8_t *p = c.s + c.si;
    uint8_t *d = c.d + c.di;
    if (p[0] == 0 && (mode == Mode::Upper || mode == Mode::Lower)) {
      // a run of U+0001..U+00FF (U+0000 too when length-bounded)
      const uint16_t *t = mode == Mode::Upper ? upper16 : lower16;
      const size_t room = (c.src_left() < c.dst_left() ? c.src_left() : c.dst_left()) & ~size_t{1};
      size_t k = 0;
      while (k < room && p[k] == 0 && (exact || p[k + 1] != 0)) {
        const uint16_t u = t[p[k + 1]];
        d[k] = uint8_t(u >> 8);
        d[k + 1] = uint8_t(u);
        k += 2;
      }
      c.di += k;
      c.si += k;
      continue;
    }
    size_t l = 2;
    bool lone = false;
    if (is_high(p[0])) {
      lone = !(c.src_left() >= 4 && is_low(p[2]));
    } else if (is_low(p[0])) {
      lone = true;
    }
    if (!lone && (c.cs->bclass[p[0]] & 3u) >= 2) l = 4;  // units come in 2 or 4 bytes
    if (!lone && (l > c.src_left() || l > c.dst_left())) {
      // the character does not fit: its first unit alone, and the end
      memcpy(d, p, 2);
      c.di += 2;
      c.si += 2;
      break;
    }
    uint8_t out[kWorkBytes];
    size_t n = l;
    Mode m = lone ? Mode::None : mode;
    if (m == Mode::InitCap) m = initcap_step(c, lxcsgmc(c.cs, p));
    switch (m) {
      case Mode::Upper:
      case Mode::Lower: n = mapped(c, m == Mode::Upper, p, l, out); break;
      case Mode::Base:
        memcpy(out, p, l);
        if (l == 2) {
          const uint16_t b = base_letter(c.sort, be16(p));
          out[0] = uint8_t(b >> 8);
          out[1] = uint8_t(b);
        }
        break;
      default: memcpy(out, p, l); break;
    }
    if (n > c.dst_left()) {
      c.full = true;
      break;
    }
    memcpy(d, out, n);
    c.di += n;
    c.si += l;
  }
  c.nc = c.si / 2;
  c.nc2 = c.di / 2;
}

// ---- shift-sensitive sets ----------------------------------------------------

void shift_sensitive(Conv &c, lxmcur *dst, lxmcur *src) {
  const size_t mb = c.h->mb_len ? c.h->mb_len : 1;
  const bool nul_ends = (c.flags & LXO_NULTERM) != 0;
  int in = src->shifted ? 1 : 0, out_state = dst->shifted ? 1 : 0;
  const Mode mode = multibyte_mode(c.flags, c.sort);
  while (c.si < c.srclen && c.di < c.dstlen) {
    const size_t l = in ? mb : 1;
    if (l > c.src_left()) break;
    const uint8_t *p = c.s + c.si;
    if (nul_ends && p[0] == 0) break;
    uint8_t out[kWorkBytes];
    const size_t n = mode == Mode::Base ? base_form(c, p, l, out) : case_form(c, mode, p, l, out);
    if (n == 0) break;  // no base letter
    // the output goes in the state its length needs, after the shift byte
    const int want = n > 1;
    const size_t shift = want != out_state ? 1 : 0;
    if (n + shift > c.dst_left()) {
      c.full = true;
      break;
    }
    if (shift) c.d[c.di++] = lxmi::shift_byte(c.h, want);
    out_state = want;
    memcpy(c.d + c.di, out, n);
    c.di += n;
    c.si += l;
    ++c.nc;
    ++c.nc2;
    while (c.si < c.srclen && (c.s[c.si] == c.h->shift_in || c.s[c.si] == c.h->shift_out)) {
      in = c.s[c.si] == c.h->shift_out;
      ++c.si;
    }
  }
  src->shifted = in;
  dst->shifted = out_state;
}

// ---- other multibyte sets ----------------------------------------------------

void multibyte(Conv &c) {
  const bool exact = c.exact();
  const Mode mode = multibyte_mode(c.flags, c.sort);
  while (c.si < c.srclen && c.di < c.dstlen && (exact || c.s[c.si] != 0)) {
    const uint8_t *p = c.s + c.si;
    const size_t l = lxmi::lead_len(c.cs, p[0]);
    if (l > c.src_left()) break;
    uint8_t out[kWorkBytes];
    const size_t n = mode == Mode::Base ? base_form(c, p, l, out) : case_form(c, mode, p, l, out);
    if (n == 0) break;  // no base letter
    if (n > c.dst_left()) {
      c.full = true;
      break;
    }
    memcpy(c.d + c.di, out, n);
    c.di += n;
    c.si += l;
    ++c.nc;
    ++c.nc2;
  }
}

// The finishing step of every loop but the single-byte one.
size_t finish(Conv &c, lxmcur *dst, lxmcur *src, bool wide, bool shift) {
  const size_t unit = wide ? 2 : 1;
  const bool at_nul = c.src_left() >= unit && (wide ? be16(c.s + c.si) == 0 : c.s[c.si] == 0);
  if ((c.flags & LXO_NULTERM) && at_nul) {
    const size_t close = shift && dst->shifted ? 1 : 0;
    if (c.dst_left() >= unit + close) {
      if (close) {
        c.d[c.di++] = c.h->shift_in;
        dst->shifted = 0;
      }
      memset(c.d + c.di, 0, unit);
      c.di += unit;
      c.si += unit;
      ++c.nc;
      ++c.nc2;
    }
  } else if (c.src_left() >= unit && (c.full || c.dst_left() < unit) &&
             (shift || c.exact() || !at_nul)) {
    c.glo->status = kStatusFull;
  }
  if (c.cut) c.glo->status = kStatusFull;  // a dropped output is never a success
  assert(c.di <= c.dstlen && c.si <= c.srclen);
  c.glo->nbytes = c.si;
  c.glo->nbytes2 = c.di;
  c.glo->ncount = c.nc & 0xFFFF;
  c.glo->ncount2 = c.nc2 & 0xFFFF;
  dst->mark2 = uint16_t(c.nc2);
  dst->pos += c.di;
  src->pos += c.si;
  return c.di;
}

// The named object of that id (type 4), loaded on first use; NULL when the
// boot block does not list it or it cannot be loaded.
const lxnlsobj *named_object(uint16_t id, lxglo *glo) {
  int notfound = 0;
  uint16_t idx = lxpe2i(id, lxn::table(glo), LXP_TYPE_NAMED, &notfound, 0);
  if (notfound || idx == 0) return nullptr;
  return lxdgetobj(idx, LXP_TYPE_NAMED, glo);
}

}  // namespace
}  // namespace lxocase

using namespace lxocase;

extern "C" size_t lxoCnvCase(lxmcur *dst, size_t dstlen, lxmcur *src, size_t srclen,
                             uint32_t flags, lxglo *glo) {
  glo->status = 0;
  if (dstlen == 0) {
    clear_results(glo);
    if (srclen != 0) glo->status = kStatusFull;
    return 0;
  }
  if (srclen == 0) {
    clear_results(glo);
    return 0;
  }
  const lxlangid *h = src->langid;
  const uint8_t *sort = (flags & kBinary) || h->sort == 0 ? nullptr : lxn::loaded(glo, h->sort);
  const bool sort_bases = sort && nlsobj::rd16(sort + kSortBasePages) != 0;

  if ((flags & kBase) && !sort_bases) {
    const lxnlsobj *bases = named_object(LXP_BASELETTER_ID, glo);
    if (!bases) {
      glo->status = kStatusMissing;
      return 0;
    }
    return lxlibbletter(bases, dst, dstlen, src, srclen, flags, glo);
  }
  if (flags & kFold) {
    const lxnlsobj *fold = named_object(LXP_FOLD_ID, glo);
    if (!fold) {
      glo->status = kStatusMissing;
      return 0;
    }
    return lxpCaseFold(fold, dst, dstlen, src, srclen, flags, glo);
  }

  Conv c{h, lxmi::charset(h, glo), sort, src->pos, dst->pos, srclen, dstlen, flags,
         glo};
  if (c.cs == nullptr) {
    clear_results(glo);
    return 0;
  }
  const Mode ling = linguistic_mode(c, flags);
  if (h->flags & LXH_F_SINGLE) {
    if (ling != Mode::None) {
      linguistic(c, ling);
      return finish(c, dst, src, false, false);
    }
    size_t r = single_byte(c);
    dst->pos += r;
    src->pos += r;
    return r;
  }
  if (c.cs->flags & LXCSF_UNIT16) {
    if (dstlen < 2 || srclen < 2) {
      clear_results(glo);
      if (srclen >= 2) glo->status = kStatusFull;
      return 0;
    }
    if (ling != Mode::None) linguistic(c, ling);
    else wide_units(c);
    return finish(c, dst, src, true, false);
  }
  if (c.cs->flags & LXCSF_SHIFT) {
    if (ling != Mode::None) linguistic_shift(c, dst, src);
    else shift_sensitive(c, dst, src);
    return finish(c, dst, src, false, true);
  }
  if (ling != Mode::None) linguistic(c, ling);
  else multibyte(c);
  return finish(c, dst, src, false, false);
}
