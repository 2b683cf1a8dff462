// The realm service's Solaris layer: set-up, segments, the stable-address map
// and the hooks.
//
// Invariants: the private list holds each id once, newest first; a bit of the
// stable-address map is set only while some attach of this process made with
// this context covers part of its unit.
#include <assert.h>
#include <errno.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/ipc.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/shm.h>
#include <sys/stat.h>
#include <unistd.h>

#include "ism.h"
#include "skgm.h"
#include "sskgm.h"

namespace {

constexpr uint32_t kAcceptedAreaFlags = SKGM_AF_ALL;
constexpr uint32_t kAcceptedRealmFlags = SKGM_RF_ALL;
constexpr rlim_t kStackCap = 0x10000000;       // deepest stack the guard assumes
constexpr rlim_t kStackReserve = 0x80000;      // kept free below the guard
constexpr uint32_t kModeBase = 0x1B0;          // rw for owner and group
constexpr mode_t kUmaskProbe = 0x1FF;
constexpr int kCreateFlags = IPC_CREAT | IPC_EXCL;
constexpr uint64_t kProbeSizes[] = {0x400000, 0x800000, 0x1000000, 0x2000000, 0x4000000};

uint32_t g_subareasz = SKGM_SUBAREA_DEFAULT;
sskgm_privseg *g_priv = nullptr;
int32_t g_privid = 0;

void *const kShmFailed = reinterpret_cast<void *>(-1);

sskgm_privseg *priv_byid(int32_t id) {
  for (sskgm_privseg *p = g_priv; p != nullptr; p = p->next)
    if (p->id == id) return p;
  return nullptr;
}

sskgm_privseg *priv_bykey(int32_t key) {
  for (sskgm_privseg *p = g_priv; p != nullptr; p = p->next)
    if (p->key == key && !p->removed) return p;
  return nullptr;
}

void priv_free(sskgm_privseg *seg) {
  for (sskgm_privseg **pp = &g_priv; *pp != nullptr; pp = &(*pp)->next)
    if (*pp == seg) {
      *pp = seg->next;
      break;
    }
  free(seg->mem);
  free(seg);
}

// Addresses of a local in this frame (outer) and in one nested frame (inner).
__attribute__((noinline)) void stack_probe(uintptr_t *outer, uintptr_t *inner, int depth) {
  volatile char here = 0;
  *(depth == 0 ? outer : inner) = reinterpret_cast<uintptr_t>(&here);
  if (depth == 0) stack_probe(outer, inner, 1);
  (void)here;  // keeps this frame alive across the nested call (no tail call)
}

// v rounded up to a multiple of unit (not 0).
uintptr_t round_up(uintptr_t v, uint32_t unit) {
  assert(unit != 0);
  return (v + unit - 1) / unit * unit;
}

bool any_area_flag(const skgm_realm *h, uint32_t flag) {
  for (uint32_t i = 0; i < h->hdr.nareas; i++)
    if (h->areas[i].area.flags & flag) return true;
  return false;
}

void mark(skgm_ctx *ctx, uintptr_t addr, uint64_t len, bool set) {
  const uint64_t base = sskgm_window_base();
  const uint64_t end = base + SKGM_WINDOW_LEN;
  const uint64_t lo = addr, hi = static_cast<uint64_t>(addr) + len;
  if (len == 0 || hi <= base || lo >= end) return;
  const uint64_t first = ((lo > base ? lo : base) - base) / SKGM_UNIT;
  const uint64_t last = ((hi < end ? hi : end) - 1 - base) / SKGM_UNIT;
  for (uint64_t u = first; u <= last; u++) {
    const uint32_t bit = 1u << (31 - u % 32);
    if (set)
      ctx->usedmap[u / 32] |= bit;
    else
      ctx->usedmap[u / 32] &= ~bit;
  }
}

bool unit_used(const skgm_ctx *ctx, uint32_t u) {
  return (ctx->usedmap[u / 32] >> (31 - u % 32)) & 1u;
}

}  // namespace

