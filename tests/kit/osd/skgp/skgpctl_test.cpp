// Process control with real fork, exec and wait. Tests that set up a
// context (a process-wide SIGALRM registration) run in forked children.
#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "psinfo.h"
#include "skgp.h"
#include "skgpw.h"

namespace {

void init_or_die(skgp_ctx *ctx, skgp_ops *ops = nullptr) {
  static skgp_ops empty{};
  slos_error err{};
  CHILD_CHECK(skgpinit(&err, ctx, ops != nullptr ? ops : &empty, nullptr, 0) == 1);
}

// 32-bit programs run by qemu's user-mode emulator (scripts/ia32.sh).
bool emulated() {
  return sizeof(void *) == 4 && access("/proc/sys/fs/binfmt_misc/qemu-i386", F_OK) == 0;
}

double now_ms() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec * 1000.0 + ts.tv_nsec / 1e6;
}

}  // namespace

TEST(Skgpquery, FeatureTable) {
  skgpw_shared_ctx area{};
  skgp_ctx ctx{};
  struct Case {
    bool init;
    skgpw_shared_ctx *pw;
    uint32_t valid;
    uint32_t bits;
    int want;
  } cases[] = {
      {false, nullptr, 0, SKGP_Q_ALWAYS, 1},
      {false, nullptr, 0, 0, 0},
      {true, nullptr, 0, SKGP_Q_NEVER, 0},
      {true, nullptr, 0, SKGP_Q_ALWAYS | SKGP_Q_NEVER, 1},
      {true, nullptr, 0, 0, 1},
      {true, nullptr, 0, SKGP_Q_POSTWAIT, 0},
      {true, &area, 0, SKGP_Q_POSTWAIT, 0},
      {true, &area, SKGPW_AREA_VALID, SKGP_Q_POSTWAIT, 1},
  };
  EXPECT_EQ(skgpquery(nullptr, SKGP_Q_ALWAYS), 1);
  EXPECT_EQ(skgpquery(nullptr, 0), 0);
  for (const Case &c : cases) {
    ctx.flags = c.init ? SKGP_FLG_INIT : 0;
    ctx.pwctx = c.pw;
    area.flags = c.valid;
    EXPECT_EQ(skgpquery(&ctx, c.bits), c.want) << c.bits << " init " << c.init;
  }
}

TEST(Skgpspawn, GrandchildIsDetachedAndIdentified) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              slos_error err{};
              skgp_pid got{};
              char *argv[] = {const_cast<char *>("sleep"), const_cast<char *>("30"), nullptr};
              CHILD_CHECK(skgpspawn(&err, &ctx, "/bin/sleep", nullptr, nullptr, argv, &got,
                                    nullptr, nullptr, 0) == 1);
              CHILD_CHECK(got.pid > 0 && got.pid != getpid());
              // Not our child: nothing to wait for.
              CHILD_CHECK(waitpid(got.pid, nullptr, WNOHANG) < 0 && errno == ECHILD);
              // The identity matches the process's own psinfo record.
              skgp_pid check{};
              check.pid = got.pid;
              CHILD_CHECK(skgpstime(&err, &ctx, &check) == 1);
              if (emulated()) {
                // The emulator shows a process its own start time from its own
                // clock; other processes see the kernel's: a second either way.
                CHILD_CHECK(check.stime - got.stime >= -1 && check.stime - got.stime <= 1);
                got.stime = check.stime;
              }
              CHILD_CHECK(check.stime == got.stime);
              CHILD_CHECK(skgpalive(&err, &ctx, &got) == 1);
              // It runs in its own session, once it has made it (after it
              // reported its identity).
              for (int i = 0; i < 500 && getsid(got.pid) != got.pid; ++i) usleep(10000);
              CHILD_CHECK(getsid(got.pid) == got.pid);
              CHILD_CHECK(skgpkill(&err, &ctx, &got) == 1);
              // Gone, or a zombie that init has yet to reap.
              auto ended = [](pid_t pid) {
                if (kill(pid, 0) != 0) return true;
                char path[64], state = 0;
                snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
                FILE *f = fopen(path, "r");
                if (!f) return true;
                bool zombie = fscanf(f, "%*d (%*[^)]) %c", &state) == 1 && state == 'Z';
                fclose(f);
                return zombie;
              };
              for (int i = 0; i < 500 && !ended(got.pid); ++i) usleep(10000);
              CHILD_CHECK(ended(got.pid));
              // A program that does not exist still gives its (short-lived) identity.
              CHILD_CHECK(skgpspawn(&err, &ctx, "/nonexistent/program", nullptr, nullptr, argv,
                                    &got, nullptr, nullptr, 0) == 1);
              CHILD_CHECK(got.pid > 0);
              // A thread start is not supported.
              CHILD_CHECK(skgpspawn(&err, &ctx, nullptr, [](void *) -> void * { return nullptr; },
                                    nullptr, argv, &got, nullptr, nullptr, 0) == 0);
              CHILD_CHECK(err.code == SKGP_ERR_NOTSUP && strcmp(err.location, "skgpspawn1") == 0);
              CHILD_CHECK(got.pid == 0);
            }),
            0);
}

