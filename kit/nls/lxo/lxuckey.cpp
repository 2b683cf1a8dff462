// Collation elements of UTF-16 units under a multilingual sort: table
// look-up, expansions, contractions, canonical combining characters whose
// element depends on the character before, Thai and Lao vowels written first,
// surrogate pairs and Hangul jamo.
#include <string.h>

#include "lxucint.h"

using lxuc::Sort;

namespace {

constexpr uint32_t kDerivedPrimary = 0xFFFF0000u;  // first element of a unit without one
constexpr uint32_t kNulElement = 1;                 // the element of unit 0
constexpr uint32_t kImplicitLow = 0x0101;           // secondary and tertiary of implicit halves
constexpr uint16_t kHighFirst = 0xD800, kLowFirst = 0xDC00, kLowLast = 0xDFFF;

// Sink of elements, never past LXUC_ELEMS.
struct Out {
  uint32_t *e;
  size_t n = 0;
  void put(uint32_t v) {
    if (n < LXUC_ELEMS) e[n++] = v;
  }
};

void derived(Out &o, uint16_t u) {
  o.put(kDerivedPrimary);
  o.put(static_cast<uint32_t>(u) << 16);
}

void implicit(Out &o, uint32_t e) {
  o.put((e & 0xFFFF0000u) + kImplicitLow);
  o.put(((e & 0xFFFFu) << 16) + kImplicitLow);
}

// The elements of expansion i.
void expansion(const Sort &s, Out &o, uint32_t i) {
  size_t t = s.table(lxuc::kExpand);
  uint32_t count = s.r32(t + 4 * static_cast<size_t>(i)) & 0xFFFFu;
  for (uint32_t k = 1; k <= count && s.in(t + 4 * (static_cast<size_t>(i) + k), 4); ++k)
    o.put(s.r32(t + 4 * (static_cast<size_t>(i) + k)));
}

bool is_thai_leading(uint16_t u) {
  return (u >= 0x0E40 && u < 0x0E45) || (u >= 0x0EC0 && u <= 0x0EC4);
}

// An element that is a resolved value of another table (contraction,
// surrogate): implicit weights and expansions are unfolded.
int resolve(const Sort &s, Out &o, uint32_t e) {
  if (e >= LXUC_IMPLICIT) {
    implicit(o, e);
  } else if ((e >> 16) == LXUC_EXPAND) {
    if (!(s.flags & LXUC_F_EXPAND)) return LXUC_K_OFF;
    expansion(s, o, e & 0xFFFFu);
  } else if (e >= LXUC_REF) {
    return LXUC_K_UNKNOWN;
  } else {
    o.put(e);
  }
  return LXUC_K_ELEMS;
}

}  // namespace

extern "C" int lxucUC2key(const void *sort, const uint16_t *units, uint32_t *elems,
                          size_t *count) {
  Sort s(sort);
  Out o{elems};
  uint16_t u = units[0];
  uint32_t e = 0;
  bool direct = false;
  if (u < 256 && (s.flags & LXUC_F_DIRECT)) {
    size_t at = s.table(lxuc::kDirect) + 8 * static_cast<size_t>(u);
    e = s.r32(at);
    if (e != 0 && e < LXUC_REF) {
      o.put(e);
      uint32_t second = s.r32(at + 4);
      if (second != 0) o.put(second);
      *count = o.n;
      return LXUC_K_ELEMS;
    }
    direct = true;
  }
  if (!direct) {
    size_t t = s.table(lxuc::kMain);
    uint32_t block = s.r16(t + 2 * static_cast<size_t>(u >> 8));
    e = s.r32(t + lxuc::kMainElems + 4 * (static_cast<size_t>(block) + (u & 0xFFu)));
    if ((s.flags & LXUC_F_THAI) && is_thai_leading(u)) {
      o.put(e);
      *count = o.n;
      return LXUC_K_THAI;
    }
  }
  int code = LXUC_K_ELEMS;
  if (e == 0) {
    if (u == 0) {
      o.put(kNulElement);
    } else if ((s.flags & LXUC_F_HANGUL) && (u & 0x1100u) != 0) {
      code = LXUC_K_HANGUL;
    } else {
      derived(o, u);
    }
  } else if (e < LXUC_REF) {
    o.put(e);
  } else {
    switch (e >> 16) {
      case LXUC_EXPAND:
        if (s.flags & LXUC_F_EXPAND)
          expansion(s, o, e & 0xFFFFu);
        else
          code = LXUC_K_OFF;
        break;
      case LXUC_CONTRACT:
        o.put(e);
        code = (s.flags & LXUC_F_CONTRACT) ? LXUC_K_CONTRACT : LXUC_K_OFF;
        break;
      case LXUC_CANON:
        o.put(e);
        code = (s.flags & LXUC_F_CANON) ? LXUC_K_CANON : LXUC_K_OFF;
        break;
      case LXUC_SURROGATE:
        o.put(e);
        code = LXUC_K_SURR;
        break;
      default:
        if (e >= LXUC_IMPLICIT)
          implicit(o, e);
        else
          code = LXUC_K_UNKNOWN;
        break;
    }
    if (code == LXUC_K_OFF || code == LXUC_K_UNKNOWN) o.n = 0;
  }
  *count = o.n;
  return code;
}

