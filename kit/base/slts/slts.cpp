// Thread services over POSIX threads: the process's thread-services context,
// kit mutexes (plain, with a callback, static), the process lock, thread-
// specific keys, thread identities and handles, and the thread operations
// (create, join, kill, priority, yield, exit). Every kit component that keeps
// shared state locks it through these calls; error records remember the
// thread that made them through identities. The tracked mutexes and the
// lock-usage registry that the context carries live in sltsk.cpp and
// sltskv.cpp.
//
// Records
//   slts_ctx     one per process, on the heap, reached through sltsqgc:
//                reference count, lock-usage registry, the SIGTERM mutex with
//                the count of thread kills in progress and the multiplexer id
//                of the SIGTERM handler they share, and the process lock (a
//                tracked mutex whose block's first member is also locked
//                plainly by sltspla and its kin).
//   slts_mutex   owned by its user; points to a heap block (sltskmblk) whose
//                first member is the OS mutex. A plain or callback mutex uses
//                only that member; the block's other members belong to the
//                tracked mutex. blk is NULL before create and after destroy,
//                and every call on such a mutex fails (EINVAL or -1).
//   slts_static_mutex  static storage: an init flag and the OS mutex, set up
//                on the first lock or try.
//   sltstrec     behind every slts_tid and slts_thnd: the kit thread id, the
//                valid flag (0: names no thread) and the pthread_t that join,
//                kill and priority act on. The holder owns the pointer.
//   slts_key     a heap cell holding the pthread key.
//   File-local: the kit id counter and each thread's own id (thread_local),
//                the priority table by kit id, and the start record a new
//                thread's trampoline frees.
//
// Thread ids: a kit id is a small int from one process counter, given to a
// thread the first time it asks (or when the kit creates it), never 0 and
// never reused, unlike kernel thread ids; identities compare by id and valid
// flag. Priorities: a time-sharing thread on Linux has no priority of its own
// that an unprivileged process may change, so the OS priority (0 to 127) that
// the kit's five levels map to is kept in the table here; a thread starts at
// 0, and its entry goes when a thread the kit created returns from its
// function (an entry of a thread that ended by sltsttr or a kill stays; its
// id is never handed out again).
//
// Locking
//   sltsqgm    serialises sltsini and sltster once sltspin has prepared the
//              layer (sltsqgi 1). Before that they take no lock: a program
//              calls sltspin before it starts a second thread (the NLS lock
//              set-up and the virtual-file layer do). There is no way back.
//   sltsxgim   serialises the first set-up of every static mutex; afterwards
//              the init flag, read with acquire ordering, lets a lock go
//              straight to its OS mutex.
//   termmx     (per context) guards the kill count and the registration of
//              the shared SIGTERM handler between killers and the handler.
//   g_prio_mx  guards the priority table.
//   Kit mutexes are process-private, default-type (not recursive) pthread
//   mutexes; a component that needs recursion builds it on top. An identity's
//   id and valid flag are read and written with relaxed atomics, because a
//   recursive lock's owner is compared by other threads without a lock.
//
// Invariants
//   - sltsqgc is NULL or a context with refs >= 1 whose process lock and
//     SIGTERM mutex exist: sltsini hands out only a whole context and returns
//     NULL when one cannot be made.
//   - Under termmx: kills == 0 exactly when no SIGTERM handler of this layer
//     is registered (termid 0); the handler is registered by the kill that
//     finds the count 0 and unregistered by the last killed thread (or by the
//     killer itself when the signal could not be sent).
//   - A static mutex's flag goes from 0 to 1 once; static mutexes are never
//     destroyed.
//   - A valid identity record names a kit id that some thread was given.
//
// Who may call: any kit component. Each component takes the context in its
// init function (sltsini) and gives it back in its terminate function
// (sltster); the other calls take the context as their first argument but
// most do not use it. SltsqSigFunc is called only by the signal multiplexer,
// in the thread that sltstkill signalled.
#include <errno.h>
#include <pthread.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <atomic>
#include <map>
#include <mutex>

#include "slts.h"
#include "ssls.h"

