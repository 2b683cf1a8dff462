// Realm creation: the area checks, the sort that brings areas of the same
// placement needs together, the grouping into segments, segment creation
// with its retries (dropping areas, then cutting one area into pieces), the
// header written into the primary segment, and destruction.
//
// Invariants: the segment records of one creation are listed newest first
// (next) and oldest first (prev); exactly one of them, the primary, holds the
// overhead area (its end is the item count). The subareas of a segment fill it
// in order from its start, sized by one rule (part_bytes) both when the
// segment is sized and when the header is written.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "skgm.h"
#include "skgm_int.h"
#include "sskgm.h"

namespace {

constexpr char kOverheadName[] = "skgm overhead";
constexpr uint32_t kOverheadBase = SKGM_AF_ONESEG;

// Area errors of SKGMBADAREA (its first value).
enum {
  kBadFlags = 1, kBadFixed = 3, kBadAddress = 4, kBadSize = 5, kBadOwnersNoNuma = 6,
  kBadNumaNoOwners = 7, kBadOwner = 8, kBadOwnerTwice = 9, kBadOwnerTail = 10,
  kBadOverlap = 11, kBadMinsub = 12
};

struct skgm_segnode {
  int32_t basekey;
  int32_t key;
  int32_t shmid;
  uintptr_t *addrcell;
  uint64_t segsize;
  uint32_t first;
  uint64_t startoff;
  uint32_t end;
  uint64_t endoff;
  skgm_segnode *next;  // newer to older
  skgm_segnode *prev;  // older to newer
};

struct skgm_seglist {
  skgm_segnode *newest;
  skgm_segnode *oldest;
};

bool is_pow2(uint32_t v) { return v != 0 && (v & (v - 1)) == 0; }

uint64_t gap_to(uint64_t at, uint32_t minsub) {
  return minsub == 0 ? 0 : (~at + 1) & (minsub - 1);
}

// Bytes one part of an area takes in a segment whose running end is at.
uint64_t part_bytes(const skgm_ctx *ctx, const skgm_area *a, uint64_t bytes, uint64_t at) {
  if (a->minsub != 0) bytes = skgmround(bytes, a->minsub) + gap_to(at, a->minsub);
  return skgmround(bytes, ctx->protectsize);
}

void ownerset(const skgm_area *a, unsigned char set[SKGM_OWNERSET]) {
  memset(set, 0, SKGM_OWNERSET);
  const uint32_t n = a->nowners < SKGM_MAXOWNERS ? a->nowners : SKGM_MAXOWNERS;
  for (uint32_t i = 0; i < n; i++)
    if (a->owners[i] < SKGM_OWNERSET) set[a->owners[i]] = 1;
}

void bad_area(sl_status *err, const skgm_ctx *ctx, uint64_t n, uint64_t index, uint64_t v1 = 0,
              uint64_t v2 = 0) {
  skgm_invalid(err, ctx, SKGM_EN_BADAREA, n, index, v1, v2);
}


int ncompare(const skgm_area *a, const skgm_area *b) {
  unsigned char sa[SKGM_OWNERSET], sb[SKGM_OWNERSET];
  ownerset(a, sa);
  ownerset(b, sb);
  return memcmp(sa, sb, SKGM_OWNERSET);
}

// -1 when only a has the flag, 1 when only b has it, else 0.
int flag_first(const skgm_area *a, const skgm_area *b, uint32_t flag) {
  const bool fa = a->flags & flag, fb = b->flags & flag;
  return fa == fb ? 0 : (fa ? -1 : 1);
}

bool same_class(const skgm_area *a, const skgm_area *b) {
  constexpr uint32_t kClass = SKGM_AF_NUMA | SKGM_AF_LOCK | SKGM_AF_INTIMATE;
  if ((a->flags & kClass) != (b->flags & kClass)) return false;
  return !(a->flags & SKGM_AF_NUMA) || ncompare(a, b) == 0;
}

void push(skgm_seglist *list, skgm_segnode *n) {
  n->next = list->newest;
  n->prev = nullptr;
  if (list->newest != nullptr) list->newest->prev = n;
  list->newest = n;
  if (list->oldest == nullptr) list->oldest = n;
}

void free_list(skgm_seglist *list) {
  for (skgm_segnode *n = list->newest; n != nullptr;) {
    skgm_segnode *next = n->next;
    free(n->addrcell);
    free(n);
    n = next;
  }
  list->newest = list->oldest = nullptr;
}

// Deletes and detaches every segment made so far, newest first.
void undo_list(skgm_ctx *ctx, skgm_area **items, skgm_seglist *list, int priv) {
  for (skgm_segnode *n = list->newest; n != nullptr; n = n->next) {
    sl_status ignored{};
    sskgmrm(&ignored, ctx, n->shmid, items[n->first], priv);
    sskgmdt(&ignored, ctx, n->shmid, n->segsize, items[n->first], n->addrcell, priv);
  }
  free_list(list);
}

}  // namespace

