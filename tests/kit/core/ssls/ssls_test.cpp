// The signal multiplexer keeps process-wide tables and changes signal
// dispositions, so every test runs its body in a forked child.
#include <errno.h>
#include <signal.h>
#include <stdio.h>
#include <string.h>
#include <sys/wait.h>
#include <time.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "ssls.h"

namespace {

#define CHECK(c)                                                              \
  do {                                                                        \
    if (!(c)) {                                                               \
      fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #c); \
      _exit(1);                                                               \
    }                                                                         \
  } while (0)

template <class F>
int in_child(F body) {
  fflush(stdout);
  fflush(stderr);
  pid_t pid = fork();
  if (pid == 0) {
    body();
    _exit(0);
  }
  int status = 0;
  waitpid(pid, &status, 0);
  if (WIFEXITED(status)) return WEXITSTATUS(status);
  return 128 + WTERMSIG(status);
}

// Order in which handlers ran, as small numbers.
volatile sig_atomic_t g_log[32];
volatile sig_atomic_t g_nlog;
void note(int v) {
  if (g_nlog < 32) {
    g_log[g_nlog] = v;
    g_nlog = g_nlog + 1;
  }
}
void reset_log() { g_nlog = 0; }

void h_note(int, void *arg) { note(static_cast<int>(reinterpret_cast<intptr_t>(arg))); }

bool blocked(int sig) {
  sigset_t cur;
  pthread_sigmask(SIG_SETMASK, nullptr, &cur);
  return sigismember(&cur, sig) == 1;
}

void *tag(int v) { return reinterpret_cast<void *>(static_cast<intptr_t>(v)); }

}  // namespace

TEST(Sslss, RegistrationChecks) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    struct Case {
      int sig;
      sslsshdlr fn;
      int flags;
      int code;
      intptr_t d0, d1;
    } cases[] = {
        {0, h_note, 0, SSLSS_ERR_SIGNAL, 0, 45},
        {46, h_note, 0, SSLSS_ERR_SIGNAL, 46, 45},
        {SIGUSR1, SSLSS_IGN, 0, SSLSS_ERR_REFUSED, SIGUSR1, 1},
        {SIGUSR1, SSLSS_DFL, 0, SSLSS_ERR_REFUSED, SIGUSR1, 0},
    };
    for (const Case &c : cases) {
      memset(&st, 0x5a, sizeof st);
      CHECK(sslssreghdlr(&st, c.sig, c.fn, nullptr, c.flags) == -1);
      CHECK(st.code == c.code);
      CHECK(st.oserr == 0);
      CHECK(st.detail[0] == c.d0);
      CHECK(st.detail[1] == c.d1);
    }
    // Ids count per signal from 1; the same handler and argument twice is refused.
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHECK(st.code == 0);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), 0) == 2);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == -1);
    CHECK(st.code == SSLSS_ERR_DUP);
    CHECK(st.detail[0] == SIGUSR1);
    CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(1), 0) == 1);
    // Shared registrations may repeat.
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(1), SSLSS_SHARED) == 1);
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(1), SSLSS_SHARED) == 2);
    // Unknown ids.
    CHECK(sslssunreghdlr(&st, SIGUSR1, 7) == -1);
    CHECK(st.code == SSLSS_ERR_NOID);
    CHECK(sslssunreghdlr(&st, 99, 1) == -1);
    CHECK(st.code == SSLSS_ERR_SIGNAL);
    CHECK(sslssmodhdlr(&st, SIGUSR1, 1, 9) == -1);
    CHECK(st.code == SSLSS_ERR_MODOP);
    // Ids are never reused.
    CHECK(sslssunreghdlr(&st, SIGUSR1, 2) == 0);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), 0) == 3);
  }));
}

namespace {
// Marks what the final and the plain handlers saw of the mask.
volatile sig_atomic_t g_plain_saw_xcpu_blocked = -1;
volatile sig_atomic_t g_final_saw_xcpu_blocked = -1;
void h_plain_mask(int, void *arg) {
  g_plain_saw_xcpu_blocked = blocked(SIGXCPU);
  note(static_cast<int>(reinterpret_cast<intptr_t>(arg)));
}
void h_final_mask(int, void *) {
  g_final_saw_xcpu_blocked = blocked(SIGXCPU);
  note(99);
}
void h_clobber_errno(int, void *arg) {
  errno = EIO;
  note(static_cast<int>(reinterpret_cast<intptr_t>(arg)));
}
}  // namespace

