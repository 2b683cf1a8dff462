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
#define BK_DBG(level, ...) \
    QENAgLogDbgMsg1((level), BK_TAG, sybase_source_file, __LINE__, 0, __VA_ARGS__)
#define BK_BOTH(sev, id, ...)                                                                 \
    do {                                                                                      \
        QENAgLogConsoleMsg1((sev), BK_TAG, sybase_source_file, __LINE__, (id), 0, __VA_ARGS__); \
        QENAgLogMsg1((sev), BK_TAG, sybase_source_file, __LINE__, (id), 0, __VA_ARGS__);        \
    } while (0)

namespace {

enum Attr { A_BACKUPSERVER, A_OWNER, A_HOME, A_VERSION, A_SERVER, A_SA, A_SAPSWD, A_COUNT };
constexpr const char* kAttrNames[A_COUNT] = {
    "Backupserver", "Owner", "Home", "Version", "Server", "SA", "SApswd",
};

void report_name(char* name, const char* attr)
{
    QENAgStrlcpy(name, attr, strlen(attr) + 1);
}

} // namespace

extern "C" int Validate(char* Backupserver, char* Owner, char* Home, char* Version, char* Server,
                        char* SA, char* SApswd, char* name)
{
    (void)SApswd;
    char* trimmed[] = {Backupserver, Owner, Home, Version, Server, SA};
    for (char* value : trimmed)
        trim(value);
    const struct {
        const char* value;
        const char* attr;
    } checked[] = {{Backupserver, "Backupserver"},
                   {Owner, "Owner"},
                   {Version, "Version"},
                   {Server, "Server"},
                   {SA, "SA"}};
    for (const auto& c : checked) {
        if (containsWhitespaces(c.value)) {
            report_name(name, c.attr);
            return 0;
        }
    }
    return 1;
}

extern "C" int IsNull(const char* Backupserver, const char* Owner, const char* Home,
                      const char* Version, const char* Server, const char* SA, char* name)
{
    const struct {
        const char* value;
        const char* attr;
    } checked[] = {{Backupserver, "Backupserver"}, {Owner, "Owner"},   {Home, "Home"},
                   {Version, "Version"},           {Server, "Server"}, {SA, "SA"}};
    for (const auto& c : checked) {
        if (c.value[0] == '\0') {
            report_name(name, c.attr);
            return 1;
        }
    }
    return 0;
}

extern "C" int process_monitor(const char* res_name, char** attrs, int* confidence)
{
    int ignored_confidence = 0;
    if (confidence == nullptr)
        confidence = &ignored_confidence;
    BK_DBG(0, "Starting a new monitor cycle.");
    *confidence = 0;
    char name[kSybNameBufSize];
    memset(name, 0, sizeof name);

    // A missing attribute reads as an empty value.
    char empty[A_COUNT][1] = {};
    char* v[A_COUNT];
    int index = -1;
    for (int i = 0; i < A_COUNT; ++i) {
        char* value = nullptr;
        bool present = qenag_get_attr_value(attrs, kAttrNames[i], &value, index, 1) == QENAG_OK &&
                       value != nullptr;
        v[i] = present ? value : empty[i];
    }

    if (!Validate(v[A_BACKUPSERVER], v[A_OWNER], v[A_HOME], v[A_VERSION], v[A_SERVER], v[A_SA],
                  v[A_SAPSWD], name)) {
        BK_BOTH(1, 1, "Attribute value %s contains spaces. Resource state is UNKNOWN.", name);
        return QENAG_UNKNOWN;
    }
    BK_DBG(2, "Finished validation.");
    if (IsNull(v[A_BACKUPSERVER], v[A_OWNER], v[A_HOME], v[A_VERSION], v[A_SERVER], v[A_SA],
               name)) {
        BK_BOTH(1, 2, "Attribute %s is not specified. Resource state is UNKNOWN.", name);
        return QENAG_UNKNOWN;
    }
    BK_DBG(2, "Finished null check.");

    int container_flag = QENAgIsContainerCapable();
    int container_id = 0;
    if (container_flag == 1) {
        container_id = QENAgGetContainerID2();
        BK_DBG(2, "Zone id is %d", container_id);
        if (container_id == -1) {
            BK_DBG(0, "Zone is not running");
            return QENAG_OFFLINE;
        }
    } else {
        BK_DBG(2, "Zone is NOT enabled.");
    }

    int uid = 0;
    if (container_id == 0) {
        uid = isValidUser(v[A_OWNER]);
        if (uid == 0) {
            QENAgLogConsoleMsg1(1, BK_TAG, sybase_source_file, __LINE__, 204, 0,
                                "Invalid owner %s for Sybase executables was specified",
                                v[A_OWNER]);
            return QENAG_UNKNOWN;
        }
    } else {
        switch (getZoneUserId(v[A_OWNER], &uid)) {
        case ZONE_NOT_RUNNING:
            BK_DBG(0, "Zone is not running");
            return QENAG_OFFLINE;
        case ZONE_NO_SUCH_USER:
        case ZONE_NO_UID:
            QENAgLogConsoleMsg1(1, BK_TAG, sybase_source_file, __LINE__, 204, 0,
                                "Invalid owner %s for Sybase executables was specified",
                                v[A_OWNER]);
            return QENAG_UNKNOWN;
        case ZONE_UID_FOUND:
            break;
        default:
            return QENAG_UNKNOWN;
        }
    }

    const SybFinderParams params = {
        "backupserver",
        "-S",
        v[A_BACKUPSERVER],
        "Constructing cookie name for this monitor cycle. The constructed name is: %s",
        v[A_SERVER],
        BK_TAG,
    };
    int found = FindServerProc(&params, res_name, v[A_OWNER], uid, container_flag, container_id);
    if (found == SYB_PROC_NOT_FOUND)
        return QENAG_OFFLINE;
    if (found != SYB_PROC_FOUND)
        return QENAG_UNKNOWN;
    *confidence = 100;
    return QENAG_ONLINE;
}

extern "C" void QENAgStartup(void)
{
    QENAgSetLogCategory(20018);
    AgentEntryPoints table;
    memset(&table, 0, sizeof table);
    table.monitor = process_monitor;
    QENAgRegisterEPStruct(QENAG_EP_TABLE_VERSION, &table);
}
