// psinfo records built from Linux /proc, and the open/stat seam that serves
// them as "/proc/<pid>/psinfo".
#include "psinfo.h"
#include "nocancel.h"

#include <errno.h>
#include <fcntl.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <string>
#include <string_view>

namespace {

// A process that ends while it is read shows ESRCH or an empty file.
int vanished_errno(int e)
{
    return (e == ESRCH || e == ENOENT) ? ENOENT : e;
}

// Reads a whole /proc file. Returns false with errno set on failure.
bool read_file(const std::string& path, std::string& out, size_t limit = SIZE_MAX)
{
    out.clear();
    int fd = open(path.c_str(), O_RDONLY | O_CLOEXEC);
    if (fd < 0) {
        errno = vanished_errno(errno);
        return false;
    }
    char buf[4096];
    for (;;) {
        ssize_t n = read(fd, buf, sizeof buf);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            int e = vanished_errno(errno);
            close(fd);
            errno = e;
            return false;
        }
        if (n == 0)
            break;
        out.append(buf, static_cast<size_t>(n));
        if (out.size() >= limit)
            break;
    }
    close(fd);
    return true;
}

long long boot_time()
{
    static const long long btime = [] {
        std::string text;
        if (!read_file("/proc/stat", text))
            return 0LL;
        size_t at = text.find("\nbtime ");
        return at == std::string::npos ? 0LL : atoll(text.c_str() + at + 7);
    }();
    return btime;
}

// "Uid:\t1000\t1000\t..." -> real and effective ids.
bool status_ids(const std::string& status, const char* key, uint32_t& real, uint32_t& eff)
{
    size_t at = status.find(key);
    if (at == std::string::npos)
        return false;
    unsigned long r = 0, e = 0;
    if (sscanf(status.c_str() + at + strlen(key), "%lu %lu", &r, &e) != 2)
        return false;
    real = static_cast<uint32_t>(r);
    eff = static_cast<uint32_t>(e);
    return true;
}

int32_t zone_of(const std::string& environ_text)
{
    static constexpr std::string_view key = "QEN_ZONEID=";
    std::string_view env(environ_text);
    while (!env.empty()) {
        size_t end = env.find('\0');
        std::string_view entry = env.substr(0, end);
        if (entry.substr(0, key.size()) == key)
            return static_cast<int32_t>(atoi(std::string(entry.substr(key.size())).c_str()));
        if (end == std::string_view::npos)
            break;
        env.remove_prefix(end + 1);
    }
    return 0;
}

} // namespace

