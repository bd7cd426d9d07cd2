#include "ReplayRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <fstream>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>
#include <thread>

#include "ConsoleLog.h"
#include "FacesAhead.h"
#include "GazePictures.h"
#include "TargetFollowingUser.h"
#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"
#include "platform/CameraLibrary.h"
#include "platform/DialogCanvas.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/PrepareAheadSource.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"
#include "tracking/FaceCascade.h"
#include "tracking/PupilFinder.h"

namespace pupiltrak {

namespace {

using Clock = std::chrono::steady_clock;

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool MakeDirectories(const std::string& path, std::string* error) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      partial = path.substr(0, i);
      if (partial.empty() || IsDirectory(partial)) continue;
      if (::mkdir(partial.c_str(), 0777) != 0 && !IsDirectory(partial)) {
        *error = "cannot create the output folder " + partial + ": " + std::strerror(errno);
        return false;
      }
    }
  }
  if (::access(path.c_str(), W_OK) != 0) {
    *error = "cannot write into the output folder " + path + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

std::string Join(const std::string& dir, const std::string& name) {
  if (!name.empty() && name[0] == '/') return name;
  return dir.empty() || dir.back() == '/' ? dir + name : dir + "/" + name;
}

std::string Absolute(const std::string& path) {
  if (!path.empty() && path[0] == '/') return path;
  char buf[4096];
  if (!::getcwd(buf, sizeof buf)) return path;
  return Join(buf, path);
}

// The platform as a run without a dialog needs it, restored when the run ends.
class HeadlessPlatform {
 public:
  HeadlessPlatform() {
    SetMachine(&machine);
    SetWindows(&windows);
    SetTargetWindows(&targets);
    SetUserPrompts(&prompts);
  }
  ~HeadlessPlatform() {
    Camera().RestoreDefaults();
    SetMachine(nullptr);
    SetWindows(nullptr);
    SetTargetWindows(nullptr);
    SetUserPrompts(nullptr);
  }
  FixedMachine machine;
  HeadlessWindows windows;
  HeadlessTargetWindows targets;
  ScriptedPrompts prompts;
};

void ApplyTrackerOptions(const ReplayOptions& o, TrackerState& t) {
  t.SearchEyeRegions = o.eyeRegions;
  t.EstimateGazeDirection = o.gazeDirection;
  t.EqualizeHist1 = o.equalizeHist1;
  t.EqualizeHist2 = o.equalizeHist2;
  t.Finder1Param1 = o.finder1Param1;
  t.Finder1Param2 = o.finder1Param2;
  t.Finder2Param1 = o.finder2Param1;
  t.Finder2Param2 = o.finder2Param2;
  t.PrecisePupils = o.precise ? 1 : 0;
  t.SmallestFace = o.smallestFace;
  t.FollowFace = o.followFace ? 1 : 0;
  t.RobustTracking = o.robust ? 1 : 0;
}

// --stream: switches the gaze stream on. A subscriber connects in the background, so a recorded
// input waits up to a second for the first one to subscribe: one started beforehand then gets
// every frame. A camera is live and waits for nobody.
bool StartStream(const ReplayOptions& o, GazeStream& stream, ReplayOutcome* outcome) {
  if (o.streamEndpoint.empty()) return true;
  std::string error;
  if (!stream.SwitchOn(o.streamEndpoint, &error)) {
    outcome->exitCode = kExitIoError;
    outcome->message = "cannot stream gaze to " + o.streamEndpoint + ": " + error;
    return false;
  }
  outcome->streamEndpoint = stream.Publisher().BoundEndpoint();
  // The counts before this run.
  outcome->streamSent = stream.Publisher().Sent();
  outcome->streamDropped = stream.Publisher().Dropped();
  if (!o.camera) stream.Publisher().WaitForSubscriber(std::chrono::milliseconds(1000));
  return true;
}

// Switches the stream off; the messages still queued go on out for up to two seconds.
void EndStream(const ReplayOptions& o, GazeStream& stream, ReplayOutcome* outcome) {
  if (o.streamEndpoint.empty()) return;
  outcome->streamSent = stream.Publisher().Sent() - outcome->streamSent;
  outcome->streamDropped = stream.Publisher().Dropped() - outcome->streamDropped;
  stream.SwitchOff(std::chrono::milliseconds(2000));
}

// The face cascade, or null with the reason in *error.
std::shared_ptr<cv::CascadeClassifier> LoadCascade(std::string* error) {
  std::shared_ptr<cv::CascadeClassifier> cascade =
      FindAndLoadFaceCascade(ExecutableDirectory()).cascade;
  if (!cascade) {
    *error =
        "cannot load the face cascade haarcascade_frontalface_default.xml (install opencv-data)";
    return nullptr;
  }
  return cascade;
}

// Records one CSV row (and the optional panel picture) at the end of every processed frame.
class FrameRecorder {
 public:
  FrameRecorder(const TrackerSession& session, AtomicOutputFile& csv, ReplaySummary& summary,
                std::string panelDir, double framesPerSecond)
      : session_(session),
        csv_(csv),
        summary_(summary),
        panelDir_(std::move(panelDir)),
        fps_(framesPerSecond) {
    start_ = Clock::now();
  }

  // Gaze for every frame from a mapping made earlier on a screen of that size.
  void SetMapping(const GazeMapping& mapping, QSize screen) {
    mapping_ = std::make_unique<GazeMapping>(mapping);
    smoother_.Reset(screen);
  }
  // Where the user looks in each frame (adds the target columns).
  void SetLookSource(std::function<LookTarget()> look) { look_ = std::move(look); }
  bool HasTargets() const { return static_cast<bool>(look_); }

  // r: the frame's results, given its gaze here when a mapping was set.
  void OnFrame(const cv::Mat& mosaic, FrameResults& r) {
    const TrackerState& t = session_.state;
    bool eyes = t.SearchEyeRegions.load() != 0;
    bool gaze = t.EstimateGazeDirection.load() != 0;
    if (mapping_) {
      // Set in the frame's results, so that whoever reads them next sees this frame's gaze.
      const GazeEstimate e =
          EstimateGaze(*mapping_, smoother_, {r.dxL, r.dyL}, r.faceFound && gaze && r.pupilFound[0],
                       {r.dxR, r.dyR}, r.faceFound && gaze && r.pupilFound[1]);
      r.gazeFound = e.kind == GazeKind::Point;
      r.gazeX = e.x;
      r.gazeY = e.y;
    }
    FrameRow row;
    row.frame = frame_++;
    row.timeMs = fps_ > 0
                     ? 1000.0 * static_cast<double>(row.frame) / fps_
                     : std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    row.blink = r.faceFound && eyes && gaze && !r.pupilFound[0] && !r.pupilFound[1];
    row.detectionRenewed = r.faceFound && eyes;
    const StageTimings& s = timings;
    // The work done on this frame, wherever it ran (its face may have been found ahead).
    row.frameMs =
        s.convert + s.face + s.finder1 + s.finder2 + s.tiles + s.panels + s.output + s.faceAhead;
    row.gazeFound = r.gazeFound;
    row.gazeX = r.gazeX;
    row.gazeY = r.gazeY;
    if (look_) {
      const LookTarget look = look_();
      row.hasTarget = true;
      row.targetX = look.point.x;
      row.targetY = look.point.y;
      row.phase = look.kind == LookTarget::Kind::Accuracy      ? kAccuracyPhase
                  : look.kind == LookTarget::Kind::Calibration ? look.index
                                                               : kNoPhase;
    }
    if (row.gazeFound)
      samples_.push_back({row.phase, {row.targetX, row.targetY}, {row.gazeX, row.gazeY}});
    csv_.Write(CsvRow(row, r, gaze, HasTargets()));
    summary_.Add(row, r, timings);
    if (!panelDir_.empty() && r.faceFound && eyes && gaze && mosaic.cols == 320 &&
        mosaic.rows == 240) {
      char name[64];
      std::snprintf(name, sizeof name, "/panel_%06ld.png", row.frame);
      cv::imwrite(panelDir_ + name, mosaic(cv::Rect(0, 120, 160, 120)));
    }
  }

  // Every frame's gaze estimate, with where the user looked when that is known.
  const std::vector<GazeSample>& Samples() const { return samples_; }

  StageTimings timings;

 private:
  const TrackerSession& session_;
  AtomicOutputFile& csv_;
  ReplaySummary& summary_;
  std::string panelDir_;
  double fps_;
  long frame_ = 0;
  Clock::time_point start_;
  std::unique_ptr<GazeMapping> mapping_;
  GazeSmoother smoother_;
  std::function<LookTarget()> look_;
  std::vector<GazeSample> samples_;
};

struct Outputs {
  std::unique_ptr<AtomicOutputFile> csv;
  std::string panelDir;
  std::string mosaicPath;
  std::string mosaicTemp;
};

bool PrepareOutputs(const ReplayOptions& o, bool withTargets, Outputs* out,
                    ReplayOutcome* outcome) {
  std::string error;
  if (!MakeDirectories(o.outputDir, &error)) {
    outcome->exitCode = kExitIoError;
    outcome->message = error;
    return false;
  }
  outcome->csvPath = Join(o.outputDir, o.csvName);
  out->csv = std::make_unique<AtomicOutputFile>(outcome->csvPath);
  if (!out->csv->Open(&error)) {
    outcome->exitCode = kExitIoError;
    outcome->message = error;
    return false;
  }
  out->csv->Write(CsvHeader(withTargets));
  if (o.writePanels) {
    out->panelDir = Join(o.outputDir, "panels");
    if (!MakeDirectories(out->panelDir, &error)) {
      outcome->exitCode = kExitIoError;
      outcome->message = error;
      return false;
    }
  }
  if (o.writeMosaic) {
    out->mosaicPath = Join(o.outputDir, o.mosaicName);
    out->mosaicTemp = out->mosaicPath + ".partial.avi";
  }
  return true;
}

void ProgressLine(long done, long total, double seconds, bool final) {
  double rate = seconds > 0 ? static_cast<double>(done) / seconds : 0;
  if (total > 0) {
    double left = rate > 0 ? static_cast<double>(total - done) / rate : 0;
    std::fprintf(stderr, "\rframes %ld of %ld, %.1f fps, %.0f s left   ", done, total, rate,
                 std::max(0.0, left));
  } else {
    std::fprintf(stderr, "\rframes %ld, %.1f fps   ", done, rate);
  }
  if (final) std::fprintf(stderr, "\n");
}

// Waits for the camera layer to finish, with a progress line unless quiet: rewritten in place
// on a terminal, a new line every ten seconds otherwise.
void WaitForRun(const ReplayOptions& o, long total, Clock::time_point start) {
  const bool terminal = ::isatty(STDERR_FILENO) != 0;
  const double every = terminal ? 0.5 : 10.0;
  double nextAt = every;
  bool shown = false;
  while (Camera().Delivering()) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    double s = std::chrono::duration<double>(Clock::now() - start).count();
    if (!o.quiet && s >= nextAt) {
      ProgressLine(static_cast<long>(Camera().FramesDelivered()), total, s, !terminal);
      shown = terminal;
      nextAt = s + every;
    }
  }
  Camera().WaitUntilIdle();
  if (shown) std::fprintf(stderr, "\n");
}

}  // namespace

