// Linguistic comparison against ICU's collators (ucol_strcoll), glibc's
// strcoll and memcmp: the multilingual comparison on Latin text under a sort
// built from ICU root's elements (short texts, 1-4 KiB texts differing early,
// long equal prefixes), binary Unicode order against memcmp, and the Thai
// and Japanese special sorts against ICU's th and ja collators. After the
// runs a table gives each counterpart's time as a multiple of ours (above 1:
// the kit is faster) beside the target. The entry rows time lxoCmpStr as
// callers reach it: binary order of single-byte and UTF-8 text against
// memcmp, a monolingual sort on Latin-1 text and the multilingual sort
// against ucol_strcoll (root) and strcoll.
#include <benchmark/benchmark.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <string>
#include <vector>

#include <unicode/ucol.h>
#include <unicode/ustring.h>

#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "lxp.h"
#include "lxsf.h"
#include "lxuc.h"
#include "lxz.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "objw_icuroot.h"
#include "../common/collect.h"

namespace {

using Bytes = std::string;

// ICU root's elements for the Latin letters, digits and space.
nlsw::MultiSortDesc root_sort() {
  nlsw::MultiSortDesc d;
  d.name = "ROOT_LATIN";
  d.id = 4096;
  nlsw::add_icu_root_latin(d);
  return d;
}

// A monolingual sort of the Latin-1 letters: a letter's case and accent
// forms share its major key and differ in the minor key.
nlsw::SortDesc latin_mono() {
  nlsw::SortDesc d;
  d.name = "LATIN_MONO";
  d.id = 60;
  for (uint16_t c = 'a'; c <= 'z'; ++c) {
    d.major[c] = d.major[uint16_t(c - 32)] = uint8_t(40 + c - 'a');
    d.minor[c] = 1;
    d.minor[uint16_t(c - 32)] = 2;
  }
  for (uint16_t c = '0'; c <= '9'; ++c) d.major[c] = uint8_t(20 + c - '0');
  d.major[' '] = 10;
  const struct {
    uint16_t ch;
    char base;
  } accented[] = {{0xE9, 'e'}, {0xEF, 'i'}, {0xC5, 'a'}, {0xF6, 'o'}, {0xDF, 's'}};
  for (const auto &a : accented) {
    d.major[a.ch] = d.major[uint16_t(a.base)];
    d.minor[a.ch] = 5;
  }
  return d;
}

struct Env {
  bool ok = false;
  lxglo glo{};
  lxlangid utf8{}, thai{}, ja{}, latin1{}, latin1_mono{}, utf8_bin{};
};

// The handle named name with the sort installed (h.sort 0 without it).
lxlangid with_sort(Env &e, const char *name, const char *sort) {
  lxlangid h;
  if (nlskit::handle(name, &e.glo, &h) && !nlskit::set_sort(sort, &e.glo, &h)) h.sort = 0;
  return h;
}

Env &env() {
  static Env e = [] {
    Env x;
    nlsw::Installation inst = nlsw::basic_installation();
    nlsw::add_charset(inst, nlsconv::from_map(NLS_MAPS, "tis620.map", "TH8TISASCII", 41,
                                              nlsw::CsKind::Single, 1, 0));
    nlsw::add_charset(inst, nlsconv::from_map(NLS_MAPS, "eucjp.map", "JA16EUC", nlsconv::JA16EUC,
                                              nlsw::CsKind::Trie, 3, 0xA2AE));
    nlsw::add_object(inst, LX_TSORT, 40, "THAI_DICTIONARY", nlsw::build_special_sort("THAI_DICTIONARY", 40, 2, 1));
    nlsw::add_object(inst, LX_TSORT, 42, "JAPANESE", nlsw::build_special_sort("JAPANESE", 42, 6, 5));
    nlsw::add_object(inst, LX_TSORT, 4096, "ROOT_LATIN", nlsw::build_multi_sort(root_sort()));
    nlsw::add_object(inst, LX_TSORT, 60, "LATIN_MONO", nlsw::build_sort_object(latin_mono()));
    const std::string dir = nlskit::write(inst);
    if (dir.empty() || !nlskit::use(dir, &x.glo)) return x;
    x.utf8 = with_sort(x, ".AL32UTF8", "ROOT_LATIN");
    x.thai = with_sort(x, ".TH8TISASCII", "THAI_DICTIONARY");
    x.ja = with_sort(x, ".JA16EUC", "JAPANESE");
    x.latin1_mono = with_sort(x, ".WE8ISO8859P1", "LATIN_MONO");
    nlskit::handle(".WE8ISO8859P1", &x.glo, &x.latin1);
    nlskit::handle(".AL32UTF8", &x.glo, &x.utf8_bin);
    x.ok = x.utf8.sort && x.thai.sort && x.ja.sort && x.latin1_mono.sort;
    return x;
  }();
  return e;
}

// Latin text of n bytes (letters, accents, spaces), deterministic.
Bytes latin(size_t n, unsigned seed) {
  static const char *const words[] = {"le", "caf\xC3\xA9", "na\xC3\xAFve", "r\xC3\xA9sum\xC3\xA9",
                                      "Stra\xC3\x9F" "e", "over", "the", "lazy", "dog", "\xC3\x85ngstr\xC3\xB6m"};
  Bytes s;
  while (s.size() < n) {
    s += words[(seed = seed * 1103515245 + 12345) >> 16 & 7];
    s += ' ';
  }
  s.resize(n);
  while (!s.empty() && (s.back() & 0xC0) == 0x80) s.pop_back();
  if (!s.empty() && (unsigned char)s.back() >= 0xC0) s.pop_back();
  return s;
}

std::u16string utf16(const Bytes &s) {
  std::u16string u(s.size() + 1, 0);
  int32_t n = 0;
  UErrorCode st = U_ZERO_ERROR;
  u_strFromUTF8(reinterpret_cast<UChar *>(u.data()), static_cast<int32_t>(u.size()), &n, s.data(),
                static_cast<int32_t>(s.size()), &st);
  u.resize(static_cast<size_t>(n));
  return u;
}

// The Latin-1 form of UTF-8 text whose characters are all below U+0100.
Bytes latin1(const Bytes &s) {
  Bytes out;
  for (size_t i = 0; i < s.size(); ++i) {
    const unsigned char c = static_cast<unsigned char>(s[i]);
    if (c >= 0xC0 && i + 1 < s.size()) {
      out += char((c & 0x1F) << 6 | (static_cast<unsigned char>(s[++i]) & 0x3F));
    } else {
      out += char(c);
    }
  }
  return out;
}

// A pair of texts of each shape.
struct Pair {
  Bytes a, b;
};
Pair shape(const std::string &kind, size_t n) {
  Bytes base = latin(n, 7);
  if (kind == "early") return {"a" + base, "b" + base};
  if (kind == "prefix") return {base + "a", base + "b"};
  return {latin(n, 3), latin(n, 5)};
}

int ours(const lxlangid &h, Bytes &a, Bytes &b) {
  Env &e = env();
  lxmcur l, r;
  lxmcpen(a.data(), a.size(), &l, &h, &e.glo);
  lxmcpen(b.data(), b.size(), &r, &h, &e.glo);
  return lxoUcCmp(&l, a.size(), &r, b.size(), 0, 4, &e.glo);
}

// Times lxoCmpStr, the entry of every linguistic comparison, on cursors
// opened once (it gives them back unchanged).
void entry(benchmark::State &s, const lxlangid &h, Bytes a, Bytes b, uint32_t flags) {
  Env &e = env();
  lxmcur l, r;
  lxmcpen(a.data(), a.size(), &l, &h, &e.glo);
  lxmcpen(b.data(), b.size(), &r, &h, &e.glo);
  for (auto _ : s) benchmark::DoNotOptimize(lxoCmpStr(&l, a.size(), &r, b.size(), flags, &e.glo));
}

int special(lxsfcmp fn, const lxlangid &h, Bytes &a, Bytes &b) {
  Env &e = env();
  lxmcur l, r;
  lxmcpen(a.data(), a.size(), &l, &h, &e.glo);
  lxmcpen(b.data(), b.size(), &r, &h, &e.glo);
  return fn(&l, a.size(), &r, b.size(), 0, 0, &e.glo);
}

UCollator *collator(const char *loc) {
  UErrorCode st = U_ZERO_ERROR;
  return ucol_open(loc, &st);
}

void register_all() {
  const std::vector<std::pair<std::string, size_t>> cases = {
      {"short", 16}, {"early", 1024}, {"early", 4096}, {"prefix", 1024}, {"prefix", 4096}};
  for (const auto &c : cases) {
    std::string tag = "/" + c.first + "/" + std::to_string(c.second);
    Pair p = shape(c.first, c.second);
    benchmark::RegisterBenchmark(("multi/ours" + tag).c_str(), [p](benchmark::State &s) {
      Bytes a = p.a, b = p.b;
      for (auto _ : s) benchmark::DoNotOptimize(ours(env().utf8, a, b));
    });
    benchmark::RegisterBenchmark(("multi/icu" + tag).c_str(), [p](benchmark::State &s) {
      UCollator *c = collator("");
      std::u16string a = utf16(p.a), b = utf16(p.b);
      for (auto _ : s)
        benchmark::DoNotOptimize(ucol_strcoll(c, reinterpret_cast<const UChar *>(a.data()), (int32_t)a.size(),
                                              reinterpret_cast<const UChar *>(b.data()), (int32_t)b.size()));
      ucol_close(c);
    });
    benchmark::RegisterBenchmark(("multi/strcoll" + tag).c_str(), [p](benchmark::State &s) {
      for (auto _ : s) benchmark::DoNotOptimize(strcoll(p.a.c_str(), p.b.c_str()));
    });
    benchmark::RegisterBenchmark(("binary/ours" + tag).c_str(), [p](benchmark::State &s) {
      Bytes a = p.a, b = p.b;
      for (auto _ : s) benchmark::DoNotOptimize(special(lxscasc, env().utf8, a, b));
    });
    const Pair p1{latin1(p.a), latin1(p.b)};
    benchmark::RegisterBenchmark(("entry-binary/ours" + tag).c_str(), [p1](benchmark::State &s) {
      entry(s, env().latin1, p1.a, p1.b, 0);
    });
    benchmark::RegisterBenchmark(("entry-binary/memcmp" + tag).c_str(), [p1](benchmark::State &s) {
      for (auto _ : s) {
        int r = memcmp(p1.a.data(), p1.b.data(), std::min(p1.a.size(), p1.b.size()));
        benchmark::DoNotOptimize(r ? r : (int)p1.a.size() - (int)p1.b.size());
      }
    });
    // UTF-8 (a set whose bytes may not be compared plainly): character by
    // character after the equal prefix; with the NUL flag, and
    // case-insensitive.
    benchmark::RegisterBenchmark(("entry-utf8/ours" + tag).c_str(), [p](benchmark::State &s) {
      entry(s, env().utf8_bin, p.a, p.b, 0);
    });
    benchmark::RegisterBenchmark(("entry-utf8-nul/ours" + tag).c_str(), [p](benchmark::State &s) {
      entry(s, env().utf8_bin, p.a, p.b, LXO_NULTERM);
    });
    benchmark::RegisterBenchmark(("entry-utf8-ci/ours" + tag).c_str(), [p](benchmark::State &s) {
      entry(s, env().utf8_bin, p.a, p.b, LXO_CMP_NOCASE);
    });
    benchmark::RegisterBenchmark(("entry-mono/ours" + tag).c_str(), [p1](benchmark::State &s) {
      entry(s, env().latin1_mono, p1.a, p1.b, 0);
    });
    benchmark::RegisterBenchmark(("entry-multi/ours" + tag).c_str(), [p](benchmark::State &s) {
      entry(s, env().utf8, p.a, p.b, 0);
    });
    benchmark::RegisterBenchmark(("binary/memcmp" + tag).c_str(), [p](benchmark::State &s) {
      for (auto _ : s) {
        int r = memcmp(p.a.data(), p.b.data(), std::min(p.a.size(), p.b.size()));
        benchmark::DoNotOptimize(r ? r : (int)p.a.size() - (int)p.b.size());
      }
    });
  }
  // Thai (TIS-620 bytes: consonants, vowels, tone marks) and Japanese (kana).
  Bytes th, ja;
  for (int i = 0; i < 40; ++i) th += "\xE0\xA1\xE8\xA2\xD2\xA7";
  for (int i = 0; i < 40; ++i) ja += "\xA4\xAB\xA5\xAC\xA1\xBC";
  Bytes th2 = th, ja2 = ja;
  th2.back() = '\xA4';
  ja2[ja2.size() - 1] = '\xA2';
  benchmark::RegisterBenchmark("thai/ours", [=](benchmark::State &s) {
    Bytes a = th, b = th2;
    for (auto _ : s) benchmark::DoNotOptimize(special(lxscdth, env().thai, a, b));
  });
  benchmark::RegisterBenchmark("thai/icu", [=](benchmark::State &s) {
    UCollator *c = collator("th");
    std::u16string a, b;
    for (unsigned char x : th) a += x < 0x80 ? char16_t(x) : char16_t(0x0E01 + x - 0xA1);
    for (unsigned char x : th2) b += x < 0x80 ? char16_t(x) : char16_t(0x0E01 + x - 0xA1);
    for (auto _ : s)
      benchmark::DoNotOptimize(ucol_strcoll(c, reinterpret_cast<const UChar *>(a.data()), (int32_t)a.size(),
                                            reinterpret_cast<const UChar *>(b.data()), (int32_t)b.size()));
    ucol_close(c);
  });
  benchmark::RegisterBenchmark("japanese/ours", [=](benchmark::State &s) {
    Bytes a = ja, b = ja2;
    for (auto _ : s) benchmark::DoNotOptimize(special(lxscdja, env().ja, a, b));
  });
  benchmark::RegisterBenchmark("japanese/icu", [](benchmark::State &s) {
    UCollator *c = collator("ja");
    std::u16string a, b;
    for (int i = 0; i < 40; ++i) a += u"\u304B\u30AC\u30FC";
    b = a;
    b.back() = u'\u3042';
    for (auto _ : s)
      benchmark::DoNotOptimize(ucol_strcoll(c, reinterpret_cast<const UChar *>(a.data()), (int32_t)a.size(),
                                            reinterpret_cast<const UChar *>(b.data()), (int32_t)b.size()));
    ucol_close(c);
  });
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!setlocale(LC_COLLATE, "en_US.UTF-8")) setlocale(LC_COLLATE, "C.UTF-8");
  if (!env().ok) {
    fprintf(stderr, "cannot set up the NLS installation\n");
    return 1;
  }
  register_all();
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios time(theirs) / time(ours) (above 1: the kit is faster):\n");
  for (const char *t : {"/short/16", "/early/1024", "/early/4096", "/prefix/1024", "/prefix/4096"}) {
    std::string tag = t;
    bool prefix = tag.find("prefix") != std::string::npos;
    print_speedup(rep, "multi/ours" + tag, "multi/icu" + tag, prefix ? 1.0 : 0.5);
    print_speedup(rep, "multi/ours" + tag, "multi/strcoll" + tag);
    print_speedup(rep, "binary/ours" + tag, "binary/memcmp" + tag);
    print_speedup(rep, "entry-binary/ours" + tag, "entry-binary/memcmp" + tag, 1 / 1.5);
    print_speedup(rep, "entry-utf8/ours" + tag, "binary/memcmp" + tag);
    print_speedup(rep, "entry-utf8-nul/ours" + tag, "binary/memcmp" + tag);
    print_speedup(rep, "entry-utf8-ci/ours" + tag, "binary/memcmp" + tag);
    print_speedup(rep, "entry-mono/ours" + tag, "multi/icu" + tag, prefix ? 1.0 : 0.7);
    print_speedup(rep, "entry-mono/ours" + tag, "multi/strcoll" + tag);
    print_speedup(rep, "entry-multi/ours" + tag, "multi/icu" + tag, prefix ? 1.0 : 0.5);
  }
  print_speedup(rep, "thai/ours", "thai/icu", 0.33);
  print_speedup(rep, "japanese/ours", "japanese/icu", 0.33);
  benchmark::Shutdown();
  return 0;
}
