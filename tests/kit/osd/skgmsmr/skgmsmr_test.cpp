// Region files: the handle's states, every failure location, and the files
// and mappings that create and attach leave behind.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <functional>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "skgmsmr.h"
#include "temp_dir.h"
#include "vzclient.h"

namespace {

constexpr size_t kLen = 1552;

struct Outcome {
  int rc;
  slos_error err;
};

// A record with every field dirty, so that the clearing shows.
slos_error dirty_err() {
  slos_error e;
  memset(&e, 0, sizeof e);
  e.code = 4242;
  e.oserr = 4242;
  strcpy(e.call, "junk");
  strcpy(e.location, "junk");
  strcpy(e.other, "junk");
  return e;
}

Outcome run(skgmsmr_ctx *ctx, uint32_t op, size_t length, const char *home, const char *sid,
            int mode, void **addr, uint32_t flags = 0) {
  Outcome o{0, dirty_err()};
  o.rc = skgmsmr_op(&o.err, ctx, op, length, home, sid, mode, flags, addr);
  return o;
}

skgmsmr_ctx initialised() {
  skgmsmr_ctx ctx{};
  slos_error err{};
  EXPECT_EQ(skgmsmr_op(&err, &ctx, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, 0, nullptr),
            SKGMSMR_OK);
  return ctx;
}

// Expects result 3 with the record filled as given ("" info: cleared).
void expect_fail(const Outcome &o, int32_t code, int32_t oserr, const char *call, const char *loc,
                 const char *info = "") {
  EXPECT_EQ(o.rc, SKGMSMR_FAIL) << loc;
  EXPECT_EQ(o.err.code, code) << loc;
  EXPECT_EQ(o.err.oserr, oserr) << loc << ": " << strerror(o.err.oserr);
  EXPECT_STREQ(o.err.call, call) << loc;
  EXPECT_STREQ(o.err.location, loc);
  EXPECT_STREQ(o.err.other, info) << loc;
}

// Another process's view of the lock on the file: true when a write lock on
// the whole file could be taken now.
bool lock_free_for_others(const std::string &path) {
  return in_child([&] {
           int fd = open(path.c_str(), O_RDWR);
           struct flock fl{};
           fl.l_type = F_WRLCK;
           fl.l_whence = SEEK_SET;
           CHILD_CHECK(fd >= 0 && fcntl(fd, F_GETLK, &fl) == 0);
           return fl.l_type == F_UNLCK ? 0 : 1;
         }) == 0;
}

class Region : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(t_.path().empty());
    home_ = t_.path();
    mkdir((home_ + "/dbs").c_str(), 0755);
    path_ = home_ + "/dbs/hc_orcl.dat";
    setenv("VIRUZE_HOME", home_.c_str(), 1);
    setenv("VIRUZE_SID", "orcl", 1);
  }
  void write_file(const std::string &body) {
    int fd = open(path_.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, body.data(), body.size()), static_cast<ssize_t>(body.size()));
    close(fd);
  }
  TempDir t_;
  std::string home_, path_;
};