extern "C" void sskgm_trace_err(sl_status *err, const skgm_ctx *ctx, int32_t code, int32_t oserr,
                                long i1, long i2, long i3, long i4) {
  sskgm_seterr(err, code, oserr);
  if (ctx != nullptr && ctx->ops != nullptr && ctx->ops->trace != nullptr)
    ctx->ops->trace(ctx->osdctx, "skgm error %d: errno = %d, info = %ld, %ld, %ld, %ld\n", code,
                    oserr, i1, i2, i3, i4);
}

extern "C" uintptr_t sskgm_window_base(void) { return static_cast<uintptr_t>(QEN_STABLE_BASE); }

extern "C" int sskgminit(sl_status *err, skgm_ctx *ctx) {
  ctx->areaflags = kAcceptedAreaFlags;
  ctx->realmflags = kAcceptedRealmFlags;
  errno = 0;
  const long page = sysconf(_SC_PAGESIZE);
  if (page <= 0) {
    sskgm_trace_err(err, ctx, SKGM_ERR_SYSQUERY, errno, 1, 0, 0, 0);
    return 0;
  }
  ctx->mapsize = ctx->protectsize = ctx->seglen = static_cast<uint32_t>(page);
  ctx->largestsize = SKGM_LARGEST;
  ctx->smallestsize = SKGM_SMALLEST;
  ctx->maxtotal = SKGM_LARGEST;
  g_subareasz = SKGM_SUBAREA_DEFAULT;
  memset(ctx->usedmap, 0, sizeof ctx->usedmap);

  uintptr_t outer = 0, inner = 0;
  stack_probe(&outer, &inner, 0);
  ctx->stackdir = inner < outer ? -1 : 1;

  struct rlimit rl;
  if (getrlimit(RLIMIT_STACK, &rl) != 0) {
    sskgm_trace_err(err, ctx, SKGM_ERR_SYSQUERY, errno, 2, 0, 0, 0);
    return 0;
  }
  rlim_t depth = rl.rlim_cur;
  if (depth == RLIM_INFINITY || depth > kStackCap) depth = kStackCap;
  depth = depth > kStackReserve ? depth - kStackReserve : 0;
  ctx->stacklimit = ctx->stackdir > 0 ? outer + depth : outer - depth;

  const mode_t mask = umask(kUmaskProbe);
  umask(mask);
  ctx->mode = kModeBase & ~static_cast<uint32_t>(mask);
  ctx->sharedmmu = 0;
  ctx->shareddec = 0;
  return 1;
}

extern "C" void sskgmsetopenv(sl_status *, skgm_ctx *ctx, uint32_t bits, int op) {
  if (ctx == nullptr) return;
  if (op == SKGM_OPENV_SET)
    ctx->openenv |= bits;
  else if (op == SKGM_OPENV_CLEAR)
    ctx->openenv &= ~bits;
}

extern "C" int sskgmgetopenv(sl_status *, const skgm_ctx *ctx, uint32_t bits) {
  return ctx != nullptr && (ctx->openenv & bits) != 0;
}

extern "C" uint32_t sskgmqsubareasz(void) { return g_subareasz; }
extern "C" void sskgmsetsubareasz(uint32_t size) { g_subareasz = size; }
extern "C" uint32_t sskgmqsubareasz_min(void) { return SKGM_SUBAREA_MIN; }
extern "C" uint32_t sskgmqsubareasz_max(void) { return SKGM_SUBAREA_MAX; }

