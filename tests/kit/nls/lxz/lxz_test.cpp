// The NLS layer's one-time lock set-up, in a child process.
#include <gtest/gtest.h>

#include "child.h"
#include "lxz.h"
#include "slts.h"

TEST(Lxzinit, OncePerProcess) {
  int rc = in_child([] {
    CHILD_CHECK(sltsqgc == nullptr);
    CHILD_CHECK(lxzinit() == 0);
    // the thread layer is prepared and the NLS layer holds one reference
    CHILD_CHECK(sltsqgi == 1);
    CHILD_CHECK(sltsqgc != nullptr);
    int refs = sltsqgc->refs;
    CHILD_CHECK(lxzinit() == 0);
    CHILD_CHECK(lxzinit() == 0);
    CHILD_CHECK(sltsqgc->refs == refs);  // no second lock
    return 0;
  });
  EXPECT_EQ(rc, 0);
}
