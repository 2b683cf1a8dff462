// The realm context, key derivation, the stable-address map and private
// segments and realms. Process-wide state (the subarea size, the private
// list) is exercised in forked children.
#include <errno.h>
#include <stdlib.h>
#include <sys/resource.h>

#include <gtest/gtest.h>

#include "shm_children.h"
#include "skgm.h"
#include "skgm_fixture.h"
#include "sskgm.h"

namespace {

TEST(SkgmArith, RoundTruncLcm) {
  struct Case {
    uint32_t a, b, lcm;
  } const lcms[] = {{4096, 8192, 8192}, {8192, 4096, 8192}, {6, 4, 12}, {4096, 4096, 4096},
                    {3, 5, 15}, {12, 18, 36}};
  for (const Case &c : lcms) EXPECT_EQ(skgmlcm(c.a, c.b), c.lcm) << c.a << " " << c.b;
  EXPECT_EQ(skgmround(1, 4096), 4096u);
  EXPECT_EQ(skgmround(4096, 4096), 4096u);
  EXPECT_EQ(skgmround(0, 4096), 0u);
  EXPECT_EQ(skgmtrunc(4095, 4096), 0u);
  EXPECT_EQ(skgmtrunc(0x100000001ull, 0x1000), 0x100000000ull);
}

TEST(SkgmHash, Examples) {
  EXPECT_EQ(skgmhash("", 0), 4);
  EXPECT_EQ(skgmhash("a", 1), 536);
  EXPECT_EQ(skgmhash("abc", 3), 51976728);
  // Only the given bytes count, and every key is a multiple of four.
  EXPECT_EQ(skgmhash("abcdef", 3), 51976728);
  for (const char *n : {"x", "realm", "a much longer realm name with blanks"})
    EXPECT_EQ(skgmhash(n, strlen(n)) % 4, 0) << n;
}

// A shadow of the key derivation over the bits as a big number, for names
// whose intermediate values cover the whole modulus.
int32_t shadow_hash(const std::string &s) {
  int64_t a = 0;
  for (size_t i = s.size(); i-- > 0;)
    for (int b = 0; b < 8; b++)
      a = (2 * a + ((static_cast<unsigned char>(s[i]) >> b) & 1)) % 1061461267;
  const int32_t k = static_cast<int32_t>(static_cast<uint32_t>(a) << 2);
  return k == 0 ? 4 : k;
}

TEST(SkgmHash, AgainstShadow) {
  std::string s;
  for (int i = 0; i < 300; i++) {
    s.push_back(static_cast<char>((i * 37 + 11) & 0xFF));
    EXPECT_EQ(skgmhash(s.data(), s.size()), shadow_hash(s)) << i;
  }
}

TEST(SkgmContext, InitResetAndSites) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    CHILD_CHECK(skgmcheck(&ctx));
    CHILD_CHECK(ctx.magic == SKGM_CTX_MAGIC && ctx.areaflags == 0xB7 && ctx.realmflags == 15);
    const uint32_t page = static_cast<uint32_t>(sysconf(_SC_PAGESIZE));
    CHILD_CHECK(ctx.mapsize == page && ctx.protectsize == page && ctx.lcmsize == page);
    CHILD_CHECK(ctx.smallestsize == SKGM_SMALLEST && ctx.largestsize == SKGM_LARGEST);
    CHILD_CHECK(ctx.stackdir == -1);
    CHILD_CHECK((ctx.mode & ~0x1B0u) == 0);
    CHILD_CHECK(skgmqsubareasize() == SKGM_SUBAREA_DEFAULT);
    uint32_t lo = 0, hi = 0;
    skgmqsubareasz_range(nullptr, &lo, &hi);
    CHILD_CHECK(lo == 0x100000 && hi == 0x10000000);
    CHILD_CHECK(skgmqprvtmaxalloc(nullptr, &ctx) == SKGM_PRVTMAX - page);

    sl_status err{};
    CHILD_CHECK(skgmreset(&err, &ctx) == 1 && ctx.magic == SKGM_CTX_RESET);
    CHILD_CHECK(!skgmcheck(&ctx));
    // A reset context is refused until zeroed again.
    CHILD_CHECK(skgminit(&err, &ctx, &kSkgmTestOps, nullptr) == 0);
    CHILD_CHECK(err.code == SKGM_ERR_INVALID && skgm_last_is("SKGMINVALID", {1, 0, 0, 0}));
    CHILD_CHECK(skgmreset(&err, &ctx) == 0 && skgm_last_is("SKGMINVALID", {2, 1}));
  });
}

