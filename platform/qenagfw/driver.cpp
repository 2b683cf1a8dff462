// The framework's main: options, the resource configuration and the monitor
// cycles.
#include <errno.h>
#include <pthread.h>
#include <stdio.h>
#include <stdlib.h>
#include <string.h>
#include <time.h>

#include <fstream>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "fw_internal.h"
#include "qenagfw.h"
#include "qenagfw_test.h"

namespace qenagfw {
namespace {

struct Attribute {
    std::string name;
    std::vector<std::string> values;
};

struct Resource {
    ResourceSettings settings;
    std::vector<Attribute> attrs;
};

struct Options {
    std::string config;
    long cycles = -1; // -1: until killed
    double interval = 60;
    std::string log_dir = ".";
};

[[noreturn]] void usage(const char* prog)
{
    fprintf(stderr, "usage: %s --config FILE [--cycles N] [--interval SECONDS] [--log-dir DIR]\n",
            prog);
    exit(2);
}

Options parse_options(int argc, char** argv)
{
    Options opt;
    const char* prog = argc > 0 && argv[0] ? argv[0] : "agent";
    bool have_config = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (i + 1 >= argc)
            usage(prog);
        const char* value = argv[++i];
        char* end = nullptr;
        errno = 0;
        if (arg == "--config") {
            opt.config = value;
            have_config = true;
        } else if (arg == "--cycles") {
            opt.cycles = strtol(value, &end, 10);
            if (errno != 0 || end == value || *end != '\0' || opt.cycles < 1)
                usage(prog);
        } else if (arg == "--interval") {
            opt.interval = strtod(value, &end);
            if (errno != 0 || end == value || *end != '\0' || !(opt.interval >= 0))
                usage(prog);
        } else if (arg == "--log-dir") {
            opt.log_dir = value;
        } else {
            usage(prog);
        }
    }
    if (!have_config)
        usage(prog);
    return opt;
}

[[noreturn]] void config_error(const std::string& file, int line, const std::string& why)
{
    fprintf(stderr, "%s:%d: %s\n", file.c_str(), line, why.c_str());
    exit(2);
}

bool parse_int(const std::string& text, int& out)
{
    if (text.empty())
        return false;
    char* end = nullptr;
    errno = 0;
    long v = strtol(text.c_str(), &end, 10);
    if (errno != 0 || *end != '\0' || v < -2147483647L - 1 || v > 2147483647L)
        return false;
    out = static_cast<int>(v);
    return true;
}

std::vector<Resource> read_config(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "%s: cannot open: %s\n", file.c_str(), strerror(errno));
        exit(2);
    }
    std::vector<Resource> resources;
    std::string line;
    int lineno = 0;
    while (std::getline(in, line)) {
        ++lineno;
        if (line.find_first_not_of(" \t\r") == std::string::npos || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3)
                config_error(file, lineno, "malformed resource header");
            std::string name = line.substr(1, line.size() - 2);
            for (const Resource& r : resources)
                if (r.settings.name == name)
                    config_error(file, lineno, "resource " + name + " defined twice");
            resources.emplace_back();
            resources.back().settings.name = name;
            continue;
        }
        if (resources.empty())
            config_error(file, lineno, "line outside a resource section");
        Resource& res = resources.back();
        size_t eq = line.find('=');
        if (line[0] == '@') {
            if (eq == std::string::npos)
                config_error(file, lineno, "framework setting without '='");
            std::string key = line.substr(1, eq - 1);
            std::string value = line.substr(eq + 1);
            ResourceSettings& s = res.settings;
            if (key == "ContainerCapable") {
                if (!parse_int(value, s.container_capable))
                    config_error(file, lineno, "ContainerCapable is not a number");
            } else if (key == "ContainerId") {
                if (!parse_int(value, s.container_id))
                    config_error(file, lineno, "ContainerId is not a number");
            } else if (key == "ContainerName") {
                s.container_name = value;
            } else if (key == "ContainerRoot") {
                s.container_root = value;
            } else if (key == "Timeout") {
                if (!parse_int(value, s.timeout) || s.timeout < 1)
                    config_error(file, lineno, "Timeout is not a positive number");
            } else {
                config_error(file, lineno, "unknown framework setting @" + key);
            }
            continue;
        }
        std::string name = line.substr(0, eq);
        if (name.empty())
            config_error(file, lineno, "attribute without a name");
        Attribute* attr = nullptr;
        for (Attribute& a : res.attrs)
            if (a.name == name)
                attr = &a;
        if (attr == nullptr) {
            res.attrs.push_back(Attribute{name, {}});
            attr = &res.attrs.back();
        }
        if (eq != std::string::npos)
            attr->values.push_back(line.substr(eq + 1));
    }
    if (in.bad()) {
        fprintf(stderr, "%s: cannot read: %s\n", file.c_str(), strerror(errno));
        exit(2);
    }
    return resources;
}

