// DataServerAgent: monitors Sybase data servers. For each resource it checks
// the attributes, resolves the owner (in the resource's zone when it has
// one), finds the dataserver process and, when DetailMonitor is above 0, runs
// the monitor script on the first online cycle and then on every n-th.
#include "Sybase.h"

#include <errno.h>
#include <limits.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>

#include <new>

#include "QENAgHelper.h"
#include "QENAgScript.h"
#include "SybaseCommon.h"
#include "qenagfw.h"

extern "C" const char sybase_source_file[] = "Sybase";

#define SYB_TAG "sybase_monitor"
#define SYB_DBG(level, ...) SYB_DBG_T((level), SYB_TAG, __VA_ARGS__)
#define SYB_AGENT(sev, id, ...) SYB_AGENT_T((sev), SYB_TAG, (id), __VA_ARGS__)
#define SYB_BOTH(sev, id, ...) SYB_BOTH_T((sev), SYB_TAG, (id), __VA_ARGS__)

namespace {

// The attributes in the order they are read.
enum Attr {
    A_SERVER, A_OWNER, A_HOME, A_VERSION, A_SA, A_SAPSWD, A_USER, A_UPWORD, A_DB, A_TABLE,
    A_MONSCRIPT, A_DETAILMONITOR, A_COUNT
};
constexpr const char* kAttrNames[A_COUNT] = {
    "Server", "Owner", "Home", "Version", "SA", "SApswd", "User", "UPword", "Db", "Table",
    "Monscript", "DetailMonitor",
};

constexpr char kScriptHome[] = "/opt/ZYLTqenone";
// The cycle counter's cookie name: never "dataserver" followed by anything,
// so it cannot meet a process cookie.
constexpr char kCycleCookiePrefix[] = "DetailCycle:";

// The script path in path (kSybPathBufSize bytes); false when it does not
// fit.
bool script_path(const char* monscript, char* path)
{
    size_t len;
    if (strncmp(monscript, "./", 2) == 0) {
        QENAgStrlcpy(path, kScriptHome, kSybPathBufSize);
        len = QENAgStrlcat(path, monscript + 1, kSybPathBufSize);
    } else {
        len = QENAgStrlcpy(path, monscript, kSybPathBufSize);
    }
    return len < static_cast<size_t>(kSybPathBufSize);
}

// Builds and checks the script path: it must fit and name a file its owner
// may execute. Logs message 28 when it does not.
bool usable_script(const char* monscript, char* path)
{
    bool fits = script_path(monscript, path);
    SYB_DBG(2, "Modified path of MonScript.");
    struct stat st;
    if (!fits || stat(path, &st) != 0 || (st.st_mode & S_IXUSR) == 0) {
        // A path too long to build is shown as it was configured.
        SYB_BOTH(1, 28,
                 "Access to Monscript '%s' denied. Detail Monitoring will not be enabled!! "
                 "Please specify a valid file.",
                 fits ? path : monscript);
        return false;
    }
    return true;
}

char* cycle_cookie_name(const char* resource)
{
    size_t size = sizeof kCycleCookiePrefix + strlen(resource);
    char* name = static_cast<char*>(malloc(size));
    if (name != nullptr) {
        QENAgStrlcpy(name, kCycleCookiePrefix, size);
        QENAgStrlcat(name, resource, size);
    }
    return name;
}

// Moves the cycle counter on; true when the script runs in this cycle.
bool detail_cycle_due(const char* resource, int n)
{
    char* cname = cycle_cookie_name(resource);
    if (cname == nullptr)
        return false;
    long counter = 0;
    pthread_cleanup_push(QENAgDelString, cname);
    void* value = QENAgGetCookie(cname);
    if (value == nullptr) {
        SYB_DBG(2,
                "Cookie for detailed monitoring for resource %s not found. Creating it for first "
                "use.",
                resource);
    } else {
        counter = static_cast<long>(reinterpret_cast<intptr_t>(value)) % n;
    }
    counter += 1;
    QENAgSetCookie(cname, reinterpret_cast<void*>(static_cast<intptr_t>(counter)));
    pthread_cleanup_pop(1);
    int due = counter == 1 ? 1 : 0;
    SYB_DBG(2,
            "Should I do Detail Monitoring in this monitor cycle? Answer is |%d| (because "
            "monitorCycleNumber is |%d|)",
            due, static_cast<int>(counter));
    return due == 1;
}

// The detail step: runs the monitor script when the counter says so and maps
// its exit code to state and confidence.
void SybaseDetailMonitor(const char* resource, char* const* v, int n, int container_flag,
                         int* state, int* confidence)
{
    SYB_DBG(1, "DetailMonitor is set.  Value of DetailMonitor variable is |%d|", n);
    if (!detail_cycle_due(resource, n))
        return;
    SYB_DBG(0, "Performing detailed (in-depth) monitoring");
    char path[kSybPathBufSize];
    if (!usable_script(v[A_MONSCRIPT], path)) {
        *state = QENAG_UNKNOWN;
        *confidence = 0;
        return;
    }

    char output[kSybOutputSize];
    int status = 0;
    int rc = -1;
    char** list = new (std::nothrow) char*[13];
    if (list == nullptr) {
        *state = QENAG_UNKNOWN;
        *confidence = 0;
        return;
    }
    pthread_cleanup_push(DelArgList, list);
    char* container_name = nullptr;
    if (container_flag == 1) {
        container_name = QENAgGetContainerName2();
        if (container_name != nullptr)
            SYB_DBG(2, "Passing container_name %s", container_name);
    }
    pthread_cleanup_push(QENAgDelString, container_name);
    list[0] = path;
    list[1] = const_cast<char*>(resource);
    list[2] = v[A_SERVER];
    list[3] = v[A_OWNER];
    list[4] = v[A_HOME];
    list[5] = v[A_VERSION];
    list[6] = v[A_SA];
    list[7] = v[A_SAPSWD];
    list[8] = v[A_USER];
    list[9] = v[A_UPWORD];
    list[10] = v[A_DB];
    list[11] = v[A_TABLE];
    list[12] = nullptr;
    memset(output, 0, sizeof output);
    rc = QENAgExecInContainer2(path, list, output, kSybOutputSize, &status);
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(1);

    if (rc != 0) {
        SYB_BOTH(0, 23, "QENAgExec returned failure when trying to execute indepth test");
        *state = QENAG_UNKNOWN;
        *confidence = 0;
        return;
    }
    if ((status & 0xff) != 0) {
        // Killed by a signal: the message names it.
        if (output[0] != '\0')
            SYB_AGENT(4, 8, "User Message: %s", output);
        SYB_AGENT(1, 9, "Monitor procedure %s did not exit. Return value is %d", path,
                  status & 0x7f);
        *state = QENAG_UNKNOWN;
        *confidence = 0;
        return;
    }
    int code = (status >> 8) & 0xff;
    SYB_DBG(2, "Indepth script exit status was %d:%d", rc, code);
    // This monitor has no "unsure" exit code: 99 is read as any other.
    const QENAgScriptVerdict verdict = QENAgReadScriptExit(code);
    if (verdict == QENAG_SCRIPT_OFFLINE) {
        if (output[0] != '\0')
            SYB_AGENT(3, 8, "User Message: %s", output);
        *state = QENAG_OFFLINE;
        *confidence = 0;
    } else if (verdict == QENAG_SCRIPT_ONLINE) {
        *confidence = QENAgScriptConfidence(code);
    } else {
        if (output[0] != '\0')
            SYB_AGENT(4, 8, "User Message: %s", output);
        SYB_BOTH(1, 29,
                 "Monitor script %s exited with a bad exit value (%d). Agent returning UNKNOWN.",
                 path, code);
        *state = QENAG_UNKNOWN;
        *confidence = 0;
    }
}

} // namespace

