// Process services: set-up, start times and liveness. The context registers
// a SIGALRM handler with the process-wide signal multiplexer and changes the
// open-file limit, so tests that set one up run in a forked child.
#include <errno.h>
#include <fcntl.h>
#include <setjmp.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "skgp.h"
#include "ssls.h"

namespace {

// The start time of a process as the psinfo record reports it, worked out
// here from the text of /proc: btime of /proc/stat plus field 22 (starttime,
// clock ticks after boot) of /proc/<pid>/stat, in whole seconds.
long long oracle_start(pid_t pid) {
  std::ifstream stat_all("/proc/stat");
  std::string line;
  long long btime = -1;
  while (std::getline(stat_all, line))
    if (line.rfind("btime ", 0) == 0) btime = atoll(line.c_str() + 6);
  std::ifstream f("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(f)), std::istreambuf_iterator<char>());
  size_t paren = text.rfind(')');
  if (btime < 0 || paren == std::string::npos) return -1;
  std::istringstream rest(text.substr(paren + 1));
  std::vector<std::string> fields;  // fields 3 onwards
  for (std::string w; rest >> w;) fields.push_back(w);
  if (fields.size() < 20) return -1;
  return btime + atoll(fields[22 - 3].c_str()) / sysconf(_SC_CLK_TCK);
}

slos_error dirty_err() {
  slos_error e;
  memset(&e, 0, sizeof e);
  e.code = 4242;
  strcpy(e.call, "before");
  strcpy(e.location, "before");
  strcpy(e.other, "before");
  return e;
}

bool same_err(const slos_error &a, const slos_error &b) { return memcmp(&a, &b, sizeof a) == 0; }

// A child that sleeps until killed; kill_and_reap() makes its pid vanish.
struct Sleeper {
  pid_t pid = -1;
  Sleeper() {
    pid = fork();
    if (pid == 0) {
      prctl(PR_SET_PDEATHSIG, SIGKILL);
      for (;;) pause();
    }
  }
  void kill_and_reap() {
    if (pid > 0) {
      kill(pid, SIGKILL);
      while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
      }
    }
  }
  ~Sleeper() {
    if (pid > 0 && waitpid(pid, nullptr, WNOHANG) == 0) kill_and_reap();
  }
};

// Sets up a context in the calling (child) process; exits the child when the
// set-up fails.
void init_or_die(skgp_ctx *ctx, skgp_ops *ops = nullptr, void *opsctx = nullptr) {
  static skgp_ops empty{};
  slos_error err{};
  CHILD_CHECK(skgpinit(&err, ctx, ops != nullptr ? ops : &empty, opsctx, 0) == 1);
}

TEST(Skgpinit, RaisesFileLimitAndFillsContext) {
  EXPECT_EQ(in_child([] {
              struct rlimit rl;
              CHILD_CHECK(getrlimit(RLIMIT_NOFILE, &rl) == 0);
              const rlim_t hard = rl.rlim_max;
              if (hard > 64) {
                rl.rlim_cur = 64;
                CHILD_CHECK(setrlimit(RLIMIT_NOFILE, &rl) == 0);
              }
              skgp_ops ops{};
              int cbctx = 0;
              skgp_ctx ctx;
              memset(static_cast<void *>(&ctx), 0x5A, sizeof ctx);
              slos_error err = dirty_err();
              CHILD_CHECK(skgpinit(&err, &ctx, &ops, &cbctx, 0) == 1);
              CHILD_CHECK(err.code == 0 && err.other[0] == '\0');
              CHILD_CHECK(getrlimit(RLIMIT_NOFILE, &rl) == 0);
              CHILD_CHECK(rl.rlim_cur == hard && rl.rlim_max == hard);
              CHILD_CHECK(ctx.flags & SKGP_FLG_INIT);
              CHILD_CHECK(ctx.flags & SKGP_FLG_SEMTIMEDOP);  // glibc has it
              CHILD_CHECK(ctx.self.pid == getpid());
              CHILD_CHECK(ctx.self.stime == oracle_start(getpid()));
              CHILD_CHECK(ctx.usec_per_tick == 1000000 / sysconf(_SC_CLK_TCK) + 1);
              CHILD_CHECK(ctx.usr2_id == -1);
              CHILD_CHECK(ctx.alarm_id >= 0);
              CHILD_CHECK(ctx.ops == &ops && ctx.opsctx == &cbctx);
              CHILD_CHECK(ctx.pwctx == nullptr && ctx.jmpflags == 0 && ctx.alarm_fired == 0);

              // With the soft limit already at the hard limit nothing changes
              // (after a reset: the handler is the signal's final one, and a
              // signal has at most one).
              CHILD_CHECK(skgpreset(&err, &ctx) == 1);
              skgp_ctx again;
              CHILD_CHECK(skgpinit(&err, &again, &ops, nullptr, 0) == 1);
              CHILD_CHECK(getrlimit(RLIMIT_NOFILE, &rl) == 0);
              CHILD_CHECK(rl.rlim_cur == hard);
              CHILD_CHECK(again.alarm_id >= 0 && again.alarm_id != ctx.alarm_id);
            }),
            0);
}

// The alarm handler is registered as SIGALRM's final handler, and the
// multiplexer allows one per signal: while one context holds it, a second
// set-up (another context or the same one again) is refused.
TEST(Skgpinit, SecondContextRefusedWhileFirstHoldsTheAlarm) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              for (skgp_ctx *second : {static_cast<skgp_ctx *>(nullptr), &ctx}) {
                skgp_ctx other;
                skgp_ctx *c = second != nullptr ? second : &other;
                slos_error err{};
                CHILD_CHECK(skgpinit(&err, c, nullptr, nullptr, 0) == 0);
                CHILD_CHECK(err.code == SSLSS_ERR_FINAL);
                CHILD_CHECK(strcmp(err.call, "sslssreghdlr") == 0);
                CHILD_CHECK(strcmp(err.location, "sskgpinit1") == 0);
                CHILD_CHECK(!(c->flags & SKGP_FLG_INIT));
              }
            }),
            0);
}

