// NLS object writer, numeric-text section: numeric-value tables and the
// character sets the numeric-text conversions meet (EBCDIC sets and a
// shift-sensitive set). The data come from Python's unicodedata and codecs
// (gen_num.py, run at build time).
#ifndef QEN_TOOLS_OBJW_NUM_H
#define QEN_TOOLS_OBJW_NUM_H

#include <cstdint>
#include <string>

#include "nlsobjw.h"

namespace nlsw {

// Fills desc.numeric with the numeric values of the ASCII, full-width and
// Arabic-Indic digits and the Roman numeral characters U+2160-U+2183, keyed
// by each character's bytes in the set (UTF-16 for AL16UTF16, UTF-8 for
// UTF8 and AL32UTF8, else the bytes of desc.map); characters the set cannot
// encode are left out.
void add_numeric_values(CharsetDesc &desc);

// A single-byte EBCDIC set with the characters of IBM code page 037.
CharsetDesc ebcdic037_charset(const std::string &name, uint16_t id);

// The EBCDIC set 835: code page 037 with the small letters a-f at
// 0x62-0x67 (the characters of code page 037 there moved to 0x81-0x86).
CharsetDesc ebcdic835_charset(const std::string &name);

// A shift-sensitive set: the ASCII bytes (without the shift bytes si and
// so) as single-byte characters and, while shifted out, two-byte characters
// 0xA3B0-0xA3B9 for the full-width digits U+FF10-U+FF19 and 0xA2F1 ... for
// the Roman numerals U+2160-U+216B.
CharsetDesc shift_charset(const std::string &name, uint16_t id, uint8_t si, uint8_t so);

}  // namespace nlsw

#endif