TEST(RegionHandle, StateChecks) {
  struct Case {
    const char *what;
    uint32_t magic;  // of the handle
    uint32_t op;
    const char *call;
    const char *loc;
  } cases[] = {
      {"init twice", SKGMSMR_MAGIC, SKGMSMR_OP_INIT, "invalid skgmsmr_ctx", "sskgmsmr_1"},
      {"init retired", SKGMSMR_RETIRED, SKGMSMR_OP_INIT, "invalid skgmsmr_ctx", "sskgmsmr_1"},
      {"attach fresh", 0, SKGMSMR_OP_ATTACH, "invalid skgmsmr_ctx", "sskgmsmr_2"},
      {"attach retired", SKGMSMR_RETIRED, SKGMSMR_OP_ATTACH, "invalid skgmsmr_ctx", "sskgmsmr_2"},
      {"create retired", SKGMSMR_RETIRED, SKGMSMR_OP_CREATE, "invalid skgmsmr_ctx", "sskgmsmr_2"},
      {"detach fresh", 0, SKGMSMR_OP_DETACH, "invalid skgmsmr_ctx", "sskgmsmr_2"},
      {"delete fresh", 0, SKGMSMR_OP_DELETE, "invalid skgmsmr_ctx", "sskgmsmr_2"},
      {"terminate retired", SKGMSMR_RETIRED, SKGMSMR_OP_TERM, "invalid skgmsmr_ctx", "sskgmsmr_2"},
      {"unknown op, fresh", 0, 64, "invalid skgmsmr_ctx", "sskgmsmr_2"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    skgmsmr_ctx ctx{c.magic, 0, 0};
    void *addr = nullptr;
    Outcome o = run(&ctx, c.op, kLen, "/nonexistent", "x", SKGMSMR_MODE_READ, &addr);
    expect_fail(o, -1, 0, c.call, c.loc);
    EXPECT_EQ(ctx.magic, c.magic);
  }
  void *addr = nullptr;
  expect_fail(run(nullptr, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, &addr), -1, 0,
              "invalid skgmsmr_cx", "skgmsmr_op1");
  // A NULL record is allowed: the result alone reports.
  EXPECT_EQ(skgmsmr_op(nullptr, nullptr, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, 0, nullptr),
            SKGMSMR_FAIL);
}

TEST(RegionHandle, UnknownOperationLeavesRecordUntouched) {
  for (uint32_t op : {0u, 3u, 64u, 0xFFFFFFFFu}) {
    skgmsmr_ctx ctx = initialised();
    const slos_error before = dirty_err();
    Outcome o = run(&ctx, op, kLen, nullptr, nullptr, 0, nullptr);
    EXPECT_EQ(o.rc, SKGMSMR_BADOP) << op;
    EXPECT_EQ(memcmp(&o.err, &before, sizeof before), 0) << op;
  }
}

TEST(RegionHandle, InitialiseAndTerminate) {
  skgmsmr_ctx ctx{0, 77, 0x10};
  Outcome o = run(&ctx, SKGMSMR_OP_INIT, 0, nullptr, nullptr, 0, nullptr, 0x5);
  EXPECT_EQ(o.rc, SKGMSMR_OK);
  EXPECT_EQ(o.err.code, 4242) << "success leaves the record alone";
  EXPECT_EQ(ctx.magic, SKGMSMR_MAGIC);
  EXPECT_EQ(ctx.flags, 0x15u);
  EXPECT_EQ(ctx.fd, 0);
  EXPECT_EQ(run(&ctx, SKGMSMR_OP_TERM, 0, nullptr, nullptr, 0, nullptr).rc, SKGMSMR_OK);
  EXPECT_EQ(ctx.magic, SKGMSMR_RETIRED);
}

TEST_F(Region, PathFailures) {
  struct Case {
    const char *what;
    std::function<void()> env;
    uint32_t op;
    const char *home;
    const char *sid;
    const char *loc;
    const char *info;
  } cases[] = {
      {"home unset", [] { unsetenv("VIRUZE_HOME"); }, SKGMSMR_OP_ATTACH, nullptr, "orcl",
       "sskgmsmr_3", "VIRUZE_HOME not set"},
      {"home empty", [] { setenv("VIRUZE_HOME", "", 1); }, SKGMSMR_OP_CREATE, nullptr, "orcl",
       "sskgmsmr_3", "VIRUZE_HOME not set"},
      {"home too long for its buffer",
       [] { setenv("VIRUZE_HOME", std::string(513, 'h').c_str(), 1); }, SKGMSMR_OP_DELETE,
       nullptr, "orcl", "sskgmsmr_3", "VIRUZE_HOME not set"},
      {"sid unset", [] { unsetenv("VIRUZE_SID"); }, SKGMSMR_OP_ATTACH, nullptr, nullptr,
       "sskgmsmr_4", "VIRUZE_SID not set"},
      {"sid empty", [] { setenv("VIRUZE_SID", "", 1); }, SKGMSMR_OP_DELETE, "/h", nullptr,
       "sskgmsmr_4", "VIRUZE_SID not set"},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.what);
    SetUp();
    c.env();
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, c.op, kLen, c.home, c.sid, SKGMSMR_MODE_READ, &addr), -2, 0, "env",
                c.loc, c.info);
    EXPECT_EQ(addr, nullptr);
  }
}

