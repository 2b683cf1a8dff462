// Post-wait: the cooperating processes of one instance sleep on their own
// System V semaphore, with an optional timeout, until another process posts
// them; a process can also send another one an asynchronous call signal.
//
// Each process slot owns one semaphore of a chain of semaphore sets. The
// chain's keys and magic are derived from an identifier (skgpw_wid), so a
// later creation finds and removes a chain that an earlier run left behind.
// Set layout (sems_per_set semaphores):
//   0                 the link: next set's key - this set's key (32-bit), 0 in the last
//   1 .. c            the chain magic, c = ceil(32 / bits_per_sem)
//   c+1 ..            one semaphore per process slot (user_semas of them)
// A value wider than one semaphore is spread over consecutive semaphores:
// semaphore k holds (value >> k*bits_per_sem) & (2^(bits_per_sem+1) - 1).
//
// Records:
//   skgpw_wid         identifier bytes and their count (machine word).
//   skgpw_shared_ctx  the area every cooperating process sees: 109 32-bit
//                     words, one layout in both builds; the caller places it.
//   skgp_oswid        a process's OS wait id (skgp.h).
//
// Results: 1 (non-zero) for success, 0 for failure with the caller's
// slos_error filled. Error numbers below; -1 is an internal error.
//
// Layers: skgpw.cpp checks the contexts and forwards; every system call
// (semaphores, signals, the alarm) is made by the sskgp* routines of
// sosd/sskgpw.cpp.
//
// Who may call: skgpwinit needs a context set up by skgpinit; skgpwwait and
// skgpwcinit (and skgpwcall without SKGPW_CALL_ANY) also need the context
// attached to a valid area (asserted in debug builds). One context supports
// one timed wait at a time.
#ifndef QEN_KIT_OSD_SKGPW_H
#define QEN_KIT_OSD_SKGPW_H

#include <stddef.h>
#include <stdint.h>

#include "los.h"
#include "skgp.h"
#include "ssls.h"

