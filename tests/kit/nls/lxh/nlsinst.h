// A small NLS installation written with the NLS object writer: languages
// AMERICAN, GERMAN and AMERICANO, territories AMERICA and GERMANY, the
// character sets US7ASCII, WE8ISO8859P1, WE8MSWIN1252, UTF8, AL32UTF8,
// AL16UTF16, a fixed two-byte set JA16SJIS (the characters the conversion
// texts need) and a shift-sensitive set over the same characters, the sort
// GERMAN, and a language FRENCH listed without an object file.
#ifndef QEN_TESTS_NLSINST_H
#define QEN_TESTS_NLSINST_H

#include <stdlib.h>

#include <map>
#include <string>
#include <vector>

#include "lxc.h"
#include "lxl.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"

namespace nlsinst {

struct Pair {
  uint8_t b0, b1;
  uint32_t cp;
};

// Shift bytes of TESTSHIFT.
inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;

// Kept for older tests; a set's classes belong in CharsetDesc::byte_classes.
using nlsconv::set_class;

// The UTF8 character-set object (id 871) with its lead-byte classes.
inline nlsw::Image utf8_charset() { return nlsw::build_charset(nlsw::utf8_charset()); }

// Writes the installation into a new directory and returns its path.
// equivalents, when given, become JA16SJIS's single-byte equivalence list.
inline std::string write(const std::vector<Pair> &pairs, const uint16_t *cp1252_high,
                         const std::map<uint8_t, uint32_t> *equivalents = nullptr) {
  nlsw::Installation inst = nlsw::base_installation();
  {
    nlsw::LanguageDesc de = nlsw::german();
    de.charset = 31;
    de.sort = 2;
    de.yes = "ja";
    de.no = "nein";
    nlsw::add_language(inst, de);
  }
  nlsw::add_language(inst, nlsw::american_as("AMERICANO", 9));
  nlsw::add_listed(inst, LX_TLANG, 7, "FRENCH", 900);
  {
    // German conventions throughout, and no C library formats.
    nlsw::TerritoryDesc ge = nlsw::germany();
    ge.strings = {{LXTER_DECIMAL, ","},           {LXTER_GROUP, "."},
                  {LXTER_ISOCURR, "DEM"},         {LXTER_CURRENCY, "DM"},
                  {LXTER_MONDECIMAL, ","},        {LXTER_MONGROUP, "."},
                  {LXTER_LISTSEP, ";"},           {LXTER_DEBIT, "S"},
                  {LXTER_CREDIT, "H"},            {LXTER_DATEFMT, "DD.MM.RR"},
                  {LXTER_TIMEFMT, "HH24:MI:SS"},  {LXTER_TIMEFMT2, "HH24:MI:SSXFF"},
                  {LXTER_TSFMT, "DD.MM.RR HH24:MI:SSXFF"},
                  {LXTER_TIMETZFMT, "HH24:MI:SSXFF TZR"},
                  {LXTER_TSTZFMT, "DD.MM.RR HH24:MI:SSXFF TZR"}};
    nlsw::add_territory(inst, ge);
  }

  {
    nlsw::CharsetDesc s = nlsw::latin1_charset();
    s.flags = LXCSF_DISPLAY;
    nlsw::add_charset(inst, s);
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("WE8MSWIN1252", 178);
    for (unsigned b = 0x80; b < 0xA0; ++b)
      if (cp1252_high[b - 0x80]) s.map.push_back({{static_cast<uint8_t>(b)}, cp1252_high[b - 0x80]});
    for (uint32_t c = 0xA0; c < 256; ++c) s.map.push_back({{static_cast<uint8_t>(c)}, c});
    nlsw::add_charset(inst, s);
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("JA16SJIS", 832);
    s.kind = nlsw::CsKind::Fixed2;
    s.maxbytes = 2;
    s.mb_repl = 0x8145;
    for (const auto &p : pairs) s.map.push_back({{p.b0, p.b1}, p.cp});
    if (equivalents) s.equivalents = *equivalents;
    nlsw::add_charset(inst, s);
  }
  nlsw::add_charset(inst, nlsw::utf8_charset());
  nlsw::add_charset(inst, nlsw::al32utf8_charset());
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("TESTSHIFT", 900);
    s.mb_repl = 0x8145;
    for (const auto &p : pairs) s.map.push_back({{p.b0, p.b1}, p.cp});
    nlsw::make_shift_sensitive(s, kSI, kSO);
    nlsw::add_charset(inst, s);
  }
  {
    constexpr uint16_t kOneColumn = 1 << 6;
    nlsw::CharsetDesc s = nlsw::al16utf16_charset();
    s.latin_props.assign(256, kOneColumn);  // U+0000..U+00FF
    nlsw::add_charset(inst, s);
  }
  nlsw::add_object(inst, LX_TSORT, 2, "GERMAN", nlsw::german_sort());
  return nlskit::write(inst);
}

}  // namespace nlsinst

#endif
