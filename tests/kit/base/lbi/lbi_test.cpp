#include <cstring>
#include <vector>

#include <sys/mman.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "lbi.h"

namespace {

// A source of `size` bytes placed right before an unreadable page: reading a
// byte past it faults.
class GuardedBytes {
 public:
  explicit GuardedBytes(size_t size) : page_(static_cast<size_t>(sysconf(_SC_PAGESIZE))) {
    base_ = static_cast<uint8_t*>(
        mmap(nullptr, 2 * page_, PROT_READ | PROT_WRITE, MAP_PRIVATE | MAP_ANONYMOUS, -1, 0));
    EXPECT_NE(base_, MAP_FAILED);
    EXPECT_EQ(mprotect(base_ + page_, page_, PROT_NONE), 0);
    data_ = base_ + page_ - size;
  }
  ~GuardedBytes() { munmap(base_, 2 * page_); }
  uint8_t* data() { return data_; }

 private:
  size_t page_;
  uint8_t* base_;
  uint8_t* data_;
};

}  // namespace

TEST(Lbivffs, Examples) {
  const uint8_t v[2] = {0x00, 0x04};
  EXPECT_EQ(lbivffs(v, 0, 15), 10);
  EXPECT_EQ(lbivffs(v, 10, 15), 10);
  EXPECT_EQ(lbivffs(v, 11, 15), -1);
  EXPECT_EQ(lbivffs(v, 0, 10), -1);  // the end is not included
  EXPECT_EQ(lbivffs(v, 16, 15), -1);

  const uint8_t w[3] = {0x81, 0x00, 0x40};
  EXPECT_EQ(lbivffs(w, 0, 24), 0);
  EXPECT_EQ(lbivffs(w, 1, 24), 7);
  EXPECT_EQ(lbivffs(w, 8, 24), 22);
  EXPECT_EQ(lbivffs(w, -5, 24), 0);
}

TEST(Lbivffs, StartEqualToEndReadsNothing) {
  EXPECT_EQ(lbivffs(nullptr, 7, 7), -1);
  EXPECT_EQ(lbivffs(nullptr, 9, 3), -1);
}

TEST(Lbivffs, StopsAtTheEndWithoutReadingBeyond) {
  GuardedBytes g(2);
  g.data()[0] = 0;
  g.data()[1] = 0;
  EXPECT_EQ(lbivffs(g.data(), 0, 16), -1);
  g.data()[1] = 0x80;
  EXPECT_EQ(lbivffs(g.data(), 3, 16), 15);
}

TEST(Lbivops, Bytewise) {
  const uint8_t a[2] = {0xF0, 0x0F}, b[2] = {0xAA, 0x55};
  uint8_t d[3] = {0, 0, 0x77};
  lbivand(d, a, b, 15);
  EXPECT_EQ(d[0], 0xA0);
  EXPECT_EQ(d[1], 0x05);
  EXPECT_EQ(d[2], 0x77);
  lbivor(d, a, b, 15);
  EXPECT_EQ(d[0], 0xFA);
  EXPECT_EQ(d[1], 0x5F);
  lbivxor(d, a, b, 15);
  EXPECT_EQ(d[0], 0x5A);
  EXPECT_EQ(d[1], 0x5A);
  // The complement of a 15-bit vector takes bit 15 along.
  lbivnot(d, a, 15);
  EXPECT_EQ(d[0], 0x0F);
  EXPECT_EQ(d[1], 0xF0);
  EXPECT_EQ(d[2], 0x77);
  // 8 bits touch one byte only; 0 bits none.
  d[1] = 0x33;
  lbivnot(d, a, 8);
  EXPECT_EQ(d[1], 0x33);
  d[0] = 0x11;
  lbivxor(d, a, b, 0);
  EXPECT_EQ(d[0], 0x11);
  // In place.
  uint8_t x[2] = {0x12, 0x34};
  lbivxor(x, x, x, 16);
  EXPECT_EQ(x[0] | x[1], 0);
}

TEST(Lbivncpy, ShiftedCopies) {
  struct Case {
    std::vector<uint8_t> src;
    size_t offset, n;
    std::vector<uint8_t> want;
  } cases[] = {
      {{0xAB, 0xCD}, 4, 8, {0xDA}},
      {{0xAB, 0xCD}, 0, 16, {0xAB, 0xCD}},
      {{0xAB, 0xCD}, 8, 8, {0xCD}},
      {{0x00, 0xAB, 0xCD}, 12, 4, {0x0A}},  // the last byte's upper bits stay in its byte
      {{0x00, 0xAB, 0xCD}, 12, 8, {0xDA}},
      {{0xFF, 0x01}, 1, 8, {0xFF}},
      {{0xFF, 0x01}, 1, 7, {0x7F}},  // bit 8 is not needed, so it is not read
      {{0x12, 0x34, 0x56}, 3, 13, {0x82, 0x06}},
  };
  for (const Case& c : cases) {
    GuardedBytes g(c.src.size());
    memcpy(g.data(), c.src.data(), c.src.size());
    std::vector<uint8_t> dst(c.want.size() + 1, 0xEE);
    lbivncpy(dst.data(), g.data(), c.offset, c.n);
    EXPECT_EQ(std::vector<uint8_t>(dst.begin(), dst.end() - 1), c.want)
        << "offset " << c.offset << " n " << c.n;
    EXPECT_EQ(dst.back(), 0xEE);
  }
}

TEST(Lbivncpy, ReadsNoSourceByteItDoesNotNeed) {
  // The last copied bit lies in the last byte before the guard page.
  for (size_t offset : {0u, 1u, 4u, 7u}) {
    GuardedBytes g(2);
    g.data()[0] = 0xAB;
    g.data()[1] = 0xCD;
    uint8_t dst[2];
    lbivncpy(dst, g.data(), offset, 16 - offset);
    EXPECT_EQ(dst[0], static_cast<uint8_t>((0xCDAB >> offset) & 0xFF)) << offset;
  }
}

TEST(Lbivpk, PacksAndKeepsHighBitsOfPartialByte) {
  const uint8_t bytes[3] = {1, 0, 3};
  uint8_t d[1] = {0xF8 | 0x02};
  lbivpk(d, bytes, 3, 1);
  EXPECT_EQ(d[0] & 0x07, 5);
  EXPECT_EQ(d[0] & 0xF8, 0xF8);

  uint8_t src[10] = {0x10, 0, 0x11, 0x01, 0, 0, 0, 0x10, 0x10, 0};
  uint8_t v[2] = {0xFF, 0xFF};
  lbivpk(v, src, 10, 0x10);
  EXPECT_EQ(v[0], 0x85);       // whole byte rewritten
  EXPECT_EQ(v[1], 0xFD);       // bit 8 set, bit 9 cleared, bits 10-15 kept
}

TEST(Lbivupk, SetsAndClearsOnlyTheMask) {
  const uint8_t v[2] = {0x05, 0x01};
  uint8_t bytes[10];
  memset(bytes, 0xF0, sizeof bytes);
  bytes[1] = 0x0F;
  lbivupk(bytes, v, 9, 0x03);
  const uint8_t want[10] = {0xF3, 0x0C, 0xF3, 0xF0, 0xF0, 0xF0, 0xF0, 0xF0, 0xF3, 0xF0};
  EXPECT_EQ(memcmp(bytes, want, sizeof want), 0);

  // Packing what was unpacked gives the vector back.
  uint8_t back[2] = {0, 0};
  lbivpk(back, bytes, 9, 0x03);
  EXPECT_EQ(back[0], 0x05);
  EXPECT_EQ(back[1] & 0x01, 0x01);
}
