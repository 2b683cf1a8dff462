// Cache areas, thread-safe handles and damaged message files.
#include <gtest/gtest.h>

#include <pthread.h>

#include <cstring>
#include <string>
#include <vector>

#include "lms_fixture.h"
#include "msbw.h"
#include "temp_dir.h"

using namespace lmsfix;

namespace {

class LmsArea : public Installed {};

// Opens the Python-written "us" file for product TEST, facility TST.
struct UsHandle {
  Lang l{"AMERICAN_AMERICA.UTF8"};
  lmshnd h{};
  size_t mc = 0, cc = 0;
  explicit UsHandle(int threadsafe = 0) {
    lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, &mc, &cc, nullptr, threadsafe,
             nullptr);
  }
  ~UsHandle() { lmsatrm(&h); }
};

void expect_all(lmshnd *h) {
  for (const Expect &x : kUs) ASSERT_EQ(fetch(h, x.number), x.text) << x.number;
  EXPECT_EQ(fetch(h, 901), "Message 901 not found;  product=TEST; facility=TST\n");
}

}  // namespace

TEST_F(LmsArea, TooSmallAreaIsUnusable) {
  child([] {
    UsHandle u;
    std::vector<uint8_t> area(sizeof(lmscache) - 1);  // 111 bytes in the 64-bit build
    EXPECT_EQ(lmsacin(area.data(), area.size(), 0), -1);
    EXPECT_EQ(area[0], LMSC_UNUSABLE);
    EXPECT_EQ(lmsacbn(&u.h, area.data(), 1), -1);
    EXPECT_EQ(u.h.area, nullptr);
    EXPECT_EQ(u.h.msg_state, LMS_POPEN);
    expect_all(&u.h);
  });
}

TEST_F(LmsArea, AreaOfTheReportedSizesCachesEverything) {
  child([] {
    UsHandle u;
    std::vector<void *> mem((u.mc + u.cc) / sizeof(void *) + 1);
    ASSERT_EQ(lmsacin(mem.data(), u.mc + u.cc, 0), 0);
    ASSERT_EQ(lmsacb(&u.h, mem.data(), 1, 1, u.cc), 0);
    EXPECT_EQ(u.h.msg_state, LMS_PCACHED);
    EXPECT_EQ(u.h.cmt_state, LMS_PCACHED);
    EXPECT_NE(u.h.file1.magic, SLMS_MAGIC);  // both parts held: the file is closed
    long reads = reads_of([&] { expect_all(&u.h); });
    EXPECT_EQ(reads, 0);
    char cmt[40];
    int cattr = 0;
    lmsagbcmt(&u.h, 104, nullptr, 0, &cattr, cmt, sizeof cmt, nullptr, nullptr);
    EXPECT_STREQ(cmt, "cause of 104");
    EXPECT_EQ(cattr, 13);
    lmsatrm(&u.h);  // before the area goes
  });
}

TEST_F(LmsArea, MessageShareOnlyKeepsTheFileOpen) {
  child([] {
    UsHandle u;
    std::vector<void *> mem(u.mc / sizeof(void *) + 1);
    ASSERT_EQ(lmsacin(mem.data(), u.mc, 1), 0);
    ASSERT_EQ(lmsacbn(&u.h, mem.data(), 1), 0);
    EXPECT_EQ(u.h.msg_state, LMS_PCACHED);
    EXPECT_EQ(u.h.cmt_state, LMS_POPEN);
    EXPECT_EQ(u.h.file1.magic, SLMS_MAGIC);
    expect_all(&u.h);
    lmsatrm(&u.h);
    // one byte less: not every block fits, the part stays open
    UsHandle v;
    ASSERT_EQ(lmsacin(mem.data(), u.mc - 1, 1), 0);
    ASSERT_EQ(lmsacbn(&v.h, mem.data(), 1), 0);
    EXPECT_EQ(v.h.msg_state, LMS_POPEN);
    expect_all(&v.h);
    lmsatrm(&v.h);
  });
}

