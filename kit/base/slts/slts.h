// Thread services: the process-wide thread-services context, kit mutexes
// (plain, with a callback, static), the process lock, thread-specific keys,
// thread identities and thread operations; and the lock-usage registry with
// its tracked mutexes, report and deadlock (wait-for cycle) search.
//
// Built on POSIX threads. Thread ids are small ints handed out from a process
// counter the first time a thread needs one (or when the kit creates it);
// they are never reused, unlike kernel thread ids.
#ifndef QEN_KIT_CORE_SLTS_H
#define QEN_KIT_CORE_SLTS_H

#include <pthread.h>
#include <stddef.h>

#ifdef __cplusplus
extern "C" {
#endif

// ---- records -------------------------------------------------------------

// What a thread identity or a thread handle points to.
typedef struct sltstrec {
  int id;
  unsigned char valid;  // 0: names no thread
  pthread_t os;         // the OS thread, for join, kill and priority
} sltstrec;

typedef struct slts_tid {
  sltstrec *rec;
} slts_tid;

typedef struct slts_thnd {
  sltstrec *rec;
} slts_thnd;

typedef struct slts_key {
  pthread_key_t *cell;
} slts_key;

struct slts_mutex;
// Callback of a mutex made with sltsmdi. On lock it gets the mutex and the
// three values given to sltsmda; on unlock and try it gets the argument only
// (the other parameters are NULL).
typedef int (*sltsmcb)(void *arg, struct slts_mutex *mx, void *a, void *b, void *c);

// Thread list of the usage records.
typedef struct sltskthr {
  slts_tid tid;
  struct sltskthr *prev;
  struct sltskthr *next;
} sltskthr;

typedef struct sltskthrlist {
  sltskthr *head;
  sltskthr *tail;
  int count;
} sltskthrlist;

// Object types of the registry.
#define SLTSK_MUTEX 0
#define SLTSK_COND 1
#define SLTSK_SEMA 2
#define SLTSK_RWLOCK 3

// Usage record: who owns an object and who waits for it.
typedef struct sltskinfo {
  int init;  // 1 when set up
  int type;
  slts_tid owner;       // mutex
  int owned;            // mutex
  sltskthrlist owners;  // read/write lock
  sltskthrlist waiters;
} sltskinfo;

// The block of a kit mutex. A plain mutex uses only os; a tracked mutex the
// rest.
typedef struct sltskmblk {
  pthread_mutex_t os;
  pthread_mutex_t imx;  // guards held, owner and waiters
  int held;
  pthread_cond_t cv;
  sltskinfo info;
} sltskmblk;

// Condition variables, semaphores and read/write locks made outside the kit
// take part in the registry by starting with this header: a mutex that
// guards their usage record, then the record.
typedef struct sltskobj {
  pthread_mutex_t guard;
  sltskinfo info;
} sltskobj;

typedef struct slts_mutex {
  sltsmcb cb;
  void *cbarg;
  sltskmblk *blk;
} slts_mutex;

// A statically allocated mutex that sets itself up on its first lock or try.
typedef struct slts_static_mutex {
  int init;
  pthread_mutex_t mx;
} slts_static_mutex;
#define SLTS_STATIC_MUTEX_INIT {0, PTHREAD_MUTEX_INITIALIZER}

typedef struct sltskjnode {
  void *obj;
  struct sltskjnode *prev;
  struct sltskjnode *next;
} sltskjnode;

// The lock-usage registry: one list per object type.
typedef struct sltskj {
  pthread_mutex_t mx;
  sltskjnode *head[4];
  sltskjnode *tail[4];
  int count;
} sltskj;

// The process-wide thread-services context.
typedef struct slts_ctx {
  int refs;
  sltskj reg;
  slts_mutex termmx;  // SIGTERM mutex
  int kills;          // thread kills in progress
  int termid;         // multiplexer id of the shared SIGTERM handler
  slts_mutex plock;   // process lock (a tracked mutex)
} slts_ctx;

// ---- globals -------------------------------------------------------------

extern slts_ctx *sltsqgc;         // the process context, or NULL
extern int sltsqgi;               // 1 once the layer is prepared for threads
extern pthread_mutex_t sltsqgm;   // guards creation and destruction of the context
extern pthread_mutex_t sltsxgim;  // guards the first use of static mutexes

// ---- context -------------------------------------------------------------

void sltspin(void);
// The process context, created on first use; NULL when it cannot be made
// whole (memory, process lock or SIGTERM mutex).
slts_ctx *sltsini(void);
int sltster(slts_ctx *ctx);

// ---- kit mutexes ---------------------------------------------------------

int sltsmxi(slts_ctx *ctx, slts_mutex *mx);
int sltsmxd(slts_ctx *ctx, slts_mutex *mx);
int sltsmna(slts_ctx *ctx, slts_mutex *mx);  // 0 or the OS error number
int sltsmnr(slts_ctx *ctx, slts_mutex *mx);  // 0 or the OS error number
int sltsmnt(slts_ctx *ctx, slts_mutex *mx);  // 0 locked, -1 not

int sltsmdi(slts_ctx *ctx, slts_mutex *mx, sltsmcb cb, void *arg);
int sltsmda(slts_ctx *ctx, slts_mutex *mx, void *a, void *b, void *c);
int sltsmdr(slts_ctx *ctx, slts_mutex *mx);
int sltsmdt(slts_ctx *ctx, slts_mutex *mx);

int sltsima(slts_static_mutex *mx);
int sltsimr(slts_static_mutex *mx);
int sltsimt(slts_static_mutex *mx);

// The process lock, used plainly; -1 without a process context.
int sltspla(void);
int sltsplr(void);
int sltsplt(void);
int sltsrsa(void);
int sltsrsr(void);
int sltsrst(void);
// The process lock through the tracked-mutex operations.
int sltskla(slts_ctx *ctx);
int sltsklr(slts_ctx *ctx);
int sltsklt(slts_ctx *ctx);

// ---- keys ----------------------------------------------------------------

int sltskyc(slts_ctx *ctx, slts_key *key, void (*destructor)(void *));
int sltskydestroy(slts_ctx *ctx, slts_key *key);
int sltskyg(slts_ctx *ctx, slts_key *key, void **value);
int sltskys(slts_ctx *ctx, slts_key *key, void *value);

// ---- thread identities and handles ---------------------------------------

int sltstidinit(slts_ctx *ctx, slts_tid *tid);
int sltsthndinit(slts_ctx *ctx, slts_thnd *hnd);
int sltstiddestroy(slts_ctx *ctx, slts_tid *tid);
int sltsthnddestroy(slts_ctx *ctx, slts_thnd *hnd);
int sltstai(slts_ctx *ctx, slts_tid *to, slts_tid *from);
int sltstah(slts_ctx *ctx, slts_thnd *to, slts_thnd *from);
int sltstan(slts_ctx *ctx, slts_tid *tid);
int sltsthan(slts_ctx *ctx, slts_thnd *hnd);
int sltstgi(slts_ctx *ctx, slts_tid *tid);
int sltstgh(slts_ctx *ctx, slts_thnd *hnd);
int sltsThrIsNull(slts_tid *tid);
int sltsThndIsNull(slts_thnd *hnd);
int sltsThrIsSame(slts_tid *a, slts_tid *b);
int sltsThndIsSame(slts_thnd *a, slts_thnd *b);
int sltstcu(slts_tid *tid);
int sltstprint(slts_ctx *ctx, slts_thnd *hnd, char *buf, size_t len);
// The calling thread's kit id (given out on first use).
int sltstself(void);

// ---- thread operations ---------------------------------------------------

typedef void *(*sltsthrfn)(void *);
// Creation flag: the thread cannot be joined.
#define SLTS_THR_DETACHED 0x40

int sltstcr(slts_ctx *ctx, sltsthrfn fn, void *arg, slts_tid *tid, slts_thnd *hnd);
int sltstspawn(slts_ctx *ctx, sltsthrfn fn, void *arg, slts_tid *tid, slts_thnd *hnd,
               size_t stacksize, unsigned flags);
int sltstcl(slts_ctx *ctx);
int sltstjn(slts_ctx *ctx, slts_thnd *hnd);
int sltstkill(slts_ctx *ctx, slts_thnd *hnd);
int sltstsetp(slts_ctx *ctx, slts_thnd *hnd, int level);
int sltstgetp(slts_ctx *ctx, slts_thnd *hnd, int *level);
void sltsttr(slts_ctx *ctx, int status);
int sltstyield(void);
void SltsqSigFunc(int sig, void *ctx);

// Kit priority levels and their OS priorities.
#define SLTS_PRIO_LOWEST 16
#define SLTS_PRIO_LOW 256
#define SLTS_PRIO_NORMAL 4096
#define SLTS_PRIO_HIGH 0x10000
#define SLTS_PRIO_HIGHEST 0x100000
// The OS priority of a kit level, -1 for any other value.
int sltsprio2os(int level);
// The kit level of an OS priority.
int sltsos2prio(int osprio);

// ---- tracked mutexes and the lock-usage registry -------------------------

int sltskminit(slts_ctx *ctx, slts_mutex *mx);
// 0 acquired; otherwise the reason, and the lock is not held:
// -1 no block, -5 not initialised, -6 the caller holds it already, or an
// internal error.
int sltskmacq(slts_ctx *ctx, slts_mutex *mx);
// 0 released; -1 no block, -5 not initialised, -7 the caller does not hold it.
int sltskmrel(slts_ctx *ctx, slts_mutex *mx);
int sltskmtacq(slts_ctx *ctx, slts_mutex *mx);
int sltskmdes(slts_ctx *ctx, slts_mutex *mx);

int sltskjinit(slts_ctx *ctx);
int sltskjfree(slts_ctx *ctx);
int sltskjadd(slts_ctx *ctx, void *obj, int type);
int sltskjremove(slts_ctx *ctx, void *obj, int type);
sltskinfo *sltskgetinfoptr(void *obj, int type);
int sltskinitinfo(slts_ctx *ctx, void *obj, int type);
int sltskfreeinfo(slts_ctx *ctx, void *obj, int type);
int sltskisinitinfo(sltskinfo *info);
int sltskckthr(slts_ctx *ctx, void *obj, int type);
int sltskoadd(slts_ctx *ctx, void *obj, int type);
int sltskoremove(slts_ctx *ctx, void *obj, int type);
int sltskwadd(slts_ctx *ctx, void *obj, int type);
int sltskwremove(slts_ctx *ctx, void *obj, int type);
int sltskgwcount(void *obj, int type);
int sltskgcount(sltskthrlist *list);
sltskthr *sltskamlist(slts_ctx *ctx, sltskthrlist *list);
int sltskrmlist(slts_ctx *ctx, sltskthrlist *list, slts_tid *tid);
int sltskfmlist(slts_ctx *ctx, sltskthrlist *list);

// Wait-for matrix of the cycle search.
typedef struct sltskxele {
  int kind;  // 2 the object is owned by the thread, 3 the thread waits for it
  int row;
  int col;
  struct sltskxele *rnext;
  struct sltskxele *cnext;
  int colour;
  struct sltskxele *all;  // every element in the order added
} sltskxele;

typedef struct sltskxrow {
  slts_tid tid;
  sltskxele *ele;
  int colour;  // 5 unvisited, 4 visited
  int disc;
  int fin;
  int parent;  // column, -1 none
} sltskxrow;

typedef struct sltskxcol {
  int type;
  char name[100];
  sltskxele *ele;
  int colour;
  int disc;
  int fin;
  int parent;  // row, -1 none
} sltskxcol;

typedef struct sltskx {
  sltskxrow *rows;
  int nrows;
  sltskxcol *cols;
  int ncols;
  sltskxele *first;  // elements in the order added
  sltskxele *last;
  sltstrec *ids;     // the rows' thread identities
} sltskx;

int sltskretrievedata(slts_ctx *ctx, const char *path);
int sltskdetection(slts_ctx *ctx, const char *path, const char *cyclepath);
int sltskdldetect(slts_ctx *ctx, const char *path, const char *cyclepath);
int sltskvdata(slts_ctx *ctx, const char *path, int mode, sltskx *matrix);
int sltskanalysis(const char *cyclepath, sltskx *matrix);
int sltskxinit(sltskx *matrix);
int sltskxfree(sltskx *matrix);

#ifdef __cplusplus
}
#endif

#endif
