// Routines both Sybase agents share: trimming, owner resolution, the
// server-process finder with its process cookie, and the monitor steps both
// agents take alike.
#include "SybaseCommon.h"

#include <ctype.h>
#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <pwd.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include "QENAgFinder.h"
#include "QENAgHelper.h"
#include "pwent.h"

namespace {

constexpr char white_space[] = " ";
constexpr char kIdProgram[] = "/usr/bin/id";
constexpr char kZoneTag[] = "getZoneUserId";

void report_name(char* name, const char* attr)
{
    QENAgStrlcpy(name, attr, strlen(attr) + 1);
}

bool blank_or_tab(char c)
{
    return c == ' ' || c == '\t';
}

// "<program><resource>" in a heap buffer of the two lengths plus 2 bytes, or
// NULL when memory is short.
char* make_cookie_name(const char* program, const char* resource)
{
    size_t size = strlen(program) + strlen(resource) + 2;
    char* name = static_cast<char*>(malloc(size));
    if (name != nullptr) {
        QENAgStrlcpy(name, program, size);
        QENAgStrlcat(name, resource, size);
    }
    return name;
}

// What the finder looks for, for the hooks of the shared finder.
struct SybSearch {
    const SybFinderParams* p;
    const char* program;
    const char* resource;
    const char* owner;
    int uid;
    int container_flag;
    int container_id;
    bool owner_ok; // the owner was found in the user database in this scan
};

bool in_zone(const SybSearch& s, const psinfo_t& rec)
{
    return s.container_flag != 1 || rec.pr_zoneid == s.container_id;
}

// The scan's match applied to the remembered process: owner, zone, program
// and server.
int cookie_still_ours(void* ctx, QENAgProc* proc)
{
    auto* s = static_cast<SybSearch*>(ctx);
    const psinfo_t& rec = proc->info;
    if (rec.pr_euid == static_cast<uint32_t>(s->uid) && in_zone(*s, rec) &&
        strstr(proc->cmdline, s->program) != nullptr &&
        SybMatchServer(proc->cmdline, s->p->srv_option, s->p->server) == 0) {
        SYB_DBG_T(0, s->p->tag, "Command line for prcess %s: \n>>>%s<<<\n", proc->path,
                  proc->cmdline);
        return 1;
    }
    // The pid now belongs to another process, or to another server, owner
    // or zone.
    SYB_BOTH_T(0, s->p->tag, 4, "Process %s restarted", s->program);
    return 0;
}

void cookie_open_failed(void* ctx, const char*, int)
{
    auto* s = static_cast<SybSearch*>(ctx);
    SYB_CONSOLE_T(2, s->p->tag, 301, "Open for %s failed, setting cookie to NULL", s->program);
}

void cookie_read_failed(void* ctx, ssize_t got, int)
{
    auto* s = static_cast<SybSearch*>(ctx);
    SYB_CONSOLE_T(1, s->p->tag, 300, "ioctl for process %s failed with return code %d",
                  s->program, static_cast<int>(got));
}

void scan_read_failed(void* ctx, ssize_t got, int err)
{
    auto* s = static_cast<SybSearch*>(ctx);
    // A short record is skipped quietly, as are processes that ended.
    if (got < 0 && err != 0 && err != ENOENT && err != EAGAIN)
        SYB_CONSOLE_T(1, s->p->tag, 303,
                      "ioctl during scan for process %s failed with return code %d, errno = %d",
                      s->program, static_cast<int>(got), err);
}

// Whether the owner exists in the user database of the zone its uid came
// from: the global zone's, or (container_id not 0) the resource's zone.
bool owner_exists(const SybSearch& s)
{
    int err = 0;
    if (s.container_id != 0) {
        int zone_uid = 0;
        if (getZoneUserId(s.owner, &zone_uid) == ZONE_UID_FOUND)
            return true;
    } else {
        err = qen_lookup_user(s.owner, nullptr, nullptr);
        if (err == 0)
            return true;
        if (err < 0)
            err = 0; // no such entry
    }
    SYB_CONSOLE_T(1, s.p->tag, 6,
                  "Cannot find matching entry for user %s, errno = %d, check the Owner attribute "
                  "of resource %s",
                  s.owner, err, s.resource);
    SYB_AGENT_T(0, s.p->tag, 6,
                "Cannot find matching entry for user %s, errno = %d, check the Owner attribute of "
                "resource %s",
                s.owner, err, s.resource);
    return false;
}

int scan_match(void* ctx, QENAgProc* proc)
{
    auto* s = static_cast<SybSearch*>(ctx);
    const SybFinderParams* p = s->p;
    if (!in_zone(*s, proc->info) || strstr(proc->cmdline, s->program) == nullptr)
        return 0;
    SYB_DBG_T(0, p->tag, "Found process \n>>>%s<<<\n\tcontaining\n>>>%s<<<\nArguments: >>>%s<<<\n",
              proc->cmdline, s->program, proc->cmdline);
    if (!s->owner_ok) {
        s->owner_ok = owner_exists(*s);
        if (!s->owner_ok)
            return 0;
    }
    switch (SybMatchServer(proc->cmdline, p->srv_option, p->server)) {
    case 0:
        return 1;
    case 1:
        SYB_DBG_T(1, p->tag, "Is not a expected server. (Missing %s option?)", p->srv_option);
        return 0;
    case 2:
        SYB_DBG_T(1, p->tag,
                  "Is not a expected data server. (Is there any other data server running with "
                  "different server name?)");
        return 0;
    default:
        SYB_DBG_T(1, p->tag,
                  "Is not a expected data server. (Is there any other data server running with "
                  "same left-matching server name as this one?)");
        return 0;
    }
}

// Cookie re-check, then the scan, for one program of the list: 1 found, 0
// not, 2 when the process directory cannot be opened.
int find_program(SybSearch& s, QENAgProc* proc)
{
    const SybFinderParams* p = s.p;
    int found = 0;
    int result = SYB_PROC_FOUND;
    char* cname = make_cookie_name(s.program, s.resource);
    pthread_cleanup_push(QENAgDelString, cname);
    if (cname != nullptr) {
        SYB_DBG_T(0, p->tag, p->cookie_trace, cname);
        const QENAgCookieCheck check{&s, nullptr, cookie_open_failed, cookie_read_failed,
                                     cookie_still_ours};
        found = QENAgRecheckCookie(cname, &check, proc);
    }
    SYB_DBG_T(0, p->tag, "Cookie analysis finished. proc_ok is %s", found ? "TRUE" : "FALSE");
    if (!found) {
        const QENAgScan scan{s.program, s.uid,   &s, nullptr, nullptr, nullptr,
                             scan_read_failed, scan_match};
        s.owner_ok = false;
        found = QENAgScanProcs(&scan, proc);
        if (found < 0) {
            SYB_CONSOLE_T(0, p->tag, 302, "Cannot open process directory");
            result = SYB_PROCDIR_FAILED;
        } else if (found == 1) {
            if (cname != nullptr) {
                SYB_DBG_T(0, p->tag, p->cookie_trace, cname);
                QENAgStoreCookie(cname, proc->path);
            }
            SYB_BOTH_T(4, p->tag, 7, "Setting cookie for proc = %s, PID = %s", proc->cmdline,
                       proc->path);
        }
    }
    pthread_cleanup_pop(1);
    if (result == SYB_PROC_FOUND && !found) {
        SYB_DBG_T(0, p->tag, "Could not find a process for data server %s. Returning OFFLINE.",
                  p->notfound_server);
        result = SYB_PROC_NOT_FOUND;
    }
    return result;
}

} // namespace

