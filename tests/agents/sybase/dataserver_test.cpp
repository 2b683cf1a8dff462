// The data-server agent's monitor against real processes and real monitor
// scripts, called directly on the test's thread.
#include <errno.h>
#include <limits.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <pthread.h>
#include <stddef.h>
#include <sys/prctl.h>
#include <sys/syscall.h>
#include <sys/wait.h>

#include <functional>
#include <memory>

#include "Sybase.h"
#include "SybaseCommon.h"
#include "cancel_check.h"
#include "child.h"
#include "fail_reads.h"
#include "sybase_fixture.h"

using namespace sybtest;

namespace {

const std::string kDataserver = sybase_program("dataserver");

class DataServer : public MonitorTest {
protected:
    DataServer() : MonitorTest(process_monitor, kDataserver) {}

    void SetUp() override
    {
        MonitorTest::SetUp();
        script_ = dir_.write("mon.sh", script_body("", 0));
        attrs_.set("Server", U("SRV1"));
        set_installation()
            .set("SA", "sa")
            .set("SApswd", "sa secret")
            .set("User", "probe")
            .set("UPword", "pw")
            .set("Db", "master")
            .set("Table", "sysobjects")
            .set("Monscript", script_)
            .set("DetailMonitor", "0");
    }

    std::string cookie_name(const std::string& res = "") const
    {
        return "dataserver" + (res.empty() ? res_ : res);
    }

    // One cycle in a child, after fault() set up the fault it runs under
    // (false where seccomp filters are not available: 99). The state, plus
    // the marks of findings() (10, 20), plus 40 when the cycle left a cookie
    // or a confidence other than 0.
    int cycle_with_fault(const std::function<bool()>& fault, const std::function<int()>& findings)
    {
        return in_child([&] {
            if (!fault())
                return 99;
            int result = run();
            result += findings();
            if (QENAgGetCookie(cookie_name().c_str()) != nullptr || confidence_ != 0)
                result += 40;
            return result;
        });
    }

