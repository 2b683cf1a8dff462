// attrdiscover_demo, the host that loads the plug-in for a person trying it
// out: its usage, and the hint it gives on standard error when the document
// has no values because the discovery script could not be run.
#include <stdio.h>
#include <stdlib.h>
#include <sys/wait.h>

#include <fstream>
#include <iterator>
#include <string>

#include <gtest/gtest.h>

#include "temp_dir.h"

namespace {

struct Ran {
  int status = -1;
  std::string out, err;
};

std::string quote(const std::string &s) {
  std::string q = "'";
  for (char c : s) q += c == '\'' ? std::string("'\\''") : std::string(1, c);
  return q + "'";
}

class DemoHost : public ::testing::Test {
 protected:
  // Runs the host with the environment assignments env in front of it.
  Ran run(const std::string &env, const std::string &args) {
    Ran r;
    const std::string err_file = dir_.path() + "/stderr";
    FILE *p = popen((env + " " + quote(DEMO_HOST) + " " + args + " 2>" + quote(err_file)).c_str(),
                    "r");
    if (p == nullptr) return r;
    char buf[512];
    size_t n;
    while ((n = fread(buf, 1, sizeof buf, p)) > 0) r.out.append(buf, n);
    int st = pclose(p);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : 128;
    std::ifstream in(err_file);
    r.err.assign(std::istreambuf_iterator<char>(in), std::istreambuf_iterator<char>());
    return r;
  }
  TempDir dir_;
};

const std::string kLib = quote(ATTRDISCOVERY_SO);

TEST_F(DemoHost, HelpAndUsage) {
  Ran r = run("", "--help");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("LIBRARY [ATTRIBUTE ...]"), std::string::npos) << r.out;
  EXPECT_NE(r.out.find("QEN_ATTRSCAN_SCRIPT"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");

  for (const char *args : {"", "-x", "--bogus " ATTRDISCOVERY_SO}) {
    SCOPED_TRACE(args);
    r = run("", args);
    EXPECT_EQ(r.status, 2);
    EXPECT_EQ(r.out, "");
    EXPECT_NE(r.err.find("usage: "), std::string::npos) << r.err;
    if (*args) {
      EXPECT_NE(r.err.find(std::string("unknown option ") + (args[1] == 'x' ? "-x" : "--bogus")),
                std::string::npos)
          << r.err;
    }
  }
  r = run("", quote(dir_.path() + "/nolib.so"));
  EXPECT_EQ(r.status, 1);
  EXPECT_NE(r.err.find("nolib.so"), std::string::npos) << r.err;
}

TEST_F(DemoHost, ScriptThatRunsGivesNoHint) {
  Ran r = run("QEN_ATTRSCAN_SCRIPT=" + quote(SAMPLE_SCRIPT), kLib + " Instances yrnlinks");
  EXPECT_EQ(r.status, 0);
  EXPECT_NE(r.out.find("\nInstances: 2 value(s)\n"), std::string::npos) << r.out;
  // yrnlinks: the script ran and printed nothing
  EXPECT_NE(r.out.find("\nyrnlinks: 0 value(s)\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
}

TEST_F(DemoHost, ScriptThatCannotRunIsNamed) {
  const std::string missing = dir_.path() + "/absent.pl";
  const std::string plain = dir_.write("plain.pl", "#!/bin/sh\necho a\n", 0644);
  const std::string runs = dir_.write("bin/scan", "#!/bin/sh\necho a\n", 0755);
  const struct {
    std::string env, script, why;
  } cases[] = {
      {"QEN_ATTRSCAN_SCRIPT=" + quote(missing), missing, "No such file or directory"},
      {"QEN_ATTRSCAN_SCRIPT=" + quote(plain), plain, "Permission denied"},
      {"QEN_ATTRSCAN_SCRIPT=" + quote(dir_.path()), dir_.path(), "Permission denied"},
      // a name without a slash is looked for along PATH, as the plug-in's exec does
      {"PATH=" + quote(dir_.path()) + " QEN_ATTRSCAN_SCRIPT=plain.pl", "plain.pl",
       "Permission denied"},
      {"PATH=" + quote(dir_.path() + "/bin") + " QEN_ATTRSCAN_SCRIPT=absent.pl", "absent.pl",
       "No such file or directory"},
      {"env -u QEN_ATTRSCAN_SCRIPT", "/opt/ZYLTagents/ha/bin/Viruze/attrscan.pl",
       "No such file or directory"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.env);
    Ran r = run(c.env, kLib + " Instances LNames");
    EXPECT_EQ(r.status, 0);
    // the documents stay what the plug-in returns: empty
    EXPECT_NE(r.out.find("\nInstances: 0 value(s)\n\nLNames: 0 value(s)\n"), std::string::npos)
        << r.out;
    const std::string hint = ": the discovery script " + c.script + " could not be run: " + c.why +
                             " (QEN_ATTRSCAN_SCRIPT names another)\n";
    size_t first = r.err.find(hint);
    EXPECT_NE(first, std::string::npos) << r.err;
    EXPECT_NE(r.err.find(hint, first + 1), std::string::npos) << "once per attribute: " << r.err;
  }
  // Found along PATH and executable: it runs, no hint.
  Ran r = run("PATH=" + quote(dir_.path() + "/bin") + " QEN_ATTRSCAN_SCRIPT=scan", kLib + " LNames");
  EXPECT_NE(r.out.find("\nLNames: 1 value(s)\n"), std::string::npos) << r.out;
  EXPECT_EQ(r.err, "");
  (void)runs;
}

}  // namespace
