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

#include "QENAgHelper.h"

namespace {

constexpr char white_space[] = " ";
constexpr char procd[] = "/proc/";
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

// getpwnam_r with cancellation held off: the C library's user-database
// stream has no cleanup handler of ours, and must not be left open.
int lookup_user(const char* user, struct passwd* pw, char* buf, size_t size,
                struct passwd** entry)
{
    int old = 0;
    pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old);
    int err = getpwnam_r(user, pw, buf, size, entry);
    pthread_setcancelstate(old, nullptr);
    return err;
}

void* as_handler_arg(int fd)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(fd));
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

// Reads one whole psinfo record from fd; the descriptor is closed (also when
// the thread is cancelled in the read). Returns the read result; a record is
// usable only when it equals sizeof(psinfo_t).
ssize_t read_record(int fd, psinfo_t* rec, int* err)
{
    ssize_t n;
    pthread_cleanup_push(QENAgCloseFile, as_handler_arg(fd));
    errno = 0;
    n = read(fd, rec, sizeof *rec);
    *err = errno;
    pthread_cleanup_pop(1);
    rec->pr_psargs[PRARGSZ - 1] = '\0';
    return n;
}

// Whether the record is a candidate of the scan: a process of program run by
// uid, in the zone when container_flag is 1.
bool is_candidate(const psinfo_t& rec, const char* program, int uid, int container_flag,
                  int container_id)
{
    if (rec.pr_euid != static_cast<uint32_t>(uid))
        return false;
    if (container_flag == 1 && rec.pr_zoneid != container_id)
        return false;
    return strstr(rec.pr_psargs, program) != nullptr;
}

// The scan's match applied to one record: owner, zone, program and server.
bool is_our_server(const psinfo_t& rec, const SybFinderParams* p, const char* program, int uid,
                   int container_flag, int container_id)
{
    return is_candidate(rec, program, uid, container_flag, container_id) &&
           SybMatchServer(rec.pr_psargs, p->srv_option, p->server) == 0;
}

// Re-checks the process the cookie of program remembers. Returns 1 when it
// is still the server; otherwise the cookie is cleared and its value freed.
int check_cookie(const SybFinderParams* p, const char* program, const char* resource, int uid,
                 int container_flag, int container_id)
{
    int found = 0;
    char* cname = make_cookie_name(program, resource);
    if (cname == nullptr)
        return 0;
    pthread_cleanup_push(QENAgDelString, cname);
    SYB_DBG_T(0, p->tag, p->cookie_trace, cname);
    char* value = static_cast<char*>(QENAgGetCookie(cname));
    if (value != nullptr) {
        int fd = psinfo_open(value, O_RDONLY);
        if (fd < 0) {
            SYB_CONSOLE_T(2, p->tag, 301, "Open for %s failed, setting cookie to NULL", program);
        } else {
            psinfo_t rec;
            int err = 0;
            ssize_t n = read_record(fd, &rec, &err);
            if (n != static_cast<ssize_t>(sizeof rec)) {
                // A short record is as unusable as a failed read.
                SYB_CONSOLE_T(1, p->tag, 300, "ioctl for process %s failed with return code %d",
                            program, static_cast<int>(n));
            } else if (is_our_server(rec, p, program, uid, container_flag, container_id)) {
                found = 1;
                SYB_DBG_T(0, p->tag, "Command line for prcess %s: \n>>>%s<<<\n", value,
                        rec.pr_psargs);
            } else {
                // The pid now belongs to another process, or to another
                // server, owner or zone.
                SYB_BOTH_T(0, p->tag, 4, "Process %s restarted", program);
            }
        }
        if (!found) {
            QENAgSetCookie(cname, nullptr);
            free(value);
        }
    }
    pthread_cleanup_pop(1);
    SYB_DBG_T(0, p->tag, "Cookie analysis finished. proc_ok is %s", found ? "TRUE" : "FALSE");
    return found;
}

// Whether the owner exists in the user database of the zone its uid came
// from: the global zone's, or (container_id not 0) the resource's zone.
bool owner_exists(const SybFinderParams* p, const char* owner, const char* resource,
                  int container_id)
{
    int err = 0;
    if (container_id != 0) {
        int zone_uid = 0;
        if (getZoneUserId(owner, &zone_uid) == ZONE_UID_FOUND)
            return true;
    } else {
        struct passwd pw;
        struct passwd* entry = nullptr;
        char buf[4096];
        err = lookup_user(owner, &pw, buf, sizeof buf, &entry);
        if (err == 0 && entry != nullptr)
            return true;
    }
    SYB_CONSOLE_T(1, p->tag, 6,
                "Cannot find matching entry for user %s, errno = %d, check the Owner attribute of "
                "resource %s",
                owner, err, resource);
    SYB_AGENT_T(0, p->tag, 6,
              "Cannot find matching entry for user %s, errno = %d, check the Owner attribute of "
              "resource %s",
              owner, err, resource);
    return false;
}

