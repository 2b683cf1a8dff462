// The installation of nlsinst.h as a GoogleTest fixture: written once per
// test suite, and child-process runners with ZUR_NLS10 naming it (with or
// without an NLS environment record over its table).
#ifndef QEN_TESTS_NLSFIX_H
#define QEN_TESTS_NLSFIX_H

#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include <functional>
#include <string>
#include <vector>

#include "lxh.h"
#include "lxm.h"
#include "nlsinst.h"
#include "nlstest.h"

namespace nlsfix {

#include "../lxg/cases.inc"

// Boot indexes of the installation.
enum : uint16_t {
  AMERICAN = 1, GERMAN = 2, FRENCH = 3, AMERICANO = 4,
  AMERICA = 5, GERMANY = 6,
  US7ASCII = 7, WE8ISO8859P1 = 8, WE8MSWIN1252 = 9, JA16SJIS = 10, UTF8 = 11, AL32UTF8 = 12,
  TESTSHIFT = 13, AL16UTF16 = 14,
  SORT_GERMAN = 15
};

// Shift bytes of TESTSHIFT.
using nlsinst::kSI;
using nlsinst::kSO;

// A handle from a LANGUAGE_TERRITORY.CHARSET text (its objects loaded).
inline lxlangid handle(nlstest::Env &e, const char *name) { return nlstest::lang_handle(e, name); }

// An output cursor over a buffer of '#' bytes: opened over its first len
// bytes, already past a prefix of pre bytes, in shift state shifted.
struct Out {
  char buf[600];
  lxmcur cur;
  Out(const lxlangid &h, nlstest::Env &e, size_t len = 500, size_t pre = 0, int shifted = 0) {
    memset(buf, '#', sizeof buf);
    lxmopen(buf, len, &cur, &h, &e.glo, 1);
    cur.pos += pre;
    cur.shifted = shifted;
  }
  size_t used() const { return static_cast<size_t>(cur.pos - cur.start); }
  // What was written at the cursor after the prefix.
  std::string written(size_t pre = 0) const { return std::string(buf + pre, used() - pre); }
  // Nothing was written from byte room on.
  bool guard_intact(size_t room) const {
    for (size_t i = room; i < sizeof buf; ++i)
      if (buf[i] != '#') return false;
    return true;
  }
};

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() {
    std::vector<nlsinst::Pair> pairs;
    for (const auto &p : kSjisPairs) pairs.push_back({p.b0, p.b1, p.cp});
    dir_ = nlsinst::write(pairs, kCp1252High);
  }
  // Runs body in a child with ZUR_NLS10 naming the installation; body sets
  // what else it needs before making its own environment record.
  static void child(const std::function<void()> &body) {
    ASSERT_FALSE(dir_.empty());
    nlstest::in_child([&] {
      setenv("ZUR_NLS10", dir_.c_str(), 1);
      body();
    });
  }
  // Runs body in a child with the installation and an environment record.
  static void child(const std::function<void(nlstest::Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

}  // namespace nlsfix

#endif