TEST(Sslss, ChainRunsNewestFirstAndFinalLast) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    // SIGXCPU is one of the signals a handler's own mask leaves open, so it
    // shows whether the multiplexer blocked the final-handler signals.
    CHECK(sslssreghdlr(&st, SIGXCPU, h_note, tag(50), SSLSS_FINAL) == 1);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_final_mask, nullptr, SSLSS_FINAL) == 1);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_plain_mask, tag(1), 0) == 2);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_clobber_errno, tag(2), 0) == 3);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(3), 0) == 4);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(4), SSLSS_FINAL) == -1);
    CHECK(st.code == SSLSS_ERR_FINAL);
    reset_log();
    errno = ENOENT;
    raise(SIGUSR1);
    CHECK(errno == ENOENT);
    CHECK(g_nlog == 4);
    CHECK(g_log[0] == 3 && g_log[1] == 2 && g_log[2] == 1 && g_log[3] == 99);
    CHECK(g_plain_saw_xcpu_blocked == 1);
    CHECK(g_final_saw_xcpu_blocked == 0);
    // Without its final handler the signal no longer blocks SIGXCPU.
    CHECK(sslssunreghdlr(&st, SIGXCPU, 1) == 0);
    reset_log();
    raise(SIGUSR1);
    CHECK(g_plain_saw_xcpu_blocked == 0);
    // After the final handler is gone a new one may come.
    CHECK(sslssunreghdlr(&st, SIGUSR1, 1) == 0);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(4), SSLSS_FINAL) == 5);
    reset_log();
    raise(SIGUSR1);
    CHECK(g_nlog == 4);
    CHECK(g_log[3] == 4);
  }));
}

namespace {
volatile sig_atomic_t g_prev_calls;
volatile sig_atomic_t g_prev_info_ok;
void prev_siginfo(int sig, siginfo_t *info, void *) {
  g_prev_calls = g_prev_calls + 1;
  g_prev_info_ok = info != nullptr && info->si_signo == sig;
  note(100);
}
void prev_plain(int) {
  g_prev_calls = g_prev_calls + 1;
  note(101);
}
}  // namespace

TEST(Sslss, ForwardsToEarlierHandlerAndRestoresIt) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    struct sigaction before;
    memset(&before, 0, sizeof before);
    before.sa_sigaction = prev_siginfo;
    before.sa_flags = SA_SIGINFO | SA_NODEFER;
    sigemptyset(&before.sa_mask);
    sigaddset(&before.sa_mask, SIGHUP);
    CHECK(sigaction(SIGUSR2, &before, nullptr) == 0);

    int id = sslssreghdlr(&st, SIGUSR2, h_note, tag(1), 0);
    CHECK(id == 1);
    CHECK(sslsigprobe(SIGUSR2) == sslsshandler);
    reset_log();
    raise(SIGUSR2);
    CHECK(g_nlog == 2 && g_log[0] == 1 && g_log[1] == 100);
    CHECK(g_prev_info_ok == 1);
    // The multiplexer put itself back after calling the earlier handler.
    CHECK(sslsigprobe(SIGUSR2) == sslsshandler);

    CHECK(sslssunreghdlr(&st, SIGUSR2, id) == 0);
    struct sigaction after;
    CHECK(sigaction(SIGUSR2, nullptr, &after) == 0);
    CHECK(after.sa_sigaction == prev_siginfo);
    CHECK((after.sa_flags & (SA_SIGINFO | SA_NODEFER | SA_RESTART)) == (SA_SIGINFO | SA_NODEFER));
    CHECK(sigismember(&after.sa_mask, SIGHUP) == 1);
    CHECK(sigismember(&after.sa_mask, SIGINT) == 0);

    // A plain (one-argument) earlier handler is called with the signal only.
    signal(SIGURG, prev_plain);
    CHECK(sslssreghdlr(&st, SIGURG, h_note, tag(2), 0) == 1);
    reset_log();
    raise(SIGURG);
    CHECK(g_nlog == 2 && g_log[0] == 2 && g_log[1] == 101);
    CHECK(sslssunreghdlr(&st, SIGURG, 1) == 0);
    CHECK(sslsigprobe(SIGURG) == SSLSIG_FN(prev_plain));
  }));
}

