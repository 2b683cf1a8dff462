// System V realms: creation, attach from another process, grouping and
// splitting, protection, locking in memory, the key search and its refusals.
// Every segment is made in a forked child; the parent removes what its
// children created (shm_children.h).
#include <errno.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/shm.h>

#include <set>

#include <gtest/gtest.h>

#include "ism.h"
#include "shm_children.h"
#include "skgm.h"
#include "skgm_fixture.h"
#include "slmisc.h"
#include "sskgm.h"

namespace {

constexpr uint64_t kPage = 4096;

int segments_of(const skgm_realm *h) {
  std::set<int32_t> ids;
  for (uint32_t i = 0; i < h->hdr.nsub; i++) ids.insert(h->subs[i].shmid);
  return static_cast<int>(ids.size());
}

void write_all(int fd, const void *p, size_t n) { CHILD_CHECK(write(fd, p, n) == (ssize_t)n); }
void read_all(int fd, void *p, size_t n) { CHILD_CHECK(read(fd, p, n) == (ssize_t)n); }

// One process creates; a second, fresh process attaches by name and finds the
// same header bytes, the same stable addresses and contents, and the cookies.
TEST(SkgmRealm, SharedAcrossProcesses) {
  SHM_CHILD({
    int go[2], back[2];
    CHILD_CHECK(pipe(go) == 0 && pipe(back) == 0);
    skgm_realmdesc d = skgm_test_desc("shared");
    const pid_t peer = fork();
    if (peer == 0) {  // attaches once the realm exists
      char ready;
      read_all(go[0], &ready, 1);
      skgm_ctx ctx;
      skgm_test_init(&ctx);
      sl_status err{};
      skgm_realm *h = nullptr;
      CHILD_CHECK(skgmattach(&err, &ctx, &d, &h) == 1);
      uintptr_t want[2];
      read_all(go[0], want, sizeof want);
      uintptr_t a = 0;
      uint64_t s = 0;
      CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a, &s) == 1 && a == want[0]);
      CHILD_CHECK(reinterpret_cast<unsigned char *>(a)[s - 1] == 0xA5);
      uint64_t n = 0;
      CHILD_CHECK(skgmattach_count(&err, &ctx, h, &n) == 1 && n == 2);
      CHILD_CHECK(reinterpret_cast<uintptr_t>(h->shared) == want[1]);
      uintptr_t ck = 0;
      CHILD_CHECK(skgmgetcookie(&err, &ctx, h, 0, &ck) == 1 && ck == 0xC0FFEE);
      CHILD_CHECK(skgmsetcookie(&err, &ctx, h, 1, 42) == 1);
      skgm_header copy;
      read_all(go[0], &copy, sizeof copy);
      CHILD_CHECK(memcmp(&copy, h->shared, offsetof(skgm_header, cookies)) == 0);
      CHILD_CHECK(skgmdetach(&err, &ctx, h) == 1 && skgmreset(&err, &ctx) == 1);
      write_all(back[1], "k", 1);
      _exit(0);
    }
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("stable", 256 * 1024, SKGM_AF_STABLE),
                         skgm_test_area("plain", 3 * kPage)};
    skgm_realm *h = nullptr;
    if (!skgm_fixed_attach_works()) {
      write_all(go[1], "x", 1);  // the peer reads no realm and ends
      skgm_check_stable_refused(&ctx, &d, 2, areas);
      kill(peer, SIGKILL);
      waitpid(peer, nullptr, 0);
      return;
    }
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 1);
    CHILD_CHECK(h->hdr.magic == SKGM_HDR_MAGIC && h->hdr.version == 3 && h->hdr.nareas == 3);
    CHILD_CHECK(h->hdr.basekey == skgmhash(d.name, d.namelen) &&
                h->hdr.key >= h->hdr.basekey && h->hdr.key < h->hdr.basekey + 4);
    CHILD_CHECK(memcmp(h->areas[2].area.name, "skgm overhead", 13) == 0);
    uintptr_t a = 0;
    uint64_t s = 0;
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a, &s) == 1 && s == 256 * 1024);
    CHILD_CHECK(a >= sskgm_window_base() && a - sskgm_window_base() < SKGM_WINDOW_LEN);
    memset(reinterpret_cast<void *>(a), 0xA5, s);
    CHILD_CHECK(skgmsetcookie(&err, &ctx, h, 0, 0xC0FFEE) == 1);
    const uintptr_t want[2] = {a, reinterpret_cast<uintptr_t>(h->shared)};
    write_all(go[1], "g", 1);
    write_all(go[1], want, sizeof want);
    write_all(go[1], h->shared, sizeof(skgm_header));
    char done;
    read_all(back[0], &done, 1);
    int st = 0;
    waitpid(peer, &st, 0);
    CHILD_CHECK(WIFEXITED(st) && WEXITSTATUS(st) == 0);
    uintptr_t ck = 0;
    CHILD_CHECK(skgmgetcookie(&err, &ctx, h, 1, &ck) == 1 && ck == 42);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
    CHILD_CHECK(ctx.usedmap[0] == 0);
  });
}

