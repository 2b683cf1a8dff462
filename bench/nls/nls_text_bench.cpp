// The kit's character counting, display width, skipping and bounded copy
// over 64 KiB texts, against what a C or ICU program would use instead:
// mbrtowc counting and mbrtowc + wcwidth in C.UTF-8, ICU's u_countChar32 and
// memcpy. After the runs a table gives each counterpart's time as a multiple
// of ours, with the ratio each is expected to reach.
#include <benchmark/benchmark.h>
#include <locale.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <wchar.h>

#include <string>
#include <vector>

#ifdef QEN_HAVE_ICU
#include <unicode/ustring.h>
#endif

#include "lxh.h"
#include "lxm.h"
#include "lxo.h"
#include "lxz.h"
#include "nlsconv.h"
#include "nlskit.h"
#include "../common/collect.h"

namespace {

using Bytes = std::string;
constexpr size_t kText = 64 * 1024;

struct Env {
  lxglo glo{};
  lxlangid al32{}, u16{}, latin{};
  bool ok = false;
  Env() {
    const std::string dir = nlskit::write(nlsconv::installation(NLS_MAPS));
    if (dir.empty() || !nlskit::use(dir, &glo)) return;
    ok = nlskit::handle(nlskit::american("AL32UTF8"), &glo, &al32) &&
         nlskit::handle(nlskit::american("AL16UTF16"), &glo, &u16) &&
         nlskit::handle(nlskit::american("WE8ISO8859P1"), &glo, &latin);
  }
};

Env &env() {
  static Env e;
  return e;
}

void put_utf8(Bytes &s, uint32_t cp) {
  if (cp < 0x80) {
    s += char(cp);
  } else if (cp < 0x800) {
    s += char(0xC0 | cp >> 6);
    s += char(0x80 | (cp & 0x3F));
  } else {
    s += char(0xE0 | cp >> 12);
    s += char(0x80 | ((cp >> 6) & 0x3F));
    s += char(0x80 | (cp & 0x3F));
  }
}

// 64 KiB of ASCII letters, or of CJK ideographs (three bytes each).
const Bytes &text(bool cjk) {
  static Bytes t[2];
  Bytes &s = t[cjk];
  if (s.empty()) {
    for (uint32_t i = 0; s.size() + 3 <= kText; ++i) put_utf8(s, cjk ? 0x4E00 + (i * 31) % 0x5000 : 'a' + i % 26);
  }
  return s;
}

// 64 KiB of UTF-16 (big-endian bytes for the kit, host units for ICU) with
// a surrogate pair every 16 units.
const Bytes &utf16_text() {
  static Bytes s = [] {
    Bytes b;
    for (uint32_t i = 0; b.size() + 4 <= kText; ++i) {
      uint32_t u = i % 16 == 15 ? 0 : 0x4E00 + i % 4000;
      if (u == 0) {
        b += "\xD8\x3D\xDE\x00";
      } else {
        b += char(u >> 8);
        b += char(u & 0xFF);
      }
    }
    return b;
  }();
  return s;
}

void OursCount(benchmark::State &st, bool cjk) {
  const Bytes &t = text(cjk);
  Env &e = env();
  for (auto _ : st) benchmark::DoNotOptimize(lxsCntChar(t.data(), t.size(), 0, &e.al32, &e.glo));
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

void MbrtowcCount(benchmark::State &st, bool cjk) {
  const Bytes &t = text(cjk);
  for (auto _ : st) {
    mbstate_t ms{};
    size_t n = 0;
    for (size_t i = 0; i < t.size();) {
      wchar_t w;
      size_t r = mbrtowc(&w, t.data() + i, t.size() - i, &ms);
      if (r == size_t(-1) || r == size_t(-2)) break;
      i += r ? r : 1;
      ++n;
    }
    benchmark::DoNotOptimize(n);
  }
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

void OursWidth(benchmark::State &st, bool cjk) {
  const Bytes &t = text(cjk);
  Env &e = env();
  for (auto _ : st)
    benchmark::DoNotOptimize(lxsCntDisp(t.data(), t.size(), LXO_NULTERM, &e.al32, &e.glo));
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

void WcwidthWidth(benchmark::State &st, bool cjk) {
  const Bytes &t = text(cjk);
  for (auto _ : st) {
    mbstate_t ms{};
    int cols = 0;
    for (size_t i = 0; i < t.size();) {
      wchar_t w;
      size_t r = mbrtowc(&w, t.data() + i, t.size() - i, &ms);
      if (r == size_t(-1) || r == size_t(-2) || r == 0) break;
      i += r;
      cols += wcwidth(w);
    }
    benchmark::DoNotOptimize(cols);
  }
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

void OursSkip(benchmark::State &st) {
  Bytes t = utf16_text();
  Env &e = env();
  for (auto _ : st) {
    lxmcur c;
    lxmopen(t.data(), t.size(), &c, &e.u16, &e.glo, 1);
    benchmark::DoNotOptimize(lxoSkip(&c, t.size() / 4, LXO_SKIP_POINTS, &e.glo));
  }
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

#ifdef QEN_HAVE_ICU
void IcuCount(benchmark::State &st) {
  const Bytes &b = utf16_text();
  std::vector<UChar> u(b.size() / 2);
  for (size_t i = 0; i < u.size(); ++i) u[i] = UChar(uint8_t(b[2 * i]) << 8 | uint8_t(b[2 * i + 1]));
  for (auto _ : st) benchmark::DoNotOptimize(u_countChar32(u.data(), int32_t(u.size())));
  st.SetBytesProcessed(int64_t(st.iterations() * b.size()));
}
#endif

void OursCopy(benchmark::State &st, bool latin) {
  const Bytes &t = text(!latin);
  Env &e = env();
  std::vector<char> out(t.size());
  for (auto _ : st) {
    benchmark::DoNotOptimize(
        lxsCpStr(out.data(), out.size() - 1, t.data(), t.size(), LXO_EXACTLEN, latin ? &e.latin : &e.al32, &e.glo));
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

void Memcpy(benchmark::State &st, bool latin) {
  const Bytes &t = text(!latin);
  std::vector<char> out(t.size());
  for (auto _ : st) {
    memcpy(out.data(), t.data(), out.size() - 1);
    benchmark::ClobberMemory();
  }
  st.SetBytesProcessed(int64_t(st.iterations() * t.size()));
}

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  if (!setlocale(LC_CTYPE, "C.UTF-8") || !env().ok) {
    fprintf(stderr, "cannot set up C.UTF-8 or the NLS installation\n");
    return 1;
  }
  for (bool cjk : {false, true}) {
    const std::string k = cjk ? "/cjk" : "/ascii";
    benchmark::RegisterBenchmark(("ours/count" + k).c_str(), OursCount, cjk);
    benchmark::RegisterBenchmark(("mbrtowc/count" + k).c_str(), MbrtowcCount, cjk);
    benchmark::RegisterBenchmark(("ours/width" + k).c_str(), OursWidth, cjk);
    benchmark::RegisterBenchmark(("wcwidth/width" + k).c_str(), WcwidthWidth, cjk);
  }
  benchmark::RegisterBenchmark("ours/skip/utf16", OursSkip);
#ifdef QEN_HAVE_ICU
  benchmark::RegisterBenchmark("icu/skip/utf16", IcuCount);
#endif
  for (bool latin : {true, false}) {
    const std::string k = latin ? "/latin1" : "/al32utf8";
    benchmark::RegisterBenchmark(("ours/copy" + k).c_str(), OursCopy, latin);
    benchmark::RegisterBenchmark(("memcpy/copy" + k).c_str(), Memcpy, latin);
  }
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  printf("\nRatios time(theirs) / time(ours) (above 1: the kit is faster):\n");
  for (const char *k : {"/ascii", "/cjk"}) {
    print_speedup(rep, std::string("ours/count") + k, std::string("mbrtowc/count") + k, 4.0);
    print_speedup(rep, std::string("ours/width") + k, std::string("wcwidth/width") + k, 3.0);
  }
  print_speedup(rep, "ours/skip/utf16", "icu/skip/utf16", 0.5);
  for (const char *k : {"/latin1", "/al32utf8"})
    print_speedup(rep, std::string("ours/copy") + k, std::string("memcpy/copy") + k, 0.8);
  benchmark::Shutdown();
  return 0;
}