extern "C" int Validate(char* Server, char* Owner, char* Home, char* Version, char* SA,
                        char* SApswd, char* User, char* UPword, char* Db, char* Table,
                        char* Monscript, char* name)
{
    (void)SApswd;
    (void)UPword;
    for (char* value : {Server, Owner, Home, Version, SA, User, Db, Table, Monscript})
        trim(value);
    return SybFirstWithWhitespace({{Server, "Server"},
                                   {Owner, "Owner"},
                                   {Version, "Version"},
                                   {SA, "SA"},
                                   {User, "User"},
                                   {Db, "Db"},
                                   {Table, "Table"}},
                                  name)
               ? 0
               : 1;
}

extern "C" int IsNull(const char* Server, const char* Owner, const char* Home,
                      const char* Version, const char* SA, char* name)
{
    return SybFirstEmpty(
        {{Server, "Server"}, {Owner, "Owner"}, {Home, "Home"}, {Version, "Version"}, {SA, "SA"}},
        name);
}

extern "C" int IsNullDetailMonitorAttributes(const char* Monscript, const char* User,
                                             const char* UPword, const char* Db,
                                             const char* Table, char* name)
{
    return SybFirstEmpty({{Monscript, "MonScript"},
                          {User, "User"},
                          {UPword, "UPword"},
                          {Db, "Db"},
                          {Table, "Table"}},
                         name);
}

