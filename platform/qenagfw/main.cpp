// main of an agent program: the framework drives the program's QENAgStartup.
#include "qenagfw.h"

extern "C" void QENAgStartup(void);

int main(int argc, char** argv)
{
    return QENAgMain(argc, argv, QENAgStartup);
}