TEST(SkgmRealm, BusyReadOnlyAndAnyAddress) {
  SHM_CHILD({
    skgm_ctx c1, c2;
    skgm_test_init(&c1);
    skgm_test_init(&c2);
    sl_status err{};
    skgm_realmdesc d = skgm_test_desc("busy");
    skgm_area areas[] = {skgm_test_area("a", 8 * kPage)};
    skgm_realm *h = nullptr, *h2 = nullptr, *ro = nullptr;
    CHILD_CHECK(skgmcreate(&err, &c1, &d, 1, areas, &h) == 1);
    CHILD_CHECK(skgmattach(&err, &c1, &d, &h2) == 0 && skgm_last_is("SKGMBUSY", {1}));
    skgm_realmdesc rd = d;
    rd.flags = SKGM_RF_RDONLY;
    CHILD_CHECK(skgmattach(&err, &c2, &rd, &ro) == 1);
    uint32_t n = 0, np = 0;
    CHILD_CHECK(skgminspect(&err, &c2, ro, nullptr, &n, 0, nullptr, nullptr) == 1 && n == 1);
    uintptr_t a = 0, a1 = 0;
    uint64_t s = 0;
    CHILD_CHECK(skgmaddress(&err, &c2, ro, 0, 0, &a, &s) == 1);
    CHILD_CHECK(skgmaddress(&err, &c1, h, 0, 0, &a1, &s) == 1 && a != a1);
    CHILD_CHECK(skgmsprotect(&err, &c2, ro, 0, a, kPage, 1, 0, &np) == 0 &&
                skgm_last_is("SKGMBADROHANDLE", {1, 5}));
    CHILD_CHECK(skgmslock(&err, &c2, ro, 0, a, kPage, 16, nullptr, nullptr) == 0 &&
                skgm_last_is("SKGMBADROHANDLE", {1, 5}));
    CHILD_CHECK(skgmsetcookie(&err, &c2, ro, 0, 1) == 0 && skgm_last_is("SKGMBADROHANDLE", {1, 7}));
    uintptr_t ck;
    CHILD_CHECK(skgmgetcookie(&err, &c2, ro, 0, &ck) == 0 && skgm_last_is("SKGMBADROHANDLE", {1, 8}));
    CHILD_CHECK(skgmdestroy(&err, &c2, ro) == 0);
    // The read-only attach can be read but not written.
    reinterpret_cast<volatile char *>(a1)[5] = 9;
    CHILD_CHECK(reinterpret_cast<volatile char *>(a)[5] == 9);
    const int rc = in_child([&] {
      struct sigaction sa{};
      sa.sa_handler = [](int) { _exit(77); };
      sigaction(SIGSEGV, &sa, nullptr);
      reinterpret_cast<volatile char *>(a)[5] = 1;
    });
    CHILD_CHECK(rc == 77);
    CHILD_CHECK(sskgmgetopenv(&err, &c2, SKGM_OE_RDONLY));
    CHILD_CHECK(skgmdetach(&err, &c2, ro) == 1);
    CHILD_CHECK(skgmdestroy(&err, &c1, h) == 1 && skgmdetach(&err, &c1, h) == 1);
  });
}

struct BadArea {
  const char *what;
  skgm_area area;
  std::vector<uint64_t> values;  // SKGMBADAREA values; empty: 27102 unreported
};

skgm_area with(skgm_area a, void (*f)(skgm_area &)) {
  f(a);
  return a;
}

