// Test support of the NLS handle and conversion tests: forked children with
// a clean NLS environment, an NLS environment record over the process's
// table, and handles over installations written with the NLS test kit
// (tests/support/nlskit.h), checked as they are opened.
#ifndef QEN_TESTS_NLSTEST_H
#define QEN_TESTS_NLSTEST_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>

#include "child.h"
#include "lxh.h"
#include "lxz.h"
#include "nlskit.h"

namespace nlstest {

// Variables a child starts without.
inline const char *const kNlsVars[] = {
    "NLS_LANG", "NLS_CURRENCY", "NLS_ISO_CURRENCY", "NLS_CALENDAR", "NLS_DATE_FORMAT",
    "NLS_DATE_LANGUAGE", "NLS_NUMERIC_CHARACTERS", "NLS_MONETARY_CHARACTERS",
    "NLS_LIST_SEPARATOR", "NLS_DEBIT", "NLS_CREDIT", "NLS_SORT", "NLS_STORAGE_ORDER", "NLS_COMP",
    "NLS_LENGTH_SEMANTICS", "NCHAR_CONV_EXCP", "NCHAR_IMP_CONV", "NLS_UNION_CURRENCY",
    "NLS_TIME_FORMAT", "NLS_TIMESTAMP_FORMAT", "NLS_TIME_TZ_FORMAT", "NLS_TIMESTAMP_TZ_FORMAT",
    "NLS_DUAL_CURRENCY", "NLS_DISPLAY", "ZUR_NLS10", "ZUR_NLS_PROFILE33", "VIRUZE_HOME"};

// Runs body in a forked child whose environment has no NLS variables; the
// child's failed expectations fail the test.
inline void in_child(const std::function<void()> &body) {
  int rc = ::in_child([&] {
    for (const char *v : kNlsVars) unsetenv(v);
    body();
    return ::testing::Test::HasFailure() ? 1 : 0;
  });
  EXPECT_EQ(rc, 0) << "expectations failed in the child (see above), or it died";
}

// An NLS environment record over the process's shared table.
struct Env {
  lxglo glo{};
  lxlobj *table = nullptr;
  uint32_t status = 0;
  Env() {
    lxzinit();
    table = lxlinit(nullptr, 1, &status);
    lxinitc(&glo, table, nullptr, 0);
  }
  ~Env() {
    if (table) lxlterm(&glo);
  }
};

// Runs body in a child whose NLS installation is dir, with an environment
// record over it.
inline void in_installation(const std::string &dir, const std::function<void(Env &)> &body) {
  ASSERT_FALSE(dir.empty());
  in_child([&] {
    setenv("ZUR_NLS10", dir.c_str(), 1);
    Env e;
    ASSERT_EQ(e.status, 0u);
    body(e);
  });
}

// The handle named name (LANGUAGE_TERRITORY.CHARSET, its objects loaded),
// with the linguistic sort named sort installed when one is named; a
// failure to open either fails the test.
inline lxlangid lang_handle(Env &e, const std::string &name, const std::string &sort = "") {
  lxlangid h{};
  EXPECT_TRUE(nlskit::handle(name, &e.glo, &h)) << name;
  if (!sort.empty()) {
    EXPECT_TRUE(nlskit::set_sort(sort, &e.glo, &h)) << name << " with the sort " << sort;
  }
  return h;
}

// AMERICAN_AMERICA.<charset>, as lang_handle opens it.
inline lxlangid american_handle(Env &e, const std::string &charset, const std::string &sort = "") {
  return lang_handle(e, nlskit::american(charset), sort);
}

// An NLS_LANG value and the boot indexes of the handle it gives.
struct LangForm {
  const char *value;
  uint16_t lang, ter, cs;
};

// Sets NLS_LANG to the form's value, builds the environment's handle (mode
// 0) and checks its language, territory and character set; then more(h)
// checks what else the caller expects of it.
inline void expect_lang_form(const LangForm &c, const std::function<void(const lxlangid &)> &more) {
  setenv("NLS_LANG", c.value, 1);
  Env e;
  lxlangid h;
  ASSERT_TRUE(lxhLangEnv(&h, 0, &e.glo)) << c.value;
  EXPECT_EQ(h.lang, c.lang) << c.value;
  EXPECT_EQ(h.ter, c.ter) << c.value;
  EXPECT_EQ(h.cs, c.cs) << c.value;
  more(h);
}

// A text item of the handle as a string (single-byte handles).
inline std::string item(const lxlangid *h, int it, lxglo *g) {
  char buf[256];
  lxhlinfo(h, it, buf, sizeof buf, g);
  return buf;
}

}  // namespace nlstest

#endif
