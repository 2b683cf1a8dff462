// The framework's main, driving a test-only agent program.
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <regex>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "temp_dir.h"
#include "text_file.h"

namespace {

std::vector<std::string> lines_of(const std::string& text)
{
    std::vector<std::string> out;
    std::stringstream ss(text);
    for (std::string line; std::getline(ss, line);)
        out.push_back(line);
    return out;
}

class AgentRun : public ::testing::Test {
protected:
    std::string path(const std::string& rel) const { return dir_.path() + "/" + rel; }

    void write_config(const std::string& text) const { std::ofstream(path("agent.cfg")) << text; }

    // Runs the agent in the temporary directory; returns its exit code.
    int run(const std::string& args, const std::string& env = "")
    {
        std::string cmd = "cd '" + dir_.path() + "' && " + env + " '" TEST_AGENT_PATH "' " + args +
                          " > out.txt 2> err.txt";
        int rc = system(cmd.c_str());
        out_ = read_file(path("out.txt"));
        err_ = read_file(path("err.txt"));
        return WIFEXITED(rc) ? WEXITSTATUS(rc) : -1;
    }

    TempDir dir_;
    std::string out_, err_;
};

TEST_F(AgentRun, OneLinePerCallAndCycle)
{
    write_config("# two resources\n"
                 "[r1]\nState=1\nConfidence=50\n\n"
                 "[r2]\nState=0\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 2 --interval 0"), 0) << err_;
    EXPECT_EQ(out_, "cycle=1 resource=r1 state=1 confidence=50\n"
                    "cycle=1 resource=r2 state=0 confidence=0\n"
                    "cycle=2 resource=r1 state=1 confidence=50\n"
                    "cycle=2 resource=r2 state=0 confidence=0\n");
    EXPECT_EQ(err_, "");
}

TEST_F(AgentRun, CookiesAreKeptAcrossCycles)
{
    write_config("[a]\nState=1\nCounter=1\n[b]\nState=1\nCounter=1\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 3 --interval 0"), 0) << err_;
    EXPECT_EQ(out_, "cycle=1 resource=a state=1 confidence=1\n"
                    "cycle=1 resource=b state=1 confidence=1\n"
                    "cycle=2 resource=a state=1 confidence=2\n"
                    "cycle=2 resource=b state=1 confidence=2\n"
                    "cycle=3 resource=a state=1 confidence=3\n"
                    "cycle=3 resource=b state=1 confidence=3\n");
}

TEST_F(AgentRun, AttributeVectorAsConfigured)
{
    write_config("[res]\n"
                 "Home= /opt/sybase \t\n"
                 "  Spaced  =  value kept  \r\n"
                 "Listener=a=b\n"
                 "Ports=1\n"
                 "Ports=\n"
                 "Ports=3\n"
                 "Empty=\n"
                 "Server=PRODSRV   # production\n"
                 "#Hidden=1\n"
                 "  # indented=1\n"
                 "State=2\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 1 --log-dir . --debug 1"), 0) << err_;
    std::vector<std::string> groups;
    for (const std::string& l : lines_of(read_file(path("debug.log")))) {
        size_t at = l.find(": group ");
        if (at != std::string::npos)
            groups.push_back(l.substr(at + 8));
    }
    EXPECT_EQ(groups, (std::vector<std::string>{
                          "Home count=1 values=|/opt/sybase \t|",
                          "Spaced count=1 values=|value kept  |",
                          "Listener count=1 values=|a=b|",
                          "Ports count=3 values=|1||||3|",
                          "Empty count=1 values=||",
                          "Server count=1 values=|PRODSRV   # production|",
                          "State count=1 values=|2|",
                      }));
    EXPECT_EQ(out_, "cycle=1 resource=res state=2 confidence=0\n");
}

TEST_F(AgentRun, LogFilesAndLineFormat)
{
    write_config("[r1]\nState=1\n");
    std::filesystem::create_directory(path("logs"));
    ASSERT_EQ(run("--config agent.cfg --cycles 1 --log-dir logs --debug 0,1"), 0) << err_;
    std::vector<std::string> agent = lines_of(read_file(path("logs/agent.log")));
    ASSERT_EQ(agent.size(), 1u);
    EXPECT_TRUE(std::regex_match(agent[0],
                                 std::regex("resource=r1 category=77 severity=2 id=10 "
                                            "tag=test_monitor file=test_agent.cpp line=[0-9]+: "
                                            "container capable=0 id=0 name=\\(null\\)")))
        << agent[0];
    std::vector<std::string> debug = lines_of(read_file(path("logs/debug.log")));
    ASSERT_EQ(debug.size(), 1u);
    EXPECT_TRUE(std::regex_match(debug[0], std::regex("resource=r1 category=77 level=1 "
                                                      "tag=test_monitor file=test_agent.cpp "
                                                      "line=[0-9]+: group State count=1 values=\\|1\\|")))
        << debug[0];
    EXPECT_TRUE(std::filesystem::exists(path("logs/console.log")));
    // The default log directory is the current one; files are appended to.
    ASSERT_EQ(run("--config agent.cfg --cycles 2 --interval 0"), 0) << err_;
    EXPECT_EQ(lines_of(read_file(path("agent.log"))).size(), 2u);
    ASSERT_EQ(run("--config agent.cfg --cycles 1"), 0) << err_;
    EXPECT_EQ(lines_of(read_file(path("agent.log"))).size(), 3u);
}

