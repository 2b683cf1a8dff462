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

inline void set_class(nlsw::Image &img, unsigned lo, unsigned hi, uint16_t cls) {
  for (unsigned b = lo; b <= hi; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), cls);
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
  nlsw::CharsetDesc s = nlsw::ascii_charset(name, id);
  s.kind = nlsw::CsKind::Utf;
  s.maxbytes = maxbytes;
  s.flags = flags;
  add_unicode_classes(s, maxbytes == 4);
  nlsw::Image img = nlsw::build_charset(s);
  for (unsigned b = 0; b < 0x80; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), ascii_class(b));
  set_class(img, 0xC0, 0xDF, 1);
  set_class(img, 0xE0, 0xEF, 2);
  if (maxbytes == 4) set_class(img, 0xF0, 0xF7, 3);
  return img;
}

inline nlsw::Image al16utf16() {
  nlsw::CharsetDesc s;
  s.name = "AL16UTF16";
  s.id = LXCS_AL16UTF16;
  s.kind = nlsw::CsKind::Utf;
  s.maxbytes = 2;
  s.flags = 0x100 | 0x2000;
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
  nlsw::Image img = nlsw::build_charset(s);
  for (unsigned b = 0; b < 256; ++b) {
    const UcdChar *u = b >= 0xA0 ? ucd(b) : nullptr;
    img.put16(LX_ELEM(lxcsobj, bclass, b), uint16_t(1 | (u ? u->cls : ascii_class(b))));
  }
  return img;
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
  nlsw::Image img = nlsw::build_charset(s);
  for (unsigned b = 0; b < 0x80; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), ascii_class(b));
  return img;
}

inline nlsw::Image testshift(const std::string &maps) {
  nlsw::CharsetDesc e = eucjp(maps);
  nlsw::CharsetDesc s;
  s.name = "TESTSHIFT";
  s.id = 900;
  s.kind = nlsw::CsKind::Fixed2;
  s.maxbytes = 2;
  s.flags = 0x4;
  s.shift_in = kSI;
  s.shift_out = kSO;
  s.mb_repl = 0xA2AE;
  for (uint32_t c = 0; c < 128; ++c)
    if (c != kSO && c != kSI) s.map.push_back({{uint8_t(c)}, c});
  std::vector<std::pair<std::vector<uint8_t>, uint32_t>> two;
  for (const auto &m : e.map)
    if (m.first.size() == 2 && m.first[0] >= 0xA1) two.push_back(m);
  s.map.insert(s.map.end(), two.begin(), two.end());
  add_euc_data(s, two);
  nlsw::Image img = nlsw::build_charset(s);
  for (unsigned b = 0; b < 0x80; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), ascii_class(b));
  set_class(img, 0x80, 0xFF, 0);
  set_class(img, 0xA1, 0xFE, 1);  // lead bytes of the shifted-out characters
  return img;
}

// Writes the installation into a new directory; "" on failure.
inline std::string write(const std::string &maps) {
  char tmpl[] = "/tmp/curinstXXXXXX";
  std::string dir = mkdtemp(tmpl);
  nlsw::Installation inst;
  inst.big_endian = nlsw::host_big_endian();
  auto add = [&](uint16_t type, uint16_t id, const std::string &name, nlsw::Image img) {
    const bool listed_only = img.size() == 0;
    nlsw::add_object(inst, type, id, name, std::move(img));
    if (listed_only) inst.objects.back().first.size = 900;
  };
  add(0, 1, "AMERICAN", nlsw::build_language(nlsw::american()));
  for (uint16_t id = 2; id < WIDELANG; ++id) add(0, id, "FILL" + std::to_string(id), nlsw::Image{});
  for (uint16_t id : {WIDELANG, NARROWLANG}) {
    nlsw::LanguageDesc l = nlsw::american();
    l.name = id == WIDELANG ? "WIDELANG" : "NARROWLANG";
    l.id = id;
    add(0, id, l.name, nlsw::build_language(l));
  }
  add(1, 1, "AMERICA", nlsw::build_territory(nlsw::america()));
  add(2, 1, "US7ASCII", nlsw::build_charset(nlsw::ascii_charset("US7ASCII", 1)));
  {
    nlsw::CharsetDesc s;
    s.name = "WE8ISO8859P1";
    s.id = 31;
    s.flags = 0x2;
    for (uint32_t c = 0; c < 256; ++c) s.map.push_back({{uint8_t(c)}, c});
    add(2, 31, s.name, nlsw::build_charset(s));
  }
  nlsw::Image euc = ja16euc(maps);
  add(2, 830, "JA16EUC", euc);
  add(2, 871, "UTF8", utf8_family("UTF8", 871, 3, 0x4000));
  add(2, 873, "AL32UTF8", utf8_family("AL32UTF8", 873, 4, LXCSF_UTF8SHAPE));
  add(2, 900, "TESTSHIFT", testshift(maps));
  add(2, 2000, "AL16UTF16", al16utf16());
  std::string err;
  if (!nlsw::write_installation(inst, dir, 1, err)) {
    ADD_FAILURE() << err;
    return "";
  }
  return dir;
}

// A handle from a LANGUAGE_TERRITORY.CHARSET text (its objects loaded).
inline lxlangid handle(nlstest::Env &e, const char *name) {
  lxlangid h{};
  EXPECT_NE(lxhLaToId(name, 0, &h, 0, &e.glo), nullptr) << name;
  return h;
}

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
