// Post-wait with real System V semaphores and real processes. Every process
// that uses post-wait sets up its own process-services context (a
// process-wide SIGALRM registration), so each body runs in forked children;
// the test process removes every chain by its identifier afterwards, even
// when a child crashed.
#include <errno.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/sem.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <algorithm>
#include <random>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "skgp.h"
#include "skgpw.h"

namespace {

constexpr uint32_t kBps = 14;  // Linux: largest semaphore value 32767

skgpw_wid make_wid(const std::string &name) {
  skgpw_wid w{};
  memcpy(w.name, name.data(), std::min(name.size(), sizeof w.name));
  w.length = std::min(name.size(), sizeof w.name);
  return w;
}

// A chain identifier no other test run uses at the same time.
std::string unique_name(const char *tag) {
  return std::string("qen-pw-") + tag + "-" + std::to_string(getpid()) + "-" +
         std::to_string(time(nullptr));
}

// The shared context in memory that forked children share, and the chain's
// removal by identifier when the test ends.
struct Area {
  skgpw_wid wid;
  skgpw_shared_ctx *shared;
  explicit Area(const char *tag) : wid(make_wid(unique_name(tag))) {
    void *p = mmap(nullptr, sizeof(skgpw_shared_ctx), PROT_READ | PROT_WRITE,
                   MAP_SHARED | MAP_ANONYMOUS, -1, 0);
    shared = static_cast<skgpw_shared_ctx *>(p);
    memset(p, 0, sizeof *shared);
  }
  ~Area() {
    // By the ids the area recorded, then whatever chain the identifier leads to.
    slos_error e{};
    sskgpwrm(&e, shared, &wid, 1);
    e = slos_error{};
    sskgpwrm(&e, shared, &wid, 0);
    munmap(shared, sizeof *shared);
  }
};

int semval(int semid, int semnum) { return semctl(semid, semnum, GETVAL); }

bool set_exists(int semid) {
  struct semid_ds ds;
  union {
    int val;
    struct semid_ds *buf;
  } arg;
  arg.buf = &ds;
  return semctl(semid, 0, IPC_STAT, arg) == 0;
}

// Sets up a context and attaches slot; exits the child on failure.
void setup(skgp_ctx *ctx, Area &a, int slot, int maxprocs, uint32_t flags,
           skgp_ops *ops = nullptr) {
  static skgp_ops empty{};
  slos_error err{};
  CHILD_CHECK(skgpinit(&err, ctx, ops != nullptr ? ops : &empty, nullptr, 0) == 1);
  skgp_oswid own{};
  int rc = skgpwinit(&err, ctx, a.shared, &a.wid, &own, slot, maxprocs, flags);
  if (rc != 1) fprintf(stderr, "skgpwinit: %d %s %s\n", err.code, err.call, err.location);
  CHILD_CHECK(rc == 1);
  CHILD_CHECK(own.semid == ctx->oswid.semid && own.semnum == ctx->oswid.semnum);
}

double now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

// Trace lines collected by a dump.
std::vector<std::string> *g_lines;
void collect(void *, const char *fmt, ...) {
  char buf[2048];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_lines->push_back(buf);
}

}  // namespace

TEST(SkgpwKeys, HashesAndMagicTable) {
  struct Case {
    const char *name;
    int32_t keys[4];
    uint32_t magic;
  } cases[] = {
      {"abc", {51976728, 10164504, 43555608, 26908824}, 1633837824u},
      {"", {4, 4, 4, 4}, 1u},
  };
  for (const Case &c : cases) {
    skgpw_wid w = make_wid(c.name);
    int32_t keys[4];
    uint32_t magic = 0, bps = 0;
    slos_error err{};
    ASSERT_EQ(sskgpwidtokeys(&err, &w, keys, &magic, &bps), 1) << c.name;
    EXPECT_EQ(bps, kBps);
    for (int i = 0; i < 4; ++i) EXPECT_EQ(keys[i], c.keys[i]) << c.name << " key " << i;
    EXPECT_EQ(magic, c.magic) << c.name;
    EXPECT_EQ(memcmp(w.name, c.name, strlen(c.name)), 0) << "the caller's record is unchanged";
  }
}

