#include <gtest/gtest.h>

#include "tracking/TrackerState.h"

TEST(TrackerStateTest, StartsWithTheDefaults) {
  ResetTrackerState();
  EXPECT_EQ(Tracker().EqualizeHist2.load(), 1);
  EXPECT_EQ(Tracker().Finder2Param1.load(), 60);
  EXPECT_EQ(Tracker().CaptureFileName(), "No capture file selected");
}
