// Thread services. The context and signal handling are process-wide, so the
// tests that touch them run in forked children.
#include <dlfcn.h>
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

#include <atomic>
#include <string>

#include <gtest/gtest.h>

#include "child.h"

#include "slts.h"
#include "ssls.h"

// Mutex creation that fails on request: when g_fail_mutex_init is n > 0,
// the n-th pthread_mutex_init from then on fails with EAGAIN. Every other call
// goes to the C library.
int g_fail_mutex_init = 0;
extern "C" int pthread_mutex_init(pthread_mutex_t *m, const pthread_mutexattr_t *a) noexcept {
  using Fn = int (*)(pthread_mutex_t *, const pthread_mutexattr_t *);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "pthread_mutex_init"));
  if (g_fail_mutex_init > 0 && --g_fail_mutex_init == 0) return EAGAIN;
  return real(m, a);
}

namespace {

std::string slurp(const char *path) {
  std::string s;
  FILE *f = fopen(path, "r");
  if (!f) return s;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, f)) > 0) s.append(buf, n);
  fclose(f);
  return s;
}

std::string hex(const void *p) {
  char b[32];
  snprintf(b, sizeof b, "%x", static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)));
  return b;
}

// Sends standard output to a file for the rest of a child's life.
std::string capture_stdout() {
  char path[] = "/tmp/slts_out_XXXXXX";
  int fd = mkstemp(path);
  fflush(stdout);
  dup2(fd, 1);
  close(fd);
  return path;
}

}  // namespace

TEST(Slts, ContextIsSharedAndCounted) {
  EXPECT_EQ(0, in_child([] {
    CHILD_CHECK(sltsqgc == nullptr);
    CHILD_CHECK(sltster(nullptr) == -1);
    sltspin();
    sltspin();
    CHILD_CHECK(sltsqgi == 1);
    slts_ctx *a = sltsini();
    slts_ctx *b = sltsini();
    CHILD_CHECK(a != nullptr && a == b && a == sltsqgc);
    CHILD_CHECK(a->refs == 2);
    slts_ctx other;
    CHILD_CHECK(sltster(&other) == -1);
    CHILD_CHECK(a->refs == 2);
    CHILD_CHECK(sltster(a) == 0);
    CHILD_CHECK(sltsqgc == a);
    CHILD_CHECK(sltster(b) == 0);
    CHILD_CHECK(sltsqgc == nullptr);
    CHILD_CHECK(sltster(a) == -1);
    // Without a context the process lock is not there.
    CHILD_CHECK(sltspla() == -1);
    // A new context after the last one went.
    slts_ctx *c = sltsini();
    CHILD_CHECK(c != nullptr && c->refs == 1 && c->kills == 0 && c->termid == 0);
    CHILD_CHECK(sltster(c) == 0);
  }));
}

TEST(Slts, ContextWithoutItsMutexesIsNotHandedOut) {
  // Each mutex the context needs (among them the process lock and the
  // SIGTERM mutex) fails in turn: no context comes back and none is kept.
  EXPECT_EQ(0, in_child([] {
    int failed = 0;
    for (int n = 1; n < 32; ++n) {
      g_fail_mutex_init = n;
      slts_ctx *ctx = sltsini();
      const bool hit = g_fail_mutex_init == 0;
      g_fail_mutex_init = 0;
      if (!hit) {
        // Every mutex was made: the context is whole.
        CHILD_CHECK(ctx != nullptr && ctx == sltsqgc);
        CHILD_CHECK(sltster(ctx) == 0 && sltsqgc == nullptr);
        break;
      }
      CHILD_CHECK(ctx == nullptr);
      CHILD_CHECK(sltsqgc == nullptr);
      ++failed;
    }
    CHILD_CHECK(failed >= 3);
  }));
}

