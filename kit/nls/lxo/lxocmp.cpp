// Linguistic comparison of two texts at character cursors. lxoCmpStr
// extends the caller's flags from the handle's sort options and picks the
// comparison that applies, the first of:
//   1. binary (flag LXO_CMP_BINARY, or a handle without a sort): the
//      single-byte forms below, or lxoBinCmpMutl for multibyte text;
//   2. a special sort (sort flag 0x20): its comparator row of lxsftb;
//   3. a multilingual sort (id 4096 and above): lxoUcCmp at four levels;
//   4. multibyte text that is not Unicode text: lxoBinCmpMutl;
//   5. otherwise the monolingual comparison (lxoi::mono_cmp).
// The left cursor's handle governs both texts. Lengths are bytes from the
// cursors' pos. Plain binary order of single-byte text is settled at the
// entry; the rest finds the handle's sort and charset objects once and
// hands them down, and the monolingual and multilingual comparisons first
// try to decide from the two first characters alone (where the first step
// of their whole road would decide) before they set up.
//
// Invariants: every path gives both cursors back with the pos, shifted and
// len they came with (the binary forms read through their own pointers, the
// special-sort call is undone); status is cleared on entry and only the
// parts called (case conversion, special sorts) set it. A conversion or key
// that fails never makes different texts equal: the differing bytes decide
// and the failing status stays. Nothing is allocated; case and accent
// conversion work in fixed areas on the stack and run only on characters
// that differ byte-wise.
//
// Callers: lxsCmpStr, lxCmpStr (which gets the NUL-terminated single-byte
// binary case back), the calendar name match, tests.
#include <assert.h>
#include <string.h>

#include "lxc.h"
#include "lxccodec.h"
#include "lxfglo.h"
#include "lxl.h"
#include "lxlget.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxoint.h"
#include "lxsfint.h"
#include "lxuc.h"