// Remembers the process at path in the cookie of program.
void set_cookie(const SybFinderParams* p, const char* program, const char* resource,
                const char* path, const char* psargs)
{
    char* value = static_cast<char*>(malloc(kSybPathBufSize));
    if (value == nullptr)
        return;
    pthread_cleanup_push(QENAgDelString, value);
    QENAgStrlcpy(value, path, kSybPathBufSize);
    char* cname = make_cookie_name(program, resource);
    pthread_cleanup_push(QENAgDelString, cname);
    if (cname != nullptr) {
        SYB_DBG_T(0, p->tag, p->cookie_trace, cname);
        QENAgSetCookie(cname, value);
    }
    pthread_cleanup_pop(1);
    pthread_cleanup_pop(cname == nullptr ? 1 : 0);
    SYB_BOTH_T(4, p->tag, 7, "Setting cookie for proc = %s, PID = %s", psargs, path);
}

// Scans the process directory for program. Returns 2 when the directory
// cannot be opened, else 0 with *found set.
int scan(const SybFinderParams* p, const char* program, const char* resource, const char* owner,
         int uid, int container_flag, int container_id, int* found)
{
    DIR* dir = opendir(procd);
    if (dir == nullptr) {
        SYB_CONSOLE_T(0, p->tag, 302, "Cannot open process directory");
        return SYB_PROCDIR_FAILED;
    }
    bool owner_ok = false;
    pthread_cleanup_push(CloseDir, dir);
    struct dirent* ent;
    while ((ent = readdir(dir)) != nullptr) {
        if (ent->d_name[0] == '.')
            continue;
        // The process directory belongs to the process's effective uid, as
        // its psinfo file does, so other owners' processes are passed over
        // without building their records. The kernel shows a process that
        // is not dumpable (one that changed its credentials) as root's: its
        // record decides below.
        struct stat st;
        if (fstatat(dirfd(dir), ent->d_name, &st, 0) != 0 ||
            (st.st_uid != static_cast<uid_t>(uid) && st.st_uid != 0))
            continue;
        char path[kSybPathBufSize];
        QENAgStrlcpy(path, procd, sizeof path);
        QENAgStrlcat(path, ent->d_name, sizeof path);
        if (QENAgStrlcat(path, "/psinfo", sizeof path) >= sizeof path)
            continue;
        int fd = psinfo_open(path, O_RDONLY);
        if (fd < 0)
            continue;
        psinfo_t rec;
        int err = 0;
        ssize_t n = read_record(fd, &rec, &err);
        if (n < 0) {
            if (err != 0 && err != ENOENT && err != EAGAIN)
                SYB_CONSOLE_T(1, p->tag, 303,
                            "ioctl during scan for process %s failed with return code %d, "
                            "errno = %d",
                            program, static_cast<int>(n), err);
            continue;
        }
        if (n != static_cast<ssize_t>(sizeof rec))
            continue; // a short record is never searched
        // The psinfo file's owner is read from the record itself.
        if (!is_candidate(rec, program, uid, container_flag, container_id))
            continue;
        SYB_DBG_T(0, p->tag,
                "Found process \n>>>%s<<<\n\tcontaining\n>>>%s<<<\nArguments: >>>%s<<<\n",
                rec.pr_psargs, program, rec.pr_psargs);
        if (!owner_ok) {
            owner_ok = owner_exists(p, owner, resource, container_id);
            if (!owner_ok)
                continue;
        }
        int match = SybMatchServer(rec.pr_psargs, p->srv_option, p->server);
        if (match == 1) {
            SYB_DBG_T(1, p->tag, "Is not a expected server. (Missing %s option?)", p->srv_option);
            continue;
        }
        if (match == 2) {
            SYB_DBG_T(1, p->tag,
                    "Is not a expected data server. (Is there any other data server running "
                    "with different server name?)");
            continue;
        }
        if (match == 3) {
            SYB_DBG_T(1, p->tag,
                    "Is not a expected data server. (Is there any other data server running "
                    "with same left-matching server name as this one?)");
            continue;
        }
        set_cookie(p, program, resource, path, rec.pr_psargs);
        *found = 1;
        break;
    }
    pthread_cleanup_pop(1);
    return 0;
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
    struct passwd pw;
    struct passwd* entry = nullptr;
    char buf[1024];
    if (lookup_user(user, &pw, buf, sizeof buf, &entry) != 0 || entry == nullptr ||
        entry->pw_name == nullptr)
        return 0;
    return static_cast<int>(entry->pw_uid);
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
    char* save = nullptr;
    for (char* program = strtok_r(list, white_space, &save); program != nullptr;
         program = strtok_r(nullptr, white_space, &save)) {
        int found = check_cookie(p, program, resource, uid, container_flag, container_id);
        if (!found &&
            scan(p, program, resource, owner, uid, container_flag, container_id, &found) != 0) {
            result = SYB_PROCDIR_FAILED;
            break;
        }
        if (!found) {
            SYB_DBG_T(0, p->tag, "Could not find a process for data server %s. Returning OFFLINE.",
                    p->notfound_server);
            result = SYB_PROC_NOT_FOUND;
        }
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
