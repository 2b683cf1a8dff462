// Handles over the built-in table (no installation): their items and the
// environment variables, each in a child process.
#include <gtest/gtest.h>

#include <string.h>

#include "lxh.h"
#include "lxp.h"
#include "nlstest.h"

using nlstest::Env;
using nlstest::in_child;
using nlstest::item;

TEST(LxhBuiltin, DefaultHandleFromEnvironment) {
  in_child([] {
    Env e;
    EXPECT_EQ(e.status, LXS_BUILTIN);
    lxlangid h;
    ASSERT_EQ(lxhLangEnv(&h, 0, &e.glo), &h);
    EXPECT_EQ(h.lang, 1);
    EXPECT_EQ(h.ter, 2);
    EXPECT_EQ(h.cs, 3);
    EXPECT_EQ(h.owner, &e.glo);
    EXPECT_EQ(h.built, 1);
    EXPECT_EQ(h.opts, LXH_O_CONVEXCP | LXH_O_IMPCONV);
    EXPECT_TRUE(h.flags & LXH_F_AMERICAN);
    EXPECT_TRUE(h.flags & LXH_F_DATE_AMERICAN);
    EXPECT_TRUE(h.flags & LXH_F_SINGLE);
    EXPECT_TRUE(h.flags & LXH_F_ASCII);
    EXPECT_EQ(h.mb_len, 1);
    EXPECT_EQ(item(&h, 60, &e.glo), "AMERICAN");
    EXPECT_EQ(item(&h, 78, &e.glo), "AMERICA");
    EXPECT_EQ(item(&h, 79, &e.glo), "US7ASCII");
  });
}

TEST(LxhBuiltin, TextItems) {
  in_child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId(nullptr, 0, &h, 0, &e.glo));
    struct {
      int item;
      const char *text;
    } cases[] = {
        {0, "sunday"},    {6, "saturday"}, {7, "sun"},   {14, "january"}, {25, "december"},
        {26, "jan"},      {38, "yes"},     {39, "no"},   {40, "AM"},      {43, "BC"},
        {44, "."},        {45, ","},       {53, "USD"},  {54, "$"},       {58, "DD-MON-YY"},
        {61, "US"},       {62, "US7ASCII"}, {63, "AMERICA"}, {65, "."},   {66, ","},
        {69, "$"},        {70, "AMERICA"}, {71, ".,"},   {76, "DD-MON-YY"}, {77, "AMERICAN"},
        {80, "BINARY"},   {81, "GREGORIAN"}, {83, "LTR"}, {84, ""},       {85, "AMERICAN"},
        {119, "BINARY"},  {130, "BYTE"},   {131, "TRUE"}, {132, "TRUE"},  {200, ""},
    };
    for (const auto &c : cases) EXPECT_EQ(item(&h, c.item, &e.glo), c.text) << "item " << c.item;
    EXPECT_EQ(lxhninfo(&h, 93, &e.glo), 9);
    EXPECT_EQ(lxhninfo(&h, 94, &e.glo), 3);
    EXPECT_EQ(lxhninfo(&h, 115, &e.glo), 9);  // single-byte: characters are bytes
    EXPECT_EQ(lxhninfo(&h, 131, &e.glo), 4);
    EXPECT_EQ(lxhninfo(&h, 999, &e.glo), -1);
    EXPECT_EQ(e.glo.status, 9u);
    EXPECT_EQ(lxhninfo(nullptr, 93, &e.glo), -1);
  });
}

TEST(LxhBuiltin, TextItemsAreCutAndTerminated) {
  in_child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("", 0, &h, 0, &e.glo));
    char buf[8];
    memset(buf, 'x', sizeof buf);
    lxhlinfo(&h, 14, buf, 5, &e.glo);  // "january" into 5 bytes
    EXPECT_STREQ(buf, "janu");
    EXPECT_EQ(buf[5], 'x');
    memset(buf, 'x', sizeof buf);
    lxhlinfo(&h, 14, buf, 1, &e.glo);
    EXPECT_EQ(buf[0], 0);
    EXPECT_EQ(buf[1], 'x');
    // a sort suffix only when it fits
    h.opts |= LXH_O_CI;
    EXPECT_EQ(item(&h, 80, &e.glo), "BINARY_CI");
    lxhlinfo(&h, 80, buf, 8, &e.glo);
    EXPECT_STREQ(buf, "BINARY");
  });
}

