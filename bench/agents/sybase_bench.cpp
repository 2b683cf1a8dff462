// The data-server monitor against pgrep, with 1,000 other processes present
// (of another owner, or with QEN_BENCH_CROWD_SAME_OWNER=1 of the server's
// owner): one cycle that finds the server through its cookie,
// one that scans /proc for it, and the command an administrator's script
// runs instead: pgrep -u OWNER -f 'dataserver.*-sSRV1'.
#include <fcntl.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "bench_ratio.h"
#include "qenagfw_test.h"
#include "spawn.h"

namespace {

constexpr uid_t kOwnerUid = 65534;
constexpr const char* kOwner = "nobody";
constexpr uid_t kCrowdUid = 1; // the other processes' owner (daemon)
constexpr int kCrowd = 1000;

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
        strings_ = {"Server",   "1", server_name, "Owner",   "1", kOwner, "Home",  "1",
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
        server_name = "BENCHSRV" + std::to_string(getpid());
        // QEN_BENCH_CROWD_SAME_OWNER=1: the other processes belong to the
        // server's owner, so that the scan reads every one's record.
        const char* same = getenv("QEN_BENCH_CROWD_SAME_OWNER");
        uid_t crowd_uid = same != nullptr && strcmp(same, "1") == 0 ? kOwnerUid : kCrowdUid;
        for (int i = 0; i < kCrowd; ++i) {
            crowd_.push_back(std::make_unique<SpawnedProcess>(
                std::vector<std::string>{"/opt/app/bin/worker", "-n", std::to_string(i)},
                std::vector<std::string>{}, crowd_uid));
            if (!crowd_.back()->ok()) {
                error = "cannot start the other processes: " + crowd_.back()->error();
                return;
            }
        }
        // Started last: the scan meets it after the others.
        server_ = std::make_unique<SpawnedProcess>(
            std::vector<std::string>{"/opt/sybase/ASE-15_0/bin/dataserver", "-d/dev/master",
                                     "-s" + server_name, "-e/var/log/ase.log"},
            std::vector<std::string>{}, kOwnerUid);
        if (!server_->ok())
            error = "cannot start the server: " + server_->error();
        if (monitor == nullptr)
            error = "cannot load the data-server monitor";
    }

    std::vector<std::unique_ptr<SpawnedProcess>> crowd_;
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
BENCHMARK(BM_DataServerCycleFullScan);

void BM_PgrepRun(benchmark::State& state)
{
    SybaseBenchEnv* ready = ready_env(state);
    if (ready == nullptr)
        return;
    SybaseBenchEnv& env = *ready;
    std::string pattern = "dataserver.*-s" + env.server_name;
    char* argv[] = {const_cast<char*>("pgrep"), const_cast<char*>("-u"),
                    const_cast<char*>(kOwner),  const_cast<char*>("-f"),
                    pattern.data(),             nullptr};
    for (auto _ : state) {
        pid_t pid = vfork();
        if (pid == 0) {
            int null_fd = open("/dev/null", O_WRONLY);
            dup2(null_fd, 1);
            execvp("pgrep", argv);
            _exit(127);
        }
        if (pid < 0) {
            state.SkipWithError("cannot run pgrep");
            break;
        }
        int status = 0;
        waitpid(pid, &status, 0);
        if (!WIFEXITED(status) || WEXITSTATUS(status) != 0) {
            state.SkipWithError("pgrep did not find the server");
            break;
        }
    }
}
BENCHMARK(BM_PgrepRun);

QEN_BENCH_RATIO("BM_DataServerCycleCookieHit", "BM_PgrepRun", 100);
QEN_BENCH_RATIO("BM_DataServerCycleFullScan", "BM_PgrepRun", 5);

} // namespace