static int skgmncompare(const skgm_area *a, const skgm_area *b) { return ncompare(a, b); }

// qsort order of pointers to areas: placement class, fixed areas by address,
// stable areas, unconstrained subareas, then larger first.
static int skgmsortareas(const void *pa, const void *pb) {
  const skgm_area *a = *static_cast<const skgm_area *const *>(pa);
  const skgm_area *b = *static_cast<const skgm_area *const *>(pb);
  int c = flag_first(a, b, SKGM_AF_NUMA);
  if (c != 0) return c;
  if ((a->flags & SKGM_AF_NUMA) && (c = skgmncompare(a, b)) != 0) return c;
  if ((c = flag_first(a, b, SKGM_AF_LOCK)) != 0) return c;
  if ((c = flag_first(a, b, SKGM_AF_INTIMATE)) != 0) return c;
  if ((c = flag_first(a, b, SKGM_AF_FIXED)) != 0) return c;
  if (a->flags & SKGM_AF_FIXED) return a->address < b->address ? -1 : a->address > b->address;
  if ((c = flag_first(a, b, SKGM_AF_STABLE)) != 0) return c;
  if ((a->minsub == 0) != (b->minsub == 0)) return a->minsub == 0 ? -1 : 1;
  return a->size > b->size ? -1 : a->size < b->size;
}

// qsort order of pointers to fixed areas: by address.
static int skgmfsortareas(const void *pa, const void *pb) {
  const skgm_area *a = *static_cast<const skgm_area *const *>(pa);
  const skgm_area *b = *static_cast<const skgm_area *const *>(pb);
  return a->address < b->address ? -1 : a->address > b->address;
}

