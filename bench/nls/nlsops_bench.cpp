// Per-character and string operations of the NLS runtime against what a
// user would take instead: canonical composition of 64 KiB of NFD text
// (lxcscom) against ICU's NFC normalizer, the monolingual compare of 10 000
// Latin-1 pairs (lxCmpStr) against ICU collation, and display width and
// lower case over UTF-16 text (lxcsgmw, lxcsmlo) against the C library's
// wcwidth and towlower. The objects are written with the NLS object writer
// from Python's unicodedata (the tables the NLS tests generate). After the
// runs a table gives each counterpart's time as a multiple of ours, with the
// least ratio aimed at.
#include <benchmark/benchmark.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <wchar.h>
#include <wctype.h>

#include <string>
#include <vector>

#ifdef QEN_HAVE_ICU_I18N
#include <unicode/ucol.h>
#include <unicode/unorm2.h>
#endif

#include "lxc.h"
#include "lxh.h"
#include "lxl.h"
#include "lxp.h"
#include "lxz.h"
#include "nlsinst.h"
#include "nlskit.h"
#include "nlsobjw.h"
#include "../common/collect.h"

namespace {

#include "compose.inc"

struct Ucd {
  uint32_t cp;
  uint16_t ccc;
  uint32_t lower, upper;
};
const Ucd kUcd[] = {
#include "ucd.inc"
};
const nlsw::ComposePair kPairs[] = {COMPOSE_PAIRS};

constexpr size_t kText = 64 * 1024;
constexpr size_t kPairsCount = 10000;
constexpr uint16_t kCjkFirst = 0x4E00, kCjkLast = 0x9FFF;

nlsw::Image al16utf16() {
  nlsw::CharsetDesc s = nlsw::al16utf16_charset();
  s.upper16.resize(256);
  s.lower16.resize(256);
  s.latin_props.assign(256, 0x40);
  for (unsigned c = 0; c < 256; ++c) s.upper16[c] = s.lower16[c] = uint16_t(c);
  for (const Ucd &u : kUcd) {
    if (u.ccc) s.combining[u.cp] = u.ccc;
    if (u.cp < 0x100) {
      s.lower16[u.cp] = uint16_t(u.lower);
      s.upper16[u.cp] = uint16_t(u.upper);
      continue;
    }
    std::vector<uint8_t> b{uint8_t(u.cp >> 8), uint8_t(u.cp)};
    uint16_t cls = 0;
    if (u.lower != u.cp) {
      cls |= 0x804;
      s.lower_pairs[u.cp] = u.lower;
    }
    if (u.upper != u.cp) {
      cls |= 0x808;
      s.upper_pairs[u.cp] = u.upper;
    }
    if (cls) s.classes[b] = cls;
  }
  // display widths: the CJK block wide, the rest of the text's ranges narrow
  for (uint32_t c = 0x100; c < 0x530; ++c) s.properties[{uint8_t(c >> 8), uint8_t(c)}] = 0x40;
  for (uint32_t c = kCjkFirst; c <= kCjkLast; ++c) s.properties[{uint8_t(c >> 8), uint8_t(c)}] = 0x80;
  s.compose = nlsw::build_compose_table(std::vector<nlsw::ComposePair>(std::begin(kPairs), std::end(kPairs)));
  return nlsw::build_charset(s);
}

nlsw::SortDesc latin_sort() {
  nlsw::SortDesc d;
  d.name = "BENCHLATIN";
  d.id = 60;
  d.flags = 0x1;
  const char *accented = "\xE0\xE1\xE2\xE8\xE9\xEA\xEC\xED\xF2\xF3\xF9\xFA";
  const char *bases = "aaaeeeiioouu";
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.major[c] = d.major[uint16_t(c - 32)] = uint8_t(10 + (c - 'a'));
    d.minor[c] = 1;
    d.minor[uint16_t(c - 32)] = 2;
  }
  for (int k = 0; accented[k]; ++k) {
    uint8_t a = uint8_t(accented[k]);
    d.major[a] = d.major[uint8_t(bases[k])];
    d.minor[a] = uint8_t(3 + k % 3);
  }
  return d;
}

struct Env {
  lxglo glo{};
  lxlangid utf16{}, latin{};
  const lxcsobj *cs16 = nullptr;
  bool ok = false;
  Env() {
    nlsw::Installation inst = nlsw::base_installation();
    nlsw::add_charset(inst, nlsw::latin1_charset());
    nlsw::add_object(inst, LX_TCS, LXCS_AL16UTF16, "AL16UTF16", al16utf16());
    nlsw::add_object(inst, LX_TSORT, 60, "BENCHLATIN", nlsw::build_sort_object(latin_sort()));
    const std::string dir = nlskit::write(inst);
    if (dir.empty() || !nlskit::use(dir, &glo)) return;
    if (!nlskit::handle(nlskit::american("AL16UTF16"), &glo, &utf16)) return;
    if (!nlskit::handle(nlskit::american("WE8ISO8859P1"), &glo, &latin)) return;
    if (!nlskit::set_sort("BENCHLATIN", &glo, &latin)) return;
    cs16 = lxhci2h(LXCS_AL16UTF16, &glo);
    ok = cs16 != nullptr;
  }
};
Env &env() {
  static Env e;
  return e;
}

