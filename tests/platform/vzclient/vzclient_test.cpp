#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>
#include <iconv.h>

#include "los.h"
#include "vzclient.h"

namespace {

int sign(int v) { return (v > 0) - (v < 0); }

}  // namespace

TEST(Vsnnum, StatedOnceInItsHeader) {
  EXPECT_EQ(vsnnum, VZ_VSNNUM);
  static_assert(sizeof(vsnnum) == 4);
}

TEST(DataWords, StartEmpty) {
  EXPECT_EQ(slorpath, nullptr);
  EXPECT_EQ(slphinit, 0);
  EXPECT_EQ(slgsst, 0);
  EXPECT_EQ(sizeof(slgsinfo), 5u * 257u);
  EXPECT_EQ(offsetof(slgs_info, release), 514u);
}

TEST(Lstclo, SignsIgnoringCase) {
  struct Case {
    const char* a;
    const char* b;
    int sign;
  } cases[] = {
      {"abc", "ABC", 0}, {"", "", 0},       {"eg", "EG", 0},   {"abc", "abd", -1},
      {"ABD", "abc", 1}, {"ab", "abc", -1}, {"abc", "ab", 1},  {"Frc", "frcx", -1},
      {"a", "B", -1},    {"[", "a", -1},    {"_", "A", -1},  // folded to lower case, as the kit compares
      {"\xE4", "a", 1},
  };
  for (const Case& c : cases)
    EXPECT_EQ(sign(lstclo(c.a, c.b)), c.sign) << c.a << " / " << c.b;
}

TEST(Lstlo, CopiesLowerCasedAndInPlace) {
  char out[32];
  EXPECT_EQ(lstlo(out, "/RIDOR/Mesg/GIMus.msb"), out);
  EXPECT_STREQ(out, "/ridor/mesg/gimus.msb");
  char buf[] = "VODUDED-LEM \xC4z";
  lstlo(buf, buf);
  EXPECT_STREQ(buf, "voduded-lem \xC4z");
  lstlo(out, "");
  EXPECT_STREQ(out, "");
}

TEST(Lcvb2w, DigitsOfTheBase) {
  struct Case {
    const char* text;
    size_t len;
    int base;
    int rc;
    int value;
  } cases[] = {
      {"0001", 4, 16, 0, 1},         {"00ff", 4, 16, 0, 255},  {"ABCD", 4, 16, 0, 0xABCD},
      {"abcdef", 4, 16, 0, 0xABCD},  // only len digits are read
      {"7fffffff", 8, 16, 0, 0x7fffffff},
      {"80000000", 8, 16, -1, 0},    // does not fit an int
      {"12g4", 4, 16, -1, 0},        {"1010", 4, 2, 0, 10},     {"1012", 4, 2, -1, 0},
      {"", 0, 16, -1, 0},            {"99", 2, 10, 0, 99},      {"-1", 2, 10, -1, 0},
      {"12", 2, 1, -1, 0},           {"zz", 2, 36, 0, 36 * 35 + 35},
  };
  for (const Case& c : cases) {
    int v = -77;
    EXPECT_EQ(lcvb2w(c.text, c.len, &v, c.base), c.rc) << c.text;
    EXPECT_EQ(v, c.value) << c.text;
  }
}

TEST(Lcv42bLcvb24, DecimalRoundTrip) {
  for (uint32_t v : {0u, 7u, 999u, 1000u, 4294967295u}) {
    char buf[40];
    memset(buf, '#', sizeof buf);
    int n = lcv42b(buf, v, 10);
    EXPECT_EQ(std::string(buf, static_cast<size_t>(n)), std::to_string(v));
    EXPECT_EQ(buf[n], '#');
    uint32_t back = 1;
    EXPECT_EQ(lcvb24(buf, static_cast<size_t>(n), &back, 10), 0);
    EXPECT_EQ(back, v);
  }
  char buf[40];
  EXPECT_EQ(lcv42b(buf, 255, 16), 2);
  EXPECT_EQ(std::string(buf, 2), "ff");
  EXPECT_EQ(lcv42b(buf, 5, 1), 0);
  uint32_t v = 1;
  EXPECT_EQ(lcvb24("4294967296", 10, &v, 10), -1);
  EXPECT_EQ(lcvb24("123456", 3, &v, 10), 0);
  EXPECT_EQ(v, 123u);
}

TEST(Lstrj, RightJustifies) {
  struct Case {
    const char* src;
    size_t width;
    std::string want;
  } cases[] = {
      {"1234", 9, "000001234"}, {"123456789", 9, "123456789"}, {"", 3, "000"},
      {"12345", 3, "123"},      {"7", 0, ""},
  };
  for (const Case& c : cases) {
    char dst[16];
    memset(dst, '#', sizeof dst);
    EXPECT_EQ(lstrj(dst, c.src, c.width, '0', nullptr), dst);
    EXPECT_EQ(std::string(dst), c.want);
    EXPECT_EQ(dst[c.width + 1], '#');
  }
  char same[16] = "42";
  lstrj(same, same, 6, ' ', nullptr);
  EXPECT_STREQ(same, "    42");
}

