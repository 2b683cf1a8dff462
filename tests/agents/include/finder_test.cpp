// The shared process finder: what a scan costs (no record for a process
// that cannot match), the owner and program filters, whole command lines,
// and the cookie re-check and store.
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/prctl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <memory>
#include <string>
#include <thread>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "QENAgFinder.h"
#include "qenagfw_test.h"
#include "spawn.h"

namespace {

constexpr uid_t kOwnerUid = 65534;
constexpr uid_t kOtherUid = 1;

std::string unique_program()
{
    return "/opt/finder" + std::to_string(getpid()) + "/bin/qenserver";
}

struct Probe {
    std::string wanted; // the argument that makes a process the one sought
    int matches = 0;    // records the match saw
};

int match_wanted(void* ctx, QENAgProc* proc)
{
    auto* p = static_cast<Probe*>(ctx);
    ++p->matches;
    return strstr(proc->cmdline, p->wanted.c_str()) != nullptr;
}

QENAgScan scan_for(const std::string& program, Probe* probe)
{
    return QENAgScan{program.c_str(), static_cast<int>(kOwnerUid), probe, nullptr, nullptr,
                     nullptr, nullptr, match_wanted};
}

std::vector<std::unique_ptr<SpawnedProcess>> crowd(int n, const std::string& argv0, uid_t uid)
{
    std::vector<std::unique_ptr<SpawnedProcess>> out;
    for (int i = 0; i < n; ++i) {
        out.push_back(std::make_unique<SpawnedProcess>(
            std::vector<std::string>{argv0, "-n", std::to_string(i)}, std::vector<std::string>{},
            uid));
        EXPECT_TRUE(out.back()->ok()) << out.back()->error();
    }
    return out;
}

// Other owners' processes, and the owner's processes whose arguments lack
// the program, cost no record; each candidate costs exactly one.
TEST(SharedFinder, RecordsOnlyForCandidates)
{
    const std::string program = unique_program();
    auto others = crowd(20, program, kOtherUid);            // the program, another owner
    auto mine = crowd(20, "/opt/app/bin/worker", kOwnerUid); // the owner, another program
    SpawnedProcess kernel_like({""}, {}, kOwnerUid);          // an empty command line
    SpawnedProcess candidate({program, "-sOTHER"}, {}, kOwnerUid);
    SpawnedProcess wanted({program, "-sMINE"}, {}, kOwnerUid);
    ASSERT_TRUE(candidate.ok() && wanted.ok());

    Probe probe{"-sNOSUCH"};
    QENAgScan scan = scan_for(program, &probe);
    QENAgProc proc;
    unsigned long before = psinfo_test_builds();
    EXPECT_EQ(QENAgScanProcs(&scan, &proc), 0);
    EXPECT_EQ(psinfo_test_builds() - before, 2u) << "one record per candidate, none else";
    EXPECT_EQ(probe.matches, 2);

    probe = Probe{"-sMINE"};
    scan = scan_for(program, &probe);
    EXPECT_EQ(QENAgScanProcs(&scan, &proc), 1);
    EXPECT_EQ(proc.info.pr_pid, wanted.pid());
    EXPECT_EQ(std::string(proc.path), "/proc/" + std::to_string(wanted.pid()) + "/psinfo");
}

// The match reads the whole command line when pr_psargs is full.
TEST(SharedFinder, MatchSeesPastTheRecordsArguments)
{
    const std::string program = unique_program();
    const std::string far = "-s" + std::string(100, 'F');
    SpawnedProcess p({"/opt/" + std::string(80, 'x') + program, std::string(40, 'y'), far}, {},
                     kOwnerUid);
    ASSERT_TRUE(p.ok());
    Probe probe{far};
    QENAgScan scan = scan_for(program, &probe);
    QENAgProc proc;
    ASSERT_EQ(QENAgScanProcs(&scan, &proc), 1);
    EXPECT_EQ(strlen(proc.info.pr_psargs), PRARGSZ - 1u);
    EXPECT_NE(strstr(proc.cmdline, far.c_str()), nullptr);

    // The record reader does the same for a remembered process.
    QENAgProc again;
    ssize_t got = 0;
    int err = 0;
    ASSERT_EQ(QENAgReadProc(proc.path, &again, &got, &err), 0);
    ASSERT_EQ(got, static_cast<ssize_t>(sizeof(psinfo_t)));
    EXPECT_NE(strstr(again.cmdline, far.c_str()), nullptr);
}

struct CookieProbe {
    int opens_failed = 0;
    int verdict = 1;
    int checked = 0;
};

int still_ours(void* ctx, QENAgProc*)
{
    auto* c = static_cast<CookieProbe*>(ctx);
    ++c->checked;
    return c->verdict;
}

void open_failed(void* ctx, const char*, int)
{
    ++static_cast<CookieProbe*>(ctx)->opens_failed;
}

// A stored cookie is kept while its process is still ours (one record per
// check), and cleared when it is not or when the process is gone.
TEST(SharedFinder, CookieStoreAndRecheck)
{
    auto p = std::make_unique<SpawnedProcess>(std::vector<std::string>{unique_program()});
    ASSERT_TRUE(p->ok());
    const std::string name = "finder_test_cookie";
    const std::string path = "/proc/" + std::to_string(p->pid()) + "/psinfo";
    ASSERT_EQ(QENAgStoreCookie(name.c_str(), path.c_str()), 0);
    EXPECT_EQ(std::string(static_cast<char*>(QENAgGetCookie(name.c_str()))), path);

    CookieProbe c;
    QENAgCookieCheck check{&c, nullptr, open_failed, nullptr, still_ours};
    QENAgProc proc;
    unsigned long before = psinfo_test_builds();
    EXPECT_EQ(QENAgRecheckCookie(name.c_str(), &check, &proc), 1);
    EXPECT_EQ(psinfo_test_builds() - before, 1u);
    EXPECT_EQ(std::string(proc.path), path);
    EXPECT_NE(QENAgGetCookie(name.c_str()), nullptr);

    c.verdict = 0;
    EXPECT_EQ(QENAgRecheckCookie(name.c_str(), &check, &proc), 0);
    EXPECT_EQ(QENAgGetCookie(name.c_str()), nullptr);

    ASSERT_EQ(QENAgStoreCookie(name.c_str(), path.c_str()), 0);
    p.reset(); // the process ends
    EXPECT_EQ(QENAgRecheckCookie(name.c_str(), &check, &proc), 0);
    EXPECT_EQ(c.opens_failed, 1);
    EXPECT_EQ(QENAgGetCookie(name.c_str()), nullptr);
    EXPECT_EQ(QENAgRecheckCookie(name.c_str(), &check, &proc), 0); // no cookie at all
    EXPECT_EQ(c.checked, 2);
}

} // namespace

