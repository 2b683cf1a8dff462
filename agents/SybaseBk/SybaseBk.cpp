// BackupServerAgent: monitors Sybase backup servers. For each resource it
// checks the attributes, resolves the owner (in the resource's zone when it
// has one) and finds the backupserver process started with -S and the
// configured name. It runs no monitor script.
#include "SybaseBk.h"

#include <string.h>

#include "QENAgHelper.h"
#include "SybaseCommon.h"
#include "qenagfw.h"

extern "C" const char sybase_source_file[] = "SybaseBk";

#define BK_TAG "sybasebk_monitor"
#define BK_DBG(level, ...) SYB_DBG_T((level), BK_TAG, __VA_ARGS__)

namespace {

enum Attr { A_BACKUPSERVER, A_OWNER, A_HOME, A_VERSION, A_SERVER, A_SA, A_SAPSWD, A_COUNT };
constexpr const char* kAttrNames[A_COUNT] = {
    "Backupserver", "Owner", "Home", "Version", "Server", "SA", "SApswd",
};

} // namespace

extern "C" int Validate(char* Backupserver, char* Owner, char* Home, char* Version, char* Server,
                        char* SA, char* SApswd, char* name)
{
    (void)SApswd;
    for (char* value : {Backupserver, Owner, Home, Version, Server, SA})
        trim(value);
    return SybFirstWithWhitespace({{Backupserver, "Backupserver"},
                                   {Owner, "Owner"},
                                   {Version, "Version"},
                                   {Server, "Server"},
                                   {SA, "SA"}},
                                  name)
               ? 0
               : 1;
}

extern "C" int IsNull(const char* Backupserver, const char* Owner, const char* Home,
                      const char* Version, const char* Server, const char* SA, char* name)
{
    return SybFirstEmpty({{Backupserver, "Backupserver"},
                          {Owner, "Owner"},
                          {Home, "Home"},
                          {Version, "Version"},
                          {Server, "Server"},
                          {SA, "SA"}},
                         name);
}

extern "C" int process_monitor(const char* res_name, char** attrs, int* confidence)
{
    int ignored_confidence = 0;
    char name[kSybNameBufSize];
    confidence = SybStartCycle(BK_TAG, confidence, &ignored_confidence, name);

    // A missing attribute reads as an empty value.
    char empty[A_COUNT] = {};
    char* v[A_COUNT];
    SybReadAttrs(attrs, kAttrNames, A_COUNT, empty, v, nullptr);

    if (!Validate(v[A_BACKUPSERVER], v[A_OWNER], v[A_HOME], v[A_VERSION], v[A_SERVER], v[A_SA],
                  v[A_SAPSWD], name)) {
        SybLogContainsSpaces(BK_TAG, name);
        return QENAG_UNKNOWN;
    }
    BK_DBG(2, "Finished validation.");
    if (IsNull(v[A_BACKUPSERVER], v[A_OWNER], v[A_HOME], v[A_VERSION], v[A_SERVER], v[A_SA],
               name)) {
        SybLogNotSpecified(BK_TAG, name);
        return QENAG_UNKNOWN;
    }
    BK_DBG(2, "Finished null check.");

    const SybFinderParams params = {
        "backupserver",
        "-S",
        v[A_BACKUPSERVER],
        "Constructing cookie name for this monitor cycle. The constructed name is: %s",
        v[A_SERVER],
        BK_TAG,
    };
    int container_flag = 0;
    int located = SybLocateServer(&params, res_name, v[A_OWNER], &container_flag);
    if (located != QENAG_ONLINE)
        return located;
    *confidence = 100;
    return QENAG_ONLINE;
}

extern "C" void QENAgStartup(void)
{
    SybRegisterMonitor(process_monitor);
}
