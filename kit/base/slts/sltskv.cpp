// The lock-usage report and the wait-for cycle (deadlock) search.
#include <pthread.h>
#include <stdarg.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>

#include <vector>

#include "slts.h"

namespace {

constexpr int kOwned = 2;
constexpr int kWaits = 3;
constexpr int kUnvisited = 5;
constexpr int kVisited = 4;

struct Obj {
  void *obj;
  int type;
  sltskinfo *info;
};

pthread_mutex_t *guard_of(void *obj, int type) {
  if (type == SLTSK_MUTEX) {
    sltskmblk *b = static_cast<slts_mutex *>(obj)->blk;
    return b ? &b->imx : nullptr;
  }
  return &static_cast<sltskobj *>(obj)->guard;
}

unsigned low32(const void *p) { return static_cast<unsigned>(reinterpret_cast<uintptr_t>(p)); }

// A report or cycle file: the path opened for appending, else standard output.
FILE *open_out(const char *path, bool *opened) {
  *opened = false;
  if (path) {
    FILE *f = fopen(path, "a+");
    if (f) {
      *opened = true;
      return f;
    }
  }
  return stdout;
}

void close_out(FILE *f, bool opened) {
  if (opened)
    fclose(f);
  else
    fflush(f);
}

__attribute__((format(printf, 2, 3))) void line(FILE *f, const char *fmt, ...) {
  va_list ap;
  va_start(ap, fmt);
  vfprintf(f, fmt, ap);
  va_end(ap);
  fflush(f);
}

// Thread collection in order of first appearance.
struct Threads {
  std::vector<sltstrec> recs;
  int index(const slts_tid &t) const {
    if (t.rec == nullptr) return -1;
    for (size_t i = 0; i < recs.size(); ++i)
      if (recs[i].id == t.rec->id && recs[i].valid == t.rec->valid) return static_cast<int>(i);
    return -1;
  }
  void add(const slts_tid &t) {
    if (t.rec && index(t) < 0) recs.push_back(*t.rec);
  }
};

int add_element(sltskx *m, int kind, int row, int col) {
  if (row < 0 || col < 0 || row >= m->nrows || col >= m->ncols) return 0;  // dropped
  auto *e = static_cast<sltskxele *>(calloc(1, sizeof(sltskxele)));
  if (e == nullptr) return -1;
  e->kind = kind;
  e->row = row;
  e->col = col;
  e->colour = kUnvisited;
  sltskxele **p = &m->rows[row].ele;
  while (*p && (*p)->col <= col) p = &(*p)->rnext;
  e->rnext = *p;
  *p = e;
  p = &m->cols[col].ele;
  while (*p && (*p)->row <= row) p = &(*p)->cnext;
  e->cnext = *p;
  *p = e;
  if (m->last)
    m->last->all = e;
  else
    m->first = e;
  m->last = e;
  return 0;
}

struct Search {
  sltskx *m;
  int disc = 1;
  int fin = 1;
  void from_col(int c);
  void from_row(int r);
};

void Search::from_col(int c) {
  sltskxcol &col = m->cols[c];
  col.colour = kVisited;
  col.disc = disc++;
  for (sltskxele *e = col.ele; e; e = e->cnext) {
    if (e->kind != kOwned || e->colour == kVisited) continue;
    e->colour = kVisited;
    if (m->rows[e->row].colour == kUnvisited) {
      m->rows[e->row].parent = c;
      from_row(e->row);
    }
  }
  col.fin = fin++;
}

void Search::from_row(int r) {
  sltskxrow &row = m->rows[r];
  row.colour = kVisited;
  row.disc = disc++;
  for (sltskxele *e = row.ele; e; e = e->rnext) {
    if (e->kind != kWaits || e->colour == kVisited) continue;
    e->colour = kVisited;
    if (m->cols[e->col].colour == kUnvisited) {
      m->cols[e->col].parent = r;
      from_col(e->col);
    }
  }
  row.fin = fin++;
}

}  // namespace

