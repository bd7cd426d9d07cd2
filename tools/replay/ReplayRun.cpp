#include "ReplayRun.h"

#include <sys/stat.h>
#include <unistd.h>

#include <QFile>
#include <atomic>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <memory>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>
#include <sstream>

#include "ConsoleLog.h"
#include "Interruption.h"
#include "TargetFollowingUser.h"
#include "capture/SessionRunner.h"
#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "display/GazePictures.h"
#include "mapping/AccuracyMeasures.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"
#include "platform/CameraLibrary.h"
#include "platform/DialogCanvas.h"
#include "platform/HeadlessPlatform.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/PrepareAheadSource.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"
#include "tracking/EyeVector.h"
#include "tracking/FaceCascade.h"
#include "tracking/FacesAhead.h"
#include "tracking/PupilFinder.h"

namespace pupiltrak {

namespace {

using Clock = std::chrono::steady_clock;

// The one way a step fails on input or output: the exit status and its sentence. false, so
// that a step can end with `return IoError(...)`.
bool IoError(ReplayOutcome* outcome, std::string message) {
  outcome->exitCode = kExitIoError;
  outcome->message = std::move(message);
  return false;
}

bool FileExists(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0;
}

bool IsDirectory(const std::string& path) {
  struct stat st;
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

// Why a folder cannot be made or written, said of the folder at fault rather than as the
// system's "No such file or directory".
std::string FolderProblem(const std::string& path, int err) {
  std::string parent = path;
  while (!parent.empty() && parent.back() == '/') parent.pop_back();
  const size_t slash = parent.rfind('/');
  parent = slash == std::string::npos ? "." : slash == 0 ? "/" : parent.substr(0, slash);
  if (FileExists(path) && !IsDirectory(path)) return path + " is a file, not a folder";
  if (IsDirectory(path) && ::access(path.c_str(), W_OK) != 0)
    return "the folder " + path + " cannot be written (permission denied)";
  if (FileExists(parent) && !IsDirectory(parent)) return parent + " is a file, not a folder";
  if (IsDirectory(parent) && ::access(parent.c_str(), W_OK) != 0)
    return "its parent folder " + parent + " cannot be written (permission denied)";
  return std::strerror(err);
}

}  // namespace

bool MakeOutputFolder(const std::string& path, std::string* error) {
  std::string partial;
  for (size_t i = 0; i <= path.size(); ++i) {
    if (i == path.size() || path[i] == '/') {
      partial = path.substr(0, i);
      if (partial.empty() || IsDirectory(partial)) continue;
      if (::mkdir(partial.c_str(), 0777) != 0 && !IsDirectory(partial)) {
        *error = "cannot create the output folder " + path + ": " + FolderProblem(partial, errno);
        return false;
      }
    }
  }
  if (::access(path.c_str(), W_OK) != 0) {
    *error = "cannot write into the output folder " + path + ": " + FolderProblem(path, errno);
    return false;
  }
  return true;
}

namespace {

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

TrackerSettings SettingsOf(const ReplayOptions& o) {
  TrackerSettings s;
  s.searchEyeRegions = o.eyeRegions;
  s.estimateGazeDirection = o.gazeDirection;
  s.equalizeHist1 = o.equalizeHist1;
  s.equalizeHist2 = o.equalizeHist2;
  s.finder1Param1 = o.finder1Param1;
  s.finder1Param2 = o.finder1Param2;
  s.finder2Param1 = o.finder2Param1;
  s.finder2Param2 = o.finder2Param2;
  s.precisePupils = o.precise ? 1 : 0;
  s.smallestFace = o.smallestFace;
  s.followFace = o.followFace ? 1 : 0;
  s.robustTracking = o.robust ? 1 : 0;
  return s;
}

// --stream: switches the gaze stream on. A subscriber connects in the background, so a recorded
// input waits up to a second for the first one to subscribe: one started beforehand then gets
// every frame. A camera is live and waits for nobody.
bool StartStream(const ReplayOptions& o, GazeStream& stream, ReplayOutcome* outcome) {
  if (o.streamEndpoint.empty()) return true;
  std::string error;
  if (!stream.SwitchOn(o.streamEndpoint, &error))
    return IoError(outcome, "cannot stream gaze to " + o.streamEndpoint + ": " + error);
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

// Records one CSV row (and the optional panel picture) of every frame record.
class FrameRecorder {
 public:
  FrameRecorder(AtomicOutputFile& csv, ReplaySummary& summary, std::string panelDir,
                double framesPerSecond)
      : csv_(csv), summary_(summary), panelDir_(std::move(panelDir)), fps_(framesPerSecond) {
    start_ = Clock::now();
  }

  // Where the user looks in each frame (adds the target columns).
  void SetLookSource(std::function<LookTarget()> look) { look_ = std::move(look); }
  bool HasTargets() const { return static_cast<bool>(look_); }

  void OnFrame(const FrameRecord& record) {
    const FrameResults& r = *record.results;
    FrameRow row;
    row.frame = record.frame;
    row.timeMs = fps_ > 0
                     ? 1000.0 * static_cast<double>(row.frame) / fps_
                     : std::chrono::duration<double, std::milli>(Clock::now() - start_).count();
    row.blink = IsBlink(r, record.eyeRegions, record.gazeDirection);
    row.detectionRenewed = r.faceFound && record.eyeRegions;
    const StageTimings& s = *record.timings;
    // The work done on this frame, wherever it ran (its face may have been found ahead).
    row.frameMs =
        s.convert + s.face + s.finder1 + s.finder2 + s.tiles + s.panels + s.output + s.faceAhead;
    row.gazeFound = r.gazeFound;
    row.gazeX = r.gazeX;
    row.gazeY = r.gazeY;
    if (look_) AddLook(look_(), &row);
    if (row.gazeFound)
      samples_.push_back({row.phase, {row.targetX, row.targetY}, {row.gazeX, row.gazeY}});
    csv_.Write(CsvRow(row, r, record.gazeDirection, HasTargets()));
    summary_.Add(row, r, s);
    const cv::Mat& mosaic = *record.mosaic;
    if (!panelDir_.empty() && r.faceFound && record.eyeRegions && record.gazeDirection &&
        mosaic.cols == 320 && mosaic.rows == 240) {
      char name[64];
      std::snprintf(name, sizeof name, "/panel_%06ld.png", row.frame);
      cv::imwrite(panelDir_ + name, mosaic(cv::Rect(0, 120, 160, 120)));
    }
  }

  // Every frame's gaze estimate, with where the user looked when that is known.
  const std::vector<GazeSample>& Samples() const { return samples_; }

 private:
  static void AddLook(const LookTarget& look, FrameRow* row) {
    row->hasTarget = true;
    row->targetX = look.point.x;
    row->targetY = look.point.y;
    row->phase = look.kind == LookTarget::Kind::Accuracy      ? kAccuracyPhase
                 : look.kind == LookTarget::Kind::Calibration ? look.index
                                                              : kNoPhase;
  }

  AtomicOutputFile& csv_;
  ReplaySummary& summary_;
  std::string panelDir_;
  double fps_;
  Clock::time_point start_;
  std::function<LookTarget()> look_;
  std::vector<GazeSample> samples_;
};

// fixations.csv, written as the session hands over each fixation (the same moment the gaze
// stream publishes it, so the two are in the same order).
class FixationFile {
 public:
  bool Open(const std::string& dir, TrackerSession& session, ReplayOutcome* outcome) {
    outcome_ = outcome;
    outcome->fixationsPath = Join(dir, "fixations.csv");
    file_ = std::make_unique<AtomicOutputFile>(outcome->fixationsPath);
    std::string error;
    if (!file_->Open(&error)) return IoError(outcome, error);
    file_->Write(FixationCsvHeader());
    session.AddFixationListener([this](const Fixation& f) {
      file_->Write(FixationCsvRow(f));
      outcome_->fixations.push_back(f);
    });
    return true;
  }
  bool Commit(ReplayOutcome* outcome) {
    if (!file_) return true;
    std::string error;
    if (!file_->Commit(&error)) return IoError(outcome, error);
    return true;
  }

 private:
  std::unique_ptr<AtomicOutputFile> file_;
  ReplayOutcome* outcome_ = nullptr;
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
  if (!MakeOutputFolder(o.outputDir, &error)) return IoError(outcome, error);
  outcome->csvPath = Join(o.outputDir, o.csvName);
  out->csv = std::make_unique<AtomicOutputFile>(outcome->csvPath);
  if (!out->csv->Open(&error)) return IoError(outcome, error);
  out->csv->Write(CsvHeader(withTargets));
  if (o.writePanels) {
    out->panelDir = Join(o.outputDir, "panels");
    if (!MakeOutputFolder(out->panelDir, &error)) return IoError(outcome, error);
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

// The progress line while a run goes on, unless quiet: rewritten in place on a terminal, a new
// line every ten seconds otherwise.
class ProgressPrinter {
 public:
  ProgressPrinter(const ReplayOptions& o, long total)
      : quiet_(o.quiet), terminal_(::isatty(STDERR_FILENO) != 0), total_(total) {
    every_ = terminal_ ? 0.5 : 10.0;
    nextAt_ = every_;
  }
  ~ProgressPrinter() {
    if (shown_) std::fprintf(stderr, "\n");
  }
  void Poll() {
    const double s = std::chrono::duration<double>(Clock::now() - start_).count();
    if (quiet_ || s < nextAt_) return;
    ProgressLine(static_cast<long>(Camera().FramesDelivered()), total_, s, !terminal_);
    shown_ = terminal_;
    nextAt_ = s + every_;
  }

 private:
  bool quiet_, terminal_;
  long total_;
  double every_, nextAt_;
  bool shown_ = false;
  Clock::time_point start_ = Clock::now();
};

// What the replay reads: the source, how many frames it should have (-1: unknown), its frame
// rate (0: unknown) and the count of images skipped on the way.
struct ReplayInput {
  std::unique_ptr<FrameSource> source;
  long total = -1;
  double fps = 0;
  std::shared_ptr<std::atomic<long>> skipped = std::make_shared<std::atomic<long>>(0);
};

bool OpenCameraInput(int cam, ReplayInput* in, ReplayOutcome* outcome) {
  in->source = std::make_unique<V4L2CameraSource>(cam);
  if (!in->source->Open())
    return IoError(outcome, "cannot open camera " + std::to_string(cam) + " (/dev/video" +
                                std::to_string(cam) + ")");
  in->source->Close();
  return true;
}

bool OpenSequenceInput(const ReplayOptions& o, bool pattern, ReplayInput* in,
                       ReplayOutcome* outcome) {
  auto seq = std::make_unique<ImageSequenceSource>(o.input, o.paced ? 30.0 : 0.0);
  auto skipped = in->skipped;
  seq->OnSkipped([skipped](const std::string& file, const std::string& reason) {
    WarnSkipped(file, reason, skipped.get());
  });
  if (!seq->Open()) return IoError(outcome, "no readable images in " + o.input);
  in->total = pattern ? -1 : static_cast<long>(seq->Files().size());
  seq->Close();
  in->source = std::move(seq);
  return true;
}

bool OpenVideoInput(const ReplayOptions& o, ReplayInput* in, ReplayOutcome* outcome) {
  cv::VideoCapture probe;
  cv::Mat first;
  bool ok = false;
  try {
    ok = OpenVideoFile(probe, o.input) && probe.read(first) && !first.empty();
  } catch (const cv::Exception&) {
    ok = false;
  }
  if (!ok)
    return IoError(outcome,
                   o.input + " is not a video that can be read (unknown or damaged format)");
  in->fps = probe.get(cv::CAP_PROP_FPS);
  const double count = probe.get(cv::CAP_PROP_FRAME_COUNT);
  in->total = count > 0 && std::isfinite(count) ? static_cast<long>(count) : -1;
  probe.release();
  in->source = std::make_unique<VideoFileSource>(
      o.input, o.paced ? Pacing::RealTime : Pacing::AsFastAsPossible);
  return true;
}

// Checks and opens the input before anything is written.
bool OpenInput(const ReplayOptions& o, ReplayInput* in, ReplayOutcome* outcome) {
  bool ok = true;
  if (o.camera) {
    ok = OpenCameraInput(*o.camera, in, outcome);
  } else {
    const bool pattern = o.input.find('%') != std::string::npos;
    if (!pattern && !FileExists(o.input))
      return IoError(outcome, "no such file or folder: " + o.input);
    if (!pattern && ::access(o.input.c_str(), R_OK) != 0)
      return IoError(outcome, "cannot read " + o.input + ": " + std::strerror(errno));
    ok = pattern || IsDirectory(o.input) ? OpenSequenceInput(o, pattern, in, outcome)
                                         : OpenVideoInput(o, in, outcome);
  }
  if (o.maxFrames > 0 && (in->total < 0 || in->total > o.maxFrames)) in->total = o.maxFrames;
  return ok;
}

bool ReadMapping(const ReplayOptions& o, GazeMapping* mapping, ReplayOutcome* outcome) {
  std::string why, warning;
  if (o.mappingFile.empty()) return true;
  if (!ReadLastMappingFromFile(o.mappingFile, mapping, &why, nullptr, &warning))
    return IoError(outcome, why);
  if (!warning.empty()) std::fprintf(stderr, "pupiltrak08-replay: warning: %s\n", warning.c_str());
  return true;
}

// A file can be read ahead: the face of each frame is found on a thread of its own while the
// pipeline still works on the frame before. Null for a camera, or without a cascade.
std::shared_ptr<FacesAhead> ReadFacesAhead(const ReplayOptions& o, ReplayInput* in) {
  if (o.camera) return nullptr;
  auto faces = std::make_shared<FacesAhead>();
  TrackerState asked;
  asked.Apply(SettingsOf(o));
  if (!faces->Load(FindFaceCascade(ExecutableDirectory()), FaceSearchOf(asked))) return nullptr;
  auto prepare = [faces](const cv::Mat& frame, int64_t index) { faces->Prepare(frame, index); };
  in->source = std::make_unique<PrepareAheadSource>(std::move(in->source), 3, prepare);
  return faces;
}

// The cascade, the options and the stage clock on a session, with the dialog's canvas and
// full screen when there is one.
bool SetUpRunSession(const ReplayOptions& o, TrackerSession& session, DialogCanvas* canvas,
                     QSize fullScreen, ReplayOutcome* outcome) {
  std::string error;
  std::shared_ptr<cv::CascadeClassifier> cascade = LoadCascade(&error);
  if (!cascade) return IoError(outcome, error);
  SetUpSession(session, std::move(cascade), canvas, fullScreen);
  session.state.Apply(SettingsOf(o));
  session.MeasureStageTimes(true);
  return true;
}

bool OpenMosaicWriter(const ReplayOptions& o, const Outputs& out, TrackerState& state,
                      ReplayOutcome* outcome) {
  if (!o.writeMosaic) return true;
  auto writer = std::make_unique<cv::VideoWriter>(
      out.mosaicTemp, cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), 30.0, cv::Size(320, 240), true);
  if (!writer->isOpened())
    return IoError(outcome, "cannot write the mosaic video " + out.mosaicPath);
  state.CaptureWriter = std::move(writer);
  return true;
}

// The CSV and the mosaic video moved into place.
bool CommitOutputs(const Outputs& out, TrackerState& state, ReplayOutcome* outcome) {
  bool writerOk = true;
  if (state.CaptureWriter) {
    state.CaptureWriter->release();
    state.CaptureWriter.reset();
    writerOk = std::rename(out.mosaicTemp.c_str(), out.mosaicPath.c_str()) == 0;
    outcome->mosaicPath = out.mosaicPath;
  }
  std::string error;
  if (!out.csv->Commit(&error)) return IoError(outcome, error);
  if (!writerOk)
    return IoError(outcome, "cannot move the mosaic video into place: " + out.mosaicPath);
  return true;
}

// --mapping: gaze.png, the heat map of every gaze estimate.
bool WriteGazeHeatMap(const ReplayOptions& o, const FrameRecorder& recorder,
                      ReplayOutcome* outcome) {
  if (o.mappingFile.empty()) return true;
  std::vector<cv::Point2d> gaze;
  for (const GazeSample& g : recorder.Samples()) gaze.push_back(g.gaze);
  outcome->picturePath = Join(o.outputDir, "gaze.png");
  const cv::Size screen(o.screenWidth, o.screenHeight);
  cv::Mat picture = DrawGazeHeatMap(screen, gaze);
  DrawScanPath(picture, screen, outcome->fixations);
  std::string error;
  if (!WritePicture(outcome->picturePath, picture, &error)) return IoError(outcome, error);
  return true;
}

// A run stopped by SIGINT or SIGTERM: what was done is kept, and said.
void NoteInterruption(ReplayOutcome* outcome) {
  const int signal = InterruptSignal();
  outcome->interrupted = true;
  outcome->exitCode = InterruptedExitStatus(signal);
  outcome->message = "interrupted at frame " + std::to_string(outcome->summary.frames) + " by " +
                     SignalName(signal) + "; the frames processed are kept";
}

// A file that ends before the frames it announced looks truncated: exit status 3.
void NoteTruncation(const ReplayOptions& o, long total, ReplayOutcome* outcome) {
  if (Interrupted()) return NoteInterruption(outcome);
  const long done = outcome->summary.frames;
  if (o.camera || total <= 0 || done + outcome->skippedFiles >= total) return;
  if (o.maxFrames > 0 && done >= o.maxFrames) return;
  outcome->exitCode = kExitTruncated;
  outcome->message = "the input ended at frame " + std::to_string(done) + " of " +
                     std::to_string(total) + " (the file looks truncated); the " +
                     std::to_string(done) + " frames read were processed";
}

// A source handed over once to the camera layer.
SessionRunner::SourceMaker Once(std::unique_ptr<FrameSource> source) {
  auto held = std::make_shared<std::unique_ptr<FrameSource>>(std::move(source));
  return [held] { return std::move(*held); };
}

// The recorder, the mapping and the faces found ahead, on the runner and the session.
void ConnectRunner(const ReplayOptions& o, const GazeMapping& mapping,
                   const std::shared_ptr<FacesAhead>& faces, FrameRecorder& recorder,
                   TrackerSession& session, SessionRunner& runner) {
  if (!o.mappingFile.empty()) runner.SetMapping(mapping, QSize(o.screenWidth, o.screenHeight));
  runner.AddListener([&recorder](const FrameRecord& record) { recorder.OnFrame(record); });
  runner.SetFrameLimit(o.maxFrames);
  if (faces) {
    runner.SetBeforeFrame([faces](int64_t index) { faces->Expect(index); });
    session.Pipeline().takePreparedFace = [faces](PreparedFace* face) { return faces->Take(face); };
  }
  session.Pipeline().composeMosaic = o.writeMosaic || o.writePanels;
}

// Every frame of the input (or up to the limit, or a signal), with the progress line; the stream
// ends with it.
bool RunFrames(const ReplayOptions& o, long total, TrackerSession& session, SessionRunner& runner,
               ReplayOutcome* outcome) {
  const auto start = Clock::now();
  if (!runner.Start()) {
    EndStream(o, session.stream, outcome);
    return IoError(outcome, "cannot start reading " + (o.camera ? "the camera" : o.input));
  }
  {
    ProgressPrinter progress(o, total);
    runner.Wait([&progress] { progress.Poll(); });
  }
  runner.Finish();
  // The last fixation ends with the input, before the stream does.
  session.FinishFixations();
  EndStream(o, session.stream, outcome);
  outcome->wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  ResidentMemoryKb(&outcome->summary.residentAtEndKb, &outcome->summary.residentPeakKb);
  return true;
}

// An image input none of whose images could be read is no input at all, like an empty folder:
// nothing is committed (the CSV's .partial copy goes with the outputs, the mosaic's here).
bool AnyImageRead(const ReplayOptions& o, const Outputs& out, TrackerState& state,
                  ReplayOutcome* outcome) {
  if (outcome->summary.frames > 0 || outcome->skippedFiles == 0 || Interrupted()) return true;
  if (state.CaptureWriter) {
    state.CaptureWriter->release();
    state.CaptureWriter.reset();
    std::remove(out.mosaicTemp.c_str());
  }
  return IoError(outcome, "no image in " + o.input + " could be read (" +
                              std::to_string(outcome->skippedFiles) + " skipped)");
}

}  // namespace

void WarnSkipped(const std::string& file, const std::string& reason, std::atomic<long>* count) {
  ++*count;
  // Clears a progress line being rewritten in place.
  std::fprintf(stderr, "%spupiltrak08-replay: skipped %s: %s\n",
               ::isatty(STDERR_FILENO) ? "\r\033[K" : "", file.c_str(), reason.c_str());
}

ReplayOutcome RunReplay(const ReplayOptions& o, const PrepareRun& prepare) {
  ReplayOutcome outcome;
  HeadlessPlatform platform;
  TrackerSession session;
  ReplayInput input;
  GazeMapping mapping;
  Outputs out;
  if (!OpenInput(o, &input, &outcome) || !ReadMapping(o, &mapping, &outcome)) return outcome;
  std::shared_ptr<FacesAhead> faces = ReadFacesAhead(o, &input);
  if (!PrepareOutputs(o, false, &out, &outcome) ||
      !SetUpRunSession(o, session, nullptr, QSize(), &outcome) ||
      !OpenMosaicWriter(o, out, session.state, &outcome))
    return outcome;

  outcome.summary.keepStages = o.stages;
  FrameRecorder recorder(*out.csv, outcome.summary, out.panelDir, input.fps);
  FixationFile fixationFile;
  if (!o.mappingFile.empty()) {
    // Fixations are timed by the recording's own frame rate.
    if (input.fps > 0 && std::isfinite(input.fps)) session.gazeFramesPerSecond = input.fps;
    if (!fixationFile.Open(o.outputDir, session, &outcome)) return outcome;
  }
  SessionRunner runner(session, Once(StopWhenInterrupted(std::move(input.source))));
  ConnectRunner(o, mapping, faces, recorder, session, runner);
  if (!StartStream(o, session.stream, &outcome)) return outcome;
  if (prepare) prepare(session);
  if (!RunFrames(o, input.total, session, runner, &outcome)) return outcome;
  outcome.skippedFiles = input.skipped->load();
  if (AnyImageRead(o, out, session.state, &outcome) &&
      CommitOutputs(out, session.state, &outcome) && fixationFile.Commit(&outcome) &&
      WriteGazeHeatMap(o, recorder, &outcome))
    NoteTruncation(o, input.total, &outcome);
  return outcome;
}

}  // namespace pupiltrak

// Resources of a static library must be registered by name, outside any namespace.
static void InitDemoResources() { Q_INIT_RESOURCE(demo); }

namespace pupiltrak {

namespace {

// The demo's face: a real photograph built into the program, with its eye centres.
bool LoadDemoFace(gen::FacePhoto* photo, ReplayOutcome* outcome) {
  InitDemoResources();
  QFile file(":/demo/jesper_2.jpg");
  if (!file.open(QIODevice::ReadOnly))
    return IoError(outcome, "the demo photograph is missing from the program");
  QByteArray bytes = file.readAll();
  std::vector<uchar> buffer(bytes.begin(), bytes.end());
  photo->image = cv::imdecode(buffer, cv::IMREAD_COLOR);
  if (photo->image.empty()) return IoError(outcome, "the demo photograph cannot be decoded");
  // Eye centres of jesper_2.jpg (image-left eye first), from the test data's eye_centres.csv.
  photo->eye = {cv::Point2f(325.5f, 211.0f), cv::Point2f(437.167f, 211.667f)};
  return true;
}

const QSize kDemoFullScreen(1024, 710), kDemoScreen(1024, 768);

// The demo's machine: its screen, the output folder as the program's and the seed as the clock.
void SetUpDemoMachine(const ReplayOptions& o, HeadlessPlatform& platform) {
  platform.machine.SetFullScreenSize(kDemoFullScreen);
  platform.machine.SetScreenSize(kDemoScreen);
  platform.machine.SetProgramDirectory(Absolute(o.outputDir));
  platform.machine.SetNow(static_cast<std::time_t>(o.demoSeed));
}

// --mosaic: the capture file, chosen as the user would, with its codec.
void ChooseDemoCaptureFile(const ReplayOptions& o, TrackerState& state, ScriptedPrompts& prompts,
                           Outputs* out) {
  if (!o.writeMosaic) return;
  out->mosaicPath = Absolute(Join(o.outputDir, o.mosaicName));
  std::remove(out->mosaicPath.c_str());
  state.SetCaptureFileName(out->mosaicPath);
  state.CaptureToFile = 1;
  prompts.QueueCodec(VideoCodec{cv::VideoWriter::fourcc('M', 'J', 'P', 'G'), "MJPG"});
}

TargetFollowingUser::Options DemoUserOptions(const ReplayOptions& o) {
  TargetFollowingUser::Options options;
  options.user.screen = cv::Size(kDemoScreen.width(), kDemoScreen.height());
  options.seed = o.demoSeed;
  options.accuracyFrames = o.demoAccuracyFrames;
  options.maxFrames = 5000 + o.demoAccuracyFrames;  // a calibration that never ends stops here
  for (const ReplayOptions::ScanPoint& p : o.demoScanPath)
    options.scanPath.push_back({cv::Point2d(p.x, p.y), p.frames});
  return options;
}

// The accuracy lines as the protocol has them, from the session's own figures.
std::vector<std::string> AccuracyLines(TrackerSession& session) {
  std::vector<std::string> lines;
  std::istringstream text(AccuracyLinesText(session.accuracy.Sums(), session.samples.Width()));
  for (std::string line; std::getline(text, line);) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (!line.empty()) lines.push_back(line);
  }
  return lines;
}

// The data-quality figures of the accuracy test, and the fixations per target, as lines.
std::vector<std::string> QualityLines(const GazeQualityFigures& q, size_t fixations) {
  char line[240];
  std::vector<std::string> lines;
  std::snprintf(line, sizeof line,
                "Data quality: accuracy %.2f deg, precision RMS %.2f deg, SD %.2f deg, data loss "
                "%.1f %%",
                q.accuracyDegrees, q.precisionRmsDegrees, q.precisionSdDegrees, q.dataLossPercent);
  lines.push_back(line);
  std::snprintf(
      line, sizeof line, "Fixations: %zu (%.2f per accuracy target)", fixations,
      q.targets > 0 ? static_cast<double>(fixations) / static_cast<double>(q.targets) : 0.0);
  lines.push_back(line);
  return lines;
}

// accuracy.png: the targets, every estimate and the two accuracy figures.
bool WriteAccuracyPicture(const ReplayOptions& o, TrackerSession& session,
                          const FrameRecorder& recorder, ReplayOutcome* outcome) {
  std::vector<cv::Point2d> calibrationTargets;
  session.samples.WithData([&](const CalibrationData& data) {
    for (const CalibrationTarget& t : data.targets) calibrationTargets.emplace_back(t.x, t.y);
  });
  AccuracyFigure figure;
  static_cast<SampleAccuracy&>(figure) =
      MeasureSampleAccuracy(recorder.Samples(), kDemoFullScreen.width());
  if (outcome->accuracy.size() >= 3) {
    auto value = [](const std::string& line) { return line.substr(line.rfind(": ") + 2); };
    figure.protocolPixels = value(outcome->accuracy[0]);
    figure.protocolDegrees = value(outcome->accuracy[2]);
  }
  if (!outcome->qualityLines.empty()) figure.quality = outcome->qualityLines[0];
  outcome->picturePath = Join(o.outputDir, "accuracy.png");
  const cv::Size screen(kDemoScreen.width(), kDemoScreen.height());
  cv::Mat picture = DrawAccuracyPicture(screen, calibrationTargets, recorder.Samples(), figure);
  DrawScanPath(picture, screen, outcome->fixations);
  std::string error;
  if (!WritePicture(outcome->picturePath, picture, &error)) return IoError(outcome, error);
  return true;
}

// The demo's CSV, accuracy lines and picture once its session has stopped.
bool FinishDemo(const ReplayOptions& o, const Outputs& out, FixationFile& fixationFile,
                TargetFollowingUser& user, TrackerSession& session, const FrameRecorder& recorder,
                ReplayOutcome* outcome) {
  std::string error;
  if (!out.csv->Commit(&error)) return IoError(outcome, error);
  if (!fixationFile.Commit(outcome)) return false;
  if (Interrupted()) return NoteInterruption(outcome), false;
  if (user.FramesOnAccuracyTargets() == 0)
    return IoError(outcome,
                   "the calibration did not complete: the virtual user's pupils were not found "
                   "often enough");
  outcome->accuracy = AccuracyLines(session);
  outcome->quality = session.quality.Figures(session.samples.Width());
  outcome->accuracyTargets = static_cast<int>(outcome->quality.targets);
  outcome->qualityLines = QualityLines(outcome->quality, outcome->fixations.size());
  return WriteAccuracyPicture(o, session, recorder, outcome);
}

}  // namespace

ReplayOutcome RunDemo(const ReplayOptions& o, const PrepareRun& prepare) {
  ReplayOutcome outcome;
  gen::FacePhoto photo;
  Outputs out;
  if (!LoadDemoFace(&photo, &outcome) || !PrepareOutputs(o, true, &out, &outcome)) return outcome;
  HeadlessPlatform platform;
  SetUpDemoMachine(o, platform);
  // Declared after the canvas: the session's charts and pipeline draw into it to the end.
  DialogCanvas canvas(480, 869);
  TrackerSession session;
  // As the dialog sets itself up; the user ticks both options and leaves the sliders as given.
  ReplayOptions both = o;
  both.eyeRegions = both.gazeDirection = 1;
  FixationFile fixationFile;
  if (!SetUpRunSession(both, session, &canvas, kDemoFullScreen, &outcome) ||
      !StartStream(o, session.stream, &outcome) ||
      !fixationFile.Open(o.outputDir, session, &outcome))
    return outcome;
  session.settleMs = o.settleMs;
  if (prepare) prepare(session);
  ChooseDemoCaptureFile(o, session.state, platform.prompts, &out);

  TargetFollowingUser user(gen::FaceFrameGenerator(photo, gen::SubPixelScene(cv::Size(640, 480))),
                           platform.targets, DemoUserOptions(o));
  FrameRecorder recorder(*out.csv, outcome.summary, out.panelDir, 30.0);
  recorder.SetLookSource([&user] { return user.LastLook(); });
  SessionRunner runner(session, [&user] {
    return StopWhenInterrupted(
        std::make_unique<GeneratedSource>([&user](int64_t i) { return user.Frame(i); }));
  });
  runner.AddListener([&recorder](const FrameRecord& record) { recorder.OnFrame(record); });

  ConsoleLog log(!o.quiet);
  const auto start = Clock::now();
  runner.HoldFrames();
  runner.StartAsProgram(log);
  session.Calibrate(log);
  runner.ReleaseFrames();
  runner.Wait();
  StopTrackingCommand(session, log);
  EndStream(o, session.stream, &outcome);
  outcome.wallSeconds = std::chrono::duration<double>(Clock::now() - start).count();
  outcome.log = log.Lines();
  outcome.protocolPath = CalibrationProtocolPath(session.platform.Machine());
  outcome.mosaicPath = out.mosaicPath;
  if (!o.quiet)
    canvas.Snapshot().save(QString::fromStdString(Join(o.outputDir, "dialog-client.png")));
  FinishDemo(o, out, fixationFile, user, session, recorder, &outcome);
  return outcome;
}

}  // namespace pupiltrak