namespace {

// Scans for a program that no process runs, on the calling thread.
void scan_for_nothing(const std::string& program)
{
    Probe probe{"-sNOSUCH"};
    QENAgScan scan = scan_for(program, &probe);
    QENAgProc proc;
    EXPECT_EQ(QENAgScanProcs(&scan, &proc), 0);
}

} // namespace

// A kernel thread's directory is looked at and its command line read by the
// first scan on a thread and by no later one; a root process with an empty
// command line (not a kernel thread) is looked at and read by every scan,
// and the process sought is still found.
TEST(SharedFinder, KernelThreadsReadOncePerThread)
{
    const pid_t kthreadd = 2;
    if (psinfo_kernel_thread(kthreadd) != 1)
        GTEST_SKIP() << "no kernel thread visible in /proc";
    const std::string program = unique_program();
    SpawnedProcess empty({""}, {}, 0); // root's, with an empty command line
    SpawnedProcess wanted({program, "-sMINE"}, {}, kOwnerUid);
    ASSERT_TRUE(empty.ok() && wanted.ok());
    EXPECT_EQ(psinfo_kernel_thread(empty.pid()), 0);

    // On a thread of its own: the list is the thread's.
    std::thread([&] {
        psinfo_test_watch_args(kthreadd);
        QENAgTestWatchStat(kthreadd);
        scan_for_nothing(program);
        EXPECT_EQ(psinfo_test_watched_reads(), 1u);
        EXPECT_EQ(QENAgTestWatchedStats(), 1u);
        scan_for_nothing(program);
        scan_for_nothing(program);
        EXPECT_EQ(psinfo_test_watched_reads(), 1u) << "a known kernel thread was read again";
        EXPECT_EQ(QENAgTestWatchedStats(), 1u) << "a known kernel thread was looked at again";

        psinfo_test_watch_args(empty.pid());
        QENAgTestWatchStat(empty.pid());
        scan_for_nothing(program);
        scan_for_nothing(program);
        EXPECT_EQ(psinfo_test_watched_reads(), 2u);
        EXPECT_EQ(QENAgTestWatchedStats(), 2u);
        QENAgTestWatchStat(0);

        Probe probe{"-sMINE"};
        QENAgScan scan = scan_for(program, &probe);
        QENAgProc proc;
        EXPECT_EQ(QENAgScanProcs(&scan, &proc), 1);
        EXPECT_EQ(proc.info.pr_pid, wanted.pid());
        psinfo_test_watch_args(0);
    }).join();

    // Another thread looks at and reads every kernel thread once more.
    std::thread([&] {
        psinfo_test_watch_args(kthreadd);
        QENAgTestWatchStat(kthreadd);
        scan_for_nothing(program);
        EXPECT_EQ(psinfo_test_watched_reads(), 1u);
        EXPECT_EQ(QENAgTestWatchedStats(), 1u);
        QENAgTestWatchStat(0);
        psinfo_test_watch_args(0);
    }).join();
}