extern "C" void lxucConKey(const void *sort, lxucstate *st, uint32_t *elems,
                           const uint16_t *units, size_t *matched) {
  Sort s(sort);
  Out o{elems};
  uint8_t text[2 * (LXUC_UNITS - 1)];
  size_t n = st->nunits < LXUC_UNITS - 1 ? st->nunits : LXUC_UNITS - 1;
  for (size_t i = 0; i < n; ++i) {
    text[2 * i] = static_cast<uint8_t>(units[i] >> 8);
    text[2 * i + 1] = static_cast<uint8_t>(units[i]);
  }
  size_t t = s.table(lxuc::kMain);
  uint16_t u = units[0];
  uint32_t start = s.r32(t + lxuc::kMainElems +
                         4 * (static_cast<size_t>(s.r16(t + 2 * static_cast<size_t>(u >> 8))) +
                              (u & 0xFFu)));
  size_t c = s.table(lxuc::kContract) + lxuc::kConEntry * static_cast<size_t>(start & 0xFFFFu);
  for (;; c += lxuc::kConEntry) {
    const uint8_t *entry = s.bytes(c, lxuc::kConEntry);
    if (!entry) break;
    size_t len = entry[5];
    if (len != 0 && len <= lxuc::kConString && len % 2 == 0 && len <= 2 * n &&
        memcmp(entry + 6, text, len) == 0) {
      if (resolve(s, o, nlsobj::rd32(entry)) != LXUC_K_ELEMS) o.n = 0;
      *matched = len / 2;
      st->nelems = o.n;
      return;
    }
    if (entry[4] == 0) break;
  }
  o.put(static_cast<uint32_t>(u) << 16);
  *matched = 1;
  st->nelems = o.n;
}

extern "C" int lxucCsKey(const void *sort, const uint8_t *hist, const uint8_t *unit,
                         uint32_t *elems) {
  Sort s(sort);
  uint16_t u = static_cast<uint16_t>(unit[0] << 8 | unit[1]);
  size_t t = s.table(lxuc::kMain);
  uint32_t ref = s.r32(t + lxuc::kMainElems +
                       4 * (static_cast<size_t>(s.r16(t + 2 * static_cast<size_t>(u >> 8))) +
                            (u & 0xFFu)));
  size_t first = s.table(lxuc::kCanon) + lxuc::kCanEntry * static_cast<size_t>(ref & 0xFFFFu);
  const uint8_t *e0 = s.bytes(first, lxuc::kCanEntry);
  if (!e0 || (e0[8] << 8 | e0[9]) != u) return 1;
  size_t count = e0[10];
  while (count > 0 && !s.in(first + lxuc::kCanEntry * (count - 1), lxuc::kCanEntry)) --count;
  auto key_at = [&](size_t i) {
    const uint8_t *p = s.o + first + lxuc::kCanEntry * i;
    return static_cast<uint32_t>(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3];
  };
  uint32_t want = static_cast<uint32_t>(hist[0]) << 24 | hist[1] << 16 | hist[2] << 8 | hist[3];
  size_t lo = 0, hi = count;  // the entry, if any, lies in [lo, hi)
  if (count > 1) {
    // Keys of one combining character are usually nearly consecutive base
    // characters: try a few interpolation probes first.
    uint32_t spread = (key_at(count - 1) >> 16) - (key_at(0) >> 16);
    if (spread * 10 > count * 7 && spread * 4 < count * 5) {
      size_t probe = 0;
      for (int k = 0; k < 4 && lo < hi; ++k) {
        uint32_t got = key_at(probe);
        if (got == want) {
          elems[0] = nlsobj::rd32(s.o + first + lxuc::kCanEntry * probe + 4);
          return 0;
        }
        if (got < want) lo = probe + 1; else hi = probe;
        int64_t step = (static_cast<int64_t>(want >> 16) - static_cast<int64_t>(got >> 16));
        int64_t next = static_cast<int64_t>(probe) + (step == 0 ? (got < want ? 1 : -1) : step);
        if (next < static_cast<int64_t>(lo)) next = static_cast<int64_t>(lo);
        if (next >= static_cast<int64_t>(hi)) next = static_cast<int64_t>(hi) - 1;
        if (lo >= hi) break;
        probe = static_cast<size_t>(next);
      }
    }
  }
  while (lo < hi) {
    size_t mid = lo + (hi - lo) / 2;
    uint32_t got = key_at(mid);
    if (got == want) {
      elems[0] = nlsobj::rd32(s.o + first + lxuc::kCanEntry * mid + 4);
      return 0;
    }
    if (got < want) lo = mid + 1; else hi = mid;
  }
  elems[0] = key_at(0) == 0 ? nlsobj::rd32(e0 + 4) : static_cast<uint32_t>(u) << 16;
  return 0;
}

