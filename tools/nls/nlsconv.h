// The installation the conversion tests and benchmarks convert through:
// single-byte and Unicode sets, the EUC base charsets of the stateful sets
// (JA16EUC, KO16KSC5601, ZHS16CGB231280, ZHT32EUC), GB18030, a
// shift-sensitive set, the built-in stateful sets by their boot entries and
// a stateful set of the writer with escapes of its own. The base charsets
// come from the mapping files of gen_maps.py in the maps directory.
#ifndef QEN_TOOLS_NLSCONV_H
#define QEN_TOOLS_NLSCONV_H

#include <stdlib.h>

#include <string>
#include <utility>
#include <vector>

#include "nlsobjw.h"

namespace nlsconv {

enum : uint16_t {
  US7ASCII = 1, LATIN1 = 31, JA16EUC = 830, KO16KSC = 840, ZHS16CGB = 850, ZHT32EUC = 863,
  GB18030 = 854, UTF8 = 871, AL32UTF8 = 873, KOSHIFT = 900, UCS = 1000, AL16UTF16 = 2000,
  AL16UTF16LE = 2002, JIS7 = 9990, ISO2022CN = 9998, ISO2022JP = 9999, ISO2022KR = 9997, HZ = 9996
};

inline void set_class(nlsw::Image &img, unsigned lo, unsigned hi, uint16_t cls) {
  for (unsigned b = lo; b <= hi; ++b) img.put16(140 + 2 * b, cls);
}

inline nlsw::CharsetDesc from_map(const std::string &maps, const char *file, const char *name, uint16_t id, nlsw::CsKind kind,
                           uint8_t maxbytes, uint32_t mbrepl) {
  nlsw::CharsetDesc s;
  s.name = name;
  s.id = id;
  s.kind = kind;
  s.maxbytes = maxbytes;
  s.mb_repl = mbrepl;
  std::string err;
  if (!nlsw::read_map(maps + "/" + file, s, err)) s.map.clear();
  return s;
}

// Adds an object (an empty image: listed in the boot file only).
inline void add(nlsw::Installation &inst, uint16_t type, uint16_t id, const std::string &name,
                nlsw::Image img) {
  nlsw::add_object(inst, type, id, name, std::move(img));
}

// The language AMERICAN, the territory AMERICA and the sets US7ASCII,
// WE8ISO8859P1, UTF8, AL32UTF8 and AL16UTF16.
inline void add_basics(nlsw::Installation &inst) {
  auto add = [&](uint16_t type, uint16_t id, const std::string &name, nlsw::Image img) {
    nlsconv::add(inst, type, id, name, std::move(img));
  };
  add(0, 1, "AMERICAN", nlsw::build_language(nlsw::american()));
  add(1, 1, "AMERICA", nlsw::build_territory(nlsw::america()));
  add(2, US7ASCII, "US7ASCII", nlsw::build_charset(nlsw::ascii_charset("US7ASCII", US7ASCII)));
  {
    nlsw::CharsetDesc s;
    s.name = "WE8ISO8859P1";
    s.id = LATIN1;
    for (uint32_t c = 0; c < 256; ++c) s.map.push_back({{static_cast<uint8_t>(c)}, c});
    add(2, LATIN1, s.name, nlsw::build_charset(s));
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("UTF8", UTF8);
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 3;
    s.flags = 0x4000;
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0xC0, 0xDF, 1);
    set_class(img, 0xE0, 0xEF, 2);
    add(2, UTF8, s.name, img);
  }
  {
    nlsw::CharsetDesc s = nlsw::ascii_charset("AL32UTF8", AL32UTF8);
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 4;
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0xC0, 0xDF, 1);
    set_class(img, 0xE0, 0xEF, 2);
    set_class(img, 0xF0, 0xF7, 3);
    add(2, AL32UTF8, s.name, img);
  }
  {
    nlsw::CharsetDesc s;
    s.name = "AL16UTF16";
    s.id = AL16UTF16;
    s.kind = nlsw::CsKind::Utf;
    s.maxbytes = 2;
    s.flags = 0x100 | 0x2000;
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0, 255, 1);
    add(2, AL16UTF16, s.name, img);
  }
}

