// psinfo records built from Linux /proc, and psinfo_open/psinfo_stat, the
// open and stat that serve them as "/proc/<pid>/psinfo".
#include "psinfo.h"
#include "nocancel.h"
#include "psinfo_scan.h"

#include <ctype.h>
#include <errno.h>
#include <fcntl.h>
#include <limits.h>
#include <pthread.h>
#include <stdarg.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <unistd.h>

#include <atomic>
#include <string>
#include <string_view>

namespace {

// Bytes of one read of a command line.
constexpr size_t kArgsPiece = 4096;

// A process that ends while it is read shows ESRCH or an empty file.
int vanished_errno(int e)
{
    return (e == ESRCH || e == ENOENT) ? ENOENT : e;
}

long clock_ticks()
{
    static const long hz = [] {
        long v = sysconf(_SC_CLK_TCK);
        return v > 0 ? v : 100L;
    }();
    return hz;
}

// close(2) that leaves errno as it was.
void close_quietly(int fd)
{
    int e = errno;
    close(fd);
    errno = e;
}

// Reads a seq_file text (stat, status) until buf is full or the text ends.
// Such a file hands out its whole text in one read when the buffer holds it,
// so a read that comes back short is the end. Returns the bytes read, or -1
// with errno (ENOENT for a process that vanished).
ssize_t read_seq_text(int fd, char* buf, size_t cap)
{
    size_t got = 0;
    while (got < cap) {
        size_t want = cap - got;
        ssize_t n = read(fd, buf + got, want);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            errno = vanished_errno(errno);
            return -1;
        }
        got += static_cast<size_t>(n);
        if (static_cast<size_t>(n) < want)
            break;
    }
    return static_cast<ssize_t>(got);
}

// The files of one process, opened by name below /proc/<pid>. The path is
// built once in a fixed buffer; no allocation.
class ProcFiles {
public:
    explicit ProcFiles(pid_t pid)
    {
        static constexpr char head[] = "/proc/";
        memcpy(path_, head, sizeof head - 1);
        char digits[16];
        size_t nd = 0;
        for (unsigned long v = static_cast<unsigned long>(pid); v != 0; v /= 10)
            digits[nd++] = static_cast<char>('0' + v % 10);
        len_ = sizeof head - 1;
        while (nd > 0)
            path_[len_++] = digits[--nd];
        path_[len_++] = '/';
    }
    ProcFiles(const ProcFiles&) = delete;
    ProcFiles& operator=(const ProcFiles&) = delete;

