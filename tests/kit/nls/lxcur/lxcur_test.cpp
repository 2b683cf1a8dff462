// The character cursor's class tests, values, case forms, widths and steps
// over the written installation of curinst.h, against Python's unicodedata
// (classes, case forms, east-asian widths). Every test runs in a child.
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "curinst.h"
#include "lxm.h"
#include "lxo.h"
#include "lxp.h"

using namespace curinst;
using nlstest::Env;

namespace {

class Cur : public Installed {};

// A reading cursor over text (kept alive by the caller).
lxmcur open(Bytes &text, const lxlangid &h, Env &e, size_t len = SIZE_MAX) {
  lxmcur c;
  lxmopen(text.data(), len == SIZE_MAX ? text.size() : len, &c, &h, &e.glo, 1);
  return c;
}

// The expected columns of a character of east-asian width eaw.
unsigned cols(unsigned eaw, bool wide_lang) { return eaw == 3 ? (wide_lang ? 2 : 1) : eaw; }

}  // namespace

TEST_F(Cur, LanguagesSitAtTheirBootIndexes) {
  child([](Env &e) {
    Handles h(e);
    EXPECT_EQ(h.u16.lang, WIDELANG);
    EXPECT_EQ(h.u16narrow.lang, NARROWLANG);
    EXPECT_EQ(h.u16.cs, AL16UTF16);
    EXPECT_EQ(h.euc.cs, JA16EUC);
    EXPECT_EQ(h.shift.cs, TESTSHIFT);
  });
}

// Every character of the generated ranges, in each Unicode set: the class
// tests give the bits unicodedata gives, the case forms its one-character
// forms, the width its east-asian width (ambiguous by the language).
TEST_F(Cur, UnicodeCharactersAgainstUnicodedata) {
  child([](Env &e) {
    Handles h(e);
    struct Set {
      const lxlangid *h;
      bool u16, wide_lang;
    } sets[] = {{&h.al32, false, true}, {&h.utf8, false, true}, {&h.u16, true, true},
                {&h.u16narrow, true, false}};
    for (const auto &s : sets) {
      int bad = 0;
      for (const auto &u : kUcd) {
        // a cursor in AL16UTF16 sees one unit at a time (the byte class of a
        // high surrogate says two bytes), and UTF8 holds the BMP only
        if ((s.u16 || s.h == &h.utf8) && u.cp > 0xFFFF) continue;
        Bytes text = s.u16 ? utf16(u.cp) : utf8(u.cp);
        lxmcur c = open(text, *s.h, e);
        const uint16_t cls = u.cls;
        bool ok = uint16_t(lxmuppx(&c, &e.glo)) == (cls & 0x4) &&
                  uint16_t(lxmlowx(&c, &e.glo)) == (cls & 0x8) &&
                  uint16_t(lxmdigx(&c, &e.glo)) == (cls & 0x20) &&
                  uint16_t(lxmspax(&c, &e.glo)) == (cls & 0x40) &&
                  uint16_t(lxmalpx(&c, &e.glo)) == (cls & 0x800) &&
                  uint16_t(lxmalnx(&c, &e.glo)) == (cls & 0x820);
        ok = ok && lxmc2wx(&c, &e.glo) == packed(text);
        auto form = [&](uint32_t cp) { return cp ? packed(s.u16 ? utf16(cp) : utf8(cp)) : packed(text); };
        ok = ok && lxm2wux(&c, &e.glo) == form(u.upper) && lxm2wlx(&c, &e.glo) == form(u.lower);
        ok = ok && lxoCnvCh2Wide(&c, 0x20, &e.glo) == form(u.upper) &&
             lxoCnvCh2Wide(&c, 0x10, &e.glo) == form(u.lower) && lxoCnvCh2Wide(&c, 0x40, &e.glo) == 0;
        ok = ok && lxwc2lx(packed(text), s.h, &e.glo) == form(u.lower);
        ok = ok && uint16_t(lxwuppx(packed(text), s.h, &e.glo)) == (cls & 0x4);
        // table-driven sets know only wide (2) and narrow (1); AL16UTF16
        // keeps ambiguous widths
        unsigned want = s.u16 ? cols(u.eaw, s.wide_lang) : (u.eaw == 2 ? 2 : 1);
        ok = ok && lxmdspx(&c, &e.glo) == want && lxmdssln(&c, &e.glo) == want;
        if (!ok && ++bad < 5)
          ADD_FAILURE() << std::hex << "U+" << u.cp << " in cs " << s.h->cs << ": class "
                        << lxmalnx(&c, &e.glo) << " upper " << lxm2wux(&c, &e.glo) << " lower "
                        << lxm2wlx(&c, &e.glo) << " width " << lxmdspx(&c, &e.glo) << " upper? "
                        << lxwuppx(packed(text), s.h, &e.glo);
      }
      EXPECT_EQ(bad, 0) << s.h->cs;
    }
  });
}