TEST(SkgmCreate, BadAreas) {
  const uint64_t fixed = sskgm_window_base() + 40 * SKGM_UNIT;
  const skgm_area ok = skgm_test_area("x", 8 * kPage);
  const BadArea cases[] = {
      {"flags", with(ok, [](skgm_area &a) { a.flags = 0x8; }), {1, 1, 0x8, 0xB7}},
      {"fixed without stable", with(ok, [](skgm_area &a) { a.flags = 0x5; a.address = 0x1000; }),
       {3, 1, 0x5}},
      {"fixed at 0", with(ok, [](skgm_area &a) { a.flags = 0x7; }), {3, 1, 0x7}},
      {"address unfixed", with(ok, [](skgm_area &a) { a.address = 0x1000; }), {4, 1, 0}},
      {"size 0", with(ok, [](skgm_area &a) { a.size = 0; }), {5, 1}},
      {"minsub above size", with(ok, [](skgm_area &a) { a.minsub = 0x10000; }), {12, 1, 0x10000}},
      {"minsub not 2^n", with(ok, [](skgm_area &a) { a.minsub = 3 * 4096; }), {12, 1, 3 * 4096}},
      {"minsub above subarea", with(ok, [](skgm_area &a) { a.minsub = 0x2000000; a.size = 0x4000000; }), {}},
      {"numa no owners", with(ok, [](skgm_area &a) { a.flags = 0x80; }), {7, 1}},
      {"owners no numa", with(ok, [](skgm_area &a) { a.nowners = 1; }), {6, 1}},
      {"owner missing", with(ok, [](skgm_area &a) { a.flags = 0x80; a.nowners = 2; a.owners[0] = 1; a.owners[1] = 5; }),
       {8, 1, 1, 5}},
      {"owner 32 up", with(ok, [](skgm_area &a) { a.flags = 0x80; a.nowners = 1; a.owners[0] = 40; }),
       {8, 1, 0, 40}},
      {"owner twice", with(ok, [](skgm_area &a) { a.flags = 0x80; a.nowners = 2; a.owners[0] = 2; a.owners[1] = 2; }),
       {9, 1, 1, 2}},
      {"owner tail", with(ok, [](skgm_area &a) { a.flags = 0x80; a.nowners = 1; a.owners[7] = 3; }),
       {10, 1, 7}},
  };
  for (const BadArea &c : cases) {
    const int rc = shm_child([&] {
      setenv("SIM_NUMA", c.values.size() > 3 && c.values[3] == 40 ? "64" : "4", 1);
      unsetenv("DISABLE_NUMA");
      skgm_ctx ctx;
      skgm_test_init(&ctx);
      sl_status err{};
      skgm_area areas[] = {ok, c.area};
      skgm_realmdesc d = skgm_test_desc("bad");
      skgm_realm *h = nullptr;
      CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 0);
      if (c.values.empty()) {
        CHILD_CHECK(err.code == SKGM_ERR_NOMEM && g_skgm_errors.empty());
      } else {
        CHILD_CHECK(err.code == SKGM_ERR_INVALID && skgm_last_is("SKGMBADAREA", c.values));
      }
      CHILD_CHECK(ctx.handles == nullptr);
    });
    EXPECT_EQ(rc, 0) << c.what;
  }
  // Two fixed areas that overlap name both; the argument checks give site 4.
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("f1", 4 * kPage, 0x7), ok, skgm_test_area("f2", 4 * kPage, 0x7)};
    areas[0].address = fixed + 2 * kPage;
    areas[2].address = fixed;
    skgm_realmdesc d = skgm_test_desc("overlap");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 3, areas, &h) == 0 &&
                skgm_last_is("SKGMBADAREA", {11, 2, 0}));
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 0, areas, &h) == 0 &&
                skgm_last_is("SKGMINVALID", {4, d.namelen, 0, 0}));
    skgm_realmdesc longname{};
    longname.namelen = 257;
    CHILD_CHECK(skgmcreate(&err, &ctx, &longname, 1, areas + 1, &h) == 0 &&
                skgm_last_is("SKGMINVALID", {4, 257, 0, 1}));
    for (uint32_t f : {0x2u, 0x4u}) {
      d.flags = f;
      CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas + 1, &h) == 0 &&
                  skgm_last_is("SKGMINVALID", {4, d.namelen, f, 1}));
    }
  });
}