TEST(SkgmContext, SubareaSize) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    skgmsetsubareasz(nullptr, &ctx, 0);
    CHILD_CHECK(skgmqsubareasize() == SKGM_SUBAREA_DEFAULT && ctx.smallestsize == SKGM_SMALLEST);
    skgmsetsubareasz(nullptr, &ctx, 0x200000);  // below smallestsize: that stays
    CHILD_CHECK(skgmqsubareasize() == 0x200000 && ctx.smallestsize == SKGM_SMALLEST);
    skgmsetsubareasz(nullptr, &ctx, 0x800000);
    CHILD_CHECK(skgmqsubareasize() == 0x800000 && ctx.smallestsize == 0x800000);
    skgm_ctx cold{};
    skgmsetsubareasz(nullptr, &cold, 0x100000);  // not initialised: ignored
    CHILD_CHECK(skgmqsubareasize() == 0x800000);
  });
}

void note_call(void *arg) { ++*static_cast<int *>(arg); }

TEST(SkgmContext, StackGuard) {
  IN_CHILD({
    struct rlimit rl;
    CHILD_CHECK(getrlimit(RLIMIT_STACK, &rl) == 0);
    rl.rlim_cur = RLIM_INFINITY;
    if (setrlimit(RLIMIT_STACK, &rl) != 0) return;  // a hard limit forbids it
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    volatile char here = 0;
    const uintptr_t at = reinterpret_cast<uintptr_t>(&here);
    // The limit as the process sees it (an emulator may keep its own).
    CHILD_CHECK(getrlimit(RLIMIT_STACK, &rl) == 0);
    const uintptr_t cap = 0x10000000;
    const uintptr_t depth =
        (rl.rlim_cur == RLIM_INFINITY || rl.rlim_cur > cap ? cap : rl.rlim_cur) - 0x80000;
    // The guard lies the capped depth below this frame's neighbour.
    CHILD_CHECK(ctx.stacklimit < at && at - ctx.stacklimit > depth - 0x10000 &&
                at - ctx.stacklimit < depth + 0x10000);
    sl_status err{};
    int calls = 0;
    CHILD_CHECK(skgmstack(&err, &ctx, 0x1000, note_call, &calls) == 1 && calls == 1);
    CHILD_CHECK(skgmstack(&err, &ctx, depth + 0x100000, note_call, &calls) == 0 &&
                err.code == SKGM_ERR_NOMEM && calls == 1);
    sskgmsetopenv(&err, &ctx, SKGM_OE_NOSTACK, SKGM_OPENV_SET);
    CHILD_CHECK(skgmstack(&err, &ctx, depth + 0x100000, note_call, &calls) == 1 && calls == 2);
    CHILD_CHECK(skgmstack(&err, &ctx, 0, note_call, &calls) == 0 &&
                skgm_last_is("SKGMINVALID", {3, SKGM_CTX_MAGIC, 0}));
  });
}

TEST(SkgmContext, OpenEnvironment) {
  skgm_ctx ctx{};
  sl_status err{};
  sskgmsetopenv(&err, &ctx, 0x6, SKGM_OPENV_SET);
  EXPECT_EQ(ctx.openenv, 0x6u);
  sskgmsetopenv(&err, &ctx, 0x2, SKGM_OPENV_CLEAR);
  EXPECT_EQ(ctx.openenv, 0x4u);
  sskgmsetopenv(&err, &ctx, 0x1, 3);
  EXPECT_EQ(ctx.openenv, 0x4u);
  EXPECT_EQ(sskgmgetopenv(&err, &ctx, 0x5), 1);
  EXPECT_EQ(sskgmgetopenv(&err, &ctx, 0x1), 0);
  EXPECT_EQ(sskgmgetopenv(&err, nullptr, 0x4), 0);
  sskgmsetopenv(&err, nullptr, 0x4, SKGM_OPENV_SET);  // nothing to do
}