TEST(Skgpreset, UnregistersHandlers) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              sl_status st{};
              int usr2 = sslssreghdlr(&st, SIGUSR2, sskgpalarm, &ctx, 0);
              CHILD_CHECK(usr2 >= 0);
              ctx.usr2_id = usr2;
              int alarm = ctx.alarm_id;
              slos_error err{};
              CHILD_CHECK(skgpreset(&err, &ctx) == 1);
              CHILD_CHECK(!(ctx.flags & SKGP_FLG_INIT));
              CHILD_CHECK(sslssunreghdlr(&st, SIGALRM, alarm) == -1 && st.code == SSLSS_ERR_NOID);
              CHILD_CHECK(sslssunreghdlr(&st, SIGUSR2, usr2) == -1 && st.code == SSLSS_ERR_NOID);

              // A handle the multiplexer does not know: the reset fails.
              skgp_ctx other;
              init_or_die(&other);
              other.alarm_id = 9999;
              CHILD_CHECK(skgpreset(&err, &other) == 0);
              CHILD_CHECK(err.code == SSLSS_ERR_NOID);
              CHILD_CHECK(strcmp(err.call, "sslssunreghdlr") == 0);
              CHILD_CHECK(strcmp(err.location, "sskgpreset1") == 0);
              CHILD_CHECK(other.flags & SKGP_FLG_INIT);
            }),
            0);
}

TEST(Skgpstime, OwnAndOtherProcesses) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              Sleeper s;
              CHILD_CHECK(s.pid > 0);
              skgp_pid p{};
              p.pid = s.pid;
              slos_error err{};
              CHILD_CHECK(skgpstime(&err, &ctx, &p) == 1);
              CHILD_CHECK(p.stime == oracle_start(s.pid));
              CHILD_CHECK(p.stime > 0);

              s.kill_and_reap();
              err = slos_error{};
              CHILD_CHECK(skgpstime(&err, &ctx, &p) == 0);
              CHILD_CHECK(err.code == SKGP_ERR_BADPID);
              CHILD_CHECK(strcmp(err.call, "invalid_process_id") == 0);
              CHILD_CHECK(strcmp(err.location, "skgpstime2") == 0);

              // Ids that do not name one process are refused before /proc.
              for (int32_t bad : {0, -1, -2, INT32_MIN}) {
                p.pid = bad;
                err = slos_error{};
                CHILD_CHECK(skgpstime(&err, &ctx, &p) == 0);
                CHILD_CHECK(err.code == SKGP_ERR_BADPID);
                CHILD_CHECK(strcmp(err.location, "skgpstime1") == 0);
              }
            }),
            0);
}

