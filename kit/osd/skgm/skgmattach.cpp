// Attaching realms by name, detaching, concealing and revealing them, the
// queries on an attached realm, and protection and locking of ranges.
//
// Invariants: a handle's address cells hold, for each subarea, where it is
// attached in this process (its segment's attach address plus the sizes of
// the segment's earlier subareas) while the realm is attached or concealed.
// segs[0, nsegs) are the segments the handle has attached and not yet
// detached, the primary first; nsegs is 0 while it is concealed. Detaching
// walks these records only.
#include <assert.h>
#include <string.h>

#include "skgm.h"
#include "skgm_int.h"
#include "sskgm.h"

namespace {

constexpr uint32_t kOpLock = 16;
constexpr uint32_t kOpUnlock = 0x20;
constexpr uint32_t kOpLive = 64;
constexpr uint32_t kValidate = 0x1;
constexpr uint32_t kInvalidate = 0x2;
constexpr uint32_t kValidateLock = 0x10;
constexpr uint32_t kInvalidateUnlock = 0x20;
constexpr uint32_t kUnlockExtra = 0x10000;

bool is_private(const skgm_realm *h) { return (h->hdr.realm.flags & SKGM_RF_PRIVATE) != 0; }

// The area record a segment is attached with: its area entry's flags and the
// read-only bit of the handle.
skgm_area attach_area(const skgm_realm *h, uint32_t sub) {
  skgm_area a{};
  a.flags = h->areas[h->subs[sub].area].area.flags;
  if (h->hdr.realm.flags & SKGM_RF_RDONLY) a.flags |= SKGM_AF_RDONLY;
  return a;
}

// Records a segment the handle has just attached. A checked table has at
// most one segment per subarea; one changed since (the tables are shared)
// may claim more than the records hold: false then.
bool remember(skgm_realm *h, int32_t shmid, uint32_t sub, uint64_t segsize, uint32_t flags) {
  if (h->nsegs >= (h->hdr.nsub ? h->hdr.nsub : 1)) return false;
  h->segs[h->nsegs++] = skgm_attseg{shmid, sub, segsize, flags};
  return true;
}

// Detaches the segments the handle attached from segs[keep] on, newest first
// (so the primary, segs[0], last), and forgets them. 1 when every detach
// succeeded; a failed one does not stop the others.
int detach_from(sl_status *err, skgm_ctx *ctx, skgm_realm *h, uint32_t keep) {
  int ok = 1;
  const int priv = is_private(h);
  while (h->nsegs > keep) {
    const skgm_attseg s = h->segs[--h->nsegs];
    skgm_area a{};
    a.flags = s.flags;
    if (!sskgmdt(err, ctx, s.shmid, s.segsize, &a, &h->addrs[s.sub], priv)) ok = 0;
  }
  return ok;
}

// Attaches every segment but the primary (attached and recorded already), at
// stable addresses unless the handle ignores them; fills the cells of all
// subareas from their segments'. On failure detaches what it attached (the
// primary stays) and returns 0.
int attach_rest(sl_status *err, skgm_ctx *ctx, skgm_realm *h, bool anyaddr) {
  assert(h->nsegs == 1);
  const int priv = is_private(h);
  const int32_t pid = h->segs[0].shmid;
  for (uint32_t i = 0; i < h->hdr.nsub; i++) {
    const skgm_subarea s = h->subs[i];  // the table is shared: read it once
    if (!sskgm_segstart(h, i)) {
      h->addrs[i] = h->addrs[i - 1] + static_cast<uintptr_t>(h->subs[i - 1].size);
      continue;
    }
    if (s.shmid == pid) continue;  // the primary's one run, whose first cell is set
    const skgm_area a = attach_area(h, i);
    bool ok = sskgmat(err, ctx, s.shmid, s.segsize, anyaddr ? 0 : s.stable, &a, &h->addrs[i], priv);
    if (ok && !remember(h, s.shmid, i, s.segsize, a.flags)) {
      sl_status ignored{};
      sskgmdt(&ignored, ctx, s.shmid, s.segsize, &a, &h->addrs[i], priv);
      sskgm_seterr(err, SKGM_ERR_NOREALM, 0);
      ok = false;
    }
    if (!ok) {
      sl_status ignored{};
      detach_from(&ignored, ctx, h, 1);
      return 0;
    }
  }
  return 1;
}

// The subarea of the area that holds addr; the range must end inside it.
// Reports the crossing and outside sites; -1 on failure.
long find_subarea(sl_status *err, skgm_ctx *ctx, const skgm_realm *h, uint32_t area,
                  uintptr_t addr, size_t len, int cross_site, int out_site) {
  const skgm_areaent &e = h->areas[area];
  for (uint32_t k = e.firstsub; k < e.firstsub + e.nsub; k++) {
    const uintptr_t lo = h->addrs[k];
    const uint64_t end = lo + h->subs[k].size;
    if (lo <= addr && addr < end) {
      if (static_cast<uint64_t>(addr) + len > end) {
        skgm_invalid(err, ctx, SKGM_EN_INVALID, static_cast<uint64_t>(cross_site), k);
        return -1;
      }
      return k;
    }
  }
  skgm_invalid(err, ctx, SKGM_EN_INVALID, static_cast<uint64_t>(out_site),
               uint64_t{e.firstsub} + e.nsub);
  return -1;
}

// The whole protection units inside [addr, addr + len): start and length.
void whole_units(const skgm_ctx *ctx, uintptr_t addr, size_t len, uintptr_t *start,
                 size_t *n) {
  const uint64_t s = skgmround(addr, ctx->protectsize);
  const uint64_t end = static_cast<uint64_t>(addr) + len;
  *start = static_cast<uintptr_t>(s);
  *n = end > s ? static_cast<size_t>(skgmtrunc(end - s, ctx->protectsize)) : 0;
}

}  // namespace

