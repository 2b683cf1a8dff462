// Handles over a written installation: a second language, territory and
// character sets, the environment forms, parameter changes, installers and
// character-set look-ups. Every test runs in a child process.
#include <gtest/gtest.h>

#include <string.h>

#include <string>
#include <vector>

#include "lxg.h"
#include "lxh.h"
#include "lxp.h"
#include "nlsfix.h"

using namespace nlsfix;
using nlstest::Env;
using nlstest::item;

namespace {

class LxhInstall : public Installed {};

}  // namespace

TEST_F(LxhInstall, SecondLanguageFromNlsLang) {
  child([] {
    setenv("NLS_LANG", "GERMAN_GERMANY.WE8ISO8859P1", 1);
    Env e;
    ASSERT_EQ(e.status, 0u);
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(h.lang, GERMAN);
    EXPECT_EQ(h.ter, GERMANY);
    EXPECT_EQ(h.cs, WE8ISO8859P1);
    EXPECT_EQ(h.sort, SORT_GERMAN);
    EXPECT_EQ(h.name_cs, US7ASCII);
    EXPECT_FALSE(h.flags & LXH_F_AMERICAN);
    EXPECT_FALSE(h.flags & LXH_F_DATE_AMERICAN);
    EXPECT_TRUE(h.flags & LXH_F_LINGSORT);
    EXPECT_FALSE(h.flags & LXH_F_BYTEWISE);
    struct {
      int item;
      const char *text;
    } cases[] = {{0, "sonntag"},  {16, "m\xe4rz"}, {28, "m\xe4r"},  {38, "ja"},    {61, "D"},
                 {64, "DE"},      {65, ","},       {66, "."},      {53, "DEM"},   {54, "DM"},
                 {69, "DM"},      {73, ";"},       {74, "S"},      {76, "DD.MM.RR"},
                 {60, "GERMAN"},  {62, "WE8ISO8859P1"}, {63, "GERMANY"}, {80, "GERMAN"},
                 {126, "HH24:MI:SSXFF"}};
    for (const auto &c : cases) EXPECT_EQ(item(&h, c.item, &e.glo), c.text) << "item " << c.item;
    EXPECT_EQ(lxhninfo(&h, 93, &e.glo), 9);    // "september"
    EXPECT_EQ(lxhninfo(&h, 95, &e.glo), 10);   // "donnerstag"
    EXPECT_EQ(lxhninfo(&h, 97, &e.glo), 1);    // territory value at 100
    EXPECT_EQ(lxhninfo(&h, 113, &e.glo), 5);
    EXPECT_EQ(lxhninfo(&h, 114, &e.glo), 3);
    EXPECT_EQ(lxhcsn(&h, &e.glo), 31);
    EXPECT_EQ(lxhasc(&h, &e.glo), 1);
  });
}

TEST_F(LxhInstall, NlsLangForms) {
  const nlstest::LangForm cases[] = {
      {"GERMAN", GERMAN, GERMANY, WE8ISO8859P1},         // the language's defaults
      {"_GERMANY", AMERICAN, GERMANY, US7ASCII},         // the territory only
      {".UTF8", AMERICAN, AMERICA, UTF8},                // the charset only
      {"german_america.al32utf8", GERMAN, AMERICA, AL32UTF8},
      {" GERMAN _ GERMANY . JA16SJIS ", GERMAN, GERMANY, JA16SJIS},
      {"GERMAN_NOWHERE.NOSUCH", GERMAN, GERMANY, WE8ISO8859P1},
      {"AMERICANO", AMERICANO, AMERICA, US7ASCII},
  };
  for (const auto &c : cases) {
    child([&] {
      nlstest::expect_lang_form(c, [&](const lxlangid &h) {
        // a language whose name only begins with "american" is not AMERICAN
        EXPECT_EQ((h.flags & LXH_F_AMERICAN) != 0, c.lang == AMERICAN) << c.value;
      });
    });
  }
}

