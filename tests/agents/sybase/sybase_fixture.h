// Shared pieces of the Sybase agent tests: attribute vectors, captured log
// lines, server-like processes, monitor scripts and zone roots (in a
// TempDir of temp_dir.h).
#ifndef QEN_TEST_SYBASE_FIXTURE_H
#define QEN_TEST_SYBASE_FIXTURE_H

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <memory>
#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "qenagfw.h"
#include "qenagfw_test.h"
#include "spawn.h"
#include "temp_dir.h"

namespace sybtest {

// The second uid the server processes run as, and its user name.
constexpr uid_t kOwnerUid = 65534;
constexpr const char* kOwner = "nobody";
// Another uid that is not the owner's.
constexpr uid_t kOtherUid = 1;

// The Sybase installation the tests name, and the path of one of its
// server programs.
constexpr const char* kSybaseHome = "/opt/sybase";
inline std::string sybase_program(const std::string& name)
{
    return std::string(kSybaseHome) + "/ASE-15_0/bin/" + name;
}

// A name unique to this test process, so that tests running side by side
// never see each other's servers: U("SRV1") -> "T<pid>SRV1".
inline std::string U(const std::string& name)
{
    return "T" + std::to_string(getpid()) + name;
}

// An attribute vector: (name, values) groups, writable value strings.
class AttrVec {
public:
    AttrVec& set(const std::string& name, std::vector<std::string> values)
    {
        for (auto& g : groups_)
            if (g.first == name) {
                g.second = std::move(values);
                return *this;
            }
        groups_.emplace_back(name, std::move(values));
        return *this;
    }
    AttrVec& set(const std::string& name, const std::string& value) { return set(name, std::vector<std::string>{value}); }
    AttrVec& drop(const std::string& name)
    {
        for (size_t i = 0; i < groups_.size(); ++i)
            if (groups_[i].first == name)
                groups_.erase(groups_.begin() + static_cast<long>(i));
        return *this;
    }
    // A fresh vector, as the framework builds one for every call.
    char** build()
    {
        strings_.clear();
        ptrs_.clear();
        for (auto& g : groups_) {
            strings_.push_back(g.first);
            strings_.push_back(std::to_string(g.second.size()));
            for (auto& v : g.second)
                strings_.push_back(v);
        }
        for (auto& s : strings_)
            ptrs_.push_back(s.data());
        ptrs_.push_back(nullptr);
        return ptrs_.data();
    }
    // The value as the monitor left it in the last built vector.
    std::string value_after(const std::string& name) const
    {
        for (size_t i = 0; i + 1 < ptrs_.size(); ++i)
            if (ptrs_[i] && name == ptrs_[i])
                return ptrs_[i + 2];
        return "?";
    }

private:
    std::vector<std::pair<std::string, std::vector<std::string>>> groups_;
    std::vector<std::string> strings_;
    std::vector<char*> ptrs_;
};

// One captured log line.
struct Line {
    int kind = 0;      // QENAG_TEST_AGENT, _CONSOLE or _DEBUG
    int sev = -1;      // severity, or debug level
    int id = -1;       // message id (-1 on the debug log)
    std::string tag, file, text, raw;
};

inline int field_int(const std::string& raw, const char* key)
{
    size_t at = raw.find(key);
    return at == std::string::npos ? -1 : atoi(raw.c_str() + at + strlen(key));
}

inline std::string field_word(const std::string& raw, const char* key)
{
    size_t at = raw.find(key);
    if (at == std::string::npos)
        return "";
    at += strlen(key);
    return raw.substr(at, raw.find(' ', at) - at);
}

inline std::vector<Line> take_log()
{
    std::vector<Line> out;
    for (const QENAgTestLine& l : QENAgTestTakeLog()) {
        Line line;
        line.kind = l.kind;
        line.raw = l.text;
        line.sev = field_int(l.text, l.kind == QENAG_TEST_DEBUG ? " level=" : " severity=");
        if (l.kind != QENAG_TEST_DEBUG)
            line.id = field_int(l.text, " id=");
        line.tag = field_word(l.text, " tag=");
        line.file = field_word(l.text, " file=");
        size_t colon = l.text.find(": ", l.text.find(" line="));
        line.text = colon == std::string::npos ? "" : l.text.substr(colon + 2);
        out.push_back(line);
    }
    return out;
}

inline const Line* find_id(const std::vector<Line>& log, int kind, int id)
{
    for (const Line& l : log)
        if (l.kind == kind && l.id == id)
            return &l;
    return nullptr;
}

inline int count_id(const std::vector<Line>& log, int id)
{
    int n = 0;
    for (const Line& l : log)
        if (l.id == id)
            ++n;
    return n;
}

inline bool has_debug(const std::vector<Line>& log, const std::string& text)
{
    for (const Line& l : log)
        if (l.kind == QENAG_TEST_DEBUG && l.text == text)
            return true;
    return false;
}

inline std::string dump(const std::vector<Line>& log)
{
    std::string s;
    for (const Line& l : log)
        s += l.raw + "\n";
    return s;
}

// A shell script that prints out and exits with code.
inline std::string script_body(const std::string& out, int code)
{
    std::string body = "#!/bin/sh\n";
    if (!out.empty())
        body += "printf '%s' '" + out + "'\n";
    body += "exit " + std::to_string(code) + "\n";
    return body;
}

// A fake /usr/bin/id for a zone: answers for one user with uid, else fails.
inline std::string zone_id_body(const std::string& user, int uid)
{
    return "#!/bin/sh\n"
           "if [ \"$1\" = '" + user + "' ]; then echo 'uid=" + std::to_string(uid) + "(" + user +
           ") gid=" + std::to_string(uid) + "(other)'; exit 0; fi\n"
           "echo \"id: $1: no such user\"; exit 1\n";
}

// Makes this thread act for a resource (reset in the destructor).
class ActAs {
public:
    explicit ActAs(const std::string& name, int capable = 0, int id = 0,
                   const std::string& root = "", const std::string& zone_name = "")
    {
        QENAgTestResource r;
        r.name = name;
        r.container_capable = capable;
        r.container_id = id;
        r.container_root = root;
        r.container_name = zone_name;
        QENAgTestSetResource(&r);
    }
    ~ActAs() { QENAgTestSetResource(nullptr); }
};

// Plants a process cookie naming path, as an earlier cycle would have.
inline void plant_cookie(const std::string& cookie_name, const std::string& path)
{
    char* value = static_cast<char*>(calloc(1026, 1));
    strncpy(value, path.c_str(), 1025);
    void* old = QENAgGetCookie(cookie_name.c_str());
    QENAgSetCookie(cookie_name.c_str(), value);
    free(old);
}

inline std::string cookie_text(const std::string& cookie_name)
{
    const char* v = static_cast<const char*>(QENAgGetCookie(cookie_name.c_str()));
    return v ? v : "";
}

inline std::string psinfo_path(pid_t pid)
{
    return "/proc/" + std::to_string(pid) + "/psinfo";
}

// Base of the monitor fixtures: one cycle of the agent's monitor for a
// resource acted for on this thread, and server-like processes of the
// agent's program.
class MonitorTest : public ::testing::Test {
protected:
    MonitorTest(QENAgMonitorFn monitor, std::string program)
        : monitor_(monitor), program_(std::move(program))
    {
    }

