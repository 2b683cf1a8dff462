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

#include <algorithm>

#include "child.h"

#include "ssls.h"

namespace {

// ThreadSanitizer runs a signal handler late, from a frame of its own and
// under a mask of its own: there the mask the multiplexer set for a handler
// cannot be seen from inside it.
#if defined(__SANITIZE_THREAD__)
constexpr bool kHandlerMaskSeen = false;
#else
constexpr bool kHandlerMaskSeen = true;
#endif


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
      CHILD_CHECK(sslssreghdlr(&st, c.sig, c.fn, nullptr, c.flags) == -1);
      CHILD_CHECK(st.code == c.code);
      CHILD_CHECK(st.oserr == 0);
      CHILD_CHECK(st.detail[0] == c.d0);
      CHILD_CHECK(st.detail[1] == c.d1);
    }
    // Ids count per signal from 1; the same handler and argument twice is refused.
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHILD_CHECK(st.code == 0);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), 0) == 2);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_DUP);
    CHILD_CHECK(st.detail[0] == SIGUSR1);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(1), 0) == 1);
    // Shared registrations may repeat.
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(1), SSLSS_SHARED) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(1), SSLSS_SHARED) == 2);
    // Unknown ids.
    CHILD_CHECK(sslssunreghdlr(&st, SIGUSR1, 7) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_NOID);
    CHILD_CHECK(sslssunreghdlr(&st, 99, 1) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_SIGNAL);
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 1, 9) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_MODOP);
    // Ids are never reused.
    CHILD_CHECK(sslssunreghdlr(&st, SIGUSR1, 2) == 0);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), 0) == 3);
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
    CHILD_CHECK(sslssreghdlr(&st, SIGXCPU, h_note, tag(50), SSLSS_FINAL) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_final_mask, nullptr, SSLSS_FINAL) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_plain_mask, tag(1), 0) == 2);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_clobber_errno, tag(2), 0) == 3);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(3), 0) == 4);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(4), SSLSS_FINAL) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_FINAL);
    reset_log();
    errno = ENOENT;
    raise(SIGUSR1);
    CHILD_CHECK(errno == ENOENT);
    CHILD_CHECK(g_nlog == 4);
    CHILD_CHECK(g_log[0] == 3 && g_log[1] == 2 && g_log[2] == 1 && g_log[3] == 99);
    CHILD_CHECK(!kHandlerMaskSeen || g_plain_saw_xcpu_blocked == 1);
    CHILD_CHECK(!kHandlerMaskSeen || g_final_saw_xcpu_blocked == 0);
    // Without its final handler the signal no longer blocks SIGXCPU.
    CHILD_CHECK(sslssunreghdlr(&st, SIGXCPU, 1) == 0);
    reset_log();
    raise(SIGUSR1);
    CHILD_CHECK(!kHandlerMaskSeen || g_plain_saw_xcpu_blocked == 0);
    // After the final handler is gone a new one may come.
    CHILD_CHECK(sslssunreghdlr(&st, SIGUSR1, 1) == 0);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(4), SSLSS_FINAL) == 5);
    reset_log();
    raise(SIGUSR1);
    CHILD_CHECK(g_nlog == 4);
    CHILD_CHECK(g_log[3] == 4);
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
    CHILD_CHECK(sigaction(SIGUSR2, &before, nullptr) == 0);

    int id = sslssreghdlr(&st, SIGUSR2, h_note, tag(1), 0);
    CHILD_CHECK(id == 1);
    CHILD_CHECK(sslsigprobe(SIGUSR2) == sslsshandler);
    reset_log();
    raise(SIGUSR2);
    CHILD_CHECK(g_nlog == 2 && g_log[0] == 1 && g_log[1] == 100);
    CHILD_CHECK(g_prev_info_ok == 1);
    // The multiplexer put itself back after calling the earlier handler.
    CHILD_CHECK(sslsigprobe(SIGUSR2) == sslsshandler);

    CHILD_CHECK(sslssunreghdlr(&st, SIGUSR2, id) == 0);
    struct sigaction after;
    CHILD_CHECK(sigaction(SIGUSR2, nullptr, &after) == 0);
    CHILD_CHECK(after.sa_sigaction == prev_siginfo);
    CHILD_CHECK((after.sa_flags & (SA_SIGINFO | SA_NODEFER | SA_RESTART)) == (SA_SIGINFO | SA_NODEFER));
    CHILD_CHECK(sigismember(&after.sa_mask, SIGHUP) == 1);
    CHILD_CHECK(sigismember(&after.sa_mask, SIGINT) == 0);

    // A plain (one-argument) earlier handler is called with the signal only.
    signal(SIGURG, prev_plain);
    CHILD_CHECK(sslssreghdlr(&st, SIGURG, h_note, tag(2), 0) == 1);
    reset_log();
    raise(SIGURG);
    CHILD_CHECK(g_nlog == 2 && g_log[0] == 2 && g_log[1] == 101);
    CHILD_CHECK(sslssunreghdlr(&st, SIGURG, 1) == 0);
    CHILD_CHECK(sslsigprobe(SIGURG) == SSLSIG_FN(prev_plain));
  }));
}