extern "C" int sskgmget(sl_status *err, skgm_ctx *ctx, int32_t key, int create, uint64_t size,
                        const skgm_area *area, int *oserr, int priv) {
  if (priv) {
    if (create || key == 0) {
      if (key != 0 && priv_bykey(key) != nullptr) {
        *oserr = EEXIST;
        sskgm_seterr(err, SKGM_ERR_GET, EEXIST);
        return -1;
      }
      const uint64_t total = size + ctx->protectsize;
      void *mem = total < size || total > SIZE_MAX ? nullptr : calloc(1, static_cast<size_t>(total));
      auto *seg = mem != nullptr ? static_cast<sskgm_privseg *>(calloc(1, sizeof(sskgm_privseg)))
                                 : nullptr;
      if (seg == nullptr) {
        free(mem);
        *oserr = ENOMEM;
        sskgm_seterr(err, SKGM_ERR_GET, ENOMEM);
        return -1;
      }
      seg->key = key;
      seg->mem = mem;
      seg->addr = round_up(reinterpret_cast<uintptr_t>(mem), ctx->protectsize);
      seg->id = ++g_privid;
      seg->size = static_cast<size_t>(size);
      seg->next = g_priv;
      g_priv = seg;
      return seg->id;
    }
    const sskgm_privseg *seg = priv_bykey(key);
    const int e = seg == nullptr ? ENOENT : (size != 0 && size > seg->size ? EINVAL : 0);
    if (e != 0) {
      *oserr = e;
      sskgm_seterr(err, SKGM_ERR_GET, e);
      return -1;
    }
    return seg->id;
  }

  const int id = create ? qen_shmget(key, static_cast<size_t>(size),
                                     static_cast<int>(ctx->mode) | kCreateFlags)
                        : qen_shmget(key, 0, 0);
  if (id < 0) {
    *oserr = errno;
    sskgm_seterr(err, SKGM_ERR_GET, errno);
    return -1;
  }
  if (area != nullptr && (area->flags & SKGM_AF_LOCK)) {
    if (shmctl(id, SHM_LOCK, nullptr) != 0) {
      const int e = errno;
      sskgm_trace_err(err, ctx, SKGM_ERR_LOCK, e, 1, 0, 0, 0);
      shmctl(id, IPC_RMID, nullptr);
      *oserr = e;
      return -1;
    }
  }
  return id;
}

extern "C" int sskgmat(sl_status *err, skgm_ctx *ctx, int32_t id, uint64_t size, uintptr_t addr,
                       const skgm_area *area, uintptr_t *actual, int priv) {
  if (priv) {
    sskgm_privseg *seg = priv_byid(id);
    if (seg == nullptr) {
      sskgm_trace_err(err, ctx, SKGM_ERR_ATTACH, EINVAL, 4, id, 0, 0);
      return 0;
    }
    *actual = seg->addr;
    seg->attached++;
    return 1;
  }
  const uint32_t af = area != nullptr ? area->flags : 0;
  int flags = 0;
  void *at = kShmFailed;
  const void *want = reinterpret_cast<const void *>(addr);
  if (af & SKGM_AF_RDONLY) {
    sskgmsetopenv(err, ctx, SKGM_OE_RDONLY, SKGM_OPENV_SET);
    flags |= QEN_SHM_RDONLY;
  }
  if (af & SKGM_AF_INTIMATE) {
    if (sskgmgetopenv(err, ctx, SKGM_OE_DISM) || (af & SKGM_AF_DISM)) {
      if (af & SKGM_AF_DISM) sskgmsetopenv(err, ctx, SKGM_OE_DISM, SKGM_OPENV_SET);
      at = qen_shmat(id, want, flags | QEN_SHM_PAGEABLE);
    } else {
      sskgmsetopenv(err, ctx, SKGM_OE_ISM, SKGM_OPENV_SET);
      at = qen_shmat(id, want, flags | QEN_SHM_SHARE_MMU);
      if (at == kShmFailed) {
        at = qen_shmat(id, want, flags);
        if (at != kShmFailed && sskgmgetopenv(err, ctx, SKGM_OE_WARNFALLBACK) &&
            !sskgmgetopenv(err, ctx, SKGM_OE_FALLBACKWARNED)) {
          if (ctx->ops != nullptr && ctx->ops->warning != nullptr)
            ctx->ops->warning(ctx->osdctx,
                              "WARNING: Not enough physical memory for SHM_SHARE_MMU segment of "
                              "size 0x%08lx%08lx [flag=0x%x]\n",
                              static_cast<unsigned long>(sskgm_hi(size)),
                              static_cast<unsigned long>(sskgm_lo(size)), QEN_SHM_SHARE_MMU);
          sskgmsetopenv(err, ctx, SKGM_OE_FALLBACKWARNED, SKGM_OPENV_SET);
        }
      }
    }
  } else {
    at = qen_shmat(id, want, flags);
  }
  if (at == kShmFailed) {
    const int e = errno;
    if (e == ENOMEM || e == EINVAL) {
      sskgm_seterr(err, e == ENOMEM ? SKGM_ERR_NOMEM : SKGM_ERR_ATTACH, e);
      err->detail[0] = 1;
      err->detail[1] = id;
    } else {
      sskgm_trace_err(err, ctx, SKGM_ERR_ATTACH, e, 1, id, 0, 0);
    }
    return 0;
  }
  if (addr != 0 && at != want) {
    const int e = errno;
    shmdt(at);
    sskgm_trace_err(err, ctx, SKGM_ERR_ATTACH, e, 2, id, 0, 0);
    return 0;
  }
  *actual = reinterpret_cast<uintptr_t>(at);
  sskgmblock(ctx, *actual, size);
  return 1;
}

