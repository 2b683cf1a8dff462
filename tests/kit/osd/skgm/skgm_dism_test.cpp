// The dynamic intimate memory lock master: a test lock master (rivevav.cpp)
// in a temporary installation's bin, started by the memory-manager process
// (skgm_mman.cpp, run as "zur_mman_t") or directly through the exchange
// calls; its misbehaving variants; the trace lines.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <sys/stat.h>

#include <chrono>
#include <string>
#include <thread>

#include <gtest/gtest.h>

#include "shm_children.h"
#include "skgm.h"
#include "skgm_fixture.h"
#include "sskgm.h"

namespace {

// A Viruze home whose bin holds the test lock master.
class DismHome : public ::testing::Test {
 protected:
  void SetUp() override {
    char tmpl[] = "/tmp/qen_skgm_XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    home_ = tmpl;
    ASSERT_EQ(mkdir((home_ + "/bin").c_str(), 0700), 0);
    ASSERT_EQ(symlink(RIVEVAV_PATH, (home_ + "/bin/rivevav").c_str()), 0);
  }
  void TearDown() override {
    unlink((home_ + "/bin/rivevav").c_str());
    rmdir((home_ + "/bin").c_str());
    rmdir(home_.c_str());
  }
  // In a child: the environment of the installation.
  void use_home(const char *variant) const {
    setenv("VIRUZE_HOME", home_.c_str(), 1);
    setenv("VIRUZE_SID", "t", 1);
    unsetenv("RIVEVAV_TRC");
    if (variant != nullptr)
      setenv("RIVEVAV_VARIANT", variant, 1);
    else
      unsetenv("RIVEVAV_VARIANT");
  }
  // Runs the memory-manager program under argument 0 arg0; its output.
  int run_mman(const char *arg0, std::string *out) {
    int fds[2];
    if (pipe(fds) != 0) return -1;
    const int rc = shm_child([&] {
      use_home(nullptr);
      dup2(fds[1], STDOUT_FILENO);
      close(fds[0]);
      close(fds[1]);
      char *const argv[] = {const_cast<char *>(arg0), nullptr};
      execv(SKGM_MMAN_PATH, argv);
      _exit(126);
    });
    close(fds[1]);
    char buf[4096];
    ssize_t n;
    while ((n = read(fds[0], buf, sizeof buf)) > 0) out->append(buf, static_cast<size_t>(n));
    close(fds[0]);
    return rc;
  }
  std::string home_;
};

// Locks need stable addresses (the 32-bit tree under an emulator has none).
#define NEED_STABLE_ADDRESSES()                                              \
  if (in_child([] { return skgm_fixed_attach_works() ? 0 : 1; }) != 0)       \
  GTEST_SKIP() << "this system attaches no segment at a chosen address"


TEST_F(DismHome, MemoryManagerStartsAndLocks) {
  NEED_STABLE_ADDRESSES();
  std::string out;
  EXPECT_EQ(run_mman("zur_mman_t", &out), 0) << out;
  EXPECT_NE(out.find("before=0 after=4"), std::string::npos) << out;
  EXPECT_NE(out.find("warning=DISM started as " + home_ + "/bin/rivevav, OS id="),
            std::string::npos)
      << out;
  // Without RIVEVAV_TRC, lock, unlock and exit write no trace.
  EXPECT_NE(out.find("trace="), std::string::npos);
  EXPECT_EQ(out.find("DISM LOCK"), std::string::npos) << out;
}

TEST_F(DismHome, OtherProcessesStartNone) {
  NEED_STABLE_ADDRESSES();
  std::string out;
  EXPECT_EQ(run_mman("zur_other_t", &out), 5) << out;
  EXPECT_NE(out.find("fd=-2 result=0"), std::string::npos) << out;
}

// Waits until the peer of fd has closed its end.
bool peer_closed(int fd) {
  for (int i = 0; i < 400; i++) {
    char c;
    if (recv(fd, &c, 1, MSG_PEEK | MSG_DONTWAIT) == 0) return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

TEST_F(DismHome, StartFailures) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    sskgm_dismrsp rsp;
    int32_t fd = -1;
    use_home("badstart");
    CHILD_CHECK(sskgmdism_cr_lckmstr(&err, &ctx, &fd, &rsp, 1) == 0 && fd == -1);
    CHILD_CHECK(rsp.status == SSKGM_ST_START && rsp.diag == 6 && rsp.value == 0x12345678u);
    CHILD_CHECK(err.code == SKGM_ERR_INVALID && err.detail[0] == 110 && err.detail[1] == 6);
    CHILD_CHECK(g_skgm_warning.find("WARNING: rivevav not set up correctly.\n") != std::string::npos);
    CHILD_CHECK(g_skgm_warning.find("[diagnostic 0, 6, 305419896]") != std::string::npos);
    // No program: the exec fails in the grandchild, which reports it.
    setenv("VIRUZE_HOME", "/nonexistent/qen", 1);
    g_skgm_warning.clear();
    CHILD_CHECK(sskgmdism_cr_lckmstr(&err, &ctx, &fd, &rsp, 0) == 0);
    CHILD_CHECK(rsp.status == SSKGM_ST_START && rsp.diag == 2 && rsp.oserr == ENOENT);
    CHILD_CHECK(g_skgm_warning.empty());
  });
}

