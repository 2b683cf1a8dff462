// The NLS installation of the date format tests and fuzz target, written
// with the NLS object writer: AMERICAN, the territories AMERICA (no DL, DS
// or TS texts), LDXTEST (with them) and LDXLOOP (whose DL stands for DS and
// DS for DL), the basic sets (US7ASCII, WE8ISO8859P1, UTF8, AL32UTF8,
// AL16UTF16), WE8EBCDIC37 (code page 037), LDXSHIFT (a
// shift-sensitive set) and the linguistic sort GERMAN.
#ifndef QEN_TESTS_LDXFMTINST_H
#define QEN_TESTS_LDXFMTINST_H

#include <map>
#include <string>

#include "lxl.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "objw_num.h"

namespace ldxfmtinst {

inline constexpr uint16_t kEbcdic = 140, kShift = 900;
inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;
// A two-byte character of the shift-sensitive set (full-width digit zero).
inline constexpr uint8_t kShiftLead = 0xA3, kShiftTrail = 0xB0;

// The texts of LDXTEST's DL, DS and TS.
inline constexpr const char *kDL = "fmDay, Month DD, YYYY";
inline constexpr const char *kDS = "MM/DD/RRRR";
inline constexpr const char *kTS = "HH:MI:SS AM";
// Pool fields of the territory texts behind NLS items 143, 144 and 151.
inline constexpr unsigned kTerDL = 188, kTerTS = 186, kTerDS = 194;

inline nlsw::TerritoryDesc territory(const char *name, uint16_t id, const char *abbrev,
                                     const std::map<unsigned, std::string> &texts) {
  nlsw::TerritoryDesc t = nlsw::america();
  t.name = name;
  t.id = id;
  t.abbrev = abbrev;
  for (const auto &kv : texts) t.strings[kv.first] = kv.second;
  return t;
}

// Writes the installation into a new directory and returns its path ("" on
// failure).
inline std::string write() {
  nlsw::Installation inst = nlsw::basic_installation();
  nlsw::add_territory(inst, territory("LDXTEST", 2, "LT", {{kTerDL, kDL}, {kTerDS, kDS}, {kTerTS, kTS}}));
  nlsw::add_territory(inst, territory("LDXLOOP", 3, "LL", {{kTerDL, "DS"}, {kTerDS, "YYYY DL"}}));
  nlsw::add_charset(inst, nlsw::ebcdic037_charset("WE8EBCDIC37", kEbcdic));
  nlsw::add_charset(inst, nlsw::shift_charset("LDXSHIFT", kShift, kSI, kSO));
  nlsw::add_object(inst, LX_TSORT, 2, "GERMAN", nlsw::german_sort());
  return nlskit::write(inst);
}

}  // namespace ldxfmtinst

#endif