void WarnSkipped(const std::string& file, std::atomic<long>* count) {
  ++*count;
  // Clears a progress line being rewritten in place.
  std::fprintf(stderr,
               "%spupiltrak08-replay: skipped %s: not a readable image (empty or damaged)\n",
               ::isatty(STDERR_FILENO) ? "\r\033[K" : "", file.c_str());
}

ReplayOutcome RunReplay(const ReplayOptions& o,
                        const std::function<void(TrackerSession&)>& prepare) {
  ReplayOutcome outcome;
  HeadlessPlatform platform;
  TrackerSession session;

  // Check the input before anything is written.
  std::unique_ptr<FrameSource> source;
  auto skipped = std::make_shared<std::atomic<long>>(0);
  long total = -1;
  double fps = 0;
  if (o.camera) {
    int cam = *o.camera;
    source = std::make_unique<V4L2CameraSource>(cam);
    if (!source->Open()) {
      outcome.exitCode = kExitIoError;
      outcome.message =
          "cannot open camera " + std::to_string(cam) + " (/dev/video" + std::to_string(cam) + ")";
      return outcome;
    }
    source->Close();
  } else {
    const std::string& in = o.input;
    bool pattern = in.find('%') != std::string::npos;
    if (!pattern && !FileExists(in)) {
      outcome.exitCode = kExitIoError;
      outcome.message = "no such file or folder: " + in;
      return outcome;
    }
    if (!pattern && ::access(in.c_str(), R_OK) != 0) {
      outcome.exitCode = kExitIoError;
      outcome.message = "cannot read " + in + ": " + std::strerror(errno);
      return outcome;
    }
    if (pattern || IsDirectory(in)) {
      auto seq = std::make_unique<ImageSequenceSource>(in, o.paced ? 30.0 : 0.0);
      seq->OnSkipped([skipped](const std::string& file) { WarnSkipped(file, skipped.get()); });
      if (!seq->Open()) {
        outcome.exitCode = kExitIoError;
        outcome.message = "no readable images in " + in;
        return outcome;
      }
      total = pattern ? -1 : static_cast<long>(seq->Files().size());
      seq->Close();
      source = std::move(seq);
    } else {
      cv::VideoCapture probe;
      cv::Mat first;
      bool ok = false;
      try {
        ok = OpenVideoFile(probe, in) && probe.read(first) && !first.empty();
      } catch (const cv::Exception&) {
        ok = false;
      }
      if (!ok) {
        outcome.exitCode = kExitIoError;
        outcome.message = in + " is not a video that can be read (unknown or damaged format)";
        return outcome;
      }
      fps = probe.get(cv::CAP_PROP_FPS);
      double count = probe.get(cv::CAP_PROP_FRAME_COUNT);
      total = count > 0 && std::isfinite(count) ? static_cast<long>(count) : -1;
      probe.release();
      source = std::make_unique<VideoFileSource>(
          in, o.paced ? Pacing::RealTime : Pacing::AsFastAsPossible);
    }
  }
  if (o.maxFrames > 0 && (total < 0 || total > o.maxFrames)) total = o.maxFrames;
  GazeMapping mapping;
  if (!o.mappingFile.empty()) {
    std::string why;
    if (!ReadLastMappingFromFile(o.mappingFile, &mapping, &why)) {
      outcome.exitCode = kExitIoError;
      outcome.message = why;
      return outcome;
    }
  }
  // A file can be read ahead: the face of each frame is found on a thread of its own while the
  // pipeline still works on the frame before.
  std::shared_ptr<FacesAhead> faces;
  if (!o.camera) {
    faces = std::make_shared<FacesAhead>();
    TrackerState asked;
    ApplyTrackerOptions(o, asked);
    if (!faces->Load(FindFaceCascade(ExecutableDirectory()), FaceSearchOf(asked))) faces.reset();
    if (faces) {
      auto prepare = [faces](const cv::Mat& frame, int64_t index) { faces->Prepare(frame, index); };
      source = std::make_unique<PrepareAheadSource>(std::move(source), 3, prepare);
    }
  }

  Outputs out;
  if (!PrepareOutputs(o, false, &out, &outcome)) return outcome;
  std::string error;
  std::shared_ptr<cv::CascadeClassifier> cascade = LoadCascade(&error);
  if (!cascade) {
    outcome.exitCode = kExitIoError;
    outcome.message = error;
    return outcome;
  }
  SetUpSession(session, std::move(cascade), nullptr, QSize());
  ApplyTrackerOptions(o, session.state);
  if (o.writeMosaic) {
    auto writer = std::make_unique<cv::VideoWriter>(out.mosaicTemp,
                                                    cv::VideoWriter::fourcc('M', 'J', 'P', 'G'),
                                                    30.0, cv::Size(320, 240), true);
    if (!writer->isOpened()) {
      outcome.exitCode = kExitIoError;
      outcome.message = "cannot write the mosaic video " + out.mosaicPath;
      return outcome;
    }
    session.state.CaptureWriter = std::move(writer);
  }

  outcome.summary.keepStages = o.stages;
  FrameRecorder recorder(session, *out.csv, outcome.summary, out.panelDir, fps);
  if (!o.mappingFile.empty()) recorder.SetMapping(mapping, QSize(o.screenWidth, o.screenHeight));
  PipelineContext& ctx = session.Pipeline();
  ctx.timings = &recorder.timings;
  long maxFrames = o.maxFrames;
  ctx.onMosaic = [&recorder, &session](const cv::Mat& mosaic) {
    recorder.OnFrame(mosaic, session.results);
  };
  if (faces) ctx.takePreparedFace = [faces](PreparedFace* face) { return faces->Take(face); };
  ctx.composeMosaic = o.writeMosaic || o.writePanels;

  // Frames come through the camera layer and the program's own frame callback.
  FrameSource* raw = source.release();
  Camera().SetCameraCounter([] { return 1; });
  Camera().SetSourceFactory([raw](int) { return std::unique_ptr<FrameSource>(raw); });
  Camera().SetEnable(0, true);
  auto processed = std::make_shared<std::atomic<long>>(0);
  auto delivered = std::make_shared<std::atomic<long>>(0);
  Camera().SetCallback(0, [maxFrames, processed, delivered, faces, &session](CameraFrame& frame) {
    if (faces) faces->Expect(delivered->fetch_add(1));
    // A stop asked for from inside a callback ends the run after the frame already on its way.
    if (maxFrames > 0 && processed->load() >= maxFrames) {
      Camera().Stop();
      return;
    }
    session.OnCameraFrame(frame);
    if (maxFrames > 0 && ++*processed >= maxFrames) Camera().Stop();
  });
  if (prepare) prepare(session);
  if (!StartStream(o, session.stream, &outcome)) return outcome;
  session.state.TrackingActive = 1;
  auto start = Clock::now();
  if (Camera().Init() == 0 || Camera().Start() != 0) {
    EndStream(o, session.stream, &outcome);
    session.state.TrackingActive = 0;
    outcome.exitCode = kExitIoError;
    outcome.message = "cannot start reading " + (o.camera ? "the camera" : o.input);
    return outcome;
  }
  WaitForRun(o, total, start);
  Camera().Exit();
  session.state.TrackingActive = 0;
  EndStream(o, session.stream, &outcome);
  outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();

  ResidentMemoryKb(&outcome.summary.residentAtEndKb, &outcome.summary.residentPeakKb);
  long done = outcome.summary.frames;
  outcome.skippedFiles = skipped->load();
  bool writerOk = true;
  if (session.state.CaptureWriter) {
    session.state.CaptureWriter->release();
    session.state.CaptureWriter.reset();
    writerOk = std::rename(out.mosaicTemp.c_str(), out.mosaicPath.c_str()) == 0;
    outcome.mosaicPath = out.mosaicPath;
  }
  if (!out.csv->Commit(&error)) {
    outcome.exitCode = kExitIoError;
    outcome.message = error;
    return outcome;
  }
  if (!writerOk) {
    outcome.exitCode = kExitIoError;
    outcome.message = "cannot move the mosaic video into place: " + out.mosaicPath;
    return outcome;
  }
  if (!o.mappingFile.empty()) {
    std::vector<cv::Point2d> gaze;
    for (const GazeSample& g : recorder.Samples()) gaze.push_back(g.gaze);
    outcome.picturePath = Join(o.outputDir, "gaze.png");
    if (!WritePicture(outcome.picturePath,
                      DrawGazeHeatMap(cv::Size(o.screenWidth, o.screenHeight), gaze), &error)) {
      outcome.exitCode = kExitIoError;
      outcome.message = error;
      return outcome;
    }
  }
  if (!o.camera && total > 0 && done + outcome.skippedFiles < total &&
      (o.maxFrames <= 0 || done < o.maxFrames)) {
    outcome.exitCode = kExitTruncated;
    outcome.message = "the input ended at frame " + std::to_string(done) + " of " +
                      std::to_string(total) + " (the file looks truncated); the " +
                      std::to_string(done) + " frames read were processed";
  }
  return outcome;
}

}  // namespace pupiltrak

