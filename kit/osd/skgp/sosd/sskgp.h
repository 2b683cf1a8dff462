// Process services, the OS part that the portable skgp* calls stand on:
// every system call of process identity, control and information is made
// here. These routines call only downward (the C library, the process file
// system and platform shims, the signal multiplexer, the small OS services)
// and never back into skgp*.
//
// Results follow skgp.h: where a routine takes the caller's slos_error it
// fills it on failure with the call and location the portable function
// reports (its own name in the location, as callers know it).
#ifndef QEN_KIT_OSD_SSKGP_H
#define QEN_KIT_OSD_SSKGP_H

#include <stddef.h>
#include <stdint.h>

#include "skgp.h"

#ifdef __cplusplus
extern "C" {
#endif

// ---- identity and liveness ------------------------------------------------

// Raises the soft open-file limit to the hard limit. 1, or 0 with 27143 at
// "skgpinit1" (getrlimit) or "skgpinit2" (setrlimit).
int sskgpnofile(slos_error *err);
// The calling process's id.
int32_t sskgpself(void);
// The clock ticks per second into *ticks. 1, or 0 with 27143
// "sysconf_clk_tck" at "skgpinit4" when the system gives less than 1.
int sskgpticks(slos_error *err, long *ticks);
// Reads the start time of process pid->pid (> 0) from its psinfo record into
// pid->stime. 1, or 0 with 27141 (gone) or 27143 (open or read failed) at
// "skgpstime2" (open) or "skgpstime3" (read).
int sskgpstime(slos_error *err, skgp_pid *pid);
// Whether process pid (> 0) exists: 1 (also when it belongs to another user),
// 0 when there is none, -1 with 27143 "kill" at "skgpalive2" on another
// failure.
int sskgpexists(slos_error *err, int32_t pid);

// ---- process control ------------------------------------------------------

// Starts path with argv as a grandchild that nobody waits for (see
// skgpspawn) and stores its identity, which the grandchild itself reads and
// sends back through a pipe. Returns the intermediate child's id, for the
// caller to reap; -1 with the error filled at "skgpspawn2" to "skgpspawn5"
// (an intermediate child is reaped here then).
int32_t sskgpspawn(slos_error *err, const char *path, char *const argv[], skgp_pid *out);
// In a new process: closes descriptors 0-2, starts a new session, goes to
// "/" and runs path with argv. Never returns (status errno | 128).
SKGP_NORETURN void sskgpdchild(const char *path, char *const argv[]);
// Forks a child that runs path with argv; its id, or -1 with 27142 "fork" at
// "skgpchild1". The child never returns (status errno | 128).
int32_t sskgpchild(slos_error *err, const char *path, char *const argv[]);
// Reaps process pid (blocking, again after a signal). 1 when that process was
// reaped; 0 with 27143 "waitpid" at loc_fail, or wrong_code
// "found_wrong_pid" at loc_wrong.
int sskgpwait(slos_error *err, int32_t pid, const char *loc_fail, const char *loc_wrong,
              int wrong_code);
// setsid(): the new session id, or -1.
int sskgpsetpgrp(void);
SKGP_NORETURN void sskgpexit(void);
// Sends SIGKILL to pid: 0 when sent or the process is gone, else the errno.
int sskgpkill(int32_t pid);
// Sleeps usec microseconds (a signal may end it early).
void sskgpnap(long usec);
// 1 when SIGINT is not ignored (0 also when the action cannot be read).
int sskgpint(void);
// Turns on microstate accounting for this process: 0, 1 when the control
// file cannot be opened, 2 when the request cannot be written; *oserr then
// holds the errno.
int sskgpmsacct(int *oserr);

// ---- information and diagnostics ------------------------------------------

// The name of a selector of skgpgetinfo (SKGP_INFO_OSNAME, _TTY without its
// "/dev/", _USER), terminated in buf of len bytes. 1, or 0 with 27156 and the
// failing call at "skgpgetinfo1", "skgpgetinfo3" or "skgpgetinfo4".
int sskgpname(slos_error *err, uint32_t selector, char *buf, size_t len);
// The own process's mapped size in bytes (skgpgpmap). 0, or -1 with error 1
// at "skgpgpmap1" to "skgpgpmap5".
int sskgpgpmap(slos_error *err, uint64_t *result);
// The size, inode and modification time of the file path into out (its magic
// untouched). 1, or 0 with 27143 "stat" at "skgpiidget1".
int sskgpiidget(slos_error *err, const char *path, skgp_iid *out);
// The three load averages. 1, or 0 when the system gives none.
int sskgploadavg(double avg[3]);
// The change over one second, in megabytes, of the free memory, the swap
// reserved, allocated, available and free (in that order). 1, or 0 when the
// kernel statistics cannot be read.
int sskgpswapdelta(double mb[5]);
// The stack of process pid as the stack dumper prints it, cut to len bytes and
// terminated (a line naming the failure when the dumper cannot be started).
void sskgpgpstack(int32_t pid, char *buf, size_t len);

#ifdef __cplusplus
}
#endif

#endif
