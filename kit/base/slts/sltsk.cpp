// Tracked mutexes and the lock-usage registry.
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include "slts.h"

namespace {

void say(const char *fmt, int code) {
  printf(fmt, code);
  fflush(stdout);
}

// Doubly linked lists kept by their two ends.
template <class Node>
void link_tail(Node *&head, Node *&tail, Node *n) {
  n->prev = tail;
  if (tail)
    tail->next = n;
  else
    head = n;
  tail = n;
}

template <class Node>
void unlink_node(Node *&head, Node *&tail, Node *n) {
  if (n->prev)
    n->prev->next = n->next;
  else
    head = n->next;
  if (n->next)
    n->next->prev = n->prev;
  else
    tail = n->prev;
}

// Takes the calling thread off a list: 0, or -1 when it is not on it.
int remove_caller(slts_ctx *ctx, sltskthrlist *list) {
  slts_tid me;
  if (sltstidinit(ctx, &me) != 0) return -1;
  sltstgi(ctx, &me);
  int rc = sltskrmlist(ctx, list, &me);
  sltstiddestroy(ctx, &me);
  return rc;
}

// 0 when a tracked mutex has its block and an initialised usage record;
// otherwise -1 (no block) or -5 (not initialised, said when `report`).
int ckmutex(slts_mutex *mx, bool report) {
  if (mx == nullptr || mx->blk == nullptr) return -1;
  if (!sltskisinitinfo(&mx->blk->info)) {
    if (report) say("Error: Access object that's not initialized: %d\n", -5);
    return -5;
  }
  return 0;
}

}  // namespace

// ---- thread lists --------------------------------------------------------

// A list changes under its object's lock; its count may be read without it
// (how many wait on an object), so the count is read and written atomically.
namespace {
int count_of(const sltskthrlist *list) { return __atomic_load_n(&list->count, __ATOMIC_RELAXED); }
void count_add(sltskthrlist *list, int d) { __atomic_add_fetch(&list->count, d, __ATOMIC_RELAXED); }
}  // namespace

extern "C" int sltskgcount(sltskthrlist *list) { return list ? count_of(list) : -1; }

extern "C" sltskthr *sltskamlist(slts_ctx *ctx, sltskthrlist *list) {
  auto *n = static_cast<sltskthr *>(calloc(1, sizeof(sltskthr)));
  if (n == nullptr) return nullptr;
  if (sltstidinit(ctx, &n->tid) != 0) {
    free(n);
    return nullptr;
  }
  sltstgi(ctx, &n->tid);
  link_tail(list->head, list->tail, n);
  count_add(list, 1);
  return n;
}

extern "C" int sltskrmlist(slts_ctx *ctx, sltskthrlist *list, slts_tid *tid) {
  for (sltskthr *n = list->head; n; n = n->next) {
    if (!sltsThrIsSame(&n->tid, tid)) continue;
    unlink_node(list->head, list->tail, n);
    count_add(list, -1);
    sltstiddestroy(ctx, &n->tid);
    free(n);
    return 0;
  }
  return -1;
}

extern "C" int sltskfmlist(slts_ctx *ctx, sltskthrlist *list) {
  for (sltskthr *n = list->head; n;) {
    sltskthr *next = n->next;
    sltstiddestroy(ctx, &n->tid);
    free(n);
    n = next;
  }
  list->head = list->tail = nullptr;
  list->count = 0;
  return 0;
}

// ---- registry ------------------------------------------------------------

extern "C" int sltskjinit(slts_ctx *ctx) {
  sltskj *j = &ctx->reg;
  memset(j, 0, sizeof *j);
  return pthread_mutex_init(&j->mx, nullptr) == 0 ? 0 : -1;
}

extern "C" int sltskjfree(slts_ctx *ctx) {
  sltskj *j = &ctx->reg;
  pthread_mutex_destroy(&j->mx);
  for (int t = 0; t < 4; ++t) {
    for (sltskjnode *n = j->head[t]; n;) {
      sltskjnode *next = n->next;
      free(n);
      n = next;
    }
    j->head[t] = j->tail[t] = nullptr;
  }
  j->count = 0;
  return 0;
}

