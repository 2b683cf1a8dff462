// The detail monitor: the script's path, its arguments and the mapping of
// its exit code.
#include <dirent.h>
#include <pthread.h>
#include <sys/stat.h>

#include <fstream>
#include <sstream>

#include <gtest/gtest.h>

#include "cancel_check.h"
#include "lsnr_test_util.h"
#include "spawn.h"
#include "text_file.h"

using namespace lsnrtest;

namespace {

void write_script(const std::string& path, const std::string& body, mode_t mode = 0755)
{
    std::ofstream(path) << body;
    ASSERT_EQ(chmod(path.c_str(), mode), 0) << path;
}

LsnrAttrs attrs_for(const char* script)
{
    LsnrAttrs a{};
    a.owner = "root";
    a.home = "/h";
    a.tns_admin = "";
    a.listener = "LISTENER";
    a.mon_script = script;
    a.env_file = "";
    a.lsnr_pwd = "";
    return a;
}

struct Expected {
    int id;
    int kind;
    std::string text;
};

struct ExitCase {
    const char* what;
    std::string body; // after the #! line
    int state;
    int confidence;
    std::vector<Expected> msgs; // every agent-log and console message, in order
};

class Detail : public ::testing::Test {
protected:
    void SetUp() override { QENAgTestTakeLog(); }
    TempDir dir;
};

TEST_F(Detail, ExitCodes)
{
    const std::string s = dir.path() + "/check.sh";
    auto out211 = [&](int kind, const std::string& out) {
        return Expected{211, kind, "Monitor procedure " + s + " returned the output: " + out};
    };
    auto status212 = [&](int code) {
        return Expected{212, QENAG_TEST_AGENT,
                        "Monitor procedure " + s + " returned the status: " + std::to_string(code)};
    };
    const ExitCase cases[] = {
        {"99 with output", "printf 'busy'; exit 99", 2, 50, {out211(QENAG_TEST_AGENT, "busy")}},
        {"99 silent", "exit 99", 2, 50, {}},
        {"100 with output", "printf 'down'; exit 100", 0, 0, {out211(QENAG_TEST_CONSOLE, "down")}},
        {"101", "printf 'x'; exit 101", 1, 55, {}},
        {"105 output not logged", "echo fine; exit 105", 1, 75, {}},
        {"109", "exit 109", 1, 95, {}},
        {"110", "echo ok; exit 110", 1, 100, {}},
        {"0 with output", "printf 'what'; exit 0", 2, 0,
         {out211(QENAG_TEST_CONSOLE, "what"), status212(0)}},
        {"111", "exit 111", 2, 0, {status212(111)}},
        {"98", "exit 98", 2, 0, {status212(98)}},
        {"stderr is output too", "printf 'err' >&2; exit 100", 0, 0,
         {out211(QENAG_TEST_CONSOLE, "err")}},
        {"killed by a signal", "printf 'dying'; kill -KILL $$", 2, 0,
         {out211(QENAG_TEST_AGENT, "dying"),
          {213, QENAG_TEST_AGENT, "Monitor procedure " + s + " did not exit. Return value is  0"}}},
        {"killed silently", "kill -TERM $$", 2, 0,
         {{213, QENAG_TEST_AGENT, "Monitor procedure " + s + " did not exit. Return value is  0"}}},
    };
    for (const ExitCase& c : cases) {
        write_script(s, "#!/bin/sh\n" + c.body + "\n");
        LsnrAttrs a = attrs_for(s.c_str());
        int confidence = 50;
        EXPECT_EQ(LsnrDetailMonitor("res", &a, &confidence), c.state) << c.what;
        EXPECT_EQ(confidence, c.confidence) << c.what;
        std::vector<Logged> msgs;
        for (const Logged& g : take_log())
            if (g.kind != QENAG_TEST_DEBUG)
                msgs.push_back(g);
        ASSERT_EQ(msgs.size(), c.msgs.size()) << c.what;
        for (size_t i = 0; i < msgs.size(); ++i) {
            EXPECT_EQ(msgs[i].id, c.msgs[i].id) << c.what;
            EXPECT_EQ(msgs[i].kind, c.msgs[i].kind) << c.what;
            EXPECT_EQ(msgs[i].text, c.msgs[i].text) << c.what;
            EXPECT_NE(msgs[i].line.find(" severity=4 "), std::string::npos) << c.what;
        }
    }
}

TEST_F(Detail, ProgramThatCannotBeStarted)
{
    const std::string s = dir.path() + "/noexec.sh";
    write_script(s, "#!/nonexistent/interpreter\nexit 110\n");
    LsnrAttrs a = attrs_for(s.c_str());
    int confidence = 50;
    EXPECT_EQ(LsnrDetailMonitor("res", &a, &confidence), 2);
    EXPECT_EQ(confidence, 0);
    auto msgs = with_id(take_log(), 214);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_EQ(msgs[0].kind, QENAG_TEST_AGENT);
    EXPECT_EQ(msgs[0].text,
              "QENAgExec returned failure when trying to execute in-depth monitor test");
}

// A script that is missing or not executable by its owner leaves the
// listener online at 50, with message 215 naming the resolved path.
TEST_F(Detail, ScriptDenied)
{
    const std::string missing = dir.path() + "/missing.sh";
    const std::string plain = dir.path() + "/plain.sh";
    const std::string group_only = dir.path() + "/group.sh";
    write_script(plain, "#!/bin/sh\nexit 110\n", 0644);
    write_script(group_only, "#!/bin/sh\nexit 110\n", 0655);
    const std::string rel = "./bin/qen-missing-" + std::to_string(getpid());
    const std::pair<std::string, std::string> cases[] = {
        {missing, missing},
        {plain, plain},
        {group_only, group_only},
        {rel, "/opt/ZYLTagents/ha" + rel.substr(1)},
        // other relative paths are used as they are
        {rel.substr(2), rel.substr(2)},
        {"../qen-missing-" + std::to_string(getpid()), "../qen-missing-" + std::to_string(getpid())},
    };
    for (const auto& [script, path] : cases) {
        LsnrAttrs a = attrs_for(script.c_str());
        int confidence = 50;
        EXPECT_EQ(LsnrDetailMonitor("res", &a, &confidence), 1) << script;
        EXPECT_EQ(confidence, 50) << script;
        auto log = take_log();
        auto msgs = with_id(log, 215);
        ASSERT_EQ(msgs.size(), 1u) << script;
        EXPECT_EQ(msgs[0].kind, QENAG_TEST_CONSOLE);
        EXPECT_EQ(msgs[0].text, "Access to Monscript " + path +
                                    " denied. Detail Monitoring will not  be enabled!! Please "
                                    "specify a valid file.");
        EXPECT_NE(msgs[0].line.find(" severity=4 "), std::string::npos);
    }
}

// A MonScript longer than the path buffer is refused whole; the script that
// its first 1025 characters name never runs.
TEST_F(Detail, OverlongScriptPathIsNotCut)
{
    std::string path = dir.path();
    while (path.size() + 201 < 1025 - 10) {
        path += "/" + std::string(200, 'd');
        ASSERT_EQ(mkdir(path.c_str(), 0755), 0);
    }
    path += "/" + std::string(1025 - path.size() - 1, 's');
    ASSERT_EQ(path.size(), 1025u);
    const std::string marker = dir.path() + "/ran";
    write_script(path, "#!/bin/sh\ntouch '" + marker + "'\nexit 110\n");

    const std::string longer = path + "-more";
    LsnrAttrs a = attrs_for(longer.c_str());
    int confidence = 50;
    EXPECT_EQ(LsnrDetailMonitor("res", &a, &confidence), 1);
    EXPECT_EQ(confidence, 50);
    auto msgs = with_id(take_log(), 215);
    ASSERT_EQ(msgs.size(), 1u);
    EXPECT_NE(msgs[0].text.find(longer), std::string::npos);
    EXPECT_NE(access(marker.c_str(), F_OK), 0) << "the cut path was run";

    // exactly 1025 characters fit
    a = attrs_for(path.c_str());
    EXPECT_EQ(LsnrDetailMonitor("res", &a, &confidence), 1);
    EXPECT_EQ(confidence, 100);
    EXPECT_EQ(access(marker.c_str(), F_OK), 0);
}

// Through the monitor: the script gets the normalised attributes, in order,
// with empty texts for absent ones so that later arguments keep their place.
TEST_F(Detail, ArgumentsFromTheMonitor)
{
    const std::string home = unique_home("h");
    SpawnedProcess p({home + "/bin/vuzlsnr", "LISTENER", "-inherit"});
    ASSERT_TRUE(p.ok()) << p.error();
    const std::string s = dir.path() + "/args.sh";
    const std::string out = dir.path() + "/args";
    write_script(s, "#!/bin/sh\n{ echo \"$#\"; for a in \"$0\" \"$@\"; do echo \"[$a]\"; done; } > '" +
                        out + "'\nexit 104\n");

    struct ArgCase {
        const char* what;
        std::vector<std::pair<std::string, std::string>> extra;
        std::vector<std::string> expected; // after path and resource name
    };
    const ArgCase cases[] = {
        {"every attribute",
         {{"TnsAdmin", " /tns  x"}, {"Listener", "listener extra"}, {"EnvFile", "/env x"},
          {"LsnrPwd", "secret x"}, {"AgentDebug", "1 2"}, {"Encoding", " UTF8 x"}},
         {"root", home, "/tns", "listener", "/env", s, "secret", "1 2", " UTF8 x"}},
        {"AgentDebug absent, Encoding present",
         {{"Encoding", "UTF8"}},
         {"root", home, "", "LISTENER", "", s, "", "", "UTF8"}},
        {"optional attributes empty",
         {{"TnsAdmin", ""}, {"Listener", " "}, {"EnvFile", ""}, {"LsnrPwd", ""}, {"AgentDebug", ""}},
         {"root", home, "", "LISTENER", "", s, "", "", ""}},
    };
    int n = 0;
    for (const ArgCase& c : cases) {
        AttrVec v;
        v.add("Owner", "root x").add("Home", home + " 10g").add("MonScript", s + " ignored");
        for (auto& [name, value] : c.extra)
            v.add(name, value);
        unlink(out.c_str());
        const std::string res = "args" + std::to_string(++n);
        Result r = run_monitor(resource(res), v);
        EXPECT_EQ(r.state, 1) << c.what;
        EXPECT_EQ(r.confidence, 70) << c.what;
        std::string want = "10\n[" + s + "]\n[" + res + "]\n";
        for (const std::string& e : c.expected)
            want += "[" + e + "]\n";
        EXPECT_EQ(read_file(out), want) << c.what;
    }
}

struct CancelRun {
    QENAgTestResource res;
    AttrVec* attrs;
};

void* monitor_thread(void* arg)
{
    auto* run = static_cast<CancelRun*>(arg);
    void* result = nullptr;
    pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
    run_monitor(run->res, *run->attrs);
    pthread_cleanup_pop(0);
    return result;
}

// A monitor cancelled while its script runs releases what it holds (the
// argument vector, descriptors; the sanitizer build checks for leaks) and
// leaves no script behind.
TEST_F(Detail, CancelledWhileTheScriptRuns)
{
    const std::string home = unique_home("h");
    SpawnedProcess p({home + "/bin/vuzlsnr", "LISTENER"});
    ASSERT_TRUE(p.ok()) << p.error();
    const std::string s = dir.path() + "/slow.sh";
    const std::string started = dir.path() + "/started";
    write_script(s, "#!/bin/sh\necho $$ > '" + started + ".tmp'; mv '" + started + ".tmp' '" +
                        started + "'\nexec sleep 120\n");
    AttrVec v;
    v.add("Owner", "root").add("Home", home).add("MonScript", s);
    CancelRun run{resource("cancel"), &v};
    const int fds_before = open_fd_count();

    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, monitor_thread, &run), 0);
    for (int i = 0; i < 3000 && access(started.c_str(), F_OK) != 0; ++i)
        usleep(10000);
    ASSERT_EQ(access(started.c_str(), F_OK), 0) << "the script never started";
    const pid_t script = atoi(read_file(started).c_str());
    EXPECT_EQ(cancel_and_join(t), PTHREAD_CANCELED);
    EXPECT_EQ(open_fd_count(), fds_before);
    EXPECT_NE(kill(script, 0), 0) << "the script outlived the cancelled monitor";
    QENAgTestTakeLog();
}

} // namespace