extern "C" void trim(char* value)
{
    SYB_DBG_T(3, "trim", "Untrimmed attribute value: |%s|", value);
    size_t start = strspn(value, " \t");
    size_t end = strlen(value);
    while (end > start && blank_or_tab(value[end - 1]))
        --end;
    memmove(value, value + start, end - start);
    value[end - start] = '\0';
    SYB_DBG_T(3, "trim", "Trimmed attribute value: |%s|", value);
}

extern "C" int containsWhitespaces(const char* value)
{
    return strpbrk(value, " \t") != nullptr ? 1 : 0;
}

extern "C" int isValidUser(const char* user)
{
    if (user == nullptr || user[0] == '\0' || strcmp(user, " ") == 0)
        return 0;
    uid_t uid = 0;
    if (qen_lookup_user(user, &uid, nullptr) != 0)
        return 0;
    return static_cast<int>(uid);
}

extern "C" int getZoneUserId(const char* user, int* uid)
{
    char output[kSybOutputSize];
    output[0] = '\0';
    int status = 0;
    char* const argv[] = {const_cast<char*>(kIdProgram), const_cast<char*>(user), nullptr};
    if (QENAgExecInContainer2(kIdProgram, argv, output, kSybOutputSize, &status) != 0) {
        SYB_AGENT_T(2, kZoneTag, 61,
                  "%s:QENAgExecInContainer() failed, could not execute program (%s).", kZoneTag,
                  kIdProgram);
        return ZONE_ID_NOT_RUN;
    }
    if ((status & 0xff) != 0) {
        SYB_AGENT_T(2, kZoneTag, 62, "%s:Abnormal termination of program (%s).", kZoneTag,
                  kIdProgram);
        return ZONE_ID_NOT_RUN;
    }
    if (output[0] == '\0')
        return ZONE_NOT_RUNNING;
    SYB_DBG_T(3, kZoneTag, "Output of %s for user=%s is:%s", kIdProgram, user, output);
    str_chomp(output);
    if (((status >> 8) & 0xff) != 0) {
        SYB_AGENT_T(1, kZoneTag, 65, "%s:Error while getting information about user:%s (%s).",
                  kZoneTag, user, output);
        SYB_CONSOLE_T(1, kZoneTag, 65, "%s:Error while getting information about user:%s (%s).",
                    kZoneTag, user, output);
        return ZONE_NO_SUCH_USER;
    }
    *uid = 0;
    SYB_DBG_T(0, kZoneTag, "User String:%s", output);
    const char* at = strstr(output, "uid=");
    if (at == nullptr)
        return ZONE_NO_UID;
    *uid = atoi(at + 4);
    SYB_DBG_T(0, kZoneTag, "User String:%d", *uid);
    return ZONE_UID_FOUND;
}

