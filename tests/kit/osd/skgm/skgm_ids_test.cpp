// Which segments a realm handle acts on. A header is the realm only when it
// names the very segment it sits in as its primary; detach, conceal and
// destroy act on the segments the handle itself attached, whatever the shared
// tables say by then. Stale or foreign ids in a header (a damaged header, or
// one written for a segment since removed) must neither leak an attach nor
// touch another realm's segments. Private realms run in forked children (the
// private segment list is process-wide); System V ones in children whose
// segments the parent removes.
#include <errno.h>
#include <sys/shm.h>

#include <functional>
#include <set>
#include <vector>

#include <gtest/gtest.h>

#include "shm_children.h"
#include "skgm.h"
#include "skgm_fixture.h"
#include "sskgm.h"

namespace {

constexpr uint64_t kPage = 4096;

// The attach count of a private segment; -1 once it no longer exists.
long priv_nattch(skgm_ctx *ctx, int32_t id) {
  sl_status err{};
  uint64_t n = 0;
  return sskgmstat(&err, ctx, id, &n, SKGM_STAT_NATTCH, 1) ? static_cast<long>(n) : -1;
}

// The attach count of a System V segment; -1 once it no longer exists.
long shm_nattch(int32_t id) {
  struct shmid_ds ds;
  return shmctl(id, IPC_STAT, &ds) == 0 ? static_cast<long>(ds.shm_nattch) : -1;
}

std::set<int32_t> ids_of(const skgm_realm *h) {
  std::set<int32_t> ids;
  for (uint32_t i = 0; i < h->hdr.nsub; i++) ids.insert(h->subs[i].shmid);
  return ids;
}

// The bytes from the subarea table to the end of the header: what the
// damage below changes, kept to put it back.
std::vector<uint8_t> tail_of(const skgm_realm *h) {
  const auto *b = reinterpret_cast<const uint8_t *>(h->subs);
  const auto *e = reinterpret_cast<const uint8_t *>(h->shared) + sizeof(skgm_header);
  return std::vector<uint8_t>(b, e);
}
void put_tail(skgm_subarea *subs, const std::vector<uint8_t> &t) {
  memcpy(reinterpret_cast<uint8_t *>(subs), t.data(), t.size());
}

// Ways a header can name the wrong segment. other is another realm's
// primary id.
struct Damage {
  const char *what;
  std::function<void(skgm_header *, skgm_subarea *, int32_t other)> apply;
};

std::vector<Damage> damages() {
  return {
      {"header names another segment",
       [](skgm_header *hdr, skgm_subarea *, int32_t other) { hdr->shmid = other; }},
      {"header and primary subarea name another segment",
       [](skgm_header *hdr, skgm_subarea *subs, int32_t other) {
         const int32_t own = hdr->shmid;
         for (uint32_t i = 0; i < hdr->nsub; i++)
           if (subs[i].shmid == own) subs[i].shmid = other;
         hdr->shmid = other;
       }},
      {"primary subarea names another segment",
       [](skgm_header *hdr, skgm_subarea *subs, int32_t other) {
         subs[hdr->primary].shmid = other;
       }},
      {"no subarea names the primary segment",
       [](skgm_header *hdr, skgm_subarea *subs, int32_t other) {
         for (uint32_t i = 0; i < hdr->nsub; i++)
           if (subs[i].shmid == hdr->shmid) subs[i].shmid = other;
       }},
      {"primary subarea not the first of its segment",
       [](skgm_header *hdr, skgm_subarea *subs, int32_t) {
         // The subarea before the primary one claims the primary segment.
         if (hdr->primary > 0) subs[hdr->primary - 1].shmid = hdr->shmid;
         else subs[hdr->nsub - 1].shmid = hdr->shmid, subs[hdr->nsub - 1].segsize = subs[0].segsize;
       }},
      {"primary segment size not the segment's",
       [](skgm_header *hdr, skgm_subarea *subs, int32_t) { subs[hdr->primary].segsize += kPage; }},
  };
}

// Two private realms of two segments each (an area cut in two pieces, the
// overhead with the second): a header of B damaged to name A's segments is
// not realm B; nothing of A is attached or removed by the try, and B attaches
// again once its header is whole.
TEST(SkgmIds, PrivateHeaderNamingAnotherSegmentIsNotTheRealm) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    ctx.largestsize = 0x100000;
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("x", 0x180000)};
    skgm_realmdesc da = skgm_test_desc("ida", SKGM_RF_PRIVATE);
    skgm_realmdesc db = skgm_test_desc("idb", SKGM_RF_PRIVATE);
    skgm_realm *ha = nullptr, *hb = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &da, 1, areas, &ha) == 1 && ids_of(ha).size() == 2);
    CHILD_CHECK(skgmcreate(&err, &ctx, &db, 1, areas, &hb) == 1 && ids_of(hb).size() == 2);
    const std::set<int32_t> aid = ids_of(ha), bid = ids_of(hb);
    const int32_t aprim = ha->hdr.shmid;
    const std::vector<uint8_t> whole = tail_of(hb);
    skgm_header *bhdr = hb->shared;
    skgm_subarea *bsubs = hb->subs;
    CHILD_CHECK(skgmdetach(&err, &ctx, hb) == 1);
    for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == 0);
    // (A detached private segment keeps its memory: B's tables are still
    // there to be damaged.)
    for (const Damage &dm : damages()) {
      for (int round = 0; round < 3; round++) {
        dm.apply(bhdr, bsubs, aprim);
        skgm_realm *h = nullptr;
        const int got = skgmattach(&err, &ctx, &db, &h);
        if (got != 0 || err.code != SKGM_ERR_NOREALM) {
          fprintf(stderr, "%s: attach %d code %d\n", dm.what, got, err.code);
          CHILD_CHECK(false);
        }
        for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == 0);
        for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
        put_tail(bsubs, whole);
      }
    }
    CHILD_CHECK(ctx.handles == ha);
    // Whole again, B attaches and detaches cleanly, any number of times.
    for (int round = 0; round < 3; round++) {
      CHILD_CHECK(skgmattach(&err, &ctx, &db, &hb) == 1);
      for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
      CHILD_CHECK(skgmdetach(&err, &ctx, hb) == 1);
      for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == 0);
    }
    CHILD_CHECK(skgmattach(&err, &ctx, &db, &hb) == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, hb) == 1 && skgmdetach(&err, &ctx, hb) == 1);
    for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == -1);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
    // A destroyed realm stays readable through its handle until detached, and
    // then leaves the process-wide list.
    CHILD_CHECK(skgmdestroy(&err, &ctx, ha) == 1);
    uint32_t count = 0;
    skgm_area out[1];
    uint32_t nsub[1];
    CHILD_CHECK(skgminspect(&err, &ctx, ha, nullptr, &count, 1, out, nsub) == 1 && count == 1 &&
                nsub[0] == 2);
    CHILD_CHECK(skgmdetach(&err, &ctx, ha) == 1);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == -1);
    CHILD_CHECK(skgmreset(&err, &ctx) == 1);
  });
}

