#pragma once
// Shared set-up of the reliability tests: the program without its dialog (headless platform,
// a fresh tracker session with the real face cascade, the target window class and the two
// charts on a dialog canvas), a camera whose frames come from a generator, a
// dialog stand-in that records its log, and a protocol that keeps its lines in memory.

#include <gtest/gtest.h>

#include <QTemporaryDir>
#include <atomic>
#include <chrono>
#include <functional>
#include <map>
#include <memory>
#include <mutex>
#include <opencv2/objdetect.hpp>
#include <string>
#include <thread>
#include <vector>

#include "FaceFrameGenerator.h"
#include "app/DialogView.h"
#include "app/OptionCommands.h"
#include "calibration/CalibrationRun.h"
#include "calibration/TargetWindows.h"
#include "capture/FrameCallback.h"
#include "capture/TrackerSession.h"
#include "display/StripChart.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/CameraLibrary.h"
#include "platform/DialogCanvas.h"
#include "platform/FrameSource.h"
#include "platform/HeadlessPlatform.h"
#include "platform/Resources.h"
#include "tracking/FrameResults.h"
#include "tracking/PupilFinder.h"
#include "tracking/TrackerState.h"

using namespace pupiltrak;

namespace reliability {

using Lines = std::vector<std::string>;

// The dialog's log, control states, check boxes and sliders, safe to read while the frame
// thread runs. Clicks go to the program's own option and slider handlers on the given state.
class LoggingDialog : public DialogView {
 public:
  // As the dialog starts: only "Use EqualizeHist2" checked, the sliders at 1, 1, 60, 30.
  explicit LoggingDialog(TrackerState& tracker)
      : tracker_(tracker),
        checks_{{control_id::kEqualizeHist2, 1}},
        sliders_{{control_id::kFinder1Param1, 1},
                 {control_id::kFinder1Param2, 1},
                 {control_id::kFinder2Param1, 60},
                 {control_id::kFinder2Param2, 30}} {}

  void AddLogLine(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
  }
  void AddBugLine(const std::string& text) override { AddLogLine("Bug: " + text); }
  void EnableControl(int id, bool enabled) override {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_[id] = enabled;
  }
  int CheckState(int id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return checks_[id];
  }
  void SetCheckState(int id, int state) override {
    std::lock_guard<std::mutex> lock(mutex_);
    checks_[id] = state;
  }
  int SliderPosition(int id) override {
    std::lock_guard<std::mutex> lock(mutex_);
    return sliders_[id];
  }
  void RefreshData() override {}

  // The user clicks a check box: it toggles, then its handler runs.
  void ClickCheckBox(int id) {
    SetCheckState(id, CheckState(id) == 1 ? 0 : 1);
    OptionClicked(*this, tracker_, id);
  }
  // The user drags a slider: the next drawing hands its position on.
  void MoveSlider(int id, int position) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      sliders_[id] = position;
    }
    SliderDrawn(*this, tracker_, id);
  }

  Lines AllLines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  // The lines added since the previous call.
  Lines NewLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    Lines fresh(lines_.begin() + static_cast<long>(mark_), lines_.end());
    mark_ = lines_.size();
    return fresh;
  }
  bool Enabled(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = enabled_.find(id);
    return it != enabled_.end() && it->second;
  }

 private:
  TrackerState& tracker_;
  mutable std::mutex mutex_;
  Lines lines_;
  size_t mark_ = 0;
  std::map<int, bool> enabled_;
  std::map<int, int> checks_;
  std::map<int, int> sliders_;
};

// Every text the protocol wrote, per stream opened, kept in memory. A stream can be told to
// fail from some write on, as a disk that fills up would.
class MemoryProtocol {
 public:
  // Opens succeed; each gets a stream of its own.
  ProtocolOpener Opener() {
    return [this](const std::string&, std::string*) -> std::unique_ptr<ProtocolStream> {
      std::lock_guard<std::mutex> lock(mutex_);
      streams_.emplace_back();
      return std::make_unique<Stream>(*this, streams_.size() - 1);
    };
  }
  // Writes after this many successful ones (over all streams) fail; -1: never.
  void FailAfter(long writes) { failAfter_ = writes; }
  std::vector<std::string> Streams() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return streams_;
  }
  long Writes() const { return writes_.load(); }
  long Failed() const { return failed_.load(); }

 private:
  class Stream : public ProtocolStream {
   public:
    Stream(MemoryProtocol& owner, size_t index) : owner_(owner), index_(index) {}
    bool Write(const std::string& text) override {
      const long limit = owner_.failAfter_.load();
      if (limit >= 0 && owner_.writes_.load() >= limit) {
        ++owner_.failed_;
        return false;
      }
      std::lock_guard<std::mutex> lock(owner_.mutex_);
      owner_.streams_[index_] += text;
      ++owner_.writes_;
      return true;
    }

   private:
    MemoryProtocol& owner_;
    size_t index_;
  };

  mutable std::mutex mutex_;
  std::vector<std::string> streams_;
  std::atomic<long> failAfter_{-1};
  std::atomic<long> writes_{0};
  std::atomic<long> failed_{0};
};

// The lines of a protocol text (each ends in CR LF; a last line without one is returned too,
// so that a torn line shows).
inline Lines SplitLines(const std::string& text) {
  Lines lines;
  size_t start = 0;
  for (size_t end; (end = text.find("\r\n", start)) != std::string::npos; start = end + 2)
    lines.push_back(text.substr(start, end - start));
  if (start < text.size()) lines.push_back(text.substr(start));
  return lines;
}

// A sample line as the protocol writes it, with target 0..8 and slot 0..39.
bool IsSampleLine(const std::string& line);

// A photograph of tests/data/faces with its eye centres (fails the test when it cannot load).
gen::FacePhoto TestPhoto(const std::string& name = "jesper_2.jpg");

// Face frames of 640 x 480 whose pupils both trackers find, gazing in a few directions.
class FaceFrames {
 public:
  explicit FaceFrames(int variants = 8);
  // Frame index modulo the variants: a fresh copy (the camera layer may keep it).
  cv::Mat operator()(int64_t index) const;

 private:
  std::vector<cv::Mat> frames_;
};

// The program without its dialog, as the tools run it: the platform stand-ins installed, a
// fresh session set up with the cascade loaded, the target window class registered and both
// charts created on a dialog canvas. Camera 0 exists; its frames come from SetFrames.
class HeadlessProgram : public ::testing::Test {
 protected:
  void SetUp() override;
  void TearDown() override;

  // Camera 0's frames: a generator of frames by index, delivered as fast as they are taken.
  // count: frames before the source ends (-1: endless).
  void SetFrames(GeneratedSource::Generator generator, int64_t count = -1);
  // Waits until the camera has delivered n more frames than now (frames that arrive while a
  // start is still preparing are only counted) or stopped delivering; false when it stopped
  // first. Waits on the camera layer's frames; never asserts on time.
  bool WaitForMoreFrames(int64_t n);
  // Both options on, as the user ticks Gaze Direction.
  void BothOptions();

  QTemporaryDir programDir;
  // Declared first: the dialog works on it and it outlives everything the test made.
  TrackerSession session;
  HeadlessPlatform platform;
  FixedMachine& machine = platform.machine;
  ScriptedPrompts& prompts = platform.prompts;
  HeadlessWindows& windows = platform.windows;
  HeadlessTargetWindows& targets = platform.targets;
  std::unique_ptr<DialogCanvas> canvas;
  LoggingDialog dialog{session.state};
};

}  // namespace reliability
