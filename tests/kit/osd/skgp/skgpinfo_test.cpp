// Process information and diagnostics.
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pwd.h>
#include <stdarg.h>
#include <stdio.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "kstat.h"
#include "skgp.h"
#include "trace_capture.h"

namespace {

// A context that passes the set-up check without registering anything.
skgp_ctx marked_ctx(skgp_ops *ops) {
  skgp_ctx ctx{};
  ctx.flags = SKGP_FLG_INIT;
  ctx.ops = ops;
  return ctx;
}

}  // namespace

TEST(Skgpospidstr, FitsOrFails) {
  skgp_ops ops{};
  skgp_ctx ctx = marked_ctx(&ops);
  struct Case {
    int32_t pid;
    const char *image;
    uint32_t flags;
    size_t room;
    const char *want;  // nullptr: 27151
  } cases[] = {
      {123, "/bin/x", SKGP_PIDSTR_IMAGE, 37, "Unix process pid: 123, image: /bin/x"},
      {123, "/bin/x", SKGP_PIDSTR_IMAGE, 36, nullptr},
      {123, nullptr, SKGP_PIDSTR_IMAGE, 64, "Unix process pid: 123, image: "},
      {123, "/bin/x", 0, 4, "123"},
      {123, "/bin/x", 0, 3, nullptr},
      {-2147483647 - 1, nullptr, 0, 12, "-2147483648"},
  };
  for (const Case &c : cases) {
    char buf[64];
    memset(buf, '#', sizeof buf);
    size_t out = 77;
    slos_error err{};
    int rc = skgpospidstr(&err, &ctx, &c.pid, buf, c.room, &out, c.image,
                          c.image ? strlen(c.image) : 0, c.flags);
    if (c.want != nullptr) {
      EXPECT_EQ(rc, 1);
      EXPECT_STREQ(buf, c.want);
      EXPECT_EQ(out, strlen(c.want));
    } else {
      EXPECT_EQ(rc, 0);
      EXPECT_EQ(err.code, SKGP_ERR_ROOM);
      EXPECT_STREQ(err.location, "skgpospidstr");  // 12 characters of the tag
      EXPECT_STREQ(err.other, "77");
      EXPECT_EQ(buf[0], '#');
    }
  }
}

TEST(Skgpscanpid, BasesLeftoversAndRange) {
  skgp_ops ops{};
  skgp_ctx ctx = marked_ctx(&ops);
  struct Case {
    const char *text;
    int32_t pid;
    bool ok;
  } cases[] = {
      {"0x1F", 31, true},
      {"017", 15, true},
      {"4242", 4242, true},
      {"12ab", 12, false},
      {"2147483647", INT_MAX, true},
      {"2147483648", INT32_MIN, false},
      {"-2147483649", INT32_MAX, false},
      {"00000000000000000000012", 10, true},    // 23 characters, octal
      {"000000000000000000000012", 1, false},   // 24: too long
      {"", 0, true},
  };
  for (const Case &c : cases) {
    const char *text = c.text;
    size_t len = strlen(text);
    skgp_pid out{};
    out.stime = 99;
    slos_error err{};
    skgpscanpid(&err, &ctx, nullptr, &text, &len, &out);
    EXPECT_EQ(out.stime, 0) << c.text;
    if (c.ok) {
      EXPECT_EQ(err.code, 0) << c.text;
      EXPECT_EQ(out.pid, c.pid) << c.text;
    } else {
      EXPECT_EQ(err.code, SKGP_ERR_SCAN) << c.text;
      EXPECT_STREQ(err.location, "skgpscanpid");
      EXPECT_EQ(std::string(err.other), "pid = " + std::to_string(out.pid)) << c.text;
    }
  }
}

