// Signal multiplexer and the SIGALRM timer list.
//
// The tables have no lock: every change to a signal's chain runs with that
// signal blocked in the calling thread, and every change to the timer list
// with SIGALRM blocked. Kit processes register from one thread.
#include <errno.h>
#include <pthread.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/time.h>

#include "ssls.h"
#include "sslsi.h"

namespace {

struct Timer;

// One registration.
struct Node {
  sslsshdlr fn;
  void *arg;
  Node *next;
  Node *prev;
  Timer *timer;  // SIGALRM only
  int id;
  volatile unsigned char state;    // 0 active, 1 disabled, 3 held
  volatile unsigned char pending;  // the signal came while held
};

constexpr unsigned char kActive = 0;
constexpr unsigned char kDisabled = 1;
constexpr unsigned char kHeld = 3;

// One armed or idle one-shot timer of a SIGALRM registration.
struct Timer {
  uint32_t due;  // centiseconds of the multiplexer clock
  Timer *next;   // NULL while not in the list
  Timer *prev;
  Node *node;
  unsigned char final;
};

struct Slot {
  Node chain;        // sentinel: chain.next is the newest node
  int final_id;      // 0: no final handler
  int counter;       // last id given out
  sslsigfn prev;     // OS handler found at installation (NULL: none to call)
  int prev_flags;
  int flags;         // sa_flags of the multiplexer's own handler
  int shared;        // shared registrations
  unsigned char excl;
  sslsigfn own;      // what the multiplexer installed for the chain
  struct sigaction saved;  // the whole disposition found at installation
};

Slot g_slots[SSLSS_NSIG + 1];
bool g_ready = false;

Timer g_head;
Timer g_tail;
bool g_timers_linked = false;

uint32_t (*g_clock)(void) = nullptr;
int (*g_arm)(uint32_t) = nullptr;

bool g_clock_started = false;
struct timeval g_clock_base;

bool chain_empty(const Slot &s) { return s.chain.next == &s.chain; }

bool is_dfl_or_ign(sslsshdlr fn) { return fn == SSLSS_DFL || fn == SSLSS_IGN; }

bool is_os_special(sslsigfn h) {
  auto p = reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)(void)>(h));
  if (p == SIG_DFL || p == SIG_IGN || p == SIG_ERR) return true;
#ifdef SIG_HOLD
  if (p == SIG_HOLD) return true;
#endif
  return false;
}

void prepare_table() {
  memset(static_cast<void *>(g_slots), 0, sizeof g_slots);
  for (Slot &s : g_slots) s.chain.next = s.chain.prev = &s.chain;
  g_ready = true;
}

void link_timers() {
  if (g_timers_linked) return;
  g_head.next = &g_tail;
  g_head.prev = nullptr;
  g_tail.prev = &g_head;
  g_tail.next = nullptr;
  g_timers_linked = true;
}

int fail(sl_status *st, int code, intptr_t d0 = 0, intptr_t d1 = 0) {
  memset(st, 0, sizeof *st);
  st->code = code;
  st->detail[0] = d0;
  st->detail[1] = d1;
  return -1;
}

Node *find(int sig, int id) {
  if (!g_ready) return nullptr;
  Slot &s = g_slots[sig];
  for (Node *n = s.chain.next; n != &s.chain; n = n->next)
    if (n->id == id) return n;
  return nullptr;
}

// The handler `id` of `sig`; nullptr with the reason in st when the signal
// is out of range or has no such handler.
Node *registered(sl_status *st, int sig, int id) {
  st->code = 0;
  if (sig < 1 || sig > SSLSS_NSIG) {
    fail(st, SSLSS_ERR_SIGNAL, sig, SSLSS_NSIG);
    return nullptr;
  }
  Node *node = find(sig, id);
  if (node == nullptr) fail(st, SSLSS_ERR_NOID);
  return node;
}

void block_one(int sig, sigset_t *old) {
  sigset_t set;
  sigemptyset(&set);
  sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, old);
}

void restore_mask(const sigset_t *old) { pthread_sigmask(SIG_SETMASK, old, nullptr); }

