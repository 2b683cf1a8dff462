// psinfo records of real processes with chosen command lines, served
// through psinfo_open and psinfo_stat.
#include <errno.h>
#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "psinfo.h"
#include "pwent.h"
#include "spawn.h"
#include "temp_dir.h"

namespace {

std::string psinfo_path(pid_t pid)
{
    return "/proc/" + std::to_string(pid) + "/psinfo";
}

// Reads a record the way the agents do: stat, open, one read of the record.
bool read_record(pid_t pid, psinfo_t& rec, ssize_t* got = nullptr)
{
    int fd = psinfo_open(psinfo_path(pid).c_str(), O_RDONLY);
    if (fd < 0)
        return false;
    memset(&rec, 0x5a, sizeof rec);
    ssize_t n = read(fd, &rec, sizeof rec);
    close(fd);
    if (got)
        *got = n;
    return n == static_cast<ssize_t>(sizeof rec);
}

std::string ps_args(pid_t pid)
{
    std::string cmd = "ps -o args= -p " + std::to_string(pid);
    FILE* p = popen(cmd.c_str(), "r");
    std::string out;
    char buf[512];
    while (size_t n = fread(buf, 1, sizeof buf, p))
        out.append(buf, n);
    pclose(p);
    while (!out.empty() && (out.back() == '\n' || out.back() == ' '))
        out.pop_back();
    return out;
}

TEST(Psinfo, PsargsMatchesPsForChosenCommandLines)
{
    const std::vector<std::vector<std::string>> argvs = {
        {"/opt/sybase/bin/dataserver", "-sSRV1"},
        {"/opt/sybase/bin/dataserver", "-d", "/dev/master", "-s", "SRV1", "-e", "/tmp/err.log"},
        {"backupserver", "-SBKSRV1"},
        {"/u01/app/viruze/product/10.2/bin/vuzlsnr", "LISTENER", "-inherit"},
        // 79 bytes are kept: the option and name past them are cut off.
        {"/opt/sybase/ASE-15_0/bin/dataserver", "-d/opt/sybase/data/master.dat",
         "-e/opt/sybase/ASE-15_0/install/errorlog", "-sLONGSERVERNAME"},
        {"x"},
    };
    for (const auto& argv : argvs) {
        SCOPED_TRACE(argv[0]);
        SpawnedProcess p(argv);
        ASSERT_TRUE(p.ok()) << p.error();
        psinfo_t rec;
        ASSERT_TRUE(read_record(p.pid(), rec));
        std::string joined;
        for (const std::string& a : argv)
            joined += (joined.empty() ? "" : " ") + a;
        std::string expect = joined.substr(0, 79);
        EXPECT_EQ(std::string(rec.pr_psargs), expect);
        EXPECT_EQ(ps_args(p.pid()).substr(0, 79), expect);
        EXPECT_EQ(rec.pr_argc, static_cast<int32_t>(argv.size()));
        EXPECT_EQ(rec.pr_pid, p.pid());
        EXPECT_EQ(rec.pr_ppid, getpid());
        EXPECT_STREQ(rec.pr_fname, "argvsleep");
        EXPECT_EQ(rec.pr_uid, getuid());
        EXPECT_EQ(rec.pr_euid, geteuid());
        EXPECT_EQ(rec.pr_gid, getgid());
        EXPECT_EQ(rec.pr_egid, getegid());
        EXPECT_EQ(rec.pr_zoneid, 0);
        EXPECT_EQ(rec.pr_psargs[79], '\0');
        for (char c : rec.pr_reserved)
            ASSERT_EQ(c, 0);
    }
}

TEST(Psinfo, PsargsIsTerminatedAtExactlyFullLength)
{
    std::string long_arg(200, 'a');
    SpawnedProcess p({"/bin/prog", long_arg});
    ASSERT_TRUE(p.ok()) << p.error();
    psinfo_t rec;
    ASSERT_TRUE(read_record(p.pid(), rec));
    EXPECT_EQ(strnlen(rec.pr_psargs, sizeof rec.pr_psargs), 79u);
    EXPECT_EQ(std::string(rec.pr_psargs), ("/bin/prog " + long_arg).substr(0, 79));
}

TEST(Psinfo, EmptyArgumentWordsKeepTheirBlanks)
{
    SpawnedProcess p({"prog", "", "b"});
    ASSERT_TRUE(p.ok()) << p.error();
    psinfo_t rec;
    ASSERT_TRUE(read_record(p.pid(), rec));
    EXPECT_STREQ(rec.pr_psargs, "prog  b");
    EXPECT_EQ(rec.pr_argc, 3);
}

TEST(Psinfo, ZoneHook)
{
    SpawnedProcess zoned({"/opt/sybase/bin/dataserver", "-sZ"}, {"QEN_ZONEID=7"});
    SpawnedProcess global({"/opt/sybase/bin/dataserver", "-sG"}, {"QEN_ZONEIDX=7"});
    ASSERT_TRUE(zoned.ok() && global.ok());
    psinfo_t rec;
    ASSERT_TRUE(read_record(zoned.pid(), rec));
    EXPECT_EQ(rec.pr_zoneid, 7);
    ASSERT_TRUE(read_record(global.pid(), rec));
    EXPECT_EQ(rec.pr_zoneid, 0);
}

// The record is built from /proc files read in pieces of a few kilobytes:
// a command line and an environment far larger than one piece still give
// the exact word count and the zone hook at their very end.
TEST(Psinfo, LargeCommandLineAndEnvironment)
{
    std::vector<std::string> argv = {"/opt/app/bin/worker"};
    for (int i = 0; i < 3000; ++i)
        argv.push_back("--option-" + std::to_string(i));
    std::vector<std::string> env;
    for (int i = 0; i < 1000; ++i)
        env.push_back("QEN_TEST_FILLER_" + std::to_string(i) + "=" + std::string(60, 'x'));
    std::vector<std::string> zoned_env = env;
    zoned_env.push_back("QEN_ZONEID=42");
    SpawnedProcess zoned(argv, zoned_env);
    SpawnedProcess global(argv, env);
    ASSERT_TRUE(zoned.ok()) << zoned.error();
    ASSERT_TRUE(global.ok()) << global.error();

    std::string joined;
    for (const std::string& a : argv)
        joined += (joined.empty() ? "" : " ") + a;
    psinfo_t rec;
    ASSERT_TRUE(read_record(zoned.pid(), rec));
    EXPECT_EQ(rec.pr_argc, 3001);
    EXPECT_EQ(std::string(rec.pr_psargs), joined.substr(0, 79));
    EXPECT_EQ(rec.pr_zoneid, 42);
    ASSERT_TRUE(read_record(global.pid(), rec));
    EXPECT_EQ(rec.pr_argc, 3001);
    EXPECT_EQ(rec.pr_zoneid, 0);
}

TEST(Psinfo, StatGivesTheOwner)
{
    if (geteuid() != 0)
        GTEST_SKIP() << "needs root to start a process as another user";
    SpawnedProcess p({"/opt/sybase/bin/dataserver", "-sSRV1"}, {}, 4321);
    ASSERT_TRUE(p.ok()) << p.error();
    struct stat st;
    ASSERT_EQ(psinfo_stat(psinfo_path(p.pid()).c_str(), &st), 0);
    EXPECT_EQ(st.st_uid, 4321u);
    EXPECT_TRUE(S_ISREG(st.st_mode));
    EXPECT_EQ(st.st_size, static_cast<off_t>(sizeof(psinfo_t)));
    psinfo_t rec;
    ASSERT_TRUE(read_record(p.pid(), rec));
    EXPECT_EQ(rec.pr_uid, 4321u);
    EXPECT_EQ(rec.pr_euid, 4321u);
    EXPECT_EQ(rec.pr_gid, 4321u);
    // The environment of another user's process stays readable for root.
    EXPECT_EQ(rec.pr_zoneid, 0);
}

TEST(Psinfo, VanishedProcessIsENOENT)
{
    SpawnedProcess p({"gone"});
    ASSERT_TRUE(p.ok());
    pid_t pid = p.pid();
    p.kill();
    std::string path = psinfo_path(pid);
    errno = 0;
    EXPECT_EQ(psinfo_open(path.c_str(), O_RDONLY), -1);
    EXPECT_EQ(errno, ENOENT);
    struct stat st;
    errno = 0;
    EXPECT_EQ(psinfo_stat(path.c_str(), &st), -1);
    EXPECT_EQ(errno, ENOENT);
    psinfo_t rec;
    errno = 0;
    EXPECT_EQ(psinfo_build(pid, &rec), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(Psinfo, DescriptorReadsLikeAFile)
{
    int fd = psinfo_open(psinfo_path(getpid()).c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    EXPECT_NE(fcntl(fd, F_GETFD) & FD_CLOEXEC, 0);
    char buf[1024];
    // Asking for more than a record gives the record, then end of file.
    EXPECT_EQ(read(fd, buf, sizeof buf), static_cast<ssize_t>(sizeof(psinfo_t)));
    EXPECT_EQ(read(fd, buf, sizeof buf), 0);
    ASSERT_EQ(lseek(fd, 0, SEEK_SET), 0);
    psinfo_t rec;
    EXPECT_EQ(read(fd, &rec, sizeof rec), static_cast<ssize_t>(sizeof rec));
    EXPECT_EQ(rec.pr_pid, getpid());
    EXPECT_EQ(close(fd), 0);

    errno = 0;
    EXPECT_EQ(psinfo_open(psinfo_path(getpid()).c_str(), O_RDWR), -1);
    EXPECT_EQ(errno, EACCES);
}

TEST(Psinfo, StartTimeIsStableAndOrdered)
{
    psinfo_t self1, self2, child;
    ASSERT_EQ(psinfo_build(getpid(), &self1), 0);
    ASSERT_EQ(psinfo_build(getpid(), &self2), 0);
    EXPECT_EQ(self1.pr_start.tv_sec, self2.pr_start.tv_sec);
    EXPECT_EQ(self1.pr_start.tv_nsec, self2.pr_start.tv_nsec);
    EXPECT_GT(self1.pr_start.tv_sec, 1000000000);
    SpawnedProcess p({"later"});
    ASSERT_TRUE(p.ok());
    ASSERT_EQ(psinfo_build(p.pid(), &child), 0);
    EXPECT_TRUE(child.pr_start.tv_sec > self1.pr_start.tv_sec ||
                (child.pr_start.tv_sec == self1.pr_start.tv_sec &&
                 child.pr_start.tv_nsec >= self1.pr_start.tv_nsec));
}

TEST(Psinfo, OtherPathsPassThrough)
{
    TempDir dir;
    ASSERT_FALSE(dir.path().empty());
    std::string file = dir.path() + "/f";
    int fd = psinfo_open(file.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(write(fd, "abc", 3), 3);
    close(fd);
    struct stat st;
    ASSERT_EQ(psinfo_stat(file.c_str(), &st), 0);
    EXPECT_EQ(st.st_size, 3);
    EXPECT_EQ(st.st_mode & 0777, 0600u);
    fd = psinfo_open(file.c_str(), O_RDONLY);
    ASSERT_GE(fd, 0);
    char buf[8] = {};
    EXPECT_EQ(read(fd, buf, sizeof buf), 3);
    close(fd);
    // Linux has no psinfo file of its own: such paths are not served.
    errno = 0;
    EXPECT_EQ(psinfo_stat("/proc/self/psinfo", &st), -1);
    EXPECT_EQ(errno, ENOENT);
}

TEST(Psinfo, PathParsing)
{
    struct {
        const char* path;
        int ok;
        pid_t pid;
    } cases[] = {
        {"/proc/1/psinfo", 1, 1},       {"/proc/123456/psinfo", 1, 123456},
        {"/proc/0/psinfo", 0, 0},       {"/proc//psinfo", 0, 0},
        {"/proc/12a/psinfo", 0, 0},     {"/proc/-1/psinfo", 0, 0},
        {"/proc/12/psinfox", 0, 0},     {"/proc/12/status", 0, 0},
        {"proc/12/psinfo", 0, 0},       {"/proc/12//psinfo", 0, 0},
        {"/proc/9999999999/psinfo", 0, 0}, {"/proc/self/psinfo", 0, 0},
    };
    for (auto& c : cases) {
        pid_t pid = -7;
        EXPECT_EQ(psinfo_path_pid(c.path, &pid), c.ok) << c.path;
        if (c.ok) {
            EXPECT_EQ(pid, c.pid) << c.path;
        }
    }
    EXPECT_EQ(psinfo_path_pid(nullptr, nullptr), 0);
}

// The whole argument list, beyond pr_psargs, and bounded by the caller's
// buffer.
TEST(PsinfoArgs, WholeArgumentListOfARealProcess)
{
    const std::string prog = "/u01/app/viruze/" + std::string(100, 'p') + "/bin/vuzlsnr";
    SpawnedProcess p({prog, "LISTENER", "", "-inherit " + std::string(5000, 'x')});
    ASSERT_TRUE(p.ok()) << p.error();
    const std::string whole = prog + " LISTENER  -inherit " + std::string(5000, 'x');
    std::vector<char> buf(8192, 'Z');
    ASSERT_EQ(psinfo_read_args(p.pid(), buf.data(), buf.size()),
              static_cast<ssize_t>(whole.size()));
    EXPECT_EQ(std::string(buf.data()), whole);
    for (size_t size : {size_t{1}, size_t{80}, size_t{4096}, size_t{4097}}) {
        SCOPED_TRACE(size);
        std::vector<char> small(size + 1, 'Z');
        ssize_t n = psinfo_read_args(p.pid(), small.data(), size);
        ASSERT_EQ(n, static_cast<ssize_t>(size - 1));
        EXPECT_EQ(std::string(small.data()), whole.substr(0, size - 1));
        EXPECT_EQ(small[size], 'Z') << "wrote past the buffer";
    }
    // The record's own field holds the first 79 bytes of the same text.
    psinfo_t rec;
    ASSERT_TRUE(read_record(p.pid(), rec));
    EXPECT_EQ(std::string(rec.pr_psargs), whole.substr(0, PRARGSZ - 1));
}

TEST(PsinfoArgs, GoneOrInvalid)
{
    pid_t gone;
    {
        SpawnedProcess p({"short-lived"});
        ASSERT_TRUE(p.ok());
        gone = p.pid();
    }
    char buf[64];
    errno = 0;
    EXPECT_EQ(psinfo_read_args(gone, buf, sizeof buf), -1);
    EXPECT_EQ(errno, ENOENT);
    EXPECT_EQ(psinfo_read_args(0, buf, sizeof buf), -1);
    EXPECT_EQ(psinfo_read_args(getpid(), buf, 0), -1);
    EXPECT_EQ(errno, EINVAL);
}

TEST(UserLookup, KnownUnknownAndEmpty)
{
    uid_t uid = 1234;
    gid_t gid = 1234;
    EXPECT_EQ(qen_lookup_user("root", &uid, &gid), 0);
    EXPECT_EQ(uid, 0u);
    EXPECT_EQ(gid, 0u);
    EXPECT_EQ(qen_lookup_user("nobody", &uid, nullptr), 0);
    EXPECT_EQ(uid, 65534u);
    EXPECT_EQ(qen_lookup_user("no-such-user-qen", &uid, &gid), -1);
    EXPECT_EQ(qen_lookup_user("", &uid, &gid), -1);
    EXPECT_EQ(qen_lookup_user(nullptr, &uid, &gid), -1);
}

} // namespace