// One monitor call: the attribute vector it owns, and the outcome.
struct Call {
    const Resource* resource = nullptr;
    QENAgMonitorFn monitor = nullptr;
    std::vector<std::string> strings;
    std::vector<char*> vector;
    int state = 0;
    int confidence = 0;
    pthread_t thread{};
};

void build_vector(Call& call)
{
    for (const Attribute& a : call.resource->attrs) {
        call.strings.push_back(a.name);
        call.strings.push_back(std::to_string(a.values.size()));
        for (const std::string& v : a.values)
            call.strings.push_back(v);
    }
    for (std::string& s : call.strings)
        call.vector.push_back(s.data());
    call.vector.push_back(nullptr);
}

void* run_monitor(void* arg)
{
    auto* call = static_cast<Call*>(arg);
    pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
    pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
    set_current_resource(&call->resource->settings);
    int confidence = 0;
    pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
    int state = call->monitor(call->resource->settings.name.c_str(), call->vector.data(),
                              &confidence);
    call->state = state;
    call->confidence = confidence;
    pthread_cleanup_pop(0);
    return nullptr;
}

void sleep_for(double seconds)
{
    if (seconds <= 0)
        return;
    struct timespec left;
    left.tv_sec = static_cast<time_t>(seconds);
    left.tv_nsec = static_cast<long>((seconds - static_cast<double>(left.tv_sec)) * 1e9);
    while (nanosleep(&left, &left) != 0 && errno == EINTR) {
    }
}

} // namespace
} // namespace qenagfw

using namespace qenagfw;

extern "C" int QENAgMain(int argc, char** argv, void (*startup)(void))
{
    Options opt = parse_options(argc, argv);
    std::vector<Resource> resources = read_config(opt.config);
    if (!open_log_files(opt.log_dir)) {
        fprintf(stderr, "%s: cannot open the logs in %s: %s\n", argv[0], opt.log_dir.c_str(),
                strerror(errno));
        return 1;
    }
    if (startup != nullptr)
        startup();
    QENAgMonitorFn monitor = registered_monitor();
    if (monitor == nullptr) {
        fprintf(stderr, "%s: no monitor entry point was registered\n", argv[0]);
        return 1;
    }

    for (long cycle = 1; opt.cycles < 0 || cycle <= opt.cycles; ++cycle) {
        if (cycle > 1)
            sleep_for(opt.interval);
        struct timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        std::vector<std::unique_ptr<Call>> calls;
        std::vector<bool> started;
        for (const Resource& r : resources) {
            auto call = std::make_unique<Call>();
            call->resource = &r;
            call->monitor = monitor;
            build_vector(*call);
            started.push_back(pthread_create(&call->thread, nullptr, run_monitor, call.get()) == 0);
            calls.push_back(std::move(call));
        }
        for (size_t i = 0; i < calls.size(); ++i) {
            Call& call = *calls[i];
            const char* name = call.resource->settings.name.c_str();
            if (!started[i]) {
                printf("cycle=%ld resource=%s cancelled\n", cycle, name);
                fflush(stdout);
                continue;
            }
            struct timespec deadline = start;
            deadline.tv_sec += call.resource->settings.timeout;
            void* ret = nullptr;
            if (pthread_clockjoin_np(call.thread, &ret, CLOCK_MONOTONIC, &deadline) == ETIMEDOUT) {
                pthread_cancel(call.thread);
                pthread_join(call.thread, &ret);
            }
            if (ret == PTHREAD_CANCELED)
                printf("cycle=%ld resource=%s cancelled\n", cycle, name);
            else
                printf("cycle=%ld resource=%s state=%d confidence=%d\n", cycle, name, call.state,
                       call.confidence);
            fflush(stdout);
        }
    }
    return 0;
}
