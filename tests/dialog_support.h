#pragma once
// Shared set-up of the dialog tests: a scratch current directory with or without the face
// cascade, the stand-ins of the platform layer installed, and a clean tracker state.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QApplication>
#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>
#include <QTest>
#include <QTimer>
#include <QWidget>
#include <string>
#include <vector>

#include "app/EventLog.h"
#include "app/TrackerDialog.h"
#include "capture/TrackerSession.h"
#include "platform/HeadlessPlatform.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"
#include "tracking/TrackerState.h"

using namespace pupiltrak;

namespace dialog_test {

enum class Cascade { Present, Missing, Empty, Garbage, Truncated };

// Makes a scratch directory the current one for the test's lifetime.
class ScratchDirectory {
 public:
  explicit ScratchDirectory(Cascade cascade) {
    old_ = QDir::currentPath();
    const QString target = dir_.filePath(QStringLiteral("haarcascade_frontalface_default.xml"));
    switch (cascade) {
      case Cascade::Present:
        QFile::copy(QStringLiteral(PUPILTRAK_CASCADE), target);
        break;
      case Cascade::Missing:
        break;
      case Cascade::Empty:
        Write(target, QByteArray());
        break;
      case Cascade::Garbage:
        Write(target, QByteArray("this is not a classifier cascade\n\x01\x02\x03", 37));
        break;
      case Cascade::Truncated: {
        QFile full(QStringLiteral(PUPILTRAK_CASCADE));
        if (full.open(QIODevice::ReadOnly)) Write(target, full.read(full.size() / 3));
        break;
      }
    }
    QDir::setCurrent(dir_.path());
  }
  ~ScratchDirectory() { QDir::setCurrent(old_); }
  QString Path() const { return dir_.path(); }
  QString File(const QString& name) const { return dir_.filePath(name); }

 private:
  static void Write(const QString& path, const QByteArray& bytes) {
    QFile f(path);
    if (f.open(QIODevice::WriteOnly)) f.write(bytes);
  }
  QTemporaryDir dir_;
  QString old_;
};

// Stand-ins installed for one test, removed afterwards, and the test's own tracker session.
class DialogTest : public ::testing::Test {
 protected:
  void SetUp() override {
    // Only the cascade the test puts in place: none from the system's OpenCV data.
    machine.SetSystemCascadeDirectory("/nonexistent/opencv/haarcascades/");
    // A program folder that cannot be written sends the protocol here, not to the real home.
    machine.SetUserDataDirectory(userData_.path().toStdString() + "/pupiltrak08");
  }

  QTemporaryDir userData_;
  HeadlessPlatform platform;
  TrackerSession session;
  ScriptedPrompts& prompts = platform.prompts;
  FixedMachine& machine = platform.machine;
  HeadlessWindows& windows = platform.windows;
  HeadlessTargetWindows& targets = platform.targets;
};

// Runs what is queued (repaints, queued calls) until nothing is left.
inline void Settle() {
  for (int i = 0; i < 4; ++i) {
    QCoreApplication::sendPostedEvents();
    QCoreApplication::processEvents();
  }
}

// Shows the widget and lets its first paint happen.
inline void ShowAndSettle(QWidget& w) {
  w.show();
  EXPECT_TRUE(QTest::qWaitForWindowExposed(&w));
  Settle();
}

inline std::vector<std::string> LinesFrom(const TrackerDialog& d, size_t first) {
  auto lines = d.Log().Lines();
  if (first >= lines.size()) return {};
  return std::vector<std::string>(lines.begin() + static_cast<long>(first), lines.end());
}

// Hooks that only count what the dialog asked for.
struct RecordedCommands {
  std::vector<std::string> calls;
  std::vector<IntRect> chartPaints;

  DialogHooks Hooks() {
    DialogHooks h;
    h.startTracking = [this](DialogControls&) { calls.push_back("start"); };
    h.stopTracking = [this](DialogControls&) { calls.push_back("stop"); };
    h.calibrate = [this](DialogControls&) { calls.push_back("calibrate"); };
    h.propertyPage = [this](DialogControls&, const char* name) {
      calls.push_back(std::string("page ") + name);
    };
    h.paintCharts = [this](DialogCanvas&, const IntRect& r) { chartPaints.push_back(r); };
    return h;
  }
};

}  // namespace dialog_test
