// Message lookup: a message handle with every block held in its cache area
// (lmsagbf) against catgets on a catalogue that gencat compiled from the same
// texts. Both fetch the same pseudo-random sequence of message numbers.
#include <benchmark/benchmark.h>
#include <nl_types.h>
#include <stdlib.h>
#include <unistd.h>

#include <cstdio>
#include <string>
#include <vector>

#include "lms.h"
#include "lxh.h"
#include "lxz.h"
#include "msbw.h"

namespace {

constexpr int kMessages = 2000;

std::string text_of(int n) { return "message text number " + std::to_string(n) + " of the bench"; }

struct Fixture {
  std::string dir, msb, cat;
  lxglo glo{};
  lxlangid lang{};
  lmshnd h{};
  std::vector<void *> area;
  nl_catd catd = reinterpret_cast<nl_catd>(-1);
  std::vector<int> seq;

  Fixture() {
    char t[] = "/tmp/lmsbenchXXXXXX";
    dir = mkdtemp(t);
    msb = dir + "/bench.msb";
    cat = dir + "/bench.cat";
    msbw::Desc d;
    std::string src = "$set 1\n";
    for (int n = 1; n <= kMessages; ++n) {
      d.messages[static_cast<uint16_t>(n)] = {0, text_of(n)};
      src += std::to_string(n) + " " + text_of(n) + "\n";
    }
    std::vector<uint8_t> bytes;
    std::string err;
    if (!msbw::build(d, bytes, err) || !msbw::write_file(msb, bytes)) std::abort();
    FILE *f = std::fopen((dir + "/bench.msg").c_str(), "w");
    std::fputs(src.c_str(), f);
    std::fclose(f);
    std::string cmd = "gencat " + cat + " " + dir + "/bench.msg";
    if (std::system(cmd.c_str()) != 0) std::abort();
    catd = catopen(cat.c_str(), 0);

    unsetenv("ZUR_NLS10");
    lxzinit();
    uint32_t st = 0;
    lxinitc(&glo, lxlinit(nullptr, 1, &st), nullptr, 0);
    lxhLaToId("AMERICAN_AMERICA.US7ASCII", 0, &lang, 0, &glo);
    size_t mc = 0;
    lmsaicmt(&h, nullptr, "BENCH", "BN", 0, &lang, &glo, &mc, nullptr, msb.c_str(), 0, nullptr);
    area.resize(mc / sizeof(void *) + 1);
    lmsacin(area.data(), mc, 1);
    lmsacbn(&h, area.data(), 1);
    unsigned r = 7;
    for (int i = 0; i < 4096; ++i) {
      r = r * 1103515245u + 12345u;
      seq.push_back(1 + static_cast<int>((r >> 8) % kMessages));
    }
  }
};

Fixture &fx() {
  static Fixture f;
  return f;
}

void BM_lmsagbf_cached(benchmark::State &state) {
  Fixture &f = fx();
  if (f.h.msg_state != LMS_PCACHED) state.SkipWithError("area not fully cached");
  char buf[256];
  size_t i = 0;
  for (auto _ : state) {
    lmsagbf(&f.h, f.seq[i++ & 4095], buf, sizeof buf);
    benchmark::DoNotOptimize(buf);
  }
}
BENCHMARK(BM_lmsagbf_cached);

void BM_lmsagbf_file(benchmark::State &state) {
  Fixture &f = fx();
  lmshnd h;
  lmsaicmt(&h, nullptr, "BENCH", "BN", 0, &f.lang, &f.glo, nullptr, nullptr, f.msb.c_str(), 0,
           nullptr);
  char buf[256];
  size_t i = 0;
  for (auto _ : state) {
    lmsagbf(&h, f.seq[i++ & 4095], buf, sizeof buf);
    benchmark::DoNotOptimize(buf);
  }
  lmsatrm(&h);
}
BENCHMARK(BM_lmsagbf_file);

void BM_catgets(benchmark::State &state) {
  Fixture &f = fx();
  if (f.catd == reinterpret_cast<nl_catd>(-1)) state.SkipWithError("catopen failed");
  char buf[256];
  size_t i = 0;
  for (auto _ : state) {
    // the same work as lmsagbf: find the text and copy it into the caller's buffer
    const char *s = catgets(f.catd, 1, f.seq[i++ & 4095], "");
    std::snprintf(buf, sizeof buf, "%s", s);
    benchmark::DoNotOptimize(buf);
  }
}
BENCHMARK(BM_catgets);

}  // namespace

BENCHMARK_MAIN();
