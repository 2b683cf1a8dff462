// Process services of the OS-dependent layer: the per-process context, the
// identity of a process (its id together with its start time, so that a
// recycled id is not taken for the process that once held it), the start-time
// lookup in the process file system and the liveness test.
//
// Records:
//   skgp_pid   a process's identity, two machine words: 16 bytes in the 64-bit
//              build (id, 4 bytes of padding, 64-bit time), 8 bytes in the
//              32-bit build. Health files and shared memory carry the writer's
//              layout; skgp_pid64 and skgp_pid32 describe both, and skgp_pid is
//              the one of this build.
//   skgp_ops   the caller's callback table, 13 slots (empty slot: no callback).
//   skgp_ctx   the per-process context, owned by the caller.
//
// Results: every function but sskgpalarm takes the caller's slos_error first
// and returns non-zero for success. Callers clear the record's code and
// additional information before a call; a failure fills it:
//   27141  invalid process id (<= 0), or no such process in /proc
//   27143  a system call failed (the record carries its errno)
//   -1     an internal inconsistency
//
// Layers: the portable calls (skgp.cpp, skgpctl.cpp, skgpinfo.cpp) make no
// system call; the OS part (sosd/sskgp.cpp, its routines in sosd/sskgp.h and
// the sskgp* ones below) makes them all and calls nothing above it.
//
// Who may call: skgpreset, skgpstime, skgpalive and skgpmaterialize need a
// context set up by skgpinit (skgpvtime through skgpstime); debug builds assert
// it. One context serves one process; it is not locked. Only one context of a
// process is set up at a time (its SIGALRM handler is the signal's final one):
// reset it before setting up another.
#ifndef QEN_KIT_OSD_SKGP_H
#define QEN_KIT_OSD_SKGP_H

#include <setjmp.h>
#include <signal.h>
#include <stddef.h>
#include <stdint.h>

#include "los.h"

