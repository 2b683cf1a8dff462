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

#include "lxc.h"
#include "lxl.h"
#include "nlsobjw.h"

namespace nlsconv {

enum : uint16_t {
  US7ASCII = 1, LATIN1 = 31, JA16EUC = 830, KO16KSC = 840, ZHS16CGB = 850, ZHT32EUC = 863,
  GB18030 = 854, UTF8 = 871, AL32UTF8 = 873, KOSHIFT = 900, UCS = 1000, AL16UTF16 = 2000,
  AL16UTF16LE = 2002, JIS7 = 9990, ISO2022CN = 9998, ISO2022JP = 9999, ISO2022KR = 9997, HZ = 9996
};

// The shift-in and shift-out bytes of KOSHIFT.
inline constexpr uint8_t kKoshiftIn = 0x0F, kKoshiftOut = 0x0E;
// What the boot file says a built-in stateful set's object holds.
inline constexpr uint32_t kBuiltinStatefulSize = 2492;

// Patches the classes of the bytes lo..hi in a built charset object. Kept
// for older tests: a set's classes belong in CharsetDesc::byte_classes,
// which build_charset writes.
inline void set_class(nlsw::Image &img, unsigned lo, unsigned hi, uint16_t cls) {
  for (unsigned b = lo; b <= hi; ++b) img.put16(LX_ELEM(lxcsobj, bclass, b), cls);
}

// The set of a mapping file of the maps directory (no characters when it
// cannot be read).
inline nlsw::CharsetDesc from_map(const std::string &maps, const char *file, const char *name, uint16_t id,
                                  nlsw::CsKind kind, uint8_t maxbytes, uint32_t mbrepl) {
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

// The installation: the basics, the EUC base charsets, GB18030, a
// shift-sensitive set, the built-in stateful sets by their boot entries and
// a stateful set of the writer with escapes of its own.
inline nlsw::Installation installation(const std::string &maps) {
  nlsw::Installation inst = nlsw::basic_installation();
  using K = nlsw::CsKind;
  nlsw::add_charset(inst, from_map(maps, "eucjp.map", "JA16EUC", JA16EUC, K::Trie, 3, 0xA2AE));
  nlsw::add_charset(inst, from_map(maps, "euckr.map", "KO16KSC5601", KO16KSC, K::Fixed2, 2, 0xA1A1));
  nlsw::add_charset(inst, from_map(maps, "gb2312.map", "ZHS16CGB231280", ZHS16CGB, K::Fixed2, 2, 0xA1A1));
  nlsw::add_charset(inst, from_map(maps, "euctw.map", "ZHT32EUC", ZHT32EUC, K::Trie, 4, 0x8EA1A1A1));
  nlsw::add_charset(inst, from_map(maps, "gb2.map", "ZHS32GB18030", GB18030, K::Fixed2, 4, 0xA1A1));
  {
    nlsw::CharsetDesc s = from_map(maps, "euckr.map", "KOSHIFT", KOSHIFT, K::Fixed2, 2, 0xA1A1);
    nlsw::make_shift_sensitive(s, kKoshiftIn, kKoshiftOut);
    nlsw::add_charset(inst, s);
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
    nlsw::add_object(inst, LX_TCS, JIS7, st.name, nlsw::build_stateful(st));
  }
  nlsw::add_listed(inst, LX_TCS, HZ, "HZ-GB-2312", kBuiltinStatefulSize);
  nlsw::add_listed(inst, LX_TCS, ISO2022KR, "ISO2022-KR", kBuiltinStatefulSize);
  nlsw::add_listed(inst, LX_TCS, ISO2022CN, "ISO2022-CN", kBuiltinStatefulSize);
  nlsw::add_listed(inst, LX_TCS, ISO2022JP, "ISO2022-JP", kBuiltinStatefulSize);
  return inst;
}

}  // namespace nlsconv

#endif
