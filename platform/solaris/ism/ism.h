// Intimate shared memory on Linux: a stand-in for the Solaris attach flags
// SHM_SHARE_MMU (intimate) and SHM_PAGEABLE (dynamic intimate). Linux has no
// intimate memory: either flag alone attaches as plain shared memory; both
// together fail with EINVAL, as Solaris refuses pageable intimate memory where
// it is not available, so callers take their dynamic-memory path. The Solaris
// numbers of the two flags are Linux's SHM_REMAP and SHM_EXEC: they never reach
// shmat.
//
// The stable-address window of the realm service: 4 TB to 8 TB of the 64-bit
// address space is free on x86-64 Linux except under AddressSanitizer, whose
// shadow covers it; there the window moves above the shadow. ThreadSanitizer's
// shadow covers it too: there it starts at 64 GB, in the low application
// range (units past 512 GB cannot be attached there).
//
// Pipes: a Solaris pipe carries data both ways; qen_pipe gives a connected
// pair of Unix stream sockets, which do the same. Writing to a pair whose
// other end is closed fails with EPIPE.
//
// Test switches (test builds only), process-wide and unlocked:
//   qen_ism_fail_intimate   an attach with SHM_SHARE_MMU alone fails (ENOMEM)
//   qen_ism_pass_pair       SHM_SHARE_MMU with SHM_PAGEABLE attaches too
//   qen_shm_max_size        shmget refuses (EINVAL) creating more bytes than
//                           this (0 = no limit)
//   qen_shm_refuse_errno    the errno of those refusals (default EINVAL)
//
// Who may call: the realm service's Solaris layer and its tests.
#ifndef QEN_PLATFORM_SOLARIS_ISM_H
#define QEN_PLATFORM_SOLARIS_ISM_H

#include <stddef.h>
#include <stdint.h>
#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

#define QEN_SHM_RDONLY 0x1000      // SHM_RDONLY (the same number on Linux)
#define QEN_SHM_SHARE_MMU 0x4000   // intimate attach
#define QEN_SHM_PAGEABLE 0x8000    // dynamic intimate attach

#if UINTPTR_MAX > 0xFFFFFFFFu
#if defined(__SANITIZE_THREAD__)
#define QEN_STABLE_BASE 0x1000000000ull     // ThreadSanitizer's low application range
#elif defined(__SANITIZE_ADDRESS__)
#define QEN_STABLE_BASE 0x200000000000ull   // above AddressSanitizer's shadow
#elif defined(__has_feature)
#if __has_feature(address_sanitizer)
#define QEN_STABLE_BASE 0x200000000000ull
#endif
#endif
#ifndef QEN_STABLE_BASE
#define QEN_STABLE_BASE 0x40000000000ull    // 4 TB
#endif
#else
#define QEN_STABLE_BASE 0x20000000u
#endif

// shmat with Solaris attach flags; (void *)-1 and errno on failure.
void *qen_shmat(int shmid, const void *addr, int flags);
// A two-way pipe: 0, or -1 with errno.
int qen_pipe(int fds[2]);
// shmget, refusing large creations when a test asks it to.
int qen_shmget(key_t key, size_t size, int flags);

#ifdef QEN_TEST_HOOKS
extern int qen_ism_fail_intimate;
extern int qen_ism_pass_pair;
extern size_t qen_shm_max_size;
extern int qen_shm_refuse_errno;
#endif

#ifdef __cplusplus
}
#endif

#endif