slts_ctx *sltsqgc = nullptr;
int sltsqgi = 0;
pthread_mutex_t sltsqgm = PTHREAD_MUTEX_INITIALIZER;
pthread_mutex_t sltsxgim = PTHREAD_MUTEX_INITIALIZER;

namespace {

std::atomic<int> g_next_id{0};
thread_local int t_id = 0;

int self_id() {
  if (t_id == 0) t_id = ++g_next_id;
  return t_id;
}

// Time-sharing threads on Linux have no priority of their own that an
// unprivileged process may change, so the kit keeps each thread's OS
// priority (0 to 127) here, by kit id; a thread starts at 0.
std::mutex g_prio_mx;
std::map<int, int> g_prio;

int alloc_block(slts_mutex *mx) {
  auto *b = static_cast<sltskmblk *>(calloc(1, sizeof(sltskmblk)));
  if (b == nullptr) return -1;
  if (pthread_mutex_init(&b->os, nullptr) != 0) {
    free(b);
    return -1;
  }
  mx->blk = b;
  return 0;
}

// An identity record may be compared by other threads while its owner
// writes it (a recursive lock's owner is read without the lock): its id and
// valid flag are read and written atomically.
inline int rec_id(const sltstrec *r) { return __atomic_load_n(&r->id, __ATOMIC_RELAXED); }
inline unsigned char rec_valid(const sltstrec *r) {
  return __atomic_load_n(&r->valid, __ATOMIC_RELAXED);
}
inline void rec_store(sltstrec *r, int id, unsigned char valid) {
  __atomic_store_n(&r->id, id, __ATOMIC_RELAXED);
  __atomic_store_n(&r->valid, valid, __ATOMIC_RELAXED);
}
inline bool rec_same(const sltstrec *a, const sltstrec *b) {
  return rec_id(a) == rec_id(b) && rec_valid(a) == rec_valid(b);
}

void set_rec(sltstrec *r, int id, pthread_t os) {
  r->os = os;
  rec_store(r, id, 1);
}

void set_none(sltstrec *r) {
  rec_store(r, 0, 0);
  memset(&r->os, 0, sizeof r->os);
}

void copy_rec(sltstrec *to, const sltstrec *from) {
  to->os = from->os;
  rec_store(to, rec_id(from), rec_valid(from));
}

struct Start {
  sltsthrfn fn;
  void *arg;
  int id;
};

void *trampoline(void *p) {
  Start s = *static_cast<Start *>(p);
  free(p);
  t_id = s.id;
  void *r = s.fn(s.arg);
  std::lock_guard<std::mutex> g(g_prio_mx);
  g_prio.erase(s.id);
  return r;
}

sltstrec *rec_of(slts_thnd *h) { return h ? h->rec : nullptr; }

}  // namespace

// ---- context -------------------------------------------------------------

extern "C" void sltspin(void) {
  if (sltsqgi) return;
  sltsqgi = 1;
  pthread_mutex_lock(&sltsqgm);
  pthread_mutex_unlock(&sltsqgm);
}

namespace {

slts_ctx *make_ctx() {
  auto *ctx = static_cast<slts_ctx *>(calloc(1, sizeof(slts_ctx)));
  if (ctx == nullptr) return nullptr;
  ctx->refs = 1;
  if (sltskjinit(ctx) != 0) {
    free(ctx);
    return nullptr;
  }
  // The process lock must exist for the context to be usable: without it
  // (or without the SIGTERM mutex) no context is handed out.
  if (sltskminit(ctx, &ctx->plock) != 0) {
    sltskjfree(ctx);
    free(ctx);
    return nullptr;
  }
  if (pthread_mutex_init(&ctx->plock.blk->os, nullptr) != 0 || sltsmxi(ctx, &ctx->termmx) != 0) {
    sltskmdes(ctx, &ctx->plock);
    sltskjfree(ctx);
    free(ctx);
    return nullptr;
  }
  ctx->kills = 0;
  ctx->termid = 0;
  return ctx;
}

void drop_ctx(slts_ctx *ctx) {
  pthread_mutex_destroy(&ctx->plock.blk->os);
  sltskmdes(ctx, &ctx->plock);
  sltsmxd(ctx, &ctx->termmx);
  ctx->kills = 0;
  ctx->termid = 0;
  sltskjfree(ctx);
  free(ctx);
}

}  // namespace

