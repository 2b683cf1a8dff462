// The process finder both agent families use: one record reader, one cookie
// re-check, one scan of /proc, and the store of a process cookie. The
// families differ only in what they log and in their match, which they hand
// in as hooks; the finder itself logs nothing.
//
// The scan passes over every process that cannot be the one sought before
// any record is built for it:
//   1. its /proc/<pid> directory must belong to the owner (fstatat; a process
//      that is not dumpable shows as root's, so root's are looked at too and
//      the record's effective uid decides);
//   2. its whole command line (read bounded) must hold the program name: an
//      empty one, as kernel threads have, or one without the name costs no
//      record. A kernel thread that a scan on the same thread met before is
//      neither stat'ed nor read again (it is known by its pid and the inode
//      of its /proc directory, as the listing of /proc gives it).
// Only then is the record read, once, through psinfo_open (see psinfo.h),
// and the family's match is called.
//
// What a match reads (QENAgProc.cmdline) is pr_psargs, or, when pr_psargs is
// full (the command line is longer than its 79 bytes), the whole argument
// list, so that a program path, option or name past byte 80 is still seen.
//
// Callers: the monitors' finders, on the framework's cancellable threads.
// Every descriptor and stream is held under a cleanup handler; the record
// buffers are the caller's.
#ifndef QEN_QENAGFINDER_H
#define QEN_QENAGFINDER_H

#include <sys/types.h>

#include "psinfo.h"

// Bytes of a psinfo path or a cookie value ("/proc/<pid>/psinfo").
constexpr size_t kQENAgPathSize = 1026;
// Bytes of the whole argument list a match may read (PATH_MAX and more).
constexpr size_t kQENAgArgsSize = 8192;

// One process as a finder sees it.
struct QENAgProc {
    psinfo_t info;               // the record; pr_psargs NUL-terminated
    char path[kQENAgPathSize];   // its psinfo path
    char args[kQENAgArgsSize];   // its whole argument list, when it was read
    const char* cmdline;         // the text to match: info.pr_psargs or args
};

// Reads the record at path (a psinfo path) into proc->info with one read of
// the record's size. Returns -1 when the path does not open (errno in *err);
// otherwise 0 with the read's result in *got and its errno in *err (0 when
// it set none). Only a whole record (*got == sizeof(psinfo_t)) is usable:
// then proc->cmdline is set (the whole argument list read when pr_psargs is
// full). proc->path is not touched.
int QENAgReadProc(const char* path, QENAgProc* proc, ssize_t* got, int* err);

// The hooks of a scan. Each may be NULL but match.
struct QENAgScan {
    const char* program; // a command line without it cannot match
    int owner_uid;       // the process's effective uid must be this
    void* ctx;           // handed to every hook
    // Traces of entries passed over, given the entry's name in /proc (the
    // pid): its psinfo path is "/proc/<entry>/psinfo", built only by a hook
    // that writes it.
    void (*stat_failed)(void* ctx, const char* entry, int err);
    void (*owner_differs)(void* ctx, const char* entry, int uid);
    void (*open_failed)(void* ctx, const char* path, int err);
    // A read that did not give a whole record (got < 0: failed, with err).
    void (*read_failed)(void* ctx, ssize_t got, int err);
    // A candidate whose record was read: 1 when it is the process sought
    // (the scan ends), 0 to go on.
    int (*match)(void* ctx, QENAgProc* proc);
};

// Scans /proc. Returns 1 with the process in *proc (its path set), 0 when no
// process matched, -1 when /proc does not open (errno kept).
int QENAgScanProcs(const QENAgScan* scan, QENAgProc* proc);

#ifdef QEN_TEST_HOOKS
// From now on, count the calling thread's scans' looks (stat) at the /proc
// directory of process pid; 0 stops. QENAgTestWatchedStats gives the count
// since the last QENAgTestWatchStat on this thread. Test builds only.
void QENAgTestWatchStat(pid_t pid);
unsigned long QENAgTestWatchedStats(void);
#endif

// The hooks of a cookie re-check. Each may be NULL but still_ours.
struct QENAgCookieCheck {
    void* ctx;
    void (*have_cookie)(void* ctx, const char* value);
    void (*open_failed)(void* ctx, const char* value, int err);
    void (*read_failed)(void* ctx, ssize_t got, int err);
    // 1 when the remembered process still counts as found (it logs why not).
    int (*still_ours)(void* ctx, QENAgProc* proc);
};

// Re-checks the process that the cookie cookie_name remembers (its value is
// a psinfo path). Returns 1 when it still counts as found; otherwise clears
// the cookie, frees its value and returns 0 (also when there is no cookie).
int QENAgRecheckCookie(const char* cookie_name, const QENAgCookieCheck* check, QENAgProc* proc);

// Remembers path in the cookie cookie_name, in a heap value of
// kQENAgPathSize bytes that the cookie owns from then on. -1 when memory is
// short (nothing is stored), else 0.
int QENAgStoreCookie(const char* cookie_name, const char* path);

#endif
