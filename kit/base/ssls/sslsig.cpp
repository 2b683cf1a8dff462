// The sigaction layer under the signal multiplexer.
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>

#include "ssls.h"
#include "sslsi.h"

namespace {

// Signals a handler never blocks: they report faults of the running code.
constexpr int kSynchronous[] = {SIGILL, SIGFPE, SIGBUS, SIGSEGV, SIGSYS, SIGXCPU, SIGXFSZ, SIGABRT};

// The alternate signal stack and the memory it runs on.
stack_t g_altstack;
void *g_altmem = nullptr;
size_t g_altsize = 0;

}  // namespace

void sslsigmask(sigset_t *set) {
  sigfillset(set);
  for (int s : kSynchronous) sigdelset(set, s);
}

int sslsigset(int sig, sslsigfn handler, int flags, struct sigaction *old) {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sslsigmask(&sa.sa_mask);
  sa.sa_flags = flags != 0 ? flags : (SA_SIGINFO | SA_RESTART);
  if (sa.sa_flags & SA_SIGINFO)
    sa.sa_sigaction = handler;
  else
    sa.sa_handler = reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)(void)>(handler));
  return sigaction(sig, &sa, old);
}

sslsigfn sslsighandlerof(const struct sigaction *sa) {
  if (sa->sa_flags & SA_SIGINFO) return sa->sa_sigaction;
  return SSLSIG_FN(sa->sa_handler);
}

extern "C" sslsigfn sslsigprh(int sig, sslsigfn handler, int flags, int *oldflags) {
  struct sigaction old;
  if (sslsigset(sig, handler, flags, &old) != 0) return SSLSIG_ERR;
  if (oldflags) *oldflags = old.sa_flags;
  return sslsighandlerof(&old);
}

extern "C" sslsigfn sslsigreghndlr(int sig, sslsigfn handler, int flags) {
  return sslsigprh(sig, handler, flags, nullptr);
}

extern "C" sslsigfn sslsigprobe(int sig) {
  struct sigaction cur;
  if (sigaction(sig, nullptr, &cur) != 0) return SSLSIG_ERR;
  return sslsighandlerof(&cur);
}

extern "C" int sslsigaltstack(size_t size, int flags) {
  void *fresh = nullptr;
  if (flags & 1) {
    g_altstack.ss_flags = SS_DISABLE;
  } else {
    // The stack gets memory of its own; a larger size replaces the old area
    // once the system has accepted the new one.
    if (size > g_altsize) {
      fresh = malloc(size);
      if (fresh == nullptr) return ENOMEM;
    }
    g_altstack.ss_flags = 0;
  }
  stack_t next = g_altstack;
  next.ss_size = size;
  if (fresh) next.ss_sp = fresh;
  else next.ss_sp = g_altmem;
  if (sigaltstack(&next, nullptr) != 0) {
    int e = errno;
    free(fresh);
    return e;
  }
  if (fresh) {
    free(g_altmem);
    g_altmem = fresh;
    g_altsize = size;
  }
  g_altstack = next;
  return 0;
}
