// Each agent program with 50 resources, half of them present, for a few
// hundred cycles at interval 0: the states stay right, descriptors and
// resident memory do not grow between an early cycle and the last, nothing
// is written to debug.log by default, the program ends cleanly (a sanitizer
// report would fail it), and no detail script is left running.
#include <dirent.h>
#include <fcntl.h>
#include <stdio.h>
#include <stdlib.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <fstream>
#include <map>
#include <memory>
#include <sstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "spawn.h"
#include "temp_dir.h"
#include "text_file.h"

namespace {

constexpr int kResources = 50;
constexpr uid_t kOwnerUid = 65534;
constexpr const char* kOwner = "nobody";
constexpr int kDefaultCycles = 200;
constexpr int kEarlyCycle = 20;
// Where the early sample is taken. Under AddressSanitizer each of the
// long-lived monitor threads (one per resource) fills allocator caches and a
// quarantine of its own over the first hundred cycles or so, which would pass
// for growth; there the early sample waits for the middle of the run (leaks
// proper are still reported by the sanitizer at exit).
int early_cycle(int cycles)
{
#if defined(__SANITIZE_ADDRESS__)
    return cycles / 2 > kEarlyCycle ? cycles / 2 : kEarlyCycle;
#else
    (void)cycles;
    return kEarlyCycle;
#endif
}
constexpr long kFdSlack = kResources; // descriptors the monitors of a cycle hold at once
constexpr long kRssSlackKb = 8 * 1024;

int soak_cycles()
{
    const char* env = getenv("QEN_SOAK_CYCLES");
    int n = env != nullptr ? atoi(env) : 0;
    return n > kEarlyCycle ? n : kDefaultCycles;
}

struct Sample {
    long fds = -1;
    long rss_kb = -1;
};

Sample sample(pid_t pid)
{
    Sample s;
    std::string dir = "/proc/" + std::to_string(pid);
    if (DIR* d = opendir((dir + "/fd").c_str())) {
        s.fds = 0;
        while (struct dirent* e = readdir(d))
            if (e->d_name[0] != '.')
                ++s.fds;
        closedir(d);
    }
    std::istringstream status(read_file(dir + "/status"));
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmRSS:", 0) == 0)
            s.rss_kb = atol(line.c_str() + 6);
    return s;
}

std::string write_script(const std::string& path, int code)
{
    std::ofstream(path) << "#!/bin/sh\necho checked \"$2\"\nexit " << code << "\n";
    chmod(path.c_str(), 0755);
    return path;
}

// Live processes whose command line holds marker.
std::vector<pid_t> live_with(const std::string& marker)
{
    std::vector<pid_t> out;
    DIR* d = opendir("/proc");
    if (d == nullptr)
        return out;
    while (struct dirent* e = readdir(d)) {
        pid_t pid = static_cast<pid_t>(atoi(e->d_name));
        if (pid <= 0 || pid == getpid())
            continue;
        std::string base = std::string("/proc/") + e->d_name;
        std::string cmd = read_file(base + "/cmdline");
        for (char& c : cmd)
            if (c == '\0')
                c = ' ';
        std::string stat = read_file(base + "/stat");
        size_t close = stat.rfind(')');
        bool zombie = close != std::string::npos && close + 2 < stat.size() && stat[close + 2] == 'Z';
        if (!zombie && cmd.find(marker) != std::string::npos)
            out.push_back(pid);
    }
    closedir(d);
    return out;
}

class Soak : public ::testing::Test {
protected:
    void SetUp() override
    {
#if defined(__SANITIZE_THREAD__)
        GTEST_SKIP() << "soaked in the plain and the address-sanitizer trees";
#endif
        ASSERT_FALSE(dir_.path().empty());
    }

    std::string path(const std::string& rel) const { return dir_.path() + "/" + rel; }

    // Runs agent over config for the soak's cycles; checks what every soak
    // checks and returns the states seen per resource.
    std::map<std::string, std::map<int, int>> run(const char* agent, const std::string& config)
    {
        std::ofstream(path("agent.cfg")) << config;
        const int cycles = soak_cycles();
        int fds[2];
        EXPECT_EQ(pipe(fds), 0);
        pid_t pid = fork();
        if (pid == 0) {
            dup2(fds[1], 1);
            close(fds[0]);
            close(fds[1]);
            int err = open(path("stderr.txt").c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            dup2(err, 2);
            // A sanitizer's quarantine of freed memory would pass for
            // growth: keep it small (leaks are still reported at the end).
            std::string asan = getenv("ASAN_OPTIONS") ? getenv("ASAN_OPTIONS") : "";
            asan += std::string(asan.empty() ? "" : ":") +
                    "quarantine_size_mb=4:thread_local_quarantine_size_kb=64";
            setenv("ASAN_OPTIONS", asan.c_str(), 1);
            std::string n = std::to_string(cycles);
            execl(agent, agent, "--config", path("agent.cfg").c_str(), "--cycles", n.c_str(),
                  "--interval", "0", "--log-dir", path("logs").c_str(), (char*)nullptr);
            _exit(127);
        }
        close(fds[1]);
        FILE* out = fdopen(fds[0], "r");
        std::map<std::string, std::map<int, int>> states;
        Sample early, last;
        char buf[512];
        int lines = 0;
        while (fgets(buf, sizeof buf, out) != nullptr) {
            int cycle = 0, state = 0, confidence = 0;
            char res[128];
            if (sscanf(buf, "cycle=%d resource=%127s state=%d confidence=%d", &cycle, res, &state,
                       &confidence) == 4)
                ++states[res][state];
            else
                ADD_FAILURE() << "unexpected line: " << buf;
            // The first line of a cycle: the one before has ended.
            if (++lines % kResources == 1) {
                if (cycle == early_cycle(cycles))
                    early = sample(pid);
                else if (cycle == cycles)
                    last = sample(pid);
            }
        }
        fclose(out);
        int status = 0;
        waitpid(pid, &status, 0);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0)
            << "status " << status << "\n" << read_file(path("stderr.txt"));
        EXPECT_EQ(lines, cycles * kResources);
        EXPECT_EQ(read_file(path("stderr.txt")), "");
        EXPECT_GE(early.fds, 0);
        EXPECT_LE(last.fds, early.fds + kFdSlack) << "descriptors grew";
        EXPECT_LE(last.rss_kb, early.rss_kb + kRssSlackKb) << "resident memory grew";
        RecordProperty("fds", std::to_string(early.fds) + " -> " + std::to_string(last.fds));
        RecordProperty("rss_kb", std::to_string(early.rss_kb) + " -> " + std::to_string(last.rss_kb));
        printf("%s: %d cycles, descriptors %ld -> %ld, RSS %ld -> %ld kB\n", agent, cycles,
               early.fds, last.fds, early.rss_kb, last.rss_kb);
        // Debug traces are off by default.
        EXPECT_EQ(read_file(path("logs/debug.log")), "");
        EXPECT_TRUE(live_with(path("scripts/")).empty()) << "a detail script was left running";
        return states;
    }

