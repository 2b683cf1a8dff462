// Realm tests create System V segments only in forked children; the parent
// then removes every segment those children created (found by creator with
// SHM_STAT), whether the child ended well or not.
#ifndef QEN_TESTS_SKGM_SHM_CHILDREN_H
#define QEN_TESTS_SKGM_SHM_CHILDREN_H

#include <sys/ipc.h>
#include <sys/shm.h>
#include <sys/types.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <type_traits>
#include <vector>

// Removes the segments whose creator is one of pids; returns how many.
inline int shm_remove_created_by(const std::vector<pid_t> &pids) {
  struct shm_info info;
  const int maxidx = shmctl(0, SHM_INFO, reinterpret_cast<struct shmid_ds *>(&info));
  int removed = 0;
  for (int idx = 0; idx <= maxidx; idx++) {
    struct shmid_ds ds;
    const int id = shmctl(idx, SHM_STAT, &ds);
    if (id < 0) continue;
    for (pid_t p : pids)
      if (ds.shm_cpid == p && shmctl(id, IPC_RMID, nullptr) == 0) removed++;
  }
  return removed;
}

// Runs body() in a forked child (its return value, or 0, is the exit code;
// 128 + signal when it dies) and removes the segments it created.
template <class F>
int shm_child(F body, std::vector<pid_t> *also = nullptr) {
  std::fflush(nullptr);
  const pid_t pid = fork();
  if (pid == 0) {
    int rc = 0;
    if constexpr (std::is_void_v<std::invoke_result_t<F>>)
      body();
    else
      rc = body();
    std::fflush(nullptr);
    _exit(rc);
  }
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  std::vector<pid_t> pids{pid};
  if (also != nullptr) pids.insert(pids.end(), also->begin(), also->end());
  shm_remove_created_by(pids);
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

#define SHM_CHILD(...)                                \
  do {                                                \
    const int shm_child_rc = shm_child([&]() __VA_ARGS__); \
    EXPECT_EQ(shm_child_rc, 0);                       \
  } while (0)

#endif