extern "C" int skgmattach(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc,
                          skgm_realm **handle) {
  err->code = 0;
  if (!skgmcheck(ctx) || desc == nullptr || desc->namelen < 1 ||
      desc->namelen > SKGM_NAMEMAX || desc->flags > SKGM_RF_ALL || handle == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_ATTACH, ctx != nullptr ? ctx->magic : 0,
                 desc != nullptr ? desc->namelen : 0, desc != nullptr ? desc->flags : 0);
    return 0;
  }
  for (const skgm_realm *h = ctx->handles; h != nullptr; h = h->next)
    if (h->hdr.realm.namelen == desc->namelen &&
        memcmp(h->hdr.realm.name, desc->name, desc->namelen) == 0) {
      skgm_invalid(err, ctx, SKGM_EN_BUSY, 1);
      return 0;
    }
  const int priv = (desc->flags & SKGM_RF_PRIVATE) != 0;
  const bool anyaddr = (desc->flags & SKGM_RF_ANYADDR) != 0;
  sskgmcrealm(err, ctx, SKGM_EV_PREATTACH, 1, desc, 0, nullptr, nullptr);

  const int32_t basekey = skgmhash(desc->name, desc->namelen);
  int32_t key = 0, shmid = -1;
  int oserr = 0;
  uintptr_t stable = 0;
  uint32_t flags = 0;
  uint64_t segsize = 0;
  if (!skgmlocate(err, ctx, desc, basekey, 0, 0, 0, &key, &shmid, &oserr, &stable, &flags,
                  &segsize))
    return 0;

  skgm_area primary{};
  primary.flags = flags | ((desc->flags & SKGM_RF_RDONLY) ? SKGM_AF_RDONLY : 0);
  uintptr_t at = 0;
  if (!sskgmat(err, ctx, shmid, segsize, anyaddr ? 0 : stable, &primary, &at, priv)) {
    sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 0, desc, 0, nullptr, nullptr);
    return 0;
  }
  skgm_header *hdr = skgmrfind(reinterpret_cast<void *>(at), segsize);
  const skgm_header copy = *hdr;
  skgm_realm *h = nullptr;
  // The header was checked when the segment was identified; it is checked
  // again now that it is attached, in case it changed in between, and the
  // handle is made from the copy that was checked.
  if (!skgm_hdrholds(hdr, segsize, shmid) || copy.nsub != hdr->nsub ||
      copy.nareas != hdr->nareas || copy.primary != hdr->primary ||
      !skgmhmalloc(err, ctx, copy.nsub, &h)) {
    if (err->code == 0) sskgm_seterr(err, SKGM_ERR_NOREALM, 0);
    sl_status ignored{};
    sskgmdt(&ignored, ctx, shmid, segsize, &primary, &at, priv);
    sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 0, desc, 0, nullptr, nullptr);
    return 0;
  }
  h->hdr = copy;
  h->hdr.realm.flags = desc->flags;
  h->shared = hdr;
  h->areas = skgmafind(hdr);
  h->subs = skgmsafind(hdr);
  h->addrs[h->hdr.primary] = at;
  remember(h, shmid, h->hdr.primary, segsize, primary.flags);  // the first of nsub >= 1
  if (!attach_rest(err, ctx, h, anyaddr)) {
    sl_status ignored{};
    detach_from(&ignored, ctx, h, 0);
    skgmhfree(&ignored, ctx, h);
    sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 0, desc, 0, nullptr, nullptr);
    return 0;
  }
  *handle = h;
  sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 1, desc, 0, nullptr, h);
  return 1;
}

