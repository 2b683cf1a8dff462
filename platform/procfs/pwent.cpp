// getpwnam_r with a growing buffer and cancellation held off.
#include "pwent.h"

#include <errno.h>
#include <pwd.h>
#include <stdlib.h>
#include <unistd.h>

#include "nocancel.h"

namespace {

constexpr size_t kFirstSize = 4096;        // when sysconf gives no hint
constexpr size_t kLargestSize = 1u << 20;  // an entry larger than this is refused

} // namespace

extern "C" int qen_lookup_user(const char* name, uid_t* uid, gid_t* gid)
{
    if (name == nullptr || *name == '\0')
        return -1;
    NoCancel guard;
    long hint = sysconf(_SC_GETPW_R_SIZE_MAX);
    size_t size = hint > 0 ? static_cast<size_t>(hint) : kFirstSize;
    for (;;) {
        char* buf = static_cast<char*>(malloc(size));
        if (buf == nullptr)
            return ENOMEM;
        struct passwd pw;
        struct passwd* entry = nullptr;
        int err = getpwnam_r(name, &pw, buf, size, &entry);
        if (err == 0 && entry != nullptr) {
            if (uid != nullptr)
                *uid = entry->pw_uid;
            if (gid != nullptr)
                *gid = entry->pw_gid;
        }
        free(buf);
        if (err == ERANGE) {
            if (size >= kLargestSize)
                return ENOMEM;
            size *= 2;
            continue;
        }
        if (err != 0)
            return err;
        return entry != nullptr ? 0 : -1;
    }
}
