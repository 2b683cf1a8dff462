// Internal state shared by the framework's sources.
#ifndef QEN_QENAGFW_INTERNAL_H
#define QEN_QENAGFW_INTERNAL_H

#include <pthread.h>

#include <string>

#include "nocancel.h"
#include "qenagfw.h"

namespace qenagfw {

// Framework settings of one resource (the '@' lines of the configuration).
struct ResourceSettings {
    std::string name;
    int container_capable = 0;
    int container_id = 0;
    std::string container_name;
    std::string container_root;
    int timeout = 60;
};

// The resource whose entry point runs on the calling thread, or nullptr.
const ResourceSettings* current_resource();
void set_current_resource(const ResourceSettings* res);

// Log kinds, also the values of QENAgTestLogKind.
enum LogKind { LOG_AGENT = 1, LOG_CONSOLE = 2, LOG_DEBUG = 4 };

// Opens agent.log, console.log and debug.log in dir; from then on lines go
// to the files instead of the in-memory store. false with errno on failure.
bool open_log_files(const std::string& dir);

// Debug levels: bit n of a mask stands for level n. The framework's main
// sets the mask from --debug (none by default); until then (unit tests)
// every level is written.
constexpr unsigned kMaxDebugLevel = 31;
constexpr unsigned kAllDebugLevels = ~0u;
void set_debug_levels(unsigned mask);

// The registered monitor and log category.
QENAgMonitorFn registered_monitor();
int log_category();

// Turns cancellation off for the life of the object.
using ::NoCancel;

} // namespace qenagfw

#endif