static int detach_common(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, bool free_handle) {
  if (!skgmhcheck(err, ctx, 1, handle, SKGM_HSITE_DETACH)) return 0;
  if (handle->concealed) {  // nothing is attached
    if (!free_handle) return 1;
    return skgmhfree(err, ctx, handle);
  }
  sskgmcrealm(err, ctx, SKGM_EV_PREDETACH, 1, &handle->hdr.realm, 0, nullptr, handle);
  int ok = detach_from(err, ctx, handle, 0);
  if (free_handle) {
    if (!skgmhfree(err, ctx, handle)) ok = 0;
  } else {
    handle->concealed = 1;
  }
  sskgmcrealm(err, ctx, SKGM_EV_POSTDETACH, ok, nullptr, 0, nullptr, nullptr);
  return ok;
}

extern "C" int skgmdetach(sl_status *err, skgm_ctx *ctx, skgm_realm *handle) {
  return detach_common(err, ctx, handle, true);
}

extern "C" int skgmconceal(sl_status *err, skgm_ctx *ctx, skgm_realm *handle) {
  return detach_common(err, ctx, handle, false);
}

// Every segment goes back to the address recorded in the handle's cells, or
// nothing stays attached.
extern "C" int skgmreveal(sl_status *err, skgm_ctx *ctx, skgm_realm *handle) {
  if (!skgmhcheck(err, ctx, 1, handle, SKGM_HSITE_REVEAL)) return 0;
  if (!handle->concealed) {
    sskgm_seterr(err, SKGM_ERR_ATTACH, 0);
    return 0;
  }
  const skgm_realmdesc &d = handle->hdr.realm;
  const int priv = is_private(handle);
  const uint32_t p = handle->hdr.primary;
  int found = 0;
  uintptr_t stable = 0;
  uint32_t flags = 0;
  uint64_t size = 0;
  if (!skgmidrealm(err, ctx, &d, handle->hdr.basekey, handle->hdr.key, handle->hdr.shmid, &found,
                   &stable, &flags, &size) ||
      !found || (!priv && (stable == 0 || stable != handle->addrs[p])))
    return 0;
  sskgmcrealm(err, ctx, SKGM_EV_PREATTACH, 1, &d, 0, nullptr, nullptr);
  skgm_area a{};
  a.flags = flags | ((d.flags & SKGM_RF_RDONLY) ? SKGM_AF_RDONLY : 0);
  uintptr_t at = 0;
  if (!sskgmat(err, ctx, handle->hdr.shmid, size, stable, &a, &at, priv)) {
    sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 0, &d, 0, nullptr, nullptr);
    return 0;
  }
  handle->addrs[p] = at;
  remember(handle, handle->hdr.shmid, p, size, a.flags);  // nothing else is attached
  // The tables must be mapped again where they were, with the layout the
  // handle was made for.
  const skgm_header *hdr = skgmrfind(reinterpret_cast<void *>(at), size);
  bool placed = hdr == handle->shared && hdr->nareas == handle->hdr.nareas &&
                hdr->nsub == handle->hdr.nsub && hdr->primary == p;
  if (placed) handle->concealed = 0;
  for (uint32_t i = 0; placed && i < handle->hdr.nsub && !priv; i++)
    if (sskgm_segstart(handle, i) &&
        (handle->subs[i].stable == 0 || handle->subs[i].stable != handle->addrs[i]))
      placed = false;
  if (!placed) sskgm_seterr(err, SKGM_ERR_ATTACH, 0);
  if (!placed || !attach_rest(err, ctx, handle, false)) {
    sl_status ignored{};
    detach_from(&ignored, ctx, handle, 0);
    handle->concealed = 1;
    sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 0, &d, 0, nullptr, nullptr);
    return 0;
  }
  sskgmcrealm(err, ctx, SKGM_EV_POSTATTACH, 1, &d, 0, nullptr, handle);
  return 1;
}

