#include "ReplayOptions.h"

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <map>

namespace {

bool ParseInt(const std::string& text, long lo, long hi, long* out) {
  if (text.empty()) return false;
  errno = 0;
  char* end = nullptr;
  long v = std::strtol(text.c_str(), &end, 10);
  if (errno != 0 || *end != '\0' || v < lo || v > hi) return false;
  *out = v;
  return true;
}

bool ParseSwitch(const std::string& text, int* out) {
  if (text == "on" || text == "1" || text == "true") {
    *out = 1;
    return true;
  }
  if (text == "off" || text == "0" || text == "false") {
    *out = 0;
    return true;
  }
  return false;
}

}  // namespace

std::optional<ReplayOptions> ParseReplayOptions(int argc, const char* const* argv,
                                                std::string* error) {
  ReplayOptions o;
  // Flags that take a value; each stores it or fails with a message.
  using Setter = std::function<bool(const std::string&)>;
  auto intFlag = [](long lo, long hi, auto* field) {
    return Setter([lo, hi, field](const std::string& v) {
      long n = 0;
      if (!ParseInt(v, lo, hi, &n)) return false;
      *field = static_cast<std::remove_pointer_t<decltype(field)>>(n);
      return true;
    });
  };
  auto switchFlag = [](int* field) {
    return Setter([field](const std::string& v) { return ParseSwitch(v, field); });
  };
  std::map<std::string, std::pair<Setter, const char*>> valued = {
      {"--input",
       {[&](const std::string& v) {
          o.input = v;
          return !v.empty();
        },
        "a path"}},
      {"--camera",
       {[&](const std::string& v) {
          long n = 0;
          if (!ParseInt(v, 0, 63, &n)) return false;
          o.camera = static_cast<int>(n);
          return true;
        },
        "a camera index from 0 to 63"}},
      {"--output-dir",
       {[&](const std::string& v) {
          o.outputDir = v;
          return !v.empty();
        },
        "a folder"}},
      {"--csv",
       {[&](const std::string& v) {
          o.csvName = v;
          return !v.empty();
        },
        "a file name"}},
      {"--mosaic",
       {[&](const std::string& v) {
          o.writeMosaic = true;
          o.mosaicName = v;
          return !v.empty();
        },
        "a file name"}},
      {"--max-frames", {intFlag(1, 100000000, &o.maxFrames), "a whole number from 1"}},
      {"--eye-regions", {switchFlag(&o.eyeRegions), "on or off"}},
      {"--gaze-direction", {switchFlag(&o.gazeDirection), "on or off"}},
      {"--equalize-hist1", {switchFlag(&o.equalizeHist1), "on or off"}},
      {"--equalize-hist2", {switchFlag(&o.equalizeHist2), "on or off"}},
      {"--finder1-param1", {intFlag(1, 200, &o.finder1Param1), "a whole number from 1 to 200"}},
      {"--finder1-param2", {intFlag(1, 200, &o.finder1Param2), "a whole number from 1 to 200"}},
      {"--finder2-param1", {intFlag(1, 200, &o.finder2Param1), "a whole number from 1 to 200"}},
      {"--finder2-param2", {intFlag(1, 200, &o.finder2Param2), "a whole number from 1 to 200"}},
      {"--demo-accuracy-frames",
       {intFlag(1, 1000000, &o.demoAccuracyFrames), "a whole number from 1"}},
      {"--seed", {intFlag(0, 2147483647L, &o.demoSeed), "a whole number from 0"}},
  };
  for (int i = 1; i < argc; ++i) {
    std::string arg = argv[i];
    std::string value;
    bool hasValue = false;
    if (arg.rfind("--", 0) == 0) {
      auto eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasValue = true;
      }
    }
    if (arg == "--help" || arg == "-h") {
      o.help = true;
      continue;
    }
    if (arg == "--quiet" || arg == "-q") {
      o.quiet = true;
      continue;
    }
    if (arg == "--stages") {
      o.stages = true;
      continue;
    }
    if (arg == "--precise") {
      o.precise = true;
      continue;
    }
    if (arg == "--paced") {
      o.paced = true;
      continue;
    }
    if (arg == "--panels") {
      o.writePanels = true;
      continue;
    }
    if (arg == "--both") {  // both options on, as a user would tick them
      o.eyeRegions = o.gazeDirection = 1;
      continue;
    }
    auto it = valued.find(arg);
    if (it == valued.end()) {
      if (arg.rfind("-", 0) != 0 && o.input.empty() && !o.camera) {
        o.input = arg;  // a bare path is the input
        continue;
      }
      *error = "unknown option '" + arg + "' (see --help)";
      return std::nullopt;
    }
    if (!hasValue) {
      if (i + 1 >= argc) {
        *error = "option " + arg + " needs " + it->second.second;
        return std::nullopt;
      }
      value = argv[++i];
    }
    if (!it->second.first(value)) {
      *error = "option " + arg + " needs " + it->second.second + ", not '" + value + "'";
      return std::nullopt;
    }
  }
  if (!o.input.empty() && o.camera) {
    *error = "give either --input or --camera, not both";
    return std::nullopt;
  }
  // Gaze estimation needs the eye regions, as in the dialog.
  if (o.gazeDirection) o.eyeRegions = 1;
  o.demo = o.input.empty() && !o.camera;
  return o;
}

