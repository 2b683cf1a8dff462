// Runs the agent benchmarks and prints the registered time ratios.
#include <dlfcn.h>
#include <stdio.h>

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_ratio.h"

namespace {

struct Ratio {
    std::string ours, theirs;
    double target;
};

std::vector<Ratio>& ratios()
{
    static std::vector<Ratio> list;
    return list;
}

// Console output as usual, and the real time per iteration of every run.
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs)
            if (r.run_type == Run::RT_Iteration && r.iterations > 0)
                times[r.benchmark_name()] = r.GetAdjustedRealTime();
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

int bench_add_ratio(const char* ours, const char* theirs, double target)
{
    ratios().push_back(Ratio{ours, theirs, target});
    return 0;
}

QENAgMonitorFn bench_load_monitor(const char* module_path)
{
    void* handle = dlopen(module_path, RTLD_NOW | RTLD_LOCAL);
    if (handle == nullptr) {
        fprintf(stderr, "%s\n", dlerror());
        return nullptr;
    }
    void* sym = dlsym(handle, "process_monitor");
    if (sym == nullptr)
        fprintf(stderr, "%s: no process_monitor\n", module_path);
    return reinterpret_cast<QENAgMonitorFn>(sym);
}

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    if (benchmark::ReportUnrecognizedArguments(argc, argv))
        return 1;
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    printf("\n");
    for (const Ratio& r : ratios()) {
        auto ours = recorder.times.find(r.ours);
        auto theirs = recorder.times.find(r.theirs);
        if (ours == recorder.times.end() || theirs == recorder.times.end() || ours->second <= 0)
            continue;
        double ratio = theirs->second / ours->second;
        printf("ratio %s / %s = %.1f (target %.0f: %s)\n", r.theirs.c_str(), r.ours.c_str(),
               ratio, r.target, ratio >= r.target ? "met" : "NOT met");
    }
    return 0;
}