TEST(Slts, PlainAndCallbackMutexes) {
  slts_ctx *ctx = nullptr;
  slts_mutex m;
  ASSERT_EQ(0, sltsmxi(ctx, &m));
  ASSERT_EQ(0, sltsmna(ctx, &m));
  std::atomic<int> tried{1};
  pthread_t th;
  auto trier = [](void *p) -> void * {
    auto *args = static_cast<std::pair<slts_mutex *, std::atomic<int> *> *>(p);
    args->second->store(sltsmnt(nullptr, args->first));
    return nullptr;
  };
  std::pair<slts_mutex *, std::atomic<int> *> args{&m, &tried};
  ASSERT_EQ(0, pthread_create(&th, nullptr, trier, &args));
  pthread_join(th, nullptr);
  EXPECT_EQ(-1, tried.load());
  EXPECT_EQ(0, sltsmnr(ctx, &m));
  EXPECT_EQ(0, sltsmnt(ctx, &m));
  EXPECT_EQ(0, sltsmnr(ctx, &m));
  EXPECT_EQ(0, sltsmxd(ctx, &m));
  EXPECT_EQ(nullptr, m.blk);
  EXPECT_EQ(-1, sltsmxd(ctx, &m));

  // With a callback: the lock passes the three values, unlock and try the
  // argument only.
  struct Log {
    int calls = 0;
    slts_mutex *mx = nullptr;
    void *a = nullptr;
  } log;
  auto cb = [](void *arg, slts_mutex *mx, void *a, void *, void *) -> int {
    auto *l = static_cast<Log *>(arg);
    ++l->calls;
    l->mx = mx;
    l->a = a;
    return 42;
  };
  int v = 0;
  ASSERT_EQ(0, sltsmdi(ctx, &m, cb, &log));
  EXPECT_EQ(42, sltsmda(ctx, &m, &v, nullptr, nullptr));
  EXPECT_EQ(1, log.calls);
  EXPECT_EQ(&m, log.mx);
  EXPECT_EQ(&v, log.a);
  EXPECT_EQ(0, sltsmdr(ctx, &m));
  EXPECT_EQ(2, log.calls);
  EXPECT_EQ(nullptr, log.mx);
  EXPECT_EQ(0, sltsmdt(ctx, &m));
  EXPECT_EQ(3, log.calls);
  EXPECT_EQ(-1, sltsmdt(ctx, &m));  // busy: no callback
  EXPECT_EQ(3, log.calls);
  EXPECT_EQ(0, sltsmdr(ctx, &m));
  EXPECT_EQ(0, sltsmxd(ctx, &m));
}

namespace {
slts_static_mutex g_static = SLTS_STATIC_MUTEX_INIT;
long g_counter;
void *bump(void *) {
  for (int i = 0; i < 2000; ++i) {
    sltsima(&g_static);
    ++g_counter;
    sltsimr(&g_static);
  }
  return nullptr;
}
}  // namespace

TEST(Slts, StaticMutexSetsItselfUpOnce) {
  pthread_t th[4];
  for (pthread_t &t : th) ASSERT_EQ(0, pthread_create(&t, nullptr, bump, nullptr));
  for (pthread_t &t : th) pthread_join(t, nullptr);
  EXPECT_EQ(1, g_static.init);
  EXPECT_EQ(8000, g_counter);
  EXPECT_EQ(0, sltsimt(&g_static));
  EXPECT_EQ(-1, sltsimt(&g_static));
  EXPECT_EQ(0, sltsimr(&g_static));
}

namespace {
void *record_self(void *p) {
  auto *tid = static_cast<slts_tid *>(p);
  sltstgi(nullptr, tid);
  return nullptr;
}
}  // namespace

