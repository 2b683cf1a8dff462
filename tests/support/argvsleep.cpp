// Sleeps until killed, whatever its argument vector (argv[0] included).
// Tests exec it with a chosen argv to stand for a server process such as
// "/opt/sybase/bin/dataserver -sSRV1". With QEN_NONDUMPABLE set in its
// environment it makes itself non-dumpable first, so that the kernel shows
// its /proc directory as root's, as it does for a server that changed its
// credentials.
#include <stdlib.h>
#include <sys/prctl.h>
#include <unistd.h>

int main()
{
    if (getenv("QEN_NONDUMPABLE") != nullptr)
        prctl(PR_SET_DUMPABLE, 0, 0, 0, 0);
    for (;;)
        pause();
}