TEST_F(LxhInstall, ItemsInMultibyteAndUtf16Handles) {
  child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("GERMAN_GERMANY.UTF8", 0, &h, 0, &e.glo));
    EXPECT_EQ(h.mb_len, 3);
    EXPECT_FALSE(h.flags & LXH_F_SINGLE);
    EXPECT_EQ(item(&h, 16, &e.glo), "m\xc3\xa4rz");
    EXPECT_EQ(item(&h, 60, &e.glo), "GERMAN");
    EXPECT_EQ(lxhninfo(&h, 115, &e.glo), 27);  // 9 characters of 3 bytes
    // a cut never splits a character
    char buf[4];
    lxhlinfo(&h, 16, buf, 3, &e.glo);
    EXPECT_STREQ(buf, "m");
    lxhlinfo(&h, 16, buf, 4, &e.glo);
    EXPECT_STREQ(buf, "m\xc3\xa4");
    ASSERT_TRUE(lxhLaToId("GERMAN_GERMANY.AL16UTF16", 0, &h, 0, &e.glo));
    EXPECT_TRUE(h.flags & LXH_F_WIDE);
    EXPECT_TRUE(h.flags & LXH_F_AL16UTF16);
    char w[32];
    memset(w, 'x', sizeof w);
    lxhlinfo(&h, 16, w, sizeof w, &e.glo);
    EXPECT_EQ(memcmp(w, "\0m\0\xe4\0r\0z\0\0", 10), 0);
    memset(w, 'x', sizeof w);
    lxhlinfo(&h, 60, w, sizeof w, &e.glo);  // a boot name converted from US7ASCII
    EXPECT_EQ(memcmp(w, "\0G\0E\0R\0M\0A\0N\0\0", 14), 0);
    EXPECT_EQ(memcmp(h.numchars, "\0,\0.", 4), 0);
    EXPECT_EQ(item(&h, 65, &e.glo), "");  // starts with a zero byte
    memset(w, 'x', sizeof w);
    lxhlinfo(&h, 65, w, sizeof w, &e.glo);
    EXPECT_EQ(memcmp(w, "\0,\0\0", 4), 0);
    // room for less than two terminators: zeroed
    memset(w, 'x', sizeof w);
    lxhlinfo(&h, 0, w, 3, &e.glo);
    EXPECT_EQ(memcmp(w, "\0\0\0x", 4), 0);
  });
}

TEST_F(LxhInstall, EnvironmentOverrides) {
  child([] {
    setenv("NLS_DATE_LANGUAGE", "GERMAN", 1);
    setenv("NLS_ISO_CURRENCY", "GERMANY", 1);
    setenv("NLS_SORT", "GERMAN_CI", 1);
    setenv("NLS_DUAL_CURRENCY", "EUR", 1);
    setenv("NLS_UNION_CURRENCY", "XEU", 1);  // the later entry wins
    setenv("NLS_CALENDAR", "Gregorian", 1);
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(h.lang, AMERICAN);
    EXPECT_EQ(h.date_lang, GERMAN);
    EXPECT_TRUE(h.flags & LXH_F_AMERICAN);
    EXPECT_FALSE(h.flags & LXH_F_DATE_AMERICAN);
    EXPECT_EQ(item(&h, 0, &e.glo), "sonntag");
    EXPECT_EQ(item(&h, 77, &e.glo), "GERMAN");
    EXPECT_EQ(item(&h, 53, &e.glo), "DEM");
    EXPECT_EQ(item(&h, 70, &e.glo), "GERMANY");
    EXPECT_EQ(item(&h, 54, &e.glo), "$");
    EXPECT_EQ(h.sort, SORT_GERMAN);
    EXPECT_EQ(h.opts & 0xF00, LXH_O_CI);
    EXPECT_EQ(item(&h, 80, &e.glo), "GERMAN_CI");
    EXPECT_EQ(item(&h, 121, &e.glo), "EUR");
    EXPECT_EQ(item(&h, 81, &e.glo), "GREGORIAN");
  });
}

TEST_F(LxhInstall, DisplayCharset) {
  child([] {
    setenv("NLS_DISPLAY", "GERMAN_LTR.WE8ISO8859P1", 1);
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(h.disp_cs, WE8ISO8859P1);
    EXPECT_TRUE(h.flags & LXH_F_DISPLAY);
    EXPECT_NE(h.csoff[LXH_OFF_DISPTAB], 0u);
    EXPECT_EQ(item(&h, 84, &e.glo), "WE8ISO8859P1");
    EXPECT_EQ(item(&h, 82, &e.glo), "GERMAN");
    // a charset not marked usable for display is not installed
    EXPECT_EQ(lxhdisp("X_Y.UTF8", 8, &h, &e.glo), 0);
    EXPECT_EQ(h.disp_cs, 0);
  });
}