TEST(Slts, ThreadIdentities) {
  slts_ctx *ctx = nullptr;
  slts_tid a, b, c;
  ASSERT_EQ(0, sltstidinit(ctx, &a));
  ASSERT_EQ(0, sltstidinit(ctx, &b));
  ASSERT_EQ(0, sltstidinit(ctx, &c));
  sltstgi(ctx, &a);
  sltstgi(ctx, &b);
  EXPECT_EQ(1, sltsThrIsSame(&a, &b));
  EXPECT_EQ(1, sltstcu(&a));
  EXPECT_EQ(0, sltsThrIsNull(&a));
  EXPECT_EQ(a.rec->id, sltstself());
  sltstan(ctx, &b);
  EXPECT_EQ(0, sltsThrIsSame(&a, &b));
  EXPECT_EQ(1, sltsThrIsNull(&b));
  EXPECT_EQ(0, sltstcu(&b));
  EXPECT_EQ(1, sltsThrIsSame(&b, &b));
  slts_tid none{nullptr};
  EXPECT_EQ(1, sltsThrIsNull(&none));
  EXPECT_EQ(0, sltsThrIsSame(&a, &none));
  sltstan(ctx, nullptr);
  sltstgi(ctx, nullptr);

  // Threads made by the kit know their id from the start, and ids are never
  // given out twice.
  slts_thnd h1, h2;
  ASSERT_EQ(0, sltsthndinit(ctx, &h1));
  ASSERT_EQ(0, sltsthndinit(ctx, &h2));
  ASSERT_EQ(0, sltstcr(ctx, record_self, &c, &b, &h1));
  ASSERT_EQ(0, sltstjn(ctx, &h1));
  EXPECT_EQ(1, sltsThrIsSame(&b, &c));
  EXPECT_NE(a.rec->id, c.rec->id);
  EXPECT_EQ(0, sltstcu(&c));
  int first = c.rec->id;
  ASSERT_EQ(0, sltstspawn(ctx, record_self, &c, nullptr, &h2, 256 * 1024, 0xF0000000u));
  ASSERT_EQ(0, sltstjn(ctx, &h2));
  EXPECT_GT(c.rec->id, first);
  EXPECT_EQ(h2.rec->id, c.rec->id);
  sltstah(ctx, &h1, &h2);
  EXPECT_EQ(1, sltsThndIsSame(&h1, &h2));
  sltsthan(ctx, &h1);
  EXPECT_EQ(1, sltsThndIsNull(&h1));
  EXPECT_EQ(0, sltsThndIsSame(&h1, &h2));
  // A failed creation leaves the identity naming no thread.
  EXPECT_EQ(-1, sltstspawn(ctx, record_self, &c, &b, nullptr, 1, 0));
  EXPECT_EQ(1, sltsThrIsNull(&b));

  sltstiddestroy(ctx, &a);
  sltstiddestroy(ctx, &b);
  sltstiddestroy(ctx, &c);
  sltsthnddestroy(ctx, &h1);
  sltsthnddestroy(ctx, &h2);
}

TEST(Slts, PrintThreadHandle) {
  slts_thnd h;
  ASSERT_EQ(0, sltsthndinit(nullptr, &h));
  char buf[16];
  struct Case {
    int id;
    int valid;
    size_t len;
    int rc;
    const char *text;
  } cases[] = {
      {7, 1, 3, -14, nullptr},      {7, 1, 4, 0, "7"},           {999, 1, 4, 0, "999"},
      {1234, 1, 8, -14, nullptr},   {1234, 1, 12, 0, "1234"},    {0, 0, 6, 0, "NULL-"},
      {0, 0, 16, 0, "NULL-thread"},
  };
  for (const Case &c : cases) {
    h.rec->id = c.id;
    h.rec->valid = static_cast<unsigned char>(c.valid);
    memset(buf, 'x', sizeof buf);
    EXPECT_EQ(c.rc, sltstprint(nullptr, &h, buf, c.len)) << c.id << " " << c.len;
    if (c.text) {
      EXPECT_STREQ(c.text, buf);
    }
  }
  sltsthnddestroy(nullptr, &h);
  EXPECT_EQ(0, sltstprint(nullptr, nullptr, buf, sizeof buf));
  EXPECT_STREQ("", buf);
}