// Blocks every signal that has a final handler; the previous mask goes to old.
void block_finals(sigset_t *old) {
  sigset_t set;
  sigemptyset(&set);
  if (g_ready)
    for (int sig = 1; sig <= SSLSS_NSIG; ++sig)
      if (g_slots[sig].final_id != 0) sigaddset(&set, sig);
  pthread_sigmask(SIG_BLOCK, &set, old);
}

uint32_t now() { return g_clock ? g_clock() : sslssgettime(); }
int arm(uint32_t cs) { return g_arm ? g_arm(cs) : sslssarm(cs); }

bool timer_armed(const Timer *t) { return t->next != nullptr; }
Timer *first_timer() { return g_head.next; }
bool timers_empty() { return !g_timers_linked || g_head.next == &g_tail; }

// Takes a timer out of the list; tells whether it was the first one.
bool timer_unlink(Timer *t) {
  bool was_first = g_head.next == t;
  t->prev->next = t->next;
  t->next->prev = t->prev;
  t->next = t->prev = nullptr;
  return was_first;
}

// After a timer went out: disarm for an empty list, or re-arm for the new
// first timer when the one taken out was first. The setitimer result.
int timer_rearm_after_cancel(bool was_first) {
  if (timers_empty()) return arm(0);
  if (was_first) {
    uint32_t c = now();
    Timer *f = first_timer();
    if (f->due > c) return arm(f->due - c);
  }
  return 0;
}

void call_prev(const Slot &s, int sig, siginfo_t *info, void *uctx) {
  if (s.prev_flags & SA_SIGINFO)
    s.prev(sig, info, uctx);
  else
    reinterpret_cast<void (*)(int)>(reinterpret_cast<void (*)(void)>(s.prev))(sig);
}

// Handlers the multiplexer is running on this thread. A handler may take
// registrations out (the thread layer's kill handler gives its SIGTERM
// registration up); free is not safe in a signal handler, so what is taken
// out there waits on the deferred list until the next change made outside
// any handler.
__attribute__((tls_model("initial-exec"))) thread_local int t_handlers = 0;

struct Deferred {
  Deferred *next;
};
Deferred *g_deferred = nullptr;
static_assert(sizeof(Node) >= sizeof(Deferred) && sizeof(Timer) >= sizeof(Deferred));

void release(void *p) {
  if (p == nullptr) return;
  if (t_handlers == 0) {
    free(p);
    return;
  }
  auto *d = static_cast<Deferred *>(p);
  d->next = __atomic_load_n(&g_deferred, __ATOMIC_RELAXED);
  while (!__atomic_compare_exchange_n(&g_deferred, &d->next, d, true, __ATOMIC_RELEASE,
                                      __ATOMIC_RELAXED)) {
  }
}

void free_deferred() {
  if (t_handlers != 0) return;
  Deferred *d = __atomic_exchange_n(&g_deferred, nullptr, __ATOMIC_ACQUIRE);
  while (d) {
    Deferred *next = d->next;
    free(d);
    d = next;
  }
}

void run_node(Node *n, int sig) {
  if (n->state == kActive) {
    if (!is_dfl_or_ign(n->fn)) {
      ++t_handlers;
      n->fn(sig, n->arg);
      --t_handlers;
    }
  } else if (n->state == kHeld) {
    n->pending = 1;
  }
}

bool all_disabled(const Slot &s) {
  for (const Node *n = s.chain.next; n != &s.chain; n = n->next)
    if (n->state != kDisabled) return false;
  return true;
}

int install_ignore(int sig) {
  struct sigaction sa;
  memset(&sa, 0, sizeof sa);
  sa.sa_handler = SIG_IGN;
  return sigaction(sig, &sa, nullptr);
}

}  // namespace

#ifdef QEN_TEST_HOOKS
extern "C" void sslsssetclock(uint32_t (*clock)(void)) { g_clock = clock; }
extern "C" void sslsssetarm(int (*a)(uint32_t)) { g_arm = a; }
#endif

