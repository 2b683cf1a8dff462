// Running a test body in a forked child, for state that lives for the whole
// process (signal tables, environment read once, stashes, clocks).
#ifndef QEN_TESTS_COMMON_CHILD_H
#define QEN_TESTS_COMMON_CHILD_H

#include <cerrno>
#include <cstdio>
#include <type_traits>

#include <sys/wait.h>
#include <unistd.h>

// Inside a child: report a failed condition on stderr and exit 1.
#define CHILD_CHECK(c)                                                        \
  do {                                                                        \
    if (!(c)) {                                                               \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #c); \
      _exit(1);                                                               \
    }                                                                         \
  } while (0)

// Runs body() in a forked child and returns the child's exit code: what body
// returns (0 when it returns nothing), or 128 + the signal that ended it.
template <class F>
int in_child(F body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  if (pid == 0) {
    if constexpr (std::is_void_v<std::invoke_result_t<F>>) {
      body();
      std::fflush(nullptr);
      _exit(0);
    } else {
      int rc = body();
      std::fflush(nullptr);
      _exit(rc);
    }
  }
  if (pid < 0) return -1;
  int status = 0;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
  return WIFEXITED(status) ? WEXITSTATUS(status) : 128 + WTERMSIG(status);
}

// In a gtest test: runs the braced checks in a child; the test fails with
// the child's report.
#define IN_CHILD(...)                           \
  do {                                          \
    int child_rc = in_child([&]() __VA_ARGS__); \
    EXPECT_EQ(child_rc, 0);                     \
  } while (0)

#endif
