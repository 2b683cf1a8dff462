// The numeric-text tests' fixture: the installation of numinst.h written
// once per suite, children that run with it, its handles, and ASCII text
// carried into a set.
#ifndef QEN_TESTS_NUMTEST_H
#define QEN_TESTS_NUMTEST_H

#include <gtest/gtest.h>
#include <stdlib.h>

#include <functional>
#include <string>

#include "lxc.h"
#include "lxh.h"
#include "lxo.h"
#include "nlstest.h"
#include "numinst.h"

namespace numtest {

using nlstest::Env;
using Bytes = std::string;

constexpr uint32_t kDec = LXS_NUM_DEC, kHex = LXS_NUM_HEX, kGroup = LXS_NUM_GROUP,
                   kUns = LXS_NUM_UNSIGNED, kUp = LXS_NUM_UPPER, kRom = LXS_NUM_ROMAN,
                   kURom = LXS_NUM_UROMAN, kMonth = LXS_NUM_SHIFTED;

class NumText : public ::testing::Test {
 protected:
  static void SetUpTestSuite() { dir_ = numinst::write(); }
  static void child(const std::function<void(Env &)> &body) {
    nlstest::in_installation(dir_, body);
  }
  inline static std::string dir_;
};

// AMERICAN_AMERICA.<cs>.
inline lxlangid handle(Env &e, const char *cs) { return nlstest::american_handle(e, cs); }

// The handles of every set of the installation.
struct Sets {
  lxlangid as, eb, e835, u8, u32, u16, sh;
  explicit Sets(Env &e)
      : as(handle(e, "US7ASCII")), eb(handle(e, "WE8EBCDIC37")), e835(handle(e, "EBCDIC835")),
        u8(handle(e, "UTF8")), u32(handle(e, "AL32UTF8")), u16(handle(e, "AL16UTF16")),
        sh(handle(e, "NUMSHIFT")) {}
};

// ASCII text in a set: single-byte sets through the set's own table of
// Unicode values (written from Python's cp037), AL16UTF16 as 00 xx units.
inline Bytes in_set(const lxlangid &h, Env &e, const Bytes &ascii) {
  const lxcsobj *cs = lxhci2h(lxhcsn(&h, &e.glo), &e.glo);
  if (cs == nullptr) return "?";
  Bytes out;
  for (unsigned char c : ascii) {
    if (cs->id == LXCS_AL16UTF16) {
      out += '\0';
      out += char(c);
    } else if (cs->flags & LXCSF_ASCII) {
      out += char(c);
    } else {
      int b = 0;
      while (b < 256 && cs->sbu[b] != c) ++b;
      out += char(b);
    }
  }
  return out;
}

// UTF-8 to UTF-16 big-endian (BMP).
inline Bytes utf16(const Bytes &u8) {
  Bytes out;
  for (size_t i = 0; i < u8.size();) {
    unsigned char c = u8[i];
    uint32_t cp;
    if (c < 0x80) {
      cp = c;
      i += 1;
    } else if (c < 0xE0) {
      cp = (c & 0x1Fu) << 6 | (u8[i + 1] & 0x3Fu);
      i += 2;
    } else {
      cp = (c & 0x0Fu) << 12 | (u8[i + 1] & 0x3Fu) << 6 | (u8[i + 2] & 0x3Fu);
      i += 3;
    }
    out += char(cp >> 8);
    out += char(cp & 0xFF);
  }
  return out;
}

}  // namespace numtest

#endif
