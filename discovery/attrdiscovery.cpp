// Attribute discovery: runs the discovery script for one attribute and wraps
// the lines it prints into the tagged document the configuration wizard reads.
//
// The library links no library of its own (no C++ runtime either): it calls
// only the C library, which the loading process provides.

#include "attrdiscovery.h"

#include <cerrno>
#include <cstddef>
#include <cstdlib>
#include <cstring>
#include <string_view>

#include <fcntl.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <sys/wait.h>
#include <unistd.h>

#define QEN_EXPORT __attribute__((visibility("default")))

namespace {

constexpr const char *kScriptPath = QEN_ATTRSCAN_DEFAULT_SCRIPT;
// Points the plug-in at another discovery script (tests, demonstrations).
constexpr const char *kScriptEnv = QEN_ATTRSCAN_SCRIPT_ENV;
constexpr const char *kProgramName = "zediscover";

constexpr std::string_view kListed[] = {"Instances", "Databases", "NonDefTns",
                                        "LNames",    "yrnlinks",  "crshome"};
constexpr std::string_view kListenersPrefix = "Listeners";

constexpr std::size_t kListSize = 256;
constexpr std::size_t kOptionSize = 256;   // "-", the name and its terminator
constexpr std::size_t kDocumentMin = 4096;
constexpr std::size_t kReadPiece = 64 * 1024;

constexpr std::string_view kOpen = "<Discovery>\n";
constexpr std::string_view kNameOpen = "<Attr_Name>\n";
constexpr std::string_view kNameClose = "\n</Attr_Name>\n";
constexpr std::string_view kValueOpen = "<Discover_Value>\n<Scalar_Value>\n";
constexpr std::string_view kValueClose = "\n</Scalar_Value>\n</Discover_Value>\n";
constexpr std::string_view kClose = "</Discovery>\n";

constexpr std::size_t list_length() {
  std::size_t n = 0;
  for (auto name : kListed) n += name.size() + 1;
  return n;
}
static_assert(list_length() < kListSize, "the attribute list fits its buffer");
static_assert(sizeof(kListed) / sizeof(kListed[0]) == 6);

bool accepted(std::string_view name) {
  for (auto listed : kListed)
    if (name == listed) return true;
  return name.starts_with(kListenersPrefix);
}

// What the script printed, NUL bytes left out (the document is a C string).
struct Output {
  char *data = nullptr;
  std::size_t len = 0;
  std::size_t cap = 0;
};

bool reserve(Output &out, std::size_t more) {
  if (out.cap - out.len >= more) return true;
  std::size_t cap = out.cap ? out.cap : kReadPiece;
  while (cap - out.len < more) cap *= 2;
  char *grown = static_cast<char *>(std::realloc(out.data, cap));
  if (!grown) return false;
  out.data = grown;
  out.cap = cap;
  return true;
}

void drop_nuls(char *text, std::size_t &len) {
  char *nul = static_cast<char *>(std::memchr(text, '\0', len));
  if (!nul) return;
  char *to = nul;
  for (const char *from = nul; from != text + len; ++from)
    if (*from != '\0') *to++ = *from;
  len = static_cast<std::size_t>(to - text);
}

// Closes every descriptor above standard error in the freshly forked child,
// so the script inherits only its standard streams.
void close_above_stderr() {
#ifdef SYS_close_range
  if (syscall(SYS_close_range, 3u, ~0u, 0u) == 0) return;
#endif
  struct rlimit lim;
  rlim_t top = 1 << 16;
  if (getrlimit(RLIMIT_NOFILE, &lim) == 0 && lim.rlim_cur != RLIM_INFINITY) top = lim.rlim_cur;
  for (rlim_t fd = 3; fd < top; ++fd) close(static_cast<int>(fd));
}

[[noreturn]] void run_child(int write_end, const char *script, const char *option) {
  // dup2 onto itself would keep close-on-exec, so clear it by hand then.
  if (write_end == STDOUT_FILENO) {
    if (fcntl(STDOUT_FILENO, F_SETFD, 0) != 0) _exit(127);
  } else if (dup2(write_end, STDOUT_FILENO) < 0) {
    _exit(127);
  }
  // Both pipe ends are close-on-exec; anything at 0 or 2 goes at exec.
  close_above_stderr();
  execlp(script, kProgramName, option, static_cast<char *>(nullptr));
  _exit(127);
}

void reap(pid_t pid) {
  int status;
  while (waitpid(pid, &status, 0) < 0 && errno == EINTR) {
  }
}

enum class Run { ok, not_started, no_memory };

// Runs the script and collects its standard output. The child is always
// waited for; whatever it printed counts, however it ended.
Run run_script(const char *script, const char *option, Output &out) {
  int fds[2];
  if (pipe2(fds, O_CLOEXEC) != 0) return Run::not_started;
  pid_t pid = fork();
  if (pid < 0) {
    close(fds[0]);
    close(fds[1]);
    return Run::not_started;
  }
  if (pid == 0) run_child(fds[1], script, option);
  close(fds[1]);

  Run result = Run::ok;
  for (;;) {
    if (!reserve(out, kReadPiece)) {
      result = Run::no_memory;
      break;
    }
    ssize_t n = read(fds[0], out.data + out.len, kReadPiece);
    if (n < 0 && errno == EINTR) continue;
    if (n <= 0) break;
    std::size_t got = static_cast<std::size_t>(n);
    drop_nuls(out.data + out.len, got);
    out.len += got;
  }
  // Closing the read end first lets a script we stopped reading end on EPIPE.
  close(fds[0]);
  reap(pid);
  return result;
}

char *append(char *to, std::string_view piece) {
  std::memcpy(to, piece.data(), piece.size());
  return to + piece.size();
}

// Calls visit(value) for each non-empty line of text, in order.
template <typename Visit>
void for_each_value(const char *text, std::size_t len, Visit visit) {
  const char *p = text;
  const char *end = text + len;
  while (p < end) {
    const char *eol = static_cast<const char *>(std::memchr(p, '\n', end - p));
    if (!eol) eol = end;
    if (eol != p) visit(std::string_view(p, eol - p));
    p = eol + 1;
  }
}

char *build_document(std::string_view name, const Output &out, int &values) {
  std::size_t count = 0;
  std::size_t value_bytes = 0;
  for_each_value(out.data, out.len, [&](std::string_view v) {
    ++count;
    value_bytes += v.size();
  });
  std::size_t size = kOpen.size() + kNameOpen.size() + name.size() + kNameClose.size() +
                     count * (kValueOpen.size() + kValueClose.size()) + value_bytes +
                     kClose.size() + 1;
  // The buffer ends zeroed past the text, as calloc would leave it, without
  // writing the large part twice.
  std::size_t cap = size > kDocumentMin ? size : kDocumentMin;
  char *doc = static_cast<char *>(std::malloc(cap));
  if (!doc) return nullptr;
  char *at = append(doc, kOpen);
  at = append(at, kNameOpen);
  at = append(at, name);
  at = append(at, kNameClose);
  for_each_value(out.data, out.len, [&](std::string_view v) {
    at = append(at, kValueOpen);
    at = append(at, v);
    at = append(at, kValueClose);
  });
  at = append(at, kClose);
  std::memset(at, 0, cap - static_cast<std::size_t>(at - doc));
  values = static_cast<int>(count);
  return doc;
}

char *empty_document() { return static_cast<char *>(std::calloc(kDocumentMin, 1)); }

}  // namespace

