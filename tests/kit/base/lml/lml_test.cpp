// The lightweight memory handle.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <string.h>

#include "lml.h"

namespace {

struct Counter {
  int allocs = 0, releases = 0;
  void* last = nullptr;
};

extern "C" void* count_alloc(void* user, size_t n) {
  static_cast<Counter*>(user)->allocs++;
  void* p = malloc(n);
  memset(p, 0xCC, n);
  return p;
}
extern "C" void count_release(void* user, void* p) {
  static_cast<Counter*>(user)->releases++;
  static_cast<Counter*>(user)->last = p;
  free(p);
}

}  // namespace

TEST(Lml, ProcessAllocatorWithoutCallbacks) {
  lml_ctx* h = lmlinit(nullptr, nullptr, nullptr);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(h->magic, 0x4C4D4C21u);
  EXPECT_EQ(h->alloc, nullptr);
  void* p = lmlalloc(h, 100);
  ASSERT_NE(p, nullptr);
  memset(p, 1, 100);
  lmlfree(h, p);
  auto* z = static_cast<unsigned char*>(lmlcalloc(h, 64));
  for (int i = 0; i < 64; ++i) EXPECT_EQ(z[i], 0);
  lmlfree(h, z);
  EXPECT_EQ(lmlalloc(h, 0), nullptr);
  lmlfree(h, nullptr);
  lmlterm(h);
}

TEST(Lml, OneCallbackIsRefused) {
  Counter c;
  EXPECT_EQ(lmlinit(&c, count_alloc, nullptr), nullptr);
  EXPECT_EQ(lmlinit(&c, nullptr, count_release), nullptr);
  EXPECT_EQ(c.allocs, 0);
}

TEST(Lml, CallbacksCarryEverything) {
  Counter c;
  lml_ctx* h = lmlinit(&c, count_alloc, count_release);
  ASSERT_NE(h, nullptr);
  EXPECT_EQ(c.allocs, 1);  // the handle itself
  EXPECT_EQ(h->user, &c);
  EXPECT_EQ(h->reserved, nullptr);
  auto* z = static_cast<unsigned char*>(lmlcalloc(h, 32));
  EXPECT_EQ(c.allocs, 2);
  for (int i = 0; i < 32; ++i) EXPECT_EQ(z[i], 0);
  lmlfree(h, z);
  EXPECT_EQ(c.releases, 1);
  lmlterm(h);
  EXPECT_EQ(c.releases, 2);
  EXPECT_EQ(c.last, h);
}

TEST(Lml, BadMagicIsRefused) {
  Counter c;
  lml_ctx* h = lmlinit(&c, count_alloc, count_release);
  h->magic = 0x12345678u;
  EXPECT_EQ(lmlalloc(h, 8), nullptr);
  EXPECT_EQ(lmlcalloc(h, 8), nullptr);
  int x;
  lmlfree(h, &x);  // ignored
  lmlterm(h);      // ignored
  EXPECT_EQ(c.releases, 0);
  EXPECT_EQ(lmlalloc(nullptr, 8), nullptr);
  h->magic = LML_MAGIC;
  lmlterm(h);
  EXPECT_EQ(c.releases, 1);
}