TEST(Sslss, LastUnregistrationRestoresIgnoreAndDefault) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    signal(SIGPIPE, SIG_IGN);
    int a = sslssreghdlr(&st, SIGPIPE, h_note, tag(1), 0);
    int b = sslssreghdlr(&st, SIGPIPE, h_note, tag(2), 0);
    CHECK(a == 1 && b == 2);
    CHECK(sslsigprobe(SIGPIPE) == sslsshandler);
    reset_log();
    raise(SIGPIPE);  // no earlier handler to call: ignore is not forwarded
    CHECK(g_nlog == 2);
    CHECK(sslssunreghdlr(&st, SIGPIPE, a) == 0);
    CHECK(sslsigprobe(SIGPIPE) == sslsshandler);
    CHECK(sslssunreghdlr(&st, SIGPIPE, b) == 0);
    CHECK(sslsigprobe(SIGPIPE) == SSLSIG_IGN);
    raise(SIGPIPE);  // still ignored: the child lives on

    CHECK(sslsigprobe(SIGUSR1) == SSLSIG_DFL);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHECK(sslssunreghdlr(&st, SIGUSR1, 1) == 0);
    CHECK(sslsigprobe(SIGUSR1) == SSLSIG_DFL);
  }));
}

TEST(Sslss, ExclusiveAndSharedMarks) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    // Exclusive on a signal that has a handler: 21112; a plain registration
    // on an exclusively held signal: 21111.
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), SSLSS_EXCL) == -1);
    CHECK(st.code == SSLSS_ERR_NOTALONE);
    CHECK(st.detail[0] == SIGUSR1);
    CHECK(st.detail[1] == reinterpret_cast<intptr_t>(h_note));
    CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(1), SSLSS_EXCL) == 1);
    CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(2), 0) == -1);
    CHECK(st.code == SSLSS_ERR_REFUSED);
    CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(2), SSLSS_SHARED) == -1);
    CHECK(st.code == SSLSS_ERR_REFUSED);
    // The mark goes with the exclusive handler.
    CHECK(sslssunreghdlr(&st, SIGUSR2, 1) == 0);
    CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(2), 0) == 2);
    // The refused exclusive registration on SIGUSR1 left no mark.
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(3), 0) == 2);

    // Shared registrations join one another, but not a plain one.
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(1), SSLSS_SHARED | SSLSS_FINAL) == 1);
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(2), SSLSS_SHARED) == 2);
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(3), 0) == -1);
    CHECK(st.code == SSLSS_ERR_REFUSED);
    // Refused at the final-handler check: the shared count stays as it was,
    // so removing the two shared handlers frees the signal again.
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(4), SSLSS_SHARED | SSLSS_FINAL) == -1);
    CHECK(st.code == SSLSS_ERR_FINAL);
    CHECK(sslssunreghdlr(&st, SIGHUP, 1) == 0);
    CHECK(sslssunreghdlr(&st, SIGHUP, 2) == 0);
    CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(3), 0) == 3);  // refusals use no id
    CHECK(sslssunreghdlr(&st, SIGHUP, 3) == 0);

    // Ignore as a shared handler becomes the disposition itself.
    CHECK(sslssreghdlr(&st, SIGHUP, SSLSS_IGN, nullptr, SSLSS_SHARED) == 4);
    CHECK(sslsigprobe(SIGHUP) == SSLSIG_IGN);
    raise(SIGHUP);
    CHECK(sslssunreghdlr(&st, SIGHUP, 4) == 0);
    CHECK(sslsigprobe(SIGHUP) == SSLSIG_DFL);

    // A failing installation leaves no handler over an empty chain and no
    // mark: slot 32 belongs to the C library's threads.
    CHECK(sslssreghdlr(&st, 32, h_note, tag(1), SSLSS_EXCL) == -1);
    CHECK(st.code == SSLSS_ERR_SIGACTION);
    CHECK(st.detail[0] == 32);
    CHECK(sslssreghdlr(&st, 32, h_note, tag(1), SSLSS_EXCL) == -1);
    CHECK(st.code == SSLSS_ERR_SIGACTION);
  }));
}

