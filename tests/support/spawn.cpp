#include "spawn.h"

#include <errno.h>
#include <fcntl.h>
#include <grp.h>
#include <signal.h>
#include <string.h>
#include <sys/wait.h>
#include <unistd.h>

extern char** environ;

const char* argvsleep_path()
{
    return QEN_ARGVSLEEP_PATH;
}

SpawnedProcess::SpawnedProcess(std::vector<std::string> argv, std::vector<std::string> env_add,
                               uid_t uid)
{
    if (argv.empty()) {
        error_ = "empty argv";
        return;
    }
    std::vector<char*> args;
    for (std::string& a : argv)
        args.push_back(a.data());
    args.push_back(nullptr);
    std::vector<std::string> env_strings;
    for (char** e = environ; *e; ++e)
        env_strings.emplace_back(*e);
    for (std::string& e : env_add)
        env_strings.push_back(e);
    std::vector<char*> env;
    for (std::string& e : env_strings)
        env.push_back(e.data());
    env.push_back(nullptr);

    int fds[2];
    if (pipe2(fds, O_CLOEXEC) != 0) {
        error_ = std::string("pipe: ") + strerror(errno);
        return;
    }
    pid_t pid = fork();
    if (pid < 0) {
        error_ = std::string("fork: ") + strerror(errno);
        close(fds[0]);
        close(fds[1]);
        return;
    }
    if (pid == 0) {
        int stage = 0;
        if (uid != kSameUid) {
            stage = 1;
            if (setgroups(0, nullptr) != 0 || setgid(static_cast<gid_t>(uid)) != 0 ||
                setuid(uid) != 0)
                goto fail;
        }
        stage = 2;
        execve(QEN_ARGVSLEEP_PATH, args.data(), env.data());
    fail:
        int report[2] = {stage, errno};
        ssize_t ignored = write(fds[1], report, sizeof report);
        (void)ignored;
        _exit(127);
    }
    close(fds[1]);
    int report[2] = {0, 0};
    ssize_t got;
    do
        got = read(fds[0], report, sizeof report);
    while (got < 0 && errno == EINTR);
    close(fds[0]);
    if (got > 0) {
        error_ = std::string(report[0] == 1 ? "setuid: " : "exec: ") + strerror(report[1]);
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
        return;
    }
    pid_ = pid;
}

SpawnedProcess::~SpawnedProcess()
{
    kill();
}

void SpawnedProcess::kill()
{
    if (pid_ <= 0)
        return;
    ::kill(pid_, SIGKILL);
    while (waitpid(pid_, nullptr, 0) < 0 && errno == EINTR) {
    }
    pid_ = -1;
}