TEST(Lmebucp, OrdersBytesAndDefersToLength) {
  EXPECT_EQ(lmebucp("abc", 3, "abd", 3), -1);
  EXPECT_EQ(lmebucp("b", 1, "abc", 3), 1);
  EXPECT_EQ(lmebucp("ab", 2, "abc", 3), 0);  // the caller orders by length
  EXPECT_EQ(lmebucp("\xff", 1, "\x01", 1), 1);  // unsigned bytes
  EXPECT_EQ(lmebucp("x", 0, "y", 0), 0);
}

// The expectation is not a copy of the table: the letters, digits and space
// stand at their well-known EBCDIC places, and every byte is checked against
// the C library's own IBM037 converter.
TEST(Slste2a, CodePage037) {
  uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  uint8_t out[256];
  EXPECT_EQ(slste2a(out, all, sizeof all), out);

  struct Run {
    int ebcdic;
    char first;
    int count;
  };
  for (Run r : {Run{0xC1, 'A', 9}, Run{0xD1, 'J', 9}, Run{0xE2, 'S', 8}, Run{0x81, 'a', 9},
                Run{0x91, 'j', 9}, Run{0xA2, 's', 8}, Run{0xF0, '0', 10}})
    for (int i = 0; i < r.count; ++i)
      EXPECT_EQ(out[r.ebcdic + i], r.first + i) << "EBCDIC 0x" << std::hex << r.ebcdic + i;
  EXPECT_EQ(out[0x40], ' ');

  // Every byte maps to a different one.
  bool seen[256] = {};
  for (uint8_t b : out) {
    EXPECT_FALSE(seen[b]);
    seen[b] = true;
  }

  iconv_t cd = iconv_open("ISO-8859-1", "IBM037");
  if (cd == reinterpret_cast<iconv_t>(-1)) GTEST_SKIP() << "no IBM037 converter on this host";
  char want[256];
  char* in = reinterpret_cast<char*>(all);
  char* to = want;
  size_t inleft = sizeof all, outleft = sizeof want;
  size_t rc = iconv(cd, &in, &inleft, &to, &outleft);
  iconv_close(cd);
  ASSERT_EQ(rc, 0u);
  ASSERT_EQ(outleft, 0u);
  for (int i = 0; i < 256; ++i)
    EXPECT_EQ(out[i], static_cast<uint8_t>(want[i])) << "EBCDIC 0x" << std::hex << i;
}

TEST(Slste2a, NamesInPlace) {
  // "AMERICAN_AMERICA.US7ASCII" and "lx00001" as an NLS data file stores them in EBCDIC.
  uint8_t name[] = {0xC1, 0xD4, 0xC5, 0xD9, 0xC9, 0xC3, 0xC1, 0xD5, 0x6D, 0xC1, 0xD4, 0xC5, 0xD9,
                    0xC9, 0xC3, 0xC1, 0x4B, 0xE4, 0xE2, 0xF7, 0xC1, 0xE2, 0xC3, 0xC9, 0xC9, 0x00};
  slste2a(name, name, sizeof name - 1);
  EXPECT_STREQ(reinterpret_cast<char*>(name), "AMERICAN_AMERICA.US7ASCII");
  uint8_t lower[] = {0x93, 0xA7, 0xF0, 0xF0, 0xF0, 0xF0, 0xF1, 0x00};
  slste2a(lower, lower, 7);
  EXPECT_STREQ(reinterpret_cast<char*>(lower), "lx00001");
  uint8_t untouched = 0xC1;
  slste2a(&untouched, &untouched, 0);
  EXPECT_EQ(untouched, 0xC1);
}

TEST(Slfnp, SplitsNames) {
  struct Case {
    const char* file;
    const char* dir;
    const char* name;
    const char* ext;
  } cases[] = {
      {"/u01/dump/seg_1.dat", "/u01/dump", "seg_1", "dat"},
      {"seg.tar.gz", "", "seg.tar", "gz"},
      {"noext", "", "noext", ""},
      {"/top", "/", "top", ""},
      {"dir/.hidden", "dir", ".hidden", ""},
      {"dir.d/file", "dir.d", "file", ""},
      {"a/b/", "a/b", "", ""},
      {"", "", "", ""},
  };
  for (const Case& c : cases) {
    sl_status st;
    memset(&st, 0x55, sizeof st);
    char dir[SLFNP_PART], name[SLFNP_PART], ext[SLFNP_PART], fourth[SLFNP_PART];
    memset(fourth, '#', sizeof fourth);
    EXPECT_EQ(slfnp(&st, dir, name, ext, fourth, c.file), 0) << c.file;
    EXPECT_EQ(st.code, 0);
    EXPECT_STREQ(dir, c.dir) << c.file;
    EXPECT_STREQ(name, c.name) << c.file;
    EXPECT_STREQ(ext, c.ext) << c.file;
    EXPECT_STREQ(fourth, "");
  }
}

