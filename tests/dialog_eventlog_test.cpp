// The event log: lines appended in order with their icons, a list in list mode that neither
// scrolls nor selects when lines are added.
#include <QScrollBar>

#include "app/EventLog.h"
#include "dialog_support.h"
#include "platform/Resources.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

TEST(EventLogLines, OrdinaryAndFailureLinesCarryTheirIcons) {
  EventLog log;
  log.SetImageList({QIcon(QPixmap::fromImage(ResourceIcon(resource_id::kCogIcon, 16))),
                    QIcon(QPixmap::fromImage(ResourceIcon(resource_id::kBeetleIcon, 16)))});
  log.AddLogLine("Loading haarcascade_frontalface_default.xml");
  log.AddBugLine("cvcamStart() failed");
  log.AddLogLine("");
  log.AddBugLine("");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{"Loading haarcascade_frontalface_default.xml",
                                                   "Bug: cvcamStart() failed", "", "Bug: "}));
  EXPECT_EQ(log.ImageIndex(0), EventLog::kCogImage);
  EXPECT_EQ(log.ImageIndex(1), EventLog::kBugImage);
  EXPECT_EQ(log.ImageIndex(2), EventLog::kCogImage);
  EXPECT_EQ(log.ImageIndex(3), EventLog::kBugImage);
  EXPECT_FALSE(log.item(0)->icon().isNull());
  EXPECT_FALSE(log.item(1)->icon().isNull());
  EXPECT_EQ(log.ImageIndex(99), -1);
}

TEST(EventLogLines, TextIsKeptCharacterForCharacter) {
  EventLog log;
  const std::string path = "/home/user/My Videos/run (1) 100%.avi";
  log.AddLogLine(path);
  log.AddLogLine("Finder1Param1 = %d");
  EXPECT_EQ(log.Lines(), (std::vector<std::string>{path, "Finder1Param1 = %d"}));
}

TEST(EventLogView, ListModeColumnsFlowToTheRightWithoutWrappingLabels) {
  EventLog log;
  EXPECT_EQ(log.viewMode(), QListView::ListMode);
  EXPECT_EQ(log.flow(), QListView::TopToBottom);
  EXPECT_TRUE(log.isWrapping());
  EXPECT_FALSE(log.wordWrap());
  EXPECT_EQ(log.iconSize(), QSize(16, 16));
  EXPECT_NE(log.frameShape(), QFrame::NoFrame);
}

TEST(EventLogView, ManyLinesLeaveTheViewWhereItWas) {
  EventLog log;
  log.resize(459, 164);
  log.show();
  ASSERT_TRUE(QTest::qWaitForWindowExposed(&log));
  for (int i = 0; i < 400; ++i) log.AddLogLine("Finder2Param1 = " + std::to_string(i));
  Settle();
  // The columns run off to the right; the newest line is beyond the visible ones.
  EXPECT_GT(log.horizontalScrollBar()->maximum(), 0);
  EXPECT_EQ(log.horizontalScrollBar()->value(), 0);
  EXPECT_TRUE(log.selectedItems().isEmpty());
  const QRect newest = log.visualItemRect(log.item(399));
  EXPECT_FALSE(log.viewport()->rect().intersects(newest));
  // Items stay one per line, in order.
  EXPECT_EQ(log.count(), 400);
  EXPECT_EQ(log.item(250)->text(), "Finder2Param1 = 250");
}

}  // namespace
