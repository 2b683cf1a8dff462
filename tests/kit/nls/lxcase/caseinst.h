// The NLS installation of the case conversion tests, written with the NLS
// object writer: AMERICAN_AMERICA with the character sets WE8ISO8859P1, a
// double-byte EUC set with fullwidth letters in pair form (TESTEUC) and a copy
// in delta form (TESTEUCD), a shift-sensitive set over the same letters
// (TESTSHIFT), UTF8, AL32UTF8 and AL16UTF16 carrying the BMP's one-to-one case
// forms, the CASE_FOLDING object (in either byte order, or left out), and
// linguistic sorts with special casing entries.
#ifndef QEN_TESTS_CASEINST_H
#define QEN_TESTS_CASEINST_H

#include <stdlib.h>

#include <string>
#include <vector>

#include "lxc.h"
#include "lxl.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"

// A BMP character with a one-to-one upper-case or lower-case form.
struct CaseForm {
  uint32_t cp, up, lo;
};
// A text in one encoding.
struct Enc {
  const char *b;
  size_t n;
};
// A reference text: forms [text, upper, lower, casefold] x [UTF-8, UTF-16BE,
// ISO 8859-1 (null when the text is not Latin-1)].
struct TextRef {
  const char *name;
  bool bmp;
  Enc forms[4][3];
};

namespace caseinst {

using Bytes = std::vector<uint8_t>;

inline constexpr uint16_t kClassUpper = LXCC_ALPHA | LXCC_UPPER, kClassLower = LXCC_ALPHA | LXCC_LOWER;
inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;

inline Bytes utf8(uint32_t cp) {
  if (cp < 0x80) return {uint8_t(cp)};
  if (cp < 0x800) return {uint8_t(0xC0 | cp >> 6), uint8_t(0x80 | (cp & 0x3F))};
  return {uint8_t(0xE0 | cp >> 12), uint8_t(0x80 | ((cp >> 6) & 0x3F)), uint8_t(0x80 | (cp & 0x3F))};
}

inline uint32_t packed(const Bytes &b) {
  uint32_t v = 0;
  for (uint8_t x : b) v = v << 8 | x;
  return v;
}

// Kept for older callers: a set's classes belong in CharsetDesc::byte_classes.
using nlsconv::set_class;

// Class trie entries and case pairs of the multibyte characters among the
// case forms; utf16: as 16-bit units, the first 256 in the 16-bit tables.
inline void add_case_forms(nlsw::CharsetDesc &s, const CaseForm *f, size_t n, bool utf16) {
  for (size_t i = 0; i < n; ++i) {
    const CaseForm &c = f[i];
    uint16_t cls = 0x800;
    if (c.up != c.cp) cls |= 0x8;
    if (c.lo != c.cp) cls |= 0x4;
    if (utf16) {
      if (c.cp < 0x100) {
        s.upper16[c.cp] = uint16_t(c.up);
        s.lower16[c.cp] = uint16_t(c.lo);
        continue;
      }
      s.classes[{uint8_t(c.cp >> 8), uint8_t(c.cp)}] = cls;
      if (c.up != c.cp) s.upper_pairs[c.cp] = c.up;
      if (c.lo != c.cp) s.lower_pairs[c.cp] = c.lo;
    } else {
      s.classes[utf8(c.cp)] = cls;
      if (c.up != c.cp) s.upper_pairs[packed(utf8(c.cp))] = packed(utf8(c.up));
      if (c.lo != c.cp) s.lower_pairs[packed(utf8(c.cp))] = packed(utf8(c.lo));
    }
  }
}

// A double-byte EUC set: ASCII, the fullwidth letters A3C1..A3DA and
// A3E1..A3FA with case pairs, the halfwidth 8E B1 and the caseless A4 A2.
inline nlsw::CharsetDesc euc() {
  nlsw::CharsetDesc s = nlsw::ascii_charset("TESTEUC", 830);
  s.kind = nlsw::CsKind::Fixed2;
  s.maxbytes = 2;
  s.mb_repl = 0xA1A9;
  for (uint8_t k = 0; k < 26; ++k) {
    uint8_t up = uint8_t(0xC1 + k), lo = uint8_t(0xE1 + k);
    s.map.push_back({{0xA3, up}, 0xFF21u + k});
    s.map.push_back({{0xA3, lo}, 0xFF41u + k});
    s.classes[{0xA3, up}] = kClassUpper;
    s.classes[{0xA3, lo}] = kClassLower;
    s.lower_pairs[0xA300u | up] = 0xA300u | lo;
    s.upper_pairs[0xA300u | lo] = 0xA300u | up;
  }
  s.map.push_back({{0xA1, 0xA9}, 0xFF1F});
  s.map.push_back({{0x8E, 0xB1}, 0xFF71});
  s.classes[{0x8E, 0xB1}] = 0x800;
  s.map.push_back({{0xA4, 0xA2}, 0x3042});
  return s;
}

// The EUC set with case deltas by the class's low four bits (which hold its
// case bits 0x4 and 0x8): capitals (5) lower by 0x20, small letters (10)
// raise by 0x20; A3C1 (7) lowers to "a" (one byte) and A3C2 (4) to the three
// bytes 01 A3 C2.
inline nlsw::CharsetDesc euc_delta() {
  nlsw::CharsetDesc s = euc();
  s.name = "TESTEUCD";
  s.id = 831;
  s.flags |= LXCSF_CASEDELTA;
  s.lower_pairs.clear();
  s.upper_pairs.clear();
  s.lower_deltas = {0, 0, 0, 0, 0x10000, 0x20, 0, -int32_t(0xA3C1 - 'a')};
  s.upper_deltas = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, -0x20};
  for (uint8_t k = 0; k < 26; ++k) {
    s.classes[{0xA3, uint8_t(0xC1 + k)}] = kClassUpper | 1;
    s.classes[{0xA3, uint8_t(0xE1 + k)}] = kClassLower | 2;
  }
  s.classes[{0xA3, 0xC1}] = kClassUpper | 3;
  s.classes[{0xA3, 0xC2}] = kClassUpper;
  return s;
}