// ---- composition -------------------------------------------------------------

// 64 KiB of decomposed text: precomposed letters of the composition table,
// Hangul syllables and spaces, decomposed with ICU's NFD.
std::u16string nfd_text() {
  std::u16string composed;
  size_t k = 0;
  while (composed.size() < kText / 2) {
    const nlsw::ComposePair &p = kPairs[(k * 7919) % (sizeof kPairs / sizeof kPairs[0])];
    if (p.composite <= 0xFFFF) composed += char16_t(p.composite);
    if (k % 5 == 0) composed += char16_t(0xAC00 + (k * 31) % 11172);
    if (k % 7 == 0) composed += u' ';
    ++k;
  }
  std::u16string out(composed.size() * 4, 0);
#ifdef QEN_HAVE_ICU_I18N
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2 *nfd = unorm2_getNFDInstance(&err);
  int32_t n = unorm2_normalize(nfd, reinterpret_cast<const UChar *>(composed.data()), int32_t(composed.size()),
                               reinterpret_cast<UChar *>(out.data()), int32_t(out.size()), &err);
  out.resize(U_SUCCESS(err) ? size_t(n) : 0);
#endif
  if (out.size() > kText / 2) out.resize(kText / 2);
  return out;
}

const std::u16string &nfd() {
  static const std::u16string s = nfd_text();
  return s;
}

void Compose(benchmark::State &st) {
  Env &e = env();
  const std::u16string &t = nfd();
  std::string be;
  for (char16_t u : t) {
    be += char(u >> 8);
    be += char(u & 0xFF);
  }
  std::vector<uint8_t> out(be.size());
  for (auto _ : st) {
    size_t n = lxcscom(&e.utf16, out.data(), out.size(), reinterpret_cast<const uint8_t *>(be.data()), be.size());
    benchmark::DoNotOptimize(n);
  }
  st.SetBytesProcessed(int64_t(st.iterations() * be.size()));
}

#ifdef QEN_HAVE_ICU_I18N
void IcuNfc(benchmark::State &st) {
  const std::u16string &t = nfd();
  UErrorCode err = U_ZERO_ERROR;
  const UNormalizer2 *nfc = unorm2_getNFCInstance(&err);
  std::u16string out(t.size(), 0);
  for (auto _ : st) {
    err = U_ZERO_ERROR;
    int32_t n = unorm2_normalize(nfc, reinterpret_cast<const UChar *>(t.data()), int32_t(t.size()),
                                 reinterpret_cast<UChar *>(out.data()), int32_t(out.size()), &err);
    benchmark::DoNotOptimize(n);
  }
  st.SetBytesProcessed(int64_t(st.iterations() * t.size() * 2));
}
#endif

// ---- comparison ----------------------------------------------------------------

std::vector<std::pair<std::string, std::string>> &latin_pairs() {
  static std::vector<std::pair<std::string, std::string>> v = [] {
    std::vector<std::pair<std::string, std::string>> p;
    const std::string letters = "abcdeeefghilmnoprstu\xE9\xE8\xE0\xF3";
    uint32_t x = 12345;
    auto rnd = [&] { return x = x * 1103515245u + 12345u, (x >> 16) & 0x7FFF; };
    for (size_t i = 0; i < kPairsCount; ++i) {
      std::string a;
      size_t len = 4 + rnd() % 12;
      for (size_t k = 0; k < len; ++k) a += letters[rnd() % letters.size()];
      std::string b = a;
      b[rnd() % b.size()] = letters[rnd() % letters.size()];  // one letter differs (or not)
      p.push_back({a, b});
    }
    return p;
  }();
  return v;
}

