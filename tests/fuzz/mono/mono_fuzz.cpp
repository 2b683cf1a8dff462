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
#include "nlsconv.h"
#include "nlsobjw.h"

namespace {

constexpr uint16_t kSortId = 2;
constexpr uint16_t kCaseFoldingId = 17;

struct Fixed {
  std::string dir;
  nlsw::BootDesc boot;
};

void put(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// The fixed objects, written once; the boot file is rewritten per input.
const Fixed &fixed() {
  static Fixed f = [] {
    Fixed x;
    char t[] = "/tmp/monofuzzXXXXXX";
    x.dir = mkdtemp(t);
    setenv("ZUR_NLS10", x.dir.c_str(), 1);
    unsetenv("ZUR_NLS_PROFILE33");
    nlsw::Installation inst;
    inst.big_endian = nlsw::host_big_endian();
    nlsconv::add_basics(inst);
    nlsw::FoldMap folds;
    for (uint32_t c = 'A'; c <= 'Z'; ++c) folds[c] = {c + 32};
    folds[0xDF] = {'s', 's'};
    folds[0x1E9E] = {'s', 's'};
    folds[0xFB03] = {'f', 'f', 'i'};
    nlsw::add_object(inst, LX_TMAP, kCaseFoldingId, "CASE_FOLDING", nlsw::build_case_folding(folds));
    std::string err;
    nlsw::write_installation(inst, x.dir, 1, err);
    for (auto &o : inst.objects) {
      o.first.size = static_cast<uint32_t>(o.second.size());
      x.boot.objects.push_back(o.first);
    }
    return x;
  }();
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
  if (size < 5) return 0;
  const Fixed &f = fixed();
  const uint8_t sel = data[0];
  size_t la = data[1] | data[2] << 8, lb = data[3] | data[4] << 8;
  data += 5;
  size -= 5;
  if (la > size) la = size;
  if (lb > size - la) lb = size - la;
  std::vector<uint8_t> a(data, data + la), b(data + la, data + la + lb);
  const uint8_t *obj = data + la + lb;
  const size_t objsize = size - la - lb;

  nlsw::BootDesc boot = f.boot;
  boot.objects.push_back({LX_TSORT, kSortId, "FUZZ", static_cast<uint32_t>(objsize), 0, 0});
  nlsw::Image bi = nlsw::build_boot(boot);
  put(f.dir + "/lx1boot.nlb", bi.bytes.data(), bi.size());
  put(f.dir + "/" + nlsw::object_name(LX_TSORT, kSortId) + ".nlb", obj, objsize);

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
