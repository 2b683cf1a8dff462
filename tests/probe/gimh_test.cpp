// The health interface over health files that the test writes and changes
// while the contexts read them, as the instance would. Each test runs in a
// child process: the process context brings up the kit once per process.
#include <gtest/gtest.h>

#include <dirent.h>
#include <fcntl.h>
#include <signal.h>
#include <stdlib.h>
#include <string.h>
#include <sys/mman.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <string>

#include "child.h"
#include "gimh.h"
#include "psinfo.h"
#include "vsnnum.h"

namespace {

constexpr uint8_t kSet = 2, kUnset = 1, kUnsupported = 0;

long start_of(pid_t pid) {
  psinfo_t ps;
  if (pid != getpid())
    return psinfo_build(pid, &ps) == 0 ? static_cast<long>(ps.pr_start.tv_sec) : 0;
  // A process's own start time is read by another process, as the probe
  // reads the instance's: a user-mode emulator answers a process's reads of
  // its own /proc entry itself, with a start time of its own making.
  int fds[2];
  if (pipe(fds) != 0) return 0;
  pid_t reader = fork();
  if (reader == 0) {
    long start = start_of(getppid());
    ssize_t n = write(fds[1], &start, sizeof start);
    _exit(n == static_cast<ssize_t>(sizeof start) ? 0 : 1);
  }
  close(fds[1]);
  long start = 0;
  if (reader < 0 || read(fds[0], &start, sizeof start) != static_cast<ssize_t>(sizeof start))
    start = 0;
  close(fds[0]);
  if (reader > 0) waitpid(reader, nullptr, 0);
  return start;
}

// A health file of this build's layout in a temporary home, with a writable
// mapping of it standing for the instance.
struct Instance {
  std::string home;
  std::string path;
  gimh_region *r = nullptr;

  Instance() {
    char tmpl[] = "/tmp/qen_gimh_XXXXXX";
    home = mkdtemp(tmpl);
    std::string dbs = home + "/dbs";
    mkdir(dbs.c_str(), 0755);
    path = dbs + "/hc_orcl.dat";
    int fd = open(path.c_str(), O_RDWR | O_CREAT | O_TRUNC, 0600);
    gimh_region init{};
    init.magic = init.magic2 = GIMH_MAGIC;
    init.version = vsnnum;
    init.flags = GIMH_FLG_READY;
    init.pid.pid = getpid();
    init.pid.stime = start_of(getpid());
    for (auto &rec : init.rec) memset(rec.state, kUnset, sizeof rec.state);
    EXPECT_EQ(write(fd, &init, sizeof init), static_cast<ssize_t>(sizeof init));
    r = static_cast<gimh_region *>(
        mmap(nullptr, sizeof init, PROT_READ | PROT_WRITE, MAP_SHARED, fd, 0));
    close(fd);
  }
  ~Instance() {
    munmap(r, sizeof *r);
    unlink(path.c_str());
    rmdir((home + "/dbs").c_str());
    rmdir(home.c_str());
  }
  uint8_t *states() { return r->rec[r->curidx].state; }
};

struct Probe {
  gimh_proc_ctx *proc = nullptr;
  gimh_inst_ctx *inst = nullptr;
  gimh_query_ctx *q = nullptr;
};

// Contexts on the instance's file; a failing step ends the child.
Probe open_all(Instance &in) {
  Probe p;
  CHILD_CHECK(gimh_init_proc_ctx(&p.proc, 0) == GIMH_OK);
  CHILD_CHECK(gimh_init_inst_ctx(&p.inst, p.proc, in.home.c_str(), "orcl") == GIMH_OK);
  CHILD_CHECK(gimh_init_query_ctx(&p.q, p.inst) == GIMH_OK);
  return p;
}

std::string error_text(gimh_proc_ctx *proc) {
  char buf[2000];
  buf[0] = '\0';
  gimh_error(proc, buf, sizeof buf);
  return buf;
}

unsigned depth(gimh_proc_ctx *proc) { return lemged(proc->env.lem); }

int check(gimh_query_ctx *q, int event, int kind) {
  int flag = -1;
  int r = gimh_check(q, event, kind, &flag);
  return r == GIMH_OK ? flag : -10 - r;
}

}  // namespace

