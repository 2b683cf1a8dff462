// The monitor's owner check against answers of QENAgGetUID that the real
// user database cannot give: this program's own QENAgGetUID stands in front
// of the framework's and, when told to, answers as set here.
#include <dlfcn.h>

#include <gtest/gtest.h>

#include "lsnr_test_util.h"

using namespace lsnrtest;

namespace {

struct Answer {
    bool active = false;
    int ret = 0;
    int uid = -1; // -1: leave *uid as the caller preset it
    int euid = -1;
};
Answer g_answer;

} // namespace

extern "C" int QENAgGetUID(const char* user, int* uid, int* euid, int* other)
{
    if (!g_answer.active) {
        using Fn = int (*)(const char*, int*, int*, int*);
        static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "QENAgGetUID"));
        return real(user, uid, euid, other);
    }
    if (g_answer.uid != -1)
        *uid = g_answer.uid;
    if (g_answer.euid != -1)
        *euid = g_answer.euid;
    return g_answer.ret;
}

namespace {

// An answer that does not give a uid is an invalid owner, whatever the
// call's result says.
TEST(MonitorOwner, AnswersWithoutAUidAreAnInvalidOwner)
{
    struct Case {
        const char* what;
        Answer answer;
        std::string trace;
    } cases[] = {
        {"result 0, uid left at -1", {true, 0, -1, -1},
         "Failure in identifying user credentials. uid=(-1), euid=(-1), ret=(0)"},
        {"result 0, euid only", {true, 0, -1, 7},
         "Failure in identifying user credentials. uid=(-1), euid=(7), ret=(0)"},
        {"failure with a uid", {true, -1, 5, 5},
         "Failure in identifying user credentials. uid=(5), euid=(5), ret=(-1)"},
    };
    QENAgTestTakeLog();
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        g_answer = c.answer;
        AttrVec v;
        v.add("Owner", "someone").add("Home", "/h");
        Result r = run_monitor(resource("getuid"), v);
        g_answer = Answer{};
        EXPECT_EQ(r.state, 2);
        EXPECT_EQ(r.confidence, 0);
        auto log = take_log();
        auto msgs = with_id(log, 204);
        ASSERT_EQ(msgs.size(), 1u);
        EXPECT_EQ(msgs[0].kind, QENAG_TEST_CONSOLE);
        EXPECT_EQ(msgs[0].text, "Invalid owner someone for Viruze executables was specified");
        EXPECT_TRUE(has_debug(log, c.trace));
    }
}

} // namespace
