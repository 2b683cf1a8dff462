// Japanese order over EUC text: five levels per weighted character (the
// letter, its voicing, small or large and case, the script, the prolonged
// mark), written one level after the other. Kanji carry no weight.
//
// The comparator reads the first-level weights of both texts as they come,
// after the leading characters the texts share, and makes the whole keys
// only when those weights cannot decide.
#include <string.h>

#include <initializer_list>

#include "lxoint.h"
#include "lxsfint.h"

namespace {

// Weight bases of the first level.
constexpr unsigned kAlphaBase = 1;   // digits and Latin letters
constexpr unsigned kKanaBase = 101;  // kana
constexpr unsigned kKanaOwnVowel = 102;
constexpr unsigned kKanaN = 151;     // the syllabic N is its own vowel
constexpr unsigned kVowels = 5;

// Script values of the fourth level.
constexpr uint8_t kHiragana = 1, kFullWidth = 2, kHalfWidth = 3;

// EUC bytes.
constexpr uint8_t kSS2 = 0x8E, kSS3 = 0x8F, kSymbols = 0xA1, kAlnum = 0xA3, kHira = 0xA4,
                  kKata = 0xA5;
constexpr uint8_t kProlongedFull = 0xBC, kVoicedFull = 0xAB, kSemiVoicedFull = 0xAC;
constexpr uint8_t kProlongedHalf = 0xB0, kVoicedHalf = 0xDE, kSemiVoicedHalf = 0xDF;

constexpr uint8_t alpha_tbl[75] = {0,  1,  2,  3,  4,  5,  6,  7,  8,  9,  0,  0,  0,  0,  0,
                                   0,  0,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20, 21, 22,
                                   23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35, 0,  0,
                                   0,  0,  0,  0,  10, 11, 12, 13, 14, 15, 16, 17, 18, 19, 20,
                                   21, 22, 23, 24, 25, 26, 27, 28, 29, 30, 31, 32, 33, 34, 35};
constexpr uint8_t case_tbl[75] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 1,
                                  1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                                  1, 1, 1, 1, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0,
                                  0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0};
constexpr uint8_t zg_tbl[86] = {0,  0,  1,  1,  2,  2,  3,  3,  4,  4,  5,  5,  6,  6,  7,  7,  8,  8,
                                9,  9,  10, 10, 11, 11, 12, 12, 13, 13, 14, 14, 15, 15, 16, 16, 17, 17,
                                17, 18, 18, 19, 19, 20, 21, 22, 23, 24, 25, 25, 25, 26, 26, 26, 27, 27,
                                27, 28, 28, 28, 29, 29, 29, 30, 31, 32, 33, 34, 35, 35, 37, 37, 39, 39,
                                40, 41, 42, 43, 44, 45, 45, 46, 48, 49, 50, 2,  5,  8};
constexpr uint8_t d_tbl[86] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1,
                               0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 0, 0, 1, 0, 1, 0, 1, 0, 0, 0,
                               0, 0, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 1, 2, 0, 0, 0, 0, 0,
                               0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1, 0, 0};
constexpr uint8_t s_tbl[86] = {0, 1, 0, 1, 0, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                               1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                               1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1, 1,
                               0, 1, 0, 1, 0, 1, 1, 1, 1, 1, 1, 0, 1, 1, 1, 1, 1, 1, 0, 0};
constexpr uint8_t hg_tbl[56] = {49, 0,  1,  2,  3,  4,  35, 37, 39, 17, 0,  0,  1,  2,
                                3,  4,  5,  6,  7,  8,  9,  10, 11, 12, 13, 14, 15, 16,
                                17, 18, 19, 20, 21, 22, 23, 24, 25, 26, 27, 28, 29, 30,
                                31, 32, 33, 34, 35, 37, 39, 40, 41, 42, 43, 44, 45, 50};

// The levels of one weighted character.
struct Weight {
  uint8_t l1, l2, l3, l4, l5;
};

// Where the walk puts weights: Count only counts them, Write writes the key
// of n characters.
struct Count {
  size_t n = 0;
  void add(const Weight &) { ++n; }
  void voice(uint8_t) {}
  uint8_t last_l1() const { return 0; }
};