extern "C" uint32_t sslssgettime(void) {
  struct timeval tv;
  if (gettimeofday(&tv, nullptr) != 0) return 0;
  if (!g_clock_started) {
    g_clock_base = tv;
    g_clock_started = true;
  }
  // Whole microseconds first, so that the reading never runs backwards.
  int64_t us = (int64_t(tv.tv_sec) - g_clock_base.tv_sec) * 1000000 +
               (int64_t(tv.tv_usec) - g_clock_base.tv_usec);
  int64_t cs = us / 10000;
  return static_cast<uint32_t>(cs);
}

extern "C" int sslssarm(uint32_t cs) {
  struct itimerval it;
  memset(&it, 0, sizeof it);
  it.it_value.tv_sec = cs / 100;
  it.it_value.tv_usec = (cs % 100) * 10000;
  return setitimer(ITIMER_REAL, &it, nullptr);
}

extern "C" int sslssreghdlr(sl_status *st, int sig, sslsshdlr fn, void *arg, int flags) {
  st->code = 0;
  if (sig < 1 || sig > SSLSS_NSIG) return fail(st, SSLSS_ERR_SIGNAL, sig, SSLSS_NSIG);
  if (flags & SSLSS_SHARED) flags |= SSLSS_EXCL;
  const bool shared = (flags & SSLSS_SHARED) != 0;
  if (is_dfl_or_ign(fn) && !shared)
    return fail(st, SSLSS_ERR_REFUSED, sig, reinterpret_cast<intptr_t>(fn));
  if (!g_ready) prepare_table();
  free_deferred();
  Slot &s = g_slots[sig];

  // Every check runs before anything changes: a refused registration leaves
  // no mark and no count behind.
  const bool joins_shared = shared && s.shared > 0;
  if (s.excl && !joins_shared)
    return fail(st, SSLSS_ERR_REFUSED, sig, reinterpret_cast<intptr_t>(fn));
  bool set_excl = false;
  if (flags & SSLSS_EXCL) {
    if (!chain_empty(s)) {
      if (!joins_shared) return fail(st, SSLSS_ERR_NOTALONE, sig, reinterpret_cast<intptr_t>(fn));
    } else {
      set_excl = true;
    }
  }
  if ((flags & SSLSS_FINAL) && s.final_id != 0)
    return fail(st, SSLSS_ERR_FINAL, sig, reinterpret_cast<intptr_t>(fn));
  if (!shared)
    for (Node *n = s.chain.next; n != &s.chain; n = n->next)
      if (n->fn == fn && n->arg == arg)
        return fail(st, SSLSS_ERR_DUP, sig, reinterpret_cast<intptr_t>(fn));

  sigset_t old;
  block_one(sig, &old);

  // Allocate before installing, so that a failure leaves the disposition as
  // it was.
  Node *node = static_cast<Node *>(calloc(1, sizeof(Node)));
  Timer *timer = nullptr;
  if (node && sig == SIGALRM) timer = static_cast<Timer *>(calloc(1, sizeof(Timer)));
  if (node == nullptr || (sig == SIGALRM && timer == nullptr)) {
    free(node);
    free(timer);
    restore_mask(&old);
    return -1;
  }

  if (chain_empty(s)) {
    int saflags = SA_SIGINFO;
    if (!(flags & SSLSS_NORESTART)) saflags |= SA_RESTART;
    if (flags & SSLSS_ONSTACK) saflags |= SA_ONSTACK;
    if (shared) saflags |= SA_NOCLDWAIT;
    sslsigfn own;
    if (sig == SIGALRM)
      own = sslsstehdlr;
    else if (fn == SSLSS_DFL)
      own = SSLSIG_DFL;
    else if (fn == SSLSS_IGN)
      own = SSLSIG_IGN;
    else
      own = sslsshandler;
    struct sigaction found;
    if (sslsigset(sig, own, saflags, &found) != 0) {
      free(node);
      free(timer);
      restore_mask(&old);
      return fail(st, SSLSS_ERR_SIGACTION, sig);
    }
    if (sig == SIGALRM) link_timers();
    s.saved = found;
    s.own = own;
    s.flags = saflags;
    sslsigfn h = sslsighandlerof(&found);
    if (!is_os_special(h) && h != own) {
      s.prev = h;
      s.prev_flags = found.sa_flags;
      if (!shared) {
        int f2 = found.sa_flags | SA_SIGINFO;
        if (sslsigset(sig, own, f2, nullptr) == 0) s.flags = f2;
      }
    } else {
      s.prev = nullptr;
      s.prev_flags = 0;
    }
  }

  node->fn = fn;
  node->arg = arg;
  node->timer = timer;
  node->state = kActive;
  node->pending = 0;
  if (timer) timer->node = node;
  node->id = ++s.counter;
  node->next = s.chain.next;
  node->prev = &s.chain;
  s.chain.next->prev = node;
  s.chain.next = node;
  if (flags & SSLSS_FINAL) s.final_id = node->id;
  if (set_excl) s.excl = 1;
  if (shared) ++s.shared;

  restore_mask(&old);
  return node->id;
}