TEST(Slts, PriorityLevels) {
  struct {
    int level, os;
  } map[] = {{16, 1}, {256, 32}, {4096, 64}, {0x10000, 96}, {0x100000, 127}};
  for (auto m : map) {
    EXPECT_EQ(m.os, sltsprio2os(m.level));
    EXPECT_EQ(m.level, sltsos2prio(m.os));
  }
  for (int bad : {0, 15, 17, 100, 0x100001, -16}) EXPECT_EQ(-1, sltsprio2os(bad));
  struct {
    int os, level;
  } back[] = {{0, 16},    {15, 16},      {16, 256},      {47, 256},      {48, 4096},
              {79, 4096}, {80, 0x10000}, {110, 0x10000}, {111, 0x100000}, {127, 0x100000}};
  for (auto b : back) EXPECT_EQ(b.level, sltsos2prio(b.os)) << b.os;

  slts_thnd h;
  ASSERT_EQ(0, sltsthndinit(nullptr, &h));
  sltstgh(nullptr, &h);
  int level = 0;
  EXPECT_EQ(-77, sltstsetp(nullptr, nullptr, 16));
  EXPECT_EQ(-77, sltstgetp(nullptr, nullptr, &level));
  EXPECT_EQ(-1, sltstsetp(nullptr, &h, 100));
  for (auto m : map) {
    EXPECT_EQ(0, sltstsetp(nullptr, &h, m.level));
    EXPECT_EQ(0, sltstgetp(nullptr, &h, &level));
    EXPECT_EQ(m.level, level);
  }
  sltsthnddestroy(nullptr, &h);
}

namespace {
std::atomic<int> g_destructed{0};
void key_destructor(void *v) {
  if (v) g_destructed += *static_cast<int *>(v);
}
struct KeyArgs {
  slts_key *key;
  int mine;
  void *seen_before;
  void *seen_after;
};
void *key_thread(void *p) {
  auto *a = static_cast<KeyArgs *>(p);
  sltskyg(nullptr, a->key, &a->seen_before);
  sltskys(nullptr, a->key, &a->mine);
  sltskyg(nullptr, a->key, &a->seen_after);
  return nullptr;
}
}  // namespace

TEST(Slts, ThreadSpecificKeys) {
  slts_key key;
  ASSERT_EQ(0, sltskyc(nullptr, &key, key_destructor));
  int mine = 1000;
  ASSERT_EQ(0, sltskys(nullptr, &key, &mine));
  KeyArgs args{&key, 5, &mine, nullptr};
  pthread_t th;
  ASSERT_EQ(0, pthread_create(&th, nullptr, key_thread, &args));
  pthread_join(th, nullptr);
  EXPECT_EQ(nullptr, args.seen_before);
  EXPECT_EQ(&args.mine, args.seen_after);
  EXPECT_EQ(5, g_destructed.load());
  void *v = nullptr;
  EXPECT_EQ(0, sltskyg(nullptr, &key, &v));
  EXPECT_EQ(&mine, v);
  ASSERT_EQ(0, sltskys(nullptr, &key, nullptr));
  EXPECT_EQ(0, sltskydestroy(nullptr, &key));
  EXPECT_EQ(-1, sltskydestroy(nullptr, &key));
  EXPECT_EQ(-1, sltskyg(nullptr, &key, &v));
  EXPECT_EQ(-1, sltskys(nullptr, &key, &v));
}

namespace {
std::atomic<int> g_go{0};
std::atomic<int> g_finished{0};
void *term_target(void *) {
  sigset_t term;
  sigemptyset(&term);
  sigaddset(&term, SIGTERM);
  while (g_go.load() == 0) sched_yield();
  pthread_sigmask(SIG_UNBLOCK, &term, nullptr);  // the pending SIGTERM lands here
  for (int i = 0; i < 50; ++i) usleep(1000);
  ++g_finished;  // only reached when the thread was not killed
  return nullptr;
}
void h_term(int, void *) {}
}  // namespace

