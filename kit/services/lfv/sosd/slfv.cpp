// OS side of the virtual-file layer: the file name of the data package's
// shared library.
#include <cstring>

#include "lfv.h"

extern "C" char *slfvDirShlibName(char *dst, const char *name) {
  std::strcpy(dst, "lib");
  std::strcat(dst, name);
  std::strcat(dst, ".so");
  return dst;
}