TEST(Skgpchild, ExecFailureEndsTheChildWithErrno) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              slos_error err{};
              skgp_pid got{};
              char *argv[] = {const_cast<char *>("x"), nullptr};
              pid_t me = getpid();
              int rc = skgpspawn(&err, &ctx, "/nonexistent/program", nullptr, nullptr, argv, &got,
                                 nullptr, nullptr, SKGP_SPAWN_CHILD);
              CHILD_CHECK(getpid() == me && "no child returns into the caller");
              (void)rc;
              int status = 0;
              CHILD_CHECK(waitpid(got.pid, &status, 0) == got.pid);
              CHILD_CHECK(WIFEXITED(status) && WEXITSTATUS(status) == (ENOENT | 128));
              // A plain child that runs is joined.
              char *targv[] = {const_cast<char *>("true"), nullptr};
              CHILD_CHECK(skgpchild(&err, &ctx, "/bin/true", nullptr, nullptr, targv, &got) == 1);
              CHILD_CHECK(skgpjoin(&err, &ctx, &got) == 1);
              CHILD_CHECK(skgpjoin(&err, &ctx, &got) == 0 && err.code == SKGP_ERR_SYSCALL &&
                          err.oserr == ECHILD && strcmp(err.location, "skgpjoin1") == 0);
            }),
            0);
}

TEST(Skgpkill, ExitedReusedAndInvalidIds) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              slos_error err{};
              // Already exited and reaped.
              pid_t p = fork();
              if (p == 0) _exit(0);
              skgp_pid gone{};
              gone.pid = p;
              CHILD_CHECK(skgpstime(&err, &ctx, &gone) == 1 || true);
              waitpid(p, nullptr, 0);
              CHILD_CHECK(skgpkill(&err, &ctx, &gone) == 1 && err.code == 0);
              // A live process under another start time: an id that was reused.
              pid_t live = fork();
              if (live == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                for (;;) pause();
              }
              skgp_pid reused{};
              reused.pid = live;
              CHILD_CHECK(skgpstime(&err, &ctx, &reused) == 1);
              reused.stime -= 1000;
              CHILD_CHECK(skgpkill(&err, &ctx, &reused) == 1 && err.code == 0);
              usleep(20000);
              CHILD_CHECK(waitpid(live, nullptr, WNOHANG) == 0 && "no signal was sent");
              reused.stime += 1000;
              CHILD_CHECK(skgpkill(&err, &ctx, &reused) == 1);
              int status = 0;
              CHILD_CHECK(waitpid(live, &status, 0) == live && WIFSIGNALED(status) &&
                          WTERMSIG(status) == SIGKILL);
              // Ids that name groups or every process are refused.
              for (int32_t bad : {0, -1, -static_cast<int32_t>(getpgrp())}) {
                skgp_pid b{};
                b.pid = bad;
                err = slos_error{};
                CHILD_CHECK(skgpkill(&err, &ctx, &b) == 0 && err.code == SKGP_ERR_BADPID);
              }
              CHILD_CHECK(skgpkill(&err, &ctx, nullptr) == 1);
            }),
            0);
}

