#include <cstddef>

#include <gtest/gtest.h>

#include "los.h"

// The records meet callers across the kit; their layout is fixed in both widths.
TEST(LosRecords, Layout) {
  EXPECT_EQ(offsetof(slos_error, call), 4u);
  EXPECT_EQ(offsetof(slos_error, location), 37u);
  EXPECT_EQ(offsetof(slos_error, other), 50u);
  EXPECT_EQ(offsetof(slos_error, oserr), 212u);
  EXPECT_EQ(sizeof(sl_status), 8 + 4 * sizeof(void*));
}
