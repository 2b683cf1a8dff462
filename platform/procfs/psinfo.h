// Solaris-style process records served from Linux /proc.
//
// A psinfo_t is built from /proc/<pid>/cmdline, /proc/<pid>/stat and
// /proc/<pid>/status. Code that on Solaris opens and reads
// "/proc/<pid>/psinfo" calls psinfo_open and psinfo_stat below in place of
// open and stat, and reads and closes as usual:
//
//   struct stat st;
//   if (psinfo_stat(path, &st) == 0 && st.st_uid == owner) {
//       int fd = psinfo_open(path, O_RDONLY);
//       psinfo_t rec;
//       ssize_t n = read(fd, &rec, sizeof(psinfo_t));   // ordinary read
//       close(fd);                                       // ordinary close
//   }
//
// psinfo_open returns an in-memory descriptor (memfd) holding exactly one
// record, positioned at offset 0: read, lseek and close work as usual. The
// first read of sizeof(psinfo_t) bytes always returns the whole record, in
// which pr_psargs and pr_fname are always NUL-terminated; a read that asks
// for more gets just the record (read into a buffer of at least that size).
// psinfo_stat reports a regular file of mode 0444 and size sizeof(psinfo_t)
// whose owner is the process's effective uid and group its effective gid.
// Every other path passes straight through to open(2) and stat(2).
// Only "/proc/<decimal pid>/psinfo" is served; a process that does not exist,
// or vanishes while its record is built, fails with errno ENOENT.
//
// Zone placement for tests: a process whose own initial environment
// (/proc/<pid>/environ) holds QEN_ZONEID=<n> has pr_zoneid n; any other
// process (or one whose environment cannot be read) is in zone 0, the global
// zone.
//
// The record has one layout in the 64-bit and the 32-bit build (336 bytes);
// only the fields below are filled, the rest is zero.
#ifndef QEN_PSINFO_H
#define QEN_PSINFO_H

#include <stddef.h>
#include <stdint.h>
#include <string.h>
#include <sys/stat.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define PRFNSZ 16  // bytes of pr_fname
#define PRARGSZ 80 // bytes of pr_psargs

// Start time: seconds and nanoseconds since the epoch.
typedef struct psinfo_time {
    int64_t tv_sec;
    int64_t tv_nsec;
} psinfo_time_t;

typedef struct psinfo {
    int32_t pr_pid;            // process id
    int32_t pr_ppid;           // parent's process id
    uint32_t pr_uid;           // real user id
    uint32_t pr_euid;          // effective user id
    uint32_t pr_gid;           // real group id
    uint32_t pr_egid;          // effective group id
    psinfo_time_t pr_start;    // process start time
    char pr_fname[PRFNSZ];     // name of the executed file (at most 15 bytes)
    char pr_psargs[PRARGSZ];   // arguments joined by single blanks, first 79 bytes, NUL-terminated
    int32_t pr_argc;           // number of arguments
    int32_t pr_zoneid;         // zone id (0 = global zone)
    char pr_reserved[192];     // always zero
} psinfo_t;

// Fills *out with the record of process pid. Returns 0, or -1 with errno
// (ENOENT: no such process, or it ended while being read).
int psinfo_build(pid_t pid, psinfo_t* out);

// The whole argument list of process pid, beyond the 79 bytes of pr_psargs:
// the arguments of /proc/<pid>/cmdline joined by single blanks as in
// pr_psargs, NUL-terminated, cut to size-1 bytes (only that much is read).
// Returns the length of the text, or -1 with errno (ENOENT: no such process).
ssize_t psinfo_read_args(pid_t pid, char* buf, size_t size);

// Whether process pid is a kernel thread (the kernel's PF_KTHREAD flag, from
// /proc/<pid>/stat): 1 or 0, or -1 with errno (ENOENT: no such process). A
// kernel thread never runs a program: its command line stays empty for its
// whole life.
int psinfo_kernel_thread(pid_t pid);

#ifdef QEN_TEST_HOOKS
// The number of records built so far in this process (tests count what a
// scan costs).
unsigned long psinfo_test_builds(void);
// From now on, count the calling thread's reads of the argument list of
// process pid (psinfo_read_args); 0 stops. psinfo_test_watched_reads gives
// the count since the last psinfo_test_watch_args on this thread.
void psinfo_test_watch_args(pid_t pid);
unsigned long psinfo_test_watched_reads(void);
#endif

// Parses "/proc/<decimal pid>/psinfo". Returns 1 and the pid for such a path,
// else 0.
int psinfo_path_pid(const char* path, pid_t* pid);

// open(2) that serves "/proc/<pid>/psinfo" from memory; other paths pass
// through (mode is used with O_CREAT as with open).
int psinfo_open(const char* path, int flags, ...);

// stat(2) that serves "/proc/<pid>/psinfo"; other paths pass through.
// Inline, so that struct stat is the caller's own (large-file or not).
static inline int psinfo_stat(const char* path, struct stat* st)
{
    pid_t pid = 0;
    psinfo_t rec;
    if (!psinfo_path_pid(path, &pid))
        return stat(path, st);
    if (psinfo_build(pid, &rec) != 0)
        return -1;
    memset(st, 0, sizeof *st);
    st->st_mode = S_IFREG | 0444;
    st->st_nlink = 1;
    st->st_uid = rec.pr_euid;
    st->st_gid = rec.pr_egid;
    st->st_size = (off_t)sizeof(psinfo_t);
    st->st_ino = (ino_t)pid;
    st->st_atime = st->st_mtime = st->st_ctime = (time_t)rec.pr_start.tv_sec;
    return 0;
}

#ifdef __cplusplus
}

static_assert(sizeof(psinfo_t) == 336, "psinfo_t is 336 bytes in both widths");
static_assert(offsetof(psinfo_t, pr_pid) == 0);
static_assert(offsetof(psinfo_t, pr_ppid) == 4);
static_assert(offsetof(psinfo_t, pr_uid) == 8);
static_assert(offsetof(psinfo_t, pr_euid) == 12);
static_assert(offsetof(psinfo_t, pr_gid) == 16);
static_assert(offsetof(psinfo_t, pr_egid) == 20);
static_assert(offsetof(psinfo_t, pr_start) == 24);
static_assert(offsetof(psinfo_t, pr_fname) == 40);
static_assert(offsetof(psinfo_t, pr_psargs) == 56);
static_assert(offsetof(psinfo_t, pr_argc) == 136);
static_assert(offsetof(psinfo_t, pr_zoneid) == 140);
static_assert(offsetof(psinfo_t, pr_reserved) == 144);
#endif

#endif
