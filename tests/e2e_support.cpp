#include "e2e_support.h"

#include <QAbstractButton>
#include <QAction>
#include <QFile>
#include <QMenu>
#include <cmath>
#include <cstdio>
#include <opencv2/imgcodecs.hpp>
#include <regex>

#include "FaceFrameGenerator.h"
#include "app/DialogTemplate.h"
#include "calibration/AccuracyTest.h"
#include "calibration/CalibrationRun.h"
#include "capture/FrameCallback.h"
#include "display/StripChart.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/CameraLibrary.h"
#include "platform/FrameSource.h"
#include "tracking/FrameResults.h"
#include "tracking/PupilFinder.h"

using namespace pupiltrak;

namespace e2e {

namespace {

constexpr int kSmootherEntries = 30;

std::string Fixed2(double v) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.2f", v);
  return buf;
}

int StoredSamples(const CalibrationSamples& samples) {
  int stored = 0;
  samples.WithData([&](const CalibrationData& d) {
    for (const CalibrationTarget& t : d.targets)
      for (double v : t.dxL)
        if (v != kEmptySlot) ++stored;
  });
  return stored;
}

struct Rms {
  double sum = 0;
  int n = 0;
  void Add(cv::Point2d a, cv::Point2d b) {
    sum += (a.x - b.x) * (a.x - b.x) + (a.y - b.y) * (a.y - b.y);
    ++n;
  }
  double Value() const { return n > 0 ? std::sqrt(sum / n) : 0.0; }
};

}  // namespace

std::vector<std::vector<double>> SessionResult::Samples() const {
  std::vector<std::vector<double>> samples;
  for (const FrameRecord& f : frames)
    if (f.TookSample()) samples.push_back({f.dxL, f.dyL, f.dxR, f.dyR});
  return samples;
}

PrintedMapping ParseReport(const std::vector<std::string>& p, size_t first) {
  PrintedMapping out;
  if (p.size() < first + 19) return out;
  for (int k = 0; k < 9; ++k) {
    int index = -1;
    double* m = out.means[k];
    if (std::sscanf(p[first + 1 + k].c_str(),
                    "Point %d:\tM(dxL) = %lf\tM(dyL) = %lf\tM(dxR) = %lf\tM(dyR) = %lf", &index,
                    &m[0], &m[1], &m[2], &m[3]) != 5 ||
        index != k)
      return out;
  }
  auto function = [&](size_t line, const char* name, LinearFunction* f) {
    const std::string format = std::string(name) + " = %lf * dx + %lf * dy + %lf Error = %lf";
    return std::sscanf(p[line].c_str(), format.c_str(), &f->a, &f->b, &f->c, &f->Error) == 4;
  };
  GazeMapping& g = out.mapping;
  out.parsed =
      function(first + 12, "GazeLX", &g.GazeLX) && function(first + 13, "GazeLY", &g.GazeLY) &&
      function(first + 16, "GazeRX", &g.GazeRX) && function(first + 17, "GazeRY", &g.GazeRY);
  return out;
}

AccuracyModel ModelAccuracy(const std::vector<FrameRecord>& frames, const GazeMapping& m,
                            QSize fullScreen) {
  AccuracyModel out;
  // The program's own smoother, fed once with the frames' eye vectors through the printed
  // mapping and once with an ideal tracker's points (exactly on the target).
  GazeSmoother real, ideal;
  real.Reset(fullScreen);
  ideal.Reset(fullScreen);
  Rms modelled, perfect, settled, deviation;
  int sinceChange = 0;
  cv::Point2d lastTarget(-1, -1);
  for (const FrameRecord& f : frames) {
    if (!f.accuracyStep) continue;
    const cv::Point2d target(f.tx, f.ty);
    sinceChange = target == lastTarget ? sinceChange + 1 : 0;
    lastTarget = target;
    if (!f.BothPupils()) continue;
    const cv::Point2d gR(m.GazeRX(f.dxL, f.dyL), m.GazeRY(f.dxL, f.dyL));
    const cv::Point2d gL(m.GazeLX(f.dxR, f.dyR), m.GazeLY(f.dxR, f.dyR));
    const cv::Point2d g = (gR + gL) * 0.5;
    const ScreenPoint sp = real.AddPoint(g.x, g.y);
    const cv::Point2d s(sp.x, sp.y);
    modelled.Add(s, target);
    if (sinceChange >= kSmootherEntries) settled.Add(s, target);
    const ScreenPoint ip = ideal.AddPoint(target.x, target.y);
    const cv::Point2d si(ip.x, ip.y);
    perfect.Add(si, target);
    deviation.Add(s, si);
  }
  out.steps = modelled.n;
  out.modelled = modelled.Value();
  out.ideal = perfect.Value();
  out.settled = settled.Value();
  out.deviation = deviation.Value();
  return out;
}