extern "C" int skgmattach_count(sl_status *err, skgm_ctx *ctx, skgm_realm *handle,
                                uint64_t *count) {
  *count = 0;
  if (!skgmhcheck(err, ctx, 1, handle, SKGM_HSITE_ATTCOUNT)) return 0;
  return sskgmstat(err, ctx, handle->hdr.shmid, count, SKGM_STAT_NATTCH, is_private(handle));
}

extern "C" int skgminspect(sl_status *err, skgm_ctx *ctx, skgm_realm *handle,
                           skgm_realmdesc *descout, uint32_t *count, uint32_t max,
                           skgm_area *areasout, uint32_t *nsubout) {
  if (!skgmhcheck(err, ctx, 1, handle, SKGM_HSITE_INSPECT)) return 0;
  if (count == nullptr || (max != 0 && (areasout == nullptr || nsubout == nullptr))) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_INSPECT, count == nullptr, max,
                 areasout == nullptr);
    return 0;
  }
  if (descout != nullptr) *descout = handle->hdr.realm;
  *count = skgm_userareas(handle);
  const uint32_t n = max < *count ? max : *count;
  for (uint32_t i = 0; i < n; i++) {
    areasout[i] = handle->areas[i].area;
    nsubout[i] = handle->areas[i].nsub;
  }
  return 1;
}

extern "C" int skgmaddress(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area,
                           uint32_t sub, uintptr_t *addr, uint64_t *size) {
  if (!skgmhcheck(err, ctx, 1, handle, SKGM_HSITE_ADDRESS)) return 0;
  if (addr == nullptr || size == nullptr || area >= skgm_userareas(handle) ||
      sub >= handle->areas[area].nsub) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_ADDRESS, area, sub);
    return 0;
  }
  const uint32_t k = handle->areas[area].firstsub + sub;
  *addr = handle->addrs[k];
  *size = handle->subs[k].size;
  return 1;
}

extern "C" int skgmapply(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t first,
                         uint32_t count, skgm_applyfn fn, void *arg) {
  if (!skgmhcheck(err, ctx, 1, handle, SKGM_HSITE_APPLY)) return 0;
  const uint32_t n = skgm_userareas(handle);
  if (first >= n || count == 0 || count > n - first) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_APPLY, first, count, n);
    return 0;
  }
  for (uint32_t a = first; a < first + count; a++) {
    skgm_areaent *e = &handle->areas[a];
    for (uint32_t j = e->firstsub; j < e->firstsub + e->nsub; j++)
      if (!fn(err, ctx, handle, e, handle->addrs[j], handle->subs[j].size, &handle->addrs[j], arg))
        return 0;
  }
  return 1;
}

