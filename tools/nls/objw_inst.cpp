// Installations for tests and benchmarks: the objects every handle needs,
// the descriptions of two common sets, and writing into a new directory.
#include <stdlib.h>

#include <string>
#include <utility>

#include "lxc.h"
#include "nlsobjw.h"

namespace nlsw {

void add_object(Installation &inst, uint16_t type, uint16_t id, const std::string &name, Image img) {
  BootObject o;
  o.type = type;
  o.id = id;
  o.name = name;
  inst.objects.push_back({o, std::move(img)});
}

Installation base_installation() {
  Installation inst;
  inst.big_endian = host_big_endian();
  add_object(inst, LX_TLANG, 1, "AMERICAN", build_language(american()));
  add_object(inst, LX_TTERR, 1, "AMERICA", build_territory(america()));
  add_object(inst, LX_TCS, 1, "US7ASCII", build_charset(ascii_charset("US7ASCII", 1)));
  return inst;
}

std::string write_temp_installation(const Installation &inst, const std::string &prefix, std::string &err) {
  std::string tmpl = "/tmp/" + prefix + "XXXXXX";
  if (!mkdtemp(tmpl.data())) {
    err = "cannot make a directory";
    return "";
  }
  return write_installation(inst, tmpl, 1, err) ? tmpl : "";
}

CharsetDesc latin1_charset() {
  CharsetDesc s;
  s.name = "WE8ISO8859P1";
  s.id = 31;
  for (uint32_t c = 0; c < 256; ++c) s.map.push_back({{uint8_t(c)}, c});
  return s;
}

CharsetDesc al16utf16_charset() {
  CharsetDesc s;
  s.name = "AL16UTF16";
  s.id = LXCS_AL16UTF16;
  s.kind = CsKind::Utf;
  s.maxbytes = 2;
  s.flags = LXCSF_UNIT16 | LXCSF_FIXED;
  for (unsigned b = 0; b < 256; ++b) s.byte_classes[uint8_t(b)] = 1;
  return s;
}

}  // namespace nlsw
