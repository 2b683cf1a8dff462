// Calendar information (lxeifnd) for calendars 1-6 in their own character
// sets and converted into AL32UTF8 handles (expected bytes from Python's
// codecs and iconv), matching at a cursor, the calendar lookup by name, and
// NLS_CALENDAR through the handle items and the environment.
#include <string.h>

#include <string>

#include <gtest/gtest.h>

#include "calinst.h"
#include "lxe.h"
#include "lxh.h"
#include "lxm.h"

namespace {

#include "calcases.inc"

using calinst::handle;
using nlstest::Env;
class Lxe : public calinst::Installed {};

const char *const kCalName[] = {"", "Japanese Imperial", "ROC Official", "Thai Buddha",
                                "Persian", "Arabic Hijrah", "English Hijrah"};
const char *const kOwnSet[] = {"", "JA16EUC", "ZHT32EUC", "TH8TISASCII", "FA8ASCII",
                               "AR8ISO8859P6", "US7ASCII"};

// A text result of kind for number n, with room bytes; "<none>" when not found.
std::string text(const lxlangid &h, Env &e, int kind, int32_t n, size_t room = 64) {
  char buf[128];
  memset(buf, '#', sizeof buf);
  lxeireq r{};
  r.len = uint16_t(room);
  r.glo = &e.glo;
  r.in.n = n;
  r.out.text = buf;
  if (!lxeifnd(&h, &r, kind)) return "<none>";
  EXPECT_EQ(buf[r.len], 0) << "kind " << kind << " not terminated";
  EXPECT_EQ(buf[room], '#') << "kind " << kind << " wrote past its length";
  return std::string(buf, r.len);
}

std::string own(const CalText &t) { return std::string(t.own, t.own_len); }
std::string utf8(const CalText &t) { return std::string(t.utf8, t.utf8_len); }

TEST_F(Lxe, MonthAndEraTextsInEveryCalendar) {
  child([](Env &e) {
    for (const CalTexts &c : kCalTexts) {
      std::string set = nlskit::american(kOwnSet[c.cal]);
      for (bool convert : {false, true}) {
        lxlangid h = handle(e, convert ? "AMERICAN_AMERICA.AL32UTF8" : set.c_str(), kCalName[c.cal]);
        auto want = [&](const CalText &t) { return convert ? utf8(t) : own(t); };
        for (int m = 1; m <= 12; ++m) {
          EXPECT_EQ(text(h, e, LXE_I_MONNAME, m), want(c.names[m - 1])) << c.cal << " month " << m;
          if (c.abbrs[m - 1].own_len) {
            EXPECT_EQ(text(h, e, LXE_I_MONABBR, m), want(c.abbrs[m - 1])) << c.cal << " " << m;
          }
        }
        EXPECT_EQ(text(h, e, LXE_I_MONNAME, 13), "<none>");
        EXPECT_EQ(text(h, e, LXE_I_MONNAME, 0), "<none>");
        for (int n = 0; n < c.neras; ++n) {
          EXPECT_EQ(text(h, e, LXE_I_ERANAME, n), want(c.era_names[n])) << c.cal << " era " << n;
          EXPECT_EQ(text(h, e, LXE_I_ERAABBR, n), want(c.era_abbrs[n])) << c.cal << " era " << n;
          EXPECT_EQ(text(h, e, LXE_I_ERANAME2, n), "");
        }
        EXPECT_EQ(text(h, e, LXE_I_ERANAME, c.neras), "<none>");
        EXPECT_EQ(text(h, e, LXE_I_NAME, 0), kCalName[c.cal]);
        EXPECT_EQ(text(h, e, LXE_I_MONNAME + 15, 1), "<none>");  // kind 19
      }
    }
  });
}

TEST_F(Lxe, EraDaysAndTheGregorianCalendar) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.JA16EUC", "Japanese Imperial");
    lxeireq r{};
    r.glo = &e.glo;
    const struct {
      int kind, era;
      int32_t want;
    } cases[] = {{LXE_I_ERAFIRST, 0, 2403584}, {LXE_I_ERALAST, 0, 2419613},
                 {LXE_I_ERAFIRST2, 3, 2447535}, {LXE_I_ERALAST2, 3, 0}};
    for (auto c : cases) {
      r.in.n = c.era;
      ASSERT_EQ(lxeifnd(&h, &r, c.kind), 1);
      EXPECT_EQ(r.out.num, c.want);
    }
    r.in.n = 4;
    EXPECT_EQ(lxeifnd(&h, &r, LXE_I_ERAFIRST), 0);
    lxlangid g = handle(e, "AMERICAN_AMERICA.US7ASCII", "GREGORIAN");
    for (int kind = 0; kind <= LXE_I_LAST; ++kind) EXPECT_EQ(text(g, e, kind, 1), "<none>") << kind;
  });
}