TEST(Skgpgetinfo, SelectorsAndUnknown) {
  skgp_ops ops{};
  skgp_ctx ctx = marked_ctx(&ops);
  char buf[300];
  size_t out = 0;
  slos_error err{};
  struct utsname u;
  ASSERT_EQ(uname(&u), 0);
  ASSERT_EQ(skgpgetinfo(&err, &ctx, buf, sizeof buf, &out, SKGP_INFO_OSNAME), 1);
  EXPECT_EQ(std::string(buf, out), u.sysname);
  ASSERT_EQ(skgpgetinfo(&err, &ctx, buf, 3, &out, SKGP_INFO_OSNAME), 1);
  EXPECT_EQ(std::string(buf, out), std::string(u.sysname).substr(0, 3));
  struct passwd *pw = getpwuid(getuid());
  ASSERT_NE(pw, nullptr);
  ASSERT_EQ(skgpgetinfo(&err, &ctx, buf, sizeof buf, &out, SKGP_INFO_USER), 1);
  EXPECT_EQ(std::string(buf, out), pw->pw_name);
  // Not supported, and unknown selectors: "UNKNOWN", never past the buffer.
  for (size_t room : {sizeof buf, size_t{8}, size_t{3}}) {
    memset(buf, '#', sizeof buf);
    err = slos_error{};
    EXPECT_EQ(skgpgetinfo(&err, &ctx, buf, room, &out, SKGP_INFO_EXENAME), 0);
    EXPECT_EQ(err.code, SKGP_ERR_NOTSUP);
    EXPECT_STREQ(err.location, "skgpgetinfo2");
    EXPECT_EQ(std::string(buf, out), std::string("UNKNOWN").substr(0, std::min<size_t>(room, 7)));
    EXPECT_EQ(buf[std::min<size_t>(room, 8)], '#');
  }
  err = slos_error{};
  EXPECT_EQ(skgpgetinfo(&err, &ctx, buf, sizeof buf, &out, 0x2), 0);
  EXPECT_EQ(err.code, 0);
  EXPECT_STREQ(buf, "UNKNOWN");
  // The terminal of descriptor 0: none in a child whose input is a file.
  EXPECT_EQ(in_child([&] {
              FILE *f = freopen("/dev/null", "r", stdin);
              CHILD_CHECK(f != nullptr);
              slos_error e{};
              char b[16];
              size_t n = 0;
              CHILD_CHECK(skgpgetinfo(&e, &ctx, b, sizeof b, &n, SKGP_INFO_TTY) == 0);
              CHILD_CHECK(e.code == SKGP_ERR_NAME && strcmp(e.location, "skgpgetinfo3") == 0);
              CHILD_CHECK(n == 7 && memcmp(b, "UNKNOWN", 8) == 0);
            }),
            0);
}

TEST(Skgpiid, GetCompareDump) {
  skgp_ops ops{};
  ops.trace = trace;
  skgp_ctx ctx = marked_ctx(&ops);
  std::string path = "/tmp/qen_iid_" + std::to_string(getpid());
  { std::ofstream(path) << "first"; }
  struct timespec old[2] = {{1000000000, 0}, {1000000000, 0}};
  ASSERT_EQ(utimensat(AT_FDCWD, path.c_str(), old, 0), 0);
  skgp_iid a{}, b{};
  slos_error err{};
  ASSERT_EQ(skgpiidget(&err, &ctx, path.c_str(), &a), 1);
  EXPECT_EQ(a.magic, SKGP_IID_MAGIC);
  EXPECT_EQ(a.size, 5u);
  EXPECT_EQ(a.mtime, 1000000000u);
  int same = -1;
  ASSERT_EQ(skgpiidcompare(&err, &ctx, &a, &a, &same), 1);
  EXPECT_EQ(same, 1);
  { std::ofstream(path) << "other"; }  // same size, new time
  ASSERT_EQ(skgpiidget(&err, &ctx, path.c_str(), &b), 1);
  ASSERT_EQ(skgpiidcompare(&err, &ctx, &a, &b, &same), 1);
  EXPECT_EQ(same, 0);
  skgp_iid bad = a;
  bad.magic = 0;
  EXPECT_EQ(skgpiidcompare(&err, &ctx, &bad, &a, &same), 0);
  EXPECT_STREQ(err.location, "skgpiidcompa");  // 12 characters of the tag
  EXPECT_EQ(err.code, -1);
  g_trace.clear();
  skgpiiddmp(&err, &ctx, &a);
  char want[128];
  snprintf(want, sizeof want, "iid info sz=5 inode=%d ts=0x3b9aca00\n", static_cast<int>(a.inode));
  EXPECT_EQ(g_trace, want);
  unlink(path.c_str());
  EXPECT_EQ(skgpiidget(&err, &ctx, path.c_str(), &b), 0);
  EXPECT_EQ(err.code, SKGP_ERR_SYSCALL);
  EXPECT_EQ(err.oserr, ENOENT);
}

