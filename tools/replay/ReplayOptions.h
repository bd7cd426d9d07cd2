#pragma once
// Command-line options of pupiltrak08-replay.

#include <optional>
#include <string>
#include <vector>

#include "tracking/TrackerSettings.h"

namespace pupiltrak {

struct ReplayOptions {
  // Input: a video file, an image sequence (folder or printf pattern), or a camera index.
  std::string input;
  // Every input named; more than one makes a batch (one worker process per input).
  std::vector<std::string> inputs;
  std::optional<int> camera;
  bool demo = false;  // no input given: the built-in demo session

  std::string outputDir = "replay-out";
  std::string csvName = "frames.csv";
  bool writeMosaic = false;
  std::string mosaicName = "mosaic.avi";
  bool writePanels = false;  // status panel snapshots as PNGs
  long maxFrames = -1;
  bool paced = false;
  bool quiet = false;
  bool stages = false;   // per-stage times and resident memory in the summary
  bool verbose = false;  // let the libraries' own messages through
  bool help = false;
  bool version = false;

  // A batch: worker processes at once (0: the number of cores).
  int jobs = 0;
  // Set on a worker of a batch: machine-readable progress and result on standard output.
  bool batchWorker = false;

  // The dialog's options and sliders, with the dialog's defaults.
  int eyeRegions = kDefaultSearchEyeRegions;
  int gazeDirection = kDefaultEstimateGazeDirection;
  int equalizeHist1 = kDefaultEqualizeHist1;
  int equalizeHist2 = kDefaultEqualizeHist2;
  int finder1Param1 = kDefaultFinder1Param1;
  int finder1Param2 = kDefaultFinder1Param2;
  int finder2Param1 = kDefaultFinder2Param1;
  int finder2Param2 = kDefaultFinder2Param2;

  // Precise pupils: gradient eye centre and sub-pixel pupil and glint.
  bool precise = kDefaultPrecisePupils != 0;
  // The smallest face searched for, as a share of the picture's height.
  double smallestFace = kDefaultSmallestFace;
  // Follow the face: search near the last face first.
  bool followFace = kDefaultFollowFace != 0;
  // Robust tracking: smaller faces, following and precise pupils together.
  bool robust = kDefaultRobustTracking != 0;
  // Where the gaze is published over ZeroMQ; empty: not published.
  std::string streamEndpoint;
  // The calibration protocol file whose last complete mapping report gives the gaze.
  std::string mappingFile;
  // The screen the mapping was made on, in pixels.
  int screenWidth = 1920, screenHeight = 1080;
  bool screenGiven = false;

  // Settling: milliseconds after each new accuracy target left out of the accuracy lines
  // (0: none, the protocol as always).
  int settleMs = 0;

  // Demo only: the virtual user's screen and the accuracy-test length.
  int demoAccuracyFrames = 600;
  unsigned demoSeed = 8;
  // The demo's user follows this scan path (screen pixels, frames on each point) in the
  // accuracy test instead of its targets; empty: the targets (tests only, no option).
  struct ScanPoint {
    double x = 0, y = 0;
    int frames = 0;
  };
  std::vector<ScanPoint> demoScanPath;
};

// Where --stream publishes when no endpoint follows it.
inline constexpr const char* kDefaultStreamEndpoint = "tcp://127.0.0.1:5570";

// Parses argv; on a bad argument returns nothing and sets *error to one clear sentence.
std::optional<ReplayOptions> ParseReplayOptions(int argc, const char* const* argv,
                                                std::string* error);

// The arguments that make a worker run options on one input into its own output folder:
// every option as given, as a batch worker, without a progress line of its own.
std::vector<std::string> WorkerArguments(const ReplayOptions& options, const std::string& input,
                                         const std::string& outputDir);

// The long names of every option the parser knows (for the help text's completeness).
std::vector<std::string> ReplayOptionNames();

// The --help text.
std::string ReplayUsage();
// The --version line.
std::string ReplayVersion();

}  // namespace pupiltrak