TEST(GimhProc, EventTableAndLookups) {
  IN_CHILD({
    gimh_proc_ctx *proc = nullptr;
    CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK && proc);
    CHILD_CHECK(proc->magic == GIMH_PROC_MAGIC);
    for (int e = 0; e < GIMH_NEVENTS; ++e) {
      CHILD_CHECK(proc->event_row[e] == e + 2);
      CHILD_CHECK(strlen(gimh_name(proc, e)) == GIMSA_NAME_WIDTH);
    }
    CHILD_CHECK(strcmp(gimh_name(proc, 4), "Inaccessible Logfile     ") == 0);
    CHILD_CHECK(gimh_class(proc, 4) == GIMH_CLASS_HARD);
    CHILD_CHECK(gimh_class(proc, 0) == GIMH_CLASS_SOFT);
    CHILD_CHECK(strcmp(gimh_name(proc, GIMH_ANY_STATE), "Any State") == 0);
    CHILD_CHECK(gimh_class(proc, GIMH_ANY_STATE) == GIMH_CLASS_INFO);
    for (int bad : {15, -1, 100, 0x7FFFFFFE}) {
      CHILD_CHECK(gimh_name(proc, bad) == nullptr);
      CHILD_CHECK(gimh_class(proc, bad) == 0);
    }
    CHILD_CHECK(gimh_name(nullptr, 1) == nullptr && gimh_class(nullptr, 1) == 0);
    proc->magic = 0;
    CHILD_CHECK(gimh_name(proc, 1) == nullptr);
    CHILD_CHECK(gimh_dest_proc_ctx(proc) == GIMH_FAIL);
    proc->magic = GIMH_PROC_MAGIC;
    CHILD_CHECK(gimh_dest_proc_ctx(proc) == GIMH_OK);
  });
}

TEST(GimhError, FixedTextsAndClearing) {
  IN_CHILD({
    char buf[100];
    memset(buf, 'x', sizeof buf);
    gimh_error(nullptr, buf, 49);
    CHILD_CHECK(buf[0] == 'x');
    gimh_error(nullptr, buf, 50);
    CHILD_CHECK(strcmp(buf, "Error: process context is not initialized\n") == 0);
    gimh_proc_ctx *proc = nullptr;
    CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK);
    CHILD_CHECK(error_text(proc).empty());
    // a half-built context keeps the stack
    CHILD_CHECK(gimh_init_inst_ctx(nullptr, proc, "/nonexistent", "x") == GIMH_FAIL);
    gimh_inst_ctx *inst = nullptr;
    CHILD_CHECK(gimh_init_inst_ctx(&inst, proc, "/nonexistent", "x") == GIMH_FAIL);
    CHILD_CHECK(depth(proc) == 4);
    proc->magic = 0;
    CHILD_CHECK(error_text(proc) == "Error: process context is not initialized\n");
    CHILD_CHECK(depth(proc) == 4);
    proc->magic = GIMH_PROC_MAGIC;
    std::string text = error_text(proc);
    CHILD_CHECK(text.rfind("VUV-00104: ", 0) == 0);
    CHILD_CHECK(text.find("\nVUV-00090: ") != std::string::npos);
    CHILD_CHECK(text.find("\nVUV-00092: ") != std::string::npos);
    CHILD_CHECK(depth(proc) == 0);
    CHILD_CHECK(error_text(proc).empty());
    gimc_env *env = nullptr;
    gimcgem(env, buf, sizeof buf, 1);
    CHILD_CHECK(strcmp(buf, "Invalid context\n") == 0);
  });
}

