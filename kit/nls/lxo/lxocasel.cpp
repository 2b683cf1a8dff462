// Linguistic special casing: the loops of the case conversion engine that
// run instead of its basic loops when the handle's linguistic sort carries
// special upper-case, lower-case or base-letter entries for the conversion
// asked. Each character is converted the basic way first; its UTF-16 value
// and that of the character after it (the second key) then look up the
// sort's special entries, whose outputs (one to three UTF-16 units) replace
// the converted character. An entry may cover the following character too.
//
// Served: single-byte sets, wide-unit sets (big-endian UTF-16 units) and the
// Unicode multibyte sets (charset flag 0x4000 or 0x8000, and UTFE) in every
// case mode; shift-sensitive sets in base-letter mode only.
//
// Records read: the sort object's flags (+102) and its special entries
// through lxligsu, lxligsl and lxligsbl: +0 key, +2 second key, +4 up to
// three 16-bit outputs, +10 characters covered (1 or 2), +11 number of
// outputs. An entry with a covered count other than 1 or 2, or no outputs,
// reads as no entry; one with more than three outputs gives three. A second
// key of 0 stands for the end of the text: an entry matched through it
// covers no further character, even where a NUL is an ordinary character.
//
// Invariants: nothing is written at or past dst + dstlen; a character
// whose first output does not fit is neither written nor consumed (status
// 6); outputs dropped after the first mark the result cut (status 6, also
// at the end of the source). Called only by lxoCnvCase, which runs the
// finishing step afterwards.
#include <assert.h>
#include <string.h>

#include "lxc.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxfobj.h"
#include "lxl.h"
#include "lxlig.h"
#include "lxmint.h"
#include "lxocaseint.h"

namespace lxocase {
namespace {

constexpr size_t kSortFlags = 102;  // sort object: 16-bit flags
constexpr uint16_t kSortUpper = 0x0004, kSortLower = 0x0008, kSortBase = 0x0010;

// A special entry of a sort object.
constexpr size_t kEntryOutputs = 4, kEntryCovers = 10, kEntryCount = 11;
constexpr unsigned kMaxOutputs = 3;
constexpr unsigned kReplaceByValue = 0;  // encoder option for entry outputs
constexpr uint32_t kLastBmp = 0xFFFF;

// A special entry's outputs, as read and checked.
struct Entry {
  uint16_t out[kMaxOutputs];
  unsigned count;
  bool pair;  // covers the following character too
};

bool read_entry(const uint8_t *e, Entry &x) {
  if (e == nullptr) return false;
  const unsigned covers = e[kEntryCovers], count = e[kEntryCount];
  if (count == 0 || (covers != 1 && covers != 2)) return false;
  x.count = count < kMaxOutputs ? count : kMaxOutputs;
  x.pair = covers == 2;
  for (unsigned k = 0; k < x.count; ++k) x.out[k] = nlsobj::rd16(e + kEntryOutputs + 2 * k);
  return true;
}

const lxsrtobj *sort_of(const Conv &c) { return reinterpret_cast<const lxsrtobj *>(c.sort); }

// The keys of a sort's special entries by their low byte: a character
// whose bit is clear has no entry, and the loop spares it the second key
// and the lookup. Built once per call from the sections the mode reads.
class KeyFilter {
 public:
  static constexpr uint16_t kMaxScanned = 4096;  // more entries: every key is looked up

  void add(const lxsrtobj *sort, unsigned section) {
    const lxlig::Section s = lxlig::section(sort, section, LXSRT_REC12);
    if (s.p == nullptr) return;  // unreadable: no lookup finds an entry
    if (s.count > kMaxScanned) {
      memset(bits_, 0xFF, sizeof bits_);
      return;
    }
    for (unsigned i = 0; i < s.count; ++i) set(nlsobj::rd16(s.p + size_t(LXSRT_REC12) * i));
  }
  bool may_have(uint32_t key) const { return (bits_[(key >> 6) & 3] >> (key & 63)) & 1u; }