TEST(Sslss, LastUnregistrationRestoresIgnoreAndDefault) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    signal(SIGPIPE, SIG_IGN);
    int a = sslssreghdlr(&st, SIGPIPE, h_note, tag(1), 0);
    int b = sslssreghdlr(&st, SIGPIPE, h_note, tag(2), 0);
    CHILD_CHECK(a == 1 && b == 2);
    CHILD_CHECK(sslsigprobe(SIGPIPE) == sslsshandler);
    reset_log();
    raise(SIGPIPE);  // no earlier handler to call: ignore is not forwarded
    CHILD_CHECK(g_nlog == 2);
    CHILD_CHECK(sslssunreghdlr(&st, SIGPIPE, a) == 0);
    CHILD_CHECK(sslsigprobe(SIGPIPE) == sslsshandler);
    CHILD_CHECK(sslssunreghdlr(&st, SIGPIPE, b) == 0);
    CHILD_CHECK(sslsigprobe(SIGPIPE) == SSLSIG_IGN);
    raise(SIGPIPE);  // still ignored: the child lives on

    CHILD_CHECK(sslsigprobe(SIGUSR1) == SSLSIG_DFL);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHILD_CHECK(sslssunreghdlr(&st, SIGUSR1, 1) == 0);
    CHILD_CHECK(sslsigprobe(SIGUSR1) == SSLSIG_DFL);
  }));
}

TEST(Sslss, ExclusiveAndSharedMarks) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    // Exclusive on a signal that has a handler: 21112; a plain registration
    // on an exclusively held signal: 21111.
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), SSLSS_EXCL) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_NOTALONE);
    CHILD_CHECK(st.detail[0] == SIGUSR1);
    CHILD_CHECK(st.detail[1] == reinterpret_cast<intptr_t>(h_note));
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(1), SSLSS_EXCL) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(2), 0) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_REFUSED);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(2), SSLSS_SHARED) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_REFUSED);
    // The mark goes with the exclusive handler.
    CHILD_CHECK(sslssunreghdlr(&st, SIGUSR2, 1) == 0);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(2), 0) == 2);
    // The refused exclusive registration on SIGUSR1 left no mark.
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(3), 0) == 2);

    // Shared registrations join one another, but not a plain one.
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(1), SSLSS_SHARED | SSLSS_FINAL) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(2), SSLSS_SHARED) == 2);
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(3), 0) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_REFUSED);
    // Refused at the final-handler check: the shared count stays as it was,
    // so removing the two shared handlers frees the signal again.
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(4), SSLSS_SHARED | SSLSS_FINAL) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_FINAL);
    CHILD_CHECK(sslssunreghdlr(&st, SIGHUP, 1) == 0);
    CHILD_CHECK(sslssunreghdlr(&st, SIGHUP, 2) == 0);
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, h_note, tag(3), 0) == 3);  // refusals use no id
    CHILD_CHECK(sslssunreghdlr(&st, SIGHUP, 3) == 0);

    // Ignore as a shared handler becomes the disposition itself.
    CHILD_CHECK(sslssreghdlr(&st, SIGHUP, SSLSS_IGN, nullptr, SSLSS_SHARED) == 4);
    CHILD_CHECK(sslsigprobe(SIGHUP) == SSLSIG_IGN);
    raise(SIGHUP);
    CHILD_CHECK(sslssunreghdlr(&st, SIGHUP, 4) == 0);
    CHILD_CHECK(sslsigprobe(SIGHUP) == SSLSIG_DFL);

    // A failing installation leaves no handler over an empty chain and no
    // mark: slot 32 belongs to the C library's threads.
    CHILD_CHECK(sslssreghdlr(&st, 32, h_note, tag(1), SSLSS_EXCL) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_SIGACTION);
    CHILD_CHECK(st.detail[0] == 32);
    CHILD_CHECK(sslssreghdlr(&st, 32, h_note, tag(1), SSLSS_EXCL) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_SIGACTION);
  }));
}

