// msbw: writes a message file from its text form.
//   msbw <text form> <message file>
#include <cstdio>
#include <fstream>
#include <sstream>

#include "msbw.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: msbw <text form> <message file>\n");
    return 2;
  }
  std::ifstream in(argv[1], std::ios::binary);
  if (!in) {
    std::fprintf(stderr, "msbw: cannot read %s\n", argv[1]);
    return 1;
  }
  std::stringstream ss;
  ss << in.rdbuf();
  msbw::Desc desc;
  std::string error;
  std::vector<uint8_t> bytes;
  if (!msbw::parse(ss.str(), desc, error) || !msbw::build(desc, bytes, error)) {
    std::fprintf(stderr, "msbw: %s: %s\n", argv[1], error.c_str());
    return 1;
  }
  if (!msbw::write_file(argv[2], bytes)) {
    std::fprintf(stderr, "msbw: cannot write %s\n", argv[2]);
    return 1;
  }
  return 0;
}