int CountColumns(const QImage& canvas, int x0, int x1, int y0, int y1, QRgb colour) {
  int columns = 0;
  for (int x = x0; x <= x1; ++x) {
    bool all = true;
    for (int y = y0; y <= y1 && all; ++y)
      all = (canvas.pixel(x, y) & 0xffffff) == (colour & 0xffffff);
    if (all) ++columns;
  }
  return columns;
}

int ChartPoints(const QImage& canvas, int top, int bottom) {
  int columns = 0;
  for (int x = kFirstPlotColumn; x <= kLastPlotColumn; ++x)
    for (int y = top + 1; y <= bottom - 2; ++y)
      if ((canvas.pixel(x, y) & 0xffffff) == 0) {
        ++columns;
        break;
      }
  return columns;
}

void SessionTest::SetUp() {
  DialogTest::SetUp();
  ASSERT_TRUE(programDir_.isValid());
  cwd_ = std::make_unique<dialog_test::ScratchDirectory>(dialog_test::Cascade::Present);
  machine.SetFullScreenSize(QSize(kFullWidth, kFullHeight));
  machine.SetScreenSize(QSize(kScreenWidth, kScreenHeight));
  machine.SetProgramDirectory(programDir_.path().toStdString() + "/");
  machine.SetNow(20240611);  // the accuracy targets' seed
}

void SessionTest::TearDown() {
  session.ClearFrameListeners();
  Camera().RestoreDefaults();
  user_.reset();
  cwd_.reset();
  DialogTest::TearDown();
}

cv::Mat SessionTest::Render(int64_t index) {
  const LookTarget look = VisibleTarget(targets, cv::Size(kScreenWidth, kScreenHeight));
  const int64_t blinks = user_->BlinkFrames();
  const int64_t oneEye = user_->OneEyeFrames();
  cv::Mat frame = user_->Frame(index);
  if (frame.empty()) return frame;
  const FrameKind kind = user_->BlinkFrames() > blinks    ? FrameKind::Blink
                         : user_->OneEyeFrames() > oneEye ? FrameKind::OneEye
                                                          : FrameKind::Open;
  std::lock_guard<std::mutex> lock(mutex_);
  renderedKinds_.push_back(kind);
  renderedLooks_.push_back(look);
  if (keepAccuracyFrames_ && look.kind == LookTarget::Kind::Accuracy) {
    accuracyFrames_.emplace_back();
    cv::imencode(".png", frame, accuracyFrames_.back(), {cv::IMWRITE_PNG_COMPRESSION, 1});
  }
  return frame;
}

void SessionTest::OnFrame(TrackerSession& session) {
  const FrameResults& res = session.results;
  const TrackerState& t = session.state;
  FrameRecord r;
  r.face = res.faceFound;
  r.pupil[0] = res.pupilFound[0];
  r.pupil[1] = res.pupilFound[1];
  r.dxL = res.dxL;
  r.dyL = res.dyL;
  r.dxR = res.dxR;
  r.dyR = res.dyR;
  r.samplesAfter = StoredSamples(session.samples);
  r.collecting = session.CalibrationCollecting();
  r.accuracyStep = r.face && t.SearchEyeRegions.load() && t.EstimateGazeDirection.load() &&
                   t.CalibratedSinceStart.load() && !r.collecting;
  if (r.accuracyStep) {
    const AccuracyTarget target = session.targets.Current();
    r.tx = target.x;
    r.ty = target.y;
  }
  r.gazeFound = res.gazeFound;
  r.gazeX = res.gazeX;
  r.gazeY = res.gazeY;
  std::lock_guard<std::mutex> lock(mutex_);
  const size_t i = frames_.size();
  if (i < renderedKinds_.size()) {
    r.kind = renderedKinds_[i];
    r.look = renderedLooks_[i];
  }
  r.samplesBefore = lastStored_;
  lastStored_ = r.samplesAfter;
  frames_.push_back(r);
}

