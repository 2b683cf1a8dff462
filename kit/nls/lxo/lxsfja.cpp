// Japanese order over EUC text: five levels per weighted character (the
// letter, its voicing, small or large and case, the script, the prolonged
// mark), written one level after the other. Kanji carry no weight.
#include <string.h>

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
}

extern "C" int lxscdja(lxmcur *l, size_t llen, lxmcur *r, size_t rlen, int caseless, int nulterm,
                       lxglo *g) {
  return lxsf::keyed_compare(kJapanese, l, llen, r, rlen, caseless, nulterm, g);
}