TEST(Slts, KillSharesOneSigtermHandler) {
#if defined(__SANITIZE_THREAD__)
  // The killed thread unwinds out of its signal handler (pthread_exit), and
  // ThreadSanitizer's own handler frame below it cannot be unwound.
  GTEST_SKIP() << "a thread cannot leave a signal handler by unwinding under ThreadSanitizer";
#endif
  EXPECT_EQ(0, in_child([] {
    slts_ctx *ctx = sltsini();
    CHILD_CHECK(ctx != nullptr);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);  // inherited by the targets
    slts_thnd h1, h2;
    CHILD_CHECK(sltsthndinit(ctx, &h1) == 0 && sltsthndinit(ctx, &h2) == 0);
    CHILD_CHECK(sltstcr(ctx, term_target, nullptr, nullptr, &h1) == 0);
    CHILD_CHECK(sltstcr(ctx, term_target, nullptr, nullptr, &h2) == 0);
    CHILD_CHECK(sltstkill(ctx, &h1) == 0);
    int id = ctx->termid;
    CHILD_CHECK(id >= 1);
    CHILD_CHECK(sltstkill(ctx, &h2) == 0);
    CHILD_CHECK(ctx->termid == id);  // registered once for both
    CHILD_CHECK(ctx->kills == 2);
    CHILD_CHECK(sslsigprobe(SIGTERM) == sslsshandler);
    g_go = 1;
    CHILD_CHECK(sltstjn(ctx, &h1) == 0);
    CHILD_CHECK(sltstjn(ctx, &h2) == 0);
    CHILD_CHECK(g_finished.load() == 0);
    CHILD_CHECK(ctx->kills == 0);
    CHILD_CHECK(ctx->termid == 0);
    CHILD_CHECK(sslsigprobe(SIGTERM) == SSLSIG_DFL);
    sltsthnddestroy(ctx, &h1);
    sltsthnddestroy(ctx, &h2);
  }));
}

TEST(Slts, KillSendsNothingWithoutHandler) {
  EXPECT_EQ(0, in_child([] {
    slts_ctx *ctx = sltsini();
    CHILD_CHECK(ctx != nullptr);
    sl_status st;
    // Someone holds SIGTERM exclusively: the shared handler cannot join.
    CHILD_CHECK(sslssreghdlr(&st, SIGTERM, h_term, nullptr, SSLSS_EXCL) == 1);
    sigset_t term;
    sigemptyset(&term);
    sigaddset(&term, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &term, nullptr);
    slts_thnd h;
    CHILD_CHECK(sltsthndinit(ctx, &h) == 0);
    g_go = 0;
    g_finished = 0;
    CHILD_CHECK(sltstcr(ctx, term_target, nullptr, nullptr, &h) == 0);
    CHILD_CHECK(sltstkill(ctx, &h) == -1);
    CHILD_CHECK(ctx->kills == 0 && ctx->termid == 0);
    g_go = 1;
    CHILD_CHECK(sltstjn(ctx, &h) == 0);
    CHILD_CHECK(g_finished.load() == 1);
    sltsthnddestroy(ctx, &h);
  }));
}

TEST(Sltsk, ProcessLockIsNotRecursive) {
  EXPECT_EQ(0, in_child([] {
    std::string out = capture_stdout();
    slts_ctx *ctx = sltsini();
    CHILD_CHECK(ctx != nullptr);
    CHILD_CHECK(sltskla(ctx) == 0);
    CHILD_CHECK(sltskla(ctx) == -6);  // refused, still held once
    CHILD_CHECK(sltsklt(ctx) == -1);
    CHILD_CHECK(sltsklr(ctx) == 0);
    CHILD_CHECK(sltsklr(ctx) == -7);  // not held any more
    CHILD_CHECK(sltsklt(ctx) == 0);
    CHILD_CHECK(sltsklr(ctx) == 0);
    // The plain form uses the OS mutex at the head of the same block.
    CHILD_CHECK(sltspla() == 0);
    CHILD_CHECK(sltsplt() == -1);
    CHILD_CHECK(sltsplr() == 0);
    CHILD_CHECK(sltsrst() == 0);
    CHILD_CHECK(sltsrsr() == 0);
    fflush(stdout);
    CHILD_CHECK(slurp(out.c_str()) ==
          "Error: Thread is acquiring object it holds: -6\n"
          "Error: Thread is releasing object it doesn't hold: -7\n");
    unlink(out.c_str());
    CHILD_CHECK(sltster(ctx) == 0);
  }));
}

namespace {
struct Pair {
  slts_ctx *ctx;
  slts_mutex *first;
  slts_mutex *second;
  std::atomic<int> *step;
  int id;
  int rc;
};
// Takes first, waits for the step to be 2, then takes second.
void *hold_then_take(void *p) {
  auto *a = static_cast<Pair *>(p);
  a->id = sltstself();
  sltskmacq(a->ctx, a->first);
  ++*a->step;
  while (a->step->load() < 2) sched_yield();
  if (a->second) a->rc = sltskmacq(a->ctx, a->second);
  return nullptr;
}
void *release_foreign(void *p) {
  auto *a = static_cast<Pair *>(p);
  a->rc = sltskmrel(a->ctx, a->first);
  return nullptr;
}
}  // namespace