    TempDir dir_;
    std::string script_;
};

TEST(DataServerStartup, RegistersMonitorInSlotThreeUnderCategory20018)
{
    QENAgStartup();
    EXPECT_EQ(QENAgTestMonitor(), &process_monitor);
    EXPECT_EQ(QENAgTestLogCategory(), 20018);
}

// Which command lines are taken for the server: option glued or with blanks,
// tabs, left-matching names, names past column 79, owners and programs.
// A server that is not dumpable (one that changed its credentials) has its
// /proc files shown as root's; the owner in its record still decides.
TEST_F(DataServer, NonDumpableServerIsFound)
{
    attrs_.set("Server", U("SRV1"));
    auto p = server({"-s" + U("SRV1")}, kOwnerUid, {"QEN_NONDUMPABLE=1"});
    const std::string status = "/proc/" + std::to_string(p->pid()) + "/status";
    struct stat st {};
    for (int i = 0; i < 200 && stat(status.c_str(), &st) == 0 && st.st_uid != 0; ++i)
        usleep(10000); // the program turns non-dumpable right after its exec
    ASSERT_EQ(st.st_uid, 0u);
    EXPECT_EQ(run(res_), 1) << dump(log_);
    EXPECT_EQ(cookie_text(cookie_name(res_)), psinfo_path(p->pid()));
}

TEST_F(DataServer, FinderMatchesOnlyTheConfiguredServer)
{
    const std::string pad(60, 'x'); // pushes later arguments far to the right
    struct Case {
        const char* what;
        std::vector<std::string> argv; // after the program path
        std::string server;
        uid_t uid;
        int state;
    } cases[] = {
        {"option and name glued", {"-d/dev/master", "-s" + U("SRV1")}, U("SRV1"), kOwnerUid, 1},
        {"blank after the option", {"-s", U("SRV1"), "-e/log"}, U("SRV1"), kOwnerUid, 1},
        {"two blanks after the option", {"-s", " " + U("SRV1")}, U("SRV1"), kOwnerUid, 1},
        {"tab after the option", {"-s\t" + U("SRV1")}, U("SRV1"), kOwnerUid, 0},
        {"server SRV1 is not taken for SRV", {"-s" + U("SRV1")}, U("SRV"), kOwnerUid, 0},
        {"server SRV is not taken for SRV1", {"-s" + U("SRV")}, U("SRV1"), kOwnerUid, 0},
        {"option glued to the word before", {"x-s" + U("SRV1")}, U("SRV1"), kOwnerUid, 0},
        {"upper-case option", {"-S" + U("SRV1")}, U("SRV1"), kOwnerUid, 0},
        {"another owner", {"-s" + U("SRV1")}, U("SRV1"), kOtherUid, 0},
        // A full pr_psargs sends the match to the whole argument list.
        {"name past column 79", {pad, "-s" + U("SRV1")}, U("SRV1"), kOwnerUid, 1},
        {"option and name far past column 79", {pad, pad, "-s", U("SRV1"), "-e/log"}, U("SRV1"),
         kOwnerUid, 1},
        {"longer name cut at column 79", {pad, "-s" + U("SRV1") + std::string(40, '2')}, U("SRV1"),
         kOwnerUid, 0},
        {"another name past column 79", {pad, "-s" + U("SRV2")}, U("SRV1"), kOwnerUid, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        attrs_.set("Server", c.server);
        auto p = server(c.argv, c.uid);
        std::string res = res_ + "_" + std::to_string(&c - cases);
        EXPECT_EQ(run(res), c.state) << dump(log_);
        EXPECT_EQ(confidence_, c.state == 1 ? 50 : 0);
        if (c.state == 1) {
            EXPECT_EQ(cookie_text(cookie_name(res)), psinfo_path(p->pid()));
            const Line* set = find_id(log_, QENAG_TEST_CONSOLE, 7);
            ASSERT_NE(set, nullptr);
            EXPECT_EQ(set->sev, 4);
            EXPECT_NE(set->text.find("Setting cookie for proc = " + kDataserver),
                      std::string::npos);
            EXPECT_NE(set->text.find(", PID = " + psinfo_path(p->pid())), std::string::npos);
            EXPECT_NE(find_id(log_, QENAG_TEST_AGENT, 7), nullptr);
        } else {
            EXPECT_EQ(QENAgGetCookie(cookie_name(res).c_str()), nullptr);
            EXPECT_TRUE(has_debug(log_, "Could not find a process for data server " + c.server +
                                            ". Returning OFFLINE."))
                << dump(log_);
        }
    }
}

TEST_F(DataServer, NameEndingJustInsideColumn79IsFound)
{
    // psargs keeps 79 characters: program, blank, padding, blank, option.
    std::string opt = "-s" + U("SRV1");
    size_t pad_len = 79 - kDataserver.size() - 2 - opt.size();
    auto p = server({std::string(pad_len, 'p'), opt});
    EXPECT_EQ(run(), 1) << dump(log_);
}

// A command line longer than pr_psargs holds, with the program path itself
// starting past byte 80: found by the scan, and then kept by the cookie
// re-check, which reads the whole argument list as the scan does.
TEST_F(DataServer, LongCommandLineFoundAndRecheckedByCookie)
{
    const std::string prefix = "/opt/" + std::string(90, 'i');
    SpawnedProcess p({prefix + kDataserver, "-d/dev/" + std::string(60, 'm'), "-s" + U("SRV1")},
                     {}, kOwnerUid);
    ASSERT_TRUE(p.ok()) << p.error();
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(cookie_text(cookie_name()), psinfo_path(p.pid()));
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_TRUE(has_debug(log_, "Cookie analysis finished. proc_ok is TRUE")) << dump(log_);
    EXPECT_EQ(count_id(log_, 4), 0) << dump(log_);
}

TEST_F(DataServer, LeftMatchingNameIsTracedAsSuch)
{
    attrs_.set("Server", U("SRV"));
    auto p = server({"-s" + U("SRV1")});
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(has_debug(log_, "Is not a expected data server. (Is there any other data server "
                                "running with same left-matching server name as this one?)"))
        << dump(log_);
}

TEST_F(DataServer, SecondCycleUsesTheCookieWithoutScanning)
{
    auto p = server({"-s" + U("SRV1")});
    ASSERT_EQ(run(), 1);
    ASSERT_EQ(run(), 1);
    EXPECT_EQ(confidence_, 50);
    EXPECT_EQ(count_id(log_, 7), 0) << dump(log_);
    EXPECT_TRUE(has_debug(log_, "Cookie analysis finished. proc_ok is TRUE"));
    EXPECT_FALSE(has_debug(log_, "Cookie analysis finished. proc_ok is FALSE"));
    EXPECT_TRUE(has_debug(log_, "Cookie name is: " + cookie_name() + "."));
    EXPECT_EQ(cookie_text(cookie_name()), psinfo_path(p->pid()));
}

TEST_F(DataServer, ServerKilledBetweenCyclesReadsOffline)
{
    auto p = server({"-s" + U("SRV1")});
    ASSERT_EQ(run(), 1);
    p->kill();
    EXPECT_EQ(run(), 0);
    EXPECT_EQ(confidence_, 0);
    const Line* open_failed = find_id(log_, QENAG_TEST_CONSOLE, 301);
    ASSERT_NE(open_failed, nullptr) << dump(log_);
    EXPECT_EQ(open_failed->text, "Open for dataserver failed, setting cookie to NULL");
    EXPECT_EQ(open_failed->sev, 2);
    EXPECT_EQ(QENAgGetCookie(cookie_name().c_str()), nullptr);
}

// The remembered pid now belongs to a process that is not this server: the
// cookie check must not accept it, whatever its command line holds.
TEST_F(DataServer, ReusedPidIsNotTakenForTheServer)
{
    struct Case {
        const char* what;
        std::vector<std::string> argv;
        uid_t uid;
    } cases[] = {
        {"another program", {"/usr/sbin/cron", "-f"}, kOwnerUid},
        {"another data server", {kDataserver, "-s" + U("OTHER")}, kOwnerUid},
        {"this server's command line, another owner", {kDataserver, "-s" + U("SRV1")}, kOtherUid},
        {"no option before the name", {kDataserver, U("SRV1")}, kOwnerUid},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SpawnedProcess intruder(c.argv, {}, c.uid);
        ASSERT_TRUE(intruder.ok()) << intruder.error();
        plant_cookie(cookie_name(), psinfo_path(intruder.pid()));
        EXPECT_EQ(run(), 0) << dump(log_);
        EXPECT_EQ(confidence_, 0);
        const Line* console = find_id(log_, QENAG_TEST_CONSOLE, 4);
        ASSERT_NE(console, nullptr) << dump(log_);
        EXPECT_EQ(console->text, "Process dataserver restarted");
        EXPECT_NE(find_id(log_, QENAG_TEST_AGENT, 4), nullptr);
        EXPECT_EQ(QENAgGetCookie(cookie_name().c_str()), nullptr);

        // With the real server running, the same cycle's scan finds it.
        auto real = server({"-s" + U("SRV1")});
        plant_cookie(cookie_name(), psinfo_path(intruder.pid()));
        EXPECT_EQ(run(), 1) << dump(log_);
        EXPECT_EQ(cookie_text(cookie_name()), psinfo_path(real->pid()));
    }
}

// A psinfo read shorter than the record is a failed read: its bytes are
// never searched. A whole record at the same place is read normally.
TEST_F(DataServer, ShortPsinfoReadFailsTheCookieCheck)
{
    psinfo_t rec;
    memset(&rec, 0, sizeof rec);
    rec.pr_pid = 1;
    rec.pr_uid = rec.pr_euid = kOwnerUid;
    snprintf(rec.pr_psargs, sizeof rec.pr_psargs, "%s -s%s", kDataserver.c_str(),
             U("SRV1").c_str());
    std::string whole(reinterpret_cast<const char*>(&rec), sizeof rec);
    std::string file = dir_.write("psinfo", whole.substr(0, 200), 0644);

    plant_cookie(cookie_name(), file);
    EXPECT_EQ(run(), 0) << dump(log_);
    const Line* failed = find_id(log_, QENAG_TEST_CONSOLE, 300);
    ASSERT_NE(failed, nullptr) << dump(log_);
    EXPECT_EQ(failed->text, "ioctl for process dataserver failed with return code 200");
    EXPECT_EQ(QENAgGetCookie(cookie_name().c_str()), nullptr);

    dir_.write("psinfo", whole, 0644);
    plant_cookie(cookie_name(), file);
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(count_id(log_, 300), 0);
}

// Makes every open of a directory fail with EACCES in this process (opendir
// of "/proc/" included), through a seccomp filter.
bool deny_directory_opens()
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_openat, 0, 3),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JSET | BPF_K, O_DIRECTORY, 0, 1),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EACCES & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                              filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

