#include "link/LiveValues.h"

#include <gtest/gtest.h>

TEST(LiveValues, ResetEmptiesAllSixImages) {
    DIValue(255) = true;
    DOValue(0) = true;
    AIValue(127) = -1;
    AOValue(5) = 7;
    PIValue(127) = -2;
    POValue(64) = 100000;
    const LiveValuesSnapshot before = SnapshotLiveValues();
    ResetLiveValues();
    EXPECT_NE(SnapshotLiveValues(), before);
    EXPECT_EQ(SnapshotLiveValues(), LiveValuesSnapshot{});
}

TEST(LiveValues, IndexesOutsideTheImagesRaise) {
    EXPECT_THROW(DIValue(256), rt::RuntimeError);
    EXPECT_THROW(AIValue(128), rt::RuntimeError);
    EXPECT_THROW(POValue(-1), rt::RuntimeError);
}