extern "C" int sslssunreghdlr(sl_status *st, int sig, int id) {
  Node *node = registered(st, sig, id);
  if (node == nullptr) return -1;
  Slot &s = g_slots[sig];
  sigset_t old;
  block_one(sig, &old);

  if (node->timer) {
    if (timer_armed(node->timer)) timer_rearm_after_cancel(timer_unlink(node->timer));
    release(node->timer);
    node->timer = nullptr;
  }
  if (s.shared > 0) --s.shared;
  if (s.excl && s.shared == 0) s.excl = 0;
  if (s.final_id == id) s.final_id = 0;

  node->prev->next = node->next;
  node->next->prev = node->prev;

  // Put back exactly the disposition found when the chain was started,
  // ignore and default included.
  int rc = 0;
  if (chain_empty(s) && sigaction(sig, &s.saved, nullptr) != 0)
    rc = fail(st, SSLSS_ERR_SIGACTION, sig);
  release(node);
  restore_mask(&old);
  free_deferred();
  return rc;
}

extern "C" int sslssmodhdlr(sl_status *st, int sig, int id, int op) {
  Node *node = registered(st, sig, id);
  if (node == nullptr) return -1;
  Slot &s = g_slots[sig];
  sigset_t old;
  switch (op) {
    case SSLSS_MOD_DISABLE:
      node->state = kDisabled;
      if (all_disabled(s) && install_ignore(sig) != 0) return fail(st, SSLSS_ERR_SIGACTION, sig);
      return 0;
    case SSLSS_MOD_ENABLE:
      if (all_disabled(s) && sslsigset(sig, s.own, s.flags, nullptr) != 0)
        return fail(st, SSLSS_ERR_SIGACTION, sig);
      node->state = kActive;
      return 0;
    case SSLSS_MOD_HOLD:
      node->state = kHeld;
      return 0;
    case SSLSS_MOD_RELEASE:
      block_one(sig, &old);
      node->state = kActive;
      if (node->pending) {
        node->pending = 0;
        if (!is_dfl_or_ign(node->fn)) node->fn(sig, node->arg);
      }
      restore_mask(&old);
      return 0;
    case SSLSS_MOD_WAIT:
      block_one(sig, &old);
      if (node->pending) {
        node->pending = 0;
        if (!is_dfl_or_ign(node->fn)) node->fn(sig, node->arg);
      } else {
        sigset_t wait = old;
        sigdelset(&wait, sig);
        sigsuspend(&wait);
      }
      restore_mask(&old);
      return 0;
    default:
      return fail(st, SSLSS_ERR_MODOP);
  }
}

