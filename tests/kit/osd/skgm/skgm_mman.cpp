// The instance's memory-manager process for the lock master tests: run with
// an argument 0 beginning "zur_mman_", it creates a realm of dynamic intimate
// memory, has a range locked through the lock master (started on the first
// lock request), checks with mincore that the lock master's lock made the
// range resident, unlocks it, checks liveness and destroys the realm, which
// tells the lock master to exit. Prints what it saw; exit 0 when all went as
// expected, else the number of the failed step.
#include <stdio.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <vector>

#include "skgm.h"
#include "skgm_fixture.h"
#include "sskgm.h"

namespace {

size_t resident(uintptr_t addr, size_t len) {
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  std::vector<unsigned char> vec((len + page - 1) / page);
  if (mincore(reinterpret_cast<void *>(addr), len, vec.data()) != 0) return 0;
  size_t n = 0;
  for (unsigned char c : vec) n += c & 1;
  return n;
}

}  // namespace

int main() {
  constexpr uint64_t kSize = 0x800000;  // two lock grains
  skgm_ctx ctx;
  skgm_test_init(&ctx);
  sl_status err{};
  skgm_area areas[] = {skgm_test_area("dism", kSize, SKGM_AF_INTIMATE | SKGM_AF_STABLE)};
  areas[0].dynsize = kSize;
  skgm_realmdesc d = skgm_test_desc("mman");
  skgm_realm *h = nullptr;
  if (!skgmcreate(&err, &ctx, &d, 1, areas, &h)) return 1;
  // A failed step still deletes the realm.
  auto fail = [&](int step) {
    sl_status ignored{};
    skgmdestroy(&ignored, &ctx, h);
    skgmdetach(&ignored, &ctx, h);
    return step;
  };
  if (!sskgmgetopenv(&err, &ctx, SKGM_OE_DISM)) return fail(2);
  uintptr_t a = 0;
  uint64_t s = 0;
  if (!skgmaddress(&err, &ctx, h, 0, 0, &a, &s)) return fail(3);
  const size_t page = static_cast<size_t>(sysconf(_SC_PAGESIZE));
  const size_t before = resident(a, 4 * page);
  uint32_t result = 0;
  uint16_t loc = 7;
  // The lock widens to the 4 MB grain inside the segment.
  if (!skgmslock(&err, &ctx, h, 0, a + page, 2 * page, 16, &result, &loc)) return fail(4);
  const size_t after = resident(a, 4 * page);
  printf("fd=%d result=%u before=%zu after=%zu\n", sskgm_dism_fd, result, before, after);
  if (sskgm_dism_fd < 0 || result != 16 || before != 0 || after != 4) return fail(5);
  if (!skgmslock(&err, &ctx, h, 0, a + page, 2 * page, 0x20, &result, &loc) || result != 0x20)
    return fail(6);
  result = 1;
  if (!skgmslock(&err, &ctx, h, 0, a, page, 64, &result, nullptr) || result != 1) return fail(7);
  if (!skgmdestroy(&err, &ctx, h) || sskgm_dism_fd != SSKGM_FD_GONE) return 8;
  if (!skgmdetach(&err, &ctx, h)) return 9;
  printf("warning=%s", g_skgm_warning.c_str());
  printf("trace=%s", g_trace.c_str());
  return 0;
}