TEST(SkgmStable, MapAndChoice) {
  skgm_ctx ctx{};
  sl_status err{};
  const uintptr_t base = sskgm_window_base();
  uintptr_t addr = 0;
  ASSERT_EQ(sskgmqstable(&err, &ctx, 1, 0, &addr, 0), 1);
  EXPECT_EQ(addr, base);
  // Units 0 and 1 used: the next segment starts at unit 2.
  sskgmblock(&ctx, base, SKGM_UNIT + 1);
  EXPECT_EQ(ctx.usedmap[0], 0xC0000000u);
  ASSERT_EQ(sskgmqstable(&err, &ctx, 1, 0, &addr, 0), 1);
  EXPECT_EQ(addr, base + 2 * SKGM_UNIT);
  // Clearing one of two overlapping users' ranges clears its own units only.
  sskgmblock(&ctx, base + 3 * SKGM_UNIT, SKGM_UNIT);
  sskgmunblock(&ctx, base + SKGM_UNIT, SKGM_UNIT);
  EXPECT_EQ(ctx.usedmap[0], 0x90000000u);
  // Ranges outside the window change nothing; clipped ranges mark their part.
  sskgmblock(&ctx, base - 2 * SKGM_UNIT, SKGM_UNIT);
  EXPECT_EQ(ctx.usedmap[0], 0x90000000u);
  sskgmblock(&ctx, base + SKGM_WINDOW_LEN - SKGM_UNIT, 4 * SKGM_UNIT);
  EXPECT_EQ(ctx.usedmap[SKGM_MAPBITS / 32 - 1], 1u);
  // 1.5 units need two free units after the lowest used one: 1 and 2 are
  // free, so 1; with 2 used too, the first run after unit 3.
  ASSERT_EQ(sskgmqstable(&err, &ctx, SKGM_UNIT + SKGM_UNIT / 2, 0, &addr, 0), 1);
  EXPECT_EQ(addr, base + SKGM_UNIT);
  sskgmblock(&ctx, base + 2 * SKGM_UNIT, 1);
  ASSERT_EQ(sskgmqstable(&err, &ctx, SKGM_UNIT + SKGM_UNIT / 2, 0, &addr, 0), 1);
  EXPECT_EQ(addr, base + 4 * SKGM_UNIT);
  // A run below the lowest used unit is taken when none is free above it; a
  // segment below one unit still needs two free units.
  skgm_ctx low{};
  for (uint32_t u = 2; u < SKGM_MAPBITS; u++) sskgmblock(&low, base + u * SKGM_UNIT, 1);
  ASSERT_EQ(sskgmqstable(&err, &low, SKGM_UNIT, 0, &addr, 0), 1);
  EXPECT_EQ(addr, base);
  sskgmblock(&low, base, 1);
  EXPECT_EQ(sskgmqstable(&err, &low, SKGM_UNIT, 0, &addr, 0), 0);
  EXPECT_EQ(err.code, SKGM_ERR_ATTACH);
  // Private realms take no stable address.
  ASSERT_EQ(sskgmqstable(&err, &low, SKGM_UNIT, 0, &addr, 1), 1);
  EXPECT_EQ(addr, 0u);
}

TEST(SkgmPrivate, Segments) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    int e = 0;
    const int a = sskgmget(&err, &ctx, 0, 1, 5000, nullptr, &e, 1);
    const int b = sskgmget(&err, &ctx, 0, 1, 5000, nullptr, &e, 1);
    CHILD_CHECK(a >= 1 && b == a + 1);
    CHILD_CHECK(sskgmget(&err, &ctx, 77, 1, 8192, nullptr, &e, 1) > b);
    CHILD_CHECK(sskgmget(&err, &ctx, 77, 1, 8192, nullptr, &e, 1) == -1 && e == EEXIST &&
                err.code == SKGM_ERR_GET);
    CHILD_CHECK(sskgmget(&err, &ctx, 77, 0, 9000, nullptr, &e, 1) == -1 && e == EINVAL);
    CHILD_CHECK(sskgmget(&err, &ctx, 78, 0, 0, nullptr, &e, 1) == -1 && e == ENOENT);
    const int c = sskgmget(&err, &ctx, 77, 0, 0, nullptr, &e, 1);
    uintptr_t at = 0;
    CHILD_CHECK(sskgmat(&err, &ctx, c, 8192, 0x1234000, nullptr, &at, 1) == 1);
    CHILD_CHECK(at % ctx.protectsize == 0);
    memset(reinterpret_cast<void *>(at), 0x5A, 8192);
    uint64_t v = 0;
    CHILD_CHECK(sskgmstat(&err, &ctx, c, &v, SKGM_STAT_NATTCH, 1) == 1 && v == 1);
    CHILD_CHECK(sskgmstat(&err, &ctx, c, &v, SKGM_STAT_SIZE, 1) == 1 && v == 8192);
    // Deleted while attached: no longer found, gone at the last detach.
    CHILD_CHECK(sskgmrm(&err, &ctx, c, nullptr, 1) == 1);
    CHILD_CHECK(sskgmget(&err, &ctx, 77, 0, 0, nullptr, &e, 1) == -1 && e == ENOENT);
    CHILD_CHECK(sskgmdt(&err, &ctx, c, 8192, nullptr, &at, 1) == 1);
    CHILD_CHECK(sskgmstat(&err, &ctx, c, &v, SKGM_STAT_SIZE, 1) == 0 && err.code == SKGM_ERR_STAT);
    CHILD_CHECK(sskgmrm(&err, &ctx, c, nullptr, 1) == 0 && err.code == SKGM_ERR_RM);
    CHILD_CHECK(sskgmat(&err, &ctx, 999, 1, 0, nullptr, &at, 1) == 0 &&
                err.code == SKGM_ERR_ATTACH && err.oserr == EINVAL);
  });
}

