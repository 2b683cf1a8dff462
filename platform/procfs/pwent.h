// One way to look a user up in the user database, for the framework and the
// agents alike: getpwnam_r with a buffer that grows while the entry does not
// fit (ERANGE), and with thread cancellation held off meanwhile, so that the
// C library's user-database stream is never left open by a cancel.
#ifndef QEN_PROCFS_PWENT_H
#define QEN_PROCFS_PWENT_H

#include <sys/types.h>

#ifdef __cplusplus
extern "C" {
#endif

// Looks name up. Returns 0 with *uid and *gid (either may be NULL) for an
// entry found; -1 when the database has no such user (or name is NULL or
// empty); otherwise the lookup's error number (ENOMEM when the entry
// outgrows every buffer tried).
int qen_lookup_user(const char* name, uid_t* uid, gid_t* gid);

#ifdef __cplusplus
}
#endif

#endif