TEST_F(LxhInstall, FailedBuildIsNotSaved) {
  child([] {
    setenv("NLS_LANG", "FRENCH", 1);  // listed, but its object file is missing
    Env e;
    lxlangid h;
    EXPECT_EQ(lxhLangEnv(&h, 0, &e.glo), nullptr);
    EXPECT_EQ(e.glo.status, LXS_NOLOAD);
    EXPECT_EQ(slxphsave, 0);
    EXPECT_EQ(lxhLangEnv(&h, 0, &e.glo), nullptr);
    EXPECT_EQ(lxhLaToId("FRENCH", 0, &h, 0, &e.glo), nullptr);
    EXPECT_EQ(h.lang, 0);
    // another language still builds
    EXPECT_TRUE(lxhLaToId("GERMAN", 0, &h, 0, &e.glo));
  });
}

TEST_F(LxhInstall, CopiesLoadTheirObjects) {
  child([] {
    setenv("NLS_LANG", "GERMAN_GERMANY.UTF8", 1);
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    // a second environment over a private table of its own
    uint32_t st = 0;
    lxlobj *priv = lxlinit(nullptr, 0, &st);
    ASSERT_NE(priv, nullptr);
    lxglo g2{};
    lxinitc(&g2, priv, nullptr, 0);
    lxlangid h2;
    ASSERT_TRUE(lxhLangEnv(&h2, 0, &g2));
    EXPECT_EQ(h2.owner, &g2);
    EXPECT_NE(lxlslot(priv, GERMAN), nullptr);
    EXPECT_NE(lxlslot(priv, UTF8), nullptr);
    EXPECT_NE(lxlslot(priv, SORT_GERMAN), nullptr);
    EXPECT_EQ(lxlslot(priv, AMERICAN), nullptr);
    EXPECT_EQ(item(&h2, 16, &g2), "m\xc3\xa4rz");
  });
}

TEST_F(LxhInstall, CharsetChangeReencodesTexts) {
  child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("GERMAN_GERMANY.WE8ISO8859P1", 0, &h, 0, &e.glo));
    ASSERT_EQ(lxhlmod(&h, "\xa4X", 2, 69, 0, 0, &e.glo), 1);
    EXPECT_EQ(h.par_len[LXH_PAR_CURRENCY], 2);
    ASSERT_EQ(lxhlmod(&h, "UTF8", 4, 79, 0, 0, &e.glo), 1);
    EXPECT_EQ(h.cs, UTF8);
    EXPECT_EQ(item(&h, 69, &e.glo), "\xc2\xa4X");
    EXPECT_EQ(h.par_len[LXH_PAR_CURRENCY], 3);
    EXPECT_EQ(item(&h, 76, &e.glo), "DD.MM.RR");
    EXPECT_EQ(h.mb_len, 3);
    EXPECT_FALSE(h.flags & (LXH_F_SINGLE | LXH_F_BYTEWISE));
    // the same charset again: nothing re-encoded
    lxlangid before = h;
    ASSERT_EQ(lxpcset(UTF8, &h, &e.glo), 1);
    EXPECT_EQ(memcmp(&before, &h, sizeof h), 0);
    // into UTF-16 and back
    ASSERT_EQ(lxhnmod(&h, 2000, 79, 0, &e.glo), 1);
    EXPECT_EQ(h.cs, AL16UTF16);
    EXPECT_EQ(memcmp(h.currency, "\0\xa4\0X", 4), 0);
    EXPECT_EQ(memcmp(h.numchars, "\0,\0.", 4), 0);
    ASSERT_EQ(lxhnmod(&h, 31, 79, 0, &e.glo), 1);
    EXPECT_EQ(item(&h, 69, &e.glo), "\xa4X");
    EXPECT_EQ(item(&h, 71, &e.glo), ",.");
    // an unknown id: refused, or the language's default with reset
    EXPECT_EQ(lxhnmod(&h, 4242, 79, 0, &e.glo), 0);
    ASSERT_EQ(lxhnmod(&h, 4242, 79, 1, &e.glo), 1);
    EXPECT_EQ(h.cs, WE8ISO8859P1);
    // the two ids stored directly
    ASSERT_EQ(lxhnmod(&h, 1000, 79, 0, &e.glo), 1);
    EXPECT_EQ(h.cs, 1000);
    EXPECT_EQ(lxhcsn(&h, &e.glo), 1000);
    EXPECT_EQ(lxhnmod(&h, 871, 79, 0, &e.glo), 0);
    EXPECT_EQ(e.glo.status, 26u);
  });
}

