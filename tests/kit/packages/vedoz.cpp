// A build of the data package for tests: it serves a few NLS and message
// files from memory. Its entry routine follows the package entry contract;
// the first function of its interface looks a file up by its name relative
// to VIRUZE_HOME.
#include <cstring>

#include "lpm.h"

namespace {

struct File {
  const char *name;
  const char *bytes;
  uint32_t size;
};

constexpr char kBoot[] = "NLSBOOT\0\x01\x02\x03";
constexpr char kMessages[] = "message file of facility VUV";

constexpr File kFiles[] = {
    {"nls/data/lx1boot.nlb", kBoot, sizeof kBoot - 1},
    {"nls/data/x", "0123456789", 10},
    {"rdbms/mesg/vuvus.msb", kMessages, sizeof kMessages - 1},
};

const void *lookup(const char *name, uint32_t *size) {
  if (!name || !size) return nullptr;
  for (const File &f : kFiles) {
    if (std::strcmp(f.name, name) == 0) {
      *size = f.size;
      return f.bytes;
    }
  }
  return nullptr;
}

}  // namespace

extern "C" __attribute__((visibility("default"))) int vedozInit(lpm_product *prod, void *priv,
                                                                 int mode, int, int) {
  if (mode == LPM_ENTRY_TERM) return 0;
  if (mode != LPM_ENTRY_INIT) return -1;
  if (!priv) priv = lpmmkpri(prod, sizeof(void *));
  if (!priv) return -1;
  const lpm_fn fns[] = {reinterpret_cast<lpm_fn>(&lookup)};
  return lpmarrfuncs(prod, priv, 1, fns) ? 0 : -1;
}