struct Write {
  uint8_t *key;
  uint8_t *l2, *l3, *l4, *l5;  // the bit levels, one after the other
  size_t n = 0;
  Write(uint8_t *k, size_t total)
      : key(k),
        l2(k + total + 1),
        l3(l2 + (total + 3) / 4),
        l4(l3 + (total + 7) / 8),
        l5(l4 + (total + 3) / 4) {}
  static void put2(uint8_t *f, size_t i, uint8_t v) {
    unsigned sh = 6 - 2 * (i % 4);
    f[i / 4] = static_cast<uint8_t>((f[i / 4] & ~(3u << sh)) | ((v & 3u) << sh));
  }
  static void put1(uint8_t *f, size_t i, uint8_t v) {
    if (v) f[i / 8] |= static_cast<uint8_t>(0x80u >> (i % 8));
  }
  void add(const Weight &w) {
    key[n] = w.l1;
    if (w.l2) put2(l2, n, w.l2);
    put1(l3, n, w.l3);
    put2(l4, n, w.l4);
    put1(l5, n, w.l5);
    ++n;
  }
  void voice(uint8_t v) { put2(l2, n - 1, v); }
  uint8_t last_l1() const { return key[n - 1]; }
};

bool is_alnum(uint8_t b) {
  return (b >= 0x30 && b <= 0x39) || (b >= 0x41 && b <= 0x5A) || (b >= 0x61 && b <= 0x7A);
}

// Walks n bytes of EUC text into sink. Returns false when the key cannot be
// made (a voiced or prolonged mark with no character before it); a lead byte
// cut off by the end sets status 20 and ends the walk. *taken receives the
// bytes walked.
template <class Sink>
bool walk(const uint8_t *t, size_t n, Sink &sink, lxglo *g, size_t *taken) {
  size_t have = 0;  // weighted characters so far
  size_t i = 0;
  auto prolonged = [&](uint8_t script) {
    if (have == 0) return false;
    unsigned w = sink.last_l1();
    if (!(w < kKanaOwnVowel || w == kKanaN)) w = (w - kKanaBase) % kVowels + kKanaBase;
    sink.add({static_cast<uint8_t>(w), 0, 1, script, 1});
    ++have;
    return true;
  };
  while (i < n) {
    uint8_t b = t[i];
    if (b < 0x80) {
      if (is_alnum(b)) {
        sink.add({static_cast<uint8_t>(alpha_tbl[b - 0x30] + kAlphaBase), 0, case_tbl[b - 0x30],
                  kHalfWidth, 0});
        ++have;
      }
      ++i;
      continue;
    }
    if (b == kSS3) {
      if (n - i < 3) {
        g->status = LXSF_ST_BADJA;
        break;
      }
      i += 3;
      continue;
    }
    if (b != kSS2 && b < kSymbols) {
      ++i;
      continue;
    }
    if (i + 1 >= n) {
      // A lead byte with nothing after it.
      g->status = LXSF_ST_BADJA;
      break;
    }
    if (b == 0xFF) {
      ++i;
      continue;
    }
    uint8_t c = t[i + 1];
    i += 2;
    if (b == kSS2) {
      if (c == kProlongedHalf) {
        if (!prolonged(kHalfWidth)) return false;
      } else if (c == kVoicedHalf || c == kSemiVoicedHalf) {
        if (have == 0) return false;
        sink.voice(c == kVoicedHalf ? 1 : 2);
      } else if (c >= 0xA6 && c <= 0xDD) {
        uint8_t small = c >= 0xA7 && c <= 0xAF;
        sink.add({static_cast<uint8_t>(hg_tbl[c - 0xA6] + kKanaBase), 0,
                  static_cast<uint8_t>(!small), kHalfWidth, 0});
        ++have;
      }
    } else if (b == kSymbols) {
      if (c == kProlongedFull) {
        if (!prolonged(kFullWidth)) return false;
      } else if (c == kVoicedFull || c == kSemiVoicedFull) {
        if (have == 0) return false;
        sink.voice(c == kVoicedFull ? 1 : 2);
      }
    } else if (b == kAlnum) {
      if ((c >= 0xB0 && c <= 0xB9) || (c >= 0xC1 && c <= 0xDA) || (c >= 0xE1 && c <= 0xFA)) {
        sink.add({static_cast<uint8_t>(alpha_tbl[c - 0xB0] + kAlphaBase), 0, case_tbl[c - 0xB0],
                  kFullWidth, 0});
        ++have;
      }
    } else if ((b == kHira && c >= 0xA1 && c <= 0xF3) || (b == kKata && c >= 0xA1 && c <= 0xF6)) {
      unsigned k = c - 0xA1u;
      sink.add({static_cast<uint8_t>(zg_tbl[k] + kKanaBase), d_tbl[k], s_tbl[k],
                b == kHira ? kHiragana : kFullWidth, 0});
      ++have;
    }
  }
  *taken = i;
  return true;
}

size_t key_length(size_t n) { return n + 1 + 2 * ((n + 3) / 4) + 2 * ((n + 7) / 8); }