extern "C" int sskgmdt(sl_status *err, skgm_ctx *ctx, int32_t id, uint64_t size,
                       const skgm_area *, uintptr_t *actual, int priv) {
  if (priv) {
    // As shmdt of an address with nothing attached: a segment this process
    // has not attached is no success.
    sskgm_privseg *seg = priv_byid(id);
    if (seg == nullptr || seg->attached == 0) {
      sskgm_trace_err(err, ctx, SKGM_ERR_DETACH, EINVAL, 1, id, 0, 0);
      return 0;
    }
    if (--seg->attached == 0 && seg->removed) priv_free(seg);
    return 1;
  }
  if (shmdt(reinterpret_cast<void *>(*actual)) != 0) {
    sskgm_trace_err(err, ctx, SKGM_ERR_DETACH, errno, 1, id, 0, 0);
    return 0;
  }
  sskgmunblock(ctx, *actual, size);
  return 1;
}

extern "C" int sskgmrm(sl_status *err, skgm_ctx *ctx, int32_t id, const skgm_area *, int priv) {
  if (priv) {
    sskgm_privseg *seg = priv_byid(id);
    if (seg == nullptr || seg->removed) {
      sskgm_trace_err(err, ctx, SKGM_ERR_RM, 0, 1, id, 0, 0);
      return 0;
    }
    if (seg->attached > 0)
      seg->removed = 1;
    else
      priv_free(seg);
    return 1;
  }
  if (shmctl(id, IPC_RMID, nullptr) != 0) {
    sskgm_trace_err(err, ctx, SKGM_ERR_RM, errno, 1, id, 0, 0);
    return 0;
  }
  return 1;
}

extern "C" int sskgmstat(sl_status *err, skgm_ctx *ctx, int32_t id, uint64_t *value, int what,
                         int priv) {
  if (priv) {
    const sskgm_privseg *seg = priv_byid(id);
    if (seg == nullptr) {
      sskgm_trace_err(err, ctx, SKGM_ERR_STAT, EINVAL, 2, id, 0, 0);
      return 0;
    }
    *value = what == SKGM_STAT_SIZE ? seg->size : seg->attached;
    return 1;
  }
  struct shmid_ds ds;
  if (shmctl(id, IPC_STAT, &ds) != 0) {
    sskgm_trace_err(err, ctx, SKGM_ERR_STAT, errno, 1, id, 0, 0);
    return 0;
  }
  *value = what == SKGM_STAT_SIZE ? ds.shm_segsz : ds.shm_nattch;
  return 1;
}

extern "C" int sskgmprotect(sl_status *err, skgm_ctx *ctx, uint32_t areaflags, uintptr_t addr,
                            size_t len, uint32_t prot, int intimate, uint32_t *newprot) {
  if (prot > SKGM_PROT_RW) prot = SKGM_PROT_RW;
  if (((areaflags & SKGM_AF_INTIMATE) != 0) != (intimate != 0)) {
    *newprot = SKGM_PROT_RW;
    return 1;
  }
  const int p = (prot & SKGM_PROT_READ ? PROT_READ : 0) | (prot & SKGM_PROT_WRITE ? PROT_WRITE : 0);
  if (mprotect(reinterpret_cast<void *>(addr), len, p) != 0) {
    sskgm_trace_err(err, ctx, SKGM_ERR_PROTECT, errno, static_cast<long>(1),
                   static_cast<long>(len), static_cast<long>(prot), 0);
    return 0;
  }
  *newprot = prot;
  return 1;
}