 private:
  void set(uint16_t key) { bits_[(key >> 6) & 3] |= uint64_t{1} << (key & 63); }
  uint64_t bits_[4] = {0, 0, 0, 0};
};

enum class Kind { Single, Wide, Multi };

// The Unicode multibyte sets: the UTF-8 family and UTFE.
bool unicode_multibyte(const lxcsobj *cs) {
  return (cs->flags & (LXCSF_SURR6 | LXCSF_UTF8SHAPE)) != 0 || cs->id == LXCS_UTFE;
}

// How a loop ends a character: go on, or end the conversion with the
// character consumed (a base letter of 0) or left (no room).
enum class Step { Next, EndConsumed, EndFull };

// The loop over single-byte, wide-unit and Unicode multibyte text.
class Loop {
 public:
  Loop(Conv &c, Mode mode)
      : c_(c),
        mode_(mode),
        kind_((c.h->flags & LXH_F_SINGLE)    ? Kind::Single
              : (c.cs->flags & LXCSF_UNIT16) ? Kind::Wide
                                             : Kind::Multi),
        unit_(kind_ == Kind::Wide ? 2 : 1),
        classes_(kind_ == Kind::Single
                     ? reinterpret_cast<const uint8_t *>(c.cs) + c.h->csoff[LXH_OFF_CLASS]
                     : nullptr),
        dec_(lxcsdecoder(c.cs)),
        enc_(lxcsencoder(c.cs)) {
    const lxsrtobj *sort = sort_of(c);
    if (mode == Mode::Base) filter_.add(sort, LXSRT_SBASE);
    if (mode == Mode::Upper || mode == Mode::InitCap) filter_.add(sort, LXSRT_SUPPER);
    if (mode == Mode::Lower || mode == Mode::InitCap) filter_.add(sort, LXSRT_SLOWER);
  }

  void run();

 private:
  bool base() const { return mode_ == Mode::Base; }
  bool is_nul(const uint8_t *p) const { return p[0] == 0 && (kind_ != Kind::Wide || p[1] == 0); }
  size_t char_at(size_t i, bool &lone) const;
  uint32_t value(const uint8_t *q, size_t n) const;
  size_t form(Mode m, const uint8_t *p, size_t l, uint8_t *out);
  Mode initcap(const uint8_t *p, size_t l);
  size_t encode(uint16_t u, unsigned option, uint8_t *out) const;
  Step base_letter_of(uint16_t u1, size_t at);
  Step outputs(const Entry &x, size_t at, size_t &written);
  Step keep(uint32_t u1, size_t at, size_t mn, size_t l);