TEST(LxhBuiltin, NamesAndFallbacks) {
  in_child([] {
    Env e;
    lxlangid h;
    // unknown parts take the defaults in modes 0 and 1
    ASSERT_TRUE(lxhLaToId("KLINGON_MARS.XX", 0, &h, 0, &e.glo));
    EXPECT_EQ(h.lang, 1);
    EXPECT_EQ(h.ter, 2);
    EXPECT_EQ(h.cs, 3);
    ASSERT_TRUE(lxhLaToId("KLINGON_MARS.XX", 7, &h, 1, &e.glo));
    EXPECT_EQ(e.glo.status, 0u);
    // mode 2 is strict
    struct {
      const char *text;
      uint32_t status;
    } strict[] = {{"KLINGON", 18}, {"AMERICAN_MARS", 19}, {"AMERICAN_AMERICA.XX", 20},
                  {".us8noop", 20}, {"american_america.us7ascii", 0}, {"_AMERICA", 0}, {"", 0}};
    for (const auto &c : strict) {
      memset(&h, 0x5A, sizeof h);
      lxlangid *r = lxhLaToId(c.text, strlen(c.text), &h, 2, &e.glo);
      EXPECT_EQ(e.glo.status, c.status) << c.text;
      if (c.status) {
        EXPECT_EQ(r, nullptr) << c.text;
        lxlangid zero;
        memset(&zero, 0, sizeof zero);
        EXPECT_EQ(memcmp(&h, &zero, sizeof h), 0) << c.text << ": handle not zeroed";
      } else {
        EXPECT_EQ(r, &h) << c.text;
      }
    }
  });
}

TEST(LxhBuiltin, EnvironmentReadOncePerProcess) {
  in_child([] {
    setenv("NLS_DATE_FORMAT", "YYYY-MM-DD", 1);
    setenv("NLS_NUMERIC_CHARACTERS", ",.", 1);
    setenv("NLS_CURRENCY", "EUR", 1);
    setenv("NLS_COMP", "ansi", 1);
    setenv("NLS_LENGTH_SEMANTICS", "CHAR", 1);
    setenv("NCHAR_CONV_EXCP", "FALSE", 1);
    setenv("NLS_STORAGE_ORDER", "bogus", 1);  // rejected, the rest still applies
    setenv("NLS_DEBIT", "DR", 1);
    setenv("NLS_LIST_SEPARATOR", "5", 1);      // a digit: refused
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(item(&h, 76, &e.glo), "YYYY-MM-DD");
    EXPECT_TRUE(h.flags & LXH_F_DATEFMT);
    EXPECT_EQ(item(&h, 65, &e.glo), ",");
    EXPECT_EQ(item(&h, 66, &e.glo), ".");
    EXPECT_EQ(item(&h, 69, &e.glo), "EUR");
    EXPECT_EQ(item(&h, 74, &e.glo), "DR");
    EXPECT_EQ(item(&h, 73, &e.glo), ",");  // the territory's, unchanged
    EXPECT_EQ(h.opts & 0xFF, LXH_O_ANSI | LXH_O_CHAR | LXH_O_IMPCONV);
    EXPECT_EQ(e.glo.status, 0u);
    // later changes do not reach the process
    setenv("NLS_DATE_FORMAT", "DD.MM.YYYY", 1);
    lxglo g2{};
    lxinitc(&g2, e.table, nullptr, 0);
    lxlangid h2;
    ASSERT_TRUE(lxhLangEnv(&h2, 0, &g2));
    EXPECT_EQ(item(&h2, 76, &g2), "YYYY-MM-DD");
    EXPECT_EQ(h2.owner, &g2);
    EXPECT_EQ(slxphsave, 1);
  });
}