TEST(SkgpwKeys, MultiSemaphoreValuesRoundTrip) {
  int id = semget(IPC_PRIVATE, 4, IPC_CREAT | 0600);
  ASSERT_GE(id, 0);
  const uint32_t values[] = {0, 1, 0x7FFF, 0x8000, 0x61626300u, 0x7FFFFFFFu, 0x80000000u,
                             0xFFFFFFFFu, 1633837824u};
  for (uint32_t v : values) {
    slos_error err{};
    ASSERT_EQ(sskgpsetval(&err, id, 1, 32, kBps, v), 1);
    // Semaphore k holds the arithmetic shift by 14k, masked to 15 bits.
    for (int k = 0; k < 3; ++k)
      EXPECT_EQ(static_cast<uint32_t>(semval(id, 1 + k)),
                static_cast<uint32_t>(static_cast<int32_t>(v) >> (14 * k)) & 0x7FFFu)
          << std::hex << v << " sem " << k;
    uint32_t back = 0;
    ASSERT_EQ(sskgpgetval(&err, id, 1, 32, kBps, &back), 1);
    EXPECT_EQ(back, v);
  }
  slos_error err{};
  uint32_t back = 0;
  EXPECT_EQ(sskgpgetval(&err, id, 3, 32, kBps, &back), 0) << "past the set's end";
  EXPECT_EQ(err.code, SKGPW_ERR_SYSCALL);
  EXPECT_STREQ(err.location, "sskgpgetval1");
  semctl(id, 0, IPC_RMID);
}

TEST(SkgpwKeys, ChainSeenByAnotherProcess) {
  Area a("seen");
  ASSERT_EQ(in_child([&] {
              skgp_ctx ctx;
              setup(&ctx, a, 0, 8, SKGPW_INIT_CREATE);
            }),
            0);
  // Work the first key and the magic out here from the name alone.
  uint64_t h = 0;
  for (size_t i = a.wid.length; i-- > 0;)
    for (int b = 0; b < 8; ++b) h = (2 * h + ((static_cast<unsigned char>(a.wid.name[i]) >> b) & 1)) % 1061461267u;
  int32_t key0 = static_cast<int32_t>(static_cast<uint32_t>(4 * h));
  int id = semget(key0, 0, 0);
  ASSERT_GE(id, 0);
  EXPECT_EQ(id, a.shared->semids[0]);
  uint32_t magic = static_cast<uint32_t>(semval(id, 1)) |
                   ((static_cast<uint32_t>(semval(id, 2)) |
                     (static_cast<uint32_t>(semval(id, 3)) << 14)) << 14);
  EXPECT_EQ(magic, a.shared->magic);
  EXPECT_EQ(a.shared->key_overhead, 4u);
  EXPECT_EQ(semval(id, 0), 0) << "one set: its link is 0";
  EXPECT_EQ(a.shared->flags & SKGPW_AREA_VALID, SKGPW_AREA_VALID);
}

