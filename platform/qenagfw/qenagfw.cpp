// Entry points, cookies, bounded copies, container queries and cleanup
// routines of the agent framework.
#include <errno.h>
#include <pthread.h>
#include <pwd.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <atomic>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

#include "dead_stack.h"
#include "fw_internal.h"
#include "qenagfw.h"
#include "qenagfw_test.h"
#include "pwent.h"

namespace qenagfw {
namespace {

std::mutex reg_mutex;
AgentEntryPoints registered{};
std::atomic<int> category{0};

std::mutex cookie_mutex;
std::map<std::string, void*>& cookies()
{
    static auto* store = new std::map<std::string, void*>; // lives as long as the process
    return *store;
}

thread_local const ResourceSettings* tl_resource = nullptr;
#ifdef QEN_TEST_HOOKS
thread_local std::unique_ptr<ResourceSettings> tl_test_resource;
#endif

} // namespace

const ResourceSettings* current_resource()
{
    return tl_resource;
}

void set_current_resource(const ResourceSettings* res)
{
    tl_resource = res;
}

QENAgMonitorFn registered_monitor()
{
    std::lock_guard lock(reg_mutex);
    return registered.monitor;
}

int log_category()
{
    return category.load();
}

} // namespace qenagfw

using namespace qenagfw;

extern "C" int QENAgRegisterEPStruct(int version, const AgentEntryPoints* table)
{
    if (version != QENAG_EP_TABLE_VERSION || table == nullptr)
        return -1;
    std::lock_guard lock(reg_mutex);
    registered = *table;
    return 0;
}

extern "C" int QENAgInitEntryPointStruct(int version)
{
    if (version != QENAG_EP_INIT_VERSION)
        return -1;
    std::lock_guard lock(reg_mutex);
    registered = AgentEntryPoints{};
    return 0;
}

extern "C" int QENAgSetEntryPoint(int id, QENAgMonitorFn fn)
{
    if (id != QENAG_EP_ID_MONITOR)
        return -1;
    std::lock_guard lock(reg_mutex);
    registered.monitor = fn;
    return 0;
}

extern "C" void QENAgSetLogCategory(int cat)
{
    category.store(cat);
}

extern "C" size_t QENAgStrlcpy(char* dst, const char* src, size_t size)
{
    if (src == nullptr)
        src = "";
    size_t len = strlen(src);
    if (size > 0 && dst != nullptr) {
        size_t n = len < size - 1 ? len : size - 1;
        memmove(dst, src, n);
        dst[n] = '\0';
    }
    return len;
}

extern "C" size_t QENAgStrlcat(char* dst, const char* src, size_t size)
{
    if (src == nullptr)
        src = "";
    size_t len = strlen(src);
    if (dst == nullptr)
        return len;
    size_t have = strnlen(dst, size);
    if (have == size) // not terminated within size: nothing can be appended
        return size + len;
    size_t n = len < size - have - 1 ? len : size - have - 1;
    memmove(dst + have, src, n);
    dst[have + n] = '\0';
    return have + len;
}

extern "C" void* QENAgGetCookie(const char* name)
{
    if (name == nullptr)
        return nullptr;
    NoCancel nc;
    std::lock_guard lock(cookie_mutex);
    auto it = cookies().find(name);
    return it == cookies().end() ? nullptr : it->second;
}

extern "C" int QENAgSetCookie(const char* name, void* value)
{
    if (name == nullptr)
        return -1;
    NoCancel nc;
    std::lock_guard lock(cookie_mutex);
    if (value == nullptr)
        cookies().erase(name);
    else
        cookies()[name] = value;
    return 0;
}

extern "C" int QENAgIsContainerCapable(void)
{
    const ResourceSettings* res = current_resource();
    return res ? res->container_capable : 0;
}

extern "C" int QENAgGetContainerID2(void)
{
    const ResourceSettings* res = current_resource();
    return res ? res->container_id : 0;
}

extern "C" char* QENAgGetContainerName2(void)
{
    const ResourceSettings* res = current_resource();
    if (res == nullptr || res->container_name.empty())
        return nullptr;
    return strdup(res->container_name.c_str());
}

extern "C" int QENAgIsProcInContainer(const psinfo_t* psinfo)
{
    if (psinfo == nullptr)
        return 0;
    const ResourceSettings* res = current_resource();
    int zone = res ? res->container_id : 0;
    return psinfo->pr_zoneid == zone ? 1 : 0;
}

extern "C" int QENAgGetUID(const char* user, int* uid, int* euid, int* other)
{
    uid_t u = 0;
    gid_t g = 0;
    if (qen_lookup_user(user, &u, &g) != 0)
        return -1;
    if (uid)
        *uid = static_cast<int>(u);
    if (euid)
        *euid = static_cast<int>(u);
    if (other)
        *other = static_cast<int>(g);
    return 0;
}

extern "C" void QENAgDelString(void* p)
{
    qen_clear_dead_stack();
    free(p);
}

extern "C" void QENAgCloseFile(void* fd)
{
    qen_clear_dead_stack();
    intptr_t n = reinterpret_cast<intptr_t>(fd);
    if (n < 0)
        return;
    // Runs as a cleanup handler, possibly while the handler is popped in
    // ordinary flow: close must not act on a pending cancellation there.
    NoCancel nc;
    close(static_cast<int>(n));
}

#ifdef QEN_TEST_HOOKS
// Test support.

void QENAgTestSetResource(const QENAgTestResource* res)
{
    if (res == nullptr) {
        set_current_resource(nullptr);
        tl_test_resource.reset();
        return;
    }
    auto copy = std::make_unique<ResourceSettings>();
    copy->name = res->name;
    copy->container_capable = res->container_capable;
    copy->container_id = res->container_id;
    copy->container_name = res->container_name;
    copy->container_root = res->container_root;
    tl_test_resource = std::move(copy);
    set_current_resource(tl_test_resource.get());
}

QENAgMonitorFn QENAgTestMonitor()
{
    return registered_monitor();
}

int QENAgTestLogCategory()
{
    return log_category();
}

extern "C" void QENAgTestCancelGuard(void*)
{
    // Runs last while the cancelled thread unwinds, in its outermost frame:
    // the whole stack below this frame is dead.
    qen_clear_dead_stack(~size_t{0});
}
#endif
