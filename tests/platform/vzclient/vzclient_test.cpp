#include <atomic>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <vector>

#include <gtest/gtest.h>

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

// IBM code page 037 to ISO 8859-1 for every EBCDIC byte, row by row.
static const uint8_t kCp037[256] = {
    0x00, 0x01, 0x02, 0x03, 0x9C, 0x09, 0x86, 0x7F, 0x97, 0x8D, 0x8E, 0x0B, 0x0C, 0x0D, 0x0E, 0x0F,
    0x10, 0x11, 0x12, 0x13, 0x9D, 0x85, 0x08, 0x87, 0x18, 0x19, 0x92, 0x8F, 0x1C, 0x1D, 0x1E, 0x1F,
    0x80, 0x81, 0x82, 0x83, 0x84, 0x0A, 0x17, 0x1B, 0x88, 0x89, 0x8A, 0x8B, 0x8C, 0x05, 0x06, 0x07,
    0x90, 0x91, 0x16, 0x93, 0x94, 0x95, 0x96, 0x04, 0x98, 0x99, 0x9A, 0x9B, 0x14, 0x15, 0x9E, 0x1A,
    0x20, 0xA0, 0xE2, 0xE4, 0xE0, 0xE1, 0xE3, 0xE5, 0xE7, 0xF1, 0xA2, 0x2E, 0x3C, 0x28, 0x2B, 0x7C,
    0x26, 0xE9, 0xEA, 0xEB, 0xE8, 0xED, 0xEE, 0xEF, 0xEC, 0xDF, 0x21, 0x24, 0x2A, 0x29, 0x3B, 0xAC,
    0x2D, 0x2F, 0xC2, 0xC4, 0xC0, 0xC1, 0xC3, 0xC5, 0xC7, 0xD1, 0xA6, 0x2C, 0x25, 0x5F, 0x3E, 0x3F,
    0xF8, 0xC9, 0xCA, 0xCB, 0xC8, 0xCD, 0xCE, 0xCF, 0xCC, 0x60, 0x3A, 0x23, 0x40, 0x27, 0x3D, 0x22,
    0xD8, 0x61, 0x62, 0x63, 0x64, 0x65, 0x66, 0x67, 0x68, 0x69, 0xAB, 0xBB, 0xF0, 0xFD, 0xFE, 0xB1,
    0xB0, 0x6A, 0x6B, 0x6C, 0x6D, 0x6E, 0x6F, 0x70, 0x71, 0x72, 0xAA, 0xBA, 0xE6, 0xB8, 0xC6, 0xA4,
    0xB5, 0x7E, 0x73, 0x74, 0x75, 0x76, 0x77, 0x78, 0x79, 0x7A, 0xA1, 0xBF, 0xD0, 0xDD, 0xDE, 0xAE,
    0x5E, 0xA3, 0xA5, 0xB7, 0xA9, 0xA7, 0xB6, 0xBC, 0xBD, 0xBE, 0x5B, 0x5D, 0xAF, 0xA8, 0xB4, 0xD7,
    0x7B, 0x41, 0x42, 0x43, 0x44, 0x45, 0x46, 0x47, 0x48, 0x49, 0xAD, 0xF4, 0xF6, 0xF2, 0xF3, 0xF5,
    0x7D, 0x4A, 0x4B, 0x4C, 0x4D, 0x4E, 0x4F, 0x50, 0x51, 0x52, 0xB9, 0xFB, 0xFC, 0xF9, 0xFA, 0xFF,
    0x5C, 0xF7, 0x53, 0x54, 0x55, 0x56, 0x57, 0x58, 0x59, 0x5A, 0xB2, 0xD4, 0xD6, 0xD2, 0xD3, 0xD5,
    0x30, 0x31, 0x32, 0x33, 0x34, 0x35, 0x36, 0x37, 0x38, 0x39, 0xB3, 0xDB, 0xDC, 0xD9, 0xDA, 0x9F,
};

TEST(Slste2a, CodePage037) {
  uint8_t all[256];
  for (int i = 0; i < 256; ++i) all[i] = static_cast<uint8_t>(i);
  uint8_t out[256];
  EXPECT_EQ(slste2a(out, all, sizeof all), out);
  for (int i = 0; i < 256; ++i) EXPECT_EQ(out[i], kCp037[i]) << "EBCDIC 0x" << std::hex << i;

  // Every byte maps to a different one.
  bool seen[256] = {};
  for (uint8_t b : out) {
    EXPECT_FALSE(seen[b]);
    seen[b] = true;
  }
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