TEST(Skgpnap, WaitsAtLeastOneTick) {
  EXPECT_EQ(in_child([] {
              skgp_ctx ctx;
              init_or_die(&ctx);
              slos_error err{};
              double t0 = now_ms();
              skgpnap(&err, &ctx, 0);
              CHILD_CHECK(now_ms() - t0 >= ctx.usec_per_tick / 1000.0 - 1);
              t0 = now_ms();
              skgpnap(&err, &ctx, 40000);
              CHILD_CHECK(now_ms() - t0 >= 39);
            }),
            0);
}

TEST(Skgpint, FollowsSigintAction) {
  EXPECT_EQ(in_child([] {
              signal(SIGINT, SIG_DFL);
              CHILD_CHECK(skgpint() == 1);
              signal(SIGINT, SIG_IGN);
              CHILD_CHECK(skgpint() == 0);
            }),
            0);
}

TEST(Skgpnumcpu, AffinityMaskAndOnline) {
  slos_error err{};
  EXPECT_GE(skgpnumcpu(&err), 1);
  EXPECT_EQ(in_child([] {
              cpu_set_t set;
              CPU_ZERO(&set);
              CHILD_CHECK(sched_getaffinity(0, sizeof set, &set) == 0);
              int first = 0;
              while (!CPU_ISSET(first, &set)) ++first;
              CPU_ZERO(&set);
              CPU_SET(first, &set);
              CHILD_CHECK(sched_setaffinity(0, sizeof set, &set) == 0);
              slos_error e{};
              CHILD_CHECK(skgpnumcpu(&e) == 1 || sysconf(_SC_NPROCESSORS_ONLN) == 1);
            }),
            0);
}

namespace {
int g_timed;
const char *g_plan;
std::string g_warn;
int parm(void *, const char *name, int, void *value, char **text, int, int) {
  if (strcmp(name, "timed_os_statistics") == 0) {
    *static_cast<int *>(value) = g_timed;
  } else if (strcmp(name, "resource_manager_plan") == 0) {
    *static_cast<int *>(value) = g_plan != nullptr ? static_cast<int>(strlen(g_plan)) : 0;
    *text = const_cast<char *>(g_plan);
  }
  return 0;
}
void warn(void *, const char *fmt, ...) {
  char buf[256];
  va_list ap;
  va_start(ap, fmt);
  vsnprintf(buf, sizeof buf, fmt, ap);
  va_end(ap);
  g_warn += buf;
}
}  // namespace

TEST(Skgpacctg, AsksParametersAndWarnsOnTheControlFile) {
  skgp_ops ops{};
  ops.parm = parm;
  ops.warn = warn;
  skgp_ctx ctx{};
  ctx.ops = &ops;
  struct Case {
    int timed;
    const char *plan;
    bool tries;
  } cases[] = {{0, nullptr, false},  {0, "", false},      {0, "INTERNAL_PLAN", false},
               {0, "DAYTIME", true}, {1, nullptr, true}};
  for (const Case &c : cases) {
    g_timed = c.timed;
    g_plan = c.plan;
    g_warn.clear();
    skgpacctg(&ctx);
    // This system has no /proc/self/ctl: a try ends in the open warning.
    if (c.tries)
      EXPECT_EQ(g_warn, "WARNING: skgpacctg /proc open failed, errno = " + std::to_string(ENOENT) + " \n");
    else
      EXPECT_EQ(g_warn, "") << (c.plan ? c.plan : "(null)");
  }
  ops.parm = nullptr;
  g_timed = 1;
  g_warn.clear();
  skgpacctg(&ctx);
  EXPECT_EQ(g_warn, "");
}
