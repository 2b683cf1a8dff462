// Multilingual comparison: both texts converted a character or two at a
// time into UTF-16 units and collation elements, compared level by level as
// the elements come. Equal leading units are skipped without look-ups.
//
// The elements of each side are taken in clusters: one element with a
// primary weight (a base) and the combining marks after it (at most
// kMarkRun). Primaries of two bases decide at once; secondary and tertiary
// differences are remembered. A secondary difference among marks is held
// pending until the next pair of bases (or the end), and a side with extra
// marks is greater at that level. Elements with only a tertiary weight are
// taken out of the stream and decide when nothing else has.
//
// Texts whose first characters are single bytes that key to plain base
// elements of different primaries are ordered by those primaries before
// the sides are set up (without composition nothing after a base can
// change a primary decision).
#include <string.h>

#include "lxc.h"
#include "lxl.h"
#include "lxmint.h"
#include "lxo.h"
#include "lxoint.h"
#include "lxp.h"
#include "lxsfint.h"
#include "lxucint.h"

namespace {

using lxuc::Sort;

constexpr uint32_t kCaseless = 0x10, kAccentless = 0x200;
constexpr uint32_t kNulTerm = 0x10000000;
constexpr size_t kMarkRun = 12;     // marks of one cluster
constexpr size_t kSkipRing = 32;    // units the prefix skip can step back over
constexpr size_t kFeedChars = 16;   // most characters converted at once by the prefix skip
constexpr size_t kByteBack = 6;     // characters the byte-level skip keeps before a difference
constexpr uint16_t kAL16UTF16 = 2000;

enum class Kind { ignorable, tertiary, mark, base };
Kind kind(uint32_t e) {
  if (e >> 16) return Kind::base;
  if (e & 0xFF00u) return Kind::mark;
  return (e & 0xFFu) ? Kind::tertiary : Kind::ignorable;
}
int sign(int64_t v) { return (v > 0) - (v < 0); }

struct Cluster {
  bool end = false;
  bool has_base = false;
  uint32_t base = 0;
  uint32_t marks[kMarkRun];
  size_t nmarks = 0;
  uint32_t ter = 0;  // the first tertiary-only element met while fetching it
};

struct Side {
  lxmcur *cur;
  size_t len;         // bytes of the text
  size_t consumed = 0;
  uint32_t pflags;
  lxglo *g;
  const void *sort;
  lxucstate st{};
  uint16_t units[LXUC_UNITS];
  uint32_t q[2 * LXUC_ELEMS + kMarkRun + 2];  // elements waiting
  size_t qh = 0, qt = 0;
  bool held = false;  // cl holds a cluster not yet compared
  Cluster cl;
  bool has_peek = false;
  uint32_t peek = 0;
  uint32_t head_ter = 0;  // a tertiary-only element met while peeking
  // History of the cluster's base and marks, for composition.
  uint8_t hist[LXUC_HIST];
  size_t nhist = 0;

  Side(lxmcur *c, size_t n, uint32_t pf, lxglo *glo, const void *so)
      : cur(c), len(n), pflags(pf), g(glo), sort(so) {
    st.need = 1;
    st.eot = n == 0;
  }

  // Converts up to n characters at st.fill.
  void feed(size_t n) {
    size_t used = 0;
    size_t got = lxucom2u(units + st.fill, LXUC_UNITS - st.fill, cur, &used, n, pflags, g);
    consumed += used;
    st.nunits = st.fill + got;
    st.fill = 0;
    st.need = 0;
    if (got == 0 || consumed >= len) st.eot = 1;
  }

  // The next element; false when the text has no more.
  bool next(uint32_t &e) {
    while (qh == qt) {
      if (st.nunits == 0) {
        if (st.eot) return false;
        st.fill = 0;
        feed(1);
        continue;
      }
      uint32_t out[LXUC_ELEMS];
      int code = lxucGetKeys(sort, &st, units, out, cur->langid);
      if (code == LXUC_K_ELEMS) {
        qh = 0;
        qt = st.nelems;
        memcpy(q, out, qt * sizeof *q);
      } else if (st.need > 0) {
        feed(st.need);
      }
      // LXUC_K_HANGUL with need 0: the composed syllable is keyed next.
    }
    e = q[qh++];
    return true;
  }

