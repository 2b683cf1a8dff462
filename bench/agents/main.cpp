// Runs the agent benchmarks and prints the registered time ratios.
#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <set>

#include <map>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_ratio.h"

namespace {

struct Ratio {
    std::string ours, theirs;
    double target;
    double same_owner_target;
};

std::vector<Ratio>& ratios()
{
    static std::vector<Ratio> list;
    return list;
}

// Console output as usual, and the real time per iteration of every run, in
// seconds, by the benchmark's name; for a repeated run, the median's.
class Recorder : public benchmark::ConsoleReporter {
public:
    void ReportRuns(const std::vector<Run>& runs) override
    {
        for (const Run& r : runs) {
            const double seconds =
                r.GetAdjustedRealTime() / benchmark::GetTimeUnitMultiplier(r.time_unit);
            if (r.run_type == Run::RT_Iteration && r.iterations > 0) {
                times[r.run_name.function_name] = seconds;
            } else if (r.run_type == Run::RT_Aggregate && r.aggregate_name == "median" &&
                       !r.error_occurred) {
                times[r.run_name.function_name] = seconds;
            }
        }
        ConsoleReporter::ReportRuns(runs);
    }
    std::map<std::string, double> times;
};

} // namespace

void bench_repeated(benchmark::internal::Benchmark* b)
{
    b->Repetitions(kBenchRepetitions)->ReportAggregatesOnly(true)->UseRealTime();
}

int bench_add_ratio(const char* ours, const char* theirs, double target, double same_owner_target)
{
    ratios().push_back(Ratio{ours, theirs, target, same_owner_target});
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

uid_t bench_crowd_uid()
{
    const char* same = getenv("QEN_BENCH_CROWD_SAME_OWNER");
    return same != nullptr && strcmp(same, "1") == 0 ? kBenchOwnerUid : kBenchOtherUid;
}

namespace {

long read_number(const char* path)
{
    FILE* f = fopen(path, "r");
    if (f == nullptr)
        return -1;
    long v = -1;
    if (fscanf(f, "%ld", &v) != 1)
        v = -1;
    fclose(f);
    return v;
}

// Process ids are handed out upwards and wrap at pid_max. When the crowd and
// the servers would not fit below it, let the counter wrap first (short-lived
// children), so that the servers' ids come after the crowd's.
void make_room_for_pids(long needed)
{
    const long pid_max = read_number("/proc/sys/kernel/pid_max");
    long last = read_number("/proc/sys/kernel/ns_last_pid");
    if (pid_max <= 0 || last < 0 || pid_max - last > needed)
        return;
    // Until a child's id is below the one before it: the counter wrapped.
    for (;;) {
        pid_t pid = vfork();
        if (pid == 0)
            _exit(0);
        if (pid < 0)
            return;
        waitpid(pid, nullptr, 0);
        if (pid < last)
            return;
        last = pid;
    }
}

} // namespace

BenchCrowd::BenchCrowd()
{
    const uid_t uid = bench_crowd_uid();
    make_room_for_pids(2 * kBenchCrowd);
    for (int i = 0; i < kBenchCrowd; ++i) {
        procs_.push_back(std::make_unique<SpawnedProcess>(
            std::vector<std::string>{"/opt/app/bin/worker", "-n", std::to_string(i)},
            std::vector<std::string>{}, uid));
        if (!procs_.back()->ok()) {
            error_ = "cannot start the other processes: " + procs_.back()->error();
            return;
        }
    }
}

const BenchCrowd& bench_crowd()
{
    static BenchCrowd crowd;
    return crowd;
}

std::string BenchCrowd::check_met_before(pid_t server) const
{
    std::set<pid_t> left;
    for (const auto& p : procs_)
        left.insert(p->pid());
    DIR* dir = opendir("/proc");
    if (dir == nullptr)
        return "cannot read /proc";
    bool met_server = false;
    for (struct dirent* e; (e = readdir(dir)) != nullptr;) {
        pid_t pid = static_cast<pid_t>(atoi(e->d_name));
        if (pid == server)
            met_server = true;
        else if (left.erase(pid) == 1 && met_server)
            break;
    }
    closedir(dir);
    if (!met_server)
        return "the server is not in /proc";
    if (!left.empty())
        return "the scan meets the server before " + std::to_string(left.size()) +
               " processes of the crowd";
    return "";
}

int bench_run_pgrep(const char* owner, const std::string& pattern)
{
    const char* argv[] = {"pgrep", "-u", owner, "-f", pattern.c_str(), nullptr};
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int null_fd = open("/dev/null", O_WRONLY);
        if (null_fd >= 0)
            dup2(null_fd, STDOUT_FILENO);
        execvp("pgrep", const_cast<char**>(argv));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

int main(int argc, char** argv)
{
    // The repetitions of the rows run interleaved in a random order (unless
    // the command line says otherwise), so that a change in the machine's
    // load during the run falls on both sides of a ratio alike.
    static char interleave[] = "--benchmark_enable_random_interleaving=true";
    std::vector<char*> args(argv, argv + argc);
    bool given = false;
    for (char* a : args)
        given |= strncmp(a, interleave, strlen("--benchmark_enable_random_interleaving")) == 0;
    if (!given)
        args.insert(args.begin() + 1, interleave);
    int nargs = static_cast<int>(args.size());
    args.push_back(nullptr);
    benchmark::Initialize(&nargs, args.data());
    if (benchmark::ReportUnrecognizedArguments(nargs, args.data()))
        return 1;
    Recorder recorder;
    benchmark::RunSpecifiedBenchmarks(&recorder);
    benchmark::Shutdown();
    printf("\ncrowd of %d processes owned by %s\n", kBenchCrowd,
           bench_crowd_uid() == kBenchOwnerUid ? "the servers' owner" : "another user");
    for (const Ratio& r : ratios()) {
        auto ours = recorder.times.find(r.ours);
        auto theirs = recorder.times.find(r.theirs);
        if (ours == recorder.times.end() || theirs == recorder.times.end() || ours->second <= 0)
            continue;
        double ratio = theirs->second / ours->second;
        double target = bench_crowd_uid() == kBenchOwnerUid ? r.same_owner_target : r.target;
        printf("ratio %s / %s = %.1f (target %.0f: %s)\n", r.theirs.c_str(), r.ours.c_str(),
               ratio, target, ratio >= target ? "met" : "NOT met");
    }
    return 0;
}
