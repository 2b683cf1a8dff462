// The scanners behind psinfo_build, fed chosen /proc text cut into pieces at
// every point: the result never depends on where a read ended.
#include <limits.h>
#include <stdlib.h>

#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "psinfo_scan.h"

namespace {

using qen_psinfo::ArgsScan;
using qen_psinfo::ZoneScan;

using namespace std::string_literals;

// The reference: split the command line into its words, join them by
// blanks, keep the first 79 bytes.
void expected_args(const std::string& cmdline, std::string& psargs, int32_t& argc)
{
    std::string joined;
    argc = 0;
    size_t pos = 0;
    while (pos < cmdline.size()) {
        size_t end = cmdline.find('\0', pos);
        if (end == std::string::npos)
            end = cmdline.size();
        if (argc > 0)
            joined += ' ';
        joined.append(cmdline, pos, end - pos);
        ++argc;
        pos = end + 1;
    }
    psargs = joined.substr(0, PRARGSZ - 1);
}

// The reference: atoi of the first entry that starts with the hook.
int32_t expected_zone(const std::string& environ_text)
{
    static constexpr std::string_view key = "QEN_ZONEID=";
    size_t pos = 0;
    while (pos < environ_text.size()) {
        size_t end = environ_text.find('\0', pos);
        if (end == std::string::npos)
            end = environ_text.size();
        std::string entry = environ_text.substr(pos, end - pos);
        if (entry.compare(0, key.size(), key) == 0)
            return atoi(entry.c_str() + key.size());
        pos = end + 1;
    }
    return 0;
}

// Every way of cutting text into two pieces, and byte by byte.
std::vector<std::vector<std::string>> cuttings(const std::string& text)
{
    std::vector<std::vector<std::string>> out;
    for (size_t at = 0; at <= text.size(); ++at)
        out.push_back({text.substr(0, at), text.substr(at)});
    std::vector<std::string> bytes;
    for (char c : text)
        bytes.emplace_back(1, c);
    out.push_back(bytes);
    return out;
}

TEST(PsinfoScan, ArgsMatchTheJoinedWordsHoweverTheyArrive)
{
    const std::string w79(79, 'w'), w78(78, 'v'), w200(200, 'a');
    const std::vector<std::string> cmdlines = {
        ""s,
        "\0"s,
        "prog\0"s,
        "prog"s, // rewritten: no final NUL
        "prog\0\0b\0"s,
        "prog\0\0"s,
        "\0\0\0"s,
        "a\0b\0c"s,
        w79 + "\0"s,
        w79 + "\0x\0"s,
        w78 + "\0x\0"s, // the blank is the 79th byte
        w78 + "\0\0"s,
        w200 + "\0"s + w200 + "\0"s,
        "/opt/sybase/ASE-15_0/bin/dataserver\0-d/opt/sybase/data/master.dat\0"
        "-e/opt/sybase/ASE-15_0/install/errorlog\0-sLONGSERVERNAME\0"s,
    };
    for (const std::string& cmdline : cmdlines) {
        SCOPED_TRACE(testing::PrintToString(cmdline));
        std::string want;
        int32_t want_argc = 0;
        expected_args(cmdline, want, want_argc);
        for (const auto& pieces : cuttings(cmdline)) {
            ArgsScan scan;
            for (const std::string& piece : pieces)
                scan.feed(piece.data(), piece.size());
            char psargs[PRARGSZ];
            memset(psargs, 0x5a, sizeof psargs);
            int32_t argc = -1;
            scan.finish(psargs, &argc);
            ASSERT_EQ(std::string(psargs, strnlen(psargs, sizeof psargs)), want);
            ASSERT_EQ(argc, want_argc);
            ASSERT_EQ(psargs[PRARGSZ - 1], '\0');
        }
    }
}

// The whole-line join keeps as much as its buffer holds, the same text as
// the 79-byte pr_psargs would be with room enough.
TEST(PsinfoScan, JoinKeepsWhatItsBufferHolds)
{
    const std::string long_line = "/u01/app/viruze/dbhome_production_cluster_01/bin/vuzlsnr\0"
                                  "LISTENER\0-inherit\0"s;
    const std::vector<std::string> cmdlines = {""s, "prog\0"s, "prog"s, "a\0\0b\0"s, long_line};
    for (const std::string& cmdline : cmdlines) {
        // The reference: NULs are blanks, less the one that ends the line.
        std::string joined = cmdline;
        if (!joined.empty() && joined.back() == '\0')
            joined.pop_back();
        for (char& c : joined)
            if (c == '\0')
                c = ' ';
        for (size_t size : {size_t{1}, size_t{2}, size_t{10}, size_t{80}, size_t{4096}}) {
            SCOPED_TRACE(testing::PrintToString(cmdline) + " size " + std::to_string(size));
            for (const auto& pieces : cuttings(cmdline)) {
                std::vector<char> out(size, 'X');
                qen_psinfo::ArgsJoin join(out.data(), size);
                for (const std::string& piece : pieces)
                    join.feed(piece.data(), piece.size());
                size_t len = join.finish();
                const std::string want = joined.substr(0, std::min(size - 1, joined.size()));
                // A line cut by the buffer may keep a separator blank at its end.
                ASSERT_EQ(std::string(out.data(), len).substr(0, want.size()), want);
                ASSERT_LE(len, size - 1);
                ASSERT_EQ(out[len], '\0');
            }
        }
    }
}

TEST(PsinfoScan, ArgcCountsWordsFarBeyondWhatIsKept)
{
    std::string cmdline;
    for (int i = 0; i < 5000; ++i)
        cmdline += "arg" + std::to_string(i) + '\0';
    ArgsScan scan;
    for (size_t at = 0; at < cmdline.size(); at += 4096)
        scan.feed(cmdline.data() + at, std::min<size_t>(4096, cmdline.size() - at));
    char psargs[PRARGSZ];
    int32_t argc = 0;
    scan.finish(psargs, &argc);
    EXPECT_EQ(argc, 5000);
    std::string want;
    int32_t want_argc = 0;
    expected_args(cmdline, want, want_argc);
    EXPECT_EQ(std::string(psargs), want);
}

TEST(PsinfoScan, ZoneIsReadAsAtoiReadsItHoweverItArrives)
{
    const std::vector<std::string> environs = {
        ""s,
        "QEN_ZONEID=7\0"s,
        "QEN_ZONEID=7"s, // no final NUL
        "PATH=/bin\0QEN_ZONEID=12\0HOME=/\0"s,
        "QEN_ZONEIDX=7\0"s,
        "XQEN_ZONEID=7\0"s,
        "A=QEN_ZONEID=7\0"s,
        "QEN_ZONE\0ID=7\0"s,
        "QEN_ZONEID\0"s,
        "QEN_ZONEID=\0QEN_ZONEID=5\0"s, // the first entry counts, empty or not
        "QEN_ZONEID=3\0QEN_ZONEID=5\0"s,
        "\0\0QEN_ZONEID=4\0"s,
        "QEN_ZONEID=+9\0"s,
        "QEN_ZONEID=-2\0"s,
        "QEN_ZONEID=  \t42\0"s,
        "QEN_ZONEID=42abc\0"s,
        "QEN_ZONEID=abc\0"s,
        "QEN_ZONEID=- 4\0"s,
        "QEN_ZONEID=+-4\0"s,
        "QEN_ZONEID=0000000000000000000000000000006\0"s,
        "QEN_ZONEID=2147483647\0"s,
        "QEN_ZONEID=2147483648\0"s,
        "QEN_ZONEID=-2147483649\0"s,
        "QEN_ZONEID=99999999999999999999999999\0"s,
        "QEN_ZONEID=-99999999999999999999999999\0"s,
        "QEN_ZONEID=9223372036854775807\0"s,
        "QEN_ZONEID=9223372036854775808\0"s,
        "QEN_ZONEID=-9223372036854775808\0"s,
        "QEN_ZONEID=4294967297\0"s,
    };
    for (const std::string& env : environs) {
        SCOPED_TRACE(testing::PrintToString(env));
        int32_t want = expected_zone(env);
        for (const auto& pieces : cuttings(env)) {
            ZoneScan scan;
            for (const std::string& piece : pieces)
                if (scan.feed(piece.data(), piece.size()))
                    break;
            ASSERT_EQ(scan.zone(), want);
        }
    }
}

TEST(PsinfoScan, ZoneStopsOnceTheValueIsKnown)
{
    ZoneScan scan;
    const std::string head = "A=1\0QEN_ZONEID=31"s;
    EXPECT_FALSE(scan.feed(head.data(), head.size())); // more digits may follow
    const std::string rest = "\0QEN_ZONEID=5\0"s;
    EXPECT_TRUE(scan.feed(rest.data(), rest.size()));
    EXPECT_EQ(scan.zone(), 31);

    ZoneScan absent;
    const std::string env = "A=1\0B=2\0"s;
    EXPECT_FALSE(absent.feed(env.data(), env.size()));
    EXPECT_EQ(absent.zone(), 0);
}

TEST(PsinfoScan, StatLine)
{
    struct Case {
        std::string text;
        bool ok;
        const char* fname;
        int32_t ppid;
        unsigned long long start;
    };
    const std::string tail = " 1 1 0 -1 4194560 100 0 0 0 2 1 0 0 20 0 1 0 98765 4096 100";
    const std::vector<Case> cases = {
        {"4242 (argvsleep) S 17" + tail + "\n", true, "argvsleep", 17, 98765},
        {"4242 (a) b) R 17" + tail + "\n", true, "a) b", 17, 98765},
        {"4242 ((x)) S 0" + tail + "\n", true, "(x)", 0, 98765},
        {"4242 (a name of twenty bytes) S 3" + tail + "\n", true, "a name of twent", 3,
         98765},
        {"4242 () Z 3" + tail, true, "", 3, 98765},
        {"4242 (p\nq) S 3" + tail + "\n", true, "p\nq", 3, 98765},
        // Cut before the start time, or not a stat line at all.
        {"4242 (argvsleep) S 17 1 1 0 -1 4194560 100 0 0 0 2 1 0 0 20 0 1 0", false, "", 0, 0},
        {"4242 (argvsleep) S", false, "", 0, 0},
        {"4242 (argvsleep)", false, "", 0, 0},
        {"4242 argvsleep) S 17" + tail, false, "", 0, 0},
        {"4242 (argvsleep S 17" + tail, false, "", 0, 0},
        {"4242 )argvsleep( S 17" + tail, false, "", 0, 0},
        {"4242 (argvsleep) S x" + tail, false, "", 0, 0},
        {"", false, "", 0, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        qen_psinfo::StatFields st;
        ASSERT_EQ(qen_psinfo::parse_stat(c.text.data(), c.text.size(), &st), c.ok);
        if (!c.ok)
            continue;
        EXPECT_STREQ(st.fname, c.fname);
        EXPECT_EQ(st.ppid, c.ppid);
        EXPECT_EQ(st.starttime, c.start);
    }
}

// The flags field, the ninth: after the comm, the state and five numbers
// (tty_nr and tpgid may be negative).
TEST(PsinfoScan, StatFlags)
{
    struct Case {
        std::string text;
        bool ok;
        unsigned long long flags;
    };
    const std::vector<Case> cases = {
        {"2 (kthreadd) S 0 0 0 0 -1 2129984 0 0 0 0 0 0 0 0 20 0 1 0 27\n", true, 2129984},
        {"4242 (a) b) R 17 1 1 34816 -1 4194560 100\n", true, 4194560},
        {"4242 (x) S 1 2 3 4 5 6", true, 6},
        {"4242 (x) S 1 2 3 4 5", false, 0},
        {"4242 (x) S 1 2 3 4 -x 6", false, 0},
        {"4242 (x)", false, 0},
        {"4242 x S 1 2 3 4 5 6", false, 0},
        {"", false, 0},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.text);
        unsigned long long flags = 0;
        ASSERT_EQ(qen_psinfo::parse_stat_flags(c.text.data(), c.text.size(), &flags), c.ok);
        if (c.ok) {
            EXPECT_EQ(flags, c.flags);
        }
    }
}

TEST(PsinfoScan, StatusIds)
{
    const std::string text = "Name:\tUid:\nUmask:\t0022\nState:\tS (sleeping)\nPPid:\t1\n"
                             "Uid:\t1000\t1001\t1002\t1003\nGid:\t50\t51\t52\t53\nGroups:\t\n";
    uint32_t real = 0, eff = 0;
    EXPECT_EQ(qen_psinfo::parse_status_ids(text.data(), text.size(), true, "\nUid:", &real, &eff),
              1);
    EXPECT_EQ(real, 1000u);
    EXPECT_EQ(eff, 1001u);
    EXPECT_EQ(qen_psinfo::parse_status_ids(text.data(), text.size(), true, "\nGid:", &real, &eff),
              1);
    EXPECT_EQ(real, 50u);
    EXPECT_EQ(eff, 51u);
    EXPECT_EQ(qen_psinfo::parse_status_ids(text.data(), text.size(), true, "\nXid:", &real, &eff),
              0);

    // Only the start of the file: a line that runs to the end of the text
    // may go on, one that is absent may come later.
    size_t cut = text.find("1001") + 2;
    EXPECT_EQ(qen_psinfo::parse_status_ids(text.data(), cut, false, "\nUid:", &real, &eff), -1);
    EXPECT_EQ(qen_psinfo::parse_status_ids(text.data(), cut, false, "\nGid:", &real, &eff), -1);
    // The whole file: the text's end ends the number.
    real = eff = 0;
    EXPECT_EQ(qen_psinfo::parse_status_ids(text.data(), cut, true, "\nUid:", &real, &eff), 1);
    EXPECT_EQ(real, 1000u);
    EXPECT_EQ(eff, 10u);
    const std::string bad = "Name:\tx\nUid:\tnone\n";
    EXPECT_EQ(qen_psinfo::parse_status_ids(bad.data(), bad.size(), false, "\nUid:", &real, &eff),
              0);
}

} // namespace
