// The realm header reader's fuzz target. An input is one control byte and
// then the tail of a private realm's primary segment (the header and the
// tables before it). The tail is placed at the end of a new private segment
// under the key of the realm "fuzz", which is then attached by name,
// inspected, walked, perhaps concealed and revealed or destroyed, and
// detached.
//
// Each input's segment has a fresh private id, while a tail names the ids of
// the realm it was taken from. The control byte says where the input means to
// be consistent:
//   kOwnIds     the header and its primary run name the new segment (its id
//               and size), as a creator would have written them; the segment
//               is as large as the primary's recorded size (up to
//               kMaxSegSize), so that the primary's subareas fit in it;
//   kSegments   every other segment the subarea table names (up to
//               kMaxOthers) is made too, and the table names the new ids;
//   kDestroy    the realm is destroyed before it is detached;
//   kConceal    it is concealed and revealed once.
// Without kOwnIds the header is stale and must be refused as not the realm.
//
// Whatever the input, nothing may stay behind: after the input's segments are
// removed none of them may still exist (an attach the realm code forgot keeps
// a removed private segment alive), and no handle may remain.
#include <stdint.h>
#include <string.h>

#include "skgm.h"
#include "sskgm.h"

// Inputs whose realm was attached (the smoke test reads it).
extern "C" {
uint64_t skgm_fuzz_attached = 0;
uint64_t skgm_fuzz_multiseg = 0;
}

