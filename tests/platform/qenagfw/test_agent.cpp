// A test-only agent. Its monitor reports what it sees and acts on its
// resource's attributes:
//   State=S, Confidence=C   the result and confidence to report
//   Counter=1               confidence = number of calls so far (a cookie)
//   Run=PATH                runs PATH with argv {PATH, resource} and logs the outcome
//   Block=1                 holds a descriptor and a heap string, then blocks
//   BlockAt=N               blocks as Block=1 on the resource's N-th call only
//   ThreadCalls=1           confidence = calls so far on the calling thread
// Every call writes the attribute vector to the debug log and the container
// settings to the agent log (id 10).
#include <fcntl.h>
#include <pthread.h>
#include <stdint.h>
#include <stdlib.h>
#include <string.h>
#include <unistd.h>

#include <string>

#include "qenagfw.h"

namespace {

const char* const kTag = "test_monitor";
const char* const kFile = "test_agent.cpp";

const char* value_of(char** attrs, const char* name)
{
    for (int i = 0; attrs[i] != nullptr;) {
        int count = atoi(attrs[i + 1]);
        if (strcmp(attrs[i], name) == 0)
            return count > 0 ? attrs[i + 2] : "";
        i += 2 + count;
    }
    return nullptr;
}

void cleanup_note(void* arg)
{
    QENAgLogMsg1(0, kTag, kFile, __LINE__, 12, 0, "cleanup ran for %s", static_cast<char*>(arg));
}

} // namespace

extern "C" int test_monitor(const char* resource, char** attrs, int* confidence)
{
    for (int i = 0; attrs[i] != nullptr;) {
        int count = atoi(attrs[i + 1]);
        std::string values;
        for (int k = 0; k < count; ++k)
            values += std::string("|") + attrs[i + 2 + k] + "|";
        QENAgLogDbgMsg1(1, kTag, kFile, __LINE__, 0, "group %s count=%s values=%s", attrs[i],
                        attrs[i + 1], values.c_str());
        i += 2 + count;
    }
    char* cname = QENAgGetContainerName2();
    QENAgLogMsg1(2, kTag, kFile, __LINE__, 10, 0, "container capable=%d id=%d name=%s",
                 QENAgIsContainerCapable(), QENAgGetContainerID2(), cname ? cname : "(null)");
    QENAgDelString(cname);

    const char* state = value_of(attrs, "State");
    const char* conf = value_of(attrs, "Confidence");
    *confidence = conf ? atoi(conf) : 0;

    if (value_of(attrs, "Counter")) {
        std::string name = std::string("count") + resource;
        intptr_t n = reinterpret_cast<intptr_t>(QENAgGetCookie(name.c_str())) + 1;
        QENAgSetCookie(name.c_str(), reinterpret_cast<void*>(n));
        *confidence = static_cast<int>(n);
    }

    if (const char* run = value_of(attrs, "Run")) {
        char* argv[] = {const_cast<char*>(run), const_cast<char*>(resource), nullptr};
        char output[4096];
        output[0] = '\0';
        int status = -1;
        int rc = QENAgExecInContainer2(run, argv, output, sizeof output, &status);
        QENAgLogMsg1(3, kTag, kFile, __LINE__, 11, 0, "ran rc=%d status=%d output=|%s|", rc, status,
                     output);
    }

    if (value_of(attrs, "ThreadCalls")) {
        static thread_local int calls_on_thread = 0;
        *confidence = ++calls_on_thread;
    }

    bool block = value_of(attrs, "Block") != nullptr;
    if (const char* at = value_of(attrs, "BlockAt")) {
        std::string name = std::string("calls") + resource;
        intptr_t n = reinterpret_cast<intptr_t>(QENAgGetCookie(name.c_str())) + 1;
        QENAgSetCookie(name.c_str(), reinterpret_cast<void*>(n));
        block = n == atoi(at);
    }

    if (block) {
        char* name = strdup(resource);
        int fd = open("/dev/null", O_RDONLY | O_CLOEXEC);
        pthread_cleanup_push(QENAgDelString, name);
        pthread_cleanup_push(cleanup_note, name);
        pthread_cleanup_push(QENAgCloseFile, reinterpret_cast<void*>(static_cast<intptr_t>(fd)));
        for (;;)
            pause();
        pthread_cleanup_pop(1);
        pthread_cleanup_pop(1);
        pthread_cleanup_pop(1);
    }
    return state ? atoi(state) : QENAG_UNKNOWN;
}

extern "C" void QENAgStartup(void)
{
    if (getenv("TEST_AGENT_NO_MONITOR"))
        return;
    QENAgSetLogCategory(77);
    AgentEntryPoints table;
    memset(&table, 0, sizeof table);
    table.monitor = test_monitor;
    QENAgRegisterEPStruct(QENAG_EP_TABLE_VERSION, &table);
}