namespace {

constexpr uint16_t kLBase = 0x1100, kVBase = 0x1161, kTBase = 0x11A7, kSBase = 0xAC00;
constexpr unsigned kLCount = 19, kVCount = 21, kTCount = 28, kSCount = 11172;

bool hangul_area(uint16_t u) { return (u >> 8) == 0x11 || (u >= kSBase && u <= 0xD7FF); }

}  // namespace

extern "C" size_t lxujmc(uint16_t *out, size_t *outcount, const uint16_t *in, size_t *consumed,
                         size_t inpos, size_t incount) {
  size_t i = inpos, w = 0;
  while (i < incount) {
    uint16_t u = in[i];
    unsigned l = static_cast<unsigned>(u - kLBase);
    if (l < kLCount && i + 1 < incount && static_cast<unsigned>(in[i + 1] - kVBase) < kVCount) {
      u = static_cast<uint16_t>(kSBase + (l * kVCount + (in[i + 1] - kVBase)) * kTCount);
      i += 2;
    } else {
      ++i;
    }
    unsigned sidx = static_cast<unsigned>(u - kSBase);
    if (sidx < kSCount && sidx % kTCount == 0 && i < incount) {
      unsigned t = static_cast<unsigned>(in[i] - kTBase);
      if (t >= 1 && t < kTCount) {
        u = static_cast<uint16_t>(u + t);
        ++i;
      }
    }
    out[w++] = u;
    if (!hangul_area(u)) break;
  }
  *outcount = w;
  *consumed = i - inpos;
  return w;
}

namespace {

// Records unit u in the history: appended after its base when e (its own
// first element) is a combining mark, else the history restarts with it.
void record(lxucstate *st, uint16_t u, uint32_t e) {
  if (!lxuc::is_mark(e) || st->nhist == 0) st->nhist = 0;
  if (st->nhist + 2 > LXUC_HIST) return;
  st->hist[st->nhist++] = static_cast<uint8_t>(u >> 8);
  st->hist[st->nhist++] = static_cast<uint8_t>(u);
}

void consume(lxucstate *st, uint16_t *units, size_t n) {
  if (n > st->nunits) n = st->nunits;
  memmove(units, units + n, (st->nunits - n) * sizeof *units);
  st->nunits -= n;
  st->fill = 0;
  st->need = st->nunits == 0 ? 1 : 0;
}

// Asks for more units: the buffer keeps what it has.
int ask(lxucstate *st, size_t missing, int code) {
  st->fill = st->nunits;
  st->need = missing;
  st->nelems = 0;
  return code;
}

}  // namespace

