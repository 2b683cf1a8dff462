// A whole run of the health probe on an open instance, against a minimal
// program that maps the health file and prints: process start, kit
// bring-up, mapping, snapshot with the liveness test, verdict.
#include <fcntl.h>
#include <spawn.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include <benchmark/benchmark.h>

#include "gimh.h"
#include "psinfo.h"
#include "vsnnum.h"

extern char **environ;

namespace {

const std::string &home() {
  static std::string h = [] {
    char tmpl[] = "/tmp/qen_probebench_XXXXXX";
    std::string dir = mkdtemp(tmpl);
    mkdir((dir + "/dbs").c_str(), 0755);
    gimh_region r{};
    r.magic = r.magic2 = GIMH_MAGIC;
    r.version = vsnnum;
    r.flags = GIMH_FLG_READY;
    r.pid.pid = getpid();
    psinfo_t ps;
    if (psinfo_build(getpid(), &ps) == 0) r.pid.stime = static_cast<decltype(r.pid.stime)>(ps.pr_start.tv_sec);
    for (auto &rec : r.rec) memset(rec.state, 1, sizeof rec.state);
    r.rec[0].state[GIMH_EV_OPEN] = 2;
    int fd = open((dir + "/dbs/hc_bench.dat").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    if (fd < 0 || write(fd, &r, sizeof r) != static_cast<ssize_t>(sizeof r)) abort();
    close(fd);
    atexit([] {
      std::string d = getenv("VIRUZE_HOME");
      unlink((d + "/dbs/hc_bench.dat").c_str());
      rmdir((d + "/dbs").c_str());
      rmdir(d.c_str());
    });
    setenv("VIRUZE_HOME", dir.c_str(), 1);
    setenv("VIRUZE_SID", "bench", 1);
    return dir;
  }();
  return h;
}

void run_program(benchmark::State &state, const char *path) {
  home();
  posix_spawn_file_actions_t fa;
  posix_spawn_file_actions_init(&fa);
  posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
  char *argv[] = {const_cast<char *>(path), nullptr};
  for (auto _ : state) {
    pid_t pid;
    if (posix_spawn(&pid, path, &fa, nullptr, argv, environ) != 0) {
      state.SkipWithError("spawn failed");
      break;
    }
    int status = 0;
    waitpid(pid, &status, 0);
    if (!WIFEXITED(status) || WEXITSTATUS(status) != 110) {
      state.SkipWithError("the program did not report an open instance");
      break;
    }
  }
  posix_spawn_file_actions_destroy(&fa);
}

void BM_HealthProbe(benchmark::State &state) { run_program(state, QEN_HEALTHPROBE); }
BENCHMARK(BM_HealthProbe)->Unit(benchmark::kMicrosecond);

void BM_MapAndPrint(benchmark::State &state) { run_program(state, QEN_MAPPRINT); }
BENCHMARK(BM_MapAndPrint)->Unit(benchmark::kMicrosecond);

}  // namespace
BENCHMARK_MAIN();