TEST(SkgmCreate, FixedGroupSharesOneSegment) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    const uintptr_t at = sskgm_window_base() + 16 * SKGM_UNIT;
    skgm_area areas[] = {skgm_test_area("plain", 5 * kPage),
                         skgm_test_area("fixed", 16 * kPage, SKGM_AF_ONESEG | SKGM_AF_STABLE | SKGM_AF_FIXED)};
    areas[1].address = at;
    skgm_realmdesc d = skgm_test_desc("fixed");
    skgm_realm *h = nullptr;
    if (!skgm_fixed_attach_works()) return skgm_check_stable_refused(&ctx, &d, 2, areas);
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 1);
    CHILD_CHECK(segments_of(h) == 1 && h->hdr.nsub == 3);
    uintptr_t a = 0, b = 0;
    uint64_t s = 0;
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 1, 0, &a, &s) == 1 && a == at);
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &b, &s) == 1 && b == at + 16 * kPage);
    // The caller's order is kept in the area table.
    CHILD_CHECK(h->areas[0].area.size == 5 * kPage && h->areas[1].area.address == at);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

// The system refuses segments above 3 MB: the group drops its last areas
// first; an area larger than largestsize is cut into pieces.
TEST(SkgmCreate, SplittingUnderRefusals) {
  SHM_CHILD({
    qen_shm_max_size = 3 * 0x100000;
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    ctx.smallestsize = 0x100000;
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("a", 2 * 0x100000), skgm_test_area("b", 2 * 0x100000)};
    skgm_realmdesc d = skgm_test_desc("split");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 1);
    CHILD_CHECK(segments_of(h) == 2 && err.code == 0);
    CHILD_CHECK(g_skgm_warning.find("WARNING: EINVAL creating segment of size 0x") == 0);
    CHILD_CHECK(g_skgm_warning.find("EINVAL", 20) == std::string::npos);  // once only
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);

    ctx.largestsize = 4 * 0x100000;
    skgm_area big[] = {skgm_test_area("big", 10 * 0x100000)};
    skgm_realmdesc d2 = skgm_test_desc("pieces");
    CHILD_CHECK(skgmcreate(&err, &ctx, &d2, 1, big, &h) == 1);
    CHILD_CHECK(h->areas[0].nsub >= 4);
    uint64_t sum = 0;
    for (uint32_t j = 0; j < h->areas[0].nsub; j++) {
      const skgm_subarea &s = h->subs[h->areas[0].firstsub + j];
      CHILD_CHECK(s.segsize <= 3 * 0x100000 && s.area == 0);
      sum += s.size;
    }
    CHILD_CHECK(sum >= 10 * 0x100000);
    // Every byte of the area can be written, piece after piece.
    for (uint32_t j = 0; j < h->areas[0].nsub; j++) {
      uintptr_t a = 0;
      uint64_t s = 0;
      CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, j, &a, &s) == 1);
      memset(reinterpret_cast<void *>(a), static_cast<int>(j), s);
    }
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);

    // An area of one segment is never cut.
    big[0].flags = SKGM_AF_ONESEG;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d2, 1, big, &h) == 0 && err.code == SKGM_ERR_NOMEM);
    // Pieces that no longer shrink (minsub 1 MB, refusals from 512 KB) end
    // the retries.
    qen_shm_max_size = 0x80000;
    ctx.smallestsize = 0x10000;
    skgm_area ms[] = {skgm_test_area("ms", 4 * 0x100000, 0, 0x100000)};
    CHILD_CHECK(skgmcreate(&err, &ctx, &d2, 1, ms, &h) == 0 && err.code == SKGM_ERR_NOMEM);
    CHILD_CHECK(ctx.handles == nullptr);
  });
}