TEST(Skgpvtime, RecordedTimeAgainstCurrent) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              skgp_pid p = ctx.self;
              slos_error err = dirty_err();
              CHILD_CHECK(skgpvtime(&err, &ctx, &p) == 1);
              CHILD_CHECK(err.code == 0);
              p.stime += 1;
              CHILD_CHECK(skgpvtime(&err, &ctx, &p) == 0);
              CHILD_CHECK(err.code == 0);
              // No start time recorded: nothing is looked up.
              p.pid = -5;
              p.stime = 0;
              err = dirty_err();
              CHILD_CHECK(skgpvtime(&err, &ctx, &p) == 1);
              CHILD_CHECK(err.code == 4242);
              // Gone: 0 with the record cleared again.
              Sleeper s;
              p.pid = s.pid;
              p.stime = 1;
              s.kill_and_reap();
              err = dirty_err();
              CHILD_CHECK(skgpvtime(&err, &ctx, &p) == 0);
              CHILD_CHECK(err.code == 0 && err.other[0] == '\0');
            }),
            0);
}

TEST(Skgpalive, Table) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              Sleeper live;
              Sleeper gone;
              CHILD_CHECK(live.pid > 0 && gone.pid > 0);
              const long long live_start = oracle_start(live.pid);
              const long long gone_start = oracle_start(gone.pid);
              gone.kill_and_reap();
              struct Case {
                const char *what;
                int32_t pid;
                long long stime;
                int alive;
                int32_t code;      // 4242: record untouched
                const char *loc;
              } cases[] = {
                  {"self", ctx.self.pid, ctx.self.stime, 1, 0, ""},
                  {"self, start 0", ctx.self.pid, 0, 1, 0, ""},
                  {"live child", live.pid, live_start, 1, 0, ""},
                  {"live child, start 0", live.pid, 0, 1, 0, ""},
                  {"reused pid", live.pid, live_start - 7, 0, 0, ""},
                  {"gone", gone.pid, gone_start, 0, 4242, ""},
                  {"gone, start 0", gone.pid, 0, 0, 4242, ""},
                  {"pid 0", 0, 0, 0, SKGP_ERR_BADPID, "skgpalive1"},
                  {"pid -1", -1, 0, 0, SKGP_ERR_BADPID, "skgpalive1"},
                  {"pid -2 (a group)", -2, 0, 0, SKGP_ERR_BADPID, "skgpalive1"},
              };
              for (const Case &c : cases) {
                skgp_pid p{};
                p.pid = c.pid;
                p.stime = static_cast<decltype(p.stime)>(c.stime);
                slos_error err = dirty_err();
                if (c.code == 0) err = slos_error{};
                const slos_error before = err;
                int got = skgpalive(&err, &ctx, &p);
                if (got != c.alive) {
                  fprintf(stderr, "%s: alive %d\n", c.what, got);
                  _exit(1);
                }
                if (c.code == 4242 || c.code == 0) {
                  CHILD_CHECK(same_err(err, before));
                } else {
                  CHILD_CHECK(err.code == c.code);
                  CHILD_CHECK(strcmp(err.location, c.loc) == 0);
                  CHILD_CHECK(strcmp(err.call, "invalid_process_id") == 0);
                }
              }
            }),
            0);
}

// A process of another user answers kill(pid, 0) with EPERM; it is alive
// when its start time matches.
TEST(Skgpalive, OtherUsersProcess) {
  pid_t target = getpid();
  uid_t nobody = 65534;
  if (geteuid() != 0) target = 1;  // init, owned by root
  EXPECT_EQ(in_child([&] {
              // Read here, where the target is another process: an emulator
              // shows a process its own start time differently.
              const long long start = oracle_start(target);
              CHILD_CHECK(start > 0);
              if (geteuid() == 0) {
                CHILD_CHECK(setgid(nobody) == 0 && setuid(nobody) == 0);
              }
              CHILD_CHECK(kill(target, 0) == -1 && errno == EPERM);
              skgp_ctx ctx;
              init_or_die(&ctx);
              skgp_pid p{};
              p.pid = target;
              p.stime = static_cast<decltype(p.stime)>(start);
              slos_error err{};
              CHILD_CHECK(skgpalive(&err, &ctx, &p) == 1);
              CHILD_CHECK(err.code == 0);
              p.stime += 1;
              CHILD_CHECK(skgpalive(&err, &ctx, &p) == 0);
              CHILD_CHECK(err.code == 0);
            }),
            0);
}