// The composed path holds at most 512 characters: a longer one fails as the
// operation's first call would, with ENAMETOOLONG, and nothing is opened.
TEST_F(Region, PathBoundedTo512) {
  const std::string sid = "x";
  // home + "/dbs/hc_" + sid + ".dat" = home + 13 characters; the home is
  // made of short components, so that only the whole length counts.
  constexpr size_t kHomeMax = 512 - 13;
  std::string fits;
  while (fits.size() + 10 <= kHomeMax) fits += "/hhhhhhhhh";
  fits += "/" + std::string(kHomeMax - fits.size() - 1, 'h');
  const std::string over = fits + "h";
  ASSERT_EQ(fits.size(), kHomeMax);
  for (uint32_t op : {SKGMSMR_OP_ATTACH, SKGMSMR_OP_CREATE, SKGMSMR_OP_DELETE}) {
    SCOPED_TRACE(op);
    const bool del = op == SKGMSMR_OP_DELETE;
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    Outcome o = run(&ctx, op, kLen, fits.c_str(), sid.c_str(), SKGMSMR_MODE_READ, &addr);
    expect_fail(o, -2, ENOENT, del ? "stat" : "open", del ? "sskgmsmr_5" : "sskgmsmr_7");
    o = run(&ctx, op, kLen, over.c_str(), sid.c_str(), SKGMSMR_MODE_READ, &addr);
    expect_fail(o, -2, ENAMETOOLONG, del ? "stat" : "open", del ? "sskgmsmr_5" : "sskgmsmr_7");
  }
}

TEST_F(Region, DeleteFailuresAndSuccess) {
  skgmsmr_ctx ctx = initialised();
  expect_fail(run(&ctx, SKGMSMR_OP_DELETE, 0, nullptr, nullptr, 0, nullptr), -2, ENOENT, "stat",
              "sskgmsmr_5");
  ASSERT_EQ(mkdir(path_.c_str(), 0755), 0);  // stat works, unlink does not
  expect_fail(run(&ctx, SKGMSMR_OP_DELETE, 0, nullptr, nullptr, 0, nullptr), -2, EISDIR, "unlink",
              "sskgmsmr_6");
  ASSERT_EQ(rmdir(path_.c_str()), 0);
  write_file("x");
  EXPECT_EQ(run(&ctx, SKGMSMR_OP_DELETE, 0, nullptr, nullptr, 0, nullptr).rc, SKGMSMR_OK);
  EXPECT_NE(access(path_.c_str(), F_OK), 0);
}

