// The error store: records per thread, marks, barriers and queries.
//
// Design
//
// Records. One doubly linked list per store, oldest first, between two
// sentinel records (head and tail); count is the number of records of all
// threads between them. Each record names the thread that pushed it, and
// every query sees only the caller's records: "the newest record" and
// "record n" (1 the newest; a negative n counts alike but looks past
// barriers) are always the calling thread's.
//
// Depths. A record's depth is one more than the depth of the same thread's
// next older record (1 for a thread's first), so a thread's depths grow
// strictly from older to newer; deleting a record from the middle leaves a
// gap but no disorder. The error depth (lwemged) is the newest depth.
//
// Marks. A mark flags one record: lwemmrk marks the newest, lwemcmk clears
// the newest marked one, and lwemdtm deletes the caller's newest records up
// to and including the newest marked one (the mark protocol of the error
// manager's operations), stopping at a barrier.
//
// Bases and barriers. A record whose base and barrier differ stands on a
// barrier: lwemdtm never deletes it, and lwemvep counts back from a record
// only down to its base (or to the base of the nearest older record standing
// on a barrier). lwembas raises the barrier of the newest record, and of the
// older ones not already standing on one, to the newest depth; a record
// pushed afterwards takes base = barrier = its older record's barrier.
// lwembar takes the newest barrier down: the records above it fall back to
// its base.
//
// Locks. The store's owner-aware mutex guards the list and the NLS fields; a
// facility's mutex its numbers. A recording call takes the facility's mutex
// before the store's. Holding either never calls out, so nothing jumps over
// a held lock.
#include <cassert>
#include <climits>
#include <cstdlib>
#include <cstring>

#include "lem.h"
#include "lem_int.h"
#include "lsf.h"

namespace {

bool usable(const lwem_ctx *ctx) { return ctx && ctx->store; }

// Holds a store's (or facility's) owner-aware mutex for a scope. The store
// calls no callbacks, so nothing jumps over these frames.
class Hold {
 public:
  Hold(slts_ctx *thr, lwem_mutex *mx) : thr_(thr), mx_(mx) {
    got_ = lwemmxa(thr_, &mx_->mutex, &mx_->owner);
  }
  ~Hold() { lwemmxr(thr_, &mx_->mutex, &mx_->owner, got_); }
  Hold(const Hold &) = delete;
  Hold &operator=(const Hold &) = delete;

 private:
  slts_ctx *thr_;
  lwem_mutex *mx_;
  int got_;
};

bool mine(lwem_record *r) { return sltstcu(&r->thread) == 1; }

lwem_record *head_of(lwem_stack *st) { return st->list->head; }
lwem_record *tail_of(lwem_stack *st) { return st->list->tail; }

// The calling thread's newest record older than r (exclusive).
lwem_record *older_mine(lwem_stack *st, lwem_record *r) {
  for (lwem_record *o = r->prev; o && o != head_of(st); o = o->prev)
    if (mine(o)) return o;
  return nullptr;
}

lwem_record *newest_mine(lwem_stack *st) { return older_mine(st, tail_of(st)); }

void unlink_record(lwem_stack *st, lwem_record *r) {
  assert(st->count > 0 && r->prev->next == r && r->next->prev == r);
  r->prev->next = r->next;
  r->next->prev = r->prev;
  st->count--;
}

// Frees a record that is no longer linked; its argument list is the caller's.
void free_record(slts_ctx *thr, lwem_record *r) {
  std::free(r->facility);
  std::free(r->product);
  if (r->thread.rec) sltstiddestroy(thr, &r->thread);
  std::free(r);
}

void mutex_destroy(slts_ctx *thr, lwem_mutex *mx) {
  sltsmxd(thr, &mx->mutex);
  sltstiddestroy(thr, &mx->owner);
}

// Copies a name into a private buffer; size includes the terminator of its
// width (two bytes for UTF-16 names).
char *copy_name(const char *name, bool wide, size_t *size) {
  size_t n = wide ? lxsulen(name) + 2 : std::strlen(name) + 1;
  char *p = static_cast<char *>(std::malloc(n));
  if (p) std::memcpy(p, name, n);
  *size = n;
  return p;
}

// Copies a stored name out; a name that does not fit is cut and terminated.
int name_out(const char *name, size_t stored, bool wide, char *buf, int size) {
  if (!name) return 0;
  size_t room = size_t(size);
  if (stored <= room) {
    std::memcpy(buf, name, stored);
    return int(stored);
  }
  size_t term = wide && room >= 2 ? 2 : 1;
  size_t n = room - term;
  if (wide) n &= ~size_t(1);
  std::memcpy(buf, name, n);
  std::memset(buf + n, 0, room - n);
  return size;
}

// Builds a list that holds only the site number.
lsf_arglist *site_list(lwem_ctx *ctx, lsf_env *env, int *status, ...) {
  va_list ap;
  va_start(ap, status);
  lsf_arglist *l = lwsfdlv(ctx, env, status, ap);
  va_end(ap);
  return l;
}

}  // namespace