extern "C" int process_monitor(const char* res_name, char** attrs, int* confidence)
{
    int state = QENAG_ONLINE;
    int ignored_confidence = 0;
    char name[kSybNameBufSize];
    confidence = SybStartCycle(SYB_TAG, confidence, &ignored_confidence, name);

    // A missing attribute reads as an empty value; a missing DetailMonitor
    // is invalid.
    char empty[A_COUNT] = {};
    char* v[A_COUNT];
    bool present[A_COUNT];
    SybReadAttrs(attrs, kAttrNames, A_COUNT, empty, v, present);

    if (!Validate(v[A_SERVER], v[A_OWNER], v[A_HOME], v[A_VERSION], v[A_SA], v[A_SAPSWD],
                  v[A_USER], v[A_UPWORD], v[A_DB], v[A_TABLE], v[A_MONSCRIPT], name)) {
        SybLogContainsSpaces(SYB_TAG, name);
        return QENAG_UNKNOWN;
    }
    SYB_DBG(2, "Finished validation.");
    if (IsNull(v[A_SERVER], v[A_OWNER], v[A_HOME], v[A_VERSION], v[A_SA], name)) {
        SybLogNotSpecified(SYB_TAG, name);
        return QENAG_UNKNOWN;
    }
    SYB_DBG(2, "Finished null check.");

    char path[kSybPathBufSize];
    if (!usable_script(v[A_MONSCRIPT], path))
        return QENAG_UNKNOWN;
    SYB_DBG(2, "Finished checking permissions of MonScript.");

    const char* dm = v[A_DETAILMONITOR];
    SYB_DBG(1, "Checking validity of DetailMonitor attribute (current value: |%s|)", dm);
    char* ep = nullptr;
    errno = 0;
    long number = strtol(dm, &ep, 10);
    int err = errno;
    if (err != 0 || !present[A_DETAILMONITOR] || *ep != '\0' || number < 0 || number > INT_MAX) {
        SYB_AGENT(1, 3, "Incorrect value specified for DetailMonitor (%ld). Resource state is "
                        "UNKNOWN.",
                  number);
        SYB_DBG(0,
                "Incorrect value specified for DetailMonitor (%ld) (errno:%d, "
                "strDetailMonitor:|%s|, *ep:|%u|). Resource state is UNKNOWN.",
                number, err, dm, static_cast<unsigned>(static_cast<unsigned char>(*ep)));
        return QENAG_UNKNOWN;
    }
    int n = static_cast<int>(number);
    if (n > 0 && IsNullDetailMonitorAttributes(v[A_MONSCRIPT], v[A_USER], v[A_UPWORD], v[A_DB],
                                               v[A_TABLE], name)) {
        SybLogNotSpecified(SYB_TAG, name);
        return QENAG_UNKNOWN;
    }

    const SybFinderParams params = {
        "dataserver", "-s", v[A_SERVER], "Cookie name is: %s.", v[A_SERVER], SYB_TAG,
    };
    int container_flag = 0;
    int located = SybLocateServer(&params, res_name, v[A_OWNER], &container_flag);
    if (located != QENAG_ONLINE)
        return located;

    *confidence = kQENAgFoundConfidence;
    if (n == 0)
        return QENAG_ONLINE;
    SybaseDetailMonitor(res_name, v, n, container_flag, &state, confidence);
    return state;
}

extern "C" void QENAgStartup(void)
{
    SybRegisterMonitor(process_monitor);
}
