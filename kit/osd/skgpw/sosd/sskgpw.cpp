// Post-wait, the OS part: keys and magic, the probes of the system's
// semaphore limits, the chain of sets, posting, the timed wait and its alarm
// path, the wait-id text and the dump.
//
// Invariants of a created area: nsets sets, semids[0 .. nsets-1] valid ids,
// every set holding the magic in semaphores 1 .. key_overhead-1, every link
// but the last the key difference to the next set, user_semas > 0 and
// nsets * user_semas >= maxprocs.
#include <assert.h>
#include <errno.h>
#include <sched.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/sem.h>
#include <sys/stat.h>
#include <sys/types.h>

#include <algorithm>

#include "lst.h"
#include "skgpw.h"
#include "ssls.h"

namespace {

constexpr uint32_t kHashPrime = 1061461267u;
constexpr uint32_t kMagicBits = 32;
constexpr int kLinkSem = 0;
constexpr int kMagicSem = 1;
constexpr int kProbeBits = 31;
constexpr int kProbeMode = 0600;
constexpr int kSizeMode = 0666;
constexpr int kChainMode = 0660;
constexpr size_t kPipeChunk = 1024;
constexpr char kIpcs[] = "/usr/bin/ipcs -sa";

union semun {
  int val;
  struct semid_ds *buf;
  unsigned short *array;
};

void clear_err(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

uint32_t nsems_for(uint32_t nbits, uint32_t bps) { return (nbits + bps - 1) / bps; }

uint32_t sem_mask(uint32_t bps) {
  return bps + 1 >= 32 ? 0xFFFFFFFFu : (1u << (bps + 1)) - 1;
}

int rmid(int semid) { return semctl(semid, 0, IPC_RMID); }

// The trace callback of the context, or nothing.
template <class... A>
void trace(skgp_ctx *ctx, const char *fmt, A... args) {
  if (ctx != nullptr && ctx->ops != nullptr && ctx->ops->trace != nullptr)
    ctx->ops->trace(ctx->opsctx, fmt, args...);
}

}  // namespace

extern "C" int32_t sskgphpjw(const skgpw_wid *wid) {
  uint64_t a = 0;
  for (size_t i = wid->length; i-- > 0;) {
    unsigned char byte = static_cast<unsigned char>(wid->name[i]);
    for (int b = 0; b < 8; ++b) a = (2 * a + ((byte >> b) & 1u)) % kHashPrime;
  }
  uint32_t key = static_cast<uint32_t>(4 * a);
  return static_cast<int32_t>(key == 0 ? 4 : key);
}

extern "C" void sskgpmorphkey(skgpw_wid *wid) {
  for (size_t i = 0; i < wid->length; ++i)
    wid->name[i] = static_cast<char>(static_cast<unsigned char>(wid->name[i]) + 1);
}

extern "C" uint32_t sskgph2(const skgpw_wid *wid) {
  uint8_t acc[4] = {0, 0, 0, 0};
  for (size_t i = 0; i < wid->length; ++i)
    acc[i % 4] = static_cast<uint8_t>((acc[i % 4] << 1) ^ static_cast<unsigned char>(wid->name[i]));
  uint32_t magic = static_cast<uint32_t>(acc[0]) << 24 | static_cast<uint32_t>(acc[1]) << 16 |
                   static_cast<uint32_t>(acc[2]) << 8 | acc[3];
  return magic == 0 ? 1 : magic;
}

extern "C" uint32_t sskgpbitspersem(slos_error *err) {
  int id = semget(IPC_PRIVATE, 1, IPC_CREAT | IPC_EXCL | kProbeMode);
  if (id < 0) {
    slosFillErr(err, SKGPW_ERR_LIMIT, errno, "semget", "sskgpbitspersem1");
    return 0;
  }
  uint32_t value = 0xFFFFFFFFu;
  uint32_t bits = kProbeBits;
  uint32_t result = 0;
  while (bits > 0) {
    semun arg;
    arg.val = static_cast<int>(value);
    if (semctl(id, 0, SETVAL, arg) == 0) {
      result = bits;
      break;
    }
    if (errno != ERANGE) {
      slosFillErr(err, SKGPW_ERR_LIMIT, errno, "semctl", "sskgpbitspersem2");
      break;
    }
    value >>= 1;
    --bits;
  }
  rmid(id);
  return result;
}

extern "C" uint32_t sskgpsemspersemid(slos_error *err, uint32_t n) {
  while (n > 0) {
    int id = semget(IPC_PRIVATE, static_cast<int>(std::min<uint32_t>(n, INT32_MAX)),
                    IPC_CREAT | IPC_EXCL | kSizeMode);
    if (id >= 0) {
      rmid(id);
      return n;
    }
    if (errno != EINVAL) {
      slosFillErr(err, SKGPW_ERR_LIMIT, errno, "semget", "sskgpsemspersemid1");
      return 0;
    }
    n /= 2;
  }
  return 0;
}

extern "C" uint32_t sskgpwfindops(slos_error *err, uint32_t n) {
  if (n == 0) return 0;  // a set needs at least one semaphore
  int id = semget(IPC_PRIVATE, static_cast<int>(n), IPC_CREAT | kChainMode);
  if (id < 0) {
    slosFillErr(err, SKGPW_ERR_SIZE, errno, "semget", "findops1");
    return 0;
  }
  uint32_t m = std::min<uint32_t>(n, SKGPW_MAXOPS);
  struct sembuf ops[SKGPW_MAXOPS];
  for (uint32_t i = 0; i < m; ++i) {
    ops[i].sem_num = static_cast<unsigned short>(i);
    ops[i].sem_op = 1;
    ops[i].sem_flg = 0;
  }
  while (m > 0) {
    if (semop(id, ops, m) == 0) break;
    if (errno != E2BIG) {
      slosFillErr(err, SKGPW_ERR_SIZE, errno, "semop", "findops2");
      m = 0;
      break;
    }
    m /= 2;
  }
  rmid(id);
  return m;
}

extern "C" int sskgpwidtokeys(slos_error *err, const skgpw_wid *wid, int32_t keys[SKGPW_NKEYS],
                              uint32_t *magic, uint32_t *bits_per_sem) {
  skgpw_wid copy = *wid;
  copy.length = std::min<size_t>(copy.length, SKGPW_NAMELEN);
  uint32_t bps = sskgpbitspersem(err);
  if (bps == 0) return 0;
  for (int i = 0; i < SKGPW_NKEYS; ++i) {
    keys[i] = sskgphpjw(&copy);
    sskgpmorphkey(&copy);
  }
  copy = *wid;
  copy.length = std::min<size_t>(copy.length, SKGPW_NAMELEN);
  *magic = sskgph2(&copy);
  *bits_per_sem = bps;
  return 1;
}

extern "C" int sskgpsetval(slos_error *err, int semid, int semnum, uint32_t nbits, uint32_t bps,
                           uint32_t value) {
  uint32_t n = nsems_for(nbits, bps);
  for (uint32_t k = 0; k < n; ++k) {
    uint32_t shift = k * bps;
    // An arithmetic shift of the 32-bit value.
    int32_t part = shift >= 32 ? (static_cast<int32_t>(value) < 0 ? -1 : 0)
                               : static_cast<int32_t>(value) >> shift;
    semun arg;
    arg.val = static_cast<int>(static_cast<uint32_t>(part) & sem_mask(bps));
    if (semctl(semid, semnum + static_cast<int>(k), SETVAL, arg) != 0) {
      slosFillErr(err, SKGPW_ERR_LIMIT, errno, "semctl", "sskgpsetval1");
      return 0;
    }
  }
  return 1;
}

extern "C" int sskgpgetval(slos_error *err, int semid, int semnum, uint32_t nbits, uint32_t bps,
                           uint32_t *value) {
  uint32_t n = nsems_for(nbits, bps);
  uint32_t v = 0;
  for (uint32_t k = n; k-- > 0;) {
    int s = semctl(semid, semnum + static_cast<int>(k), GETVAL);
    if (s < 0) {
      slosFillErr(err, SKGPW_ERR_SYSCALL, errno, "semctl", "sskgpgetval1");
      return 0;
    }
    v = static_cast<uint32_t>(s) | (bps >= 32 ? 0 : v << bps);
  }
  *value = v;
  return 1;
}

namespace {

// Walks the chain that starts at key: calls visit(semid, key) for each set
// whose magic matches, then follows its link. Returns -1 when a set with
// another magic ended the walk, 0 when a read failed or the chain ended.
template <class Visit>
int walk_chain(slos_error *err, int32_t key, uint32_t magic, uint32_t bps, Visit visit) {
  int semid = semget(key, 0, 0);
  while (semid >= 0) {
    uint32_t link = 0;
    uint32_t found = 0;
    clear_err(err);
    if (!sskgpgetval(err, semid, kLinkSem, bps, bps, &link)) return 0;
    clear_err(err);
    if (!sskgpgetval(err, semid, kMagicSem, kMagicBits, bps, &found)) return 0;
    if (found != magic) return -1;
    visit(semid, key);
    if (link == 0) return 0;
    key = static_cast<int32_t>(static_cast<uint32_t>(key) + link);
    semid = semget(key, 0, 0);
  }
  return 0;
}

}  // namespace

extern "C" int32_t sskgpremovesem(slos_error *err, const int32_t keys[SKGPW_NKEYS],
                                  uint32_t magic, uint32_t bps) {
  int32_t result = 0;
  for (int i = 0; i < SKGPW_NKEYS; ++i) {
    if (semget(keys[i], 0, 0) < 0) {
      if (errno == ENOENT && result == 0) result = keys[i];
      continue;
    }
    walk_chain(err, keys[i], magic, bps, [&](int semid, int32_t key) {
      rmid(semid);
      if (result == 0) result = key;
    });
  }
  return result;
}

namespace {

// Removes the sets created so far, the last first.
void remove_sets(const skgpw_shared_ctx *shared, uint32_t count) {
  for (uint32_t i = count; i-- > 0;) rmid(shared->semids[i]);
}

int chain_perms() {
  mode_t mask = umask(0);
  umask(mask);
  return (kChainMode & ~static_cast<int>(mask)) | IPC_CREAT | IPC_EXCL;
}

}  // namespace

extern "C" int sskgpcreatesem(slos_error *err, skgpw_shared_ctx *shared, int32_t basekey) {
  const int perms = chain_perms();
  const int nsems = static_cast<int>(shared->sems_per_set);
  const uint32_t bps = shared->bits_per_sem;
  int id = semget(basekey, nsems, perms);
  if (id < 0) {
    slosFillErr(err, SKGPW_ERR_CREATE, errno, "semget", "sskgpcreatesem1");
    return 0;
  }
  shared->semids[0] = id;
  clear_err(err);
  if (!sskgpsetval(err, id, kMagicSem, kMagicBits, bps, shared->magic)) {
    remove_sets(shared, 1);
    return 0;
  }
  // The offsets one link semaphore can hold.
  const uint64_t max_offset = (uint64_t{1} << (bps + 1)) - 1;
  uint32_t key = static_cast<uint32_t>(basekey);
  for (uint32_t set = 1; set < shared->nsets; ++set) {
    uint32_t next = key + 1;
    uint64_t offset = 1;
    int nid = -1;
    while (offset < max_offset) {
      if (next == 0) {  // IPC_PRIVATE is no key
        ++next;
        ++offset;
        continue;
      }
      nid = semget(static_cast<int32_t>(next), nsems, perms);
      if (nid >= 0) break;
      if (errno == ENOSPC) {
        slosFillErr(err, SKGPW_ERR_LIMIT, errno, "semget", "sskgpcreatesem2");
        remove_sets(shared, set);
        return 0;
      }
      ++next;
      ++offset;
    }
    if (nid < 0) {
      // Every offset the link can hold is taken: the chain cannot be made.
      slosFillErr(err, SKGPW_ERR_LIMIT, EEXIST, "semget", "sskgpcreatesem2");
      remove_sets(shared, set);
      return 0;
    }
    shared->semids[set] = nid;
    if (!sskgpsetval(err, shared->semids[set - 1], kLinkSem, bps, bps,
                     static_cast<uint32_t>(offset)) ||
        !sskgpsetval(err, nid, kMagicSem, kMagicBits, bps, shared->magic)) {
      remove_sets(shared, set + 1);
      return 0;
    }
    key = next;
  }
  if (!sskgpsetval(err, shared->semids[shared->nsets - 1], kLinkSem, bps, bps, 0)) {
    remove_sets(shared, shared->nsets);
    return 0;
  }
  return 1;
}

extern "C" int sskgpwcr(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared,
                        const skgpw_wid *wid) {
  (void)ctx;
  int32_t keys[SKGPW_NKEYS];
  uint32_t magic = 0;
  uint32_t bps = 0;
  if (!sskgpwidtokeys(err, wid, keys, &magic, &bps)) return 0;
  const uint32_t overhead = nsems_for(kMagicBits, bps) + 1;
  const uint32_t maxprocs = shared->maxprocs;
  const uint32_t sems = sskgpsemspersemid(err, maxprocs + overhead);
  if (sems == 0) return 0;
  const uint32_t ops = sskgpwfindops(err, sems);
  if (ops == 0) return 0;
  char text[sizeof err->other];
  if (sems <= overhead) {
    slosFillErr(err, SKGPW_ERR_SIZE, 0, "usersemas_per_semid", "sskgpwcr1");
    snprintf(text, sizeof text, "user_semas = %d, maxprocs = %d",
             static_cast<int>(sems) - static_cast<int>(overhead), static_cast<int>(maxprocs));
    slosOtherInfo(err, text);
    return 0;
  }
  const uint32_t user = sems - overhead;
  const uint32_t nsets = (maxprocs + user - 1) / user;
  if (nsets > SKGPW_MAXSETS) {
    slosFillErr(err, SKGPW_ERR_SIZE, 0, "semids_per_proc", "sskgpwcr2");
    snprintf(text, sizeof text, "semids = %d, maxprocs = %d", static_cast<int>(nsets),
             static_cast<int>(maxprocs));
    slosOtherInfo(err, text);
    return 0;
  }
  clear_err(err);
  const int32_t base = sskgpremovesem(err, keys, magic, bps);
  if (base == 0) {
    if (err->code != 0) slosFillErr(err, SKGPW_ERR_SIZE, 0, "sskgpremovesem", "sskgpwcr3");
    return 0;
  }
  clear_err(err);
  shared->magic = magic;
  shared->sems_per_set = sems;
  shared->user_semas = user;
  shared->ops_per_call = ops;
  shared->nsets = nsets;
  shared->key_overhead = overhead;
  shared->bits_per_sem = bps;
  return sskgpcreatesem(err, shared, base);
}

extern "C" int sskgpwattach(slos_error *err, skgp_ctx *ctx, skgpw_shared_ctx *shared,
                            skgp_oswid *oswid, int slot) {
  (void)err;
  assert(slot >= 0 && static_cast<uint32_t>(slot) < shared->maxprocs);
  const uint32_t s = static_cast<uint32_t>(slot);
  oswid->semid = shared->semids[s / shared->user_semas];
  oswid->semnum = static_cast<int32_t>(s % shared->user_semas + shared->key_overhead);
  ctx->oswid = *oswid;
  return 1;
}

extern "C" int sskgpwrm(slos_error *err, skgpw_shared_ctx *shared, const skgpw_wid *wid,
                        int mode) {
  if (mode == 1) {
    for (uint32_t i = std::min<uint32_t>(shared->nsets, SKGPW_MAXSETS); i-- > 0;) {
      if (rmid(shared->semids[i]) != 0)
        slosFillErr(err, SKGPW_ERR_RM, errno, "semctl", "sskgpwrm1");
    }
    return err->code == 0;
  }
  int32_t keys[SKGPW_NKEYS];
  uint32_t magic = 0;
  uint32_t bps = 0;
  if (!sskgpwidtokeys(err, wid, keys, &magic, &bps)) return 0;
  sskgpremovesem(err, keys, magic, bps);
  return 1;
}

extern "C" int sskgpwpost(slos_error *err, const skgp_oswid *target) {
  semun arg;
  arg.val = 1;
  if (semctl(target->semid, target->semnum, SETVAL, arg) != 0) {
    slosFillErr(err, SKGPW_ERR_POST, errno, "semctl", "sskgpwpost1");
    char text[sizeof err->other];
    snprintf(text, sizeof text, "semid = %d", static_cast<int>(target->semid));
    slosOtherInfo(err, text);
    return 0;
  }
  return 1;
}

extern "C" int sskgpwidcmp(const void *a, const void *b) {
  int32_t x = (*static_cast<skgp_oswid *const *>(a))->semid;
  int32_t y = (*static_cast<skgp_oswid *const *>(b))->semid;
  return x < y ? -1 : x > y ? 1 : 0;
}

extern "C" int sskgpwvectorpost(slos_error *err, skgp_ctx *ctx, skgp_oswid **targets,
                                int count) {
  if (count <= 0) return 1;
  const skgpw_shared_ctx *shared = ctx->pwctx;
  uint32_t per_call = shared != nullptr ? shared->ops_per_call : 1;
  per_call = std::clamp<uint32_t>(per_call, 1, SKGPW_MAXOPS);
  qsort(targets, static_cast<size_t>(count), sizeof *targets, sskgpwidcmp);

  struct sembuf ops[SKGPW_MAXOPS];
  uint32_t nops = 0;
  int semid = targets[0]->semid;
  int result = 1;
  auto send = [&](const char *loc) {
    if (semop(semid, ops, nops) != 0) {
      slosFillErr(err, SKGPW_ERR_SYSCALL, errno, "semop", loc);
      char text[sizeof err->other];
      snprintf(text, sizeof text, "old_semid post_count 0x%x %d\n", static_cast<unsigned>(semid),
               static_cast<int>(nops));
      slosOtherInfo(err, text);
      result = 0;
    }
    nops = 0;
  };
  for (int i = 0; i < count; ++i) {
    const skgp_oswid *t = targets[i];
    if (nops > 0 && (t->semid != semid || nops == per_call)) send("sskgpwvp1");
    semid = t->semid;
    ops[nops].sem_num = static_cast<unsigned short>(t->semnum);
    ops[nops].sem_op = 1;
    ops[nops].sem_flg = 0;
    ++nops;
  }
  if (nops > 0) send("sskgpwvp2");
  return result;
}

extern "C" int sskgpsetalarm(slos_error *err, skgp_ctx *ctx, long usec) {
  sslss_time t{0, 0};
  if (usec > 0) {
    t.sec = static_cast<uint32_t>(usec / 1000000);
    t.usec = static_cast<uint32_t>(usec % 1000000);
    if (t.sec == 0 && t.usec < static_cast<uint32_t>(ctx->usec_per_tick))
      t.usec = static_cast<uint32_t>(ctx->usec_per_tick);
  }
  sl_status st{};
  if (sslssalck(&st, ctx->alarm_id, &t) < 0) {
    slosFillErr(err, st.code, 0, "sslssalck", "sskgpsetalarm1");
    return 0;
  }
  return 1;
}

extern "C" int sskgpwwait(slos_error *err, skgp_ctx *ctx, long usec, uint32_t flags) {
  ctx->alarm_fired = 0;
  struct sembuf op;
  op.sem_num = static_cast<unsigned short>(ctx->oswid.semnum);
  op.sem_op = -1;
  op.sem_flg = 0;
  const int semid = ctx->oswid.semid;
  const bool forever = (flags & SKGPW_WAIT_FOREVER) != 0;
  const bool timed = !forever && (ctx->flags & SKGP_FLG_SEMTIMEDOP) != 0;
  // Read again after the jump back: kept out of registers.
  const volatile bool alarm_path = !forever && !timed;
  int rc;
  if (forever) {
    rc = semop(semid, &op, 1);
  } else if (timed) {
    struct timespec ts;
    ts.tv_sec = static_cast<time_t>(usec / 1000000);
    ts.tv_nsec = static_cast<long>(usec % 1000000) * 1000;
    rc = semtimedop(semid, &op, 1, &ts);
  } else {
    if (SKGP_SETJMP(ctx) != 0) {
      // Back from the alarm handler: the wait timed out.
      ctx->jmpflags &= ~SKGP_JMP_VALID;
      clear_err(err);
      slos_error scratch{};
      sskgpsetalarm(&scratch, ctx, 0);
      return 0;
    }
    ctx->jmpflags |= SKGP_JMP_VALID;
    clear_err(err);
    if (!sskgpsetalarm(err, ctx, usec)) {
      ctx->jmpflags &= ~SKGP_JMP_VALID;
      return 0;
    }
    if (ctx->alarm_fired) {
      ctx->jmpflags &= ~SKGP_JMP_VALID;
      slos_error scratch{};
      sskgpsetalarm(&scratch, ctx, 0);
      return 0;
    }
    rc = semop(semid, &op, 1);
  }
  int result = 1;
  if (rc != 0) {
    int e = errno;
    result = 0;
    if (e == EIDRM) {
      slosFillErr(err, SKGPW_ERR_REMOVED, e, "semop", "sskgpwwait1");
    } else if (timed) {
      if (e != EAGAIN && e != EINTR)
        slosFillErr(err, SKGPW_ERR_WAIT, e, "semtimedop", "sskgpwwait2");
    } else if (e != EINTR) {
      slosFillErr(err, SKGPW_ERR_WAIT, e, "semop", "sskgpwwait2");
    }
  }
  if (alarm_path) {
    // Cancel first, so that a late alarm cannot jump into a finished wait.
    slos_error scratch{};
    if (!sskgpsetalarm(&scratch, ctx, 0)) result = 0;
  }
  ctx->jmpflags &= ~SKGP_JMP_VALID;
  return result;
}

extern "C" void sskgposwidstr(slos_error *unused, const skgp_oswid *oswid, char *dst, size_t dstlen,
                              size_t *outlen) {
  (void)unused;
  char text[32];
  int n = snprintf(text, sizeof text, "%d %d", static_cast<int>(oswid->semid),
                   static_cast<int>(oswid->semnum));
  if (n < 0) {
    *outlen = 0;
    return;
  }
  size_t len = std::min(static_cast<size_t>(n), dstlen);
  memcpy(dst, text, len);
  *outlen = len;
}

namespace {

// Mode 1: the area, its set ids, each set's magic checked, and the system's
// semaphore listing.
int dump_area(skgp_ctx *ctx, const skgpw_shared_ctx *shared) {
  if (shared == nullptr) {
    trace(ctx, "No resources allocated\n");
    return 1;
  }
  trace(ctx, "Maximum processes:               = %d\n", static_cast<int>(shared->maxprocs));
  trace(ctx, "Number of semaphores per set:    = %d\n", static_cast<int>(shared->sems_per_set));
  trace(ctx, "Semaphores key overhead per set: = %d\n", static_cast<int>(shared->key_overhead));
  trace(ctx, "User Semaphores per set:         = %d\n", static_cast<int>(shared->user_semas));
  trace(ctx, "Number of semaphore sets:        = %d\n", static_cast<int>(shared->nsets));
  trace(ctx, "Semaphore identifiers:           = %d\n", static_cast<int>(shared->nsets));
  trace(ctx, "Semaphore List=\n");
  bool ok = true;
  for (uint32_t i = 0; i < std::min<uint32_t>(shared->nsets, SKGPW_MAXSETS); ++i) {
    trace(ctx, "%d\n", static_cast<int>(shared->semids[i]));
    slos_error scratch{};
    uint32_t magic = 0;
    if (!sskgpgetval(&scratch, shared->semids[i], kMagicSem, kMagicBits, shared->bits_per_sem,
                     &magic) ||
        magic != shared->magic)
      ok = false;
  }
  fflush(nullptr);
  if (FILE *p = popen(kIpcs, "r")) {
    trace(ctx, "-------------- system semaphore information -------------\n");
    char line[kPipeChunk];
    while (fgets(line, sizeof line, p) != nullptr) trace(ctx, "%s", line);
    pclose(p);
  }
  if (!ok) trace(ctx, "Semaphore chains possibly corrupted. \n");
  return 1;
}

}  // namespace

extern "C" int sskgpdmpinfo(slos_error *err, skgp_ctx *ctx, const skgpw_shared_ctx *shared,
                            const skgpw_wid *wid, int mode) {
  if (mode == 1) return dump_area(ctx, shared);
  trace(ctx, "Semaphores:\nID\t\tKEY\n");
  if (wid == nullptr) return 0;
  int32_t keys[SKGPW_NKEYS];
  uint32_t magic = 0;
  uint32_t bps = 0;
  if (!sskgpwidtokeys(err, wid, keys, &magic, &bps)) return 0;
  bool ok = true;
  bool any = false;
  for (int i = 0; i < SKGPW_NKEYS; ++i) {
    slos_error scratch{};
    if (walk_chain(&scratch, keys[i], magic, bps, [&](int semid, int32_t key) {
          trace(ctx, "%-8d\t0x%08x\n", semid, static_cast<unsigned>(key));
          any = true;
        }) < 0)
      ok = false;
  }
  if (!any) trace(ctx, "No semaphore resources used\n");
  if (!ok) trace(ctx, "Semaphore chains possibly corrupted. \n");
  return 1;
}

extern "C" int sskgpwcall(int32_t pid) {
  return kill(static_cast<pid_t>(pid), SIGUSR2) == 0 ? 0 : errno;
}