extern "C" slts_ctx *sltsini(void) {
  const bool guarded = sltsqgi != 0;
  if (guarded && pthread_mutex_lock(&sltsqgm) != 0) return nullptr;
  slts_ctx *ctx = sltsqgc;
  if (ctx) {
    ++ctx->refs;
  } else {
    ctx = make_ctx();
    sltsqgc = ctx;
  }
  if (guarded) pthread_mutex_unlock(&sltsqgm);
  return ctx;
}

extern "C" int sltster(slts_ctx *ctx) {
  const bool guarded = sltsqgi != 0;
  if (guarded) {
    int e = pthread_mutex_lock(&sltsqgm);
    if (e != 0) return e;
  }
  int rc = 0;
  if (ctx == nullptr || ctx != sltsqgc) {
    rc = -1;
  } else if (--ctx->refs == 0) {
    drop_ctx(ctx);
    sltsqgc = nullptr;
  }
  if (guarded) {
    int e = pthread_mutex_unlock(&sltsqgm);
    if (e != 0 && rc == 0) rc = e;
  }
  return rc;
}

// ---- kit mutexes ---------------------------------------------------------

extern "C" int sltsmxi(slts_ctx *, slts_mutex *mx) {
  mx->cb = nullptr;
  mx->cbarg = nullptr;
  mx->blk = nullptr;
  return alloc_block(mx);
}

extern "C" int sltsmxd(slts_ctx *, slts_mutex *mx) {
  if (mx->blk == nullptr) return -1;
  int e = pthread_mutex_destroy(&mx->blk->os);
  free(mx->blk);
  mx->blk = nullptr;
  return e == 0 ? 0 : -1;
}

extern "C" int sltsmna(slts_ctx *, slts_mutex *mx) {
  if (mx->blk == nullptr) return EINVAL;
  return pthread_mutex_lock(&mx->blk->os);
}

extern "C" int sltsmnr(slts_ctx *, slts_mutex *mx) {
  if (mx->blk == nullptr) return EINVAL;
  return pthread_mutex_unlock(&mx->blk->os);
}

extern "C" int sltsmnt(slts_ctx *, slts_mutex *mx) {
  if (mx->blk == nullptr) return -1;
  return pthread_mutex_trylock(&mx->blk->os) == 0 ? 0 : -1;
}

extern "C" int sltsmdi(slts_ctx *, slts_mutex *mx, sltsmcb cb, void *arg) {
  mx->cb = cb;
  mx->cbarg = arg;
  mx->blk = nullptr;
  return alloc_block(mx);
}

extern "C" int sltsmda(slts_ctx *, slts_mutex *mx, void *a, void *b, void *c) {
  if (mx->blk == nullptr) return -1;
  int e = pthread_mutex_lock(&mx->blk->os);
  if (e != 0) return e;
  if (mx->cb) return mx->cb(mx->cbarg, mx, a, b, c);
  return 0;
}

extern "C" int sltsmdr(slts_ctx *, slts_mutex *mx) {
  if (mx->blk == nullptr) return EINVAL;
  if (mx->cb) mx->cb(mx->cbarg, nullptr, nullptr, nullptr, nullptr);
  return pthread_mutex_unlock(&mx->blk->os);
}

extern "C" int sltsmdt(slts_ctx *, slts_mutex *mx) {
  if (mx->blk == nullptr) return -1;
  if (pthread_mutex_trylock(&mx->blk->os) != 0) return -1;
  if (mx->cb) mx->cb(mx->cbarg, nullptr, nullptr, nullptr, nullptr);
  return 0;
}