TEST(SkgmRealm, ProtectRanges) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    ctx.largestsize = 0x100000;
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("p", 0x180000)};
    skgm_realmdesc d = skgm_test_desc("prot");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1 && h->areas[0].nsub == 2);
    uintptr_t a = 0;
    uint64_t s = 0;
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a, &s) == 1);
    uint32_t np = 9;
    CHILD_CHECK(skgmsprotect(&err, &ctx, h, 0, a + 100, 100, 0, 0, &np) == 1 && np == 3);
    CHILD_CHECK(skgmsprotect(&err, &ctx, h, 0, a + 10, 2 * kPage, 0, 0, &np) == 1 && np == 0);
    CHILD_CHECK(slrac(reinterpret_cast<void *>(a + kPage), 1) == 1 &&
                slrac(reinterpret_cast<void *>(a), 1) == 0);
    CHILD_CHECK(skgmsprotect(&err, &ctx, h, 0, a + kPage, kPage, 3, 0, &np) == 1 && np == 3);
    CHILD_CHECK(slrac(reinterpret_cast<void *>(a + kPage), 1) == 0);
    const uint32_t first = h->areas[0].firstsub;
    CHILD_CHECK(skgmsprotect(&err, &ctx, h, 0, a + s - kPage, 2 * kPage, 1, 0, &np) == 0 &&
                skgm_last_is("SKGMINVALID", {9, first}));
    CHILD_CHECK(skgmsprotect(&err, &ctx, h, 0, 0x1000, kPage, 1, 0, &np) == 0 &&
                skgm_last_is("SKGMINVALID", {10, first + 2}));
    CHILD_CHECK(skgmsprotect(&err, &ctx, h, 0, a, kPage, 4, 0, &np) == 0 &&
                skgm_last_is("SKGMINVALID", {8, kPage, 4, 0}));
    CHILD_CHECK(skgmslock(&err, &ctx, h, 0, a + s - kPage, 2 * kPage, 16, nullptr, nullptr) == 0 &&
                skgm_last_is("SKGMINVALID", {18, first}));
    // Process memory outside realms is protected as asked.
    void *m = mmap(nullptr, 2 * kPage, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
    CHILD_CHECK(skgmpprotect(&err, &ctx, reinterpret_cast<uintptr_t>(m), 2 * kPage, 0, &np) == 1 &&
                np == 0 && slrac(m, 1) == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

TEST(SkgmRealm, LockedInMemory) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("locked", 4 * kPage, SKGM_AF_LOCK)};
    skgm_realmdesc d = skgm_test_desc("lock");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1);
    CHILD_CHECK(h->areas[1].area.flags & SKGM_AF_LOCK);
    struct shmid_ds ds;
    CHILD_CHECK(shmctl(h->hdr.shmid, IPC_STAT, &ds) == 0 && (ds.shm_perm.mode & SHM_LOCKED));
    // A locked area needs no lock master.
    CHILD_CHECK(skgmslock(&err, &ctx, h, 0, h->addrs[0], kPage, 16, nullptr, nullptr) == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

// The header is trusted only where its counts fit; a second segment that
// identifies as the realm makes create and attach fail; all four keys taken
// by strangers fail creation with SKGMHASH and attach with 27101.
TEST(SkgmRealm, KeySearch) {
  SHM_CHILD({
    skgm_ctx c1, c2;
    skgm_test_init(&c1);
    skgm_test_init(&c2);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("k", 2 * kPage)};
    skgm_realmdesc d = skgm_test_desc("keys");
    skgm_realm *h = nullptr, *h2 = nullptr;
    CHILD_CHECK(skgmcreate(&err, &c1, &d, 1, areas, &h) == 1);
    CHILD_CHECK(skgmcreate(&err, &c2, &d, 1, areas, &h2) == 0 && err.code == SKGM_ERR_EXISTS);

    // A copy of the primary's tail under the next key that still names the
    // original segment is not the realm (a stale header)...
    const uint64_t seg = h->subs[h->hdr.primary].segsize;
    const int32_t other = h->hdr.key + 1;
    const int id = shmget(other, seg, IPC_CREAT | IPC_EXCL | 0600);
    CHILD_CHECK(id >= 0);
    auto *copy = static_cast<char *>(shmat(id, nullptr, 0));
    const char *prim = reinterpret_cast<const char *>(h->addrs[0]);
    memcpy(copy, prim, seg);
    auto *chdr = reinterpret_cast<skgm_header *>(copy + seg - sizeof(skgm_header));
    chdr->key = other;
    CHILD_CHECK(skgmattach(&err, &c2, &d, &h2) == 1 && h2->hdr.shmid == h->hdr.shmid &&
                skgmdetach(&err, &c2, h2) == 1);
    // ...while one that names its own segment claims the realm too.
    chdr->shmid = id;
    for (uint32_t i = 0; i < chdr->nsub; i++) skgmsafind(chdr)[i].shmid = id;
    CHILD_CHECK(skgmattach(&err, &c2, &d, &h2) == 0 && err.code == SKGM_ERR_EXISTS);
    // The same copy with counts that do not fit its segment is not the realm.
    reinterpret_cast<skgm_header *>(copy + seg - sizeof(skgm_header))->nsub = 0x7FFFFFF;
    CHILD_CHECK(skgmattach(&err, &c2, &d, &h2) == 1 && skgmdetach(&err, &c2, h2) == 1);
    reinterpret_cast<skgm_header *>(copy + seg - sizeof(skgm_header))->nsub = h->hdr.nsub;
    reinterpret_cast<skgm_areaent *>(copy + seg - sizeof(skgm_header))[-1].firstsub = 99;
    CHILD_CHECK(skgmattach(&err, &c2, &d, &h2) == 1 && skgmdetach(&err, &c2, h2) == 1);
    shmdt(copy);
    shmctl(id, IPC_RMID, nullptr);
    CHILD_CHECK(skgmdestroy(&err, &c1, h) == 1 && skgmdetach(&err, &c1, h) == 1);

    // Strangers on all four keys (one smaller than a page).
    const int32_t base = skgmhash(d.name, d.namelen);
    int ids[4];
    for (int k = 0; k < 4; k++) {
      ids[k] = shmget(base + k, k == 0 ? 100 : 2 * kPage, IPC_CREAT | IPC_EXCL | 0600);
      CHILD_CHECK(ids[k] >= 0);
    }
    CHILD_CHECK(skgmcreate(&err, &c1, &d, 1, areas, &h) == 0 &&
                skgm_last_is("SKGMHASH", {1, static_cast<uint64_t>(base)}));
    CHILD_CHECK(skgmattach(&err, &c1, &d, &h) == 0 && err.code == SKGM_ERR_NOREALM);
    for (int k = 0; k < 4; k++) shmctl(ids[k], IPC_RMID, nullptr);
  });
}

