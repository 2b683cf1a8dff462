// Routines that both Sybase agents share: value trimming, owner resolution
// in the global zone and inside a zone, the server-process finder with its
// process cookie, and the steps both monitors take in the same way (reading
// the attributes, reporting a bad one, zone and owner, registration).
//
// Each agent program defines sybase_source_file, the source file name its
// log lines carry ("Sybase" or "SybaseBk"); the shared routines log under it.
#ifndef QEN_SYBASECOMMON_H
#define QEN_SYBASECOMMON_H

#include <initializer_list>

#include "psinfo.h"
#include "qenagfw.h"

// Log calls under the agent's source file name, with the given function tag
// and the line of the call.
#define SYB_DBG_T(level, tag, ...) \
    QENAgLogDbgMsg1((level), (tag), sybase_source_file, __LINE__, 0, __VA_ARGS__)
#define SYB_AGENT_T(sev, tag, id, ...) \
    QENAgLogMsg1((sev), (tag), sybase_source_file, __LINE__, (id), 0, __VA_ARGS__)
#define SYB_CONSOLE_T(sev, tag, id, ...) \
    QENAgLogConsoleMsg1((sev), (tag), sybase_source_file, __LINE__, (id), 0, __VA_ARGS__)
// Console first, then the agent log, under one id.
#define SYB_BOTH_T(sev, tag, id, ...)                   \
    do {                                                \
        SYB_CONSOLE_T((sev), (tag), (id), __VA_ARGS__); \
        SYB_AGENT_T((sev), (tag), (id), __VA_ARGS__);   \
    } while (0)

// Bytes of the buffers the monitors and the finder use.
constexpr int kSybNameBufSize = 1000;  // name of a reported attribute
constexpr int kSybPathBufSize = 1026;  // psinfo and script paths, cookie values
constexpr int kSybOutputSize = 4096;   // output of a program run through the framework

// Results of getZoneUserId.
enum {
    ZONE_ID_NOT_RUN = 0,    // /usr/bin/id could not run, or ended abnormally
    ZONE_NOT_RUNNING = 1,   // it printed nothing
    ZONE_NO_SUCH_USER = 2,  // it exited with a non-zero code
    ZONE_NO_UID = 3,        // its output holds no "uid="
    ZONE_UID_FOUND = 4,     // uid stored
};

// Results of FindServerProc.
enum {
    SYB_PROC_NOT_FOUND = 0,
    SYB_PROC_FOUND = 1,
    SYB_PROCDIR_FAILED = 2,
};

// What one agent hands to the finder.
struct SybFinderParams {
    const char* proc_list;        // program names separated by blanks
    const char* srv_option;       // "-s" or "-S"
    const char* server;           // the server name the option must carry
    const char* cookie_trace;     // debug text showing the cookie name (one %s)
    const char* notfound_server;  // name shown in the not-found trace
    const char* tag;              // function tag of the log lines
};

extern "C" {

extern const char sybase_source_file[];

void trim(char* value);
int containsWhitespaces(const char* value);
int isValidUser(const char* user);
int getZoneUserId(const char* user, int* uid);
void ModifyArgsBuffer(char* args, unsigned long argsSize, char* first, unsigned long firstSize,
                      int length);

// 1 when every program of the list runs for owner/uid (in the container when
// container_flag is 1), 0 when one does not, 2 when the process directory
// cannot be read. container_id is not 0 only when the owner was resolved
// inside that zone.
int FindServerProc(const SybFinderParams* params, const char* resource, const char* owner,
                   int uid, int container_flag, int container_id);

// How a command line stands to the server: 0 it carries the option with the
// server name; 1 no option (preceded by white space); 2 another name; 3 a
// longer name beginning with this one (or one that may have been cut off at
// the end of a full pr_psargs).
int SybMatchServer(const char* psargs, const char* option, const char* server);

}

// One attribute value and the name a check reports it under.
struct SybNamedValue {
    const char* value;
    const char* attr;
};

// The first value, in list order, that holds a blank or a tab: 1 with its
// name copied into name, else 0.
int SybFirstWithWhitespace(std::initializer_list<SybNamedValue> values, char* name);
// The first empty value, in list order: 1 with its name copied into name,
// else 0.
int SybFirstEmpty(std::initializer_list<SybNamedValue> values, char* name);

// The start of a monitor cycle: the trace, the confidence set to 0 and the
// name buffer (kSybNameBufSize bytes) zeroed. Returns where the cycle writes
// its confidence: confidence, or spare when the caller passed NULL.
int* SybStartCycle(const char* tag, int* confidence, int* spare, char* name);

// Reads element 1 of each of the count attributes names[] from attrs, in
// order, sharing one index hint. v[i] points at the value, or at the empty
// string empty + i (the caller's count writable bytes, all NUL) when the
// attribute is missing; present[i] (when present is not NULL) tells which.
void SybReadAttrs(char** attrs, const char* const* names, int count, char* empty, char** v,
                  bool* present);

// Messages 1 and 2 of both monitors, for the attribute reported in name.
void SybLogContainsSpaces(const char* tag, const char* name);
void SybLogNotSpecified(const char* tag, const char* name);

// Settles zone and owner uid for the resource on this thread (the container
// flag and id, 0 without a zone; the owner's uid from the global user
// database or from the zone), then finds the server with FindServerProc.
// Returns the monitor's state: online when the server runs; offline when
// the zone is not running or no process is found; unknown for an invalid
// owner or an unreadable process directory. *container_flag receives the
// result of QENAgIsContainerCapable.
int SybLocateServer(const SybFinderParams* params, const char* resource, const char* owner,
                    int* container_flag);

// Registers monitor under the Sybase agents' log category.
void SybRegisterMonitor(QENAgMonitorFn monitor);

#endif
