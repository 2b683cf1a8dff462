// Post-wait against what a user would use instead: a ping-pong between two
// processes over post-wait, over a bare System V semaphore pair and over a
// futex; and one vector post to 1,000 targets against 1,000 single posts.
// The ratios are what to read.
#include <linux/futex.h>
#include <signal.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/prctl.h>
#include <sys/sem.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <vector>

#include <benchmark/benchmark.h>

#include "skgp.h"
#include "skgpw.h"

namespace {

skgp_ops g_ops{};

struct Shared {
  skgpw_shared_ctx pw;
  std::atomic<int> stop;
  std::atomic<uint32_t> futex_word;
};

Shared *shared_area() {
  void *p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS,
                 -1, 0);
  return new (p) Shared{};
}

skgpw_wid bench_wid() {
  skgpw_wid w{};
  std::string name = "qen-pw-bench-" + std::to_string(getpid());
  memcpy(w.name, name.data(), name.size());
  w.length = name.size();
  return w;
}

void reap(pid_t pid) {
  int st;
  while (waitpid(pid, &st, 0) < 0 && errno == EINTR) {
  }
}

void BM_PingPong_PostWait(benchmark::State &state) {
  Shared *sh = shared_area();
  skgpw_wid wid = bench_wid();
  skgp_ctx ctx;
  slos_error err{};
  skgpinit(&err, &ctx, &g_ops, nullptr, 0);
  skgp_oswid own{};
  if (!skgpwinit(&err, &ctx, &sh->pw, &wid, &own, 0, 2, SKGPW_INIT_CREATE)) {
    state.SkipWithError("skgpwinit");
    return;
  }
  skgp_oswid peer{0, sh->pw.semids[0], static_cast<int32_t>(sh->pw.key_overhead + 1)};
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    slos_error e{};
    skgpreset(&e, &ctx);
    skgp_ctx c;
    skgpinit(&e, &c, &g_ops, nullptr, 0);
    skgp_oswid mine{};
    skgpwinit(&e, &c, &sh->pw, &wid, &mine, 1, 0, 0);
    for (;;) {
      skgpwwait(&e, &c, 0, SKGPW_WAIT_FOREVER);
      if (sh->stop.load()) _exit(0);
      skgpwpost(&e, &c, &own, 0);
    }
  }
  for (auto _ : state) {
    skgpwpost(&err, &ctx, &peer, 0);
    skgpwwait(&err, &ctx, 0, SKGPW_WAIT_FOREVER);
  }
  sh->stop.store(1);
  skgpwpost(&err, &ctx, &peer, 0);
  reap(pid);
  skgpwreset(&err, &ctx, &sh->pw);
  skgpreset(&err, &ctx);
  munmap(sh, sizeof *sh);
}
BENCHMARK(BM_PingPong_PostWait)->UseRealTime();

void BM_PingPong_SysVSemaphore(benchmark::State &state) {
  int id = semget(IPC_PRIVATE, 2, IPC_CREAT | 0600);
  Shared *sh = shared_area();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    sembuf down{1, -1, 0}, up{0, 1, 0};
    for (;;) {
      semop(id, &down, 1);
      if (sh->stop.load()) _exit(0);
      semop(id, &up, 1);
    }
  }
  sembuf down{0, -1, 0}, up{1, 1, 0};
  for (auto _ : state) {
    semop(id, &up, 1);
    semop(id, &down, 1);
  }
  sh->stop.store(1);
  semop(id, &up, 1);
  reap(pid);
  semctl(id, 0, IPC_RMID);
  munmap(sh, sizeof *sh);
}
BENCHMARK(BM_PingPong_SysVSemaphore)->UseRealTime();

long futex(std::atomic<uint32_t> *w, int op, uint32_t val) {
  return syscall(SYS_futex, reinterpret_cast<uint32_t *>(w), op, val, nullptr, nullptr, 0);
}

// The word holds whose turn it is: 0 the parent's, 1 the child's.
void pass_turn(std::atomic<uint32_t> *w, uint32_t to) {
  w->store(to);
  futex(w, FUTEX_WAKE, 1);
}
void await_turn(std::atomic<uint32_t> *w, uint32_t mine) {
  uint32_t v;
  while ((v = w->load()) != mine) futex(w, FUTEX_WAIT, v);
}

void BM_PingPong_Futex(benchmark::State &state) {
  Shared *sh = shared_area();
  pid_t pid = fork();
  if (pid == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (;;) {
      await_turn(&sh->futex_word, 1);
      if (sh->stop.load()) _exit(0);
      pass_turn(&sh->futex_word, 0);
    }
  }
  for (auto _ : state) {
    pass_turn(&sh->futex_word, 1);
    await_turn(&sh->futex_word, 0);
  }
  sh->stop.store(1);
  pass_turn(&sh->futex_word, 1);
  reap(pid);
  munmap(sh, sizeof *sh);
}
BENCHMARK(BM_PingPong_Futex)->UseRealTime();

constexpr int kTargets = 1000;
constexpr int64_t kResetEvery = 10000;  // semaphore values stay below 32767

struct Targets {
  Shared *sh = shared_area();
  skgpw_wid wid = bench_wid();
  skgp_ctx ctx{};
  std::vector<skgp_oswid> wids;
  std::vector<skgp_oswid *> ptrs;
  bool ok = false;
  Targets() {
    slos_error err{};
    skgpinit(&err, &ctx, &g_ops, nullptr, 0);
    skgp_oswid own{};
    ok = skgpwinit(&err, &ctx, &sh->pw, &wid, &own, 0, kTargets, SKGPW_INIT_CREATE) == 1;
    for (int s = 0; ok && s < kTargets; ++s)
      wids.push_back({0, sh->pw.semids[s / sh->pw.user_semas],
                      static_cast<int32_t>(s % sh->pw.user_semas + sh->pw.key_overhead)});
    for (auto &w : wids) ptrs.push_back(&w);
  }
  void zero() {
    std::vector<unsigned short> vals(sh->pw.sems_per_set, 0);
    for (uint32_t i = 0; i < sh->pw.nsets; ++i) semctl(sh->pw.semids[i], 0, SETALL, vals.data());
  }
  ~Targets() {
    slos_error err{};
    skgpwreset(&err, &ctx, &sh->pw);
    skgpreset(&err, &ctx);
    munmap(sh, sizeof *sh);
  }
};

void BM_VectorPost1000(benchmark::State &state) {
  Targets t;
  if (!t.ok) {
    state.SkipWithError("skgpwinit");
    return;
  }
  slos_error err{};
  int64_t n = 0;
  for (auto _ : state) {
    if (++n % kResetEvery == 0) {
      state.PauseTiming();
      t.zero();
      state.ResumeTiming();
    }
    skgpwvectorpost(&err, &t.ctx, t.ptrs.data(), kTargets, 0);
  }
  state.SetItemsProcessed(state.iterations() * kTargets);
}
BENCHMARK(BM_VectorPost1000);

void BM_SinglePosts1000(benchmark::State &state) {
  Targets t;
  if (!t.ok) {
    state.SkipWithError("skgpwinit");
    return;
  }
  slos_error err{};
  for (auto _ : state)
    for (const skgp_oswid &w : t.wids) skgpwpost(&err, &t.ctx, &w, 0);
  state.SetItemsProcessed(state.iterations() * kTargets);
}
BENCHMARK(BM_SinglePosts1000);

}  // namespace

BENCHMARK_MAIN();
