// The listener monitor against pgrep -u OWNER -f '<Home>/bin/vuzlsnr LISTENER',
// among the same crowd of 1,000 other processes as the data server's bench
// (started before the listener, another owner's unless
// QEN_BENCH_CROWD_SAME_OWNER=1): one cycle that the cookie answers, and one
// that scans /proc. No debug traces, as an agent writes by default.
#include <stdlib.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Netlsnr.h"
#include "bench_ratio.h"
#include "qenagfw_test.h"
#include "spawn.h"

namespace {

class ListenerWorld {
public:
    static ListenerWorld& get()
    {
        static ListenerWorld w;
        return w;
    }

    std::string pattern;
    std::string error;

    int cycle()
    {
        QENAgTestSetResource(&res_);
        int confidence = 0;
        int state = netlsnr_monitor(res_.name.c_str(), attrs_.data(), &confidence);
        QENAgTestSetResource(nullptr);
        QENAgTestTakeLog(); // the log lines are part of the cycle's cost
        return state;
    }
    // Forget the process, as after a restart: the next cycle scans /proc.
    void forget()
    {
        void* value = QENAgGetCookie(cookie_.c_str());
        QENAgSetCookie(cookie_.c_str(), nullptr);
        free(value);
    }

private:
    ListenerWorld()
    {
        const std::string home = "/tmp/qenbench" + std::to_string(getpid()) + "/viruze";
        pattern = home + "/bin/vuzlsnr LISTENER";
        const BenchCrowd& crowd = bench_crowd(); // started first
        if (!crowd.error().empty()) {
            error = crowd.error();
            return;
        }
        listener_ = std::make_unique<SpawnedProcess>(
            std::vector<std::string>{home + "/bin/vuzlsnr", "LISTENER", "-inherit"},
            std::vector<std::string>{}, kBenchOwnerUid);
        if (!listener_->ok()) {
            error = "cannot start the listener: " + listener_->error();
            return;
        }
        error = crowd.check_met_before(listener_->pid());
        strings_ = {"Owner", "1", kBenchOwner, "Home", "1", home};
        for (std::string& s : strings_)
            attrs_.push_back(s.data());
        attrs_.push_back(nullptr);
        res_.name = "benchlsnr";
        cookie_ = "7:vuzlsnr9:benchlsnr8:LISTENER";
    }

    std::unique_ptr<SpawnedProcess> listener_;
    std::vector<std::string> strings_;
    std::vector<char*> attrs_;
    QENAgTestResource res_;
    std::string cookie_;
};

ListenerWorld* ready_world(benchmark::State& state)
{
    QENAgTestSetDebugLevels(0);
    ListenerWorld& w = ListenerWorld::get();
    if (!w.error.empty()) {
        state.SkipWithError(w.error.c_str());
        return nullptr;
    }
    return &w;
}

template <bool kFullScan>
void listener_cycle(benchmark::State& state)
{
    ListenerWorld* w = ready_world(state);
    if (w == nullptr)
        return;
    w->forget();
    if (w->cycle() != QENAG_ONLINE) {
        state.SkipWithError("listener not found");
        return;
    }
    for (auto _ : state) {
        if (kFullScan)
            w->forget();
        if (w->cycle() != QENAG_ONLINE) {
            state.SkipWithError("listener lost");
            break;
        }
    }
}

void BM_ListenerCycleCookieHit(benchmark::State& state)
{
    listener_cycle<false>(state);
}
BENCHMARK(BM_ListenerCycleCookieHit);

void BM_ListenerCycleFullScan(benchmark::State& state)
{
    listener_cycle<true>(state);
}
BENCHMARK(BM_ListenerCycleFullScan)->Unit(benchmark::kMicrosecond)->Apply(bench_repeated);

void BM_PgrepListener(benchmark::State& state)
{
    ListenerWorld* w = ready_world(state);
    if (w == nullptr)
        return;
    for (auto _ : state) {
        if (bench_run_pgrep(kBenchOwner, w->pattern) != 0) {
            state.SkipWithError("pgrep did not find the listener");
            break;
        }
    }
}
BENCHMARK(BM_PgrepListener)->Unit(benchmark::kMicrosecond)->Apply(bench_repeated);

QEN_BENCH_RATIO("BM_ListenerCycleCookieHit", "BM_PgrepListener", 100, 100);
// A crowd of the server's owner costs a command-line read each: the scan
// stays cheaper than pgrep, and far cheaper than the record per process it
// used to build.
QEN_BENCH_RATIO("BM_ListenerCycleFullScan", "BM_PgrepListener", 25, 2);

} // namespace
