// One-time set-up of the NLS layer's locking.
#ifndef QEN_KIT_NLS_LXZ_H
#define QEN_KIT_NLS_LXZ_H

#ifdef __cplusplus
extern "C" {
#endif

// Prepares the thread layer for threads and creates the NLS global lock, once
// per process. Returns 0 on success, nonzero when the lock could not be
// created; every later call returns the first call's result.
int lxzinit(void);

#ifdef __cplusplus
}
#endif

#endif
