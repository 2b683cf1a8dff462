// hcwrite against an independent reader: hcread.py takes the file apart with
// Python's struct module from the layout table, in both widths.
#include <signal.h>
#include <stdio.h>
#include <sys/prctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <map>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "vsnnum.h"

namespace {

const std::string kReader = QEN_SOURCE_DIR "/tests/tools/hcw/hcread.py";

std::string quote(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

struct Ran {
  int status;
  std::string out;
};

Ran shell(const std::string &cmd) {
  Ran r{-1, {}};
  FILE *p = popen((cmd + " 2>&1").c_str(), "r");
  if (p == nullptr) return r;
  char buf[512];
  size_t n;
  while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
  int st = pclose(p);
  r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
  return r;
}

class Hcwrite : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_FALSE(t_.path().empty());
    mkdir((t_.path() + "/dbs").c_str(), 0755);
    file_ = t_.path() + "/dbs/hc_orcl.dat";
  }
  // Runs hcwrite with VIRUZE_HOME and VIRUZE_SID set to the test's home.
  Ran write(const std::string &args, const std::string &env = "") {
    return shell("VIRUZE_HOME=" + quote(t_.path()) + " VIRUZE_SID=orcl " + env + " " +
                 quote(HCWRITE) + " " + args);
  }
  std::map<std::string, std::string> read(const char *width) {
    Ran r = shell(quote(PYTHON3) + " " + quote(kReader) + " " + quote(file_) + " " + width);
    EXPECT_EQ(r.status, 0) << r.out;
    std::map<std::string, std::string> fields;
    std::istringstream in(r.out);
    for (std::string line; std::getline(in, line);) {
      size_t eq = line.find('=');
      if (eq != std::string::npos) fields[line.substr(0, eq)] = line.substr(eq + 1);
    }
    return fields;
  }
  TempDir t_;
  std::string file_;
};

// Every event supported and none set: what a new file's records hold.
const std::string kNoneSet = "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1";

TEST_F(Hcwrite, DefaultsInBothWidths) {
  for (const char *width : {"64", "32"}) {
    SCOPED_TRACE(width);
    Ran r = write(std::string("--width ") + width);
    ASSERT_EQ(r.status, 0) << r.out;
    auto f = read(width);
    EXPECT_EQ(f["size"], width == std::string("64") ? "1552" : "1544");
    EXPECT_EQ(f["magic"], "63044");
    EXPECT_EQ(f["magic2"], "63044");
    EXPECT_EQ(f["version"], std::to_string(VZ_VSNNUM));
    EXPECT_EQ(f["flags"], "8");
    EXPECT_EQ(f["index"], "0");
    EXPECT_EQ(f["pid"], "0");
    EXPECT_EQ(f["stime"], "0");
    for (int k = 0; k < 10; ++k) EXPECT_EQ(f["rec" + std::to_string(k)], kNoneSet);
    struct stat st;
    ASSERT_EQ(stat(file_.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
  }
}

TEST_F(Hcwrite, EveryFieldGiven) {
  for (const char *width : {"64", "32"}) {
    SCOPED_TRACE(width);
    Ran r = write(std::string("--width ") + width +
                  " --magic 0x1234 --magic2 65535 --version 7 --flags 0x8003 --ready 0"
                  " --index 12 --pid 4242 --stime 1700000001"
                  " --record all=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1 --record 3=2,0,255 --record 9=2");
    ASSERT_EQ(r.status, 0) << r.out;
    auto f = read(width);
    EXPECT_EQ(f["magic"], "4660");
    EXPECT_EQ(f["magic2"], "65535");
    EXPECT_EQ(f["version"], "7");
    EXPECT_EQ(f["flags"], std::to_string(0x8003));
    EXPECT_EQ(f["index"], "12");
    EXPECT_EQ(f["pid"], "4242");
    EXPECT_EQ(f["stime"], "1700000001");
    EXPECT_EQ(f["rec0"], "1,1,1,1,1,1,1,1,1,1,1,1,1,1,1");
    EXPECT_EQ(f["rec3"], "2,0,255,1,1,1,1,1,1,1,1,1,1,1,1");
    EXPECT_EQ(f["rec9"], "2,1,1,1,1,1,1,1,1,1,1,1,1,1,1");
  }
}

TEST_F(Hcwrite, StartTimeOfLiveProcessTheProbesWay) {
  pid_t child = fork();
  if (child == 0) {
    prctl(PR_SET_PDEATHSIG, SIGKILL);
    for (;;) pause();
  }
  ASSERT_GT(child, 0);
  Ran start = shell(quote(PYTHON3) + " " + quote(kReader) + " --start " + std::to_string(child));
  for (const char *width : {"64", "32"}) {
    SCOPED_TRACE(width);
    Ran r = write(std::string("--width ") + width + " --pid " + std::to_string(child));
    ASSERT_EQ(r.status, 0) << r.out;
    auto f = read(width);
    EXPECT_EQ(f["pid"], std::to_string(child));
    EXPECT_EQ(f["stime"] + "\n", start.out);
  }
  kill(child, SIGKILL);
  waitpid(child, nullptr, 0);

  // Gone: no start time to record, and the file is left as it was.
  Ran r = write("--update --pid " + std::to_string(child) + " --index 5");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("give --stime"), std::string::npos) << r.out;
  EXPECT_EQ(read("32")["index"], "0");
}

TEST_F(Hcwrite, UpdateChangesOnlyTheFieldsGiven) {
  ASSERT_EQ(write("--width 64 --pid 77 --stime 5 --record 2=2,2").status, 0);
  Ran r = write("--width 64 --update --index 2 --ready 0 --record 2=1");
  ASSERT_EQ(r.status, 0) << r.out;
  auto f = read("64");
  EXPECT_EQ(f["index"], "2");
  EXPECT_EQ(f["flags"], "0");
  EXPECT_EQ(f["pid"], "77");
  EXPECT_EQ(f["stime"], "5");
  EXPECT_EQ(f["magic"], "63044");
  EXPECT_EQ(f["rec2"], "1,2,1,1,1,1,1,1,1,1,1,1,1,1,1");
  ASSERT_EQ(write("--width 64 --update --ready 1").status, 0);
  EXPECT_EQ(read("64")["flags"], "8");
}

// A new file's events that --record does not list are supported and not
// set; an update leaves them as they are, 0 (not supported) included.
TEST_F(Hcwrite, UnlistedEventsOfANewFileAreNotSet) {
  for (const char *width : {"64", "32"}) {
    SCOPED_TRACE(width);
    Ran r = write(std::string("--width ") + width + " --record all=1,1,1,1,1,1,1,1,1,2 --record 4=0");
    ASSERT_EQ(r.status, 0) << r.out;
    auto f = read(width);
    EXPECT_EQ(f["rec0"], "1,1,1,1,1,1,1,1,1,2,1,1,1,1,1");
    EXPECT_EQ(f["rec4"], "0,1,1,1,1,1,1,1,1,2,1,1,1,1,1");
    ASSERT_EQ(write(std::string("--width ") + width + " --update --record 4=2,2").status, 0);
    f = read(width);
    EXPECT_EQ(f["rec4"], "2,2,1,1,1,1,1,1,1,2,1,1,1,1,1");
    EXPECT_EQ(f["rec0"], "1,1,1,1,1,1,1,1,1,2,1,1,1,1,1");
  }
}

TEST_F(Hcwrite, Truncation) {
  for (const char *len : {"1551", "100", "0"}) {
    ASSERT_EQ(write(std::string("--width 64 --truncate ") + len).status, 0);
    EXPECT_EQ(read("64")["size"], len);
  }
  // An update needs the whole layout in the file.
  Ran r = write("--width 64 --update --index 1");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("sskgmsmr_13"), std::string::npos) << r.out;
}