  // The next element that is a base or a mark; tertiary-only elements are
  // noted in ter.
  bool next_significant(uint32_t &e, uint32_t &ter) {
    if (has_peek) {
      has_peek = false;
      e = peek;
      return true;
    }
    while (next(e)) {
      Kind k = kind(e);
      if (k == Kind::base || k == Kind::mark) return true;
      if (k == Kind::tertiary && ter == 0) ter = e;
    }
    return false;
  }

  // The next base or mark, left to be taken again.
  bool peek_head(uint32_t &e) {
    if (!has_peek) {
      if (!next_significant(peek, head_ter)) return false;
      has_peek = true;
    }
    e = peek;
    return true;
  }

  // Puts elements back in front of the waiting ones.
  void unread(const uint32_t *e, size_t n) {
    uint32_t rest[sizeof q / sizeof *q];
    size_t nrest = qt - qh;
    memcpy(rest, q + qh, nrest * sizeof *q);
    size_t room = sizeof q / sizeof *q;
    if (n > room) n = room;
    if (nrest > room - n) nrest = room - n;
    memcpy(q, e, n * sizeof *q);
    memcpy(q + n, rest, nrest * sizeof *q);
    qh = 0;
    qt = n + nrest;
  }
};

struct Compare {
  Sort sort;
  uint8_t levels = 4;
  bool rev = false;
  bool compose = false;
  lxglo *g;
  Compare(const void *so, lxglo *glo) : sort(so), g(glo) {}
  bool has_sec = false, has_ter = false, has_pending = false;
  int sec = 0, ter = 0, pending = 0;

  void commit() {
    if (has_pending && (!has_sec || rev)) {
      sec = pending;
      has_sec = true;
    }
    has_pending = false;
  }

  // Composes the cluster's base and marks when its history holds them;
  // true when the cluster's elements were replaced (to be fetched again).
  bool composed(Side &s) {
    if (s.nhist <= 2) return false;
    lxlangid h = *s.cur->langid;  // a private copy: the caller's handle is never switched
    const lxcsobj *cs = lxmi::charset(&h, g);
    if (cs && cs->id != kAL16UTF16 && !(h.flags & LXH_F_AL16UTF16)) {
      if (!lxpcidset(kAL16UTF16, 0, &h, g)) return false;
    }
    uint8_t out[2 * LXUC_HIST];
    size_t n = lxcscom(&h, out, sizeof out, s.hist, s.nhist);
    if (n == 0 || n % 2 != 0 || n > sizeof out || (n == s.nhist && memcmp(out, s.hist, n) == 0))
      return false;
    // Key the composed units afresh.
    lxucstate st{};
    uint16_t units[LXUC_UNITS];
    size_t nu = n / 2 < LXUC_UNITS ? n / 2 : LXUC_UNITS;
    for (size_t i = 0; i < nu; ++i) units[i] = static_cast<uint16_t>(out[2 * i] << 8 | out[2 * i + 1]);
    st.nunits = nu;
    st.eot = 1;
    uint32_t elems[2 * LXUC_ELEMS];
    size_t ne = 0;
    for (int guard = 0; st.nunits > 0 && guard < LXUC_UNITS * 2; ++guard) {
      uint32_t e[LXUC_ELEMS];
      if (lxucGetKeys(s.sort, &st, units, e, &h) == LXUC_K_ELEMS)
        for (size_t i = 0; i < st.nelems && ne < sizeof elems / sizeof *elems; ++i) elems[ne++] = e[i];
    }
    if (s.has_peek) {
      if (ne < sizeof elems / sizeof *elems) elems[ne++] = s.peek;
      s.has_peek = false;
    }
    s.unread(elems, ne);
    s.nhist = 0;
    return true;
  }