namespace {

constexpr uint32_t kBinary = LXO_CMP_BINARY;
constexpr uint32_t kNoCase = LXO_CMP_NOCASE;
constexpr uint32_t kNoAccent = LXO_CMP_NOACCENT;
constexpr uint32_t kNulTerm = LXO_NULTERM;
constexpr uint32_t kExactLen = LXO_EXACTLEN;
constexpr uint32_t kCsPlainBytes = 0x10000;  // charset flag: multibyte binary may compare bytes
constexpr uint8_t kAllLevels = 4;            // levels the multilingual comparison is asked for
constexpr size_t kWork = 20;                 // room of one converted character
constexpr size_t kLongest32 = LXCMP_NUL - 1; // longest length lxCmpStr takes as a count

int sign_of(int v) { return (v > 0) - (v < 0); }
int order_of_lengths(size_t a, size_t b) { return a < b ? -1 : a > b ? 1 : 0; }

// The caller's flags with the handle's sort options: accent-insensitive
// only, or else case-insensitive.
uint32_t extended(uint32_t flags, const lxlangid *h) {
  if (h->opts & LXH_O_AI) return flags | kNoAccent;
  if (h->opts & LXH_O_CI) return flags | kNoCase;
  return flags;
}

// The handle's sort object when it is loaded and holds its fixed part.
const lxsrtobj *sort_object(const lxlangid *h, lxglo *glo) {
  const auto *so = reinterpret_cast<const lxsrtobj *>(lxn::loaded(glo, h->sort));
  if (!so || so->hdr.size < sizeof(lxsrtobj)) return nullptr;
  return so;
}

// The comparator row of the handle's special sort, NULL when the row holds
// no comparator.
lxsfcmp special_comparator(const lxlangid *h) {
  const unsigned row = h->sort_cmp_row;
  if (row >= LXSF_ROWS) return nullptr;
  const lxsfent &e = lxsftb[row];
  return e.number != 0 && lxsfcmpnum(e.number) ? e.fn.cmp : nullptr;
}

// ---- Base letters of differing characters ----------------------------------

// One character converted into base letters by lxsCnvCase.
struct Form {
  uint8_t b[kWork];
  size_t n = 0;
  uint32_t status = 0;
};

// Converts len bytes at p (a multibyte character of a shift-sensitive set
// shifted out gets its shift-out byte first, so that it is read as one).
void convert(Form &f, const uint8_t *p, size_t len, bool shifted_out, uint32_t flags,
             const lxlangid *h, lxglo *glo) {
  uint8_t in[1 + kWork];
  size_t n = 0;
  if (shifted_out) in[n++] = h->shift_out;
  if (len > sizeof in - n) {
    f.status = LXS_SMALL;  // longer than any character: no form to compare
    return;
  }
  memcpy(in + n, p, len);
  n += len;
  f.n = lxsCnvCase(f.b, sizeof f.b, in, n, flags, h, glo);
  f.status = glo->status;
  if (f.status == 0 && f.n == 0) f.status = LXS_SMALL;  // nothing came out: no form to compare
}

// The order of two differing characters by their base letters; 0 when the
// forms are equal. With prefix_equal, a shorter form that begins the longer
// one counts as equal, else the longer one sorts after. When either
// conversion fails, *failed is set, status keeps the failure and the
// caller compares the bytes.
int base_order(const uint8_t *a, size_t alen, bool ashift, const uint8_t *b, size_t blen,
               bool bshift, uint32_t flags, bool prefix_equal, const lxlangid *h, lxglo *glo,
               bool *failed) {
  Form fa, fb;
  convert(fa, a, alen, ashift, flags, h, glo);
  convert(fb, b, blen, bshift, flags, h, glo);
  if (fa.status != 0 || fb.status != 0) {
    glo->status = fa.status != 0 ? fa.status : fb.status;
    *failed = true;
    return 0;
  }
  *failed = false;
  const size_t n = fa.n < fb.n ? fa.n : fb.n;
  const int c = memcmp(fa.b, fb.b, n);
  if (c != 0) return sign_of(c);
  return prefix_equal ? 0 : order_of_lengths(fa.n, fb.n);
}

// ---- Single-byte binary forms ----------------------------------------------

// Accent-insensitive single-byte text: differing bytes are compared by their
// base letters. With nul a text ends at a NUL before its length.
int single_accentless(const uint8_t *a, size_t alen, const uint8_t *b, size_t blen, bool nul,
                      const lxlangid *h, lxglo *glo) {
  const uint32_t conv = (nul ? kNulTerm : kExactLen) | kNoAccent;
  auto differ = [&](size_t i) {
    bool failed = false;
    const int d = base_order(a + i, 1, false, b + i, 1, false, conv, false, h, glo, &failed);
    return failed ? (a[i] < b[i] ? -1 : 1) : d;
  };
  if (nul) {
    for (size_t i = 0;; ++i) {
      const bool aend = i >= alen || a[i] == 0, bend = i >= blen || b[i] == 0;
      if (aend) return bend ? 0 : -1;
      // The right text ended first: whatever follows, the left one is greater.
      if (bend) return 1;
      if (a[i] != b[i])
        if (int d = differ(i)) return d;
    }
  }
  const size_t n = alen < blen ? alen : blen;
  for (size_t i = 0; i < n; ++i)
    if (a[i] != b[i])
      if (int d = differ(i)) return d;
  return order_of_lengths(alen, blen);
}

// Binary comparison of single-byte text.
int single_binary(const lxmcur *left, size_t llen, const lxmcur *right, size_t rlen,
                  uint32_t flags, lxglo *glo) {
  const lxlangid *h = left->langid;
  const uint8_t *a = left->pos, *b = right->pos;
  const bool nul = (flags & kNulTerm) != 0;
  if (flags & kNoAccent) return single_accentless(a, llen, b, rlen, nul, h, glo);
  if (nul) {
    // lxCmpStr's byte walk ends a text at its NUL; it is asked for binary
    // order whatever the caller's other bits, so it never hands back.
    const uint32_t la = llen < kLongest32 ? uint32_t(llen) : uint32_t(kLongest32);
    const uint32_t lb = rlen < kLongest32 ? uint32_t(rlen) : uint32_t(kLongest32);
    return lxCmpStr(a, b, la, lb, flags & kNoCase, h, glo);
  }
  const size_t n = llen < rlen ? llen : rlen;
  const lxcsobj *cs = (flags & kNoCase) ? lxmi::charset(h, glo) : nullptr;
  if (cs) {
    // The charset's own lower-case table: an ASCII fold would make EBCDIC
    // signs equal to other signs.
    const uint8_t *low = cs->lower;
    for (size_t i = 0; i < n; ++i)
      if (low[a[i]] != low[b[i]]) return int(low[a[i]]) - int(low[b[i]]);
    return order_of_lengths(llen, rlen);
  }
  return lxsf::byte_order(a, llen, b, rlen);
}

// ---- Multibyte binary walk -------------------------------------------------

// One text of lxoBinCmpMutl: its own position, byte count and shift state.
struct Walk {
  const uint8_t *p;
  size_t len, count = 0;
  bool shifted;
  const uint8_t *ch = nullptr;  // the character taken last
  size_t chlen = 0;
  bool ch_shifted = false;
};

// A zero character in n bytes at p (a zero unit at an even offset in a
// wide-unit set).
bool has_zero(const uint8_t *p, size_t n, bool wide) {
  if (!wide) return memchr(p, 0, n) != nullptr;
  bool zero = false;
  for (size_t i = 0; i + 1 < n; i += 2) zero |= (p[i] | p[i + 1]) == 0;
  return zero;
}

// The length of the common prefix of a and b within n bytes that holds no
// zero character (whole units in a wide-unit set): whole chunks by memcmp
// first, so that a long equal prefix costs little more than memcmp.
size_t zero_free_prefix(const uint8_t *a, const uint8_t *b, size_t n, bool wide) {
  constexpr size_t kChunk = 64;
  size_t d = 0;
  while (n - d >= kChunk && memcmp(a + d, b + d, kChunk) == 0 && !has_zero(a + d, kChunk, wide))
    d += kChunk;
  const size_t step = wide ? 2 : 1;
  while (n - d >= step && memcmp(a + d, b + d, step) == 0 && !has_zero(a + d, step, wide)) d += step;
  return d;
}

// Takes the next character by the length rule of cur's handle; false when
// the text has ended (its length reached, a character cut off by it, or
// with nul a zero character).
bool take(Walk &w, const lxmcur *cur, const lxcsobj *cs, bool nul, bool wide) {
  if (w.count == w.len) return false;
  const uint8_t *at = w.p + w.count;
  size_t n = 1;
  if (cur->single_byte)
    n = 1;
  else if (cur->shift_sensitive)
    n = w.shifted && cur->langid->mb_len ? cur->langid->mb_len : 1;
  else
    n = lxmi::lead_len(cs, *at);
  if (n > w.len - w.count) return false;
  if (nul && at[0] == 0 && (!wide || n < 2 || at[1] == 0)) return false;
  w.ch = at;
  w.chlen = n;
  w.ch_shifted = w.shifted;
  w.count += n;
  return true;
}

// Steps over the shift bytes after a character, keeping the state.
void pass_shifts(Walk &w, const lxlangid *h) {
  while (w.count < w.len && lxmi::is_shift(h, w.p[w.count])) {
    w.shifted = w.p[w.count] == h->shift_out;
    ++w.count;
  }
}

// The lower-case wide value of a character through a cursor of its own
// under cur's handle.
uint32_t lower_wide(const lxmcur *cur, const Walk &w, lxglo *glo) {
  lxmcur c = *cur;
  c.start = c.pos = const_cast<unsigned char *>(w.ch);
  c.len = w.chlen;
  c.shifted = w.ch_shifted;
  return lxoCnvCh2Wide(&c, LXO_CASE_LOWER, glo);
}

// The order of two differing characters, both read under the left cursor's
// handle; 0 when the flags make them equal.
int char_order(const lxmcur *lc, const Walk &l, const Walk &r, uint32_t flags, const lxcsobj *cs,
               lxglo *glo) {
  const lxlangid *h = lc->langid;
  if (flags & kNoAccent) {
    // Base letters first: an accented letter may be longer than its base.
    bool failed = false;
    const int d = base_order(l.ch, l.chlen, l.ch_shifted && l.chlen > 1, r.ch, r.chlen,
                             r.ch_shifted && r.chlen > 1, flags | kNoAccent, true, h, glo,
                             &failed);
    if (!failed) return d;
  }
  if (l.chlen != r.chlen) return l.chlen > r.chlen ? 1 : -1;
  if (l.chlen == 1) {
    const uint8_t a = l.ch[0], b = r.ch[0];
    if ((flags & kNoCase) && !(flags & kNoAccent) && cs)
      return int(cs->lower[a]) - int(cs->lower[b]);
    return int(a) - int(b);
  }
  if ((flags & kNoCase) && !(flags & kNoAccent)) {
    // A character the case tables give no form (0) is compared by its bytes.
    const uint32_t a = lower_wide(lc, l, glo), b = lower_wide(lc, r, glo);
    if (a != 0 && b != 0) return a == b ? 0 : a < b ? -1 : 1;
  }
  size_t i = 0;
  while (l.ch[i] == r.ch[i]) ++i;  // they differ somewhere: same length, unequal bytes
  return int(l.ch[i]) - int(r.ch[i]);
}

}  // namespace

