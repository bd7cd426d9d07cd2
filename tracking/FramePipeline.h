#pragma once
// ProcessFrame: everything done with one frame, from the grey image to the recorded mosaic.
// The pipeline works on what its context names; a tracker session wires one to its own
// records, tests may wire their own.

#include <QImage>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <string>

#include "tracking/FaceDetection.h"
#include "tracking/FrameResults.h"
#include "tracking/TrackerState.h"

namespace cv {
class VideoWriter;
}

namespace pupiltrak {

class DialogCanvas;
class MachineFacts;
class NamedWindows;
class EyeRegions;
class PointHistory;
class FaceFollower;

// What the pipeline hands on, in the order it does so. Unset hooks are skipped.
struct PipelineHooks {
  // Draws the status panel into the 160 x 120 surface.
  std::function<void(QImage& surface)> drawStatusPanel;
  // Draws the calibration panel over it (reads the run's collecting flag and current target).
  std::function<void(QImage& surface)> calibrationPanelStep;
  // Hands one sample to the calibration run.
  std::function<void(double dxL, double dyL, double dxR, double dyR)> appendSample;
  // Whether the run is still collecting, read right after a sample was handed on.
  std::function<bool()> collectingSamples;
  // Fits the gaze mapping once the run has ended (given the capture file name).
  std::function<void(const std::string& captureFileName)> fitGazeMapping;
  // Shows both strip charts anew ("Gaze X" first).
  std::function<void()> showCharts;
};

// Time spent per stage of the latest frame, in milliseconds (for benchmarks).
struct StageTimings {
  double convert = 0;  // grey, small image, equalisation
  double face = 0;     // face detection
  double finder1 = 0;  // both eyes: region grey and finder 1
  double finder2 = 0;  // both eyes: pupil window, finder 2, eye vector
  double tiles = 0;    // eye tiles, camera quarter
  double panels = 0;   // status and calibration panel snapshots
  double output = 0;   // preview and video
  double total = 0;    // the whole call
  // Grey, small image and face detection done ahead on another thread for this frame (not in
  // total; 0 when the pipeline detected the face itself).
  double faceAhead = 0;
};

// Working images reused from frame to frame (they never carry results over). A copied
// context starts with buffers of its own, so two contexts never share them.
class PipelineScratch {
 public:
  struct Buffers;
  PipelineScratch();
  ~PipelineScratch();
  PipelineScratch(const PipelineScratch&);
  PipelineScratch& operator=(const PipelineScratch&);
  PipelineScratch(PipelineScratch&&) noexcept;
  PipelineScratch& operator=(PipelineScratch&&) noexcept;
  Buffers& Get();

 private:
  std::unique_ptr<Buffers> buffers_;
};

// The face of a frame found ahead of time by a tool that detects faces on a thread of its own
// while the pipeline still works on the frame before: the same detection on the same pixels.
// ms: how long that detection took there.
struct PreparedFace {
  bool found = false;
  FaceBox face;
  double ms = 0;
};

struct PipelineContext {
  TrackerState* state = nullptr;
  FrameResults* results = nullptr;
  EyeRegions* eyeRegions = nullptr;
  PointHistory* histories[2] = {nullptr, nullptr};
  // The face followed from frame to frame (used when following is on).
  FaceFollower* faceFollower = nullptr;
  // Where the panel snapshots are painted; null: not painted.
  DialogCanvas* dialog = nullptr;
  // Where the mosaic is shown as "Preview"; null: not shown.
  NamedWindows* windows = nullptr;
  // Whose clock times the stages; null: the process's Machine().
  MachineFacts* machine = nullptr;
  PipelineHooks hooks;
  // Optional per-stage timing of the latest frame.
  StageTimings* timings = nullptr;
  // Optional: receives the finished mosaic of every frame (tools that record it themselves).
  std::function<void(const cv::Mat& mosaic)> onMosaic;
  // Optional: gives the face of the frame about to be processed when it was detected ahead of
  // time; false: none was, and the pipeline detects it itself.
  std::function<bool(PreparedFace* face)> takePreparedFace;
  // false: nobody looks at the mosaic (no preview, no video): its tiles are not made and it
  // stays black. Every result and every hook is the same either way.
  bool composeMosaic = true;
  // The pipeline's own working images.
  PipelineScratch scratch;
};

// Processes one frame. frameCopy: top-down 8-bit BGR copy; cameraFrame: the camera's own
// bottom-up buffer, drawn into; writer: the open video writer or null.
// Places of the mosaic that no tile covers in a frame are black (the mosaic is filled anew in
// every frame); with no cascade loaded the whole mosaic is black.
void ProcessFrame(PipelineContext& ctx, cv::Mat& frameCopy, cv::Mat& cameraFrame,
                  const OverlayFont& font, cv::VideoWriter* writer);

}  // namespace pupiltrak
