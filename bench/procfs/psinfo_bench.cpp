// One psinfo record of another process: built alone, and served the way the
// agents read it (open the seam path, read the record, close).
#include <fcntl.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "psinfo.h"
#include "spawn.h"

namespace {

// A worker like the agents' neighbours, and one whose command line and
// environment are far longer than a record holds.
SpawnedProcess& process(bool large)
{
    static std::unique_ptr<SpawnedProcess> small, big;
    std::unique_ptr<SpawnedProcess>& p = large ? big : small;
    if (!p) {
        if (large) {
            std::vector<std::string> argv = {"/opt/app/bin/worker"};
            for (int i = 0; i < 500; ++i)
                argv.push_back("--option-number-" + std::to_string(i));
            std::vector<std::string> env;
            for (int i = 0; i < 500; ++i)
                env.push_back("QEN_BENCH_FILLER_" + std::to_string(i) + "=" + std::string(40, 'x'));
            env.push_back("QEN_ZONEID=3");
            p = std::make_unique<SpawnedProcess>(argv, env);
        } else {
            p = std::make_unique<SpawnedProcess>(
                std::vector<std::string>{"/opt/app/bin/worker", "-n", "17"});
        }
    }
    return *p;
}

void BM_PsinfoBuild(benchmark::State& state)
{
    SpawnedProcess& p = process(state.range(0) != 0);
    if (!p.ok()) {
        state.SkipWithError(p.error().c_str());
        return;
    }
    psinfo_t rec;
    for (auto _ : state) {
        if (psinfo_build(p.pid(), &rec) != 0) {
            state.SkipWithError("psinfo_build failed");
            break;
        }
        benchmark::DoNotOptimize(rec);
    }
}
BENCHMARK(BM_PsinfoBuild)->ArgName("large")->Arg(0)->Arg(1);

void BM_PsinfoOpenRead(benchmark::State& state)
{
    SpawnedProcess& p = process(state.range(0) != 0);
    if (!p.ok()) {
        state.SkipWithError(p.error().c_str());
        return;
    }
    std::string path = "/proc/" + std::to_string(p.pid()) + "/psinfo";
    psinfo_t rec;
    for (auto _ : state) {
        int fd = psinfo_open(path.c_str(), O_RDONLY);
        if (fd < 0 || read(fd, &rec, sizeof rec) != static_cast<ssize_t>(sizeof rec)) {
            state.SkipWithError("psinfo_open/read failed");
            break;
        }
        close(fd);
        benchmark::DoNotOptimize(rec);
    }
}
BENCHMARK(BM_PsinfoOpenRead)->ArgName("large")->Arg(0)->Arg(1);

} // namespace

BENCHMARK_MAIN();