TEST(Sslss, DisableHoldReleaseAndWait) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), 0) == 2);
    // Disabled: skipped; all disabled: the signal is ignored.
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_DISABLE) == 0);
    reset_log();
    raise(SIGUSR1);
    CHECK(g_nlog == 1 && g_log[0] == 1);
    CHECK(sslssmodhdlr(&st, SIGUSR1, 1, SSLSS_MOD_DISABLE) == 0);
    CHECK(sslsigprobe(SIGUSR1) == SSLSIG_IGN);
    reset_log();
    raise(SIGUSR1);
    CHECK(g_nlog == 0);
    CHECK(sslssmodhdlr(&st, SIGUSR1, 1, SSLSS_MOD_ENABLE) == 0);
    CHECK(sslsigprobe(SIGUSR1) == sslsshandler);
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_ENABLE) == 0);

    // Held: the arrival is remembered and delivered once on release.
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_HOLD) == 0);
    reset_log();
    raise(SIGUSR1);
    raise(SIGUSR1);
    CHECK(g_nlog == 2 && g_log[0] == 1 && g_log[1] == 1);
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_RELEASE) == 0);
    CHECK(g_nlog == 3 && g_log[2] == 2);
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_RELEASE) == 0);
    CHECK(g_nlog == 3);

    // Wait on a held handler whose signal already came returns at once.
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_HOLD) == 0);
    raise(SIGUSR1);
    reset_log();
    CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_WAIT) == 0);
    CHECK(g_nlog == 1 && g_log[0] == 2);
    CHECK(!blocked(SIGUSR1));

    // Suspend over several signals: a pending held one is delivered at once.
    CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(7), 0) == 1);
    raise(SIGUSR1);
    reset_log();
    sslss_sigid list[] = {{SIGUSR2, 1}, {SIGUSR1, 2}, {0, 0}};
    CHECK(sslsssuspend(&st, list) == 0);
    CHECK(g_nlog == 1 && g_log[0] == 2);
    CHECK(!blocked(SIGUSR1) && !blocked(SIGUSR2));
    CHECK(sslsssuspend(&st, nullptr) == -1);
    CHECK(st.code == SSLSS_ERR_NOLIST);
    sslss_sigid bad[] = {{SIGUSR2, 1}, {SIGUSR1, 9}, {0, 0}};
    CHECK(sslsssuspend(&st, bad) == -1);
    CHECK(st.code == SSLSS_ERR_NOID && st.detail[0] == 9);
    CHECK(!blocked(SIGUSR2));
  }));
}

namespace {
uint32_t g_fake_now;
uint32_t fake_clock() { return g_fake_now; }
uint32_t g_arms[32];
int g_narms;
int fake_arm(uint32_t cs) {
  if (g_narms < 32) g_arms[g_narms++] = cs;
  return 0;
}
void use_fake_timer(uint32_t start) {
  g_fake_now = start;
  g_narms = 0;
  sslsssetclock(fake_clock);
  sslsssetarm(fake_arm);
}
int alck(int id, uint32_t sec, uint32_t usec) {
  sl_status st;
  sslss_time t = {sec, usec};
  int rc = sslssalck(&st, id, &t);
  return rc == 0 ? 0 : st.code;
}
}  // namespace

TEST(Sslss, TimersFireInDueOrder) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    use_fake_timer(100);
    int a = sslssreghdlr(&st, SIGALRM, h_note, tag(30), 0);
    int b = sslssreghdlr(&st, SIGALRM, h_note, tag(11), 0);
    int c = sslssreghdlr(&st, SIGALRM, h_note, tag(12), 0);
    CHECK(a == 1 && b == 2 && c == 3);
    CHECK(sslsigprobe(SIGALRM) == sslsstehdlr);
    CHECK(g_narms == 0);  // registration arms nothing
    CHECK(alck(a, 0, 300000) == 0);
    CHECK(alck(b, 0, 100000) == 0);
    CHECK(alck(c, 0, 100000) == 0);
    CHECK(g_narms == 2 && g_arms[0] == 30 && g_arms[1] == 10);

    reset_log();
    g_fake_now = 110;
    raise(SIGALRM);
    CHECK(g_nlog == 2 && g_log[0] == 11 && g_log[1] == 12);
    CHECK(g_narms == 3 && g_arms[2] == 20);
    g_fake_now = 125;  // early alarm: nothing due, re-armed for the rest
    raise(SIGALRM);
    CHECK(g_nlog == 2);
    CHECK(g_narms == 4 && g_arms[3] == 5);
    g_fake_now = 130;
    raise(SIGALRM);
    CHECK(g_nlog == 3 && g_log[2] == 30);
    CHECK(g_narms == 4);
    // A consumed timer does not fire again.
    raise(SIGALRM);
    CHECK(g_nlog == 3);

    // Below one centisecond counts as one; a timer with an id of no SIGALRM
    // handler is refused.
    g_narms = 0;
    CHECK(alck(a, 0, 4000) == 0);
    CHECK(g_narms == 1 && g_arms[0] == 1);
    CHECK(alck(9, 1, 0) == SSLSS_ERR_NOID);
    CHECK(alck(a, 0, 0) == 0);
    CHECK(g_narms == 2 && g_arms[1] == 0);
  }));
}