TEST_F(AgentRun, ContainerSettingsAndProgramInsideTheRoot)
{
    std::filesystem::create_directories(path("zroot/usr/bin"));
    std::ofstream(path("zroot/usr/bin/id")) << "#!/bin/sh\necho \"uid=100(sybase) $1\"\nexit 3\n";
    chmod(path("zroot/usr/bin/id").c_str(), 0755);
    write_config("[z1]\n@ContainerCapable=1\n@ContainerId=3\n@ContainerName=zone one\n"
                 "@ContainerRoot=" +
                 path("zroot") + "\nRun=/usr/bin/id\nState=1\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 1"), 0) << err_;
    std::string agent = read_file(path("agent.log"));
    EXPECT_NE(agent.find(": container capable=1 id=3 name=zone one\n"), std::string::npos) << agent;
    EXPECT_NE(agent.find(" id=11 tag=test_monitor"), std::string::npos) << agent;
    EXPECT_NE(agent.find(": ran rc=0 status=768 output=|uid=100(sybase) z1\n|"), std::string::npos)
        << agent;
}

// A monitor past its timeout is cancelled, its cleanup handlers run, and
// the other resources and the next cycle go on.
TEST_F(AgentRun, TimeoutCancelsTheMonitor)
{
    write_config("[slow]\n@Timeout=1\nBlock=1\n[fast]\nState=1\nConfidence=7\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 2 --interval 0"), 0) << err_;
    EXPECT_EQ(out_, "cycle=1 resource=slow cancelled\n"
                    "cycle=1 resource=fast state=1 confidence=7\n"
                    "cycle=2 resource=slow cancelled\n"
                    "cycle=2 resource=fast state=1 confidence=7\n");
    std::string agent = read_file(path("agent.log"));
    size_t first = agent.find("id=12 tag=test_monitor");
    ASSERT_NE(first, std::string::npos) << agent;
    EXPECT_NE(agent.find(": cleanup ran for slow\n"), std::string::npos);
    EXPECT_NE(agent.find("id=12 tag=test_monitor", first + 1), std::string::npos);
}

// Each resource's monitor runs on a thread of its own that stays from cycle
// to cycle; after a time-out the resource's next call runs on a new thread.
TEST_F(AgentRun, MonitorThreadPerResourceUntilATimeout)
{
    write_config("[a]\nState=1\nThreadCalls=1\n"
                 "[b]\n@Timeout=1\nState=1\nThreadCalls=1\nBlockAt=2\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 4 --interval 0"), 0) << err_;
    EXPECT_EQ(out_, "cycle=1 resource=a state=1 confidence=1\n"
                    "cycle=1 resource=b state=1 confidence=1\n"
                    "cycle=2 resource=a state=1 confidence=2\n"
                    "cycle=2 resource=b cancelled\n"
                    "cycle=3 resource=a state=1 confidence=3\n"
                    "cycle=3 resource=b state=1 confidence=1\n"
                    "cycle=4 resource=a state=1 confidence=4\n"
                    "cycle=4 resource=b state=1 confidence=2\n");
    EXPECT_NE(read_file(path("agent.log")).find(": cleanup ran for b\n"), std::string::npos);
    EXPECT_EQ(err_, "");
}

// Live (not zombie) processes of process group pgid.
std::vector<pid_t> live_members(pid_t pgid)
{
    std::vector<pid_t> out;
    for (const auto& e : std::filesystem::directory_iterator("/proc")) {
        const std::string name = e.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string stat = read_file(e.path().string() + "/stat");
        size_t close = stat.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(stat.substr(close + 1));
        char state = 0;
        long ppid = 0, pgrp = 0;
        rest >> state >> ppid >> pgrp;
        if (pgrp == pgid && state != 'Z')
            out.push_back(static_cast<pid_t>(std::stol(name)));
    }
    return out;
}

