// The multilingual comparison on a small written sort (levels, accents and
// case, reverse secondary order, marks, prefixes, cursors kept) and against
// ICU's root collator at three strengths, on a sort whose elements are ICU
// root's for the Latin letters, digits and space.
#include <gtest/gtest.h>
#include <string.h>

#include <random>
#include <string>
#include <vector>

#include "bothroads.h"
#include "lxm.h"
#include "lxo.h"
#include "lxoint.h"
#include "lxuc.h"
#include "sortinst.h"

#ifdef QEN_HAVE_ICU
#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include "objw_icuroot.h"
#endif

namespace {

using nlstest::Env;
using Bytes = std::string;

constexpr uint32_t E(uint16_t p, uint8_t s = 0x05, uint8_t t = 0x05) {
  return static_cast<uint32_t>(p) << 16 | s << 8 | t;
}

// Letters a-z (upper case: tertiary 0x07), é and è as e with a mark,
// U+0301 and U+0300 marks, U+00AD with a tertiary weight only.
nlsw::MultiSortDesc small_sort(const char *name, uint16_t id, uint32_t flags) {
  nlsw::MultiSortDesc d;
  d.name = name;
  d.id = id;
  d.flags = flags;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.elements[c] = E(0x2000 + c);
    d.elements[static_cast<uint16_t>(c - 32)] = E(0x2000 + c, 0x05, 0x07);
  }
  d.elements[' '] = E(0x1000);
  d.elements[0x0301] = E(0, 0x30);
  d.elements[0x0300] = E(0, 0x31);
  d.expansions[0x00E9] = {E(0x2065), E(0, 0x30)};
  d.expansions[0x00E8] = {E(0x2065), E(0, 0x31)};
  d.elements[0x00AD] = E(0, 0, 0x09);
  return d;
}

std::vector<std::pair<nlsw::BootObject, nlsw::Image>> extra_sorts();

class Multi : public sortinst::Installed {
 protected:
  static void SetUpTestSuite() { write_with(extra_sorts()); }
};

int sign(int v) { return (v > 0) - (v < 0); }

// lxoUcCmp over two UTF-8 texts under the named sort; checks the cursors.
int cmp(Env &e, const lxlangid &h, const Bytes &a, const Bytes &b, uint8_t levels,
        uint32_t flags = 0) {
  Bytes ca = a, cb = b;
  lxmcur l, r;
  lxmcpen(ca.data(), ca.size(), &l, &h, &e.glo);
  lxmcpen(cb.data(), cb.size(), &r, &h, &e.glo);
  lxmcur l0 = l, r0 = r;
  int v = lxoUcCmp(&l, ca.size(), &r, cb.size(), flags, levels, &e.glo);
  EXPECT_EQ(l.pos, l0.pos);
  EXPECT_EQ(r.pos, r0.pos);
  EXPECT_EQ(l.len, l0.len);
  EXPECT_EQ(l.shifted, l0.shifted);
  return sign(v);
}

struct Case {
  const char *a, *b;
  int l1, l2, l4;  // expected at 1, 2 and 4 levels
};

TEST_F(Multi, LevelsOnASmallSort) {
  const Case cases[] = {
      {"", "", 0, 0, 0},
      {"", "a", -1, -1, -1},
      {"ab", "abc", -1, -1, -1},
      {"abc", "abd", -1, -1, -1},
      {"cote", "cot\xC3\xA9", 0, -1, -1},            // an accent: secondary
      {"cot\xC3\xA9", "cote\xCC\x81", 0, 0, 0},      // é is e + acute
      {"Cote", "cote", 0, 0, 1},                     // case: tertiary
      {"Cote", "cot\xC3\xA9", 0, -1, -1},            // the secondary beats an earlier tertiary
      {"c\xC3\xA9z", "cea", 1, 1, 1},                // a primary beats an earlier secondary
      {"c\xC3\xA9" "e", "ce\xC3\xA9", 0, 1, 1},      // forward: the first difference
      {"c\xC3\xA8", "c\xC3\xA9", 0, 1, 1},           // grave after acute
      {"a\xC2\xAD" "b", "ab", 1, 1, 1},              // a tertiary-only element, at any level
      {"ab\xCC\x81", "ab", 0, 1, 1},                 // an extra mark at the end
  };
  child([&](Env &e) {
    lxlangid h = sortinst::handle(e, "AL32UTF8", "SMALL_M");
    for (const auto &c : cases) {
      EXPECT_EQ(cmp(e, h, c.a, c.b, 1), c.l1) << c.a << " / " << c.b;
      EXPECT_EQ(cmp(e, h, c.a, c.b, 2), c.l2) << c.a << " / " << c.b;
      EXPECT_EQ(cmp(e, h, c.a, c.b, 4), c.l4) << c.a << " / " << c.b;
      EXPECT_EQ(cmp(e, h, c.b, c.a, 4), -c.l4) << c.b << " / " << c.a;
    }
    // Flags: accent-insensitive is one level, case-insensitive two.
    EXPECT_EQ(cmp(e, h, "cote", "cot\xC3\xA9", 4, 0x200), 0);
    EXPECT_EQ(cmp(e, h, "COTE", "cote", 4, 0x10), 0);
    EXPECT_EQ(cmp(e, h, "cote", "cot\xC3\xA9", 4, 0x10), -1);
    // A NUL ends the texts with the NUL flag.
    EXPECT_EQ(cmp(e, h, Bytes("ab\0c", 4), "ab", 4, 0x10000000), 0);
    EXPECT_EQ(cmp(e, h, Bytes("ab\0c", 4), "ab", 4, 0), 1);
    // A text that stops inside a character is not used up.
    EXPECT_EQ(cmp(e, h, "ab\xC3", "ab", 4), 1);
  });
}