namespace {

// The first argument of this test program's command line.
std::string own_program()
{
    char buf[4096] = {};
    int fd = open("/proc/self/cmdline", O_RDONLY);
    if (fd < 0)
        return "";
    ssize_t n = read(fd, buf, sizeof buf - 1);
    close(fd);
    return n > 0 ? std::string(buf) : std::string();
}

int match_pid(void* ctx, QENAgProc* proc)
{
    return proc->info.pr_pid == *static_cast<pid_t*>(ctx);
}

void count_owner_differs(void* ctx, const char* entry, int)
{
    auto* seen = static_cast<std::pair<pid_t, int>*>(ctx);
    if (atoi(entry) == seen->first)
        ++seen->second;
}

} // namespace

// Every scan looks at every process afresh: one that ran as another owner at
// one scan and as the owner at the next (same pid, same /proc directory) is
// found by the next scan, and once it has ended, by none.
TEST(SharedFinder, OwnerChangeSeenByTheNextScan)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "changing a process's owner needs root";
    const std::string program = own_program();
    ASSERT_FALSE(program.empty());
    int go[2], ready[2];
    ASSERT_EQ(pipe(go), 0);
    ASSERT_EQ(pipe(ready), 0);
    const pid_t child = fork();
    ASSERT_GE(child, 0);
    if (child == 0) {
        // Only async-signal-safe calls here: the test program has threads.
        char c = 0;
        if (seteuid(kOtherUid) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0)
            _exit(1);
        if (write(ready[1], &c, 1) != 1 || read(go[0], &c, 1) != 1)
            _exit(1);
        if (seteuid(0) != 0 || seteuid(kOwnerUid) != 0 || prctl(PR_SET_DUMPABLE, 1) != 0)
            _exit(1);
        if (write(ready[1], &c, 1) != 1)
            _exit(1);
        for (;;)
            pause();
    }
    char c = 0;
    ASSERT_EQ(read(ready[0], &c, 1), 1);

    pid_t wanted = child;
    std::pair<pid_t, int> differs{child, 0};
    QENAgScan scan{program.c_str(), static_cast<int>(kOwnerUid), &wanted, nullptr, nullptr,
                   nullptr, nullptr, match_pid};
    QENAgScan traced = scan;
    traced.ctx = &differs;
    traced.owner_differs = count_owner_differs;
    traced.match = [](void*, QENAgProc*) { return 0; };
    QENAgProc proc;
    EXPECT_EQ(QENAgScanProcs(&traced, &proc), 0);
    EXPECT_EQ(differs.second, 1) << "another owner's process is passed over";
    EXPECT_EQ(QENAgScanProcs(&scan, &proc), 0);

    ASSERT_EQ(write(go[1], &c, 1), 1);
    ASSERT_EQ(read(ready[0], &c, 1), 1);
    EXPECT_EQ(QENAgScanProcs(&scan, &proc), 1);
    EXPECT_EQ(proc.info.pr_pid, child);
    EXPECT_EQ(proc.info.pr_euid, kOwnerUid);

    kill(child, SIGKILL);
    waitpid(child, nullptr, 0);
    EXPECT_EQ(QENAgScanProcs(&scan, &proc), 0);
    for (int fd : {go[0], go[1], ready[0], ready[1]})
        close(fd);
}