TEST(GimhError, OsRecordBecomesMessages) {
  IN_CHILD({
    gimh_proc_ctx *proc = nullptr;
    CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK);
    slos_error e{};
    slosFillErr(&e, -2, ENOENT, "open", "loc_a");
    slosOtherInfo(&e, "more 100% info");
    gimcroserr(&proc->env, &e);
    std::string text = error_text(proc);
    // newest first: 90, 91, 92, 93
    size_t a = text.find("VUV-00090: "), b = text.find("VUV-00091: "),
           c = text.find("VUV-00092: "), d = text.find("VUV-00093: ");
    CHILD_CHECK(a == 0 && a < b && b < c && c < d && d != std::string::npos);
    CHILD_CHECK(text.find("[open] [2]") != std::string::npos);
    CHILD_CHECK(text.find("more 100% info") != std::string::npos);
    // an internal error has no OS number: 92 (and 93) only
    slos_error i{};
    slosFillInt(&i, "skgpmat1");
    gimcroserr(&proc->env, &i);
    text = error_text(proc);
    CHILD_CHECK(text.rfind("VUV-00092: ", 0) == 0);
    CHILD_CHECK(text.find('\n') == text.size() - 1);
  });
}

TEST(GimhInst, ReadyWaitCountsPauses) {
  // flag set during pause k: accepted for k <= 9, refused for 10
  for (int k : {0, 1, 5, 9, 10, -1}) {
    SCOPED_TRACE(k);
    Instance in;
    IN_CHILD({
      static Instance *inst_file;
      static int set_at, pauses;
      inst_file = &in;
      set_at = k;
      pauses = 0;
      if (k != 0) in.r->flags = 0;
      gimh_test_set_pause([](uint32_t usec) {
        CHILD_CHECK(usec == 100000);
        if (++pauses == set_at) inst_file->r->flags = GIMH_FLG_READY;
      });
      gimh_proc_ctx *proc = nullptr;
      CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK);
      gimh_inst_ctx *inst = nullptr;
      int r = gimh_init_inst_ctx(&inst, proc, in.home.c_str(), "orcl");
      if (k >= 0 && k <= 9) {
        CHILD_CHECK(r == GIMH_OK && pauses == k && inst->magic == GIMH_INST_MAGIC);
        CHILD_CHECK(gimh_dest_inst_ctx(inst) == GIMH_OK);
      } else {
        CHILD_CHECK(r == GIMH_FAIL && pauses == 10 && inst == nullptr);
        CHILD_CHECK(error_text(proc) == "VUV-00105: file not found\n");
      }
    });
  }
}

TEST(GimhInst, HeaderChecks) {
  struct Case {
    const char *name;
    void (*spoil)(gimh_region *);
    int message;
  } cases[] = {
      {"version", [](gimh_region *r) { r->version = vsnnum + 1; }, 105},
      {"magic", [](gimh_region *r) { r->magic = 0; }, 105},
      {"magic2", [](gimh_region *r) { r->magic2 = 0x44F6; }, 105},
      {"index 10", [](gimh_region *r) { r->curidx = 10; }, 105},
  };
  for (const Case &c : cases) {
    SCOPED_TRACE(c.name);
    Instance in;
    c.spoil(in.r);
    IN_CHILD({
      gimh_proc_ctx *proc = nullptr;
      CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK);
      gimh_inst_ctx *inst = nullptr;
      CHILD_CHECK(gimh_init_inst_ctx(&inst, proc, in.home.c_str(), "orcl") == GIMH_FAIL);
      char want[32];
      snprintf(want, sizeof want, "VUV-%05d: ", c.message);
      CHILD_CHECK(error_text(proc).rfind(want, 0) == 0);
    });
  }
}

