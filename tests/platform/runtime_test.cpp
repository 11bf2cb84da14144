#include "platform/runtime.h"

#include <gtest/gtest.h>

using namespace rt;

TEST(RuntimeRounding, TiesGoToEven) {
    EXPECT_EQ(CInt(2.5), 2);
    EXPECT_EQ(CInt(-2.5), -2);
    EXPECT_EQ(CInt(3.5), 4);
    EXPECT_EQ(CInt(-32768.5), -32768);
    EXPECT_THROW(CInt(32767.5), RuntimeError);
}
