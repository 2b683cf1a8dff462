// The agent framework: libqenagfw.so.
//
// An agent program links libqenagfw and defines only
//     extern "C" void QENAgStartup(void);
// and its monitor entry point. The framework's main (build the program with
// qen_agent() from agents/include/CMakeLists.txt) is
//
//   <Agent> --config FILE [--cycles N] [--interval SECONDS] [--log-dir DIR]
//           [--debug LEVELS] | --help
//
// Defaults: run until killed, 60 seconds between cycles (0 to 86400), logs
// in the current directory (created when missing), no debug traces
// (LEVELS: a list such as 0,2, or all). An unknown or malformed option
// prints what is wrong with it and the usage line on stderr and exits 2.
//
// Configuration file: one section per resource.
//     [ResourceName]
//     Attribute=value          value = everything after the first '=' to the
//                              end of the line, blanks and tabs kept but
//                              those right after '='; blanks around the
//                              name do not count; a repeated attribute adds
//                              an element
//     Attribute=               one empty element
//     Attribute                zero elements
//     @ContainerCapable=1      result of QENAgIsContainerCapable (default 0)
//     @ContainerId=3           result of QENAgGetContainerID2 (default 0)
//     @ContainerName=z1        result of QENAgGetContainerName2 (default none)
//     @ContainerRoot=/dir      directory standing for the zone's root
//     @Timeout=60              seconds before the monitor's thread is
//                              cancelled (default 60)
//     # comment                (lines beginning with '#'; empty lines are skipped)
// Lines may end in CRLF. A malformed file prints "FILE:LINE: reason" on
// stderr and exits 2, as does a file without any resource section.
//
// Run: QENAgStartup is called once; then on every cycle the registered monitor
// is called for every resource, each on a thread of its own (deferred
// cancellation), and cancelled when it runs past the resource's timeout. One
// line per call goes to stdout (flushed), in the order of the file:
//     cycle=N resource=NAME state=S confidence=C
//     cycle=N resource=NAME cancelled
// The attribute vector is rebuilt for every call: name, count as decimal
// text, the values, ..., NULL.
//
// Logs: three files in the log directory, appended to:
//     agent.log     QENAgLogMsg1
//     console.log   QENAgLogConsoleMsg1
//     debug.log     QENAgLogDbgMsg1, only the levels --debug names
// one line each (written with one write(2), under a mutex, with cancellation
// disabled):
//     resource=R category=C severity=S id=I tag=T file=F line=L: text
//     resource=R category=C level=D tag=T file=F line=L: text
// R is the resource whose entry point runs on the calling thread ("-" for
// none). The text is written as formatted; a text holding newlines spans
// several lines of the file. Without the framework's main (unit tests) the
// lines are kept in memory instead (see qenagfw_test.h).
//
// Running a program in a container: when the current resource has
// @ContainerCapable=1 and a @ContainerRoot, QENAgExecInContainer2 runs the
// program at <root><path> (e.g. /usr/bin/id -> <root>/usr/bin/id), with argv
// unchanged; otherwise it runs the path itself.
#ifndef QEN_QENAGFW_H
#define QEN_QENAGFW_H

#include <stddef.h>

#include "psinfo.h"

