// The installation of the numeric-text tests, written with the NLS object
// writer: language AMERICAN, territory AMERICA, and the character sets
// US7ASCII, WE8EBCDIC37 (code page 037), EBCDIC835, UTF8, AL32UTF8,
// AL16UTF16 (those three with their numeric values) and NUMSHIFT, a
// shift-sensitive set.
#ifndef QEN_TESTS_NUMINST_H
#define QEN_TESTS_NUMINST_H

#include <stdlib.h>

#include <string>

#include "lxc.h"
#include "lxh.h"
#include "lxl.h"
#include "lxz.h"
#include "nlsinst.h"
#include "nlsobjw.h"
#include "objw_num.h"

namespace numinst {

inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;
inline constexpr uint16_t kEbcdic37 = 140, kShiftSet = 900;

inline std::string write() {
  char tmpl[] = "/tmp/numinstXXXXXX";
  std::string dir = mkdtemp(tmpl);
  nlsw::Installation inst;
  inst.big_endian = nlsw::host_big_endian();
  auto add = [&](uint16_t type, uint16_t id, const std::string &name, nlsw::Image img) {
    nlsw::add_object(inst, type, id, name, std::move(img));
  };
  add(0, 1, "AMERICAN", nlsw::build_language(nlsw::american()));
  add(1, 1, "AMERICA", nlsw::build_territory(nlsw::america()));
  add(2, 1, "US7ASCII", nlsw::build_charset(nlsw::ascii_charset("US7ASCII", 1)));
  add(2, kEbcdic37, "WE8EBCDIC37", nlsw::build_charset(nlsw::ebcdic037_charset("WE8EBCDIC37", kEbcdic37)));
  add(2, 835, "EBCDIC835", nlsw::build_charset(nlsw::ebcdic835_charset("EBCDIC835")));
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("UTF8", LXCS_UTF8);
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 3;
    s.flags = LXCSF_SURR6;
    nlsw::add_numeric_values(s);
    nlsw::Image img = nlsw::build_charset(s);
    nlsinst::set_class(img, 0xC0, 0xDF, 1);
    nlsinst::set_class(img, 0xE0, 0xEF, 2);
    add(2, LXCS_UTF8, s.name, img);
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("AL32UTF8", LXCS_AL32UTF8);
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 4;
    s.flags = LXCSF_UTF8SHAPE;
    nlsw::add_numeric_values(s);
    nlsw::Image img = nlsw::build_charset(s);
    nlsinst::set_class(img, 0xC0, 0xDF, 1);
    nlsinst::set_class(img, 0xE0, 0xEF, 2);
    nlsinst::set_class(img, 0xF0, 0xF7, 3);
    add(2, LXCS_AL32UTF8, s.name, img);
  }
  add(2, kShiftSet, "NUMSHIFT", nlsw::build_charset(nlsw::shift_charset("NUMSHIFT", kShiftSet, kSI, kSO)));
  {
    nlsw::CharsetDesc s;
    s.name = "AL16UTF16";
    s.id = LXCS_AL16UTF16;
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 2;
    s.flags = LXCSF_UNIT16 | LXCSF_FIXED;
    nlsw::add_numeric_values(s);
    nlsw::Image img = nlsw::build_charset(s);
    nlsinst::set_class(img, 0, 255, 1);
    add(2, LXCS_AL16UTF16, s.name, img);
  }
  std::string err;
  if (!nlsw::write_installation(inst, dir, 1, err)) return "";
  return dir;
}

// The installation made the process's NLS directory and four of its sets
// opened once: US7ASCII, WE8EBCDIC37, AL16UTF16 and NUMSHIFT (for the fuzz
// targets, which keep them for the whole process).
struct World {
  static constexpr unsigned kSets = 4;
  lxglo glo{};
  lxlangid h[kSets]{};
  World() {
    std::string dir = write();
    setenv("ZUR_NLS10", dir.c_str(), 1);
    unsetenv("ZUR_NLS_PROFILE33");
    unsetenv("NLS_LANG");
    lxzinit();
    uint32_t status = 0;
    lxlobj *table = lxlinit(nullptr, 1, &status);
    lxinitc(&glo, table, nullptr, 0);
    const char *names[kSets] = {"AMERICAN_AMERICA.US7ASCII", "AMERICAN_AMERICA.WE8EBCDIC37",
                                "AMERICAN_AMERICA.AL16UTF16", "AMERICAN_AMERICA.NUMSHIFT"};
    for (unsigned k = 0; k < kSets; ++k)
      if (!lxhLaToId(names[k], 0, &h[k], 0, &glo)) abort();
  }
};

inline World &world() {
  static World w;
  return w;
}

}  // namespace numinst

#endif
