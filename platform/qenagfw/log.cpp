// The agent log, the console and the debug log.
#include <errno.h>
#include <fcntl.h>
#include <stdarg.h>
#include <stdio.h>
#include <unistd.h>

#include <atomic>
#include <mutex>
#include <string>
#include <vector>

#include "fw_internal.h"
#include "qenagfw.h"
#include "qenagfw_test.h"

namespace qenagfw {
namespace {

std::mutex log_mutex;
int log_fds[3] = {-1, -1, -1}; // agent, console, debug
bool to_files = false;
std::atomic<unsigned> debug_levels{kAllDebugLevels};
#ifdef QEN_TEST_HOOKS
std::vector<QENAgTestLine>& kept()
{
    static auto* lines = new std::vector<QENAgTestLine>;
    return *lines;
}
#endif

// Whether debug traces of level are written. Checked before a trace is
// formatted, so that a level that is off costs nothing.
bool debug_level_on(int level)
{
    return level >= 0 && static_cast<unsigned>(level) <= kMaxDebugLevel &&
           (debug_levels.load(std::memory_order_relaxed) >> level & 1u) != 0;
}

int slot(int kind)
{
    return kind == LOG_AGENT ? 0 : kind == LOG_CONSOLE ? 1 : 2;
}

std::string vformat(const char* fmt, va_list ap)
{
    if (fmt == nullptr)
        return "(null)";
    va_list copy;
    va_copy(copy, ap);
    char small[512];
    int n = vsnprintf(small, sizeof small, fmt, copy);
    va_end(copy);
    if (n < 0)
        return fmt;
    if (static_cast<size_t>(n) < sizeof small)
        return std::string(small, static_cast<size_t>(n));
    std::string text(static_cast<size_t>(n) + 1, '\0');
    vsnprintf(text.data(), text.size(), fmt, ap);
    text.resize(static_cast<size_t>(n));
    return text;
}

// Composes one line and writes it with one write(2). Cancellation stays off
// from the first allocation to the end of the write.
void emit(int kind, const char* what, int value, int msgid, const char* tag, const char* file,
          int line, const char* fmt, va_list ap)
{
    NoCancel nc;
    const ResourceSettings* res = current_resource();
    std::string text = "resource=";
    text += res && !res->name.empty() ? res->name : "-";
    text += " category=" + std::to_string(log_category());
    text += ' ';
    text += what;
    text += '=' + std::to_string(value);
    if (kind != LOG_DEBUG)
        text += " id=" + std::to_string(msgid);
    text += " tag=";
    text += tag ? tag : "-";
    text += " file=";
    text += file ? file : "-";
    text += " line=" + std::to_string(line) + ": ";
    text += vformat(fmt, ap);

    std::lock_guard lock(log_mutex);
    if (!to_files) {
#ifdef QEN_TEST_HOOKS
        kept().push_back(QENAgTestLine{kind, text});
#endif
        return;
    }
    text += '\n';
    int fd = log_fds[slot(kind)];
    const char* p = text.data();
    size_t left = text.size();
    while (left > 0) {
        ssize_t n = write(fd, p, left);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            break;
        p += n;
        left -= static_cast<size_t>(n);
    }
}

} // namespace

void set_debug_levels(unsigned mask)
{
    debug_levels.store(mask);
}

bool open_log_files(const std::string& dir)
{
    static const char* const names[3] = {"agent.log", "console.log", "debug.log"};
    int fds[3];
    for (int i = 0; i < 3; ++i) {
        std::string path = dir + "/" + names[i];
        fds[i] = open(path.c_str(), O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
        if (fds[i] < 0) {
            int e = errno;
            for (int j = 0; j < i; ++j)
                close(fds[j]);
            errno = e;
            return false;
        }
    }
    std::lock_guard lock(log_mutex);
    for (int i = 0; i < 3; ++i)
        log_fds[i] = fds[i];
    to_files = true;
    return true;
}

} // namespace qenagfw

using namespace qenagfw;

extern "C" void QENAgLogMsg1(int severity, const char* tag, const char* file, int line, int msgid,
                             int, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit(LOG_AGENT, "severity", severity, msgid, tag, file, line, fmt, ap);
    va_end(ap);
}

extern "C" void QENAgLogConsoleMsg1(int severity, const char* tag, const char* file, int line,
                                    int msgid, int, const char* fmt, ...)
{
    va_list ap;
    va_start(ap, fmt);
    emit(LOG_CONSOLE, "severity", severity, msgid, tag, file, line, fmt, ap);
    va_end(ap);
}

extern "C" void QENAgLogDbgMsg1(int level, const char* tag, const char* file, int line, int,
                                const char* fmt, ...)
{
    if (!debug_level_on(level))
        return;
    va_list ap;
    va_start(ap, fmt);
    emit(LOG_DEBUG, "level", level, 0, tag, file, line, fmt, ap);
    va_end(ap);
}

#ifdef QEN_TEST_HOOKS
std::vector<QENAgTestLine> QENAgTestTakeLog()
{
    std::lock_guard lock(log_mutex);
    std::vector<QENAgTestLine> out;
    out.swap(kept());
    return out;
}

void QENAgTestSetDebugLevels(unsigned mask)
{
    set_debug_levels(mask);
}
#endif