TEST(Sltsk, TrackedMutexMisuseAndDestroy) {
  EXPECT_EQ(0, in_child([] {
    std::string out = capture_stdout();
    slts_ctx *ctx = sltsini();
    slts_mutex a, b;
    CHILD_CHECK(sltskminit(ctx, &a) == 0);
    CHILD_CHECK(sltskminit(ctx, &b) == 0);
    CHILD_CHECK(sltskmacq(ctx, &a) == 0);
    // Another thread releasing it: refused.
    Pair r{ctx, &a, nullptr, nullptr, 0, 0};
    pthread_t th;
    CHILD_CHECK(pthread_create(&th, nullptr, release_foreign, &r) == 0);
    pthread_join(th, nullptr);
    CHILD_CHECK(r.rc == -7);
    CHILD_CHECK(sltskmdes(ctx, &a) == -10);
    // A waiter keeps it from being destroyed.
    std::atomic<int> step{1};
    Pair w{ctx, &b, &a, &step, 0, 99};
    CHILD_CHECK(pthread_create(&th, nullptr, hold_then_take, &w) == 0);
    while (sltskgwcount(&a, SLTSK_MUTEX) != 1) sched_yield();
    CHILD_CHECK(sltskmrel(ctx, &a) == 0);
    pthread_join(th, nullptr);
    CHILD_CHECK(w.rc == 0);
    CHILD_CHECK(sltskmtacq(ctx, &a) == -1);  // the other thread owns it now
    // Uninitialised and missing blocks.
    slts_mutex none{nullptr, nullptr, nullptr};
    CHILD_CHECK(sltskmacq(ctx, &none) == -1);
    CHILD_CHECK(sltskmdes(ctx, &none) == -1);
    fflush(stdout);
    CHILD_CHECK(slurp(out.c_str()) == "Error: Thread is releasing object it doesn't hold: -7\n");
    unlink(out.c_str());
  }));
}

TEST(Sltsk, DeadlockReportOfTwoThreads) {
  EXPECT_EQ(0, in_child([] {
    char dir[] = "/tmp/slts_dl_XXXXXX";
    CHILD_CHECK(mkdtemp(dir) != nullptr);
    std::string report = std::string(dir) + "/report";
    std::string cycles = std::string(dir) + "/cycles";
    slts_ctx *ctx = sltsini();
    slts_mutex a, b;
    CHILD_CHECK(sltskminit(ctx, &a) == 0);
    CHILD_CHECK(sltskminit(ctx, &b) == 0);
    std::atomic<int> step{0};
    Pair t1{ctx, &a, &b, &step, 0, 99};
    Pair t2{ctx, &b, &a, &step, 0, 99};
    pthread_t th1, th2;
    CHILD_CHECK(pthread_create(&th1, nullptr, hold_then_take, &t1) == 0);
    while (step.load() < 1) sched_yield();
    CHILD_CHECK(pthread_create(&th2, nullptr, hold_then_take, &t2) == 0);
    while (sltskgwcount(&a, SLTSK_MUTEX) != 1 || sltskgwcount(&b, SLTSK_MUTEX) != 1) sched_yield();

    CHILD_CHECK(sltskdetection(ctx, report.c_str(), cycles.c_str()) == 0);
    std::string p = hex(&ctx->plock), ha = hex(&a), hb = hex(&b);
    std::string i1 = std::to_string(t1.id), i2 = std::to_string(t2.id);
    std::string want = "Total Threads: 2\nThread " + i1 + "\nThread " + i2 +
                       "\n\nTotal Objects: 3\nMutex " + p + "\nMutex " + ha + "\nMutex " + hb +
                       "\n\nObjects and their owners/waiters: \n"
                       "Object:\t" + ha + "\tOwner:\tThread " + i1 + "\n"
                       "Object:\t" + ha + "\tWaiter:\tThread " + i2 + "\n"
                       "Object:\t" + hb + "\tOwner:\tThread " + i2 + "\n"
                       "Object:\t" + hb + "\tWaiter:\tThread " + i1 + "\n";
    std::string got = slurp(report.c_str());
    if (got != want) fprintf(stderr, "report:\n%s\nwanted:\n%s\n", got.c_str(), want.c_str());
    CHILD_CHECK(got == want);
    std::string want_cycle = "CYCLE:\nThread " + i2 + "\nObject " + hb + "\nThread " + i1 +
                             "\nObject " + ha + "\n\n";
    got = slurp(cycles.c_str());
    if (got != want_cycle) fprintf(stderr, "cycles:\n%s\nwanted:\n%s\n", got.c_str(), want_cycle.c_str());
    CHILD_CHECK(got == want_cycle);
    // The files are appended to.
    CHILD_CHECK(sltskretrievedata(ctx, report.c_str()) == 0);
    CHILD_CHECK(slurp(report.c_str()) == want + want);
    unlink(report.c_str());
    unlink(cycles.c_str());
    rmdir(dir);
  }));
}