TEST_F(Cur, AmbiguousWidthFollowsTheLanguage) {
  child([](Env &e) {
    Handles h(e);
    Bytes a = utf16(0x00A1);  // INVERTED EXCLAMATION MARK: ambiguous
    lxmcur wide = open(a, h.u16, e), narrow = open(a, h.u16narrow, e);
    EXPECT_EQ(lxmdspx(&wide, &e.glo), 2u);
    EXPECT_EQ(lxmdspx(&narrow, &e.glo), 1u);
  });
}

TEST_F(Cur, EucCharacters) {
  child([](Env &e) {
    Handles h(e);
    struct {
      Bytes text;
      unsigned width;
      uint16_t cls;
      uint32_t upper, lower;
    } cases[] = {
        {"A", 1, 0x804, 'A', 'a'},
        {"\xA3\xC1", 2, 0x814, 0xA3C1, 0xA3E1},   // FULLWIDTH LATIN CAPITAL A
        {"\xA3\xE1", 2, 0x818, 0xA3C1, 0xA3E1},   // FULLWIDTH LATIN SMALL A
        {"\xA3\xB0", 2, 0x30, 0xA3B0, 0xA3B0},    // FULLWIDTH DIGIT ZERO
        {"\xA1\xA1", 2, 0x50, 0xA1A1, 0xA1A1},    // IDEOGRAPHIC SPACE
        {"\x8E\xB1", 1, 0x800, 0x8EB1, 0x8EB1},   // HALFWIDTH KATAKANA A
        {"\x8F\xB0\xA1", 2, 0x810, 0x8FB0A1, 0x8FB0A1},
        {"\xC8\xA1", 2, 0, 0xC8A1, 0xC8A1},       // not in the class trie: wide, no class
    };
    for (auto &k : cases) {
      for (const lxlangid *hh : {&h.euc, &h.eucnarrow}) {
        lxmcur c = open(k.text, *hh, e);
        EXPECT_EQ(lxmdspx(&c, &e.glo), k.width) << k.text;
        EXPECT_EQ(uint16_t(lxmuppx(&c, &e.glo)), k.cls & 0x4) << k.text;
        EXPECT_EQ(uint16_t(lxmlowx(&c, &e.glo)), k.cls & 0x8) << k.text;
        EXPECT_EQ(uint16_t(lxmspax(&c, &e.glo)), k.cls & 0x40) << k.text;
        EXPECT_EQ(uint16_t(lxmalnx(&c, &e.glo)), k.cls & 0x820) << k.text;
        EXPECT_EQ(lxm2wux(&c, &e.glo), k.upper) << k.text;
        EXPECT_EQ(lxm2wlx(&c, &e.glo), k.lower) << k.text;
        EXPECT_EQ(lxmc2wx(&c, &e.glo), packed(k.text)) << k.text;
      }
    }
  });
}

