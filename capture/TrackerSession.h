#pragma once
// One tracker's shared state: everything the dialog (GUI thread) and the frame thread both
// reach, owned in one place, with the pipeline wired to it and one reset. The program keeps
// one for its whole run; the replay, the fuzz target and the tests each make their own.
//
// The records guard themselves (atomics, their own locks); the session only owns and wires
// them. The algorithms still take the parts they use as arguments.

#include <QImage>
#include <QSize>
#include <atomic>
#include <memory>
#include <string>
#include <vector>

#include "calibration/AccuracyTest.h"
#include "calibration/CalibrationRun.h"
#include "calibration/TargetWindows.h"
#include "capture/FrameCallback.h"
#include "capture/FrameRecord.h"
#include "capture/GazeStream.h"
#include "display/StripChart.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationData.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/Fixations.h"
#include "mapping/GazeMapping.h"
#include "mapping/GazeQuality.h"
#include "platform/Platform.h"
#include "tracking/EyeRegions.h"
#include "tracking/FaceFollower.h"
#include "tracking/FramePipeline.h"
#include "tracking/FrameResults.h"
#include "tracking/PupilFinder.h"
#include "tracking/TrackerState.h"

namespace cv {
class CascadeClassifier;
class VideoWriter;
}  // namespace cv

namespace pupiltrak {

class DialogCanvas;
struct CameraFrame;

class TrackerSession {
 public:
  // platform: the stand-ins this session reaches the outside world through, for its whole
  // life (by default the process's own).
  explicit TrackerSession(const Platform& platform = {});
  ~TrackerSession();
  TrackerSession(const TrackerSession&) = delete;
  TrackerSession& operator=(const TrackerSession&) = delete;

  // Camera layer, machine, windows and prompts.
  const Platform platform;
  // Options, parameters and handles.
  TrackerState state;
  // What the latest frame found, and the eye regions it was searched in.
  FrameResults results;
  EyeRegions eyeRegions;
  // Finder 1's jump filters, eye region 1 and 2.
  PointHistory histories[2];
  // The face followed from frame to frame (when following is on).
  FaceFollower faceFollower;
  // Calibration: the run's samples, the panel's memory, the fitted mapping, the protocol.
  CalibrationSamples samples;
  PanelMemory panelMemory;
  GazeMappingStore mapping;
  CalibrationProtocol protocol;
  // The accuracy test: its targets, the smoothed gaze and the error sums (never reset by the
  // program: they cover every estimate since it started).
  AccuracyTargetPicker targets;
  GazeSmoother smoother;
  AccuracyAccumulator accuracy;
  // Settling: the first milliseconds after each new accuracy target left out of the error
  // sums (0: off, the protocol as always). Any thread.
  std::atomic<int> settleMs{0};
  // The data-quality sums of the current accuracy test (from the last fit on).
  GazeQualitySums quality;
  // Fixations of the gaze estimates, at this many frames per second (the camera's nominal
  // rate unless a recording says otherwise).
  FixationTracker fixations;
  std::atomic<double> gazeFramesPerSecond{30.0};
  // "Gaze X" and "Gaze Y" on the main dialog, and the target windows on the screen.
  GazeCharts charts;
  TargetWindowSlots targetWindows{platform.targets, platform.prompts};
  // The gaze stream to other programs (off until switched on).
  GazeStream stream;
  // What the camera callback keeps from frame to frame.
  FrameCallbackState callback;

  // Everything back to program start: the stream switched off, the protocol closed with the
  // real file opener, the target windows destroyed. No frame thread may be running.
  void Reset();

  // The pipeline wired to this session's records and hooks; it draws into the main window
  // of the moment.
  PipelineContext& Pipeline();
  // The target windows on the screen and this session's charts on its main window.
  PanelEffects& Effects();

  // Frame thread. The camera callback: frame rate, upright copy, ProcessFrame, gaze message.
  void OnCameraFrame(CameraFrame& frame);
  // The pipeline's hooks on this session.
  void DrawStatusPanel(QImage& surface);
  void CalibrationPanelStep(QImage& surface);
  void AccuracyTestStep(QImage& surface, int W, int H);
  void AppendCalibrationSample(double dxL, double dyL, double dxR, double dyR);
  bool CalibrationCollecting() const;
  // Fits, reports and streams the mapping of a completed run.
  void FitGazeMapping(const std::string& captureFileName);

  // A mapping made earlier (a protocol's last report) for a screen of that size: from now on
  // every frame in which the accuracy test does not estimate gets its gaze from it, and the
  // charts follow it. A Calibrate replaces it. Any thread.
  void UseMapping(const GazeMapping& mapping, QSize fullScreen);
  void StopUsingMapping() { usingMapping_ = false; }
  bool UsingMapping() const { return usingMapping_.load(); }

  // Who hears of every processed frame, on the frame thread, after the gaze stream. Set while
  // no frame flows.
  void AddFrameListener(FrameListener listener);
  void ClearFrameListeners();
  // Who hears of every fixation when it ends, on the frame thread (after the gaze stream), or
  // on the thread that ends the gaze. Set while no frame flows.
  void AddFixationListener(std::function<void(const Fixation&)> listener);
  // The end of the gaze: the fixation still open ends and is published (no frame may flow).
  void FinishFixations();
  // Measures every stage's time into the frame records (off: null timings).
  void MeasureStageTimes(bool on);

  // GUI thread. At every tracking start, before frames flow: empty pupil histories, no face
  // followed, accuracy targets seeded from the clock for the whole screen, frames counted
  // from 0.
  void ResetForNewRun();
  // The Calibrate command on this session.
  void Calibrate(DialogControls& dialog);
  // At Stop Tracking: the accuracy lines, the protocol closed, the accuracy message streamed
  // when a calibration had opened it.
  void CloseProtocol();

 private:
  // What the camera callback hands an upright copy of each tracked frame to.
  void ProcessCameraFrame(cv::Mat& frameCopy, cv::Mat& cameraFrame, const OverlayFont& font,
                          cv::VideoWriter* writer);

  // The session's own gaze of a frame the accuracy test did not estimate.
  void EstimateFrameGaze();
  FrameRecord MakeRecord(long frame) const;
  // The frame's gaze to the data-quality sums and the fixation detector.
  void TrackGazeEvents(const FrameRecord& record);
  void PublishFixation(const Fixation& fixation);

  std::atomic<bool> usingMapping_{false};
  // Frame thread: whether the accuracy test estimated in the frame being processed, and the
  // frame's finished mosaic.
  bool accuracyStepRan_ = false;
  const cv::Mat* frameMosaic_ = nullptr;
  StageTimings stageTimings_;
  bool measureStages_ = false;
  std::vector<FrameListener> listeners_;
  std::vector<std::function<void(const Fixation&)>> fixationListeners_;
  std::unique_ptr<PanelEffects> effects_;
  FrameProcessor processFrame_;
  PipelineContext pipeline_;
};

// What a session needs before frames flow, the same for the dialog and the tools: the face
// cascade (null: none loaded, no face is ever found), the overlay font, the target windows'
// class with the target picture, and, with a main window, the window and the gaze charts on
// it for a full screen of the given size.
void SetUpSession(TrackerSession& session, std::shared_ptr<cv::CascadeClassifier> cascade,
                  DialogCanvas* mainWindow, QSize fullScreen);

}  // namespace pupiltrak