  void fetch(Side &s) {
    if (s.held) return;
    for (int pass = 0; pass < 2; ++pass) {
      Cluster c;
      c.ter = s.head_ter;
      s.head_ter = 0;
      uint32_t e;
      if (!s.next_significant(e, c.ter)) {
        c.end = true;
        s.cl = c;
        s.held = true;
        return;
      }
      if (kind(e) == Kind::base) {
        c.has_base = true;
        c.base = e;
      } else {
        c.marks[c.nmarks++] = e;
      }
      s.nhist = 0;
      while (s.next_significant(e, c.ter)) {
        if (kind(e) != Kind::mark || c.nmarks == kMarkRun) {
          s.peek = e;
          s.has_peek = true;
          break;
        }
        c.marks[c.nmarks++] = e;
        // The base and marks as the history holds them now.
        memcpy(s.hist, s.st.hist, s.st.nhist);
        s.nhist = s.st.nhist;
      }
      if (pass == 0 && compose && c.has_base && c.nmarks > 0 && composed(s)) continue;
      s.cl = c;
      s.held = true;
      return;
    }
  }

  // Marks of two clusters at the secondary level; a side with extra marks is
  // greater.
  void marks(const Cluster &l, const Cluster &r) {
    size_t n = l.nmarks < r.nmarks ? l.nmarks : r.nmarks;
    for (size_t i = 0; i < n; ++i) {
      uint32_t a = l.marks[i], b = r.marks[i];
      int d = static_cast<int>((a >> 8) & 0xFF) - static_cast<int>((b >> 8) & 0xFF);
      if (levels >= 2 && d != 0 && (!has_pending || rev)) {
        pending = d;
        has_pending = true;
      }
      if (levels == 4 && a != b && !has_sec && !has_ter && d == 0) {
        ter = sign(static_cast<int64_t>(a) - b);
        has_ter = true;
      }
    }
    if (l.nmarks != r.nmarks && levels >= 2 && (!has_sec || rev)) {
      pending = l.nmarks > r.nmarks ? 1 : -1;
      has_pending = true;
    }
  }

