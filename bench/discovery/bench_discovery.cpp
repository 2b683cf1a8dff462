// Discovery of 1, 4 and 10 MB of script output through the plug-in, against
// what a caller would write instead: popen the same script and read its
// output into a std::string. Both run the same perl script and are timed by
// the wall clock (the script runs in another process); bytes/s that stay
// flat across the sizes show the cost grows linearly with the output.
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <string>

#include <benchmark/benchmark.h>

#include "attrdiscovery_host.h"

namespace {

const AttrDiscoveryApi &api() {
  static const AttrDiscoveryApi loaded = [] {
    AttrDiscoveryApi a;
    if (!attrdiscovery_load(ATTRDISCOVERY_SO, &a)) {
      std::fprintf(stderr, "dlopen: %s\n", dlerror());
      std::exit(1);
    }
    setenv("QEN_ATTRSCAN_SCRIPT", BIG_SCRIPT, 1);
    return a;
  }();
  return loaded;
}

std::string attribute(benchmark::State &state) {
  return "Listeners_" + std::to_string(state.range(0) << 20);
}

void BM_Plugin(benchmark::State &state) {
  const AttrDiscoveryApi &a = api();
  std::string name = attribute(state);
  int count = 0;
  for (auto _ : state) {
    char *doc = a.values(&count, name.c_str());
    benchmark::DoNotOptimize(doc);
    a.release(doc);
  }
  state.counters["values"] = count;
  state.SetBytesProcessed(state.iterations() * (state.range(0) << 20));
}

void BM_PopenRead(benchmark::State &state) {
  std::string command = std::string(BIG_SCRIPT) + " -" + attribute(state);
  std::size_t got = 0;
  for (auto _ : state) {
    FILE *p = popen(command.c_str(), "r");
    std::string text;
    char buf[65536];
    ssize_t n;
    while ((n = read(fileno(p), buf, sizeof buf)) > 0) text.append(buf, static_cast<std::size_t>(n));
    pclose(p);
    got = text.size();
    benchmark::DoNotOptimize(text.data());
  }
  state.counters["bytes"] = static_cast<double>(got);
  state.SetBytesProcessed(state.iterations() * (state.range(0) << 20));
}

BENCHMARK(BM_Plugin)->Arg(1)->Arg(4)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PopenRead)->Arg(1)->Arg(4)->Arg(10)->Unit(benchmark::kMillisecond)->UseRealTime();

}  // namespace

BENCHMARK_MAIN();