extern "C" int psinfo_build(pid_t pid, psinfo_t* out)
{
    if (pid <= 0 || out == nullptr) {
        errno = pid <= 0 ? ENOENT : EINVAL;
        return -1;
    }
    NoCancel guard;
    std::string dir = "/proc/" + std::to_string(pid) + "/";
    std::string stat_text, status_text, cmdline, environ_text;
    if (!read_file(dir + "stat", stat_text) || !read_file(dir + "status", status_text) ||
        !read_file(dir + "cmdline", cmdline))
        return -1;
    if (!read_file(dir + "environ", environ_text))
        environ_text.clear(); // another owner's environment: global zone

    psinfo_t rec;
    memset(&rec, 0, sizeof rec);
    rec.pr_pid = pid;

    // "pid (comm) S ppid ... starttime(22) ..."; comm may hold ')' itself.
    size_t open_paren = stat_text.find('(');
    size_t close_paren = stat_text.rfind(')');
    if (open_paren == std::string::npos || close_paren == std::string::npos ||
        close_paren < open_paren) {
        errno = ENOENT;
        return -1;
    }
    std::string comm = stat_text.substr(open_paren + 1, close_paren - open_paren - 1);
    memcpy(rec.pr_fname, comm.data(), comm.size() < PRFNSZ - 1 ? comm.size() : PRFNSZ - 1);
    char state = 0;
    int ppid = 0;
    unsigned long long starttime = 0;
    if (sscanf(stat_text.c_str() + close_paren + 1,
               " %c %d %*d %*d %*d %*d %*u %*u %*u %*u %*u %*u %*u %*d %*d %*d %*d %*d %*d %llu",
               &state, &ppid, &starttime) != 3) {
        errno = ENOENT;
        return -1;
    }
    rec.pr_ppid = ppid;
    long hz = sysconf(_SC_CLK_TCK);
    if (hz <= 0)
        hz = 100;
    rec.pr_start.tv_sec = boot_time() + static_cast<int64_t>(starttime / static_cast<unsigned long long>(hz));
    rec.pr_start.tv_nsec = static_cast<int64_t>(starttime % static_cast<unsigned long long>(hz)) *
                           (1000000000LL / hz);

    if (!status_ids(status_text, "\nUid:", rec.pr_uid, rec.pr_euid) ||
        !status_ids(status_text, "\nGid:", rec.pr_gid, rec.pr_egid)) {
        errno = ENOENT;
        return -1;
    }

    // Arguments: NUL-terminated words (the last may lack its NUL when a
    // process rewrote its command line).
    int32_t argc = 0;
    size_t used = 0;
    size_t pos = 0;
    while (pos < cmdline.size()) {
        size_t end = cmdline.find('\0', pos);
        if (end == std::string::npos)
            end = cmdline.size();
        if (argc > 0 && used < PRARGSZ - 1)
            rec.pr_psargs[used++] = ' ';
        for (size_t i = pos; i < end && used < PRARGSZ - 1; ++i)
            rec.pr_psargs[used++] = cmdline[i];
        ++argc;
        pos = end + 1;
    }
    rec.pr_psargs[used] = '\0';
    rec.pr_argc = argc;
    rec.pr_zoneid = zone_of(environ_text);
    *out = rec;
    return 0;
}

extern "C" int psinfo_path_pid(const char* path, pid_t* pid)
{
    static constexpr std::string_view head = "/proc/", tail = "/psinfo";
    if (path == nullptr)
        return 0;
    std::string_view p(path);
    if (p.size() <= head.size() + tail.size() || p.substr(0, head.size()) != head ||
        p.substr(p.size() - tail.size()) != tail)
        return 0;
    std::string_view digits = p.substr(head.size(), p.size() - head.size() - tail.size());
    if (digits.size() > 9)
        return 0;
    long value = 0;
    for (char c : digits) {
        if (c < '0' || c > '9')
            return 0;
        value = value * 10 + (c - '0');
    }
    if (value <= 0)
        return 0;
    if (pid != nullptr)
        *pid = static_cast<pid_t>(value);
    return 1;
}

extern "C" int psinfo_open(const char* path, int flags, ...)
{
    pid_t pid = 0;
    if (!psinfo_path_pid(path, &pid)) {
        mode_t mode = 0;
        if (flags & (O_CREAT | O_TMPFILE)) {
            va_list ap;
            va_start(ap, flags);
            mode = static_cast<mode_t>(va_arg(ap, int));
            va_end(ap);
        }
        return open(path, flags | O_LARGEFILE, mode);
    }
    if ((flags & O_ACCMODE) != O_RDONLY) {
        errno = EACCES;
        return -1;
    }
    NoCancel guard;
    psinfo_t rec;
    if (psinfo_build(pid, &rec) != 0)
        return -1;
    int fd = memfd_create("psinfo", MFD_CLOEXEC);
    if (fd < 0)
        return -1;
    const char* p = reinterpret_cast<const char*>(&rec);
    size_t left = sizeof rec;
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            int e = errno;
            close(fd);
            errno = e;
            return -1;
        }
        p += n;
        left -= static_cast<size_t>(n);
    }
    if (lseek(fd, 0, SEEK_SET) != 0) {
        int e = errno;
        close(fd);
        errno = e;
        return -1;
    }
    return fd;
}