  Conv &c_;
  const Mode mode_;
  const Kind kind_;
  const size_t unit_;
  const uint8_t *const classes_;  // single-byte: the handle's byte classes
  const lxcsm2uf dec_;
  const lxcsu2mf enc_;
  KeyFilter filter_;
};

// The length of the character at source offset i; 0 when it is cut off by
// the end of the source. A wide-unit surrogate without its partner is a
// lone unit of 2 bytes.
size_t Loop::char_at(size_t i, bool &lone) const {
  lone = false;
  const uint8_t *p = c_.s + i;
  const size_t left = c_.srclen - i;
  switch (kind_) {
    case Kind::Single: return 1;
    case Kind::Wide:
      if (left < 2) return 0;
      if (is_high(p[0])) {
        lone = !(left >= 4 && is_low(p[2]));
      } else if (is_low(p[0])) {
        lone = true;
      }
      return !lone && (c_.cs->bclass[p[0]] & 3u) >= 2 ? 4 : 2;
    case Kind::Multi: {
      const size_t l = lxmi::lead_len(c_.cs, p[0]);
      return l <= left ? l : 0;
    }
  }
  return 0;
}

// The UTF-16 value of a character's bytes (a supplementary character as
// its surrogate pair, high unit first).
uint32_t Loop::value(const uint8_t *q, size_t n) const {
  if (kind_ == Kind::Wide) return n == 4 ? uint32_t(be16(q)) << 16 | be16(q + 2) : be16(q);
  if (n == 1) return c_.cs->sbu[q[0]];
  return dec_(c_.cs, q, uint16_t(n));
}

// The form of a character in mode m (Mode::None: the character itself)
// into out; its length.
size_t Loop::form(Mode m, const uint8_t *p, size_t l, uint8_t *out) {
  if (m != Mode::Upper && m != Mode::Lower) {
    memcpy(out, p, l);
    return l;
  }
  if (kind_ != Kind::Wide && l == 1) {
    out[0] = m == Mode::Upper ? c_.cs->upper[p[0]] : c_.cs->lower[p[0]];
    return 1;
  }
  if (kind_ == Kind::Wide && l == 2 && p[0] == 0) {
    // U+0000..U+00FF through the set's 16-bit tables
    put_be16(out, m == Mode::Upper ? c_.cs->sbu[p[1]] : c_.cs->sb799[p[1]]);
    return 2;
  }
  return mapped(c_, m == Mode::Upper, p, l, out);
}

// Initial capitals: the form of the character and the word-start flag
// after it. Letters are alphabetic characters of the handle's byte classes
// in single-byte sets, cased characters elsewhere.
Mode Loop::initcap(const uint8_t *p, size_t l) {
  if (kind_ == Kind::Single) {
    const uint16_t k = nlsobj::rd16(classes_ + 2u * p[0]);
    if (k & kClassAlpha) {
      const Mode m = c_.word_start ? Mode::Upper : Mode::Lower;
      c_.word_start = false;
      return m;
    }
    c_.word_start = !(k & kClassDigit);
    return Mode::None;
  }
  const bool one = kind_ == Kind::Multi && l == 1;
  return initcap_step(c_, one ? c_.cs->bclass[p[0]] : lxcsgmc(c_.cs, p));
}

// One UTF-16 unit in the set's encoding into out; its length.
size_t Loop::encode(uint16_t u, unsigned option, uint8_t *out) const {
  switch (kind_) {
    case Kind::Single: out[0] = lxcsu2sb(c_.cs, u, c_.glo); return 1;
    case Kind::Wide: put_be16(out, u); return 2;
    case Kind::Multi: return enc_(c_.cs, out, u, option, c_.glo);
  }
  return 0;
}

// Base-letter mode without an entry: the base letter of u1 replaces the
// character at the destination offset at (in single-byte sets, the byte
// already written there). On Next, c_.di is past what was written.
Step Loop::base_letter_of(uint16_t u1, size_t at) {
  const uint16_t b = base_letter(c_.sort, u1);
  if (b == 0) {
    if (kind_ == Kind::Single) c_.di = at + 1;  // the character stays written
    return Step::EndConsumed;
  }
  uint8_t out[kWorkBytes];
  const size_t n = encode(b, kReplaceMulti, out);
  if (n > c_.dstlen - at) return Step::EndFull;
  memcpy(c_.d + at, out, n);
  c_.di = at + n;
  return Step::Next;
}

// An entry's outputs written from the destination offset at, each while it
// fits. The first must fit (EndFull otherwise); dropping a later one cuts
// the result and ends the conversion.
Step Loop::outputs(const Entry &x, size_t at, size_t &written) {
  written = 0;
  size_t w = at;
  for (unsigned k = 0; k < x.count; ++k) {
    uint8_t out[kWorkBytes];
    const size_t n = encode(x.out[k], kReplaceByValue, out);
    if (n > c_.dstlen - w) {
      if (k == 0) return Step::EndFull;
      c_.cut = true;
      break;
    }
    memcpy(c_.d + w, out, n);
    w += n;
    ++written;
  }
  c_.di = w;
  return written < x.count ? Step::EndConsumed : Step::Next;
}

// A character that takes no lookup, of l bytes: its converted form (mn
// bytes at the destination offset at) stays, in base-letter mode its base
// letter replaces it. Consumes it unless the end is for want of room.
Step Loop::keep(uint32_t u1, size_t at, size_t mn, size_t l) {
  Step st = Step::Next;
  if (base()) st = base_letter_of(uint16_t(u1), at);
  else c_.di = at + mn;
  if (st == Step::EndFull) {
    c_.full = true;
    return st;
  }
  c_.si += l;
  ++c_.nc;
  if (st == Step::Next) ++c_.nc2;
  return st;
}

void Loop::run() {
  const bool exact = c_.exact();
  const lxsrtobj *sort = sort_of(c_);
  while (c_.src_left() >= unit_ && c_.dst_left() >= unit_) {
    const uint8_t *p = c_.s + c_.si;
    if (!exact && is_nul(p)) break;
    bool lone = false;
    const size_t l = char_at(c_.si, lone);
    if (l == 0) break;  // cut off by the end of the source
    if (lone) {         // a surrogate unit on its own: copied, no lookup
      memcpy(c_.d + c_.di, p, 2);
      c_.di += 2;
      c_.si += 2;
      continue;
    }
    if (kind_ == Kind::Wide && (l > c_.src_left() || l > c_.dst_left())) {
      memcpy(c_.d + c_.di, p, 2);  // the first unit alone, and the end
      c_.di += 2;
      c_.si += 2;
      break;
    }
    if (kind_ == Kind::Multi && !base() && l > c_.dst_left()) {
      c_.full = true;
      break;
    }

    // the character converted the basic way, written at once (in
    // base-letter mode only in single-byte sets, as itself)
    const size_t at = c_.di;
    const bool word_start = c_.word_start;
    Mode m = mode_;
    if (m == Mode::InitCap) m = initcap(p, l);
    uint8_t mf[kWorkBytes];
    size_t mn = 0;
    if (!base() || kind_ == Kind::Single) {
      mn = form(m, p, l, mf);
      if (mn > c_.dst_left()) {
        c_.full = true;
        break;
      }
      memcpy(c_.d + at, mf, mn);
    }
    // single-byte initial capitals look up letters only
    if (kind_ == Kind::Single && mode_ == Mode::InitCap && m == Mode::None) {
      c_.di = at + mn;
      c_.si += l;
      continue;
    }

    // the first key: a supplementary character takes no lookup
    const uint32_t u1 = kind_ == Kind::Single ? c_.cs->sbu[p[0]] : base() ? value(p, l) : value(mf, mn);
    if (u1 > kLastBmp) {
      if (base()) {
        if (l > c_.dst_left()) {
          c_.full = true;
          break;
        }
        memcpy(c_.d + at, p, l);
        mn = l;
      }
      c_.di = at + mn;
      c_.si += l;
      ++c_.nc;
      ++c_.nc2;
      continue;
    }

    // a character without entries is done, unless initial capitals would
    // write a supplementary character after it otherwise than on its own
    if (mode_ != Mode::InitCap && !filter_.may_have(u1)) {
      if (keep(u1, at, mn, l) != Step::Next) break;
      continue;
    }

    // the second key: the next character in the form it takes inside a word
    const size_t ni = c_.si + l;
    size_t nl = 0, nn = 0;
    bool nlone = false;
    uint32_t u2 = 0;
    uint8_t nf[kWorkBytes];
    if (c_.srclen - ni >= unit_ && (exact || !is_nul(c_.s + ni))) {
      nl = char_at(ni, nlone);
      if (nl > c_.srclen - ni) nl = 0;
      if (nl) {
        const Mode nm = base() || nlone ? Mode::None : mode_ == Mode::Upper ? Mode::Upper : Mode::Lower;
        nn = form(nm, c_.s + ni, nl, nf);
        u2 = nlone ? kLastBmp + 1 : value(nf, nn);
      }
    }
    if (nl && u2 > kLastBmp) {
      // a supplementary character (or a lone unit) follows: c takes no
      // lookup, and the next character is written after it, in its form
      if (keep(u1, at, mn, l) != Step::Next) break;
      if (nn > c_.dst_left()) {
        c_.full = true;
        break;
      }
      memcpy(c_.d + c_.di, nf, nn);
      c_.di += nn;
      c_.si += nl;
      ++c_.nc;
      ++c_.nc2;
      if (mode_ == Mode::InitCap && !nlone) initcap(c_.s + ni, nl);
      continue;
    }

    // the lookup, with the word-start flag from before the character
    const uint8_t *e;
    if (base()) e = lxligsbl(sort, uint16_t(u1), uint16_t(u2));
    else if (mode_ == Mode::Upper || (mode_ == Mode::InitCap && word_start))
      e = lxligsu(sort, uint16_t(u1), uint16_t(u2));
    else e = lxligsl(sort, uint16_t(u1), uint16_t(u2));
    Entry x;
    const bool entry = read_entry(e, x);
    Step st = Step::Next;
    size_t written = 0;
    if (entry) {
      st = outputs(x, at, written);
    } else if (base()) {
      st = base_letter_of(uint16_t(u1), at);
      written = st == Step::Next ? 1 : 0;
    } else {
      c_.di = at + mn;
      written = 1;
    }
    if (st == Step::EndFull) {
      c_.full = true;
      break;
    }
    c_.si += l;
    ++c_.nc;
    c_.nc2 += written;
    if (entry && x.pair && nl && u2 != 0) {
      c_.si += nl;  // the entry covers the next character too
      ++c_.nc;
    }
    if (st != Step::Next) break;
  }
  assert(c_.di <= c_.dstlen && c_.si <= c_.srclen);
  if (kind_ == Kind::Wide) {
    c_.nc = c_.si / 2;
    c_.nc2 = c_.di / 2;
  } else if (kind_ == Kind::Single) {
    c_.nc = c_.si;
    c_.nc2 = c_.di;
  }
}

}  // namespace

Mode linguistic_mode(const Conv &c, uint32_t flags) {
  if (c.sort == nullptr || c.cs == nullptr) return Mode::None;
  const uint16_t sf = nlsobj::rd16(c.sort + kSortFlags);
  const uint16_t cased = kSortUpper | kSortLower;
  if (c.h->flags & LXH_F_SINGLE) {
    if (flags & kUpper) return (sf & kSortUpper) ? Mode::Upper : Mode::None;
    if (flags & kLower) return (sf & kSortLower) ? Mode::Lower : Mode::None;
    if (flags & kBase) return (sf & kSortBase) ? Mode::Base : Mode::None;
    if (flags & kInitCap) return (sf & cased) ? Mode::InitCap : Mode::None;
    return Mode::None;
  }
  if (c.cs->flags & LXCSF_SHIFT) {
    const bool base_only = (flags & (kUpper | kLower | kInitCap)) == 0 && (flags & kBase) != 0;
    return base_only && (sf & kSortBase) ? Mode::Base : Mode::None;
  }
  if (!(c.cs->flags & LXCSF_UNIT16) && !unicode_multibyte(c.cs)) return Mode::None;
  Mode m = Mode::None;
  bool ok = false;
  if (flags & kUpper) {
    m = Mode::Upper;
    ok = (sf & kSortUpper) && (!(flags & kLower) || (sf & kSortLower));
  } else if (flags & kLower) {
    m = Mode::Lower;
    ok = (sf & kSortLower) != 0;
  } else if (flags & kInitCap) {
    m = Mode::InitCap;
    ok = (sf & cased) != 0;
  } else if (flags & kBase) {
    m = Mode::Base;
    ok = true;
  }
  if ((flags & kBase) && !(sf & kSortBase)) ok = false;
  return ok ? m : Mode::None;
}

void linguistic(Conv &c, Mode m) { Loop(c, m).run(); }

// Base letters of shift-sensitive text with the sort's special base-letter
// entries. Every output goes in the shift state its length needs, with room
// kept for the closing shift-in.
void linguistic_shift(Conv &c, lxmcur *dst, lxmcur *src) {
  const lxlangid *h = c.h;
  const size_t mb = h->mb_len ? h->mb_len : 1;
  const bool nulterm = (c.flags & LXO_NULTERM) != 0;
  const bool exact = c.exact();
  const lxcsm2uf dec = lxcsdecoder(c.cs);
  const lxcsu2mf enc = lxcsencoder(c.cs);
  const lxsrtobj *sort = sort_of(c);
  int in = src->shifted ? 1 : 0, out = dst->shifted ? 1 : 0;

  auto value = [&](const uint8_t *p, size_t l) -> uint32_t {
    return l == 1 ? c.cs->sbu[p[0]] : dec(c.cs, p, uint16_t(l));
  };
  auto step_shifts = [&]() {
    while (c.si < c.srclen && lxmi::is_shift(h, c.s[c.si])) {
      in = c.s[c.si] == h->shift_out;
      ++c.si;
    }
  };
  // one output in the state its length needs; false when it does not fit
  auto emit = [&](const uint8_t *b, size_t n) -> bool {
    const int want = n > 1 ? 1 : 0;
    const size_t need = want ? n + 1 + (out ? 0 : 1) : 1 + (out ? 1 : 0);
    if (need > c.dst_left()) return false;
    if (want != out) c.d[c.di++] = lxmi::shift_byte(h, want);
    out = want;
    memcpy(c.d + c.di, b, n);
    c.di += n;
    return true;
  };
  auto emit_unit = [&](uint16_t u) -> bool {
    uint8_t b[kWorkBytes];
    const size_t n = enc(c.cs, b, u, kReplaceMulti, c.glo);
    return emit(b, n);
  };

  while (c.di < c.dstlen && c.si < c.srclen) {
    const size_t l = in ? mb : 1;
    if (l > c.src_left()) break;
    const uint8_t *p = c.s + c.si;
    if (nulterm && p[0] == 0) break;
    const uint32_t u1 = value(p, l);
    if (u1 > kLastBmp) {  // supplementary: copied, no lookup
      if (!emit(p, l)) {
        c.full = true;
        break;
      }
      c.si += l;
      ++c.nc;
      ++c.nc2;
      step_shifts();
      continue;
    }
    // consume c; a character whose first output does not fit goes back
    const size_t si0 = c.si;
    const int in0 = in;
    c.si += l;
    step_shifts();
    const size_t ni = c.si;
    size_t nl = 0;
    uint32_t u2 = 0;
    if (ni < c.srclen && !(c.s[ni] == 0 && (nulterm || !exact))) {
      nl = in ? mb : 1;
      if (nl > c.srclen - ni) nl = 0;
      else u2 = value(c.s + ni, nl);
    }
    auto give_back = [&]() {
      c.si = si0;
      in = in0;
      c.full = true;
    };
    // c as its base letter; false when the walk ends there (c has no base
    // letter, or its base letter does not fit and c goes back)
    auto base_step = [&]() -> bool {
      const uint16_t b = base_letter(c.sort, uint16_t(u1));
      if (b == 0) {
        ++c.nc;
        return false;
      }
      if (!emit_unit(b)) {
        give_back();
        return false;
      }
      ++c.nc;
      ++c.nc2;
      return true;
    };
    if (nl && u2 > kLastBmp) {
      // c as its base letter, then the supplementary character unchanged
      if (!base_step()) break;
      if (!emit(c.s + ni, nl)) {
        c.full = true;
        break;
      }
      c.si = ni + nl;
      ++c.nc;
      ++c.nc2;
      step_shifts();
      continue;
    }
    Entry x;
    if (read_entry(lxligsbl(sort, uint16_t(u1), uint16_t(u2)), x)) {
      unsigned k = 0;
      while (k < x.count && emit_unit(x.out[k])) ++k;
      if (k == 0) {
        give_back();
        break;
      }
      ++c.nc;
      c.nc2 += k;
      if (x.pair && nl && u2 != 0) {
        c.si = ni + nl;
        ++c.nc;
        step_shifts();
      }
      if (k < x.count) {
        c.cut = true;
        break;
      }
      continue;
    }
    if (!base_step()) break;
  }
  src->shifted = in;
  dst->shifted = out;
}

}  // namespace lxocase