  // The pairwise comparison; returns nonzero for a primary decision.
  int run(Side &l, Side &r) {
    for (;;) {
      if (!compose && !l.held && !r.held) {
        // A primary difference of the next bases decides before their marks
        // are gathered.
        uint32_t el, er;
        if (l.peek_head(el) && r.peek_head(er) && kind(el) == Kind::base &&
            kind(er) == Kind::base && (el >> 16) != (er >> 16))
          return (el >> 16) < (er >> 16) ? -1 : 1;
      }
      fetch(l);
      fetch(r);
      Cluster &a = l.cl, &b = r.cl;
      if (!has_sec && !has_ter && (a.ter || b.ter) && a.ter != b.ter) {
        ter = a.ter && b.ter ? sign(static_cast<int64_t>(a.ter) - b.ter) : (a.ter ? 1 : -1);
        has_ter = true;
      }
      a.ter = b.ter = 0;
      if (a.end && b.end) return 0;
      if (a.end || b.end) {
        Cluster &other = a.end ? b : a;
        if (other.has_base) return a.end ? -1 : 1;
        Cluster none;
        if (a.end) marks(none, b); else marks(a, none);
        (a.end ? r : l).held = false;
        continue;
      }
      if (a.has_base && b.has_base) {
        commit();
        uint32_t pa = a.base >> 16, pb = b.base >> 16;
        if (pa != pb) return pa < pb ? -1 : 1;
        int d = static_cast<int>((a.base >> 8) & 0xFF) - static_cast<int>((b.base >> 8) & 0xFF);
        if (levels >= 2 && d != 0 && (!has_sec || rev)) {
          sec = d;
          has_sec = true;
        }
        if (levels == 4 && a.base != b.base && !has_sec && !has_ter) {
          ter = sign(static_cast<int64_t>(a.base) - b.base);
          has_ter = true;
        }
        marks(a, b);
        l.held = r.held = false;
      } else if (!a.has_base && !b.has_base) {
        marks(a, b);
        l.held = r.held = false;
      } else {
        // Marks on one side where the other has its next base: extra marks.
        Cluster none;
        if (a.has_base) {
          marks(none, b);
          r.held = false;
        } else {
          marks(a, none);
          l.held = false;
        }
      }
    }
  }
};

// Drops n units from the front of a side's buffer.
void drop(Side &s, size_t n) {
  memmove(s.units, s.units + n, (s.st.nunits - n) * sizeof *s.units);
  s.st.nunits -= n;
}

// The unit-level prefix skip: equal units are dropped from both sides; at
// the first difference both sides step back over the units that the
// elements there may depend on.
void skip_prefix(Side &l, Side &r, const Sort &sort) {
  uint16_t ring[kSkipRing];
  size_t dropped = 0;
  size_t feed = 2;  // grows while the texts stay equal
  for (;;) {
    Side *both[2] = {&l, &r};
    for (Side *s : both)
      if (s->st.nunits == 0 && !s->st.eot) {
        s->st.fill = 0;
        s->feed(feed);
      }
    if (feed < kFeedChars) feed *= 2;
    if (l.st.nunits == 0 || r.st.nunits == 0 || l.units[0] != r.units[0]) break;
    ring[dropped % kSkipRing] = l.units[0];
    ++dropped;
    drop(l, 1);
    drop(r, 1);
  }
  if (dropped == 0) return;
  size_t k;
  if (sort.has_contraction_table()) {
    k = 5;
  } else {
    int code[2] = {LXUC_K_ELEMS, LXUC_K_ELEMS};
    bool mark = false;
    Side *side[2] = {&l, &r};
    for (int i = 0; i < 2; ++i) {
      if (side[i]->st.nunits == 0) continue;
      uint32_t e[LXUC_ELEMS];
      size_t n = 0;
      code[i] = lxucUC2key(side[i]->sort, side[i]->units, e, &n);
      if (n > 0 && lxuc::is_mark(e[0])) mark = true;
    }
    if (code[0] == LXUC_K_ELEMS && code[1] == LXUC_K_ELEMS)
      k = mark ? 3 : 0;
    else if (code[0] == LXUC_K_CANON || code[1] == LXUC_K_CANON || code[0] == LXUC_K_HANGUL ||
             code[1] == LXUC_K_HANGUL)
      k = 2;
    else
      k = 1;
  }
  if (k > dropped) k = dropped;
  if (k > kSkipRing) k = kSkipRing;
  Side *both[2] = {&l, &r};
  for (Side *s : both) {
    if (s->st.nunits + k > LXUC_UNITS) continue;  // never: the skip holds at most kFeedChars units
    memmove(s->units + k, s->units, s->st.nunits * sizeof *s->units);
    for (size_t i = 0; i < k; ++i) s->units[i] = ring[(dropped - k + i) % kSkipRing];
    s->st.nunits += k;
  }
}

// The order of two texts decided by their first characters, or 0 when the
// whole comparison must run. It decides where the whole road would decide
// at the first pair of elements: both first characters are one byte, differ,
// are converted without case or accent preprocessing, key to plain elements
// (no contraction, canonical, Thai, surrogate or Hangul kind) whose first
// element has a primary weight, and the primaries differ. Without
// composition a base's primary decides before anything after it is looked
// at, so the characters that follow cannot change that order.
// The first element of unit u when lxucUC2key would give it as a plain
// element of its direct or main table (a value below the references, and
// no Thai vowel written first); 0 when u takes another road. The reads are
// lxucUC2key's, checked by the same Sort.
uint32_t plain_element(const Sort &s, uint16_t u) {
  if (u < 256 && (s.flags & LXUC_F_DIRECT)) {
    const uint32_t e = s.r32(s.table(lxuc::kDirect) + 8 * static_cast<size_t>(u));
    return e < LXUC_REF ? e : 0;
  }
  const size_t t = s.table(lxuc::kMain);
  const uint32_t block = s.r16(t + 2 * static_cast<size_t>(u >> 8));
  const uint32_t e = s.r32(t + lxuc::kMainElems + 4 * (static_cast<size_t>(block) + (u & 0xFFu)));
  if ((s.flags & LXUC_F_THAI) && ((u >= 0x0E40 && u < 0x0E45) || (u >= 0x0EC0 && u <= 0x0EC4)))
    return 0;
  return e < LXUC_REF ? e : 0;
}

// The primary of unit u's first element when that element is a base, else
// 0 (the whole comparison decides).
uint32_t first_primary(const Sort &s, const void *so, uint16_t u) {
  uint32_t e = plain_element(s, u);
  if (e == 0) {
    uint32_t out[LXUC_ELEMS];
    size_t n = 0;
    if (lxucUC2key(so, &u, out, &n) != LXUC_K_ELEMS || n == 0) return 0;
    e = out[0];
  }
  return kind(e) == Kind::base ? e >> 16 : 0;
}

int first_chars(const lxmcur *left, size_t llen, const lxmcur *right, size_t rlen,
                uint32_t flags, const Sort &sort, const void *so, const lxcsobj *cs, bool compose) {
  constexpr uint32_t kPreprocess = kCaseless | kAccentless | 0x400u;
  const lxlangid *h = left->langid;
  if (compose || llen == 0 || rlen == 0 || (flags & kPreprocess) || right->langid != h ||
      (h->flags & (LXH_F_WIDE | LXH_F_SHIFT)) || !lxoi::first_chars_may_decide())
    return 0;
  const uint8_t a = left->pos[0], b = right->pos[0];
  if (a == b || ((flags & kNulTerm) && (a == 0 || b == 0))) return 0;
  if (cs->maxbytes != 1 && (lxmi::lead_len(cs, a) != 1 || lxmi::lead_len(cs, b) != 1)) return 0;
  const uint32_t pa = first_primary(sort, so, cs->sbu[a]);
  if (pa == 0) return 0;
  const uint32_t pb = first_primary(sort, so, cs->sbu[b]);
  return pb == 0 || pa == pb ? 0 : pa < pb ? -1 : 1;
}

}  // namespace