    // A fresh log and this test's resource name.
    void SetUp() override
    {
        take_log();
        res_ = U(::testing::UnitTest::GetInstance()->current_test_info()->name());
    }

    // One monitor cycle for resource res (default: this test's resource).
    int run(const std::string& res = "")
    {
        const std::string& name = res.empty() ? res_ : res;
        ActAs as(name, capable_, zone_id_, zone_root_, zone_name_);
        confidence_ = -1;
        int state = monitor_(name.c_str(), attrs_.build(), &confidence_);
        log_ = take_log();
        return state;
    }

    // The installation's attributes, as both agents take them: its owner,
    // home and release.
    AttrVec& set_installation()
    {
        return attrs_.set("Owner", kOwner).set("Home", kSybaseHome).set("Version", "15.0");
    }

    // The agent's program started with args (after its path).
    std::unique_ptr<SpawnedProcess> server(const std::vector<std::string>& args,
                                           uid_t uid = kOwnerUid,
                                           std::vector<std::string> env = {})
    {
        std::vector<std::string> argv = {program_};
        argv.insert(argv.end(), args.begin(), args.end());
        auto p = std::make_unique<SpawnedProcess>(argv, env, uid);
        EXPECT_TRUE(p->ok()) << p->error();
        return p;
    }

    QENAgMonitorFn monitor_;
    std::string program_;
    std::string res_;
    AttrVec attrs_;
    int confidence_ = -1;
    std::vector<Line> log_;
    int capable_ = 0;
    int zone_id_ = 0;
    std::string zone_root_;
    std::string zone_name_;
};

} // namespace sybtest

#endif
