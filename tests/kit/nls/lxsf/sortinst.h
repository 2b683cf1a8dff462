// The installation of the sort tests: the basic sets, the Thai
// sets TH8TISASCII (41, Python's tis-620) and TH8TISEBCDIC (42), JA16EUC
// (830, Python's euc_jp) and one linguistic sort per special sort, plus the
// multilingual sorts a test adds. Fixture: written once per suite, each test
// body in a child with ZUR_NLS10 naming it.
#ifndef QEN_TESTS_SORTINST_H
#define QEN_TESTS_SORTINST_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

#include "lxh.h"
#include "lxl.h"
#include "lxp.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace sortinst {

enum : uint16_t { THAI = 41, THAI_EBCDIC = 42 };

// Special sorts: name, sort id, comparator and key-maker numbers.
struct Special {
  const char *name;
  uint16_t id, cmp, key;
};
inline const Special kSpecials[] = {
    {"THAI_DICTIONARY", 40, 2, 1}, {"THAI_TELEPHONE", 41, 4, 3},  {"JAPANESE", 42, 6, 5},
    {"CANADIAN_FRENCH", 43, 8, 7}, {"UNICODE_BINARY", 44, 10, 9}, {"BAD_SPECIAL", 45, 2, 77},
    {"SWAPPED_SPECIAL", 46, 1, 2}};

// Writes the installation (with extra objects) into a new directory.
inline std::string write(const std::string &maps,
                         const std::vector<std::pair<nlsw::BootObject, nlsw::Image>> &extra = {}) {
  nlsw::Installation inst = nlsw::basic_installation();
  nlsw::add_charset(inst, nlsconv::from_map(maps, "tis620.map", "TH8TISASCII", THAI, nlsw::CsKind::Single, 1, 0));
  // Its bytes matter to the Thai keys only through their mapping table.
  nlsw::add_charset(inst, nlsw::ascii_charset("TH8TISEBCDIC", THAI_EBCDIC));
  nlsw::add_charset(inst, nlsconv::from_map(maps, "eucjp.map", "JA16EUC", nlsconv::JA16EUC,
                                            nlsw::CsKind::Trie, 3, 0xA2AE));
  for (const Special &s : kSpecials)
    nlsw::add_object(inst, LX_TSORT, s.id, s.name, nlsw::build_special_sort(s.name, s.id, s.cmp, s.key));
  inst.objects.insert(inst.objects.end(), extra.begin(), extra.end());
  return nlskit::write(inst);
}

// A handle for AMERICAN_AMERICA.<charset> with the named sort installed
// (none for an empty name).
inline lxlangid handle(nlstest::Env &e, const std::string &charset, const std::string &sort = "") {
  return nlstest::american_handle(e, charset, sort);
}

class Installed : public ::testing::Test {
 protected:
  static void write_with(const std::vector<std::pair<nlsw::BootObject, nlsw::Image>> &extra) {
    dir_ = write(NLS_MAPS, extra);
    if (dir_.empty()) ADD_FAILURE() << "installation not written";
  }
  static void SetUpTestSuite() { write_with({}); }
  static void child(const std::function<void(nlstest::Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

}  // namespace sortinst

#endif