// A reader looks at no byte past the text: a character cut off by the end
// (or a cursor at its end) has no class, value or width.
TEST_F(Cur, CutOffCharactersReadAsAbsent) {
  child([](Env &e) {
    Handles h(e);
    struct {
      const lxlangid *h;
      Bytes text;
      size_t len;
    } cases[] = {{&h.euc, "\xA3\xC1", 1},     {&h.euc, "\x8F\xB0\xA1", 2},
                 {&h.al32, "\xEF\xBC\xA1", 2}, {&h.u16, Bytes("\x00\x41", 2), 1},
                 {&h.euc, "A", 0},             {&h.shift, "\xA3\xC1", 1}};
    for (auto &k : cases) {
      lxmcur c = open(k.text, *k.h, e, k.len);
      if (k.h == &h.shift) c.shifted = 1;
      EXPECT_EQ(lxmuppx(&c, &e.glo), 0) << k.text;
      EXPECT_EQ(lxmalnx(&c, &e.glo), 0) << k.text;
      EXPECT_EQ(lxmc2wx(&c, &e.glo), 0u) << k.text;
      EXPECT_EQ(lxm2wlx(&c, &e.glo), 0u) << k.text;
      EXPECT_EQ(lxm2wux(&c, &e.glo), 0u) << k.text;
      EXPECT_EQ(lxmdspx(&c, &e.glo), 0u) << k.text;
    }
    // a one-byte character packs one byte
    Bytes a = "A";
    lxmcur c = open(a, h.euc, e);
    EXPECT_EQ(lxmc2wx(&c, &e.glo), 0x41u);
  });
}

TEST_F(Cur, SingleByteCaseThroughTheHandlesTables) {
  child([](Env &e) {
    Handles h(e);
    Bytes t = "a\xE4Z1";
    lxmcur c = open(t, h.latin, e);
    EXPECT_EQ(lxoCnvCh2Wide(&c, 0x20, &e.glo), uint32_t('A'));
    EXPECT_EQ(lxoCnvCh2Wide(&c, 0x10, &e.glo), uint32_t('a'));
    EXPECT_EQ(lxoCnvCh2Wide(&c, 0x40, &e.glo), 0u);
    ++c.pos;
    EXPECT_EQ(lxoCnvCh2Wide(&c, 0x20, &e.glo), 0xC4u);
    EXPECT_EQ(lxm2wux(&c, &e.glo), 0xC4u);
    ++c.pos;
    EXPECT_EQ(lxoCnvCh2Wide(&c, 0x10, &e.glo), uint32_t('z'));
    EXPECT_NE(lxmuppx(&c, &e.glo), 0);
    ++c.pos;
    EXPECT_NE(lxmdigx(&c, &e.glo), 0);
    EXPECT_EQ(lxmdspx(&c, &e.glo), 1u);
    EXPECT_EQ(lxmdssln(&c, &e.glo), 1u);
  });
}

TEST_F(Cur, EquivalentsOfSingleByteCodes) {
  child([](Env &e) {
    Handles h(e);
    Bytes fa = "\xA3\xC1", sp = "\xA1\xA1";
    lxmcur c = open(fa, h.euc, e);
    EXPECT_EQ(lxmctex(&c, 'A', &e.glo), 1);
    EXPECT_EQ(lxmctex(&c, 'B', &e.glo), 0);
    lxmcur s = open(sp, h.euc, e);
    EXPECT_EQ(lxmctex(&s, ' ', &e.glo), 1);
    struct {
      uint32_t wide;
      int code, want;
    } cases[] = {
        {0x41, 'A', 1},          // equal to the code: the charset is not asked
        {0xA3C1, 'A', 1},        // the table's value
        {0xA3C1, 'B', 0},
        {0xA1A1, ' ', 1},        // the lowest code of the table
        {0xA1A1, 0x1F, 0},       // below the lowest code: no equivalent
        {0x1F, 0x1F, 1},
        {0xA3C1, 0x7F, 0},       // above the highest
    };
    for (auto &k : cases) EXPECT_EQ(lxwctex(k.wide, k.code, &h.euc, &e.glo), k.want) << k.code;
  });
}