void CmpMono(benchmark::State &st) {
  Env &e = env();
  auto &pairs = latin_pairs();
  for (auto _ : st) {
    int sum = 0;
    for (auto &p : pairs)
      sum += lxCmpStr(p.first.data(), p.second.data(), uint32_t(p.first.size()), uint32_t(p.second.size()),
                      LXCMP_LING, &e.latin, &e.glo) < 0;
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(int64_t(st.iterations() * pairs.size()));
}

#ifdef QEN_HAVE_ICU_I18N
void IcuCollate(benchmark::State &st) {
  auto &pairs = latin_pairs();
  std::vector<std::pair<std::u16string, std::u16string>> u;
  for (auto &p : pairs) {
    std::u16string a(p.first.begin(), p.first.end()), b(p.second.begin(), p.second.end());
    for (auto &c : a) c = char16_t(uint8_t(c));
    for (auto &c : b) c = char16_t(uint8_t(c));
    u.push_back({a, b});
  }
  UErrorCode err = U_ZERO_ERROR;
  UCollator *coll = ucol_open("fr", &err);
  if (U_FAILURE(err)) {
    st.SkipWithError("no collator");
    return;
  }
  for (auto _ : st) {
    int sum = 0;
    for (auto &p : u)
      sum += ucol_strcoll(coll, reinterpret_cast<const UChar *>(p.first.data()), int32_t(p.first.size()),
                          reinterpret_cast<const UChar *>(p.second.data()), int32_t(p.second.size())) ==
             UCOL_LESS;
    benchmark::DoNotOptimize(sum);
  }
  ucol_close(coll);
  st.SetItemsProcessed(int64_t(st.iterations() * u.size()));
}
#endif

// ---- width and case of UTF-16 text -------------------------------------------------

std::vector<uint16_t> &units() {
  static std::vector<uint16_t> v = [] {
    std::vector<uint16_t> u;
    for (size_t i = 0; u.size() < kText / 2; ++i) {
      switch (i % 4) {
        case 0: u.push_back(uint16_t(0x41 + i % 26)); break;
        case 1: u.push_back(uint16_t(0x391 + i % 40)); break;        // Greek
        case 2: u.push_back(uint16_t(0x100 + i % 0x80)); break;      // Latin Extended-A
        default: u.push_back(uint16_t(kCjkFirst + (i * 13) % 0x5000)); break;
      }
    }
    return u;
  }();
  return v;
}

std::vector<uint8_t> &units_be() {
  static std::vector<uint8_t> b = [] {
    std::vector<uint8_t> v;
    for (uint16_t u : units()) {
      v.push_back(uint8_t(u >> 8));
      v.push_back(uint8_t(u));
    }
    return v;
  }();
  return b;
}

void Width(benchmark::State &st) {
  const lxcsobj *cs = env().cs16;
  auto &b = units_be();
  for (auto _ : st) {
    unsigned sum = 0;
    for (size_t i = 0; i < b.size(); i += 2) sum += lxcsgmw(cs, b.data() + i);
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(int64_t(st.iterations() * b.size() / 2));
}

void Wcwidth(benchmark::State &st) {
  auto &u = units();
  for (auto _ : st) {
    int sum = 0;
    for (uint16_t c : u) sum += wcwidth(wchar_t(c));
    benchmark::DoNotOptimize(sum);
  }
  st.SetItemsProcessed(int64_t(st.iterations() * u.size()));
}

void Lower(benchmark::State &st) {
  const lxcsobj *cs = env().cs16;
  auto &b = units_be();
  std::vector<uint8_t> out(b.size() * 2);
  for (auto _ : st) {
    size_t o = 0;
    for (size_t i = 0; i < b.size(); i += 2) o += lxcsmlo(cs, out.data() + o, b.data() + i, 2);
    benchmark::DoNotOptimize(o);
  }
  st.SetItemsProcessed(int64_t(st.iterations() * b.size() / 2));
}

void Towlower(benchmark::State &st) {
  auto &u = units();
  std::vector<wchar_t> out(u.size());
  for (auto _ : st) {
    for (size_t i = 0; i < u.size(); ++i) out[i] = wchar_t(towlower(wint_t(u[i])));
    benchmark::DoNotOptimize(out.data());
  }
  st.SetItemsProcessed(int64_t(st.iterations() * u.size()));
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  setlocale(LC_CTYPE, "C.UTF-8");
  if (!env().ok) {
    fprintf(stderr, "cannot set up the NLS installation\n");
    return 1;
  }
  benchmark::RegisterBenchmark("ours/lxcscom", Compose);
  benchmark::RegisterBenchmark("ours/lxCmpStr", CmpMono);
#ifdef QEN_HAVE_ICU_I18N
  benchmark::RegisterBenchmark("icu/nfc", IcuNfc);
  benchmark::RegisterBenchmark("icu/collate", IcuCollate);
#endif
  benchmark::RegisterBenchmark("ours/lxcsgmw", Width);
  benchmark::RegisterBenchmark("libc/wcwidth", Wcwidth);
  benchmark::RegisterBenchmark("ours/lxcsmlo", Lower);
  benchmark::RegisterBenchmark("libc/towlower", Towlower);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios time(theirs) / time(ours) (above 1: the kit is faster):\n");
  print_speedup(rep, "ours/lxcscom", "icu/nfc", 0.5);
  print_speedup(rep, "ours/lxCmpStr", "icu/collate", 0.5);
  print_speedup(rep, "ours/lxcsgmw", "libc/wcwidth", 0.5);
  print_speedup(rep, "ours/lxcsmlo", "libc/towlower", 0.5);
  benchmark::Shutdown();
  return 0;
}
