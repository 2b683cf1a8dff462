// Monolingual comparison: two texts under a sort of two key levels (sort id
// below 4096), single-byte or Unicode text, entered only from lxoCmpStr.
//
// Every character has a major key, which orders texts, and a minor key,
// which breaks ties among texts whose major keys are all equal; a special
// letter gives two of each, a contracting pair one for two characters, a
// major key of 0 ignores the character at the major level (its 16-bit value
// then takes part at the minor level). No whole key is built: equal leading
// characters are skipped byte-wise, then both texts are walked in small
// passes that make the keys of a character or two per side, compare the
// major keys as far as both sides have them, keep the first minor
// difference and stop at the first major difference.
//
// Work areas: a pass takes at most two characters per side, and one
// character's case or accent conversion gives at most kConv units, so the
// queue, major and minor areas are sized for one pass (plus the one value
// that may wait for its successor). A side with major keys left takes no
// character (it waits for the other side), which keeps the major area to one
// pass; minor bytes that would not fit are not appended. Nothing is written
// past an area.
//
// Texts whose first characters decide at once (one byte each, different,
// no conversion, contracting pair or special letter in the way) are
// ordered by their major keys before anything else is set up.
//
// Key tables are read through the block of the last high byte met, and a
// one-byte character's case or accent conversion is made once per
// comparison.
//
// The cursors are never moved: the texts are read through copies of their
// positions. Nothing is allocated and nothing is reported, except the status
// a case or accent conversion leaves.
#include <assert.h>
#include <string.h>

#include <new>

#include "lxc.h"
#include "lxg.h"
#include "lxl.h"
#include "lxlig.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxoint.h"
#include "lxp.h"
#include "lxphlc.h"
#include "lxsfint.h"

namespace {

constexpr uint32_t kCaseless = 0x10, kAccentless = 0x200, kNulTerm = 0x10000000;
constexpr uint32_t kFoldFlags = 0x20000400;  // length-bounded, case folding
constexpr uint32_t kBaseFlags = 0x20000200;  // length-bounded, base letters
constexpr uint16_t kHasSpecial = lxp::kSpecialLetters, kHasContracting = lxp::kContractingPairs;
constexpr uint32_t kNamedMissing = 26;  // status of a conversion without BINARY_AI

constexpr size_t kConv = 20;                    // one character's conversion area
constexpr unsigned kMaxTake = 2;                // characters one side takes in a pass
constexpr size_t kQueue = kMaxTake * kConv + 1;  // a pass's values and one waiting value
constexpr size_t kMajor = 2 * kQueue;           // two keys per value at most
constexpr size_t kMinor = 2 * kMajor;           // and the minor bytes of one more pass
constexpr size_t kUnit = 2;                     // a character of a wide-unit set

// One text's reading state: where it is, the values waiting for their keys
// and the keys not yet compared with the other text's.
struct Side {
  const uint8_t *p;  // the text (the cursor's position)
  size_t len;        // its bytes
  size_t at = 0;     // bytes consumed
  bool end = false;
  uint16_t q[kQueue];  // values waiting for their keys
  size_t nq = 0;
  uint8_t major[kMajor];
  size_t nmajor = 0;
  uint8_t minor[kMinor];
  size_t nminor = 0;
  unsigned take = 0;
};

// One comparison: what it reads (handle, charset, sort and their key
// sections), the first minor difference found, and the passes.
struct Mono {
  const lxlangid *h;
  const lxcsobj *cs;
  const lxsrtobj *sort;
  lxglo *g;
  lxcsm2uf decode;
  uint32_t flags;
  uint16_t sflags;
  bool single, wide, nul;
  const lxmcur *lcur = nullptr, *rcur = nullptr;  // the cursors, for their charset
  lxp::KeyTables keys;
  lxp::KeyReader major_keys{keys.majors}, minor_keys{keys.minors};
  int minor_result = 0;
  bool failed = false;  // a conversion found no base-letter object
  // The converted values of one-byte characters met so far (conv_n[b] of
  // them, kUnknown before the first), filled as the texts are read.
  static constexpr uint8_t kUnknown = 0xFF;
  static constexpr size_t kCachedUnits = 3;
  bool conv_ready = false;
  uint8_t conv_n[256];
  uint16_t conv_u[256][kCachedUnits];