// The installation: single-byte, Unicode, EUC base charsets, GB18030, a
// shift-sensitive set, the built-in stateful sets by their boot entries and
// a stateful set of the writer with escapes of its own.
inline std::string write_installation(const std::string &maps, std::string &err) {
  char tmpl[] = "/tmp/nlsconvXXXXXX";
  std::string dir = mkdtemp(tmpl);
  nlsw::Installation inst;
  inst.big_endian = nlsw::host_big_endian();
  add_basics(inst);
  auto add = [&](uint16_t type, uint16_t id, const std::string &name, nlsw::Image img) {
    nlsconv::add(inst, type, id, name, std::move(img));
  };
  add(2, JA16EUC, "JA16EUC",
      nlsw::build_charset(from_map(maps, "eucjp.map", "JA16EUC", JA16EUC, nlsw::CsKind::Trie, 3, 0xA2AE)));
  add(2, KO16KSC, "KO16KSC5601",
      nlsw::build_charset(from_map(maps, "euckr.map", "KO16KSC5601", KO16KSC, nlsw::CsKind::Fixed2, 2, 0xA1A1)));
  add(2, ZHS16CGB, "ZHS16CGB231280",
      nlsw::build_charset(from_map(maps, "gb2312.map", "ZHS16CGB231280", ZHS16CGB, nlsw::CsKind::Fixed2, 2, 0xA1A1)));
  add(2, ZHT32EUC, "ZHT32EUC",
      nlsw::build_charset(from_map(maps, "euctw.map", "ZHT32EUC", ZHT32EUC, nlsw::CsKind::Trie, 4, 0x8EA1A1A1)));
  add(2, GB18030, "ZHS32GB18030",
      nlsw::build_charset(from_map(maps, "gb2.map", "ZHS32GB18030", GB18030, nlsw::CsKind::Fixed2, 4, 0xA1A1)));
  {
    nlsw::CharsetDesc s = from_map(maps, "euckr.map", "KOSHIFT", KOSHIFT, nlsw::CsKind::Fixed2, 2, 0xA1A1);
    s.flags = 0x4;
    s.shift_in = 0x0F;
    s.shift_out = 0x0E;
    std::vector<std::pair<std::vector<uint8_t>, uint32_t>> keep;
    for (auto &m : s.map)
      if (!(m.first.size() == 1 && (m.first[0] == 0x0E || m.first[0] == 0x0F))) keep.push_back(m);
    s.map = keep;
    nlsw::Image img = nlsw::build_charset(s);
    set_class(img, 0x80, 0xFF, 0);
    add(2, KOSHIFT, s.name, img);
  }
  {
    // A JIS-style seven-bit Korean set: ESC ( B for ASCII, ESC $ K for KS C 5601.
    nlsw::StatefulDesc st;
    st.name = "KO7JIS";
    st.id = JIS7;
    st.longest = 5;
    st.base_longest = 2;
    st.one_base = true;
    st.entries = {{{0x1B, 0x28, 0x42}, {}, KO16KSC, {}, false, 1},
                  {{0x1B, 0x24, 0x4B}, {}, KO16KSC, {0xFF, 0xFF}, false, 2}};
    add(2, JIS7, st.name, nlsw::build_stateful(st));
  }
  for (uint16_t id : {HZ, ISO2022KR, ISO2022CN, ISO2022JP}) {
    nlsw::BootObject o;
    o.type = 2;
    o.id = id;
    o.name = id == HZ ? "HZ-GB-2312" : id == ISO2022KR ? "ISO2022-KR" : id == ISO2022CN ? "ISO2022-CN" : "ISO2022-JP";
    o.size = 2492;
    inst.objects.push_back({o, nlsw::Image{}});
  }
  if (!nlsw::write_installation(inst, dir, 1, err)) return "";
  return dir;
}

}  // namespace nlsconv

#endif