#ifdef QEN_TEST_HOOKS
bool lxoi::cmp_whole_road = false;
#endif

extern "C" int lxoBinCmpMutl(lxmcur *left, size_t llen, lxmcur *right, size_t rlen,
                             uint32_t flags, lxglo *glo) {
  assert(left && right && left->langid && glo);
  const lxlangid *h = left->langid;
  const lxcsobj *cs = lxmi::charset(h, glo);
  const bool nul = (flags & kNulTerm) != 0;
  if (!(flags & (kNulTerm | kNoCase | kNoAccent)) &&
      ((h->flags & LXH_F_FIXED) || (cs && (cs->flags & kCsPlainBytes)))) {
    return lxsf::byte_order(left->pos, llen, right->pos, rlen);
  }
  // The walk reads through its own pointers: the cursors never move.
  const bool wide = (h->flags & LXH_F_WIDE) != 0;
  Walk l{left->pos, llen, 0, left->shifted != 0};
  Walk r{right->pos, rlen, 0, right->shifted != 0};
  if (left->shift_sensitive) {
    pass_shifts(l, h);
    pass_shifts(r, h);
  } else {
    // Equal bytes are equal characters: start at a character boundary
    // before the first difference (or zero character), where the set lets
    // one be found.
    size_t ln = llen, rn = rlen;
    if (nul) ln = rn = zero_free_prefix(l.p, r.p, llen < rlen ? llen : rlen, wide);
    l.count = r.count = lxsf::equal_prefix(left, ln, right, rn, cs, false, 0);
  }
  for (;;) {
    const bool lmore = take(l, left, cs, nul, wide);
    const bool rmore = take(r, left, cs, nul, wide);
    if (!rmore) return lmore ? 1 : 0;
    if (!lmore) return -1;
    if (l.chlen != r.chlen || memcmp(l.ch, r.ch, l.chlen) != 0)
      if (int d = char_order(left, l, r, flags, cs, glo)) return d;
    if (left->shift_sensitive) {
      pass_shifts(l, h);
      pass_shifts(r, h);
    }
  }
}