TEST(GimhInst, ShortFileIsRefusedNotFaulted) {
  for (off_t len : {off_t(0), off_t(1), off_t(sizeof(gimh_region) - 1)}) {
    Instance in;
    ASSERT_EQ(truncate(in.path.c_str(), len), 0);
    IN_CHILD({
      gimh_proc_ctx *proc = nullptr;
      CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK);
      gimh_inst_ctx *inst = nullptr;
      CHILD_CHECK(gimh_init_inst_ctx(&inst, proc, in.home.c_str(), "orcl") == GIMH_FAIL);
      CHILD_CHECK(error_text(proc).rfind("VUV-00104: ", 0) == 0);
    });
  }
}

// Failed creations, repeated, leave no descriptor of the health file open:
// a short file (the attach fails after its open) and a spoilt header (the
// mapping was made).
TEST(GimhInst, FailedCreationsReleaseTheFile) {
  for (bool short_file : {true, false}) {
    SCOPED_TRACE(short_file ? "short file" : "spoilt header");
    Instance in;
    if (short_file)
      ASSERT_EQ(truncate(in.path.c_str(), 1), 0);
    else
      in.r->magic = 0;
    IN_CHILD({
      gimh_proc_ctx *proc = nullptr;
      CHILD_CHECK(gimh_init_proc_ctx(&proc, 0) == GIMH_OK);
      auto open_fds = [] {
        int n = 0;
        if (DIR *d = opendir("/proc/self/fd")) {
          while (readdir(d)) ++n;
          closedir(d);
        }
        return n;
      };
      const int before = open_fds();
      for (int i = 0; i < 50; ++i) {
        gimh_inst_ctx *inst = nullptr;
        CHILD_CHECK(gimh_init_inst_ctx(&inst, proc, in.home.c_str(), "orcl") == GIMH_FAIL);
      }
      CHILD_CHECK(open_fds() == before);
      CHILD_CHECK(error_text(proc).rfind(short_file ? "VUV-00104: " : "VUV-00105: ", 0) == 0);
    });
  }
}

TEST(GimhQuery, ChecksBeforeAndAfterTheFirstSnapshot) {
  Instance in;
  in.states()[GIMH_EV_OPEN] = kSet;
  in.states()[4] = kUnsupported;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 2) == -10 - GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00108: file not found\n");
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 2) == 1);
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 1) == 0);
    CHILD_CHECK(check(p.q, GIMH_EV_CLOSED, 1) == 1);
    for (int e = 0; e < GIMH_NEVENTS; ++e)
      if (e != 4) CHILD_CHECK(check(p.q, e, 3) == 0);
    CHILD_CHECK(check(p.q, 4, 2) == -10 - GIMH_UNSUPPORTED);
    CHILD_CHECK(error_text(p.proc) == "VUV-00110: file not found; arguments: [4]\n");
    CHILD_CHECK(check(p.q, 15, 2) == -10 - GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00109: file not found; arguments: [15]\n");
    CHILD_CHECK(check(p.q, 300, 2) == -10 - GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00109: file not found; arguments: [44]\n");
    CHILD_CHECK(check(p.q, -1, 2) == -10 - GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00109: file not found; arguments: [255]\n");
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 4) == -10 - GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00111: file not found; arguments: [4]\n");
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 0) == -10 - GIMH_FAIL);
    // the result is written only on success
    int flag = 77;
    CHILD_CHECK(gimh_check(p.q, 15, 2, &flag) == GIMH_FAIL && flag == 77);
    // a state byte of 1 is not set; 0 is read from the file at the moment
    in.states()[GIMH_EV_OPEN] = kUnsupported;
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 2) == -10 - GIMH_UNSUPPORTED);
    gimh_query_ctx bad = *p.q;
    bad.magic = 0;
    CHILD_CHECK(gimh_get(&bad) == GIMH_FAIL && gimh_check(&bad, 1, 2, &flag) == GIMH_FAIL);
    // bad contexts record nothing
    CHILD_CHECK(error_text(p.proc) ==
                "VUV-00110: file not found; arguments: [9]\n"
                "VUV-00109: file not found; arguments: [15]\n"
                "VUV-00111: file not found; arguments: [0]\n");
  });
}

