// calw HOME SHORTNAME [era NAME ABBR FIRST LAST]... [dev JDAY SHIFT]...
// Writes HOME/nls/lxecal<SHORTNAME>.nlb with the given eras and deviations.
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "calw.h"

int main(int argc, char **argv) {
  if (argc < 3) {
    std::fprintf(stderr, "usage: calw HOME SHORTNAME [era NAME ABBR FIRST LAST]... [dev JDAY SHIFT]...\n");
    return 2;
  }
  calw::File f;
  for (int i = 3; i < argc;) {
    if (std::strcmp(argv[i], "era") == 0 && i + 4 < argc) {
      calw::Era e;
      e.name = argv[i + 1];
      e.abbr = argv[i + 2];
      e.first = std::atoi(argv[i + 3]);
      e.last = std::atoi(argv[i + 4]);
      f.eras.push_back(e);
      i += 5;
    } else if (std::strcmp(argv[i], "dev") == 0 && i + 2 < argc) {
      f.devs.push_back({std::atoi(argv[i + 1]), int16_t(std::atoi(argv[i + 2])), 0});
      i += 3;
    } else {
      std::fprintf(stderr, "calw: bad argument %s\n", argv[i]);
      return 2;
    }
  }
  if (!calw::write(argv[1], argv[2], f)) {
    std::perror("calw");
    return 1;
  }
  return 0;
}