TEST(Sslss, DisableHoldReleaseAndWait) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(1), 0) == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_note, tag(2), 0) == 2);
    // Disabled: skipped; all disabled: the signal is ignored.
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_DISABLE) == 0);
    reset_log();
    raise(SIGUSR1);
    CHILD_CHECK(g_nlog == 1 && g_log[0] == 1);
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 1, SSLSS_MOD_DISABLE) == 0);
    CHILD_CHECK(sslsigprobe(SIGUSR1) == SSLSIG_IGN);
    reset_log();
    raise(SIGUSR1);
    CHILD_CHECK(g_nlog == 0);
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 1, SSLSS_MOD_ENABLE) == 0);
    CHILD_CHECK(sslsigprobe(SIGUSR1) == sslsshandler);
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_ENABLE) == 0);

    // Held: the arrival is remembered and delivered once on release.
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_HOLD) == 0);
    reset_log();
    raise(SIGUSR1);
    raise(SIGUSR1);
    CHILD_CHECK(g_nlog == 2 && g_log[0] == 1 && g_log[1] == 1);
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_RELEASE) == 0);
    CHILD_CHECK(g_nlog == 3 && g_log[2] == 2);
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_RELEASE) == 0);
    CHILD_CHECK(g_nlog == 3);

    // Wait on a held handler whose signal already came returns at once.
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_HOLD) == 0);
    raise(SIGUSR1);
    reset_log();
    CHILD_CHECK(sslssmodhdlr(&st, SIGUSR1, 2, SSLSS_MOD_WAIT) == 0);
    CHILD_CHECK(g_nlog == 1 && g_log[0] == 2);
    CHILD_CHECK(!blocked(SIGUSR1));

    // Suspend over several signals: a pending held one is delivered at once.
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR2, h_note, tag(7), 0) == 1);
    raise(SIGUSR1);
    reset_log();
    sslss_sigid list[] = {{SIGUSR2, 1}, {SIGUSR1, 2}, {0, 0}};
    CHILD_CHECK(sslsssuspend(&st, list) == 0);
    CHILD_CHECK(g_nlog == 1 && g_log[0] == 2);
    CHILD_CHECK(!blocked(SIGUSR1) && !blocked(SIGUSR2));
    CHILD_CHECK(sslsssuspend(&st, nullptr) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_NOLIST);
    sslss_sigid bad[] = {{SIGUSR2, 1}, {SIGUSR1, 9}, {0, 0}};
    CHILD_CHECK(sslsssuspend(&st, bad) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_NOID && st.detail[0] == 9);
    CHILD_CHECK(!blocked(SIGUSR2));
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
    CHILD_CHECK(a == 1 && b == 2 && c == 3);
    CHILD_CHECK(sslsigprobe(SIGALRM) == sslsstehdlr);
    CHILD_CHECK(g_narms == 0);  // registration arms nothing
    CHILD_CHECK(alck(a, 0, 300000) == 0);
    CHILD_CHECK(alck(b, 0, 100000) == 0);
    CHILD_CHECK(alck(c, 0, 100000) == 0);
    CHILD_CHECK(g_narms == 2 && g_arms[0] == 30 && g_arms[1] == 10);

    reset_log();
    g_fake_now = 110;
    raise(SIGALRM);
    CHILD_CHECK(g_nlog == 2 && g_log[0] == 11 && g_log[1] == 12);
    CHILD_CHECK(g_narms == 3 && g_arms[2] == 20);
    g_fake_now = 125;  // early alarm: nothing due, re-armed for the rest
    raise(SIGALRM);
    CHILD_CHECK(g_nlog == 2);
    CHILD_CHECK(g_narms == 4 && g_arms[3] == 5);
    g_fake_now = 130;
    raise(SIGALRM);
    CHILD_CHECK(g_nlog == 3 && g_log[2] == 30);
    CHILD_CHECK(g_narms == 4);
    // A consumed timer does not fire again.
    raise(SIGALRM);
    CHILD_CHECK(g_nlog == 3);

    // Below one centisecond counts as one; a timer with an id of no SIGALRM
    // handler is refused.
    g_narms = 0;
    CHILD_CHECK(alck(a, 0, 4000) == 0);
    CHILD_CHECK(g_narms == 1 && g_arms[0] == 1);
    CHILD_CHECK(alck(9, 1, 0) == SSLSS_ERR_NOID);
    CHILD_CHECK(alck(a, 0, 0) == 0);
    CHILD_CHECK(g_narms == 2 && g_arms[1] == 0);
  }));
}

