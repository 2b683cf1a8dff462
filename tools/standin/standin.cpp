// standin PROGRAM [ARG ...]
// Starts a process whose command line reads exactly PROGRAM ARG ... and which
// does nothing until it is killed, prints that process's id on standard
// output and returns once the process runs under that command line. It
// stands for a database server or a listener when the agents are tried out:
//
//   pid=$(standin /u01/app/viruze/product/10.2/bin/vuzlsnr LISTENER -inherit)
//   ...
//   kill $pid
//
// The process is this program again, run under the chosen argument vector; it
// inherits the caller's identity, environment (QEN_ZONEID=<n> places it in a
// zone), working directory and process group, with its standard streams on
// /dev/null so that a command substitution reading the id ends. It is not
// waited for: its parent is gone by the time it ends.
// Exit 0; 1 when the process cannot be started (with the reason); 2 for bad
// usage.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <sys/types.h>
#include <unistd.h>

namespace {

constexpr int kExitFail = 1;
constexpr int kExitUsage = 2;
// In the environment of the process that stands in: wait, whatever argv says.
constexpr const char *kStandInEnv = "QEN_STANDIN";
constexpr const char *kSelf = "/proc/self/exe";

[[noreturn]] void stand_in() {
  for (;;) pause();
}

[[noreturn]] void child(char **argv, int report) {
  int null = open("/dev/null", O_RDWR);
  if (null < 0 || dup2(null, STDIN_FILENO) < 0 || dup2(null, STDOUT_FILENO) < 0 ||
      dup2(null, STDERR_FILENO) < 0 || setenv(kStandInEnv, "1", 1) != 0) {
    int err = errno;
    (void)!write(report, &err, sizeof err);
    _exit(kExitFail);
  }
  if (null > STDERR_FILENO) close(null);
  execv(kSelf, argv);
  int err = errno;
  (void)!write(report, &err, sizeof err);
  _exit(kExitFail);
}

}  // namespace

int main(int argc, char **argv) {
  if (getenv(kStandInEnv) != nullptr) stand_in();
  if (argc < 2 || strcmp(argv[1], "--help") == 0 || strcmp(argv[1], "-h") == 0) {
    FILE *to = argc < 2 ? stderr : stdout;
    fprintf(to,
            "usage: standin PROGRAM [ARG ...]\n"
            "Starts a process whose command line is PROGRAM ARG ... and which waits until it\n"
            "is killed; prints its process id once it runs.\n");
    return argc < 2 ? kExitUsage : 0;
  }
  // The exec closes the report pipe: end of file then says it has happened.
  int report[2];
  if (pipe2(report, O_CLOEXEC) != 0) {
    perror("standin: pipe");
    return kExitFail;
  }
  pid_t pid = fork();
  if (pid < 0) {
    perror("standin: fork");
    return kExitFail;
  }
  if (pid == 0) child(argv + 1, report[1]);
  close(report[1]);
  int err = 0;
  ssize_t got;
  while ((got = read(report[0], &err, sizeof err)) < 0 && errno == EINTR) {
  }
  close(report[0]);
  if (got > 0) {
    fprintf(stderr, "standin: cannot start %s: %s\n", argv[1], strerror(err));
    return kExitFail;
  }
  printf("%d\n", static_cast<int>(pid));
  return 0;
}