extern "C" int sskgmflags(sl_status *, skgm_ctx *ctx, uintptr_t addr, size_t,
                          uint32_t *flags) {
  if (ctx->sharedmmu != 0) {
    for (const skgm_realm *h = ctx->handles; h != nullptr; h = h->next)
      for (uint32_t i = 0; !h->concealed && i < h->hdr.nsub; i++)
        if (addr >= h->addrs[i] && addr - h->addrs[i] < h->subs[i].size) return 0;
  }
  *flags = 0;
  return 1;
}

extern "C" int sskgmqstable(sl_status *err, skgm_ctx *ctx, uint64_t size, uint32_t,
                            uintptr_t *addr, int priv) {
  if (priv) {
    *addr = 0;
    return 1;
  }
  const uint64_t b = size / SKGM_UNIT;
  const uint32_t n = SKGM_MAPBITS;
  if (b + 1 <= n) {
    const uint32_t top = static_cast<uint32_t>(n - b - 1);  // last start that fits
    uint32_t i = 0;
    for (uint32_t u = 0; u <= top; u++)
      if (unit_used(ctx, u)) {
        i = u;
        break;
      }
    auto scan = [&](uint32_t from, uint32_t to) -> bool {  // starts from..to inclusive
      for (uint32_t f = from; f <= to;) {
        uint32_t k = f;
        while (k <= f + b && !unit_used(ctx, k)) k++;
        if (k > f + b) {
          *addr = static_cast<uintptr_t>(sskgm_window_base() + f * SKGM_UNIT);
          return true;
        }
        f = k + 1;
      }
      return false;
    };
    if (scan(i, top)) return 1;
    if (i > b && scan(0, static_cast<uint32_t>(i - b - 1))) return 1;
  }
  sskgm_trace_err(err, ctx, SKGM_ERR_ATTACH, 0, 4, static_cast<long>(b), 0, 0);
  return 0;
}

extern "C" void sskgmblock(skgm_ctx *ctx, uintptr_t addr, uint64_t len) { mark(ctx, addr, len, true); }
extern "C" void sskgmunblock(skgm_ctx *ctx, uintptr_t addr, uint64_t len) {
  mark(ctx, addr, len, false);
}

extern "C" void sskgmdism_preprocess(skgm_ctx *ctx, uint32_t nareas, skgm_area *areas) {
  int id = -1;
  for (uint64_t s : kProbeSizes) {
    id = qen_shmget(IPC_PRIVATE, static_cast<size_t>(s), static_cast<int>(ctx->mode));
    if (id >= 0) break;
  }
  if (id < 0) return;
  void *at = qen_shmat(id, nullptr, QEN_SHM_SHARE_MMU | QEN_SHM_PAGEABLE);
  if (at != kShmFailed) {
    for (uint32_t i = 0; i < nareas; i++) areas[i].dynsize = 0;
    shmdt(at);
  }
  shmctl(id, IPC_RMID, nullptr);
}