TEST_F(Lxe, LengthsNeverWrittenPast) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.AL32UTF8", "Thai Buddha");
    const std::string full = utf8(kCalTexts[2].names[1]);  // 10 Thai letters, 30 bytes
    // Length 0 reports the converted length and writes nothing.
    char buf[4] = {'#', '#', '#', '#'};
    lxeireq r{};
    r.glo = &e.glo;
    r.in.n = 2;
    r.out.text = buf;
    ASSERT_EQ(lxeifnd(&h, &r, LXE_I_MONNAME), 1);
    EXPECT_EQ(r.len, full.size());
    EXPECT_EQ(buf[0], '#');
    // Room for fewer bytes: whole characters only, terminated.
    EXPECT_EQ(text(h, e, LXE_I_MONNAME, 2, 8), full.substr(0, 6));
    EXPECT_EQ(text(h, e, LXE_I_MONNAME, 2, 1), "");
    // Kinds 0-2 without conversion: the size query and a cut copy.
    lxeireq q{};
    q.glo = &e.glo;
    q.out.text = buf;
    ASSERT_EQ(lxeifnd(&h, &q, LXE_I_DESC), 1);
    EXPECT_EQ(q.len, strlen("Thailand - buddha calendar"));
    EXPECT_EQ(text(h, e, LXE_I_DESC, 0, 9), "Thailand");
  });
}

// Matches kind at the start of input; the number found (or -1), the matched
// length and the cursor's advance.
struct Match {
  int32_t num;
  size_t len, advance;
};
Match match(const lxlangid &h, Env &e, int kind, const std::string &input) {
  lxmcur cur;
  lxmopen(input.data(), input.size(), &cur, &h, &e.glo, 0);
  lxeireq r{};
  r.glo = &e.glo;
  r.in.cur = &cur;
  if (!lxeifnd(&h, &r, kind)) return {-1, 0, size_t(cur.pos - cur.start)};
  return {r.out.num, r.len, size_t(cur.pos - cur.start)};
}

TEST_F(Lxe, MatchingInMixedCaseAdvancesTheCursor) {
  child([](Env &e) {
    lxlangid en = handle(e, "AMERICAN_AMERICA.US7ASCII", "English Hijrah");
    const struct {
      int kind;
      const char *input;
      int32_t num;
      size_t len;
    } cases[] = {
        {LXE_I_MATCH_MONNAME, "rAMADAN 1420", 9, 7},
        {LXE_I_MATCH_MONNAME, "thoul hijjah", 12, 12},
        {LXE_I_MATCH_MONABBR, "SAFAR", 2, 5},
        {LXE_I_MATCH_MONNAME, "Rama", -1, 0},     // shorter than every name
        {LXE_I_MATCH_MONNAME, "December", -1, 0},
    };
    for (auto c : cases) {
      Match m = match(en, e, c.kind, c.input);
      EXPECT_EQ(m.num, c.num) << c.input;
      EXPECT_EQ(m.len, c.len) << c.input;
      EXPECT_EQ(m.advance, c.len) << c.input;
    }
    // Months are tried from 12 down: "12" is month 12, not month 1.
    lxlangid ji = handle(e, "AMERICAN_AMERICA.JA16EUC", "Japanese Imperial");
    EXPECT_EQ(match(ji, e, LXE_I_MATCH_MONABBR, "12").num, 12);
    EXPECT_EQ(match(ji, e, LXE_I_MATCH_MONABBR, "1x").num, 1);
    EXPECT_EQ(match(ji, e, LXE_I_MATCH_ERAABBR, "h1").num, 3);
    Match heisei = match(ji, e, LXE_I_MATCH_ERANAME, own(kCalTexts[0].era_names[3]) + "16");
    EXPECT_EQ(heisei.num, 3);
    EXPECT_EQ(heisei.advance, 4u);
    // Persian has no abbreviations: nothing matches an empty text.
    lxlangid pg = handle(e, "AMERICAN_AMERICA.FA8ASCII", "Persian");
    EXPECT_EQ(match(pg, e, LXE_I_MATCH_MONABBR, "Mehr").num, -1);
    EXPECT_EQ(match(pg, e, LXE_I_MATCH_MONNAME, "MEHR").num, 7);
    EXPECT_EQ(match(pg, e, LXE_I_MATCH_ERANAME, "x").num, -1);
  });
}