extern "C" int skgmckareas(sl_status *err, skgm_ctx *ctx, uint32_t nareas, skgm_area *areas,
                           uint64_t *overhead) {
  uint64_t total = 0, nsub = 0;
  uint32_t nfixed = 0;
  const uint32_t subsz = sskgmqsubareasz();
  for (uint32_t i = 0; i < nareas; i++) {
    const skgm_area *a = &areas[i];
    const uint32_t f = a->flags;
    if (f & ~SKGM_AF_ALL) return bad_area(err, ctx, kBadFlags, i, f, SKGM_AF_ALL), 0;
    if ((f & SKGM_AF_FIXED) &&
        ((f & (SKGM_AF_ONESEG | SKGM_AF_STABLE)) != (SKGM_AF_ONESEG | SKGM_AF_STABLE) ||
         a->address == 0))
      return bad_area(err, ctx, kBadFixed, i, f), 0;
    if (a->address != 0 && !(f & SKGM_AF_FIXED)) return bad_area(err, ctx, kBadAddress, i, f), 0;
    if (a->size == 0) return bad_area(err, ctx, kBadSize, i), 0;
    if (a->minsub > subsz) return sskgm_seterr(err, SKGM_ERR_NOMEM, 0), 0;
    // The subarea arithmetic aligns with masks: a minimum subarea size is a
    // power of two.
    if (a->minsub > a->size || (a->minsub != 0 && !is_pow2(a->minsub)))
      return bad_area(err, ctx, kBadMinsub, i, a->minsub), 0;
    if ((f & SKGM_AF_NUMA) && a->nowners == 0) return bad_area(err, ctx, kBadNumaNoOwners, i), 0;
    if (!(f & SKGM_AF_NUMA) && a->nowners != 0) return bad_area(err, ctx, kBadOwnersNoNuma, i), 0;
    if (f & SKGM_AF_NUMA) {
      unsigned char seen[SKGM_OWNERSET] = {0};
      // Owner sets hold owners 0..31: a larger number, or more owners than
      // the slots hold, is refused like an owner the machine lacks.
      if (a->nowners > SKGM_MAXOWNERS) return bad_area(err, ctx, kBadOwner, i, SKGM_MAXOWNERS, 0), 0;
      for (uint32_t k = 0; k < a->nowners; k++) {
        const uint32_t o = a->owners[k];
        slos_error se{};
        const int groups = skgsnisize(&se, &ctx->numa);
        if (groups == 0 || o >= static_cast<uint32_t>(groups) || o >= SKGM_OWNERSET)
          return bad_area(err, ctx, kBadOwner, i, k, o), 0;
        if (seen[o]) return bad_area(err, ctx, kBadOwnerTwice, i, k, o), 0;
        seen[o] = 1;
      }
      for (uint32_t k = a->nowners; k < SKGM_OWNERSET; k++)
        if (a->owners[k] != 0) return bad_area(err, ctx, kBadOwnerTail, i, k), 0;
    }
    uint64_t bytes, subs;
    if (f & SKGM_AF_ONESEG) {
      bytes = skgmround(a->size, ctx->protectsize);
      subs = 1;
    } else {
      const uint64_t unit = a->minsub == 0 || a->minsub < ctx->smallestsize
                                ? ctx->smallestsize
                                : skgmround(a->minsub, ctx->protectsize);
      const uint64_t d = a->minsub == 0 ? unit : unit / a->minsub * a->minsub;
      subs = a->size / d + 1;
      bytes = subs > ctx->maxtotal / unit ? ctx->maxtotal + 1 : subs * unit;
    }
    if (bytes > ctx->maxtotal) return sskgm_seterr(err, SKGM_ERR_NOMEM, 0), 0;
    nsub += subs;
    if (nsub > UINT32_MAX) return sskgm_seterr(err, SKGM_ERR_NOMEM, 0), 0;
    total += bytes;
    if (total > ctx->maxtotal) return sskgm_seterr(err, SKGM_ERR_NOMEM, 0), 0;
    if (f & SKGM_AF_FIXED) nfixed++;
  }
  if (nfixed >= 2) {
    auto **fixed = static_cast<skgm_area **>(calloc(nfixed, sizeof(skgm_area *)));
    if (fixed == nullptr) return sskgm_seterr(err, SKGM_ERR_NOMEM, ENOMEM), 0;
    uint32_t n = 0;
    for (uint32_t i = 0; i < nareas; i++)
      if (areas[i].flags & SKGM_AF_FIXED) fixed[n++] = &areas[i];
    qsort(fixed, n, sizeof *fixed, skgmfsortareas);
    for (uint32_t k = 0; k + 1 < n; k++)
      if (fixed[k]->address + fixed[k]->size > fixed[k + 1]->address) {
        const uint64_t i1 = static_cast<uint64_t>(fixed[k] - areas);
        const uint64_t i2 = static_cast<uint64_t>(fixed[k + 1] - areas);
        free(fixed);
        return bad_area(err, ctx, kBadOverlap, i1, i2), 0;
      }
    free(fixed);
  }
  *overhead = skgmround(sizeof(skgm_header) + sizeof(skgm_areaent) * (uint64_t{nareas} + 1) +
                            sizeof(skgm_subarea) * (nsub + 1),
                        ctx->protectsize);
  if (total + *overhead > ctx->maxtotal) return sskgm_seterr(err, SKGM_ERR_NOMEM, 0), 0;
  return 1;
}

