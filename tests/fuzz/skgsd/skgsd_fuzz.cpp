// The dump descriptor loader's fuzz target. The input is a "diagmdata" file:
// it is written into a private directory and loaded, then mapped
// copy-on-write (whose segment files do not exist, so nothing is mapped).
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <unistd.h>

#include <string>

#include "skgsd.h"

namespace {

// A private directory for the input, removed at exit.
struct Dir {
  std::string path;
  Dir() {
    char tmpl[] = "/tmp/qen_skgsd_fuzz_XXXXXX";
    if (mkdtemp(tmpl) != nullptr) path = tmpl;
  }
  ~Dir() {
    if (!path.empty()) rmdir(path.c_str());
  }
};

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static Dir d0;
  const std::string &dir = d0.path;
  if (dir.empty()) return 0;
  const std::string path = dir + "/" SKGSD_DATAFILE;
  FILE *f = fopen(path.c_str(), "wb");
  if (f == nullptr) return 0;
  const bool whole = fwrite(data, 1, size, f) == size;
  fclose(f);
  if (!whole) return 0;
  sl_status err{};
  skgsd_ctx *d = nullptr;
  if (sskgsdload(&err, dir.c_str(), &d)) {
    uint64_t sum = 0;
    for (uint32_t i = 0; i < d->nsegs; ++i) sum += d->segs[i].segsize + d->segs[i].addr;
    if (sum == 1) abort();  // keeps the walk
    skgsdfree(d);
  }
  d = nullptr;
  // The segment files are named from the loaded descriptor's own directory:
  // point it at this one, where none exists.
  if (skgsdcowmpd(&err, dir.c_str(), &d) && d->nsegs != 0) abort();  // no segment file exists
  skgsdfree(d);
  unlink(path.c_str());
  return 0;
}
