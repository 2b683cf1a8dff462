// The walk over a fold mapping object (CASE_FOLDING, and BINARY_AI with its
// longer first level) and case folding of text through CASE_FOLDING in the
// four kinds of character set: single-byte, AL16UTF16, shift-sensitive and
// the others.
//
// Invariants: no byte is written at or past dst + dstlen; every read of the
// mapping object is checked against its size; a character whose mapped form
// does not fit is neither written nor consumed, and a character of which
// only part of the mapped form fitted is consumed and ends the conversion
// with status 6.
//
// AL16UTF16 text goes through a page cache of the conversion (each page of
// the fold table checked once, on first use) and a fast path that folds
// units two at a time while each stays or becomes one unit; expansions, the
// high surrogates of supplementary pairs, the terminating unit and pages not
// yet seen take the careful path of one unit.
#include <assert.h>
#include <string.h>

#include "lxfobj.h"
#include "lxl.h"
#include "lxm.h"
#include "lxmint.h"
#include "lxp.h"

namespace {

using nlsobj::rd32;

// object words: fold table, expansions, supplementary
constexpr size_t kTableOff = LX_ELEM(lxmapobj, dir, LXMAP_W_FOLDTABLE);
constexpr size_t kExpOff = LX_ELEM(lxmapobj, dir, LXMAP_W_FOLDEXP);
constexpr size_t kSuppOff = LX_ELEM(lxmapobj, dir, LXMAP_W_FOLDSUPP);
constexpr size_t kSizeOff = offsetof(lxnlsobj, size);
constexpr size_t kFirstLevel = sizeof(lxfoldarea::first);  // 256 words by high byte
constexpr size_t kPageBytes = LXFOLD_PAGE;                 // 256 words by low byte
constexpr uint32_t kKindMask = LXFOLD_KINDMASK;
constexpr uint32_t kExpansion = LXFOLD_EXPANSION;
constexpr uint32_t kSupplementary = LXFOLD_SUPPLEMENTARY;
constexpr uint16_t kLowFirst = 0xDC00, kLowLast = 0xDFFF;
constexpr uint16_t kHighFirst = 0xD800, kHighLast = 0xDBFF;
constexpr int kReplaceMulti = 2;  // encoder option: the multibyte replacement when there is one
constexpr unsigned kWorkBytes = 8;  // one encoded value (a CESU pair takes 6)
constexpr uint32_t kExactLen = 0x20000000u;  // length-bounded text
constexpr unsigned kHighBytes = 256;          // first-level words
constexpr uint32_t kSpecialKinds = ((kSupplementary - kExpansion) >> 16) + 1;  // 0xFFC2..0xFFC5
constexpr uint32_t kPending = 0xFFC30000u;     // entries of a page not yet resolved (PageCache)
constexpr bool kHostBig = __BYTE_ORDER__ == __ORDER_BIG_ENDIAN__;
alignas(64) constexpr uint8_t kNoPage[kPageBytes] = {};

// The 32-bit word at byte offset at of the object, or 0 outside it.
uint32_t word(const lxpfmap *m, size_t at) {
  if (at > m->size || m->size - at < 4) return 0;
  return rd32(m->obj + at);
}

bool is_low(uint16_t u) { return u >= kLowFirst && u <= kLowLast; }
bool is_high(uint16_t u) { return u >= kHighFirst && u <= kHighLast; }

// The second-level page of high byte hi; NULL when there is none or it
// does not lie whole inside the object.
const uint8_t *page_of(const lxpfmap *m, unsigned hi) {
  if (!m->first) return nullptr;
  const uint32_t page = rd32(m->first + 4u * hi);
  if (page == 0 || page > m->size) return nullptr;
  const size_t at = m->table + m->level2 + page;
  if (at > m->size || m->size - at < kPageBytes) return nullptr;
  return m->obj + at;
}

// The mapping of value v whose fold entry is x.
void entry_of(const lxpfmap *m, uint32_t x, uint16_t v, lxpfent *e) {
  e->kind = LXP_FOLD_KEEP;
  e->n = 0;
  e->cell = 0;
  if (x == 0) return;
  switch (x & kKindMask) {
    case kExpansion: {
      const size_t at = m->exp + 4u * (x & 0xFFFF);
      if (at + 4 > m->size || at + 4 < at) return;  // outside: no mapping
      size_t n = word(m, at) & 0xFFFF;
      if ((m->size - at - 4) / 4 < n) return;  // the cells run past the object
      if (n > LXP_FOLD_MAXOUT) n = LXP_FOLD_MAXOUT;
      for (size_t k = 0; k < n; ++k) e->u[k] = uint16_t(word(m, at + 4 + 4 * k));
      e->n = uint8_t(n);
      e->kind = LXP_FOLD_EXPAND;
      return;
    }
    case kSupplementary:
      if (!is_high(v)) return;
      e->kind = LXP_FOLD_SUPP;
      e->cell = x & 0xFFFF;
      return;
    default:
      e->kind = LXP_FOLD_ONE;
      e->n = 1;
      e->u[0] = uint16_t(x);
  }
}

uint16_t be16(const uint8_t *p) { return uint16_t(p[0] << 8 | p[1]); }
void put_be16(uint8_t *p, uint16_t u) {
  p[0] = uint8_t(u >> 8);
  p[1] = uint8_t(u);
}

// What a fold loop keeps while it walks.
struct Walk {
  const lxpfmap *map;
  const lxcsobj *cs;
  const lxlangid *h;
  const uint8_t *s;
  uint8_t *d;
  size_t srclen, dstlen;
  bool exact;         // length-bounded: NUL is an ordinary character
  lxglo *glo;
  size_t si = 0, di = 0;
  size_t nc = 0, nc2 = 0;
  bool full = false;  // stopped for want of destination room
  bool cut = false;   // part of a character's mapped form was dropped
  bool nul = false;   // stopped after a terminating NUL
  size_t src_left() const { return srclen - si; }
  size_t dst_left() const { return dstlen - di; }
};

// Encodes a UTF-16 value (a pair packed high << 16 | low) in the charset.
unsigned encode(Walk &w, uint32_t v, uint8_t *out) {
  return lxcsencoder(w.cs)(w.cs, out, v, kReplaceMulti, w.glo);
}

bool put(Walk &w, const uint8_t *b, size_t n) {
  if (n > w.dst_left()) return false;
  memcpy(w.d + w.di, b, n);
  w.di += n;
  return true;
}

bool put_value(Walk &w, uint32_t v) {
  uint8_t buf[kWorkBytes];
  unsigned n = encode(w, v, buf);
  return put(w, buf, n);
}

void single_byte(Walk &w) {
  lxpfent e;
  while (w.si < w.srclen && w.di < w.dstlen) {
    const uint8_t c = w.s[w.si];
    lxpfmget(w.map, w.cs->sbu[c], &e);
    if (e.kind == LXP_FOLD_EXPAND) {
      unsigned k = 0;
      for (; k < e.n && w.di < w.dstlen; ++k) w.d[w.di++] = lxcsu2sb(w.cs, e.u[k], w.glo);
      if (k < e.n) w.cut = true;
    } else if (e.kind == LXP_FOLD_ONE) {
      w.d[w.di++] = lxcsu2sb(w.cs, e.u[0], w.glo);
    } else {
      w.d[w.di++] = c;
    }
    ++w.si;
    if (w.cut) break;
    if (c == 0 && !w.exact) {
      w.nul = true;
      break;
    }
  }
  w.nc = w.si;
  w.nc2 = w.di;
}

bool put_unit(Walk &w, uint16_t u) {
  if (w.dst_left() < 2) return false;
  put_be16(w.d + w.di, u);
  w.di += 2;
  return true;
}

// The second-level pages of one conversion by high byte, each resolved on
// first use; a high byte without a page (or whose page does not lie whole
// inside the object) reads the zero page, in which every value stays. Until
// it is resolved a high byte reads the pending page, whose entries send
// every unit to the careful path, which resolves it.
struct PendingPage {
  alignas(64) uint32_t entry[kPageBytes / 4];
  constexpr PendingPage() : entry{} {
    for (uint32_t &x : entry) x = kPending;
  }
};
constexpr PendingPage kPendingPage;
const uint8_t *const kPending8 = reinterpret_cast<const uint8_t *>(kPendingPage.entry);

struct PageCache {
  const lxpfmap *map;
  const uint8_t *page[kHighBytes];
  explicit PageCache(const lxpfmap *m) : map(m) {
    for (const uint8_t *&p : page) p = kPending8;
  }
  // The fold entry of unit u, its page resolved.
  uint32_t entry(uint16_t u) {
    const unsigned hi = u >> 8;
    if (page[hi] == kPending8) {
      const uint8_t *p = page_of(map, hi);
      page[hi] = p ? p : kNoPage;
    }
    return rd32(page[hi] + 4u * (u & 0xFF));
  }
};

// Whether entry x may need more than writing one unit in place of one:
// expansions and supplementary starts, and the two kinds between them
// (which the careful path takes as plain values, as it does kPending).
// The kinds 0xFFC2..0xFFC5 wrap to the four lowest kinds.
bool may_be_special(uint32_t x) { return x - kExpansion < kSpecialKinds << 16; }

// A stored (big-endian) unit in host order and back.
uint16_t host16(uint16_t stored) { return kHostBig ? stored : __builtin_bswap16(stored); }

// The fold entry of a unit as stored (big-endian), without resolving its
// page: a pending page gives kPending.
uint32_t stored_entry(const PageCache &pc, uint16_t raw) {
  const size_t hi = kHostBig ? raw >> 8 : raw & 0xFF;
  const size_t lo = kHostBig ? raw & 0xFF : raw >> 8;
  return rd32(pc.page[hi] + 4 * lo);
}

// The folded form, as stored, of the stored unit raw whose entry x keeps
// it or gives one unit.
uint16_t stored_fold(uint16_t raw, uint32_t x) { return x != 0 ? host16(uint16_t(x)) : raw; }

// Folds up to n units from s to d while each one's entry keeps it or gives
// one unit (and, unless Exact, it is not 0x0000), stopping before the first
// other unit; returns the units written. Units go two at a time while both
// take the fast path, then one at a time up to the unit that stops it.
template <bool Exact>
size_t fold_units(const PageCache &pc, const uint8_t *s, uint8_t *d, size_t n) {
  size_t k = 0;
  for (; k + 2 <= n; k += 2) {
    uint16_t raw[2];
    memcpy(raw, s + 2 * k, sizeof raw);
    if (!Exact && (raw[0] == 0 || raw[1] == 0)) break;
    const uint32_t x0 = stored_entry(pc, raw[0]), x1 = stored_entry(pc, raw[1]);
    if ((x0 | x1) == 0) {  // both stay: the most common case by far
      memcpy(d + 2 * k, raw, sizeof raw);
      continue;
    }
    if (may_be_special(x0) || may_be_special(x1)) break;
    const uint16_t out[2] = {stored_fold(raw[0], x0), stored_fold(raw[1], x1)};
    memcpy(d + 2 * k, out, sizeof out);
  }
  for (; k < n; ++k) {
    uint16_t raw;
    memcpy(&raw, s + 2 * k, 2);
    const uint32_t x = stored_entry(pc, raw);
    if (may_be_special(x) || (!Exact && raw == 0)) break;
    const uint16_t out = stored_fold(raw, x);
    memcpy(d + 2 * k, &out, 2);
  }
  return k;
}

void al16utf16(Walk &w) {
  lxpfent e;
  PageCache pc(w.map);
  while (w.src_left() >= 2 && w.dst_left() >= 2) {
    const size_t n = (w.src_left() < w.dst_left() ? w.src_left() : w.dst_left()) / 2;
    const size_t k = w.exact ? fold_units<true>(pc, w.s + w.si, w.d + w.di, n)
                             : fold_units<false>(pc, w.s + w.si, w.d + w.di, n);
    assert(k <= n);
    w.si += 2 * k;
    w.di += 2 * k;
    if (k == n) continue;
    // the unit that stopped the run: at least 2 bytes are left in both
    const uint16_t u = be16(w.s + w.si);
    entry_of(w.map, pc.entry(u), u, &e);
    if (e.kind == LXP_FOLD_EXPAND) {
      unsigned j = 0;
      while (j < e.n && put_unit(w, e.u[j])) ++j;
      if (j < e.n) w.cut = true;
      w.si += 2;
      if (w.cut) break;
      continue;
    }
    if (e.kind == LXP_FOLD_SUPP) {
      if (w.src_left() < 4) {
        put_unit(w, u);  // a high surrogate at the end stays
        w.si += 2;
        break;
      }
      const uint16_t lo = be16(w.s + w.si + 2);
      if (is_low(lo)) {
        const uint32_t f = lxpfmsupp(w.map, e.cell, lo);
        w.si += 4;
        if (f == 0) {
          put_unit(w, u);
          if (!put_unit(w, lo)) w.cut = true;
        } else if (f > 0xFFFF) {
          put_unit(w, uint16_t(f >> 16));
          if (!put_unit(w, uint16_t(f))) w.cut = true;
        } else {
          put_unit(w, uint16_t(f));
        }
        if (w.cut) break;
        continue;
      }
    }
    put_unit(w, e.kind == LXP_FOLD_ONE ? e.u[0] : u);
    w.si += 2;
    if (u == 0 && !w.exact) {
      w.nul = true;
      break;
    }
  }
  w.nc = w.si / 2;
  w.nc2 = w.di / 2;
}

// Folds one decoded character c (l bytes, value v) through the writer out
// (copy: the character unchanged; value: an encoded UTF-16 value). Counts
// it when consumed; false, with the walk marked full, when nothing fitted.
// Part of an expansion that does not fit is dropped with the walk marked cut.
template <class Out>
bool fold_char(Walk &w, Out &out, const uint8_t *c, size_t l, uint32_t v) {
  lxpfent e;
  unsigned outs = 1;
  bool ok = true;
  if (v > 0xFFFF) {
    lxpfmget(w.map, uint16_t(v >> 16), &e);
    const uint32_t f = e.kind == LXP_FOLD_SUPP ? lxpfmsupp(w.map, e.cell, uint16_t(v)) : 0;
    ok = f ? out.value(f) : out.copy(c, l);
  } else {
    lxpfmget(w.map, uint16_t(v), &e);
    if (e.kind == LXP_FOLD_EXPAND) {
      unsigned k = 0;
      while (k < e.n && out.value(e.u[k])) ++k;
      outs = k;
      if (k < e.n) {
        ok = k > 0;  // nothing written: the character stays for a later call
        w.cut = ok;
      }
    } else if (e.kind == LXP_FOLD_ONE) {
      ok = out.value(e.u[0]);
    } else {
      ok = out.copy(c, l);
    }
  }
  if (!ok) {
    w.full = true;
    return false;
  }
  w.si += l;
  ++w.nc;
  w.nc2 += outs;
  return true;
}

// Output of the loops without shift states.
struct Plain {
  Walk &w;
  bool copy(const uint8_t *c, size_t l) { return put(w, c, l); }
  bool value(uint32_t v) { return put_value(w, v); }
};

// The shift-sensitive loop: every output goes in the state its length
// needs, and a shifted-out output keeps room for the closing shift-in.
struct Shift {
  Walk &w;
  int in_state;   // source: 1 while shifted out
  int out_state;  // output: 1 while shifted out
  // Writes n bytes that need the output shifted out (want 1) or in.
  bool put(const uint8_t *b, size_t n, int want) {
    const size_t shift = want != out_state ? 1 : 0;
    const size_t close = want ? 1 : 0;
    if (n + shift + close > w.dst_left()) return false;
    if (shift) w.d[w.di++] = lxmi::shift_byte(w.h, want);
    out_state = want;
    memcpy(w.d + w.di, b, n);
    w.di += n;
    return true;
  }
  bool value(uint32_t v) {
    uint8_t buf[kWorkBytes];
    unsigned n = encode(w, v, buf);
    return put(buf, n, n > 1);
  }
  bool copy(const uint8_t *c, size_t l) { return put(c, l, in_state); }
};

void shift_sensitive(Walk &w, lxmcur *dst, lxmcur *src) {
  Shift sh{w, src->shifted ? 1 : 0, dst->shifted ? 1 : 0};
  const size_t mb = w.h->mb_len ? w.h->mb_len : 1;
  const lxcsm2uf decode = lxcsdecoder(w.cs);
  while (w.si < w.srclen && w.di < w.dstlen) {
    const size_t l = sh.in_state ? mb : 1;
    if (l > w.src_left()) break;
    const uint8_t *c = w.s + w.si;
    if (!sh.in_state && c[0] == 0 && !w.exact) {
      if (!sh.put(c, 1, 0)) {
        w.full = true;
        break;
      }
      ++w.si;
      ++w.nc;
      ++w.nc2;
      w.nul = true;
      break;
    }
    const uint32_t v = l == 1 ? w.cs->sbu[c[0]] : decode(w.cs, c, uint16_t(l));
    if (!fold_char(w, sh, c, l, v)) break;
    if (w.cut) break;
    while (w.si < w.srclen && (w.s[w.si] == w.h->shift_in || w.s[w.si] == w.h->shift_out)) {
      sh.in_state = w.s[w.si] == w.h->shift_out;
      ++w.si;
    }
  }
  src->shifted = sh.in_state;
  dst->shifted = sh.out_state;
  src->pos += w.si;
}

void other(Walk &w) {
  const lxcsm2uf decode = lxcsdecoder(w.cs);
  Plain out{w};
  while (w.si < w.srclen && w.di < w.dstlen) {
    const uint8_t *c = w.s + w.si;
    if (c[0] == 0 && !w.exact) {
      w.d[w.di++] = 0;
      ++w.si;
      ++w.nc;
      ++w.nc2;
      w.nul = true;
      break;
    }
    const size_t l = lxmi::lead_len(w.cs, c[0]);
    if (l > w.src_left()) break;
    const uint32_t v = l == 1 ? w.cs->sbu[c[0]] : decode(w.cs, c, uint16_t(l));
    if (!fold_char(w, out, c, l, v)) break;
    if (w.cut) break;
  }
}

// Whether unconverted source other than a terminating NUL remains.
bool source_remains(const Walk &w, bool wide) {
  if (w.nul) return false;
  const size_t unit = wide ? 2 : 1;
  if (w.src_left() < unit) return false;
  if (w.exact) return true;
  return wide ? be16(w.s + w.si) != 0 : w.s[w.si] != 0;
}

}  // namespace