TEST_F(LxhInstall, TextParameterRules) {
  child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("AMERICAN_AMERICA.WE8ISO8859P1", 0, &h, 0, &e.glo));
    lxlangid keep = h;
    struct {
      int item;
      const char *value;
      int ok;
    } refused[] = {{71, "..", 0}, {71, "1,", 0}, {71, ".", 0},  {71, "+,", 0}, {72, ",,", 0},
                   {73, ".", 0},  {73, ";;", 0}, {73, "7", 0},  {69, "5EUR", 0}, {69, "-X", 0},
                   {74, "", 0},   {77, "KLINGON", 0}, {78, "MARS", 0}, {79, "NOSUCH", 0},
                   {80, "NOSORT", 0}, {85, "KLINGON", 0}, {81, "JAPANESE", 0}, {200, "x", 0}};
    for (const auto &c : refused) {
      EXPECT_EQ(lxhlmod(&h, c.value, strlen(c.value), c.item, 0, 0, &e.glo), 0)
          << c.item << " " << c.value;
      EXPECT_EQ(memcmp(&keep, &h, sizeof h), 0) << c.item << " " << c.value << " changed the handle";
    }
    ASSERT_EQ(lxhlmod(&h, ".,", 2, 71, 0, 0, &e.glo), 1);
    EXPECT_EQ(memcmp(h.numchars, ".,", 2), 0);
    ASSERT_EQ(lxhlmod(&h, "|", 1, 73, 0, 0, &e.glo), 1);
    EXPECT_EQ(item(&h, 73, &e.glo), "|");
    // longer texts are cut to the field
    ASSERT_EQ(lxhlmod(&h, "ABCDEFGHIJKLMN", 14, 69, 0, 0, &e.glo), 1);
    EXPECT_EQ(item(&h, 69, &e.glo), "ABCDEFGHIJ");
    ASSERT_EQ(lxhlmod(&h, "DEBITDEBITDEBIT", 15, 74, 0, 0, &e.glo), 1);
    EXPECT_EQ(item(&h, 74, &e.glo), "DEBITDEBI");
    // reset with an empty text takes the territory's default
    ASSERT_EQ(lxhlmod(&h, "", 0, 69, 0, 1, &e.glo), 1);
    EXPECT_EQ(item(&h, 69, &e.glo), "$");
    ASSERT_EQ(lxhlmod(&h, nullptr, 0, 71, 0, 1, &e.glo), 1);
    EXPECT_EQ(item(&h, 71, &e.glo), ".,");
    // name items take their part of a full name when parsing
    ASSERT_EQ(lxhlmod(&h, "AMERICAN_GERMANY.UTF8", 21, 78, 1, 0, &e.glo), 1);
    EXPECT_EQ(h.ter, GERMANY);
    EXPECT_EQ(item(&h, 69, &e.glo), "DM");
    ASSERT_EQ(lxhlmod(&h, "x_y.AL32UTF8", 12, 79, 1, 0, &e.glo), 1);
    EXPECT_EQ(h.cs, AL32UTF8);
    // an unknown name with reset: the default
    ASSERT_EQ(lxhlmod(&h, "MARS", 4, 78, 0, 1, &e.glo), 1);
    EXPECT_EQ(h.ter, AMERICA);
  });
}

TEST_F(LxhInstall, OptionWords) {
  child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("", 0, &h, 0, &e.glo));
    struct {
      int item;
      const char *value;
      int result;
      uint32_t status;
      uint32_t opts;  // option bits 0x1f afterwards
    } cases[] = {
        {119, "Binary", 1, 0, 0xC},    {119, "ANSI", 1, 0, 0xD},      {119, "ansifoo", 1, 0, 0xD},
        {119, "bin", 0, 29, 0xD},      {119, "", 0, 29, 0xD},         {130, "char", 1, 0, 0xF},
        {130, "BYTE", 1, 0, 0xD},      {130, "bytes", 1, 0, 0xD},     {130, "c", 0, 31, 0xD},
        {131, "false", 1, 0, 0x9},     {131, "TRUE", 1, 0, 0xD},      {131, "yes", 0, 32, 0xD},
        {132, "FALSE", 1, 0, 0x5},     {132, "maybe", 0, 33, 0x5},    {108, "visual", 1, 0, 0x15},
        {108, "LOGICAL", 1, 0, 0x5},   {108, "vis", 1, 25, 0x5},
    };
    for (const auto &c : cases) {
      e.glo.status = 0;
      EXPECT_EQ(lxhlmod(&h, c.value, strlen(c.value), c.item, 0, 0, &e.glo), c.result)
          << c.item << " " << c.value;
      EXPECT_EQ(e.glo.status, c.status) << c.item << " " << c.value;
      EXPECT_EQ(h.opts & 0x1F, c.opts) << c.item << " " << c.value;
    }
    EXPECT_EQ(lxhlmod(&h, "", 0, 132, 0, 1, &e.glo), 1);
    EXPECT_EQ(h.opts & 0x8, 0x8u);
  });
}