size_t ja_key(uint8_t *key, size_t keysize, const uint8_t *t, size_t len, lxglo *g) {
  Count count;
  size_t taken = 0;
  if (!walk(t, len, count, g, &taken)) {
    g->status = LXSF_ST_BADJA;
    g->nbytes = 0;
    return 0;
  }
  size_t need = key_length(count.n);
  if (need > keysize) {
    g->status = LXSF_ST_KEYSIZE;
    g->nbytes = 0;
    return 0;
  }
  memset(key, 0, need);
  Write w(key, count.n);
  g->status = 0;
  walk(t, len, w, g, &taken);
  g->nbytes = taken;
  return need;
}

}  // namespace

extern "C" size_t lxsmdja(uint8_t *key, size_t keysize, const uint8_t *text, size_t len,
                          const lxlangid *h, lxglo *g) {
  g->status = 0;
  g->nbytes = 0;
  bool alt = false;
  return lxsf::in_charset(LXSF_CS_EUCJP, 0, text, len, h, g, &alt,
                          [&](const uint8_t *t, size_t n) { return ja_key(key, keysize, t, n, g); });
}

namespace {

constexpr lxsf::Keyed kJapanese{lxsmdja, 2, 4, false, lxsf::Lower::chars};

// The first-level weights of a text one at a time, as walk writes them into
// a key: the same characters, the same end (a lead byte cut off stops it
// and is noted), the same failure (a mark with no weighted character
// before it).
struct Level1 {
  const uint8_t *t;
  size_t n;
  size_t i = 0;
  bool have = false;  // a weighted character has been met
  uint8_t last = 0;   // its first-level weight
  bool cut = false;   // the text ended inside a character (status 20)

  enum Step { fail = -1, end = 0, weight = 1, none = 2 };

  // The bytes a character at i must have before it can be taken.
  static size_t span(uint8_t b) {
    if (b < 0x80) return 1;
    if (b == kSS3) return 3;
    return b != kSS2 && b < kSymbols ? 1 : 2;
  }

  Step put(uint8_t w, uint8_t *out) {
    have = true;
    last = w;
    *out = w;
    return weight;
  }
  Step prolonged(uint8_t *out) {
    if (!have) return fail;
    unsigned w = last;
    if (!(w < kKanaOwnVowel || w == kKanaN)) w = (w - kKanaBase) % kVowels + kKanaBase;
    return put(static_cast<uint8_t>(w), out);
  }

  // Takes the character at i.
  Step step(uint8_t *out) {
    if (i >= n) return end;
    const uint8_t b = t[i];
    if (b < 0x80) {
      ++i;
      return is_alnum(b) ? put(static_cast<uint8_t>(alpha_tbl[b - 0x30] + kAlphaBase), out) : none;
    }
    if (b == kSS3) {
      if (n - i < 3) {
        cut = true;
        return end;
      }
      i += 3;
      return none;
    }
    if (b != kSS2 && b < kSymbols) {
      ++i;
      return none;
    }
    if (i + 1 >= n) {
      cut = true;
      return end;
    }
    if (b == 0xFF) {
      ++i;
      return none;
    }
    const uint8_t c = t[i + 1];
    i += 2;
    if (b == kSS2) {
      if (c == kProlongedHalf) return prolonged(out);
      if (c == kVoicedHalf || c == kSemiVoicedHalf) return have ? none : fail;
      if (c >= 0xA6 && c <= 0xDD) return put(static_cast<uint8_t>(hg_tbl[c - 0xA6] + kKanaBase), out);
    } else if (b == kSymbols) {
      if (c == kProlongedFull) return prolonged(out);
      if (c == kVoicedFull || c == kSemiVoicedFull) return have ? none : fail;
    } else if (b == kAlnum) {
      if ((c >= 0xB0 && c <= 0xB9) || (c >= 0xC1 && c <= 0xDA) || (c >= 0xE1 && c <= 0xFA))
        return put(static_cast<uint8_t>(alpha_tbl[c - 0xB0] + kAlphaBase), out);
    } else if ((b == kHira && c >= 0xA1 && c <= 0xF3) || (b == kKata && c >= 0xA1 && c <= 0xF6)) {
      return put(static_cast<uint8_t>(zg_tbl[c - 0xA1u] + kKanaBase), out);
    }
    return none;
  }

  // The next weight; end or fail when there is none.
  Step next(uint8_t *out) {
    for (;;) {
      const Step s = step(out);
      if (s != none) return s;
    }
  }

