// Conversions of 64 KiB of mixed text to and from AL32UTF8 against glibc
// iconv and ICU (ucnv): the stateful sets ISO-2022-JP, ISO-2022-KR and HZ,
// GB18030 with two- and four-byte characters, the resumable conversion into
// 255-byte outputs, and the whole-string conversion between UTF-8 and
// ISO-8859-1, UTF-16 (mixed and Latin text) and CESU-8, and between
// ISO-8859-1 and UTF-16. After the runs a table gives each counterpart's
// time as a multiple of ours (above 1: the kit is faster), with the target
// where there is one.
#include <benchmark/benchmark.h>
#include <errno.h>
#include <iconv.h>
#include <stdio.h>
#include <stdlib.h>

#include <fstream>
#include <map>
#include <string>
#include <vector>

#ifdef QEN_HAVE_ICU
#include <unicode/ucnv.h>
#endif

#include "lxg.h"
#include "lxh.h"
#include "lxz.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "../common/collect.h"

namespace {

using namespace nlsconv;
using Bytes = std::string;
constexpr size_t kText = 64 * 1024;

// Code points of a mapping file's multibyte characters.
std::vector<uint32_t> repertoire(const char *file, size_t want, size_t bytes = 2) {
  std::ifstream in(std::string(NLS_MAPS) + "/" + file);
  std::string b, u;
  std::vector<uint32_t> cps;
  while (in >> b >> u)
    if (b.size() == 2 + 2 * bytes) {
      uint32_t cp = (uint32_t)std::stoul(u, nullptr, 16);
      if (cp >= 0x3000 && !(cp >= 0xFF61 && cp <= 0xFF9F)) cps.push_back(cp);  // no half-width kana
    }
  std::vector<uint32_t> pick;
  for (size_t i = 0; i < want && !cps.empty(); ++i) pick.push_back(cps[(i * 7919) % cps.size()]);
  return pick;
}

void put_utf8(Bytes &s, uint32_t cp) {
  if (cp < 0x80) {
    s += (char)cp;
  } else if (cp < 0x800) {
    s += (char)(0xC0 | cp >> 6);
    s += (char)(0x80 | (cp & 0x3F));
  } else if (cp < 0x10000) {
    s += (char)(0xE0 | cp >> 12);
    s += (char)(0x80 | ((cp >> 6) & 0x3F));
    s += (char)(0x80 | (cp & 0x3F));
  } else {
    s += (char)(0xF0 | cp >> 18);
    s += (char)(0x80 | ((cp >> 12) & 0x3F));
    s += (char)(0x80 | ((cp >> 6) & 0x3F));
    s += (char)(0x80 | (cp & 0x3F));
  }
}

// About 64 KiB of UTF-8: runs of the repertoire's characters between ASCII
// words and line ends.
Bytes mixed(const std::vector<uint32_t> &cps) {
  Bytes s;
  size_t k = 0;
  while (s.size() < kText) {
    s += "text 42 ";
    for (int j = 0; j < 6 && !cps.empty(); ++j) put_utf8(s, cps[k++ % cps.size()]);
    if (k % 60 == 0) s += '\n';
  }
  return s;
}

struct Env {
  lxglo glo{};
  bool ok = false;
  Env() {
    const std::string dir = nlskit::write(installation(NLS_MAPS));
    ok = !dir.empty() && nlskit::use(dir, &glo);
  }
  const lxcsobj *cs(uint16_t id) { return lxhci2h(id, &glo); }
};
Env &env() {
  static Env e;
  return e;
}

// A text in the base set (AL32UTF8 unless said) and in the case's set.
struct Case {
  const char *name;
  uint16_t id;
  const char *iconv_name;
  const char *icu_name;
  Bytes text, enc;
  uint16_t base = AL32UTF8;
  const char *base_iconv = "UTF-8";
};

std::vector<Case> &cases() {
  static std::vector<Case> c = [] {
    std::vector<Case> v = {
        {"iso2022jp", ISO2022JP, "ISO-2022-JP", "ISO_2022,locale=ja,version=0", {}, {}},
        {"iso2022kr", ISO2022KR, "ISO-2022-KR", "ISO_2022,locale=ko,version=0", {}, {}},
        {"hz", HZ, "HZ", "HZ", {}, {}},
        {"gb18030-2", GB18030, "GB18030", "gb18030", {}, {}},
        {"gb18030-4", GB18030, "GB18030", "gb18030", {}, {}},
        {"latin1", LATIN1, "ISO-8859-1", "ISO-8859-1", {}, {}},
        {"utf16", AL16UTF16, "UTF-16BE", "UTF-16BE", {}, {}},
        {"utf16-latin", AL16UTF16, "UTF-16BE", "UTF-16BE", {}, {}},
        {"latin1-utf16", AL16UTF16, "UTF-16BE", "UTF-16BE", {}, {}, LATIN1, "ISO-8859-1"},
        {"cesu8", UTF8, "UTF-8", "CESU-8", {}, {}},
    };
    Env &e = env();
    for (auto &k : v) {
      std::vector<uint32_t> cps;
      if (k.id == ISO2022JP) cps = repertoire("eucjp.map", 3000);
      if (k.id == ISO2022KR) cps = repertoire("euckr.map", 2000);
      if (k.id == HZ || std::string(k.name) == "gb18030-2") cps = repertoire("gb2312.map", 3000);
      if (std::string(k.name) == "gb18030-4")
        for (uint32_t c = 0x80; c < 0x5000; c += 37) cps.push_back(c < 0xD800 ? c : c + 0x10000);
      std::string name = k.name;
      if (k.id == LATIN1 || name == "utf16-latin" || name == "latin1-utf16")
        for (uint32_t c = 0xA0; c < 0x100; ++c) cps.push_back(c);
      else if (k.id == AL16UTF16 || k.id == UTF8)
        for (uint32_t c = 0x400; c < 0x4000; c += 29) cps.push_back(c);
      k.text = mixed(cps);
      if (k.base != AL32UTF8) {
        Bytes b(k.text.size(), '\0');
        b.resize(lxgcnv(b.data(), e.cs(k.base), b.size(), k.text.data(), e.cs(AL32UTF8),
                        k.text.size(), &e.glo));
        k.text = b;
      }
      k.enc.resize(k.text.size() * 4);
      size_t n = lxgcnv(k.enc.data(), e.cs(k.id), k.enc.size(), k.text.data(), e.cs(k.base),
                        k.text.size(), &e.glo);
      k.enc.resize(n);
    }
    return v;
  }();
  return c;
}

Case &find(const std::string &name) {
  for (auto &c : cases())
    if (name == c.name) return c;
  abort();
}

void Ours(benchmark::State &st, const char *name, bool decode) {
  Env &e = env();
  Case &c = find(name);
  const Bytes &in = decode ? c.enc : c.text;
  const lxcsobj *from = e.cs(decode ? c.id : c.base), *to = e.cs(decode ? c.base : c.id);
  std::vector<char> out(in.size() * 4 + 64);
  for (auto _ : st) {
    size_t n = lxgcnv(out.data(), to, out.size(), in.data(), from, in.size(), &e.glo);
    benchmark::DoNotOptimize(n);
  }
  st.SetBytesProcessed((int64_t)(st.iterations() * in.size()));
}

// lxgcvp into 255-byte outputs.
void Pieces(benchmark::State &st, const char *name, bool decode) {
  Env &e = env();
  Case &c = find(name);
  const Bytes &in = decode ? c.enc : c.text;
  const lxcsobj *from = e.cs(decode ? c.id : c.base), *to = e.cs(decode ? c.base : c.id);
  char out[255];
  for (auto _ : st) {
    e.glo.carry = {};
    const void *p = in.data();
    uint32_t left = (uint32_t)in.size();
    size_t total = 0;
    do {
      int32_t n = lxgcvp(out, to, sizeof out, &p, from, &left, 1, &e.glo);
      if (n < 0) break;
      total += (size_t)n;
    } while (left > 0 || e.glo.carry.npending > 0);
    benchmark::DoNotOptimize(total);
  }
  st.SetBytesProcessed((int64_t)(st.iterations() * in.size()));
}

void Iconv(benchmark::State &st, const char *name, bool decode, size_t outsize) {
  Case &c = find(name);
  const Bytes &in = decode ? c.enc : c.text;
  iconv_t cd = decode ? iconv_open(c.base_iconv, c.iconv_name) : iconv_open(c.iconv_name, c.base_iconv);
  if (cd == (iconv_t)-1) {
    st.SkipWithError("iconv cannot");
    return;
  }
  std::vector<char> out(outsize ? outsize : in.size() * 4 + 64);
  bool failed = false;
  for (auto _ : st) {
    iconv(cd, nullptr, nullptr, nullptr, nullptr);
    char *ip = const_cast<char *>(in.data());
    size_t il = in.size();
    do {
      char *op = out.data();
      size_t ol = out.size();
      size_t r = iconv(cd, &ip, &il, &op, &ol);
      if (r == (size_t)-1 && errno != E2BIG) {
        failed = true;
        break;
      }
      benchmark::DoNotOptimize(op);
    } while (il > 0);
    char *op = out.data();
    size_t ol = out.size();
    iconv(cd, nullptr, nullptr, &op, &ol);
  }
  iconv_close(cd);
  if (failed) st.SkipWithError("iconv refused the text");
  st.SetBytesProcessed((int64_t)(st.iterations() * in.size()));
}

void Icu(benchmark::State &st, const char *name, bool decode) {
#ifdef QEN_HAVE_ICU
  Case &c = find(name);
  const Bytes &in = decode ? c.enc : c.text;
  UErrorCode err = U_ZERO_ERROR;
  UConverter *a = ucnv_open(decode ? c.icu_name : "UTF-8", &err);
  UConverter *b = ucnv_open(decode ? "UTF-8" : c.icu_name, &err);
  if (U_FAILURE(err)) {
    st.SkipWithError("ICU cannot");
    return;
  }
  std::vector<char> out(in.size() * 4 + 64);
  for (auto _ : st) {
    err = U_ZERO_ERROR;
    char *op = out.data();
    const char *ip = in.data();
    ucnv_convertEx(b, a, &op, out.data() + out.size(), &ip, in.data() + in.size(), nullptr, nullptr,
                   nullptr, nullptr, true, true, &err);
    benchmark::DoNotOptimize(op);
  }
  ucnv_close(a);
  ucnv_close(b);
  st.SetBytesProcessed((int64_t)(st.iterations() * in.size()));
#else
  (void)name;
  (void)decode;
  st.SkipWithError("built without ICU");
#endif
}

const char *const kStateful[] = {"iso2022jp", "iso2022kr", "hz", "gb18030-2", "gb18030-4"};
const char *const kWhole[] = {"latin1", "utf16", "utf16-latin", "latin1-utf16", "cesu8"};

// Targets against iconv (0: none): the UTF-16 decode to UTF-8 at 1.5, the
// other pairs of UTF-8, ISO-8859-1 and UTF-16 at 1; the stateful and GB18030
// sets at 0.7 against iconv and 1 against ICU.
double whole_target(const std::string &name, const std::string &dir) {
  if (name == "cesu8") return 0;
  if ((name == "utf16" || name == "utf16-latin") && dir == "/decode") return 1.5;
  return 1.0;
}
constexpr double kStatefulIconv = 0.7, kStatefulIcu = 1.0;

void register_all() {
  for (const char *n : kStateful)
    for (bool dec : {true, false}) {
      std::string d = dec ? "/decode" : "/encode";
      benchmark::RegisterBenchmark((std::string("ours/") + n + d).c_str(), Ours, n, dec);
      benchmark::RegisterBenchmark((std::string("iconv/") + n + d).c_str(), Iconv, n, dec, 0);
      benchmark::RegisterBenchmark((std::string("icu/") + n + d).c_str(), Icu, n, dec);
      benchmark::RegisterBenchmark((std::string("ours-255/") + n + d).c_str(), Pieces, n, dec);
      benchmark::RegisterBenchmark((std::string("iconv-255/") + n + d).c_str(), Iconv, n, dec, 255);
    }
  for (const char *n : kWhole)
    for (bool dec : {true, false}) {
      std::string d = dec ? "/decode" : "/encode";
      benchmark::RegisterBenchmark((std::string("ours/") + n + d).c_str(), Ours, n, dec);
      benchmark::RegisterBenchmark((std::string("iconv/") + n + d).c_str(), Iconv, n, dec, 0);
    }
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!env().ok) {
    fprintf(stderr, "cannot set up the NLS installation\n");
    return 1;
  }
  register_all();
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios time(theirs) / time(ours) (above 1: the kit is faster):\n");
  for (const char *n : kStateful)
    for (const char *d : {"/decode", "/encode"}) {
      print_speedup(rep, std::string("ours/") + n + d, std::string("iconv/") + n + d, kStatefulIconv);
      print_speedup(rep, std::string("ours/") + n + d, std::string("icu/") + n + d, kStatefulIcu);
      print_speedup(rep, std::string("ours-255/") + n + d, std::string("iconv-255/") + n + d);
    }
  for (const char *n : kWhole)
    for (const char *d : {"/decode", "/encode"})
      print_speedup(rep, std::string("ours/") + n + d, std::string("iconv/") + n + d,
                    whole_target(n, d));
  benchmark::Shutdown();
  return 0;
}
