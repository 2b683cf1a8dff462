// NUMA placement. The library's entry points, the simulated home group and
// the environment are process-wide, so every case runs in a forked child.
#include <dlfcn.h>
#include <sched.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "skgp.h"
#include "skgsn.h"
#include "trace_capture.h"

namespace {

const skgsn_tracefn kTable[] = {trace};
int g_cbctx;

void fresh(skgsnsctx *ctx) {
  slos_error err{};
  CHILD_CHECK(skgsninit(&err, ctx, kTable, &g_cbctx) == 1);
}

// The scripted library with the given tree (see lgrp_script.cpp).
void use_script(const char *tree, const char *lib = LGRP_SCRIPT) {
  unsetenv("DISABLE_NUMA");
  unsetenv("SIM_NUMA");
  setenv("QEN_LGRP_TREE", tree, 1);
  qen_lgrp_set_library_path(lib);
}

int script_calls() {
  void *h = dlopen(LGRP_SCRIPT, RTLD_NOLOAD | RTLD_LAZY);
  CHILD_CHECK(h != nullptr);
  return *static_cast<int *>(dlsym(h, "qen_lgrp_script_calls"));
}

// Root 0 over leaves 1 (processors, memory), 2 (no memory), 3 (both).
constexpr char kThreeLeaves[] = "0:1,2,3:0:0;1::4:100;2::2:0;3::1:50";

}  // namespace

TEST(Skgsn, DisabledWinsAndLoadsNothing) {
  for (const char *sim : {static_cast<const char *>(nullptr), "4"}) {
    EXPECT_EQ(in_child([&] {
                setenv("DISABLE_NUMA", "", 1);
                if (sim != nullptr) setenv("SIM_NUMA", sim, 1);
                skgsnsctx ctx;
                fresh(&ctx);
                slos_error err{};
                CHILD_CHECK(skgsnisize(&err, &ctx) == 1);
                CHILD_CHECK(skgsnmypg(&err, &ctx) == 0);
                CHILD_CHECK(skgsnqnuma(&err, &ctx) == 0);
                skgsnospg id{};
                CHILD_CHECK(skgsnomap(&err, &ctx, 0, nullptr, &id) == 1 && id.id == 0);
                CHILD_CHECK(skgsnospg_to_skgsnpg(&ctx, skgsnospg{5}) == 0);
                CHILD_CHECK(SKGSN_lgrp_version == nullptr);
                skgp_ctx pctx;
                static skgp_ops ops{};
                CHILD_CHECK(skgpinit(&err, &pctx, &ops, nullptr, 0) == 1);
                CHILD_CHECK(skgpmoveme(&err, &pctx, 3) == 1);
                CHILD_CHECK(SKGSN_lgrp_version == nullptr);
              }),
              0)
        << (sim ? sim : "no SIM_NUMA");
  }
}

TEST(Skgsn, SimulatedGroups) {
  EXPECT_EQ(in_child([] {
              unsetenv("DISABLE_NUMA");
              setenv("SIM_NUMA", "4", 1);
              skgsnsctx ctx;
              fresh(&ctx);
              slos_error err{};
              CHILD_CHECK(skgsnisize(&err, &ctx) == 4);
              CHILD_CHECK(skgsnqnuma(&err, &ctx) == 1);
              int own = skgsnmypg(&err, &ctx);
              CHILD_CHECK(own >= 0 && own <= 3);
              for (int i = 0; i < 10; ++i) CHILD_CHECK(skgsnmypg(&err, &ctx) == own);
              skgsnospg id{};
              CHILD_CHECK(skgsnomap(&err, &ctx, 2, nullptr, &id) == 1 && id.id == 2);
              CHILD_CHECK(skgsnospg_to_skgsnpg(&ctx, id) == 2);
              CHILD_CHECK(SKGSN_lgrp_version == nullptr);
            }),
            0);
  // A count of 0 or text that is not a number leaves no group to choose.
  for (const char *bad : {"0", "abc", ""}) {
    EXPECT_EQ(in_child([&] {
                unsetenv("DISABLE_NUMA");
                setenv("SIM_NUMA", bad, 1);
                skgsnsctx ctx;
                fresh(&ctx);
                slos_error err{};
                CHILD_CHECK(skgsnmypg(&err, &ctx) == 0);
                CHILD_CHECK(skgsnisize(&err, &ctx) == 0);
              }),
              0)
        << bad;
  }
}

