// Special linguistic sorts: the function table and its installation, the
// Thai, Japanese and Canadian French keys on tables of edge cases, the
// comparators built on them, and binary Unicode order against iconv's
// UTF-8 and UTF-16 forms (code-point and UTF-16 order).
#include <gtest/gtest.h>
#include <alloca.h>
#include <iconv.h>
#include <string.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include "bothroads.h"
#include "lxm.h"
#include "lxoint.h"
#include "lxsf.h"
#include "sortinst.h"

namespace {

using nlstest::Env;
using sortinst::handle;
using Bytes = std::string;

class Sorts : public sortinst::Installed {};

struct Key {
  Bytes bytes;
  size_t len;
  uint32_t status;
  size_t nbytes;
};

Key make(lxsfkey fn, const lxlangid &h, Env &e, const Bytes &text, size_t room = 0) {
  if (room == 0) room = 2 * text.size() + 8;
  std::vector<uint8_t> k(room + 16, 0xEE);
  size_t n = fn(k.data(), room, reinterpret_cast<const uint8_t *>(text.data()), text.size(), &h,
                &e.glo);
  for (size_t i = room; i < k.size(); ++i) EXPECT_EQ(k[i], 0xEE) << "written past the key room";
  return {Bytes(reinterpret_cast<char *>(k.data()), n), n, e.glo.status, e.glo.nbytes};
}

int sign(int v) { return (v > 0) - (v < 0); }

// Compares two texts through cursors and checks the cursors did not move.
int compare(lxsfcmp fn, const lxlangid &h, Env &e, const Bytes &a, const Bytes &b,
            int caseless = 0, int nulterm = 0) {
  Bytes ca = a, cb = b;
  lxmcur l, r;
  lxmcpen(ca.data(), ca.size(), &l, &h, &e.glo);
  lxmcpen(cb.data(), cb.size(), &r, &h, &e.glo);
  unsigned char *lp = l.pos, *rp = r.pos;
  int v = fn(&l, ca.size(), &r, cb.size(), caseless, nulterm, &e.glo);
  EXPECT_EQ(l.pos, lp);
  EXPECT_EQ(r.pos, rp);
  return sign(v);
}

Bytes hex(const Bytes &b) {
  static const char d[] = "0123456789ABCDEF";
  Bytes s;
  for (unsigned char c : b) {
    if (!s.empty()) s += ' ';
    s += d[c >> 4];
    s += d[c & 15];
  }
  return s;
}

Bytes iconv_to(const char *to, const std::u32string &text) {
  iconv_t cd = iconv_open(to, "UTF-32LE");
  EXPECT_NE(cd, (iconv_t)-1);
  std::string in(reinterpret_cast<const char *>(text.data()), text.size() * 4);
  std::string out(text.size() * 4 + 8, '\0');
  char *ip = in.data(), *op = out.data();
  size_t il = in.size(), ol = out.size();
  EXPECT_NE(iconv(cd, &ip, &il, &op, &ol), (size_t)-1);
  iconv_close(cd);
  out.resize(out.size() - ol);
  return out;
}

// ---- the table and its installation ----------------------------------------

TEST(SortTable, RowsInNumberOrderEndedByAZeroRow) {
  for (int r = 0; r < 10; ++r) {
    EXPECT_EQ(lxsftb[r].number, r + 1);
    EXPECT_NE(lxsftb[r].fn.key, nullptr);
  }
  EXPECT_EQ(lxsftb[0].fn.key, &lxsmdth);
  EXPECT_EQ(lxsftb[5].fn.cmp, &lxscdja);
  EXPECT_EQ(lxsftb[9].fn.cmp, &lxscasc);
  EXPECT_EQ(lxsftb[10].number, 0);
  EXPECT_EQ(lxsftb[10].fn.key, nullptr);
}

TEST_F(Sorts, InstallingASpecialSortStoresItsRows) {
  child([](Env &e) {
    for (const auto &s : sortinst::kSpecials) {
      lxlangid h = handle(e, "AL32UTF8");
      uint16_t opts = 0;
      int nf = 0;
      uint16_t idx = lxpsget(s.name, strlen(s.name), e.table, 0, &opts, &nf);
      ASSERT_EQ(nf, 0) << s.name;
      if (s.key == 77 || s.cmp % 2 != 0) {
        // An unknown key maker, or a key maker named as the comparator.
        EXPECT_EQ(lxpsset(idx, 0, &h, &e.glo), 0) << s.name;
        continue;
      }
      ASSERT_EQ(lxpsset(idx, 0, &h, &e.glo), 1) << s.name;
      EXPECT_EQ(lxsftb[h.sort_key_row].number, s.key);
      EXPECT_EQ(lxsftb[h.sort_cmp_row].number, s.cmp);
    }
  });
}

// ---- Thai ---------------------------------------------------------------------

struct ThaiCase {
  const char *what;
  Bytes text, key;
};

TEST_F(Sorts, ThaiKeysOnEdgeCases) {
  const ThaiCase cases[] = {
      {"empty text", "", Bytes("\0\0", 2)},
      {"a consonant", "\xA1", Bytes("\xA1\0\0", 3)},
      {"leading vowel after its consonant", "\xE0\xA1", Bytes("\xA1\xE0\0\0\0", 5)},
      {"leading vowel as the last byte is plain", "\xA1\xE0", Bytes("\xA1\xE0\0\0\0", 5)},
      {"tone mark after an above vowel: consonant's slot", "\xA1\xD1\xE8",
       Bytes("\xA1\xD1\0\xE8\0", 5)},
      {"tone mark on the second consonant", "\xA1\xA2\xE8",
       Bytes("\xA1\xA2\0\0\xE8\0", 6)},
      {"repetition sign", "\xA1\xCF", Bytes("\xA1\x7F\0\0\0", 5)},
      {"leading mark", "\xE8\xA1", Bytes("\xA1\0\xE8\0", 4)},
  };
  child([&](Env &e) {
    lxlangid h = handle(e, "TH8TISASCII");
    for (const auto &c : cases) {
      for (lxsfkey fn : {lxsmdth, lxsmtth}) {
        Key k = make(fn, h, e, c.text);
        EXPECT_EQ(hex(k.bytes), hex(c.key)) << c.what;
        EXPECT_EQ(k.status, 0u) << c.what;
        EXPECT_EQ(k.nbytes, c.text.size()) << c.what;
      }
    }
  });
}

TEST_F(Sorts, ThaiKeyErrorsAndOtherCharsets) {
  child([](Env &e) {
    lxlangid th = handle(e, "TH8TISASCII");
    Key small = make(lxsmdth, th, e, "\xA1\xA2", 4);
    EXPECT_EQ(small.len, 0u);
    EXPECT_EQ(small.status, 6u);
    EXPECT_EQ(small.nbytes, 0u);
    // UTF-8 Thai is converted to TIS-620 first: U+0E40 U+0E01 U+0E48.
    Bytes tis = "\xE0\xA1\xE8";
    lxlangid u8 = handle(e, "AL32UTF8");
    Key viau8 = make(lxsmdth, u8, e, "\xE0\xB9\x80\xE0\xB8\x81\xE0\xB9\x88", 40);
    EXPECT_EQ(hex(viau8.bytes), hex(make(lxsmdth, th, e, tis).bytes));
    EXPECT_EQ(viau8.nbytes, 9u);
    // The EBCDIC set is read through ascii_ebcdic: 42 -> A1, C1 -> 41, B0 -> F0.
    lxlangid eb = handle(e, "TH8TISEBCDIC");
    EXPECT_EQ(hex(make(lxsmdth, eb, e, "\x42\xC1\xB0").bytes),
              hex(make(lxsmdth, th, e, "\xA1\x41\xF0").bytes));
  });
}

TEST_F(Sorts, ThaiTelephoneOrderIsDictionaryOrder) {
  child([](Env &e) {
    lxlangid h = handle(e, "TH8TISASCII");
    std::mt19937 rng(7);
    const Bytes alphabet = "\xA1\xA2\xA4\xB9\xC1\xD1\xD2\xD4\xE0\xE1\xE4\xE7\xE8\xE9\xCF ab";
    auto text = [&] {
      Bytes t;
      for (int n = rng() % 7; n > 0; --n) t += alphabet[rng() % alphabet.size()];
      return t;
    };
    for (int i = 0; i < 2000; ++i) {
      Bytes a = text(), b = text();
      int d = compare(lxscdth, h, e, a, b), t = compare(lxsctth, h, e, a, b);
      ASSERT_EQ(d, t) << hex(a) << " / " << hex(b);
      ASSERT_EQ(d, -compare(lxscdth, h, e, b, a)) << hex(a) << " / " << hex(b);
      ASSERT_EQ(make(lxsmdth, h, e, a).bytes, make(lxsmtth, h, e, a).bytes);
    }
  });
}

TEST_F(Sorts, ThaiComparatorRules) {
  child([](Env &e) {
    lxlangid h = handle(e, "TH8TISASCII");
    EXPECT_EQ(compare(lxscdth, h, e, "", ""), 0);
    EXPECT_EQ(compare(lxscdth, h, e, "\xA1", "\xA2"), -1);
    // A tone mark is secondary: consonants decide first.
    EXPECT_EQ(compare(lxscdth, h, e, "\xA1\xE8\xA2", "\xA1\xA4"), -1);
    // Equal keys: the shorter text first.
    EXPECT_EQ(compare(lxscdth, h, e, "\xE0\xA1", "\xA1\xE0"), 0);
    // A NUL ends the text only with nulterm.
    EXPECT_EQ(compare(lxscdth, h, e, Bytes("\xA1\0\xA2", 3), "\xA1", 0, 1), 0);
    EXPECT_EQ(compare(lxscdth, h, e, Bytes("\xA1\0\xA2", 3), "\xA1", 0, 0), 1);
    // Caseless: ASCII letters fold.
    EXPECT_EQ(compare(lxscdth, h, e, "ABC", "abc", 1), 0);
    EXPECT_NE(compare(lxscdth, h, e, "ABC", "abc", 0), 0);
  });
}

// ---- Japanese ------------------------------------------------------------------

struct JaCase {
  const char *what;
  Bytes text, key;
  uint32_t status;
  size_t nbytes;
};

TEST_F(Sorts, JapaneseKeysOnEdgeCases) {
  const JaCase cases[] = {
      {"empty text", "", Bytes("\0", 1), 0, 0},
      // 11, 12 | 00 | level 2: 00 | level 3: 10 | level 4: 10 11 | level 5: 00
      {"full-width A and ASCII b", "\xA3\xC1" "b", Bytes("\x0B\x0C\0\0\x80\xB0\0", 7), 0, 3},
      {"voiced mark first", "\xA1\xAB\xA4\xA2", "", 20, 0},
      {"half-width voiced mark first", "\x8E\xDE", "", 20, 0},
      {"prolonged mark first", "\xA1\xBC", "", 20, 0},
      // KA (106) and a prolonged mark: its vowel A (101), level 3 and 5 bits set.
      {"KA and a prolonged mark", "\xA5\xAB\xA1\xBC",
       Bytes("\x6A\x65\0\0\xC0\xA0\x40", 7), 0, 4},
      // KA with a voiced mark is GA: level 2 of KA becomes 1.
      {"KA and a voiced mark", "\xA5\xAB\xA1\xAB", Bytes("\x6A\0\x40\x80\x80\0", 6), 0, 4},
      {"GA", "\xA5\xAC", Bytes("\x6A\0\x40\x80\x80\0", 6), 0, 2},
      {"kanji have no weight", "\xB0\xA1\xC6\xFC", Bytes("\0", 1), 0, 4},
      {"a lead byte cut off keeps the key", "a\xA4", Bytes("\x0B\0\0\0\xC0\0", 6), 20, 1},
      {"SS3 cut off", "a\x8F\xA1", Bytes("\x0B\0\0\0\xC0\0", 6), 20, 1},
      {"SS3 character passed over", "\x8F\xA1\xA1" "a", Bytes("\x0B\0\0\0\xC0\0", 6), 0, 4},
      {"half-width small KA is small", "\x8E\xA7", Bytes("\x65\0\0\0\xC0\0", 6), 0, 2},
  };
  child([&](Env &e) {
    lxlangid h = handle(e, "JA16EUC");
    for (const auto &c : cases) {
      Key k = make(lxsmdja, h, e, c.text, 2 * c.text.size() + 4);
      EXPECT_EQ(hex(k.bytes), hex(c.key)) << c.what;
      EXPECT_EQ(k.status, c.status) << c.what;
      EXPECT_EQ(k.nbytes, c.nbytes) << c.what;
    }
    Key small = make(lxsmdja, h, e, "abc", 5);
    EXPECT_EQ(small.len, 0u);
    EXPECT_EQ(small.status, 6u);
    // UTF-8 text: converted to EUC first (KA, prolonged mark).
    lxlangid u8 = handle(e, "AL32UTF8");
    EXPECT_EQ(hex(make(lxsmdja, u8, e, "\xE3\x82\xAB\xE3\x83\xBC", 20).bytes),
              hex(make(lxsmdja, h, e, "\xA5\xAB\xA1\xBC").bytes));
  });
}

TEST_F(Sorts, JapaneseComparator) {
  child([](Env &e) {
    lxlangid h = handle(e, "JA16EUC");
    // Hiragana and katakana KA: equal letters, the script decides.
    EXPECT_EQ(compare(lxscdja, h, e, "\xA4\xAB", "\xA5\xAB"), -1);
    // KA + voiced mark and GA have one key: the shorter text first.
    EXPECT_EQ(compare(lxscdja, h, e, "\xA5\xAC", "\xA5\xAB\xA1\xAB"), -1);
    EXPECT_EQ(compare(lxscdja, h, e, "\xA5\xAB", "\xA5\xAC"), -1);
    EXPECT_EQ(compare(lxscdja, h, e, "B", "a"), 1);
    EXPECT_EQ(compare(lxscdja, h, e, "A", "a"), 1);
    EXPECT_EQ(compare(lxscdja, h, e, "A", "a", 1), 0);
    // Keys that cannot be made: the bytes decide, the status stays.
    EXPECT_EQ(compare(lxscdja, h, e, "\xA1\xAB\xA4\xA2", "\xA1\xAB\xA4\xA4"), -1);
    EXPECT_EQ(e.glo.status, 20u);
  });
}

// The comparator that reads first-level weights as it goes gives what the
// whole keys give, value, status and nbytes alike: random EUC texts of
// kana, marks (at the start too, where no key can be made), half-width and
// full-width letters, kanji, three-byte characters, stray bytes, NUL and
// lead bytes cut off at the end, often sharing a long beginning.
TEST_F(Sorts, JapaneseFirstLevelDecidesAsTheWholeKeysDo) {
  const char *const pieces[] = {
      "\xA4\xA2", "\xA4\xAB", "\xA5\xAB", "\xA5\xAC", "\xA5\xF3", "\xA1\xBC", "\xA1\xAB",
      "\xA1\xAC", "\x8E\xB6", "\x8E\xB0", "\x8E\xDE",  "\xA3\xC1", "a",        "A",
      "1",          "-",        "\xB0\xA1", "\x8F\xA1\xA1", "\xFF", "\x85"};
  constexpr size_t kPieces = sizeof pieces / sizeof *pieces;
  child([&](Env &e) {
    for (const char *cs : {"JA16EUC", "AL32UTF8"}) {
      lxlangid h = handle(e, cs);
      std::mt19937 rng(53);
      auto text = [&](int most) {
        Bytes t;
        for (int n = rng() % most; n > 0; --n) t += rng() % 40 == 0 ? Bytes(1, '\0') : pieces[rng() % kPieces];
        if (rng() % 10 == 0) t += rng() % 2 ? "\xA4" : "\x8F\xA1";  // cut off by the end
        return t;
      };
      for (int i = 0; i < 6000; ++i) {
        const Bytes common = i % 2 ? text(30) : Bytes();
        Bytes a = common + text(5), b = common + text(5);
        const int caseless = i % 7 == 0, nulterm = i % 3 == 0;
        const nlstest::RoadResults res =
            nlstest::both_roads(a, b, &h, &e.glo, [&](lxmcur &l, lxmcur &r) {
              return lxscdja(&l, a.size(), &r, b.size(), caseless, nulterm, &e.glo);
            });
        const int *got = res.value;
        const uint32_t *status = res.status;
        const uintptr_t *nbytes = res.nbytes;
        ASSERT_EQ(got[0], got[1]) << cs << " pair " << i << " caseless " << caseless;
        ASSERT_EQ(status[0], status[1]) << cs << " pair " << i;
        ASSERT_EQ(nbytes[0], nbytes[1]) << cs << " pair " << i;
      }
    }
  });
}

// Runs f with the stack moved down by shift bytes, so that the scratch
// space of what f calls lies at another place in its page.
template <class F>
__attribute__((noinline)) auto at_depth(size_t shift, F f) {
  volatile uint8_t *pad = static_cast<uint8_t *>(alloca(shift + 1));
  pad[0] = 0;
  return f();
}

// The comparator's value is the difference of the first key bytes that
// differ, whatever the keys' length and wherever its scratch space lies:
// the C library's memcmp gives 1 or -1 at some lengths and alignments (near
// the end of a page, for one), so it cannot be the value handed back, or
// the same texts would compare to different values from one call to the
// next. Texts of 1 to 24 kana that differ in their last one, by both roads,
// with the stack moved through a whole page.
TEST_F(Sorts, JapaneseValueIsTheFirstDifferingKeyBytes) {
  child([](Env &e) {
    lxlangid h = handle(e, "JA16EUC");
    for (size_t n = 1; n <= 24; ++n) {
      Bytes a, b;
      for (size_t i = 0; i + 1 < n; ++i) a += i % 2 ? "\xA4\xAB" : "\xA5\xF3";
      b = a;
      a += "\xA4\xA2";  // A
      b += "\xA4\xCF";  // HA
      const Key ka = make(lxsmdja, h, e, a), kb = make(lxsmdja, h, e, b);
      size_t d = 0;
      while (d < ka.len && d < kb.len && ka.bytes[d] == kb.bytes[d]) ++d;
      ASSERT_TRUE(d < ka.len && d < kb.len) << n;
      const int want = int(uint8_t(ka.bytes[d])) - int(uint8_t(kb.bytes[d]));
      for (size_t shift = 0; shift < 4096; shift += 8) {
        const nlstest::RoadResults res = at_depth(shift, [&] {
          return nlstest::both_roads(a, b, &h, &e.glo, [&](lxmcur &l, lxmcur &r) {
            return lxscdja(&l, a.size(), &r, b.size(), 0, 0, &e.glo);
          });
        });
        ASSERT_EQ(res.value[0], want) << n << " kana, stack moved " << shift;
        ASSERT_EQ(res.value[1], want) << n << " kana, stack moved " << shift;
      }
    }
  });
}

// ---- Canadian French -------------------------------------------------------------

TEST_F(Sorts, CanadianFrenchComparesAccentsFromTheEnd) {
  child([](Env &e) {
    for (const char *cs : {"WE8ISO8859P1", "AL32UTF8"}) {
      lxlangid h = handle(e, cs);
      bool utf = strcmp(cs, "AL32UTF8") == 0;
      std::vector<Bytes> words = {"cote", utf ? "c\xC3\xB4te" : "c\xF4te",
                                  utf ? "cot\xC3\xA9" : "cot\xE9",
                                  utf ? "c\xC3\xB4t\xC3\xA9" : "c\xF4t\xE9"};
      for (size_t i = 0; i < words.size(); ++i)
        for (size_t j = 0; j < words.size(); ++j)
          EXPECT_EQ(compare(lxscdcf, h, e, words[i], words[j]), sign((int)i - (int)j))
              << cs << " " << i << " " << j;
    }
  });
}

TEST_F(Sorts, CanadianFrenchKeys) {
  child([](Env &e) {
    lxlangid h = handle(e, "WE8ISO8859P1");
    EXPECT_EQ(make(lxsmdcf, h, e, "").len, 0u);
    // "Ab-": primaries 61 62, secondaries reversed 0F 0F, tertiaries 0A 07,
    // 00, then the hyphen at position 3 with weight 24.
    EXPECT_EQ(hex(make(lxsmdcf, h, e, "Ab-", 20).bytes),
              "61 62 0F 0F 0A 07 00 00 00 00 03 24");
    EXPECT_EQ(make(lxsmdcf, h, e, "Ab-", 11).status, 6u);
    // Positions beyond 255 are not folded onto small ones.
    Bytes a = " " + Bytes(300, 'a');
    Bytes b = Bytes(256, 'a') + " " + Bytes(44, 'a');
    EXPECT_EQ(compare(lxscdcf, h, e, a, b), -1);
    EXPECT_EQ(compare(lxscdcf, h, e, "ABC", "abc"), 1);
    EXPECT_EQ(compare(lxscdcf, h, e, "ABC", "abc", 1), 0);
  });
}

// ---- binary Unicode --------------------------------------------------------------

std::u32string random_text(std::mt19937 &rng) {
  static const std::pair<char32_t, char32_t> ranges[] = {
      {0x20, 0x7E}, {0xA0, 0x24F}, {0x3040, 0x30FF}, {0xD7F0, 0xD7FF},
      {0xE000, 0xE0FF}, {0xFF00, 0xFFFD}, {0x10000, 0x1000F}, {0x1F600, 0x1F64F}};
  std::u32string s;
  for (int n = rng() % 6; n > 0; --n) {
    const auto &r = ranges[rng() % 8];
    s += static_cast<char32_t>(r.first + rng() % (r.second - r.first + 1));
  }
  if (!s.empty() && rng() % 3 == 0) s += s.substr(0, rng() % s.size());
  return s;
}

TEST_F(Sorts, BinaryUnicodeComparatorIsCodePointOrder) {
  child([](Env &e) {
    lxlangid h = handle(e, "AL32UTF8");
    std::mt19937 rng(11);
    for (int i = 0; i < 3000; ++i) {
      std::u32string a = random_text(rng), b = random_text(rng);
      if (rng() % 4 == 0) b = a + random_text(rng);
      Bytes ua = iconv_to("UTF-8", a), ub = iconv_to("UTF-8", b);
      ASSERT_EQ(compare(lxscasc, h, e, ua, ub), sign(a.compare(b))) << hex(ua) << " / " << hex(ub);
    }
  });
}

TEST_F(Sorts, BinaryUnicodeKeysAreUtf16) {
  child([](Env &e) {
    lxlangid h = handle(e, "AL32UTF8");
    std::mt19937 rng(12);
    for (int i = 0; i < 2000; ++i) {
      std::u32string a = random_text(rng);
      Bytes u8 = iconv_to("UTF-8", a);
      Key k = make(lxsmasc, h, e, u8);
      ASSERT_EQ(hex(k.bytes), hex(iconv_to("UTF-16BE", a))) << hex(u8);
      ASSERT_EQ(k.nbytes, u8.size());
    }
    // Where the two orders differ: U+E000 against U+10000.
    Bytes e000 = "\xEE\x80\x80", sup = "\xF0\x90\x80\x80";
    EXPECT_EQ(compare(lxscasc, h, e, e000, sup), -1);
    EXPECT_GT(make(lxsmasc, h, e, e000).bytes, make(lxsmasc, h, e, sup).bytes);
  });
}

TEST_F(Sorts, BinaryUnicodeEdges) {
  child([](Env &e) {
    lxlangid l1 = handle(e, "WE8ISO8859P1");
    EXPECT_EQ(hex(make(lxsmasc, l1, e, "a\xE9").bytes), "00 61 00 E9");
    EXPECT_EQ(make(lxsmasc, l1, e, "ab", 4).status, 6u);
    EXPECT_EQ(make(lxsmasc, l1, e, "").len, 0u);
    EXPECT_EQ(compare(lxscasc, l1, e, "ABC", "abc", 1), 0);
    EXPECT_EQ(compare(lxscasc, l1, e, "ABC", "abc", 0), -1);
    lxlangid u8 = handle(e, "AL32UTF8");
    // A character cut by the end: the text with more bytes left sorts after.
    EXPECT_EQ(compare(lxscasc, u8, e, "a\xE3\x81", "a"), 1);
    EXPECT_EQ(compare(lxscasc, u8, e, Bytes("ab\0c", 4), "ab", 0, 1), 0);
    // The key stops at a character cut by the end.
    Key cut = make(lxsmasc, u8, e, "a\xE3\x81");
    EXPECT_EQ(hex(cut.bytes), "00 61");
    EXPECT_EQ(cut.nbytes, 1u);
  });
}

}  // namespace