TEST(SkgmRealm, ConcealReveal) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("s1", 4 * kPage, SKGM_AF_STABLE | SKGM_AF_LOCK),
                         skgm_test_area("s2", 4 * kPage, SKGM_AF_STABLE)};
    skgm_realmdesc d = skgm_test_desc("reveal");
    skgm_realm *h = nullptr;
    if (!skgm_fixed_attach_works()) return skgm_check_stable_refused(&ctx, &d, 2, areas);
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 1 && segments_of(h) == 2);
    uintptr_t a = 0, b = 0, a2 = 0;
    uint64_t s = 0;
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a, &s) == 1);
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 1, 0, &b, &s) == 1);
    memset(reinterpret_cast<void *>(a), 7, kPage);
    std::set<int32_t> ids;
    for (uint32_t i = 0; i < h->hdr.nsub; i++) ids.insert(h->subs[i].shmid);
    CHILD_CHECK(skgmconceal(&err, &ctx, h) == 1 && slrac(reinterpret_cast<void *>(a), 1) == 1);
    // A concealed handle serves only detach, reveal and the attach count.
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a2, &s) == 0 && skgm_last_is("SKGMBADHANDLE", {3, 4}));
    uint64_t n = 9;
    CHILD_CHECK(skgmattach_count(&err, &ctx, h, &n) == 1 && n == 0);
    CHILD_CHECK(ctx.usedmap[0] == 0 && ctx.handles == h);
    CHILD_CHECK(skgmreveal(&err, &ctx, h) == 1);
    CHILD_CHECK(skgmaddress(&err, &ctx, h, 0, 0, &a2, &s) == 1 && a2 == a);
    CHILD_CHECK(reinterpret_cast<unsigned char *>(a)[kPage - 1] == 7);
    // Something else now sits where the second area was: nothing comes back.
    CHILD_CHECK(skgmconceal(&err, &ctx, h) == 1);
    const uintptr_t taken = a < b ? b : a;
    void *m = mmap(reinterpret_cast<void *>(taken), kPage, PROT_READ,
                   MAP_PRIVATE | MAP_ANONYMOUS | MAP_FIXED_NOREPLACE, -1, 0);
    CHILD_CHECK(m == reinterpret_cast<void *>(taken));
    CHILD_CHECK(skgmreveal(&err, &ctx, h) == 0);
    struct shmid_ds ds;
    for (int32_t id : ids) CHILD_CHECK(shmctl(id, IPC_STAT, &ds) == 0 && ds.shm_nattch == 0);
    munmap(m, kPage);
    CHILD_CHECK(skgmreveal(&err, &ctx, h) == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

int count_sub(sl_status *, skgm_ctx *, skgm_realm *, skgm_areaent *, uintptr_t addr, uint64_t size,
              uintptr_t *cell, void *arg) {
  auto *n = static_cast<uint64_t *>(arg);
  if (*cell != addr || size == 0) return 0;
  return ++*n < 3;
}

TEST(SkgmRealm, ApplyAndInspect) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("a", kPage), skgm_test_area("b", 2 * kPage),
                         skgm_test_area("c", 3 * kPage)};
    skgm_realmdesc d = skgm_test_desc("apply");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 3, areas, &h) == 1);
    uint64_t n = 0;
    CHILD_CHECK(skgmapply(&err, &ctx, h, 0, 2, count_sub, &n) == 1 && n == 2);
    n = 0;
    CHILD_CHECK(skgmapply(&err, &ctx, h, 0, 3, count_sub, &n) == 0 && n == 3);
    CHILD_CHECK(skgmapply(&err, &ctx, h, 2, 2, count_sub, &n) == 0 &&
                skgm_last_is("SKGMINVALID", {14, 2, 2, 3}));
    uint32_t count = 0;
    skgm_area out[1];
    uint32_t nsub[1];
    CHILD_CHECK(skgminspect(&err, &ctx, h, nullptr, &count, 1, out, nsub) == 1 && count == 3 &&
                out[0].size == kPage);
    CHILD_CHECK(skgminspect(&err, &ctx, h, nullptr, &count, 1, nullptr, nsub) == 0 &&
                skgm_last_is("SKGMINVALID", {6, 0, 1, 1}));
    CHILD_CHECK(skgminrealm(nullptr, nullptr, h, reinterpret_cast<void *>(h->addrs[0])) == 1);
    CHILD_CHECK(skgminrealm(nullptr, nullptr, h, &count) == 0);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

