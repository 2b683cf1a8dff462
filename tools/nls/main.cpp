// nlsobjw DESCRIPTION OUTDIR: writes an NLS boot file and its object files.
#include <cstdio>
#include <string>

#include "nlsobjw.h"

int main(int argc, char **argv) {
  if (argc != 3) {
    std::fprintf(stderr, "usage: %s DESCRIPTION OUTDIR\n", argv[0]);
    return 2;
  }
  std::string err;
  if (!nlsw::write_from_description(argv[1], argv[2], err)) {
    std::fprintf(stderr, "nlsobjw: %s\n", err.c_str());
    return 1;
  }
  return 0;
}