TEST(SkgmPrivate, RealmLifecycle) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_realmdesc d = skgm_test_desc("priv", SKGM_RF_PRIVATE);
    skgm_area areas[] = {skgm_test_area("one", 10000), skgm_test_area("two", 3 * 4096, SKGM_AF_ONESEG)};
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 1 && h != nullptr);
    uint32_t count = 9;
    skgm_area out[2];
    uint32_t nsub[2];
    skgm_realmdesc dout{};
    CHILD_CHECK(skgminspect(&err, &ctx, h, &dout, &count, 2, out, nsub) == 1 && count == 2);
    CHILD_CHECK(dout.namelen == d.namelen && memcmp(out[0].name, "one", 3) == 0 && nsub[1] == 1);
    uintptr_t a0 = 0, a1 = 0;
    uint64_t s0 = 0, s1 = 0;
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a0, &s0) == 1 && s0 >= 10000);
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 1, 0, &a1, &s1) == 1 && s1 == 3 * 4096u);
    memset(reinterpret_cast<void *>(a0), 1, 10000);
    memset(reinterpret_cast<void *>(a1), 2, s1);
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 2, 0, &a1, &s1) == 0 &&
                skgm_last_is("SKGMINVALID", {7, 2, 0}));
    CHILD_CHECK(skgmsetcookie(&err, &ctx, h, 3, 0xFEED) == 1);
    uintptr_t ck = 0;
    CHILD_CHECK(skgmgetcookie(&err, &ctx, h, 2, &ck) == 0 && err.code == SKGM_ERR_NOREALM);
    CHILD_CHECK(skgmsetcookie(&err, &ctx, h, 4, 1) == 0 && skgm_last_is("SKGMINVALID", {15, 4}));
    CHILD_CHECK(skgmreset(&err, &ctx) == 0);
    CHILD_CHECK(skgmdetach(&err, &ctx, h) == 1);
    // Attached again by name, the private realm shows the same bytes.
    skgm_realm *h2 = nullptr;
    CHILD_CHECK(skgmattach(&err, &ctx, &d, &h2) == 1);
    CHILD_CHECK(skgmgetcookie(&err, &ctx, h2, 3, &ck) == 1 && ck == 0xFEED);
    uintptr_t b0 = 0;
    CHILD_CHECK(skgmaddress(&err, &ctx, h2, 0, 0, &b0, &s0) == 1 && b0 == a0);
    CHILD_CHECK(reinterpret_cast<unsigned char *>(b0)[9999] == 1);
    uint64_t n = 0;
    CHILD_CHECK(skgmattach_count(&err, &ctx, h2, &n) == 1 && n == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h2) == 1);
    // Destroyed but still attached: the memory stays until the detach.
    CHILD_CHECK(reinterpret_cast<unsigned char *>(b0)[0] == 1);
    CHILD_CHECK(skgmdetach(&err, &ctx, h2) == 1);
    CHILD_CHECK(skgmattach(&err, &ctx, &d, &h2) == 0 && err.code == SKGM_ERR_NOREALM);
    CHILD_CHECK(skgmreset(&err, &ctx) == 1);
  });
}

TEST(SkgmHandles, Checks) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmhmalloc(&err, &ctx, 3, &h) == 1 && ctx.handles == h);
    skgm_realm stranger{};
    CHILD_CHECK(skgmhcheck(&err, &ctx, 1, &stranger, 4) == 0 &&
                skgm_last_is("SKGMBADHANDLE", {2, 4}));
    CHILD_CHECK(skgmhcheck(&err, &ctx, 1, nullptr, 6) == 0 &&
                skgm_last_is("SKGMINVALID", {12, SKGM_CTX_MAGIC, 6}));
    h->hdr.realm.flags = SKGM_RF_RDONLY;
    CHILD_CHECK(skgmhcheck(&err, &ctx, 1, h, 3) == 1);
    CHILD_CHECK(skgmhcheck(&err, &ctx, 0, h, 7) == 0 && skgm_last_is("SKGMBADROHANDLE", {1, 7}));
    CHILD_CHECK(skgmhfree(&err, &ctx, h) == 1 && ctx.handles == nullptr);
    CHILD_CHECK(skgmhfree(&err, &ctx, &stranger) == 0 && skgm_last_is("SKGMBADHANDLE", {1}));
  });
}

}  // namespace
