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
#include "nlsobjw.h"

namespace nlsinst {

struct Pair {
  uint8_t b0, b1;
  uint32_t cp;
};

inline void set_class(nlsw::Image &img, unsigned lo, unsigned hi, uint16_t cls) {
  for (unsigned b = lo; b <= hi; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), cls);
}

// The UTF8 character-set object (id 871) with its lead-byte classes.
inline nlsw::Image utf8_charset() {
  nlsw::CharsetDesc s = nlsw::ascii_charset("UTF8", 871);
  s.kind = nlsw::CsKind::Utf;
  s.maxbytes = 3;
  s.flags = 0x4000;
  nlsw::Image img = nlsw::build_charset(s);
  set_class(img, 0xC0, 0xDF, 1);
  set_class(img, 0xE0, 0xEF, 2);
  return img;
}

// Writes the installation into a new directory and returns its path.
// equivalents, when given, become JA16SJIS's single-byte equivalence list.
inline std::string write(const std::vector<Pair> &pairs, const uint16_t *cp1252_high,
                         const std::map<uint8_t, uint32_t> *equivalents = nullptr) {
  char tmpl[] = "/tmp/nlsinstXXXXXX";
  std::string dir = mkdtemp(tmpl);
  nlsw::Installation inst;
  inst.big_endian = nlsw::host_big_endian();
  auto add = [&](uint16_t type, uint16_t id, const std::string &name, nlsw::Image img) {
    nlsw::add_object(inst, type, id, name, std::move(img));
  };

  nlsw::LanguageDesc am = nlsw::american();
  add(0, 1, "AMERICAN", nlsw::build_language(am));
  nlsw::LanguageDesc de;
  de.name = "GERMAN";
  de.id = 5;
  de.territory = 3;
  de.charset = 31;
  de.sort = 2;
  de.abbrev = "D";
  de.days = {"sonntag", "montag", "dienstag", "mittwoch", "donnerstag", "freitag", "samstag"};
  de.abbr_days = {"so", "mo", "di", "mi", "do", "fr", "sa"};
  de.months = {"januar", "februar", "m\xe4rz", "april", "mai", "juni",
               "juli", "august", "september", "oktober", "november", "dezember"};
  de.abbr_months = {"jan", "feb", "m\xe4r", "apr", "mai", "jun",
                    "jul", "aug", "sep", "okt", "nov", "dez"};
  de.yes = "ja";
  de.no = "nein";
  add(0, 5, "GERMAN", nlsw::build_language(de));
  nlsw::LanguageDesc ano = nlsw::american();
  ano.name = "AMERICANO";
  ano.id = 9;
  add(0, 9, "AMERICANO", nlsw::build_language(ano));
  {
    nlsw::BootObject fr;
    fr.type = 0;
    fr.id = 7;
    fr.name = "FRENCH";
    fr.size = 900;
    inst.objects.push_back({fr, nlsw::Image{}});
  }

  add(1, 1, "AMERICA", nlsw::build_territory(nlsw::america()));
  nlsw::TerritoryDesc ge;
  ge.name = "GERMANY";
  ge.id = 3;
  ge.abbrev = "DE";
  ge.strings = {{136, ","}, {138, "."}, {142, "DEM"}, {144, "DM"}, {146, ","}, {148, "."},
                {152, ";"}, {154, "S"}, {156, "H"}, {166, "DD.MM.RR"}, {168, "HH24:MI:SS"},
                {170, "HH24:MI:SSXFF"}, {172, "DD.MM.RR HH24:MI:SSXFF"},
                {174, "HH24:MI:SSXFF TZR"}, {176, "DD.MM.RR HH24:MI:SSXFF TZR"}};
  ge.numbers = {{100, 1}};
  add(1, 3, "GERMANY", nlsw::build_territory(ge));

  add(2, 1, "US7ASCII", nlsw::build_charset(nlsw::ascii_charset("US7ASCII", 1)));
  {
    nlsw::CharsetDesc s;
    s.name = "WE8ISO8859P1";
    s.id = 31;
    s.flags = 0x2;  // usable for display
    for (uint32_t c = 0; c < 256; ++c) s.map.push_back({{static_cast<uint8_t>(c)}, c});
    add(2, 31, s.name, nlsw::build_charset(s));
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("WE8MSWIN1252", 178);
    for (unsigned b = 0x80; b < 0xA0; ++b)
      if (cp1252_high[b - 0x80]) s.map.push_back({{static_cast<uint8_t>(b)}, cp1252_high[b - 0x80]});
    for (uint32_t c = 0xA0; c < 256; ++c) s.map.push_back({{static_cast<uint8_t>(c)}, c});
    add(2, 178, s.name, nlsw::build_charset(s));
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("JA16SJIS", 832);
    s.kind = nlsw::CsKind::Fixed2;
    s.maxbytes = 2;
    s.mb_repl = 0x8145;
    for (const auto &p : pairs) s.map.push_back({{p.b0, p.b1}, p.cp});
    if (equivalents) s.equivalents = *equivalents;
    add(2, 832, s.name, nlsw::build_charset(s));
  }
  add(2, 871, "UTF8", utf8_charset());
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("AL32UTF8", 873);
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 4;
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0xC0, 0xDF, 1);
    set_class(img, 0xE0, 0xEF, 2);
    set_class(img, 0xF0, 0xF7, 3);
    add(2, 873, s.name, img);
  }
  {
    nlsw::CharsetDesc s;
    s.name = "TESTSHIFT";
    s.id = 900;
    s.kind = nlsw::CsKind::Fixed2;
    s.maxbytes = 2;
    s.flags = 0x4;
    s.shift_in = 0x0F;
    s.shift_out = 0x0E;
    s.mb_repl = 0x8145;
    for (uint32_t c = 0; c < 128; ++c)
      if (c != 0x0E && c != 0x0F) s.map.push_back({{static_cast<uint8_t>(c)}, c});
    for (const auto &p : pairs) s.map.push_back({{p.b0, p.b1}, p.cp});
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0x80, 0xFF, 0);
    add(2, 900, s.name, img);
  }
  {
    nlsw::CharsetDesc s;
    s.name = "AL16UTF16";
    s.id = 2000;
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 2;
    s.flags = 0x100 | 0x2000;
    s.latin_props.assign(256, 1 << 6);  // U+0000..U+00FF: one column each
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0, 255, 1);
    add(2, 2000, s.name, img);
  }
  {
    nlsw::Image sort = nlsw::build_sort("GERMAN", 2);
    sort.put16(102, 0x1);  // a monolingual sort with special letters
    add(3, 2, "GERMAN", sort);
  }
  std::string err;
  if (!nlsw::write_installation(inst, dir, 1, err)) return "";
  return dir;
}

}  // namespace nlsinst

#endif