size_t SessionTest::FramesSoFar() {
  std::lock_guard<std::mutex> lock(mutex_);
  return frames_.size();
}

void SessionTest::WaitFor(const std::function<bool()>& done, const char* what) {
  // Frame by frame, the GUI thread handling what each frame posted; a frame never waits for the
  // GUI thread, so waiting for it cannot hold it up.
  while (!done()) {
    const bool more = Camera().WaitForFrames(Camera().FramesDelivered() + 1);
    QCoreApplication::processEvents();
    if (!more && !done()) {
      ADD_FAILURE() << "the frames ended before " << what;
      return;
    }
  }
}

void SessionTest::Click(TrackerDialog& dialog, int id) {
  auto* button = qobject_cast<QAbstractButton*>(dialog.Control(id));
  ASSERT_NE(button, nullptr) << id;
  ASSERT_TRUE(button->isEnabled()) << id;
  QTest::mouseClick(button, Qt::LeftButton, {}, QPoint(6, button->height() / 2));
}

SessionResult SessionTest::RunSession(const SessionOptions& o) {
  SessionResult result;
  gen::FacePhoto photo;
  std::string error;
  if (!gen::LoadFacePhoto(std::string(PUPILTRAK_TEST_DATA) + "/faces/jesper_2.jpg", &photo,
                          &error)) {
    ADD_FAILURE() << error;
    return result;
  }
  TargetFollowingUser::Options userOptions;
  userOptions.user.screen = cv::Size(kScreenWidth, kScreenHeight);
  userOptions.noiseSigma = o.noiseSigma;
  userOptions.blinkEvery = o.blinkEvery;
  userOptions.oneEyeEvery = o.oneEyeEvery;
  userOptions.accuracyFrames = o.accuracyFrames;
  // A calibration that never completes ends the source here instead of at the deadline.
  userOptions.maxFrames = 2500 + o.accuracyFrames;
  user_ = std::make_unique<TargetFollowingUser>(
      gen::FaceFrameGenerator(photo, gen::DefaultScene(cv::Size(640, 480))), targets, userOptions);

  Camera().SetCameraCounter([] { return 1; });
  Camera().SetSourceFactory([this](int) {
    return std::make_unique<GeneratedSource>([this](int64_t i) { return Render(i); });
  });
  // Every frame read reaches the pipeline: none is read before tracking is active.
  Camera().SetFrameGate([this] { return session.state.TrackingActive.load() != 0; });
  session.AddFrameListener([this](const pupiltrak::FrameRecord&) { OnFrame(session); });
  keepAccuracyFrames_ = o.keepAccuracyFrames;

  {
    TrackerDialog dialog(session);
    dialog_test::ShowAndSettle(dialog);
    Click(dialog, control_id::kGazeDirection);
    if (!o.equalizeHist2) Click(dialog, control_id::kEqualizeHist2);
    Click(dialog, control_id::kStartTracking);
    WaitFor([&] { return FramesSoFar() >= static_cast<size_t>(o.framesBeforeCalibrate); },
            "the first frames");
    Click(dialog, control_id::kCalibrate);
    WaitFor([] { return !Camera().Delivering(); }, "the end of the session");
    result.completed = user_->FramesOnAccuracyTargets() >= o.accuracyFrames;
    dialog_test::Settle();
    result.canvas = dialog.Canvas().Snapshot();
    Click(dialog, control_id::kStopTracking);
    dialog_test::Settle();
    result.log = dialog.Log().Lines();
  }

  {
    std::lock_guard<std::mutex> lock(mutex_);
    result.frames = frames_;
    EXPECT_EQ(renderedKinds_.size(), frames_.size()) << "every rendered frame was processed";
    result.accuracyFrames = std::move(accuracyFrames_);
  }
  result.beeps = machine.beeps.load();
  result.messages = prompts.Messages();
  result.mapping = session.mapping.Get();
  result.sums = session.accuracy.Sums();
  result.blinkFrames = user_->BlinkFrames();
  result.oneEyeFrames = user_->OneEyeFrames();

  QFile file(QString::fromStdString(CalibrationProtocolPath(session.platform.Machine())));
  EXPECT_EQ(CalibrationProtocolPath(session.platform.Machine()),
            programDir_.path().toStdString() + "/CalibrationProtocol.txt");
  if (file.open(QIODevice::ReadOnly)) {
    const std::string text = file.readAll().toStdString();
    size_t start = 0;
    for (size_t nl; (nl = text.find('\n', start)) != std::string::npos; start = nl + 1) {
      std::string line = text.substr(start, nl - start);
      if (line.empty() || line.back() != '\r')
        result.crlf = false;
      else
        line.pop_back();
      result.protocol.push_back(line);
    }
    if (start != text.size()) result.crlf = false;  // an unfinished last line
  }
  return result;
}

