// NUMA placement over the locality-group library. The environment and the
// loading of the library are the OS part (sosd/sskgsn.cpp); here the groups
// are counted and mapped through the library's entry points.
//
// Invariant: a context with magic SKGSN_MAGIC has isize_skgsnsctx <
// SKGSNMAXPG, and its first isize_skgsnsctx map entries are the leaves found
// by the first successful count (entry 0 stays 0 for a single group).
#include "skgsn.h"

#include <assert.h>
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include <algorithm>

#include "lst.h"
#include "sskgsn.h"

namespace {

constexpr int kMaxGroups = SKGSNMAXPG - 1;
constexpr unsigned kMaxChildren = 128;
constexpr uint32_t kGuard = 0x5A5A5A5Au;

// The simulated home group + 1; 0 until chosen.
uint16_t g_sim_home;

void clear_err(slos_error *err) {
  err->code = 0;
  err->other[0] = '\0';
}

bool disabled() { return sskgsndisabled() != 0; }
const char *simulated() { return sskgsnsimulated(); }

// SIM_NUMA's number as 16 bits; 0 for text that is not a number.
uint16_t sim_count(const char *text) {
  char *end;
  long n = strtol(text, &end, 10);
  if (end == text) return 0;
  return static_cast<uint16_t>(n);
}

void fail(slos_error *err, const char *call, const char *loc) {
  slosFillErr(err, SKGSN_ERR, errno, call, loc);
}

// The leaves below id, depth first; writes at most cap ids from *pos on.
// The number of leaves found (written or not), or -1.
int traverse(slos_error *err, lgrp_cookie_t cookie, lgrp_id_t id, uint32_t *arr, int cap,
             int *pos, int depth) {
  lgrp_id_t kids[kMaxChildren];
  int n = SKGSN_lgrp_children(cookie, id, kids, kMaxChildren);
  if (n < 0) {
    fail(err, "lgrp_children", "skgsnlgrptree1");
    return -1;
  }
  if (n > 0) {
    // A tree deeper than the groups it may hold loops back on itself.
    if (depth >= SKGSNMAXPG) return 0;
    int sum = 0;
    for (int i = 0; i < std::min<int>(n, kMaxChildren); ++i) {
      int r = traverse(err, cookie, kids[i], arr, cap, pos, depth + 1);
      if (r < 0) return -1;
      sum += r;
    }
    return sum;
  }
  int cpus = SKGSN_lgrp_cpus(cookie, id, nullptr, 0, LGRP_CONTENT_DIRECT);
  if (cpus < 0) {
    fail(err, "lgrp_cpus", "skgsnlgrptree2");
    return -1;
  }
  lgrp_mem_size_t mem = SKGSN_lgrp_mem_size(cookie, id, LGRP_MEM_SZ_INSTALLED, LGRP_CONTENT_DIRECT);
  if (mem < 0) {
    fail(err, "lgrp_mem_size", "skgsnlgrptree2");
    return -1;
  }
  if (cpus == 0 || mem == 0) return 0;
  if (*pos < cap) arr[(*pos)++] = static_cast<uint32_t>(id);
  return 1;
}

}  // namespace

extern "C" int skgsninit(slos_error *err, skgsnsctx *ctx, const skgsn_tracefn *cbtab,
                         void *cbctx) {
  (void)err;
  memset(static_cast<void *>(ctx), 0, sizeof *ctx);
  ctx->cbtab = cbtab;
  ctx->cbctx = cbctx;
  ctx->magic = SKGSN_MAGIC;
  return 1;
}

extern "C" int skgsnchkctx(slos_error *err, const skgsnsctx *ctx) {
  if (ctx != nullptr && ctx->magic == SKGSN_MAGIC) return 1;
  slosFillInt(err, "skgsnchkctx1");
  return 0;
}

extern "C" int skgsn_load_lgrp_library(slos_error *err, const skgsnsctx *ctx) {
  if (SKGSN_lgrp_version != nullptr) return 1;
  if (!sskgsnload(ctx)) return 0;
  if (SKGSN_lgrp_version(LGRP_VER_CURRENT) != LGRP_VER_CURRENT) {
    fail(err, "lgrp_version", "skgsnqnuma1");
    return 0;
  }
  return 1;
}

extern "C" int skgsnqnuma(slos_error *err, skgsnsctx *ctx) {
  clear_err(err);
  if (disabled()) return 0;
  if (const char *sim = simulated(); sim != nullptr && sim_count(sim) != 0) return 1;
  if (ctx != nullptr && !skgsnchkctx(err, ctx)) return 0;
  return skgsn_load_lgrp_library(err, ctx) && skgsnisize(err, ctx) > 1;
}

