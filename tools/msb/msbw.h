// Writer of message files (.msb) from a plain text form, with the layout of
// lmsf.h.
//
// Text form, one item a line; blank lines and lines starting with '#' are
// skipped:
//   charset <name>                      character set of the texts (default US7ASCII)
//   version <n>                         format version (default 2)
//   msg <number> [<attribute>] : <text> a message
//   cmt <number> [<attribute>] : <text> the cause/action comment of a number
// The text runs from after ": " to the end of the line, with the escapes
// \n, \t, \\ and \xHH. Texts are taken as bytes in the file's character set.
#ifndef QEN_TOOLS_MSBW_H
#define QEN_TOOLS_MSBW_H

#include <cstdint>
#include <map>
#include <string>
#include <vector>

namespace msbw {

struct Text {
  uint16_t attr = 0;
  std::string text;
};

struct Desc {
  std::string charset = "US7ASCII";
  uint32_t version = 2;
  std::map<uint16_t, Text> messages;
  std::map<uint16_t, Text> comments;
  // Most entries per data block (0: as many as fit); tests use it to spread
  // few messages over many blocks.
  unsigned per_block = 0;
  // End the coded name with byte 39 instead of 0.
  bool end39 = false;
};

// Parses the text form; false with a message naming the line on a fault.
bool parse(const std::string &source, Desc &out, std::string &error);

// The file's bytes; false with a message when the texts do not fit the
// format (a text over a block, more than 256 level-2 blocks, more than 65535
// blocks).
bool build(const Desc &desc, std::vector<uint8_t> &out, std::string &error);

// The coded form of a character-set name (52 bytes).
std::vector<uint8_t> code_name(const std::string &name, bool end39);

// Writes bytes to path; false on failure.
bool write_file(const std::string &path, const std::vector<uint8_t> &bytes);

}  // namespace msbw

#endif