TEST(Sslss, CancelAndUnregisterRearmForTheRest) {
  EXPECT_EQ(0, in_child([] {
    sl_status st;
    use_fake_timer(1000);
    int a = sslssreghdlr(&st, SIGALRM, h_note, tag(1), 0);
    int b = sslssreghdlr(&st, SIGALRM, h_note, tag(2), 0);
    int c = sslssreghdlr(&st, SIGALRM, h_note, tag(3), 0);
    CHILD_CHECK(alck(a, 0, 300000) == 0);  // due 1030
    CHILD_CHECK(alck(b, 0, 100000) == 0);  // due 1010, first
    CHILD_CHECK(alck(c, 0, 500000) == 0);  // due 1050
    g_narms = 0;
    g_fake_now = 1005;
    CHILD_CHECK(alck(b, 0, 0) == 0);  // the first goes: arm for a
    CHILD_CHECK(g_narms == 1 && g_arms[0] == 25);
    CHILD_CHECK(alck(c, 0, 0) == 0);  // not first: nothing to re-arm
    CHILD_CHECK(g_narms == 1);
    // Re-arming moves a timer.
    CHILD_CHECK(alck(c, 0, 100000) == 0);  // due 1015, first now
    CHILD_CHECK(g_narms == 2 && g_arms[1] == 10);
    // Unregistering the handler of the first timer re-arms for the next.
    CHILD_CHECK(sslssunreghdlr(&st, SIGALRM, c) == 0);
    CHILD_CHECK(g_narms == 3 && g_arms[2] == 25);
    reset_log();
    g_fake_now = 1030;
    raise(SIGALRM);
    CHILD_CHECK(g_nlog == 1 && g_log[0] == 1);
    // The last one gone: the timer is disarmed.
    CHILD_CHECK(alck(b, 0, 200000) == 0);
    CHILD_CHECK(sslssunreghdlr(&st, SIGALRM, b) == 0);
    CHILD_CHECK(g_arms[g_narms - 1] == 0);
    CHILD_CHECK(sslssunreghdlr(&st, SIGALRM, a) == 0);
    CHILD_CHECK(sslsigprobe(SIGALRM) == SSLSIG_DFL);
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
    CHILD_CHECK(sigaction(SIGALRM, &before, nullptr) == 0);
    CHILD_CHECK(sslssreghdlr(&st, SIGXCPU, h_note, tag(50), SSLSS_FINAL) == 1);
    // The process services' pattern: a final SIGALRM handler.
    int f = sslssreghdlr(&st, SIGALRM, h_final_alarm, nullptr, SSLSS_FINAL);
    CHILD_CHECK(f == 1);
    CHILD_CHECK(sslssreghdlr(&st, SIGALRM, h_final_alarm, nullptr, SSLSS_FINAL) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_FINAL);
    CHILD_CHECK(sslssreghdlr(&st, SIGALRM, h_final_alarm, nullptr, 0) == -1);
    CHILD_CHECK(st.code == SSLSS_ERR_DUP);
    int p = sslssreghdlr(&st, SIGALRM, h_plain_mask, tag(5), 0);
    CHILD_CHECK(alck(f, 0, 100000) == 0);
    CHILD_CHECK(alck(p, 0, 100000) == 0);
    g_prev_calls = 0;
    reset_log();
    g_fake_now = 10;
    raise(SIGALRM);
    CHILD_CHECK(g_nlog == 2 && g_log[0] == 5 && g_log[1] == 90);
    CHILD_CHECK(!kHandlerMaskSeen || g_plain_saw_xcpu_blocked == 1);
    CHILD_CHECK(!kHandlerMaskSeen || g_final_alarm_saw_xcpu == 0);
    CHILD_CHECK(g_prev_calls == 0);
    // An alarm no timer accounts for goes to the earlier handler.
    raise(SIGALRM);
    CHILD_CHECK(g_prev_calls == 1);
    CHILD_CHECK(sslsigprobe(SIGALRM) == sslsstehdlr);
    CHILD_CHECK(sslssunreghdlr(&st, SIGALRM, p) == 0);
    CHILD_CHECK(sslssunreghdlr(&st, SIGALRM, f) == 0);
    CHILD_CHECK(sslsigprobe(SIGALRM) == prev_siginfo);
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
    // Deadlines from the moment each alarm was armed: on a loaded machine
    // the arming calls themselves can be far apart.
    struct Armed {
      double deadline;
      int tag;
    } armed[3];
    double at = mono_seconds();
    CHILD_CHECK(alck(a, 0, 80000) == 0);
    armed[0] = {at + 0.08, 8};
    at = mono_seconds();
    CHILD_CHECK(alck(b, 0, 20000) == 0);
    armed[1] = {at + 0.02, 2};
    at = mono_seconds();
    CHILD_CHECK(alck(c, 0, 50000) == 0);
    armed[2] = {at + 0.05, 5};
    while (g_fired < 3) sigsuspend(&old);
    double elapsed = mono_seconds() - t0;
    pthread_sigmask(SIG_SETMASK, &old, nullptr);
    std::sort(armed, armed + 3, [](const Armed &x, const Armed &y) { return x.deadline < y.deadline; });
    CHILD_CHECK(g_nlog == 3 && g_log[0] == armed[0].tag && g_log[1] == armed[1].tag &&
                g_log[2] == armed[2].tag);
    CHILD_CHECK(elapsed >= 0.06);
    struct itimerval it;
    getitimer(ITIMER_REAL, &it);
    CHILD_CHECK(it.it_value.tv_sec == 0 && it.it_value.tv_usec == 0);
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
    CHILD_CHECK(sslsigaltstack(1, 0) == ENOMEM);  // below the system minimum
    CHILD_CHECK(sslsigaltstack(256 * 1024, 0) == 0);
    stack_t ss;
    CHILD_CHECK(sigaltstack(nullptr, &ss) == 0);
    CHILD_CHECK(ss.ss_sp != nullptr && ss.ss_size == 256 * 1024);
    CHILD_CHECK(sslssreghdlr(&st, SIGUSR1, h_altstack, nullptr, SSLSS_ONSTACK) == 1);
    raise(SIGUSR1);
    CHILD_CHECK(g_on_altstack == 1);
    CHILD_CHECK(sslsigaltstack(256 * 1024, 1) == 0);
    CHILD_CHECK(sigaltstack(nullptr, &ss) == 0);
    CHILD_CHECK(ss.ss_flags & SS_DISABLE);
  }));
}

