// One psinfo record of another process: built alone, and served the way the
// agents read it (psinfo_open on the record's path, read the record, close).
#include <fcntl.h>
#include <sys/mman.h>
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

// The floor under a record: each /proc file it is built from read alone
// (open, read to the end, close), and the memfd that serves it.
void BM_ProcFileAlone(benchmark::State& state)
{
    static constexpr const char* names[] = {"stat", "status", "cmdline", "environ"};
    SpawnedProcess& p = process(false);
    if (!p.ok()) {
        state.SkipWithError(p.error().c_str());
        return;
    }
    const char* name = names[state.range(0)];
    state.SetLabel(name);
    std::string path = "/proc/" + std::to_string(p.pid()) + "/" + name;
    char buf[4096];
    for (auto _ : state) {
        int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
        if (fd < 0) {
            state.SkipWithError("cannot open the file");
            break;
        }
        while (read(fd, buf, sizeof buf) > 0) {
        }
        close(fd);
    }
}
BENCHMARK(BM_ProcFileAlone)->DenseRange(0, 3);

void BM_MemfdRecord(benchmark::State& state)
{
    psinfo_t rec = {};
    for (auto _ : state) {
        int fd = memfd_create("psinfo", MFD_CLOEXEC);
        if (fd < 0 || pwrite(fd, &rec, sizeof rec, 0) != static_cast<ssize_t>(sizeof rec) ||
            read(fd, &rec, sizeof rec) != static_cast<ssize_t>(sizeof rec)) {
            state.SkipWithError("memfd failed");
            break;
        }
        close(fd);
    }
}
BENCHMARK(BM_MemfdRecord);

} // namespace

BENCHMARK_MAIN();