TEST(LxhBuiltin, NlsLangForms) {
  const nlstest::LangForm cases[] = {
      {"AMERICAN_AMERICA.US7ASCII", 1, 2, 3},
      {"_AMERICA", 1, 2, 3},
      {".US7ASCII", 1, 2, 3},
      {"GERMAN_GERMANY.WE8ISO8859P1", 1, 2, 3},  // unknown here: defaults
  };
  for (const auto &c : cases) {
    in_child([&] {
      nlstest::expect_lang_form(c, [&](const lxlangid &) { EXPECT_STREQ(slxpenv, c.value); });
    });
  }
}

TEST(LxhBuiltin, Mode2RemembersAnInvalidValue) {
  in_child([] {
    setenv("NLS_LANG", "KLINGON_AMERICA.US7ASCII", 1);
    Env e;
    lxlangid h;
    EXPECT_EQ(lxhLangEnv(&h, 2, &e.glo), nullptr);
    EXPECT_EQ(e.glo.status, 18u);
    setenv("NLS_LANG", "AMERICAN", 1);  // not read again
    e.glo.status = 0;
    EXPECT_EQ(lxhLangEnv(&h, 2, &e.glo), nullptr);
    EXPECT_EQ(e.glo.status, 18u);
    EXPECT_EQ(slxpvalid, 2);
    // mode 0 still builds a handle with the defaults
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(h.lang, 1);
  });
  in_child([] {
    Env e;
    lxlangid h;
    // unset: mode 2 and mode 1 give nothing, with status 0
    EXPECT_EQ(lxhLangEnv(&h, 2, &e.glo), nullptr);
    EXPECT_EQ(e.glo.status, 0u);
    EXPECT_EQ(slxpnotset, 1);
    EXPECT_EQ(lxhLangEnv(&h, 1, &e.glo), nullptr);
    EXPECT_TRUE(lxhLangEnv(&h, 0, &e.glo));
  });
  in_child([] {
    setenv("NLS_LANG", "american_america.us7ascii", 1);
    Env e;
    lxlangid h;
    ASSERT_EQ(lxhLangEnv(&h, 2, &e.glo), &h);
    EXPECT_EQ(slxpvalid, 1);
    EXPECT_EQ(slxphsave, 1);
    ASSERT_EQ(lxhLangEnv(&h, 1, &e.glo), &h);
  });
}

TEST(LxhBuiltin, LongValues) {
  in_child([] {
    std::string lang(300, 'A');
    setenv("NLS_LANG", lang.c_str(), 1);
    setenv("NLS_DATE_FORMAT", std::string(256, 'Y').c_str(), 1);
    Env e;
    lxlangid h;
    // too long for the environment query: the defaults apply, the format is not applied
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(h.lang, 1);
    EXPECT_EQ(item(&h, 76, &e.glo), "DD-MON-YY");
    // mode 2 reads up to 1023 bytes: the value is a language name that does not exist
    EXPECT_EQ(lxhLangEnv(&h, 2, &e.glo), nullptr);
    EXPECT_EQ(e.glo.status, 18u);
  });
}

TEST(LxhBuiltin, DisplayVariable) {
  in_child([] {
    setenv("NLS_DISPLAY", "HEBREW_RTL.US7ASCII", 1);
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_TRUE(h.flags & LXH_F_RTL);
    EXPECT_EQ(item(&h, 82, &e.glo), "HEBREW");
    EXPECT_EQ(item(&h, 83, &e.glo), "RTL");
  });
}

TEST(LxhBuiltin, DisplayNameIsTerminated) {
  in_child([] {
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLaToId("", 0, &h, 0, &e.glo));
    memset(h.disp_name, 'Z', sizeof h.disp_name);
    const char v[] = "ABC_LTR";
    lxhdisp(v, strlen(v), &h, &e.glo);
    EXPECT_STREQ(h.disp_name, "ABC");
    std::string longname(60, 'N');
    lxhdisp(longname.c_str(), longname.size(), &h, &e.glo);
    EXPECT_EQ(strlen(h.disp_name), 39u);
    EXPECT_EQ(lxhdisp(v, 3, nullptr, &e.glo), 0);
  });
}