TEST(Skgpmaterialize, CopiesBothWords) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              skgp_pid src{};
              src.pid = 4711;
              src.stime = 1700000000;
              skgp_pid dst{};
              slos_error err{};
              CHILD_CHECK(skgpmaterialize(&err, &ctx, &src, &dst) == 1);
              CHILD_CHECK(dst.pid == 4711 && dst.stime == 1700000000);
              CHILD_CHECK(skgpmaterialize(&err, &ctx, nullptr, &dst) == 0);
              CHILD_CHECK(err.code == -1 && err.oserr == 0);
              CHILD_CHECK(strcmp(err.location, "skgpmaterial") == 0);  // tags hold 12 characters
              err = slos_error{};
              CHILD_CHECK(skgpmaterialize(&err, &ctx, &src, nullptr) == 0);
              CHILD_CHECK(err.code == -1);
            }),
            0);
}

// --- the SIGALRM handler --------------------------------------------------

char g_trace[256];
void *g_trace_ctx;
void trace(void *cbctx, const char *fmt, ...) {
  g_trace_ctx = cbctx;
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(g_trace, sizeof g_trace, fmt, ap);
  va_end(ap);
}

// Arms the context's alarm timer for 20 ms and waits for the handler.
void arm_and_wait(skgp_ctx *ctx) {
  sl_status st{};
  sslss_time t{0, 20000};
  CHILD_CHECK(sslssalck(&st, ctx->alarm_id, &t) == 0);
  for (int i = 0; i < 500 && !ctx->alarm_fired; ++i) usleep(2000);
}

TEST(Sskgpalarm, TracesWithoutArmedJump) {
  EXPECT_EQ(in_child([] {
              skgp_ops ops{};
              ops.trace = trace;
              int cbctx = 0;
              skgp_ctx ctx;
              init_or_die(&ctx, &ops, &cbctx);
              arm_and_wait(&ctx);
              CHILD_CHECK(ctx.alarm_fired == 1);
              char want[128];
              snprintf(want, sizeof want,
                       "sskgpalarm: signal %d recieved by unix process %d with invalid jmpbuf\n",
                       SIGALRM, static_cast<int>(getpid()));
              CHILD_CHECK(strcmp(g_trace, want) == 0);
              CHILD_CHECK(g_trace_ctx == &cbctx);
            }),
            0);
}

TEST(Sskgpalarm, NoTraceCallbackOnlyMarks) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              g_trace[0] = '\0';
              arm_and_wait(&ctx);
              CHILD_CHECK(ctx.alarm_fired == 1);
              CHILD_CHECK(g_trace[0] == '\0');
            }),
            0);
}

TEST(Sskgpalarm, JumpsBackIntoArmedWait) {
  EXPECT_EQ(in_child([] {
              skgp_ops ops{};
              ops.trace = trace;
              static skgp_ctx ctx;
              init_or_die(&ctx, &ops, nullptr);
              g_trace[0] = '\0';
              if (sigsetjmp(ctx.jmpbuf, 1) == 0) {
                ctx.jmpflags |= SKGP_JMP_VALID;
                arm_and_wait(&ctx);
                _exit(3);  // the handler did not jump
              }
              ctx.jmpflags &= ~SKGP_JMP_VALID;
              CHILD_CHECK(ctx.alarm_fired == 1);
              CHILD_CHECK(g_trace[0] == '\0');
            }),
            0);
}

TEST(SkgpDeathTest, UninitialisedContextAsserts) {
  skgp_ctx ctx{};
  skgp_pid p{};
  p.pid = getpid();
  slos_error err{};
  EXPECT_DEBUG_DEATH(skgpalive(&err, &ctx, &p), "is_init");
}

}  // namespace