TEST(Skgpwwait, PostsWaitsAndTimeouts) {
  Area a("post");
  EXPECT_EQ(in_child([&] {
              skgp_ctx ctx;
              setup(&ctx, a, 2, 4, SKGPW_INIT_CREATE);
              slos_error err{};
              skgp_oswid self = ctx.oswid;
              // A post before the wait: the wait returns at once.
              CHILD_CHECK(skgpwpost(&err, &ctx, &self, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 1000000, 0) == 1);
              // Two posts leave the semaphore at 1: one wait, then a timeout.
              CHILD_CHECK(skgpwpost(&err, &ctx, &self, 0) == 1);
              CHILD_CHECK(skgpwpost(&err, &ctx, &self, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 1000000, 0) == 1);
              double t0 = now_ms();
              CHILD_CHECK(skgpwwait(&err, &ctx, 50000, 0) == 0);
              CHILD_CHECK(now_ms() - t0 >= 45);
              CHILD_CHECK(err.code == 0 && err.other[0] == '\0');
              // Two vector posts add 2: two waits return.
              skgp_oswid *v[] = {&self};
              CHILD_CHECK(skgpwvectorpost(&err, &ctx, v, 1, 0) == 1);
              CHILD_CHECK(skgpwvectorpost(&err, &ctx, v, 1, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 1000000, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 1000000, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 10000, 0) == 0);
              // Timeout 0 only yields; the nap flag sleeps without the semaphore.
              CHILD_CHECK(skgpwpost(&err, &ctx, &self, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 0, 0) == 0);
              t0 = now_ms();
              CHILD_CHECK(skgpwwait(&err, &ctx, 30000, SKGPW_WAIT_NAP) == 0);
              CHILD_CHECK(now_ms() - t0 >= 25);
              CHILD_CHECK(semval(self.semid, self.semnum) == 1);
              // The alarm path, as on a system without semtimedop.
              ctx.flags &= ~SKGP_FLG_SEMTIMEDOP;
              CHILD_CHECK(skgpwwait(&err, &ctx, 1000000, 0) == 1);
              strcpy(err.other, "stale");
              t0 = now_ms();
              CHILD_CHECK(skgpwwait(&err, &ctx, 50000, 0) == 0);
              CHILD_CHECK(now_ms() - t0 >= 45);
              CHILD_CHECK(err.code == 0 && err.other[0] == '\0');
              CHILD_CHECK((ctx.jmpflags & SKGP_JMP_VALID) == 0);
              CHILD_CHECK(skgpwpost(&err, &ctx, &self, 0) == 1);
              CHILD_CHECK(skgpwwait(&err, &ctx, 50000, 0) == 1);
              CHILD_CHECK((ctx.jmpflags & SKGP_JMP_VALID) == 0);
              // A later alarm finds no armed jump.
              usleep(100000);
              CHILD_CHECK(ctx.alarm_fired == 0);
            }),
            0);
}

TEST(Skgpwwait, PingPongBetweenProcessesAndRemovedSet) {
  Area a("pong");
  EXPECT_EQ(in_child([&] {
              skgp_ctx ctx;
              setup(&ctx, a, 0, 2, SKGPW_INIT_CREATE);
              skgp_oswid self = ctx.oswid;
              pid_t peer = fork();
              if (peer == 0) {
                // The parent's context came along with the fork: undo it first.
                slos_error rerr{};
                CHILD_CHECK(skgpreset(&rerr, &ctx) == 1);
                skgp_ctx pctx;
                setup(&pctx, a, 1, 0, 0);
                slos_error err{};
                for (int i = 0; i < 50; ++i) {
                  CHILD_CHECK(skgpwpost(&err, &pctx, &self, 0) == 1);
                  CHILD_CHECK(skgpwwait(&err, &pctx, 0, SKGPW_WAIT_FOREVER) == 1);
                }
                // Now wait until the creator removes the chain.
                int rc = skgpwwait(&err, &pctx, 0, SKGPW_WAIT_FOREVER);
                CHILD_CHECK(rc == 0 && err.code == SKGPW_ERR_REMOVED);
                CHILD_CHECK(strcmp(err.location, "sskgpwwait1") == 0 && err.oserr == EIDRM);
                _exit(0);
              }
              slos_error err{};
              skgp_oswid peer_wid{0, a.shared->semids[0],
                                  static_cast<int32_t>(a.shared->key_overhead + 1)};
              for (int i = 0; i < 50; ++i) {
                CHILD_CHECK(skgpwwait(&err, &ctx, 5000000, 0) == 1);
                CHILD_CHECK(skgpwpost(&err, &ctx, &peer_wid, 0) == 1);
              }
              usleep(100000);
              int semid = a.shared->semids[0];
              CHILD_CHECK(skgpwreset(&err, &ctx, a.shared) == 1);
              CHILD_CHECK(ctx.pwctx == nullptr && (a.shared->flags & SKGPW_AREA_VALID) == 0);
              CHILD_CHECK(!set_exists(semid));
              int status = 0;
              CHILD_CHECK(waitpid(peer, &status, 0) == peer);
              CHILD_CHECK(WIFEXITED(status) && WEXITSTATUS(status) == 0);
              // A reset area refuses a second reset and new attachments.
              CHILD_CHECK(skgpwreset(&err, &ctx, a.shared) == 0);
              CHILD_CHECK(strcmp(err.other, "invalid shared ctx") == 0);
            }),
            0);
}

