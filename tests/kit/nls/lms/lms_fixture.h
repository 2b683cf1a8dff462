// An NLS installation and message files for the message-file tests: the
// languages AMERICAN ("US"), GERMAN ("D") and a Latin-American Spanish
// ("ESA"), the character sets US7ASCII, WE8ISO8859P1 and UTF8; the files
// that msbpy.py wrote with Python's struct (PYMSB), and children that run
// with ZUR_NLS10 and VIRUZE_HOME naming them.
#ifndef QEN_TESTS_LMS_FIXTURE_H
#define QEN_TESTS_LMS_FIXTURE_H

#include <gtest/gtest.h>
#include <stdio.h>
#include <stdlib.h>

#include <functional>
#include <string>

#include "lms.h"
#include "lxc.h"
#include "nlsinst.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace lmsfix {

// Number, attribute and text of every message of the Python-written "us"
// file (expect.inc, written with it).
struct Expect {
  int number;
  int attr;
  std::string text;
};
inline const Expect kUs[] = {
#include "expect.inc"
};

inline std::string write_nls() {
  nlsw::Installation inst = nlsw::base_installation();
  // Only a language's abbreviation and character set matter to the messages.
  auto language = [&](const char *name, uint16_t id, const char *abbrev) {
    nlsw::LanguageDesc l = nlsw::american_as(name, id);
    l.charset = 31;
    l.abbrev = abbrev;
    nlsw::add_language(inst, l);
  };
  language("GERMAN", 5, "D");
  language("XSPANISH", 6, "ESA");
  {
    nlsw::CharsetDesc s = nlsw::latin1_charset();
    s.flags = LXCSF_DISPLAY;
    nlsw::add_charset(inst, s);
  }
  nlsw::add_charset(inst, nlsw::utf8_charset());
  return nlskit::write(inst);
}

// A language handle over a fresh environment record.
struct Lang {
  nlstest::Env e;
  lxlangid h{};
  explicit Lang(const char *name) : h(nlstest::lang_handle(e, name)) {}
};

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { nls_ = write_nls(); }
  // Runs body in a child with the installation and VIRUZE_HOME (default:
  // the Python-written files).
  static void child(const std::function<void()> &body, const std::string &home = PYMSB) {
    ASSERT_FALSE(nls_.empty());
    nlstest::in_child([&] {
      setenv("ZUR_NLS10", nls_.c_str(), 1);
      setenv("VIRUZE_HOME", home.c_str(), 1);
      body();
    });
  }
  inline static std::string nls_;
};

// The message text into a buffer of size bytes.
inline std::string fetch(lmshnd *h, int n, size_t size = 600) {
  std::string buf(size, '#');
  char *r = lmsagbf(h, n, buf.data(), size);
  EXPECT_EQ(r, buf.data());
  return std::string(buf.c_str());
}

// Read system calls of this process so far (/proc/self/io).
inline long reads_so_far() {
  FILE *f = fopen("/proc/self/io", "r");
  if (!f) return -1;
  char key[32];
  long v = 0, r = -1;
  while (fscanf(f, "%31s %ld", key, &v) == 2)
    if (std::string(key) == "syscr:") r = v;
  fclose(f);
  return r;
}

// Read system calls that body makes, beyond those of the measurement.
template <class F>
long reads_of(F body) {
  long a = reads_so_far();
  long b = reads_so_far();
  body();
  long c = reads_so_far();
  return (c - b) - (b - a);
}

}  // namespace lmsfix

#endif
