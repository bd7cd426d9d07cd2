#include "capture/SessionRunner.h"

#include <chrono>
#include <thread>

#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "platform/CameraLibrary.h"

namespace pupiltrak {

SessionRunner::SessionRunner(TrackerSession& session, SourceMaker source)
    : session_(session),
      camera_(session.platform.Camera()),
      delivered_(std::make_shared<int64_t>(0)),
      processed_(std::make_shared<long>(0)) {
  camera_.SetCameraCounter([] { return 1; });
  camera_.SetSourceFactory([source = std::move(source)](int) { return source(); });
  camera_.SetEnable(0, true);
}

SessionRunner::~SessionRunner() {
  camera_.Stop();
  session_.ClearFrameListeners();
  camera_.RestoreDefaults();
}

void SessionRunner::SetMapping(const GazeMapping& mapping, QSize fullScreen) {
  session_.UseMapping(mapping, fullScreen);
}

void SessionRunner::AddListener(FrameListener listener) {
  session_.AddFrameListener(std::move(listener));
}

bool SessionRunner::Start() {
  // The callback runs one frame at a time on the layer's thread: plain counters will do.
  camera_.SetCallback(0, [this](CameraFrame& frame) {
    if (beforeFrame_) beforeFrame_((*delivered_)++);
    // A stop asked for from inside a callback ends the run after the frame already on its way.
    if (frameLimit_ > 0 && *processed_ >= frameLimit_) {
      camera_.Stop();
      return;
    }
    session_.OnCameraFrame(frame);
    if (frameLimit_ > 0 && ++*processed_ >= frameLimit_) camera_.Stop();
  });
  session_.state.TrackingActive = 1;
  if (camera_.Init() == 0 || camera_.Start() != 0) {
    session_.state.TrackingActive = 0;
    return false;
  }
  return true;
}

void SessionRunner::StartAsProgram(DialogControls& log) { StartTrackingCommand(session_, log); }

void SessionRunner::HoldFrames() {
  held_ = true;
  camera_.SetFrameGate(
      [this] { return !held_.load() && session_.state.TrackingActive.load() != 0; });
}

void SessionRunner::Wait(const std::function<void()>& poll) {
  // Without a poll nothing needs waking up: the layer says when it is idle.
  while (poll && camera_.Delivering()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    poll();
  }
  camera_.WaitUntilIdle();
}

void SessionRunner::Finish() {
  camera_.Exit();
  session_.state.TrackingActive = 0;
}

}  // namespace pupiltrak
