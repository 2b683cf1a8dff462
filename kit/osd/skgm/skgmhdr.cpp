// The realm header: key derivation, the key search, identification of a
// candidate segment, the table locators, the context's handle list and the
// cookies.
//
// Invariants: every handle of a context's list was made by skgmhmalloc and is
// freed only by skgmhfree; a handle's tables lie in its primary segment,
// whose header skgm_hdrholds accepted for that segment's id and size before
// the handle was made.
#include <errno.h>
#include <stdlib.h>
#include <string.h>

#include "skgm.h"
#include "skgm_int.h"
#include "sskgm.h"

namespace {
constexpr int kBitsPerByte = 8;
}  // namespace

extern "C" int32_t skgmhash(const char *name, size_t len) {
  int32_t a = 0;
  for (size_t i = len; i-- > 0;) {
    const unsigned char c = static_cast<unsigned char>(name[i]);
    for (int b = 0; b < kBitsPerByte; b++) a = (2 * a + ((c >> b) & 1)) % SKGM_HASH_MOD;
  }
  const int32_t key = static_cast<int32_t>(static_cast<uint32_t>(a) * 4u);
  return key == 0 ? 4 : key;
}

extern "C" skgm_header *skgmrfind(void *seg, uint64_t len) {
  return reinterpret_cast<skgm_header *>(static_cast<char *>(seg) + len - sizeof(skgm_header));
}

extern "C" skgm_areaent *skgmafind(skgm_header *hdr) {
  return reinterpret_cast<skgm_areaent *>(hdr) - hdr->nareas;
}

extern "C" skgm_subarea *skgmsafind(skgm_header *hdr) {
  return reinterpret_cast<skgm_subarea *>(skgmafind(hdr)) - hdr->nsub;
}

extern "C" int skgmhfits(const skgm_header *hdr, uint64_t len) {
  if (len < sizeof(skgm_header) || hdr->nareas == 0 || hdr->nsub == 0 ||
      hdr->realm.namelen == 0 || hdr->realm.namelen > SKGM_NAMEMAX || hdr->primary >= hdr->nsub)
    return 0;
  const uint64_t need = sizeof(skgm_header) + uint64_t{hdr->nareas} * sizeof(skgm_areaent) +
                        uint64_t{hdr->nsub} * sizeof(skgm_subarea);
  if (need > len) return 0;
  auto *h = const_cast<skgm_header *>(hdr);
  const skgm_areaent *areas = skgmafind(h);
  const skgm_subarea *subs = skgmsafind(h);
  for (uint32_t i = 0; i < hdr->nareas; i++) {
    const skgm_areaent &a = areas[i];
    if (a.nsub == 0 || a.firstsub >= hdr->nsub || a.nsub > hdr->nsub - a.firstsub) return 0;
  }
  for (uint32_t i = 0; i < hdr->nsub; i++)
    if (subs[i].area >= hdr->nareas) return 0;
  return 1;
}

int skgm_hdrholds(const skgm_header *hdr, uint64_t len, int32_t shmid) {
  if (hdr->magic != SKGM_HDR_MAGIC || hdr->version != SKGM_HDR_VERSION || !skgmhfits(hdr, len) ||
      hdr->shmid != shmid)
    return 0;
  const skgm_subarea *subs = skgmsafind(const_cast<skgm_header *>(hdr));
  const uint32_t p = hdr->primary;
  // The primary's subareas: one run from the primary subarea on, each
  // recorded with this segment's size and all of them inside it.
  uint32_t end = p;
  uint64_t used = 0;
  for (; end < hdr->nsub && subs[end].shmid == shmid; end++) {
    if (subs[end].segsize != len || subs[end].size > len - used) return 0;
    used += subs[end].size;
  }
  if (end == p) return 0;  // the primary subarea lies in another segment
  for (uint32_t i = 0; i < hdr->nsub; i++)
    if (subs[i].shmid == shmid && (i < p || i >= end)) return 0;
  return 1;
}

