#pragma once
// Runs a session on a frame source through the camera layer and the program's own frame
// callback, as the dialog's Start Tracking does, for everything that runs without the dialog:
// the replay, the demo, the benchmarks and the tests. Every processed frame reaches the
// listeners as one record. The frames come through the camera layer of the session's platform.

#include <QSize>
#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>

#include "capture/FrameRecord.h"
#include "platform/FrameSource.h"

namespace pupiltrak {

class CameraLibrary;
class DialogControls;
class TrackerSession;
struct GazeMapping;

class SessionRunner {
 public:
  using SourceMaker = std::function<std::unique_ptr<FrameSource>()>;

  // source makes camera 0's frame source each time tracking starts.
  SessionRunner(TrackerSession& session, SourceMaker source);
  // Stops the frames, forgets the listeners and gives the camera layer its defaults back.
  ~SessionRunner();
  SessionRunner(const SessionRunner&) = delete;
  SessionRunner& operator=(const SessionRunner&) = delete;

  // Before the start. Gaze for every frame from a mapping made earlier on a screen of that
  // size.
  void SetMapping(const GazeMapping& mapping, QSize fullScreen);
  // Hears of every processed frame (frame thread).
  void AddListener(FrameListener listener);
  // At most this many frames are processed (0: all the source has).
  void SetFrameLimit(long frames) { frameLimit_ = frames; }
  // Called with each delivered frame's index before the session sees it (frame thread).
  void SetBeforeFrame(std::function<void(int64_t index)> hook) { beforeFrame_ = std::move(hook); }

  // Tracking on and frames flowing; false when the camera layer cannot start the source.
  bool Start();
  // The program's Start Tracking command instead, with its log lines (the demo).
  void StartAsProgram(DialogControls& log);
  // Before a start: no frame is read until ReleaseFrames, and none while tracking is off, so
  // that what happens before the first frame (a Calibrate) does not race the frames. A camera
  // does not wait for anyone; a generated user does, and then gives the same frames on every
  // run whatever the machine's load.
  void HoldFrames();
  void ReleaseFrames() { held_ = false; }
  // Until the source has ended or the limit is reached; poll runs every 50 ms meanwhile.
  void Wait(const std::function<void()>& poll = {});
  // The camera layer the frames come through.
  CameraLibrary& Camera() { return camera_; }
  // Tracking off, the camera layer exited.
  void Finish();

 private:
  TrackerSession& session_;
  // The session's platform's camera layer.
  CameraLibrary& camera_;
  long frameLimit_ = 0;
  std::function<void(int64_t)> beforeFrame_;
  std::shared_ptr<int64_t> delivered_;
  std::shared_ptr<long> processed_;
  std::atomic<bool> held_{false};
};

}  // namespace pupiltrak
