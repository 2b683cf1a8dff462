// The framework's calls, used without its main.
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <semaphore.h>
#include <signal.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "qenagfw.h"
#include "qenagfw_test.h"
#include "cancel_check.h"
#include "temp_dir.h"

namespace {

// An executable shell script at rel in dir running body.
std::string write_script(const TempDir& dir, const std::string& rel, const std::string& body)
{
    return dir.write(rel, "#!/bin/sh\n" + body + "\n");
}

// The text of a log line after "file=... line=N: ".
std::string text_of(const QENAgTestLine& l)
{
    size_t at = l.text.find(": ");
    return at == std::string::npos ? l.text : l.text.substr(at + 2);
}

TEST(Strl, BoundedCopyAndAppend)
{
    struct {
        const char* dst;
        const char* src;
        size_t size;
        const char* cpy;
        size_t cpy_ret;
        const char* cat;
        size_t cat_ret;
    } cases[] = {
        {"ab", "cdef", 10, "cdef", 4, "abcdef", 6},
        {"ab", "cdef", 4, "cde", 4, "abc", 6},
        {"ab", "cdef", 3, "cd", 4, "ab", 6},
        {"ab", "", 3, "", 0, "ab", 2},
        {"", "xyz", 1, "", 3, "", 3},
    };
    for (auto& c : cases) {
        char buf[16];
        memset(buf, 'Z', sizeof buf);
        EXPECT_EQ(QENAgStrlcpy(buf, c.src, c.size), c.cpy_ret);
        EXPECT_STREQ(buf, c.cpy);
        EXPECT_EQ(buf[c.size], 'Z'); // nothing written past size
        memset(buf, 'Z', sizeof buf);
        strcpy(buf, c.dst);
        EXPECT_EQ(QENAgStrlcat(buf, c.src, c.size), c.cat_ret);
        EXPECT_STREQ(buf, c.cat);
        EXPECT_EQ(buf[c.size], 'Z');
    }
    char untouched[4] = {'a', 'b', 'c', 'd'};
    EXPECT_EQ(QENAgStrlcpy(untouched, "xy", 0), 2u);
    EXPECT_EQ(untouched[0], 'a');
    // A destination not terminated within size is left alone.
    EXPECT_EQ(QENAgStrlcat(untouched, "xy", 4), 6u);
    EXPECT_EQ(memcmp(untouched, "abcd", 4), 0);
}

TEST(Cookies, StoreReplaceClear)
{
    char name[] = "dataserverres1";
    int a = 1, b = 2;
    EXPECT_EQ(QENAgGetCookie(name), nullptr);
    EXPECT_EQ(QENAgSetCookie(name, &a), 0);
    name[0] = 'X'; // the framework keeps its own copy of the name
    EXPECT_EQ(QENAgGetCookie("dataserverres1"), &a);
    EXPECT_EQ(QENAgGetCookie(name), nullptr);
    EXPECT_EQ(QENAgSetCookie("dataserverres1", &b), 0);
    EXPECT_EQ(QENAgGetCookie("dataserverres1"), &b);
    EXPECT_EQ(QENAgSetCookie("dataserverres1", nullptr), 0);
    EXPECT_EQ(QENAgGetCookie("dataserverres1"), nullptr);
    // An integer held in the pointer, seen from another thread.
    QENAgSetCookie("res1", reinterpret_cast<void*>(intptr_t{3}));
    pthread_t t;
    static void* seen;
    pthread_create(
        &t, nullptr, [](void*) -> void* {
            seen = QENAgGetCookie("res1");
            return nullptr;
        },
        nullptr);
    pthread_join(t, nullptr);
    EXPECT_EQ(reinterpret_cast<intptr_t>(seen), 3);
    QENAgSetCookie("res1", nullptr);
    EXPECT_EQ(QENAgSetCookie(nullptr, &a), -1);
    EXPECT_EQ(QENAgGetCookie(nullptr), nullptr);
}

int monitor_a(const char*, char**, int*)
{
    return 1;
}
int monitor_b(const char*, char**, int*)
{
    return 0;
}

void register_from_stack()
{
    AgentEntryPoints table;
    memset(&table, 0xff, sizeof table);
    memset(&table, 0, sizeof table);
    table.monitor = monitor_a;
    EXPECT_EQ(QENAgRegisterEPStruct(2, &table), 0);
    memset(&table, 0, sizeof table); // the framework copied it already
}

TEST(EntryPoints, TableAndPair)
{
    register_from_stack();
    EXPECT_EQ(QENAgTestMonitor(), &monitor_a);
    AgentEntryPoints table{};
    EXPECT_EQ(QENAgRegisterEPStruct(1, &table), -1);
    EXPECT_EQ(QENAgRegisterEPStruct(2, nullptr), -1);
    EXPECT_EQ(QENAgTestMonitor(), &monitor_a);

    EXPECT_EQ(QENAgInitEntryPointStruct(4), 0);
    EXPECT_EQ(QENAgTestMonitor(), nullptr);
    EXPECT_EQ(QENAgSetEntryPoint(5, monitor_b), 0);
    EXPECT_EQ(QENAgTestMonitor(), &monitor_b);
    EXPECT_EQ(QENAgSetEntryPoint(6, monitor_a), -1);
    EXPECT_EQ(QENAgInitEntryPointStruct(3), -1);
    EXPECT_EQ(QENAgTestMonitor(), &monitor_b);
}

TEST(Logs, LineFormat)
{
    QENAgTestTakeLog();
    QENAgSetLogCategory(20018);
    QENAgLogMsg1(2, "sybase_monitor", "Sybase", 42, 302, 0, "Cannot %s %d%%", "open", 5);
    QENAgLogConsoleMsg1(1, "sybase_monitor", "Sybase", 43, 4, 0, "Process %s restarted",
                        "dataserver");
    QENAgLogDbgMsg1(3, "trim", "Sybase", 44, 0, "Trimmed attribute value: |%s|", "a b");
    QENAgTestResource res;
    res.name = "srv1";
    QENAgTestSetResource(&res);
    QENAgLogMsg1(0, nullptr, nullptr, 1, 9, 0, "%s", "%d stays");
    QENAgTestSetResource(nullptr);
    std::string long_text(3000, 'x');
    QENAgLogDbgMsg1(0, "t", "f", 2, 0, "%s", long_text.c_str());

    std::vector<QENAgTestLine> lines = QENAgTestTakeLog();
    ASSERT_EQ(lines.size(), 5u);
    EXPECT_EQ(lines[0].kind, QENAG_TEST_AGENT);
    EXPECT_EQ(lines[0].text, "resource=- category=20018 severity=2 id=302 tag=sybase_monitor "
                             "file=Sybase line=42: Cannot open 5%");
    EXPECT_EQ(lines[1].kind, QENAG_TEST_CONSOLE);
    EXPECT_EQ(lines[1].text, "resource=- category=20018 severity=1 id=4 tag=sybase_monitor "
                             "file=Sybase line=43: Process dataserver restarted");
    EXPECT_EQ(lines[2].kind, QENAG_TEST_DEBUG);
    EXPECT_EQ(lines[2].text, "resource=- category=20018 level=3 tag=trim file=Sybase line=44: "
                             "Trimmed attribute value: |a b|");
    EXPECT_EQ(lines[3].text,
              "resource=srv1 category=20018 severity=0 id=9 tag=- file=- line=1: %d stays");
    EXPECT_EQ(text_of(lines[4]), long_text);
    EXPECT_EQ(QENAgTestLogCategory(), 20018);
}

TEST(Container, QueriesFollowTheThreadsResource)
{
    EXPECT_EQ(QENAgIsContainerCapable(), 0);
    EXPECT_EQ(QENAgGetContainerID2(), 0);
    EXPECT_EQ(QENAgGetContainerName2(), nullptr);

    QENAgTestResource res;
    res.name = "z";
    res.container_capable = 1;
    res.container_id = 5;
    res.container_name = "zone5";
    QENAgTestSetResource(&res);
    EXPECT_EQ(QENAgIsContainerCapable(), 1);
    EXPECT_EQ(QENAgGetContainerID2(), 5);
    char* name = QENAgGetContainerName2();
    ASSERT_NE(name, nullptr);
    EXPECT_STREQ(name, "zone5");
    QENAgDelString(name);

    psinfo_t rec{};
    rec.pr_zoneid = 5;
    EXPECT_EQ(QENAgIsProcInContainer(&rec), 1);
    rec.pr_zoneid = 0;
    EXPECT_EQ(QENAgIsProcInContainer(&rec), 0);

    // Another thread acts for no resource.
    static int other[2];
    pthread_t t;
    pthread_create(
        &t, nullptr, [](void*) -> void* {
            other[0] = QENAgIsContainerCapable();
            other[1] = QENAgGetContainerID2();
            return nullptr;
        },
        nullptr);
    pthread_join(t, nullptr);
    EXPECT_EQ(other[0], 0);
    EXPECT_EQ(other[1], 0);

    res.container_id = -1;
    res.container_name.clear();
    QENAgTestSetResource(&res);
    EXPECT_EQ(QENAgGetContainerID2(), -1);
    EXPECT_EQ(QENAgGetContainerName2(), nullptr);
    QENAgTestSetResource(nullptr);
    EXPECT_EQ(QENAgIsProcInContainer(&rec), 1); // no resource: the global zone
}

TEST(GetUID, KnownAndUnknownUsers)
{
    int uid = -1, euid = -1, other = -1;
    EXPECT_EQ(QENAgGetUID("root", &uid, &euid, &other), 0);
    EXPECT_EQ(uid, 0);
    EXPECT_EQ(euid, 0);
    uid = euid = other = -1;
    EXPECT_NE(QENAgGetUID("no_such_user_qen", &uid, &euid, &other), 0);
    EXPECT_EQ(uid, -1);
    EXPECT_EQ(euid, -1);
    EXPECT_NE(QENAgGetUID("", &uid, &euid, &other), 0);
    EXPECT_NE(QENAgGetUID(nullptr, &uid, &euid, &other), 0);
    EXPECT_EQ(uid, -1);
}

struct RunResult {
    int rc;
    int status;
    int err;
    std::string output;
};

RunResult run(std::vector<std::string> argv, int size = 4096)
{
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<char> out(static_cast<size_t>(size) + 16, 'Z');
    RunResult r{};
    r.status = -12345;
    errno = 0;
    r.rc = QENAgExecInContainer2(argv[0].c_str(), args.data(), out.data(), size, &r.status);
    r.err = errno;
    if (r.rc == 0) {
        EXPECT_EQ(out[static_cast<size_t>(size)], 'Z'); // nothing past size
        r.output = out.data();
    }
    return r;
}

TEST(Exec, OutputAndStatus)
{
    std::vector<std::string> before = open_fds();

    RunResult r = run({"/bin/echo", "hello", "world"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, "hello world\n");
    EXPECT_TRUE(WIFEXITED(r.status));
    EXPECT_EQ(r.status & 0xff, 0);
    EXPECT_EQ((r.status >> 8) & 0xff, 0);

    r = run({"/bin/sh", "-c", "printf 0123456789"}, 5);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, "0123");

    r = run({"/bin/sh", "-c", "printf abc"}, 1);
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, "");

