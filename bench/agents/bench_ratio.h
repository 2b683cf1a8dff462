// Shared pieces of the agent benchmarks: ratios printed after the run,
// loading an agent's monitor from its module, the crowd of other processes
// a scan of /proc must pass over, and the pgrep run it is measured against.
#ifndef QEN_BENCH_RATIO_H
#define QEN_BENCH_RATIO_H

#include <sys/types.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "qenagfw.h"
#include "spawn.h"

// After all benchmarks ran, main prints time(theirs) / time(ours) for every
// registered pair, with the target it should reach: target among a crowd of
// another owner, same_owner_target when the crowd has the server's owner.
int bench_add_ratio(const char* ours, const char* theirs, double target, double same_owner_target);
#define QEN_BENCH_RATIO_CAT2(a, b) a##b
#define QEN_BENCH_RATIO_CAT(a, b) QEN_BENCH_RATIO_CAT2(a, b)
#define QEN_BENCH_RATIO(ours, theirs, target, same_owner_target)                \
    static const int QEN_BENCH_RATIO_CAT(qen_bench_ratio_, __LINE__) [[maybe_unused]] = \
        bench_add_ratio((ours), (theirs), (target), (same_owner_target))

// For the rows a ratio is taken of: each is run kBenchRepetitions times,
// iterations counted by real time on both sides (pgrep's work is in a child,
// so its CPU time says nothing), and the ratio compares the medians, so that
// a run that the machine slowed does not decide.
constexpr int kBenchRepetitions = 5;
void bench_repeated(benchmark::internal::Benchmark* b);

// The monitor of an agent module (dlopen, local symbols), or NULL with a
// message on stderr.
QENAgMonitorFn bench_load_monitor(const char* module_path);

// The servers' owner, and the owner of the crowd: another user (daemon), or
// with QEN_BENCH_CROWD_SAME_OWNER=1 the servers' owner itself, so that the
// scan must look at every process of the crowd.
constexpr uid_t kBenchOwnerUid = 65534;
constexpr const char* kBenchOwner = "nobody";
constexpr uid_t kBenchOtherUid = 1;
constexpr int kBenchCrowd = 1000;
uid_t bench_crowd_uid();

// kBenchCrowd sleeping processes "/opt/app/bin/worker -n I" of the crowd's
// owner, one crowd for every benchmark of the program (bench_crowd()). Get
// it before starting a server, so that the scan meets the crowd first.
class BenchCrowd {
public:
    BenchCrowd();
    BenchCrowd(const BenchCrowd&) = delete;
    BenchCrowd& operator=(const BenchCrowd&) = delete;
    const std::string& error() const { return error_; }
    // Empty when a scan of /proc meets every process of the crowd before
    // server; otherwise why not.
    std::string check_met_before(pid_t server) const;

private:
    std::vector<std::unique_ptr<SpawnedProcess>> procs_;
    std::string error_;
};
const BenchCrowd& bench_crowd();

// Runs pgrep -u OWNER -f PATTERN once, output dropped; its exit status (0:
// found), or -1.
int bench_run_pgrep(const char* owner, const std::string& pattern);

#endif