extern "C" int skgmsvalidate(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area,
                             uintptr_t *addr, size_t len, uint32_t flags, uint32_t *out,
                             uint16_t *loc) {
  if (!skgmhcheck(err, ctx, 0, handle, SKGM_HSITE_PROTECT)) return 0;
  if ((flags & kValidate) && (flags & kInvalidate)) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_SVALIDATE_BOTH, flags);
    return 0;
  }
  if (addr == nullptr || *addr == 0 || len == 0) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_SVALIDATE_NONE);
    return 0;
  }
  if (flags & kValidate) {
    if (!(flags & kValidateLock)) return 1;
    return skgmslock(err, ctx, handle, area, *addr, len, kOpLock, out, loc);
  }
  if (!((flags & kInvalidate) && (flags & kInvalidateUnlock))) return 1;
  return skgmslock(err, ctx, handle, area, *addr, len, kOpUnlock | (flags & kUnlockExtra), out,
                   loc);
}

extern "C" int skgmslock(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area,
                         uintptr_t addr, size_t len, uint32_t op, uint32_t *out, uint16_t *loc) {
  if (!skgmhcheck(err, ctx, 0, handle, SKGM_HSITE_PROTECT)) return 0;
  if (op == kOpLive) {
    // A failed exchange leaves 0 in the result output.
    return sskgmlockchk(err, ctx, handle, op, out);
  }
  if (addr == 0 || len == 0 || area >= skgm_userareas(handle)) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_SLOCK, len, area);
    return 0;
  }
  if (handle->areas[area].area.flags & SKGM_AF_LOCK) return 1;
  if (find_subarea(err, ctx, handle, area, addr, len, SKGM_SITE_SLOCK_CROSS, SKGM_SITE_SLOCK_OUT) <
      0)
    return 0;
  uintptr_t start = 0;
  size_t n = 0;
  whole_units(ctx, addr, len, &start, &n);
  if (n != 0 && !sskgmlock(err, ctx, start, n, op, out, loc)) {
    if (out != nullptr) *out = 0;
    return 0;
  }
  return 1;
}

extern "C" int skgmsprotect(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t area,
                            uintptr_t addr, size_t len, uint32_t prot, int intimate,
                            uint32_t *newprot) {
  if (!skgmhcheck(err, ctx, 0, handle, SKGM_HSITE_PROTECT)) return 0;
  if (addr == 0 || len == 0 || prot > SKGM_PROT_RW || newprot == nullptr ||
      area >= skgm_userareas(handle)) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_SPROTECT, len, prot, area);
    return 0;
  }
  if (find_subarea(err, ctx, handle, area, addr, len, SKGM_SITE_SPROTECT_CROSS,
                   SKGM_SITE_SPROTECT_OUT) < 0)
    return 0;
  uintptr_t start = 0;
  size_t n = 0;
  whole_units(ctx, addr, len, &start, &n);
  if (n == 0) {
    *newprot = SKGM_PROT_RW;
    return 1;
  }
  return sskgmprotect(err, ctx, handle->areas[area].area.flags, start, n, prot, intimate,
                      newprot);
}

extern "C" int skgmpprotect(sl_status *err, skgm_ctx *ctx, uintptr_t addr, size_t len,
                            uint32_t prot, uint32_t *newprot) {
  err->code = 0;
  if (!skgmcheck(ctx) || addr == 0 || len == 0 || prot > SKGM_PROT_RW || newprot == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_PPROTECT, ctx != nullptr ? ctx->magic : 0,
                 len, prot);
    return 0;
  }
  uintptr_t start = 0;
  size_t n = 0;
  uint32_t flags = 0;
  whole_units(ctx, addr, len, &start, &n);
  if (n == 0 || !sskgmflags(err, ctx, start, n, &flags)) {
    *newprot = SKGM_PROT_RW;
    return 1;
  }
  return sskgmprotect(err, ctx, 0, start, n, prot, 0, newprot);
}