extern "C" int skgmidrealm(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc,
                           int32_t basekey, int32_t key, int32_t shmid, int *found,
                           uintptr_t *stable, uint32_t *flags, uint64_t *size) {
  const int priv = (desc->flags & SKGM_RF_PRIVATE) != 0;
  int oserr = 0;
  *found = 0;
  if (shmid == -1) {
    shmid = sskgmget(err, ctx, key, 0, 0, nullptr, &oserr, priv);
    if (shmid == -1) return 0;
  }
  uint64_t len = 0;
  if (!sskgmstat(err, ctx, shmid, &len, SKGM_STAT_SIZE, priv)) return 0;
  *size = len;
  if (len < ctx->protectsize) return 1;
  skgm_area probe{};
  probe.flags = SKGM_AF_RDONLY;
  uintptr_t at = 0;
  if (!sskgmat(err, ctx, shmid, len, 0, &probe, &at, priv)) return 0;
  skgm_header *hdr = skgmrfind(reinterpret_cast<void *>(at), len);
  if (skgm_hdrholds(hdr, len, shmid) && hdr->basekey == basekey && hdr->key == key &&
      hdr->realm.namelen == desc->namelen &&
      memcmp(hdr->realm.name, desc->name, desc->namelen) == 0) {
    *found = 1;
    *flags = skgmafind(hdr)[hdr->nareas - 1].area.flags;
    *stable = skgmsafind(hdr)[hdr->primary].stable;
  }
  return sskgmdt(err, ctx, shmid, len, &probe, &at, priv);
}

extern "C" int skgmlocate(sl_status *err, skgm_ctx *ctx, const skgm_realmdesc *desc,
                          int32_t basekey, uint32_t areaflags, uint64_t size, int create,
                          int32_t *key, int32_t *shmid, int *oserr, uintptr_t *stable,
                          uint32_t *flags, uint64_t *segsize) {
  const int priv = (desc->flags & SKGM_RF_PRIVATE) != 0;
  bool found = false, created = false;
  skgm_area area{};
  area.flags = areaflags;
  for (int32_t k = basekey; k < basekey + SKGM_NKEYS; k++) {
    int e = 0;
    if (create == 1 && !created) {
      const int id = sskgmget(err, ctx, k, 1, size, &area, &e, priv);
      if (id != -1) {
        err->code = 0;
        *key = k;
        *shmid = id;
        *oserr = 0;
        *stable = 0;
        *flags = 0;
        *segsize = 0;
        found = created = true;
        continue;
      }
      if (e == ENOMEM || e == EINVAL || e == ENOSPC) {
        *key = k;
        *shmid = -1;
        *oserr = e;
        *stable = 0;
        *flags = 0;
        *segsize = 0;
        return 1;
      }
      if (e == EACCES) continue;
      if (e == EEXIST) {
        err->code = 0;
        int is = 0;
        uintptr_t st = 0;
        uint32_t fl = 0;
        uint64_t sz = 0;
        if (!skgmidrealm(err, ctx, desc, basekey, k, -1, &is, &st, &fl, &sz)) return 0;
        if (is) {
          sskgm_seterr(err, SKGM_ERR_EXISTS, 0);
          return 0;
        }
        continue;
      }
      if (err->code == 0 || err->code == SKGM_ERR_GET)
        sskgm_trace_err(err, ctx, SKGM_ERR_GET, e, 2, k, basekey, priv);
      return 0;
    }
    const int id = sskgmget(err, ctx, k, 0, 0, nullptr, &e, priv);
    if (id == -1) {
      if (e == ENOENT || e == EACCES) {
        err->code = 0;
        err->oserr = 0;
        continue;
      }
      sskgm_trace_err(err, ctx, SKGM_ERR_GET, e, 3, k, basekey, priv);
      return 0;
    }
    int is = 0;
    uintptr_t st = 0;
    uint32_t fl = 0;
    uint64_t sz = 0;
    if (!skgmidrealm(err, ctx, desc, basekey, k, id, &is, &st, &fl, &sz)) return 0;
    if (!is) continue;
    if (found) {
      // Two segments claim the realm; a creator deletes the one it made
      // (its id stays in *shmid).
      sskgm_seterr(err, SKGM_ERR_EXISTS, 0);
      return 0;
    }
    *key = k;
    *shmid = id;
    *oserr = 0;
    *stable = st;
    *flags = fl;
    *segsize = sz;
    found = true;
  }
  if (found) return 1;
  if (create)
    skgm_invalid(err, ctx, SKGM_EN_HASH, 1, static_cast<uint64_t>(static_cast<int64_t>(basekey)));
  else
    sskgm_seterr(err, SKGM_ERR_NOREALM, 0);
  return 0;
}