#ifdef __cplusplus
extern "C" {
#endif

// Error numbers of the process services.
#define SKGP_ERR_BADPID 27141   // invalid or vanished process
#define SKGP_ERR_SYSCALL 27143  // failed system call

// Context flags.
#define SKGP_FLG_INIT 0x1u             // set up by skgpinit
#define SKGP_FLG_SEMTIMEDOP 0x80000000u // the timed semaphore wait exists
// Jump flags.
#define SKGP_JMP_VALID 0x1u  // the timed wait's jump buffer is armed
// Saves the timed wait's jump point (with the signal mask): 0 when saved,
// non-zero when sskgpalarm jumped back.
#define SKGP_SETJMP(ctx) sigsetjmp((ctx)->jmpbuf, 1)

// Error numbers of process control.
#define SKGP_ERR_NOTSUP 3001    // not supported on this platform
#define SKGP_ERR_FORK 27142     // fork failed, or the new process sent no identity
#define SKGP_ERR_KILL 27144     // kill failed
#define SKGP_ERR_WRONGPID 27148 // waitpid returned another process
#define SKGP_ERR_EXEC 27155     // execv failed in a plain child
// Feature bits of skgpquery.
#define SKGP_Q_ALWAYS 0x800u
#define SKGP_Q_NEVER 0x400u
#define SKGP_Q_POSTWAIT 0x200u
// Spawn flag: a plain child instead of a detached one.
#define SKGP_SPAWN_CHILD 0x100u

// The identity as a 64-bit and as a 32-bit process lays it out (the 64-bit
// time is 8-byte aligned in either build, so the padding is implicit).
#ifdef __cplusplus
#define SKGP_ALIGN8 alignas(8)
#define SKGP_NORETURN [[noreturn]]
#else
#define SKGP_ALIGN8 _Alignas(8)
#define SKGP_NORETURN _Noreturn
#endif
typedef struct skgp_pid64 {
  int32_t pid;
  SKGP_ALIGN8 int64_t stime;  // whole seconds of the process's start; 0 = not recorded
} skgp_pid64;

typedef struct skgp_pid32 {
  int32_t pid;
  int32_t stime;
} skgp_pid32;

#if UINTPTR_MAX > 0xFFFFFFFFu
typedef skgp_pid64 skgp_pid;
#else
typedef skgp_pid32 skgp_pid;
#endif

// Callbacks: trace and warning are printf-like, called with the callback
// context first.
typedef void (*skgp_msgfn)(void *cbctx, const char *fmt, ...);
// Parameter lookup: (callback context, name, 0, address of the value or of
// the text's length, address of the text pointer or NULL, 0, 0).
typedef int (*skgp_parmfn)(void *cbctx, const char *name, int zero, void *value,
                           char **text, int zero2, int zero3);

#define SKGP_OPS_SLOTS 13
typedef struct skgp_ops {
  skgp_msgfn trace;      // slot 0
  skgp_msgfn warn;       // slot 1
  void *slot2;
  skgp_parmfn parm;      // slot 3
  void *slots4[SKGP_OPS_SLOTS - 4];
} skgp_ops;

// A process's post-wait OS wait id: a word of the caller's, the semaphore set
// id and the semaphore number within that set.
typedef struct skgp_oswid {
  uint32_t user;
  int32_t semid;
  int32_t semnum;
} skgp_oswid;

struct skgpw_shared_ctx;  // post-wait's shared context

typedef struct skgp_ctx {
  struct skgpw_shared_ctx *pwctx;  // NULL when there is none
  skgp_ops *ops;                   // the callback table
  void *opsctx;                    // handed to every callback first
  skgp_pid self;                   // the own identity
  int usec_per_tick;               // 1000000 / CLK_TCK + 1
  int usr2_id;                     // SIGUSR2 call-handler handle, -1 = none
  uint32_t flags;                  // SKGP_FLG_*
  skgp_oswid oswid;                // copy of the own post-wait wait id
  volatile sig_atomic_t alarm_fired;
  sigjmp_buf jmpbuf;               // the timed wait's jump point
  int alarm_id;                    // SIGALRM handler handle
  uint32_t jmpflags;               // SKGP_JMP_*
} skgp_ctx;

// Sets up the context: raises the soft open-file limit to the hard limit,
// registers the SIGALRM handler, stores the callbacks and the own identity.
// 1, or 0 (the context may be marked set up when only the own start time
// could not be read). flags is passed on to sskgpinit.
int skgpinit(slos_error *err, skgp_ctx *ctx, skgp_ops *ops, void *opsctx,
             uint32_t flags);
// The OS part of the set-up: the SIGALRM registration and the semtimedop probe.
int sskgpinit(slos_error *err, skgp_ctx *ctx, uint32_t flags);
// Undoes the set-up (unregisters the handlers). 1 or 0.
int skgpreset(slos_error *err, skgp_ctx *ctx);
int sskgpreset(slos_error *err, skgp_ctx *ctx);

// Fills pid->stime with the start time of the process pid->pid, read from its
// psinfo record. 1 or 0.
int skgpstime(slos_error *err, skgp_ctx *ctx, skgp_pid *pid);
// 1 when the process still has the recorded start time (or none is
// recorded); 0 when it differs or the process is gone (record clear), or on
// an error (record filled).
int skgpvtime(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid);
// 1 when the process is alive; 0 when it is dead (record untouched) or on an
// error (record filled). An error of the start-time check counts as alive.
int skgpalive(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid);

// Copies an identity out of shared memory into a private record; 0 with an
// internal error when either is NULL.
int skgpmaterialize(slos_error *err, skgp_ctx *ctx, const skgp_pid *src,
                    skgp_pid *dst);
// The copy itself (each word read once); always 1.
int sskgpmaterialize(slos_error *err, skgp_ctx *ctx, const skgp_pid *src,
                     skgp_pid *dst);

// Process control. All but skgpquery, skgpsetpgrp, skgpint, skgpnumcpu and
// skgpexit need a context set up by skgpinit.
//
// 1 when the feature (SKGP_Q_*) is available.
int skgpquery(const skgp_ctx *ctx, uint32_t bits);
// Starts the program path with argv detached from the caller (a grandchild
// that nobody waits for, in a new session, in "/", descriptors 0-2 closed)
// and stores its identity; with SKGP_SPAWN_CHILD a plain child (skgpchild).
// thread and arg are for a thread start, which is not supported.
int skgpspawn(slos_error *err, skgp_ctx *ctx, const char *path, void *(*thread)(void *),
              void *arg, char *const argv[], skgp_pid *out, void *reserved1,
              void *reserved2, uint32_t flags);
// Forks a child that runs path with argv and stores its identity. The child
// never returns: when execv fails it ends with status errno | 128.
int skgpchild(slos_error *err, skgp_ctx *ctx, const char *path, void *(*thread)(void *),
              void *arg, char *const argv[], skgp_pid *out);
// Run in a new process: closes 0-2, new session, "/", execv. Never returns.
SKGP_NORETURN void skgpdchild(skgp_ctx *ctx, const char *path, void *arg, char *const argv[]);
// Reaps the process pid (blocking). 1 when that process was reaped.
int skgpdparent(slos_error *err, skgp_ctx *ctx, int32_t pid);
int skgpjoin(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid);
// setsid(): the new session id.
int skgpsetpgrp(void);
int skgpdone(slos_error *err, skgp_ctx *ctx);
SKGP_NORETURN void skgpexit(void);
// Sends SIGKILL unless the process is gone or its id was reused. 1 killed or
// gone; refuses ids of 0 and below.
int skgpkill(slos_error *err, skgp_ctx *ctx, const skgp_pid *pid);
// Sleeps max(usec, one clock tick) microseconds.
void skgpnap(slos_error *err, skgp_ctx *ctx, long usec);
// 1 when SIGINT is not ignored.
int skgpint(void);
// Processors the process may run on; -2 on failure.
int skgpnumcpu(slos_error *err);
// Binds the calling thread to locality group lgroup (strong affinity, none
// for its home group). 1 when moved or when DISABLE_NUMA or SIM_NUMA is set.
int skgpmoveme(slos_error *err, skgp_ctx *ctx, int lgroup);
// Turns on microstate accounting when the parameters ask for it.
void skgpacctg(skgp_ctx *ctx);

// Process information and diagnostics.
#define SKGP_ERR_MAP 1         // the mapped-size query failed
#define SKGP_ERR_SCAN 27149    // a process id text that does not parse
#define SKGP_ERR_ROOM 27151    // output buffer too small
#define SKGP_ERR_NAME 27156    // a name lookup failed
#define SKGP_IID_MAGIC 0x534B4750u  // "SKGP"
#define SKGP_PIDSTR_IMAGE 0x100u    // skgpospidstr: "Unix process pid: ..., image: ..."
#define SKGP_SCAN_MAX 23            // characters skgpscanpid parses
// Selectors of skgpgetinfo.
#define SKGP_INFO_OSNAME 0x100u
#define SKGP_INFO_EXENAME 0x200u
#define SKGP_INFO_TTY 0x400u
#define SKGP_INFO_USER 0x1000u

// The image identity of a file version.
typedef struct skgp_iid {
  uint32_t magic;     // SKGP_IID_MAGIC
  uintptr_t size;     // file size
  uintptr_t inode;
  uintptr_t mtime;    // modification time, seconds
} skgp_iid;

// The pid as text (with SKGP_PIDSTR_IMAGE: with the image text) in buf,
// terminated, its length in *outlen; 27151 when it does not fit.
int skgpospidstr(slos_error *err, skgp_ctx *ctx, const int32_t *pid, char *buf, size_t buflen,
                 size_t *outlen, const char *image, size_t imagelen, uint32_t flags);
// The post-wait OS wait id as text (no terminator).
void skgposwidstr(slos_error *err, skgp_ctx *ctx, const skgp_oswid *oswid, char *buf,
                  size_t buflen, size_t *outlen);
// Parses at most 23 characters (base 0) into out->pid; 27149 for text left
// over, a longer text or a number outside int.
void skgpscanpid(slos_error *err, skgp_ctx *ctx, void *reserved, const char *const *text,
                 const size_t *len, skgp_pid *out);
// The selected name (no terminator) in buf; "UNKNOWN" and 0 on failure.
int skgpgetinfo(slos_error *err, skgp_ctx *ctx, char *buf, size_t buflen, size_t *outlen,
                uint32_t selector);
// The post-wait dump (mode 1); 0 without a post-wait shared context.
int skgpdumpinfo(slos_error *err, skgp_ctx *ctx);
// The own process's mapped size in bytes. 0, or -1 on failure.
int skgpgpmap(slos_error *err, uint64_t *result);
int skgpiidget(slos_error *err, skgp_ctx *ctx, const char *path, skgp_iid *out);
int skgpiidcompare(slos_error *err, skgp_ctx *ctx, const skgp_iid *a, const skgp_iid *b,
                   int *same);
void skgpiiddmp(slos_error *err, skgp_ctx *ctx, const skgp_iid *iid);
// A diagnostic report on the process *pid: its id, the load averages, swap
// figures and stack, each cut to the buffer (always terminated).
int skgpdiagpid(slos_error *err, skgp_ctx *ctx, const int32_t *pid, char *buf, size_t buflen);
void skgpcopyin(char *dst, size_t len, const char *src);
void skgpgswap(skgp_ctx *ctx, char *buf, size_t len);
void skgpgloadavg(char *buf, size_t len);
void skgpgpstack(const int32_t *pid, char *buf, size_t len);

// The SIGALRM handler registered with the signal multiplexer (argument: the
// context): marks the alarm fired and jumps back into an armed timed wait.
void sskgpalarm(int sig, void *ctx);

#ifdef __cplusplus
}

static_assert(sizeof(skgp_pid64) == 16);
static_assert(offsetof(skgp_pid64, pid) == 0);
static_assert(offsetof(skgp_pid64, stime) == 8);
static_assert(sizeof(skgp_pid32) == 8);
static_assert(offsetof(skgp_pid32, pid) == 0);
static_assert(offsetof(skgp_pid32, stime) == 4);
static_assert(sizeof(skgp_pid) == 2 * sizeof(void *), "two machine words");
static_assert(sizeof(skgp_ops) == SKGP_OPS_SLOTS * sizeof(void *));
static_assert(sizeof(skgp_oswid) == 12);
#endif

#endif
