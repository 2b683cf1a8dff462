// Runs a test body in a forked child: packages, the stash and the thread
// services are process-wide.
#ifndef QEN_TESTS_KIT_CHILD_H
#define QEN_TESTS_KIT_CHILD_H

#include <gtest/gtest.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

inline int g_child_failures = 0;

#define CHECK(cond)                                                                 \
  do {                                                                              \
    if (!(cond)) {                                                                  \
      std::fprintf(stderr, "%s:%d: check failed: %s\n", __FILE__, __LINE__, #cond); \
      g_child_failures++;                                                           \
    }                                                                               \
  } while (0)

template <typename F>
void in_child(F body) {
  std::fflush(nullptr);
  pid_t pid = fork();
  ASSERT_GE(pid, 0);
  if (pid == 0) {
    g_child_failures = 0;
    body();
    std::fflush(nullptr);
    _exit(g_child_failures == 0 ? 0 : 1);
  }
  int status = 0;
  ASSERT_EQ(waitpid(pid, &status, 0), pid);
  ASSERT_TRUE(WIFEXITED(status)) << "child did not exit normally";
  EXPECT_EQ(WEXITSTATUS(status), 0) << "checks failed in the child";
}

#endif
