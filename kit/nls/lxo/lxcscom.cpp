// Canonical composition of Unicode text (lxcscom) and the Hangul syllable
// arithmetic (lxcsjmc).
//
// The composition table is table 15 of the AL16UTF16 object (see the
// writer's objw_comp.cpp for its shape). Text is composed as big-endian
// UTF-16 in a 1000-byte work area: text of another Unicode set is decoded
// into it chunk by chunk and the composed units are encoded back. The area
// is a sliding window: the part composed and written is dropped from its
// front before it is refilled. Only complete runs are composed: the last two
// starters (and a Hangul run reaching the window's end) wait for more text.
//
// Every table lookup stays inside the table: a record beyond it, or a state
// that is not inner where a byte must follow, ends the walk without a match,
// and the character is left as it is.
#include <stdint.h>
#include <string.h>

#include "lxc.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxlget.h"
#include "lxlname.h"
#include "lxo.h"

namespace {

using nlsobj::rd16;

constexpr size_t kWindow = 1000;  // bytes of UTF-16 in the work area
constexpr size_t kGuard = 100;    // zero bytes behind it
constexpr size_t kMaxHeld = kWindow / 2;

constexpr uint16_t kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7, kSBase = 0xAC00;
constexpr uint16_t kLCount = 19, kVCount = 21, kTCount = 28, kSCount = 11172;
constexpr uint16_t kTFirst = 0x11A8, kTLast = 0x11C2;

constexpr const char kAl16utf16[] = "AL16UTF16";

bool is_high(uint16_t u) { return u >= 0xD800 && u <= 0xDBFF; }
bool is_low(uint16_t u) { return u >= 0xDC00 && u <= 0xDFFF; }
bool is_l(uint16_t u) { return u >= kLBase && u < kLBase + kLCount; }
bool is_v(uint16_t u) { return u >= kVBase && u < kVBase + kVCount; }
bool is_t(uint16_t u) { return u >= kTFirst && u <= kTLast; }
bool is_syllable(uint16_t u) { return u >= kSBase && u < kSBase + kSCount; }
bool is_lv(uint16_t u) { return is_syllable(u) && (u - kSBase) % kTCount == 0; }
// A unit that a Hangul run takes: a jamo (high byte 0x11) or a syllable
// block's unit (high byte 0xAC to 0xD7).
bool hangul_unit(uint16_t u) { return (u >> 8) == 0x11 || ((u >> 8) >= 0xAC && (u >> 8) <= 0xD7); }

uint16_t unit_at(const uint8_t *p, size_t i) { return uint16_t(p[i] << 8 | p[i + 1]); }
void put_unit(uint8_t *p, size_t i, uint16_t u) {
  p[i] = uint8_t(u >> 8);
  p[i + 1] = uint8_t(u);
}

// The composition table of an object, bounded by its length.
struct Table {
  const uint8_t *w = nullptr;
  size_t words = 0;
  uint32_t first = 0;  // word of record 0
  uint32_t g = 0;      // first state that names a result

  bool load(const lxcsobj *cs) {
    size_t len = lxcstablen(cs, LXCT_COMPOSE);
    w = lxcstab(cs, LXCT_COMPOSE);
    words = len / 2;
    if (words < 1) return false;
    uint16_t n = rd16(w);
    if (n == 0 || n >= words) return false;
    g = rd16(w + 2u * n);
    first = n + 1u;
    return true;
  }
  bool record(uint32_t r, uint16_t &value, uint16_t &check) const {
    size_t at = first + 2u * size_t(r);
    if (at + 1 >= words) return false;
    value = rd16(w + 2 * at);
    check = rd16(w + 2 * at + 2);
    return true;
  }
  // From inner state s over n bytes: the state reached, or false.
  bool walk(uint32_t s, const uint8_t *p, size_t n, uint32_t &out) const {
    for (size_t k = 0; k < n; ++k) {
      if (s >= g) return false;  // a result where a byte must follow
      uint16_t v, c;
      if (!record(s + p[k], v, c) || c != s || (v == 0 && c == 0)) return false;
      s = v;
    }
    out = s;
    return true;
  }
};

// Bytes of the character at i of a big-endian UTF-16 text of n bytes.
size_t char_len(const uint8_t *p, size_t i, size_t n) {
  if (i + 4 <= n && is_high(unit_at(p, i)) && is_low(unit_at(p, i + 2))) return 4;
  return 2;
}

struct Composer {
  const lxcsobj *tab;  // the object of the table and the combining classes
  Table t;

  uint16_t ccc(const uint8_t *p, size_t len) const { return lxcsugcm(tab, p, len); }

