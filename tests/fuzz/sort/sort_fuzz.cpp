// Fuzz target of the linguistic sorts. Input: a selector byte (charset,
// flags, levels, caseless), two 16-bit text lengths, the two texts and then
// a linguistic sort object, installed with id 1 beside fixed language,
// territory and character-set objects. The sort is installed in a handle
// when it can be; its comparator or the multilingual comparison runs on
// the texts, and so do every special comparator and key maker, and the
// linguistic comparison entries (lxoCmpStr, lxoBinCmpMutl, lxsCmpStr,
// lxCmpStr on counted and NUL-terminated texts) with flags and sort options
// from the selector.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// sort_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <string.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lxh.h"
#include "lxl.h"
#include "lxm.h"
#include "lxo.h"
#include "lxp.h"
#include "lxsf.h"
#include "lxuc.h"
#include "sortfuzz.h"

namespace {

// The fixed objects, written once; the boot file is rewritten per input.
const sortfuzz::Fixed &fixed() {
  static const sortfuzz::Fixed f = sortfuzz::write_fixed(nullptr);
  return f;
}

const char *const kCharsets[] = {".AL32UTF8", ".WE8ISO8859P1", ".AL16UTF16", ".UTF8"};

// The linguistic comparison entries on the two texts under h, with the
// selector's comparison flags and sort options.
void linguistic(const lxlangid &h, const std::vector<uint8_t> &a, const std::vector<uint8_t> &b,
                uint8_t sel, lxglo *g) {
  static constexpr uint32_t kFlagBits[] = {0x1, 0x10, 0x200, 0x10000000};
  static constexpr uint32_t kOptions[] = {0, 0x100, 0x400, 0x700};
  uint32_t flags = 0;
  for (unsigned k = 0; k < 4; ++k)
    if ((sel >> (2 + k)) & 1) flags |= kFlagBits[k];
  lxlangid o = h;
  o.opts = (o.opts & ~0xF00u) | kOptions[sel >> 6];
  std::vector<uint8_t> ca = a, cb = b;
  lxmcur l, r;
  lxmcpen(ca.data(), ca.size(), &l, &o, g);
  lxmcpen(cb.data(), cb.size(), &r, &o, g);
  lxoCmpStr(&l, lxmleft(&l), &r, lxmleft(&r), flags, g);
  lxoBinCmpMutl(&l, lxmleft(&l), &r, lxmleft(&r), flags, g);
  lxsCmpStr(a.data(), a.size(), b.data(), b.size(), flags, &o, g);
  const uint32_t cf = LXCMP_LING | (flags & LXCMP_CI);
  lxCmpStr(a.data(), b.data(), uint32_t(a.size()), uint32_t(b.size()), cf, &o, g);
  // NUL-terminated: three zero bytes end a text of either parity in a
  // wide-unit set too.
  ca.insert(ca.end(), 3, 0);
  cb.insert(cb.end(), 3, 0);
  lxCmpStr(ca.data(), cb.data(), LXCMP_NUL, 0, cf, &o, g);
}

int compare(lxsfcmp fn, const lxlangid *h, std::vector<uint8_t> &a, std::vector<uint8_t> &b,
            int caseless, int nulterm, lxglo *g) {
  lxmcur l, r;
  lxmcpen(a.data(), a.size(), &l, h, g);
  lxmcpen(b.data(), b.size(), &r, h, g);
  return fn(&l, lxmleft(&l), &r, lxmleft(&r), caseless, nulterm, g);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  sortfuzz::Input in;
  if (!sortfuzz::split(data, size, in)) return 0;
  const sortfuzz::Fixed &f = fixed();
  const uint8_t sel = in.sel;
  std::vector<uint8_t> &a = in.a, &b = in.b;
  sortfuzz::install_sort(f, 1, in);

  uint32_t st = 0;
  lxlobj *t = lxlinit(nullptr, 0, &st);
  if (!t) return 0;
  lxglo glo;
  lxinitc(&glo, t, nullptr, 0);
  lxlangid h;
  const char *cs = kCharsets[sel & 3];
  if (lxhLaToId(cs, 0, &h, 0, &glo)) {
    const int caseless = (sel >> 2) & 1, nulterm = (sel >> 3) & 1;
    uint16_t opts = 0;
    int nf = 0;
    uint16_t idx = lxpsget("FUZZ", 4, t, 0, &opts, &nf);
    if (!nf && lxpsset(idx, 0, &h, &glo)) {
      const lxsrtobj *so = reinterpret_cast<const lxsrtobj *>(lxdgetobj(idx, LX_TSORT, &glo));
      if (so && (so->flags & 0x20)) {
        compare(lxsftb[h.sort_cmp_row].fn.cmp, &h, a, b, caseless, nulterm, &glo);
      } else if (so && so->id >= 4096) {
        static constexpr uint32_t kFlags[] = {0, 0x10, 0x200, 0x10000000, 0x10000010};
        lxmcur l, r;
        lxmcpen(a.data(), a.size(), &l, &h, &glo);
        lxmcpen(b.data(), b.size(), &r, &h, &glo);
        lxoUcCmp(&l, lxmleft(&l), &r, lxmleft(&r), kFlags[(sel >> 4) % 5],
                 static_cast<uint8_t>(sel >> 6), &glo);
      }
    }
    linguistic(h, a, b, sel, &glo);
    for (int r = 0; lxsftb[r].number != 0; ++r) {
      if (lxsftb[r].number % 2 == 0) {
        compare(lxsftb[r].fn.cmp, &h, a, b, caseless, nulterm, &glo);
      } else {
        std::vector<uint8_t> key(2 * a.size() + 8);
        lxsftb[r].fn.key(key.data(), key.size(), a.data(), a.size(), &h, &glo);
      }
    }
  }
  lxdunld(glo.ldcb, t);
  return 0;
}