TEST_F(Hcwrite, HomeAndSidOptionsAndEnvironment) {
  TempDir other;
  mkdir((other.path() + "/dbs").c_str(), 0755);
  ASSERT_EQ(write("--home " + quote(other.path()) + " --sid db2").status, 0);
  EXPECT_EQ(access((other.path() + "/dbs/hc_db2.dat").c_str(), F_OK), 0);

  Ran r = shell("env -u VIRUZE_HOME VIRUZE_SID=orcl " + quote(HCWRITE));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("VIRUZE_HOME not set"), std::string::npos) << r.out;
  r = write("--sid nodir --home /nonexistent");
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.out.find("open failed at sskgmsmr_7"), std::string::npos) << r.out;
}

TEST_F(Hcwrite, BadUsage) {
  for (const char *args :
       {"--width 16", "--record 10=1", "--record 0=", "--record 0=1,1,1,1,1,1,1,1,1,1,1,1,1,1,1,1",
        "--record 0=256", "--index 256", "--magic 65536", "--pid 1 --stime x", "--stime 5",
        "--width 32 --pid 1 --stime 5000000000", "--bogus 1", "--index", "--version -1",
        "--index 010x"}) {
    Ran r = write(args);
    EXPECT_EQ(r.status, 2) << args << ": " << r.out;
  }
  EXPECT_NE(access(file_.c_str(), F_OK), 0) << "nothing was written";
}

// Each refusal names what is wrong, then gives the usage line.
TEST_F(Hcwrite, RefusalsSayWhy) {
  struct {
    const char *args, *why;
  } cases[] = {
      {"--bogus", "hcwrite: unknown option --bogus\n"},
      {"--width 64 -x 1", "hcwrite: unknown option -x\n"},
      {"--index", "hcwrite: --index needs a value\n"},
      {"--record", "hcwrite: --record needs a value\n"},
      {"--pid 12ab", "hcwrite: bad pid: 12ab\n"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.args);
    Ran r = write(c.args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out.rfind(c.why, 0), 0u) << r.out;
    EXPECT_NE(r.out.find("usage: hcwrite [--home DIR]"), std::string::npos) << r.out;
  }
  EXPECT_NE(access(file_.c_str(), F_OK), 0) << "nothing was written";
}

TEST_F(Hcwrite, HelpGivesUsageAndStates) {
  for (const char *args : {"--help", "-h", "--width 32 --help"}) {
    SCOPED_TRACE(args);
    Ran r = shell(quote(HCWRITE) + " " + args);
    EXPECT_EQ(r.status, 0);
    EXPECT_EQ(r.out.rfind("usage: hcwrite [--home DIR]", 0), 0u) << r.out;
    for (const char *word : {"--record K=V,...", "0 not supported, 1 not set, 2 set",
                             "1 (supported, not set)", "--truncate BYTES"})
      EXPECT_NE(r.out.find(word), std::string::npos) << word;
  }
  EXPECT_NE(access(file_.c_str(), F_OK), 0) << "nothing was written";
}

}  // namespace