namespace {
int static_ready(slts_static_mutex *mx) {
  if (__atomic_load_n(&mx->init, __ATOMIC_ACQUIRE) == 1) return 0;
  pthread_mutex_lock(&sltsxgim);
  int e = 0;
  if (mx->init != 1) {
    e = pthread_mutex_init(&mx->mx, nullptr);
    if (e == 0) __atomic_store_n(&mx->init, 1, __ATOMIC_RELEASE);
  }
  pthread_mutex_unlock(&sltsxgim);
  return e;
}
}  // namespace

extern "C" int sltsima(slts_static_mutex *mx) {
  int e = static_ready(mx);
  if (e != 0) return e;
  return pthread_mutex_lock(&mx->mx);
}

extern "C" int sltsimr(slts_static_mutex *mx) { return pthread_mutex_unlock(&mx->mx); }

extern "C" int sltsimt(slts_static_mutex *mx) {
  if (static_ready(mx) != 0) return -1;
  return pthread_mutex_trylock(&mx->mx) == 0 ? 0 : -1;
}

// ---- process lock --------------------------------------------------------

extern "C" int sltspla(void) { return sltsqgc ? sltsmna(sltsqgc, &sltsqgc->plock) : -1; }
extern "C" int sltsplr(void) { return sltsqgc ? sltsmnr(sltsqgc, &sltsqgc->plock) : -1; }
extern "C" int sltsplt(void) { return sltsqgc ? sltsmnt(sltsqgc, &sltsqgc->plock) : -1; }
extern "C" int sltsrsa(void) { return sltspla(); }
extern "C" int sltsrsr(void) { return sltsplr(); }
extern "C" int sltsrst(void) { return sltsplt(); }

extern "C" int sltskla(slts_ctx *ctx) { return ctx ? sltskmacq(ctx, &ctx->plock) : -1; }
extern "C" int sltsklr(slts_ctx *ctx) { return ctx ? sltskmrel(ctx, &ctx->plock) : -1; }
extern "C" int sltsklt(slts_ctx *ctx) { return ctx ? sltskmtacq(ctx, &ctx->plock) : -1; }

// ---- keys ----------------------------------------------------------------

extern "C" int sltskyc(slts_ctx *, slts_key *key, void (*destructor)(void *)) {
  auto *cell = static_cast<pthread_key_t *>(malloc(sizeof(pthread_key_t)));
  if (cell == nullptr) {
    key->cell = nullptr;
    return -1;
  }
  if (pthread_key_create(cell, destructor) != 0) {
    free(cell);
    key->cell = nullptr;
    return -1;
  }
  key->cell = cell;
  return 0;
}

extern "C" int sltskydestroy(slts_ctx *, slts_key *key) {
  if (key->cell == nullptr) return -1;
  free(key->cell);
  key->cell = nullptr;
  return 0;
}

extern "C" int sltskyg(slts_ctx *, slts_key *key, void **value) {
  if (key->cell == nullptr) return -1;
  *value = pthread_getspecific(*key->cell);
  return 0;
}

extern "C" int sltskys(slts_ctx *, slts_key *key, void *value) {
  if (key->cell == nullptr) return -1;
  return pthread_setspecific(*key->cell, value) == 0 ? 0 : -1;
}

// ---- identities ----------------------------------------------------------

extern "C" int sltstself(void) { return self_id(); }

extern "C" int sltstidinit(slts_ctx *, slts_tid *tid) {
  tid->rec = static_cast<sltstrec *>(calloc(1, sizeof(sltstrec)));
  return tid->rec ? 0 : -1;
}

extern "C" int sltsthndinit(slts_ctx *, slts_thnd *hnd) {
  hnd->rec = static_cast<sltstrec *>(calloc(1, sizeof(sltstrec)));
  return hnd->rec ? 0 : -1;
}

extern "C" int sltstiddestroy(slts_ctx *, slts_tid *tid) {
  free(tid->rec);
  tid->rec = nullptr;
  return 0;
}

extern "C" int sltsthnddestroy(slts_ctx *, slts_thnd *hnd) {
  free(hnd->rec);
  hnd->rec = nullptr;
  return 0;
}

extern "C" int sltstai(slts_ctx *, slts_tid *to, slts_tid *from) {
  if (!to || !from || !to->rec || !from->rec) return -1;
  copy_rec(to->rec, from->rec);
  return 0;
}