extern "C" int lxucGetKeys(const void *sort, lxucstate *st, uint16_t *units, uint32_t *elems,
                           const lxlangid *langid) {
  (void)langid;
  Sort s(sort);
  st->nelems = 0;
  if (st->nunits == 0) {
    st->need = 1;
    return LXUC_K_ELEMS;
  }
  size_t n = 0;
  uint16_t u = units[0];
  int code = lxucUC2key(sort, units, elems, &n);
  switch (code) {
    case LXUC_K_ELEMS:
      record(st, u, n ? elems[0] : 0);
      st->nelems = n;
      consume(st, units, 1);
      return LXUC_K_ELEMS;
    case LXUC_K_CONTRACT: {
      size_t t = s.table(lxuc::kContract) + lxuc::kConEntry * static_cast<size_t>(elems[0] & 0xFFFFu);
      size_t longest = s.r8(t + 5) / 2;
      if (longest > LXUC_UNITS - 1) longest = LXUC_UNITS - 1;
      if (st->nunits < longest && !st->eot) return ask(st, longest - st->nunits, code);
      st->nhist = 0;
      record(st, u, 0);  // the history restarts with the unit
      size_t matched = 1;
      lxucConKey(sort, st, elems, units, &matched);
      if (matched > 1) st->nhist = 0;
      size_t produced = st->nelems;
      consume(st, units, matched);
      st->nelems = produced;
      return LXUC_K_ELEMS;
    }
    case LXUC_K_CANON: {
      uint8_t key[4] = {0, 0, 0, 0};
      memcpy(key, st->hist, st->nhist < 4 ? st->nhist : 4);
      uint8_t ub[2] = {static_cast<uint8_t>(u >> 8), static_cast<uint8_t>(u)};
      if (lxucCsKey(sort, key, ub, elems) != 0) elems[0] = static_cast<uint32_t>(u) << 16;
      record(st, u, elems[0]);
      consume(st, units, 1);
      st->nelems = 1;
      return LXUC_K_ELEMS;
    }
    case LXUC_K_THAI: {
      if (st->nunits < 2) {
        if (!st->eot) return ask(st, 1, code);
        record(st, u, elems[0]);
        consume(st, units, 1);
        st->nelems = 1;
        return LXUC_K_ELEMS;
      }
      uint32_t vowel = elems[0];
      uint16_t c = units[1];
      uint32_t ce[LXUC_ELEMS];
      size_t cn = 0;
      lxucUC2key(sort, &units[1], ce, &cn);
      uint32_t celem = cn ? ce[0] : static_cast<uint32_t>(c) << 16;
      if (c < 0x0E00 || c > 0x0EFF) {
        elems[0] = vowel;
        elems[1] = celem;
        record(st, c, celem);
      } else {
        elems[0] = celem;
        elems[1] = vowel;
        st->nhist = 0;
        record(st, u, vowel);
      }
      consume(st, units, 2);
      st->nelems = 2;
      return LXUC_K_ELEMS;
    }
    case LXUC_K_SURR: {
      if (st->nunits < 2 && !st->eot) return ask(st, 1, code);
      Out o{elems};
      uint16_t low = st->nunits >= 2 ? units[1] : 0;
      if (low < kLowFirst || low > kLowLast) {
        // A high surrogate without its low one.
        derived(o, u);
        st->nhist = 0;
        consume(st, units, 1);
        st->nelems = o.n;
        return LXUC_K_ELEMS;
      }
      uint32_t ref = elems[0];
      size_t t = s.table(lxuc::kSurr);
      uint32_t block = s.r32(t + 4 * static_cast<size_t>((u - kHighFirst) >> 6));
      uint32_t e = 0;
      if (block != 0)
        e = s.r32(lxuc::kData + block + 4 * (static_cast<size_t>(ref & 0xFFFFu) + (low - kLowFirst)));
      if (e == 0) {
        derived(o, u);
        derived(o, low);
      } else if (resolve(s, o, e) != LXUC_K_ELEMS) {
        o.n = 0;
      }
      st->nhist = 0;
      consume(st, units, 2);
      st->nelems = o.n;
      return LXUC_K_ELEMS;
    }
    case LXUC_K_HANGUL: {
      if (st->nunits < 3 && !st->eot) return ask(st, 3 - st->nunits, code);
      uint16_t composed[LXUC_UNITS];
      size_t w = 0, taken = 0;
      lxujmc(composed, &w, units, &taken, 0, st->nunits);
      if (w >= taken) {
        Out o{elems};
        derived(o, u);
        st->nhist = 0;
        consume(st, units, 1);
        st->nelems = o.n;
        return LXUC_K_ELEMS;
      }
      size_t rest = st->nunits - taken;
      memmove(units + w, units + taken, rest * sizeof *units);
      memcpy(units, composed, w * sizeof *units);
      st->nunits = w + rest;
      st->fill = 0;
      st->need = 0;
      return LXUC_K_HANGUL;
    }
    default:
      // A unit of an unknown or disabled kind: consumed without elements.
      consume(st, units, 1);
      return LXUC_K_ELEMS;
  }
}
