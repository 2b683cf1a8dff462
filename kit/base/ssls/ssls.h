// Signal multiplexer: several kit components share one OS signal, each with
// its own handler and handler id; SIGALRM handlers are driven by a sorted list
// of one-shot centisecond timers over the process's single ITIMER_REAL.
// Below it, a thin sigaction layer that fixes the flags and mask of every
// handler it installs.
//
// Signal slots: the table has 45 slots indexed by the signal number, and the
// number is the platform's own (write SIGALRM, SIGTERM, SIGCHLD, never a
// literal). On Linux slots 1 to 31 are the classic signals, 32 and 33 are
// kept by the C library for its threads (registering them fails with 21118),
// and 34 to 45 are the first twelve real-time signals (SIGRTMIN onwards).
#ifndef QEN_KIT_CORE_SSLS_H
#define QEN_KIT_CORE_SSLS_H

#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

// A registered handler, called from signal context as handler(signal, argument).
typedef void (*sslsshdlr)(int sig, void *arg);
// With SSLSS_SHARED only: the default action and ignore as handlers.
#define SSLSS_DFL ((sslsshdlr)0)
#define SSLSS_IGN ((sslsshdlr)1)

#define SSLSS_NSIG 45

// Registration flags.
#define SSLSS_FINAL 0x1      // runs last, after the signal mask is restored
#define SSLSS_EXCL 0x2       // must be the signal's only handler
#define SSLSS_NORESTART 0x8  // OS handler without SA_RESTART
#define SSLSS_ONSTACK 0x10   // OS handler on the alternate signal stack
#define SSLSS_SHARED 0x20    // shared exclusive registration (see sslssreghdlr)

// Modifications of sslssmodhdlr.
#define SSLSS_MOD_DISABLE 1
#define SSLSS_MOD_ENABLE 2
#define SSLSS_MOD_HOLD 3
#define SSLSS_MOD_RELEASE 4
#define SSLSS_MOD_WAIT 5

// Status codes left in sl_status.code.
#define SSLSS_ERR_SIGNAL 21110    // signal outside 1..45 (details: signal, 45)
#define SSLSS_ERR_REFUSED 21111   // default/ignore without shared, or held exclusively
#define SSLSS_ERR_NOTALONE 21112  // exclusive registration while handlers exist
#define SSLSS_ERR_FINAL 21113     // the signal already has a final handler
#define SSLSS_ERR_NOID 21114      // no handler with this id
#define SSLSS_ERR_MODOP 21115     // no such modification
#define SSLSS_ERR_TIMER 21116     // setitimer failed
#define SSLSS_ERR_DUP 21117       // same handler and argument already registered
#define SSLSS_ERR_SIGACTION 21118 // sigaction failed (detail: signal)
#define SSLSS_ERR_NOLIST 21120    // sslsssuspend without a list

// A timer interval: seconds and microseconds.
typedef struct sslss_time {
  uint32_t sec;
  uint32_t usec;
} sslss_time;

// One entry of the list given to sslsssuspend; the list ends with an entry
// whose signal or id is 0.
typedef struct sslss_sigid {
  int sig;
  int id;
} sslss_sigid;

// All return -1 on failure with the status filled (code 0 after an
// allocation failure during registration).
int sslssreghdlr(sl_status *st, int sig, sslsshdlr handler, void *arg, int flags);
int sslssunreghdlr(sl_status *st, int sig, int id);
int sslssmodhdlr(sl_status *st, int sig, int id, int op);
int sslsssuspend(sl_status *st, const sslss_sigid *list);
// Arms, re-arms or (time 0 or NULL) cancels the timer of a SIGALRM handler.
int sslssalck(sl_status *st, int id, const sslss_time *time);

// The OS handlers the multiplexer installs.
void sslsshandler(int sig, siginfo_t *info, void *uctx);
void sslsstehdlr(int sig, siginfo_t *info, void *uctx);

// ITIMER_REAL once after n centiseconds (0 disarms); the setitimer result.
int sslssarm(uint32_t centiseconds);
// Centiseconds since the first reading in the process; 0 when the clock fails.
uint32_t sslssgettime(void);

#ifdef QEN_TEST_HOOKS
// Test builds only: a test drives the timers from a clock it advances itself
// and sees each arming without a real SIGALRM (NULL puts the real clock and
// setitimer back).
void sslsssetclock(uint32_t (*clock)(void));
void sslsssetarm(int (*arm)(uint32_t centiseconds));
#endif

// The sigaction layer. Handlers are installed with a mask that blocks every
// signal but SIGILL, SIGFPE, SIGBUS, SIGSEGV, SIGSYS, SIGXCPU, SIGXFSZ and
// SIGABRT, and with sa_flags = flags, or SA_SIGINFO|SA_RESTART for flags 0.
typedef void (*sslsigfn)(int sig, siginfo_t *info, void *uctx);
#define SSLSIG_ERR ((sslsigfn)-1)
// Any handler address as the layer's handler type (through the generic
// function pointer type, which converts to every other).
#define SSLSIG_FN(h) ((sslsigfn)(void (*)(void))(h))
#define SSLSIG_DFL SSLSIG_FN(SIG_DFL)
#define SSLSIG_IGN SSLSIG_FN(SIG_IGN)
// Returns the previous handler (SSLSIG_ERR on failure) and its sa_flags.
sslsigfn sslsigprh(int sig, sslsigfn handler, int flags, int *oldflags);
sslsigfn sslsigreghndlr(int sig, sslsigfn handler, int flags);
// The handler installed now, or SSLSIG_ERR.
sslsigfn sslsigprobe(int sig);
// Enables the alternate signal stack with size bytes of its own memory, or
// disables it when flags has bit 1; 0 or errno.
int sslsigaltstack(size_t size, int flags);

#ifdef __cplusplus
}
#endif

#endif
