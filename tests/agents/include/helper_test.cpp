// Attribute-vector lookups, their error texts, first word, chomp and the
// cleanup routines.
#include <dirent.h>
#include <pthread.h>
#include <string.h>
#include <unistd.h>

#include <algorithm>

#include <string>
#include <vector>

#include <gtest/gtest.h>

#include "QENAgHelper.h"
#include "cancel_check.h"
#include "qenagfw_test.h"

namespace {

// An attribute vector built from literals, with writable strings.
class Vec {
public:
    explicit Vec(std::vector<const char*> items)
    {
        for (const char* s : items)
            strings_.push_back(s ? std::string(s) : std::string());
        for (size_t i = 0; i < items.size(); ++i)
            ptrs_.push_back(items[i] ? strings_[i].data() : nullptr);
        ptrs_.push_back(nullptr);
    }
    char** get() { return ptrs_.data(); }

private:
    std::vector<std::string> strings_;
    std::vector<char*> ptrs_;
};

std::vector<std::string> debug_texts()
{
    std::vector<std::string> out;
    for (const QENAgTestLine& l : QENAgTestTakeLog()) {
        EXPECT_EQ(l.kind, QENAG_TEST_DEBUG);
        EXPECT_NE(l.text.find(" level=0 tag=qenag_print_error file=QENAgHelper.h line="),
                  std::string::npos)
            << l.text;
        size_t colon = l.text.find(": ");
        out.push_back(colon == std::string::npos ? l.text : l.text.substr(colon + 2));
    }
    return out;
}

class Helpers : public ::testing::Test {
protected:
    void SetUp() override { QENAgTestTakeLog(); }
};

struct LookupCase {
    const char* what;
    std::vector<const char*> vec; // NULL entries end the vector early
    const char* name;
    int element;
    int expect_rc;
    const char* expect_value; // on success
    const char* expect_log;   // on failure
};

TEST_F(Helpers, LookupTable)
{
    const std::vector<LookupCase> cases = {
        {"first group, element 1", {"Server", "1", "SRV1", "Owner", "1", "sybase"}, "Server", 1, 0,
         "SRV1", nullptr},
        {"later group", {"Server", "1", "SRV1", "Owner", "1", "sybase"}, "Owner", 1, 0, "sybase",
         nullptr},
        {"second element", {"Ports", "2", "a", "b"}, "Ports", 2, 0, "b", nullptr},
        {"element 0 gives the count text", {"Ports", "2", "a", "b"}, "Ports", 0, 0, "2", nullptr},
        {"negative element gives the count text", {"Ports", "2", "a", "b"}, "Ports", -3, 0, "2",
         nullptr},
        {"missing attribute", {"Server", "1", "SRV1"}, "Owner", 1, 3, nullptr,
         "Attribute Owner not found in the argument list."},
        {"count 0, element 1", {"Home", "0", "Owner", "1", "u"}, "Home", 1, 5, nullptr,
         "Attribute:Home:Index 1 is not valid. Total number of elements is 0."},
        {"count 0, element 0", {"Home", "0", "Owner", "1", "u"}, "Home", 0, 0, "0", nullptr},
        {"count 0 group is stepped over", {"Home", "0", "Owner", "1", "u"}, "Owner", 1, 0, "u",
         nullptr},
        {"count x: no values, next group right after", {"A", "x", "B", "1", "v"}, "B", 1, 0, "v",
         nullptr},
        {"count x: element 1 is above the count", {"A", "x", "B", "1", "v"}, "A", 1, 5, nullptr,
         "Attribute:A:Index 1 is not valid. Total number of elements is x."},
        {"fewer values than the count", {"A", "2", "only"}, "A", 2, 4, nullptr,
         "Attribute:A:Argument list is not valid."},
        {"fewer values, scanning past", {"A", "2", "only"}, "B", 1, 4, nullptr,
         "Attribute:B:Argument list is not valid."},
        {"vector ends at a count", {"A"}, "B", 1, 4, nullptr,
         "Attribute:B:Argument list is not valid."},
        {"element above the count", {"A", "1", "v"}, "A", 2, 5, nullptr,
         "Attribute:A:Index 2 is not valid. Total number of elements is 1."},
        {"percent-d in the name is logged letter for letter", {"A", "1", "v"}, "x%dy%s", 1, 3,
         nullptr, "Attribute x%dy%s not found in the argument list."},
        {"negative count does not loop", {"A", "-2", "B", "1", "v"}, "B", 1, 4, nullptr,
         "Attribute:B:Argument list is not valid."},
    };
    for (const LookupCase& c : cases) {
        SCOPED_TRACE(c.what);
        Vec v(c.vec);
        char* value = nullptr;
        int index = -1;
        EXPECT_EQ(qenag_get_attr_value(v.get(), c.name, &value, index, c.element), c.expect_rc);
        std::vector<std::string> logged = debug_texts();
        if (c.expect_rc == 0) {
            ASSERT_NE(value, nullptr);
            EXPECT_STREQ(value, c.expect_value);
            EXPECT_TRUE(logged.empty());
        } else {
            EXPECT_EQ(value, nullptr);
            ASSERT_EQ(logged.size(), 1u);
            EXPECT_EQ(logged[0], c.expect_log);
        }
    }
}

TEST_F(Helpers, NullArguments)
{
    Vec v({"A", "1", "v"});
    char* value = nullptr;
    int index = -1;
    EXPECT_EQ(qenag_get_attr_value(v.get(), nullptr, &value, index, 1), 1);
    EXPECT_EQ(qenag_get_attr_value(nullptr, "A", &value, index, 1), 2);
    EXPECT_EQ(qenag_get_attr_value(v.get(), "A", nullptr, index, 1), 7);
    EXPECT_EQ(debug_texts(), (std::vector<std::string>{
                                 "Attribute argument is pointing to NULL.",
                                 "Attribute:A:Argument list is pointing to NULL.",
                                 "Value argument is pointing to NULL.",
                             }));
}

TEST_F(Helpers, PrintErrorTexts)
{
    char count[] = "7%n";
    EXPECT_EQ(qenag_print_error(0, "A", nullptr, -1), 0);
    EXPECT_EQ(qenag_print_error(6, "A%s", count, -1), 6);
    EXPECT_EQ(qenag_print_error(5, "%d", count, 9), 5);
    EXPECT_EQ(qenag_print_error(42, nullptr, nullptr, -1), 42);
    EXPECT_EQ(debug_texts(), (std::vector<std::string>{
                                 "Attribute:A%s:Number of elements 7%n is not a number.",
                                 "Attribute:%d:Index 9 is not valid. Total number of elements is 7%n.",
                                 "Unknown error id:42.",
                             }));
}

TEST_F(Helpers, LongTextIsCutAt1023)
{
    std::string name(2000, 'n');
    EXPECT_EQ(qenag_print_error(3, name.c_str(), nullptr, -1), 3);
    std::vector<std::string> logged = debug_texts();
    ASSERT_EQ(logged.size(), 1u);
    EXPECT_EQ(logged[0].size(), 1023u);
    EXPECT_EQ(logged[0], ("Attribute " + name).substr(0, 1023));
}

TEST_F(Helpers, HintMatchesWithoutScanning)
{
    // The hint points at a group the scan could not reach (the group before
    // it is broken): only a match at the hint can find it.
    Vec v({"A", "1", "a", "B", "1", "b"});
    int index = -1;
    char* value = nullptr;
    ASSERT_EQ(qenag_get_attr_value(v.get(), "B", &value, index, 1), 0);
    EXPECT_EQ(index, 3);
    v.get()[1][0] = '5'; // A now claims five values, running off the end
    value = nullptr;
    EXPECT_EQ(qenag_get_attr_value(v.get(), "B", &value, index, 1), 0);
    EXPECT_STREQ(value, "b");
    EXPECT_EQ(index, 3);
    EXPECT_TRUE(debug_texts().empty());
}

TEST_F(Helpers, WrongHintScansFromTheStart)
{
    Vec v({"A", "1", "a", "B", "1", "b", "C", "1", "c"});
    int index = 6; // left by a lookup of C
    char* value = nullptr;
    ASSERT_EQ(qenag_get_attr_value(v.get(), "A", &value, index, 1), 0);
    EXPECT_STREQ(value, "a");
    EXPECT_EQ(index, 0);
    ASSERT_EQ(qenag_get_attr_index(v.get(), "B", index), 0);
    EXPECT_EQ(index, 3);
    // A failed lookup leaves the hint alone.
    EXPECT_EQ(qenag_get_attr_index(v.get(), "Z", index), 3);
    EXPECT_EQ(index, 3);
    debug_texts();
}

TEST_F(Helpers, NumberForms)
{
    Vec v({"DetailMonitor", "1", "12", "Ports", "3", "1", "2", "3", "Bad", "1", "x"});
    int number = -5;
    int index = -1;
    EXPECT_EQ(qenag_get_attr_value(v.get(), "DetailMonitor", number, index, 1), 0);
    EXPECT_EQ(number, 12);
    EXPECT_EQ(qenag_get_attr_value(v.get(), "Ports", number), 0);
    EXPECT_EQ(number, 3);
    EXPECT_EQ(qenag_get_attr_value(v.get(), "Bad", number, index, 1), 0);
    EXPECT_EQ(number, 0);
    number = -5;
    EXPECT_EQ(qenag_get_attr_value(v.get(), "Missing", number, index, 1), 3);
    EXPECT_EQ(number, -5); // written only on success
    char* count = nullptr;
    EXPECT_EQ(qenag_get_attr_value(v.get(), "Ports", &count), 0);
    EXPECT_STREQ(count, "3");
    debug_texts();
}

struct SqueezeCase {
    const char* text;
    int expect_rc;
    const char* expect_first; // NULL: no word
};

TEST_F(Helpers, SqueezeSpaces)
{
    const std::vector<SqueezeCase> cases = {
        {" word second", 1, "word"},
        {"word", 0, "word"},
        {"\t word \t", 0, "word"},
        {"/u01/app/viruze 10g", 1, "/u01/app/viruze"},
        {"a\tb", 1, "a"},
        {"", -1, nullptr},
        {" \t \t", -1, nullptr},
    };
    for (const SqueezeCase& c : cases) {
        SCOPED_TRACE(c.text);
        std::string text = c.text;
        char* first = reinterpret_cast<char*>(1);
        EXPECT_EQ(qenag_squeeze_spaces(text.data(), &first), c.expect_rc);
        if (c.expect_first == nullptr) {
            EXPECT_EQ(first, nullptr);
        } else {
            ASSERT_NE(first, nullptr);
            EXPECT_STREQ(first, c.expect_first);
            // The text is cut after the first word.
            EXPECT_STREQ(text.c_str() + (first - text.data()), c.expect_first);
            EXPECT_EQ(first[strlen(first)], '\0');
        }
    }
    char* first = reinterpret_cast<char*>(1);
    EXPECT_EQ(qenag_squeeze_spaces(nullptr, &first), -1);
    EXPECT_EQ(first, nullptr);
}

TEST_F(Helpers, SqueezeCutsTheText)
{
    char text[] = " first second";
    char* first = nullptr;
    EXPECT_EQ(qenag_squeeze_spaces(text, &first), 1);
    EXPECT_EQ(first, text + 1);
    EXPECT_STREQ(text + 1, "first");
}

TEST_F(Helpers, Chomp)
{
    struct {
        const char* in;
        int rc;
        const char* out;
    } cases[] = {
        {"line\n", 1, "line"}, {"line\n\n", 1, "line\n"}, {"line", 0, "line"},
        {"", 0, ""},           {"\n", 1, ""},             {"a\nb", 0, "a\nb"},
    };
    for (auto& c : cases) {
        std::string s = c.in;
        EXPECT_EQ(str_chomp(s.data()), c.rc) << c.in;
        EXPECT_STREQ(s.c_str(), c.out);
    }
    EXPECT_EQ(str_chomp(nullptr), 0);
}

void* hold_and_block(void* arg)
{
    int fd = *static_cast<int*>(arg);
    char** list = new char*[13]();
    char* pwd = new char[64]();
    DIR* dir = opendir("/proc");
    pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
    pthread_cleanup_push(DelArgList, list);
    pthread_cleanup_push(DelPwd, pwd);
    pthread_cleanup_push(CloseDir, dir);
    char c;
    for (;;)
        if (read(fd, &c, 1) <= 0) // cancellation point; the test never writes
            break;
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(0);
    return nullptr;
}

// Cancelled while holding a directory stream and two heap arrays: the
// handlers release them (the sanitizer tree checks the array deletes match
// their allocation and that nothing leaks).
TEST_F(Helpers, CleanupRoutinesOnCancellation)
{
    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::vector<std::string> before = open_fds();
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, hold_and_block, &fds[0]), 0);
    // Wait until the thread holds its directory stream.
    while (open_fds().size() == before.size())
        sched_yield();
    EXPECT_EQ(cancel_and_join(t), PTHREAD_CANCELED);
    EXPECT_EQ(open_fds(), before);
    close(fds[0]);
    close(fds[1]);
}

TEST_F(Helpers, CleanupRoutinesIgnoreNull)
{
    CloseDir(nullptr);
    DelArgList(nullptr);
    DelPwd(nullptr);
}

TEST_F(Helpers, CloseDirPoppedWithPendingCancel)
{
    // Popping a CloseDir handler with execution while a cancellation is
    // pending must not unwind out of the routine.
    struct Ctx {
        bool closed = false;
    } ctx;
    auto body = [](void* arg) -> void* {
        auto* c = static_cast<Ctx*>(arg);
        void* ret = nullptr;
        pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
        pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, nullptr);
        pthread_cancel(pthread_self());
        DIR* dir = opendir("/proc");
        pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
        pthread_cleanup_push(CloseDir, dir);
        pthread_cleanup_pop(1);
        c->closed = true;
        pthread_testcancel();
        pthread_cleanup_pop(0);
        return ret;
    };
    pthread_t t;
    ASSERT_EQ(pthread_create(&t, nullptr, body, &ctx), 0);
    void* ret = nullptr;
    pthread_join(t, &ret);
    EXPECT_TRUE(ctx.closed);
    EXPECT_EQ(ret, PTHREAD_CANCELED);
}

} // namespace
