// Fuzz target of the monolingual comparison. Input: a selector byte
// (charset, flags), two 16-bit text lengths, the two texts and then a
// linguistic sort object, installed with id 2 beside fixed language,
// territory, character-set and case-folding objects. The comparison runs on
// the texts in both orders whatever the object claims to be, and lxphlc on
// each pair of neighbouring bytes of the first text.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// mono_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lxh.h"
#include "lxl.h"
#include "lxm.h"
#include "lxoint.h"
#include "lxp.h"
#include "sortfuzz.h"

namespace {

constexpr uint16_t kSortId = 2;

// The fixed objects, with a case folding, written once; the boot file is
// rewritten per input.
const sortfuzz::Fixed &fixed() {
  static const sortfuzz::Fixed f = sortfuzz::write_fixed([](nlsw::Installation &inst) {
    nlsw::FoldMap folds;
    for (uint32_t c = 'A'; c <= 'Z'; ++c) folds[c] = {c + 32};
    folds[0xDF] = {'s', 's'};
    folds[0x1E9E] = {'s', 's'};
    folds[0xFB03] = {'f', 'f', 'i'};
    nlsw::add_case_folding(inst, folds);
  });
  return f;
}

const char *const kCharsets[] = {".AL32UTF8", ".WE8ISO8859P1", ".AL16UTF16", ".UTF8"};
constexpr uint32_t kFlags[] = {0, 0x10, 0x200, 0x10000000, 0x10000010, 0x10000200, 0x210, 0x1};

int compare(const lxlangid *h, std::vector<uint8_t> &a, std::vector<uint8_t> &b, uint32_t flags,
            lxglo *g) {
  lxmcur l, r;
  lxmcpen(a.data(), a.size(), &l, h, g);
  lxmcpen(b.data(), b.size(), &r, h, g);
  return lxoi::mono_cmp(&l, lxmleft(&l), &r, lxmleft(&r), flags, g);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  sortfuzz::Input in;
  if (!sortfuzz::split(data, size, in)) return 0;
  const sortfuzz::Fixed &f = fixed();
  const uint8_t sel = in.sel;
  std::vector<uint8_t> &a = in.a, &b = in.b;
  sortfuzz::install_sort(f, kSortId, in);

  uint32_t st = 0;
  lxlobj *t = lxlinit(nullptr, 0, &st);
  if (!t) return 0;
  lxglo glo;
  lxinitc(&glo, t, nullptr, 0);
  lxlangid h;
  if (lxhLaToId(kCharsets[sel & 3], 0, &h, 0, &glo)) {
    uint16_t opts = 0;
    int nf = 0;
    uint16_t idx = lxpsget("FUZZ", 4, t, 0, &opts, &nf);
    if (!nf && lxpsset(idx, 0, &h, &glo)) {
      const auto *so = reinterpret_cast<const lxsrtobj *>(lxdgetobj(idx, LX_TSORT, &glo));
      if (so) {
        const uint32_t flags = kFlags[(sel >> 2) & 7];
        const int ab = compare(&h, a, b, flags, &glo);
        const int ba = compare(&h, b, a, flags, &glo);
        if (a == b && (ab != 0 || ba != 0)) abort();  // equal texts are equal
        for (size_t i = 0; i + 1 < a.size(); ++i) {
          uint8_t major[2] = {0, 0}, minor[2] = {0, 0};
          lxphlc(major, minor, uint16_t(a[i] << 8 | a[i + 1]), a[i + 1], so);
        }
      }
    }
  }
  lxdunld(glo.ldcb, t);
  return 0;
}
