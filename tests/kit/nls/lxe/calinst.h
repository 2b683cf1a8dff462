// An NLS installation with the calendars' character sets: AMERICAN,
// AMERICA, US7ASCII, WE8ISO8859P1, UTF8, AL32UTF8, AL16UTF16 (the basics of
// nlsconv.h), JA16EUC (830), ZHT32EUC (860, a two-column pad character),
// TH8TISASCII (41), FA8ASCII
// (500) and AR8ISO8859P6 (36), and runners of test bodies in children with
// ZUR_NLS10 naming it.
#ifndef QEN_TESTS_CALINST_H
#define QEN_TESTS_CALINST_H

#include <stdlib.h>

#include <functional>
#include <string>

#include "nlsconv.h"
#include "nlskit.h"
#include "nlstest.h"

namespace calinst {

inline std::string write() {
  nlsw::Installation inst = nlsw::basic_installation();
  using nlsconv::from_map;
  using K = nlsw::CsKind;
  nlsw::add_charset(inst, from_map(NLS_MAPS, "eucjp.map", "JA16EUC", 830, K::Trie, 3, 0xA2AE));
  {
    // Its pad character is the two-column ideographic space.
    nlsw::CharsetDesc s = from_map(CAL_MAPS, "euctw2.map", "ZHT32EUC", 860, K::Fixed2, 2, 0xA1A1);
    s.pad = 0xA1A1;
    nlsw::add_charset(inst, s);
  }
  nlsw::add_charset(inst, from_map(CAL_MAPS, "tis620.map", "TH8TISASCII", 41, K::Single, 1, 0));
  nlsw::add_charset(inst, nlsw::ascii_charset("FA8ASCII", 500));
  nlsw::add_charset(inst, from_map(CAL_MAPS, "iso88596.map", "AR8ISO8859P6", 36, K::Single, 1, 0));
  return nlskit::write(inst);
}

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = write(); }
  static void child(const std::function<void(nlstest::Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

// A handle from a LANGUAGE_TERRITORY.CHARSET text, with a calendar set by
// name (NLS_CALENDAR) when one is given.
inline lxlangid handle(nlstest::Env &e, const char *name, const char *calendar = nullptr) {
  lxlangid h = nlstest::lang_handle(e, name);
  if (calendar) {
    EXPECT_EQ(lxhlmod(&h, calendar, strlen(calendar), 81, 0, 0, &e.glo), 1) << calendar;
  }
  return h;
}

}  // namespace calinst

#endif
