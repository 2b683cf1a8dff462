// The agents' process finder: record reader, scan, cookie re-check, store.
#include "QENAgFinder.h"

#include <dirent.h>
#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <sys/stat.h>
#include <unistd.h>

#include <vector>

#include "QENAgHelper.h"
#include "qenagfw.h"

namespace {

constexpr char kProcDir[] = "/proc/";
constexpr char kPsinfo[] = "/psinfo";
constexpr uid_t kRootUid = 0;

void* fd_arg(int fd)
{
    return reinterpret_cast<void*>(static_cast<intptr_t>(fd));
}

// The pid a /proc entry names, or 0 for an entry that is no process.
pid_t entry_pid(const char* name)
{
    long value = 0;
    for (const char* p = name; *p != '\0'; ++p) {
        if (*p < '0' || *p > '9' || value > 99999999)
            return 0;
        value = value * 10 + (*p - '0');
    }
    return static_cast<pid_t>(value);
}

// "/proc/<name>/psinfo" into path; false when it does not fit.
bool build_path(const char* name, char* path)
{
    QENAgStrlcpy(path, kProcDir, kQENAgPathSize);
    QENAgStrlcat(path, name, kQENAgPathSize);
    return QENAgStrlcat(path, kPsinfo, kQENAgPathSize) < kQENAgPathSize;
}

bool psargs_full(const psinfo_t& rec)
{
    return strnlen(rec.pr_psargs, PRARGSZ) >= PRARGSZ - 1;
}

// Reads one record (no command line). See QENAgReadProc.
int read_record(const char* path, psinfo_t* rec, ssize_t* got, int* err)
{
    int fd = psinfo_open(path, O_RDONLY);
    if (fd < 0) {
        *err = errno;
        return -1;
    }
    ssize_t n;
    pthread_cleanup_push(QENAgCloseFile, fd_arg(fd));
    errno = 0;
    n = read(fd, rec, sizeof *rec);
    *err = errno;
    pthread_cleanup_pop(1);
    *got = n;
    // pr_psargs is NUL-terminated by contract; a record from elsewhere must
    // not let a search run past it.
    rec->pr_psargs[PRARGSZ - 1] = '\0';
    return 0;
}

// The kernel threads that scans on this thread passed over, so that the next
// scan need neither stat their directories nor read their (always empty)
// command lines again. A /proc/<pid> directory is known by its pid and its
// inode, which the listing of /proc gives as well as stat: a process that
// later takes the same pid has a directory of its own, with another inode,
// and is looked at as any other. /proc lists processes in ascending pid
// order, so a scan walks the list once alongside (an entry may be asked for
// twice in a row: by the listing's inode, then by stat's); an entry out of
// that order is merely read again. The list is the thread's own and changes
// only between system calls, so a scan that is cancelled leaves it whole.
class KernelThreads {
public:
    // Before a scan.
    void start()
    {
        next_.clear();
        at_ = 0;
    }
    // Whether the entry (pid, ino) was a kernel thread at the last scan; if so
    // it is kept for the next.
    bool known(pid_t pid, ino_t ino)
    {
        while (at_ < seen_.size() && seen_[at_].pid < pid)
            ++at_;
        if (at_ < seen_.size() && seen_[at_].pid == pid && seen_[at_].ino == ino) {
            next_.push_back(seen_[at_++]);
            return true;
        }
        return false;
    }
    void add(pid_t pid, ino_t ino) { next_.push_back(Entry{pid, ino}); }
    // After a scan that ended at pid `last` (0: it went through): what it
    // did not reach is kept as it was.
    void finish(pid_t last)
    {
        if (last != 0) {
            while (at_ < seen_.size() && seen_[at_].pid <= last)
                ++at_;
            next_.insert(next_.end(), seen_.begin() + static_cast<ptrdiff_t>(at_), seen_.end());
        }
        seen_.swap(next_);
    }

private:
    struct Entry {
        pid_t pid;
        ino_t ino;
    };
    std::vector<Entry> seen_, next_;
    size_t at_ = 0;
};

thread_local KernelThreads t_kernel_threads;

#ifdef QEN_TEST_HOOKS
thread_local pid_t t_watched_pid = 0;
thread_local unsigned long t_watched_stats = 0;
#endif

} // namespace

#ifdef QEN_TEST_HOOKS
void QENAgTestWatchStat(pid_t pid)
{
    t_watched_pid = pid;
    t_watched_stats = 0;
}

unsigned long QENAgTestWatchedStats(void)
{
    return t_watched_stats;
}
#endif

int QENAgReadProc(const char* path, QENAgProc* proc, ssize_t* got, int* err)
{
    if (read_record(path, &proc->info, got, err) != 0)
        return -1;
    proc->cmdline = proc->info.pr_psargs;
    if (*got == static_cast<ssize_t>(sizeof proc->info) && psargs_full(proc->info) &&
        psinfo_read_args(proc->info.pr_pid, proc->args, sizeof proc->args) > 0)
        proc->cmdline = proc->args;
    return 0;
}