TEST_F(LxhInstall, NumericOptionItems) {
  child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("", 0, &h, 0, &e.glo));
    EXPECT_EQ(h.opts & 0xF, 0xCu);
    EXPECT_EQ(lxhnmod(&h, 2, 130, 0, &e.glo), 0);
    EXPECT_EQ(h.opts & 0xF, 0xEu);
    EXPECT_EQ(lxhnmod(&h, 3, 130, 0, &e.glo), 0);
    EXPECT_EQ(e.glo.status, 31u);
    EXPECT_EQ(h.opts & 0xF, 0xEu);
    EXPECT_EQ(lxhnmod(&h, 3, 130, 1, &e.glo), 0);
    EXPECT_EQ(h.opts & 0xF, 0xCu);
    EXPECT_EQ(lxhnmod(&h, 0, 131, 0, &e.glo), 0);
    EXPECT_EQ(h.opts & 0xF, 0x8u);
    EXPECT_EQ(lxhnmod(&h, 7, 131, 1, &e.glo), 0);
    EXPECT_EQ(e.glo.status, 32u);
    EXPECT_EQ(h.opts & 0xF, 0xCu);
    EXPECT_EQ(lxhnmod(&h, 16, 108, 0, &e.glo), 1);
    EXPECT_EQ(lxhninfo(&h, 108, &e.glo), 16);
    EXPECT_EQ(lxhnmod(&h, 5, 108, 0, &e.glo), 1);
    EXPECT_EQ(e.glo.status, 25u);
    EXPECT_EQ(lxhninfo(&h, 108, &e.glo), 0);
    EXPECT_EQ(lxhnmod(&h, 1, 99, 0, &e.glo), 0);
    EXPECT_EQ(lxhnmod(nullptr, 1, 79, 0, &e.glo), 0);
  });
}

TEST_F(LxhInstall, Installers) {
  child([] {
    Env e;
    lxlangid h;
    memset(&h, 0, sizeof h);
    h.owner = &e.glo;
    // index 0 installs the first language
    ASSERT_EQ(lxplset(0, &h, &e.glo), 1);
    EXPECT_EQ(h.lang, AMERICAN);
    EXPECT_EQ(h.lang_ter, AMERICA);
    EXPECT_EQ(h.lang_cs, US7ASCII);
    EXPECT_TRUE(h.flags & LXH_F_AMERICAN);
    // a kept date language and sort stay
    h.flags |= LXH_F_KEEP_DATELANG | LXH_F_KEEP_SORT;
    ASSERT_EQ(lxplset(GERMAN, &h, &e.glo), 1);
    EXPECT_EQ(h.date_lang, AMERICAN);
    EXPECT_EQ(h.sort, 0);
    EXPECT_TRUE(h.flags & LXH_F_DATE_AMERICAN);
    EXPECT_FALSE(h.flags & LXH_F_AMERICAN);
    // a fresh charset is installed without re-encoding
    ASSERT_EQ(lxpcset(WE8ISO8859P1, &h, &e.glo), 1);
    EXPECT_TRUE(h.flags & (LXH_F_SINGLE | LXH_F_BYTEWISE | LXH_F_FIXED | LXH_F_ASCII));
    EXPECT_TRUE(h.flags & LXH_F_DISPLAY);
    EXPECT_EQ(h.csoff[LXH_OFF_UPPER], offsetof(lxcsobj, upper));
    ASSERT_EQ(lxptset(GERMANY, &h, &e.glo), 1);
    EXPECT_EQ(item(&h, 76, &e.glo), "DD.MM.RR");
    // kept formats stay
    ASSERT_EQ(lxhlmod(&h, "YYYY", 4, 76, 0, 0, &e.glo), 1);
    ASSERT_EQ(lxptset(AMERICA, &h, &e.glo), 1);
    EXPECT_EQ(item(&h, 76, &e.glo), "YYYY");
    EXPECT_EQ(item(&h, 54, &e.glo), "$");
    // sort 0 with options
    ASSERT_EQ(lxpsset(0, 0x100, &h, &e.glo), 1);
    EXPECT_EQ((h.opts >> 8) & 0xF, 1u);
    EXPECT_FALSE(h.flags & LXH_F_LINGSORT);
    ASSERT_EQ(lxpsset(SORT_GERMAN, 0, &h, &e.glo), 1);
    EXPECT_TRUE(h.flags & LXH_F_LINGSORT);
    EXPECT_EQ((h.opts >> 8) & 0xF, 0u);
    // objects that cannot be had
    lxlangid before = h;
    EXPECT_EQ(lxplset(FRENCH, &h, &e.glo), 0);
    EXPECT_EQ(e.glo.status, LXS_NOLOAD);
    EXPECT_EQ(lxpcset(797, &h, &e.glo), 0);
    EXPECT_EQ(memcmp(&before, &h, sizeof h), 0);
    // loading everything a handle names
    EXPECT_EQ(lxpdload(&h, &e.glo), 1);
    h.disp_cs = FRENCH;  // not a charset that loads
    h.disp_cs = 0;
    EXPECT_EQ(lxpdload(&h, &e.glo), 1);
    h.iso_ter = 3;  // FRENCH's slot, whose file is missing
    EXPECT_EQ(lxpdload(&h, &e.glo), 0);
  });
}