// /proc cannot be opened: unknown with message 302; a cookie that failed its
// check in the same call stays cleared. Runs in a child, which keeps the
// filter to itself.
TEST_F(DataServer, UnreadableProcessDirectoryReadsUnknown)
{
    SpawnedProcess intruder({"/usr/sbin/cron"}, {}, kOwnerUid);
    ASSERT_TRUE(intruder.ok());
    plant_cookie(cookie_name(), psinfo_path(intruder.pid()));
    int code = cycle_with_fault(deny_directory_opens, [&] {
        int marks = 0;
        const Line* l = find_id(log_, QENAG_TEST_CONSOLE, 302);
        if (l == nullptr || l->text != "Cannot open process directory" || l->sev != 0)
            marks += 10;
        if (find_id(log_, QENAG_TEST_CONSOLE, 4) == nullptr)
            marks += 20;
        return marks;
    });
    if (code == 99)
        GTEST_SKIP() << "seccomp filters are not available here";
    EXPECT_EQ(code, QENAG_UNKNOWN);
}

// A record read that fails: in the cookie check it is message 300 and the
// scan follows; in the scan the entry is skipped, with message 303 unless
// the process merely vanished (ENOENT) or the read would block (EAGAIN).
// Each case runs in a child that fails every read of a whole record.
TEST_F(DataServer, FailedRecordReads)
{
    auto p = server({"-s" + U("SRV1")});
    struct Case {
        int err;
        bool msg303;
    } cases[] = {{EIO, true}, {EACCES, true}, {ENOENT, false}, {EAGAIN, false}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.err);
        plant_cookie(cookie_name(), psinfo_path(p->pid()));
        int code = cycle_with_fault([&] { return fail_reads_of_size(sizeof(psinfo_t), c.err); }, [&] {
            int marks = 0;
            const Line* check = find_id(log_, QENAG_TEST_CONSOLE, 300);
            if (check == nullptr || check->sev != 1 ||
                check->text != "ioctl for process dataserver failed with return code -1" ||
                find_id(log_, QENAG_TEST_AGENT, 300) != nullptr)
                marks += 10;
            const Line* scan = find_id(log_, QENAG_TEST_CONSOLE, 303);
            if (c.msg303) {
                if (scan == nullptr || scan->sev != 1 ||
                    scan->text != "ioctl during scan for process dataserver failed with return "
                                  "code -1, errno = " +
                                      std::to_string(c.err))
                    marks += 20;
            } else if (count_id(log_, 303) != 0) {
                marks += 20;
            }
            return marks;
        });
        if (code == 99)
            GTEST_SKIP() << "seccomp filters are not available here";
        EXPECT_EQ(code, QENAG_OFFLINE);
    }
}

