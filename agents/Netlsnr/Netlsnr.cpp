// The listener agent's monitor, its process finder and its detail monitor.
//
// Every buffer, descriptor, directory stream and argument vector is held
// under a cancellation cleanup handler: the framework may cancel the
// monitor's thread at any cancellation point (open, read, the script run).
// Nothing here is global or locked; state between cycles lives only in the
// framework's cookie store.
#include "Netlsnr.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <strings.h>
#include <sys/stat.h>
#include <unistd.h>

#include <new>

#include "QENAgFinder.h"
#include "QENAgHelper.h"
#include "QENAgScript.h"
#include "psinfo.h"
#include "qenagfw.h"

namespace {

constexpr const char kTag[] = "netlsnr_monitor";
constexpr const char kFile[] = "Netlsnr.sun";

#define LSNR_DBG(level, ...) QENAgLogDbgMsg1(level, kTag, kFile, __LINE__, 0, __VA_ARGS__)
#define LSNR_AGENT(sev, id, ...) QENAgLogMsg1(sev, kTag, kFile, __LINE__, id, 0, __VA_ARGS__)
#define LSNR_CONSOLE(sev, id, ...) \
    QENAgLogConsoleMsg1(sev, kTag, kFile, __LINE__, id, 0, __VA_ARGS__)

constexpr int kOffline = 0;
constexpr int kOnline = 1;
constexpr int kUnknown = 2;
constexpr int kNoProcess = NETLSNR_NO_PROCESS;

constexpr const char kProcList[] = "vuzlsnr ";
constexpr const char kDefaultListener[] = "LISTENER";
constexpr const char kScriptBase[] = "/opt/ZYLTagents/ha";

constexpr size_t kPathSize = kQENAgPathSize; // script path
constexpr size_t kProgPathSize = 255; // <Home>/bin/<process name>
constexpr int kOutputSize = 4096;     // the script's output
constexpr int kScriptArgs = 12;       // MonScriptArgList, NULL included

constexpr int kFoundConfidence = kQENAgFoundConfidence;

// Message ids.
constexpr int kMsgNoOwner = 202;
constexpr int kMsgNoHome = 203;
constexpr int kMsgBadOwner = 204;
constexpr int kMsgRestarted = 205;
constexpr int kMsgCookieRead = 206;
constexpr int kMsgCookieOpen = 207;
constexpr int kMsgProcDir = 208;
constexpr int kMsgScanRead = 209;
constexpr int kMsgSetCookie = 210;
constexpr int kMsgScriptOutput = 211;
constexpr int kMsgScriptStatus = 212;
constexpr int kMsgScriptNoExit = 213;
constexpr int kMsgExecFailed = 214;
constexpr int kMsgScriptDenied = 215;
constexpr int kMsgProgPathLong = 216;

// What a process must be to count as the resource's listener.
struct LsnrMatch {
    const char* prog_path; // <Home>/bin/<process name>
    const char* listener;
    int owner_uid;
    int container; // 1: the process must be in the resource's container
};

const char* error_text(int err, char* buf, size_t size)
{
    return strerror_r(err, buf, size);
}

// "<Home>[/]bin/<name>"; false when it does not fit (it is never cut).
bool build_program_path(const char* home, const char* name, char* out)
{
    size_t n = QENAgStrlcpy(out, home, kProgPathSize);
    if (n >= kProgPathSize)
        return false;
    if (n == 0 || out[n - 1] != '/')
        QENAgStrlcat(out, "/", kProgPathSize);
    QENAgStrlcat(out, "bin/", kProgPathSize);
    return QENAgStrlcat(out, name, kProgPathSize) < kProgPathSize;
}

// The cookie name: each of process name, resource name and listener name as
// "<length>:<text>", so that no two resources share a name (resource "a" with
// listener "bX" and resource "ab" with listener "X" differ). malloc'ed.
char* make_cookie_name(const char* proc_name, const char* res_name, const char* listener)
{
    const char* fmt = "%zu:%s%zu:%s%zu:%s";
    size_t lp = strlen(proc_name), lr = strlen(res_name), ll = strlen(listener);
    int len = snprintf(nullptr, 0, fmt, lp, proc_name, lr, res_name, ll, listener);
    if (len < 0)
        return nullptr;
    char* name = static_cast<char*>(malloc(static_cast<size_t>(len) + 1));
    if (name != nullptr)
        snprintf(name, static_cast<size_t>(len) + 1, fmt, lp, proc_name, lr, res_name, ll,
                 listener);
    return name;
}

bool in_container(const LsnrMatch& m, const psinfo_t& rec)
{
    return m.container != 1 || QENAgIsProcInContainer(&rec) >= 1;
}

// What one pass of the finder works with, for the hooks of the shared finder.
struct LsnrSearch {
    const LsnrMatch* m;
    const char* proc_name;
    const char* cookie_name;
};

void cookie_found(void* ctx, const char*)
{
    LSNR_DBG(2, "We got the cookie (%s)", static_cast<LsnrSearch*>(ctx)->cookie_name);
}

void cookie_open_failed(void* ctx, const char* value, int err)
{
    auto* s = static_cast<LsnrSearch*>(ctx);
    char ebuf[128];
    LSNR_AGENT(2, kMsgCookieOpen, "Open for %s failed, setting cookie to null", s->proc_name);
    LSNR_DBG(2, "open call failed for pid (%s) with error (%s)", value,
             error_text(err, ebuf, sizeof ebuf));
}

void cookie_read_failed(void* ctx, ssize_t got, int err)
{
    auto* s = static_cast<LsnrSearch*>(ctx);
    char ebuf[128];
    // A short record is as useless as none.
    LSNR_CONSOLE(2, kMsgCookieRead, "read for process %s failed with return code %d", s->proc_name,
                 static_cast<int>(got));
    LSNR_DBG(2, "read failed with error (%s)",
             got < 0 ? error_text(err, ebuf, sizeof ebuf) : "short read");
}

// The remembered process is checked as the scan checks a candidate (owner,
// container, command line), so that a reused pid never passes for the
// listener. The record's effective uid is the psinfo file's owner.
int cookie_still_ours(void* ctx, QENAgProc* proc)
{
    auto* s = static_cast<LsnrSearch*>(ctx);
    const LsnrMatch& m = *s->m;
    if (static_cast<int>(proc->info.pr_euid) == m.owner_uid && in_container(m, proc->info) &&
        CompareLsnrProc(proc->cmdline, m.prog_path, m.listener) == 1)
        return 1;
    LSNR_CONSOLE(2, kMsgRestarted, "Process %s restarted", s->proc_name);
    return 0;
}

// The entry's psinfo path is composed only when the trace is written.
void scan_stat_failed(void*, const char* entry, int err)
{
    LSNR_DBG(1, "stat call failed for proc file (/proc/%s/psinfo), errno (%d)", entry, err);
}

void scan_owner_differs(void*, const char* entry, int uid)
{
    LSNR_DBG(1, "Userid for process (/proc/%s/psinfo) is uid:(%d) did not match", entry, uid);
}

void scan_open_failed(void*, const char* path, int err)
{
    char ebuf[128];
    LSNR_DBG(1, "open call failed for (%s) with error (%s) - continue", path,
             error_text(err, ebuf, sizeof ebuf));
}

void scan_read_failed(void* ctx, ssize_t got, int err)
{
    auto* s = static_cast<LsnrSearch*>(ctx);
    // A short read leaves errno 0: the record is incomplete, so it is a
    // failed read like any other.
    switch (err) {
    case 0:
        LSNR_DBG(0, "read during scan for process failed with value 0");
        break;
    case ENOENT:
        LSNR_DBG(0, "read during scan for process failed with ENOENT");
        break;
    case EINTR:
        LSNR_DBG(0, "read during scan for process failed with EINTR");
        break;
    case EAGAIN:
        LSNR_DBG(0, "read during scan for process failed with EAGAIN");
        break;
    default:
        LSNR_CONSOLE(3, kMsgScanRead,
                     "read during scan for process %s failed with return code %d, errno = %d",
                     s->proc_name, static_cast<int>(got), err);
        break;
    }
}

int scan_match(void* ctx, QENAgProc* proc)
{
    const LsnrMatch& m = *static_cast<LsnrSearch*>(ctx)->m;
    if (!in_container(m, proc->info)) {
        LSNR_DBG(1, "Process (%s) not running inside container", proc->info.pr_psargs);
        return 0;
    }
    return CompareLsnrProc(proc->cmdline, m.prog_path, m.listener);
}

// The cookie re-check, then the scan of /proc; kUnknown when /proc cannot be
// read, else 0 with *found set.
int check_and_scan(LsnrSearch& s, bool* found)
{
    const char* cookie_name = s.cookie_name;
    QENAgProc proc;
    const QENAgCookieCheck check{&s, cookie_found, cookie_open_failed, cookie_read_failed,
                                 cookie_still_ours};
    *found = QENAgRecheckCookie(cookie_name, &check, &proc) == 1;
    LSNR_DBG(2, "after cookie processing name (%s)", cookie_name);
    if (*found)
        return 0;

    LSNR_DBG(2, "proc_ok = false");
    const QENAgScan scan{s.proc_name,      s.m->owner_uid, &s,       scan_stat_failed,
                         scan_owner_differs, scan_open_failed, scan_read_failed, scan_match};
    int rc = QENAgScanProcs(&scan, &proc);
    if (rc < 0) {
        int err = errno;
        LSNR_CONSOLE(0, kMsgProcDir, "Cannot open process directory");
        LSNR_DBG(0, "Open for /proc/ failed with error number (%d)", err);
        return kUnknown;
    }
    if (rc == 1) {
        *found = true;
        LSNR_AGENT(3, kMsgSetCookie, "Setting cookie for proc = %s, PID = %s", proc.cmdline,
                   proc.path);
        // A value that cannot be allocated leaves the listener found but not
        // remembered.
        QENAgStoreCookie(cookie_name, proc.path);
    }
    return 0;
}

// One process name of the list: cookie re-check, then scan. 1, 5 or 2.
int find_one(const char* proc_name, const char* res_name, const char* home, const char* listener,
             int owner_uid, int container)
{
    char prog_path[kProgPathSize];
    if (!build_program_path(home, proc_name, prog_path)) {
        LSNR_CONSOLE(1, kMsgProgPathLong,
                     "Path of the listener program under VIRUZE_HOME %s is too long", home);
        return kUnknown;
    }
    const LsnrMatch m{prog_path, listener, owner_uid, container};
    char* cookie_name = make_cookie_name(proc_name, res_name, listener);
    if (cookie_name == nullptr) {
        LSNR_DBG(0, "Internal error. Could not allocate memory");
        return kUnknown;
    }
    int result = kOnline;
    bool found = false;
    pthread_cleanup_push(QENAgDelString, cookie_name);
    LSNR_DBG(2, "Cookie name (%s)", cookie_name);
    LsnrSearch search{&m, proc_name, cookie_name};
    if (check_and_scan(search, &found) == kUnknown)
        result = kUnknown;
    else if (!found)
        result = kNoProcess;
    pthread_cleanup_pop(1);
    return result;
}

// "./x" lives under the agents' directory; anything else is used as given.
bool build_script_path(const char* mon_script, char* out)
{
    if (strncmp(mon_script, "./", 2) == 0) {
        QENAgStrlcpy(out, kScriptBase, kPathSize);
        return QENAgStrlcat(out, mon_script + 1, kPathSize) < kPathSize;
    }
    return QENAgStrlcpy(out, mon_script, kPathSize) < kPathSize;
}

// Holds the vector for the run only.
int run_script(const char* path, char** argv, char* output, int* status)
{
    int ret;
    pthread_cleanup_push(DelArgList, argv);
    memset(output, 0, kOutputSize);
    LSNR_DBG(2, "After memset of buffer");
    ret = QENAgExecInContainer2(path, argv, output, kOutputSize, status);
    pthread_cleanup_pop(1);
    return ret;
}

// The attribute's first word, or NULL when it has none.
char* first_word(char* value)
{
    char* word = nullptr;
    if (value != nullptr)
        qenag_squeeze_spaces(value, &word);
    return word;
}

} // namespace