extern "C" void ModifyArgsBuffer(char* args, unsigned long argsSize, char* first,
                                 unsigned long firstSize, int length)
{
    if (args == nullptr || argsSize == 0)
        return;
    unsigned long limit = length < 0 ? 0 : static_cast<unsigned long>(length);
    if (limit > argsSize)
        limit = argsSize;
    for (unsigned long i = 0; i + 1 < limit; ++i) {
        if (args[i] != '\0')
            continue;
        if (args[i + 1] == '\0')
            break;
        args[i] = ' ';
    }
    if (strnlen(args, argsSize) == argsSize)
        args[argsSize - 1] = '\0';

    // The first word, and what follows the blank that ends it.
    size_t start = strspn(args, white_space);
    size_t word = strcspn(args + start, white_space);
    const char* rest = args + start + word;
    if (*rest != '\0')
        ++rest;
    if (first != nullptr && firstSize > 0) {
        size_t n = word < firstSize - 1 ? word : firstSize - 1;
        memcpy(first, args + start, n);
        first[n] = '\0';
    }
    memmove(args, rest, strlen(rest) + 1);
}

extern "C" int SybMatchServer(const char* psargs, const char* option, const char* server)
{
    const char* hit = nullptr;
    for (const char* at = strstr(psargs, option); at != nullptr; at = strstr(at + 1, option)) {
        if (at > psargs && isspace(static_cast<unsigned char>(at[-1]))) {
            hit = at;
            break;
        }
    }
    if (hit == nullptr)
        return 1;
    const char* name = hit + strlen(option);
    while (*name == ' ')
        ++name;
    size_t len = strlen(server);
    if (strncmp(name, server, len) != 0)
        return 2;
    unsigned char after = static_cast<unsigned char>(name[len]);
    if (after != '\0' && !isspace(after))
        return 3;
    return 0;
}

extern "C" int FindServerProc(const SybFinderParams* p, const char* resource, const char* owner,
                              int uid, int container_flag, int container_id)
{
    SYB_DBG_T(0, p->tag, "Performing process stats monitoring");
    size_t size = strlen(p->proc_list) + 1;
    char* list = static_cast<char*>(malloc(size));
    if (list == nullptr)
        return SYB_PROCDIR_FAILED;
    int result = SYB_PROC_FOUND;
    pthread_cleanup_push(QENAgDelString, list);
    memcpy(list, p->proc_list, size);
    QENAgProc proc;
    SybSearch s{p, nullptr, resource, owner, uid, container_flag, container_id, false};
    char* save = nullptr;
    for (char* program = strtok_r(list, white_space, &save); program != nullptr;
         program = strtok_r(nullptr, white_space, &save)) {
        s.program = program;
        int r = find_program(s, &proc);
        if (r == SYB_PROCDIR_FAILED) {
            result = r;
            break;
        }
        if (r == SYB_PROC_NOT_FOUND)
            result = r;
    }
    pthread_cleanup_pop(1);
    return result;
}