    // Opens one file read-only; -1 with errno (ENOENT when the process is gone).
    int open(const char* name)
    {
        size_t n = strlen(name);
        if (n >= sizeof path_ - len_) {
            errno = ENAMETOOLONG;
            return -1;
        }
        memcpy(path_ + len_, name, n + 1);
        int fd = ::open(path_, O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            errno = vanished_errno(errno);
        return fd;
    }

private:
    char path_[48];
    size_t len_ = 0;
};

// Reads a whole /proc file in pieces into buf, handing each to sink; stops
// early when sink returns true. Returns 0, or -1 with errno.
template <typename Sink>
int read_pieces(int fd, char* buf, size_t cap, Sink&& sink)
{
    for (;;) {
        ssize_t n = read(fd, buf, cap);
        if (n < 0) {
            if (errno == EINTR)
                continue;
            errno = vanished_errno(errno);
            return -1;
        }
        if (n == 0 || sink(buf, static_cast<size_t>(n)))
            return 0;
    }
}

// Appends the rest of the file to text, read in pieces through buf. Returns
// 0, or -1 with errno.
int read_rest(int fd, char* buf, size_t cap, std::string& text)
{
    return read_pieces(fd, buf, cap, [&text](const char* p, size_t n) {
        text.append(p, n);
        return false;
    });
}

// The boot time in seconds, read once from the btime line of /proc/stat.
long long boot_time()
{
    static const long long btime = [] {
        int fd = ::open("/proc/stat", O_RDONLY | O_CLOEXEC);
        if (fd < 0)
            return 0LL;
        std::string text;
        char buf[4096];
        int rc = read_rest(fd, buf, sizeof buf, text);
        close(fd);
        if (rc != 0)
            return 0LL;
        size_t at = text.find("\nbtime ");
        return at == std::string::npos ? 0LL : atoll(text.c_str() + at + 7);
    }();
    return btime;
}

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

bool is_blank(char c)
{
    return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// One number as scanf's %d / %u / %llu reads it: blanks, an optional sign,
// at least one digit. Leaves p after the digits.
bool scan_number(const char*& p, const char* end, unsigned long long* value)
{
    while (p < end && is_blank(*p))
        ++p;
    bool negative = false;
    if (p < end && (*p == '+' || *p == '-'))
        negative = *p++ == '-';
    if (p == end || !is_digit(*p))
        return false;
    unsigned long long v = 0;
    while (p < end && is_digit(*p))
        v = v * 10 + static_cast<unsigned long long>(*p++ - '0');
    *value = negative ? 0ULL - v : v;
    return true;
}

// The ')' that ends the command name: the last one of the line, as the name
// itself may hold parentheses. Null when there is none.
const char* last_close_paren(const char* text, const char* end)
{
    for (const char* p = end; p > text;)
        if (*--p == ')')
            return p;
    return nullptr;
}

// The first field after the one-letter state that follows the name; null
// when the line ends first.
const char* after_state(const char* close_paren, const char* end)
{
    const char* p = close_paren + 1;
    while (p < end && is_blank(*p))
        ++p;
    if (p == end)
        return nullptr;
    return p + 1;
}

} // namespace

namespace qen_psinfo {

bool parse_stat(const char* text, size_t len, StatFields* out)
{
    const char* end = text + len;
    const char* open_paren = static_cast<const char*>(memchr(text, '(', len));
    const char* close_paren = last_close_paren(text, end);
    if (open_paren == nullptr || close_paren == nullptr || close_paren < open_paren)
        return false;
    size_t comm = static_cast<size_t>(close_paren - open_paren - 1);
    memset(out->fname, 0, sizeof out->fname);
    memcpy(out->fname, open_paren + 1, comm < PRFNSZ - 1 ? comm : PRFNSZ - 1);

    // " S ppid pgrp session tty_nr tpgid flags minflt cminflt majflt cmajflt
    //   utime stime cutime cstime priority nice num_threads itrealvalue starttime"
    const char* p = after_state(close_paren, end);
    if (p == nullptr)
        return false;
    unsigned long long v = 0;
    if (!scan_number(p, end, &v))
        return false;
    out->ppid = static_cast<int32_t>(v);
    for (int skipped = 0; skipped < 17; ++skipped)
        if (!scan_number(p, end, &v))
            return false;
    if (!scan_number(p, end, &v))
        return false;
    out->starttime = v;
    return true;
}

bool parse_stat_flags(const char* text, size_t len, unsigned long long* flags)
{
    const char* end = text + len;
    const char* close_paren = last_close_paren(text, end);
    if (close_paren == nullptr)
        return false;
    // " S ppid pgrp session tty_nr tpgid flags"
    const char* p = after_state(close_paren, end);
    if (p == nullptr)
        return false;
    unsigned long long v = 0;
    for (int skipped = 0; skipped < 5; ++skipped)
        if (!scan_number(p, end, &v))
            return false;
    if (!scan_number(p, end, &v))
        return false;
    *flags = v;
    return true;
}

int parse_status_ids(const char* text, size_t len, bool complete, const char* key,
                     uint32_t* real, uint32_t* eff)
{
    std::string_view body(text, len);
    size_t at = body.find(key);
    if (at == std::string_view::npos)
        return complete ? 0 : -1;
    const char* p = text + at + strlen(key);
    const char* end = text + len;
    unsigned long long r = 0, e = 0;
    if (!scan_number(p, end, &r) || !scan_number(p, end, &e))
        return complete || p != end ? 0 : -1;
    if (p == end && !complete)
        return -1; // the effective id may go on past the text
    *real = static_cast<uint32_t>(r);
    *eff = static_cast<uint32_t>(e);
    return 1;
}

void ArgsJoin::feed(const char* p, size_t n)
{
    if (n == 0)
        return;
    if (kept_ < room_) {
        size_t take = n < room_ - kept_ ? n : room_ - kept_;
        memcpy(out_ + kept_, p, take);
        kept_ += take;
    }
    total_ += n;
    last_ = p[n - 1];
}

size_t ArgsJoin::finish()
{
    // The words joined by blanks are the bytes with every NUL a blank, less
    // the NUL that ends the last word.
    size_t joined = total_ - (total_ > 0 && last_ == '\0' ? 1 : 0);
    size_t used = kept_ < joined ? kept_ : joined;
    for (size_t i = 0; i < used; ++i)
        if (out_[i] == '\0')
            out_[i] = ' ';
    out_[used] = '\0';
    return used;
}

void ArgsScan::feed(const char* p, size_t n)
{
    if (n == 0)
        return;
    join_.feed(p, n);
    const char* end = p + n;
    for (const char* q = p; q < end; ++q) {
        q = static_cast<const char*>(memchr(q, '\0', static_cast<size_t>(end - q)));
        if (q == nullptr)
            break;
        ++nuls_;
    }
    any_ = true;
    last_ = end[-1];
}

void ArgsScan::finish(char psargs[PRARGSZ], int32_t* argc)
{
    size_t used = join_.finish();
    memcpy(psargs, kept_, used);
    memset(psargs + used, 0, PRARGSZ - used);
    *argc = static_cast<int32_t>(nuls_ + (any_ && last_ != '\0' ? 1 : 0));
}

namespace {
constexpr std::string_view kZoneKey = "QEN_ZONEID=";
}

void ZoneScan::start_value()
{
    state_ = State::space;
    negative_ = false;
    overflow_ = false;
    value_ = 0;
}

bool ZoneScan::feed(const char* p, size_t n)
{
    const char* end = p + n;
    constexpr unsigned long long_max = static_cast<unsigned long>(LONG_MAX);
    while (p < end) {
        switch (state_) {
        case State::done:
            return true;
        case State::skip: {
            const void* nul = memchr(p, '\0', static_cast<size_t>(end - p));
            if (nul == nullptr)
                return false;
            p = static_cast<const char*>(nul) + 1;
            state_ = State::key;
            matched_ = 0;
            break;
        }
        case State::key: {
            char c = *p++;
            if (c == kZoneKey[matched_]) {
                if (++matched_ == kZoneKey.size())
                    start_value();
            } else if (c == '\0') {
                matched_ = 0;
            } else {
                state_ = State::skip;
            }
            break;
        }
        case State::space: {
            // As atoi: leading white space, then one sign.
            char c = *p;
            if (isspace(static_cast<unsigned char>(c))) {
                ++p;
            } else if (c == '+' || c == '-') {
                negative_ = c == '-';
                ++p;
                state_ = State::digits;
            } else if (is_digit(c)) {
                state_ = State::digits;
            } else {
                state_ = State::done;
            }
            break;
        }
        case State::digits: {
            char c = *p;
            if (!is_digit(c)) {
                state_ = State::done;
                break;
            }
            ++p;
            // strtol saturates at LONG_MAX / LONG_MIN.
            unsigned long limit = negative_ ? long_max + 1 : long_max;
            unsigned long d = static_cast<unsigned long>(c - '0');
            if (!overflow_ && value_ > (limit - d) / 10)
                overflow_ = true;
            if (!overflow_)
                value_ = value_ * 10 + d;
            break;
        }
        }
    }
    return state_ == State::done;
}

int32_t ZoneScan::zone() const
{
    if (state_ != State::digits && state_ != State::done)
        return 0;
    long v;
    if (overflow_)
        v = negative_ ? LONG_MIN : LONG_MAX;
    else
        v = negative_ ? static_cast<long>(0UL - value_) : static_cast<long>(value_);
    return static_cast<int32_t>(static_cast<int>(v)); // atoi is (int) strtol
}

} // namespace qen_psinfo

using qen_psinfo::ArgsJoin;
using qen_psinfo::ArgsScan;
using qen_psinfo::StatFields;
using qen_psinfo::ZoneScan;

#ifdef QEN_TEST_HOOKS
namespace {
std::atomic<unsigned long> records_built{0};
thread_local pid_t watched_pid = 0;
thread_local unsigned long watched_reads = 0;
}

extern "C" unsigned long psinfo_test_builds(void)
{
    return records_built.load();
}

extern "C" void psinfo_test_watch_args(pid_t pid)
{
    watched_pid = pid;
    watched_reads = 0;
}

extern "C" unsigned long psinfo_test_watched_reads(void)
{
    return watched_reads;
}
#endif

namespace {
// The kernel's task flag of a kernel thread.
constexpr unsigned long long kPfKthread = 0x00200000;
}

extern "C" int psinfo_kernel_thread(pid_t pid)
{
    if (pid <= 0) {
        errno = ENOENT;
        return -1;
    }
    NoCancel guard;
    ProcFiles files(pid);
    int fd = files.open("stat");
    if (fd < 0)
        return -1;
    char buf[1024];
    ssize_t got = read_seq_text(fd, buf, sizeof buf);
    close_quietly(fd);
    if (got < 0)
        return -1;
    unsigned long long flags = 0;
    if (!qen_psinfo::parse_stat_flags(buf, static_cast<size_t>(got), &flags)) {
        errno = ENOENT;
        return -1;
    }
    return (flags & kPfKthread) != 0 ? 1 : 0;
}

extern "C" int psinfo_build(pid_t pid, psinfo_t* out)
{
#ifdef QEN_TEST_HOOKS
    records_built.fetch_add(1);
#endif
    if (pid <= 0 || out == nullptr) {
        errno = pid <= 0 ? ENOENT : EINVAL;
        return -1;
    }
    NoCancel guard;
    ProcFiles files(pid);
    // One buffer for every file in turn. stat is one short line; the lines
    // of status that count come first; cmdline and environ go by in pieces.
    char buf[4096];

    psinfo_t rec;
    memset(&rec, 0, sizeof rec);
    rec.pr_pid = pid;

    int fd = files.open("stat");
    if (fd < 0)
        return -1;
    ssize_t got = read_seq_text(fd, buf, sizeof buf);
    close_quietly(fd);
    if (got < 0)
        return -1;
    StatFields st;
    if (!qen_psinfo::parse_stat(buf, static_cast<size_t>(got), &st)) {
        errno = ENOENT;
        return -1;
    }
    memcpy(rec.pr_fname, st.fname, sizeof rec.pr_fname);
    rec.pr_ppid = st.ppid;
    const unsigned long long hz = static_cast<unsigned long long>(clock_ticks());
    rec.pr_start.tv_sec = boot_time() + static_cast<int64_t>(st.starttime / hz);
    rec.pr_start.tv_nsec = static_cast<int64_t>(st.starttime % hz) *
                           (1000000000LL / static_cast<long long>(hz));

    fd = files.open("status");
    if (fd < 0)
        return -1;
    got = read_seq_text(fd, buf, sizeof buf);
    if (got < 0) {
        close_quietly(fd);
        return -1;
    }
    bool whole = static_cast<size_t>(got) < sizeof buf;
    int uid_ok = qen_psinfo::parse_status_ids(buf, static_cast<size_t>(got), whole, "\nUid:",
                                              &rec.pr_uid, &rec.pr_euid);
    int gid_ok = qen_psinfo::parse_status_ids(buf, static_cast<size_t>(got), whole, "\nGid:",
                                              &rec.pr_gid, &rec.pr_egid);
    if ((uid_ok < 0 || gid_ok < 0) && !whole) {
        // The lines lie past the buffer: read the rest of the file.
        std::string text(buf, static_cast<size_t>(got));
        if (read_rest(fd, buf, sizeof buf, text) != 0) {
            close_quietly(fd);
            return -1;
        }
        uid_ok = qen_psinfo::parse_status_ids(text.data(), text.size(), true, "\nUid:",
                                              &rec.pr_uid, &rec.pr_euid);
        gid_ok = qen_psinfo::parse_status_ids(text.data(), text.size(), true, "\nGid:",
                                              &rec.pr_gid, &rec.pr_egid);
    }
    close_quietly(fd);
    if (uid_ok != 1 || gid_ok != 1) {
        errno = ENOENT;
        return -1;
    }

    fd = files.open("cmdline");
    if (fd < 0)
        return -1;
    ArgsScan args;
    int rc = read_pieces(fd, buf, sizeof buf, [&args](const char* p, size_t n) {
        args.feed(p, n);
        return false; // every word counts towards pr_argc
    });
    close_quietly(fd);
    if (rc != 0)
        return -1;
    args.finish(rec.pr_psargs, &rec.pr_argc);

    // Another owner's environment may be closed to us: the global zone.
    fd = files.open("environ");
    if (fd >= 0) {
        ZoneScan zone;
        if (read_pieces(fd, buf, sizeof buf,
                        [&zone](const char* p, size_t n) { return zone.feed(p, n); }) == 0)
            rec.pr_zoneid = zone.zone();
        close_quietly(fd);
    }
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
    // pwrite leaves the offset at 0, where the reader starts.
    const char* p = reinterpret_cast<const char*>(&rec);
    size_t done = 0;
    while (done < sizeof rec) {
        ssize_t n = pwrite(fd, p + done, sizeof rec - done, static_cast<off_t>(done));
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            close_quietly(fd);
            if (n == 0)
                errno = EIO;
            return -1;
        }
        done += static_cast<size_t>(n);
    }
    return fd;
}

extern "C" ssize_t psinfo_read_args(pid_t pid, char* buf, size_t size)
{
#ifdef QEN_TEST_HOOKS
    if (pid == watched_pid)
        ++watched_reads;
#endif
    if (pid <= 0 || buf == nullptr || size == 0) {
        errno = pid <= 0 ? ENOENT : EINVAL;
        return -1;
    }
    NoCancel guard;
    ProcFiles files(pid);
    int fd = files.open("cmdline");
    if (fd < 0)
        return -1;
    // Read in pieces of one fixed size, and only as far as buf holds.
    char piece[kArgsPiece];
    ArgsJoin join(buf, size);
    int rc = read_pieces(fd, piece, sizeof piece, [&join](const char* p, size_t n) {
        join.feed(p, n);
        return join.full();
    });
    close_quietly(fd);
    if (rc != 0)
        return -1;
    return static_cast<ssize_t>(join.finish());
}