extern "C" int lxoUcCmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
                        uint8_t levels, lxglo *g) {
  const lxlangid *h = left->langid;
  return lxoi::uc_cmp(left, llen, right, rlen, flags, levels, g, lxn::loaded(g, h->sort),
                      lxmi::charset(h, g));
}

int lxoi::uc_cmp(lxmcur *left, size_t llen, lxmcur *right, size_t rlen, uint32_t flags,
                 uint8_t levels, lxglo *g, const void *so, const lxcsobj *cs) {
  const lxlangid *h = left->langid;
  if (!so || !cs) return 0;
  Compare c(so, g);
  if (flags & kAccentless) {
    c.levels = 1;
  } else {
    c.levels = levels;
    if ((flags & kCaseless) && c.levels != 1) c.levels = 2;
    if (c.levels != 1 && c.levels != 2) c.levels = 4;
  }
  uint32_t pflags = flags;
  if ((flags & kCaseless) && (c.sort.flags & LXUC_F_CASE) && (flags & kNulTerm)) pflags = kNulTerm;
  c.rev = (c.sort.flags & LXUC_F_REVSEC) != 0;
  c.compose = c.sort.compose() && lxoi::unicode_text(h, cs);
  if (int d = first_chars(left, llen, right, rlen, flags, c.sort, so, cs, c.compose)) return d;

  // The cursors are walked bounded by the lengths given and put back after.
  const lxoi::CursorMark at[2] = {lxoi::mark(left), lxoi::mark(right)};
  left->len = static_cast<size_t>(left->pos - left->start) + llen;
  right->len = static_cast<size_t>(right->pos - right->start) + rlen;

  size_t skipped =
      lxsf::equal_prefix(left, llen, right, rlen, cs, (flags & kNulTerm) != 0, kByteBack);
  left->pos += skipped;
  right->pos += skipped;
  Side l(left, llen - skipped, pflags, g, so), r(right, rlen - skipped, pflags, g, so);
  skip_prefix(l, r, c.sort);
  int result = c.run(l, r);
  if (result == 0) {
    c.commit();
    const bool nul = (flags & kNulTerm) != 0;
    if (!c.has_sec && !c.has_ter) {
      if (!nul && l.consumed < l.len)
        result = 1;
      else if (!nul && r.consumed < r.len)
        result = -1;
    } else if (c.rev) {
      result = c.sec ? c.sec : c.ter;
    } else {
      result = c.has_sec ? c.sec : c.ter;
    }
  }
  lxoi::restore(left, at[0]);
  lxoi::restore(right, at[1]);
  return result;
}