int SybFirstWithWhitespace(std::initializer_list<SybNamedValue> values, char* name)
{
    for (const SybNamedValue& c : values) {
        if (containsWhitespaces(c.value)) {
            report_name(name, c.attr);
            return 1;
        }
    }
    return 0;
}

int SybFirstEmpty(std::initializer_list<SybNamedValue> values, char* name)
{
    for (const SybNamedValue& c : values) {
        if (c.value[0] == '\0') {
            report_name(name, c.attr);
            return 1;
        }
    }
    return 0;
}

int* SybStartCycle(const char* tag, int* confidence, int* spare, char* name)
{
    if (confidence == nullptr)
        confidence = spare;
    SYB_DBG_T(0, tag, "Starting a new monitor cycle.");
    *confidence = 0;
    memset(name, 0, kSybNameBufSize);
    return confidence;
}

void SybReadAttrs(char** attrs, const char* const* names, int count, char* empty, char** v,
                  bool* present)
{
    int index = -1;
    for (int i = 0; i < count; ++i) {
        char* value = nullptr;
        bool found = qenag_get_attr_value(attrs, names[i], &value, index, 1) == QENAG_OK &&
                     value != nullptr;
        v[i] = found ? value : empty + i;
        if (present != nullptr)
            present[i] = found;
    }
}

void SybLogContainsSpaces(const char* tag, const char* name)
{
    SYB_BOTH_T(1, tag, 1, "Attribute value %s contains spaces. Resource state is UNKNOWN.", name);
}

void SybLogNotSpecified(const char* tag, const char* name)
{
    SYB_BOTH_T(1, tag, 2, "Attribute %s is not specified. Resource state is UNKNOWN.", name);
}

int SybLocateServer(const SybFinderParams* p, const char* resource, const char* owner,
                    int* container_flag)
{
    *container_flag = QENAgIsContainerCapable();
    int container_id = 0;
    if (*container_flag == 1) {
        container_id = QENAgGetContainerID2();
        SYB_DBG_T(2, p->tag, "Zone id is %d", container_id);
        if (container_id == -1) {
            SYB_DBG_T(0, p->tag, "Zone is not running");
            return QENAG_OFFLINE;
        }
    } else {
        SYB_DBG_T(2, p->tag, "Zone is NOT enabled.");
    }

    int uid = 0;
    if (container_id == 0) {
        uid = isValidUser(owner);
        if (uid == 0) {
            SYB_CONSOLE_T(1, p->tag, 204, "Invalid owner %s for Sybase executables was specified",
                          owner);
            return QENAG_UNKNOWN;
        }
    } else {
        switch (getZoneUserId(owner, &uid)) {
        case ZONE_NOT_RUNNING:
            SYB_DBG_T(0, p->tag, "Zone is not running");
            return QENAG_OFFLINE;
        case ZONE_NO_SUCH_USER:
        case ZONE_NO_UID:
            SYB_CONSOLE_T(1, p->tag, 204, "Invalid owner %s for Sybase executables was specified",
                          owner);
            return QENAG_UNKNOWN;
        case ZONE_UID_FOUND:
            break;
        default:
            return QENAG_UNKNOWN;
        }
    }

    int found = FindServerProc(p, resource, owner, uid, *container_flag, container_id);
    if (found == SYB_PROC_FOUND)
        return QENAG_ONLINE;
    return found == SYB_PROC_NOT_FOUND ? QENAG_OFFLINE : QENAG_UNKNOWN;
}

void SybRegisterMonitor(QENAgMonitorFn monitor)
{
    QENAgSetLogCategory(20018);
    AgentEntryPoints table;
    memset(&table, 0, sizeof table);
    table.monitor = monitor;
    QENAgRegisterEPStruct(QENAG_EP_TABLE_VERSION, &table);
}
