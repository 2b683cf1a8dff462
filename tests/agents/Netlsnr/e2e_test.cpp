// ListenerAgent run through the framework's main with a configuration file.
#include <algorithm>
#include <stdio.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "lsnr_test_util.h"
#include "spawn.h"
#include "text_file.h"

using namespace lsnrtest;

namespace {

std::vector<std::string> lines_with(const std::string& text, const std::string& part)
{
    std::vector<std::string> out;
    std::istringstream in(text);
    for (std::string line; std::getline(in, line);)
        if (line.find(part) != std::string::npos)
            out.push_back(line);
    return out;
}

TEST(ListenerAgent, CyclesThroughTheFramework)
{
    TempDir dir;
    const std::string home = unique_home("viruze");
    SpawnedProcess p({home + "/bin/vuzlsnr", "LISTENER", "-inherit"});
    ASSERT_TRUE(p.ok()) << p.error();
    const std::string script = dir.path() + "/check.sh";
    std::ofstream(script) << "#!/bin/sh\necho \"$2 $6\"\nexit 107\n";
    chmod(script.c_str(), 0755);
    const std::string cfg = dir.path() + "/agent.cfg";
    std::ofstream(cfg) << "[lsnr_up]\nOwner=root\nHome=" << home << "/\nMonScript=" << script
                       << "\n\n[lsnr_other]\nOwner=root\nHome=" << home
                       << "\nListener=LISTENER2\n\n[lsnr_noowner]\nHome=" << home << "\n";

    const std::string cmd = std::string(QEN_LISTENER_AGENT) + " --config " + cfg +
                            " --cycles 2 --interval 1 --debug all --log-dir " + dir.path();
    FILE* f = popen(cmd.c_str(), "r");
    ASSERT_NE(f, nullptr);
    std::string out;
    char buf[512];
    while (fgets(buf, sizeof buf, f))
        out += buf;
    int status = pclose(f);
    ASSERT_TRUE(WIFEXITED(status)) << out;
    EXPECT_EQ(WEXITSTATUS(status), 0) << out;
    EXPECT_EQ(out, "cycle=1 resource=lsnr_up state=1 confidence=85\n"
                   "cycle=1 resource=lsnr_other state=5 confidence=0\n"
                   "cycle=1 resource=lsnr_noowner state=2 confidence=0\n"
                   "cycle=2 resource=lsnr_up state=1 confidence=85\n"
                   "cycle=2 resource=lsnr_other state=5 confidence=0\n"
                   "cycle=2 resource=lsnr_noowner state=2 confidence=0\n");

    const std::string agent = read_file(dir.path() + "/agent.log");
    auto set = lines_with(agent, " id=210 ");
    ASSERT_EQ(set.size(), 1u) << agent; // the second cycle used the cookie
    const std::string prefix = "resource=lsnr_up category=20002 severity=3 id=210 "
                               "tag=netlsnr_monitor file=Netlsnr.sun line=";
    const std::string suffix = ": Setting cookie for proc = " + home +
                               "/bin/vuzlsnr LISTENER -inherit, PID = /proc/" +
                               std::to_string(p.pid()) + "/psinfo";
    EXPECT_EQ(set[0].substr(0, prefix.size()), prefix);
    ASSERT_GE(set[0].size(), suffix.size());
    EXPECT_EQ(set[0].substr(set[0].size() - suffix.size()), suffix);
    const std::string console = read_file(dir.path() + "/console.log");
    auto noowner = lines_with(console, " id=202 ");
    ASSERT_EQ(noowner.size(), 2u) << console;
    EXPECT_EQ(noowner[0].substr(0, noowner[0].find(" severity=")),
              "resource=lsnr_noowner category=20002");
    const std::string debug = read_file(dir.path() + "/debug.log");
    EXPECT_EQ(lines_with(debug, "resource=lsnr_up category=20002 level=2 tag=netlsnr_monitor "
                                "file=Netlsnr.sun line=")
                  .empty(),
              false);
    EXPECT_EQ(lines_with(debug, "We got the cookie (7:vuzlsnr7:lsnr_up8:LISTENER)").size(), 1u);
}

// --debug 2 writes the level-2 traces of the agent and nothing else.
TEST(ListenerAgent, DebugLevelTwoOnly)
{
    TempDir dir;
    const std::string home = unique_home("viruze");
    SpawnedProcess p({home + "/bin/vuzlsnr", "LISTENER"});
    ASSERT_TRUE(p.ok()) << p.error();
    const std::string cfg = dir.path() + "/agent.cfg";
    std::ofstream(cfg) << "[up]\nOwner=root\nHome=" << home << "\n[down]\nOwner=root\nHome="
                       << home << "\nListener=OTHER\n[bad]\nOwner=no-such-user-qen\nHome=/h\n";
    const std::string cmd = std::string(QEN_LISTENER_AGENT) + " --config " + cfg +
                            " --cycles 2 --interval 0 --debug 2 --log-dir " + dir.path() +
                            " > /dev/null";
    ASSERT_EQ(system(cmd.c_str()), 0);
    const std::string debug = read_file(dir.path() + "/debug.log");
    size_t lines = 0;
    for (const std::string& line : lines_with(debug, "resource=")) {
        ++lines;
        EXPECT_NE(line.find(" category=20002 level=2 "), std::string::npos) << line;
    }
    EXPECT_GT(lines, 0u);
    EXPECT_EQ(std::count(debug.begin(), debug.end(), '\n'), static_cast<long>(lines));
}

} // namespace