TEST_F(Multi, ReverseSecondaryTakesTheLastDifference) {
  child([](Env &e) {
    lxlangid h = sortinst::handle(e, "AL32UTF8", "SMALL_REV");
    // cote < côte < coté < côté: here é and è stand for the two accents.
    EXPECT_EQ(cmp(e, h, "c\xC3\xA9" "e", "ce\xC3\xA9", 2), -1);
    EXPECT_EQ(cmp(e, h, "c\xC3\xA8" "e\xCC\x81", "c\xC3\xA9" "e\xCC\x80", 2), -1);
    lxlangid f = sortinst::handle(e, "AL32UTF8", "SMALL_M");
    EXPECT_EQ(cmp(e, f, "c\xC3\xA9" "e", "ce\xC3\xA9", 2), 1);
  });
}

TEST_F(Multi, LongTextsDecideWhereTheyDiffer) {
  child([](Env &e) {
    lxlangid h = sortinst::handle(e, "AL32UTF8", "SMALL_M");
    Bytes base(3000, 'q');
    EXPECT_EQ(cmp(e, h, base + "a", base + "b", 4), -1);
    EXPECT_EQ(cmp(e, h, base + "e\xCC\x81", base + "\xC3\xA9", 4), 0);
    EXPECT_EQ(cmp(e, h, "a" + base, "b" + base, 4), -1);
    EXPECT_EQ(cmp(e, h, base, base, 4), 0);
    // Many marks in a row are compared in runs without overflow.
    Bytes marks;
    for (int i = 0; i < 40; ++i) marks += "\xCC\x81";
    EXPECT_EQ(cmp(e, h, "a" + marks, "a" + marks + "\xCC\x81", 4), -1);
    EXPECT_EQ(cmp(e, h, "a" + marks + "b", "a" + marks + "b", 4), 0);
  });
}


// The comparison that decides from differing first characters gives what
// the whole comparison gives, value for value and status for status:
// random texts over letters of both cases, accented letters, marks, a
// tertiary-only character, a character without an element and NUL, each
// pair compared through lxoCmpStr with the shortcut on and off.
TEST_F(Multi, FirstCharactersDecideAsTheWholeComparisonDoes) {
  const char *const pieces[] = {"a", "b", "c", "h", "e", "A", "C", "H", " ", "1",
                                "\xC3\xA9", "\xC3\xA8", "\xCC\x81", "\xC2\xAD", "z"};
  const uint32_t flag_sets[] = {0, LXO_CMP_NOCASE, LXO_CMP_NOACCENT, LXO_NULTERM, 0x400};
  child([&](Env &e) {
    for (const char *sort : {"SMALL_M", "SMALL_REV", "SMALL_KINDS", "SMALL_COMPOSE", "SMALL_DIRECT"}) {
      lxlangid h = sortinst::handle(e, "AL32UTF8", sort);
      std::mt19937 rng(41);
      auto text = [&] {
        Bytes t;
        for (int n = rng() % 6; n > 0; --n) t += rng() % 30 == 0 ? Bytes(1, '\0') : pieces[rng() % 15];
        return t;
      };
      size_t decided_first = 0;
      for (int i = 0; i < 6000; ++i) {
        Bytes a = text(), b = i % 5 == 0 ? a + text() : text();
        const uint32_t flags = flag_sets[i % 5];
        const nlstest::RoadResults res = nlstest::cmpstr_both_roads(a, b, &h, &e.glo, flags);
        const int *got = res.value;
        const uint32_t *status = res.status;
        if (!a.empty() && !b.empty() && a[0] != b[0]) ++decided_first;
        ASSERT_EQ(got[0], got[1]) << sort << " flags " << flags << ": '" << a << "' / '" << b << "'";
        ASSERT_EQ(status[0], status[1]) << sort << ": '" << a << "' / '" << b << "'";
      }
      EXPECT_GT(decided_first, 2000u) << sort;
    }
  });
}