  Mono(const lxlangid *handle, const lxcsobj *charset, const lxsrtobj *so, lxglo *glo,
       uint32_t f, bool single_byte)
      : h(handle), cs(charset), sort(so), g(glo), decode(nullptr), flags(f),
        sflags(so->flags), single(single_byte), wide((handle->flags & LXH_F_WIDE) != 0),
        nul((f & kNulTerm) != 0) {
    // What the first pass needs; the pairs and minor keys when the passes run.
    find(keys.specials, (sflags & (kHasSpecial | kHasContracting)) != 0, lxp::KeyTable::specials);
    find(keys.pairs, false, lxp::KeyTable::pairs);
    find(keys.majors, true, lxp::KeyTable::majors);
    find(keys.minors, false, lxp::KeyTable::minors);
  }

  // Sets a section, found in the sort object or left empty. The section is
  // made in its place (no copy through the stack).
  void find(lxlig::Section &slot, bool wanted, lxp::KeyTable which) const {
    if (wanted) {
      new (&slot) lxlig::Section(lxp::key_table(sort, which));
    } else {
      slot.p = nullptr;
      slot.count = 0;
      slot.room = 0;
    }
  }

  size_t char_len(const Side &s, size_t at) const {
    size_t n = single ? 1 : wide ? kUnit : lxmi::lead_len(cs, s.p[at]);
    size_t left = s.len - at;
    return n < left ? n : left;
  }
  // A NUL ends the text at at (a zero unit in a wide-unit set).
  bool nul_at(const Side &s, size_t at) const {
    if (!nul || s.p[at] != 0) return false;
    return !wide || (at + 1 < s.len && s.p[at + 1] == 0);
  }
  bool ends_at(const Side &s, size_t at) const { return at >= s.len || nul_at(s, at); }

  void push(Side &s, uint16_t v) const {
    assert(s.nq < kQueue);
    if (s.nq < kQueue) s.q[s.nq++] = v;
  }
  void add_major(Side &s, uint8_t k) const {
    assert(s.nmajor < kMajor);
    if (s.nmajor < kMajor) s.major[s.nmajor++] = k;
  }
  void add_minor(Side &s, uint8_t k) const {
    if (minor_result == 0 && s.nminor < kMinor) s.minor[s.nminor++] = k;
  }

  // The UTF-16 value of the n-byte character at c: a single byte's from the
  // charset's table, a longer character's low 16 bits.
  uint16_t value(const uint8_t *c, size_t n) {
    if (n == 1) return cs->sbu[c[0]];
    if (!decode) decode = lxcsdecoder(cs);
    return static_cast<uint16_t>(decode(cs, c, static_cast<uint16_t>(n)));
  }

  // The first pass when it decides at once, without case or accent
  // conversion or contracting pairs: each side's next character has one
  // nonzero major key and the two differ. 0 when the passes must run.
  int first_pass(const Side &l, const Side &r) {
    if ((flags & (kAccentless | kCaseless)) || (sflags & kHasContracting)) return 0;
    const uint16_t vl = value(l.p + l.at, char_len(l, l.at));
    const uint16_t vr = value(r.p + r.at, char_len(r, r.at));
    uint8_t maj[2] = {0, 0}, min[2];
    if ((sflags & kHasSpecial) && ((lxp::special_keys(keys, vl, maj, min) && maj[1] != 0) ||
                                   (lxp::special_keys(keys, vr, maj, min) && maj[1] != 0)))
      return 0;
    const uint8_t kl = major_keys.key(vl), kr = major_keys.key(vr);
    return kl != 0 && kr != 0 ? int(kl) - int(kr) : 0;
  }

  // Takes the character at the side's position into its queue.
  void take_char(Side &s) {
    const size_t n = char_len(s, s.at);
    const uint8_t *c = s.p + s.at;
    if ((flags & (kAccentless | kCaseless)) && n == 1) {
      convert_byte(s, c[0]);
    } else {
      convert(s, c, n);
    }
    s.at += n;
    s.end = ends_at(s, s.at);
  }

  // A one-byte character under case or accent conversion: converted once
  // per comparison.
  void convert_byte(Side &s, uint8_t b) {
    if (!conv_ready) {
      memset(conv_n, kUnknown, sizeof conv_n);
      conv_ready = true;
    }
    if (conv_n[b] == kUnknown) {
      const size_t before = s.nq;
      convert(s, &b, 1);
      const size_t got = s.nq - before;
      if (got <= kCachedUnits && !failed) {
        conv_n[b] = static_cast<uint8_t>(got);
        memcpy(conv_u[b], s.q + before, got * sizeof s.q[0]);
      }
      return;
    }
    for (size_t i = 0; i < conv_n[b]; ++i) push(s, conv_u[b][i]);
  }

