// Installations for tests and benchmarks: the objects every handle needs,
// the descriptions of the common sets, languages and territories, and
// writing into a new directory.
#include <stdlib.h>

#include <algorithm>
#include <string>
#include <utility>

#include "lxc.h"
#include "lxl.h"
#include "nlsobjw.h"

namespace nlsw {

namespace {

// The lead bytes of a UTF-8 character of 2, 3 and 4 bytes. A byte's class
// holds in its low two bits how many bytes follow it in its character.
struct LeadRange {
  uint8_t lo, hi, following;
};
constexpr LeadRange kUtf8Leads[] = {{0xC0, 0xDF, 1}, {0xE0, 0xEF, 2}, {0xF0, 0xF7, 3}};

// In AL16UTF16 every byte leads a two-byte unit: one byte follows.
constexpr uint16_t kUnitLead = 1;

// The first byte above the ASCII range.
constexpr unsigned kHighByte = 0x80;

// GERMANY's field 100: the day a week starts on (1: Monday).
constexpr unsigned kTerWeekStart = 100;
constexpr uint16_t kMonday = 1;
// A territory's pool field of its default date format.
constexpr unsigned kTerDateFormat = LXTER_DATEFMT;

// A sort object's flag of a monolingual sort with special letters.
constexpr uint16_t kSortSpecialLetters = 0x1;

}  // namespace

void add_object(Installation &inst, uint16_t type, uint16_t id, const std::string &name, Image img) {
  BootObject o;
  o.type = type;
  o.id = id;
  o.name = name;
  inst.objects.push_back({o, std::move(img)});
}

void add_charset(Installation &inst, const CharsetDesc &desc) {
  add_object(inst, LX_TCS, desc.id, desc.name, build_charset(desc));
}

void add_language(Installation &inst, const LanguageDesc &desc) {
  add_object(inst, LX_TLANG, desc.id, desc.name, build_language(desc));
}

void add_territory(Installation &inst, const TerritoryDesc &desc) {
  add_object(inst, LX_TTERR, desc.id, desc.name, build_territory(desc));
}

void add_listed(Installation &inst, uint16_t type, uint16_t id, const std::string &name, uint32_t size) {
  add_object(inst, type, id, name, Image{});
  inst.objects.back().first.size = size;
}

void add_case_folding(Installation &inst, const FoldMap &folds) {
  add_object(inst, LX_TMAP, kCaseFoldingId, "CASE_FOLDING", build_case_folding(folds));
}

Installation base_installation() {
  Installation inst;
  add_language(inst, american());
  add_territory(inst, america());
  add_charset(inst, ascii_charset("US7ASCII", 1));
  return inst;
}

void add_basic_sets(Installation &inst) {
  add_charset(inst, latin1_charset());
  add_charset(inst, utf8_charset());
  add_charset(inst, al32utf8_charset());
  add_charset(inst, al16utf16_charset());
}

Installation basic_installation() {
  Installation inst = base_installation();
  add_basic_sets(inst);
  return inst;
}

CharsetDesc latin1_charset() {
  CharsetDesc s;
  s.name = "WE8ISO8859P1";
  s.id = 31;
  for (uint32_t c = 0; c < 256; ++c) s.map.push_back({{uint8_t(c)}, c});
  return s;
}

CharsetDesc utf8_family_charset(const std::string &name, uint16_t id, uint8_t maxbytes) {
  CharsetDesc s = ascii_charset(name, id);
  s.kind = CsKind::Utf;
  s.maxbytes = maxbytes;
  for (const LeadRange &r : kUtf8Leads)
    if (r.following < maxbytes)
      for (unsigned b = r.lo; b <= r.hi; ++b) s.byte_classes[uint8_t(b)] = r.following;
  return s;
}

CharsetDesc utf8_charset() {
  CharsetDesc s = utf8_family_charset("UTF8", LXCS_UTF8, 3);
  s.flags = LXCSF_SURR6;
  return s;
}

CharsetDesc al32utf8_charset() { return utf8_family_charset("AL32UTF8", LXCS_AL32UTF8, 4); }

CharsetDesc al16utf16_charset() {
  CharsetDesc s;
  s.name = "AL16UTF16";
  s.id = LXCS_AL16UTF16;
  s.kind = CsKind::Utf;
  s.maxbytes = 2;
  s.flags = LXCSF_UNIT16 | LXCSF_FIXED;
  for (unsigned b = 0; b < 256; ++b) s.byte_classes[uint8_t(b)] = kUnitLead;
  return s;
}

void make_shift_sensitive(CharsetDesc &desc, uint8_t si, uint8_t so) {
  desc.kind = CsKind::Fixed2;
  desc.maxbytes = 2;
  desc.flags |= LXCSF_SHIFT;
  desc.shift_in = si;
  desc.shift_out = so;
  auto shift_byte = [&](const std::pair<std::vector<uint8_t>, uint32_t> &m) {
    return m.first.size() == 1 && (m.first[0] == si || m.first[0] == so);
  };
  desc.map.erase(std::remove_if(desc.map.begin(), desc.map.end(), shift_byte), desc.map.end());
  for (unsigned b = kHighByte; b < 256; ++b) desc.byte_classes[uint8_t(b)] = 0;
}

LanguageDesc american_as(const std::string &name, uint16_t id) {
  LanguageDesc s = american();
  s.name = name;
  s.id = id;
  return s;
}

LanguageDesc german() {
  LanguageDesc de;
  de.name = "GERMAN";
  de.id = 5;
  de.territory = 3;
  de.abbrev = "D";
  de.days = {"sonntag", "montag", "dienstag", "mittwoch", "donnerstag", "freitag", "samstag"};
  de.abbr_days = {"so", "mo", "di", "mi", "do", "fr", "sa"};
  de.months = {"januar", "februar", "m\xe4rz", "april", "mai", "juni",
               "juli", "august", "september", "oktober", "november", "dezember"};
  de.abbr_months = {"jan", "feb", "m\xe4r", "apr", "mai", "jun",
                    "jul", "aug", "sep", "okt", "nov", "dez"};
  return de;
}

TerritoryDesc germany() {
  TerritoryDesc ge = america();
  ge.name = "GERMANY";
  ge.id = 3;
  ge.abbrev = "DE";
  ge.strings[kTerDateFormat] = "DD.MM.RR";
  ge.numbers = {{kTerWeekStart, kMonday}};
  return ge;
}

Image german_sort() {
  Image sort = build_sort("GERMAN", 2);
  sort.put16(offsetof(lxsrtobj, flags), kSortSpecialLetters);
  return sort;
}

}  // namespace nlsw
