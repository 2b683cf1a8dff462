// The listener process finder: the cookie across cycles, reused pids,
// cookie names, short records and an unreadable /proc.
#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <gtest/gtest.h>

#include "child.h"
#include "fail_reads.h"
#include "lsnr_test_util.h"
#include "psinfo.h"
#include "spawn.h"

using namespace lsnrtest;

namespace {

std::string cookie_name(const std::string& res, const std::string& listener)
{
    return "7:vuzlsnr" + std::to_string(res.size()) + ":" + res + std::to_string(listener.size()) +
           ":" + listener;
}

std::string psinfo_path(pid_t pid)
{
    return "/proc/" + std::to_string(pid) + "/psinfo";
}

const char* cookie(const std::string& name)
{
    return static_cast<const char*>(QENAgGetCookie(name.c_str()));
}

// Stores a cookie the way the finder does (a malloc'ed 1026-byte buffer).
void plant_cookie(const std::string& name, const std::string& path)
{
    char* value = static_cast<char*>(calloc(1, 1026));
    memcpy(value, path.c_str(), path.size());
    void* old = QENAgGetCookie(name.c_str());
    QENAgSetCookie(name.c_str(), value);
    free(old);
}

bool scanned(const std::vector<Logged>& log)
{
    return has_debug(log, "proc_ok = false");
}

class Finder : public ::testing::Test {
protected:
    void SetUp() override { QENAgTestTakeLog(); }
};

TEST_F(Finder, CookieIsKeptWhileTheListenerRunsAndClearedWhenItEnds)
{
    const std::string home = unique_home("h");
    auto p = std::make_unique<SpawnedProcess>(
        std::vector<std::string>{home + "/bin/vuzlsnr", "LISTENER", "-inherit"});
    ASSERT_TRUE(p->ok()) << p->error();
    AttrVec v;
    v.add("Owner", "root").add("Home", home);
    const QENAgTestResource res = resource("lsnr1");
    const std::string name = cookie_name("lsnr1", "LISTENER");

    // first cycle: scan, cookie stored
    Result r = run_monitor(res, v);
    EXPECT_EQ(r.state, 1);
    auto log = take_log();
    EXPECT_TRUE(scanned(log));
    EXPECT_TRUE(has_debug(log, "Cookie name (" + name + ")"));
    ASSERT_NE(cookie(name), nullptr);
    EXPECT_EQ(std::string(cookie(name)), psinfo_path(p->pid()));

    // second cycle: the cookie answers, no scan
    r = run_monitor(res, v);
    EXPECT_EQ(r.state, 1);
    EXPECT_EQ(r.confidence, 50);
    log = take_log();
    EXPECT_TRUE(has_debug(log, "We got the cookie (" + name + ")"));
    EXPECT_TRUE(has_debug(log, "after cookie processing name (" + name + ")"));
    EXPECT_FALSE(scanned(log));
    EXPECT_TRUE(with_id(log, 210).empty());

    // the listener ends: the cookie is cleared and the scan finds nothing
    const std::string old_path = psinfo_path(p->pid());
    p.reset();
    r = run_monitor(res, v);
    EXPECT_EQ(r.state, 5);
    EXPECT_EQ(r.confidence, 0);
    log = take_log();
    auto open_failed = with_id(log, 207);
    ASSERT_EQ(open_failed.size(), 1u);
    EXPECT_EQ(open_failed[0].kind, QENAG_TEST_AGENT);
    EXPECT_EQ(open_failed[0].text, "Open for vuzlsnr failed, setting cookie to null");
    EXPECT_TRUE(has_debug(log, "open call failed for pid (" + old_path +
                                   ") with error (No such file or directory)"));
    EXPECT_TRUE(scanned(log));
    EXPECT_EQ(cookie(name), nullptr);
}

// A remembered pid that now belongs to another process: every test of the
// scan applies again, not only the program name.
TEST_F(Finder, ReusedPidIsNotTheListener)
{
    const std::string home = unique_home("h");
    const std::string other_home = unique_home("o");
    struct ReuseCase {
        const char* what;
        std::vector<std::string> argv;
        bool as_nobody;
        std::vector<std::string> env;
    };
    // The resource is zoned (zone 2); each impostor differs from the
    // listener in one thing only.
    const std::string kZone = "QEN_ZONEID=2";
    const ReuseCase cases[] = {
        {"vuzlsnr of another home", {other_home + "/bin/vuzlsnr", "LISTENER", "-inherit"}, false, {kZone}},
        {"another listener", {home + "/bin/vuzlsnr", "LISTENER2", "-inherit"}, false, {kZone}},
        {"another owner", {home + "/bin/vuzlsnr", "LISTENER", "-inherit"}, true, {kZone}},
        {"another zone", {home + "/bin/vuzlsnr", "LISTENER", "-inherit"}, false, {"QEN_ZONEID=9"}},
    };
    int n = 0;
    for (const ReuseCase& c : cases) {
        for (bool listener_runs : {true, false}) {
            SpawnedProcess impostor(c.argv, c.env,
                                    c.as_nobody ? nobody_uid() : SpawnedProcess::kSameUid);
            ASSERT_TRUE(impostor.ok()) << impostor.error();
            std::unique_ptr<SpawnedProcess> real;
            if (listener_runs) {
                real = std::make_unique<SpawnedProcess>(std::vector<std::string>{
                    home + "/bin/vuzlsnr", "LISTENER", "-inherit"}, std::vector<std::string>{kZone});
                ASSERT_TRUE(real->ok()) << real->error();
            }
            QENAgTestResource res = resource("reuse" + std::to_string(++n));
            res.container_capable = 1;
            res.container_id = 2;
            const std::string name = cookie_name(res.name, "LISTENER");
            plant_cookie(name, psinfo_path(impostor.pid()));
            AttrVec v;
            v.add("Owner", "root").add("Home", home);
            Result r = run_monitor(res, v);
            auto log = take_log();
            auto restarted = with_id(log, 205);
            ASSERT_EQ(restarted.size(), 1u) << c.what;
            EXPECT_EQ(restarted[0].kind, QENAG_TEST_CONSOLE);
            EXPECT_EQ(restarted[0].text, "Process vuzlsnr restarted");
            EXPECT_TRUE(scanned(log)) << c.what;
            if (listener_runs) {
                EXPECT_EQ(r.state, 1) << c.what;
                ASSERT_NE(cookie(name), nullptr);
                EXPECT_EQ(std::string(cookie(name)), psinfo_path(real->pid())) << c.what;
            } else {
                EXPECT_EQ(r.state, 5) << c.what;
                EXPECT_EQ(cookie(name), nullptr) << c.what;
            }
        }
    }
}

// A cookie that names the listener itself in the resource's zone passes.
TEST_F(Finder, CookieOfTheListenerInItsZonePasses)
{
    const std::string home = unique_home("h");
    SpawnedProcess p({home + "/bin/vuzlsnr", "LISTENER"}, {"QEN_ZONEID=2"});
    ASSERT_TRUE(p.ok()) << p.error();
    QENAgTestResource res = resource("zoned");
    res.container_capable = 1;
    res.container_id = 2;
    const std::string name = cookie_name(res.name, "LISTENER");
    plant_cookie(name, psinfo_path(p.pid()));
    AttrVec v;
    v.add("Owner", "root").add("Home", home);
    EXPECT_EQ(run_monitor(res, v).state, 1);
    auto log = take_log();
    EXPECT_FALSE(scanned(log));
    EXPECT_TRUE(with_id(log, 205).empty());
}

// Resource "a" with listener "bX" and resource "ab" with listener "X" would
// share the cookie "vuzlsnrabX" if the names were simply joined.
TEST_F(Finder, CookieNamesOfDifferentResourcesNeverCollide)
{
    const std::string home = unique_home("h");
    SpawnedProcess bx({home + "/bin/vuzlsnr", "bX", "-inherit"});
    SpawnedProcess x({home + "/bin/vuzlsnr", "X", "-inherit"});
    ASSERT_TRUE(bx.ok() && x.ok());
    AttrVec va, vab;
    va.add("Owner", "root").add("Home", home).add("Listener", "bX");
    vab.add("Owner", "root").add("Home", home).add("Listener", "X");

    EXPECT_EQ(run_monitor(resource("a"), va).state, 1);
    EXPECT_EQ(run_monitor(resource("ab"), vab).state, 1);
    ASSERT_NE(cookie(cookie_name("a", "bX")), nullptr);
    ASSERT_NE(cookie(cookie_name("ab", "X")), nullptr);
    EXPECT_EQ(std::string(cookie(cookie_name("a", "bX"))), psinfo_path(bx.pid()));
    EXPECT_EQ(std::string(cookie(cookie_name("ab", "X"))), psinfo_path(x.pid()));
    take_log();

    // both answer from their own cookie now, neither disturbs the other
    for (int i = 0; i < 2; ++i) {
        EXPECT_EQ(run_monitor(resource("a"), va).state, 1);
        EXPECT_EQ(run_monitor(resource("ab"), vab).state, 1);
        auto log = take_log();
        EXPECT_FALSE(scanned(log));
        EXPECT_TRUE(with_id(log, 205).empty());
    }
}

// A cookie whose record reads short is a failed read: message 206, cookie
// cleared, and the scan follows.
TEST_F(Finder, ShortRecordIsAFailedRead)
{
    TempDir dir;
    const std::string file = dir.path() + "/psinfo";
    // a short "record" whose bytes say vuzlsnr where pr_psargs would start
    std::string bytes(100, '\0');
    bytes.replace(56, 20, "/h/bin/vuzlsnr LISTE");
    int fd = open(file.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, bytes.data(), bytes.size()), 100);
    close(fd);