#ifdef __cplusplus
extern "C" {
#endif

// Resource states a monitor returns.
#define QENAG_OFFLINE 0
#define QENAG_ONLINE 1
#define QENAG_UNKNOWN 2

// The monitor entry point: (resource name, attribute vector, confidence out)
// -> resource state.
typedef int (*QENAgMonitorFn)(const char* res_name, char** attrs, int* confidence);
// Any other entry point (the agents of this pack implement none).
typedef void (*QENAgEntryPointFn)(void);

// The ten-slot entry-point table. Slot 3 is the monitor.
typedef struct AgentEntryPoints {
    QENAgEntryPointFn online;       // slot 0
    QENAgEntryPointFn offline;      // slot 1
    QENAgEntryPointFn clean;        // slot 2
    QENAgMonitorFn monitor;         // slot 3
    QENAgEntryPointFn open;         // slot 4
    QENAgEntryPointFn close;        // slot 5
    QENAgEntryPointFn attr_changed; // slot 6
    QENAgEntryPointFn action;       // slot 7
    QENAgEntryPointFn info;         // slot 8
    QENAgEntryPointFn shutdown;     // slot 9
} AgentEntryPoints;

#define QENAG_EP_TABLE_VERSION 2 // version of QENAgRegisterEPStruct
#define QENAG_EP_INIT_VERSION 4  // version of QENAgInitEntryPointStruct
#define QENAG_EP_ID_MONITOR 5    // id of the monitor for QENAgSetEntryPoint

// Registers a table (copied before the call returns). 0, or -1 for another
// version or a NULL table.
int QENAgRegisterEPStruct(int version, const AgentEntryPoints* table);
// Clears the registered table. 0, or -1 for another version.
int QENAgInitEntryPointStruct(int version);
// Sets one entry point by id; only QENAG_EP_ID_MONITOR is known. 0 or -1.
int QENAgSetEntryPoint(int id, QENAgMonitorFn fn);
// Sets the log category that every log line carries.
void QENAgSetLogCategory(int category);

// Agent log and console: severity, function tag, source file, line, message
// id, 0, printf format and arguments.
void QENAgLogMsg1(int severity, const char* tag, const char* file, int line, int msgid, int flags,
                  const char* fmt, ...) __attribute__((format(printf, 7, 8)));
void QENAgLogConsoleMsg1(int severity, const char* tag, const char* file, int line, int msgid,
                         int flags, const char* fmt, ...) __attribute__((format(printf, 7, 8)));
// Debug log: level, function tag, source file, line, 0, format and arguments.
void QENAgLogDbgMsg1(int level, const char* tag, const char* file, int line, int flags,
                     const char* fmt, ...) __attribute__((format(printf, 6, 7)));

// Bounded copy and append (size = bytes of dst); the result is always
// NUL-terminated when size > 0. They return the length of the text they tried
// to make (strlen(src), or the initial length of dst plus strlen(src)).
size_t QENAgStrlcpy(char* dst, const char* src, size_t size);
size_t QENAgStrlcat(char* dst, const char* src, size_t size);

// Process-wide cookie store. The name is copied; the value (a pointer, or an
// integer held in one) is kept as it is, never dereferenced or freed. Set with
// NULL clears the cookie. Set returns 0 (-1 for a NULL name).
void* QENAgGetCookie(const char* name);
int QENAgSetCookie(const char* name, void* value);

// Container queries for the resource whose entry point runs on this thread.
int QENAgIsContainerCapable(void);  // the resource's @ContainerCapable
int QENAgGetContainerID2(void);     // -1 zone not running, 0 global zone, else the zone id
char* QENAgGetContainerName2(void); // malloc'ed copy of the name, or NULL; free with QENAgDelString
// 1 when the process of the record is in the current resource's zone
// (pr_zoneid equals the resource's container id, 0 without one), else 0.
int QENAgIsProcInContainer(const psinfo_t* psinfo);

// The uid of a user from the user database: 0 with *uid and *euid set to
// the user's uid and *other to its group id; -1 (nothing written) for an
// unknown user.
int QENAgGetUID(const char* user, int* uid, int* euid, int* other);

// Runs path with argv (NULL-terminated, argv[0] = path) in the current
// resource's container when it has one (see above), with stdout and stderr
// collected; waits for it. output receives the first size-1 bytes of what it
// wrote, NUL-terminated (the rest is read and dropped). *status receives the
// raw wait status. Returns 0 when the program ran; -1 when it could not be
// started (exec failure included; *status is then left untouched). The
// program leads a process group of its own; a cancelled caller ends that
// whole group (SIGTERM, then SIGKILL after a short grace) and reaps the
// program.
int QENAgExecInContainer2(const char* path, char* const* argv, char* output, int size, int* status);

// Cleanup routines for pthread_cleanup_push; both ignore NULL / negative.
// QENAgDelString releases with free(): give it memory from malloc, calloc or
// strdup (or QENAgGetContainerName2).
void QENAgDelString(void* p);
// The argument is the descriptor itself: (void*)(intptr_t)fd.
void QENAgCloseFile(void* fd);

// The framework's main, called by the main of every agent program with the
// program's QENAgStartup.
int QENAgMain(int argc, char** argv, void (*startup)(void));

#ifdef __cplusplus
}
static_assert(offsetof(AgentEntryPoints, monitor) == 3 * sizeof(void*));
static_assert(sizeof(AgentEntryPoints) == 10 * sizeof(void*));
#endif

#endif