// Intimate areas: the dynamic path (pageable intimate memory refused with
// the pair of flags) marks the realm; a fallback attach warns once.
TEST(SkgmRealm, IntimateMemory) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("ism", 4 * kPage, SKGM_AF_INTIMATE)};
    areas[0].dynsize = 2 * kPage;
    skgm_realmdesc d = skgm_test_desc("ism");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1);
    CHILD_CHECK(sskgmgetopenv(&err, &ctx, SKGM_OE_DISM) && ctx.sharedmmu == 1);
    CHILD_CHECK(h->areas[1].area.flags & SKGM_AF_DISM);
    uint32_t np = 0;
    CHILD_CHECK(skgmpprotect(&err, &ctx, h->addrs[0], kPage, 1, &np) == 1 && np == 3);
    CHILD_CHECK(slrac(reinterpret_cast<void *>(h->addrs[0]), 1) == 0);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
    CHILD_CHECK(ctx.sharedmmu == 0 && !sskgmgetopenv(&err, &ctx, SKGM_OE_HOOKMASK));

    qen_ism_pass_pair = 1;  // pageable intimate memory works: no dynamic path
    areas[0].dynsize = 2 * kPage;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1);
    CHILD_CHECK(areas[0].dynsize == 0 && !sskgmgetopenv(&err, &ctx, SKGM_OE_DISM));
    CHILD_CHECK(sskgmgetopenv(&err, &ctx, SKGM_OE_ISM));
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);

    qen_ism_fail_intimate = 1;
    sskgmsetopenv(&err, &ctx, SKGM_OE_WARNFALLBACK, SKGM_OPENV_SET);
    areas[0].dynsize = 0;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1);
    CHILD_CHECK(g_skgm_warning.find("WARNING: Not enough physical memory for SHM_SHARE_MMU") == 0);
    const size_t once = g_skgm_warning.size();
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
    CHILD_CHECK(g_skgm_warning.size() == once);
  });
}

}  // namespace