    // Far more output than the buffer: the rest is read and dropped.
    r = run({"/bin/sh", "-c", "head -c 1000000 /dev/zero | tr '\\0' a; exit 7"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, std::string(4095, 'a'));
    EXPECT_EQ((r.status >> 8) & 0xff, 7);

    r = run({"/bin/sh", "-c", "echo out; echo err >&2; exit 3"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, "out\nerr\n");
    EXPECT_EQ(r.status & 0xff, 0);
    EXPECT_EQ((r.status >> 8) & 0xff, 3);

    r = run({"/bin/sh", "-c", "kill -TERM $$"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_NE(r.status & 0xff, 0);
    EXPECT_TRUE(WIFSIGNALED(r.status));
    EXPECT_EQ(WTERMSIG(r.status), SIGTERM);

    // argv is passed as given.
    r = run({"/bin/sh", "-c", "echo \"$0:$1\"", "zero", "one"});
    EXPECT_EQ(r.output, "zero:one\n");

    // Standard input is empty.
    r = run({"/bin/cat"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, "");

    EXPECT_EQ(open_fds(), before);
}

TEST(Exec, StartFailures)
{
    std::vector<std::string> before = open_fds();
    RunResult r = run({"/nonexistent/program"});
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, ENOENT);
    EXPECT_EQ(r.status, -12345);

    TempDir dir;
    std::string plain = dir.path() + "/plain";
    std::ofstream(plain) << "not a program\n";
    chmod(plain.c_str(), 0644);
    r = run({plain});
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, EACCES);
    EXPECT_EQ(open_fds(), before);
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1); // every child reaped
}

TEST(Exec, InsideTheContainerRoot)
{
    TempDir dir;
    write_script(dir, "root/usr/bin/id", "echo \"uid=100(sybase) gid=1(other) for $1\"; exit 0");
    QENAgTestResource res;
    res.name = "z";
    res.container_capable = 1;
    res.container_id = 3;
    res.container_root = dir.path() + "/root/"; // a trailing slash is fine
    QENAgTestSetResource(&res);
    RunResult r = run({"/usr/bin/id", "sybase"});
    EXPECT_EQ(r.rc, 0);
    EXPECT_EQ(r.output, "uid=100(sybase) gid=1(other) for sybase\n");

    // Not in the container's root: no such program.
    r = run({"/bin/echo", "x"});
    EXPECT_EQ(r.rc, -1);
    EXPECT_EQ(r.err, ENOENT);

    // A resource that is not container capable runs the real program.
    res.container_capable = 0;
    QENAgTestSetResource(&res);
    r = run({"/bin/echo", "real"});
    EXPECT_EQ(r.output, "real\n");
    QENAgTestSetResource(nullptr);
}

struct CancelCtx {
    std::string fifo;
    std::string script;
    int rc = 99;
};

void* run_blocking(void* arg)
{
    auto* ctx = static_cast<CancelCtx*>(arg);
    char* argv[] = {ctx->script.data(), nullptr};
    char out[64];
    int status = 0;
    pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
    ctx->rc = QENAgExecInContainer2(ctx->script.c_str(), argv, out, sizeof out, &status);
    pthread_cleanup_pop(0);
    return nullptr;
}

// A caller cancelled while its program runs: the program is killed and
// reaped, and no descriptor stays open.
TEST(Exec, CancelledCallerKillsAndReapsTheProgram)
{
    TempDir dir;
    CancelCtx ctx;
    ctx.fifo = dir.path() + "/started";
    ASSERT_EQ(mkfifo(ctx.fifo.c_str(), 0600), 0);
    ctx.script = write_script(dir, "prog", "echo started > " + ctx.fifo + "\nexec sleep 100000");
    std::vector<std::string> before = open_fds();
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, run_blocking, &ctx), 0);
    {
        std::ifstream started(ctx.fifo); // opens once the program writes
        std::string word;
        started >> word;
        EXPECT_EQ(word, "started");
    }
    EXPECT_EQ(cancel_and_join(t), PTHREAD_CANCELED);
    EXPECT_EQ(ctx.rc, 99);
    EXPECT_EQ(open_fds(), before);
    errno = 0;
    EXPECT_EQ(waitpid(-1, nullptr, WNOHANG), -1);
    EXPECT_EQ(errno, ECHILD);
}