TEST(Skgsn, ThisMachinesNodes) {
  EXPECT_EQ(in_child([] {
              unsetenv("DISABLE_NUMA");
              unsetenv("SIM_NUMA");
              skgsnsctx ctx;
              fresh(&ctx);
              slos_error err{};
              CHILD_CHECK(skgsn_load_lgrp_library(&err, &ctx) == 1);
              int n = skgsnisize(&err, &ctx);
              int nodes = 0;
              for (int i = 0; i < 1024; ++i)
                if (access(("/sys/devices/system/node/node" + std::to_string(i)).c_str(), F_OK) == 0)
                  ++nodes;
              CHILD_CHECK(n == (nodes > 1 ? nodes : 1));
              CHILD_CHECK(skgsnqnuma(&err, &ctx) == (n > 1 ? 1 : 0));
              int own = skgsnmypg(&err, &ctx);
              CHILD_CHECK(err.code == 0 && own >= 0 && own < n);
              // The thread moves to group 0's processors.
              skgsnospg id{};
              CHILD_CHECK(skgsnomap(&err, &ctx, 0, nullptr, &id) == 1);
              skgp_ctx pctx;
              static skgp_ops ops{};
              CHILD_CHECK(skgpinit(&err, &pctx, &ops, nullptr, 0) == 1);
              CHILD_CHECK(skgpmoveme(&err, &pctx, id.id) == 1);
              cpu_set_t set;
              CHILD_CHECK(sched_getaffinity(0, sizeof set, &set) == 0);
              CHILD_CHECK(CPU_COUNT(&set) >= 1);
              CHILD_CHECK(skgpmoveme(&err, &pctx, 999) == 0);
              CHILD_CHECK(err.code == SKGP_ERR_SYSCALL && strcmp(err.location, "skgpmoveme1") == 0);
            }),
            0);
}

TEST(Skgsn, ScriptedTreeSkipsLeafWithoutMemory) {
  EXPECT_EQ(in_child([] {
              use_script(kThreeLeaves);
              setenv("QEN_LGRP_HOME", "3", 1);
              skgsnsctx ctx;
              fresh(&ctx);
              slos_error err{};
              CHILD_CHECK(skgsnisize(&err, &ctx) == 2);
              CHILD_CHECK(ctx.map[0] == 1 && ctx.map[1] == 3 && ctx.map[2] == 0);
              int calls = script_calls();
              CHILD_CHECK(skgsnisize(&err, &ctx) == 2);
              CHILD_CHECK(script_calls() == calls && "the stored count");
              CHILD_CHECK(skgsnqnuma(&err, &ctx) == 1);
              CHILD_CHECK(skgsnmypg(&err, &ctx) == 1);
              skgsnospg id{};
              CHILD_CHECK(skgsnomap(&err, &ctx, 1, nullptr, &id) == 1 && id.id == 3);
              CHILD_CHECK(skgsnospg_to_skgsnpg(&ctx, skgsnospg{2}) == 0 && "not a group");
              // Without a context the count is found but kept nowhere.
              CHILD_CHECK(skgsnisize(&err, nullptr) == 2);
            }),
            0);
}

TEST(Skgsn, OneGroupAndWideTrees) {
  struct Case {
    std::string tree;
    const char *n;  // lgrp_nlgrps' answer, nullptr: the entries
    int want;
  } cases[] = {
      {"0::8:100", nullptr, 1},
      {"", "3", 0},  // a root without processors or memory: no group
  };
  // 200 leaves under two inner groups: the first 127 are used.
  std::string wide = "0:1,2:0:0;1:";
  for (int i = 0; i < 100; ++i) wide += (i ? "," : "") + std::to_string(10 + i);
  wide += ":0:0;2:";
  for (int i = 0; i < 100; ++i) wide += (i ? "," : "") + std::to_string(110 + i);
  wide += ":0:0";
  for (int i = 0; i < 200; ++i) wide += ";" + std::to_string(10 + i) + "::1:1";
  // A library that reports fewer groups than it has leaves.
  std::string lying = "0:1,2,3,4,5:0:0;1::1:1;2::1:1;3::1:1;4::1:1;5::1:1";
  for (const Case &c : {cases[0], cases[1], Case{wide, nullptr, 127}, Case{lying, "3", 3}}) {
    EXPECT_EQ(in_child([&] {
                use_script(c.tree.empty() ? "0:9:0:0;9::0:0" : c.tree.c_str());
                if (c.n != nullptr) setenv("QEN_LGRP_N", c.n, 1);
                skgsnsctx ctx;
                fresh(&ctx);
                slos_error err{};
                int n = skgsnisize(&err, &ctx);
                if (n != c.want) fprintf(stderr, "count %d\n", n);
                CHILD_CHECK(n == c.want);
                if (n == 127) {
                  for (int i = 0; i < 127; ++i) CHILD_CHECK(ctx.map[i] == static_cast<uint32_t>(10 + i));
                  CHILD_CHECK(ctx.map[127] == 0);
                }
                if (n == 1) CHILD_CHECK(skgsnqnuma(&err, &ctx) == 0);
              }),
              0)
        << c.want;
  }
}