    // Half the resources have a server process: the even ones.
    static bool present(int i) { return i % 2 == 0; }
    // Every fifth present resource runs a detail script (a script run costs
    // a process start; a handful per cycle is enough to soak that road).
    static bool scripted(int i) { return i % 10 == 0; }

    TempDir dir_;
    std::vector<std::unique_ptr<SpawnedProcess>> servers_;
};

TEST_F(Soak, DataServerAgent)
{
    mkdir(path("scripts").c_str(), 0755);
    const std::string script = write_script(path("scripts/soak_check"), 105);
    const std::string tag = "SOAK" + std::to_string(getpid()) + "_";
    std::string config;
    for (int i = 0; i < kResources; ++i) {
        const std::string server = tag + std::to_string(i);
        if (present(i)) {
            servers_.push_back(std::make_unique<SpawnedProcess>(
                std::vector<std::string>{"/opt/sybase/ASE-15_0/bin/dataserver", "-d/dev/master",
                                         "-s" + server},
                std::vector<std::string>{}, kOwnerUid));
            ASSERT_TRUE(servers_.back()->ok()) << servers_.back()->error();
        }
        config += "[ds" + std::to_string(i) + "]\nServer=" + server + "\nOwner=" + kOwner +
                  "\nHome=/opt/sybase\nVersion=15.0\nSA=sa\nSApswd=x\nUser=probe\nUPword=pw\n"
                  "Db=master\nTable=t\nMonscript=" + script + "\nDetailMonitor=" +
                  (scripted(i) ? "2" : "0") + "\n";
    }
    auto states = run(QEN_DATASERVER_AGENT, config);
    for (int i = 0; i < kResources; ++i) {
        SCOPED_TRACE(i);
        const auto& seen = states["ds" + std::to_string(i)];
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen.begin()->first, present(i) ? 1 : 0);
    }
}

TEST_F(Soak, BackupServerAgent)
{
    const std::string tag = "SOAKBK" + std::to_string(getpid()) + "_";
    std::string config;
    for (int i = 0; i < kResources; ++i) {
        const std::string server = tag + std::to_string(i);
        if (present(i)) {
            servers_.push_back(std::make_unique<SpawnedProcess>(
                std::vector<std::string>{"/opt/sybase/ASE-15_0/bin/backupserver", "-S" + server},
                std::vector<std::string>{}, kOwnerUid));
            ASSERT_TRUE(servers_.back()->ok()) << servers_.back()->error();
        }
        config += "[bk" + std::to_string(i) + "]\nBackupserver=" + server + "\nOwner=" + kOwner +
                  "\nHome=/opt/sybase\nVersion=15.0\nServer=SRV\nSA=sa\nSApswd=x\n";
    }
    auto states = run(QEN_BACKUPSERVER_AGENT, config);
    for (int i = 0; i < kResources; ++i) {
        SCOPED_TRACE(i);
        const auto& seen = states["bk" + std::to_string(i)];
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen.begin()->first, present(i) ? 1 : 0);
    }
}

TEST_F(Soak, ListenerAgent)
{
    mkdir(path("scripts").c_str(), 0755);
    const std::string script = write_script(path("scripts/soak_check"), 110);
    const std::string home = "/opt/viruze/soak" + std::to_string(getpid());
    std::string config;
    for (int i = 0; i < kResources; ++i) {
        const std::string listener = "LSNR_" + std::to_string(i);
        if (present(i)) {
            servers_.push_back(std::make_unique<SpawnedProcess>(
                std::vector<std::string>{home + "/bin/vuzlsnr", listener, "-inherit"},
                std::vector<std::string>{}, kOwnerUid));
            ASSERT_TRUE(servers_.back()->ok()) << servers_.back()->error();
        }
        config += "[ls" + std::to_string(i) + "]\nOwner=" + kOwner + "\nHome=" + home +
                  "\nListener=" + listener + "\n";
        if (scripted(i))
            config += "MonScript=" + script + "\n";
    }
    auto states = run(QEN_LISTENER_AGENT, config);
    for (int i = 0; i < kResources; ++i) {
        SCOPED_TRACE(i);
        const auto& seen = states["ls" + std::to_string(i)];
        EXPECT_EQ(seen.size(), 1u);
        EXPECT_EQ(seen.begin()->first, present(i) ? 1 : 5);
    }
}

} // namespace