std::vector<std::pair<nlsw::BootObject, nlsw::Image>> extra_sorts() {
  std::vector<std::pair<nlsw::BootObject, nlsw::Image>> out;
  auto add = [&](const nlsw::MultiSortDesc &d) {
    nlsw::BootObject o;
    o.type = LX_TSORT;
    o.id = d.id;
    o.name = d.name;
    out.push_back({o, nlsw::build_multi_sort(d)});
  };
  add(small_sort("SMALL_M", 4200, 0));
  add(small_sort("SMALL_REV", 4201, 0x10));
  // The kinds a first character can have besides a plain element: a
  // contraction starting at c, composition, the direct table of units
  // below 256.
  nlsw::MultiSortDesc kinds = small_sort("SMALL_KINDS", 4203, LXUC_F_CONTRACT | LXUC_F_EXPAND);
  kinds.contractions[{'c', 'h'}] = {E(0x2068, 0x05, 0x05)};
  add(kinds);
  nlsw::MultiSortDesc composing = small_sort("SMALL_COMPOSE", 4204, LXUC_F_EXPAND);
  composing.compose = 1;
  add(composing);
  nlsw::MultiSortDesc direct = small_sort("SMALL_DIRECT", 4205, LXUC_F_EXPAND);
  direct.direct = true;
  add(direct);
#ifdef QEN_HAVE_ICU
  nlsw::MultiSortDesc root;
  root.name = "ICU_ROOT";
  root.id = 4202;
  nlsw::add_icu_root_latin(root);
  add(root);
#endif
  return out;
}

#ifdef QEN_HAVE_ICU
TEST_F(Multi, AgreesWithIcuRootAtThreeStrengths) {
  child([](Env &e) {
    nlsw::MultiSortDesc unused;
    std::vector<char16_t> chars = nlsw::add_icu_root_latin(unused);
    ASSERT_GT(chars.size(), 100u);
    lxlangid h = sortinst::handle(e, "AL32UTF8", "ICU_ROOT");
    UErrorCode st = U_ZERO_ERROR;
    UCollator *coll = ucol_open("", &st);
    ASSERT_TRUE(U_SUCCESS(st));
    std::mt19937 rng(5);
    // Texts from a few related letters, so that most pairs share primaries.
    auto text = [&](const std::vector<char16_t> &pool) {
      std::u16string u;
      for (int n = rng() % 6; n > 0; --n) u += static_cast<char16_t>(pool[rng() % pool.size()]);
      return u;
    };
    auto utf8 = [](const std::u16string &u) {
      char buf[64];
      int32_t n = 0;
      UErrorCode s = U_ZERO_ERROR;
      u_strToUTF8(buf, sizeof buf, &n, reinterpret_cast<const UChar *>(u.data()),
                  static_cast<int32_t>(u.size()), &s);
      return Bytes(buf, static_cast<size_t>(n));
    };
    std::vector<char16_t> e_like, all = chars;
    for (char16_t c : chars)
      if (c == 'e' || c == 'E' || c == 'a' || c == 'A' || (c >= 0xC0 && c <= 0xCB) ||
          (c >= 0xE0 && c <= 0xEB) || c == ' ')
        e_like.push_back(c);
    const UColAttributeValue strengths[] = {UCOL_PRIMARY, UCOL_SECONDARY, UCOL_TERTIARY};
    const uint8_t levels[] = {1, 2, 4};
    for (int i = 0; i < 3; ++i) {
      ucol_setStrength(coll, strengths[i]);
      for (int n = 0; n < 3000; ++n) {
        const auto &pool = n % 2 ? e_like : all;
        std::u16string a = text(pool), b = text(pool);
        if (n % 5 == 0) b = a.substr(0, a.size() / 2) + text(pool);
        int want = ucol_strcoll(coll, reinterpret_cast<const UChar *>(a.data()),
                                static_cast<int32_t>(a.size()),
                                reinterpret_cast<const UChar *>(b.data()),
                                static_cast<int32_t>(b.size()));
        ASSERT_EQ(cmp(e, h, utf8(a), utf8(b), levels[i]), sign(want))
            << "strength " << i << ": " << utf8(a) << " / " << utf8(b);
      }
    }
    ucol_close(coll);
  });
}
#endif

}  // namespace