TEST(Skgpwinit, RefusedSetUps) {
  Area a("refuse");
  EXPECT_EQ(in_child([&] {
              skgp_ctx ctx;
              static skgp_ops ops{};
              slos_error err{};
              CHILD_CHECK(skgpinit(&err, &ctx, &ops, nullptr, 0) == 1);
              skgp_oswid w{};
              CHILD_CHECK(skgpwinit(&err, &ctx, nullptr, &a.wid, &w, 0, 4, SKGPW_INIT_CREATE) == 0);
              CHILD_CHECK(err.code == -1 && strcmp(err.location, "skgpwinit1") == 0);
              CHILD_CHECK(strcmp(err.other, "invalid shared context") == 0);
              CHILD_CHECK(skgpwinit(&err, &ctx, a.shared, &a.wid, &w, 0, 4, 0) == 0);
              CHILD_CHECK(strcmp(err.location, "skgpwinit4") == 0);
              CHILD_CHECK(strcmp(err.other, "attach to invalid skgp shared ctx") == 0);
              for (int slot : {-1, 4, 1000}) {
                err = slos_error{};
                CHILD_CHECK(skgpwinit(&err, &ctx, a.shared, &a.wid, &w, slot, 4,
                                      SKGPW_INIT_CREATE) == 0);
                CHILD_CHECK(err.code == -1 && strcmp(err.location, "skgpwinit5") == 0);
              }
              CHILD_CHECK((a.shared->flags & SKGPW_AREA_VALID) == 0);
              CHILD_CHECK(a.shared->semids[0] == 0 && "no chain was made");
              // More than 100 sets.
              err = slos_error{};
              CHILD_CHECK(skgpwinit(&err, &ctx, a.shared, &a.wid, &w, 0, 4000000,
                                    SKGPW_INIT_CREATE) == 0);
              CHILD_CHECK(err.code == SKGPW_ERR_SIZE && strcmp(err.location, "sskgpwcr2") == 0);
              CHILD_CHECK(strcmp(err.call, "semids_per_proc") == 0 && err.oserr == 0);
              int nsets = 0, maxprocs = 0;
              CHILD_CHECK(sscanf(err.other, "semids = %d, maxprocs = %d", &nsets, &maxprocs) == 2);
              CHILD_CHECK(nsets > 100 && maxprocs == 4000000);
            }),
            0);
}

TEST(Skgpwinit, StaleChainOfAKilledChildIsRemoved) {
  Area a("stale");
  // A chain of three sets, left behind by a child that is killed.
  int stale_ids[3] = {0, 0, 0};
  pid_t pid = fork();
  if (pid == 0) {
    skgp_ctx ctx;
    setup(&ctx, a, 0, 34995, SKGPW_INIT_CREATE);
    kill(getpid(), SIGKILL);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFSIGNALED(status));
  ASSERT_EQ(a.shared->nsets, 3u);
  for (int i = 0; i < 3; ++i) {
    stale_ids[i] = a.shared->semids[i];
    ASSERT_TRUE(set_exists(stale_ids[i]));
  }
  int32_t keys[4];
  uint32_t magic, bps;
  slos_error err{};
  ASSERT_EQ(sskgpwidtokeys(&err, &a.wid, keys, &magic, &bps), 1);
  // The links lead from the first key through all three sets.
  int32_t key = keys[0];
  for (int i = 0; i < 3; ++i) {
    int id = semget(key, 0, 0);
    ASSERT_EQ(id, stale_ids[i]);
    key += semval(id, 0);
  }
  ASSERT_EQ(in_child([&] {
              skgp_ctx ctx;
              setup(&ctx, a, 0, 34995, SKGPW_INIT_CREATE);
            }),
            0);
  for (int id : stale_ids) EXPECT_FALSE(set_exists(id)) << id;
  EXPECT_EQ(semget(keys[0], 0, 0), a.shared->semids[0]) << "the first key is reused";
}

