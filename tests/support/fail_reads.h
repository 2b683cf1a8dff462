// Makes read(2) fail in the calling process for one request size only,
// through a seccomp filter: every read that asks for exactly `size` bytes
// returns -1 with errno `err`; all other reads run as usual. A process
// record is read with one read of sizeof(psinfo_t), which no other read of
// an agent asks for, so this fails exactly the agents' record reads.
//
// The filter cannot be removed: call it in a forked child (see child.h).
#ifndef QEN_TESTS_SUPPORT_FAIL_READS_H
#define QEN_TESTS_SUPPORT_FAIL_READS_H

#include <linux/filter.h>
#include <linux/seccomp.h>
#include <stddef.h>
#include <stdint.h>
#include <sys/prctl.h>
#include <sys/syscall.h>

// Returns false when seccomp filters are not available here.
inline bool fail_reads_of_size(uint32_t size, int err)
{
    struct sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_read, 0, 3),
        // The low word of the count (the whole count for any size we use).
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(struct seccomp_data, args[2])),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, size, 0, 1),
        BPF_STMT(BPF_RET | BPF_K,
                 SECCOMP_RET_ERRNO | (static_cast<uint32_t>(err) & SECCOMP_RET_DATA)),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
    };
    struct sock_fprog prog = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]),
                              filter};
    return prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) == 0 &&
           prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) == 0;
}

#endif