TEST(GimhQuery, AnyStateCountsOnlyTheFifteenEvents) {
  Instance in;
  // every event but Instance Restart, which would make the first snapshot
  // report changes
  for (int e = 0; e < GIMH_NEVENTS; ++e) in.states()[e] = e == GIMH_EV_RESTART ? kUnset : kSet;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 1) == 1);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 2) == 1);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 3) == 0);
    in.states()[GIMH_EV_RESTART] = kSet;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 1) == 0);  // bit 15 is no event
    for (int e = 0; e < GIMH_NEVENTS; ++e) in.states()[e] = kUnset;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 1) == 1);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 2) == 0);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 3) == 1);
    // registrations of kind 1 for every event fire nothing while all are set
    for (int e = 0; e < GIMH_NEVENTS; ++e) in.states()[e] = kSet;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);  // the restart snapshot
    CHILD_CHECK(gimh_add_par(p.q, GIMH_ANY_STATE, 1) == GIMH_OK);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    gimh_event ev;
    CHILD_CHECK(gimh_next(p.q, &ev) == GIMH_NONE);
  });
}

TEST(GimhQuery, ChangesBetweenSnapshots) {
  Instance in;
  in.states()[GIMH_EV_OPEN] = kSet;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    in.states()[GIMH_EV_OPEN] = kUnset;
    in.states()[12] = kSet;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 3) == 1 && check(p.q, 12, 3) == 1);
    CHILD_CHECK(check(p.q, 11, 3) == 0);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 3) == 0);
  });
}

TEST(GimhQuery, GoneProcessSetsAbnormalTermination) {
  pid_t child = fork();
  if (child == 0) _exit(0);
  waitpid(child, nullptr, 0);
  Instance in;
  in.r->pid.pid = child;
  in.states()[GIMH_EV_OPEN] = kSet;
  in.states()[12] = kSet;
  in.states()[7] = kSet;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_EV_OPEN, 2) == 0 && check(p.q, 12, 2) == 0);
    CHILD_CHECK(check(p.q, GIMH_EV_ABNORMAL, 2) == 1);
    CHILD_CHECK(check(p.q, 7, 2) == 1);  // events below 9 stay
    CHILD_CHECK(check(p.q, GIMH_ANY_STATE, 3) == 0);
    // with Instance Shutdown there is no liveness test
    in.states()[GIMH_EV_SHUTDOWN] = kSet;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_EV_ABNORMAL, 2) == 0 && check(p.q, GIMH_EV_OPEN, 2) == 1);
    CHILD_CHECK(check(p.q, GIMH_EV_ABNORMAL, 3) == 1 && check(p.q, GIMH_EV_OPEN, 3) == 1);
  });
}

TEST(GimhQuery, LivenessErrorIsReported) {
  Instance in;
  in.r->pid.pid = 0;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_FAIL);
    std::string text = error_text(p.proc);
    CHILD_CHECK(text.rfind("VUV-00107: ", 0) == 0);
  });
}