TEST(Slfnp, RefusesWhatDoesNotFit) {
  sl_status st;
  char dir[SLFNP_PART], name[SLFNP_PART], ext[SLFNP_PART], fourth[SLFNP_PART];
  std::string longest(SLFNP_PART - 1, 'n');
  EXPECT_EQ(slfnp(&st, dir, name, ext, fourth, longest.c_str()), 0);
  EXPECT_EQ(std::string(name), longest);
  std::string too_long(SLFNP_PART, 'n');
  EXPECT_EQ(slfnp(&st, dir, name, ext, fourth, too_long.c_str()), SLFNP_TOOLONG);
  EXPECT_EQ(st.code, SLFNP_TOOLONG);
  EXPECT_STREQ(name, "");
  EXPECT_EQ(slfnp(&st, dir, nullptr, ext, fourth, "x"), SLFNP_BADARG);
}

namespace {

struct Scratch {
  size_t size;
  int calls;
  bool writable;
};

void fill_scratch(void* ctx, void* buf) {
  auto* s = static_cast<Scratch*>(ctx);
  ++s->calls;
  memset(buf, 0xA5, s->size);  // the whole buffer is ours
  s->writable = s->size == 0 || static_cast<uint8_t*>(buf)[s->size - 1] == 0xA5;
}

}  // namespace

TEST(Slmaacb, CallsBackOnceWithTheBuffer) {
  for (size_t size : {size_t{0}, size_t{1}, size_t{2048}, size_t{2049}, size_t{1} << 20}) {
    Scratch s{size, 0, false};
    EXPECT_EQ(slmaacb(fill_scratch, &s, size), 0);
    EXPECT_EQ(s.calls, 1) << size;
    EXPECT_TRUE(s.writable) << size;
  }
  EXPECT_EQ(slmaacb(nullptr, nullptr, 8), -1);
}

TEST(Lxu, Utf16LengthInUnits) {
  lxu_ctx* ctx = lxuCvtToCtx(nullptr, nullptr);
  ASSERT_NE(ctx, nullptr);
  const uint16_t text[] = {'h', 'i', 0xD83D, 0xDE00, 0x00FF, 0};
  EXPECT_EQ(lxuStrLen(ctx, text), 5u);
  const uint16_t empty[] = {0};
  EXPECT_EQ(lxuStrLen(ctx, empty), 0u);
  // An odd address is read unit by unit as well.
  alignas(2) uint8_t raw[9] = {0xEE, 'a', 0, 0x00, 0x01, 0, 0, 0x55, 0x55};
  EXPECT_EQ(lxuStrLen(ctx, raw + 1), 2u);
}

TEST(SltsPr, SharedAndExclusive) {
  SltsPrLock lock;
  ASSERT_EQ(SltsPrInit(nullptr, &lock), 0);

  // Two readers at once.
  ASSERT_EQ(SltsPrRead(nullptr, &lock), 0);
  std::atomic<int> second_reader{-1};
  std::thread([&] {
    second_reader = pthread_rwlock_tryrdlock(&lock.rw);
    if (second_reader == 0) SltsPrUnlock(nullptr, &lock);
  }).join();
  EXPECT_EQ(second_reader, 0);

  // A writer waits for the reader; then excludes readers.
  std::atomic<bool> writer_in{false};
  std::thread writer([&] {
    SltsPrWrite(nullptr, &lock);
    writer_in = true;
    SltsPrUnlock(nullptr, &lock);
  });
  std::atomic<int> try_write{-1};
  std::thread([&] { try_write = pthread_rwlock_trywrlock(&lock.rw); }).join();
  EXPECT_EQ(try_write, EBUSY);
  EXPECT_FALSE(writer_in);
  ASSERT_EQ(SltsPrUnlock(nullptr, &lock), 0);
  writer.join();
  EXPECT_TRUE(writer_in);

  // The upgrade a message handle makes: shared, release, exclusive.
  ASSERT_EQ(SltsPrRead(nullptr, &lock), 0);
  ASSERT_EQ(SltsPrUnlock(nullptr, &lock), 0);
  ASSERT_EQ(SltsPrWrite(nullptr, &lock), 0);
  std::atomic<int> try_read{-1};
  std::thread([&] { try_read = pthread_rwlock_tryrdlock(&lock.rw); }).join();
  EXPECT_EQ(try_read, EBUSY);
  ASSERT_EQ(SltsPrUnlock(nullptr, &lock), 0);
  EXPECT_EQ(SltsPrDestroy(nullptr, &lock), 0);
}

TEST(SltsPr, ExclusiveProtectsCounter) {
  SltsPrLock lock;
  ASSERT_EQ(SltsPrInit(nullptr, &lock), 0);
  long counter = 0;
  std::vector<std::thread> threads;
  for (int t = 0; t < 4; ++t)
    threads.emplace_back([&] {
      for (int i = 0; i < 20000; ++i) {
        SltsPrWrite(nullptr, &lock);
        ++counter;
        SltsPrUnlock(nullptr, &lock);
      }
    });
  for (auto& th : threads) th.join();
  EXPECT_EQ(counter, 80000);
  SltsPrDestroy(nullptr, &lock);
}
