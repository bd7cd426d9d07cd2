// pupiltrak08-replay: the eye tracker on recorded video, or the built-in demo, without a dialog.
#include <QGuiApplication>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <opencv2/core/utils/logger.hpp>
#include <thread>

#include "Interruption.h"
#include "ReplayBatch.h"
#include "ReplayOptions.h"
#include "ReplayRun.h"
#include "platform/CameraLibrary.h"

namespace pupiltrak {

namespace {

// The libraries' own messages: the program reports every failure it handles in a sentence of
// its own, so they only show with --verbose.
void DropQtMessage(QtMsgType, const QMessageLogContext&, const QString&) {}

// A worker of a batch tells the batch how far it is, twice a second, on standard output.
class ProgressReporter {
 public:
  ProgressReporter()
      : thread_([this] {
          std::unique_lock<std::mutex> lock(mutex_);
          while (!cv_.wait_for(lock, std::chrono::milliseconds(500), [this] { return stop_; })) {
            std::fputs(WorkerProgressLine(static_cast<long>(Camera().FramesDelivered())).c_str(),
                       stdout);
            std::fflush(stdout);
          }
        }) {}
  ~ProgressReporter() {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      stop_ = true;
    }
    cv_.notify_one();
    thread_.join();
  }

 private:
  std::mutex mutex_;
  std::condition_variable cv_;
  bool stop_ = false;
  std::thread thread_;
};

int RunWorker(const ReplayOptions& options) {
  ReplayOutcome outcome;
  {
    ProgressReporter progress;
    outcome = RunReplay(options);
  }
  const ReplaySummary& s = outcome.summary;
  if (outcome.exitCode == kExitOk || outcome.exitCode == kExitTruncated || outcome.interrupted) {
    std::fputs(WorkerResultLine(s.frames, s.faceFound, s.bothPupils, s.blinks, outcome.wallSeconds,
                                outcome.skippedFiles)
                   .c_str(),
               stdout);
    std::fputs(s.Format(outcome.wallSeconds).c_str(), stderr);
    std::fputs(s.FormatStages().c_str(), stderr);
    if (outcome.skippedFiles > 0)
      std::fprintf(stderr, "skipped files: %ld\n", outcome.skippedFiles);
    if (!outcome.fixationsPath.empty())
      std::fprintf(stderr, "fixations: %zu in %s\n", outcome.fixations.size(),
                   outcome.fixationsPath.c_str());
  }
  // The batch reports the failure itself; the worker's log keeps it too.
  if (outcome.exitCode != kExitOk) {
    std::fputs(WorkerErrorLine(outcome.exitCode, outcome.message).c_str(), stdout);
    std::fprintf(stderr, "error: %s\n", outcome.message.c_str());
  }
  std::fflush(stdout);
  return outcome.exitCode;
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  qInstallMessageHandler(DropQtMessage);
  std::string error;
  auto options = ParseReplayOptions(argc, argv, &error);
  if (!options) {
    std::fprintf(stderr, "pupiltrak08-replay: %s\n", error.c_str());
    return kExitUsage;
  }
  if (options->help) {
    std::fputs(ReplayUsage().c_str(), stdout);
    return kExitOk;
  }
  if (options->version) {
    std::fputs(ReplayVersion().c_str(), stdout);
    return kExitOk;
  }
  if (options->verbose) {
    qInstallMessageHandler(nullptr);
  } else {
    cv::utils::logging::setLogLevel(cv::utils::logging::LOG_LEVEL_SILENT);
    // FFmpeg's own log ("[mjpeg @ ...] overread"), read when OpenCV first loads it: quiet.
    setenv("OPENCV_FFMPEG_LOGLEVEL", "-8", 0);
  }
  // Ctrl-C and SIGTERM stop after the frame in hand and keep what was done.
  InstallInterruptionHandlers();
  // The panels are drawn with Qt's painting, which needs an application but no display.
  setenv("QT_QPA_PLATFORM", "offscreen", 1);
  int qtArgc = 1;
  QGuiApplication app(qtArgc, argv);
  // --jobs makes even one input a batch, so that a share of a split batch looks like any other.
  if (options->inputs.size() > 1 || (options->jobs > 0 && !options->batchWorker))
    return RunBatch(*options, QCoreApplication::applicationFilePath().toStdString());
  if (options->batchWorker) return RunWorker(*options);

  ReplayOutcome outcome = options->demo ? RunDemo(*options) : RunReplay(*options);
  if (outcome.exitCode != kExitOk && outcome.exitCode != kExitTruncated && !outcome.interrupted) {
    std::fprintf(stderr, "pupiltrak08-replay: %s\n", outcome.message.c_str());
    return outcome.exitCode;
  }
  std::fputs(outcome.summary.Format(outcome.wallSeconds).c_str(), stderr);
  std::fputs(outcome.summary.FormatStages().c_str(), stderr);
  if (outcome.skippedFiles > 0)
    std::fprintf(stderr, "skipped files: %ld (unreadable or empty images)\n", outcome.skippedFiles);
  std::fprintf(stderr, "CSV: %s\n", outcome.csvPath.c_str());
  if (!options->streamEndpoint.empty())
    std::fprintf(stderr, "stream: %llu messages to %s, %llu dropped\n",
                 static_cast<unsigned long long>(outcome.streamSent),
                 outcome.streamEndpoint.c_str(),
                 static_cast<unsigned long long>(outcome.streamDropped));
  if (!outcome.mosaicPath.empty()) std::fprintf(stderr, "mosaic: %s\n", outcome.mosaicPath.c_str());
  if (!outcome.picturePath.empty())
    std::fprintf(stderr, "picture: %s\n", outcome.picturePath.c_str());
  if (options->demo) {
    std::fprintf(stderr, "protocol: %s\n", outcome.protocolPath.c_str());
    for (const auto& line : outcome.accuracy) std::printf("%s\n", line.c_str());
    for (const auto& line : outcome.qualityLines) std::printf("%s\n", line.c_str());
  }
  if (!outcome.fixationsPath.empty())
    std::fprintf(stderr, "fixations: %zu in %s\n", outcome.fixations.size(),
                 outcome.fixationsPath.c_str());
  if (outcome.exitCode == kExitTruncated || outcome.interrupted)
    std::fprintf(stderr, "pupiltrak08-replay: %s\n", outcome.message.c_str());
  return outcome.exitCode;
}
