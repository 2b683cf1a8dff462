// DataServerAgent and BackupServerAgent run through the framework's main
// with a configuration file, against real server-like processes.
#include <stdio.h>
#include <sys/wait.h>

#include <fstream>
#include <memory>
#include <sstream>

#include "sybase_fixture.h"
#include "text_file.h"

using namespace sybtest;

namespace {

// An agent program running with its stdout on a pipe.
class AgentRun {
public:
    AgentRun(const char* program, const std::string& config, const std::string& log_dir,
             int cycles, const char* interval)
    {
        int fds[2];
        if (pipe(fds) != 0)
            return;
        pid_ = fork();
        if (pid_ == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            std::string n = std::to_string(cycles);
            execl(program, program, "--config", config.c_str(), "--cycles", n.c_str(),
                  "--interval", interval, "--log-dir", log_dir.c_str(), "--debug", "all",
                  (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        out_ = fdopen(fds[0], "r");
    }
    ~AgentRun()
    {
        if (out_)
            fclose(out_);
        if (pid_ > 0)
            waitpid(pid_, nullptr, 0);
    }
    std::string line()
    {
        char buf[512];
        if (out_ == nullptr || fgets(buf, sizeof buf, out_) == nullptr)
            return "";
        std::string s = buf;
        if (!s.empty() && s.back() == '\n')
            s.pop_back();
        return s;
    }
    int wait()
    {
        int status = 0;
        waitpid(pid_, &status, 0);
        pid_ = -1;
        return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
    }

private:
    pid_t pid_ = -1;
    FILE* out_ = nullptr;
};

TEST(SybaseAgentsEndToEnd, DataServerCyclesWithDetailScriptAndAServerKilledBetweenCycles)
{
    TempDir dir;
    std::string script = dir.write("mon.sh", script_body("", 105));
    std::string srv = U("E2E1");
    SpawnedProcess server({"/opt/sybase/bin/dataserver", "-d/dev/master", "-s" + srv}, {},
                          kOwnerUid);
    ASSERT_TRUE(server.ok());
    std::string config = dir.write("agent.cfg",
                                   "# data server\n[" + srv + "]\nServer=" + srv +
                                       "\nOwner=nobody\nHome=/opt/sybase\nVersion=15.0\nSA=sa\n"
                                       "SApswd=\nUser=probe\nUPword=pw\nDb=master\nTable=t\n"
                                       "Monscript=" + script + "\nDetailMonitor=2\n"
                                       "\n[bad]\nServer=a b\nOwner=nobody\n", 0644);
    AgentRun agent(QEN_DATASERVER_AGENT, config, dir.path(), 3, "1");
    EXPECT_EQ(agent.line(), "cycle=1 resource=" + srv + " state=1 confidence=75");
    EXPECT_EQ(agent.line(), "cycle=1 resource=bad state=2 confidence=0");
    EXPECT_EQ(agent.line(), "cycle=2 resource=" + srv + " state=1 confidence=50");
    server.kill();
    EXPECT_EQ(agent.line(), "cycle=2 resource=bad state=2 confidence=0");
    EXPECT_EQ(agent.line(), "cycle=3 resource=" + srv + " state=0 confidence=0");
    EXPECT_EQ(agent.line(), "cycle=3 resource=bad state=2 confidence=0");
    EXPECT_EQ(agent.wait(), 0);

    std::string console = read_file(dir.path() + "/console.log");
    std::string agent_log = read_file(dir.path() + "/agent.log");
    std::string debug = read_file(dir.path() + "/debug.log");
    EXPECT_NE(console.find("resource=" + srv + " category=20018 severity=4 id=7 "
                           "tag=sybase_monitor file=Sybase line="),
              std::string::npos)
        << console;
    EXPECT_NE(console.find("Open for dataserver failed, setting cookie to NULL"),
              std::string::npos);
    EXPECT_NE(console.find("resource=bad category=20018 severity=1 id=1 tag=sybase_monitor "
                           "file=Sybase line="),
              std::string::npos);
    EXPECT_NE(agent_log.find("Attribute value Server contains spaces. Resource state is UNKNOWN."),
              std::string::npos);
    EXPECT_NE(debug.find("level=0 tag=sybase_monitor file=Sybase line="), std::string::npos);
    EXPECT_NE(debug.find("Starting a new monitor cycle."), std::string::npos);
}

TEST(SybaseAgentsEndToEnd, BackupServerFoundByItsUpperCaseOption)
{
    TempDir dir;
    std::string bk = U("BKE2E");
    SpawnedProcess right({"/opt/sybase/bin/backupserver", "-S" + bk}, {}, kOwnerUid);
    SpawnedProcess wrong({"/opt/sybase/bin/backupserver", "-s" + bk + "X"}, {}, kOwnerUid);
    ASSERT_TRUE(right.ok() && wrong.ok());
    std::string common = "Owner=nobody\nHome=/opt/sybase\nVersion=15.0\nServer=SRV1\nSA=sa\n"
                         "SApswd=x\n";
    std::string config = dir.write("bk.cfg",
                                   "[" + bk + "]\nBackupserver=" + bk + "\n" + common + "[" + bk +
                                       "X]\nBackupserver=" + bk + "X\n" + common,
                                   0644);
    AgentRun agent(QEN_BACKUPSERVER_AGENT, config, dir.path(), 2, "0");
    EXPECT_EQ(agent.line(), "cycle=1 resource=" + bk + " state=1 confidence=100");
    EXPECT_EQ(agent.line(), "cycle=1 resource=" + bk + "X state=0 confidence=0");
    EXPECT_EQ(agent.line(), "cycle=2 resource=" + bk + " state=1 confidence=100");
    EXPECT_EQ(agent.line(), "cycle=2 resource=" + bk + "X state=0 confidence=0");
    EXPECT_EQ(agent.wait(), 0);
    std::string debug = read_file(dir.path() + "/debug.log");
    EXPECT_NE(debug.find("tag=sybasebk_monitor file=SybaseBk"), std::string::npos);
    EXPECT_NE(debug.find("Could not find a process for data server SRV1. Returning OFFLINE."),
              std::string::npos);
}

} // namespace