// Tables changed behind an attached handle: detach, conceal and destroy act
// on what the handle attached. Before, detach let go of the segments the
// table now named (another realm's), so that realm was freed under its own
// handle and this realm's segments stayed attached for ever.
TEST(SkgmIds, PrivateDetachAndDestroyUseTheHandlesOwnSegments) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    ctx.largestsize = 0x100000;
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("x", 0x180000)};
    skgm_realmdesc da = skgm_test_desc("owna", SKGM_RF_PRIVATE);
    skgm_realmdesc db = skgm_test_desc("ownb", SKGM_RF_PRIVATE);
    skgm_realm *ha = nullptr, *hb = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &da, 1, areas, &ha) == 1);
    CHILD_CHECK(skgmcreate(&err, &ctx, &db, 1, areas, &hb) == 1);
    const std::set<int32_t> aid = ids_of(ha), bid = ids_of(hb);
    const std::vector<int32_t> alist(aid.begin(), aid.end());
    // B's table now names A's segments, one for one.
    auto swap_ids = [&](skgm_realm *h) {
      std::vector<int32_t> blist(bid.begin(), bid.end());
      for (uint32_t i = 0; i < h->hdr.nsub; i++)
        for (size_t k = 0; k < blist.size(); k++)
          if (h->subs[i].shmid == blist[k]) {
            h->subs[i].shmid = alist[k];
            break;
          }
      h->shared->shmid = h->subs[h->hdr.primary].shmid;
    };
    const std::vector<uint8_t> whole = tail_of(hb);
    swap_ids(hb);
    // Conceal and detach let go of B's segments only.
    CHILD_CHECK(skgmconceal(&err, &ctx, hb) == 1);
    for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == 0);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
    // Revealed with the tables still naming A: not the realm any more.
    CHILD_CHECK(skgmreveal(&err, &ctx, hb) == 0);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
    put_tail(hb->subs, whole);
    CHILD_CHECK(skgmreveal(&err, &ctx, hb) == 1);
    for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
    swap_ids(hb);
    // Destroy removes B's segments, not A's; the detach then frees them.
    CHILD_CHECK(skgmdestroy(&err, &ctx, hb) == 1);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
    uint64_t n = 9;
    CHILD_CHECK(skgmattach_count(&err, &ctx, hb, &n) == 1 && n == 1);
    CHILD_CHECK(skgmdetach(&err, &ctx, hb) == 1);
    for (int32_t id : bid) CHILD_CHECK(priv_nattch(&ctx, id) == -1);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 1);
    // A is whole: inspect reads its tables, it attaches by name elsewhere.
    uint32_t count = 0;
    CHILD_CHECK(skgminspect(&err, &ctx, ha, nullptr, &count, 0, nullptr, nullptr) == 1 &&
                count == 1);
    skgm_ctx other;
    skgm_test_init(&other);
    skgm_realm *h2 = nullptr;
    CHILD_CHECK(skgmattach(&err, &other, &da, &h2) == 1);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == 2);
    CHILD_CHECK(skgmdetach(&err, &other, h2) == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, ha) == 1 && skgmdetach(&err, &ctx, ha) == 1);
    for (int32_t id : aid) CHILD_CHECK(priv_nattch(&ctx, id) == -1);
  });
}