namespace {

constexpr char kName[] = "fuzz";
constexpr uint8_t kOwnIds = 0x1;
constexpr uint8_t kSegments = 0x2;
constexpr uint8_t kDestroy = 0x4;
constexpr uint8_t kConceal = 0x8;
constexpr int kMaxOthers = 4;
constexpr uint64_t kMaxOtherSize = 256u << 10;
constexpr uint64_t kMaxSegSize = 1u << 20;

void quiet(void *, const char *, ...) {}
void quiet_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {quiet, quiet, quiet_error};

int walk(sl_status *, skgm_ctx *, skgm_realm *, skgm_areaent *ent, uintptr_t, uint64_t size,
         uintptr_t *, void *arg) {
  *static_cast<uint64_t *>(arg) += size + ent->area.namelen;
  return 1;
}

// The subarea table of the tail at the end of a segment of len bytes, when
// the header's counts place it inside the segment; else NULL.
skgm_subarea *table_of(skgm_header *hdr, uint64_t len, uint32_t *nsub) {
  const uint64_t need = sizeof(skgm_header) + uint64_t{hdr->nareas} * sizeof(skgm_areaent) +
                        uint64_t{hdr->nsub} * sizeof(skgm_subarea);
  if (len < need) return nullptr;
  *nsub = hdr->nsub;
  return skgmsafind(hdr);
}

struct Made {
  int32_t ids[1 + kMaxOthers];
  int n = 0;
};

// Gives the segments of the table other than the primary segments of their
// own, and makes the table name them.
void make_others(skgm_ctx *ctx, skgm_subarea *subs, uint32_t nsub, int32_t primary, Made *made) {
  int32_t from[kMaxOthers];
  int n = 0;
  for (uint32_t i = 0; i < nsub; i++) {
    const int32_t old = subs[i].shmid;
    if (old == primary) continue;
    int k = 0;
    while (k < n && from[k] != old) k++;
    if (k == n) {
      if (n == kMaxOthers) continue;
      uint64_t size = subs[i].segsize;
      if (size < ctx->protectsize) size = ctx->protectsize;
      if (size > kMaxOtherSize) size = kMaxOtherSize;
      sl_status err{};
      int oserr = 0;
      const int id = sskgmget(&err, ctx, 0, 1, size, nullptr, &oserr, 1);
      if (id < 0) continue;
      from[n++] = old;
      made->ids[made->n++] = id;
    }
    subs[i].shmid = made->ids[1 + k];
    uint64_t size = 0;
    sl_status err{};
    sskgmstat(&err, ctx, subs[i].shmid, &size, SKGM_STAT_SIZE, 1);
    subs[i].segsize = size;
  }
}

// The primary segment size the input's tail records (its header at the end
// of the input, the subarea table before the area table); 0 when the counts
// do not place the primary subarea inside the input.
uint64_t recorded_size(const uint8_t *data, size_t size) {
  if (size < sizeof(skgm_header)) return 0;
  skgm_header hdr;
  memcpy(&hdr, data + size - sizeof hdr, sizeof hdr);
  const uint64_t tables = uint64_t{hdr.nareas} * sizeof(skgm_areaent) +
                          uint64_t{hdr.nsub} * sizeof(skgm_subarea);
  if (hdr.primary >= hdr.nsub || tables > size - sizeof hdr) return 0;
  const uint64_t at = size - sizeof hdr - tables + uint64_t{hdr.primary} * sizeof(skgm_subarea);
  skgm_subarea sub;
  memcpy(&sub, data + at, sizeof sub);
  return sub.segsize;
}

[[noreturn]] void leaked() { __builtin_trap(); }

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const uint8_t *data, size_t size) {
  static skgm_ctx ctx;
  static bool ready = false;
  sl_status err{};
  if (!ready) {
    memset(&ctx, 0, sizeof ctx);
    if (!skgminit(&err, &ctx, &kOps, nullptr)) return 0;
    ready = true;
  }
  if (size == 0) return 0;
  const uint8_t control = data[0];
  ++data;
  --size;
  skgm_realmdesc d{};
  memcpy(d.name, kName, sizeof kName - 1);
  d.namelen = sizeof kName - 1;
  d.flags = SKGM_RF_PRIVATE;
  const int32_t key = skgmhash(d.name, d.namelen);
  uint64_t segsize = skgmround(size == 0 ? 1 : size, ctx.protectsize);
  if (control & kOwnIds) {
    const uint64_t want = recorded_size(data, size);
    if (want > segsize && want <= kMaxSegSize && want % ctx.protectsize == 0) segsize = want;
  }
  int oserr = 0;
  Made made;
  const int id = sskgmget(&err, &ctx, key, 1, segsize, nullptr, &oserr, 1);
  if (id < 0) return 0;
  made.ids[made.n++] = id;
  uintptr_t at = 0;
  if (sskgmat(&err, &ctx, id, segsize, 0, nullptr, &at, 1)) {
    if (size != 0) memcpy(reinterpret_cast<char *>(at) + segsize - size, data, size);
    uint32_t nsub = 0;
    skgm_subarea *subs = nullptr;
    if (size >= sizeof(skgm_header) && (control & (kOwnIds | kSegments))) {
      skgm_header *hdr = skgmrfind(reinterpret_cast<void *>(at), segsize);
      subs = table_of(hdr, segsize, &nsub);
      const int32_t old = hdr->shmid;
      if (subs != nullptr && (control & kOwnIds)) {
        hdr->shmid = id;
        for (uint32_t i = 0; i < nsub; i++)
          if (subs[i].shmid == old) {
            subs[i].shmid = id;
            subs[i].segsize = segsize;
          }
      }
      if (subs != nullptr && (control & kSegments)) make_others(&ctx, subs, nsub, hdr->shmid, &made);
    }
    skgm_realm *h = nullptr;
    if (skgmattach(&err, &ctx, &d, &h)) {
      ++skgm_fuzz_attached;
      if (h->nsegs > 1) ++skgm_fuzz_multiseg;
      uint32_t count = 0;
      skgminspect(&err, &ctx, h, nullptr, &count, 0, nullptr, nullptr);
      uint64_t sum = 0;
      if (count > 0) skgmapply(&err, &ctx, h, 0, count, walk, &sum);
      uintptr_t ck = 0;
      skgmgetcookie(&err, &ctx, h, 0, &ck);
      if (control & kConceal) {
        skgmconceal(&err, &ctx, h);
        skgmreveal(&err, &ctx, h);
      }
      if (control & kDestroy) {
        skgmdestroy(&err, &ctx, h);
        skgminspect(&err, &ctx, h, nullptr, &count, 0, nullptr, nullptr);
      }
      skgmdetach(&err, &ctx, h);
    }
    sskgmdt(&err, &ctx, id, segsize, nullptr, &at, 1);
  }
  for (int i = 0; i < made.n; i++) sskgmrm(&err, &ctx, made.ids[i], nullptr, 1);
  // Every segment of this input is gone, and no handle is left.
  for (int i = 0; i < made.n; i++) {
    uint64_t v = 0;
    if (sskgmstat(&err, &ctx, made.ids[i], &v, SKGM_STAT_NATTCH, 1)) leaked();
  }
  if (ctx.handles != nullptr) leaked();
  return 0;
}
