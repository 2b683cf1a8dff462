// Routines that both Sybase agents share: value trimming, owner resolution
// in the global zone and inside a zone, and the server-process finder with
// its process cookie.
//
// Each agent program defines sybase_source_file, the source file name its
// log lines carry ("Sybase" or "SybaseBk"); the shared routines log under it.
#ifndef QEN_SYBASECOMMON_H
#define QEN_SYBASECOMMON_H

#include "psinfo.h"
#include "qenagfw.h"

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

#endif