extern "C" int sskgmcrealm(sl_status *err, skgm_ctx *ctx, int event, int ok,
                           const skgm_realmdesc *, uint32_t nareas, skgm_area *areas,
                           skgm_realm *handle) {
  switch (event) {
    case SKGM_EV_PREATTACH:
      sskgmsetopenv(err, ctx, SKGM_OE_HOOKMASK, SKGM_OPENV_CLEAR);
      break;
    case SKGM_EV_POSTATTACH:
      if (ok && handle != nullptr && any_area_flag(handle, SKGM_AF_INTIMATE)) ctx->sharedmmu++;
      break;
    case SKGM_EV_PREDETACH:
      ctx->shareddec = handle != nullptr && any_area_flag(handle, SKGM_AF_INTIMATE) ? 1 : 0;
      break;
    case SKGM_EV_POSTDETACH:
      if (ok && ctx->shareddec && ctx->sharedmmu > 0) ctx->sharedmmu--;
      sskgmsetopenv(err, ctx, SKGM_OE_HOOKMASK, SKGM_OPENV_CLEAR);
      break;
    case SKGM_EV_PRECREATE:
      sskgmsetopenv(err, ctx, SKGM_OE_HOOKMASK, SKGM_OPENV_CLEAR);
      if (nareas > 0 && (areas[0].flags & SKGM_AF_INTIMATE)) {
        sskgmdism_preprocess(ctx, nareas, areas);
        for (uint32_t i = 0; i < nareas; i++)
          if (areas[i].dynsize != 0) {
            sskgmsetopenv(err, ctx, SKGM_OE_DISM, SKGM_OPENV_SET);
            break;
          }
      }
      break;
    case SKGM_EV_POSTCREATE:
      if (handle != nullptr && sskgmgetopenv(err, ctx, SKGM_OE_DISM)) {
        for (uint32_t i = 0; i < handle->hdr.nareas; i++)
          if (handle->areas[i].area.dynsize != 0) {
            handle->areas[handle->hdr.nareas - 1].area.flags |= SKGM_AF_DISM;
            break;
          }
      }
      if (ok && handle != nullptr && any_area_flag(handle, SKGM_AF_INTIMATE)) ctx->sharedmmu++;
      break;
    case SKGM_EV_POSTDESTROY:
      if (sskgmgetopenv(err, ctx, SKGM_OE_DISM)) {
        sl_status local{};
        sskgmdism_comm(&local, ctx, nullptr, SSKGM_OP_EXIT, 0, 0, 0, 0, 0, nullptr, 0);
      }
      sskgmsetopenv(err, ctx, SKGM_OE_HOOKMASK, SKGM_OPENV_CLEAR);
      break;
    default:
      break;
  }
  return 1;
}

extern "C" int sskgmdumprealm(void *, skgm_ctx *ctx, skgm_realm *handle, uint32_t flags) {
  if (ctx->ops == nullptr || ctx->ops->trace == nullptr) return 1;
  auto trace = ctx->ops->trace;
  void *o = ctx->osdctx;
  if (flags & SKGM_DUMP_SEGMENTS) {
    bool any = false;
    if (handle != nullptr && !handle->concealed) {
      const bool priv = (handle->hdr.realm.flags & SKGM_RF_PRIVATE) != 0;
      for (uint32_t i = 0; i < handle->hdr.nsub; i++) {
        if (!sskgm_segstart(handle, i)) continue;
        if (!any) trace(o, "Shared Memory:\nID\t\tKEY\n");
        any = true;
        char key[16] = "0x????????";
        struct shmid_ds ds;
        // A private segment has no System V key (its id is no System V id).
        if (!priv && shmctl(handle->subs[i].shmid, IPC_STAT, &ds) == 0)
          snprintf(key, sizeof key, "0x%08x", static_cast<unsigned>(ds.shm_perm.__key));
        trace(o, "%-8d\t%s\n", handle->subs[i].shmid, key);
      }
    }
    if (!any) trace(o, "No shared memory segments used\n");
    return 1;
  }
  trace(o, "Dump of Solaris-specific skgm context\nsharedmmu %08lx\nshareddec %8ld\n",
        static_cast<unsigned long>(ctx->sharedmmu), static_cast<long>(ctx->shareddec));
  int run = 0;
  for (uint32_t u = 0; u < SKGM_MAPBITS;) {
    if (!unit_used(ctx, u)) {
      u++;
      continue;
    }
    uint32_t end = u;
    while (end < SKGM_MAPBITS && unit_used(ctx, end)) end++;
    const uint64_t start = sskgm_window_base() + u * SKGM_UNIT;
    const uint64_t len = (end - u) * SKGM_UNIT;
    trace(o, "used region %8d: start %08lx%08lx length %08lx%08lx\n", run++,
          static_cast<unsigned long>(sskgm_hi(start)), static_cast<unsigned long>(sskgm_lo(start)),
          static_cast<unsigned long>(sskgm_hi(len)), static_cast<unsigned long>(sskgm_lo(len)));
    u = end;
  }
  return 1;
}
