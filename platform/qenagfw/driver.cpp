// The framework's main: options, the resource configuration and the monitor
// cycles.
#include <errno.h>
#include <math.h>
#include <sys/stat.h>
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
    unsigned debug_levels = 0; // none
};

constexpr double kMaxInterval = 86400; // one day
constexpr char kUsage[] =
    "usage: %s --config FILE [--cycles N] [--interval SECONDS] [--log-dir DIR] "
    "[--debug LEVELS]\n";

[[noreturn]] void usage(const char* prog)
{
    fprintf(stderr, kUsage, prog);
    exit(2);
}

// A refused option: what is wrong with it, then the usage line.
[[noreturn]] void refuse(const char* prog, const char* option, const std::string& why)
{
    fprintf(stderr, "%s: %s: %s\n", prog, option, why.c_str());
    usage(prog);
}

[[noreturn]] void help(const char* prog)
{
    printf(kUsage, prog);
    printf("\n"
           "Runs the agent's monitor for every resource of the configuration, once per cycle.\n"
           "\n"
           "  --config FILE       the resource configuration: one [NAME] section per resource,\n"
           "                      then Attribute=value lines (see the README)\n"
           "  --cycles N          stop after N cycles (a whole number from 1); default: run\n"
           "                      until killed\n"
           "  --interval SECONDS  pause between cycles, from 0 to 86400 (fractions allowed);\n"
           "                      default 60\n"
           "  --log-dir DIR       where agent.log, console.log and debug.log are appended to;\n"
           "                      created when missing; default: the current directory\n"
           "  --debug LEVELS      the debug levels written to debug.log: a list such as 0,2,\n"
           "                      or all; default: none\n"
           "  --help              this text\n"
           "\n"
           "Output: one line per resource and cycle, in the order of the configuration:\n"
           "  cycle=N resource=NAME state=S confidence=C\n"
           "      S is the monitor's state (0 offline, 1 online, 2 unknown; the listener\n"
           "      agent reports 5 when no listener process runs), C its confidence 0..100\n"
           "  cycle=N resource=NAME cancelled\n"
           "      the monitor ran past the resource's @Timeout and was stopped\n");
    exit(0);
}

// "0,2" or "all": the mask of debug levels; false for anything else.
bool parse_debug_levels(const char* text, unsigned* mask)
{
    if (strcmp(text, "all") == 0) {
        *mask = kAllDebugLevels;
        return true;
    }
    unsigned m = 0;
    const char* p = text;
    for (;;) {
        if (*p < '0' || *p > '9')
            return false;
        unsigned level = 0;
        while (*p >= '0' && *p <= '9') {
            level = level * 10 + static_cast<unsigned>(*p++ - '0');
            if (level > kMaxDebugLevel)
                return false;
        }
        m |= 1u << level;
        if (*p == '\0')
            break;
        if (*p++ != ',')
            return false;
    }
    *mask = m;
    return true;
}

Options parse_options(int argc, char** argv)
{
    Options opt;
    const char* prog = argc > 0 && argv[0] ? argv[0] : "agent";
    bool have_config = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view arg = argv[i];
        if (arg == "--help" || arg == "-h")
            help(prog);
        const bool known = arg == "--config" || arg == "--cycles" || arg == "--interval" ||
                           arg == "--log-dir" || arg == "--debug";
        if (!known)
            refuse(prog, argv[i], "unknown option");
        if (i + 1 >= argc)
            refuse(prog, argv[i], "needs a value");
        const char* value = argv[++i];
        char* end = nullptr;
        errno = 0;
        if (arg == "--config") {
            opt.config = value;
            have_config = true;
        } else if (arg == "--cycles") {
            opt.cycles = strtol(value, &end, 10);
            if (errno != 0 || end == value || *end != '\0' || opt.cycles < 1)
                refuse(prog, "--cycles", std::string("'") + value + "' is not a whole number from 1");
        } else if (arg == "--interval") {
            opt.interval = strtod(value, &end);
            if (errno != 0 || end == value || *end != '\0' || !isfinite(opt.interval) ||
                opt.interval < 0 || opt.interval > kMaxInterval)
                refuse(prog, "--interval",
                       std::string("'") + value + "' is not a number of seconds from 0 to 86400");
        } else if (arg == "--log-dir") {
            if (*value == '\0')
                refuse(prog, "--log-dir", "the directory name is empty");
            opt.log_dir = value;
        } else {
            if (!parse_debug_levels(value, &opt.debug_levels))
                refuse(prog, "--debug",
                       std::string("'") + value +
                           "' is not a list of levels 0 to 31 such as 0,2, nor all");
        }
    }
    if (!have_config)
        refuse(prog, "--config", "no configuration file was given");
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

constexpr char kBlanks[] = " \t";

// text without the blanks and tabs at its ends.
std::string trimmed(const std::string& text)
{
    size_t first = text.find_first_not_of(kBlanks);
    if (first == std::string::npos)
        return std::string();
    return text.substr(first, text.find_last_not_of(kBlanks) - first + 1);
}