// lxmfwtx with the set's table steps exactly as lxmfwdx.
TEST_F(Cur, StepWithTheCallersTable) {
  child([](Env &e) {
    Handles h(e);
    const lxcsobj *cs = lxhci2h(830, &e.glo);
    ASSERT_NE(cs, nullptr);
    Bytes t = "a\xA3\xC1\x8E\xB1\x8F\xB0\xA1\xA3";
    lxmcur a = open(t, h.euc, e), b = open(t, h.euc, e);
    std::vector<size_t> want = {1, 2, 2, 3, 0};
    for (size_t w : want) {
      EXPECT_EQ(lxmfwdx(&a, &e.glo), w);
      EXPECT_EQ(lxmfwtx(&b, cs->bclass), w);
      EXPECT_EQ(a.pos, b.pos);
    }
    EXPECT_EQ(size_t(a.pos - a.start), t.size());
  });
}

TEST_F(Cur, ShiftSensitiveStepAndStepBack) {
  child([](Env &e) {
    Handles h(e);
    Bytes t = {char(kSO), '\xA3', '\xC1', char(kSI), 'A', char(kSO), char(kSI)};
    lxmcur c;
    EXPECT_EQ(lxmcpen(t.data(), t.size(), &c, &h.shift, &e.glo), 1u);
    EXPECT_EQ(c.shifted, 1);
    EXPECT_EQ(lxpmfwdx(&c, &e.glo), 3u);   // the character and the shift-in after it
    EXPECT_EQ(c.shifted, 0);
    EXPECT_EQ(lxpmfwdx(&c, &e.glo), 3u);   // 'A' and two shift bytes
    EXPECT_EQ(c.shifted, 0);
    EXPECT_EQ(size_t(c.pos - c.start), t.size());
    EXPECT_EQ(lxpmfwdx(&c, &e.glo), 0u);   // at the end: one byte on
    EXPECT_EQ(size_t(c.pos - c.start), t.size() + 1);

    // stepping back over shift bytes
    lxmcur b = open(t, h.shift, e);
    b.pos = b.start + 7;
    e.glo.status = 9;
    e.glo.nbytes = 9;
    EXPECT_EQ(lxmr2w(&b, &e.glo), -1);     // over SI: shifted out
    EXPECT_EQ(b.shifted, 1);
    EXPECT_EQ(b.mark, 1);
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(e.glo.nbytes, 0u);
    EXPECT_EQ(lxmr2w(&b, &e.glo), -1);     // over SO: shifted in
    EXPECT_EQ(b.shifted, 0);
    EXPECT_EQ(lxmr2w(&b, &e.glo), 0);      // 'A': no shift byte
    EXPECT_EQ(size_t(b.pos - b.start), 5u);
    b.pos = b.start;
    EXPECT_EQ(lxmr2w(&b, &e.glo), 0);      // at the start
    Bytes u = "ab";
    lxmcur l = open(u, h.utf8, e);
    l.pos++;
    EXPECT_EQ(lxmr2w(&l, &e.glo), 0);      // not shift-sensitive
  });
}

TEST_F(Cur, ShiftSensitiveWidths) {
  child([](Env &e) {
    Handles h(e);
    struct {
      Bytes text;
      int shifted;
      unsigned dspx, dssln;
    } cases[] = {
        {{'A', char(kSO)}, 0, 1, 2},              // a shift byte follows
        {{'A', 'B'}, 0, 1, 1},
        {"A", 0, 1, 1},                           // nothing follows
        {{'\xA3', '\xC1', char(kSI)}, 1, 2, 3},   // wide, a shift-in follows
        {{'\xA3', '\xC1', 'A'}, 1, 2, 2},
        {{'\xA3', '\xC1'}, 1, 2, 2},
    };
    for (auto &k : cases) {
      lxmcur c = open(k.text, h.shift, e);
      c.shifted = k.shifted;
      EXPECT_EQ(lxmdspx(&c, &e.glo), k.dspx);
      EXPECT_EQ(lxmdssln(&c, &e.glo), k.dssln);
    }
  });
}