TEST_F(Region, CreateSizesZeroesAndMapsShared) {
  write_file(std::string(4000, 'g'));  // an older, longer file full of garbage
  skgmsmr_ctx ctx = initialised();
  void *addr = nullptr;
  Outcome o = run(&ctx, SKGMSMR_OP_CREATE, kLen, nullptr, nullptr, SKGMSMR_MODE_RW, &addr);
  ASSERT_EQ(o.rc, SKGMSMR_OK) << o.err.call << " " << o.err.location;
  ASSERT_NE(addr, nullptr);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0660u);
  EXPECT_EQ(st.st_size, 4000) << "a longer file keeps its length";
  const unsigned char *p = static_cast<const unsigned char *>(addr);
  EXPECT_EQ(std::vector<unsigned char>(p, p + kLen), std::vector<unsigned char>(kLen, 0));
  EXPECT_TRUE(lock_free_for_others(path_));

  // The mapping is the file: a write shows through the descriptor.
  static_cast<char *>(addr)[100] = 'Q';
  char c = 0;
  ASSERT_EQ(pread(ctx.fd, &c, 1, 100), 1);
  EXPECT_EQ(c, 'Q');

  // An attach of the same file sees the creator's bytes.
  skgmsmr_ctx reader = initialised();
  void *raddr = nullptr;
  ASSERT_EQ(run(&reader, SKGMSMR_OP_ATTACH, kLen, home_.c_str(), "orcl", SKGMSMR_MODE_READ, &raddr).rc,
            SKGMSMR_OK);
  EXPECT_EQ(static_cast<const char *>(raddr)[100], 'Q');
  static_cast<char *>(addr)[101] = 'R';
  EXPECT_EQ(static_cast<const volatile char *>(raddr)[101], 'R');

  // Detach unmaps, closes and forgets the descriptor; the pointer stays.
  int fd = reader.fd;
  ASSERT_EQ(run(&reader, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &raddr).rc, SKGMSMR_OK);
  EXPECT_NE(raddr, nullptr);
  EXPECT_EQ(fcntl(fd, F_GETFD), -1);
  EXPECT_EQ(reader.fd, -1);
  EXPECT_EQ(run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr).rc, SKGMSMR_OK);
}

TEST_F(Region, CreateOfNewFileAndReadOnlyCreateStillZeroes) {
  skgmsmr_ctx ctx = initialised();
  void *addr = nullptr;
  ASSERT_EQ(run(&ctx, SKGMSMR_OP_CREATE, kLen, nullptr, nullptr, SKGMSMR_MODE_RW, &addr).rc,
            SKGMSMR_OK);
  struct stat st;
  ASSERT_EQ(stat(path_.c_str(), &st), 0);
  EXPECT_EQ(st.st_size, static_cast<off_t>(kLen));
  run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr);

  // A mapping that cannot be written: the file is zeroed all the same.
  write_file(std::string(kLen, 'g'));
  skgmsmr_ctx ro = initialised();
  ASSERT_EQ(run(&ro, SKGMSMR_OP_CREATE, kLen, nullptr, nullptr, SKGMSMR_MODE_READ, &addr).rc,
            SKGMSMR_OK);
  const unsigned char *p = static_cast<const unsigned char *>(addr);
  EXPECT_EQ(std::vector<unsigned char>(p, p + kLen), std::vector<unsigned char>(kLen, 0));
  run(&ro, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr);
}

TEST_F(Region, CreateFailures) {
  {
    SCOPED_TRACE("no dbs directory");
    ASSERT_EQ(rmdir((home_ + "/dbs").c_str()), 0);
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, SKGMSMR_OP_CREATE, kLen, nullptr, nullptr, SKGMSMR_MODE_RW, &addr), -2,
                ENOENT, "open", "sskgmsmr_7");
    ASSERT_EQ(mkdir((home_ + "/dbs").c_str(), 0755), 0);
  }
  {
    SCOPED_TRACE("length 0");
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, SKGMSMR_OP_CREATE, 0, nullptr, nullptr, SKGMSMR_MODE_RW, &addr), -2,
                EINVAL, "lseek", "sskgmsmr_10");
    EXPECT_TRUE(lock_free_for_others(path_));
    close(ctx.fd);
  }
  {
    SCOPED_TRACE("mode 7");
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, SKGMSMR_OP_CREATE, kLen, nullptr, nullptr, 7, &addr), -2, 0, "skgmpmode",
                "sskgmsmr_12");
    EXPECT_TRUE(lock_free_for_others(path_));
    EXPECT_NE(fcntl(ctx.fd, F_GETFD), -1) << "the descriptor stays in the handle";
    close(ctx.fd);
  }
}

