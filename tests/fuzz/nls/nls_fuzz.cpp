// Fuzz target of the NLS boot and object readers. The first input byte picks
// the file: even, a boot file (lx1boot.nlb); odd, the object file with id 1
// of the type that the byte's next bits pick (0: character set, then
// language, territory, linguistic sort and named mapping), listed in a fixed
// boot file with the input's size.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// nls_fuzz_smoke feeds it the corpus files.
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>

#include "lxc.h"
#include "lxl.h"
#include "nlsobjw.h"
#include "temp_dir.h"

namespace {

const std::string &dir() {
  static std::string d = [] {
    std::string s = kept_temp_dir();
    setenv("ZUR_NLS10", s.c_str(), 1);
    unsetenv("ZUR_NLS_PROFILE33");
    return s;
  }();
  return d;
}

void put(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

// Every per-character lookup of a loaded charset object, over characters
// that start with each byte.
void probe_charset(const lxcsobj *cs) {
  static constexpr uint8_t kTails[] = {0x00, 0x30, 0x81, 0xA1, 0xDC, 0xFF};
  for (unsigned b = 0; b < 256; ++b) {
    for (uint8_t t : kTails) {
      const uint8_t ch[4] = {uint8_t(b), t, uint8_t(t ^ 0x5A), uint8_t(b ^ t)};
      uint8_t out[8];
      (void)lxcsgmc(cs, ch);
      (void)lxcsgmw(cs, ch);
      (void)lxcsugpv(cs, ch);
      for (size_t len = 1; len <= 4; ++len) {
        (void)lxcsmlo(cs, out, ch, len);
        (void)lxcsmup(cs, out, ch, len);
        (void)lxcsugcm(cs, ch, len);
        (void)lxcsugnv(cs, ch, len);
        (void)lxcsm2s(cs, ch, len);
      }
      uint32_t v = uint32_t(b) << 24 | uint32_t(t) << 8 | b;
      (void)lxcswlo(cs, v >> (8 * (t & 3)));
      (void)lxcswup(cs, v >> (8 * (t & 3)));
    }
    uint8_t out[4];
    (void)lxcss2m(cs, out, uint8_t(b));
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const std::string &d = dir();
  bool object = data[0] & 1;
  static constexpr uint16_t kTypes[] = {LX_TCS, LX_TLANG, LX_TTERR, LX_TSORT, LX_TMAP};
  uint16_t type = kTypes[(data[0] >> 1) % 5];
  ++data;
  --size;
  if (object) {
    nlsw::BootDesc b;
    b.objects = {{LX_TLANG, 1, "AMERICAN", 400, 0, 0}, {LX_TTERR, 1, "AMERICA", 300, 0, 0},
                 {LX_TCS, 1, "US7ASCII", 3000, 0, 0}};
    if (type > LX_TCS) b.objects.push_back({type, 1, "FUZZ", 0, 0, 0});
    b.objects[type > LX_TCS ? 3 : type].size = (uint32_t)size;
    nlsw::Image img = nlsw::build_boot(b);
    put(d + "/lx1boot.nlb", img.bytes.data(), img.size());
    put(d + "/" + nlsw::object_name(type, 1) + ".nlb", data, size);
  } else {
    put(d + "/lx1boot.nlb", data, size);
  }
  uint32_t st = 0;
  lxlobj *t = lxlinit(nullptr, 0, &st);
  if (!t) return 0;
  lxglo glo;
  lxinitc(&glo, t, nullptr, 0);
  const lxboot *boot = (const lxboot *)lxlslot(t, 0);
  for (unsigned i = 1; i < boot->count && i < 64; ++i) {
    const lxnlsobj *o = lxdgetobj(i, lxbootent(boot, i)->type, &glo);
    if (o && o->type == LX_TCS) probe_charset(reinterpret_cast<const lxcsobj *>(o));
  }
  lxdunld(glo.ldcb, t);
  return 0;
}
