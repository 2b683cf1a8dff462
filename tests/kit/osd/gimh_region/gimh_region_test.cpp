// The health file as the probe uses it: written through a writable mapping
// of the region file, attached read-only, the instance process's identity
// copied out of it and tested for liveness.
#include <signal.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child.h"
#include "gimh_region.h"
#include "skgmsmr.h"
#include "skgp.h"
#include "temp_dir.h"
#include "vsnnum.h"

namespace {

TEST(HealthFile, IdentityRoundTripAndLiveness) {
  TempDir t;
  ASSERT_FALSE(t.path().empty());
  mkdir((t.path() + "/dbs").c_str(), 0755);
  const std::string home = t.path();
  EXPECT_EQ(in_child([&] {
              pid_t inst = fork();
              if (inst == 0) {
                prctl(PR_SET_PDEATHSIG, SIGKILL);
                for (;;) pause();
              }
              skgp_ops ops{};
              skgp_ctx ctx;
              slos_error err{};
              CHILD_CHECK(skgpinit(&err, &ctx, &ops, nullptr, 0) == 1);

              // The instance's side: create and fill the file.
              skgmsmr_ctx w{};
              void *waddr = nullptr;
              CHILD_CHECK(skgmsmr_op(&err, &w, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, 0, nullptr) == 1);
              CHILD_CHECK(skgmsmr_op(&err, &w, SKGMSMR_OP_CREATE, GIMH_REGION_SIZE, home.c_str(), "orcl",
                                     SKGMSMR_MODE_RW, 0, &waddr) == 1);
              gimh_region *wr = static_cast<gimh_region *>(waddr);
              wr->magic = wr->magic2 = GIMH_MAGIC;
              wr->version = vsnnum;
              wr->curidx = 4;
              wr->pid.pid = inst;
              CHILD_CHECK(skgpstime(&err, &ctx, &wr->pid) == 1);
              wr->rec[4].state[9] = GIMH_STATE_SET;
              wr->flags = GIMH_FLG_READY;

              // The probe's side: attach read-only and read it back.
              skgmsmr_ctx r{};
              void *raddr = nullptr;
              CHILD_CHECK(skgmsmr_op(&err, &r, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, 0, nullptr) == 1);
              CHILD_CHECK(skgmsmr_op(&err, &r, SKGMSMR_OP_ATTACH, GIMH_REGION_SIZE, home.c_str(), "orcl",
                                     SKGMSMR_MODE_READ, 0, &raddr) == 1);
              const gimh_region *rr = static_cast<const gimh_region *>(raddr);
              CHILD_CHECK(rr->magic == GIMH_MAGIC && rr->magic2 == GIMH_MAGIC && rr->version == VZ_VSNNUM);
              CHILD_CHECK(rr->flags & GIMH_FLG_READY);
              CHILD_CHECK(rr->rec[rr->curidx].state[9] == GIMH_STATE_SET);
              skgp_pid id{};
              CHILD_CHECK(skgpmaterialize(&err, &ctx, &rr->pid, &id) == 1);
              CHILD_CHECK(id.pid == inst && id.stime > 0);
              CHILD_CHECK(skgpalive(&err, &ctx, &id) == 1);

              // The instance dies and is reaped: gone, with a clean record.
              kill(inst, SIGKILL);
              waitpid(inst, nullptr, 0);
              CHILD_CHECK(skgpalive(&err, &ctx, &id) == 0);
              CHILD_CHECK(err.code == 0);

              CHILD_CHECK(skgmsmr_op(&err, &r, SKGMSMR_OP_DETACH, GIMH_REGION_SIZE, nullptr, nullptr, 0, 0,
                                     &raddr) == 1);
              CHILD_CHECK(skgmsmr_op(&err, &w, SKGMSMR_OP_DETACH, GIMH_REGION_SIZE, nullptr, nullptr, 0, 0,
                                     &waddr) == 1);
              CHILD_CHECK(skgmsmr_op(&err, &w, SKGMSMR_OP_DELETE, 0, home.c_str(), "orcl", 0, 0, nullptr) == 1);
            }),
            0);
}

}  // namespace
