// Checks around threads that are cancelled: which descriptors the process
// holds (before and after, to see that nothing stays open), and cancelling a
// thread and waiting for its end.
#ifndef QEN_TEST_CANCEL_CHECK_H
#define QEN_TEST_CANCEL_CHECK_H

#include <dirent.h>
#include <pthread.h>

#include <algorithm>
#include <string>
#include <vector>

// The entries of /proc/self/fd, sorted (the listing's own descriptor
// included, so two listings compare alike).
inline std::vector<std::string> open_fds()
{
    std::vector<std::string> fds;
    DIR* d = opendir("/proc/self/fd");
    if (d == nullptr)
        return fds;
    while (dirent* e = readdir(d))
        fds.push_back(e->d_name);
    closedir(d);
    std::sort(fds.begin(), fds.end());
    return fds;
}

// How many descriptors the process holds, counted the same way each time.
inline int open_fd_count()
{
    return static_cast<int>(open_fds().size());
}

// Cancels t, waits for it and returns what it ended with (PTHREAD_CANCELED
// when the cancellation took).
inline void* cancel_and_join(pthread_t t)
{
    pthread_cancel(t);
    void* ret = nullptr;
    pthread_join(t, &ret);
    return ret;
}

#endif