extern "C" int skgsnisize(slos_error *err, skgsnsctx *ctx) {
  clear_err(err);
  if (disabled()) return 1;
  if (const char *sim = simulated()) return sim_count(sim);
  if (ctx != nullptr) {
    if (!skgsnchkctx(err, ctx)) return 0;
    if (ctx->isize_skgsnsctx != 0) return ctx->isize_skgsnsctx;
  }
  if (!skgsn_load_lgrp_library(err, ctx)) return 1;
  lgrp_cookie_t cookie = SKGSN_lgrp_init(LGRP_VIEW_CALLER);
  if (cookie == 0) {
    fail(err, "lgrp_init", "skgsnisize1");
    return 0;
  }
  int n = SKGSN_lgrp_nlgrps(cookie);
  if (n < 1) {
    fail(err, "lgrp_nlgrps", "skgsnisize2");
    SKGSN_lgrp_fini(cookie);
    return 0;
  }
  int count = 1;
  if (n > 1) {
    uint32_t *arr = static_cast<uint32_t *>(malloc((static_cast<size_t>(n) + 1) * sizeof *arr));
    if (arr == nullptr) {
      fail(err, "malloc", "skgsnisize3");
      SKGSN_lgrp_fini(cookie);
      return 0;
    }
    arr[n] = kGuard;
    lgrp_id_t root = SKGSN_lgrp_root(cookie);
    int written = 0;
    if (root < 0) {
      fail(err, "lgrp_root", "skgsnisize4");
      SKGSN_lgrp_fini(cookie);
      free(arr);
      return 0;
    }
    if (traverse(err, cookie, root, arr, n, &written, 0) < 0) {
      SKGSN_lgrp_fini(cookie);
      free(arr);
      return 0;
    }
    assert(arr[n] == kGuard);
    // More leaves than groups can be used: the first 127 found.
    count = std::min(written, kMaxGroups);
    if (ctx != nullptr)
      for (int i = 0; i < count; ++i) ctx->map[i] = arr[i];
    free(arr);
  }
  if (SKGSN_lgrp_fini(cookie) != 0) {
    fail(err, "lgrp_fini", "skgsnisize3");
    return 0;
  }
  if (ctx != nullptr) ctx->isize_skgsnsctx = static_cast<uint16_t>(count);
  return count;
}

extern "C" int skgsnmypg(slos_error *err, skgsnsctx *ctx) {
  clear_err(err);
  if (disabled()) return 0;
  if (const char *sim = simulated()) {
    uint16_t n = sim_count(sim);
    if (n == 0) return 0;  // no groups to choose from
    if (g_sim_home == 0) {
      uint32_t product = static_cast<uint32_t>(rand()) * 1000u;
      g_sim_home = static_cast<uint16_t>(product % n + 1);
    }
    return g_sim_home - 1;
  }
  if (!skgsnchkctx(err, ctx)) return 0;
  if (ctx->isize_skgsnsctx == 0 && skgsnisize(err, ctx) == 0) return 0;
  if (!skgsn_load_lgrp_library(err, ctx)) return 0;
  lgrp_cookie_t cookie = SKGSN_lgrp_init(LGRP_VIEW_CALLER);
  if (cookie == 0) {
    fail(err, "lgrp_init", "skgsnmypg1");
    return 0;
  }
  lgrp_id_t home = SKGSN_lgrp_home(P_LWPID, P_MYID);
  if (home < 0) {
    fail(err, "lgrp_home", "skgsnmypg2");
    SKGSN_lgrp_fini(cookie);
    return 0;
  }
  if (SKGSN_lgrp_fini(cookie) != 0) {
    fail(err, "lgrp_fini", "skgsnmypg3");
    return 0;
  }
  skgsnospg id{home};
  return skgsnospg_to_skgsnpg(ctx, id);
}

extern "C" void skgsnpg_to_skgsnospg(const skgsnsctx *ctx, int pg, skgsnospg *out) {
  if (disabled() || simulated() != nullptr) {
    out->id = pg;
    return;
  }
  assert(ctx != nullptr && ctx->magic == SKGSN_MAGIC);
  assert(pg >= 0 && pg < ctx->isize_skgsnsctx);
  out->id = static_cast<int32_t>(ctx->map[pg]);
}

extern "C" int skgsnospg_to_skgsnpg(const skgsnsctx *ctx, skgsnospg id) {
  if (disabled()) return 0;
  if (simulated() != nullptr) return static_cast<uint16_t>(id.id);
  assert(ctx != nullptr && ctx->magic == SKGSN_MAGIC);
  for (int i = 0; i < ctx->isize_skgsnsctx; ++i)
    if (ctx->map[i] == static_cast<uint32_t>(id.id)) return i;
  // An id that is not a processor group (no processors or no memory of its
  // own) belongs to none: group 0.
  return 0;
}

extern "C" int skgsnomap(slos_error *err, skgsnsctx *ctx, int pg, void *ignored,
                         skgsnospg *out) {
  (void)ignored;
  if (ctx->isize_skgsnsctx == 0 && skgsnisize(err, ctx) == 0) return 0;
  skgsnpg_to_skgsnospg(ctx, pg, out);
  return 1;
}

extern "C" int skgsnunmap(void *ignored1, void *ignored2, unsigned pg, unsigned proc,
                          char *buf) {
  (void)ignored1;
  (void)ignored2;
  lstprintf(buf, SKGSN_UNMAP_LEN, "PG: %u PROC: %u\n", static_cast<unsigned>(static_cast<uint16_t>(pg)),
            static_cast<unsigned>(static_cast<uint16_t>(proc)));
  return 1;
}

extern "C" int skgsnmeproc(void) { return 0; }

extern "C" int skgsnenvoff(void) { return disabled() || simulated() != nullptr; }