namespace {

// lxoCmpStr past its most common case, with status cleared and a handle.
[[gnu::noinline]] int dispatch(lxmcur *left, size_t llen, lxmcur *right, size_t rlen,
                               uint32_t flags, lxglo *glo) {
  const lxlangid *h = left->langid;
  flags = extended(flags, h);
  auto binary = [&] {
    if (!left->single_byte) return lxoBinCmpMutl(left, llen, right, rlen, flags, glo);
    return single_binary(left, llen, right, rlen, flags, glo);
  };
  // A sort object that is not loaded, or too short to be one, leaves binary
  // order.
  const lxsrtobj *sort = (flags & kBinary) || h->sort == 0 ? nullptr : sort_object(h, glo);
  if (!sort) return binary();
  if (sort->flags & LXSRT_SPECIALSORT) {
    lxsfcmp fn = special_comparator(h);
    if (!fn) return binary();
    const lxoi::CursorMark at[2] = {lxoi::mark(left), lxoi::mark(right)};
    const int v = fn(left, llen, right, rlen, (flags & kNoCase) ? 1 : 0, 1, glo);
    lxoi::restore(left, at[0]);
    lxoi::restore(right, at[1]);
    return v;
  }
  // The objects are found once here and handed down.
  const lxcsobj *cs = lxmi::charset(h, glo);
  if (sort->id >= LXSRT_MULTI)
    return lxoi::uc_cmp(left, llen, right, rlen, flags, kAllLevels, glo, sort, cs);
  if (!left->single_byte && !lxoi::unicode_text(h, cs))
    return lxoBinCmpMutl(left, llen, right, rlen, flags, glo);
  return lxoi::mono_cmp(left, llen, right, rlen, flags, glo, sort, cs);
}

}  // namespace

extern "C" int lxoCmpStr(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
                         lxglo *glo) {
  assert(left && right && glo);
  glo->status = 0;
  const lxlangid *h = left->langid;
  // No handle to read the texts by, or single-byte text in plain binary
  // order (what single_binary does without the case, accent and NUL
  // flags, none added by the sort options): the bytes decide. Decided
  // here, ahead of the set-up the other comparisons need.
  if (!h || (left->single_byte && !(flags & (kNulTerm | kNoCase | kNoAccent)) &&
             !(h->opts & (LXH_O_AI | LXH_O_CI)) && ((flags & kBinary) || h->sort == 0)))
    return lxsf::byte_order(left->pos, llen, right->pos, rlen);
  return dispatch(left, llen, right, rlen, flags, glo);
}
