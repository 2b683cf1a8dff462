// calw as a user runs it: every argument that is not what it expects is
// refused with the reason and the usage line, and what it accepts reaches
// the calendars' era and deviation lookups unchanged.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "lxe.h"
#include "temp_dir.h"

namespace {

struct Ran {
  int status;
  std::string out;  // standard output and standard error
};

Ran calw(const std::string &args) {
  Ran r{-1, {}};
  FILE *p = popen((std::string("'" CALW "' ") + args + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
  return r;
}

class Calw : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(dir_.path().empty());
    setenv("VIRUZE_HOME", dir_.path().c_str(), 1);
  }
  void TearDown() override { unsetenv("VIRUZE_HOME"); }
  std::string home() const { return "'" + dir_.path() + "'"; }
  bool written(const char *shortname) const {
    return access((dir_.path() + "/nls/lxecal" + shortname + ".nlb").c_str(), F_OK) == 0;
  }
  TempDir dir_;
};

TEST_F(Calw, RefusesWhatIsNotTheNumberItExpects) {
  struct {
    const char *args, *why;
  } cases[] = {
      {"ji era Heisei2 H2 1989-01-08 0", "calw: era FIRST '1989-01-08' is not a whole number"},
      {"ji era X X 2447535 2447535.5", "calw: era LAST '2447535.5' is not a whole number"},
      {"ji era X X ' 2447535' 0", "calw: era FIRST ' 2447535' is not a whole number"},
      {"ji era X X +2447535 0", "calw: era FIRST '+2447535' is not a whole number"},
      {"ji era X X '' 0", "calw: era FIRST '' is not a whole number"},
      {"ji era X X 0 0", "calw: era FIRST '0' is not a whole number from 1 to 5373484"},
      {"ji era X X 5373485 0", "calw: era FIRST '5373485'"},
      {"ji era X X 4294967297 0", "calw: era FIRST '4294967297'"},
      {"ji era X X 2447535 2447534", "calw: era LAST '2447534' is before FIRST '2447535'"},
      {"ah dev 2451545 32768", "calw: dev SHIFT '32768' is not a whole number from -32768 to 32767"},
      {"ah dev 2451545 -32769", "calw: dev SHIFT '-32769'"},
      {"ah dev 2451545 1day", "calw: dev SHIFT '1day'"},
      {"ah dev 0x10 1", "calw: dev JDAY '0x10'"},
      {"ji era X X 2447535", "calw: era needs NAME ABBR FIRST LAST"},
      {"ah dev 2451545", "calw: dev needs JDAY SHIFT"},
      {"ji eras X X 2447535 0", "calw: unknown argument 'eras' (era or dev expected)"},
      {"ji era 0123456789012345678901234567890 X 2447535 0",
       "calw: era NAME '0123456789012345678901234567890' is longer than 30 bytes"},
      {"ji era X 0123456789abcdef 2447535 0",
       "calw: era ABBR '0123456789abcdef' is longer than 15 bytes"},
      {"jp", "calw: no calendar has the short name 'jp'"},
      {"", "calw: needs HOME and SHORTNAME"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = calw(std::string(*c.args ? home() + " " : "") + c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind(c.why, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("usage: calw HOME SHORTNAME"), std::string::npos) << r.out;
  }
  for (const char *shortname : {"ji", "ah", "jp"}) EXPECT_FALSE(written(shortname)) << shortname;
}

TEST_F(Calw, UsageSaysTheUnits) {
  Ran r = calw("--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: calw HOME SHORTNAME", 0), 0u) << r.out;
  for (const char *word : {"day numbers (astronomical Julian days", "1 to 5373484",
                           "2447535 is 8 January 1989", "LAST 0 for an era still running",
                           "SHIFT: days, -32768 to 32767"})
    EXPECT_NE(r.out.find(word), std::string::npos) << word;
}

// The limits themselves are taken, and the lookups see them as written.
TEST_F(Calw, ErasAndDeviationsReachTheCalendars) {
  Ran r = calw(home() + " ji era Reiwa R 2458605 2460000 era Last L 5373484 5373484"
                        " era 012345678901234567890123456789 012345678901234 1 0");
  ASSERT_EQ(r.status, 0) << r.out;
  EXPECT_EQ(r.out, "");
  char name[LXE_NAME_FIELD], abbr[LXE_ABBR_FIELD];
  lxeera e{};
  e.text[LXE_T_NAME] = name;
  e.text[LXE_T_ABBR] = abbr;
  const struct {
    int n;
    const char *name, *abbr;
    int32_t first, last;
  } want[] = {{4, "Reiwa", "R", 2458605, 2460000},
              {5, "Last", "L", 5373484, 5373484},
              {6, "012345678901234567890123456789", "012345678901234", 1, 0}};
  for (const auto &w : want) {
    SCOPED_TRACE(w.n);
    ASSERT_EQ(lxegera(&lxeji, w.n, &e), 1);
    EXPECT_STREQ(name, w.name);
    EXPECT_STREQ(abbr, w.abbr);
    EXPECT_EQ(e.first, w.first);
    EXPECT_EQ(e.last, w.last);
  }
  EXPECT_EQ(lxegera(&lxeji, 7, &e), 0);

  r = calw(home() + " eh dev 2451645 1 dev 1 -32768 dev 5373484 32767");
  ASSERT_EQ(r.status, 0) << r.out;
  const lxedev want_dev[] = {{2451645, 0, 1, {}}, {1, 0, -32768, {}}, {5373484, 0, 32767, {}}};
  for (int n = 0; n < 3; ++n) {
    SCOPED_TRACE(n);
    lxedev d{};
    ASSERT_EQ(lxegdev(&lxeeh, n, &d), 1);
    EXPECT_EQ(d.jday, want_dev[n].jday);
    EXPECT_EQ(d.shift, want_dev[n].shift);
  }
  lxedev d{};
  EXPECT_EQ(lxegdev(&lxeeh, 3, &d), 0);
}

}  // namespace