TEST(Sslsig, LayerFlagsAndMask) {
  EXPECT_EQ(0, in_child([] {
    int oldflags = -1;
    CHILD_CHECK(sslsigprh(SIGUSR1, prev_siginfo, 0, &oldflags) == SSLSIG_DFL);
    struct sigaction cur;
    CHILD_CHECK(sigaction(SIGUSR1, nullptr, &cur) == 0);
    CHILD_CHECK((cur.sa_flags & (SA_SIGINFO | SA_RESTART)) == (SA_SIGINFO | SA_RESTART));
    for (int s : {SIGILL, SIGFPE, SIGBUS, SIGSEGV, SIGSYS, SIGXCPU, SIGXFSZ, SIGABRT})
      CHILD_CHECK(sigismember(&cur.sa_mask, s) == 0);
    for (int s : {SIGHUP, SIGINT, SIGTERM, SIGALRM, SIGCHLD, SIGUSR2})
      CHILD_CHECK(sigismember(&cur.sa_mask, s) == 1);
    CHILD_CHECK(sslsigprh(SIGUSR1, SSLSIG_DFL, SA_RESTART, &oldflags) == prev_siginfo);
    CHILD_CHECK((oldflags & (SA_SIGINFO | SA_RESTART)) == (SA_SIGINFO | SA_RESTART));
    CHILD_CHECK(sslsigprobe(SIGUSR1) == SSLSIG_DFL);
    CHILD_CHECK(sslsigreghndlr(SIGKILL, prev_siginfo, 0) == SSLSIG_ERR);
    CHILD_CHECK(sslsigprobe(0) == SSLSIG_ERR);
  }));
}