extern "C" {

QEN_EXPORT char *QEN_GetDiscoverableAttributes(int *count) {
  char *list = static_cast<char *>(std::calloc(kListSize, 1));
  if (!list) {
    if (count) *count = 0;
    return nullptr;
  }
  char *at = list;
  for (auto name : kListed) {
    at = append(at, name);
    *at++ = '\n';
  }
  if (count) *count = static_cast<int>(sizeof(kListed) / sizeof(kListed[0]));
  return list;
}

QEN_EXPORT char *QEN_GetPossibleValues(int *count, const char *attribute) {
  if (count) *count = 0;
  if (!attribute) return nullptr;
  std::string_view name(attribute);
  // The option must fit its buffer: a longer "Listeners..." name is refused.
  if (!accepted(name) || name.size() + 2 > kOptionSize) return nullptr;

  char option[kOptionSize];
  option[0] = '-';
  std::memcpy(option + 1, name.data(), name.size() + 1);

  const char *script = std::getenv(kScriptEnv);
  if (!script || !*script) script = kScriptPath;

  Output out;
  Run run = run_script(script, option, out);
  char *doc = nullptr;
  int values = 0;
  if (run == Run::not_started || (run == Run::ok && out.len == 0))
    doc = empty_document();
  else if (run == Run::ok)
    doc = build_document(name, out, values);
  std::free(out.data);
  if (doc && count) *count = values;
  return doc;
}

QEN_EXPORT void QEN_FreeDiscoveryMem(void *buffer) { std::free(buffer); }

}  // extern "C"
