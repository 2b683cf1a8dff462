#include <cstring>

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
