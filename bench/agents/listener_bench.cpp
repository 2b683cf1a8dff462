// The listener agent's monitor cycle against `pgrep -u OWNER -f
// '<Home>/bin/vuzlsnr LISTENER'` run as a process, with 1,000 other
// processes present: the cycle that the cookie answers, and the full scan of
// /proc. Each listener benchmark reports x_pgrep, the time of one pgrep run
// divided by the time of one cycle (above 1: the cycle is faster).
#include <fcntl.h>
#include <stdlib.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "Netlsnr.h"
#include "qenagfw_test.h"
#include "spawn.h"

namespace {

constexpr int kOtherProcesses = 1000;

struct ListenerWorld {
    std::string home;
    std::string pattern;
    std::unique_ptr<SpawnedProcess> listener;
    std::vector<std::unique_ptr<SpawnedProcess>> others;
    std::vector<std::string> attr_strings;
    std::vector<char*> attrs;
    QENAgTestResource res;
    std::string cookie;
    double pgrep_ns = 0; // one pgrep run, median
    double hit_ns = 0, scan_ns = 0;

    ListenerWorld()
    {
        home = "/tmp/qenbench" + std::to_string(getpid()) + "/viruze";
        pattern = home + "/bin/vuzlsnr LISTENER";
        listener = std::make_unique<SpawnedProcess>(
            std::vector<std::string>{home + "/bin/vuzlsnr", "LISTENER", "-inherit"});
        for (int i = 0; i < kOtherProcesses; ++i)
            others.push_back(std::make_unique<SpawnedProcess>(std::vector<std::string>{
                "/usr/local/bin/worker" + std::to_string(i), "-n", std::to_string(i)}));
        attr_strings = {"Owner", "1", "root", "Home", "1", home};
        for (std::string& s : attr_strings)
            attrs.push_back(s.data());
        attrs.push_back(nullptr);
        res.name = "benchlsnr";
        cookie = "7:vuzlsnr9:benchlsnr8:LISTENER";
    }
    ~ListenerWorld()
    {
        if (pgrep_ns > 0 && hit_ns > 0 && scan_ns > 0)
            std::printf("listener vs pgrep: cookie-hit cycle %.1fx faster, full scan %.2fx "
                        "(pgrep %.0f us, hit %.1f us, scan %.0f us)\n",
                        pgrep_ns / hit_ns, pgrep_ns / scan_ns, pgrep_ns / 1e3, hit_ns / 1e3,
                        scan_ns / 1e3);
    }
    bool ok() const
    {
        if (!listener->ok())
            return false;
        return std::all_of(others.begin(), others.end(), [](auto& p) { return p->ok(); });
    }
    int cycle()
    {
        QENAgTestSetResource(&res);
        int confidence = 0;
        int state = netlsnr_monitor(res.name.c_str(), attrs.data(), &confidence);
        QENAgTestSetResource(nullptr);
        QENAgTestTakeLog(); // the logs would go to files; keep memory flat
        return state;
    }
    void forget()
    {
        void* value = QENAgGetCookie(cookie.c_str());
        QENAgSetCookie(cookie.c_str(), nullptr);
        free(value);
    }
};

ListenerWorld& world()
{
    static ListenerWorld w;
    return w;
}

// Runs pgrep once; its exit status (0: found).
int run_pgrep(const ListenerWorld& w)
{
    const char* argv[] = {"pgrep", "-u", "root", "-f", w.pattern.c_str(), nullptr};
    pid_t pid = fork();
    if (pid < 0)
        return -1;
    if (pid == 0) {
        int null = open("/dev/null", O_WRONLY);
        if (null >= 0)
            dup2(null, STDOUT_FILENO);
        execvp("pgrep", const_cast<char**>(argv));
        _exit(127);
    }
    int status = 0;
    waitpid(pid, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

double pgrep_reference(ListenerWorld& w)
{
    if (w.pgrep_ns == 0) {
        std::vector<double> t;
        for (int i = 0; i < 11; ++i) {
            auto t0 = std::chrono::steady_clock::now();
            run_pgrep(w);
            t.push_back(std::chrono::duration<double, std::nano>(
                            std::chrono::steady_clock::now() - t0)
                            .count());
        }
        std::sort(t.begin(), t.end());
        w.pgrep_ns = t[t.size() / 2];
    }
    return w.pgrep_ns;
}

template <bool kFullScan>
void listener_cycle(benchmark::State& state)
{
    ListenerWorld& w = world();
    if (!w.ok()) {
        state.SkipWithError("could not start the processes");
        return;
    }
    w.forget();
    if (w.cycle() != 1) {
        state.SkipWithError("listener not found");
        return;
    }
    auto t0 = std::chrono::steady_clock::now();
    for (auto _ : state) {
        if (kFullScan)
            w.forget();
        benchmark::DoNotOptimize(w.cycle());
    }
    double ns = std::chrono::duration<double, std::nano>(std::chrono::steady_clock::now() - t0)
                    .count() /
                static_cast<double>(state.iterations());
    (kFullScan ? w.scan_ns : w.hit_ns) = ns;
    state.counters["x_pgrep"] = pgrep_reference(w) / ns;
}

void BM_ListenerCookieHit(benchmark::State& state)
{
    listener_cycle<false>(state);
}
BENCHMARK(BM_ListenerCookieHit);

void BM_ListenerFullScan(benchmark::State& state)
{
    listener_cycle<true>(state);
}
BENCHMARK(BM_ListenerFullScan)->Unit(benchmark::kMillisecond);

void BM_PgrepListener(benchmark::State& state)
{
    ListenerWorld& w = world();
    if (!w.ok() || run_pgrep(w) != 0) {
        state.SkipWithError("pgrep did not find the listener");
        return;
    }
    for (auto _ : state)
        benchmark::DoNotOptimize(run_pgrep(w));
}
BENCHMARK(BM_PgrepListener)->Unit(benchmark::kMillisecond);

} // namespace