// The file-size limit makes the sizing write fail with EFBIG.
TEST_F(Region, CreateWriteFailureReleasesLock) {
  const std::string path = path_;
  EXPECT_EQ(in_child([&] {
              signal(SIGXFSZ, SIG_IGN);
              struct rlimit rl{4096, 4096};
              CHILD_CHECK(setrlimit(RLIMIT_FSIZE, &rl) == 0);
              skgmsmr_ctx ctx = initialised();
              void *addr = nullptr;
              Outcome o = run(&ctx, SKGMSMR_OP_CREATE, 8192, nullptr, nullptr, SKGMSMR_MODE_RW, &addr);
              CHILD_CHECK(o.rc == SKGMSMR_FAIL && o.err.code == -2 && o.err.oserr == EFBIG);
              CHILD_CHECK(strcmp(o.err.call, "write") == 0);
              CHILD_CHECK(strcmp(o.err.location, "sskgmsmr_11") == 0);
              CHILD_CHECK(lock_free_for_others(path));
            }),
            0);
}

// Creators wait for the whole-file lock; a signal that interrupts the wait
// fails the create at the lock.
TEST_F(Region, CreateWaitsForLockAndReportsInterruptedWait) {
  write_file("");
  int ready[2];
  ASSERT_EQ(pipe(ready), 0);
  pid_t holder = fork();
  if (holder == 0) {
    int fd = open(path_.c_str(), O_RDWR);
    struct flock fl{};
    fl.l_type = F_WRLCK;
    fl.l_whence = SEEK_SET;
    if (fd < 0 || fcntl(fd, F_SETLK, &fl) != 0) _exit(1);
    char c = 1;
    if (write(ready[1], &c, 1) != 1) _exit(1);
    pause();
    _exit(0);
  }
  char c;
  ASSERT_EQ(read(ready[0], &c, 1), 1);
  EXPECT_EQ(in_child([] {
              struct sigaction sa{};
              sa.sa_handler = [](int) {};
              sigaction(SIGALRM, &sa, nullptr);  // no SA_RESTART
              alarm(1);
              skgmsmr_ctx ctx = initialised();
              void *addr = nullptr;
              Outcome o = run(&ctx, SKGMSMR_OP_CREATE, kLen, nullptr, nullptr, SKGMSMR_MODE_RW, &addr);
              CHILD_CHECK(o.rc == SKGMSMR_FAIL && o.err.code == -2 && o.err.oserr == EINTR);
              CHILD_CHECK(strcmp(o.err.call, "lock") == 0);
              CHILD_CHECK(strcmp(o.err.location, "sskgmsmr_8") == 0);
            }),
            0);
  kill(holder, SIGKILL);
  waitpid(holder, nullptr, 0);
  close(ready[0]);
  close(ready[1]);
}

TEST_F(Region, AttachFailures) {
  {
    SCOPED_TRACE("missing file");
    skgmsmr_ctx ctx = initialised();
    void *addr = reinterpret_cast<void *>(0x1234);
    expect_fail(run(&ctx, SKGMSMR_OP_ATTACH, kLen, nullptr, nullptr, SKGMSMR_MODE_READ, &addr), -2,
                ENOENT, "open", "sskgmsmr_7");
    EXPECT_EQ(addr, reinterpret_cast<void *>(0x1234));
  }
  write_file(std::string(kLen, 'x'));
  {
    SCOPED_TRACE("mode 7");
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, SKGMSMR_OP_ATTACH, kLen, nullptr, nullptr, 7, &addr), -2, 0, "skgmpmode",
                "sskgmsmr_12");
    EXPECT_NE(fcntl(ctx.fd, F_GETFD), -1) << "the descriptor stays open in the handle";
    close(ctx.fd);
  }
  {
    SCOPED_TRACE("length 0");
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, SKGMSMR_OP_ATTACH, 0, nullptr, nullptr, SKGMSMR_MODE_READ, &addr), -2,
                EINVAL, "mmap", "sskgmsmr_13");
    EXPECT_EQ(addr, MAP_FAILED);
    close(ctx.fd);
  }
  for (size_t size : {kLen - 1, size_t{100}, size_t{0}}) {
    SCOPED_TRACE(size);
    write_file(std::string(size, 'x'));
    skgmsmr_ctx ctx = initialised();
    void *addr = nullptr;
    expect_fail(run(&ctx, SKGMSMR_OP_ATTACH, kLen, nullptr, nullptr, SKGMSMR_MODE_READ, &addr), -2,
                ENXIO, "mmap", "sskgmsmr_13", "file shorter than the mapping");
    EXPECT_EQ(addr, MAP_FAILED);
    close(ctx.fd);
  }
}

