// Test support of the agent framework: lets a unit test call a monitor
// directly, without the framework's main. These hooks exist only in builds
// for tests (QEN_TEST_HOOKS, a CMake option on in every tree that builds
// the tests); a product build of libqenagfw.so exports none of them.
#ifndef QEN_QENAGFW_TEST_H
#define QEN_QENAGFW_TEST_H

#include <string>
#include <vector>

#include "qenagfw.h"

#ifdef QEN_TEST_HOOKS

// Settings of the resource that the calling thread acts for, as the
// framework's main would set them from the configuration (@ lines).
struct QENAgTestResource {
    std::string name;
    int container_capable = 0;
    int container_id = 0;
    std::string container_name; // empty: QENAgGetContainerName2 gives NULL
    std::string container_root; // empty: programs run at their own path
};

// Makes the calling thread act for the resource; NULL: for none.
void QENAgTestSetResource(const QENAgTestResource* res);

enum QENAgTestLogKind { QENAG_TEST_AGENT = 1, QENAG_TEST_CONSOLE = 2, QENAG_TEST_DEBUG = 4 };
struct QENAgTestLine {
    int kind;         // QENAgTestLogKind
    std::string text; // the line as it would be written, without the newline
};
// Lines logged (by any thread) since the previous call, oldest first; the
// store is emptied.
std::vector<QENAgTestLine> QENAgTestTakeLog();

// Push as the outermost cleanup handler of a test thread that may be
// cancelled (argument ignored):
//     pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
// The sanitizer does not see the frames that cancellation unwinds and would
// otherwise report their stale stack poisoning when the thread ends. Does
// nothing in other builds. The framework's own monitor threads have it.
extern "C" void QENAgTestCancelGuard(void*);

// What QENAgStartup registered: the monitor (NULL when none) and the category.
QENAgMonitorFn QENAgTestMonitor();
int QENAgTestLogCategory();

// Which debug levels are written (bit n: level n). Without the framework's
// main every level is, until a test says otherwise.
void QENAgTestSetDebugLevels(unsigned mask);

#endif // QEN_TEST_HOOKS

#endif