#ifdef __cplusplus
extern "C" {
#endif

// Error numbers of post-wait.
#define SKGPW_ERR_SYSCALL 27143   // a semop or semctl failed
#define SKGPW_ERR_SIZE 27145      // the area cannot be sized or its keys are taken
#define SKGPW_ERR_LIMIT 27146     // a system limit probe or the key search failed
#define SKGPW_ERR_RM 27147        // a set could not be removed
#define SKGPW_ERR_CALL 27150      // the call signal could not be sent
#define SKGPW_ERR_POST 27152      // the post failed
#define SKGPW_ERR_WAIT 27153      // the wait failed
#define SKGPW_ERR_CREATE 27154    // the first set could not be created
#define SKGPW_ERR_REMOVED 27157   // the waiter's set was removed

// Flags.
#define SKGPW_INIT_CREATE 0x100u  // skgpwinit: create the area
#define SKGPW_WAIT_NAP 0x100u     // skgpwwait: only sleep for the timeout
#define SKGPW_WAIT_FOREVER 0x200u // skgpwwait: no timeout
#define SKGPW_CALL_ANY 0x100u     // skgpwcall: the area need not be valid
#define SKGPW_AREA_VALID 0x1u     // skgpw_shared_ctx.flags: created, not reset

#define SKGPW_MAXSETS 100         // sets in a chain
#define SKGPW_MAXOPS 1024         // operations of one semop, at most
#define SKGPW_NKEYS 4             // keys derived from an identifier
#define SKGPW_NAMELEN 256

typedef struct skgpw_wid {
  char name[SKGPW_NAMELEN];
  size_t length;  // bytes of name that count
} skgpw_wid;

typedef struct skgpw_shared_ctx {
  uint32_t maxprocs;
  uint32_t flags;         // SKGPW_AREA_VALID
  uint32_t sems_per_set;
  uint32_t user_semas;
  uint32_t ops_per_call;
  uint32_t nsets;
  uint32_t key_overhead;
  uint32_t magic;
  uint32_t bits_per_sem;
  int32_t semids[SKGPW_MAXSETS];
} skgpw_shared_ctx;

// The caller's call-signal handler (signal, the skgp_ctx).
typedef sslsshdlr skgpw_callfn;

// Sets up post-wait for the context's process and attaches slot (0 ..
// maxprocs-1) to it, filling *oswid; with SKGPW_INIT_CREATE first creates the
// chain for maxprocs slots, removing one left behind under the same wid.
int skgpwinit(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared,
              const skgpw_wid *wid, skgp_oswid *oswid, int slot, int maxprocs,
              uint32_t flags);
// Removes the chain, marks the area invalid and detaches the context. 1
// when no removal failed.
int skgpwreset(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared);
// Waits on the own semaphore for at most usec microseconds (SKGPW_WAIT_*).
// 1 when posted; 0 on a timeout or an interruption (record clear) or an
// error (record filled).
int skgpwwait(slos_error *err, skgp_ctx *ctx, long usec, uint32_t flags);
// Sets the target's semaphore to 1 (posts before a wait wake it once).
int skgpwpost(slos_error *err, skgp_ctx *ctx, const skgp_oswid *target, uint32_t flags);
// Adds 1 to every target's semaphore, one semop per set and per
// ops_per_call operations; sorts targets by set id in place. 1 when every
// semop succeeded.
int skgpwvectorpost(slos_error *err, skgp_ctx *ctx, skgp_oswid **targets, int count,
                    uint32_t flags);
// Sends the call signal (SIGUSR2) to the process *pid (> 0).
int skgpwcall(slos_error *err, skgp_ctx *ctx, const int32_t *pid, uint32_t flags);
// Registers the caller's call-signal handler (context: the skgp_ctx).
int skgpwcinit(slos_error *err, skgp_ctx *ctx, skgpw_callfn handler);

// The OS part.
int sskgpwcr(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared, const skgpw_wid *wid);
int sskgpwattach(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared,
                 skgp_oswid *oswid, int slot);
// Mode 1: removes the area's sets by id; other modes: the chains of wid.
int sskgpwrm(slos_error *err, skgpw_shared_ctx *shared, const skgpw_wid *wid, int mode);
int sskgpwpost(slos_error *err, const skgp_oswid *target);
int sskgpwvectorpost(slos_error *err, skgp_ctx *ctx, skgp_oswid **targets, int count);
int sskgpwwait(slos_error *err, skgp_ctx *ctx, long usec, uint32_t flags);
int sskgpsetalarm(slos_error *err, skgp_ctx *ctx, long usec);
// Sends the call signal (SIGUSR2) to process pid: 0, or the errno.
int sskgpwcall(int32_t pid);
// Keys and magic of an identifier; bits per semaphore as probed. 1 or 0.
int sskgpwidtokeys(slos_error *err, const skgpw_wid *wid, int32_t keys[SKGPW_NKEYS],
                   uint32_t *magic, uint32_t *bits_per_sem);
int32_t sskgphpjw(const skgpw_wid *wid);
void sskgpmorphkey(skgpw_wid *wid);
uint32_t sskgph2(const skgpw_wid *wid);
uint32_t sskgpbitspersem(slos_error *err);
uint32_t sskgpsemspersemid(slos_error *err, uint32_t n);
uint32_t sskgpwfindops(slos_error *err, uint32_t n);
// A value of nbits bits in the semaphores from semnum on.
int sskgpsetval(slos_error *err, int semid, int semnum, uint32_t nbits, uint32_t bps,
                uint32_t value);
int sskgpgetval(slos_error *err, int semid, int semnum, uint32_t nbits, uint32_t bps,
                uint32_t *value);
// A key whose old chain of these keys and magic was removed, or a free key;
// 0 when there is neither.
int32_t sskgpremovesem(slos_error *err, const int32_t keys[SKGPW_NKEYS], uint32_t magic,
                       uint32_t bps);
int sskgpcreatesem(slos_error *err, skgpw_shared_ctx *shared, int32_t basekey);
int sskgpwidcmp(const void *a, const void *b);
// "%d %d" (set id, semaphore number) copied without a NUL; *outlen bytes.
void sskgposwidstr(slos_error *unused, const skgp_oswid *oswid, char *dst, size_t dstlen,
                   size_t *outlen);
// Writes the area (mode 1) or the chains of wid (other modes) through the
// context's trace callback.
int sskgpdmpinfo(slos_error *err, skgp_ctx *ctx, const skgpw_shared_ctx *shared,
                 const skgpw_wid *wid, int mode);

#ifdef __cplusplus
}

static_assert(sizeof(skgpw_shared_ctx) == 109 * 4);
static_assert(offsetof(skgpw_shared_ctx, magic) == 7 * 4);
static_assert(offsetof(skgpw_shared_ctx, semids) == 9 * 4);
static_assert(sizeof(skgpw_wid) == SKGPW_NAMELEN + sizeof(void *));
#endif

#endif
