#include <gtest/gtest.h>

#include "tracking/TrackerState.h"

using namespace pupiltrak;

TEST(TrackerStateTest, StartsWithTheDefaults) {
  TrackerState tracker;
  EXPECT_EQ(tracker.EqualizeHist2.load(), 1);
  EXPECT_EQ(tracker.Finder2Param1.load(), 60);
  EXPECT_EQ(tracker.CaptureFileName(), "No capture file selected");
}