  // Appends the values of the n-byte character at c, converted as the
  // flags ask.
  void convert(Side &s, const uint8_t *c, size_t n) {
    size_t out = 0;
    uint8_t area[kConv];
    if (flags & (kAccentless | kCaseless)) {
      out = lxsCnvCase(area, sizeof area, c, n, (flags & kAccentless) ? kBaseFlags : kFoldFlags,
                       h, g);
      if (g->status == kNamedMissing) failed = true;
    }
    if (out == 1) {
      push(s, cs->sbu[area[0]]);
    } else if (out > 1) {
      uint16_t units[kConv];
      uint32_t m = lxgt2u(units, kConv, area, cs, static_cast<uint32_t>(out), 0, g);
      for (uint32_t i = 0; i < m && i < kConv; ++i) push(s, units[i]);
      if (m == 0) out = 0;
    }
    if (out == 0) push(s, value(c, n));
  }

  void fill(Side &s) {
    while (s.take > 0 && !s.end) {
      --s.take;
      take_char(s);
    }
  }

  void ignorable(Side &s, uint16_t v) const {
    if (v == 0 && nul) return;
    add_minor(s, static_cast<uint8_t>(v >> 8));
    add_minor(s, static_cast<uint8_t>(v));
  }

  // An ordinary character: its major key, and its minor key from the minor
  // table, or its value at the minor level when the major key is 0.
  void ordinary(Side &s, uint16_t v, uint8_t key) {
    if (key == 0) return ignorable(s, v);
    add_major(s, key);
    if (minor_result == 0) add_minor(s, minor_keys.key(v));
  }

  void special(Side &s, const uint8_t *maj, const uint8_t *min) const {
    add_major(s, maj[0]);
    add_major(s, maj[1]);
    add_minor(s, min[0]);
    add_minor(s, min[1]);
  }

  // Makes the keys of the side's queued values.
  void generate(Side &s) {
    size_t i = 0;
    while (i < s.nq) {
      const uint16_t v = s.q[i];
      uint8_t maj[2] = {0, 0}, min[2] = {0, 0};
      if (sflags & kHasContracting) {
        if (i + 1 == s.nq && !s.end) {
          s.take = 1;  // waits for its successor
          break;
        }
        const uint16_t next = i + 1 < s.nq ? s.q[i + 1] : 0;
        if (lxp::hlc(maj, min, v, next, keys, &major_keys) == 1) {
          add_major(s, maj[0]);
          add_minor(s, min[0]);
          i += 2;
          continue;
        }
        if (maj[1] != 0) special(s, maj, min);
        else ordinary(s, v, maj[0]);
      } else if (sflags & kHasSpecial) {
        // a special letter of one major key is looked up as a letter
        if (lxp::special_keys(keys, v, maj, min) && maj[1] != 0) special(s, maj, min);
        else ordinary(s, v, major_keys.key(v));
      } else {
        ordinary(s, v, major_keys.key(v));
      }
      ++i;
    }
    // What is left (one waiting value at most) moves to the front.
    const size_t rest = s.nq - (i < s.nq ? i : s.nq);
    if (rest > 0 && i > 0) memmove(s.q, s.q + i, rest * sizeof s.q[0]);
    s.nq = rest;
  }

  // Drops the first k of n bytes; what is left (mostly nothing or a byte or
  // two) moves to the front.
  static void drop(uint8_t *buf, size_t &n, size_t k) {
    for (size_t i = k; i < n; ++i) buf[i - k] = buf[i];
    n -= k;
  }

  // Compares the major keys both sides have; nonzero at a difference.
  static int compare_major(Side &l, Side &r) {
    const size_t n = l.nmajor < r.nmajor ? l.nmajor : r.nmajor;
    for (size_t i = 0; i < n; ++i)
      if (l.major[i] != r.major[i]) return int(l.major[i]) - int(r.major[i]);
    drop(l.major, l.nmajor, n);
    drop(r.major, r.nmajor, n);
    return 0;
  }