extern "C" int sltskjadd(slts_ctx *ctx, void *obj, int type) {
  if (ctx == nullptr || type < 0 || type > 3) return -1;
  auto *n = static_cast<sltskjnode *>(calloc(1, sizeof(sltskjnode)));
  if (n == nullptr) return -1;
  n->obj = obj;
  sltskj *j = &ctx->reg;
  pthread_mutex_lock(&j->mx);
  link_tail(j->head[type], j->tail[type], n);
  ++j->count;
  pthread_mutex_unlock(&j->mx);
  return 0;
}

extern "C" int sltskjremove(slts_ctx *ctx, void *obj, int type) {
  if (ctx == nullptr || type < 0 || type > 3) return -1;
  sltskj *j = &ctx->reg;
  pthread_mutex_lock(&j->mx);
  int rc = -1;
  for (sltskjnode *n = j->head[type]; n; n = n->next) {
    if (n->obj != obj) continue;
    unlink_node(j->head[type], j->tail[type], n);
    --j->count;
    free(n);
    rc = 0;
    break;
  }
  pthread_mutex_unlock(&j->mx);
  return rc;
}

// ---- usage records -------------------------------------------------------

extern "C" sltskinfo *sltskgetinfoptr(void *obj, int type) {
  if (obj == nullptr) return nullptr;
  if (type == SLTSK_MUTEX) {
    sltskmblk *b = static_cast<slts_mutex *>(obj)->blk;
    return b ? &b->info : nullptr;
  }
  if (type >= SLTSK_COND && type <= SLTSK_RWLOCK) return &static_cast<sltskobj *>(obj)->info;
  return nullptr;
}

extern "C" int sltskisinitinfo(sltskinfo *info) { return info && info->init == 1; }

extern "C" int sltskinitinfo(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  memset(info, 0, sizeof *info);
  info->type = type;
  if (type == SLTSK_MUTEX) {
    if (sltstidinit(ctx, &info->owner) != 0) return -1;
    sltstan(ctx, &info->owner);
  }
  info->init = 1;
  return 0;
}

extern "C" int sltskfreeinfo(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  if (info->owner.rec) sltstiddestroy(ctx, &info->owner);
  info->owned = 0;
  sltskfmlist(ctx, &info->owners);
  sltskfmlist(ctx, &info->waiters);
  info->init = 0;
  return 0;
}

extern "C" int sltskckthr(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  slts_tid me;
  if (sltstidinit(ctx, &me) != 0) return -1;
  sltstgi(ctx, &me);
  int rc = -7;
  if (type == SLTSK_MUTEX) {
    if (info->owned && sltsThrIsSame(&info->owner, &me)) rc = -6;
  } else if (type == SLTSK_RWLOCK) {
    for (sltskthr *n = info->owners.head; n; n = n->next)
      if (sltsThrIsSame(&n->tid, &me)) rc = -6;
  }
  sltstiddestroy(ctx, &me);
  return rc;
}

extern "C" int sltskoadd(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  if (type == SLTSK_MUTEX) {
    if (info->owner.rec == nullptr) return -1;
    sltstgi(ctx, &info->owner);
    info->owned = 1;
    return 0;
  }
  return sltskamlist(ctx, &info->owners) ? 0 : -1;
}

extern "C" int sltskoremove(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  if (type == SLTSK_MUTEX) {
    sltstan(ctx, &info->owner);
    info->owned = 0;
    return 0;
  }
  return remove_caller(ctx, &info->owners);
}

extern "C" int sltskwadd(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  return sltskamlist(ctx, &info->waiters) ? 0 : -1;
}

extern "C" int sltskwremove(slts_ctx *ctx, void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  return remove_caller(ctx, &info->waiters);
}

extern "C" int sltskgwcount(void *obj, int type) {
  sltskinfo *info = sltskgetinfoptr(obj, type);
  if (info == nullptr) return -1;
  return count_of(&info->waiters);
}

// ---- tracked mutexes -----------------------------------------------------

