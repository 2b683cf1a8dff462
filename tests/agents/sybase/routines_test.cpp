// The Sybase agents' own routines: trimming, the attribute checks, owner
// resolution, the command-line match and the argument-buffer joiner.
#include "Sybase.h"
#include "SybaseCommon.h"
#include "sybase_fixture.h"

using namespace sybtest;

namespace {

TEST(SybaseTrim, CutsBlanksAndTabsAtBothEnds)
{
    struct Case {
        const char* in;
        const char* out;
    } cases[] = {
        {" \towner\t ", "owner"}, {"a b", "a b"}, {" \t \t", ""}, {"", ""}, {"x", "x"},
        {"\t/opt/my home ", "/opt/my home"},
    };
    take_log();
    for (const Case& c : cases) {
        char buf[64];
        strcpy(buf, c.in);
        trim(buf);
        EXPECT_EQ(std::string(buf), c.out) << "|" << c.in << "|";
    }
    std::vector<Line> log = take_log();
    ASSERT_FALSE(log.empty());
    EXPECT_EQ(log[0].text, std::string("Untrimmed attribute value: |") + cases[0].in + "|");
    EXPECT_EQ(log[0].sev, 3);
    EXPECT_EQ(log[0].tag, "trim");
    EXPECT_EQ(log[0].file, "Sybase");
    EXPECT_EQ(log[1].text, "Trimmed attribute value: |owner|");
}

TEST(SybaseTrim, ContainsWhitespaces)
{
    EXPECT_EQ(containsWhitespaces("a b"), 1);
    EXPECT_EQ(containsWhitespaces("a\tb"), 1);
    EXPECT_EQ(containsWhitespaces("ab"), 0);
    EXPECT_EQ(containsWhitespaces(""), 0);
    EXPECT_EQ(containsWhitespaces("a\nb"), 0);
}

// The data server's Validate over its eleven values.
TEST(SybaseChecks, ValidateTrimsAndReportsTheFirstOffender)
{
    struct Case {
        const char* what;
        std::vector<std::string> in; // Server .. Monscript
        int result;
        std::string name;
    } cases[] = {
        {"all fine", {"S", " o ", "h", "v", "sa", "p w", "u", "u p", "d", "t", "m"}, 1, ""},
        {"Server", {"S 1", "o", "h", "v", "sa", "p", "u", "p", "d", "t", "m"}, 0, "Server"},
        {"Owner before Table", {"S", "o o", "h", "v", "sa", "p", "u", "p", "d", "t t", "m"}, 0,
         "Owner"},
        {"SA", {"S", "o", "h", "v", "s\ta", "p", "u", "p", "d", "t", "m"}, 0, "SA"},
        {"User", {"S", "o", "h", "v", "sa", "p", "u u", "p", "d", "t", "m"}, 0, "User"},
        {"Db", {"S", "o", "h", "v", "sa", "p", "u", "p", "d d", "t", "m"}, 0, "Db"},
        {"Home and Monscript may hold blanks",
         {"S", "o", "h h", "v", "sa", "p", "u", "p", "d", "t", "m m"}, 1, ""},
        {"Version", {"S", "o", "h", "v v", "sa", "p", "u", "p", "d", "t", "m"}, 0, "Version"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        std::vector<std::string> v = c.in;
        char name[kSybNameBufSize] = {};
        EXPECT_EQ(Validate(v[0].data(), v[1].data(), v[2].data(), v[3].data(), v[4].data(),
                           v[5].data(), v[6].data(), v[7].data(), v[8].data(), v[9].data(),
                           v[10].data(), name),
                  c.result);
        EXPECT_EQ(std::string(name), c.name);
    }
    std::vector<std::string> v = {" S ", "\to", " h ", "v ", " sa", " p ", "u ", " up ",
                                  "d ", " t", " m "};
    char name[kSybNameBufSize] = {};
    ASSERT_EQ(Validate(v[0].data(), v[1].data(), v[2].data(), v[3].data(), v[4].data(),
                       v[5].data(), v[6].data(), v[7].data(), v[8].data(), v[9].data(),
                       v[10].data(), name),
              1);
    const char* want[] = {"S", "o", "h", "v", "sa", " p ", "u", " up ", "d", "t", "m"};
    for (int i = 0; i < 11; ++i)
        EXPECT_STREQ(v[static_cast<size_t>(i)].c_str(), want[i]) << i;
}

TEST(SybaseChecks, NullChecksReportTheFirstEmptyValue)
{
    char name[kSybNameBufSize] = {};
    EXPECT_EQ(IsNull("s", "o", "h", "v", "sa", name), 0);
    EXPECT_EQ(IsNull("s", "", "", "v", "sa", name), 1);
    EXPECT_STREQ(name, "Owner");
    memset(name, 0, sizeof name);
    EXPECT_EQ(IsNull("s", "o", "h", "v", "", name), 1);
    EXPECT_STREQ(name, "SA");

    memset(name, 0, sizeof name);
    EXPECT_EQ(IsNullDetailMonitorAttributes("m", "u", "p", "d", "t", name), 0);
    EXPECT_EQ(IsNullDetailMonitorAttributes("", "u", "", "d", "t", name), 1);
    EXPECT_STREQ(name, "MonScript");
    memset(name, 0, sizeof name);
    EXPECT_EQ(IsNullDetailMonitorAttributes("m", "u", "p", "d", "", name), 1);
    EXPECT_STREQ(name, "Table");
}

TEST(SybaseOwner, IsValidUser)
{
    EXPECT_EQ(isValidUser("nobody"), static_cast<int>(kOwnerUid));
    EXPECT_EQ(isValidUser("root"), 0);
    EXPECT_EQ(isValidUser("qen_no_such_user"), 0);
    EXPECT_EQ(isValidUser(" "), 0);
    EXPECT_EQ(isValidUser(""), 0);
    EXPECT_EQ(isValidUser(nullptr), 0);
}

// getZoneUserId runs the zone's /usr/bin/id (under the container root).
TEST(SybaseOwner, ZoneUserIdResults)
{
    struct Case {
        const char* what;
        const char* id_script; // nullptr: no id program in the zone
        int result;
        int uid;     // expected when result is 4 or 3; -7 left untouched
        int msg;     // message id expected, 0 none
        std::string msg_text;
    } cases[] = {
        {"uid found", "#!/bin/sh\necho 'uid=100(sybase) gid=1(other)'\n", ZONE_UID_FOUND, 100, 0,
         ""},
        {"root is accepted in a zone", "#!/bin/sh\necho 'uid=0(root) gid=0(root)'\n",
         ZONE_UID_FOUND, 0, 0, ""},
        {"zone not running", "#!/bin/sh\nexit 0\n", ZONE_NOT_RUNNING, -7, 0, ""},
        {"no such user", "#!/bin/sh\necho 'id: syb: no such user'\nexit 1\n", ZONE_NO_SUCH_USER,
         -7, 65, "getZoneUserId:Error while getting information about user:syb (id: syb: no such "
                 "user)."},
        {"no uid in the output", "#!/bin/sh\necho 'gid=1(other)'\n", ZONE_NO_UID, 0, 0, ""},
        {"killed", "#!/bin/sh\nkill -TERM $$\n", ZONE_ID_NOT_RUN, -7, 62,
         "getZoneUserId:Abnormal termination of program (/usr/bin/id)."},
        {"not there", nullptr, ZONE_ID_NOT_RUN, -7, 61,
         "getZoneUserId:QENAgExecInContainer() failed, could not execute program "
         "(/usr/bin/id)."},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.what);
        TempDir zone;
        if (c.id_script)
            zone.write("usr/bin/id", c.id_script);
        ActAs as("zoned", 1, 5, zone.path());
        take_log();
        int uid = -7;
        EXPECT_EQ(getZoneUserId("syb", &uid), c.result);
        EXPECT_EQ(uid, c.uid);
        std::vector<Line> log = take_log();
        if (c.msg == 0) {
            for (const Line& l : log)
                EXPECT_EQ(l.kind, QENAG_TEST_DEBUG) << l.raw;
            continue;
        }
        const Line* agent = find_id(log, QENAG_TEST_AGENT, c.msg);
        ASSERT_NE(agent, nullptr) << dump(log);
        EXPECT_EQ(agent->text, c.msg_text);
        EXPECT_EQ(agent->tag, "getZoneUserId");
        EXPECT_EQ(agent->sev, c.msg == 65 ? 1 : 2);
        EXPECT_EQ(find_id(log, QENAG_TEST_CONSOLE, c.msg) != nullptr, c.msg == 65);
    }
}

TEST(SybaseFinder, MatchServerTable)
{
    struct Case {
        const char* psargs;
        const char* option;
        const char* server;
        int result;
    } cases[] = {
        {"dataserver -sSRV1", "-s", "SRV1", 0},
        {"dataserver -s SRV1 -e x", "-s", "SRV1", 0},
        {"dataserver -s\tSRV1", "-s", "SRV1", 2},
        {"dataserver -sSRV1", "-s", "SRV", 3},
        {"dataserver -sSRV", "-s", "SRV1", 2},
        {"dataserver -sSRV1\tx", "-s", "SRV1", 0},
        {"-sSRV1", "-s", "SRV1", 1},
        {"dataserver x-sSRV1", "-s", "SRV1", 1},
        {"dataserver x-sSRV1 -sSRV1", "-s", "SRV1", 0},
        {"dataserver -sOTHER -sSRV1", "-s", "SRV1", 2},
        {"backupserver -S BK1", "-S", "BK1", 0},
        {"backupserver -s BK1", "-S", "BK1", 1},
        {"dataserver -s", "-s", "SRV1", 2},
    };
    for (const Case& c : cases)
        EXPECT_EQ(SybMatchServer(c.psargs, c.option, c.server), c.result) << c.psargs;
}

TEST(SybaseArgs, ModifyArgsBufferJoinsAndSplitsOffTheFirstWord)
{
    struct Case {
        std::string args; // with embedded NULs
        int length;
        unsigned long first_size;
        std::string first, rest;
    } cases[] = {
        {std::string("dataserver\0-sSRV1\0-dmaster\0\0", 29), 29, 64, "dataserver",
         "-sSRV1 -dmaster"},
        {std::string("dataserver\0\0-sSRV1\0", 19), 19, 64, "dataserver", ""},
        {std::string("dataserver\0-sSRV1\0", 18), 11, 64, "dataserver", ""},
        {std::string("dataserver\0-sSRV1\0", 18), 12, 64, "dataserver", "-sSRV1"},
        {std::string("dataserver\0-sSRV1\0", 18), 18, 5, "data", "-sSRV1"},
        {std::string("\0\0", 2), 2, 64, "", ""},
    };
    for (const Case& c : cases) {
        std::vector<char> args(c.args.begin(), c.args.end());
        args.resize(64, '\0');
        std::vector<char> first(c.first_size, 'z');
        ModifyArgsBuffer(args.data(), args.size(), first.data(), first.size(), c.length);
        EXPECT_EQ(std::string(first.data()), c.first);
        EXPECT_EQ(std::string(args.data()), c.rest);
    }
    // An argument area without any NUL stays within its buffer.
    char full[8];
    memset(full, 'a', sizeof full);
    char first[4];
    ModifyArgsBuffer(full, sizeof full, first, sizeof first, 8);
    EXPECT_STREQ(first, "aaa");
    EXPECT_STREQ(full, "");
}

} // namespace
