#pragma once
// The camera capture layer: camera 0 with its properties "enable", "render", "window" and
// "callback", initialise / start / stop / exit, and the property pages "camera_pp" and
// "video_pp".
//
// After a successful start, frames are delivered on a worker thread owned by the layer, one
// callback at a time. The callback gets the layer's own buffer (8-bit B, G, R, bottom-up with
// origin 1); when it returns and "render" is on, the frame, as the callback left it, is shown
// upright in the window given as "window". Stop joins the worker: no callback starts after it
// returns. It takes no lock that a running callback could hold, so the GUI thread may call it
// while a frame is inside the pipeline.
//
// Everything about where frames come from is injectable: the camera counter, the factory of
// the frame source for camera 0, the /dev directory the V4L2 defaults look in, and the handler
// that shows the property pages.

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "platform/CameraFrame.h"
#include "platform/FrameSource.h"

namespace pupiltrak {

using CameraCallback = std::function<void(CameraFrame& frame)>;
using CameraCounter = std::function<int()>;
// Makes the source for a camera index; null when there is no such camera.
using SourceFactory = std::function<std::unique_ptr<FrameSource>(int camera)>;

class CameraLibrary;
class NamedWindows;
// What the property-page handler is asked to show.
struct PropertyPageRequest {
  int camera = 0;
  std::string page;        // "camera_pp" or "video_pp"
  std::string devicePath;  // the camera's V4L2 node, empty when the source is no V4L2 camera
};
// Shows the page modally on the calling (GUI) thread and returns when the user closed it.
using PropertyPageHandler = std::function<void(CameraLibrary& camera, const PropertyPageRequest&)>;

class CameraLibrary {
 public:
  CameraLibrary();
  ~CameraLibrary();
  CameraLibrary(const CameraLibrary&) = delete;
  CameraLibrary& operator=(const CameraLibrary&) = delete;

  // --- the operations the tracker uses; camera is always 0 (other indices are refused) ---
  // Number of cameras; 0 means none.
  int CameraCount();
  // Camera 0 takes part in the next initialise.
  bool SetEnable(int camera, bool enable);
  // Show each frame, after the callback, in the "window".
  bool SetRender(int camera, bool render);
  // The native handle of the window frames are shown in (0: none).
  bool SetWindow(int camera, uintptr_t nativeHandle);
  // The function called for every frame.
  bool SetCallback(int camera, CameraCallback callback);
  // Non-zero on success: an enabled camera exists and its source was made.
  int Init();
  // 0 on success: the source opened and the worker delivers frames.
  int Start();
  // Stops delivery; no callback starts after it returns. Called from inside the callback it
  // only asks the worker to end after the current frame.
  void Stop();
  // Back to the uninitialised state: stopped, source released, properties cleared.
  void Exit();
  // "camera_pp" or "video_pp": shows the page modally; false for another name or camera, or
  // when the layer is not initialised.
  bool ShowPropertyPage(int camera, const std::string& page);

  // --- state for the tracker's tools and tests ---
  bool Initialised() const;
  // True from a successful start until the worker has ended (stop, or the source ended).
  bool Delivering() const;
  // A stop was asked for and the run has not yet ended.
  bool StopRequested() const;
  // The latest run ended because its source ended or failed.
  bool SourceEnded() const { return sourceEnded_.load(); }
  // Frames delivered to the callback since the latest start.
  int64_t FramesDelivered() const { return framesDelivered_.load(); }
  // Callbacks that threw since the latest start (the frame is dropped, delivery goes on).
  int64_t FailedCallbacks() const { return failedCallbacks_.load(); }
  // What the latest throwing callback or source said (a source that throws ends the run).
  std::string LastCallbackError() const;
  // Blocks until the current run has ended by itself or was stopped (returns at once when
  // nothing is being delivered).
  void WaitUntilIdle();
  // Blocks until count frames were delivered since the latest start or the run ended (at once
  // when nothing is being delivered); true when they were.
  bool WaitForFrames(int64_t count);
  // The V4L2 node of a camera index ("" when there is none).
  std::string DevicePath(int camera);

  // The format for the next start of the V4L2 camera (set by the video-format page).
  void SetVideoFormat(int camera, const VideoFormat& format);
  VideoFormat ChosenVideoFormat(int camera) const;

  // --- injection ---
  void SetCameraCounter(CameraCounter counter);
  void SetSourceFactory(SourceFactory factory);
  void SetDeviceDirectory(const std::string& dir);
  void SetPropertyPageHandler(PropertyPageHandler handler);
  // Frames are read from the source only while the gate is open (checked before every frame,
  // taken at start; null: always open). A replay tool gates on TrackingActive so that no frame
  // of a file passes before tracking is active. Stop does not wait for the gate.
  void SetFrameGate(std::function<bool()> gate);
  // Where "render" shows frames (not owned; null: the process's Windows()). Kept by
  // RestoreDefaults: it belongs to the platform the layer is part of, not to a run.
  void SetRenderWindows(NamedWindows* windows) { renderWindows_ = windows; }
  // Pages asked for since the last restore, in order (with no handler installed the request
  // is only recorded).
  std::vector<PropertyPageRequest> PropertyPagesShown() const;
  // Exit, then the V4L2 defaults, no page handler, no chosen format, nothing recorded.
  void RestoreDefaults();

 private:
  bool OnWorker() const;
  void StopLocked();
  void Deliver(FrameSource* source, CameraCallback callback, std::function<bool()> gate);

  // Serialises initialise, start, stop and exit; held while joining. The worker never takes it.
  std::mutex control_;
  // Guards the injected parts and the properties; held only briefly, never during a callback.
  mutable std::mutex config_;
  CameraCounter counter_;
  SourceFactory factory_;
  PropertyPageHandler pageHandler_;
  std::string devDir_ = "/dev";
  std::vector<PropertyPageRequest> pagesShown_;
  VideoFormat videoFormat_;
  bool enabled_ = false;
  CameraCallback callback_;
  std::function<bool()> gate_;
  std::atomic<bool> render_{false};
  std::atomic<uintptr_t> window_{0};
  std::atomic<NamedWindows*> renderWindows_{nullptr};

  // Owned by the control side (under control_).
  std::unique_ptr<FrameSource> source_;
  std::atomic<bool> initialised_{false};
  bool opened_ = false;
  std::thread worker_;

  // Delivery state shared with the worker.
  std::atomic<std::thread::id> workerId_{};
  std::atomic<bool> stopRequested_{false};
  std::atomic<bool> sourceEnded_{false};
  std::atomic<int64_t> framesDelivered_{0};
  std::atomic<int64_t> failedCallbacks_{0};
  mutable std::mutex wait_;  // pacing waits, idle waits, the last error
  std::condition_variable wake_;
  bool delivering_ = false;
  std::string lastError_;
};

// The program's one camera layer.
CameraLibrary& Camera();

}  // namespace pupiltrak