TEST(Sltsk, ReportWithoutCycleAndForeignObjects) {
  EXPECT_EQ(0, in_child([] {
    char dir[] = "/tmp/slts_nc_XXXXXX";
    CHILD_CHECK(mkdtemp(dir) != nullptr);
    std::string report = std::string(dir) + "/report";
    std::string cycles = std::string(dir) + "/cycles";
    slts_ctx *ctx = sltsini();
    // A read/write lock made elsewhere, owned by this thread.
    sltskobj rw;
    memset(&rw, 0, sizeof rw);
    pthread_mutex_init(&rw.guard, nullptr);
    CHILD_CHECK(sltskinitinfo(ctx, &rw, SLTSK_RWLOCK) == 0);
    CHILD_CHECK(sltskisinitinfo(&rw.info) == 1);
    CHILD_CHECK(sltskjadd(ctx, &rw, SLTSK_RWLOCK) == 0);
    CHILD_CHECK(sltskjadd(ctx, &rw, 4) == -1);
    CHILD_CHECK(sltskckthr(ctx, &rw, SLTSK_RWLOCK) == -7);
    CHILD_CHECK(sltskoadd(ctx, &rw, SLTSK_RWLOCK) == 0);
    CHILD_CHECK(sltskckthr(ctx, &rw, SLTSK_RWLOCK) == -6);
    CHILD_CHECK(sltskgcount(&rw.info.owners) == 1);
    CHILD_CHECK(sltskdetection(ctx, report.c_str(), cycles.c_str()) == 0);
    std::string me = std::to_string(sltstself());
    std::string want = "Total Threads: 1\nThread " + me + "\n\nTotal Objects: 2\nMutex " +
                       hex(&ctx->plock) + "\nRead/Write Lock " + hex(&rw) +
                       "\n\nObjects and their owners/waiters: \nObject:\t" + hex(&rw) +
                       "\tOwner:\tThread " + me + "\n";
    CHILD_CHECK(slurp(report.c_str()) == want);
    CHILD_CHECK(slurp(cycles.c_str()).empty());
    CHILD_CHECK(sltskoremove(ctx, &rw, SLTSK_RWLOCK) == 0);
    CHILD_CHECK(sltskoremove(ctx, &rw, SLTSK_RWLOCK) == -1);
    CHILD_CHECK(sltskjremove(ctx, &rw, SLTSK_RWLOCK) == 0);
    CHILD_CHECK(sltskjremove(ctx, &rw, SLTSK_RWLOCK) == -1);
    CHILD_CHECK(sltskfreeinfo(ctx, &rw, SLTSK_RWLOCK) == 0);
    CHILD_CHECK(sltskisinitinfo(&rw.info) == 0);

    // No context, or nothing registered.
    CHILD_CHECK(sltskvdata(nullptr, nullptr, 0, nullptr) == -1);
    slts_ctx empty;
    CHILD_CHECK(sltskjinit(&empty) == 0);
    CHILD_CHECK(sltskdetection(&empty, report.c_str(), cycles.c_str()) == -8);
    sltskjfree(&empty);
    unlink(report.c_str());
    unlink(cycles.c_str());
    rmdir(dir);
    CHILD_CHECK(sltster(ctx) == 0);
  }));
}