// A private segment this process has not attached cannot be detached.
TEST(SkgmIds, PrivateDetachOfNothingAttachedFails) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    int e = 0;
    const int id = sskgmget(&err, &ctx, 0, 1, kPage, nullptr, &e, 1);
    CHILD_CHECK(id > 0);
    uintptr_t at = 0;
    CHILD_CHECK(sskgmdt(&err, &ctx, id, kPage, nullptr, &at, 1) == 0 &&
                err.code == SKGM_ERR_DETACH && err.oserr == EINVAL);
    CHILD_CHECK(sskgmdt(&err, &ctx, id + 1000, kPage, nullptr, &at, 1) == 0 &&
                err.code == SKGM_ERR_DETACH);
    CHILD_CHECK(sskgmat(&err, &ctx, id, kPage, 0, nullptr, &at, 1) == 1);
    CHILD_CHECK(sskgmdt(&err, &ctx, id, kPage, nullptr, &at, 1) == 1);
    CHILD_CHECK(sskgmdt(&err, &ctx, id, kPage, nullptr, &at, 1) == 0);
    CHILD_CHECK(sskgmrm(&err, &ctx, id, nullptr, 1) == 1 && priv_nattch(&ctx, id) == -1);
  });
}

// System V: attach and detach cycles leave every segment with no attach; a
// header naming another realm's segment is not the realm; destroy through a
// handle whose shared tables were changed removes only its own segments.
TEST(SkgmIds, SystemVSegmentsTheHandleAttached) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    ctx.largestsize = 0x100000;
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("x", 0x180000)};
    skgm_realmdesc da = skgm_test_desc("sva");
    skgm_realmdesc db = skgm_test_desc("svb");
    skgm_realm *ha = nullptr, *hb = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &da, 1, areas, &ha) == 1);
    CHILD_CHECK(skgmcreate(&err, &ctx, &db, 1, areas, &hb) == 1);
    const std::set<int32_t> aid = ids_of(ha), bid = ids_of(hb);
    CHILD_CHECK(aid.size() == 2 && bid.size() == 2);
    const int32_t aprim = ha->hdr.shmid, bprim = hb->hdr.shmid;
    CHILD_CHECK(skgmdetach(&err, &ctx, ha) == 1 && skgmdetach(&err, &ctx, hb) == 1);
    for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == 0);
    // Attach, conceal, detach: nothing stays attached, round after round.
    for (int round = 0; round < 3; round++) {
      CHILD_CHECK(skgmattach(&err, &ctx, &da, &ha) == 1);
      for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == 1);
      CHILD_CHECK(skgmconceal(&err, &ctx, ha) == 1);
      for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == 0);
      CHILD_CHECK(skgmdetach(&err, &ctx, ha) == 1);
      for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == 0);
    }
    // Damage B's header (through a plain attach of its primary segment).
    struct shmid_ds ds;
    CHILD_CHECK(shmctl(bprim, IPC_STAT, &ds) == 0);
    void *raw = shmat(bprim, nullptr, 0);
    CHILD_CHECK(raw != reinterpret_cast<void *>(-1));
    skgm_header *bhdr = skgmrfind(raw, ds.shm_segsz);
    skgm_subarea *bsubs = skgmsafind(bhdr);
    const std::vector<uint8_t> whole(reinterpret_cast<uint8_t *>(bsubs),
                                     reinterpret_cast<uint8_t *>(bhdr) + sizeof(skgm_header));
    for (const Damage &dm : damages()) {
      dm.apply(bhdr, bsubs, aprim);
      skgm_realm *h = nullptr;
      CHILD_CHECK(skgmattach(&err, &ctx, &db, &h) == 0 && err.code == SKGM_ERR_NOREALM);
      for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == 0);
      CHILD_CHECK(shm_nattch(bprim) == 1);  // only the plain attach above
      memcpy(bsubs, whole.data(), whole.size());
    }
    // Attached whole, then its shared tables name A: destroy removes B's
    // own segments and leaves A's.
    CHILD_CHECK(skgmattach(&err, &ctx, &db, &hb) == 1);
    const std::vector<int32_t> alist(aid.begin(), aid.end()), blist(bid.begin(), bid.end());
    for (uint32_t i = 0; i < hb->hdr.nsub; i++)
      for (size_t k = 0; k < blist.size(); k++)
        if (hb->subs[i].shmid == blist[k]) {
          hb->subs[i].shmid = alist[k];
          break;
        }
    CHILD_CHECK(skgmdestroy(&err, &ctx, hb) == 1 && skgmdetach(&err, &ctx, hb) == 1);
    shmdt(raw);
    for (int32_t id : bid) CHILD_CHECK(shm_nattch(id) == -1);
    for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == 0);
    CHILD_CHECK(skgmattach(&err, &ctx, &da, &ha) == 1);
    CHILD_CHECK(skgmdestroy(&err, &ctx, ha) == 1 && skgmdetach(&err, &ctx, ha) == 1);
    for (int32_t id : aid) CHILD_CHECK(shm_nattch(id) == -1);
  });
}

}  // namespace