TEST_F(Region, AttachIgnoresViruzePath) {
  // VIRUZE_PATH names a directory holding a file called like the sid: the
  // name translation of other callers would take it; region files do not.
  TempDir elsewhere;
  elsewhere.write("orcl", "");
  free(slorpath);
  slorpath = nullptr;
  slphinit = 0;
  setenv("VIRUZE_PATH", elsewhere.path().c_str(), 1);
  write_file(std::string(kLen, 'x'));
  skgmsmr_ctx ctx = initialised();
  void *addr = nullptr;
  Outcome o = run(&ctx, SKGMSMR_OP_ATTACH, kLen, nullptr, nullptr, SKGMSMR_MODE_READ, &addr);
  ASSERT_EQ(o.rc, SKGMSMR_OK) << o.err.call << " " << o.err.location;
  EXPECT_EQ(static_cast<const char *>(addr)[0], 'x');
  run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr);
  unsetenv("VIRUZE_PATH");
}

// A file beyond 2 GiB: the 32-bit build opens and maps it through the
// large-file calls (without them the open fails with EOVERFLOW).
TEST_F(Region, AttachLargeFile) {
  write_file("");
  if (truncate(path_.c_str(), 3LL << 30) != 0) GTEST_SKIP() << "no sparse 3 GiB file here";
  skgmsmr_ctx ctx = initialised();
  void *addr = nullptr;
  Outcome o = run(&ctx, SKGMSMR_OP_ATTACH, kLen, nullptr, nullptr, SKGMSMR_MODE_READ, &addr);
  EXPECT_EQ(o.rc, SKGMSMR_OK) << o.err.call << " " << o.err.location << " " << strerror(o.err.oserr);
  if (o.rc == SKGMSMR_OK) run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr);
  EXPECT_EQ(run(&ctx, SKGMSMR_OP_DELETE, 0, nullptr, nullptr, 0, nullptr).rc, SKGMSMR_OK);
}

TEST_F(Region, DetachFailures) {
  write_file(std::string(kLen, 'x'));
  skgmsmr_ctx ctx = initialised();
  void *addr = nullptr;
  ASSERT_EQ(run(&ctx, SKGMSMR_OP_ATTACH, kLen, nullptr, nullptr, SKGMSMR_MODE_READ, &addr).rc,
            SKGMSMR_OK);
  void *bad = reinterpret_cast<void *>(1);
  expect_fail(run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &bad), -2, EINVAL, "munmap",
              "sskgmsmr_15");
  ASSERT_EQ(run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr).rc, SKGMSMR_OK);

  // A second detach must not close a descriptor that was opened since and
  // got the same number.
  int other = open("/dev/null", O_RDONLY);
  ASSERT_GE(other, 0);
  expect_fail(run(&ctx, SKGMSMR_OP_DETACH, kLen, nullptr, nullptr, 0, &addr), -2, EBADF, "close",
              "sskgmsmr_16");
  EXPECT_NE(fcntl(other, F_GETFD), -1);
  close(other);
}

}  // namespace
