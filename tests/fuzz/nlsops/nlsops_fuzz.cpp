// Fuzz target of the objects that composition, the sort lookups, the byte
// compare and the base-letter mapping read. The first input byte picks the
// object that the rest of the input replaces in a small installation: the
// AL16UTF16 character set (its composition table and combining classes), a
// linguistic sort, or the named mapping BINARY_AI. The object is loaded
// through the loader, and every lookup runs over it: lxcscom and lxcsjmc in
// AL16UTF16 and UTF8 handles, the lxlig lookups and lxCmpStr under the sort,
// lxlibbletter in single-byte, UTF8 and AL16UTF16 handles.
// Built with clang's -fsanitize=fuzzer it is a libFuzzer target; otherwise
// nlsops_fuzz_smoke feeds it.
#include <stdint.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lxc.h"
#include "lxh.h"
#include "lxl.h"
#include "lxm.h"
#include "lxp.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "nlsops_fuzz.h"
#include "temp_dir.h"

namespace {

using namespace nlsopsfuzz;

void put(const std::string &path, const uint8_t *data, size_t size) {
  FILE *f = std::fopen(path.c_str(), "wb");
  if (!f) return;
  std::fwrite(data, 1, size, f);
  std::fclose(f);
}

struct Obj {
  uint16_t type, id;
  const char *name;
  nlsw::Image img;
};

// The installation's objects, written once; the boot file is written per input.
std::vector<Obj> &objects() {
  static std::vector<Obj> o = [] {
    std::vector<Obj> v;
    v.push_back({LX_TLANG, 1, "AMERICAN", nlsw::build_language(nlsw::american())});
    v.push_back({LX_TTERR, 1, "AMERICA", nlsw::build_territory(nlsw::america())});
    v.push_back({LX_TCS, 1, "US7ASCII", nlsw::build_charset(nlsw::ascii_charset("US7ASCII", 1))});
    v.push_back({LX_TCS, 31, "WE8ISO8859P1", nlsw::build_charset(nlsw::latin1_charset())});
    v.push_back({LX_TCS, LXCS_UTF8, "UTF8", nlsw::build_charset(nlsw::utf8_charset())});
    v.push_back({LX_TCS, LXCS_AL16UTF16, "AL16UTF16", al16utf16()});
    v.push_back({LX_TSORT, 1, "FUZZSORT", sort()});
    v.push_back({LX_TMAP, LXMAP_BINARY_AI, "BINARY_AI", binary_ai()});
    return v;
  }();
  return o;
}

const std::string &dir() {
  static std::string d = [] {
    std::string s = kept_temp_dir();
    setenv("ZUR_NLS10", s.c_str(), 1);
    unsetenv("ZUR_NLS_PROFILE33");
    for (Obj &o : objects())
      put(s + "/" + nlsw::object_name(o.type, o.id) + ".nlb", o.img.bytes.data(), o.img.size());
    return s;
  }();
  return d;
}

template <size_t N>
std::string text(const char (&s)[N]) {
  return std::string(s, N - 1);  // NUL bytes inside count
}

const std::vector<std::string> &texts() {
  static const std::vector<std::string> t = {
      text("a\xCC\x81\xCC\x82 e\xCC\x80\xCC\x80 \xE1\x84\x80\xE1\x85\xA1\xE1\x86\xA8 \xC3\xA9\xC3\x86"),
      text("\x00" "a\x03\x01\x03\x02\x11\x00\x11\x61\xD8\x04\xDC\x99\xD8\x04\xDC\xBA\x00\xE9\x00\xC6"),
      text("\xD8\x35\xDC\x00\xD8\x35\xDC\x01\xD7\xA4\x11\xA8\xAC\x00\x11\xA8"),
      text("abcd\xE9" "ch\xDF\xC6"),
      text("ab\0cd"),
      text("\xFF\xFE\x80\xED\xA0\xB5\xED\xB0\x80")};
  return t;
}

lxlangid handle(const char *cs, lxglo &g, bool &ok) {
  lxlangid h;
  ok = nlskit::handle(nlskit::american(cs), &g, &h);
  return h;
}

void compose_all(lxglo &g) {
  for (const char *cs : {"AL16UTF16", "UTF8"}) {
    bool ok;
    lxlangid h = handle(cs, g, ok);
    if (!ok) continue;
    for (const std::string &t : texts()) {
      uint8_t out[128];
      for (size_t room : {size_t(3), sizeof out})
        (void)lxcscom(&h, out, room, reinterpret_cast<const uint8_t *>(t.data()), t.size());
    }
  }
  const lxcsobj *cs = lxhci2h(LXCS_AL16UTF16, &g);
  if (!cs) return;
  for (const std::string &t : texts()) {
    uint8_t out[sizeof(uint16_t) * 64];
    size_t d = 0, reached = 0, s = 0;
    (void)lxcsjmc(out, &d, reinterpret_cast<const uint8_t *>(t.data()), &reached, &s, t.size() & ~size_t(1), 1,
                  cs, &g);
  }
}

void sort_all(lxglo &g, lxlobj *t) {
  int nf = 1;
  uint16_t idx = lxpe2i(1, t, LX_TSORT, &nf, 0);
  if (nf) return;
  const lxnlsobj *o = lxdgetobj(idx, LX_TSORT, &g);
  if (!o) return;
  const lxsrtobj *s = reinterpret_cast<const lxsrtobj *>(o);
  static constexpr uint16_t kChars[] = {0, 'a', 'c', 'h', 0x7F, 0x80, 0xDF, 0xE9, 0x130, 0x391, 0xFFFF};
  for (uint16_t a : kChars)
    for (uint16_t b : kChars) {
      (void)lxligbl(s, a);
      (void)lxligss(s, a);
      (void)lxligcs(s, a, b);
      (void)lxligsu(s, a, b);
      (void)lxligsl(s, a, b);
      (void)lxligsbl(s, a, b);
    }
  for (const char *cs : {"WE8ISO8859P1", "UTF8"}) {
    bool ok;
    lxlangid h = handle(cs, g, ok);
    if (!ok || !lxpsset(idx, 0, &h, &g)) continue;
    for (uint32_t opts : {0u, uint32_t(LXH_O_CI)}) {
      h.opts = (h.opts & ~0xF00u) | opts;
      for (const std::string &l : texts())
        for (const std::string &r : texts()) {
          (void)lxCmpStr(l.data(), r.data(), uint32_t(l.size()), uint32_t(r.size()), LXCMP_LING, &h, &g);
          (void)lxCmpStr(l.c_str(), r.c_str(), LXCMP_NUL, 0, LXCMP_LING | LXCMP_CI, &h, &g);
        }
    }
  }
}

void bletter_all(lxglo &g, lxlobj *t) {
  int nf = 1;
  uint16_t idx = lxpe2i(LXMAP_BINARY_AI, t, LX_TMAP, &nf, 0);
  if (nf) return;
  const lxnlsobj *map = lxdgetobj(idx, LX_TMAP, &g);
  if (!map) return;
  for (const char *cs : {"WE8ISO8859P1", "UTF8", "AL16UTF16"}) {
    bool ok;
    lxlangid h = handle(cs, g, ok);
    if (!ok) continue;
    for (const std::string &text : texts())
      for (size_t room : {size_t(3), size_t(64)})
        for (uint32_t flags : {0u, uint32_t(LXLIB_COUNTED)}) {
          uint8_t out[64];
          lxmcur ic, oc;
          lxmopen(text.data(), text.size(), &ic, &h, &g, 1);
          lxmopen(out, sizeof out, &oc, &h, &g, 1);
          (void)lxlibbletter(map, &oc, room, &ic, text.size(), flags, &g);
        }
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  if (size < 1) return 0;
  const std::string &d = dir();
  const Kind kind = Kind(data[0] % kKinds);
  ++data;
  --size;
  static constexpr size_t kReplaced[kKinds] = {5, 6, 7};  // index into objects()
  const Obj &fuzzed = objects()[kReplaced[kind]];
  const std::string file = d + "/" + nlsw::object_name(fuzzed.type, fuzzed.id) + ".nlb";
  put(file, data, size);
  nlsw::BootDesc b;
  for (const Obj &o : objects())
    b.objects.push_back({o.type, o.id, o.name, &o == &fuzzed ? uint32_t(size) : uint32_t(o.img.size()), 0, 0});
  nlsw::Image boot = nlsw::build_boot(b);
  put(d + "/lx1boot.nlb", boot.bytes.data(), boot.size());

  uint32_t st = 0;
  lxlobj *t = lxlinit(nullptr, 0, &st);
  if (t) {
    lxglo glo;
    lxinitc(&glo, t, nullptr, 0);
    switch (kind) {
      case kAl16utf16: compose_all(glo); break;
      case kSort: sort_all(glo, t); break;
      default: bletter_all(glo, t); break;
    }
    lxdunld(glo.ldcb, t);
  }
  put(file, fuzzed.img.bytes.data(), fuzzed.img.size());  // the installation as it was
  return 0;
}