extern "C" int sltskminit(slts_ctx *ctx, slts_mutex *mx) {
  mx->cb = nullptr;
  mx->cbarg = nullptr;
  auto *b = static_cast<sltskmblk *>(calloc(1, sizeof(sltskmblk)));
  if (b == nullptr) {
    mx->blk = nullptr;
    return -11;
  }
  b->held = 0;
  if (pthread_mutex_init(&b->imx, nullptr) != 0) {
    free(b);
    mx->blk = nullptr;
    return -2;
  }
  if (pthread_cond_init(&b->cv, nullptr) != 0) {
    pthread_mutex_destroy(&b->imx);
    free(b);
    mx->blk = nullptr;
    return -3;
  }
  mx->blk = b;
  if (sltskinitinfo(ctx, mx, SLTSK_MUTEX) != 0 || sltskjadd(ctx, mx, SLTSK_MUTEX) != 0) {
    sltskfreeinfo(ctx, mx, SLTSK_MUTEX);
    pthread_cond_destroy(&b->cv);
    pthread_mutex_destroy(&b->imx);
    free(b);
    mx->blk = nullptr;
    return -1;
  }
  return 0;
}

extern "C" int sltskmacq(slts_ctx *ctx, slts_mutex *mx) {
  if (int rc = ckmutex(mx, true)) return rc;
  sltskmblk *b = mx->blk;
  int ck = sltskckthr(ctx, mx, SLTSK_MUTEX);
  if (ck != -7) {
    say("Error: Thread is acquiring object it holds: %d\n", ck);
    return ck;
  }
  pthread_mutex_lock(&b->imx);
  int e = sltskwadd(ctx, mx, SLTSK_MUTEX);
  if (e != 0) {
    // Without a waiter entry the wait would be invisible to the report;
    // give up rather than hold the lock unaccounted.
    pthread_mutex_unlock(&b->imx);
    say("Internal Error: %d\n", e);
    return e;
  }
  while (b->held == 1) pthread_cond_wait(&b->cv, &b->imx);
  e = sltskwremove(ctx, mx, SLTSK_MUTEX);
  if (e != 0) say("Internal Error: %d\n", e);
  sltskoadd(ctx, mx, SLTSK_MUTEX);
  b->held = 1;
  pthread_mutex_unlock(&b->imx);
  return 0;
}

extern "C" int sltskmrel(slts_ctx *ctx, slts_mutex *mx) {
  if (int rc = ckmutex(mx, true)) return rc;
  sltskmblk *b = mx->blk;
  int ck = sltskckthr(ctx, mx, SLTSK_MUTEX);
  if (ck != -6) {
    say("Error: Thread is releasing object it doesn't hold: %d\n", ck);
    return ck;
  }
  pthread_mutex_lock(&b->imx);
  sltskoremove(ctx, mx, SLTSK_MUTEX);
  b->held = 0;
  pthread_cond_signal(&b->cv);
  pthread_mutex_unlock(&b->imx);
  return 0;
}

extern "C" int sltskmtacq(slts_ctx *ctx, slts_mutex *mx) {
  if (int rc = ckmutex(mx, false)) return rc;
  sltskmblk *b = mx->blk;
  int e = pthread_mutex_lock(&b->imx);
  if (e != 0) return e;
  int rc = -1;
  if (b->held != 1) {
    sltskoadd(ctx, mx, SLTSK_MUTEX);
    b->held = 1;
    rc = 0;
  }
  pthread_mutex_unlock(&b->imx);
  return rc;
}

extern "C" int sltskmdes(slts_ctx *ctx, slts_mutex *mx) {
  if (int rc = ckmutex(mx, false)) return rc;
  sltskmblk *b = mx->blk;
  pthread_mutex_lock(&b->imx);
  int rc = 0;
  if (b->info.owned)
    rc = -10;
  else if (count_of(&b->info.waiters) > 0)
    rc = -9;
  pthread_mutex_unlock(&b->imx);
  if (rc != 0) return rc;
  pthread_mutex_destroy(&b->imx);
  pthread_cond_destroy(&b->cv);
  b->held = 0;
  sltskfreeinfo(ctx, mx, SLTSK_MUTEX);
  rc = sltskjremove(ctx, mx, SLTSK_MUTEX);
  free(b);
  mx->blk = nullptr;
  return rc;
}