int QENAgScanProcs(const QENAgScan* s, QENAgProc* proc)
{
    DIR* dir = opendir(kProcDir);
    if (dir == nullptr)
        return -1;
    int found = 0;
    pid_t last = 0;
    KernelThreads& kernel = t_kernel_threads;
    kernel.start();
    pthread_cleanup_push(CloseDir, dir);
    const int dfd = dirfd(dir);
    const uid_t owner = static_cast<uid_t>(s->owner_uid);
    // readdir is safe here: the stream is this thread's own.
    for (struct dirent* ent; (ent = readdir(dir)) != nullptr;) {
        if (ent->d_name[0] == '.')
            continue;
        const pid_t pid = entry_pid(ent->d_name);
        if (pid <= 0)
            continue;
        // A kernel thread met before, known by the inode the listing gives,
        // is passed over without a look at its directory: it stays root's.
        if (owner != kRootUid && kernel.known(pid, static_cast<ino_t>(ent->d_ino)))
            continue;
#ifdef QEN_TEST_HOOKS
        if (pid == t_watched_pid)
            ++t_watched_stats;
#endif
        struct stat st;
        if (fstatat(dfd, ent->d_name, &st, 0) != 0) {
            if (s->stat_failed != nullptr)
                s->stat_failed(s->ctx, ent->d_name, errno);
            continue;
        }
        const bool root_owned = st.st_uid == kRootUid && owner != kRootUid;
        if (st.st_uid != owner && !root_owned) {
            if (s->owner_differs != nullptr)
                s->owner_differs(s->ctx, ent->d_name, static_cast<int>(st.st_uid));
            continue;
        }
        if (root_owned && kernel.known(pid, st.st_ino))
            continue;
        // A process whose arguments lack the program cannot match: no record.
        ssize_t len = psinfo_read_args(pid, proc->args, sizeof proc->args);
        if (len == 0 && root_owned && psinfo_kernel_thread(pid) == 1)
            kernel.add(pid, st.st_ino);
        if (len <= 0 || strstr(proc->args, s->program) == nullptr)
            continue;
        if (!build_path(ent->d_name, proc->path))
            continue;
        ssize_t got = -1;
        int err = 0;
        if (read_record(proc->path, &proc->info, &got, &err) != 0) {
            if (s->open_failed != nullptr)
                s->open_failed(s->ctx, proc->path, err);
            continue;
        }
        if (got != static_cast<ssize_t>(sizeof proc->info)) {
            if (s->read_failed != nullptr)
                s->read_failed(s->ctx, got, err);
            continue;
        }
        if (proc->info.pr_euid != owner) {
            if (s->owner_differs != nullptr)
                s->owner_differs(s->ctx, ent->d_name, static_cast<int>(proc->info.pr_euid));
            continue;
        }
        // The arguments just read are the command line, unless pr_psargs
        // says it is short.
        proc->cmdline = psargs_full(proc->info) ? proc->args : proc->info.pr_psargs;
        if (s->match(s->ctx, proc) == 1) {
            found = 1;
            last = pid;
            break;
        }
    }
    kernel.finish(last);
    pthread_cleanup_pop(1);
    return found;
}

int QENAgRecheckCookie(const char* cookie_name, const QENAgCookieCheck* c, QENAgProc* proc)
{
    char* value = static_cast<char*>(QENAgGetCookie(cookie_name));
    if (value == nullptr)
        return 0;
    if (c->have_cookie != nullptr)
        c->have_cookie(c->ctx, value);
    int found = 0;
    ssize_t got = -1;
    int err = 0;
    if (QENAgReadProc(value, proc, &got, &err) != 0) {
        if (c->open_failed != nullptr)
            c->open_failed(c->ctx, value, err);
    } else if (got != static_cast<ssize_t>(sizeof proc->info)) {
        // A short record is as unusable as a failed read.
        if (c->read_failed != nullptr)
            c->read_failed(c->ctx, got, err);
    } else {
        QENAgStrlcpy(proc->path, value, sizeof proc->path);
        found = c->still_ours(c->ctx, proc) == 1;
    }
    if (!found) {
        QENAgSetCookie(cookie_name, nullptr);
        free(value);
    }
    return found;
}

int QENAgStoreCookie(const char* cookie_name, const char* path)
{
    char* value = static_cast<char*>(malloc(kQENAgPathSize));
    if (value == nullptr)
        return -1;
    pthread_cleanup_push(QENAgDelString, value);
    QENAgStrlcpy(value, path, kQENAgPathSize);
    QENAgSetCookie(cookie_name, value);
    pthread_cleanup_pop(0); // the value now lives in the cookie
    return 0;
}