// A detail script that runs past the time-out, with children that ignore
// SIGTERM and hold its output open: the whole process group is ended.
TEST_F(AgentRun, TimeoutEndsTheScriptsWholeProcessGroup)
{
    const std::string script = path("stuck.sh");
    std::ofstream(script) << "#!/bin/sh\n"
                             "trap '' TERM\n"
                             "echo $$ > " + path("pgid.txt") + "\n"
                             "sleep 31.7 &\n"
                             "( sleep 31.8 & sleep 31.9 ) &\n"
                             "sleep 31.6\n";
    chmod(script.c_str(), 0755);
    write_config("[slow]\n@Timeout=1\nState=1\nRun=" + script + "\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 1"), 0) << err_;
    EXPECT_EQ(out_, "cycle=1 resource=slow cancelled\n");
    const pid_t pgid = static_cast<pid_t>(std::stol(read_file(path("pgid.txt"))));
    // SIGKILL is sent to the whole group when the run returns; a member the
    // scheduler has not run since is still listed until it does.
    std::vector<pid_t> live = live_members(pgid);
    for (int tries = 0; !live.empty() && tries < 200; ++tries) {
        usleep(50 * 1000);
        live = live_members(pgid);
    }
    EXPECT_TRUE(live.empty()) << "process group " << pgid << " outlived its script";
}

TEST_F(AgentRun, MalformedConfigurations)
{
    struct {
        const char* text;
        int line;
    } cases[] = {
        {"Attr=1\n[r]\n", 1},
        {"[r]\nState=1\n@Bogus=1\n", 3},
        {"[r]\n@Timeout=x\n", 2},
        {"[r]\n@Timeout=0\n", 2},
        {"[r]\n@ContainerId=3a\n", 2},
        {"[r]\n@ContainerCapable\n", 2},
        {"[r]\n[r]\n", 2},
        {"[r\nA=1\n", 1},
        {"[]\n", 1},
        {"[r]\n=v\n", 2},
        {"@ContainerId=1\n", 1},
        {"[r]\nState=1\nNone\n", 3},
        {"[r]\nServer PRODSRV\n", 2},
        {"[r]\nState=1\n\n  Listener\t\r\n", 4},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.text);
        write_config(c.text);
        EXPECT_EQ(run("--config agent.cfg --cycles 1"), 2);
        EXPECT_EQ(err_.rfind("agent.cfg:" + std::to_string(c.line) + ": ", 0), 0u) << err_;
        EXPECT_EQ(out_, "");
    }
    // A value-less line says what is wrong with it.
    write_config("[r]\nServer PRODSRV\n");
    EXPECT_EQ(run("--config agent.cfg --cycles 1"), 2);
    EXPECT_EQ(err_, "agent.cfg:2: line without '=' (write Attribute=value, or begin a comment "
                    "with #)\n");
    EXPECT_EQ(run("--config missing.cfg --cycles 1"), 2);
    EXPECT_EQ(err_.rfind("missing.cfg: ", 0), 0u) << err_;
}

TEST_F(AgentRun, UsageErrorsSayWhichOptionAndWhy)
{
    write_config("[r]\nState=1\n");
    struct {
        const char* args;
        const char* why; // the line before the usage line
    } cases[] = {
        {"--config agent.cfg --bogus 1", "--bogus: unknown option"},
        {"--cycles 1", "--config: no configuration file was given"},
        {"", "--config: no configuration file was given"},
        {"--config agent.cfg --cycles 0", "--cycles: '0' is not a whole number from 1"},
        {"--config agent.cfg --cycles x", "--cycles: 'x' is not a whole number from 1"},
        {"--config agent.cfg --cycles 2.5", "--cycles: '2.5' is not a whole number from 1"},
        {"--config agent.cfg --interval -1",
         "--interval: '-1' is not a number of seconds from 0 to 86400"},
        {"--config agent.cfg --interval nan",
         "--interval: 'nan' is not a number of seconds from 0 to 86400"},
        {"--config agent.cfg --interval inf",
         "--interval: 'inf' is not a number of seconds from 0 to 86400"},
        {"--config agent.cfg --interval 86401",
         "--interval: '86401' is not a number of seconds from 0 to 86400"},
        {"--config agent.cfg --debug 32", "--debug: '32' is not a list of levels"},
        {"--config agent.cfg --debug 0,,2", "--debug: '0,,2' is not a list of levels"},
        {"--config agent.cfg --debug some", "--debug: 'some' is not a list of levels"},
        {"--config agent.cfg --log-dir ''", "--log-dir: the directory name is empty"},
        {"--config", "--config: needs a value"},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.args);
        EXPECT_EQ(run(c.args), 2);
        std::vector<std::string> lines = lines_of(err_);
        ASSERT_EQ(lines.size(), 2u) << err_;
        EXPECT_NE(lines[0].find(std::string(": ") + c.why), std::string::npos) << lines[0];
        EXPECT_EQ(lines[1].rfind("usage: ", 0), 0u) << err_;
        EXPECT_NE(lines[1].find("--config FILE [--cycles N] [--interval SECONDS] [--log-dir DIR] "
                                "[--debug LEVELS]"),
                  std::string::npos);
        EXPECT_EQ(out_, "");
    }
    // The bounds themselves are accepted.
    EXPECT_EQ(run("--config agent.cfg --cycles 1 --interval 86400"), 0) << err_;
    EXPECT_EQ(run("--config agent.cfg --cycles 1 --interval 0.5 --debug all"), 0) << err_;
}