// A shift-sensitive set: ASCII between shift-in and shift-out, the EUC
// letters while shifted out.
inline nlsw::CharsetDesc shift() {
  nlsw::CharsetDesc s = euc();
  s.name = "TESTSHIFT";
  s.id = 900;
  nlsw::make_shift_sensitive(s, kSI, kSO);
  return s;
}

// A set of the UTF-8 family (kept for older callers).
inline nlsw::CharsetDesc unicode(const char *name, uint16_t id, uint8_t maxbytes) {
  return nlsw::utf8_family_charset(name, id, maxbytes);
}

inline nlsw::Image utf8_set(const char *name, uint16_t id, uint8_t maxbytes, uint32_t flags,
                            const CaseForm *f, size_t n) {
  nlsw::CharsetDesc s = nlsw::utf8_family_charset(name, id, maxbytes);
  s.flags = flags;
  add_case_forms(s, f, n, false);
  return nlsw::build_charset(s);
}

inline nlsw::Image utf16_set(const CaseForm *f, size_t n) {
  nlsw::CharsetDesc s = nlsw::al16utf16_charset();
  // a unit's length by its first byte; a unit below 256 takes the class of
  // its second byte, so ASCII letters and digits carry theirs
  for (unsigned b = 0; b < 256; ++b) {
    uint16_t cls = (b >= 0xD8 && b <= 0xDB) ? 3 : 1;
    if (b >= 'A' && b <= 'Z') cls |= kClassUpper;
    if (b >= 'a' && b <= 'z') cls |= kClassLower;
    if (b >= '0' && b <= '9') cls |= 0x20;
    s.byte_classes[uint8_t(b)] = cls;
  }
  s.upper16.resize(256);
  s.lower16.resize(256);
  for (unsigned c = 0; c < 256; ++c) {
    s.upper16[c] = s.lower16[c] = uint16_t(c);
    if (c >= 'a' && c <= 'z') s.upper16[c] = uint16_t(c - 0x20);
    if (c >= 'A' && c <= 'Z') s.lower16[c] = uint16_t(c + 0x20);
  }
  add_case_forms(s, f, n, true);
  return nlsw::build_charset(s);
}

// A special casing record: key, second key (covering two characters) or
// any second character, up to three outputs.
inline nlsw::SortRecord special(uint16_t ch, uint16_t second, bool any, std::vector<uint16_t> out) {
  nlsw::SortRecord r;
  r.ch = ch;
  r.second = second;
  r.any_second = any;
  for (size_t k = 0; k < out.size() && k < 3; ++k) r.v[k] = out[k];
  return r;
}

inline constexpr uint16_t kSortCaseId = 70, kSortUpperId = 71;
inline constexpr uint16_t kSortFlagsCase = 0x4 | 0x8 | 0x10;

