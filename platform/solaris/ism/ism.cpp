// Intimate shared memory as plain System V shared memory (see ism.h).
#include "ism.h"

#include <errno.h>
#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/socket.h>

#ifdef QEN_TEST_HOOKS
int qen_ism_fail_intimate = 0;
int qen_ism_pass_pair = 0;
size_t qen_shm_max_size = 0;
int qen_shm_refuse_errno = EINVAL;
#endif

extern "C" void *qen_shmat(int shmid, const void *addr, int flags) {
  const int intimate = flags & (QEN_SHM_SHARE_MMU | QEN_SHM_PAGEABLE);
  bool pair = intimate == (QEN_SHM_SHARE_MMU | QEN_SHM_PAGEABLE);
#ifdef QEN_TEST_HOOKS
  if (qen_ism_pass_pair) pair = false;
  if (qen_ism_fail_intimate && intimate == QEN_SHM_SHARE_MMU) {
    errno = ENOMEM;
    return reinterpret_cast<void *>(-1);
  }
#endif
  if (pair) {
    errno = EINVAL;
    return reinterpret_cast<void *>(-1);
  }
  return shmat(shmid, addr, flags & QEN_SHM_RDONLY ? SHM_RDONLY : 0);
}

extern "C" int qen_shmget(key_t key, size_t size, int flags) {
#ifdef QEN_TEST_HOOKS
  if ((flags & IPC_CREAT) && qen_shm_max_size != 0 && size > qen_shm_max_size) {
    errno = qen_shm_refuse_errno;
    return -1;
  }
#endif
  return shmget(key, size, flags);
}

extern "C" int qen_pipe(int fds[2]) { return socketpair(AF_UNIX, SOCK_STREAM, 0, fds); }