TEST(Skgpwinit, ForeignSetsAtEveryKey) {
  Area a("foreign");
  int32_t keys[4];
  uint32_t magic, bps;
  slos_error err{};
  ASSERT_EQ(sskgpwidtokeys(&err, &a.wid, keys, &magic, &bps), 1);
  std::vector<int> foreign;
  for (int32_t k : keys) {
    int id = semget(k, 8, IPC_CREAT | IPC_EXCL | 0600);
    ASSERT_GE(id, 0);
    foreign.push_back(id);
  }
  EXPECT_EQ(in_child([&] {
              skgp_ctx ctx;
              static skgp_ops ops{};
              slos_error e{};
              CHILD_CHECK(skgpinit(&e, &ctx, &ops, nullptr, 0) == 1);
              skgp_oswid w{};
              CHILD_CHECK(skgpwinit(&e, &ctx, a.shared, &a.wid, &w, 0, 4, SKGPW_INIT_CREATE) == 0);
              CHILD_CHECK(e.code == 0);
              CHILD_CHECK((a.shared->flags & SKGPW_AREA_VALID) == 0);
            }),
            0);
  for (int id : foreign) {
    EXPECT_TRUE(set_exists(id)) << "a foreign set is left alone";
    semctl(id, 0, IPC_RMID);
  }
}

TEST(Skgpwvectorpost, FifteenHundredTargetsOverThreeSets) {
  Area a("vector");
  EXPECT_EQ(in_child([&] {
              skgp_ctx ctx;
              setup(&ctx, a, 0, 34995, SKGPW_INIT_CREATE);
              const skgpw_shared_ctx &s = *a.shared;
              CHILD_CHECK(s.nsets == 3 && s.ops_per_call >= 1 && s.ops_per_call <= 1024);
              std::vector<skgp_oswid> wids(1500);
              std::vector<skgp_oswid *> ptrs;
              for (uint32_t i = 0; i < wids.size(); ++i) {
                uint32_t slot = (i * 23 + 1) % s.maxprocs;
                wids[i] = {i, s.semids[slot / s.user_semas],
                           static_cast<int32_t>(slot % s.user_semas + s.key_overhead)};
                ptrs.push_back(&wids[i]);
              }
              std::shuffle(ptrs.begin(), ptrs.end(), std::mt19937(7));
              slos_error err{};
              CHILD_CHECK(skgpwvectorpost(&err, &ctx, ptrs.data(), 1500, 0) == 1);
              CHILD_CHECK(std::is_sorted(ptrs.begin(), ptrs.end(), [](auto *x, auto *y) {
                return x->semid < y->semid;
              }));
              for (const skgp_oswid &w : wids) CHILD_CHECK(semval(w.semid, w.semnum) == 1);
              // A target in a removed set fails its batch; the others are posted.
              skgp_oswid gone{0, 0x7FFFFFF0, 4};
              ptrs.push_back(&gone);
              CHILD_CHECK(skgpwvectorpost(&err, &ctx, ptrs.data(), 1501, 0) == 0);
              CHILD_CHECK(err.code == SKGPW_ERR_SYSCALL && strcmp(err.location, "sskgpwvp2") == 0);
              for (const skgp_oswid &w : wids) CHILD_CHECK(semval(w.semid, w.semnum) == 2);
            }),
            0);
}

