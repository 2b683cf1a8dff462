// Realms against what a user would use instead: creating and destroying a
// one-area realm against shmget, shmat, shmdt and IPC_RMID of one segment of
// the same size; attaching and detaching an existing realm by name against
// shmget of a known key with shmat and shmdt. The ratios are what to read.
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <unistd.h>

#include <string>

#include <benchmark/benchmark.h>

#include "collect.h"
#include "skgm.h"

namespace {

constexpr uint64_t kAreaSize = 1 << 20;

void quiet(void *, const char *, ...) {}
void quiet_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {quiet, quiet, quiet_error};

struct Realm {
  skgm_ctx ctx{};
  skgm_realmdesc desc{};
  skgm_area area{};
  Realm() {
    sl_status err{};
    skgminit(&err, &ctx, &kOps, nullptr);
    const std::string name = "qen-bench-" + std::to_string(getpid());
    memcpy(desc.name, name.data(), name.size());
    desc.namelen = name.size();
    memcpy(area.name, "a", 1);
    area.namelen = 1;
    area.size = kAreaSize;
  }
};

void BM_Create_Realm(benchmark::State &state) {
  Realm r;
  for (auto _ : state) {
    sl_status err{};
    skgm_realm *h = nullptr;
    skgm_area a = r.area;
    if (!skgmcreate(&err, &r.ctx, &r.desc, 1, &a, &h)) {
      state.SkipWithError("skgmcreate failed");
      break;
    }
    skgmdestroy(&err, &r.ctx, h);
    skgmdetach(&err, &r.ctx, h);
  }
}

void BM_Create_Shm(benchmark::State &state) {
  const key_t key = static_cast<key_t>(0x51000000 + getpid());
  for (auto _ : state) {
    const int id = shmget(key, kAreaSize + 4096, IPC_CREAT | IPC_EXCL | 0600);
    void *at = shmat(id, nullptr, 0);
    benchmark::DoNotOptimize(at);
    shmdt(at);
    shmctl(id, IPC_RMID, nullptr);
  }
}

void BM_Attach_Realm(benchmark::State &state) {
  Realm owner, user;
  sl_status err{};
  skgm_realm *h = nullptr;
  skgm_area a = owner.area;
  if (!skgmcreate(&err, &owner.ctx, &owner.desc, 1, &a, &h)) {
    state.SkipWithError("skgmcreate failed");
    return;
  }
  for (auto _ : state) {
    skgm_realm *u = nullptr;
    if (!skgmattach(&err, &user.ctx, &owner.desc, &u)) {
      state.SkipWithError("skgmattach failed");
      break;
    }
    skgmdetach(&err, &user.ctx, u);
  }
  skgmdestroy(&err, &owner.ctx, h);
  skgmdetach(&err, &owner.ctx, h);
}

void BM_Attach_Shm(benchmark::State &state) {
  const key_t key = static_cast<key_t>(0x52000000 + getpid());
  const int made = shmget(key, kAreaSize + 4096, IPC_CREAT | IPC_EXCL | 0600);
  for (auto _ : state) {
    const int id = shmget(key, 0, 0);
    void *at = shmat(id, nullptr, 0);
    benchmark::DoNotOptimize(at);
    shmdt(at);
  }
  shmctl(made, IPC_RMID, nullptr);
}

BENCHMARK(BM_Create_Realm);
BENCHMARK(BM_Create_Shm);
BENCHMARK(BM_Attach_Realm);
BENCHMARK(BM_Attach_Shm);

}  // namespace

int main(int argc, char **argv) {
  benchmark::Initialize(&argc, argv);
  Collect rep;
  benchmark::RunSpecifiedBenchmarks(&rep);
  auto ratio = [&](const char *a, const char *b) {
    if (rep.ns.count(a) && rep.ns.count(b) && rep.ns[b] > 0)
      printf("%s / %s: %.2f\n", a, b, rep.ns[a] / rep.ns[b]);
  };
  ratio("BM_Create_Realm", "BM_Create_Shm");
  ratio("BM_Attach_Realm", "BM_Attach_Shm");
  benchmark::Shutdown();
  return 0;
}