TEST_F(LxhInstall, CharsetLookups) {
  child([] {
    Env e;
    const lxcsobj *a = lxhci2h(31, &e.glo);
    ASSERT_NE(a, nullptr);
    EXPECT_EQ(lxhh2ci(a, &e.glo), 31);
    EXPECT_EQ(e.glo.csid[0], 31);
    EXPECT_EQ(e.glo.csidx[0], WE8ISO8859P1);
    const lxcsobj *b = lxhci2h(871, &e.glo);
    EXPECT_EQ(lxhh2ci(b, &e.glo), 871);
    EXPECT_EQ(e.glo.csid[1], 871);
    // the built-in objects do not touch the cache
    EXPECT_EQ(lxhci2h(2002, &e.glo), reinterpret_cast<const lxcsobj *>(lxdlutf16le));
    EXPECT_EQ(lxhci2h(1000, &e.glo), reinterpret_cast<const lxcsobj *>(lxdlucs));
    EXPECT_EQ(lxhci2h(799, &e.glo), reinterpret_cast<const lxcsobj *>(lxdlwkb));
    EXPECT_EQ(e.glo.csnext, 0);
    // a hit leaves the cache alone; a third id replaces the older entry
    EXPECT_EQ(lxhci2h(31, &e.glo), a);
    EXPECT_EQ(lxhci2h(873, &e.glo), lxhci2h(873, &e.glo));
    EXPECT_EQ(e.glo.csid[0], 873);
    EXPECT_EQ(e.glo.csid[1], 871);
    EXPECT_EQ(lxhci2h(4242, &e.glo), nullptr);
    EXPECT_EQ(lxhchtoid("AL16UTF16LE", 11, &e.glo), reinterpret_cast<const lxcsobj *>(lxdlutf16le));
    EXPECT_EQ(lxhchtoid("al16utf16le", 11, &e.glo), reinterpret_cast<const lxcsobj *>(lxdlutf16le));
    EXPECT_EQ(lxhchtoid("utf8", 4, &e.glo), b);
    EXPECT_EQ(lxhchtoid("nosuch", 6, &e.glo), nullptr);
    EXPECT_EQ(lxhchtoid("us8noop", 7, &e.glo), nullptr);
    EXPECT_EQ(lxhnsize(nullptr), 0u);
    EXPECT_EQ(lxhnsize(a), 1u);
    EXPECT_EQ(lxhnsize(b), 0u);
    EXPECT_EQ(lxhnsize(lxhci2h(2000, &e.glo)), 2u);
  });
}

TEST_F(LxhInstall, SingleByteTableConversion) {
  child([] {
    Env e;
    const lxcsobj *l1 = lxhci2h(31, &e.glo), *us = lxhci2h(1, &e.glo);
    char out[8];
    lxhmcnv(out, "A\xe4?", 3, us, l1, &e.glo);
    EXPECT_EQ(std::string(out, 3), "A??");
    EXPECT_EQ(e.glo.repmark, 1000);
    lxhmcnv(out, "A?", 2, us, l1, &e.glo);
    EXPECT_EQ(e.glo.repmark, 0);  // "?" is the replacement character's own
    // overlapping, in place
    char t[] = "xAB";
    lxhmcnv(t, t + 1, 2, l1, us, &e.glo);
    EXPECT_EQ(std::string(t, 2), "AB");
  });
}