extern "C" int CompareLsnrProc(const char* cmdline, const char* prog_path, const char* listener)
{
    if (cmdline == nullptr || prog_path == nullptr || listener == nullptr)
        return 0;
    const char* at = strstr(cmdline, prog_path);
    if (at == nullptr)
        return 0;
    at += strlen(prog_path);
    // One separator follows the program; a command line that ends here names
    // no listener.
    if (*at == '\0')
        return 0;
    ++at;
    size_t len = strlen(listener);
    if (strncasecmp(at, listener, len) != 0)
        return 0;
    switch (at[len]) {
    case '\0':
    case ' ':
    case '\t':
    case '\n':
    case '\v':
    case '\f':
    case '\r':
        return 1;
    default:
        return 0;
    }
}

extern "C" int FindLsnrProc(const char* res_name, const char* home, const char* listener,
                            int owner_uid, int container)
{
    if (res_name == nullptr || home == nullptr || listener == nullptr)
        return kUnknown;
    char* list = strdup(kProcList);
    if (list == nullptr) {
        LSNR_DBG(0, "Internal error.Could not allocate memory");
        return kUnknown;
    }
    int result = kOnline;
    pthread_cleanup_push(QENAgDelString, list);
    LSNR_DBG(2, "Proc list (%s)", list);
    char* save = nullptr;
    for (char* name = strtok_r(list, " ", &save); name != nullptr;
         name = strtok_r(nullptr, " ", &save)) {
        result = find_one(name, res_name, home, listener, owner_uid, container);
        if (result == kNoProcess || result == kUnknown)
            break;
    }
    pthread_cleanup_pop(1);
    return result;
}

