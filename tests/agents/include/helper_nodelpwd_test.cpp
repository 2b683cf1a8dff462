// The listener's build of the helpers: everything but DelPwd.
#include <gtest/gtest.h>

#include "QENAgHelper.h"
#include "qenagfw_test.h"

extern "C" void DelPwd(void*) __attribute__((weak));

TEST(HelpersNoDelPwd, DelPwdIsLeftOutTheRestWorks)
{
    EXPECT_EQ(&DelPwd, nullptr);
    char a[] = "Listener", n[] = "1", v[] = "LISTENER";
    char* vec[] = {a, n, v, nullptr};
    char* value = nullptr;
    int index = -1;
    EXPECT_EQ(qenag_get_attr_value(vec, "Listener", &value, index, 1), 0);
    EXPECT_STREQ(value, "LISTENER");
    char** list = new char*[2]();
    DelArgList(list);
}