  // Steps over the characters that lie whole in the bytes this text and
  // other begin with (m: the shorter length), keeping have and last as
  // the walk leaves them: the kana and the full-width marks inline, the
  // rest through step. false when a mark comes before any weight.
  bool skip_common(const uint8_t *other, size_t m) {
    // Kept in locals: stores to the members could alias the text bytes.
    size_t k = i;
    bool hv = have;
    uint8_t ls = last;
    bool ok = true;
    while (k < m) {
      const uint8_t b = t[k];
      if (other[k] != b) break;
      if (b < 0x80) {
        ++k;
        if (is_alnum(b)) {
          hv = true;
          ls = static_cast<uint8_t>(alpha_tbl[b - 0x30] + kAlphaBase);
        }
        continue;
      }
      const size_t need = span(b);
      if (k + need > m) break;
      if (need > 1 && t[k + 1] != other[k + 1]) break;
      if (need > 2 && t[k + 2] != other[k + 2]) break;
      const uint8_t c = need > 1 ? t[k + 1] : 0;
      if ((b == kHira && c >= 0xA1 && c <= 0xF3) || (b == kKata && c >= 0xA1 && c <= 0xF6)) {
        hv = true;
        ls = static_cast<uint8_t>(zg_tbl[c - 0xA1u] + kKanaBase);
        k += 2;
      } else if (b == kSymbols) {
        const bool mark = c == kProlongedFull || c == kVoicedFull || c == kSemiVoicedFull;
        if (mark && !hv) {
          ok = false;
          break;
        }
        if (c == kProlongedFull && !(ls < kKanaOwnVowel || ls == kKanaN))
          ls = static_cast<uint8_t>((ls - kKanaBase) % kVowels + kKanaBase);
        k += 2;
      } else {
        i = k;
        have = hv;
        last = ls;
        uint8_t w;
        if (step(&w) == fail) return false;
        k = i;
        hv = have;
        ls = last;
      }
    }
    i = k;
    have = hv;
    last = ls;
    return ok;
  }

  // Walks the rest for where the walk ends (the key's byte count and
  // status); no weight made after this can fail.
  void finish() {
    uint8_t w;
    while (i < n && !cut) {
      const uint8_t b = t[i];
      if (b < 0x80 || (b != kSS2 && b != kSS3 && b < kSymbols)) {
        ++i;
        continue;
      }
      if (b == kSS3 || b == 0xFF || i + 1 >= n) {
        step(&w);
        continue;
      }
      i += 2;
    }
  }
};

// Both texts' keys compared without making them: the first-level weights,
// which come first in a key, are read in step on both sides after the equal
// leading characters (taken once); the first pair that differs (or a text
// whose weights run out, whose key has a 0 there) decides as the whole
// keys' comparison (lxsf::key_difference) would, and status and nbytes end
// as the key maker leaves them.
// false when the whole keys must decide: equal first levels, a key that
// cannot be made, or text not in EUC.
bool by_first_level(const lxmcur *left, size_t llen, const lxmcur *right, size_t rlen, lxglo *g,
                    int *result) {
  for (const lxmcur *c : {left, right}) {
    const lxcsobj *cs = c->langid ? lxmi::charset(c->langid, g) : nullptr;
    if (!cs || cs->id != LXSF_CS_EUCJP) return false;
  }
  Level1 l{left->pos, llen}, r{right->pos, rlen};
  if (!l.skip_common(r.t, llen < rlen ? llen : rlen)) return false;
  r.i = l.i;
  r.have = l.have;
  r.last = l.last;
  uint8_t wl = 0, wr = 0;
  for (;;) {
    const Level1::Step sl = l.next(&wl), sr = r.next(&wr);
    if (sl == Level1::fail || sr == Level1::fail) return false;
    if (sl == Level1::end && sr == Level1::end) return false;
    if (sl == Level1::end) wl = 0;  // the key's 0 after its first level
    if (sr == Level1::end) wr = 0;
    if (wl != wr) break;
    if (sl == Level1::end || sr == Level1::end) return false;
  }
  l.finish();
  r.finish();
  *result = int(wl) - int(wr);
  g->status = (l.cut || r.cut) ? LXSF_ST_BADJA : 0;
  g->nbytes = r.i;
  return true;
}

}  // namespace

extern "C" int lxscdja(lxmcur *l, size_t llen, lxmcur *r, size_t rlen, int caseless, int nulterm,
                       lxglo *g) {
  if (!caseless && lxoi::first_chars_may_decide()) {
    const size_t ln = nulterm ? lxsf::cut_at_nul(l, llen) : llen;
    const size_t rn = nulterm ? lxsf::cut_at_nul(r, rlen) : rlen;
    int v;
    if (by_first_level(l, ln, r, rn, g, &v)) return v;
  }
  return lxsf::keyed_compare(kJapanese, l, llen, r, rlen, caseless, nulterm, g);
}
