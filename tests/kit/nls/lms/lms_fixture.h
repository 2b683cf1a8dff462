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
#include "nlsinst.h"
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
  char tmpl[] = "/tmp/lmsnlsXXXXXX";
  std::string dir = mkdtemp(tmpl);
  nlsw::Installation inst;
  inst.big_endian = nlsw::host_big_endian();
  auto add = [&](uint16_t type, uint16_t id, const std::string &name, nlsw::Image img) {
    nlsw::add_object(inst, type, id, name, std::move(img));
  };
  add(0, 1, "AMERICAN", nlsw::build_language(nlsw::american()));
  nlsw::LanguageDesc de = nlsw::american();
  de.name = "GERMAN";
  de.id = 5;
  de.charset = 31;
  de.abbrev = "D";
  add(0, 5, "GERMAN", nlsw::build_language(de));
  nlsw::LanguageDesc es = nlsw::american();
  es.name = "XSPANISH";
  es.id = 6;
  es.charset = 31;
  es.abbrev = "ESA";
  add(0, 6, "XSPANISH", nlsw::build_language(es));
  add(1, 1, "AMERICA", nlsw::build_territory(nlsw::america()));
  add(2, 1, "US7ASCII", nlsw::build_charset(nlsw::ascii_charset("US7ASCII", 1)));
  {
    nlsw::CharsetDesc s;
    s.name = "WE8ISO8859P1";
    s.id = 31;
    s.flags = 0x2;
    for (uint32_t c = 0; c < 256; ++c) s.map.push_back({{static_cast<uint8_t>(c)}, c});
    add(2, 31, s.name, nlsw::build_charset(s));
  }
  add(2, 871, "UTF8", nlsinst::utf8_charset());
  std::string err;
  if (!nlsw::write_installation(inst, dir, 1, err)) return "";
  return dir;
}

// A language handle over a fresh environment record.
struct Lang {
  nlstest::Env e;
  lxlangid h{};
  explicit Lang(const char *name) { EXPECT_NE(lxhLaToId(name, 0, &h, 0, &e.glo), nullptr) << name; }
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
