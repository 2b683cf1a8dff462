// Sleeps until killed, whatever its argument vector (argv[0] included).
// Tests exec it with a chosen argv to stand for a server process such as
// "/opt/sybase/bin/dataserver -sSRV1".
#include <unistd.h>

int main()
{
    for (;;)
        pause();
}