TEST_F(LmsArea, BlockBuffersAreReusedAndSpareReads) {
  child([] {
    struct Case {
      size_t bytes;       // after the header
      bool l2;            // the level-2 blocks are held
      long first, again;  // reads of a first fetch and of a second one
    } cases[] = {
        // the level-1 copy and two block buffers (L = 2)
        {LMSF_BLOCK + 2 * LMSC_BLOCKBUF, false, 2, 0},
        // the level-1 copy, both level-2 blocks and two block buffers
        {LMSF_BLOCK + 4 * LMSC_BLOCKBUF, true, 1, 0},
        // the level-1 copy and single-message buffers
        {LMSF_BLOCK + 2 * LMSC_MSGBUF, false, 2, 0},
    };
    for (const Case &c : cases) {
      UsHandle u;
      const size_t size = sizeof(lmscache) + c.bytes;
      std::vector<void *> mem(size / sizeof(void *) + 1);
      ASSERT_EQ(lmsacin(mem.data(), size, 1), 0);
      ASSERT_EQ(lmsacbn(&u.h, mem.data(), 1), 0) << c.bytes;
      EXPECT_EQ(u.h.msg_state, LMS_POPEN);
      EXPECT_EQ((u.h.area->flags & LMSC_MSGL2) != 0, c.l2) << c.bytes;
      char buf[100];
      EXPECT_EQ(reads_of([&] { lmsagbf(&u.h, 300, buf, sizeof buf); }), c.first) << c.bytes;
      EXPECT_STREQ(buf, "message 300 of the test file");
      EXPECT_EQ(reads_of([&] { lmsagbf(&u.h, 300, buf, sizeof buf); }), c.again) << c.bytes;
      expect_all(&u.h);  // every buffer reused many times over
      expect_all(&u.h);
      lmsatrm(&u.h);
      // the area is free again: a new handle attaches to it
      UsHandle v;
      EXPECT_EQ(lmsacbn(&v.h, mem.data(), 1), 0);
      expect_all(&v.h);
      lmsatrm(&v.h);
    }
    // room for the level-1 copy but no buffer: the share is not used
    UsHandle u;
    const size_t size = sizeof(lmscache) + LMSF_BLOCK + 100;
    std::vector<void *> mem(size / sizeof(void *) + 1);
    ASSERT_EQ(lmsacin(mem.data(), size, 1), 0);
    EXPECT_EQ(lmsacbn(&u.h, mem.data(), 1), -1);
    EXPECT_EQ(u.h.area, nullptr);
    expect_all(&u.h);
  });
}

TEST_F(LmsArea, AnAreaServesOneHandleAtATime) {
  child([] {
    UsHandle u, v;
    const size_t size = sizeof(lmscache) + LMSF_BLOCK + 3 * LMSC_BLOCKBUF;
    std::vector<void *> mem(size / sizeof(void *) + 1);
    ASSERT_EQ(lmsacin(mem.data(), size, 1), 0);
    ASSERT_EQ(lmsacbn(&u.h, mem.data(), 1), 0);
    EXPECT_EQ(lmsacbn(&v.h, mem.data(), 1), -1);
    expect_all(&u.h);
    expect_all(&v.h);
    lmsatrm(&u.h);
  });
}

// ---- threads ---------------------------------------------------------------------

namespace {

struct Shared {
  lmshnd *h;
  int seed;
  int failures = 0;
};

void *hammer(void *arg) {
  auto s = static_cast<Shared *>(arg);
  unsigned r = static_cast<unsigned>(s->seed);
  const size_t n = sizeof kUs / sizeof kUs[0];
  for (int i = 0; i < 3000; ++i) {
    r = r * 1103515245u + 12345u;
    const Expect &x = kUs[(r >> 8) % n];
    char buf[200];
    int st = -1;
    lmsagbcmt(s->h, x.number, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
    // the "d" file has 3, 6, 9, 12, 15, 99, 200 in German; the rest comes
    // from the "us" file
    bool german = x.number == 3 || x.number == 6 || x.number == 9 || x.number == 12 ||
                  x.number == 15 || x.number == 99 || x.number == 200;
    std::string want = german ? "deutsch " + std::to_string(x.number) + " \xe4" : x.text;
    if (!german) {
      // the us file's UTF8 accents arrive in WE8ISO8859P1
      std::string conv;
      for (size_t k = 0; k < want.size(); ++k) {
        unsigned char c = static_cast<unsigned char>(want[k]);
        if (c == 0xC3 && k + 1 < want.size()) conv += static_cast<char>(static_cast<unsigned char>(want[++k]) + 0x40);
        else conv += static_cast<char>(c);
      }
      want = conv;
    }
    if (want != buf) ++s->failures;
  }
  return nullptr;
}

}  // namespace

TEST_F(LmsArea, ThreadSafeHandleUnderThreads) {
  child([] {
    for (int with_area = 0; with_area < 2; ++with_area) {
      Lang l("GERMAN_AMERICA.WE8ISO8859P1");
      lmshnd h;
      int lockfailed = -1;
      lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, nullptr, 1,
               &lockfailed);
      ASSERT_EQ(lockfailed, 0);
      ASSERT_NE(h.thr, nullptr);
      const size_t size = sizeof(lmscache) + LMSF_BLOCK + 2 * LMSC_BLOCKBUF;
      std::vector<void *> mem(size / sizeof(void *) + 1);
      if (with_area) {
        ASSERT_EQ(lmsacin(mem.data(), size, 1), 0);
        ASSERT_EQ(lmsacbn(&h, mem.data(), 1), 0);
      }
      Shared s[8];
      pthread_t t[8];
      for (int i = 0; i < 8; ++i) {
        s[i].h = &h;
        s[i].seed = i + 1;
        ASSERT_EQ(pthread_create(&t[i], nullptr, hammer, &s[i]), 0);
      }
      for (int i = 0; i < 8; ++i) {
        pthread_join(t[i], nullptr);
        EXPECT_EQ(s[i].failures, 0) << "thread " << i;
      }
      lmsatrm(&h);
    }
  });
}