TEST_F(Lxe, MatchingConvertsFromTheHandlesSet) {
  child([](Env &e) {
    // Arabic and Thai names typed in UTF-8: converted into the calendar's set
    // to compare; the length and the advance are the UTF-8 ones.
    const struct {
      int cal, month;
    } cases[] = {{5, 6}, {5, 11}, {3, 2}, {1, 10}};
    for (auto c : cases) {
      lxlangid h = handle(e, "AMERICAN_AMERICA.AL32UTF8", kCalName[c.cal]);
      const std::string name = utf8(kCalTexts[c.cal - 1].names[c.month - 1]);
      Match m = match(h, e, LXE_I_MATCH_MONNAME, name + " 1425");
      EXPECT_EQ(m.num, c.month) << c.cal;
      EXPECT_EQ(m.len, name.size()) << c.cal;
      EXPECT_EQ(m.advance, name.size()) << c.cal;
    }
    lxlangid co = handle(e, "AMERICAN_AMERICA.AL32UTF8", "ROC Official");
    Match roc = match(co, e, LXE_I_MATCH_ERANAME, utf8(kCalTexts[1].era_names[0]) + "93");
    EXPECT_EQ(roc.num, 0);
    EXPECT_EQ(roc.advance, 12u);
  });
}

TEST(LxeName, Lookup) {
  const struct {
    const char *name;
    size_t len;
    int cal, found;
  } cases[] = {{"gregorian", 9, 0, 1},       {"GREGORIAN", 9, 0, 1},  {"ENGLISH HIJRAH", 14, 6, 1},
               {"japanese imperial", 17, 1, 1}, {"Persia", 6, 0, 0},   {"Persian", 7, 4, 1},
               {"Persian", 6, 0, 0},          {"", 0, 0, 0},           {"thai buddhA", 11, 3, 1}};
  for (auto c : cases) {
    int found = -1;
    EXPECT_EQ(lxedget(c.name, c.len, &found), c.cal) << c.name;
    EXPECT_EQ(found, c.found) << c.name;
  }
  EXPECT_EQ(lxedget(nullptr, 4, nullptr), 0);
}

TEST_F(Lxe, CalendarItemsOfTheHandle) {
  child([](Env &e) {
    lxlangid h = handle(e, "AMERICAN_AMERICA.AL32UTF8");
    EXPECT_EQ(lxhninfo(&h, 93, &e.glo), 9);
    EXPECT_EQ(nlstest::item(&h, 81, &e.glo), "GREGORIAN");
    ASSERT_EQ(lxhlmod(&h, "thai buddha", 11, 81, 0, 0, &e.glo), 1);
    EXPECT_EQ(h.cal, 3);
    EXPECT_EQ(nlstest::item(&h, 81, &e.glo), "Thai Buddha");
    EXPECT_EQ(lxhninfo(&h, 93, &e.glo), 10);
    EXPECT_EQ(lxhninfo(&h, 94, &e.glo), 5);
    // The locale text at a cursor names the calendar too.
    char buf[32] = {};
    lxmcur cur;
    lxmopen(buf, sizeof buf, &cur, &h, &e.glo, 1);
    lxlinfo(&cur, sizeof buf, 81, &e.glo);
    EXPECT_EQ(std::string(buf, e.glo.nbytes2), "Thai Buddha");
    // The date format became the calendar's, converted into UTF-8.
    const std::string fmt = nlstest::item(&h, 76, &e.glo);
    const std::string word = "\xE0\xB8\xA7\xE0\xB8\xB1\xE0\xB8\x99\xE0\xB8\x97\xE0\xB8\xB5\xE0\xB9\x88";
    EXPECT_EQ(fmt, "\"" + word + "\" dd month EE yyyy");
    // An unknown name is refused unless reset, which gives the Gregorian one.
    EXPECT_EQ(lxhlmod(&h, "Mayan", 5, 81, 0, 0, &e.glo), 0);
    EXPECT_EQ(h.cal, 3);
    EXPECT_EQ(lxhlmod(&h, "Mayan", 5, 81, 0, 1, &e.glo), 1);
    EXPECT_EQ(h.cal, 0);
    EXPECT_EQ(nlstest::item(&h, 76, &e.glo), "DD-MON-YY");  // the territory's
  });
}

TEST_F(Lxe, NlsCalendarFromTheEnvironment) {
  child([](Env &) {
    setenv("NLS_LANG", "AMERICAN_AMERICA.US7ASCII", 1);
    setenv("NLS_CALENDAR", "English Hijrah", 1);
    Env e;
    lxlangid h;
    ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo));
    EXPECT_EQ(h.cal, 6);
    EXPECT_EQ(nlstest::item(&h, 81, &e.glo), "English Hijrah");
    EXPECT_EQ(nlstest::item(&h, 76, &e.glo), "DD Month YYYY");
    EXPECT_EQ(lxhninfo(&h, 94, &e.glo), 17);
    EXPECT_EQ(text(h, e, LXE_I_MONNAME, 9), "Ramadan");
  });
}

}  // namespace