// One segment for items e..f-1 (a group, e < f) or for the piece
// [start, *endoff) of item e (f == e).
static int skgmcrone(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc,
                         uint32_t nitems, skgm_area **items, uint32_t e, uint64_t start,
                         uint32_t f, uint64_t *endoff, skgm_seglist *list, int *retry) {
  *retry = 0;
  const skgm_area *first = items[e];
  const int priv = (desc->flags & SKGM_RF_PRIVATE) != 0;
  if ((e < f) != (*endoff == 0)) {
    skgm_invalid(err, ctx, SKGM_EN_FAIL, 2, e, f, *endoff == 0 ? 1 : 0);
    return 0;
  }
  if (e == f && first->minsub != 0) *endoff = skgmround(*endoff, first->minsub);
  const uint64_t base = (first->flags & SKGM_AF_FIXED) ? first->address : 0;
  uint64_t total = part_bytes(ctx, first, (e < f ? first->size : *endoff) - start, base);
  uint64_t runend = base + total;
  for (uint32_t j = e + 1; j < f; j++) {
    const uint64_t b = part_bytes(ctx, items[j], items[j]->size, runend);
    runend += b;
    total += b;
  }
  const uint64_t segsize = skgmround(total, ctx->seglen);
  if (segsize > ctx->largestsize && (!(first->flags & SKGM_AF_ONESEG) || f - e > 1)) {
    *retry = 1;
    return 0;
  }

  int32_t key = 0, id = -1;
  int oserr = 0;
  const int32_t basekey = skgmhash(desc->name, desc->namelen);
  if (f == nitems) {
    uintptr_t stable = 0;
    uint32_t fl = 0;
    uint64_t sz = 0;
    if (!skgmlocate(err, ctx, desc, basekey, first->flags, segsize, 1, &key, &id, &oserr, &stable,
                    &fl, &sz)) {
      if (id != -1) {
        sl_status ignored{};
        sskgmrm(&ignored, ctx, id, first, priv);
      }
      return 0;
    }
  } else {
    id = sskgmget(err, ctx, 0, 1, segsize, first, &oserr, priv);
  }
  if (id == -1) {
    if (oserr == EINVAL || oserr == ENOMEM) {
      sskgm_seterr(err, SKGM_ERR_NOMEM, oserr);
      if (segsize > ctx->smallestsize) *retry = 1;
      if (oserr == EINVAL && !sskgmgetopenv(err, ctx, SKGM_OE_EINVALWARNED)) {
        if (ctx->ops != nullptr && ctx->ops->warning != nullptr)
          ctx->ops->warning(ctx->osdctx,
                            "WARNING: EINVAL creating segment of size 0x%08lx%08lx\nfix shm "
                            "parameters in /etc/system or equivalent\n",
                            static_cast<unsigned long>(sskgm_hi(segsize)),
                            static_cast<unsigned long>(sskgm_lo(segsize)));
        sskgmsetopenv(err, ctx, SKGM_OE_EINVALWARNED, SKGM_OPENV_SET);
      }
    } else if (oserr == ENOSPC) {
      sskgm_seterr(err, SKGM_ERR_NOMEM, oserr);
      if (ctx->ops != nullptr && ctx->ops->trace != nullptr)
        ctx->ops->trace(ctx->osdctx,
                        "skgm warning: ENOSPC creating segment of size %08lx%08lx\nfix shm "
                        "parameters in /etc/system or equivalent\n",
                        static_cast<unsigned long>(sskgm_hi(segsize)),
                        static_cast<unsigned long>(sskgm_lo(segsize)));
    } else {
      sskgm_trace_err(err, ctx, SKGM_ERR_GET, oserr, 1, e, key, 0);
    }
    return 0;
  }

  auto *cell = static_cast<uintptr_t *>(calloc(1, sizeof(uintptr_t)));
  auto *node = static_cast<skgm_segnode *>(calloc(1, sizeof(skgm_segnode)));
  sl_status ignored{};
  if (cell == nullptr || node == nullptr) {
    free(cell);
    free(node);
    sskgmrm(&ignored, ctx, id, first, priv);
    sskgm_seterr(err, SKGM_ERR_NOMEM, ENOMEM);
    return 0;
  }
  uintptr_t addr = 0;
  if (first->flags & SKGM_AF_FIXED) {
    addr = first->address;
  } else if ((first->flags & SKGM_AF_STABLE) &&
             !sskgmqstable(err, ctx, segsize, first->flags, &addr, priv)) {
    free(cell);
    free(node);
    sskgmrm(&ignored, ctx, id, first, priv);
    return 0;
  }
  if (!sskgmat(err, ctx, id, segsize, addr, first, cell, priv)) {
    if (segsize > ctx->smallestsize && (first->flags & SKGM_AF_FIXED) && f - e > 1) *retry = 1;
    free(cell);
    free(node);
    sskgmrm(&ignored, ctx, id, first, priv);
    return 0;
  }
  node->basekey = f == nitems ? basekey : 0;
  node->key = f == nitems ? key : 0;
  node->shmid = id;
  node->addrcell = cell;
  node->segsize = segsize;
  node->first = e;
  node->startoff = start;
  node->end = f;
  node->endoff = *endoff;
  push(list, node);
  if (e == f && first->minsub != 0) {
    *endoff -= segsize % first->minsub;
    node->endoff = *endoff;
  }
  return 1;
}

