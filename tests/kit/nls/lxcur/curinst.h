// The installation of the cursor, count, copy and width tests, written with
// the NLS object writer: the language AMERICAN at boot index 1, listed-only
// fillers, WIDELANG at boot index 36 (ambiguous characters take two
// columns) and NARROWLANG at 37 (one column), the territory AMERICA, and the
// sets US7ASCII, WE8ISO8859P1, JA16EUC (from gen_maps' EUC-JP map: one-,
// two- and three-byte characters), UTF8, AL32UTF8, TESTSHIFT (ASCII shifted
// in, EUC-JP's two-byte characters shifted out) and AL16UTF16. Classes,
// widths, case forms and combining classes come from Python's unicodedata
// (cur_ucd.inc).
#ifndef QEN_TESTS_CURINST_H
#define QEN_TESTS_CURINST_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <map>
#include <string>
#include <vector>

#include "lxc.h"
#include "lxh.h"
#include "lxl.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlstest.h"

namespace curinst {

#include "cur_ucd.inc"

// Boot indexes.
enum : uint16_t {
  AMERICAN = 1, WIDELANG = 36, NARROWLANG = 37, AMERICA = 38,
  US7ASCII = 39, WE8ISO8859P1 = 40, JA16EUC = 41, UTF8 = 42, AL32UTF8 = 43, TESTSHIFT = 44,
  AL16UTF16 = 45
};

inline constexpr uint8_t kSI = 0x0F, kSO = 0x0E;

using Bytes = std::string;

inline Bytes utf8(uint32_t cp) {
  Bytes s;
  if (cp < 0x80) {
    s += char(cp);
  } else if (cp < 0x800) {
    s += char(0xC0 | cp >> 6);
    s += char(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += char(0xE0 | cp >> 12);
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  } else {
    s += char(0xF0 | cp >> 18);
    s += char(0x80 | ((cp >> 12) & 0x3F));
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  }
  return s;
}

inline Bytes utf16(uint32_t cp) {
  Bytes s;
  auto unit = [&](uint32_t u) {
    s += char(u >> 8);
    s += char(u & 0xFF);
  };
  if (cp < 0x10000) {
    unit(cp);
  } else {
    cp -= 0x10000;
    unit(0xD800 | cp >> 10);
    unit(0xDC00 | (cp & 0x3FF));
  }
  return s;
}

inline std::vector<uint8_t> vec(const Bytes &b) { return std::vector<uint8_t>(b.begin(), b.end()); }

inline uint32_t packed(const Bytes &b) {
  uint32_t v = 0;
  for (unsigned char c : b) v = v << 8 | c;
  return v;
}

inline const UcdChar *ucd(uint32_t cp) {
  for (const auto &u : kUcd)
    if (u.cp == cp) return &u;
  return nullptr;
}

// Class bits of an ASCII byte as the tests expect them.
inline uint16_t ascii_class(unsigned b) {
  if (b >= 'A' && b <= 'Z') return 0x804;
  if (b >= 'a' && b <= 'z') return 0x808;
  if (b >= '0' && b <= '9') return 0x20;
  if (b == ' ' || (b >= 9 && b <= 13)) return 0x40;
  return 0;
}

// Kept for older callers: a set's classes belong in CharsetDesc::byte_classes.
using nlsconv::set_class;

// The ASCII bytes' classes as the tests expect them.
inline void set_ascii_classes(nlsw::CharsetDesc &s) {
  for (unsigned b = 0; b < 0x80; ++b) s.byte_classes[uint8_t(b)] = ascii_class(b);
}

// EUC-JP characters kept in the class trie (it must stay within 64 KiB):
// rows A1 to A5 and B0 of the two-byte set, the one-byte kana after 8E and
// row B0 of the three-byte set.
inline bool euc_classed(const Bytes &b) {
  auto lead = uint8_t(b[0]);
  if (b.size() == 2) return lead == 0x8E || (lead >= 0xA1 && lead <= 0xA5) || lead == 0xB0;
  return b.size() == 3 && uint8_t(b[1]) == 0xB0;
}

// The class of a multibyte character of code point cp (wide when unicodedata
// does not know it).
inline uint16_t mb_class(uint32_t cp) {
  const UcdChar *u = ucd(cp);
  return u ? u->cls : 0x10;
}

inline void add_unicode_classes(nlsw::CharsetDesc &s, bool four) {
  for (const auto &u : kUcd) {
    if (u.cp < 0x80 || (!four && u.cp > 0xFFFF)) continue;
    s.classes[vec(utf8(u.cp))] = u.cls;
    if (u.upper && (four || u.upper <= 0xFFFF))
      s.upper_pairs[packed(utf8(u.cp))] = packed(utf8(u.upper));
    if (u.lower && (four || u.lower <= 0xFFFF))
      s.lower_pairs[packed(utf8(u.cp))] = packed(utf8(u.lower));
  }
}

inline nlsw::Image utf8_family(const char *name, uint16_t id, uint8_t maxbytes, uint32_t flags) {
  nlsw::CharsetDesc s = nlsw::utf8_family_charset(name, id, maxbytes);
  s.flags = flags;
  add_unicode_classes(s, maxbytes == 4);
  set_ascii_classes(s);
  return nlsw::build_charset(s);
}

inline nlsw::Image al16utf16() {
  nlsw::CharsetDesc s = nlsw::al16utf16_charset();
  s.upper16.resize(256);
  s.lower16.resize(256);
  s.latin_props.resize(256);
  for (unsigned c = 0; c < 256; ++c) {
    const UcdChar *u = c >= 0xA0 ? ucd(c) : nullptr;
    uint16_t up = c, low = c;
    if (c >= 'a' && c <= 'z') up = uint16_t(c - 32);
    if (c >= 'A' && c <= 'Z') low = uint16_t(c + 32);
    if (u && u->upper && u->upper <= 0xFFFF) up = uint16_t(u->upper);
    if (u && u->lower && u->lower <= 0xFFFF) low = uint16_t(u->lower);
    s.upper16[c] = up;
    s.lower16[c] = low;
    s.latin_props[c] = uint16_t((u ? u->eaw : 1) << 6);
    // a unit's length, and the class of the character its second byte is
    s.byte_classes[uint8_t(c)] = uint16_t(1 | (u ? u->cls : ascii_class(c)));
  }
  for (const auto &u : kUcd) {
    const Bytes b = utf16(u.cp);
    if (u.cp >= 0x100) {
      s.properties[vec(b)] = uint16_t(u.eaw << 6);
      s.classes[vec(b)] = u.cls;
      if (u.upper) s.upper_pairs[packed(b)] = packed(utf16(u.upper));
      if (u.lower) s.lower_pairs[packed(b)] = packed(utf16(u.lower));
    }
    if (u.ccc) s.combining[packed(b)] = u.ccc;
  }
  return nlsw::build_charset(s);
}

// The EUC-JP map of gen_maps.py (empty on failure).
inline nlsw::CharsetDesc eucjp(const std::string &maps) {
  nlsw::CharsetDesc s;
  s.name = "JA16EUC";
  s.id = 830;
  s.kind = nlsw::CsKind::Trie;
  s.maxbytes = 3;
  s.mb_repl = 0xA2AE;
  std::string err;
  if (!nlsw::read_map(maps + "/eucjp.map", s, err)) s.map.clear();
  return s;
}

// EUC-JP classes, case pairs and the equivalents of the ASCII graphic
// characters (their full-width forms) and the blank (the ideographic space).
inline void add_euc_data(nlsw::CharsetDesc &s, const std::vector<std::pair<std::vector<uint8_t>, uint32_t>> &map) {
  std::map<uint32_t, Bytes> enc;
  for (const auto &m : map) {
    if (m.first.size() < 2) continue;
    Bytes b(m.first.begin(), m.first.end());
    enc.emplace(m.second, b);
    if (euc_classed(b)) s.classes[m.first] = mb_class(m.second);
  }
  for (const auto &m : map) {
    if (m.first.size() < 2) continue;
    const UcdChar *u = ucd(m.second);
    if (!u) continue;
    Bytes b(m.first.begin(), m.first.end());
    if (u->upper && enc.count(u->upper)) s.upper_pairs[packed(b)] = packed(enc[u->upper]);
    if (u->lower && enc.count(u->lower)) s.lower_pairs[packed(b)] = packed(enc[u->lower]);
  }
  for (unsigned c = 0x21; c < 0x7F; ++c)
    if (enc.count(0xFF01 + c - 0x21)) s.equivalents[uint8_t(c)] = packed(enc[0xFF01 + c - 0x21]);
  s.equivalents[' '] = packed(enc[0x3000]);
}

inline nlsw::Image ja16euc(const std::string &maps) {
  nlsw::CharsetDesc s = eucjp(maps);
  add_euc_data(s, s.map);
  set_ascii_classes(s);
  return nlsw::build_charset(s);
}

inline nlsw::Image testshift(const std::string &maps) {
  nlsw::CharsetDesc e = eucjp(maps);
  nlsw::CharsetDesc s = nlsw::ascii_charset("TESTSHIFT", 900);
  s.mb_repl = 0xA2AE;
  std::vector<std::pair<std::vector<uint8_t>, uint32_t>> two;
  for (const auto &m : e.map)
    if (m.first.size() == 2 && m.first[0] >= 0xA1) two.push_back(m);
  s.map.insert(s.map.end(), two.begin(), two.end());
  add_euc_data(s, two);
  nlsw::make_shift_sensitive(s, kSI, kSO);
  set_ascii_classes(s);
  for (unsigned b = 0xA1; b <= 0xFE; ++b)
    s.byte_classes[uint8_t(b)] = 1;  // lead bytes of the shifted-out characters
  return nlsw::build_charset(s);
}

// Writes the installation into a new directory; "" on failure.
inline std::string write(const std::string &maps) {
  nlsw::Installation inst = nlsw::base_installation();
  for (uint16_t id = 2; id < WIDELANG; ++id) nlsw::add_listed(inst, LX_TLANG, id, "FILL" + std::to_string(id), 900);
  nlsw::add_language(inst, nlsw::american_as("WIDELANG", WIDELANG));
  nlsw::add_language(inst, nlsw::american_as("NARROWLANG", NARROWLANG));
  {
    nlsw::CharsetDesc s = nlsw::latin1_charset();
    s.flags = LXCSF_DISPLAY;
    nlsw::add_charset(inst, s);
  }
  nlsw::add_object(inst, LX_TCS, 830, "JA16EUC", ja16euc(maps));
  nlsw::add_object(inst, LX_TCS, LXCS_UTF8, "UTF8", utf8_family("UTF8", LXCS_UTF8, 3, LXCSF_SURR6));
  nlsw::add_object(inst, LX_TCS, LXCS_AL32UTF8, "AL32UTF8",
                   utf8_family("AL32UTF8", LXCS_AL32UTF8, 4, LXCSF_UTF8SHAPE));
  nlsw::add_object(inst, LX_TCS, 900, "TESTSHIFT", testshift(maps));
  nlsw::add_object(inst, LX_TCS, LXCS_AL16UTF16, "AL16UTF16", al16utf16());
  std::string err, dir = nlskit::write(inst, err);
  if (dir.empty()) ADD_FAILURE() << err;
  return dir;
}

// A handle from a LANGUAGE_TERRITORY.CHARSET text (its objects loaded).
inline lxlangid handle(nlstest::Env &e, const char *name) { return nlstest::lang_handle(e, name); }

// The handles the tests use, by charset.
struct Handles {
  lxlangid latin, euc, utf8, al32, shift, u16, u16narrow, al32narrow, eucnarrow;
  explicit Handles(nlstest::Env &e)
      : latin(handle(e, "WIDELANG_AMERICA.WE8ISO8859P1")),
        euc(handle(e, "WIDELANG_AMERICA.JA16EUC")),
        utf8(handle(e, "WIDELANG_AMERICA.UTF8")),
        al32(handle(e, "WIDELANG_AMERICA.AL32UTF8")),
        shift(handle(e, "WIDELANG_AMERICA.TESTSHIFT")),
        u16(handle(e, "WIDELANG_AMERICA.AL16UTF16")),
        u16narrow(handle(e, "NARROWLANG_AMERICA.AL16UTF16")),
        al32narrow(handle(e, "NARROWLANG_AMERICA.AL32UTF8")),
        eucnarrow(handle(e, "NARROWLANG_AMERICA.JA16EUC")) {}
};

class Installed : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = write(NLS_MAPS); }
  static void child(const std::function<void(nlstest::Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

}  // namespace curinst

#endif