extern "C" int LsnrDetailMonitor(const char* res_name, const LsnrAttrs* a, int* confidence)
{
    char path[kPathSize];
    bool fits = build_script_path(a->mon_script, path);
    LSNR_DBG(2, "Starting detail monitoring for the resource");

    struct stat st;
    if (!fits || stat(path, &st) != 0 || (st.st_mode & S_IXUSR) == 0) {
        // A path too long for its buffer is named as configured, never cut.
        LSNR_CONSOLE(4, kMsgScriptDenied,
                     "Access to Monscript %s denied. Detail Monitoring will not  be enabled!! "
                     "Please specify a valid file.",
                     fits ? path : a->mon_script);
        return kOnline;
    }
    LSNR_DBG(2, "opened sql_test is %s", path);

    char** argv = new (std::nothrow) char*[kScriptArgs];
    if (argv == nullptr) {
        LSNR_AGENT(4, kMsgExecFailed,
                   "QENAgExec returned failure when trying to execute in-depth monitor test");
        *confidence = 0;
        return kUnknown;
    }
    // Absent optional values are passed as empty texts, so that every later
    // argument keeps its position.
    const char* values[kScriptArgs] = {
        path,          res_name,          a->owner,
        a->home,       a->tns_admin,      a->listener,
        a->env_file,   a->mon_script,     a->lsnr_pwd,
        a->agent_debug ? a->agent_debug : "", a->encoding ? a->encoding : "", nullptr,
    };
    for (int i = 0; i < kScriptArgs; ++i)
        argv[i] = const_cast<char*>(values[i]);

    char output[kOutputSize];
    int status = 0;
    int ret = run_script(path, argv, output, &status);
    LSNR_DBG(2, "executed sql_test (%s) returned (%d)", path, ret);

    if (ret != 0) {
        LSNR_AGENT(4, kMsgExecFailed,
                   "QENAgExec returned failure when trying to execute in-depth monitor test");
        *confidence = 0;
        return kUnknown;
    }
    const bool has_output = output[0] != '\0';
    if ((status & 0xff) != 0) {
        if (has_output)
            LSNR_AGENT(4, kMsgScriptOutput, "Monitor procedure %s returned the output: %s", path,
                       output);
        LSNR_AGENT(4, kMsgScriptNoExit, "Monitor procedure %s did not exit. Return value is  %d",
                   path, ret);
        *confidence = 0;
        return kUnknown;
    }
    const int code = (status >> 8) & 0xff;
    switch (QENAgReadScriptExit(code)) {
    case QENAG_SCRIPT_UNSURE:
        if (has_output)
            LSNR_AGENT(4, kMsgScriptOutput, "Monitor procedure %s returned the output: %s", path,
                       output);
        *confidence = kQENAgFoundConfidence;
        return kUnknown;
    case QENAG_SCRIPT_OFFLINE:
        if (has_output)
            LSNR_CONSOLE(4, kMsgScriptOutput, "Monitor procedure %s returned the output: %s", path,
                         output);
        *confidence = 0;
        return kOffline;
    case QENAG_SCRIPT_ONLINE:
        *confidence = QENAgScriptConfidence(code);
        return kOnline;
    case QENAG_SCRIPT_OTHER:
        break;
    }
    if (has_output)
        LSNR_CONSOLE(4, kMsgScriptOutput, "Monitor procedure %s returned the output: %s", path,
                     output);
    LSNR_AGENT(4, kMsgScriptStatus, "Monitor procedure %s returned the status: %d", path, code);
    *confidence = 0;
    return kUnknown;
}

