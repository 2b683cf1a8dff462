// The day arithmetic: the anchors and edge cases of the day count, every day
// number back to itself, and the errors raised through the context.
#include <csetjmp>

#include <gtest/gtest.h>

#include "ldx.h"

namespace {

// Errors long-jump back with their number, as the date library's callers do.
#define LDX_TRY(jb) setjmp(jb)

void jump(void *ctx, int err) { std::longjmp(*static_cast<jmp_buf *>(static_cast<ldx_ctx *>(ctx)->cbarg), err); }

struct Ymd {
  int y, m, d;
  int32_t j;
};

TEST(Ldx, Anchors) {
  const Ymd anchors[] = {{-4712, 1, 1, 1},        {-4712, 12, 31, 365},    {-4711, 1, 1, 366},
                         {-1, 12, 31, 1721057},   {1, 1, 1, 1721424},      {1582, 10, 4, 2299160},
                         {1582, 10, 15, 2299161}, {1600, 3, 1, 2305508},   {1970, 1, 1, 2440588},
                         {1982, 2, 28, 2445029},  {1982, 3, 1, 2445030},   {2000, 1, 1, 2451545},
                         {9999, 12, 31, 5373484}, {0, 1, 1, 1721058},      {0, 12, 31, 1721423}};
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  for (const Ymd &a : anchors) {
    EXPECT_EQ(ldxctj(&ctx, int16_t(a.y), int8_t(a.m), int8_t(a.d)), a.j) << a.y << "-" << a.m;
    int16_t y;
    int8_t m, d;
    EXPECT_EQ(ldxjtc(&ctx, a.j, &y, &m, &d), a.j);
    EXPECT_EQ(y, a.y);
    EXPECT_EQ(m, a.m);
    EXPECT_EQ(d, a.d);
  }
}

TEST(Ldx, ReformGapAndLeapRule) {
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  // 1582-10-05 takes the number of 1582-10-15.
  EXPECT_EQ(ldxctj(&ctx, 1582, 10, 5), 2299161);
  EXPECT_EQ(ldxleap(-4712), 0);
  EXPECT_EQ(ldxleap(-4708), 1);
  EXPECT_EQ(ldxleap(1500), 1);
  EXPECT_EQ(ldxleap(1700), 0);
  EXPECT_EQ(ldxleap(2000), 1);
  int8_t m, d;
  ldxdyc(&ctx, 1500, 366, &m, &d);
  EXPECT_EQ(m, 12);
  EXPECT_EQ(d, 31);
}

TEST(Ldx, EveryDayBackToItself) {
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  for (int32_t j = 1; j <= 5373484; ++j) {
    int16_t y;
    int8_t m, d;
    ldxjtc(&ctx, j, &y, &m, &d);
    ASSERT_EQ(ldxctj(&ctx, y, m, d), j) << y << "-" << int(m) << "-" << int(d);
  }
}

TEST(Ldx, TimeOfDay) {
  ldx_ctx ctx;
  ldxnbeg(&ctx, nullptr, nullptr, nullptr, nullptr, nullptr);
  ldx_julian j{2451545, 86399};
  ldx_date out;
  ldxdfd(&ctx, &j, &out);
  EXPECT_EQ(out.hour, 23);
  EXPECT_EQ(out.minute, 59);
  EXPECT_EQ(out.second, 59);
  ldx_julian back;
  ldxdtd(&ctx, &out, &back);
  EXPECT_EQ(back.day, j.day);
  EXPECT_EQ(back.seconds, j.seconds);
}

TEST(Ldx, ErrorsReachTheCallback) {
  struct Case {
    int kind;  // 0 jtc, 1 dyc, 2 dfd
    int32_t value;
    int err;
  } cases[] = {{0, 0, LDX_ERR_DAYNUM}, {0, -5, LDX_ERR_DAYNUM}, {1, 366, LDX_ERR_DOY},
               {2, 0, LDX_ERR_DAYNUM}};
  // One frame per case: nothing that changes after the setjmp lives in it.
  auto check = [](const Case &c) {
    jmp_buf jb;
    ldx_ctx ctx;
    ldxnbeg(&ctx, nullptr, jump, &jb, nullptr, nullptr);
    volatile int raised = LDX_TRY(jb);
    if (raised == 0) {
      int16_t y;
      int8_t m, d;
      ldx_julian j{c.value, 0};
      ldx_date out;
      if (c.kind == 0) ldxjtc(&ctx, c.value, &y, &m, &d);
      if (c.kind == 1) ldxdyc(&ctx, 1900, c.value, &m, &d);
      if (c.kind == 2) ldxdfd(&ctx, &j, &out);
      ADD_FAILURE() << "no error for case " << c.kind << " " << c.value;
    } else {
      EXPECT_EQ(raised, c.err);
    }
  };
  for (const Case &c : cases) check(c);
}

}  // namespace
