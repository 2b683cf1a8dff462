// Segment diagnostic dumps: a realm written to disk and mapped back in
// another process, the descriptor file's layout and checks, and the failures.
#include <gtest/gtest.h>

#include <dirent.h>
#include <signal.h>
#include <stdlib.h>
#include <sys/mman.h>
#include <sys/resource.h>
#include <sys/stat.h>

#include <algorithm>
#include <string>
#include <vector>

#include "ism.h"
#include "shm_children.h"
#include "skgm_fixture.h"
#include "skgsd.h"

namespace {

constexpr uint64_t kMB = 0x100000;

// A fresh empty directory under the test's temporary area.
std::string temp_dir() {
  char tmpl[] = "/tmp/qen_skgsd_XXXXXX";
  const char *d = mkdtemp(tmpl);
  EXPECT_NE(d, nullptr);
  return d ? d : "";
}

void remove_tree(const std::string &dir) {
  const std::string cmd = "rm -rf '" + dir + "'";
  EXPECT_EQ(system(cmd.c_str()), 0);
}

std::vector<std::string> entries(const std::string &dir) {
  std::vector<std::string> out;
  if (DIR *d = opendir(dir.c_str())) {
    while (dirent *e = readdir(d))
      if (e->d_name[0] != '.') out.push_back(e->d_name);
    closedir(d);
  }
  std::sort(out.begin(), out.end());
  return out;
}

// The byte every segment is filled with at an offset.
uint8_t pattern(uint32_t seg, uint64_t off) { return static_cast<uint8_t>(seg * 37 + off / 4096 + off); }

void set_env(const char *home, const char *sid) {
  setenv("VIRUZE_HOME", home, 1);
  setenv("VIRUZE_SID", sid, 1);
}

uint64_t fnv(const void *p, uint64_t n) {
  uint64_t h = 1469598103934665603ull;
  const uint8_t *b = static_cast<const uint8_t *>(p);
  for (uint64_t i = 0; i < n; ++i) h = (h ^ b[i]) * 1099511628211ull;
  return h;
}

// What the dumping child leaves for the others, in memory shared across fork.
struct Shared {
  char dir[SKGSD_PATHMAX];
  int32_t key;
  uint32_t nsegs;
  uintptr_t addr[16];
  uint64_t size[16];
  uint64_t hash[16];   // each segment's bytes when dumped
  uintptr_t piece[16]; // the user pieces, filled with pattern(j, offset)
  uint64_t piecelen[16];
  uint32_t npieces;
};

Shared *shared_page() {
  void *p = mmap(nullptr, sizeof(Shared), PROT_READ | PROT_WRITE, MAP_SHARED | MAP_ANONYMOUS, -1, 0);
  EXPECT_NE(p, MAP_FAILED);
  memset(p, 0, sizeof(Shared));
  return static_cast<Shared *>(p);
}

// Creates a realm of several segments in this (child) process, fills its
// areas, dumps it under base and tells out what it wrote; the realm is gone
// afterwards.
void make_dump(const std::string &base, Shared *out) {
  qen_shm_max_size = 3 * kMB;  // pieces of at most 3 MB: several segments
  skgm_ctx ctx;
  skgm_test_init(&ctx);
  ctx.smallestsize = kMB;
  ctx.largestsize = 4 * kMB;
  sl_status err{};
  skgm_area areas[] = {skgm_test_area("big", 7 * kMB), skgm_test_area("small", 64 * 1024)};
  skgm_realmdesc d = skgm_test_desc("dump");
  skgm_realm *h = nullptr;
  CHILD_CHECK(skgmcreate(&err, &ctx, &d, 2, areas, &h) == 1);
  for (uint32_t a = 0; a < 2; ++a)
    for (uint32_t j = 0; j < h->areas[a].nsub; ++j) {
      uintptr_t at = 0;
      uint64_t len = 0;
      CHILD_CHECK(skgmaddress(&err, &ctx, h, a, j, &at, &len) == 1 && out->npieces < 16);
      for (uint64_t o = 0; o < len; ++o)
        reinterpret_cast<uint8_t *>(at)[o] = pattern(out->npieces, o);
      out->piece[out->npieces] = at;
      out->piecelen[out->npieces++] = len;
    }
  skgsd_ctx *dump = nullptr;
  CHILD_CHECK(skgmwtfpm(&err, &ctx, h, base.c_str(), &dump) == 1);
  CHILD_CHECK(dump->nsegs >= 3 && dump->nsegs <= 16);
  snprintf(out->dir, sizeof out->dir, "%s", dump->dir);
  out->key = dump->key;
  out->nsegs = dump->nsegs;
  for (uint32_t i = 0; i < dump->nsegs; ++i) {
    const skgsd_seg &r = dump->segs[i];
    CHILD_CHECK(i == 0 || r.shmid != dump->segs[i - 1].shmid);  // one record per segment
    CHILD_CHECK(r.written == r.segsize && r.addr == skgsd_src(dump)[i]);
    out->addr[i] = r.addr;
    out->size[i] = r.segsize;
    out->hash[i] = fnv(reinterpret_cast<const void *>(r.addr), r.segsize);
  }
  skgsdfree(dump);
  CHILD_CHECK(skgmdestroy(&err, &ctx, h) == 1 && skgmdetach(&err, &ctx, h) == 1);
}

// The segments and pieces of a dump are where and what they were.
void check_loaded(const Shared *s) {
  for (uint32_t i = 0; i < s->nsegs; ++i)
    CHILD_CHECK(fnv(reinterpret_cast<const void *>(s->addr[i]), s->size[i]) == s->hash[i]);
  for (uint32_t j = 0; j < s->npieces; ++j)
    for (uint64_t o = 0; o < s->piecelen[j]; o += 4093)
      CHILD_CHECK(reinterpret_cast<const uint8_t *>(s->piece[j])[o] == pattern(j, o));
}

// Where no segment attaches at a chosen address (the 32-bit tree under an
// emulator), re-creating fails and leaves no segment behind; returns true
// when the system can attach there and the test goes on.
bool segmap_possible(const std::string &dir) {
  if (skgm_fixed_attach_works()) return true;
  sl_status err{};
  skgsd_ctx *d = nullptr;
  CHILD_CHECK(skgsdsegmap(&err, dir.c_str(), &d) == 0 && err.code == 0 && err.oserr != 0);
  CHILD_CHECK(shm_remove_created_by({getpid()}) == 0);
  skgsdfree(d);
  return false;
}

class Skgsd : public ::testing::Test {
 protected:
  void SetUp() override {
    base_ = temp_dir();
    set_env("/opt/viruze/home", "ORCL");
  }
  void TearDown() override {
    unsetenv("VIRUZE_HOME");
    unsetenv("VIRUZE_SID");
    remove_tree(base_);
  }
  std::string base_;
};

TEST_F(Skgsd, WrittenAndMappedBackInOtherProcesses) {
  Shared *s = shared_page();
  SHM_CHILD({ make_dump(base_, s); });
  ASSERT_GE(s->nsegs, 3u);
  // The directory: the base, then the time without the weekday, '_' for blanks.
  const std::string dir = s->dir;
  ASSERT_EQ(dir.rfind(base_ + "/", 0), 0u);
  const std::string name = dir.substr(base_.size() + 1);
  EXPECT_EQ(name.find(' '), std::string::npos);
  EXPECT_EQ(name.size(), 20u) << name;  // "Dec_10_23:14:53_2026"
  struct stat st;
  ASSERT_EQ(stat(dir.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  // One file per segment named by its whole address, and the descriptor file.
  std::vector<std::string> want{SKGSD_DATAFILE};
  for (uint32_t i = 0; i < s->nsegs; ++i) {
    char b[32];
    snprintf(b, sizeof b, "%lx", static_cast<unsigned long>(s->addr[i]));
    want.push_back(b);
    ASSERT_EQ(stat((dir + "/" + b).c_str(), &st), 0);
    EXPECT_EQ(static_cast<uint64_t>(st.st_size), s->size[i]);
    EXPECT_EQ(st.st_mode & 0777, 0660u);
  }
  std::sort(want.begin(), want.end());
  EXPECT_EQ(entries(dir), want);
  ASSERT_EQ(stat((dir + "/" SKGSD_DATAFILE).c_str(), &st), 0);
  EXPECT_EQ(static_cast<uint64_t>(st.st_size), sizeof(skgsd_ctx) + s->nsegs * sizeof(skgsd_seg));

  // Copy-on-write in a process that never attached the realm: same bytes;
  // writing there leaves the files alone.
  SHM_CHILD({
    sl_status err{};
    skgsd_ctx *d = nullptr;
    CHILD_CHECK(skgsdcowmpd(&err, dir.c_str(), &d) == 1);
    CHILD_CHECK(d->nsegs == s->nsegs && d->key == s->key);
    CHILD_CHECK(strcmp(d->home, "/opt/viruze/home") == 0 && strcmp(d->sid, "ORCL") == 0);
    check_loaded(s);
    memset(reinterpret_cast<void *>(s->addr[0]), 0, 4096);
    skgsdfree(d);
  });
  // Re-created shared segments: the first under the dump's key, the rest
  // private; all rw-rw---- and owned by this user; then removed again.
  SHM_CHILD({
    sl_status err{};
    skgsd_ctx *d = nullptr;
    if (!segmap_possible(dir)) return;
    CHILD_CHECK(skgsdsegmap(&err, dir.c_str(), &d) == 1);
    check_loaded(s);
    for (uint32_t i = 0; i < d->nsegs; ++i) {
      struct shmid_ds ds;
      CHILD_CHECK(shmctl(d->segs[i].shmid, IPC_STAT, &ds) == 0);
      CHILD_CHECK(ds.shm_perm.uid == getuid() && (ds.shm_perm.mode & 0777) == 0660);
      CHILD_CHECK(ds.shm_perm.__key == (i == 0 ? d->key : IPC_PRIVATE));
    }
    CHILD_CHECK(skgsdsegunmap(&err, d) == 1);
    for (uint32_t i = 0; i < d->nsegs; ++i) CHILD_CHECK(shmget(d->key, 0, 0) < 0);
    skgsdfree(d);
  });
  munmap(s, sizeof *s);
}

// The key is the realm hash of VIRUZE_HOME followed by VIRUZE_SID; both must
// be set and fit.
TEST_F(Skgsd, DescriptorFromTheEnvironment) {
  sl_status err{};
  skgsd_ctx *d = nullptr;
  ASSERT_EQ(skgsdinit(&err, &d, base_.c_str(), nullptr, nullptr, SKGSD_MODE_DESC), 1);
  EXPECT_EQ(d->key, skgmhash("/opt/viruze/homeORCL", 20));
  EXPECT_EQ(d->nsegs, 0u);
  skgsdfree(d);

  const std::string long_home(513, 'h');
  struct Case {
    const char *home;
    const char *sid;
    int32_t code;
  } cases[] = {{nullptr, "ORCL", 21104}, {"/h", nullptr, 21104}, {long_home.c_str(), "ORCL", 21101}};
  for (const Case &c : cases) {
    if (c.home) setenv("VIRUZE_HOME", c.home, 1); else unsetenv("VIRUZE_HOME");
    if (c.sid) setenv("VIRUZE_SID", c.sid, 1); else unsetenv("VIRUZE_SID");
    d = nullptr;
    EXPECT_EQ(skgsdinit(&err, &d, base_.c_str(), nullptr, nullptr, SKGSD_MODE_DESC), 0);
    EXPECT_EQ(err.code, c.code);
    EXPECT_EQ(d, nullptr);
  }
  EXPECT_EQ(entries(base_).size(), 1u);  // no directory was made for a refusal
}

// Two dumps in the same second collide on the directory name.
TEST_F(Skgsd, SameSecondCollides) {
  bool collided = false;
  for (int attempt = 0; attempt < 5 && !collided; ++attempt) {
    // Each attempt has a base of its own: an earlier attempt's second dump
    // may share this attempt's second.
    const std::string base = base_ + "/" + std::to_string(attempt);
    ASSERT_EQ(mkdir(base.c_str(), 0700), 0);
    sl_status err{};
    skgsd_ctx *a = nullptr, *b = nullptr;
    ASSERT_EQ(sskgsdinit(&err, &a, base.c_str(), "h", "s", 7), 1);
    if (sskgsdinit(&err, &b, base.c_str(), "h", "s", 7) == 0) {
      collided = true;
      EXPECT_EQ(err.code, 0);
      EXPECT_EQ(err.oserr, EEXIST);
      EXPECT_EQ(b, nullptr);
    } else {
      EXPECT_STRNE(a->dir, b->dir);
    }
    skgsdfree(a);
    skgsdfree(b);
  }
  EXPECT_TRUE(collided);
}

// A descriptor file written field by field from its layout, independently of
// the record definitions, loads with the values at their offsets.
void put(std::vector<uint8_t> &b, size_t off, const void *v, size_t n) { memcpy(&b[off], v, n); }

std::vector<uint8_t> layout_file(uint32_t nsegs, uintptr_t addr0) {
  const bool w64 = sizeof(void *) == 8;
  const size_t head = w64 ? 1560 : 1552, rec = w64 ? 40 : 32;
  std::vector<uint8_t> b(head + nsegs * rec, 0);
  put(b, 0, "/dumps/x", 8);
  put(b, 513, "/home", 5);
  put(b, 1026, "SID", 3);
  const int32_t key = 12345;
  put(b, 1540, &key, 4);
  put(b, 1544, &nsegs, 4);
  for (uint32_t i = 0; i < nsegs; ++i) {
    const size_t r = head + i * rec;
    const int32_t shmid = 100 + static_cast<int32_t>(i);
    const uint64_t size = 8192;
    const uintptr_t addr = addr0 + i * 0x10000;
    const intptr_t off = static_cast<intptr_t>(i * 0x10000);
    put(b, r + 12, &shmid, 4);
    put(b, r + 16, &size, 8);
    put(b, r + 24, &addr, sizeof addr);
    put(b, r + (w64 ? 32 : 28), &off, sizeof off);
  }
  return b;
}

void write_file(const std::string &path, const std::vector<uint8_t> &b) {
  FILE *f = fopen(path.c_str(), "wb");
  ASSERT_NE(f, nullptr);
  ASSERT_EQ(fwrite(b.data(), 1, b.size(), f), b.size());
  fclose(f);
}

TEST_F(Skgsd, LoaderReadsTheLayout) {
  const uintptr_t addr0 = static_cast<uintptr_t>(0x30000000);
  write_file(base_ + "/" SKGSD_DATAFILE, layout_file(2, addr0));
  sl_status err{};
  skgsd_ctx *d = nullptr;
  ASSERT_EQ(sskgsdload(&err, base_.c_str(), &d), 1);
  EXPECT_STREQ(d->dir, "/dumps/x");
  EXPECT_STREQ(d->home, "/home");
  EXPECT_STREQ(d->sid, "SID");
  EXPECT_EQ(d->key, 12345);
  ASSERT_EQ(d->nsegs, 2u);
  EXPECT_EQ(d->segs[1].shmid, 101);
  EXPECT_EQ(d->segs[1].segsize, 8192u);
  EXPECT_EQ(d->segs[1].addr, addr0 + 0x10000);
  EXPECT_EQ(d->segs[1].offset, 0x10000);
  skgsdfree(d);
}

// A damaged descriptor file is refused before anything is allocated from it
// or mapped.
TEST_F(Skgsd, LoaderRefusesDamagedFiles) {
  const bool w64 = sizeof(void *) == 8;
  const size_t head = w64 ? 1560 : 1552, rec = w64 ? 40 : 32;
  struct Case {
    const char *what;
    void (*damage)(std::vector<uint8_t> &, size_t head, size_t rec);
  } cases[] = {
      {"short", [](std::vector<uint8_t> &b, size_t, size_t) { b.resize(b.size() - 1); }},
      {"longer", [](std::vector<uint8_t> &b, size_t, size_t) { b.push_back(0); }},
      {"empty", [](std::vector<uint8_t> &b, size_t, size_t) { b.clear(); }},
      {"huge count",
       [](std::vector<uint8_t> &b, size_t, size_t) { const uint32_t n = 0xFFFFFFFFu; memcpy(&b[1544], &n, 4); }},
      {"dir unterminated", [](std::vector<uint8_t> &b, size_t, size_t) { memset(&b[0], 'a', 513); }},
      {"sid unterminated", [](std::vector<uint8_t> &b, size_t, size_t) { memset(&b[1026], 's', 513); }},
      {"address 0",
       [](std::vector<uint8_t> &b, size_t h, size_t) { memset(&b[h + 24], 0, sizeof(uintptr_t)); }},
      {"unaligned",
       [](std::vector<uint8_t> &b, size_t h, size_t r) { b[h + r + 24] = 0x10; }},
      {"size 0", [](std::vector<uint8_t> &b, size_t h, size_t) { memset(&b[h + 16], 0, 8); }},
      {"wraps",
       [](std::vector<uint8_t> &b, size_t h, size_t) { const uint64_t z = ~0ull - 4095; memcpy(&b[h + 16], &z, 8); }},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> b = layout_file(2, 0x30000000);
    c.damage(b, head, rec);
    write_file(base_ + "/" SKGSD_DATAFILE, b);
    sl_status err{};
    skgsd_ctx *d = nullptr;
    EXPECT_EQ(sskgsdload(&err, base_.c_str(), &d), 0) << c.what;
    EXPECT_EQ(err.oserr, EINVAL) << c.what;
    EXPECT_EQ(d, nullptr) << c.what;
  }
  sl_status err{};
  skgsd_ctx *d = nullptr;
  EXPECT_EQ(skgsdcowmpd(&err, (base_ + "/none").c_str(), &d), 0);
  EXPECT_EQ(err.oserr, ENOENT);
}

// Copy-on-write mapping never replaces a mapping, and refuses a file shorter
// than its segment; re-creating fills what a short file has and goes on.
TEST_F(Skgsd, MappingOverExistingAndShortFiles) {
  const size_t len = 2 * 4096;
  void *busy = mmap(nullptr, len, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0);
  ASSERT_NE(busy, MAP_FAILED);
  memset(busy, 0x5A, len);
  const uintptr_t at = reinterpret_cast<uintptr_t>(busy);
  std::vector<uint8_t> b = layout_file(1, at);
  const uint64_t size = len;
  memcpy(&b[(sizeof(void *) == 8 ? 1560 : 1552) + 16], &size, 8);
  memcpy(&b[0], base_.c_str(), base_.size() + 1);
  write_file(base_ + "/" SKGSD_DATAFILE, b);
  char name[32];
  snprintf(name, sizeof name, "/%lx", static_cast<unsigned long>(at));
  write_file(base_ + name, std::vector<uint8_t>(len, 0x11));
  sl_status err{};
  skgsd_ctx *d = nullptr;
  EXPECT_EQ(skgsdcowmpd(&err, base_.c_str(), &d), 0);
  EXPECT_EQ(err.oserr, EEXIST);
  EXPECT_EQ(static_cast<uint8_t *>(busy)[0], 0x5A);  // the mapping is untouched
  skgsdfree(d);
  munmap(busy, len);

  write_file(base_ + name, std::vector<uint8_t>(len / 2, 0x11));
  d = nullptr;
  EXPECT_EQ(skgsdcowmpd(&err, base_.c_str(), &d), 0);
  EXPECT_EQ(err.oserr, EINVAL);
  skgsdfree(d);

  SHM_CHILD({
    sl_status e{};
    skgsd_ctx *dd = nullptr;
    if (!segmap_possible(base_)) return;
    CHILD_CHECK(skgsdsegmap(&e, base_.c_str(), &dd) == 1);
    const uint8_t *p = reinterpret_cast<const uint8_t *>(at);
    CHILD_CHECK(p[0] == 0x11 && p[len / 2 - 1] == 0x11 && p[len / 2] == 0);
    CHILD_CHECK(skgsdsegunmap(&e, dd) == 1);
    skgsdfree(dd);
  });
}

// A write that fails (here: over the file-size limit) fails the dump with the
// write's errno.
TEST_F(Skgsd, FailedWrite) {
  IN_CHILD({
    signal(SIGXFSZ, SIG_IGN);
    struct rlimit rl = {4096, 4096};
    CHILD_CHECK(setrlimit(RLIMIT_FSIZE, &rl) == 0);
    std::vector<uint8_t> mem(3 * 4096, 7);
    sl_status err{};
    skgsd_ctx *d = nullptr;
    CHILD_CHECK(sskgsdinit(&err, &d, base_.c_str(), "h", "s", 1) == 1);
    d->segs = skgsd_segalloc(1);
    d->nsegs = 1;
    d->segs[0].segsize = mem.size();
    d->segs[0].addr = 0x1000;
    skgsd_src(d)[0] = reinterpret_cast<uintptr_t>(mem.data());
    CHILD_CHECK(skgsdwrseg(&err, d) == 0 && err.code == 0 && err.oserr == EFBIG);
    skgsdfree(d);
  });
}

// Dump file names: the subdirectory made under the base when missing, and
// the name's own directory dropped.
TEST_F(Skgsd, FileNames) {
  char cwd[4096];
  ASSERT_NE(getcwd(cwd, sizeof cwd), nullptr);
  char dst[600];
  EXPECT_EQ(skgsdcdfnm("seg", dst, sizeof dst, "/x/y/core.dmp", base_.c_str()), 0);
  EXPECT_EQ(std::string(dst), base_ + "/seg/core.dmp");
  struct stat st;
  ASSERT_EQ(stat((base_ + "/seg").c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 0777, 0750u);
  char small[8];
  EXPECT_NE(skgsdcdfnm("seg", small, sizeof small, "core.dmp", base_.c_str()), 0);
  EXPECT_NE(skgsdcdfnm("seg", dst, sizeof dst, "core.dmp", (base_ + "/none").c_str()), 0);
  ASSERT_EQ(chdir(cwd), 0);
}

}  // namespace