extern "C" int sltskxinit(sltskx *m) {
  memset(m, 0, sizeof *m);
  return 0;
}

extern "C" int sltskxfree(sltskx *m) {
  for (sltskxele *e = m->first; e;) {
    sltskxele *next = e->all;
    free(e);
    e = next;
  }
  free(m->rows);
  free(m->cols);
  free(m->ids);
  memset(m, 0, sizeof *m);
  return 0;
}

extern "C" int sltskvdata(slts_ctx *ctx, const char *path, int mode, sltskx *m) {
  if (ctx == nullptr) return -1;
  sltskj *j = &ctx->reg;
  pthread_mutex_lock(&j->mx);
  if (j->count == 0) {
    pthread_mutex_unlock(&j->mx);
    return -8;
  }
  std::vector<Obj> objs;
  for (int t = 0; t < 4; ++t)
    for (sltskjnode *n = j->head[t]; n; n = n->next) objs.push_back({n->obj, t, sltskgetinfoptr(n->obj, t)});
  for (const Obj &o : objs)
    if (pthread_mutex_t *g = guard_of(o.obj, o.type)) pthread_mutex_lock(g);

  Threads th;
  for (const Obj &o : objs) {
    if (o.info == nullptr) continue;
    if (o.type == SLTSK_MUTEX && o.info->owned) th.add(o.info->owner);
    if (o.type == SLTSK_RWLOCK)
      for (sltskthr *n = o.info->owners.head; n; n = n->next) th.add(n->tid);
    for (sltskthr *n = o.info->waiters.head; n; n = n->next) th.add(n->tid);
  }

  int rc = 0;
  if (mode == 1 && m) {
    m->nrows = static_cast<int>(th.recs.size());
    m->ncols = static_cast<int>(objs.size());
    m->rows = static_cast<sltskxrow *>(calloc(m->nrows ? m->nrows : 1, sizeof(sltskxrow)));
    m->cols = static_cast<sltskxcol *>(calloc(m->ncols ? m->ncols : 1, sizeof(sltskxcol)));
    m->ids = static_cast<sltstrec *>(calloc(m->nrows ? m->nrows : 1, sizeof(sltstrec)));
    if (m->rows == nullptr || m->cols == nullptr || m->ids == nullptr) {
      rc = -1;
    } else {
      for (int r = 0; r < m->nrows; ++r) {
        m->ids[r] = th.recs[r];
        m->rows[r].tid.rec = &m->ids[r];
        m->rows[r].colour = kUnvisited;
        m->rows[r].parent = -1;
      }
      for (int c = 0; c < m->ncols; ++c) {
        m->cols[c].type = objs[c].type;
        snprintf(m->cols[c].name, sizeof m->cols[c].name, "%x", low32(objs[c].obj));
        m->cols[c].colour = kUnvisited;
        m->cols[c].parent = -1;
      }
    }
  }
  const bool fill = mode == 1 && m && rc == 0;

  bool opened;
  FILE *f = open_out(path, &opened);
  line(f, "Total Threads: %d\n", static_cast<int>(th.recs.size()));
  for (const sltstrec &r : th.recs) line(f, "Thread %d\n", r.id);
  line(f, "\nTotal Objects: %d\n", static_cast<int>(objs.size()));
  static constexpr const char *kNames[] = {"Mutex", "Cond Variable", "Semaphore",
                                           "Read/Write Lock"};
  for (const Obj &o : objs) line(f, "%s %x\n", kNames[o.type], low32(o.obj));
  line(f, "\nObjects and their owners/waiters:%s\n", " ");
  for (size_t c = 0; c < objs.size(); ++c) {
    const Obj &o = objs[c];
    if (o.info == nullptr) continue;
    const int col = static_cast<int>(c);
    if (o.type == SLTSK_MUTEX && o.info->owned) {
      line(f, "Object:\t%x\tOwner:\tThread %d\n", low32(o.obj), o.info->owner.rec ? o.info->owner.rec->id : 0);
      if (fill && add_element(m, kOwned, th.index(o.info->owner), col) != 0) rc = -1;
    }
    if (o.type == SLTSK_RWLOCK)
      for (sltskthr *n = o.info->owners.head; n; n = n->next) {
        line(f, "Object:\t%x\tOwner:\tThread %d\n", low32(o.obj), n->tid.rec ? n->tid.rec->id : 0);
        if (fill && add_element(m, kOwned, th.index(n->tid), col) != 0) rc = -1;
      }
    for (sltskthr *n = o.info->waiters.head; n; n = n->next) {
      line(f, "Object:\t%x\tWaiter:\tThread %d\n", low32(o.obj), n->tid.rec ? n->tid.rec->id : 0);
      if (fill && add_element(m, kWaits, th.index(n->tid), col) != 0) rc = -1;
    }
  }
  close_out(f, opened);

  for (const Obj &o : objs)
    if (pthread_mutex_t *g = guard_of(o.obj, o.type)) pthread_mutex_unlock(g);
  pthread_mutex_unlock(&j->mx);
  return rc;
}