static int skgmcrmany(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc,
                          uint32_t nitems, skgm_area **items, uint32_t from, uint32_t to,
                          skgm_seglist *list) {
  uint64_t start = 0, endoff = 0;
  uint32_t e = from, f = to;
  while (e < to) {
    if (e < f) endoff = 0;
    int retry = 0;
    if (skgmcrone(err, ctx, desc, nitems, items, e, start, f, &endoff, list, &retry)) {
      start = e == f ? endoff : 0;
      e = f;
      if (start != 0 && start >= items[e]->size) {  // the last piece ended the area
        start = 0;
        e++;
      }
      f = to;
      continue;
    }
    if (!retry) return 0;
    const skgm_area *a = items[e];
    if (f > e + 1) {
      f--;
    } else if (f == e + 1) {
      if (a->flags & SKGM_AF_ONESEG) {
        sskgm_seterr(err, SKGM_ERR_NOMEM, 0);
        return 0;
      }
      uint64_t chunk = skgmtrunc(skgmtrunc(ctx->largestsize, ctx->seglen), ctx->protectsize);
      if (a->minsub != 0) chunk = skgmtrunc(chunk, a->minsub);
      const uint64_t rest = a->size - start;
      endoff = start + (chunk < rest ? chunk : rest);
      f = e;
    } else {
      // A piece that no longer shrinks cannot be retried.
      const uint64_t next = (start + endoff) / 2;
      auto eff = [&](uint64_t v) { return a->minsub != 0 ? skgmround(v, a->minsub) : v; };
      if (next <= start || eff(next) >= eff(endoff)) {
        sskgm_seterr(err, SKGM_ERR_NOMEM, err->oserr);
        return 0;
      }
      endoff = next;
    }
  }
  err->code = 0;
  return 1;
}

