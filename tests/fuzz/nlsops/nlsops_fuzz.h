// The objects the nlsops fuzz target's installation is made of, shared with
// its smoke test (which also feeds them, whole and damaged).
#ifndef QEN_TESTS_NLSOPS_FUZZ_H
#define QEN_TESTS_NLSOPS_FUZZ_H

#include "lxc.h"
#include "nlsobjw.h"

namespace nlsopsfuzz {

// The input's first byte picks the object the rest of it replaces.
enum Kind : uint8_t { kAl16utf16 = 0, kSort = 1, kBinaryAi = 2, kKinds = 3 };

inline nlsw::Image al16utf16() {
  nlsw::CharsetDesc s = nlsw::al16utf16_charset();
  s.combining = {{0x0301, 230}, {0x0300, 230}, {0x0323, 220}, {0x0302, 230}};
  s.compose = nlsw::build_compose_table({{'a', 0x0301, 0xE1}, {'a', 0x0302, 0xE2}, {0xE2, 0x0301, 0x1EA5},
                                         {'a', 0x0323, 0x1EA1}, {'e', 0x0300, 0xE8},
                                         {0x11099, 0x110BA, 0x1109A}});
  return nlsw::build_charset(s);
}

inline nlsw::Image sort() {
  nlsw::SortDesc d;
  d.name = "FUZZSORT";
  d.id = 1;
  d.flags = 0x1;
  for (uint16_t c = 'a'; c <= 'e'; ++c) {
    d.major[c] = uint8_t(c);
    d.minor[c] = 1;
  }
  d.major[0xE9] = 'e';
  d.minor[0xE9] = 2;
  d.base_letters = {{0xE9, 'e'}};
  d.special = {{0xDF, 1}};
  d.contracting = {{'c', 'h'}};
  nlsw::SortRecord r;
  r.ch = 0x130;
  r.any_second = true;
  d.upper = d.lower = d.base_records = {r};
  return nlsw::build_sort_object(d);
}

inline nlsw::Image binary_ai() {
  nlsw::BinaryAiDesc d;
  d.units[0xE9] = {'e'};
  d.units[0xC6] = {'A', 'E'};
  d.pairs[0xD835DC00] = 'A';
  d.pairs[0xD835DC01] = 0xD835DC02;
  return nlsw::build_binary_ai(d);
}

}  // namespace nlsopsfuzz

#endif
