// Segment dumps, the portable part: the descriptor of a realm's dump (its
// segment records from the handle) and the calls that hand over to the
// Solaris layer.
#include "skgsd.h"

#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "skgm_int.h"
#include "slz.h"
#include "sskgm.h"

namespace {

constexpr char kHome[] = "VIRUZE_HOME";
constexpr char kSid[] = "VIRUZE_SID";

// Reads one variable into buf (SKGSD_PATHMAX bytes, terminated). An unset
// variable, or one that does not fit, is refused with slzgetevar's code.
bool read_var(sl_status *err, const char *name, size_t namelen, char *buf) {
  const int n = slzgetevar(err, name, namelen, buf, SKGSD_PATHMAX - 1, 0);
  if (n < 0) return false;
  buf[n] = '\0';
  return true;
}

// Fills the descriptor's records from the handle.
bool fill_records(sl_status *err, skgsd_ctx *dump, skgm_ctx *ctx, skgm_realm *handle) {
  skgsd_seg *recs = nullptr;
  const uint32_t n = skgmrtshi(err, ctx, handle, &recs);
  if (n == 0) {
    free(recs);
    if (err->code == 0 && err->oserr == 0) sskgm_seterr(err, 0, EINVAL);  // no subareas
    return false;
  }
  free(dump->segs);
  dump->segs = recs;
  dump->nsegs = n;
  return true;
}

}  // namespace

extern "C" {

uint32_t skgmrtshi(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, skgsd_seg **records) {
  (void)ctx;
  *records = nullptr;
  if (handle == nullptr || handle->concealed) {  // a concealed handle's tables are not mapped
    sskgm_seterr(err, 0, EINVAL);
    return 0;
  }
  const uint32_t nsub = handle->hdr.nsub;
  uint32_t nsegs = 0;
  for (uint32_t i = 0; i < nsub; ++i) nsegs += sskgm_segstart(handle, i) ? 1 : 0;
  skgsd_seg *recs = skgsd_segalloc(nsegs);
  if (recs == nullptr) {
    sskgm_seterr(err, 0, ENOMEM);
    return 0;
  }
  *records = recs;
  if (nsegs == 0) return 0;
  uintptr_t *src = reinterpret_cast<uintptr_t *>(recs + nsegs);
  const uintptr_t primary = handle->subs[handle->hdr.primary < nsub ? handle->hdr.primary : 0].stable;
  uint32_t k = 0;
  for (uint32_t i = 0; i < nsub; ++i) {
    if (!sskgm_segstart(handle, i)) continue;
    const skgm_subarea &s = handle->subs[i];
    skgsd_seg &r = recs[k];
    r.shmid = s.shmid;
    r.segsize = s.segsize;
    // A segment without a stable address is recorded where it is attached.
    r.addr = s.stable != 0 ? s.stable : handle->addrs[i];
    r.offset = static_cast<intptr_t>(r.addr - primary);
    src[k] = handle->addrs[i];
    ++k;
  }
  return nsegs;
}

int skgsdinit(sl_status *err, skgsd_ctx **dump, const char *base, skgm_ctx *ctx,
              skgm_realm *handle, int mode) {
  sskgm_seterr(err, 0, 0);
  char home[SKGSD_PATHMAX], sid[SKGSD_PATHMAX];
  if (!read_var(err, kHome, sizeof kHome - 1, home) || !read_var(err, kSid, sizeof kSid - 1, sid))
    return 0;
  char joined[2 * SKGSD_PATHMAX];
  const size_t hl = strlen(home), sl = strlen(sid);
  memcpy(joined, home, hl);
  memcpy(joined + hl, sid, sl);
  const int32_t key = skgmhash(joined, hl + sl);
  if (mode == SKGSD_MODE_DESC) return sskgsdinit(err, dump, base, home, sid, key);
  if (mode == SKGSD_MODE_ALL) {
    if (!sskgsdinit(err, dump, base, home, sid, key)) return 0;
  } else if (mode != SKGSD_MODE_SEGS || *dump == nullptr) {
    sskgm_seterr(err, 0, EINVAL);
    return 0;
  }
  return fill_records(err, *dump, ctx, handle) ? 1 : 0;
}

int skgmwtfpm(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, const char *base,
              skgsd_ctx **dump) {
  *dump = nullptr;
  if (!skgsdinit(err, dump, base, ctx, handle, SKGSD_MODE_ALL)) return 0;
  skgsd_ctx *d = *dump;
  const uintptr_t *src = skgsd_src(d);
  // Each segment readable and writable over its whole size where it is read.
  uint32_t k = 0;
  for (uint32_t i = 0; i < handle->hdr.nsub && k < d->nsegs; ++i) {
    if (!sskgm_segstart(handle, i)) continue;
    const uint32_t aflags = handle->areas[handle->subs[i].area].area.flags;
    uint32_t newprot = 0;
    if (!sskgmprotect(err, ctx, aflags, src[k], static_cast<size_t>(d->segs[k].segsize),
                      SKGM_PROT_RW, (aflags & SKGM_AF_INTIMATE) != 0, &newprot))
      return 0;
    ++k;
  }
  return skgsdwrseg(err, d);
}

int skgsdwrseg(sl_status *err, skgsd_ctx *dump) { return sskgsdwrseg(err, dump); }
int skgsdcowmap(sl_status *err, skgsd_ctx *dump) { return sskgsdcowmap(err, dump); }
int skgsdcowmpd(sl_status *err, const char *dir, skgsd_ctx **dump) {
  return sskgsdcowmpd(err, dir, dump);
}
int skgsdsegmap(sl_status *err, const char *dir, skgsd_ctx **dump) {
  return sskgsdsegmap(err, dir, dump);
}
int skgsdsegunmap(sl_status *err, skgsd_ctx *dump) { return sskgsdsegunmap(err, dump); }
int32_t skgsdcdfnm(const char *subdir, char *dst, size_t dstlen, const char *name,
                   const char *base) {
  return sskgsdcdfnm(base, name, dst, dstlen, subdir);
}

}  // extern "C"