TEST(GimhQuery, RestartFollowsTheFileToItsNewRecord) {
  Instance in;
  in.r->curidx = 2;
  in.states()[GIMH_EV_OPEN] = kSet;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    // the instance restarts: the old record shows Instance Restart, a new
    // record and a new process are in place
    pid_t gone = fork();
    if (gone == 0) _exit(0);
    waitpid(gone, nullptr, 0);
    in.r->rec[2].state[GIMH_EV_RESTART] = kSet;
    in.r->curidx = 5;
    in.r->rec[5].state[GIMH_EV_OPEN] = kSet;
    in.r->rec[5].state[3] = kSet;
    in.r->pid.pid = getpid();
    in.r->pid.stime = 0;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(p.q->live == static_cast<const uint8_t *>(p.inst->addr) +
                                 offsetof(gimh_region, rec) + 5 * sizeof(gimh_record) +
                                 offsetof(gimh_record, state));
    CHILD_CHECK(check(p.q, GIMH_EV_RESTART, 2) == 1);
    CHILD_CHECK(check(p.q, GIMH_EV_RESTART, 3) == 1 && check(p.q, GIMH_EV_DISMOUNTED, 3) == 1);
    CHILD_CHECK(check(p.q, 3, 3) == 0 && check(p.q, 3, 2) == 1);
    CHILD_CHECK(p.q->owner.stime == 0);
    // the next snapshot compares normally again
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(check(p.q, GIMH_EV_RESTART, 2) == 0 && check(p.q, GIMH_EV_RESTART, 3) == 1);
    CHILD_CHECK(check(p.q, 3, 3) == 0);
  });
}

TEST(GimhQuery, IndexOutsideTheFileIsAMismatch) {
  Instance in;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    in.r->curidx = 10;
    CHILD_CHECK(gimh_get(p.q) == GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00105: file not found\n");
    in.r->curidx = 0;
    in.r->version = 0;
    CHILD_CHECK(gimh_get(p.q) == GIMH_FAIL);
    in.r->version = vsnnum;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
  });
}

TEST(GimhQuery, StackKeepsTwentyNewest) {
  Instance in;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    for (int i = 0; i < 30; ++i) CHILD_CHECK(check(p.q, 20 + i, 2) == -10 - GIMH_FAIL);
    // a record's depth is fixed when it is made: count the lines
    std::string text = error_text(p.proc);
    CHILD_CHECK(std::count(text.begin(), text.end(), '\n') == 20);
    CHILD_CHECK(text.rfind("VUV-00109: file not found; arguments: [49]\n", 0) == 0);
    CHILD_CHECK(text.find("[30]") != std::string::npos && text.find("[29]") == std::string::npos);
  });
}

