// Shared pieces of the listener agent's tests: attribute vectors, calling
// the monitor as a resource, reading the logged lines, temporary homes.
#ifndef QEN_LSNR_TEST_UTIL_H
#define QEN_LSNR_TEST_UTIL_H

#include <pwd.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>
#include <utility>
#include <vector>

#include <gtest/gtest.h>

#include "Netlsnr.h"
#include "qenagfw_test.h"
#include "temp_dir.h"

namespace lsnrtest {

// An attribute vector with writable values: {name, {values...}} groups.
class AttrVec {
public:
    AttrVec& add(const std::string& name, std::vector<std::string> values)
    {
        groups_.emplace_back(name, std::move(values));
        return *this;
    }
    AttrVec& add(const std::string& name, const std::string& value) { return add(name, std::vector<std::string>{value}); }
    char** get()
    {
        strings_.clear();
        for (auto& [name, values] : groups_) {
            strings_.push_back(name);
            strings_.push_back(std::to_string(values.size()));
            for (auto& v : values)
                strings_.push_back(v);
        }
        ptrs_.clear();
        for (auto& s : strings_)
            ptrs_.push_back(s.data());
        ptrs_.push_back(nullptr);
        return ptrs_.data();
    }

private:
    std::vector<std::pair<std::string, std::vector<std::string>>> groups_;
    std::vector<std::string> strings_;
    std::vector<char*> ptrs_;
};

struct Result {
    int state;
    int confidence;
};

// One monitor cycle on this thread, acting for the resource.
inline Result run_monitor(const QENAgTestResource& res, AttrVec& attrs)
{
    QENAgTestSetResource(&res);
    int confidence = -7;
    int state = netlsnr_monitor(res.name.c_str(), attrs.get(), &confidence);
    QENAgTestSetResource(nullptr);
    return {state, confidence};
}

inline QENAgTestResource resource(const std::string& name)
{
    QENAgTestResource r;
    r.name = name;
    return r;
}

// A logged line split into its kind, message id (-1 for debug) and text.
struct Logged {
    int kind;
    int id;
    std::string text;
    std::string line;
};

inline std::vector<Logged> take_log()
{
    std::vector<Logged> out;
    for (const QENAgTestLine& l : QENAgTestTakeLog()) {
        Logged g{l.kind, -1, l.text, l.text};
        size_t id = l.text.find(" id=");
        if (l.kind != QENAG_TEST_DEBUG && id != std::string::npos)
            g.id = atoi(l.text.c_str() + id + 4);
        size_t colon = l.text.find(": ", l.text.find(" line="));
        if (colon != std::string::npos)
            g.text = l.text.substr(colon + 2);
        out.push_back(g);
    }
    return out;
}

// Messages (agent log or console) with the given id.
inline std::vector<Logged> with_id(const std::vector<Logged>& log, int id)
{
    std::vector<Logged> out;
    for (const Logged& g : log)
        if (g.id == id)
            out.push_back(g);
    return out;
}

inline bool has_debug(const std::vector<Logged>& log, const std::string& text)
{
    for (const Logged& g : log)
        if (g.kind == QENAG_TEST_DEBUG && g.text == text)
            return true;
    return false;
}

// A Home path of its own for each test, so that listeners of tests running at
// the same time never meet; it need not exist.
inline std::string unique_home(const std::string& tag)
{
    static int counter = 0;
    return "/tmp/qenvz" + std::to_string(getpid()) + "-" + std::to_string(++counter) + "/" + tag;
}

inline uid_t nobody_uid()
{
    struct passwd* pw = getpwnam("nobody");
    return pw ? pw->pw_uid : static_cast<uid_t>(65534);
}

} // namespace lsnrtest

#endif
