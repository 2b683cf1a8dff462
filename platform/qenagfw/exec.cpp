// Running a program for an agent, inside the resource's container when it
// has one, collecting its output and wait status.
#include <errno.h>
#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <string.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <string>

#include "fw_internal.h"
#include "qenagfw.h"

namespace {

struct Child {
    pid_t pid;
    int out_fd; // read end of the program's stdout and stderr
};

void close_fd(int& fd)
{
    if (fd >= 0) {
        close(fd);
        fd = -1;
    }
}

// How long the program's process group has between SIGTERM and SIGKILL.
constexpr long kGraceMillis = 500;
constexpr long kPollMillis = 10;

void sleep_millis(long ms)
{
    struct timespec ts{ms / 1000, (ms % 1000) * 1000000L};
    while (nanosleep(&ts, &ts) != 0 && errno == EINTR) {
    }
}

// Ends the program and everything it started in its process group: SIGTERM,
// a short grace while the program has not ended, then SIGKILL to the group
// (members that ignore SIGTERM), and the program reaped.
void end_group(pid_t pid)
{
    kill(-pid, SIGTERM);
    bool reaped = false;
    for (long waited = 0; waited < kGraceMillis; waited += kPollMillis) {
        if (!reaped) {
            pid_t r = waitpid(pid, nullptr, WNOHANG);
            reaped = r == pid || (r < 0 && errno == ECHILD);
        }
        if (reaped && kill(-pid, 0) != 0)
            return; // the whole group has ended
        sleep_millis(kPollMillis);
    }
    kill(-pid, SIGKILL);
    if (!reaped)
        while (waitpid(pid, nullptr, 0) < 0 && errno == EINTR) {
        }
}

// Cleanup handler of a cancelled caller: neither the program nor what it
// started may outlive it.
void kill_child(void* arg)
{
    qenagfw::NoCancel nc;
    auto* child = static_cast<Child*>(arg);
    close_fd(child->out_fd);
    if (child->pid > 0) {
        end_group(child->pid);
        child->pid = -1;
    }
}

std::string resolve(const char* path)
{
    const qenagfw::ResourceSettings* res = qenagfw::current_resource();
    if (res == nullptr || res->container_capable != 1 || res->container_root.empty())
        return path;
    std::string root = res->container_root;
    while (root.size() > 1 && root.back() == '/')
        root.pop_back();
    return path[0] == '/' ? root + path : root + "/" + path;
}

} // namespace

extern "C" int QENAgExecInContainer2(const char* path, char* const* argv, char* output, int size,
                                     int* status)
{
    if (path == nullptr || argv == nullptr || *path == '\0') {
        errno = EINVAL;
        return -1;
    }
    std::string program;
    int out_pipe[2];
    {
        qenagfw::NoCancel nc;
        program = resolve(path);
        if (pipe2(out_pipe, O_CLOEXEC) != 0)
            return -1;
    }
    const char* exe = program.c_str();

    Child child{-1, out_pipe[0]};
    int result = 0;
    pthread_cleanup_push(kill_child, &child);
    {
        // posix_spawn shares the address space until the exec: no copy of
        // the agent's memory, and an exec failure is its result. The
        // program leads a process group of its own, so that a time-out
        // ends all of it.
        qenagfw::NoCancel nc;
        posix_spawn_file_actions_t actions;
        posix_spawnattr_t attr;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDOUT_FILENO);
        posix_spawn_file_actions_adddup2(&actions, out_pipe[1], STDERR_FILENO);
        posix_spawn_file_actions_addclosefrom_np(&actions, STDERR_FILENO + 1);
        posix_spawnattr_init(&attr);
        sigset_t none;
        sigemptyset(&none);
        posix_spawnattr_setsigmask(&attr, &none);
        posix_spawnattr_setpgroup(&attr, 0);
        posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETPGROUP);
        pid_t pid = -1;
        int rc = posix_spawn(&pid, exe, &actions, &attr, argv, environ);
        posix_spawnattr_destroy(&attr);
        posix_spawn_file_actions_destroy(&actions);
        close(out_pipe[1]);
        if (rc != 0) {
            errno = rc;
            result = -1;
        } else {
            child.pid = pid;
        }
    }
    if (result == 0) {
        size_t kept = 0;
        size_t room = (output != nullptr && size > 0) ? static_cast<size_t>(size) - 1 : 0;
        char drain[4096];
        for (;;) {
            char* dst = kept < room ? output + kept : drain;
            size_t want = kept < room ? room - kept : sizeof drain;
            ssize_t n = read(child.out_fd, dst, want);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                break;
            if (dst != drain)
                kept += static_cast<size_t>(n);
        }
        if (output != nullptr && size > 0)
            output[kept] = '\0';

        int wstatus = 0;
        pid_t waited;
        do
            waited = waitpid(child.pid, &wstatus, 0);
        while (waited < 0 && errno == EINTR);
        child.pid = -1;
        if (waited < 0)
            result = -1;
        else if (status != nullptr)
            *status = wstatus;
    }
    {
        qenagfw::NoCancel nc;
        int e = errno;
        close_fd(child.out_fd);
        errno = e;
    }
    pthread_cleanup_pop(0);
    return result;
}
