// Small services of the OS-dependent layer.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <sys/time.h>
#include <sys/utsname.h>
#include <time.h>
#include <unistd.h>

#include <fstream>
#include <string>

#include <gtest/gtest.h>

#include "child.h"
#include "slmisc.h"

namespace {

void old_handler(int) {}

std::string temp_dir() {
  char tmpl[] = "/tmp/qen_slmisc_XXXXXX";
  const char *d = mkdtemp(tmpl);
  return d != nullptr ? d : "/tmp";
}

}  // namespace

TEST(Slrac, MappedAndUnmappedRangesHandlersKept) {
  const long page = sysconf(_SC_PAGESIZE);
  char *p = static_cast<char *>(
      mmap(nullptr, 2 * page, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
  ASSERT_NE(p, MAP_FAILED);
  ASSERT_EQ(munmap(p + page, page), 0);
  struct sigaction mine;
  memset(&mine, 0, sizeof mine);
  mine.sa_handler = old_handler;
  ASSERT_EQ(sigaction(SIGSEGV, &mine, nullptr), 0);
  struct Case {
    const void *addr;
    size_t len;
    int want;
  } cases[] = {
      {p, static_cast<size_t>(page), 0},
      {p, 1, 0},
      {p + page - 1, 1, 0},
      {p, static_cast<size_t>(page) + 1, 1},  // last byte unmapped
      {p + page, 1, 1},                       // first byte unmapped
      {nullptr, 8, 1},
  };
  for (const Case &c : cases) {
    EXPECT_EQ(slrac(c.addr, c.len), c.want) << c.addr << " " << c.len;
    struct sigaction now;
    ASSERT_EQ(sigaction(SIGSEGV, nullptr, &now), 0);
    EXPECT_EQ(now.sa_handler, old_handler) << "the previous action is back";
  }
  signal(SIGSEGV, SIG_DFL);
  munmap(p, page);
}

TEST(Slnrm, TranslatesPlacesAndFolds) {
  EXPECT_EQ(in_child([] {
              setenv("VIRUZE_HOME", "/u01/oh", 1);
              unsetenv("VIRUZE_PATH");
              struct Case {
                const char *name;
                size_t size;
                const char *want;  // nullptr: fails
                int code;
              } cases[] = {
                  {"alert.log", 64, "/u01/oh/dbs/alert.log", 0},
                  {"/a//b/./c", 64, "/a/b/c", 0},
                  {"/a/.//./b", 64, "/a/b", 0},
                  {"+x//y", 64, "+x/y", 0},
                  {"?/x", 64, "/u01/oh/x", 0},
                  {"/a/../b", 64, nullptr, SLNRM_ERR_DOTDOT},
                  {"alert.log", 21, nullptr, SLNRM_ERR_LONG},  // 11 + 9 + 2 bytes needed
                  {"alert.log", 22, "/u01/oh/dbs/alert.log", 0},
              };
              for (const Case &c : cases) {
                char out[600];
                memset(out, '#', sizeof out);
                sl_status st;
                size_t len = 99;
                slnrm(&st, c.name, strlen(c.name), out, c.size, &len);
                if (c.want != nullptr) {
                  if (st.code != 0 || strcmp(out, c.want) != 0)
                    fprintf(stderr, "%s: %d %s\n", c.name, st.code, out);
                  CHILD_CHECK(st.code == 0 && strcmp(out, c.want) == 0 && len == strlen(c.want));
                } else {
                  CHILD_CHECK(st.code == c.code && len == 0);
                }
                if (c.code == SLNRM_ERR_LONG)
                  CHILD_CHECK(st.detail[0] == 22 && st.detail[1] == 21 && st.detail[2] == 512);
              }
            }),
            0);
}

TEST(Slstatus, SetiAndGei) {
  sl_status st;
  memset(&st, 0x5A, sizeof st);
  EXPECT_EQ(slseti(&st), &st);
  EXPECT_EQ(st.code, 0);
  EXPECT_EQ(st.detail[2], 0);
  st.code = 7206;
  int a = 1, b = 2;
  auto fn = [](void *ctx, int32_t code, int zero, void *x, void *y, int32_t code2) {
    return (ctx != nullptr && zero == 0 && code == code2 && *static_cast<int *>(x) == 1 &&
            *static_cast<int *>(y) == 2)
               ? code + 1
               : -1;
  };
  EXPECT_EQ(slgei(&st, fn, &st, &a, &b), 7207);
}

TEST(Slhost, UnameCopyAndLines) {
  EXPECT_EQ(in_child([] {
              struct utsname u;
              CHILD_CHECK(uname(&u) == 0);
              sl_status st;
              CHILD_CHECK(slgunm(&st) == 1 && st.code == 0);
              CHILD_CHECK(slgunm(nullptr) == 1);
              char buf[300];
              size_t n = slghst(&st, buf, sizeof buf);
              CHILD_CHECK(std::string(buf, n) == u.nodename);
              CHILD_CHECK(slghst(&st, buf, 2) == std::min<size_t>(2, strlen(u.nodename)));
              std::string line = std::string("Node name:\t") + u.nodename + "\n";
              memset(buf, '#', sizeof buf);
              CHILD_CHECK(slgsds(2, buf, 5) == 5 && memcmp(buf, line.data(), 5) == 0 &&
                          buf[5] == '#');
              n = slgsds(1, buf, sizeof buf);
              CHILD_CHECK(std::string(buf, n) == std::string("System name:\t") + u.sysname + "\n");
              n = slgsds(5, buf, sizeof buf);
              CHILD_CHECK(std::string(buf, n) == std::string("Machine:\t") + u.machine + "\n");
              CHILD_CHECK(slgsds(6, buf, sizeof buf) == 0 && slgsds(-1, buf, sizeof buf) == 0);
              CHILD_CHECK(slgsds(1, buf, 0) == 0);
              setenv("VIRUZE_HOME", "/u01/oh", 1);
              n = slgsds(0, buf, sizeof buf);
              CHILD_CHECK(n == strlen("VIRUZE_HOME = /u01/oh\n") &&
                          strcmp(buf, "VIRUZE_HOME = /u01/oh\n") == 0);
              unsetenv("VIRUZE_HOME");
              n = slgsds(0, buf, 10);
              CHILD_CHECK(n == 9 && strcmp(buf, "VIRUZE_HO") == 0);
              CHILD_CHECK(slcpuc(&st) >= 1);
            }),
            0);
}

TEST(Sltime, ConversionsTable) {
  EXPECT_EQ(in_child([] {
              setenv("TZ", "UTC", 1);
              tzset();
              char buf[SLCTS_LEN];
              CHILD_CHECK(strcmp(slcts(0, buf, 0), "") == 0);
              CHILD_CHECK(strcmp(slcts(1000000000, buf, 0), "09/09/2001 01:46:40") == 0);
              CHILD_CHECK(strcmp(slcts(1000000000, buf, 1), "09/09/01 01:46:40") == 0);
              CHILD_CHECK(strcmp(slcts(4294967295u, buf, 0), "02/07/2106 06:28:15") == 0);
              for (uint32_t t : {1u, 951782400u, 1000000000u, 4102444799u}) {
                sl_caltime c;
                slctod(t, &c);
                CHILD_CHECK(slctgt(&c) == static_cast<int64_t>(t));
              }
              sl_caltime g;
              uint8_t wd = 9;
              slctgd(951782400u, &g, &wd);  // 2000-02-29, a Tuesday
              CHILD_CHECK(g.year == 2000 && g.month == 2 && g.day == 29 && g.hour == 0 && wd == 2);
              sl_status st;
              sl_systime now;
              memset(&now, 0xFF, sizeof now);
              // Read against the same clock (time() may lag gettimeofday by a tick).
              struct timeval before, after;
              gettimeofday(&before, nullptr);
              uint32_t s = slgtds(&st, &now);
              gettimeofday(&after, nullptr);
              CHILD_CHECK(st.code == 0 && s >= static_cast<uint32_t>(before.tv_sec) &&
                          s <= static_cast<uint32_t>(after.tv_sec));
              CHILD_CHECK(now.year >= 2024 && now.month >= 1 && now.month <= 12 &&
                          now.msec < 1000 && now.zero == 0);
              CHILD_CHECK(slgtd(&st, &now) == &now);
              char a[SLGOCI_LEN], b[SLGOCI_LEN];
              CHILD_CHECK(slgocitrcfn(a, b) == a);
              std::string pid = std::to_string(getpid());
              CHILD_CHECK(a == "zur_skgu_" + pid + ".trc1" && b == "zur_skgu_" + pid + ".trc2");
            }),
            0);
}

TEST(Slsfopen, RefusesLinksAndLongNames) {
  std::string dir = temp_dir();
  std::string file = dir + "/plain";
  { std::ofstream(file) << "data"; }
  ASSERT_EQ(symlink(file.c_str(), (dir + "/soft").c_str()), 0);
  std::string hard = dir + "/twice";
  { std::ofstream(hard) << "x"; }
  ASSERT_EQ(link(hard.c_str(), (dir + "/twice2").c_str()), 0);
  struct Case {
    const char *name;
    bool with_dir;
    int code;
    const char *text;
    const char *loc;
  } cases[] = {
      {"plain", true, 0, nullptr, nullptr},
      {"soft", true, SLSF_ERR_NAME, "soft link detected", "slsfopen4"},
      {"twice", true, SLSF_ERR_NAME, "hard links detected", "slsfopen5"},
      {"missing", true, SLSF_ERR_SYS, "lstat failed", "slsfopen3"},
  };
  for (const Case &c : cases) {
    slos_error err{};
    slf_handle *h = slsfopen(c.name, dir.c_str(), &err);
    if (c.code == 0) {
      ASSERT_NE(h, nullptr);
      char buf[8] = {};
      EXPECT_EQ(fread(buf, 1, sizeof buf, static_cast<FILE *>(h->stream)), 4u);
      EXPECT_STREQ(buf, "data");
      fclose(static_cast<FILE *>(h->stream));
      free(h);
    } else {
      EXPECT_EQ(h, nullptr) << c.name;
      EXPECT_EQ(err.code, c.code) << c.name;
      EXPECT_STREQ(err.call, c.text);
      EXPECT_STREQ(err.location, c.loc);
    }
  }
  // The path with a trailing "/" on the directory, and the name alone.
  slos_error err{};
  slf_handle *h = slsfopen("plain", (dir + "/").c_str(), &err);
  ASSERT_NE(h, nullptr);
  fclose(static_cast<FILE *>(h->stream));
  free(h);
  h = slsfopen(file.c_str(), nullptr, &err);
  ASSERT_NE(h, nullptr);
  fclose(static_cast<FILE *>(h->stream));
  free(h);
  // 1000 + "/" + 23 characters: too long.
  std::string longdir(1000, 'd');
  std::string name(23, 'n');
  err = slos_error{};
  EXPECT_EQ(slsfopen(name.c_str(), longdir.c_str(), &err), nullptr);
  EXPECT_EQ(err.code, SLSF_ERR_NAME);
  EXPECT_STREQ(err.call, "name too long");
  EXPECT_STREQ(err.location, "slsfopen2");
  std::string longname(1024, 'n');
  EXPECT_EQ(slsfopen(longname.c_str(), nullptr, &err), nullptr);
  EXPECT_STREQ(err.location, "slsfopen1");
  // No descriptor is left open by the refusals.
  int probe = open("/dev/null", O_RDONLY);
  EXPECT_LT(probe, 10);
  close(probe);
  std::string cmd = "rm -rf " + dir;
  EXPECT_EQ(system(cmd.c_str()), 0);
}