SessionTest::LastCalibrationRun SessionTest::RunWithLastCalibration(
    const std::vector<std::vector<uchar>>& frames) {
  LastCalibrationRun run;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    frames_.clear();
    renderedKinds_.clear();
    renderedLooks_.clear();
    lastStored_ = 0;
  }
  TrackerSession fresh;
  Camera().SetCameraCounter([] { return 1; });
  Camera().SetSourceFactory([&frames](int) {
    return std::make_unique<GeneratedSource>([&frames](int64_t i) {
      return i < static_cast<int64_t>(frames.size()) ? cv::imdecode(frames[i], cv::IMREAD_COLOR)
                                                     : cv::Mat();
    });
  });
  Camera().SetFrameGate([&fresh] { return fresh.state.TrackingActive.load() != 0; });
  fresh.AddFrameListener([this, &fresh](const pupiltrak::FrameRecord&) { OnFrame(fresh); });
  {
    TrackerDialog dialog(fresh);
    dialog_test::ShowAndSettle(dialog);
    Click(dialog, control_id::kGazeDirection);
    std::unique_ptr<QMenu> menu(dialog.CreateContextMenu(nullptr));
    for (QAction* action : menu->actions())
      if (action->text() == "Use last calibration") action->trigger();
    Click(dialog, control_id::kStartTracking);
    WaitFor([] { return !Camera().Delivering(); }, "the end of the frames");
    dialog_test::Settle();
    run.canvas = dialog.Canvas().Snapshot();
    Click(dialog, control_id::kStopTracking);
    dialog_test::Settle();
    run.log = dialog.Log().Lines();
  }
  Camera().RestoreDefaults();
  fresh.Reset();
  std::lock_guard<std::mutex> lock(mutex_);
  run.frames = frames_;
  return run;
}

std::vector<std::string> SessionTest::SessionLog(const SessionOptions& o) const {
  std::vector<std::string> log = {"Loading haarcascade_frontalface_default.xml",
                                  "Classifier cascade haarcascade_frontalface_default.xml loaded",
                                  "Calibrations are recorded in " +
                                      programDir_.path().toStdString() + "/CalibrationProtocol.txt",
                                  "Finder1Param1 = 1",
                                  "Finder1Param2 = 1",
                                  "Finder2Param1 = 60",
                                  "Finder2Param2 = 30",
                                  "Estimation of gaze direction and its prerequisites are on",
                                  "1 cameras found",
                                  "Source window created",
                                  "Preview window created",
                                  "cvcamInit() ok",
                                  "cvcamStart() ok",
                                  "StartTracking was successful",
                                  "Releasing camera",
                                  "Destroying source window",
                                  "Destroying preview window",
                                  "EndTracking was successful"};
  if (!o.equalizeHist2) log.insert(log.begin() + 8, "EqualizeHist2 is off");
  return log;
}

