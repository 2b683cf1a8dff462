// The NLS installation of the date tests, written with the NLS object
// writer: AMERICAN (lower-case names), GERMAN (names with characters that a
// shift-byte set holds as double-byte characters; its own words for the
// morning, afternoon and eras; March's abbreviation ends in one), LONGCAPS (names in capitals and a December
// name of 200 letters), the territories AMERICA and GERMANY (weeks start on
// Monday), the sets of nlsconv's basics (US7ASCII, WE8ISO8859P1, UTF8,
// AL32UTF8, AL16UTF16), WE8EBCDIC37 (code page 037), TH8TISASCII (TIS-620,
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
#include "nlsconv.h"
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
  nlsw::CharsetDesc s;
  s.name = "DATESHIFT";
  s.id = kShiftSet;
  s.kind = nlsw::CsKind::Fixed2;
  s.maxbytes = 2;
  s.flags = LXCSF_SHIFT;
  s.shift_in = kSI;
  s.shift_out = kSO;
  s.mb_repl = 0xA9A1;
  for (uint32_t c = 0; c < 128; ++c)
    if (c != kSI && c != kSO) s.map.push_back({{uint8_t(c)}, c});
  for (uint32_t c = kLatinHigh; c < kLatinEnd; ++c)
    s.map.push_back({{kShiftLead, uint8_t(kShiftTrail + c - kLatinHigh)}, c});
  // Lead bytes carry no length: the shift state says how long a character is.
  for (unsigned b = 0x80; b < 256; ++b) s.byte_classes[uint8_t(b)] = 0;
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

inline nlsw::LanguageDesc german() {
  nlsw::LanguageDesc de;
  de.name = "GERMAN";
  de.id = 5;
  de.territory = 3;
  de.abbrev = "D";
  de.days = {"sonntag", "montag", "dienstag", "mittwoch", "donnerstag", "freitag", "samstag"};
  de.abbr_days = {"so", "mo", "di", "mi", "do", "fr", "sa"};
  de.months = {"januar", "februar", "m\xe4rz", "april", "mai", "juni",
               "juli", "august", "september", "oktober", "november", "dezember"};
  de.abbr_months = {"jan", "feb", "m\xe4", "apr", "mai", "jun",
                    "jul", "aug", "sep", "okt", "nov", "dez"};
  de.am = "vorm.";
  de.pm = "nachm.";
  de.ad = "n. chr.";
  de.bc = "v. chr.";
  return de;
}

inline nlsw::LanguageDesc longcaps() {
  nlsw::LanguageDesc s = nlsw::american();
  s.name = "LONGCAPS";
  s.id = 7;
  for (auto *list : {&s.days, &s.abbr_days, &s.months, &s.abbr_months})
    for (auto &name : *list)
      for (auto &c : name) c = char(c - 'a' + 'A');
  s.months[11] = long_december();
  return s;
}

inline nlsw::TerritoryDesc germany() {
  nlsw::TerritoryDesc ge = nlsw::america();
  ge.name = "GERMANY";
  ge.id = 3;
  ge.abbrev = "DE";
  ge.strings[166] = "DD.MM.RR";
  ge.numbers = {{100, 1}};  // the week starts on Monday
  return ge;
}

inline std::string write_dir(const nlsw::Installation &inst, const char *prefix) {
  std::string err;
  return nlsw::write_temp_installation(inst, prefix, err);
}

inline std::string write() {
  nlsw::Installation inst;
  inst.big_endian = nlsw::host_big_endian();
  nlsconv::add_basics(inst);
  nlsw::add_object(inst, LX_TLANG, 5, "GERMAN", nlsw::build_language(german()));
  nlsw::add_object(inst, LX_TLANG, 7, "LONGCAPS", nlsw::build_language(longcaps()));
  nlsw::add_object(inst, LX_TTERR, 3, "GERMANY", nlsw::build_territory(germany()));
  nlsw::add_object(inst, LX_TCS, kEbcdic37, "WE8EBCDIC37",
                   nlsw::build_charset(nlsw::ebcdic037_charset("WE8EBCDIC37", kEbcdic37)));
  nlsw::add_object(inst, LX_TCS, kThai, "TH8TISASCII", nlsw::build_charset(thai_set()));
  nlsw::add_object(inst, LX_TCS, kShiftSet, "DATESHIFT", nlsw::build_charset(shift_set()));
  return write_dir(inst, "dateinst");
}

inline std::string without_utf8() {
  nlsw::Installation inst = nlsw::base_installation();
  nlsw::add_object(inst, LX_TCS, LXCS_AL16UTF16, "AL16UTF16",
                   nlsw::build_charset(nlsw::al16utf16_charset()));
  return write_dir(inst, "dateno8");
}

}  // namespace dateinst

#endif
