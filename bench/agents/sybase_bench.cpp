// The data-server monitor against pgrep -u OWNER -f 'dataserver.*-sSRV', among
// a crowd of 1,000 other processes (another owner's, or with
// QEN_BENCH_CROWD_SAME_OWNER=1 the server's owner's) started before the
// server, so that a scan meets the crowd first: one cycle that finds the
// server through its cookie, and one that scans /proc for it. The monitor
// writes no debug traces, as an agent does by default. Every cycle runs on
// the benchmark's one thread, as the framework runs a resource's cycles on
// the resource's own monitor thread.
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_ratio.h"
#include "qenagfw_test.h"
#include "spawn.h"

namespace {

class SybaseBenchEnv {
public:
    static SybaseBenchEnv& get()
    {
        static SybaseBenchEnv env;
        return env;
    }

    QENAgMonitorFn monitor = nullptr;
    std::string server_name;
    std::string error;

    // The attribute vector of a resource that monitors the server.
    char** attrs()
    {
        strings_ = {"Server",   "1", server_name, "Owner",   "1", kBenchOwner, "Home",  "1",
                    "/opt/sybase", "Version", "1", "15.0",  "SA",      "1", "sa",   "SApswd",
                    "1",        "x", "User",     "1",     "probe",   "UPword", "1",  "pw",
                    "Db",       "1", "master", "Table",  "1",     "t",       "Monscript", "1",
                    "/bin/true", "DetailMonitor", "1", "0"};
        ptrs_.clear();
        for (std::string& s : strings_)
            ptrs_.push_back(s.data());
        ptrs_.push_back(nullptr);
        return ptrs_.data();
    }

private:
    SybaseBenchEnv()
    {
        monitor = bench_load_monitor(QEN_BENCH_MODULE_SYBASE);
        if (monitor == nullptr) {
            error = "cannot load the data-server monitor";
            return;
        }
        server_name = "BENCHSRV" + std::to_string(getpid());
        const BenchCrowd& crowd = bench_crowd(); // started first
        if (!crowd.error().empty()) {
            error = crowd.error();
            return;
        }
        server_ = std::make_unique<SpawnedProcess>(
            std::vector<std::string>{"/opt/sybase/ASE-15_0/bin/dataserver", "-d/dev/master",
                                     "-s" + server_name, "-e/var/log/ase.log"},
            std::vector<std::string>{}, kBenchOwnerUid);
        if (!server_->ok()) {
            error = "cannot start the server: " + server_->error();
            return;
        }
        error = crowd.check_met_before(server_->pid());
    }

    std::unique_ptr<SpawnedProcess> server_;
    std::vector<std::string> strings_;
    std::vector<char*> ptrs_;
};

int run_cycle(SybaseBenchEnv& env, const char* res, char** attrs)
{
    int confidence = 0;
    int state = env.monitor(res, attrs, &confidence);
    QENAgTestTakeLog(); // the log lines are part of the cycle's cost
    return state;
}

// The environment, or nullptr when it could not be set up (the benchmark is
// then skipped with the reason).
SybaseBenchEnv* ready_env(benchmark::State& state)
{
    QENAgTestSetDebugLevels(0);
    SybaseBenchEnv& env = SybaseBenchEnv::get();
    if (!env.error.empty()) {
        state.SkipWithError(env.error.c_str());
        return nullptr;
    }
    return &env;
}

void BM_DataServerCycleCookieHit(benchmark::State& state)
{
    SybaseBenchEnv* ready = ready_env(state);
    if (ready == nullptr)
        return;
    SybaseBenchEnv& env = *ready;
    QENAgTestResource res;
    res.name = "bench_cookie";
    QENAgTestSetResource(&res);
    char** attrs = env.attrs();
    if (run_cycle(env, res.name.c_str(), attrs) != QENAG_ONLINE) {
        state.SkipWithError("the server is not found");
        return;
    }
    for (auto _ : state) {
        if (run_cycle(env, res.name.c_str(), attrs) != QENAG_ONLINE) {
            state.SkipWithError("the server was lost");
            break;
        }
    }
    QENAgTestSetResource(nullptr);
}
BENCHMARK(BM_DataServerCycleCookieHit);

void BM_DataServerCycleFullScan(benchmark::State& state)
{
    SybaseBenchEnv* ready = ready_env(state);
    if (ready == nullptr)
        return;
    SybaseBenchEnv& env = *ready;
    QENAgTestResource res;
    res.name = "bench_scan";
    QENAgTestSetResource(&res);
    char** attrs = env.attrs();
    const std::string cookie = "dataserver" + res.name;
    for (auto _ : state) {
        // Forget the process, as after a restart: the cycle scans /proc.
        void* old = QENAgGetCookie(cookie.c_str());
        QENAgSetCookie(cookie.c_str(), nullptr);
        free(old);
        if (run_cycle(env, res.name.c_str(), attrs) != QENAG_ONLINE) {
            state.SkipWithError("the server is not found");
            break;
        }
    }
    QENAgTestSetResource(nullptr);
}
BENCHMARK(BM_DataServerCycleFullScan)->Unit(benchmark::kMicrosecond)->Apply(bench_repeated);

void BM_PgrepDataServer(benchmark::State& state)
{
    SybaseBenchEnv* ready = ready_env(state);
    if (ready == nullptr)
        return;
    const std::string pattern = "dataserver.*-s" + ready->server_name;
    for (auto _ : state) {
        if (bench_run_pgrep(kBenchOwner, pattern) != 0) {
            state.SkipWithError("pgrep did not find the server");
            break;
        }
    }
}
BENCHMARK(BM_PgrepDataServer)->Unit(benchmark::kMicrosecond)->Apply(bench_repeated);

QEN_BENCH_RATIO("BM_DataServerCycleCookieHit", "BM_PgrepDataServer", 100, 100);
// A crowd of the server's owner costs a command-line read each: the scan
// stays cheaper than pgrep, and far cheaper than the record per process it
// used to build.
QEN_BENCH_RATIO("BM_DataServerCycleFullScan", "BM_PgrepDataServer", 25, 2);

} // namespace