// Writes the header, the area table and the subarea table into the primary
// segment and fills the handle.
static void skgmfixup_scaffolding(skgm_ctx *ctx, const skgm_realmdesc *desc, uint32_t nitems,
                                  uint32_t nsub, skgm_area **items, const uint32_t *indexes,
                                  skgm_seglist *list, skgm_realm *handle) {
  skgm_segnode *prim = list->oldest;
  while (prim != nullptr && prim->end != nitems) prim = prim->prev;
  skgm_header *hdr = skgmrfind(reinterpret_cast<void *>(*prim->addrcell), prim->segsize);
  memset(hdr, 0, sizeof *hdr);
  hdr->realm = *desc;
  hdr->basekey = prim->basekey;
  hdr->key = prim->key;
  hdr->nareas = nitems;
  hdr->nsub = nsub;
  hdr->shmid = prim->shmid;
  hdr->version = SKGM_HDR_VERSION;
  skgm_areaent *areas = skgmafind(hdr);
  skgm_subarea *subs = skgmsafind(hdr);
  uint32_t s = 0;
  for (skgm_segnode *n = list->oldest; n != nullptr; n = n->prev) {
    const uint64_t base = (items[n->first]->flags & SKGM_AF_FIXED) ? items[n->first]->address : 0;
    const uint32_t last = n->end == n->first ? n->first + 1 : n->end;
    if (n == prim) {  // the primary is segs[0]: swap the one there to the end
      handle->segs[handle->nsegs] = handle->segs[0];
      handle->segs[0] = skgm_attseg{n->shmid, s, n->segsize, items[n->first]->flags};
    } else {
      handle->segs[handle->nsegs] = skgm_attseg{n->shmid, s, n->segsize, items[n->first]->flags};
    }
    handle->nsegs++;
    uint64_t offset = 0;
    for (uint32_t j = n->first; j < last; j++) {
      const skgm_area *a = items[j];
      uint64_t raw = a->size;
      if (n->end == n->first)
        raw = n->endoff - n->startoff;
      else if (j == n->first)
        raw = a->size - n->startoff;
      const uint64_t bytes = part_bytes(ctx, a, raw, base + offset);
      skgm_subarea &sub = subs[s];
      memset(&sub, 0, sizeof sub);
      sub.stable = (a->flags & SKGM_AF_STABLE) ? *n->addrcell + static_cast<uintptr_t>(offset) : 0;
      sub.size = bytes;
      sub.segsize = n->segsize;
      sub.shmid = n->shmid;
      sub.area = indexes[j];
      handle->addrs[s] = *n->addrcell + static_cast<uintptr_t>(offset);
      if (n == prim && j == n->first) hdr->primary = s;
      skgm_areaent &ent = areas[indexes[j]];
      if (j == n->first && n->startoff != 0) {
        ent.nsub++;
      } else {
        ent.area = *a;
        ent.nsub = 1;
        ent.firstsub = s;
      }
      offset += bytes;
      s++;
    }
  }
  free_list(list);
  hdr->magic = SKGM_HDR_MAGIC;
  handle->hdr = *hdr;
  handle->shared = hdr;
  handle->areas = areas;
  handle->subs = subs;
}