extern "C" int netlsnr_monitor(const char* res_name, char** attrs, int* confidence)
{
    *confidence = 0;
    LSNR_DBG(2, "Starting monitor ....");

    // Each lookup fills its own holder; a failed one leaves it NULL (the
    // lookup has logged why). One hint serves the nine lookups.
    char* raw[9] = {};
    static constexpr const char* kNames[9] = {"Owner",  "Home",    "TnsAdmin",
                                              "Listener", "MonScript", "EnvFile",
                                              "LsnrPwd", "AgentDebug", "Encoding"};
    int hint = -1;
    for (int i = 0; i < 9; ++i) {
        char* value = nullptr;
        if (qenag_get_attr_value(attrs, kNames[i], &value, hint, 1) == QENAG_OK)
            raw[i] = value;
    }
    LsnrAttrs a{};
    a.owner = first_word(raw[0]);
    a.home = first_word(raw[1]);
    const char* tns = first_word(raw[2]);
    a.tns_admin = tns ? tns : "";
    const char* listener = first_word(raw[3]);
    const char* mon = first_word(raw[4]);
    a.mon_script = mon ? mon : "";
    const char* env = first_word(raw[5]);
    a.env_file = env ? env : "";
    const char* pwd = first_word(raw[6]);
    a.lsnr_pwd = pwd ? pwd : "";
    a.agent_debug = raw[7];
    a.encoding = raw[8];

    if (a.owner == nullptr) {
        LSNR_CONSOLE(1, kMsgNoOwner, "No owner for Viruze executables was specified");
        return kUnknown;
    }
    if (a.home == nullptr) {
        LSNR_CONSOLE(1, kMsgNoHome, "No VIRUZE_HOME specified");
        return kUnknown;
    }

    const int container = QENAgIsContainerCapable();
    if (container == 1) {
        int id = QENAgGetContainerID2();
        LSNR_DBG(2, "Container id is (%d)", id);
        if (id == -1) {
            LSNR_DBG(0, "Zone is not running");
            return kOffline;
        }
    }

    int uid = -1, euid = -1, other = -1;
    int ret = QENAgGetUID(a.owner, &uid, &euid, &other);
    if (ret != 0 || uid == -1) {
        LSNR_CONSOLE(1, kMsgBadOwner, "Invalid owner %s for Viruze executables was specified",
                     a.owner);
        LSNR_DBG(0, "Failure in identifying user credentials. uid=(%d), euid=(%d), ret=(%d)", uid,
                 euid, ret);
        return kUnknown;
    }
    LSNR_DBG(0, "The uid for user (%s) is (%d)", a.owner, uid);

    a.listener = listener ? listener : kDefaultListener;

    const int found = FindLsnrProc(res_name, a.home, a.listener, uid, container);
    if (found == kUnknown) {
        LSNR_DBG(0, "state is Unknown");
        return kUnknown;
    }
    if (found == kNoProcess) {
        LSNR_DBG(0, "state is Offline with value as (%d)", kNoProcess);
        return kNoProcess;
    }
    *confidence = kFoundConfidence;
    if (a.mon_script[0] == '\0')
        return kOnline;
    return LsnrDetailMonitor(res_name, &a, confidence);
}
