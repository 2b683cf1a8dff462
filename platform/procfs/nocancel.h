// NoCancel: keeps thread cancellation off for the life of the object, so
// that a call which opens and closes descriptors (or other resources with no
// cleanup handler of its caller) is never left half done by a cancel.
#ifndef QEN_PROCFS_NOCANCEL_H
#define QEN_PROCFS_NOCANCEL_H

#include <pthread.h>

class NoCancel {
public:
    NoCancel() { pthread_setcancelstate(PTHREAD_CANCEL_DISABLE, &old_); }
    ~NoCancel() { pthread_setcancelstate(old_, nullptr); }
    NoCancel(const NoCancel&) = delete;
    NoCancel& operator=(const NoCancel&) = delete;

private:
    int old_ = 0;
};

#endif