extern "C" {

int lwemmxi(slts_ctx *thr, slts_mutex *mutex, slts_tid *owner) {
  if (sltsmxi(thr, mutex) != 0) return -1;
  if (sltstidinit(thr, owner) != 0) {
    sltsmxd(thr, mutex);
    return -1;
  }
  sltstan(thr, owner);
  return 0;
}

int lwemmxa(slts_ctx *thr, slts_mutex *mutex, slts_tid *owner) {
  if (sltstcu(owner) == 1) return 0;
  sltsmna(thr, mutex);
  sltstgi(thr, owner);
  return 1;
}

void lwemmxr(slts_ctx *thr, slts_mutex *mutex, slts_tid *owner, int acquired) {
  if ((acquired & 0xff) != 1) return;
  sltstan(thr, owner);
  sltsmnr(thr, mutex);
}

lwem_ctx *lwemist(const char *lang_name, lxglo *glo, int own_nls) {
  slts_ctx *thr = sltsini();
  if (!thr) return nullptr;
  auto ctx = static_cast<lwem_ctx *>(std::calloc(1, sizeof(lwem_ctx)));
  auto st = static_cast<lwem_stack *>(std::calloc(1, sizeof(lwem_stack)));
  if (!ctx || !st) goto fail;
  ctx->thr = thr;
  ctx->store = st;
  if (glo) {
    st->glo = glo;
  } else if (own_nls) {
    if (lemnls_open(st) != 0) goto fail;
    st->owns_nls = 1;
  }
  if (lang_name) {
    st->lang_name = strdup(lang_name);
    if (!st->lang_name) goto fail;
  }
  st->list = static_cast<lwem_sentinels *>(std::calloc(1, sizeof(lwem_sentinels)));
  if (!st->list) goto fail;
  st->list->head = static_cast<lwem_record *>(std::calloc(1, sizeof(lwem_record)));
  st->list->tail = static_cast<lwem_record *>(std::calloc(1, sizeof(lwem_record)));
  if (!st->list->head || !st->list->tail) goto fail;
  st->list->head->next = st->list->tail;
  st->list->tail->prev = st->list->head;
  if (lwemmxi(thr, &st->mx.mutex, &st->mx.owner) != 0) goto fail;
  return ctx;

fail:
  if (st) {
    if (st->list) {
      std::free(st->list->head);
      std::free(st->list->tail);
      std::free(st->list);
    }
    std::free(st->lang_name);
    if (st->owns_nls) lemnls_close(st);
    std::free(st);
  }
  std::free(ctx);
  sltster(thr);
  return nullptr;
}

int lwemdst(lwem_ctx *ctx) {
  if (!usable(ctx)) return -1;
  lwem_stack *st = ctx->store;
  slts_ctx *thr = ctx->thr;
  lwemces(ctx);
  std::free(st->list->head);
  std::free(st->list->tail);
  std::free(st->list);
  if (st->lang) lemnls_langfree(st);
  std::free(st->lang_name);
  if (st->owns_nls) lemnls_close(st);
  mutex_destroy(thr, &st->mx);
  std::free(st);
  std::free(ctx);
  sltster(thr);
  return 0;
}

lwem_facility *lwemfaa(lwem_ctx *ctx, void **callbacks, const char *product,
                       const char *facility, int internal, int fatal) {
  if (!ctx || !product || !facility || internal == 0 || fatal == 0) return nullptr;
  size_t flen = std::strlen(facility), plen = std::strlen(product);
  if (flen > LWEM_NAME_MAX || plen > LWEM_NAME_MAX) return nullptr;
  auto f = static_cast<lwem_facility *>(
      std::calloc(1, sizeof(lwem_facility) + flen + 1 + plen + 1));
  if (!f) return nullptr;
  char *names = reinterpret_cast<char *>(f + 1);
  f->callbacks = callbacks;
  f->facility = names;
  std::memcpy(names, facility, flen + 1);
  f->product = names + flen + 1;
  std::memcpy(f->product, product, plen + 1);
  f->internal = internal;
  f->fatal = fatal;
  if (lwemmxi(ctx->thr, &f->mx.mutex, &f->mx.owner) != 0) {
    std::free(f);
    return nullptr;
  }
  return f;
}

void lwemfaf(lwem_ctx *ctx, lwem_facility *fac) {
  if (!fac) return;
  mutex_destroy(ctx ? ctx->thr : nullptr, &fac->mx);
  std::free(fac);
}

int lwemilx(lwem_ctx *ctx) {
  if (!usable(ctx)) return -1;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  if (!st->glo && !st->table && !st->owns_nls) {
    if (lemnls_open(st) != 0) return -1;
    st->owns_nls = 1;
  }
  if (!st->lang && lemnls_langid(st) != 0) {
    if (st->owns_nls) {
      lemnls_close(st);
      st->owns_nls = 0;
    }
    st->table = nullptr;
    return -1;
  }
  return 0;
}

int lwemsll(lwem_ctx *ctx, lsf_env *env) {
  if (!usable(ctx) || lwemilx(ctx) != 0) return -1;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  if (!st->glo) lemnls_env(st);
  env->thr = ctx->thr;
  env->lang = st->lang;
  env->glo = st->glo;
  env->utf16 = 0;
  env->fmt = nullptr;
  return 0;
}

int lwemade(lwem_ctx *ctx, lwem_facility *fac, int number, const sl_status *status, int site,
            int cls, lsf_arglist *args) {
  if (!usable(ctx) || !fac) return -1;
  lwem_stack *st = ctx->store;
  Hold hf(ctx->thr, &fac->mx);
  Hold hs(ctx->thr, &st->mx);
  lsf_env env{};
  int lst = LSFST_OK;
  if (!status && (number == 0 || (number == fac->internal && site == 0))) {
    if (args && lwemsll(ctx, &env) == 0) lwsfdrm(ctx, &env, args, &lst);
    return -1;
  }
  if (lwemsll(ctx, &env) != 0) return -1;

  auto r = static_cast<lwem_record *>(std::calloc(1, sizeof(lwem_record)));
  if (!r) return -1;
  bool first = st->count == 0;
  lwem_record *tail = tail_of(st);
  assert(tail->prev->next == tail && (first ? tail->prev == head_of(st) : tail->prev != head_of(st)));
  r->prev = tail->prev;
  r->next = tail;
  tail->prev->next = r;
  tail->prev = r;
  st->count++;

  bool wide = (lemnls_lang_flags(st->lang) & LEM_LANG_UTF16) != 0;
  r->wide = wide;
  r->facility = copy_name(fac->facility, wide, &r->facility_size);
  r->product = copy_name(fac->product, wide, &r->product_size);
  bool ok = r->facility && r->product && sltstidinit(ctx->thr, &r->thread) == 0;
  if (ok) {
    sltstgi(ctx->thr, &r->thread);
    if (status) {
      r->kind = LWEM_KIND_OS;
      r->u.os = *status;
    } else {
      r->kind = LWEM_KIND_MSG;
      r->cls = cls;
      r->u.msg.number = number;
      lsf_arglist *l = args;
      if (site != 0) {
        int32_t s = site;
        l = args ? lwsfdi(ctx, &env, args, 0, &lst, LSFSB4, &s, LSFEND)
                 : site_list(ctx, &env, &lst, LSFSB4, &s, LSFEND);
        ok = l != nullptr;
      }
      r->u.msg.args = l;
    }
  }
  if (!ok) {
    unlink_record(st, r);
    free_record(ctx->thr, r);
    return -1;
  }
  // An OS-status record keeps no arguments; the list given with it is done.
  if (status && args) lwsfdrm(ctx, &env, args, &lst);

  lwem_record *t = first ? nullptr : older_mine(st, r);
  if (t) {
    r->depth = t->depth + 1;
    r->base = r->barrier = t->barrier;
  } else {
    r->depth = 1;
  }
  assert(r->depth > (t ? t->depth : 0));
  return 0;
}

int lwemrev(lwem_ctx *ctx, lwem_facility *fac, int number, const sl_status *status, int site,
            int cls, va_list ap) {
  if (!usable(ctx) || !fac) return -1;
  lwem_stack *st = ctx->store;
  Hold hf(ctx->thr, &fac->mx);
  Hold hs(ctx->thr, &st->mx);
  if (!status && (number == 0 || (number == fac->internal && site == 0))) return -1;
  lsf_env env{};
  if (lwemsll(ctx, &env) != 0) return -1;
  int lst = LSFST_OK;
  lsf_arglist *l = lwsfdlv(ctx, &env, &lst, ap);
  if (!l) return -1;
  if (lwemade(ctx, fac, number, status, site, cls, l) != 0) {
    lwsfdrm(ctx, &env, l, &lst);
    return -1;
  }
  return 0;
}

int lwemrec(lwem_ctx *ctx, lwem_facility *fac, int number, const sl_status *status, int site,
            int cls, ...) {
  va_list ap;
  va_start(ap, cls);
  int r = lwemrev(ctx, fac, number, status, site, cls, ap);
  va_end(ap);
  return r;
}

unsigned lwemged(lwem_ctx *ctx) {
  if (!usable(ctx)) return 0;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = newest_mine(ctx->store);
  return r ? r->depth : 0;
}

int lwemvep(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return -1;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  lwem_record *r = newest_mine(st);
  if (!r || n == 0) return -1;
  unsigned limit = 0;
  unsigned k;
  if (n < 0) {
    k = 0u - unsigned(n);
  } else {
    k = unsigned(n);
    limit = r->base;
    if (r->base == r->barrier) {
      for (lwem_record *o = older_mine(st, r); o; o = older_mine(st, o)) {
        if (o->base != o->barrier) {
          limit = o->base;
          break;
        }
      }
    }
  }
  return k <= r->depth - limit ? 0 : -1;
}

lwem_record *lwemgne(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return nullptr;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  if (lwemvep(ctx, n) != 0) return nullptr;
  unsigned k = n < 0 ? 0u - unsigned(n) : unsigned(n);
  for (lwem_record *r = newest_mine(st); r; r = older_mine(st, r))
    if (--k == 0) return r;
  return nullptr;
}

int lwemget(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return LWEM_KIND_NONE;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  return r ? r->kind : LWEM_KIND_NONE;
}

int lwemgec(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return -1;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  return r && r->kind == LWEM_KIND_MSG ? r->u.msg.number : -1;
}

sl_status *lwemgse(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return nullptr;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  return r && r->kind == LWEM_KIND_OS ? &r->u.os : nullptr;
}

lsf_arglist *lwemgpa(lwem_ctx *ctx, lwem_record *rec) {
  if (!usable(ctx) || !rec) return nullptr;
  return rec->kind == LWEM_KIND_MSG ? rec->u.msg.args : nullptr;
}

lsf_arglist *lwemgep(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return nullptr;
  Hold h(ctx->thr, &ctx->store->mx);
  return lwemgpa(ctx, lwemgne(ctx, n));
}

int lwemgnp(lwem_ctx *ctx, int n, int i, void **out) {
  (void)i;
  if (!usable(ctx)) return 0;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  if (!r || r->kind != LWEM_KIND_MSG || !r->u.msg.args) return 0;
  lsf_env env{};
  if (lwemsll(ctx, &env) != 0) return 0;
  int st = LSFST_OK;
  void *second = nullptr;
  lwsfdal(ctx->thr, r->u.msg.args);
  int res = lwsfdg(ctx, &env, out, &second, &st);
  lwsfdrl(ctx->thr, r->u.msg.args);
  return res;
}

int lwemgef(lwem_ctx *ctx, int n, char *buf, int size) {
  if (!usable(ctx) || size < 1 || !buf) return -1;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  if (!r) return -1;
  return name_out(r->facility, r->facility_size, r->wide, buf, size);
}

int lwemgpd(lwem_ctx *ctx, int n, char *buf, int size) {
  if (!usable(ctx) || size < 1 || !buf) return -1;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  if (!r) return -1;
  return name_out(r->product, r->product_size, r->wide, buf, size);
}

int lwemgie(lwem_ctx *ctx, lwem_facility *fac) {
  if (!ctx || !fac) return -1;
  Hold h(ctx->thr, &fac->mx);
  return fac->internal;
}

int lwemgfe(lwem_ctx *ctx, lwem_facility *fac) {
  if (!ctx || !fac) return -1;
  Hold h(ctx->thr, &fac->mx);
  return fac->fatal;
}

void lwemdec(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  lwem_record *r = lwemgne(ctx, n);
  if (!r) return;
  if (r->kind == LWEM_KIND_MSG) {
    lsf_env env{};
    if (lwemsll(ctx, &env) != 0) return;
    int lst = LSFST_OK;
    if (r->u.msg.args) lwsfdrm(ctx, &env, r->u.msg.args, &lst);
    r->u.msg.args = nullptr;
  }
  unlink_record(st, r);
  free_record(ctx->thr, r);
}

void lwemces(lwem_ctx *ctx) {
  if (!usable(ctx)) return;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  while (newest_mine(st)) {
    int before = st->count;
    lwemdec(ctx, -1);
    if (st->count == before) break;  // the record could not be deleted
  }
}

void lwemnmk(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return;
  Hold h(ctx->thr, &ctx->store->mx);
  lwem_record *r = lwemgne(ctx, n);
  if (r) r->mark = 1;
}

void lwemmrk(lwem_ctx *ctx) { lwemnmk(ctx, 1); }

void lwemcmk(lwem_ctx *ctx) {
  if (!usable(ctx)) return;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  for (lwem_record *r = newest_mine(st); r; r = older_mine(st, r)) {
    if (r->mark) {
      r->mark = 0;
      return;
    }
  }
}

int lwemimk(lwem_ctx *ctx, int n) {
  if (!usable(ctx)) return -1;
  Hold h(ctx->thr, &ctx->store->mx);
  if (ctx->store->count == 0) return -1;
  lwem_record *r = lwemgne(ctx, n);
  if (!r) return -1;
  return r->mark ? 1 : 0;
}

void lwemdtm(lwem_ctx *ctx) {
  if (!usable(ctx)) return;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  for (;;) {
    lwem_record *r = newest_mine(st);
    if (!r || r->base != r->barrier) return;
    assert(r->depth >= 1);
    bool marked = r->mark != 0;
    int before = st->count;
    lwemdec(ctx, -1);
    if (marked || st->count == before) return;
  }
}

void lwembas(lwem_ctx *ctx) {
  if (!usable(ctx)) return;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  lwem_record *r = newest_mine(st);
  if (!r) return;
  unsigned level = r->depth;
  r->barrier = level;
  for (lwem_record *o = older_mine(st, r); o; o = older_mine(st, o)) {
    if (o->base != o->barrier) break;
    o->barrier = level;
  }
}

void lwembar(lwem_ctx *ctx) {
  if (!usable(ctx)) return;
  lwem_stack *st = ctx->store;
  Hold h(ctx->thr, &st->mx);
  lwem_record *b = newest_mine(st);
  while (b && b->base == b->barrier) b = older_mine(st, b);
  if (!b) return;
  for (lwem_record *r = newest_mine(st); r != b; r = older_mine(st, r))
    r->base = r->barrier = b->base;
  unsigned level = b->base;
  b->barrier = level;
  for (lwem_record *o = older_mine(st, b); o; o = older_mine(st, o)) {
    if (o->barrier == level) break;
    o->barrier = level;
  }
}

int lwemgin(lwem_ctx *ctx, char *buf, int size) {
  if (!usable(ctx) || !buf || size < 1) return -1;
  Hold h(ctx->thr, &ctx->store->mx);
  size_t n = size_t(size < 4 ? size : 4);
  std::memcpy(buf, ctx->store->lang_code, n);
  return int(strnlen(buf, n));
}

int lwemgfl(lwem_ctx *ctx, char *buf, int size) {
  if (!usable(ctx) || !buf || size < 1) return -1;
  Hold h(ctx->thr, &ctx->store->mx);
  const char *name = ctx->store->lang_name;
  if (!name) return 0;
  return name_out(name, std::strlen(name) + 1, false, buf, size);
}

lxlobj *lwemglm(lwem_ctx *ctx) {
  if (!usable(ctx)) return nullptr;
  Hold h(ctx->thr, &ctx->store->mx);
  return ctx->store->table;
}

void lwemslm(lwem_ctx *ctx, lxlobj *table, lxglo *glo) {
  if (!usable(ctx)) return;
  Hold h(ctx->thr, &ctx->store->mx);
  ctx->store->table = table;
  ctx->store->glo = glo;
}

void lwemcln(lwem_ctx *ctx, const char code[4]) {
  if (!usable(ctx) || !code) return;
  Hold h(ctx->thr, &ctx->store->mx);
  std::memcpy(ctx->store->lang_code, code, 4);
}

}  // extern "C"
