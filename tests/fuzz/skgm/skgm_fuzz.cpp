// The realm header reader's fuzz target. The input is the tail of a private
// realm's primary segment (the header and the tables before it): it is placed
// at the end of a private segment under the key of the realm "fuzz", which is
// then attached by name, inspected, walked and detached.
#include <stdint.h>
#include <string.h>

#include "skgm.h"
#include "sskgm.h"

namespace {

constexpr char kName[] = "fuzz";

void quiet(void *, const char *, ...) {}
void quiet_error(void *, const char *, int, ...) {}
const skgm_ops kOps = {quiet, quiet, quiet_error};

int walk(sl_status *, skgm_ctx *, skgm_realm *, skgm_areaent *ent, uintptr_t, uint64_t size,
         uintptr_t *, void *arg) {
  *static_cast<uint64_t *>(arg) += size + ent->area.namelen;
  return 1;
}

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
  skgm_realmdesc d{};
  memcpy(d.name, kName, sizeof kName - 1);
  d.namelen = sizeof kName - 1;
  d.flags = SKGM_RF_PRIVATE;
  const int32_t key = skgmhash(d.name, d.namelen);
  const uint64_t segsize = skgmround(size == 0 ? 1 : size, ctx.protectsize);
  int oserr = 0;
  const int id = sskgmget(&err, &ctx, key, 1, segsize, nullptr, &oserr, 1);
  if (id < 0) return 0;
  uintptr_t at = 0;
  if (sskgmat(&err, &ctx, id, segsize, 0, nullptr, &at, 1)) {
    if (size != 0) memcpy(reinterpret_cast<char *>(at) + segsize - size, data, size);
    skgm_realm *h = nullptr;
    if (skgmattach(&err, &ctx, &d, &h)) {
      uint32_t count = 0;
      skgminspect(&err, &ctx, h, nullptr, &count, 0, nullptr, nullptr);
      uint64_t sum = 0;
      if (count > 0) skgmapply(&err, &ctx, h, 0, count, walk, &sum);
      uintptr_t ck = 0;
      skgmgetcookie(&err, &ctx, h, 0, &ck);
      skgmdetach(&err, &ctx, h);
    }
    sskgmdt(&err, &ctx, id, segsize, nullptr, &at, 1);
  }
  sskgmrm(&err, &ctx, id, nullptr, 1);
  return 0;
}
