#include <cstring>

#include <dlfcn.h>
#include <time.h>
#include <sys/wait.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include "child.h"

#include "sltr.h"

TEST(Sltrgcs, FirstCallIsTheBaseAndTimeNeverGoesBack) {
  int rc = in_child([] {
    sl_status st;
    memset(&st, 0x55, sizeof st);
    if (sltrgcs(&st) != 0) return 1;
    if (st.code != 0) return 2;
    uint32_t prev = 0;
    for (int i = 0; i < 1000; ++i) {
      uint32_t now = sltrgcs(&st);
      if (st.code != 0) return 3;
      if (now < prev) return 4;
      prev = now;
    }
    return 0;
  });
  EXPECT_EQ(rc, 0);
}

// The wall clock as the tests set it: CLOCK_REALTIME is moved by
// g_wall_shift seconds; every other clock and call is the C library's.
time_t g_wall_shift = 0;
extern "C" int clock_gettime(clockid_t id, struct timespec *ts) noexcept {
  using Fn = int (*)(clockid_t, struct timespec *);
  static Fn real = reinterpret_cast<Fn>(dlsym(RTLD_NEXT, "clock_gettime"));
  int r = real(id, ts);
  if (r == 0 && id == CLOCK_REALTIME) ts->tv_sec += g_wall_shift;
  return r;
}

TEST(Sltrgcs, WallClockStepsDoNotMoveIt) {
  // The wall clock set back or forward an hour between two readings: the
  // elapsed time stays that of the real clock.
  for (time_t shift : {-3600, 3600}) {
    int rc = in_child([shift] {
      sl_status st;
      g_wall_shift = 0;
      sltrgcs(&st);
      g_wall_shift = shift;
      uint32_t now = sltrgcs(&st);
      if (st.code != 0) return 1;
      return now < 6000 ? 0 : 2;  // under a minute
    });
    EXPECT_EQ(rc, 0) << shift;
  }
}

TEST(Sltrgcs, SleepShowsOnTheClock) {
  // Sleeping 50 ms moves a monotonic centisecond clock by at least 4.
  int rc = in_child([] {
    sl_status st;
    uint32_t before = sltrgcs(&st);
    sltrusleep(&st, 50000, nullptr);
    uint32_t after = sltrgcs(&st);
    return after - before >= 4 ? 0 : 1;
  });
  EXPECT_EQ(rc, 0);
}

TEST(Sltrusleep, ClearsStatusAndReportsInTenMillisecondSteps) {
  for (uint32_t usec : {0u, 999u, 20000u}) {
    sl_status st;
    memset(&st, 0x55, sizeof st);
    uint32_t slept = 12345;
    EXPECT_EQ(sltrusleep(&st, usec, &slept), 0);
    EXPECT_EQ(st.code, 0);
    EXPECT_EQ(st.oserr, 0);
    EXPECT_EQ(st.detail[0], 0);
    EXPECT_EQ(slept % 10000, 0u) << usec;
  }
  sl_status st;
  memset(&st, 0x55, sizeof st);
  EXPECT_EQ(sltrusleep(&st, 1000, nullptr), 0);
  EXPECT_EQ(st.code, 0);
}