struct HoldCtx {
    sem_t holding;
    int fd = -1; // the blocking read's pipe
};

void* hold_and_block(void* arg)
{
    auto* ctx = static_cast<HoldCtx*>(arg);
    char* text = strdup("a heap string");
    int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
    QENAgTestResource res;
    res.name = "r";
    res.container_name = "zone";
    QENAgTestSetResource(&res);
    char* cname = QENAgGetContainerName2();
    pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
    pthread_cleanup_push(QENAgDelString, text);
    pthread_cleanup_push(QENAgCloseFile, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
    pthread_cleanup_push(QENAgDelString, cname);
    sem_post(&ctx->holding);
    char c;
    while (read(ctx->fd, &c, 1) > 0) {
    }
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(0);
    return nullptr;
}

// A cancelled monitor's cleanup handlers release what it holds (the
// sanitizer tree checks that no memory is left behind).
TEST(Cleanup, CancelledThreadReleasesEverything)
{
    int pipefd[2];
    ASSERT_EQ(pipe(pipefd), 0);
    std::vector<std::string> before = open_fds();
    HoldCtx ctx;
    sem_init(&ctx.holding, 0, 0);
    ctx.fd = pipefd[0];
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, hold_and_block, &ctx), 0);
    sem_wait(&ctx.holding);
    EXPECT_EQ(cancel_and_join(t), PTHREAD_CANCELED);
    EXPECT_EQ(open_fds(), before);
    sem_destroy(&ctx.holding);
    close(pipefd[0]);
    close(pipefd[1]);
}

// Popping QENAgCloseFile with execution while a cancellation is pending
// closes the descriptor and returns; the thread is cancelled at its next
// cancellation point, not inside the handler.
TEST(Cleanup, CloseFilePoppedWithPendingCancel)
{
    static bool after_pop;
    after_pop = false;
    std::vector<std::string> before = open_fds();
    pthread_t t;
    pthread_create(
        &t, nullptr, [](void*) -> void* {
            void* ret = nullptr;
            pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
            pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
            pthread_cancel(pthread_self());
            int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
            pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
            pthread_cleanup_push(QENAgCloseFile, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
            pthread_cleanup_pop(1);
            after_pop = true;
            pthread_testcancel();
            pthread_cleanup_pop(0);
            return ret;
        },
        nullptr);
    void* ret = nullptr;
    pthread_join(t, &ret);
    EXPECT_TRUE(after_pop);
    EXPECT_EQ(ret, PTHREAD_CANCELED);
    EXPECT_EQ(open_fds(), before);
    QENAgCloseFile(reinterpret_cast<void*>(intptr_t{-1})); // ignored
    QENAgDelString(nullptr);
}

} // namespace
