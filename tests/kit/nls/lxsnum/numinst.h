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
#include "nlskit.h"
#include "nlsobjw.h"
#include "objw_num.h"

namespace numinst {

inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;
inline constexpr uint16_t kEbcdic37 = 140, kShiftSet = 900;

inline std::string write() {
  nlsw::Installation inst = nlsw::base_installation();
  nlsw::add_charset(inst, nlsw::ebcdic037_charset("WE8EBCDIC37", kEbcdic37));
  nlsw::add_charset(inst, nlsw::ebcdic835_charset("EBCDIC835"));
  {
    nlsw::CharsetDesc s = nlsw::utf8_charset();
    nlsw::add_numeric_values(s);
    nlsw::add_charset(inst, s);
  }
  {
    nlsw::CharsetDesc s = nlsw::al32utf8_charset();
    s.flags = LXCSF_UTF8SHAPE;
    nlsw::add_numeric_values(s);
    nlsw::add_charset(inst, s);
  }
  nlsw::add_charset(inst, nlsw::shift_charset("NUMSHIFT", kShiftSet, kSI, kSO));
  {
    nlsw::CharsetDesc s = nlsw::al16utf16_charset();
    nlsw::add_numeric_values(s);
    nlsw::add_charset(inst, s);
  }
  return nlskit::write(inst);
}

// The installation made the process's NLS directory and four of its sets
// opened once: US7ASCII, WE8EBCDIC37, AL16UTF16 and NUMSHIFT (for the fuzz
// targets, which keep them for the whole process).
struct World {
  static constexpr unsigned kSets = 4;
  lxglo glo{};
  lxlangid h[kSets]{};
  World() {
    if (!nlskit::use(write(), &glo)) abort();
    const char *sets[kSets] = {"US7ASCII", "WE8EBCDIC37", "AL16UTF16", "NUMSHIFT"};
    for (unsigned k = 0; k < kSets; ++k)
      if (!nlskit::handle(nlskit::american(sets[k]), &glo, &h[k])) abort();
  }
};

inline World &world() {
  static World w;
  return w;
}

}  // namespace numinst

#endif