std::string ReplayUsage() {
  return R"(Usage: pupiltrak08-replay [INPUT] [options]

Runs the PUPILTRAK_08 eye tracker on recorded video, without its dialog, and writes one CSV
row per frame. Without an input it runs the built-in demo: a generated session of a virtual
user who looks at the nine calibration targets and then at the accuracy-test targets, with
the whole calibration and accuracy test run exactly as in the program.

Input (one of):
  INPUT, --input PATH     a video file, a folder of images, or a printf-style image pattern
                          such as frames/img%04d.png
  --camera N              camera N (V4L2), until --max-frames or Ctrl-C

Output:
  --output-dir DIR        where the outputs go (default: replay-out; created if missing)
  --csv NAME              the per-frame CSV inside DIR (default: frames.csv)
  --mosaic NAME           also record the annotated 320 x 240 mosaic as a video in DIR
  --panels                also save the status panel of every frame as PNG in DIR/panels
  --max-frames N          stop after N frames
  --paced                 play a file at its own frame rate (default: as fast as possible)
  --quiet, -q             no progress line
  --stages                add the time of every pipeline stage (median, mean, 95th
                          percentile) and the resident memory to the summary
  --help, -h              this text

Tracker options (the dialog's names and defaults):
  --eye-regions on|off    "Eye Regions" (default off)
  --gaze-direction on|off "Gaze Direction" (default off; switches the eye regions on too)
  --both                  both of the above on
  --equalize-hist1 on|off "Use EqualizeHist1" (default off)
  --equalize-hist2 on|off "Use EqualizeHist2" (default on)
  --finder1-param1 N      Finder1Param1, 1..200 (default 1)
  --finder1-param2 N      Finder1Param2, 1..200 (default 1)
  --finder2-param1 N      Finder2Param1, 1..200 (default 60)
  --finder2-param2 N      Finder2Param2, 1..200 (default 30)
  --precise               "Precise pupils" (default off): gradient eye centre, sub-pixel
                          pupil and glint

Demo only:
  --demo-accuracy-frames N  length of the accuracy test in frames (default 600)
  --seed N                  seed of the virtual user's noise and the targets (default 8)

CSV columns:
  frame, time_ms, face_found, face_x1, face_y1, face_x2, face_y2,
  pupil1_found, pupil1_x, pupil1_y, pupil2_found, pupil2_x, pupil2_y,
  dxL, dyL, dxR, dyR, blink, detection_ms, frame_ms
  (eye region 1 is the eye on the image's left and gives dxL, dyL)

A summary goes to standard error at the end. Exit status: 0 success, 1 bad usage,
2 input or output error, 3 the input ended early (a truncated file; what was read is kept).

Examples:
  pupiltrak08-replay                                   # the demo, into replay-out/
  pupiltrak08-replay session.avi --both --mosaic annotated.avi
  pupiltrak08-replay --input 'shots/%03d.png' --both --finder2-param2 20 --csv shots.csv
)";
}