// The linguistic sort with special casing (TESTCASE): German sharp s to
// "SS", Dutch "ij" to "IJ" at a word start, a final sigma, fractions and
// ligatures with three outputs in every section, and base letters. Single-byte sets look up the source
// character itself, the others its converted form, hence entries for both.
// TESTUPPER: the same records with only the upper-case flag.
inline nlsw::SortDesc special_sort(bool upper_only = false) {
  nlsw::SortDesc d;
  d.name = upper_only ? "TESTUPPER" : "TESTCASE";
  d.id = upper_only ? kSortUpperId : kSortCaseId;
  d.flags = upper_only ? 0x4 : kSortFlagsCase;
  d.upper = {special('I', 'J', false, {'I', 'J'}),    // "IJ" in upper case
             special('I', 'j', false, {'I', 'J'}),    // "ij" at a word start
             special('i', 'J', false, {'I', 'J'}),    // single-byte, upper case
             special('i', 'j', false, {'I', 'J'}),    // single-byte, initial capitals
             special(0xBD, 0, true, {'1', '/', '2'}),  // one half
             special(0xC9, 0, false, {'E'}),           // E acute ending the text
             special(0xDF, 0, true, {'S', 'S'}),
             special(0xE9, 0, false, {'E'}),
             special(0xFB03, 0, true, {'F', 'F', 'I'}),
             special(0xFF23, 0, true, {'C', 0xFF23, 'c'})};
  d.lower = {special(0xBC, 0, true, {'1', '/', '4'}),  // one quarter
             special(0xC6, 0, true, {'a', 'e'}),       // single-byte: AE itself
             special(0xE6, 0, true, {'a', 'e'}),       // its lower case
             special(0x130, 0, true, {'i', 0x307}),    // capital I with dot
             special(0x3C3, 0, false, {0x3C2})};       // sigma ending the text
  d.base_records = {special('o', 0x308, false, {'o', 'e'}),  // o and a combining diaeresis
                    special(0xBE, 0, true, {'3', '/', '4'}),  // three quarters
                    special(0xC6, 0, true, {'A', 'E'}),
                    special(0xFB03, 0, true, {'f', 'f', 'i'}),
                    special(0xFF23, 0, true, {'C', 0xFF23, 'c'})};
  for (uint16_t c = 0xC0; c <= 0xC5; ++c) d.base_letters[c] = 'A';
  for (uint16_t c = 0xE0; c <= 0xE5; ++c) d.base_letters[c] = 'a';
  for (uint16_t c = 0xC8; c <= 0xCB; ++c) d.base_letters[c] = 'E';
  for (uint16_t c = 0xE8; c <= 0xEB; ++c) d.base_letters[c] = 'e';
  d.base_letters[0xD6] = 'O';
  d.base_letters[0xF6] = 'o';
  d.base_letters[0xFC] = 'u';
  d.base_letters[0xAD] = 0;  // a soft hyphen has none: the conversion ends
  d.base_letters[0x3AC] = 0x3B1;
  d.base_letters[0xFF21] = 'A';  // fullwidth letters to their ASCII form
  d.base_letters[0xFF41] = 'a';
  return d;
}

// Unicode's case folding as tools/nls/gen_fold.py wrote it at path; empty
// with err set when it cannot be read.
inline nlsw::FoldMap read_folds(const char *path, std::string &err) {
  nlsw::FoldMap m;
  if (!nlsw::read_fold(path, m, err)) m.clear();
  return m;
}

struct Options {
  bool fold = true;          // write CASE_FOLDING
  bool other_order = false;  // files in the byte order the host does not use
};

// Writes the installation into a new directory and returns its path ("" on
// failure).
inline std::string write(const CaseForm *f, size_t n, const nlsw::FoldMap &folds, Options o) {
  nlsw::Installation inst = nlsw::base_installation();
  inst.big_endian = nlsw::host_big_endian() != o.other_order;
  nlsw::add_charset(inst, nlsw::latin1_charset());
  nlsw::add_charset(inst, euc());
  nlsw::add_charset(inst, euc_delta());
  nlsw::add_charset(inst, shift());
  nlsw::add_object(inst, LX_TCS, LXCS_UTF8, "UTF8", utf8_set("UTF8", LXCS_UTF8, 3, LXCSF_SURR6, f, n));
  nlsw::add_object(inst, LX_TCS, LXCS_AL32UTF8, "AL32UTF8",
                   utf8_set("AL32UTF8", LXCS_AL32UTF8, 4, LXCSF_UTF8SHAPE, f, n));
  nlsw::add_object(inst, LX_TCS, LXCS_AL16UTF16, "AL16UTF16", utf16_set(f, n));
  if (o.fold) nlsw::add_case_folding(inst, folds);
  nlsw::add_object(inst, LX_TSORT, kSortCaseId, "TESTCASE", nlsw::build_sort_object(special_sort()));
  nlsw::add_object(inst, LX_TSORT, kSortUpperId, "TESTUPPER", nlsw::build_sort_object(special_sort(true)));
  return nlskit::write(inst);
}

}  // namespace caseinst

#endif