    const std::string home = unique_home("h");
    const std::string name = cookie_name("short", "LISTENER");
    plant_cookie(name, file);
    AttrVec v;
    v.add("Owner", "root").add("Home", home);
    EXPECT_EQ(run_monitor(resource("short"), v).state, 5);
    auto log = take_log();
    auto failed = with_id(log, 206);
    ASSERT_EQ(failed.size(), 1u);
    EXPECT_EQ(failed[0].kind, QENAG_TEST_CONSOLE);
    EXPECT_EQ(failed[0].text, "read for process vuzlsnr failed with return code 100");
    EXPECT_TRUE(has_debug(log, "read failed with error (short read)"));
    EXPECT_TRUE(scanned(log));
    EXPECT_EQ(cookie(name), nullptr);
}

// Record reads that fail. The cookie's: message 206 with the read's result
// and the error text, the cookie cleared. The scan's: each entry skipped,
// traced by errno (ENOENT, EINTR, EAGAIN) or reported with message 209.
// Each case runs in a child that fails every read of a whole record.
TEST_F(Finder, FailedRecordReads)
{
    const std::string home = unique_home("h");
    SpawnedProcess p({home + "/bin/vuzlsnr", "LISTENER", "-inherit"});
    ASSERT_TRUE(p.ok()) << p.error();
    const std::string name = cookie_name("readfail", "LISTENER");
    struct Case {
        int err;
        const char* trace; // nullptr: message 209
    } cases[] = {
        {EIO, nullptr},
        {ENOENT, "read during scan for process failed with ENOENT"},
        {EINTR, "read during scan for process failed with EINTR"},
        {EAGAIN, "read during scan for process failed with EAGAIN"},
    };
    for (const Case& c : cases) {
        plant_cookie(name, psinfo_path(p.pid()));
        int code = in_child([&] {
            if (!fail_reads_of_size(sizeof(psinfo_t), c.err))
                return 99;
            AttrVec v;
            v.add("Owner", "root").add("Home", home);
            Result r = run_monitor(resource("readfail"), v);
            auto log = take_log();
            auto check = with_id(log, 206);
            if (check.size() != 1 || check[0].kind != QENAG_TEST_CONSOLE ||
                check[0].text != "read for process vuzlsnr failed with return code -1" ||
                check[0].line.find(" severity=2 ") == std::string::npos ||
                !has_debug(log, std::string("read failed with error (") + strerror(c.err) + ")"))
                return 10;
            auto scan = with_id(log, 209);
            if (c.trace != nullptr) {
                if (!scan.empty() || !has_debug(log, c.trace))
                    return 20;
            } else {
                if (scan.empty())
                    return 30;
                for (const Logged& g : scan)
                    if (g.kind != QENAG_TEST_CONSOLE ||
                        g.line.find(" severity=3 ") == std::string::npos ||
                        g.text != "read during scan for process vuzlsnr failed with return code "
                                  "-1, errno = " +
                                      std::to_string(c.err))
                        return 31;
            }
            if (cookie(name) != nullptr || r.confidence != 0)
                return 40;
            return r.state;
        });
        if (code == 99)
            GTEST_SKIP() << "seccomp filters are not available here";
        EXPECT_EQ(code, 5) << strerror(c.err);
    }
}

// /proc that cannot be opened gives unknown, not "no listener". The child
// runs the finder chrooted into an empty directory.
TEST_F(Finder, UnreadableProcIsUnknown)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root for chroot";
    TempDir dir;
    int code = in_child([&] {
        if (chroot(dir.path().c_str()) != 0 || chdir("/") != 0)
            return 90;
        QENAgTestTakeLog();
        QENAgTestResource res = resource("noproc");
        QENAgTestSetResource(&res);
        int r = FindLsnrProc("noproc", "/h", "LISTENER", 0, 0);
        auto log = take_log();
        auto msgs = with_id(log, 208);
        if (msgs.size() != 1 || msgs[0].kind != QENAG_TEST_CONSOLE ||
            msgs[0].text != "Cannot open process directory" ||
            msgs[0].line.find(" severity=0 ") == std::string::npos)
            return 91;
        if (!has_debug(log, "Open for /proc/ failed with error number (" +
                                std::to_string(ENOENT) + ")"))
            return 92;
        return r;
    });
    EXPECT_EQ(code, 2);
}

} // namespace
