// NLS object writer, numeric-text section (see objw_num.h).
#include "objw_num.h"

#include <vector>

#include "lxc.h"

namespace nlsw {

namespace {

#include "numvals.inc"

constexpr uint8_t kSpec835Letters = 0x62;  // a-f in set 835
constexpr uint8_t kCp037Letters = 0x81;    // a-f in code page 037
constexpr unsigned kHexLetters = 6;
constexpr uint8_t kShiftLead = 0xA3, kShiftDigit = 0xB0;  // full-width digits while shifted out
constexpr uint8_t kShiftRomanLead = 0xA2, kShiftRoman = 0xF1;
constexpr unsigned kShiftRomans = 12;

uint32_t pack(const std::vector<uint8_t> &b) {
  uint32_t v = 0;
  for (uint8_t x : b) v = v << 8 | x;
  return v;
}

std::vector<uint8_t> utf8(uint32_t cp) {
  if (cp < 0x80) return {uint8_t(cp)};
  if (cp < 0x800) return {uint8_t(0xC0 | cp >> 6), uint8_t(0x80 | (cp & 0x3F))};
  return {uint8_t(0xE0 | cp >> 12), uint8_t(0x80 | (cp >> 6 & 0x3F)), uint8_t(0x80 | (cp & 0x3F))};
}

}  // namespace

void add_numeric_values(CharsetDesc &desc) {
  for (const auto &row : kNumericValues) {
    const uint32_t cp = row[0], value = row[1];
    if (desc.id == LXCS_AL16UTF16) {
      desc.numeric[cp] = value;
    } else if (desc.id == LXCS_UTF8 || desc.id == LXCS_AL32UTF8) {
      desc.numeric[pack(utf8(cp))] = value;
    } else {
      for (const auto &m : desc.map)
        if (m.second == cp) desc.numeric[pack(m.first)] = value;
    }
  }
}

CharsetDesc ebcdic037_charset(const std::string &name, uint16_t id) {
  CharsetDesc d;
  d.name = name;
  d.id = id;
  d.sb_repl = 0x6F;  // '?'
  d.pad = 0x40;      // space
  for (unsigned b = 0; b < 256; ++b) d.map.push_back({{uint8_t(b)}, kCp037[b]});
  return d;
}

CharsetDesc ebcdic835_charset(const std::string &name) {
  CharsetDesc d = ebcdic037_charset(name, 835);
  for (unsigned k = 0; k < kHexLetters; ++k) {
    d.map[kSpec835Letters + k].second = kCp037[kCp037Letters + k];
    d.map[kCp037Letters + k].second = kCp037[kSpec835Letters + k];
  }
  return d;
}

CharsetDesc shift_charset(const std::string &name, uint16_t id, uint8_t si, uint8_t so) {
  CharsetDesc d = ascii_charset(name, id);
  d.mb_repl = 0xA1A9;
  for (unsigned k = 0; k < 10; ++k) d.map.push_back({{kShiftLead, uint8_t(kShiftDigit + k)}, 0xFF10 + k});
  for (unsigned k = 0; k < kShiftRomans; ++k)
    d.map.push_back({{kShiftRomanLead, uint8_t(kShiftRoman + k)}, 0x2160 + k});
  make_shift_sensitive(d, si, so);
  return d;
}

}  // namespace nlsw