extern "C" int sltstah(slts_ctx *, slts_thnd *to, slts_thnd *from) {
  if (!to || !from || !to->rec || !from->rec) return -1;
  copy_rec(to->rec, from->rec);
  return 0;
}

extern "C" int sltstan(slts_ctx *, slts_tid *tid) {
  if (tid && tid->rec) set_none(tid->rec);
  return 0;
}

extern "C" int sltsthan(slts_ctx *, slts_thnd *hnd) {
  if (hnd && hnd->rec) set_none(hnd->rec);
  return 0;
}

extern "C" int sltstgi(slts_ctx *, slts_tid *tid) {
  if (tid && tid->rec) set_rec(tid->rec, self_id(), pthread_self());
  return 0;
}

extern "C" int sltstgh(slts_ctx *, slts_thnd *hnd) {
  if (hnd && hnd->rec) set_rec(hnd->rec, self_id(), pthread_self());
  return 0;
}

extern "C" int sltsThrIsNull(slts_tid *tid) {
  return tid == nullptr || tid->rec == nullptr || rec_valid(tid->rec) == 0;
}

extern "C" int sltsThndIsNull(slts_thnd *hnd) {
  return hnd == nullptr || hnd->rec == nullptr || rec_valid(hnd->rec) == 0;
}

extern "C" int sltsThrIsSame(slts_tid *a, slts_tid *b) {
  if (a == nullptr || b == nullptr) return a == b;
  if (a->rec == b->rec) return 1;
  if (a->rec == nullptr || b->rec == nullptr) return 0;
  return rec_same(a->rec, b->rec);
}

extern "C" int sltsThndIsSame(slts_thnd *a, slts_thnd *b) {
  if (a == nullptr || b == nullptr || a->rec == nullptr || b->rec == nullptr)
    return a == b || (a && b && a->rec == b->rec);
  return rec_same(a->rec, b->rec);
}

extern "C" int sltstcu(slts_tid *tid) {
  if (tid == nullptr || tid->rec == nullptr) return 0;
  return rec_valid(tid->rec) == 1 && rec_id(tid->rec) == self_id();
}

extern "C" int sltstprint(slts_ctx *, slts_thnd *hnd, char *buf, size_t len) {
  if (len < 4) return -14;
  sltstrec *r = rec_of(hnd);
  if (r == nullptr) {
    buf[0] = '\0';
    return 0;
  }
  if (r->valid) {
    if (static_cast<unsigned>(r->id) > 999 && len < 12) return -14;
    snprintf(buf, len, "%u", static_cast<unsigned>(r->id));
    return 0;
  }
  snprintf(buf, len, "%s", "NULL-thread");
  return 0;
}

// ---- thread operations ---------------------------------------------------

extern "C" int sltstspawn(slts_ctx *, sltsthrfn fn, void *arg, slts_tid *tid, slts_thnd *hnd,
                          size_t stacksize, unsigned flags) {
  if ((flags & 0xF0000000u) == 0xF0000000u) flags &= ~0xF0000000u;
  auto *s = static_cast<Start *>(malloc(sizeof(Start)));
  pthread_attr_t attr;
  bool ok = s != nullptr && pthread_attr_init(&attr) == 0;
  pthread_t th;
  int id = 0;
  if (ok) {
    if (stacksize != 0 && pthread_attr_setstacksize(&attr, stacksize) != 0) ok = false;
    if (ok && (flags & SLTS_THR_DETACHED))
      ok = pthread_attr_setdetachstate(&attr, PTHREAD_CREATE_DETACHED) == 0;
    if (ok) {
      id = ++g_next_id;
      s->fn = fn;
      s->arg = arg;
      s->id = id;
      ok = pthread_create(&th, &attr, trampoline, s) == 0;
    }
    pthread_attr_destroy(&attr);
  }
  if (!ok) {
    free(s);
    if (tid && tid->rec) set_none(tid->rec);
    return -1;
  }
  if (tid && tid->rec) set_rec(tid->rec, id, th);
  if (hnd && hnd->rec) set_rec(hnd->rec, id, th);
  return 0;
}