TEST_F(DismHome, ExchangesAndDeadLockMaster) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    sskgm_dismrsp rsp;
    use_home("short");
    CHILD_CHECK(sskgmdism_cr_lckmstr(&err, &ctx, &sskgm_dism_fd, &rsp, 0) == 1 &&
                sskgm_dism_fd >= 0 && rsp.status == SSKGM_ST_OK && rsp.diag > 0);
    sskgm_dismreq req{};
    req.op = SSKGM_OP_LIVE;
    CHILD_CHECK(sskgmdism_rw_lckmstr(&err, &ctx, &req, &rsp) == 0);
    CHILD_CHECK(rsp.status == SSKGM_ST_READ && rsp.diag == 2 && rsp.value == 63);
    close(sskgm_dism_fd);

    // A lock master that is gone: EPIPE marks it, the caller lives on.
    use_home("die");
    CHILD_CHECK(sskgmdism_cr_lckmstr(&err, &ctx, &sskgm_dism_fd, &rsp, 0) == 1);
    CHILD_CHECK(peer_closed(sskgm_dism_fd));
    sskgmsetopenv(&err, &ctx, SKGM_OE_DISM, SKGM_OPENV_SET);
    uint32_t result = 5;
    CHILD_CHECK(sskgmlockchk(&err, &ctx, nullptr, SSKGM_OP_LIVE, &result) == 1);
    CHILD_CHECK(result == 0 && sskgm_dism_fd == SSKGM_FD_DEAD);
    CHILD_CHECK(g_skgm_warning.find("WARNING: Detected dead rivevav process.\n") != std::string::npos);
    sigset_t pending;
    sigpending(&pending);
    CHILD_CHECK(!sigismember(&pending, SIGPIPE));
    // After the exit request locks do nothing.
    sskgm_dism_fd = SSKGM_FD_GONE;
    CHILD_CHECK(sskgmdism_comm(&err, &ctx, nullptr, SSKGM_OP_LOCK, 1, 0, 0, 0, 1, nullptr, 0) == 1);
    // A lock request for an address outside every stable segment.
    use_home(nullptr);
    CHILD_CHECK(sskgmdism_cr_lckmstr(&err, &ctx, &sskgm_dism_fd, &rsp, 0) == 1);
    int x = 0;
    CHILD_CHECK(sskgmlock(&err, &ctx, reinterpret_cast<uintptr_t>(&x), 8, SSKGM_OP_LOCK, &result,
                          nullptr) == 0 &&
                err.code == SKGM_ERR_LOCK);
    CHILD_CHECK(g_trace.find("skgm error 27126: errno = 0, info = 2, 0, ") != std::string::npos);
    CHILD_CHECK(sskgmdism_comm(&err, &ctx, nullptr, SSKGM_OP_EXIT, 0, 0, 0, 0, 0, nullptr, 0) == 1 &&
                sskgm_dism_fd == SSKGM_FD_GONE);
  });
}

TEST_F(DismHome, TraceLines) {
  SHM_CHILD({
    skgm_ctx ctx;
    skgm_test_init(&ctx);
    sl_status err{};
    sskgm_dismrsp rsp;
    skgm_realmdesc d = skgm_test_desc("trc", SKGM_RF_PRIVATE);
    skgm_area areas[] = {skgm_test_area("t", 4096)};
    skgm_realm *h = nullptr;
    CHILD_CHECK(skgmcreate(&err, &ctx, &d, 1, areas, &h) == 1);
    // A restart whose exchanges fail traces even without RIVEVAV_TRC.
    use_home("refuse");
    CHILD_CHECK(sskgmdism_comm(&err, &ctx, h, SSKGM_OP_RESTART, 0, 0, 0, 0, 0, nullptr, 0) == 0);
    CHILD_CHECK(g_trace == "DISM REINIT: FAILED :  :: 0x2 [0x1,0x9,0x1]\n");
    g_trace.clear();
    CHILD_CHECK(sskgmdism_comm(&err, &ctx, nullptr, SSKGM_OP_LOCK, 3, 0x1000, 0x8000, 0x1000, 0x2000,
                               nullptr, 0) == 0);
    CHILD_CHECK(g_trace.empty());
    setenv("RIVEVAV_TRC", "on", 1);
    const uint16_t loc = 12;
    CHILD_CHECK(sskgmdism_comm(&err, &ctx, nullptr, SSKGM_OP_UNLOCK, 3, 0x1000, 0x8000, 0x1000,
                               0x2000, &loc, 0) == 0);
    char want[160];
    snprintf(want, sizeof want, "DISM UNLOCK: start=0x%p len=%8ld loc=12 opc=0x20 :: 0x2 [0x1,0x9,0x20]\n",
             reinterpret_cast<void *>(0x1000), 0x2000L);
    CHILD_CHECK(g_trace == want);
    g_trace.clear();
    CHILD_CHECK(sskgmdism_comm(&err, &ctx, nullptr, SSKGM_OP_EXIT, 0, 0, 0, 0, 0, nullptr, 0) == 0);
    CHILD_CHECK(g_trace == "DISM EXIT  : FAILED :  :: 0x2 [0x1,0x9,0x100]\n");
    CHILD_CHECK(sskgm_dism_fd == SSKGM_FD_GONE);
    (void)rsp;
    CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
  });
}

}  // namespace
