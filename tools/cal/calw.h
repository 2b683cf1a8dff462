// Writes calendar files (<dir>/nls/lxecal<short name>.nlb) in the layout the
// calendar reader uses (lxecfhdr, lxecfera, lxedev of lxe.h): eras with both
// text pairs, lunar deviations, the magic, and the host's byte order or the
// other one; and broken files (wrong magic, a file cut short) for tests.
#ifndef QEN_TOOLS_CALW_H
#define QEN_TOOLS_CALW_H

#include <stdint.h>

#include <string>
#include <vector>

#include "lxe.h"

namespace calw {

struct Era {
  std::string name, abbr, name2, abbr2;
  int32_t first = 0;
  int32_t last = 0;  // 0: still running
  // Length bytes to write instead of the texts' lengths (-1: the length).
  int lens[4] = {-1, -1, -1, -1};
};

struct Deviation {
  int32_t jday = 0;
  int16_t shift = 0;
  int32_t word = 0;
};

struct File {
  std::vector<Era> eras;
  std::vector<Deviation> devs;
  int32_t magic = LXE_FILE_MAGIC;
  bool foreign_order = false;  // write numbers in the other byte order
  long cut = -1;               // keep only this many bytes (-1: all)
};

// The file's bytes.
std::vector<uint8_t> bytes(const File &f);
// Writes home/nls/lxecal<shortname>.nlb (creating home/nls); false on error.
bool write(const std::string &home, const std::string &shortname, const File &f);

}  // namespace calw

#endif