extern "C" int skgmcreate(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc,
                          uint32_t nareas, skgm_area *areas, skgm_realm **handle) {
  err->code = 0;
  if (!skgmcheck(ctx) || desc == nullptr || desc->namelen < 1 || desc->namelen > SKGM_NAMEMAX ||
      (desc->flags & ~SKGM_RF_CREATE_OK) != 0 || nareas == 0 || areas == nullptr ||
      handle == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_CREATE, desc != nullptr ? desc->namelen : 0,
                 desc != nullptr ? desc->flags : 0, nareas);
    return 0;
  }
  for (uint32_t i = 0; i < nareas; i++)
    if (areas[i].dynsize > areas[i].size) areas[i].size = areas[i].dynsize;
  uint64_t overhead = 0;
  if (!skgmckareas(err, ctx, nareas, areas, &overhead)) return 0;
  sskgmcrealm(err, ctx, SKGM_EV_PRECREATE, 1, desc, nareas, areas, nullptr);

  const uint32_t nitems = nareas + 1;
  auto **items = static_cast<skgm_area **>(calloc(nitems, sizeof(skgm_area *)));
  auto *indexes = static_cast<uint32_t *>(calloc(nitems, sizeof(uint32_t)));
  auto *grouped = static_cast<unsigned char *>(calloc(nitems, 1));
  if (items == nullptr || indexes == nullptr || grouped == nullptr) {
    free(items);
    free(indexes);
    free(grouped);
    sskgm_seterr(err, SKGM_ERR_NOMEM, ENOMEM);
    return 0;
  }
  for (uint32_t i = 0; i < nareas; i++) items[i] = &areas[i];
  qsort(items, nareas, sizeof *items, skgmsortareas);
  for (uint32_t i = 0; i < nareas; i++) indexes[i] = static_cast<uint32_t>(items[i] - areas);

  skgm_area over{};
  memcpy(over.name, kOverheadName, sizeof kOverheadName - 1);
  over.namelen = sizeof kOverheadName - 1;
  over.size = overhead;
  over.flags = kOverheadBase;
  for (uint32_t i = 0; i < nareas; i++)
    if (areas[i].flags & SKGM_AF_STABLE) over.flags |= SKGM_AF_STABLE;
  over.flags |= items[nareas - 1]->flags & (SKGM_AF_INTIMATE | SKGM_AF_LOCK);
  items[nareas] = &over;
  indexes[nareas] = nareas;

  skgm_seglist list{nullptr, nullptr};
  const int priv = (desc->flags & SKGM_RF_PRIVATE) != 0;
  bool ok = true;
  for (int pass = 0; pass < 2 && ok; pass++) {
    for (uint32_t i = 0; i < nitems && ok;) {
      const bool fixed = items[i]->flags & SKGM_AF_FIXED;
      if (grouped[i] || (pass == 0 && !fixed)) {
        i++;
        continue;
      }
      uint64_t fixend = fixed ? items[i]->address + items[i]->size : 0;
      uint32_t f = i + 1;
      for (; f < nitems && !grouped[f] && same_class(items[i], items[f]); f++) {
        if (items[f]->flags & SKGM_AF_FIXED) {
          if (!fixed || items[f]->address > fixend) break;
          fixend += items[f]->size;
        }
      }
      if (!skgmcrmany(err, ctx, desc, nitems, items, i, f, &list)) ok = false;
      for (uint32_t k = i; k < f; k++) grouped[k] = 1;
      i = f;
    }
  }
  skgm_realm *h = nullptr;
  if (ok) {
    uint64_t nsub = 0;
    for (skgm_segnode *n = list.newest; n != nullptr; n = n->next)
      nsub += n->end == n->first ? 1 : n->end - n->first;
    ok = skgmhmalloc(err, ctx, static_cast<uint32_t>(nsub), &h);
    if (ok) {
      skgmfixup_scaffolding(ctx, desc, nitems, static_cast<uint32_t>(nsub), items, indexes, &list,
                            h);
      h->hdr.realm.flags = desc->flags;
    }
  }
  free(grouped);
  if (!ok) {
    undo_list(ctx, items, &list, priv);
    free(items);
    free(indexes);
    sskgmcrealm(err, ctx, SKGM_EV_POSTCREATE, 0, desc, 0, nullptr, nullptr);
    return 0;
  }
  free(items);
  free(indexes);
  *handle = h;
  if (!sskgmcrealm(err, ctx, SKGM_EV_POSTCREATE, 1, desc, 0, nullptr, h)) {
    sl_status ignored{};
    skgmdestroy(&ignored, ctx, h);
    skgmdetach(&ignored, ctx, h);
    *handle = nullptr;
    return 0;
  }
  return 1;
}

extern "C" int skgmdestroy(sl_status *err, skgm_ctx *ctx, skgm_realm *handle) {
  if (!skgmhcheck(err, ctx, 0, handle, SKGM_HSITE_DESTROY)) return 0;
  sskgmcrealm(err, ctx, SKGM_EV_PREDESTROY, 1, &handle->hdr.realm, 0, nullptr, handle);
  const int priv = (handle->hdr.realm.flags & SKGM_RF_PRIVATE) != 0;
  int ok = 1;
  // The segments this handle attached, each once: not what the shared tables
  // name by now.
  for (uint32_t i = 0; i < handle->nsegs; i++) {
    const skgm_attseg &seg = handle->segs[i];
    bool seen = false;
    for (uint32_t k = 0; k < i && !seen; k++) seen = handle->segs[k].shmid == seg.shmid;
    if (seen) continue;
    skgm_area a{};
    a.flags = seg.flags;
    if (!sskgmrm(err, ctx, seg.shmid, &a, priv)) ok = 0;
  }
  const int hook = sskgmcrealm(err, ctx, SKGM_EV_POSTDESTROY, ok, &handle->hdr.realm, 0, nullptr,
                               handle);
  return ok && hook;
}