TEST(Sslss, CancelAndUnregisterRearmForTheRest) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    use_fake_timer(1000);
    int a = sslssreghdlr(&st, SIGALRM, h_note, tag(1), 0);
    int b = sslssreghdlr(&st, SIGALRM, h_note, tag(2), 0);
    int c = sslssreghdlr(&st, SIGALRM, h_note, tag(3), 0);
    CHECK(alck(a, 0, 300000) == 0);  // due 1030
    CHECK(alck(b, 0, 100000) == 0);  // due 1010, first
    CHECK(alck(c, 0, 500000) == 0);  // due 1050
    g_narms = 0;
    g_fake_now = 1005;
    CHECK(alck(b, 0, 0) == 0);  // the first goes: arm for a
    CHECK(g_narms == 1 && g_arms[0] == 25);
    CHECK(alck(c, 0, 0) == 0);  // not first: nothing to re-arm
    CHECK(g_narms == 1);
    // Re-arming moves a timer.
    CHECK(alck(c, 0, 100000) == 0);  // due 1015, first now
    CHECK(g_narms == 2 && g_arms[1] == 10);
    // Unregistering the handler of the first timer re-arms for the next.
    CHECK(sslssunreghdlr(&st, SIGALRM, c) == 0);
    CHECK(g_narms == 3 && g_arms[2] == 25);
    reset_log();
    g_fake_now = 1030;
    raise(SIGALRM);
    CHECK(g_nlog == 1 && g_log[0] == 1);
    // The last one gone: the timer is disarmed.
    CHECK(alck(b, 0, 200000) == 0);
    CHECK(sslssunreghdlr(&st, SIGALRM, b) == 0);
    CHECK(g_arms[g_narms - 1] == 0);
    CHECK(sslssunreghdlr(&st, SIGALRM, a) == 0);
    CHECK(sslsigprobe(SIGALRM) == SSLSIG_DFL);
  }));
}

namespace {
volatile sig_atomic_t g_final_alarm_saw_xcpu = -1;
void h_final_alarm(int sig, void *) {
  g_final_alarm_saw_xcpu = blocked(SIGXCPU);
  note(sig == SIGALRM ? 90 : -1);
}
}  // namespace

TEST(Sslss, FinalAlarmAndUnaccountedAlarm) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    use_fake_timer(0);
    struct sigaction before;
    memset(&before, 0, sizeof before);
    before.sa_sigaction = prev_siginfo;
    before.sa_flags = SA_SIGINFO;
    CHECK(sigaction(SIGALRM, &before, nullptr) == 0);
    CHECK(sslssreghdlr(&st, SIGXCPU, h_note, tag(50), SSLSS_FINAL) == 1);
    // The process services' pattern: a final SIGALRM handler.
    int f = sslssreghdlr(&st, SIGALRM, h_final_alarm, nullptr, SSLSS_FINAL);
    CHECK(f == 1);
    CHECK(sslssreghdlr(&st, SIGALRM, h_final_alarm, nullptr, SSLSS_FINAL) == -1);
    CHECK(st.code == SSLSS_ERR_FINAL);
    CHECK(sslssreghdlr(&st, SIGALRM, h_final_alarm, nullptr, 0) == -1);
    CHECK(st.code == SSLSS_ERR_DUP);
    int p = sslssreghdlr(&st, SIGALRM, h_plain_mask, tag(5), 0);
    CHECK(alck(f, 0, 100000) == 0);
    CHECK(alck(p, 0, 100000) == 0);
    g_prev_calls = 0;
    reset_log();
    g_fake_now = 10;
    raise(SIGALRM);
    CHECK(g_nlog == 2 && g_log[0] == 5 && g_log[1] == 90);
    CHECK(g_plain_saw_xcpu_blocked == 1);
    CHECK(g_final_alarm_saw_xcpu == 0);
    CHECK(g_prev_calls == 0);
    // An alarm no timer accounts for goes to the earlier handler.
    raise(SIGALRM);
    CHECK(g_prev_calls == 1);
    CHECK(sslsigprobe(SIGALRM) == sslsstehdlr);
    CHECK(sslssunreghdlr(&st, SIGALRM, p) == 0);
    CHECK(sslssunreghdlr(&st, SIGALRM, f) == 0);
    CHECK(sslsigprobe(SIGALRM) == prev_siginfo);
  }));
}