extern "C" {

void lxpfmopen(lxpfmap *m, const void *object, size_t level2) {
  m->obj = static_cast<const uint8_t *>(object);
  m->size = rd32(m->obj + kSizeOff);
  m->table = word(m, kTableOff);
  m->exp = word(m, kExpOff);
  m->supp = word(m, kSuppOff);
  m->level2 = level2;
  const bool first_inside = m->table <= m->size && m->size - m->table >= kFirstLevel;
  m->first = first_inside ? m->obj + m->table : nullptr;
}

void lxpfmget(const lxpfmap *m, uint16_t v, lxpfent *e) {
  const uint8_t *page = page_of(m, v >> 8);
  entry_of(m, page ? rd32(page + 4u * (v & 0xFF)) : 0, v, e);
}

uint32_t lxpfmsupp(const lxpfmap *m, uint32_t cell, uint16_t low) {
  if (!is_low(low)) return 0;
  return word(m, m->supp + 4u * (size_t(cell) + (low - kLowFirst)));
}

size_t lxpCaseFold(const void *object, lxmcur *dst, size_t dstlen, lxmcur *src, size_t srclen,
                   uint32_t flags, lxglo *glo) {
  lxpfmap map;
  lxpfmopen(&map, object, LXP_FOLD_LEVEL2);
  const lxlangid *h = src->langid;
  Walk w{&map, lxmi::charset(h, glo), h, src->pos, dst->pos, srclen, dstlen,
         (flags & kExactLen) != 0, glo};
  bool wide = false;
  if (w.cs == nullptr) {
    // no charset object: nothing can be read
  } else if (h->flags & LXH_F_SINGLE) {
    single_byte(w);
  } else if (h->flags & LXH_F_AL16UTF16) {
    wide = true;
    al16utf16(w);
  } else if (w.cs->flags & LXCSF_SHIFT) {
    shift_sensitive(w, dst, src);
  } else {
    other(w);
  }
  assert(w.di <= dstlen && w.si <= srclen);
  if (w.cut || ((w.full || w.dst_left() < (wide ? 2u : 1u)) && source_remains(w, wide)))
    glo->status = 6;
  glo->nbytes = w.si;
  glo->nbytes2 = w.di;
  glo->ncount = w.nc & 0xFFFF;
  glo->ncount2 = w.nc2 & 0xFFFF;
  dst->pos += w.di;
  return w.di;
}

}  // extern "C"
