#include "ReplayOptions.h"

#include <QCommandLineParser>
#include <QRegularExpression>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <functional>

#include "platform/GazePublisher.h"

#ifndef PUPILTRAK_VERSION
#define PUPILTRAK_VERSION "unknown"
#endif

namespace pupiltrak {

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

// A share such as "0.25" or "1/4", whatever the locale's decimal sign, within [lo, hi].
bool ParseShare(const std::string& text, double lo, double hi, double* out) {
  const auto number = [](const char* first, const char* last, double* v) {
    const auto r = std::from_chars(first, last, *v);
    return r.ec == std::errc() && r.ptr == last && std::isfinite(*v);
  };
  const char* begin = text.data();
  const char* end = begin + text.size();
  const char* slash = std::find(begin, end, '/');
  double v = 0, divisor = 1;
  if (!number(begin, slash, &v)) return false;
  if (slash != end && (!number(slash + 1, end, &divisor) || !(divisor > 0))) return false;
  v /= divisor;
  // A small tolerance, so that "1/5" counts as the lower bound 0.2.
  if (!(v >= lo - 1e-9 && v <= hi + 1e-9)) return false;
  *out = std::clamp(v, lo, hi);
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

// An option that takes a value: its names, what the value must be (for the error sentence) and
// how it is stored (false: not a valid value).
struct Valued {
  QStringList names;
  const char* needs;
  std::function<bool(const std::string&, ReplayOptions&)> set;
};

// An option without a value.
struct Flag {
  QStringList names;
  std::function<void(ReplayOptions&)> set;
  bool hidden = false;
};

template <typename T>
std::function<bool(const std::string&, ReplayOptions&)> IntField(long lo, long hi,
                                                                 T ReplayOptions::*field) {
  return [lo, hi, field](const std::string& v, ReplayOptions& o) {
    long n = 0;
    if (!ParseInt(v, lo, hi, &n)) return false;
    o.*field = static_cast<T>(n);
    return true;
  };
}

std::function<bool(const std::string&, ReplayOptions&)> SwitchField(int ReplayOptions::*field) {
  return [field](const std::string& v, ReplayOptions& o) { return ParseSwitch(v, &(o.*field)); };
}

std::function<bool(const std::string&, ReplayOptions&)> TextField(
    std::string ReplayOptions::*field) {
  return [field](const std::string& v, ReplayOptions& o) {
    o.*field = v;
    return !v.empty();
  };
}

const std::vector<Valued>& ValuedOptions() {
  static const std::vector<Valued> options = {
      {{"input"}, "a path", [](const std::string& v, ReplayOptions&) { return !v.empty(); }},
      {{"camera"},
       "a camera index from 0 to 63",
       [](const std::string& v, ReplayOptions& o) {
         long n = 0;
         if (!ParseInt(v, 0, 63, &n)) return false;
         o.camera = static_cast<int>(n);
         return true;
       }},
      {{"output-dir"}, "a folder", TextField(&ReplayOptions::outputDir)},
      {{"csv"}, "a file name", TextField(&ReplayOptions::csvName)},
      {{"mosaic"},
       "a file name",
       [](const std::string& v, ReplayOptions& o) {
         o.writeMosaic = true;
         o.mosaicName = v;
         return !v.empty();
       }},
      {{"max-frames"}, "a whole number from 1", IntField(1, 100000000, &ReplayOptions::maxFrames)},
      {{"jobs", "j"}, "a whole number from 1", IntField(1, 1024, &ReplayOptions::jobs)},
      {{"eye-regions"}, "on or off", SwitchField(&ReplayOptions::eyeRegions)},
      {{"gaze-direction"}, "on or off", SwitchField(&ReplayOptions::gazeDirection)},
      {{"equalize-hist1"}, "on or off", SwitchField(&ReplayOptions::equalizeHist1)},
      {{"equalize-hist2"}, "on or off", SwitchField(&ReplayOptions::equalizeHist2)},
      {{"finder1-param1"},
       "a whole number from 1 to 200",
       IntField(1, 200, &ReplayOptions::finder1Param1)},
      {{"finder1-param2"},
       "a whole number from 1 to 200",
       IntField(1, 200, &ReplayOptions::finder1Param2)},
      {{"finder2-param1"},
       "a whole number from 1 to 200",
       IntField(1, 200, &ReplayOptions::finder2Param1)},
      {{"finder2-param2"},
       "a whole number from 1 to 200",
       IntField(1, 200, &ReplayOptions::finder2Param2)},
      {{"stream"},
       "an endpoint such as tcp://127.0.0.1:5570",
       [](const std::string& v, ReplayOptions& o) {
         o.streamEndpoint = v;
         return v.find("://") != std::string::npos && EndpointPortProblem(v).empty();
       }},
      {{"mapping"}, "a calibration protocol file", TextField(&ReplayOptions::mappingFile)},
      {{"screen"},
       "a screen size in pixels such as 1920x1080",
       [](const std::string& v, ReplayOptions& o) {
         static const QRegularExpression size("^([0-9]{1,6})x([0-9]{1,6})$");
         auto m = size.match(QString::fromStdString(v));
         if (!m.hasMatch()) return false;
         int w = m.captured(1).toInt(), h = m.captured(2).toInt();
         if (w < 1 || h < 1 || w > 100000 || h > 100000) return false;
         o.screenWidth = w;
         o.screenHeight = h;
         o.screenGiven = true;
         return true;
       }},
      {{"demo-accuracy-frames"},
       "a whole number from 1",
       IntField(1, 1000000, &ReplayOptions::demoAccuracyFrames)},
      {{"smallest-face"},
       "a share of the picture's height from 0.2 to 0.5, such as 0.25 or 1/4",
       [](const std::string& v, ReplayOptions& o) {
         return ParseShare(v, kSmallestFaceLimit, 0.5, &o.smallestFace);
       }},
      {{"seed"}, "a whole number from 0", IntField(0, 2147483647L, &ReplayOptions::demoSeed)},
      {{"settle"}, "milliseconds from 0 to 10000", IntField(0, 10000, &ReplayOptions::settleMs)},
  };
  return options;
}

const std::vector<Flag>& Flags() {
  static const std::vector<Flag> flags = {
      {{"help", "h"}, [](ReplayOptions& o) { o.help = true; }},
      {{"version"}, [](ReplayOptions& o) { o.version = true; }},
      {{"quiet", "q"}, [](ReplayOptions& o) { o.quiet = true; }},
      {{"verbose"}, [](ReplayOptions& o) { o.verbose = true; }},
      {{"stages"}, [](ReplayOptions& o) { o.stages = true; }},
      {{"paced"}, [](ReplayOptions& o) { o.paced = true; }},
      {{"panels"}, [](ReplayOptions& o) { o.writePanels = true; }},
      // Both options on, as a user would tick them.
      {{"both"}, [](ReplayOptions& o) { o.eyeRegions = o.gazeDirection = 1; }},
      {{"precise"}, [](ReplayOptions& o) { o.precise = true; }},
      {{"follow-face"}, [](ReplayOptions& o) { o.followFace = true; }},
      {{"robust"}, [](ReplayOptions& o) { o.robust = true; }},
      {{"batch-worker"}, [](ReplayOptions& o) { o.batchWorker = true; }, true},
  };
  return flags;
}

// The name of an option as written ("--csv=x" -> "csv", "-q" -> "q").
QString NameOf(const QString& arg) {
  QString name = arg;
  while (name.startsWith('-')) name.remove(0, 1);
  int eq = name.indexOf('=');
  return eq < 0 ? name : name.left(eq);
}

}  // namespace

namespace {

// QCommandLineParser has no optional values: "--stream" takes the next argument only when it
// is an endpoint, and means the default endpoint otherwise.
QStringList ArgumentsOf(int argc, const char* const* argv) {
  QStringList args;
  args << (argc > 0 ? QString::fromLocal8Bit(argv[0]) : QString("pupiltrak08-replay"));
  for (int i = 1; i < argc; ++i) {
    QString arg = QString::fromLocal8Bit(argv[i]);
    if (arg == "--stream") {
      if (i + 1 < argc && std::string(argv[i + 1]).find("://") != std::string::npos)
        arg += "=" + QString::fromLocal8Bit(argv[++i]);
      else
        arg += QString("=") + kDefaultStreamEndpoint;
    }
    args << arg;
  }
  return args;
}

// The sentence for what the parser itself refused: an unknown option or a value missing at the
// end.
std::string ParserError(const QCommandLineParser& parser, const QStringList& args) {
  const QStringList unknown = parser.unknownOptionNames();
  if (!unknown.isEmpty()) {
    QString written = "--" + unknown.first();
    for (const QString& arg : args.mid(1))
      if (arg.startsWith('-') && NameOf(arg) == unknown.first()) {
        written = arg.section('=', 0, 0);
        break;
      }
    return "unknown option '" + written.toStdString() + "' (see --help)";
  }
  const QString last = NameOf(args.last());
  for (const Valued& v : ValuedOptions())
    if (v.names.contains(last)) return "option " + args.last().toStdString() + " needs " + v.needs;
  return parser.errorText().toStdString();
}

// Every flag and value into *o; the sentence for the first wrong value, or empty.
std::string ReadValues(const QCommandLineParser& parser, ReplayOptions* o) {
  for (const Flag& f : Flags())
    if (parser.isSet(f.names.first())) f.set(*o);
  for (const Valued& v : ValuedOptions()) {
    const std::string name = v.names.first().toStdString();
    for (const QString& value : parser.values(v.names.first())) {
      const std::string text = value.toStdString();
      // "--mapping --both": the value was forgotten, and the next option is not a file name.
      if (text.size() > 2 && text.rfind("--", 0) == 0)
        return "option --" + name + " needs " + v.needs + ", not the option '" + text + "'";
      if (v.set(text, *o)) continue;
      const std::string port = name == "stream" ? EndpointPortProblem(text) : "";
      if (!port.empty()) return "option --stream: " + port;
      return "option --" + name + " needs " + v.needs + ", not '" + text + "'";
    }
  }
  return "";
}

// The inputs, the camera and what follows from them into *o; the sentence of a conflict, or
// empty.
std::string ReadInputs(const QCommandLineParser& parser, ReplayOptions* o) {
  for (const QString& in : parser.values("input")) o->inputs.push_back(in.toStdString());
  for (const QString& in : parser.positionalArguments()) {
    if (in.isEmpty()) return "an input path is empty";
    o->inputs.push_back(in.toStdString());
  }
  if (!o->inputs.empty() && o->camera) return "give either --input or --camera, not both";
  if (!o->inputs.empty()) o->input = o->inputs.front();
  // Gaze from a mapping needs both eyes' vectors.
  if (!o->mappingFile.empty()) o->gazeDirection = 1;
  // Gaze estimation needs the eye regions, as in the dialog.
  if (o->gazeDirection) o->eyeRegions = 1;
  o->demo = o->input.empty() && !o->camera;
  return "";
}

// Options that cannot go together, or do nothing where they are given: refused rather than
// silently ignored.
std::string CombinationError(const QCommandLineParser& parser, const ReplayOptions& o) {
  // One endpoint can be bound by one process only: the workers of a batch would take it from
  // each other, and the inputs of those that lost would not be processed.
  if (!o.streamEndpoint.empty() && o.inputs.size() > 1)
    return "--stream publishes on one endpoint, which one process holds at a time; give one "
           "input with --stream (" +
           std::to_string(o.inputs.size()) + " inputs given)";
  static const char* const notInDemo[] = {"max-frames", "mapping", "screen",
                                          "jobs",       "paced",   "stages"};
  static const char* const demoOnly[] = {"demo-accuracy-frames", "seed", "settle"};
  for (const char* name : notInDemo)
    if (o.demo && parser.isSet(name))
      return std::string("the demo (no input given) does not use --") + name +
             "; give an input or leave the option out";
  for (const char* name : demoOnly)
    if (!o.demo && parser.isSet(name))
      return std::string("--") + name + " is for the demo only (no input given)";
  return "";
}

}  // namespace

std::optional<ReplayOptions> ParseReplayOptions(int argc, const char* const* argv,
                                                std::string* error) {
  const QStringList args = ArgumentsOf(argc, argv);
  QCommandLineParser parser;
  // "-frobnicate" is one unknown option, not eleven short ones.
  parser.setSingleDashWordOptionMode(QCommandLineParser::ParseAsLongOptions);
  for (const Valued& v : ValuedOptions())
    parser.addOption(QCommandLineOption(v.names, "", "value"));
  for (const Flag& f : Flags()) parser.addOption(QCommandLineOption(f.names));
  if (!parser.parse(args)) {
    *error = ParserError(parser, args);
    return std::nullopt;
  }
  ReplayOptions o;
  *error = ReadValues(parser, &o);
  if (error->empty()) *error = ReadInputs(parser, &o);
  if (error->empty()) *error = CombinationError(parser, o);
  if (!error->empty()) return std::nullopt;
  return o;
}

std::vector<std::string> WorkerArguments(const ReplayOptions& o, const std::string& input,
                                         const std::string& outputDir) {
  auto onOff = [](int v) { return std::string(v ? "on" : "off"); };
  std::vector<std::string> a = {"--input",
                                input,
                                "--output-dir",
                                outputDir,
                                "--quiet",
                                "--batch-worker",
                                "--csv",
                                o.csvName,
                                "--eye-regions",
                                onOff(o.eyeRegions),
                                "--gaze-direction",
                                onOff(o.gazeDirection),
                                "--equalize-hist1",
                                onOff(o.equalizeHist1),
                                "--equalize-hist2",
                                onOff(o.equalizeHist2),
                                "--finder1-param1",
                                std::to_string(o.finder1Param1),
                                "--finder1-param2",
                                std::to_string(o.finder1Param2),
                                "--finder2-param1",
                                std::to_string(o.finder2Param1),
                                "--finder2-param2",
                                std::to_string(o.finder2Param2)};
  if (o.writeMosaic) a.insert(a.end(), {"--mosaic", o.mosaicName});
  if (o.writePanels) a.push_back("--panels");
  if (o.maxFrames > 0) a.insert(a.end(), {"--max-frames", std::to_string(o.maxFrames)});
  if (o.paced) a.push_back("--paced");
  if (o.stages) a.push_back("--stages");
  if (o.verbose) a.push_back("--verbose");
  if (o.precise) a.push_back("--precise");
  if (o.smallestFace != kDefaultSmallestFace) {
    char share[32];
    std::snprintf(share, sizeof share, "%.17g", o.smallestFace);
    a.insert(a.end(), {"--smallest-face", share});
  }
  if (o.followFace) a.push_back("--follow-face");
  if (o.robust) a.push_back("--robust");
  if (!o.streamEndpoint.empty()) a.push_back("--stream=" + o.streamEndpoint);
  if (!o.mappingFile.empty()) a.insert(a.end(), {"--mapping", o.mappingFile});
  if (o.settleMs > 0) a.insert(a.end(), {"--settle", std::to_string(o.settleMs)});
  if (o.screenGiven)
    a.insert(a.end(),
             {"--screen", std::to_string(o.screenWidth) + "x" + std::to_string(o.screenHeight)});
  return a;
}

std::vector<std::string> ReplayOptionNames() {
  std::vector<std::string> names;
  for (const Valued& v : ValuedOptions()) names.push_back("--" + v.names.first().toStdString());
  for (const Flag& f : Flags())
    if (!f.hidden) names.push_back("--" + f.names.first().toStdString());
  return names;
}

std::string ReplayVersion() {
  return std::string("pupiltrak08-replay ") + PUPILTRAK_VERSION + "\n";
}

std::string ReplayUsage() {
  return R"(Usage: pupiltrak08-replay [INPUT...] [options]

Runs the PUPILTRAK_08 eye tracker on recorded video, without its dialog, and writes one CSV
row per frame. Without an input it runs the built-in demo: a generated session of a virtual
user who looks at the nine calibration targets and then at the accuracy-test targets, with
the whole calibration and accuracy test run exactly as in the program.

Input (one of):
  INPUT, --input PATH     a video file, a folder of images, or a printf-style image pattern
                          such as frames/img%04d.png (an image that cannot be read, empty,
                          damaged or over 16384 px a side or 50 megapixels, and a number
                          missing from a pattern are skipped with a warning; a pattern ends
                          at 100 missing numbers in a row)
  --camera N              camera N (V4L2), until --max-frames or Ctrl-C

Many inputs (a batch):
  INPUT INPUT ...         every input runs in a worker process of its own into a subfolder of
                          --output-dir named after it; DIR/summary.csv has a row per input
  --jobs N, -j N          worker processes at once (default: the number of cores); with
                          --jobs even a single input runs as a batch

Output:
  --output-dir DIR        where the outputs go (default: replay-out; created if missing)
  --csv NAME              the per-frame CSV inside DIR (default: frames.csv)
  --mosaic NAME           also record the annotated 320 x 240 mosaic as a video in DIR
  --panels                also save the status panel of every frame as PNG in DIR/panels
  --max-frames N          stop after N frames
  --paced                 play a file at its own frame rate (default: as fast as possible)
  --quiet, -q             no progress line
  --verbose               also show the messages of the libraries (OpenCV, Qt)
  --stages                add the time of every pipeline stage (median, mean, 95th
                          percentile) and the resident memory to the summary
  --stream [ENDPOINT]     publish every frame's gaze as JSON over ZeroMQ (default endpoint
                          tcp://127.0.0.1:5570; see docs/STREAM.md). A file waits up to 1 s
                          for a first subscriber before its first frame. One input only
  --help, -h              this text
  --version               the program's version

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
  --smallest-face F       the smallest face searched for, as a share of the picture's
                          height, 0.2..0.5 (default 0.5; 0.25 finds a person at an ordinary
                          distance from a laptop's webcam)
  --follow-face           search near the last face first, the whole picture when it is
                          lost and at regular intervals (default off)
  --robust                "Robust tracking" (default off): precise pupils, faces down to a
                          quarter of the height and following the face, for ordinary webcams

Gaze:
  --mapping FILE          the gaze of every frame from the last complete mapping report in a
                          calibration protocol file (switches both options on); writes gaze.png
  --screen WxH            the screen the mapping was made on, in pixels (default 1920x1080)
  --stream [ENDPOINT]     publish the gaze over ZeroMQ (default tcp://127.0.0.1:5570)
  Whenever gaze is estimated, fixations.csv lists the fixations (docs/GAZE.md)

Demo only (the demo refuses --max-frames, --mapping, --screen, --jobs, --paced, --stages):
  --demo-accuracy-frames N  length of the accuracy test in frames (default 600)
  --seed N                  seed of the virtual user's noise and the targets (default 8)
  --settle MS               leave the estimates of the first MS milliseconds after each new
                            accuracy target out of the accuracy lines (default 0: none)

CSV columns:
  frame, time_ms, face_found, face_x1, face_y1, face_x2, face_y2,
  pupil1_found, pupil1_x, pupil1_y, pupil2_found, pupil2_x, pupil2_y,
  dxL, dyL, dxR, dyR, blink, detection_ms, frame_ms, gaze_x, gaze_y
  (eye region 1 is the eye on the image's left and gives dxL, dyL; gaze_x, gaze_y are the
  gaze estimate in screen pixels, empty before a completed calibration or without both
  eyes); the demo adds target_x, target_y (where the virtual user looks) and phase (the
  calibration target 0..8, or accuracy)

A summary goes to standard error at the end. Exit status: 0 success, 1 bad usage,
2 input or output error, 3 the input ended early (a truncated file; what was read is kept),
4 a batch in which some inputs failed (their rows in summary.csv say why), 130 or 143
stopped by Ctrl-C (SIGINT) or SIGTERM: the frame in hand is finished and everything done so
far is kept under its own name (a batch passes the signal on to its workers and writes
summary.csv with every input); a second Ctrl-C ends at once, leaving the .partial files.

Examples:
  pupiltrak08-replay                                   # the demo, into replay-out/
  pupiltrak08-replay session.avi --both --mosaic annotated.avi
  pupiltrak08-replay --input 'shots/%03d.png' --both --finder2-param2 20 --csv shots.csv
  pupiltrak08-replay sessions/*.avi --both --output-dir out --jobs 2
)";
}

}  // namespace pupiltrak