TEST(Skgpdiagpid, ReportCutToTheBuffer) {
  skgp_ops ops{};
  skgp_ctx ctx = marked_ctx(&ops);
  slos_error err{};
  int32_t pid = 4242;
  char buf[512];
  memset(buf, '#', sizeof buf);
  ASSERT_EQ(skgpdiagpid(&err, &ctx, &pid, buf, 20), 1);
  EXPECT_EQ(strlen(buf), 19u) << "the load averages fill the rest";
  EXPECT_EQ(std::string(buf), std::string("OS pid = 4242\nloadavg : ").substr(0, 19));
  memset(buf, '#', sizeof buf);
  int32_t big = 1234567890;
  ASSERT_EQ(skgpdiagpid(&err, &ctx, &big, buf, 20), 1);
  EXPECT_STREQ(buf, "OS pid = 1234567890");  // 19 characters
  EXPECT_EQ(buf[20], '#');
  memset(buf, '#', sizeof buf);
  ASSERT_EQ(skgpdiagpid(&err, &ctx, &pid, buf, sizeof buf), 1);
  double a, b, c;
  EXPECT_EQ(sscanf(buf, "OS pid = 4242\nloadavg : %lf %lf %lf\n", &a, &b, &c), 3) << buf;
  EXPECT_NE(memchr(buf, '\0', sizeof buf), nullptr);
  int32_t zero = 0;
  EXPECT_EQ(skgpdiagpid(&err, &ctx, &zero, buf, sizeof buf), 0);
  EXPECT_EQ(err.code, SKGP_ERR_BADPID);
  EXPECT_EQ(skgpdiagpid(&err, &ctx, &pid, buf, 0), 0);
  EXPECT_EQ(err.code, -1);
  char small[5] = {'#', '#', '#', '#', '#'};
  skgpcopyin(small, 4, "abcdef");
  EXPECT_STREQ(small, "abc");
  skgpcopyin(small, 0, "xyz");
  EXPECT_STREQ(small, "abc");
}

TEST(Skgpgpmap, SumsTheOwnMappings) {
  slos_error err{};
  EXPECT_EQ(skgpgpmap(&err, nullptr), -1);
  EXPECT_EQ(err.code, 0);
  uint64_t total = 0;
  ASSERT_EQ(skgpgpmap(&err, &total), 0);
  // The same sum from the text of /proc/self/maps.
  std::ifstream maps("/proc/self/maps");
  uint64_t want = 0;
  for (std::string line; std::getline(maps, line);) {
    unsigned long long lo, hi;
    if (sscanf(line.c_str(), "%llx-%llx", &lo, &hi) == 2) want += hi - lo;
  }
  EXPECT_GT(total, 0u);
  EXPECT_NEAR(static_cast<double>(total), static_cast<double>(want), want * 0.05);
}

TEST(Skgpgswap, FiguresFromTheMemoryStatistics) {
  // A fixture in place of /proc/meminfo: the figures of the second reading,
  // in MiB of pages.
  std::string path = "/tmp/qen_meminfo_" + std::to_string(getpid());
  {
    std::ofstream f(path);
    f << "MemTotal: 8388608 kB\nMemFree: 2097152 kB\nSwapTotal: 1048576 kB\n"
         "SwapFree: 786432 kB\nCommitted_AS: 524288 kB\n";
  }
  qen_kstat_set_meminfo_path(path.c_str());
  skgp_ops ops{};
  skgp_ctx ctx = marked_ctx(&ops);
  ctx.usec_per_tick = 10001;
  char buf[256];
  memset(buf, 0, sizeof buf);
  skgpgswap(&ctx, buf, sizeof buf);
  EXPECT_STREQ(buf,
               "swap info: free_mem = 2048.00M rsv = 512.00M \n"
               "           alloc = 256.00M avail = 2560.00 swap_free = 768.00M\n");
  // A missing file: no output.
  qen_kstat_set_meminfo_path("/nonexistent/meminfo");
  buf[0] = '\0';
  skgpgswap(&ctx, buf, sizeof buf);
  EXPECT_STREQ(buf, "");
  qen_kstat_set_meminfo_path(nullptr);
  unlink(path.c_str());
}