TEST_F(DataServer, OwnerMustResolveToANonRootUid)
{
    struct Case {
        const char* owner;
        int state;
    } cases[] = {{"root", 2}, {"qen_no_such_user", 2}, {" nobody\t", 0}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.owner);
        attrs_.set("Owner", c.owner);
        EXPECT_EQ(run(), c.state);
        const Line* invalid = find_id(log_, QENAG_TEST_CONSOLE, 204);
        if (c.state == 2) {
            ASSERT_NE(invalid, nullptr) << dump(log_);
            EXPECT_EQ(invalid->text, std::string("Invalid owner ") + c.owner +
                                         " for Sybase executables was specified");
            EXPECT_EQ(find_id(log_, QENAG_TEST_AGENT, 204), nullptr);
        } else {
            EXPECT_EQ(invalid, nullptr);
            EXPECT_EQ(attrs_.value_after("Owner"), "nobody");
        }
    }
}

// The attribute checks as the monitor reports them.
TEST_F(DataServer, AttributeChecksReportTheOffendingAttribute)
{
    struct Case {
        const char* what;
        std::vector<std::pair<std::string, std::string>> set;
        std::vector<std::string> drop;
        int id;             // message id expected, 0 for none
        std::string text;   // its text
        int state;
    } cases[] = {
        {"inner blank in Server", {{"Server", "SR V1"}}, {}, 1,
         "Attribute value Server contains spaces. Resource state is UNKNOWN.", 2},
        {"tab in Table", {{"Table", "a\tb"}}, {}, 1,
         "Attribute value Table contains spaces. Resource state is UNKNOWN.", 2},
        {"first offender wins", {{"Db", "a b"}, {"Version", "1 5"}}, {}, 1,
         "Attribute value Version contains spaces. Resource state is UNKNOWN.", 2},
        {"Home of blanks only", {{"Home", "  \t "}}, {}, 2,
         "Attribute Home is not specified. Resource state is UNKNOWN.", 2},
        {"missing Server attribute", {}, {"Server"}, 2,
         "Attribute Server is not specified. Resource state is UNKNOWN.", 2},
        {"empty SA", {{"SA", ""}}, {}, 2,
         "Attribute SA is not specified. Resource state is UNKNOWN.", 2},
        {"passwords keep their blanks", {{"SApswd", " a b "}, {"UPword", " c d "}}, {}, 0, "", 0},
        {"inner blanks in Home are fine", {{"Home", " /opt/my sybase "}}, {}, 0, "", 0},
        {"UPword required with detail monitoring",
         {{"DetailMonitor", "2"}, {"UPword", ""}}, {}, 2,
         "Attribute UPword is not specified. Resource state is UNKNOWN.", 2},
        {"empty User without detail monitoring is fine", {{"User", ""}}, {}, 0, "", 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        SetUp();
        for (const auto& kv : c.set)
            attrs_.set(kv.first, kv.second);
        for (const auto& d : c.drop)
            attrs_.drop(d);
        EXPECT_EQ(run(), c.state) << dump(log_);
        if (c.id == 0) {
            EXPECT_EQ(count_id(log_, 1) + count_id(log_, 2), 0) << dump(log_);
            continue;
        }
        const Line* console = find_id(log_, QENAG_TEST_CONSOLE, c.id);
        const Line* agent = find_id(log_, QENAG_TEST_AGENT, c.id);
        ASSERT_NE(console, nullptr) << dump(log_);
        ASSERT_NE(agent, nullptr);
        EXPECT_EQ(console->text, c.text);
        EXPECT_EQ(agent->text, c.text);
        EXPECT_EQ(console->sev, 1);
        EXPECT_EQ(console->tag, "sybase_monitor");
        EXPECT_EQ(console->file, "Sybase");
    }
    // SApswd and UPword stay as given; trimmed values change in place.
    SetUp();
    attrs_.set("SApswd", " a b ").set("Server", "\t" + U("SRV1") + " ");
    run();
    EXPECT_EQ(attrs_.value_after("SApswd"), " a b ");
    EXPECT_EQ(attrs_.value_after("Server"), U("SRV1"));
}

TEST_F(DataServer, DetailMonitorValueParsing)
{
    struct Case {
        const char* value;
        bool valid;
        const char* shown; // number in message 3
    } cases[] = {
        {" 5", true, ""},
        {"", true, ""},
        {"0", true, ""},
        {"2147483647", true, ""},
        {"5 ", false, "5"},
        {"-1", false, "-1"},
        {"abc", false, "0"},
        {"2147483648", false, "2147483648"},
        {"99999999999999999999", false, "9223372036854775807"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(std::string("|") + c.value + "|");
        attrs_.set("DetailMonitor", c.value);
        int state = run();
        const Line* bad = find_id(log_, QENAG_TEST_AGENT, 3);
        if (c.valid) {
            EXPECT_EQ(state, 0) << dump(log_); // valid, and no server runs
            EXPECT_EQ(bad, nullptr);
        } else {
            EXPECT_EQ(state, 2);
            ASSERT_NE(bad, nullptr) << dump(log_);
            EXPECT_EQ(bad->text, std::string("Incorrect value specified for DetailMonitor (") +
                                     c.shown + "). Resource state is UNKNOWN.");
            EXPECT_EQ(find_id(log_, QENAG_TEST_CONSOLE, 3), nullptr);
        }
    }
    attrs_.drop("DetailMonitor");
    EXPECT_EQ(run(), 2);
    EXPECT_NE(find_id(log_, QENAG_TEST_AGENT, 3), nullptr);
}

// The script must be executable by its owner on every cycle, whatever
// DetailMonitor says; a path that does not fit is rejected, never cut.
TEST_F(DataServer, MonscriptMustBeExecutableByItsOwner)
{
    std::string rel = "./bin/qen_check_" + std::to_string(getpid());
    std::string long_path = dir_.path() + "/" + std::string(1100, 'd') + "/mon.sh";
    struct Case {
        const char* what;
        std::string value;
        mode_t mode; // 0: do not create
        std::string shown;
    } cases[] = {
        {"not executable", dir_.path() + "/plain.sh", 0644, dir_.path() + "/plain.sh"},
        {"executable by others only", dir_.path() + "/others.sh", 0055,
         dir_.path() + "/others.sh"},
        {"missing", dir_.path() + "/none.sh", 0, dir_.path() + "/none.sh"},
        {"empty", "", 0, ""},
        {"relative to the install root", rel, 0, "/opt/ZYLTqenone" + rel.substr(1)},
        {"longer than the path buffer", long_path, 0, long_path},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        if (c.mode != 0)
            dir_.write(c.value.substr(dir_.path().size() + 1), script_body("", 101), c.mode);
        attrs_.set("Monscript", c.value);
        for (int cycle = 0; cycle < 2; ++cycle) {
            EXPECT_EQ(run(), 2);
            const Line* denied = find_id(log_, QENAG_TEST_CONSOLE, 28);
            ASSERT_NE(denied, nullptr) << dump(log_);
            EXPECT_EQ(denied->text, "Access to Monscript '" + c.shown +
                                        "' denied. Detail Monitoring will not be enabled!! "
                                        "Please specify a valid file.");
            EXPECT_NE(find_id(log_, QENAG_TEST_AGENT, 28), nullptr);
        }
    }
}

// Exit codes of the detail script, its output, and a script killed by a
// signal.
TEST_F(DataServer, DetailScriptExitCodes)
{
    auto p = server({"-s" + U("SRV1")});
    attrs_.set("DetailMonitor", "1");
    struct Case {
        int code;
        int state;
        int confidence;
        int user_msg_sev; // -1: no message 8
        bool msg29;
    } cases[] = {
        {0, 2, 0, 4, true},    {99, 2, 0, 4, true},  {100, 0, 0, 3, false},
        {101, 1, 55, -1, false}, {105, 1, 75, -1, false}, {110, 1, 100, -1, false},
        {111, 2, 0, 4, true},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.code);
        script_ = dir_.write("mon.sh", script_body("db says hi", c.code));
        EXPECT_EQ(run(), c.state) << dump(log_);
        EXPECT_EQ(confidence_, c.confidence);
        const Line* user = find_id(log_, QENAG_TEST_AGENT, 8);
        if (c.user_msg_sev < 0) {
            EXPECT_EQ(user, nullptr) << dump(log_);
        } else {
            ASSERT_NE(user, nullptr) << dump(log_);
            EXPECT_EQ(user->text, "User Message: db says hi");
            EXPECT_EQ(user->sev, c.user_msg_sev);
            EXPECT_EQ(find_id(log_, QENAG_TEST_CONSOLE, 8), nullptr);
        }
        const Line* bad = find_id(log_, QENAG_TEST_CONSOLE, 29);
        if (c.msg29) {
            ASSERT_NE(bad, nullptr);
            EXPECT_EQ(bad->text, "Monitor script " + script_ + " exited with a bad exit value (" +
                                     std::to_string(c.code) + "). Agent returning UNKNOWN.");
            EXPECT_NE(find_id(log_, QENAG_TEST_AGENT, 29), nullptr);
        } else {
            EXPECT_EQ(bad, nullptr);
        }
        EXPECT_TRUE(has_debug(log_, "Indepth script exit status was 0:" + std::to_string(c.code)));
    }

    // Killed by a signal: message 9 names the signal.
    dir_.write("mon.sh", "#!/bin/sh\nprintf 'going down'\nkill -KILL $$\n");
    EXPECT_EQ(run(), 2);
    EXPECT_EQ(confidence_, 0);
    const Line* user = find_id(log_, QENAG_TEST_AGENT, 8);
    ASSERT_NE(user, nullptr) << dump(log_);
    EXPECT_EQ(user->sev, 4);
    const Line* died = find_id(log_, QENAG_TEST_AGENT, 9);
    ASSERT_NE(died, nullptr);
    EXPECT_EQ(died->text, "Monitor procedure " + script_ + " did not exit. Return value is " +
                              std::to_string(SIGKILL));
    EXPECT_EQ(find_id(log_, QENAG_TEST_CONSOLE, 9), nullptr);
}

// A script that the framework cannot start: message 23 on both logs,
// unknown with confidence 0.
TEST_F(DataServer, DetailScriptThatCannotBeStarted)
{
    auto p = server({"-s" + U("SRV1")});
    attrs_.set("DetailMonitor", "1");
    dir_.write("mon.sh", "#!/nonexistent/interpreter\nexit 110\n");
    EXPECT_EQ(run(), 2) << dump(log_);
    EXPECT_EQ(confidence_, 0);
    const std::string text = "QENAgExec returned failure when trying to execute indepth test";
    const Line* console = find_id(log_, QENAG_TEST_CONSOLE, 23);
    const Line* agent = find_id(log_, QENAG_TEST_AGENT, 23);
    ASSERT_NE(console, nullptr) << dump(log_);
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(console->text, text);
    EXPECT_EQ(agent->text, text);
    EXPECT_EQ(console->sev, 0);
    EXPECT_EQ(agent->sev, 0);
    EXPECT_EQ(count_id(log_, 9) + count_id(log_, 29), 0);
}

TEST_F(DataServer, DetailScriptGetsItsArgumentVector)
{
    auto p = server({"-s" + U("SRV1")});
    attrs_.set("DetailMonitor", "1").set("SApswd", " s p ");
    std::string args_file = dir_.path() + "/args";
    dir_.write("mon.sh", "#!/bin/sh\nfor a in \"$0\" \"$@\"; do printf '%s|' \"$a\"; done > " +
                             args_file + "\nexit 110\n");
    ASSERT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(confidence_, 100);
    std::ifstream in(args_file);
    std::string got;
    std::getline(in, got);
    EXPECT_EQ(got, script_ + "|" + res_ + "|" + U("SRV1") +
                       "|nobody|/opt/sybase|15.0|sa| s p |probe|pw|master|sysobjects|");
}

TEST_F(DataServer, DetailMonitorZeroRunsNoScript)
{
    auto p = server({"-s" + U("SRV1")});
    std::string marker = dir_.path() + "/ran";
    dir_.write("mon.sh", "#!/bin/sh\ntouch " + marker + "\nexit 110\n");
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(confidence_, 50);
    EXPECT_NE(access(marker.c_str(), F_OK), 0);
    EXPECT_EQ(QENAgGetCookie(("DetailCycle:" + res_).c_str()), nullptr);
}

// n = 3 runs the script on the first online cycle and every third after;
// the counter waits while the server is down and follows a change of n.
TEST_F(DataServer, DetailCycleCounter)
{
    auto p = server({"-s" + U("SRV1")});
    dir_.write("mon.sh", script_body("", 101));
    attrs_.set("DetailMonitor", "3");
    std::vector<int> got;
    for (int i = 0; i < 5; ++i) {
        EXPECT_EQ(run(), 1);
        got.push_back(confidence_);
    }
    EXPECT_EQ(got, (std::vector<int>{55, 50, 50, 55, 50}));
    EXPECT_TRUE(has_debug(log_, "Should I do Detail Monitoring in this monitor cycle? Answer is "
                                "|0| (because monitorCycleNumber is |2|)"));

    // Counter is 2; one more cycle makes it 3, then n becomes 2.
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(confidence_, 50);
    attrs_.set("DetailMonitor", "2");
    got.clear();
    for (int i = 0; i < 3; ++i) {
        run();
        got.push_back(confidence_);
    }
    EXPECT_EQ(got, (std::vector<int>{50, 55, 50}));

    // Down: the counter stays at 2; back up, it moves on to 1 (a run).
    p->kill();
    EXPECT_EQ(run(), 0);
    p = server({"-s" + U("SRV1")});
    EXPECT_EQ(run(), 1);
    EXPECT_EQ(confidence_, 55);
}

// A resource named "dataserver" + another resource's name: its cycle counter
// and the other's process cookie stay apart.
TEST_F(DataServer, CycleCounterAndProcessCookieNeverShareAName)
{
    auto p = server({"-s" + U("SRV1")});
    dir_.write("mon.sh", script_body("", 105));
    std::string plain = res_;
    std::string prefixed = "dataserver" + res_;
    for (int i = 0; i < 3; ++i) {
        attrs_.set("DetailMonitor", "0");
        EXPECT_EQ(run(plain), 1) << dump(log_);
        EXPECT_EQ(confidence_, 50);
        attrs_.set("DetailMonitor", "1");
        EXPECT_EQ(run(prefixed), 1) << dump(log_);
        EXPECT_EQ(confidence_, 75);
        EXPECT_EQ(cookie_text("dataserver" + plain), psinfo_path(p->pid()));
    }
}

// Zones: the owner may exist only inside the zone; processes of other zones
// are not the server.
class ZonedDataServer : public DataServer {
protected:
    void SetUp() override
    {
        DataServer::SetUp();
        zone_owner_ = "z" + std::to_string(getpid());
        zone_.write("usr/bin/id", zone_id_body(zone_owner_, static_cast<int>(kOwnerUid)));
        attrs_.set("Owner", zone_owner_);
        capable_ = 1;
        zone_id_ = 3;
        zone_root_ = zone_.path();
        zone_name_ = "zone3";
    }
    TempDir zone_;
    std::string zone_owner_;
};

TEST_F(ZonedDataServer, OwnerKnownOnlyInTheZoneFindsItsServer)
{
    auto p = server({"-s" + U("SRV1")}, kOwnerUid, {"QEN_ZONEID=3"});
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(confidence_, 50);
    EXPECT_EQ(count_id(log_, 6), 0);
    EXPECT_TRUE(has_debug(log_, "Zone id is 3"));
    EXPECT_EQ(run(), 1); // and through the cookie
}

TEST_F(ZonedDataServer, ServersOfOtherZonesAreSkipped)
{
    auto global = server({"-s" + U("SRV1")});
    auto other = server({"-s" + U("SRV1")}, kOwnerUid, {"QEN_ZONEID=4"});
    EXPECT_EQ(run(), 0) << dump(log_);
    // Remembered in another zone: not taken either.
    plant_cookie(cookie_name(), psinfo_path(other->pid()));
    EXPECT_EQ(run(), 0);
    EXPECT_NE(find_id(log_, QENAG_TEST_CONSOLE, 4), nullptr);
}

TEST_F(ZonedDataServer, GlobalZoneOfAContainerResourceSkipsZonedProcesses)
{
    zone_id_ = 0;
    attrs_.set("Owner", kOwner);
    auto zoned = server({"-s" + U("SRV1")}, kOwnerUid, {"QEN_ZONEID=3"});
    EXPECT_EQ(run(), 0) << dump(log_);
    auto global = server({"-s" + U("SRV1")});
    EXPECT_EQ(run(), 1) << dump(log_);
}

TEST_F(ZonedDataServer, ZoneNotRunningReadsOffline)
{
    zone_id_ = -1;
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(has_debug(log_, "Zone is not running"));
    zone_id_ = 3;
    zone_.write("usr/bin/id", "#!/bin/sh\nexit 0\n"); // prints nothing
    EXPECT_EQ(run(), 0);
    EXPECT_TRUE(has_debug(log_, "Zone is not running"));
}

TEST_F(ZonedDataServer, OwnerUnknownInTheZoneIsInvalid)
{
    attrs_.set("Owner", "nobody");
    EXPECT_EQ(run(), 2);
    EXPECT_NE(find_id(log_, QENAG_TEST_CONSOLE, 204), nullptr);
    EXPECT_NE(find_id(log_, QENAG_TEST_CONSOLE, 65), nullptr);
}

// The owner vanishes from the zone's user database between the monitor's
// resolution and the scan: message 6 for the candidate, then offline.
TEST_F(ZonedDataServer, OwnerLostDuringTheScanSkipsCandidates)
{
    std::string once = zone_.path() + "/answered";
    zone_.write("usr/bin/id", "#!/bin/sh\nif [ -e " + once + " ]; then echo no such user; exit 1; fi\n"
                              "touch " + once + "\necho 'uid=65534(" + zone_owner_ + ")'\n");
    auto p = server({"-s" + U("SRV1")}, kOwnerUid, {"QEN_ZONEID=3"});
    EXPECT_EQ(run(), 0) << dump(log_);
    const Line* missing = find_id(log_, QENAG_TEST_CONSOLE, 6);
    ASSERT_NE(missing, nullptr) << dump(log_);
    EXPECT_EQ(missing->text, "Cannot find matching entry for user " + zone_owner_ +
                                 ", errno = 0, check the Owner attribute of resource " + res_);
    EXPECT_EQ(missing->sev, 1);
    const Line* agent = find_id(log_, QENAG_TEST_AGENT, 6);
    ASSERT_NE(agent, nullptr);
    EXPECT_EQ(agent->sev, 0);
}

TEST_F(ZonedDataServer, DetailScriptRunsInTheZone)
{
    auto p = server({"-s" + U("SRV1")}, kOwnerUid, {"QEN_ZONEID=3"});
    attrs_.set("DetailMonitor", "1");
    dir_.write("mon.sh", script_body("", 101));               // the global zone's copy
    zone_.write(script_.substr(1), script_body("", 110));     // the zone's copy
    EXPECT_EQ(run(), 1) << dump(log_);
    EXPECT_EQ(confidence_, 100);
    EXPECT_TRUE(has_debug(log_, "Passing container_name zone3"));
}

// A monitor cancelled anywhere in a cycle (scan, cookie check, script run)
// leaves no descriptor open; leaks show under the sanitizer build.
struct CancelArgs {
    QENAgTestResource res;
    char** attrs;
    int confidence;
};

void* monitor_thread(void* arg)
{
    auto* a = static_cast<CancelArgs*>(arg);
    pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
    QENAgTestSetResource(&a->res);
    process_monitor(a->res.name.c_str(), a->attrs, &a->confidence);
    QENAgTestSetResource(nullptr);
    pthread_cleanup_pop(0);
    return nullptr;
}

CancelArgs cancel_args(const std::string& res, char** attrs)
{
    CancelArgs a;
    a.res.name = res;
    a.attrs = attrs;
    a.confidence = 0;
    return a;
}

// Runs the monitor on a thread of its own, cancels it after delay (at once
// for 0) and returns what the thread ended with (PTHREAD_CANCELED when the
// cancel took), or nullptr when no thread could be made.
void* run_and_cancel(CancelArgs& args, useconds_t delay)
{
    pthread_t t;
    int made = pthread_create(&t, nullptr, monitor_thread, &args);
    EXPECT_EQ(made, 0);
    if (made != 0)
        return nullptr;
    if (delay > 0)
        usleep(delay);
    return cancel_and_join(t);
}

TEST_F(DataServer, CancelledMidScanLeavesNothingBehind)
{
    // Candidates that pass the owner test, so the scan reads their records.
    std::vector<std::unique_ptr<SpawnedProcess>> crowd;
    for (int i = 0; i < 100; ++i)
        crowd.push_back(server({"-s" + U("CROWD")}));
    attrs_.set("Server", U("NOT_RUNNING"));
    int before = open_fd_count();
    int cancelled = 0;
    for (int i = 0; i < 60; ++i) {
        CancelArgs args = cancel_args(res_, attrs_.build());
        if (run_and_cancel(args, static_cast<useconds_t>(i * 50)) == PTHREAD_CANCELED)
            ++cancelled;
    }
    take_log();
    EXPECT_GT(cancelled, 0);
    EXPECT_EQ(open_fd_count(), before);
    EXPECT_EQ(QENAgGetCookie(cookie_name().c_str()), nullptr);
}

TEST_F(DataServer, CancelledInTheCookieCheckLeavesNothingBehind)
{
    // The cookie names a FIFO: the check's open blocks until cancelled.
    std::string fifo = dir_.path() + "/fifo";
    ASSERT_EQ(mkfifo(fifo.c_str(), 0600), 0);
    plant_cookie(cookie_name(), fifo);
    int before = open_fd_count();
    CancelArgs args = cancel_args(res_, attrs_.build());
    void* ret = run_and_cancel(args, 100000);
    take_log();
    EXPECT_EQ(ret, PTHREAD_CANCELED);
    EXPECT_EQ(open_fd_count(), before);
    // The store still holds (and owns) the cookie.
    EXPECT_EQ(cookie_text(cookie_name()), fifo);
}

TEST_F(DataServer, CancelledDuringTheScriptRunLeavesNothingBehind)
{
    auto p = server({"-s" + U("SRV1")});
    attrs_.set("DetailMonitor", "1");
    dir_.write("mon.sh", "#!/bin/sh\nexec sleep 30\n");
    int before = open_fd_count();
    CancelArgs args = cancel_args(res_, attrs_.build());
    args.res.container_capable = 1; // the container name is held during the run
    args.res.container_name = "global";
    void* ret = run_and_cancel(args, 300000);
    take_log();
    EXPECT_EQ(ret, PTHREAD_CANCELED);
    EXPECT_EQ(open_fd_count(), before);
}

} // namespace
