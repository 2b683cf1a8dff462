// standin: the process it starts has exactly the chosen command line as the
// agents' process records show it, its zone from QEN_ZONEID, the caller's
// identity, and is running when standin has printed its id.
#include <signal.h>
#include <stdio.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "psinfo.h"

namespace {

struct Ran {
  int status = -1;
  std::string out;
};

Ran shell(const std::string &cmd) {
  Ran r;
  FILE *p = popen(cmd.c_str(), "r");
  if (p == nullptr) return r;
  char buf[256];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
  return r;
}

std::string cmdline(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/cmdline", std::ios::binary);
  return std::string(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
}

TEST(Standin, RunsUnderTheChosenCommandLine) {
  // the process's standard output must not hold the reader open: popen
  // returns only when every writer has gone
  Ran r = shell("QEN_ZONEID=3 '" STANDIN "' /opt/sybase/bin/dataserver -sPRODSRV '' 'two words'");
  ASSERT_EQ(r.status, 0);
  ASSERT_FALSE(r.out.empty());
  EXPECT_EQ(r.out.back(), '\n');
  const pid_t pid = static_cast<pid_t>(std::stol(r.out));
  ASSERT_GT(pid, 0);
  const char want[] = "/opt/sybase/bin/dataserver\0-sPRODSRV\0\0two words\0";
  EXPECT_EQ(cmdline(pid), std::string(want, sizeof want - 1));
  psinfo_t info{};
  ASSERT_EQ(psinfo_build(pid, &info), 0);
  EXPECT_STREQ(info.pr_psargs, "/opt/sybase/bin/dataserver -sPRODSRV  two words");
  EXPECT_EQ(info.pr_zoneid, 3);
  EXPECT_EQ(info.pr_euid, geteuid());
  ASSERT_EQ(kill(pid, SIGTERM), 0);
}

TEST(Standin, Usage) {
  Ran r = shell("'" STANDIN "' 2>&1");
  EXPECT_EQ(r.status, 2);
  EXPECT_EQ(r.out.rfind("usage: standin PROGRAM [ARG ...]\n", 0), 0u) << r.out;
  r = shell("'" STANDIN "' --help 2>/dev/null");
  EXPECT_EQ(r.status, 0);
  EXPECT_EQ(r.out.rfind("usage: standin PROGRAM [ARG ...]\n", 0), 0u) << r.out;
}

}  // namespace
