#pragma once
// Command-line options of pupiltrak08-replay.

#include <optional>
#include <string>

struct ReplayOptions {
  // Input: a video file, an image sequence (folder or printf pattern), or a camera index.
  std::string input;
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
  bool stages = false;  // per-stage times and resident memory in the summary
  bool help = false;
  bool precise = false;  // precise pupils (the dialog menu's "Precise pupils")

  // The dialog's options and sliders, with the dialog's defaults.
  int eyeRegions = 0;
  int gazeDirection = 0;
  int equalizeHist1 = 0;
  int equalizeHist2 = 1;
  int finder1Param1 = 1;
  int finder1Param2 = 1;
  int finder2Param1 = 60;
  int finder2Param2 = 30;

  // Demo only: the virtual user's screen and the accuracy-test length.
  int demoAccuracyFrames = 600;
  unsigned demoSeed = 8;
};

// Parses argv; on a bad argument returns nothing and sets *error to one clear sentence.
std::optional<ReplayOptions> ParseReplayOptions(int argc, const char* const* argv,
                                                std::string* error);

// The --help text.
std::string ReplayUsage();