// Resources of a static library must be registered by name, outside any namespace.
static void InitDemoResources() { Q_INIT_RESOURCE(demo); }

namespace pupiltrak {

namespace {

// The demo's face: a real photograph built into the program, with its eye centres.
bool LoadDemoFace(gen::FacePhoto* photo, std::string* error) {
  InitDemoResources();
  QFile file(":/demo/jesper_2.jpg");
  if (!file.open(QIODevice::ReadOnly)) {
    *error = "the demo photograph is missing from the program";
    return false;
  }
  QByteArray bytes = file.readAll();
  std::vector<uchar> buffer(bytes.begin(), bytes.end());
  photo->image = cv::imdecode(buffer, cv::IMREAD_COLOR);
  if (photo->image.empty()) {
    *error = "the demo photograph cannot be decoded";
    return false;
  }
  // Eye centres of jesper_2.jpg (image-left eye first), from the test data's eye_centres.csv.
  photo->eye = {cv::Point2f(325.5f, 211.0f), cv::Point2f(437.167f, 211.667f)};
  return true;
}

std::vector<std::string> LastLines(const std::string& path, size_t n) {
  std::ifstream in(path, std::ios::binary);
  std::vector<std::string> lines;
  std::string line;
  while (std::getline(in, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    lines.push_back(line);
  }
  if (lines.size() > n) lines.erase(lines.begin(), lines.end() - static_cast<long>(n));
  return lines;
}

}  // namespace

ReplayOutcome RunDemo(const ReplayOptions& o) {
  ReplayOutcome outcome;
  std::string error;
  gen::FacePhoto photo;
  if (!LoadDemoFace(&photo, &error)) {
    outcome.exitCode = kExitIoError;
    outcome.message = error;
    return outcome;
  }
  Outputs out;
  if (!PrepareOutputs(o, true, &out, &outcome)) return outcome;

  HeadlessPlatform platform;
  const QSize fullScreen(1024, 710), screen(1024, 768);
  platform.machine.SetFullScreenSize(fullScreen);
  platform.machine.SetScreenSize(screen);
  platform.machine.SetProgramDirectory(Absolute(o.outputDir));
  platform.machine.SetNow(static_cast<std::time_t>(o.demoSeed));
  // Declared after the canvas: the session's charts and pipeline draw into it to the end.
  DialogCanvas canvas(480, 869);
  TrackerSession session;
  std::shared_ptr<cv::CascadeClassifier> cascade = LoadCascade(&error);
  if (!cascade) {
    outcome.exitCode = kExitIoError;
    outcome.message = error;
    return outcome;
  }
  if (!StartStream(o, session.stream, &outcome)) return outcome;
  // As the dialog sets itself up: the target window class and the two charts on its client.
  SetUpSession(session, std::move(cascade), &canvas, fullScreen);
  // The user ticks both options and leaves the sliders as given.
  ReplayOptions both = o;
  both.eyeRegions = both.gazeDirection = 1;
  ApplyTrackerOptions(both, session.state);
  if (o.writeMosaic) {
    out.mosaicPath = Absolute(Join(o.outputDir, o.mosaicName));
    std::remove(out.mosaicPath.c_str());
    session.state.SetCaptureFileName(out.mosaicPath);
    session.state.CaptureToFile = 1;
    platform.prompts.QueueCodec(VideoCodec{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPG"});
  }

  TargetFollowingUser::Options userOptions;
  userOptions.user.screen = cv::Size(screen.width(), screen.height());
  userOptions.seed = o.demoSeed;
  userOptions.accuracyFrames = o.demoAccuracyFrames;
  userOptions.maxFrames = 5000 + o.demoAccuracyFrames;  // a calibration that never ends stops here
  TargetFollowingUser user(gen::FaceFrameGenerator(photo, gen::SubPixelScene(cv::Size(640, 480))),
                           platform.targets, userOptions);
  Camera().SetCameraCounter([] { return 1; });
  Camera().SetSourceFactory([&user](int) {
    return std::make_unique<GeneratedSource>([&user](int64_t i) { return user.Frame(i); });
  });

  FrameRecorder recorder(session, *out.csv, outcome.summary, out.panelDir, 30.0);
  recorder.SetLookSource([&user] { return user.LastLook(); });
  PipelineContext& ctx = session.Pipeline();
  ctx.timings = &recorder.timings;
  ctx.onMosaic = [&recorder, &session](const cv::Mat& mosaic) {
    recorder.OnFrame(mosaic, session.results);
  };

  ConsoleLog log(!o.quiet);
  auto start = Clock::now();
  StartTrackingCommand(session, log);
  session.Calibrate(log);
  WaitForRun(o, -1, start);
  StopTrackingCommand(session, log);
  EndStream(o, session.stream, &outcome);
  outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.log = log.Lines();
  outcome.protocolPath = CalibrationProtocolPath();
  outcome.mosaicPath = out.mosaicPath;
  if (!o.quiet) {
    QImage client = canvas.Snapshot();
    client.save(QString::fromStdString(Join(o.outputDir, "dialog-client.png")));
  }
  if (!out.csv->Commit(&error)) {
    outcome.exitCode = kExitIoError;
    outcome.message = error;
    return outcome;
  }
  if (user.FramesOnAccuracyTargets() == 0) {
    outcome.exitCode = kExitIoError;
    outcome.message =
        "the calibration did not complete: the virtual user's pupils were not found "
        "often enough";
    return outcome;
  }
  outcome.accuracy = LastLines(outcome.protocolPath, 4);
  if (outcome.accuracy.size() == 4) outcome.accuracy.pop_back();  // the closing empty line

  std::vector<cv::Point2d> calibrationTargets;
  session.samples.WithData([&](const CalibrationData& data) {
    for (const CalibrationTarget& t : data.targets) calibrationTargets.emplace_back(t.x, t.y);
  });
  AccuracyFigure figure = MeasureAccuracy(recorder.Samples(), fullScreen.width());
  if (outcome.accuracy.size() == 3) {
    auto value = [](const std::string& line) { return line.substr(line.rfind(": ") + 2); };
    figure.protocolPixels = value(outcome.accuracy[0]);
    figure.protocolDegrees = value(outcome.accuracy[2]);
  }
  outcome.picturePath = Join(o.outputDir, "accuracy.png");
  if (!WritePicture(outcome.picturePath,
                    DrawAccuracyPicture(cv::Size(screen.width(), screen.height()),
                                        calibrationTargets, recorder.Samples(), figure),
                    &error)) {
    outcome.exitCode = kExitIoError;
    outcome.message = error;
  }
  return outcome;
}

}  // namespace pupiltrak
