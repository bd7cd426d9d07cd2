#include "capture/TrackerSession.h"

#include <opencv2/objdetect.hpp>

#include "calibration/TargetWindows.h"
#include "display/StatusPanel.h"
#include "platform/CameraFrame.h"
#include "platform/DialogCanvas.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Prompts.h"
#include "platform/Resources.h"

namespace pupiltrak {

namespace {

// The target windows on the screen, and the charts on the session's main window.
class ScreenPanelEffects : public PanelEffects {
 public:
  explicit ScreenPanelEffects(TrackerSession& session) : session_(session) {}
  void CreateCalibrationWindow(int index, double x, double y) override {
    session_.targetWindows.CreateCalibration(index, x, y);
  }
  void DestroyCalibrationWindows() override { session_.targetWindows.DestroyCalibration(); }
  void CreateAccuracyWindow(int x, int y) override { session_.targetWindows.CreateAccuracy(x, y); }
  void AddChartValues(double x, double y, bool gap) override {
    DialogCanvas* canvas = session_.state.MainWindow.load();
    if (!canvas) return;
    session_.charts.x.AddValue(*canvas, x, gap);
    session_.charts.y.AddValue(*canvas, y, gap);
  }

 private:
  TrackerSession& session_;
};

}  // namespace

TrackerSession::TrackerSession(const Platform& platform)
    : platform(platform),
      effects_(std::make_unique<ScreenPanelEffects>(*this)),
      processFrame_([this](cv::Mat& frameCopy, cv::Mat& cameraFrame, const OverlayFont& font,
                           cv::VideoWriter* writer) {
        ProcessCameraFrame(frameCopy, cameraFrame, font, writer);
      }) {
  pipeline_.state = &state;
  pipeline_.results = &results;
  pipeline_.eyeRegions = &eyeRegions;
  pipeline_.histories[0] = &histories[0];
  pipeline_.histories[1] = &histories[1];
  pipeline_.faceFollower = &faceFollower;
  pipeline_.machine = platform.machine;
  PipelineHooks& hooks = pipeline_.hooks;
  hooks.drawStatusPanel = [this](QImage& surface) { DrawStatusPanel(surface); };
  hooks.calibrationPanelStep = [this](QImage& surface) { CalibrationPanelStep(surface); };
  hooks.appendSample = [this](double dxL, double dyL, double dxR, double dyR) {
    AppendCalibrationSample(dxL, dyL, dxR, dyR);
  };
  hooks.collectingSamples = [this] { return CalibrationCollecting(); };
  hooks.fitGazeMapping = [this](const std::string& file) { FitGazeMapping(file); };
  hooks.showCharts = [this] { charts.Show(state.MainWindow.load()); };
  pipeline_.onMosaic = [this](const cv::Mat& mosaic) { frameMosaic_ = &mosaic; };
}

TrackerSession::~TrackerSession() = default;

void TrackerSession::Reset() {
  stream.Reset();
  state.Reset();
  results = FrameResults{};
  eyeRegions = EyeRegions{};
  histories[0].Reset();
  histories[1].Reset();
  faceFollower.Reset();
  samples.Reset();
  panelMemory = PanelMemory{};
  mapping.Set(GazeMapping{});
  protocol.Reset();
  targets.ResetToProgramStart();
  smoother.Reset(QSize(0, 0));
  accuracy.Reset();
  settleMs = 0;
  quality.Reset();
  fixations.Reset();
  gazeFramesPerSecond = 30.0;
  charts.Reset();
  targetWindows.DestroyAll();
  callback = FrameCallbackState{};
  usingMapping_ = false;
}

PipelineContext& TrackerSession::Pipeline() {
  // The dialog comes and goes; the preview windows are the platform's.
  pipeline_.dialog = state.MainWindow.load();
  pipeline_.windows = &platform.Windows();
  return pipeline_;
}

PanelEffects& TrackerSession::Effects() { return *effects_; }

void TrackerSession::OnCameraFrame(CameraFrame& frame) {
  HandleCameraFrame(frame, callback, state, platform.Machine(), processFrame_);
}

void TrackerSession::ProcessCameraFrame(cv::Mat& frameCopy, cv::Mat& cameraFrame,
                                        const OverlayFont& font, cv::VideoWriter* writer) {
  // The "Source" window sizes itself to the camera's frames, but tracking start reads its
  // client rectangle before the first frame has arrived. Keep the rectangle the status panel
  // scales by at the size the window takes on, or the pupil discs land at the wrong scale.
  const IntRect source = state.SourceClientRect();
  if (source.width() != cameraFrame.cols || source.height() != cameraFrame.rows)
    state.SetSourceClientRect(IntRect{0, 0, cameraFrame.cols, cameraFrame.rows});
  accuracyStepRan_ = false;
  frameMosaic_ = nullptr;
  PipelineContext& ctx = Pipeline();
  ctx.timings = measureStages_ ? &stageTimings_ : nullptr;
  ProcessFrame(ctx, frameCopy, cameraFrame, font, writer);
  if (!accuracyStepRan_ && usingMapping_.load()) EstimateFrameGaze();
  // The frame's record, its gaze set, to the gaze stream's subscribers and every listener.
  const FrameRecord record = MakeRecord(callback.framesProcessed++);
  stream.PublishFrame(record);
  TrackGazeEvents(record);
  for (const FrameListener& listener : listeners_) listener(record);
}

void TrackerSession::TrackGazeEvents(const FrameRecord& record) {
  // A frame of the accuracy test that never reached its step (no face) is lost data.
  const bool lost = record.accuracyTest && !accuracyStepRan_;
  if (lost) quality.AddLostFrame();
  if (!accuracyStepRan_ && !usingMapping_.load() && !lost) return;
  const double fps = gazeFramesPerSecond.load();
  GazeSampleAt sample;
  sample.frame = record.frame;
  sample.timeMs = fps > 0 ? 1000.0 * static_cast<double>(record.frame) / fps : 0;
  sample.valid = results.gazeFound && !lost;
  sample.x = results.gazeX;
  sample.y = results.gazeY;
  fixations.Add(sample, [this](const Fixation& f) { PublishFixation(f); });
}

void TrackerSession::PublishFixation(const Fixation& fixation) {
  stream.PublishFixation(fixation);
  for (const auto& listener : fixationListeners_) listener(fixation);
}

void TrackerSession::AddFixationListener(std::function<void(const Fixation&)> listener) {
  fixationListeners_.push_back(std::move(listener));
}

void TrackerSession::FinishFixations() {
  fixations.Finish([this](const Fixation& f) { PublishFixation(f); });
}

void TrackerSession::EstimateFrameGaze() {
  const GazeEstimate gaze =
      EstimateGaze(mapping.Get(), smoother, {results.dxL, results.dyL}, results.pupilFound[0],
                   {results.dxR, results.dyR}, results.pupilFound[1]);
  results.gazeFound = gaze.kind == GazeKind::Point;
  results.gazeX = gaze.x;
  results.gazeY = gaze.y;
  // The charts move in the frames the accuracy test would have run in.
  if (results.faceFound && state.SearchEyeRegions.load() != 0 &&
      state.EstimateGazeDirection.load() != 0)
    ChartGaze(gaze, Effects());
}

FrameRecord TrackerSession::MakeRecord(long frame) const {
  static const cv::Mat kNoMosaic;
  FrameRecord record;
  record.frame = frame;
  record.results = &results;
  record.mosaic = frameMosaic_ ? frameMosaic_ : &kNoMosaic;
  record.timings = measureStages_ ? &stageTimings_ : nullptr;
  record.eyeRegions = state.SearchEyeRegions.load() != 0;
  record.gazeDirection = state.EstimateGazeDirection.load() != 0;
  record.calibrating = state.CalibrationActive.load() != 0;
  record.accuracyTest = !record.calibrating && state.CalibratedSinceStart.load() != 0;
  return record;
}

void TrackerSession::UseMapping(const GazeMapping& gazeMapping, QSize fullScreen) {
  mapping.Set(gazeMapping);
  smoother.Reset(fullScreen);
  fixations.Configure(fullScreen.width(), 1000.0 / gazeFramesPerSecond.load());
  usingMapping_ = true;
}

void TrackerSession::AddFrameListener(FrameListener listener) {
  listeners_.push_back(std::move(listener));
}

void TrackerSession::ClearFrameListeners() { listeners_.clear(); }

void TrackerSession::MeasureStageTimes(bool on) { measureStages_ = on; }

void TrackerSession::DrawStatusPanel(QImage& surface) {
  pupiltrak::DrawStatusPanel(surface, results, state.SearchEyeRegions.load() != 0,
                             state.FrameRate.load(), state.SourceClientRect(),
                             ResourceBitmap(resource_id::kStatusEmblem));
}

void TrackerSession::CalibrationPanelStep(QImage& surface) {
  const RunView run = samples.View();
  // The pipeline copies the collecting flag into CalibrationActive after every sample; a
  // Calibrate that restarts the run between its read and its store would leave the new run
  // collecting but never fed. Collecting always implies active, so restore it here.
  if (run.collecting && state.CalibrationActive.load() == 0) state.CalibrationActive = 1;
  pupiltrak::CalibrationPanelStep(surface, run.collecting, run.currentTarget, run,
                                  state.CalibratedSinceStart.load() != 0, panelMemory, Effects(),
                                  [this, &run](QImage& s) { AccuracyTestStep(s, run.W, run.H); });
}

void TrackerSession::AccuracyTestStep(QImage& surface, int W, int H) {
  AccuracyStepInputs inputs;
  inputs.W = W;
  inputs.H = H;
  inputs.mapping = mapping.Get();
  inputs.eye1 = {results.dxL, results.dyL};
  inputs.found1 = results.pupilFound[0];
  inputs.eye2 = {results.dxR, results.dyR};
  inputs.found2 = results.pupilFound[1];
  inputs.settleMs = settleMs.load();
  inputs.framesPerSecond = gazeFramesPerSecond.load();
  inputs.quality = &quality;
  accuracyStepRan_ = true;
  const GazeEstimate gaze =
      pupiltrak::AccuracyTestStep(surface, inputs, targets, smoother, accuracy, Effects());
  // Recorded for whoever reads this frame's results (the replay's CSV, the gaze stream).
  results.gazeFound = gaze.kind == GazeKind::Point;
  results.gazeX = gaze.x;
  results.gazeY = gaze.y;
}

void TrackerSession::AppendCalibrationSample(double dxL, double dyL, double dxR, double dyR) {
  samples.AppendSample(dxL, dyL, dxR, dyR, protocol, platform.Machine());
}

bool TrackerSession::CalibrationCollecting() const { return samples.CollectingSamples(); }

void TrackerSession::FitGazeMapping(const std::string& captureFileName) {
  FitAndReportGazeMapping(samples, mapping, protocol, captureFileName,
                          [this](const MappingFit& fit) { stream.PublishCalibration(fit); });
  // A new accuracy test begins: its own quality figures and fixations (the last one of an
  // earlier test still goes out first).
  FinishFixations();
  quality.Reset();
  fixations.Configure(samples.Width(), 1000.0 / gazeFramesPerSecond.load());
}

void TrackerSession::ResetForNewRun() {
  histories[0].Reset();
  histories[1].Reset();
  faceFollower.Reset();
  targets.Reset(static_cast<uint32_t>(platform.Machine().Now()), platform.Machine().ScreenSize());
  callback.framesProcessed = 0;
}

void TrackerSession::Calibrate(DialogControls& dialog) {
  // The new calibration replaces a mapping taken from a protocol.
  usingMapping_ = false;
  CalibrationParts parts{
      state, samples, mapping, smoother, protocol, platform.Machine(), platform.UserPrompts()};
  RunCalibrateCommand(parts, dialog);
}

void TrackerSession::CloseProtocol() {
  const bool accuracyWritten = protocol.IsOpen();
  CloseProtocolWithAccuracy(protocol, accuracy.Sums(), samples.Width());
  FinishFixations();
  if (accuracyWritten && stream.On())
    stream.PublishAccuracy(accuracy.Sums(), samples.Width(), quality.Figures(samples.Width()));
}

void SetUpSession(TrackerSession& session, std::shared_ptr<cv::CascadeClassifier> cascade,
                  DialogCanvas* mainWindow, QSize fullScreen) {
  session.state.FaceCascade = std::move(cascade);
  session.state.Font = kOverlayFont;
  RegisterTargetWindowClass(session.platform.TargetWindows(),
                            ResourceBitmap(resource_id::kTargetMarker));
  session.state.MainWindow = mainWindow;
  if (mainWindow) session.charts.Create(*mainWindow, fullScreen);
}

}  // namespace pupiltrak
