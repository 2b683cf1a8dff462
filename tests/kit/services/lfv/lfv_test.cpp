// Virtual-file layer: handles on their own, and the whole layer in a child
// process with and without the data package on the search path.
#include <gtest/gtest.h>
#include <spawn.h>
#include <sys/wait.h>

#include <cstring>
#include <string>
#include <vector>

#include "lfv.h"

extern char **environ;

namespace {

// Runs the child program with exactly the given environment; its exit code.
int run_child(const char *what, std::vector<std::string> envs) {
  envs.push_back("ASAN_OPTIONS=detect_leaks=0");  // the stashed block lives on
  std::vector<char *> envp;
  for (auto &e : envs) envp.push_back(e.data());
  envp.push_back(nullptr);
  std::string prog = LFV_CHILD;
  char *argv[] = {prog.data(), const_cast<char *>(what), nullptr};
  pid_t pid = 0;
  if (posix_spawn(&pid, prog.c_str(), nullptr, nullptr, argv, envp.data()) != 0) return -1;
  int status = 0;
  if (waitpid(pid, &status, 0) != pid || !WIFEXITED(status)) return -1;
  return WEXITSTATUS(status);
}

const std::string kSearch = std::string("LD_LIBRARY_PATH=") + QEN_PKG_DIR;

TEST(VirtualFiles, PackageOnTheSearchPath) {
  EXPECT_EQ(run_child("present", {kSearch}), 0) << "VIRUZE_HOME unset";
  EXPECT_EQ(run_child("present", {kSearch, "VIRUZE_HOME="}), 0) << "VIRUZE_HOME empty";
  EXPECT_EQ(run_child("present", {kSearch, "VIRUZE_HOME=."}), 0) << "VIRUZE_HOME .";
  EXPECT_EQ(run_child("present", {kSearch, "VIRUZE_HOME=/opt/xy"}), 0) << "absolute";
  EXPECT_EQ(run_child("present", {kSearch, "VIRUZE_HOME=/"}), 0) << "root";
}

TEST(VirtualFiles, PackageNotInstalled) {
  EXPECT_EQ(run_child("absent", {}), 0);
  EXPECT_EQ(run_child("absent", {"VIRUZE_HOME=/opt/xy"}), 0);
}

TEST(VirtualFiles, ThreadsStartingTheLayerTogether) {
  EXPECT_EQ(run_child("threads", {"VIRUZE_HOME=/opt/xy"}), 0);
}

TEST(VirtualFiles, SeekReadAndPosition) {
  static const uint8_t bytes[] = {'a', 'b', 'c', 'd', 'e'};
  lfv_file f{5, 0, bytes};
  slos_error err{};
  char buf[8] = {};
  EXPECT_EQ(lfvread(&f, buf, 2), 2);
  EXPECT_EQ(std::string(buf, 2), "ab");
  EXPECT_EQ(lfvpos(&f), 2u);
  EXPECT_EQ(lfvseek(&f, &err, 2, 1), 0);  // to 4
  EXPECT_EQ(lfvpos(&f), 4u);
  EXPECT_EQ(lfvseek(&f, &err, 1, 1), -1);  // 5 is not below the size
  EXPECT_EQ(err.code, -9);
  // The record keeps the first 32 characters of a message.
  EXPECT_EQ(std::string(err.call),
            std::string("offset + curr pos exceeds size for SEEK_CUR").substr(0, 32));
  EXPECT_EQ(lfvpos(&f), 4u);
  EXPECT_EQ(lfvseek(&f, &err, -3, 1), 0);  // back to 1, in unsigned arithmetic
  EXPECT_EQ(lfvpos(&f), 1u);
  err = slos_error{};
  EXPECT_EQ(lfvseek(&f, &err, 5, 0), -1);  // exactly the size
  EXPECT_EQ(err.code, -9);
  EXPECT_EQ(std::string(err.call), std::string("offset exceeds size for SEEK_SET").substr(0, 32));
  EXPECT_STREQ(err.location, "lfvseek");
  EXPECT_EQ(lfvseek(&f, &err, -1, 0), -1);
  EXPECT_EQ(lfvseek(&f, &err, 4, 0), 0);
  EXPECT_EQ(lfvseek(&f, &err, 0, 7), 0);  // other whence: nothing
  EXPECT_EQ(lfvpos(&f), 4u);
  EXPECT_EQ(lfvread(&f, buf, 8), 1);
  EXPECT_EQ(buf[0], 'e');
  EXPECT_EQ(lfvread(&f, buf, 8), -2);  // at the end: -2, not 0
  EXPECT_EQ(lfvread(&f, buf, 0), -2);
}

TEST(VirtualFiles, LibraryName) {
  char buf[32];
  EXPECT_STREQ(slfvDirShlibName(buf, "vedoz"), "libvedoz.so");
}

}  // namespace
