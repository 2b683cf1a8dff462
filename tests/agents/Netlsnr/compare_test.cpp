// Recognition of the listener's command line.
#include <gtest/gtest.h>

#include "Netlsnr.h"
#include "lsnr_test_util.h"

namespace {

struct CompareCase {
    const char* cmdline;
    const char* prog;
    const char* listener;
    int expected;
};

constexpr const char* kProg = "/u01/app/viruze/product/10.2/bin/vuzlsnr";

const CompareCase kCases[] = {
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER -inherit", kProg, "LISTENER", 1},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER -inherit", kProg, "listener", 1},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER -inherit", kProg, "LISTENER2", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER2 -inherit", kProg, "LISTENER", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER", kProg, "LISTENER", 1},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER\t-x", kProg, "LISTENER", 1},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER\n", kProg, "LISTENER", 1},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER:x", kProg, "LISTENER", 0},
    // the one character after the program is skipped whatever it is
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr\tLISTENER", kProg, "LISTENER", 1},
    // the program may appear anywhere in the command line
    {"nohup /u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER", kProg, "LISTENER", 1},
    // another form of the home path is another program
    {"/u01/app/viruze/product//10.2/bin/vuzlsnr LISTENER", kProg, "LISTENER", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnrx LISTENER", kProg, "LISTENER", 0},
    // nothing after the program: no listener name
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr", kProg, "LISTENER", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr ", kProg, "LISTENER", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTEN", kProg, "LISTENER", 0},
    {nullptr, kProg, "LISTENER", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER", nullptr, "LISTENER", 0},
    {"/u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER", kProg, nullptr, 0},
};

TEST(CompareLsnrProc, Cases)
{
    for (const CompareCase& c : kCases)
        EXPECT_EQ(CompareLsnrProc(c.cmdline, c.prog, c.listener), c.expected)
            << (c.cmdline ? c.cmdline : "(null)") << " / " << (c.listener ? c.listener : "(null)");
}

// A record whose command line ends right after the program path, with stale
// bytes behind its NUL that would spell the listener: the comparison must
// stop at the NUL.
TEST(CompareLsnrProc, StopsAtTheEndOfTheCommandLine)
{
    char psargs[80] = {};
    const char stale[] = "/h/bin/vuzlsnr LISTENER -inherit";
    memcpy(psargs, stale, sizeof stale);
    psargs[strlen("/h/bin/vuzlsnr")] = '\0';
    EXPECT_EQ(CompareLsnrProc(psargs, "/h/bin/vuzlsnr", "LISTENER"), 0);
}

} // namespace