TEST(Sskgpdmpinfo, AreaOfThreeSetsAndOverwrittenMagic) {
  Area a("dump");
  std::vector<std::string> lines;
  g_lines = &lines;
  EXPECT_EQ(in_child([&] {
              static skgp_ops ops{};
              ops.trace = collect;
              skgp_ctx ctx;
              setup(&ctx, a, 0, 34995, SKGPW_INIT_CREATE, &ops);
              slos_error err{};
              auto has = [&](const std::string &l) {
                return std::find(lines.begin(), lines.end(), l) != lines.end();
              };
              CHILD_CHECK(sskgpdmpinfo(&err, &ctx, a.shared, nullptr, 1) == 1);
              CHILD_CHECK(lines.at(0) == "Maximum processes:               = 34995\n");
              CHILD_CHECK(lines.at(4) == "Number of semaphore sets:        = 3\n");
              CHILD_CHECK(lines.at(6) == "Semaphore List=\n");
              for (int i = 0; i < 3; ++i)
                CHILD_CHECK(lines.at(7 + i) == std::to_string(a.shared->semids[i]) + "\n");
              CHILD_CHECK(!has("Semaphore chains possibly corrupted. \n"));
              lines.clear();
              CHILD_CHECK(sskgpdmpinfo(&err, &ctx, a.shared, &a.wid, 0) == 1);
              CHILD_CHECK(lines.size() == 4 && lines[0] == "Semaphores:\nID\t\tKEY\n");
              // Overwrite the magic of the second set.
              CHILD_CHECK(semctl(a.shared->semids[1], 2, SETVAL, 77) == 0);
              lines.clear();
              CHILD_CHECK(sskgpdmpinfo(&err, &ctx, a.shared, nullptr, 1) == 1);
              CHILD_CHECK(has("Semaphore chains possibly corrupted. \n"));
              lines.clear();
              CHILD_CHECK(sskgpdmpinfo(&err, &ctx, a.shared, &a.wid, 0) == 1);
              CHILD_CHECK(lines.size() == 3 && "the walk ends at the second set");
              CHILD_CHECK(lines.back() == "Semaphore chains possibly corrupted. \n");
              lines.clear();
              CHILD_CHECK(sskgpdmpinfo(&err, &ctx, nullptr, nullptr, 1) == 1);
              CHILD_CHECK(lines.size() == 1 && lines[0] == "No resources allocated\n");
            }),
            0);
}

TEST(Skgpwcall, SignalsTargetAndRefusesGroups) {
  Area a("call");
  static volatile sig_atomic_t g_called;
  EXPECT_EQ(in_child([&] {
              skgp_ctx ctx;
              setup(&ctx, a, 0, 2, SKGPW_INIT_CREATE);
              slos_error err{};
              CHILD_CHECK(skgpwcinit(&err, &ctx, [](int sig, void *arg) {
                if (sig == SIGUSR2 && arg != nullptr) g_called = 1;
              }) == 1);
              for (int32_t bad : {0, -1, -getpgrp()}) {
                err = slos_error{};
                CHILD_CHECK(skgpwcall(&err, &ctx, &bad, 0) == 0);
                CHILD_CHECK(err.code == SKGP_ERR_BADPID);
              }
              CHILD_CHECK(g_called == 0);
              int32_t self = getpid();
              CHILD_CHECK(skgpwcall(&err, &ctx, &self, 0) == 1);
              for (int i = 0; i < 100 && !g_called; ++i) usleep(1000);
              CHILD_CHECK(g_called == 1);
              int32_t gone = 0x7FFFFFF0;
              CHILD_CHECK(skgpwcall(&err, &ctx, &gone, SKGPW_CALL_ANY) == 0);
              CHILD_CHECK(err.code == SKGPW_ERR_CALL && err.oserr == ESRCH);
              CHILD_CHECK(strcmp(err.other, "target pid = 2147483632") == 0);
              CHILD_CHECK(skgpreset(&err, &ctx) == 1 && ctx.usr2_id == -1);
            }),
            0);
}

TEST(Sskgposwidstr, CopiesWithoutTerminator) {
  skgp_oswid w{9, 123, 45};
  struct Case {
    size_t room;
    const char *want;
  } cases[] = {{32, "123 45"}, {6, "123 45"}, {4, "123 "}, {0, ""}};
  for (const Case &c : cases) {
    char buf[32];
    memset(buf, '#', sizeof buf);
    size_t n = 99;
    sskgposwidstr(nullptr, &w, buf, c.room, &n);
    EXPECT_EQ(std::string(buf, n), c.want);
    EXPECT_EQ(buf[n], '#') << "no terminator";
  }
}
