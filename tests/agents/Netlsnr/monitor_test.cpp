// The monitor entry point: registration, attributes, owner and zone, and the
// listener processes it recognises.
#include <memory>

#include <gtest/gtest.h>

#include "lsnr_test_util.h"
#include "spawn.h"

using namespace lsnrtest;

namespace {

class Monitor : public ::testing::Test {
protected:
    void SetUp() override { QENAgTestTakeLog(); }
};

TEST_F(Monitor, StartupRegistersTheMonitorAndCategory)
{
    QENAgStartup();
    EXPECT_EQ(QENAgTestMonitor(), &netlsnr_monitor);
    EXPECT_EQ(QENAgTestLogCategory(), 20002);
}

struct AttrCase {
    const char* what;
    std::vector<std::pair<std::string, std::string>> attrs;
    int state;
    int msg_id;           // console message expected, -1 none
    const char* msg_text; // its text
};

TEST_F(Monitor, MissingOrInvalidAttributes)
{
    const AttrCase cases[] = {
        {"owner absent", {{"Home", "/h"}}, 2, 202, "No owner for Viruze executables was specified"},
        {"owner of blanks and tabs",
         {{"Owner", " \t "}, {"Home", "/h"}},
         2,
         202,
         "No owner for Viruze executables was specified"},
        {"home absent", {{"Owner", "root"}}, 2, 203, "No VIRUZE_HOME specified"},
        {"home empty", {{"Owner", "root"}, {"Home", ""}}, 2, 203, "No VIRUZE_HOME specified"},
        {"unknown owner",
         {{"Owner", "no-such-user-qen"}, {"Home", "/h"}},
         2,
         204,
         "Invalid owner no-such-user-qen for Viruze executables was specified"},
        {"owner is cut to its first word",
         {{"Owner", " no-such-user-qen root"}, {"Home", "/h"}},
         2,
         204,
         "Invalid owner no-such-user-qen for Viruze executables was specified"},
    };
    for (const AttrCase& c : cases) {
        AttrVec v;
        for (auto& [n, val] : c.attrs)
            v.add(n, val);
        Result r = run_monitor(resource("attrs"), v);
        EXPECT_EQ(r.state, c.state) << c.what;
        EXPECT_EQ(r.confidence, 0) << c.what;
        auto log = take_log();
        auto msgs = with_id(log, c.msg_id);
        ASSERT_EQ(msgs.size(), 1u) << c.what;
        EXPECT_EQ(msgs[0].kind, QENAG_TEST_CONSOLE) << c.what;
        EXPECT_EQ(msgs[0].text, c.msg_text) << c.what;
        EXPECT_NE(msgs[0].line.find(" severity=1 id="), std::string::npos);
        EXPECT_NE(msgs[0].line.find(" tag=netlsnr_monitor file=Netlsnr.sun line="),
                  std::string::npos);
    }
}

TEST_F(Monitor, InvalidOwnerTrace)
{
    AttrVec v;
    v.add("Owner", "no-such-user-qen").add("Home", "/h");
    run_monitor(resource("badowner"), v);
    auto log = take_log();
    EXPECT_TRUE(has_debug(log, "Failure in identifying user credentials. uid=(-1), euid=(-1), ret=(-1)"));
}

TEST_F(Monitor, ZoneNotRunningIsOfflineBeforeTheOwnerIsLookedUp)
{
    QENAgTestResource res = resource("zonedown");
    res.container_capable = 1;
    res.container_id = -1;
    AttrVec v;
    v.add("Owner", "no-such-user-qen").add("Home", "/h");
    Result r = run_monitor(res, v);
    EXPECT_EQ(r.state, 0);
    EXPECT_EQ(r.confidence, 0);
    auto log = take_log();
    EXPECT_TRUE(has_debug(log, "Container id is (-1)"));
    EXPECT_TRUE(has_debug(log, "Zone is not running"));
    for (const Logged& g : log)
        EXPECT_EQ(g.kind, QENAG_TEST_DEBUG) << g.line;
}

// One real process and one resource per case.
struct ProcCase {
    const char* what;
    std::string proc_home;          // the process runs <proc_home>/bin/vuzlsnr
    std::vector<std::string> args;  // after the program
    bool as_nobody;
    int zone;                       // QEN_ZONEID of the process, -1 none
    std::string home_attr;          // Home attribute; "=" means proc_home
    const char* listener_attr;      // nullptr: attribute absent
    const char* owner_attr;
    int res_capable, res_zone;
    int state;
};

TEST_F(Monitor, RecognisesTheListenerProcess)
{
    const std::string h = unique_home("viruze/product/10.2");
    const std::string other = unique_home("other");
    const std::string nobody = getpwuid(nobody_uid()) ? getpwuid(nobody_uid())->pw_name : "nobody";
    const std::vector<std::string> inherit = {"LISTENER", "-inherit"};
    const ProcCase cases[] = {
        {"plain", h, inherit, false, -1, "=", "LISTENER", "root", 0, 0, 1},
        {"home with a trailing slash", h, inherit, false, -1, h + "/", "LISTENER", "root", 0, 0, 1},
        {"home of several words", h, inherit, false, -1, h + " 10g", "LISTENER", "root", 0, 0, 1},
        {"listener in another case", h, inherit, false, -1, "=", "listener", "root", 0, 0, 1},
        {"listener empty: LISTENER", h, inherit, false, -1, "=", "", "root", 0, 0, 1},
        {"listener absent: LISTENER", h, inherit, false, -1, "=", nullptr, "root", 0, 0, 1},
        {"listener LISTENER2 wanted", h, inherit, false, -1, "=", "LISTENER2", "root", 0, 0, 5},
        {"process runs LISTENER2", h, {"LISTENER2", "-inherit"}, false, -1, "=", "LISTENER", "root", 0, 0, 5},
        {"another home", other, inherit, false, -1, h, "LISTENER", "root", 0, 0, 5},
        {"doubled slash in the process's path", h.substr(0, h.rfind('/')) + "//10.2", inherit, false, -1, h, "LISTENER", "root", 0, 0, 5},
        {"another owner's process", h, inherit, true, -1, "=", "LISTENER", "root", 0, 0, 5},
        {"owned by the configured owner", h, inherit, true, -1, "=", "LISTENER", nobody.c_str(), 0, 0, 1},
        {"in the resource's zone", h, inherit, false, 3, "=", "LISTENER", "root", 1, 3, 1},
        {"in another zone", h, inherit, false, 4, "=", "LISTENER", "root", 1, 3, 5},
        {"global-zone process, zoned resource", h, inherit, false, -1, "=", "LISTENER", "root", 1, 3, 5},
        {"resource without container sees every zone", h, inherit, false, 4, "=", "LISTENER", "root", 0, 0, 1},
    };
    int n = 0;
    for (const ProcCase& c : cases) {
        std::vector<std::string> argv = {c.proc_home + "/bin/vuzlsnr"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        std::vector<std::string> env;
        if (c.zone >= 0)
            env.push_back("QEN_ZONEID=" + std::to_string(c.zone));
        SpawnedProcess p(argv, env, c.as_nobody ? nobody_uid() : SpawnedProcess::kSameUid);
        ASSERT_TRUE(p.ok()) << c.what << ": " << p.error();

        QENAgTestResource res = resource("proc" + std::to_string(++n));
        res.container_capable = c.res_capable;
        res.container_id = c.res_zone;
        AttrVec v;
        v.add("Owner", c.owner_attr).add("Home", c.home_attr == "=" ? c.proc_home : c.home_attr);
        if (c.listener_attr)
            v.add("Listener", c.listener_attr);
        Result r = run_monitor(res, v);
        EXPECT_EQ(r.state, c.state) << c.what;
        EXPECT_EQ(r.confidence, c.state == 1 ? 50 : 0) << c.what;
        auto log = take_log();
        if (c.state == 1) {
            auto set = with_id(log, 210);
            ASSERT_EQ(set.size(), 1u) << c.what;
            EXPECT_EQ(set[0].kind, QENAG_TEST_AGENT);
            std::string psargs = argv[0];
            for (size_t i = 1; i < argv.size(); ++i)
                psargs += " " + argv[i];
            EXPECT_EQ(set[0].text, "Setting cookie for proc = " + psargs + ", PID = /proc/" +
                                       std::to_string(p.pid()) + "/psinfo")
                << c.what;
        } else {
            EXPECT_TRUE(has_debug(log, "state is Offline with value as (5)")) << c.what;
        }
    }
}

// pr_psargs holds 79 characters: a listener name past them is not seen.
// pr_psargs keeps 79 bytes; a full one sends the match to the whole argument
// list, for the scan and for the cookie re-check.
TEST_F(Monitor, LongCommandLinesAreMatchedWhole)
{
    std::string home = unique_home("x");
    const std::string cut = home + "/" + std::string(79 - home.size() - strlen("/bin/vuzlsnr "), 'd');
    const std::string deep = home + "/dbhome_production_cluster_01/" + std::string(70, 'p');
    struct {
        const char* what;
        std::string home;
        std::vector<std::string> args;
        const char* listener;
        int state;
    } cases[] = {
        {"listener name past byte 80", cut, {"LISTENER", "-inherit"}, "LISTENER", 1},
        {"program path past byte 80", deep, {"LISTENER", "-inherit"}, "LISTENER", 1},
        {"another listener past byte 80", deep, {"LISTENER2", "-inherit"}, "LISTENER", 5},
        {"longer name cut at byte 79", cut, {"LISTENERX"}, "LISTENER", 5},
    };
    for (auto& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> argv = {c.home + "/bin/vuzlsnr"};
        argv.insert(argv.end(), c.args.begin(), c.args.end());
        SpawnedProcess p(argv);
        ASSERT_TRUE(p.ok()) << p.error();
        AttrVec v;
        v.add("Owner", "root").add("Home", c.home).add("Listener", c.listener);
        const std::string name = std::string("long") + std::to_string(&c - cases);
        EXPECT_EQ(run_monitor(resource(name), v).state, c.state);
        if (c.state == 1) {
            take_log();
            EXPECT_EQ(run_monitor(resource(name), v).state, 1);
            EXPECT_TRUE(with_id(take_log(), 205).empty()) << "the cookie was dropped";
        }
    }
}

// A Home too long for the program path is refused, never cut.
TEST_F(Monitor, HomeTooLongForTheProgramPath)
{
    // <home>/bin/vuzlsnr has 254 characters at most.
    const std::string fits = "/" + std::string(254 - strlen("/bin/vuzlsnr") - 1, 'h');
    const std::string too_long = fits + "h";
    for (const std::string& home : {fits, too_long, too_long + "/"}) {
        AttrVec v;
        v.add("Owner", "root").add("Home", home);
        Result r = run_monitor(resource("longhome"), v);
        auto msgs = with_id(take_log(), 216);
        if (home == fits) {
            EXPECT_EQ(r.state, 5);
            EXPECT_TRUE(msgs.empty());
        } else {
            EXPECT_EQ(r.state, 2) << home.size();
            ASSERT_EQ(msgs.size(), 1u);
            EXPECT_EQ(msgs[0].kind, QENAG_TEST_CONSOLE);
            EXPECT_EQ(msgs[0].text,
                      "Path of the listener program under VIRUZE_HOME " + home + " is too long");
        }
    }
}

} // namespace