TEST(GimhEvent, RegistrationsAndResults) {
  Instance in;
  in.states()[6] = kUnsupported;
  IN_CHILD({
    Probe p = open_all(in);
    gimh_event ev;
    CHILD_CHECK(gimh_next(p.q, nullptr) == GIMH_FAIL && depth(p.proc) == 0);
    CHILD_CHECK(gimh_next(p.q, &ev) == GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00108: file not found\n");
    CHILD_CHECK(gimh_block(p.q, 1) == GIMH_NOREG);
    CHILD_CHECK(error_text(p.proc) == "VUV-00112: file not found\n");
    CHILD_CHECK(p.q->flags & GIMH_Q_NOSNAP);  // no snapshot was taken
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    CHILD_CHECK(gimh_next(p.q, &ev) == GIMH_NOREG);
    CHILD_CHECK(error_text(p.proc) == "VUV-00115: file not found\n");
    CHILD_CHECK(gimh_add_par(p.q, 4, 1) == GIMH_OK);
    CHILD_CHECK(gimh_add_par(p.q, 4, 1) == GIMH_NOREG);
    CHILD_CHECK(error_text(p.proc) == "VUV-00113: file not found; arguments: [4] [1]\n");
    CHILD_CHECK(gimh_res_par(p.q, 4, 2) == GIMH_NOREG);
    CHILD_CHECK(error_text(p.proc) == "VUV-00114: file not found; arguments: [4] [2]\n");
    CHILD_CHECK(gimh_add_par(p.q, 6, 2) == GIMH_UNSUPPORTED);
    CHILD_CHECK(error_text(p.proc) == "VUV-00110: file not found; arguments: [6]\n");
    CHILD_CHECK(gimh_add_par(p.q, 15, 2) == GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00109: file not found; arguments: [15]\n");
    CHILD_CHECK(gimh_add_par(p.q, 3, 0) == GIMH_FAIL);
    CHILD_CHECK(error_text(p.proc) == "VUV-00111: file not found; arguments: [0]\n");
    CHILD_CHECK(gimh_res_par(p.q, 4, 1) == GIMH_OK);
    CHILD_CHECK((p.q->flags & GIMH_Q_NOREG_ALL) == GIMH_Q_NOREG_ALL);
    CHILD_CHECK(gimh_add_par(p.q, GIMH_ANY_STATE, 3) == GIMH_OK);
    CHILD_CHECK(p.q->mask[2][0] == 0xFF && p.q->mask[2][1] == 0x7F);
    CHILD_CHECK(gimh_res_all(p.q) == GIMH_OK);
    CHILD_CHECK((p.q->flags & GIMH_Q_NOREG_ALL) == GIMH_Q_NOREG_ALL);
  });
}

TEST(GimhEvent, NextReportsByKindThenEvent) {
  Instance in;
  in.states()[GIMH_EV_OPEN] = kSet;
  in.states()[GIMH_EV_CLOSED] = kSet;
  IN_CHILD({
    Probe p = open_all(in);
    CHILD_CHECK(gimh_add_par(p.q, GIMH_ANY_STATE, 2) == GIMH_OK);
    CHILD_CHECK(gimh_add_par(p.q, 3, 1) == GIMH_OK);
    CHILD_CHECK(gimh_add_par(p.q, 2, 1) == GIMH_OK);
    CHILD_CHECK(gimh_add_par(p.q, GIMH_EV_OPEN, 3) == GIMH_OK);
    CHILD_CHECK(gimh_add_par(p.q, 12, 3) == GIMH_OK);
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    in.states()[GIMH_EV_OPEN] = kUnset;
    in.states()[12] = kSet;
    CHILD_CHECK(gimh_get(p.q) == GIMH_OK);
    struct {
      int event, kind;
    } want[] = {{2, 1}, {3, 1}, {10, 2}, {12, 2}, {9, 5}, {12, 4}};
    for (auto w : want) {
      gimh_event ev{};
      CHILD_CHECK(gimh_next(p.q, &ev) == GIMH_OK);
      CHILD_CHECK(ev.event == w.event && ev.kind == w.kind);
      CHILD_CHECK(ev.name == gimh_name(p.proc, w.event) && ev.cls == gimh_class(p.proc, w.event));
    }
    gimh_event ev;
    CHILD_CHECK(gimh_next(p.q, &ev) == GIMH_NONE);
  });
}

TEST(GimhEvent, BlockWaitsForAFiringEvent) {
  Instance in;
  IN_CHILD({
    static Instance *file;
    static int pauses;
    file = &in;
    pauses = 0;
    gimh_test_set_pause([](uint32_t usec) {
      CHILD_CHECK(usec == 1000);
      if (++pauses == 3) file->states()[GIMH_EV_CLOSED] = kSet;
    });
    Probe p = open_all(in);
    CHILD_CHECK(gimh_add_par(p.q, GIMH_EV_CLOSED, 2) == GIMH_OK);
    CHILD_CHECK(gimh_block(p.q, 0) == GIMH_OK && pauses == 3);
    // already firing: one snapshot, no pause
    CHILD_CHECK(gimh_block(p.q, 5) == GIMH_OK && pauses == 3);
    // the fired bits outlive the registration that made them
    CHILD_CHECK(gimh_res_par(p.q, GIMH_EV_CLOSED, 2) == GIMH_OK);
    gimh_event ev;
    CHILD_CHECK(gimh_add_par(p.q, 1, 3) == GIMH_OK);
    CHILD_CHECK(gimh_next(p.q, &ev) == GIMH_OK && ev.event == GIMH_EV_CLOSED);
    // a snapshot that fails ends the wait
    file->r->magic = 0;
    CHILD_CHECK(gimh_block(p.q, 1) == GIMH_FAIL);
  });
}