extern "C" int sltstcr(slts_ctx *ctx, sltsthrfn fn, void *arg, slts_tid *tid, slts_thnd *hnd) {
  return sltstspawn(ctx, fn, arg, tid, hnd, 0, 0);
}

extern "C" int sltstcl(slts_ctx *) { return 0; }

extern "C" int sltstjn(slts_ctx *, slts_thnd *hnd) {
  sltstrec *r = rec_of(hnd);
  if (r == nullptr || !r->valid) return -1;
  return pthread_join(r->os, nullptr) == 0 ? 0 : -1;
}

namespace {

// One kill is over (run in the killed thread, or taken back when the signal
// could not be sent); the last one gives the SIGTERM handler up.
void drop_kill(slts_ctx *ctx) {
  sltsmna(ctx, &ctx->termmx);
  if (ctx->kills-- == 1) {
    sl_status st;
    sslssunreghdlr(&st, SIGTERM, ctx->termid);
    ctx->termid = 0;
  }
  sltsmnr(ctx, &ctx->termmx);
}

}  // namespace

extern "C" void SltsqSigFunc(int, void *arg) {
  auto *ctx = static_cast<slts_ctx *>(arg);
  if (ctx != nullptr) drop_kill(ctx);
  pthread_exit(nullptr);
}

extern "C" int sltstkill(slts_ctx *ctx, slts_thnd *hnd) {
  sltstrec *r = rec_of(hnd);
  if (ctx == nullptr || r == nullptr || !r->valid) return -1;
  sltsmna(ctx, &ctx->termmx);
  if (ctx->kills == 0) {
    sl_status st;
    ctx->termid = sslssreghdlr(&st, SIGTERM, SltsqSigFunc, ctx, 0);
  }
  // Without the shared handler SIGTERM would end the whole process: send
  // nothing then.
  if (ctx->termid <= 0) {
    ctx->termid = 0;
    sltsmnr(ctx, &ctx->termmx);
    return -1;
  }
  ++ctx->kills;
  sltsmnr(ctx, &ctx->termmx);
  int e = pthread_kill(r->os, SIGTERM);
  // The thread will not run the handler when the signal was not sent: take
  // its kill back.
  if (e != 0) drop_kill(ctx);
  return -e;
}

extern "C" int sltsprio2os(int level) {
  switch (level) {
    case SLTS_PRIO_LOWEST: return 1;
    case SLTS_PRIO_LOW: return 32;
    case SLTS_PRIO_NORMAL: return 64;
    case SLTS_PRIO_HIGH: return 96;
    case SLTS_PRIO_HIGHEST: return 127;
    default: return -1;
  }
}

extern "C" int sltsos2prio(int p) {
  if (p <= 15) return SLTS_PRIO_LOWEST;
  if (p <= 47) return SLTS_PRIO_LOW;
  if (p <= 79) return SLTS_PRIO_NORMAL;
  if (p <= 110) return SLTS_PRIO_HIGH;
  return SLTS_PRIO_HIGHEST;
}

extern "C" int sltstsetp(slts_ctx *, slts_thnd *hnd, int level) {
  sltstrec *r = rec_of(hnd);
  if (r == nullptr) return -77;
  int p = sltsprio2os(level);
  if (p < 0) return -1;
  if (!r->valid) return -ESRCH;
  std::lock_guard<std::mutex> g(g_prio_mx);
  g_prio[r->id] = p;
  return 0;
}

extern "C" int sltstgetp(slts_ctx *, slts_thnd *hnd, int *level) {
  sltstrec *r = rec_of(hnd);
  if (r == nullptr) return -77;
  if (!r->valid) return -ESRCH;
  int p = 0;
  {
    std::lock_guard<std::mutex> g(g_prio_mx);
    auto it = g_prio.find(r->id);
    if (it != g_prio.end()) p = it->second;
  }
  *level = sltsos2prio(p);
  return 0;
}

extern "C" void sltsttr(slts_ctx *, int) { pthread_exit(nullptr); }

extern "C" int sltstyield(void) {
  sched_yield();
  return 0;
}