TEST(Skgsn, FailingCallsTable) {
  struct Case {
    const char *fail;
    bool mypg;  // the failure shows in skgsnmypg
    const char *loc;
  } cases[] = {
      {"lgrp_init", false, "skgsnisize1"},   {"lgrp_nlgrps", false, "skgsnisize2"},
      {"lgrp_root", false, "skgsnisize4"},   {"lgrp_children", false, "skgsnlgrptree1"},
      {"lgrp_cpus", false, "skgsnlgrptree2"}, {"lgrp_mem_size", false, "skgsnlgrptree2"},
      {"lgrp_fini", false, "skgsnisize3"},   {"lgrp_home", true, "skgsnmypg2"},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(in_child([&] {
                use_script(kThreeLeaves);
                skgsnsctx ctx;
                fresh(&ctx);
                slos_error err{};
                if (c.mypg) CHILD_CHECK(skgsnisize(&err, &ctx) == 2);
                setenv("QEN_LGRP_FAIL", c.fail, 1);
                int r = c.mypg ? skgsnmypg(&err, &ctx) : skgsnisize(&err, &ctx);
                CHILD_CHECK(r == 0);
                CHILD_CHECK(err.code == SKGSN_ERR && strcmp(err.call, c.fail) == 0);
                // The record keeps 12 characters of a tag.
                CHILD_CHECK(strncmp(err.location, c.loc, sizeof err.location - 1) == 0);
                CHILD_CHECK(err.oserr == EINVAL);
                if (!c.mypg) CHILD_CHECK(ctx.isize_skgsnsctx == 0);
              }),
              0)
        << c.fail;
  }
}

TEST(Skgsn, MissingSymbolAndWrongVersion) {
  EXPECT_EQ(in_child([] {
              use_script(kThreeLeaves, LGRP_SCRIPT_NOCPUS);
              skgsnsctx ctx;
              fresh(&ctx);
              slos_error err{};
              CHILD_CHECK(skgsn_load_lgrp_library(&err, &ctx) == 0);
              CHILD_CHECK(g_trace.rfind("liblgrp.so found but failed to resolved symbol lgrp_cpusdue to error ", 0) == 0);
              CHILD_CHECK(SKGSN_lgrp_version == nullptr && SKGSN_lgrp_init == nullptr);
              CHILD_CHECK(skgsnisize(&err, &ctx) == 1 && "no library: one group");
              // Without a callback context nothing is traced.
              g_trace.clear();
              ctx.cbctx = nullptr;
              CHILD_CHECK(skgsn_load_lgrp_library(&err, &ctx) == 0 && g_trace.empty());
            }),
            0);
  EXPECT_EQ(in_child([] {
              use_script(kThreeLeaves);
              setenv("QEN_LGRP_VERSION", "2", 1);
              slos_error err{};
              CHILD_CHECK(skgsn_load_lgrp_library(&err, nullptr) == 0);
              CHILD_CHECK(err.code == SKGSN_ERR && strcmp(err.call, "lgrp_version") == 0 &&
                          strcmp(err.location, "skgsnqnuma1") == 0);
              // The entry points stay set: later calls find the library loaded.
              CHILD_CHECK(skgsn_load_lgrp_library(&err, nullptr) == 1);
            }),
            0);
  EXPECT_EQ(in_child([] {
              use_script(kThreeLeaves);
              slos_error err{};
              qen_lgrp_set_library_path("/nonexistent/liblgrp.so");
              skgsnsctx ctx;
              fresh(&ctx);
              CHILD_CHECK(skgsn_load_lgrp_library(&err, &ctx) == 0 && err.code == 0);
              CHILD_CHECK(skgsnisize(&err, &ctx) == 1 && skgsnqnuma(&err, &ctx) == 0);
            }),
            0);
}

TEST(Skgsn, CheckAndUnmapText) {
  skgsnsctx ctx{};
  slos_error err{};
  EXPECT_EQ(skgsnchkctx(&err, &ctx), 0);
  EXPECT_EQ(err.code, -1);
  EXPECT_STREQ(err.location, "skgsnchkctx1");
  EXPECT_EQ(skgsnchkctx(&err, nullptr), 0);
  struct Case {
    unsigned pg, proc;
    const char *want;
  } cases[] = {{0, 0, "PG: 0 PROC: 0\n"},
               {3, 17, "PG: 3 PROC: 17\n"},
               {65535, 65535, "PG: 65535 PROC: 65535\n"},
               {65537, 0x10002, "PG: 1 PROC: 2\n"}};
  for (const Case &c : cases) {
    char buf[SKGSN_UNMAP_LEN + 8];
    memset(buf, '#', sizeof buf);
    EXPECT_EQ(skgsnunmap(nullptr, nullptr, c.pg, c.proc, buf), 1);
    EXPECT_STREQ(buf, c.want);
    EXPECT_EQ(buf[SKGSN_UNMAP_LEN], '#');
  }
  EXPECT_EQ(skgsnmeproc(), 0);
}