namespace {
volatile sig_atomic_t g_fired;
void h_fire(int, void *arg) {
  note(static_cast<int>(reinterpret_cast<intptr_t>(arg)));
  g_fired = g_fired + 1;
}
double mono_seconds() {
  struct timespec ts;
  clock_gettime(CLOCK_MONOTONIC, &ts);
  return ts.tv_sec + ts.tv_nsec / 1e9;
}
}  // namespace

// The real interval timer; only the order and a lower bound are checked.
TEST(Sslss, RealIntervalTimer) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    int a = sslssreghdlr(&st, SIGALRM, h_fire, tag(8), 0);
    int b = sslssreghdlr(&st, SIGALRM, h_fire, tag(2), 0);
    int c = sslssreghdlr(&st, SIGALRM, h_fire, tag(5), 0);
    sigset_t alrm, old;
    sigemptyset(&alrm);
    sigaddset(&alrm, SIGALRM);
    pthread_sigmask(SIG_BLOCK, &alrm, &old);
    double t0 = mono_seconds();
    reset_log();
    g_fired = 0;
    CHECK(alck(a, 0, 80000) == 0);
    CHECK(alck(b, 0, 20000) == 0);
    CHECK(alck(c, 0, 50000) == 0);
    while (g_fired < 3) sigsuspend(&old);
    double elapsed = mono_seconds() - t0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    CHECK(g_nlog == 3 && g_log[0] == 2 && g_log[1] == 5 && g_log[2] == 8);
    CHECK(elapsed >= 0.06);
    struct itimerval it;
    getitimer(ITIMER_REAL, &it);
    CHECK(it.it_value.tv_sec == 0 && it.it_value.tv_usec == 0);
  }));
}

namespace {
volatile sig_atomic_t g_on_altstack = -1;
void h_altstack(int, void *) {
  stack_t ss;
  sigaltstack(nullptr, &ss);
  int local = 0;
  char *p = reinterpret_cast<char *>(&local);
  char *base = static_cast<char *>(ss.ss_sp);
  g_on_altstack = (ss.ss_flags & SS_ONSTACK) && p >= base && p < base + ss.ss_size;
}
}  // namespace

TEST(Sslsig, AltStackHasMemory) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    CHECK(sslsigaltstack(1, 0) == ENOMEM);  // below the system minimum
    CHECK(sslsigaltstack(256 * 1024, 0) == 0);
    stack_t ss;
    CHECK(sigaltstack(nullptr, &ss) == 0);
    CHECK(ss.ss_sp != nullptr && ss.ss_size == 256 * 1024);
    CHECK(sslssreghdlr(&st, SIGUSR1, h_altstack, nullptr, SSLSS_ONSTACK) == 1);
    raise(SIGUSR1);
    CHECK(g_on_altstack == 1);
    CHECK(sslsigaltstack(256 * 1024, 1) == 0);
    CHECK(sigaltstack(nullptr, &ss) == 0);
    CHECK(ss.ss_flags & SS_DISABLE);
  }));
}

TEST(Sslsig, LayerFlagsAndMask) {
  EXPECT_EQ(0, in_child([] {
    int oldflags = -1;
    CHECK(sslsigprh(SIGUSR1, prev_siginfo, 0, &oldflags) == SSLSIG_DFL);
    struct sigaction cur;
    CHECK(sigaction(SIGUSR1, nullptr, &cur) == 0);
    CHECK((cur.sa_flags & (SA_SIGINFO | SA_RESTART)) == (SA_SIGINFO | SA_RESTART));
    for (int s : {SIGILL, SIGFPE, SIGBUS, SIGSEGV, SIGSYS, SIGXCPU, SIGXFSZ, SIGABRT})
      CHECK(sigismember(&cur.sa_mask, s) == 0);
    for (int s : {SIGHUP, SIGINT, SIGTERM, SIGALRM, SIGCHLD, SIGUSR2})
      CHECK(sigismember(&cur.sa_mask, s) == 1);
    CHECK(sslsigprh(SIGUSR1, SSLSIG_DFL, SA_RESTART, &oldflags) == prev_siginfo);
    CHECK((oldflags & (SA_SIGINFO | SA_RESTART)) == (SA_SIGINFO | SA_RESTART));
    CHECK(sslsigprobe(SIGUSR1) == SSLSIG_DFL);
    CHECK(sslsigreghndlr(SIGKILL, prev_siginfo, 0) == SSLSIG_ERR);
    CHECK(sslsigprobe(0) == SSLSIG_ERR);
  }));
}
