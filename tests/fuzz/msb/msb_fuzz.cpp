// Fuzz target of the message-file reader. The first input byte chooses how
// the rest, written as a message file, is read: bit 0 attaches a cache area,
// bits 1-2 choose its size (none to every block), bit 3 opens the handle
// thread-safe. Every message and comment number the file's indexes and data
// blocks name is then looked up, with a few others, into a short and a long
// buffer.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// msb_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <cstring>
#include <string>
#include <vector>

#include "lms.h"
#include "lxh.h"
#include "lxz.h"
#include "nlskit.h"
#include "temp_dir.h"

namespace {

struct Nls {
  lxglo glo{};
  lxlangid lang{};
  std::string path;
  Nls() {
    std::string d = kept_temp_dir();
    path = d + "/fuzz.msb";
    unsetenv("ZUR_NLS10");
    unsetenv("ZUR_NLS_PROFILE33");
    setenv("VIRUZE_HOME", d.c_str(), 1);
    lxzinit();
    uint32_t st = 0;
    lxlobj *table = lxlinit(nullptr, 1, &st);
    lxinitc(&glo, table, nullptr, 0);
    nlskit::handle(nlskit::american("US7ASCII"), &glo, &lang);
  }
};

Nls &nls() {
  static Nls n;
  return n;
}

uint16_t u16(const uint8_t *p, size_t size, size_t at) {
  uint16_t v = 0;
  if (at + 2 <= size) std::memcpy(&v, p + at, 2);
  return v;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  Nls &n = nls();
  const uint8_t mode = data[0];
  ++data;
  --size;
  FILE *f = std::fopen(n.path.c_str(), "wb");
  if (!f) return 0;
  std::fwrite(data, 1, size, f);
  std::fclose(f);

  lmshnd h;
  size_t mc = 0, cc = 0;
  lmsaicmt(&h, nullptr, "FUZZ", "FZ", 0, &n.lang, &n.glo, &mc, &cc, n.path.c_str(),
           (mode & 8) ? 1 : 0, nullptr);
  std::vector<void *> area;
  if (mode & 1) {
    static const size_t kSizes[] = {64, sizeof(lmscache) + LMSF_BLOCK + 3 * LMSC_MSGBUF,
                                    sizeof(lmscache) + LMSF_BLOCK + 3 * LMSC_BLOCKBUF, 0};
    size_t bytes = kSizes[(mode >> 1) & 3];
    if (bytes == 0) bytes = mc + cc > (1u << 22) ? (1u << 22) : mc + cc;
    area.resize(bytes / sizeof(void *) + 1);
    lmsacin(area.data(), bytes, 0);
    lmsacb(&h, area.data(), 1, 1, cc);
  }
  // numbers the file names: level-1 entries and the first entries of every block
  std::vector<int> numbers = {1, 2, 100, 65535, 0, -5, 70000};
  for (size_t at = LMSF_BLOCK; at + 2 <= size && numbers.size() < 400; at += 2)
    if (at % LMSF_BLOCK < 16 || (at / LMSF_BLOCK == 1 && at % LMSF_BLOCK < 64))
      numbers.push_back(u16(data, size, at));
  char small[10], big[600], cmt[40];
  for (int k : numbers) {
    int cattr = 0, attr = 0, st = 0;
    lmsagbcmt(&h, k, small, sizeof small, &cattr, cmt, sizeof cmt, &attr, &st);
    lmsagbcmt(&h, k, big, sizeof big, &cattr, cmt, sizeof cmt, &attr, &st);
    lmsagbf(&h, k, nullptr, 0);
  }
  lmsatrm(&h);
  return 0;
}