// A line's name and value: blanks around the name and after '=' do not
// count; the rest of the value stays as written. has_value is false for a
// line without '='.
void split_line(const std::string& line, std::string* name, std::string* value, bool* has_value)
{
    size_t eq = line.find('=');
    *has_value = eq != std::string::npos;
    *name = trimmed(line.substr(0, eq));
    if (*has_value) {
        size_t start = line.find_first_not_of(kBlanks, eq + 1);
        *value = start == std::string::npos ? std::string() : line.substr(start);
    } else {
        value->clear();
    }
}

std::vector<Resource> read_config(const std::string& file)
{
    std::ifstream in(file, std::ios::binary);
    if (!in) {
        fprintf(stderr, "%s: cannot open: %s\n", file.c_str(), strerror(errno));
        exit(2);
    }
    std::vector<Resource> resources;
    std::string raw;
    int lineno = 0;
    while (std::getline(in, raw)) {
        ++lineno;
        if (!raw.empty() && raw.back() == '\r') // CRLF line ends
            raw.pop_back();
        const std::string line = trimmed(raw);
        if (line.empty() || line[0] == '#')
            continue;
        if (line[0] == '[') {
            if (line.back() != ']' || line.size() < 3)
                config_error(file, lineno, "malformed resource header (write [NAME])");
            std::string name = trimmed(line.substr(1, line.size() - 2));
            if (name.empty())
                config_error(file, lineno, "malformed resource header (write [NAME])");
            for (const Resource& r : resources)
                if (r.settings.name == name)
                    config_error(file, lineno, "resource " + name + " defined twice");
            resources.emplace_back();
            resources.back().settings.name = name;
            continue;
        }
        if (resources.empty())
            config_error(file, lineno, "line outside a resource section (begin with [NAME])");
        Resource& res = resources.back();
        std::string name, value;
        bool has_value = false;
        // Attribute values keep their blanks at the end: only the raw line is
        // split for them (less its CR).
        split_line(line[0] == '@' ? line : raw.substr(raw.find_first_not_of(kBlanks)), &name,
                   &value, &has_value);
        if (line[0] == '@') {
            if (!has_value)
                config_error(file, lineno, "framework setting without '='");
            std::string key = trimmed(name.substr(1));
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
        if (name.empty())
            config_error(file, lineno, "attribute without a name");
        if (!has_value)
            config_error(file, lineno,
                         "line without '=' (write Attribute=value, or begin a comment with #)");
        Attribute* attr = nullptr;
        for (Attribute& a : res.attrs)
            if (a.name == name)
                attr = &a;
        if (attr == nullptr) {
            res.attrs.push_back(Attribute{name, {}});
            attr = &res.attrs.back();
        }
        attr->values.push_back(value);
    }
    if (in.bad()) {
        fprintf(stderr, "%s: cannot read: %s\n", file.c_str(), strerror(errno));
        exit(2);
    }
    if (resources.empty()) {
        fprintf(stderr, "%s: no resource section: the file must hold at least one [NAME] section\n",
                file.c_str());
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

// The thread that runs one resource's monitor, cycle after cycle, so that
// every call of a resource finds what the previous one left in the
// thread's caches. It waits for a call, runs it and hands the outcome back.
// A call that runs past the resource's time-out is cancelled, and the
// thread ends with it; the next cycle starts a new one.
class MonitorThread {
public:
    MonitorThread()
    {
        pthread_condattr_t attr;
        pthread_condattr_init(&attr);
        pthread_condattr_setclock(&attr, CLOCK_MONOTONIC);
        pthread_cond_init(&posted_, &attr);
        pthread_cond_init(&done_cv_, &attr);
        pthread_condattr_destroy(&attr);
        pthread_mutex_init(&mutex_, nullptr);
    }
    MonitorThread(const MonitorThread&) = delete;
    MonitorThread& operator=(const MonitorThread&) = delete;
    ~MonitorThread()
    {
        if (alive_) {
            pthread_mutex_lock(&mutex_);
            stop_ = true;
            pthread_cond_signal(&posted_);
            pthread_mutex_unlock(&mutex_);
            pthread_join(thread_, nullptr);
        }
        pthread_cond_destroy(&posted_);
        pthread_cond_destroy(&done_cv_);
        pthread_mutex_destroy(&mutex_);
    }

    // Hands the call to the thread, starting one when there is none. false
    // when no thread could be started.
    bool post(Call* call)
    {
        if (!alive_) {
            stop_ = false;
            call_ = nullptr;
            if (pthread_create(&thread_, nullptr, main, this) != 0)
                return false;
            alive_ = true;
        }
        pthread_mutex_lock(&mutex_);
        call_ = call;
        done_ = false;
        pthread_cond_signal(&posted_);
        pthread_mutex_unlock(&mutex_);
        return true;
    }

    // Waits for the posted call until the deadline (CLOCK_MONOTONIC); past
    // it, cancels the thread and waits for it to end. true when the call
    // finished (its state and confidence are set), false when it was
    // cancelled.
    bool wait(const struct timespec& deadline)
    {
        pthread_mutex_lock(&mutex_);
        while (!done_ && pthread_cond_timedwait(&done_cv_, &mutex_, &deadline) != ETIMEDOUT) {
        }
        bool finished = done_;
        pthread_mutex_unlock(&mutex_);
        if (finished)
            return true;
        pthread_cancel(thread_);
        pthread_join(thread_, nullptr);
        alive_ = false;
        // The call may have finished just before the cancel arrived.
        return done_;
    }

private:
    static void unlock(void* mutex) { pthread_mutex_unlock(static_cast<pthread_mutex_t*>(mutex)); }

    // The next call, or nullptr when the thread is to end. A cancel that
    // arrives while the thread waits here ends it.
    Call* next()
    {
        Call* call;
        pthread_mutex_lock(&mutex_);
        pthread_cleanup_push(unlock, &mutex_);
        while (call_ == nullptr && !stop_)
            pthread_cond_wait(&posted_, &mutex_);
        call = call_;
        call_ = nullptr;
        pthread_cleanup_pop(1);
        return call;
    }

    void finish(Call* call, int state, int confidence)
    {
        pthread_mutex_lock(&mutex_);
        call->state = state;
        call->confidence = confidence;
        done_ = true;
        pthread_cond_signal(&done_cv_);
        pthread_mutex_unlock(&mutex_);
    }

    static void* main(void* arg)
    {
        auto* self = static_cast<MonitorThread*>(arg);
        pthread_setcanceltype(PTHREAD_CANCEL_DEFERRED, nullptr);
        pthread_setcancelstate(PTHREAD_CANCEL_ENABLE, nullptr);
#ifdef QEN_TEST_HOOKS
        pthread_cleanup_push(QENAgTestCancelGuard, nullptr);
#endif
        while (Call* call = self->next()) {
            set_current_resource(&call->resource->settings);
            int confidence = 0;
            int state = call->monitor(call->resource->settings.name.c_str(), call->vector.data(),
                                      &confidence);
            set_current_resource(nullptr);
            self->finish(call, state, confidence);
        }
#ifdef QEN_TEST_HOOKS
        pthread_cleanup_pop(0);
#endif
        return nullptr;
    }

    pthread_t thread_{};
    bool alive_ = false;         // the driver's own: thread_ runs
    pthread_mutex_t mutex_;
    pthread_cond_t posted_;      // a call was posted, or stop_ set
    pthread_cond_t done_cv_;     // done_ set
    Call* call_ = nullptr;       // posted, not yet taken
    bool done_ = false;          // the posted call finished
    bool stop_ = false;
};

// mkdir -p: every missing directory of path is made (mode 0755).
bool make_directories(const std::string& path)
{
    for (size_t at = path.find('/', 1);; at = path.find('/', at + 1)) {
        std::string part = path.substr(0, at);
        if (!part.empty() && mkdir(part.c_str(), 0755) != 0 && errno != EEXIST)
            return false;
        if (at == std::string::npos)
            break;
    }
    struct stat st;
    if (stat(path.c_str(), &st) != 0)
        return false;
    if (!S_ISDIR(st.st_mode)) {
        errno = ENOTDIR;
        return false;
    }
    return true;
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
    set_debug_levels(opt.debug_levels);
    if (!make_directories(opt.log_dir) || !open_log_files(opt.log_dir)) {
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

    // One monitor thread per resource, for the life of the program.
    std::vector<std::unique_ptr<MonitorThread>> threads;
    for (size_t i = 0; i < resources.size(); ++i)
        threads.push_back(std::make_unique<MonitorThread>());

    for (long cycle = 1; opt.cycles < 0 || cycle <= opt.cycles; ++cycle) {
        if (cycle > 1)
            sleep_for(opt.interval);
        struct timespec start;
        clock_gettime(CLOCK_MONOTONIC, &start);
        std::vector<std::unique_ptr<Call>> calls;
        std::vector<bool> started;
        for (size_t i = 0; i < resources.size(); ++i) {
            auto call = std::make_unique<Call>();
            call->resource = &resources[i];
            call->monitor = monitor;
            build_vector(*call);
            started.push_back(threads[i]->post(call.get()));
            calls.push_back(std::move(call));
        }
        for (size_t i = 0; i < calls.size(); ++i) {
            Call& call = *calls[i];
            const char* name = call.resource->settings.name.c_str();
            struct timespec deadline = start;
            deadline.tv_sec += call.resource->settings.timeout;
            if (!started[i] || !threads[i]->wait(deadline))
                printf("cycle=%ld resource=%s cancelled\n", cycle, name);
            else
                printf("cycle=%ld resource=%s state=%d confidence=%d\n", cycle, name, call.state,
                       call.confidence);
            fflush(stdout);
        }
    }
    return 0;
}