TEST_F(AgentRun, HelpExplainsEveryOptionAndTheOutput)
{
    EXPECT_EQ(run("--help"), 0);
    EXPECT_EQ(err_, "");
    for (const char* word : {"--config FILE", "--cycles N", "--interval SECONDS", "--log-dir DIR",
                             "--debug LEVELS", "--help", "cycle=N resource=NAME state=S "
                             "confidence=C", "cycle=N resource=NAME cancelled"})
        EXPECT_NE(out_.find(word), std::string::npos) << word;
}

// Debug traces are written only for the levels asked for; the other logs
// are the same whatever --debug says.
TEST_F(AgentRun, DebugLevelsChooseTheTraces)
{
    write_config("[r1]\nState=1\n");
    struct {
        const char* debug; // --debug value, or empty for none
        size_t lines;
    } cases[] = {{"", 0}, {"0", 0}, {"1", 1}, {"0,1", 1}, {"all", 1}};
    for (auto& c : cases) {
        SCOPED_TRACE(c.debug);
        std::filesystem::remove_all(path("logs"));
        std::string args = "--config agent.cfg --cycles 1 --log-dir logs";
        if (*c.debug)
            args += std::string(" --debug ") + c.debug;
        ASSERT_EQ(run(args), 0) << err_;
        EXPECT_EQ(lines_of(read_file(path("logs/debug.log"))).size(), c.lines);
        EXPECT_EQ(lines_of(read_file(path("logs/agent.log"))).size(), 1u);
    }
}

// A long default run writes no debug trace at all: 1,000 cycles of 50
// resources, each call of which traces every attribute at level 1.
TEST_F(AgentRun, DefaultRunWritesNoDebugTrace)
{
#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
    const int cycles = 100; // a thread per call is slow under the sanitizers
#else
    const int cycles = 1000;
#endif
    std::string config;
    for (int i = 0; i < 50; ++i)
        config += "[r" + std::to_string(i) + "]\nState=1\nHome=/h\n";
    write_config(config);
    ASSERT_EQ(run("--config agent.cfg --cycles " + std::to_string(cycles) +
                  " --interval 0 --log-dir logs"),
              0)
        << err_;
    EXPECT_EQ(std::count(out_.begin(), out_.end(), '\n'), 50 * cycles);
    EXPECT_EQ(std::filesystem::file_size(path("logs/debug.log")), 0u);
    EXPECT_EQ(lines_of(read_file(path("logs/agent.log"))).size(), 50u * cycles);
}

TEST_F(AgentRun, LogDirectoryIsCreated)
{
    write_config("[r1]\nState=1\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 1 --log-dir new/logs/here"), 0) << err_;
    EXPECT_EQ(lines_of(read_file(path("new/logs/here/agent.log"))).size(), 1u);
    std::ofstream(path("plain")) << "x";
    EXPECT_EQ(run("--config agent.cfg --cycles 1 --log-dir plain"), 1);
    EXPECT_NE(err_.find("cannot open the logs in plain"), std::string::npos) << err_;
}

// CRLF line ends, blanks around names, '=' and section names.
TEST_F(AgentRun, ForgivingConfiguration)
{
    write_config("# made on another system\r\n"
                 "  [ r1 ]  \r\n"
                 "\t@Timeout = 5\r\n"
                 "  State =1\r\n"
                 "Confidence\t=\t42\r\n"
                 "\r\n");
    ASSERT_EQ(run("--config agent.cfg --cycles 1"), 0) << err_;
    EXPECT_EQ(out_, "cycle=1 resource=r1 state=1 confidence=42\n");
}

TEST_F(AgentRun, ConfigurationWithoutResources)
{
    for (const char* text : {"", "# only a comment\n\n"}) {
        SCOPED_TRACE(text);
        write_config(text);
        EXPECT_EQ(run("--config agent.cfg --cycles 1"), 2);
        EXPECT_EQ(err_, "agent.cfg: no resource section: the file must hold at least one [NAME] "
                        "section\n");
        EXPECT_EQ(out_, "");
    }
}

TEST_F(AgentRun, NoMonitorRegistered)
{
    write_config("[r]\nState=1\n");
    EXPECT_EQ(run("--config agent.cfg --cycles 1", "TEST_AGENT_NO_MONITOR=1"), 1);
    EXPECT_NE(err_.find("no monitor entry point"), std::string::npos) << err_;
}

} // namespace