  // Composes in[0..n) into out; returns the bytes written (never more than n).
  size_t run(const uint8_t *in, size_t n, uint8_t *out, lxglo *glo) const {
    size_t i = 0, o = 0;
    uint16_t held[kMaxHeld];  // start offsets of characters held back, in order
    uint8_t held_len[kMaxHeld];
    while (i < n) {
      if (hangul_unit(unit_at(in, i))) {
        size_t reached = 0, si = i, d = o;
        lxcsjmc(out, &d, in, &reached, &si, n, 1, tab, glo);
        if (si == i) {  // nothing taken: copy the unit
          memcpy(out + o, in + i, 2);
          o += 2;
          i += 2;
          continue;
        }
        o = d;
        i = si;
        continue;
      }
      size_t len = char_len(in, i, n);
      uint32_t state = 0;
      bool open = t.walk(0, in + i, len, state) && state < t.g;
      uint8_t comp[4];
      size_t comp_len = len;
      memcpy(comp, in + i, len);
      size_t nheld = 0;
      uint16_t maxcc = 0;
      size_t j = i + len;
      while (j < n) {
        size_t l2 = char_len(in, j, n);
        uint16_t cc = ccc(in + j, l2);
        if (cc == 0 && (nheld != 0 || hangul_unit(unit_at(in, j)))) break;
        uint32_t r;
        bool took = false;
        if (open && (cc == 0 || maxcc < cc) && t.walk(state, in + j, l2, r) && r >= t.g) {
          uint16_t v, c;
          if (t.record(r, v, c)) {
            size_t cl = 2;
            uint8_t cb[4];
            put_unit(cb, 0, v);
            uint16_t lo, lc;
            if (is_high(v)) {
              if (t.record(r + 1, lo, lc) && is_low(lo)) {
                put_unit(cb, 2, lo);
                cl = 4;
              } else {
                cl = 0;  // a broken result record: no composite
              }
            }
            if (cl != 0) {
              memcpy(comp, cb, cl);
              comp_len = cl;
              took = true;
              if (c != 0 && c < t.g) {
                state = c;
              } else {
                open = false;
              }
            }
          }
        }
        if (!took) {
          if (cc == 0) break;  // a new starter
          if (nheld < kMaxHeld) {
            held[nheld] = uint16_t(j);
            held_len[nheld] = uint8_t(l2);
            ++nheld;
          }
          if (cc > maxcc) maxcc = cc;
        }
        j += l2;
      }
      memcpy(out + o, comp, comp_len);
      o += comp_len;
      for (size_t k = 0; k < nheld; ++k) {
        memcpy(out + o, in + held[k], held_len[k]);
        o += held_len[k];
      }
      i = j;
    }
    return o;
  }

  // Where composition of a window of n bytes must stop to wait for more
  // text: at the second-to-last starter, or at the start of the Hangul run
  // that holds it. n when the window holds a single run.
  size_t limit(const uint8_t *in, size_t n) const {
    size_t starters = 0, at = n;
    size_t i = n;
    while (i >= 2) {
      size_t k = i - 2;
      if (k >= 2 && is_low(unit_at(in, k)) && is_high(unit_at(in, k - 2))) k -= 2;
      if (ccc(in + k, i - k) == 0) {
        at = k;
        if (++starters == 2) break;
      }
      i = k;
    }
    if (starters < 2) return n;
    // a Hangul run is never cut: it waits whole
    if (hangul_unit(unit_at(in, at)))
      while (at >= 2 && hangul_unit(unit_at(in, at - 2))) at -= 2;
    return at == 0 ? n : at;
  }
};

// The charset object of the handle and of the composition table, or false
// when the text is copied unchanged.
bool objects(const lxlangid *h, lxglo *g, const lxcsobj *&own, const lxcsobj *&tab) {
  const uint8_t *co = lxn::get(h->cs, LXP_TYPE_CHARSET, g);
  if (!co) return false;
  own = lxn::csobj(co);
  if ((own->flags & (LXCSF_SURR6 | LXCSF_UTF8SHAPE)) || own->id == LXCS_UTFE) {
    tab = lxhchtoid(kAl16utf16, sizeof kAl16utf16 - 1, g);
  } else if (h->flags & LXH_F_AL16UTF16) {
    tab = own;
  } else {
    return false;
  }
  return tab != nullptr;
}

// Copies n bytes to dst as far as they fit; status 6 when cut.
size_t copy_bounded(uint8_t *dst, size_t size, const uint8_t *src, size_t n, lxglo *g) {
  if (n > size) {
    n = size;
    g->status = LXS_SMALL;
  }
  if (n) memmove(dst, src, n);
  return n;
}

}  // namespace