  void compare_minor(Side &l, Side &r) {
    if (minor_result != 0) return;
    const size_t n = l.nminor < r.nminor ? l.nminor : r.nminor;
    for (size_t i = 0; i < n; ++i)
      if (l.minor[i] != r.minor[i]) {
        minor_result = int(l.minor[i]) - int(r.minor[i]);
        l.nminor = r.nminor = 0;
        return;
      }
    drop(l.minor, l.nminor, n);
    drop(r.minor, r.nminor, n);
  }

  static bool empty(const Side &s) { return s.nmajor == 0 && s.nminor == 0; }

  int final_decision(const Side &l, const Side &r) const {
    if (!r.end) return -1;
    if (l.nmajor > 0) return 1;
    if (r.nmajor > 0) return -1;
    return minor_result;
  }

  // Steps both texts over their equal leading characters, the first known
  // bytes (whole characters, one at least before a difference) at once;
  // false when a text ended there, with the result in *result.
  bool skip_prefix(Side &l, Side &r, size_t known, int *result) const {
    l.at = r.at = known;
    l.end = ends_at(l, known);
    r.end = ends_at(r, known);
    size_t last = 0;  // the last equal character's bytes
    bool differ = false;
    while (!l.end && !r.end) {
      const size_t nl = char_len(l, l.at), nr = char_len(r, r.at);
      if (nl != nr || l.p[l.at] != r.p[r.at] || memcmp(l.p + l.at, r.p + r.at, nl) != 0) {
        differ = true;
        break;
      }
      l.at += nl;
      r.at += nr;
      last = nl;
      l.end = ends_at(l, l.at);
      r.end = ends_at(r, r.at);
    }
    if (differ && (sflags & kHasContracting) && last > 0) {
      l.at -= last;
      r.at -= last;
    }
    if (l.end) {
      *result = r.end ? 0 : -1;
      return false;
    }
    if (r.end) {
      *result = 1;
      return false;
    }
    return true;
  }

  // Sides with nothing queued or kept (minor bytes aside once the minor
  // result is found) make the same keys of the same characters: equal
  // characters ahead are stepped over on both, all but the last (which
  // may start a contracting pair).
  void skip_equal(Side &l, Side &r) const {
    if (l.nq || r.nq || l.nmajor || r.nmajor || l.end || r.end) return;
    if (minor_result == 0 && (l.nminor || r.nminor)) return;
    const size_t ll = l.len - l.at, rl = r.len - r.at;
    if (ll < 2 || rl < 2 || l.p[l.at] != r.p[r.at] || l.p[l.at + 1] != r.p[r.at + 1]) return;
    lxmcur a = *lcur, b = *rcur;
    a.pos = const_cast<unsigned char *>(l.p + l.at);
    b.pos = const_cast<unsigned char *>(r.p + r.at);
    const size_t k = lxsf::equal_prefix(&a, ll, &b, rl, cs, nul, 1);
    l.at += k;
    r.at += k;
  }