void SessionTest::ExpectCompleteProtocol(const SessionResult& r) {
  const std::vector<std::string>& p = r.protocol;
  EXPECT_TRUE(r.crlf) << "every line ends with CR LF";
  // 360 sample lines, the report (21 lines) and the accuracy (3 lines and an empty one).
  ASSERT_EQ(p.size(), 360u + 21u + 4u);

  // The sample lines carry the eye vectors of the frames that gave them, in order.
  const auto samples = r.Samples();
  ASSERT_EQ(samples.size(), 360u);
  const std::regex sampleLine(
      "Point = (\\d)\tSample = (\\d+)\tdxL = (-?\\d+\\.\\d\\d)\tdyL = (-?\\d+\\.\\d\\d)"
      "\tdxR = (-?\\d+\\.\\d\\d)\tdyR = (-?\\d+\\.\\d\\d)");
  for (size_t i = 0; i < 360; ++i) {
    std::smatch m;
    ASSERT_TRUE(std::regex_match(p[i], m, sampleLine)) << "line " << i << ": " << p[i];
    EXPECT_EQ(std::stoi(m[1]), static_cast<int>(i / 40)) << p[i];
    EXPECT_EQ(std::stoi(m[2]), static_cast<int>(i % 40)) << p[i];
    for (int v = 0; v < 4; ++v)
      EXPECT_EQ(m[3 + v].str(), Fixed2(samples[i][v])) << "line " << i << " value " << v;
  }

  // The report: per-target means of slots 10 to 39, both mappings, the capture file.
  EXPECT_EQ(p[360], "");
  for (int k = 0; k < 9; ++k) {
    double mean[4] = {0, 0, 0, 0};
    for (int s = 10; s < 40; ++s)
      for (int v = 0; v < 4; ++v) mean[v] += samples[k * 40 + s][v] / 30.0;
    char expected[256];
    std::snprintf(expected, sizeof expected,
                  "Point %d:\tM(dxL) = %.2f\tM(dyL) = %.2f\tM(dxR) = %.2f\tM(dyR) = %.2f", k,
                  mean[0], mean[1], mean[2], mean[3]);
    EXPECT_EQ(p[361 + k], expected);
  }
  EXPECT_EQ(p[370], "");
  EXPECT_EQ(p[371], "Left eye mapping:");
  const std::string num = "(-?\\d+\\.\\d\\d)";
  for (const char* name : {"GazeLX", "GazeLY", "GazeRX", "GazeRY"}) {
    const size_t line =
        name[4] == 'L' ? (name[5] == 'X' ? 372 : 373) : (name[5] == 'X' ? 376 : 377);
    EXPECT_TRUE(
        std::regex_match(p[line], std::regex(std::string(name) + " = " + num + " \\* dx \\+ " +
                                             num + " \\* dy \\+ " + num + " Error = " + num)))
        << p[line];
  }
  EXPECT_EQ(p[374], "");
  EXPECT_EQ(p[375], "Right eye mapping:");
  EXPECT_EQ(p[378], "");
  EXPECT_EQ(p[379], "Corresponding video file: No capture file selected");
  EXPECT_EQ(p[380], "");
  const PrintedMapping printed = ParseReport(p, 360);
  ASSERT_TRUE(printed.parsed);
  // The fitted mapping is the one the estimate uses, as printed.
  EXPECT_EQ(Fixed2(printed.mapping.GazeRX.a), Fixed2(r.mapping.GazeRX.a));
  EXPECT_EQ(Fixed2(printed.mapping.GazeLY.c), Fixed2(r.mapping.GazeLY.c));

  // The accuracy lines, from the sums Stop Tracking found; the millimetres are truncated and
  // converted with the width of the calibration's screen, the degrees from those millimetres.
  ASSERT_GT(r.sums.count, 0);
  const double px = std::sqrt(r.sums.sum / r.sums.count);
  const double mm = std::trunc(px * 358.0 / kFullWidth);
  const double deg = std::atan2(mm, 500.0) * 180.0 / M_PI;
  EXPECT_EQ(p[381], "Accuracy (RMS) in pixels: " + Fixed2(px));
  EXPECT_EQ(p[382], "Accuracy (RMS) in millimeters: " + Fixed2(mm));
  EXPECT_EQ(p[383], "Accuracy (RMS) in degrees (500 mm screen distance assumed): " + Fixed2(deg));
  EXPECT_EQ(p[384], "");
  // Every accuracy step with both eyes added one error, and no other frame did.
  int steps = 0;
  for (const FrameRecord& f : r.frames)
    if (f.accuracyStep && f.BothPupils()) ++steps;
  EXPECT_EQ(r.sums.count, steps);
}

}  // namespace e2e