extern "C" {

size_t lxcscom(const lxlangid *h, uint8_t *dst, size_t size, const uint8_t *src, size_t len) {
  lxglo *g = lxGetGloPtr(h, nullptr);
  const lxcsobj *own = nullptr, *tab = nullptr;
  Composer c{};
  if (!objects(h, g, own, tab) || !c.t.load(tab)) return copy_bounded(dst, size, src, len, g);
  c.tab = tab;
  const bool utf16 = (h->flags & LXH_F_AL16UTF16) != 0;
  const lxcsm2uf dec = lxcsdecoder(own);
  const lxcsu2mf enc = lxcsencoder(own);

  uint8_t win[kWindow + kGuard] = {};
  uint8_t stage[kWindow];
  size_t wn = 0, sp = 0, written = 0;
  for (;;) {
    // refill the window
    if (utf16) {
      size_t take = (len - sp) & ~size_t(1);
      if (take > kWindow - wn) take = kWindow - wn;
      memcpy(win + wn, src + sp, take);
      wn += take;
      sp += take;
      if (len - sp < 2) sp = len;  // a cut-off byte is dropped
    } else {
      while (sp < len && wn + 4 <= kWindow) {
        unsigned cl = lxcgbgwt(own, src + sp, len - sp, 0);
        if (cl == 0 || cl > len - sp) {  // a character cut off at the end is dropped
          sp = len;
          break;
        }
        uint32_t v = cl == 1 ? own->sbu[src[sp]] : dec(own, src + sp, uint16_t(cl));
        if (v > 0xFFFF) {
          put_unit(win, wn, uint16_t(v >> 16));
          put_unit(win, wn + 2, uint16_t(v));
          wn += 4;
        } else {
          put_unit(win, wn, uint16_t(v));
          wn += 2;
        }
        sp += cl;
      }
    }
    const bool last = sp >= len;
    if (wn == 0) break;
    size_t lim = last ? wn : c.limit(win, wn);
    size_t sn = c.run(win, lim, stage, g);
    // write the composed units
    if (utf16) {
      size_t fit = sn <= size - written ? sn : size - written;
      if (fit < sn) {
        fit &= ~size_t(1);
        if (fit >= 2 && is_high(unit_at(stage, fit - 2))) fit -= 2;  // never half a pair
        memcpy(dst + written, stage, fit);
        g->status = LXS_SMALL;
        return written + fit;
      }
      memcpy(dst + written, stage, sn);
      written += sn;
    } else {
      for (size_t k = 0; k < sn;) {
        uint32_t v = unit_at(stage, k);
        size_t step = 2;
        if (is_high(uint16_t(v)) && k + 4 <= sn && is_low(unit_at(stage, k + 2))) {
          v = v << 16 | unit_at(stage, k + 2);
          step = 4;
        }
        uint8_t b[16];
        unsigned bn = enc(own, b, v, 2, g);
        if (bn > size - written) {
          g->status = LXS_SMALL;
          return written;
        }
        memcpy(dst + written, b, bn);
        written += bn;
        k += step;
      }
    }
    memmove(win, win + lim, wn - lim);
    wn -= lim;
    memset(win + wn, 0, kWindow + kGuard - wn);
    if (last && wn == 0) break;
  }
  return written;
}

size_t lxcsjmc(uint8_t *dst, size_t *dstidx, const uint8_t *src, size_t *reached, size_t *srcidx,
               size_t srcend, int final, const lxcsobj *cs, lxglo *glo) {
  size_t s = *srcidx;
  if (s + 2 > srcend) return 0;
  const bool al16 = cs->id == LXCS_AL16UTF16;
  if (!al16 && !(cs->flags & (LXCSF_SURR6 | LXCSF_UTF8SHAPE)) && cs->id != LXCS_UTFE) return 0;
  const lxcsu2mf enc = al16 ? nullptr : lxcsencoder(cs);
  const size_t run_src = s, run_dst = *dstidx;
  size_t d = *dstidx;
  size_t pending = d;  // where the last character written starts
  uint16_t prev = 0;
  auto write = [&](uint16_t u, bool rewrite) {
    if (rewrite) d = pending;
    pending = d;
    if (al16) {
      put_unit(dst, d, u);
      d += 2;
    } else {
      d += enc(cs, dst + d, u, 2, glo);
    }
    prev = u;
  };
  write(unit_at(src, s), false);
  s += 2;
  bool ended = false;
  while (s + 2 <= srcend) {
    uint16_t u = unit_at(src, s);
    if (is_l(prev) && is_v(u)) {
      write(uint16_t(kSBase + ((prev - kLBase) * kVCount + (u - kVBase)) * kTCount), true);
    } else if (is_lv(prev) && is_t(u)) {
      write(uint16_t(prev + (u - kTBase)), true);
    } else if (hangul_unit(u)) {
      write(u, false);
    } else {
      ended = true;  // the caller handles this unit
      break;
    }
    s += 2;
  }
  *reached = s;
  if (!ended && !al16 && !final) {  // the text ends inside the run: not committed
    *srcidx = run_src;
    *dstidx = run_dst;
    return run_dst;
  }
  *srcidx = s;
  *dstidx = d;
  return d;
}

}  // extern "C"