  int run(Side &l, Side &r, size_t known) {
    int result;
    if (!skip_prefix(l, r, known, &result)) return result;
    if ((result = first_pass(l, r)) != 0) return result;
    find(keys.pairs, (sflags & kHasContracting) != 0, lxp::KeyTable::pairs);
    find(keys.minors, true, lxp::KeyTable::minors);
    l.take = r.take = (sflags & kHasContracting) ? kMaxTake : 1;
    for (;;) {
      const size_t before = l.at + r.at;
      fill(l);
      fill(r);
      if (failed) return 0;
      const bool took = l.at + r.at != before;
      generate(l);
      generate(r);
      if (int d = compare_major(l, r)) return d;
      // A side with major keys left waits for the other; an empty one
      // reads on.
      l.take = (l.nmajor == 0 && !l.end) ? 1 : 0;
      r.take = (r.nmajor == 0 && !r.end) ? 1 : 0;
      compare_minor(l, r);
      if (!l.end) {
        if (r.end && empty(r)) return 1;
      } else if (empty(l) || r.end) {  // both at their end, or the left used up
        break;
      }
      if (!took && (l.end || l.nmajor > 0) && (r.end || r.nmajor > 0)) break;  // nothing moves
      skip_equal(l, r);
    }
    return final_decision(l, r);
  }
};

// Byte order of two texts, each ending at its length or (nul) at a NUL (a
// zero unit in a wide-unit set): what a comparison falls back on when its
// keys cannot be made.
int byte_order(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, bool nul, bool wide) {
  auto cut = [&](const uint8_t *p, size_t len) {
    if (!nul) return len;
    const size_t step = wide ? kUnit : 1;
    for (size_t i = 0; i + step <= len; i += step)
      if (p[i] == 0 && (!wide || p[i + 1] == 0)) return i;
    return len;
  };
  alen = cut(a, alen);
  blen = cut(b, blen);
  const size_t n = alen < blen ? alen : blen;
  if (int d = n ? memcmp(a, b, n) : 0) return d;
  return alen < blen ? -1 : alen > blen ? 1 : 0;
}

// The order of two texts decided by their first characters, or 0 when the
// passes must run: the case the first pass decides at once (see
// Mono::first_pass), found before the comparison is set up. Both first
// characters are one byte and differ, no case or accent conversion and no
// contracting pairs are in the way, neither is a special letter of two
// keys, and their major keys are nonzero and differ. Only the sections
// this reads are found (each checked as the passes check it).
int first_chars(const lxmcur *left, size_t llen, const lxmcur *right, size_t rlen,
                uint32_t flags, const lxsrtobj *sort, const lxcsobj *cs) {
  const lxlangid *h = left->langid;
  if (llen == 0 || rlen == 0 || (flags & (kAccentless | kCaseless)) ||
      (sort->flags & kHasContracting) || (h->flags & LXH_F_WIDE) || !lxoi::first_chars_may_decide())
    return 0;
  const uint8_t a = left->pos[0], b = right->pos[0];
  if (a == b || ((flags & kNulTerm) && (a == 0 || b == 0))) return 0;
  if (!left->single_byte && (lxmi::lead_len(cs, a) != 1 || lxmi::lead_len(cs, b) != 1)) return 0;
  const uint16_t va = cs->sbu[a], vb = cs->sbu[b];
  if (sort->flags & kHasSpecial) {
    lxp::KeyTables t{};
    t.specials = lxp::key_table(sort, lxp::KeyTable::specials);
    uint8_t maj[2] = {0, 0}, min[2];
    if ((lxp::special_keys(t, va, maj, min) && maj[1] != 0) ||
        (lxp::special_keys(t, vb, maj, min) && maj[1] != 0))
      return 0;
  }
  const lxlig::Section majors = lxp::key_table(sort, lxp::KeyTable::majors);
  const uint8_t *block_a = lxp::key_block(majors, static_cast<uint8_t>(va >> 8));
  const uint8_t *block_b =
      (va >> 8) == (vb >> 8) ? block_a : lxp::key_block(majors, static_cast<uint8_t>(vb >> 8));
  const uint8_t ka = block_a ? block_a[va & 0xFF] : 0, kb = block_b ? block_b[vb & 0xFF] : 0;
  return ka != 0 && kb != 0 ? int(ka) - int(kb) : 0;
}

}  // namespace

namespace lxoi {

int mono_cmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags, lxglo *glo) {
  const lxlangid *h = left->langid;
  return mono_cmp(left, llen, right, rlen, flags, glo,
                  reinterpret_cast<const lxsrtobj *>(lxn::loaded(glo, h->sort)),
                  lxmi::charset(h, glo));
}

int mono_cmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags, lxglo *glo,
             const lxsrtobj *sort, const lxcsobj *cs) {
  const lxlangid *h = left->langid;
  const bool nul = (flags & kNulTerm) != 0;
  if (!cs || !sort) return byte_order(left->pos, llen, right->pos, rlen, nul, h->flags & LXH_F_WIDE);
  if (int d = first_chars(left, llen, right, rlen, flags, sort, cs)) return d;
  Mono m(h, cs, sort, glo, flags, left->single_byte != 0);
  m.lcur = left;
  m.rcur = right;
  Side l, r;
  l.p = left->pos;
  l.len = llen;
  r.p = right->pos;
  r.len = rlen;
  // Texts that differ in their first byte need no search for equal bytes.
  const bool first_differs = llen && rlen && l.p[0] != r.p[0];
  const size_t known = first_differs ? 0 : lxsf::equal_prefix(left, llen, right, rlen, cs, nul, 1);
  int result = m.run(l, r, known);
  if (m.failed) return byte_order(l.p, llen, r.p, rlen, nul, m.wide);
  return result;
}

}  // namespace lxoi