extern "C" int sltskretrievedata(slts_ctx *ctx, const char *path) { return sltskvdata(ctx, path, 0, nullptr); }

extern "C" int sltskanalysis(const char *cyclepath, sltskx *m) {
  Search s{m};
  for (int c = 0; c < m->ncols; ++c)
    if (m->cols[c].colour == kUnvisited && m->cols[c].ele) s.from_col(c);
  for (int r = 0; r < m->nrows; ++r)
    if (m->rows[r].colour == kUnvisited && m->rows[r].ele) s.from_row(r);

  auto tid = [m](int r) { return m->rows[r].tid.rec ? m->rows[r].tid.rec->id : 0; };
  bool opened;
  FILE *f = open_out(cyclepath, &opened);
  for (sltskxele *e = m->first; e; e = e->all) {
    if (e->kind != kOwned) continue;
    const sltskxcol &c = m->cols[e->col];
    const sltskxrow &r = m->rows[e->row];
    if (!(c.disc > r.disc && c.fin < r.fin)) continue;
    line(f, "CYCLE:\n");
    line(f, "Object %s\n", c.name);
    int p = c.parent;  // a thread
    while (p >= 0 && p != e->row) {
      line(f, "Thread %d\n", tid(p));
      int q = m->rows[p].parent;  // an object
      if (q < 0) break;
      line(f, "Object %s\n", m->cols[q].name);
      p = m->cols[q].parent;
    }
    line(f, "Thread %d\n\n", tid(e->row));
  }
  for (sltskxele *e = m->first; e; e = e->all) {
    if (e->kind != kWaits) continue;
    const sltskxrow &r = m->rows[e->row];
    const sltskxcol &c = m->cols[e->col];
    if (!(r.disc > c.disc && r.fin < c.fin)) continue;
    line(f, "CYCLE:\n");
    line(f, "Thread %d\n", tid(e->row));
    int p = r.parent;  // an object
    while (p >= 0 && p != e->col) {
      line(f, "Object %s\n", m->cols[p].name);
      int q = m->cols[p].parent;  // a thread
      if (q < 0) break;
      line(f, "Thread %d\n", tid(q));
      p = m->rows[q].parent;
    }
    line(f, "Object %s\n\n", c.name);
  }
  close_out(f, opened);
  sltskxfree(m);
  return 0;
}

extern "C" int sltskdetection(slts_ctx *ctx, const char *path, const char *cyclepath) {
  sltskx m;
  sltskxinit(&m);
  int rc = sltskvdata(ctx, path, 1, &m);
  if (rc != 0) {
    sltskxfree(&m);
    return rc;
  }
  sltskanalysis(cyclepath, &m);
  return 0;
}

extern "C" int sltskdldetect(slts_ctx *ctx, const char *path, const char *cyclepath) {
  return sltskdetection(ctx, path, cyclepath);
}
