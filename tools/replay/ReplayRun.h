#pragma once
// Runs the tracker without its dialog: on a recorded input, or the built-in demo session.

#include <atomic>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

#include "ReplayOptions.h"
#include "ReplayReport.h"
#include "mapping/Fixations.h"
#include "mapping/GazeQuality.h"

namespace pupiltrak {

class TrackerSession;

// The replay's exit statuses (a batch adds kExitBatchFailed).
inline constexpr int kExitOk = 0;
inline constexpr int kExitUsage = 1;
inline constexpr int kExitIoError = 2;
inline constexpr int kExitTruncated = 3;

struct ReplayOutcome {
  int exitCode = kExitOk;
  std::string message;  // the one clear sentence of a failure, or a note (empty when none)
  ReplaySummary summary;
  double wallSeconds = 0;
  std::string csvPath;
  std::string mosaicPath;
  std::string protocolPath;           // demo only
  std::string picturePath;            // accuracy.png (demo), gaze.png (--mapping); or empty
  std::vector<std::string> accuracy;  // demo only: the protocol's accuracy lines
  std::vector<std::string> log;       // the event log of the run
  // Whenever gaze is estimated: the fixations, in the order they ended, and their CSV.
  std::vector<Fixation> fixations;
  std::string fixationsPath;
  // Demo only: the accuracy test's data-quality figures, its targets and their lines.
  GazeQualityFigures quality;
  int accuracyTargets = 0;
  std::vector<std::string> qualityLines;
  long skippedFiles = 0;     // unreadable or empty images of a sequence, skipped
  bool interrupted = false;  // stopped by SIGINT or SIGTERM; what was done is kept
  // --stream: the endpoint bound, the messages queued for subscribers and those dropped.
  std::string streamEndpoint;
  uint64_t streamSent = 0, streamDropped = 0;
};

// Says on standard error that an image of a sequence was skipped and why, and counts it.
void WarnSkipped(const std::string& file, const std::string& reason, std::atomic<long>* count);

// Makes the output folder and its parents; false with a sentence that names the folder at fault
// (a parent that cannot be written, a file in the way) in *error.
bool MakeOutputFolder(const std::string& path, std::string* error);

// Sees the run's session once it is set up and its stream (if any) is on, before the first
// frame is read (benchmarks attach their probes there, tests wait for their subscriber).
using PrepareRun = std::function<void(TrackerSession&)>;

// Replays options.input (or options.camera). prepare may be empty.
ReplayOutcome RunReplay(const ReplayOptions& options, const PrepareRun& prepare = {});
// The built-in demo: tracking, the whole calibration run and the accuracy test of a virtual
// user, as the dialog would run them, into options.outputDir. prepare may be empty.
ReplayOutcome RunDemo(const ReplayOptions& options, const PrepareRun& prepare = {});

}  // namespace pupiltrak