extern "C" int skgmhmalloc(sl_status *err, skgm_ctx *ctx, uint32_t nsub, skgm_realm **handle) {
  const size_t n = nsub ? nsub : 1;
  auto *h = static_cast<skgm_realm *>(calloc(1, sizeof(skgm_realm)));
  auto *cells = static_cast<uintptr_t *>(calloc(n, sizeof(uintptr_t)));
  auto *segs = static_cast<skgm_attseg *>(calloc(n, sizeof(skgm_attseg)));
  if (h == nullptr || cells == nullptr || segs == nullptr) {
    free(h);
    free(cells);
    free(segs);
    sskgm_seterr(err, SKGM_ERR_NOMEM, ENOMEM);
    return 0;
  }
  h->addrs = cells;
  h->segs = segs;
  h->next = ctx->handles;
  ctx->handles = h;
  *handle = h;
  return 1;
}

extern "C" int skgmhfree(sl_status *err, skgm_ctx *ctx, skgm_realm *handle) {
  for (skgm_realm **pp = &ctx->handles; *pp != nullptr; pp = &(*pp)->next) {
    if (*pp != handle) continue;
    *pp = handle->next;
    free(handle->addrs);
    free(handle->segs);
    memset(handle, 0, sizeof *handle);
    free(handle);
    return 1;
  }
  skgm_invalid(err, ctx, SKGM_EN_BADHANDLE, 1);
  return 0;
}

extern "C" int skgmhcheck(sl_status *err, skgm_ctx *ctx, int allowro, skgm_realm *handle,
                          int site) {
  err->code = 0;
  if (!skgmcheck(ctx) || handle == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_HCHECK, ctx != nullptr ? ctx->magic : 0,
                 static_cast<uint64_t>(site));
    return 0;
  }
  const skgm_realm *h = ctx->handles;
  while (h != nullptr && h != handle) h = h->next;
  if (h == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_BADHANDLE, 2, static_cast<uint64_t>(site));
    return 0;
  }
  if (handle->concealed && site != SKGM_HSITE_DETACH && site != SKGM_HSITE_REVEAL &&
      site != SKGM_HSITE_ATTCOUNT) {
    skgm_invalid(err, ctx, SKGM_EN_BADHANDLE, 3, static_cast<uint64_t>(site));
    return 0;
  }
  if (!allowro && (handle->hdr.realm.flags & SKGM_RF_RDONLY)) {
    skgm_invalid(err, ctx, SKGM_EN_BADROHANDLE, 1, static_cast<uint64_t>(site));
    return 0;
  }
  return 1;
}

extern "C" int skgmsetcookie(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t n,
                             uintptr_t value) {
  if (!skgmhcheck(err, ctx, 0, handle, SKGM_HSITE_SETCOOKIE)) return 0;
  if (n >= SKGM_NCOOKIES) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_SETCOOKIE, n);
    return 0;
  }
  handle->shared->cookies[n] = value;
  handle->shared->cookieset[n] = 1;
  return 1;
}

extern "C" int skgmgetcookie(sl_status *err, skgm_ctx *ctx, skgm_realm *handle, uint32_t n,
                             uintptr_t *value) {
  if (!skgmhcheck(err, ctx, 0, handle, SKGM_HSITE_GETCOOKIE)) return 0;
  if (n >= SKGM_NCOOKIES || value == nullptr) {
    skgm_invalid(err, ctx, SKGM_EN_INVALID, SKGM_SITE_GETCOOKIE, n);
    return 0;
  }
  if (handle->shared->cookieset[n] != 1) {
    sskgm_seterr(err, SKGM_ERR_NOREALM, 0);
    return 0;
  }
  *value = handle->shared->cookies[n];
  return 1;
}

extern "C" int skgminrealm(void *, void *, const skgm_realm *handle, const void *addr) {
  const uintptr_t a = reinterpret_cast<uintptr_t>(addr);
  if (handle->concealed) return 0;
  for (uint32_t i = 0; i < handle->hdr.nsub; i++)
    if (sskgm_segstart(handle, i) && a >= handle->addrs[i] &&
        a - handle->addrs[i] < handle->subs[i].segsize)
      return 1;
  return 0;
}