extern "C" int sslsssuspend(sl_status *st, const sslss_sigid *list) {
  st->code = 0;
  if (list == nullptr) return fail(st, SSLSS_ERR_NOLIST);
  sigset_t old;
  pthread_sigmask(SIG_SETMASK, nullptr, &old);
  sigset_t wait = old;
  bool delivered = false;
  for (const sslss_sigid *p = list; p->sig != 0 && p->id != 0; ++p) {
    if (p->sig < 1 || p->sig > SSLSS_NSIG) {
      restore_mask(&old);
      return fail(st, SSLSS_ERR_SIGNAL, p->sig, SSLSS_NSIG);
    }
    Node *node = find(p->sig, p->id);
    if (node == nullptr) {
      restore_mask(&old);
      return fail(st, SSLSS_ERR_NOID, p->id);
    }
    block_one(p->sig, nullptr);
    if (node->pending) {
      node->pending = 0;
      if (!is_dfl_or_ign(node->fn)) node->fn(p->sig, node->arg);
      delivered = true;
    }
    sigdelset(&wait, p->sig);
  }
  if (!delivered) sigsuspend(&wait);
  restore_mask(&old);
  return 0;
}

extern "C" int sslssalck(sl_status *st, int id, const sslss_time *time) {
  st->code = 0;
  uint64_t n = 0;
  if (time) {
    n = uint64_t(time->sec) * 100 + time->usec / 10000;
    if (n == 0 && time->usec > 0) n = 1;
    if (n > 0x7fffffffu) n = 0x7fffffffu;  // keep due times comparable
  }
  sigset_t old;
  block_one(SIGALRM, &old);
  Node *node = find(SIGALRM, id);
  bool was_first = false;
  if (node && node->timer && timer_armed(node->timer)) was_first = timer_unlink(node->timer);

  if (n == 0) {
    int rc = g_timers_linked ? timer_rearm_after_cancel(was_first) : 0;
    restore_mask(&old);
    if (rc != 0) return fail(st, SSLSS_ERR_TIMER);
    return 0;
  }
  if (node == nullptr || node->timer == nullptr) {
    restore_mask(&old);
    return fail(st, SSLSS_ERR_NOID);
  }
  Timer *t = node->timer;
  t->node = node;
  t->final = g_slots[SIGALRM].final_id == id;
  t->due = now() + static_cast<uint32_t>(n);
  Timer *at = g_head.next;
  while (at != &g_tail && at->due <= t->due) at = at->next;
  t->next = at;
  t->prev = at->prev;
  at->prev->next = t;
  at->prev = t;
  int rc = 0;
  if (g_head.next == t) rc = arm(static_cast<uint32_t>(n));
  restore_mask(&old);
  if (rc != 0) return fail(st, SSLSS_ERR_TIMER);
  return 0;
}

extern "C" void sslsshandler(int sig, siginfo_t *info, void *uctx) {
  int saved_errno = errno;
  if (sig < 1 || sig > SSLSS_NSIG || !g_ready) {
    errno = saved_errno;
    return;
  }
  Slot &s = g_slots[sig];
  sigset_t old;
  block_finals(&old);
  Node *final = nullptr;
  for (Node *n = s.chain.next; n != &s.chain;) {
    Node *next = n->next;  // a handler may take itself out
    if (s.final_id != 0 && n->id == s.final_id)
      final = n;
    else
      run_node(n, sig);
    n = next;
  }
  if (s.prev) {
    call_prev(s, sig, info, uctx);
    sslsigset(sig, s.own, s.flags, nullptr);
  }
  restore_mask(&old);
  if (final) run_node(final, sig);
  errno = saved_errno;
}

extern "C" void sslsstehdlr(int sig, siginfo_t *info, void *uctx) {
  int saved_errno = errno;
  if (!g_ready || !g_timers_linked) {
    errno = saved_errno;
    return;
  }
  Slot &s = g_slots[SIGALRM];
  sigset_t old;
  block_finals(&old);
  uint32_t c = now();
  Node *final = nullptr;
  bool any = false;
  while (g_head.next != &g_tail && g_head.next->due <= c) {
    Timer *t = g_head.next;
    timer_unlink(t);
    any = true;
    if (t->final)
      final = t->node;
    else
      run_node(t->node, SIGALRM);
  }
  if (!any && s.prev) {
    call_prev(s, sig, info, uctx);
    sslsigset(SIGALRM, s.own, s.flags, nullptr);
  }
  if (g_head.next != &g_tail) arm(g_head.next->due - c);
  restore_mask(&old);
  if (final) run_node(final, SIGALRM);
  errno = saved_errno;
}
