// The NLS installation of the date tests, written with the NLS object
// writer: AMERICAN (lower-case names), GERMAN (names with characters that a
// shift-byte set holds as double-byte characters; its own words for the
// morning, afternoon and eras; March's abbreviation ends in one), LONGCAPS (names in capitals and a December
// name of 200 letters), the territories AMERICA and GERMANY (weeks start on
// Monday), the basic sets (US7ASCII, WE8ISO8859P1, UTF8, AL32UTF8,
// AL16UTF16), WE8EBCDIC37 (code page 037), TH8TISASCII (TIS-620,
// the Thai Buddha calendar's set) and DATESHIFT, a shift-byte set whose
// double-byte characters are U+00C0 to U+00FF.
//
// without_utf8() writes a second installation that lacks the UTF8 set, in
// which an AL16UTF16 handle has no UTF-8 twin.
#ifndef QEN_TESTS_DATEINST_H
#define QEN_TESTS_DATEINST_H

#include <stdlib.h>

#include <string>

#include "lxc.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "objw_num.h"

namespace dateinst {

inline constexpr uint16_t kEbcdic37 = 140, kThai = 41, kShiftSet = 901;
inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;
// DATESHIFT: U+00C0 + k is the two bytes kShiftLead, kShiftTrail + k.
inline constexpr uint8_t kShiftLead = 0xA9, kShiftTrail = 0xA1;
inline constexpr uint32_t kLatinHigh = 0xC0, kLatinEnd = 0x100;
inline constexpr size_t kLongName = 200;  // LONGCAPS's December

inline std::string long_december() { return "DECEMBER" + std::string(kLongName - 8, 'R'); }

inline nlsw::CharsetDesc shift_set() {
  nlsw::CharsetDesc s = nlsw::ascii_charset("DATESHIFT", kShiftSet);
  s.mb_repl = 0xA9A1;
  for (uint32_t c = kLatinHigh; c < kLatinEnd; ++c)
    s.map.push_back({{kShiftLead, uint8_t(kShiftTrail + c - kLatinHigh)}, c});
  nlsw::make_shift_sensitive(s, kSI, kSO);
  return s;
}

// TIS-620: ASCII, then 0xA1-0xDA for U+0E01-U+0E3A and 0xDF-0xFB for
// U+0E3F-U+0E5B.
inline nlsw::CharsetDesc thai_set() {
  nlsw::CharsetDesc s = nlsw::ascii_charset("TH8TISASCII", kThai);
  for (uint32_t b = 0xA1; b <= 0xDA; ++b) s.map.push_back({{uint8_t(b)}, 0x0E01 + b - 0xA1});
  for (uint32_t b = 0xDF; b <= 0xFB; ++b) s.map.push_back({{uint8_t(b)}, 0x0E3F + b - 0xDF});
  return s;
}

// GERMAN with its own words for the morning, afternoon and eras, and a
// March abbreviation that ends in a character DATESHIFT holds as two bytes.
inline nlsw::LanguageDesc german() {
  nlsw::LanguageDesc de = nlsw::german();
  de.abbr_months[2] = "m\xe4";
  de.am = "vorm.";
  de.pm = "nachm.";
  de.ad = "n. chr.";
  de.bc = "v. chr.";
  return de;
}

inline nlsw::LanguageDesc longcaps() {
  nlsw::LanguageDesc s = nlsw::american_as("LONGCAPS", 7);
  for (auto *list : {&s.days, &s.abbr_days, &s.months, &s.abbr_months})
    for (auto &name : *list)
      for (auto &c : name) c = char(c - 'a' + 'A');
  s.months[11] = long_december();
  return s;
}

inline nlsw::TerritoryDesc germany() { return nlsw::germany(); }

// Kept for older callers; the prefix no longer names the directory.
inline std::string write_dir(const nlsw::Installation &inst, const char * /*prefix*/) {
  return nlskit::write(inst);
}

inline std::string write() {
  nlsw::Installation inst = nlsw::basic_installation();
  nlsw::add_language(inst, german());
  nlsw::add_language(inst, longcaps());
  nlsw::add_territory(inst, germany());
  nlsw::add_charset(inst, nlsw::ebcdic037_charset("WE8EBCDIC37", kEbcdic37));
  nlsw::add_charset(inst, thai_set());
  nlsw::add_charset(inst, shift_set());
  return nlskit::write(inst);
}

inline std::string without_utf8() {
  nlsw::Installation inst = nlsw::base_installation();
  nlsw::add_charset(inst, nlsw::al16utf16_charset());
  return nlskit::write(inst);
}

}  // namespace dateinst

#endif