// ---- damaged files -----------------------------------------------------------------

namespace {

// A file of 30 messages, 3 to a block: ten data blocks under one level-2
// block; blocks are numbered from 1.
std::vector<uint8_t> good_file() {
  msbw::Desc d;
  d.per_block = 3;
  for (int n = 1; n <= 30; ++n) d.messages[static_cast<uint16_t>(10 * n)] = {0, "text " + std::to_string(10 * n)};
  std::vector<uint8_t> out;
  std::string err;
  EXPECT_TRUE(msbw::build(d, out, err)) << err;
  return out;
}

void put16(std::vector<uint8_t> &f, size_t at, uint16_t v) { std::memcpy(&f[at], &v, 2); }
void put32(std::vector<uint8_t> &f, size_t at, uint32_t v) { std::memcpy(&f[at], &v, 4); }
size_t blk(size_t n) { return (n - 1) * LMSF_BLOCK; }
// data block d of the messages (L = 1)
size_t data(size_t d) { return blk(4 + d); }

}  // namespace

TEST_F(LmsArea, DamagedFilesGiveMissesNeverReadsOutside) {
  TempDir dir;
  struct Case {
    const char *what;
    void (*damage)(std::vector<uint8_t> &);
    bool opens;
    std::vector<int> found, missed;
  } cases[] = {
      {"intact", [](std::vector<uint8_t> &) {}, true, {10, 150, 300}, {5, 301}},
      {"L above 256", [](std::vector<uint8_t> &f) { put32(f, 64, 257); }, false, {}, {10}},
      {"CL above 256", [](std::vector<uint8_t> &f) { put32(f, 248, 300); }, false, {}, {10}},
      {"blocks past 16 bits", [](std::vector<uint8_t> &f) { put32(f, 68, 70000); }, false, {}, {10}},
      {"D past the file", [](std::vector<uint8_t> &f) { put32(f, 68, 60000); }, true, {10, 300}, {}},
      {"count past the block", [](std::vector<uint8_t> &f) { put16(f, data(1), 200); }, true,
       {10, 300}, {40, 50, 60}},
      {"offsets decreasing", [](std::vector<uint8_t> &f) { put16(f, data(2) + 2 + 6 + 4, 20); },
       true, {10, 300}, {70, 80, 90}},
      {"offset past the block", [](std::vector<uint8_t> &f) { put16(f, data(3) + 2 + 18 + 4, 600); },
       true, {10, 300}, {100, 110, 120}},
      {"numbers out of order", [](std::vector<uint8_t> &f) { put16(f, data(4) + 2, 500); }, true,
       {10, 300}, {130, 140, 150}},
      {"level-2 entry past D",
       [](std::vector<uint8_t> &f) {
         put16(f, blk(3) + 2 * 10, 400);  // an 11th data block that does not exist
         put16(f, blk(2), 400);
       },
       true, {10, 300}, {350, 400}},
      {"level-1 with all entries", [](std::vector<uint8_t> &f) { put32(f, 64, 256); }, true,
       {}, {10, 300}},
  };
  for (const Case &c : cases) {
    std::vector<uint8_t> f = good_file();
    c.damage(f);
    std::string path = dir.write(std::string("d") + std::to_string(&c - cases) + ".msb",
                                 std::string(f.begin(), f.end()), 0644);
    child([&] {
      Lang l("AMERICAN_AMERICA.US7ASCII");
      lmshnd h;
      lmsaicmt(&h, nullptr, "TEST", "TST", 0, &l.h, &l.e.glo, nullptr, nullptr, path.c_str(), 0,
               nullptr);
      EXPECT_EQ(h.status, c.opens ? LMS_FOUND : LMS_NOFILE) << c.what;
      for (int n : c.found) EXPECT_EQ(fetch(&h, n), "text " + std::to_string(n)) << c.what;
      for (int n : c.missed) {
        int st = -1;
        char buf[200];
        lmsagbcmt(&h, n, buf, sizeof buf, nullptr, nullptr, 0, nullptr, &st);
        EXPECT_EQ(st, LMS_NOTFOUND) << c.what << " " << n;
      }
      lmsatrm(&h);
    });
  }
}
