// Fuzz target of the numeric-text reader. The first input byte picks the
// character set (bits 0-1: US7ASCII, WE8EBCDIC37, AL16UTF16, the
// shift-sensitive NUMSHIFT) and the mode (bits 2-4: decimal, decimal with
// separators, unsigned decimal, hexadecimal, unsigned hexadecimal, Roman,
// Roman month, none); the rest is the text. The reader must never consume
// beyond the text, and a decimal it reads must come back from the writer
// and read again to the same value.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// numtext_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "lxz.h"
#include "numinst.h"

namespace {

constexpr unsigned kSets = numinst::World::kSets;
constexpr uint32_t kModes[8] = {
    LXS_NUM_DEC, LXS_NUM_DEC | LXS_NUM_GROUP, LXS_NUM_DEC | LXS_NUM_UNSIGNED, LXS_NUM_HEX,
    LXS_NUM_HEX | LXS_NUM_UNSIGNED, LXS_NUM_ROMAN, LXS_NUM_ROMAN | LXS_NUM_SHIFTED, 0};


}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size == 0) return 0;
  numinst::World &w = numinst::world();
  const lxlangid &h = w.h[data[0] % kSets];
  const uint32_t flags = kModes[(data[0] >> 2) & 7];
  // the text in a buffer of its own size, so that any read past it is caught
  std::vector<uint8_t> text(data + 1, data + size);
  const size_t len = text.size();
  int32_t v = lxsCnvNumStrToInt(text.data(), len, flags, &h, &w.glo);
  if (w.glo.nbytes > len) abort();
  const uint32_t status = w.glo.status;
  if (status != 0 && v != 0) abort();

  lxmcur cur;
  lxmopen(text.data(), len, &cur, &h, &w.glo, 1);
  (void)lxoCnvNumStrToInt(&cur, len, flags, &w.glo);
  if (size_t(cur.pos - cur.start) > len) abort();

  if (status == 0 && (flags & LXS_NUM_DEC) && !(flags & LXS_NUM_GROUP)) {
    uint8_t out[64];
    size_t n = lxsCnvIntToNumStr(out, sizeof out, v, 0, flags, &h, &w.glo);
    if (n == 0) abort();
    int32_t again = lxsCnvNumStrToInt(out, n, flags, &h, &w.glo);
    if (w.glo.nbytes != n || again != v) abort();
  }
  return 0;
}
