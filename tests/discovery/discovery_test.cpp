// The discovery plug-in, loaded with dlopen and called by name as the
// configuration wizard does, against a real discovery script.

#include <dirent.h>
#include <dlfcn.h>
#include <fcntl.h>
#include <linux/audit.h>
#include <linux/filter.h>
#include <linux/seccomp.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/stat.h>
#include <sys/syscall.h>
#include <sys/time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <csignal>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <map>
#include <string>
#include <string_view>
#include <vector>

#include <gtest/gtest.h>

#include "child.h"
#include "temp_dir.h"

#include "attrdiscovery_host.h"

namespace {

const AttrDiscoveryApi &api() {
  static const AttrDiscoveryApi loaded = [] {
    AttrDiscoveryApi a;
    if (!attrdiscovery_load(ATTRDISCOVERY_SO, &a))
      std::fprintf(stderr, "dlopen: %s\n", dlerror());
    return a;
  }();
  return loaded;
}

struct Outcome {
  bool null = true;
  std::string doc;
  int count = -1;
};

// One call of the plug-in, nothing checked.
Outcome call(const char *attribute) {
  Outcome o;
  o.count = -7;
  char *doc = api().values(&o.count, attribute);
  o.null = doc == nullptr;
  if (doc) {
    o.doc = doc;
    api().release(doc);
  }
  return o;
}

// What a call must leave as it found it: the open descriptors (number and
// target) and the file behind standard input.
struct HostState {
  std::map<int, std::string> fds;
  std::string stdin_id;
};

HostState host_state() {
  HostState s;
  DIR *dir = opendir("/proc/self/fd");
  if (dir) {
    int own = dirfd(dir);
    while (dirent *e = readdir(dir)) {
      if (e->d_name[0] == '.') continue;
      int fd = std::atoi(e->d_name);
      if (fd == own) continue;
      char target[512];
      std::string path = std::string("/proc/self/fd/") + e->d_name;
      ssize_t n = readlink(path.c_str(), target, sizeof target);
      s.fds[fd] = n < 0 ? "?" : std::string(target, static_cast<std::size_t>(n));
    }
    closedir(dir);
  }
  struct stat st;
  s.stdin_id = fstat(STDIN_FILENO, &st) == 0
                   ? std::to_string(st.st_dev) + ":" + std::to_string(st.st_ino)
                   : "closed";
  return s;
}

bool no_child_left() {
  errno = 0;
  return waitpid(-1, nullptr, WNOHANG) == -1 && errno == ECHILD;
}

// A call with the host's invariants checked around it.
Outcome discover(const char *attribute) {
  HostState before = host_state();
  Outcome o = call(attribute);
  HostState after = host_state();
  EXPECT_EQ(before.fds, after.fds) << "descriptors changed by " << attribute;
  EXPECT_EQ(before.stdin_id, after.stdin_id) << "standard input changed by " << attribute;
  EXPECT_TRUE(no_child_left()) << "child left behind by " << attribute;
  return o;
}

std::string document(std::string_view name, const std::vector<std::string> &values) {
  std::string d = "<Discovery>\n<Attr_Name>\n";
  d += name;
  d += "\n</Attr_Name>\n";
  for (const auto &v : values)
    d += "<Discover_Value>\n<Scalar_Value>\n" + v + "\n</Scalar_Value>\n</Discover_Value>\n";
  d += "</Discovery>\n";
  return d;
}

std::vector<std::string> values_of(const std::string &doc) {
  std::vector<std::string> out;
  const std::string open = "<Scalar_Value>\n";
  const std::string close = "\n</Scalar_Value>\n</Discover_Value>\n";
  for (std::size_t at = doc.find(open); at != std::string::npos; at = doc.find(open, at)) {
    at += open.size();
    std::size_t end = doc.find(close, at);
    if (end == std::string::npos) break;
    out.push_back(doc.substr(at, end - at));
    at = end;
  }
  return out;
}

// The "fd target" lines that the script's fds case prints.
std::map<int, std::string> script_fds(const std::string &doc) {
  std::map<int, std::string> seen;
  for (const auto &v : values_of(doc)) {
    std::size_t sp = v.find(' ');
    if (sp != std::string::npos) seen[std::atoi(v.substr(0, sp).c_str())] = v.substr(sp + 1);
  }
  return seen;
}

// The script's standard output is a pipe, and no other of its descriptors
// holds that pipe (the read end in particular).
bool only_stdout_holds_the_pipe(const std::map<int, std::string> &seen) {
  auto out = seen.find(1);
  if (out == seen.end() || out->second.rfind("pipe:", 0) != 0) return false;
  for (const auto &[fd, target] : seen)
    if (fd != 1 && target == out->second) return false;
  return true;
}

#define CHILD_REQUIRE(cond, code)                                       \
  do {                                                                  \
    if (!(cond)) {                                                      \
      std::fprintf(stderr, "in child: %s failed (%d)\n", #cond, code); \
      return code;                                                      \
    }                                                                   \
  } while (0)

constexpr const char *kScriptEnv = "QEN_ATTRSCAN_SCRIPT";

class Discovery : public ::testing::Test {
 protected:
  void SetUp() override {
    ASSERT_NE(api().list, nullptr);
    ASSERT_NE(api().values, nullptr);
    ASSERT_NE(api().release, nullptr);
    setenv(kScriptEnv, TEST_SCRIPT, 1);
  }
};

TEST_F(Discovery, ListsTheSixAttributesInOrder) {
  int count = -1;
  char *list = api().list(&count);
  ASSERT_NE(list, nullptr);
  EXPECT_EQ(std::string(list), "Instances\nDatabases\nNonDefTns\nLNames\nyrnlinks\ncrshome\n");
  EXPECT_EQ(count, 6);
  api().release(list);
}

TEST_F(Discovery, DocumentIsExactlyTagged) {
  Outcome o = discover("Listeners_blank");
  ASSERT_FALSE(o.null);
  EXPECT_EQ(o.doc,
            "<Discovery>\n"
            "<Attr_Name>\nListeners_blank\n</Attr_Name>\n"
            "<Discover_Value>\n<Scalar_Value>\na\n</Scalar_Value>\n</Discover_Value>\n"
            "<Discover_Value>\n<Scalar_Value>\nb\n</Scalar_Value>\n</Discover_Value>\n"
            "</Discovery>\n");
  EXPECT_EQ(o.count, 2);
}

TEST_F(Discovery, ScriptOutputBecomesValues) {
  std::vector<std::string> many;
  char line[32];
  for (int i = 1; i <= 2000; ++i) {
    std::snprintf(line, sizeof line, "value_%05d", i);
    many.push_back(line);
  }
  struct Case {
    const char *attribute;
    std::vector<std::string> values;
  };
  const Case cases[] = {
      {"Listeners_blank", {"a", "b"}},
      {"Listeners_nofinal", {"a"}},
      {"Listeners_lineends", {}},
      {"Listeners_manylines", many},
      {"Listeners_oneline", {std::string(10000, 'x'), "tail"}},
      {"Listeners_markup", {"<Scalar_Value>", "100%", "%s%n%%", "</Discovery>&<"}},
      {"Listeners_nul", {"ab", "c"}},
      {"Listeners_exit3", {"before", "exit"}},
      {"Listeners_killed", {"a", "b"}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.attribute);
    Outcome o = discover(c.attribute);
    ASSERT_FALSE(o.null);
    EXPECT_EQ(o.doc, document(c.attribute, c.values));
    EXPECT_EQ(o.count, static_cast<int>(c.values.size()));
  }
}

TEST_F(Discovery, NoOutputGivesEmptyText) {
  Outcome o = discover("Listeners_nothing");
  EXPECT_FALSE(o.null);
  EXPECT_EQ(o.doc, "");
  EXPECT_EQ(o.count, 0);
}

TEST_F(Discovery, ScriptGetsTheAttributeAsItsOption) {
  for (const char *name : {"Instances", "Databases", "NonDefTns", "LNames", "yrnlinks", "crshome",
                           "Listeners", "Listeners_x", "Listeners_zur1"}) {
    SCOPED_TRACE(name);
    Outcome o = discover(name);
    ASSERT_FALSE(o.null);
    EXPECT_EQ(o.doc, document(name, {std::string("option=-") + name, "args=1"}));
    EXPECT_EQ(o.count, 2);
  }
}

TEST_F(Discovery, ScriptRunsAsZediscover) {
  setenv(kScriptEnv, ARGV_ECHO, 1);
  Outcome o = discover("Instances");
  EXPECT_EQ(values_of(o.doc),
            (std::vector<std::string>{"argc=2", "argv0=zediscover", "argv1=-Instances"}));
}

TEST_F(Discovery, RefusedNames) {
  for (const char *name : {"instances", "INSTANCES", "Instance", "Instancesx", " Instances",
                           "Listener", "listeners_x", "xListeners", ""}) {
    SCOPED_TRACE(name);
    Outcome o = discover(name);
    EXPECT_TRUE(o.null);
    EXPECT_EQ(o.count, 0);
  }
  Outcome o = discover(nullptr);
  EXPECT_TRUE(o.null);
  EXPECT_EQ(o.count, 0);
}

TEST_F(Discovery, ListenersNameMustFitTheOption) {
  std::string longest = "Listeners" + std::string(254 - 9, 'L');
  Outcome o = discover(longest.c_str());
  ASSERT_FALSE(o.null);
  EXPECT_EQ(o.doc, document(longest, {"option=-" + longest, "args=1"}));

  for (std::size_t len : {255u, 256u, 10000u}) {
    SCOPED_TRACE(len);
    std::string name = "Listeners" + std::string(len - 9, 'L');
    Outcome refused = discover(name.c_str());
    EXPECT_TRUE(refused.null);
    EXPECT_EQ(refused.count, 0);
  }
}

TEST_F(Discovery, ScriptThatCannotRunGivesEmptyText) {
  TempDir tmp;
  ASSERT_FALSE(tmp.path().empty());
  const std::string& dir = tmp.path();
  std::string missing = dir + "/absent.pl";
  std::string plain = tmp.write("plain.pl", "#!/usr/bin/perl\nprint \"a\\n\";\n", 0644);

  for (const std::string &script : {missing, plain, dir}) {
    SCOPED_TRACE(script);
    setenv(kScriptEnv, script.c_str(), 1);
    Outcome o = discover("Instances");
    EXPECT_FALSE(o.null);
    EXPECT_EQ(o.doc, "");
    EXPECT_EQ(o.count, 0);
  }
}

TEST_F(Discovery, HostStandardInputIsLeftAlone) {
  int p[2];
  ASSERT_EQ(pipe(p), 0);
  ASSERT_EQ(write(p[1], "hello\n", 6), 6);
  close(p[1]);
  int saved = dup(STDIN_FILENO);
  dup2(p[0], STDIN_FILENO);
  close(p[0]);

  Outcome o = discover("Listeners_blank");
  char buf[16] = {};
  ssize_t n = read(STDIN_FILENO, buf, sizeof buf);

  dup2(saved, STDIN_FILENO);
  close(saved);
  EXPECT_EQ(o.count, 2);
  EXPECT_EQ(n, 6);
  EXPECT_STREQ(buf, "hello\n");
}

TEST_F(Discovery, ScriptInheritsOnlyItsStandardStreams) {
  int null_fd = open("/dev/null", O_RDONLY);
  ASSERT_GE(null_fd, 0);
  ASSERT_EQ(dup2(null_fd, 100), 100);  // a host descriptor without close-on-exec
  close(null_fd);

  Outcome o = discover("Listeners_fds");
  close(100);

  std::map<int, std::string> seen = script_fds(o.doc);
  ASSERT_TRUE(seen.count(1));
  EXPECT_TRUE(only_stdout_holds_the_pipe(seen));
  for (const auto &[fd, target] : seen) EXPECT_LE(fd, 2) << fd << " " << target;
}

TEST_F(Discovery, HostWithoutStandardStreams) {
  // With 0 and 1 closed the pipe itself lands on them.
  int rc = in_child([] {
    close(STDIN_FILENO);
    close(STDOUT_FILENO);
    Outcome o = call("Listeners_blank");
    CHILD_REQUIRE(o.doc == document("Listeners_blank", {"a", "b"}), 1);
    CHILD_REQUIRE(o.count == 2, 2);
    CHILD_REQUIRE(only_stdout_holds_the_pipe(script_fds(call("Listeners_fds").doc)), 3);
    CHILD_REQUIRE(fcntl(STDIN_FILENO, F_GETFD) == -1 && errno == EBADF, 4);
    CHILD_REQUIRE(fcntl(STDOUT_FILENO, F_GETFD) == -1 && errno == EBADF, 5);
    CHILD_REQUIRE(no_child_left(), 6);
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

TEST_F(Discovery, HostThatIgnoresSigchld) {
  int rc = in_child([] {
    signal(SIGCHLD, SIG_IGN);
    Outcome o = call("Listeners_blank");
    CHILD_REQUIRE(o.doc == document("Listeners_blank", {"a", "b"}), 1);
    CHILD_REQUIRE(o.count == 2, 2);
    CHILD_REQUIRE(no_child_left(), 3);
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

volatile sig_atomic_t ticks = 0;
void on_tick(int) { ticks = ticks + 1; }
void reap_everything(int) {
  int saved = errno;
  while (waitpid(-1, nullptr, WNOHANG) > 0) {
  }
  errno = saved;
}

TEST_F(Discovery, HostSignalsInterruptTheRead) {
  // A host that reaps every child itself and takes a timer signal every
  // millisecond, both without SA_RESTART.
  int rc = in_child([] {
    struct sigaction sa = {};
    sigemptyset(&sa.sa_mask);
    sa.sa_handler = reap_everything;
    sigaction(SIGCHLD, &sa, nullptr);
    sa.sa_handler = on_tick;
    sigaction(SIGALRM, &sa, nullptr);
    itimerval every_ms = {{0, 1000}, {0, 1000}};
    setitimer(ITIMER_REAL, &every_ms, nullptr);
    Outcome o = call("Listeners_slow");
    itimerval off = {};
    setitimer(ITIMER_REAL, &off, nullptr);
    std::vector<std::string> lines;
    for (int i = 1; i <= 20; ++i) lines.push_back("line" + std::to_string(i));
    CHILD_REQUIRE(ticks > 0, 1);
    CHILD_REQUIRE(o.doc == document("Listeners_slow", lines), 2);
    CHILD_REQUIRE(o.count == 20, 3);
    CHILD_REQUIRE(no_child_left(), 4);
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

TEST_F(Discovery, PipeFailureGivesEmptyText) {
  // Fill the descriptor table but one slot: the pipe cannot be made.
  int rc = in_child([] {
    rlimit lim = {64, 64};
    CHILD_REQUIRE(setrlimit(RLIMIT_NOFILE, &lim) == 0, 1);
    int spare = -1;
    for (;;) {
      int fd = open("/dev/null", O_RDONLY);
      if (fd < 0) break;
      spare = fd;
    }
    CHILD_REQUIRE(errno == EMFILE && spare >= 0, 2);
    close(spare);
    Outcome o = call("Instances");
    CHILD_REQUIRE(!o.null && o.doc.empty() && o.count == 0, 3);
    CHILD_REQUIRE(open("/dev/null", O_RDONLY) == spare, 4);
    CHILD_REQUIRE(open("/dev/null", O_RDONLY) == -1 && errno == EMFILE, 5);
    CHILD_REQUIRE(no_child_left(), 6);
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

constexpr int kNoSeccomp = 77;

TEST_F(Discovery, ForkFailureGivesEmptyText) {
  // A seccomp filter makes every process creation fail with EAGAIN.
  int rc = in_child([] {
    sock_filter filter[] = {
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, arch)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, AUDIT_ARCH_X86_64, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_LD | BPF_W | BPF_ABS, offsetof(seccomp_data, nr)),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone, 4, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_clone3, 3, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_fork, 2, 0),
        BPF_JUMP(BPF_JMP | BPF_JEQ | BPF_K, __NR_vfork, 1, 0),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ALLOW),
        BPF_STMT(BPF_RET | BPF_K, SECCOMP_RET_ERRNO | (EAGAIN & SECCOMP_RET_DATA)),
    };
    sock_fprog prog = {static_cast<unsigned short>(sizeof filter / sizeof filter[0]), filter};
    if (prctl(PR_SET_NO_NEW_PRIVS, 1, 0, 0, 0) != 0 ||
        prctl(PR_SET_SECCOMP, SECCOMP_MODE_FILTER, &prog) != 0)
      return kNoSeccomp;
    CHILD_REQUIRE(fork() == -1 && errno == EAGAIN, 1);
    HostState before = host_state();
    Outcome o = call("Instances");
    HostState after = host_state();
    CHILD_REQUIRE(!o.null && o.doc.empty() && o.count == 0, 2);
    CHILD_REQUIRE(before.fds == after.fds, 3);
    CHILD_REQUIRE(no_child_left(), 4);
    return 0;
  });
  if (rc == kNoSeccomp) GTEST_SKIP() << "seccomp filters are not available here";
  EXPECT_EQ(rc, 0);
}

}  // namespace
