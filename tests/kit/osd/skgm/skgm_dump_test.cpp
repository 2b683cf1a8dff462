// Realm dumps through the trace callback.
#include <gtest/gtest.h>

#include "shm_children.h"
#include "skgm.h"
#include "skgm_fixture.h"
#include "sskgm.h"

namespace {

std::string hex16(uint64_t v) {
  char b[20];
  snprintf(b, sizeof b, "%08lx%08lx", static_cast<unsigned long>(v >> 32),
           static_cast<unsigned long>(v & 0xFFFFFFFFu));
  return b;
}

TEST(SkgmDump, ContextAlone) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    CHILD_CHECK(skgmdumprealm(nullptr, &ctx, nullptr, 0) == 1);
    const std::string &t = g_trace;
    CHILD_CHECK(t.rfind("Dump of unix-generic skgm context\nareaflags            000000b7\n"
                        "realmflags           0000000f\n", 0) == 0);
    CHILD_CHECK(t.find("largestsize  " + hex16(SKGM_LARGEST) + "\nsmallestsize 0000000000400000\n") !=
                std::string::npos);
    CHILD_CHECK(t.find("stackdir                   -1\n") != std::string::npos);
    char mode[40];
    snprintf(mode, sizeof mode, "mode                 %8lo\n", static_cast<unsigned long>(ctx.mode));
    CHILD_CHECK(t.find(mode) != std::string::npos);
    const std::string tail =
        "magic                acc01ade\nDump of Solaris-specific skgm context\n"
        "sharedmmu 00000000\nshareddec        0\n";
    CHILD_CHECK(t.size() > tail.size() && t.substr(t.size() - tail.size()) == tail);
    g_trace.clear();
    CHILD_CHECK(skgmdumprealm(nullptr, &ctx, nullptr, SKGM_DUMP_SEGMENTS) == 1);
    CHILD_CHECK(g_trace == "No shared memory segments used\n");
  });
}

TEST(SkgmDump, UsedRegions) {
  IN_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    const uintptr_t base = sskgm_window_base();
    sskgmblock(&ctx, base, 1);
    sskgmblock(&ctx, base + 5 * SKGM_UNIT, 2 * SKGM_UNIT);
    sskgmblock(&ctx, base + (SKGM_MAPBITS - 1) * SKGM_UNIT, 1);
    sskgmdumprealm(nullptr, &ctx, nullptr, 0);
    const std::string want =
        "Dump of Solaris-specific skgm context\nsharedmmu 00000000\nshareddec        0\n"
        "used region        0: start " + hex16(base) + " length " + hex16(SKGM_UNIT) + "\n"
        "used region        1: start " + hex16(base + 5 * SKGM_UNIT) + " length " +
        hex16(2 * SKGM_UNIT) + "\n"
        "used region        2: start " + hex16(base + (SKGM_MAPBITS - 1) * SKGM_UNIT) +
        " length " + hex16(SKGM_UNIT) + "\n";
    CHILD_CHECK(g_trace == want);
  });
}

// Three segments of four subareas give three segment lines.
TEST(SkgmDump, RealmAndSegments) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    ctx.largestsize = 0x100000;
    sl_status err{};
    skgm_area areas[] = {skgm_test_area("big", 0x280000)};
    skgm_realmdesc d = skgm_test_desc("dump");
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1);
    CHILD_CHECK(h->hdr.nsub == 4 && h->areas[0].nsub == 3);
    g_trace.clear();
    skgmdumprealm(nullptr, &ctx, h, SKGM_DUMP_SEGMENTS);
    std::string want = "Shared Memory:\nID\t\tKEY\n";
    for (uint32_t i : {0u, 1u, 2u}) {
      struct shmid_ds ds;
      CHILD_CHECK(shmctl(h->subs[i].shmid, IPC_STAT, &ds) == 0);
      char line[64];
      snprintf(line, sizeof line, "%-8d\t0x%08x\n", h->subs[i].shmid,
               static_cast<unsigned>(ds.shm_perm.__key));
      want += line;
    }
    CHILD_CHECK(g_trace == want);
    g_trace.clear();
    skgmdumprealm(nullptr, &ctx, h, 0);
    const std::string &t = g_trace;
    char handle_line[128];
    snprintf(handle_line, sizeof handle_line, "Handle:      %16p `%s'\n", static_cast<void *>(h),
             std::string(d.name, d.namelen).c_str());
    CHILD_CHECK(t.find(handle_line) != std::string::npos);
    CHILD_CHECK(t.find(" Area #0 `big' containing Subareas 0-2\n  Total size 0000000000280000 "
                       "Minimum Subarea size 00000000\n") != std::string::npos);
    CHILD_CHECK(t.find(" Area #1 `skgm overhead' containing Subareas 3-3\n") != std::string::npos);
    CHILD_CHECK(t.find("   Area  Subarea    Shmid      Stable Addr      Actual Addr\n      0        2 ") !=
                std::string::npos);
    CHILD_CHECK(t.find("Dump of Solaris-specific skgm context\n") != std::string::npos);
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

}  // namespace
