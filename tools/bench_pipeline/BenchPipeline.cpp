// pupiltrak08-bench-pipeline: times ProcessFrame on generated frames of a virtual user (both
// options on) and prints the median and mean of every stage for four modes taking turns frame
// by frame in one run: the default mode, precise pupils, the smallest face at a quarter of the
// picture's height without following, and robust tracking (which follows the face).

#include <QGuiApplication>
#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>
#include <opencv2/core.hpp>
#include <opencv2/objdetect.hpp>
#include <string>
#include <vector>

#include "FaceFrameGenerator.h"
#include "VirtualUser.h"
#include "tracking/FaceCascade.h"
#include "tracking/FramePipeline.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

struct Stats {
  double median = 0, mean = 0, p90 = 0;
};

Stats Summarise(std::vector<double> v) {
  Stats s;
  if (v.empty()) return s;
  std::sort(v.begin(), v.end());
  s.median = v[v.size() / 2];
  s.p90 = v[std::min(v.size() - 1, v.size() * 9 / 10)];
  for (double x : v) s.mean += x;
  s.mean /= static_cast<double>(v.size());
  return s;
}

// CPU time of the calling thread in milliseconds: with one OpenCV thread all of a frame's work
// runs here, and the figure is less disturbed by other processes than the wall clock.
double ThreadCpuMs() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return ts.tv_sec * 1e3 + ts.tv_nsec / 1e6;
}

void Usage() {
  std::fprintf(
      stderr,
      "usage: pupiltrak08-bench-pipeline [--frames N] [--threads T] [--size WxH]...\n"
      "                                  [--sliders A,B,C,D] [--noise SIGMA] [--face F]\n"
      "  --frames N     frames timed per size (200)\n"
      "  --threads T    OpenCV worker threads (1: one core)\n"
      "  --size WxH     frame size, repeatable (640x480 and 1280x720)\n"
      "  --sliders      Finder1Param1,Finder1Param2,Finder2Param1,Finder2Param2 (1,1,60,30)\n"
      "  --noise SIGMA  sensor noise of the generated frames (2)\n"
      "  --face F       the face's height as a share of the frame's (about 2/3; the default\n"
      "                 mode finds none under 1/2)\n");
}

struct BenchOptions {
  int frames = 200, threads = 1;
  int sliders[4] = {1, 1, 60, 30};
  double noise = 2;
  double faceShare = 0;  // 0: the generator's usual face
  std::vector<cv::Size> sizes;
};

// -1 when the run goes on, else the exit status.
int ParseArguments(int argc, char** argv, BenchOptions* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--frames" && hasValue) {
      o->frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--threads" && hasValue) {
      o->threads = std::atoi(argv[++i]);
    } else if (arg == "--noise" && hasValue) {
      o->noise = std::atof(argv[++i]);
    } else if (arg == "--face" && hasValue) {
      o->faceShare = std::atof(argv[++i]);
      if (o->faceShare <= 0 || o->faceShare > 1) return Usage(), 2;
    } else if (arg == "--size" && hasValue) {
      int w = 0, h = 0;
      if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) return Usage(), 2;
      o->sizes.emplace_back(w, h);
    } else if (arg == "--sliders" && hasValue) {
      int* s = o->sliders;
      if (std::sscanf(argv[++i], "%d,%d,%d,%d", &s[0], &s[1], &s[2], &s[3]) != 4) return Usage(), 2;
    } else {
      Usage();
      return arg == "--help" ? 0 : 2;
    }
  }
  if (o->sizes.empty()) o->sizes = {cv::Size(640, 480), cv::Size(1280, 720)};
  return -1;
}

// The default settings, then with precise pupils, with the smallest face at a quarter of the
// height (searched in the whole picture every frame), and with robust tracking.
constexpr int kModes = 4;
const char* const kModeNames[kModes] = {"default", "precise", "face 1/4", "robust"};

void SetUpModes(TrackerState (&states)[kModes], std::shared_ptr<cv::CascadeClassifier> cascade,
                const int sliders[4]) {
  TrackerSettings base;
  base.searchEyeRegions = 1;
  base.estimateGazeDirection = 1;
  base.finder1Param1 = sliders[0];
  base.finder1Param2 = sliders[1];
  base.finder2Param1 = sliders[2];
  base.finder2Param2 = sliders[3];
  TrackerSettings modes[kModes] = {base, base, base, base};
  modes[1].precisePupils = 1;
  modes[2].smallestFace = 0.25;
  modes[3].robustTracking = 1;
  for (int m = 0; m < kModes; ++m) {
    states[m].Apply(modes[m]);
    states[m].FaceCascade = cascade;
  }
}

// A virtual user looking round the nine grid points, swaying a little, blinking now and then:
// at most 180 distinct frames, used in turn.
std::vector<cv::Mat> MakeFrames(const gen::FacePhoto& photo, cv::Size size, const BenchOptions& o) {
  gen::Scene scene = gen::DefaultScene(size);
  // The usual face is about 2/3 of the height with its eyes 0.233 of it apart.
  if (o.faceShare > 0) scene.eyeDistance *= o.faceShare / (2.0 / 3.0);
  gen::FaceFrameGenerator generator(photo, scene);
  gen::VirtualUser user;
  gen::Session session;
  session.points = gen::GridPoints(user.screen, user.screen.height / 8);
  session.framesPerPoint = 20;
  session.blinkEvery = 60;
  session.swayAmplitude = 0.02 * size.height;
  session.noiseSigma = o.noise;
  std::vector<cv::Mat> made;
  for (int k = 0; k < std::min(o.frames, 180); ++k)
    made.push_back(generator.Render(session.SpecAt(k, user)));
  return made;
}

// One mode's pipeline and what its frames took.
struct Mode {
  const char* name;
  PipelineContext ctx;
  FrameResults results;
  StageTimings t;
  std::vector<double> total, cpu, convert, face, finder1, finder2, tiles, panels, output;
  int faces = 0, pupils = 0;

  void Record(double cpuMs) {
    total.push_back(t.total);
    cpu.push_back(cpuMs);
    convert.push_back(t.convert);
    face.push_back(t.face);
    finder1.push_back(t.finder1);
    finder2.push_back(t.finder2);
    tiles.push_back(t.tiles);
    panels.push_back(t.panels);
    output.push_back(t.output);
    faces += results.faceFound ? 1 : 0;
    pupils += (results.pupilFound[0] ? 1 : 0) + (results.pupilFound[1] ? 1 : 0);
  }
};

// The modes take turns frame by frame, after ten frames to warm up.
void TimeModes(Mode (&modes)[kModes], const std::vector<cv::Mat>& made, int frames) {
  const int distinct = static_cast<int>(made.size());
  OverlayFont font;
  cv::Mat copy, camera;
  for (int k = -10; k < frames; ++k) {
    const cv::Mat& frame = made[static_cast<size_t>((k + 10) % distinct)];
    for (Mode& m : modes) {
      frame.copyTo(copy);
      cv::flip(frame, camera, 0);
      const double cpuStart = ThreadCpuMs();
      ProcessFrame(m.ctx, copy, camera, font, nullptr);
      const double cpuMs = ThreadCpuMs() - cpuStart;
      if (k >= 0) m.Record(cpuMs);
    }
  }
}

void PrintModes(const Mode (&modes)[kModes], cv::Size size, double faceShare) {
  std::printf("\n%dx%d, face %.2f of the height:\n", size.width, size.height,
              faceShare > 0 ? faceShare : 2.0 / 3.0);
  std::printf("  %-36s", "");
  for (const Mode& m : modes) std::printf(" %17s", m.name);
  std::printf("\n  %-36s", "frames with a face");
  for (const Mode& m : modes) std::printf(" %17d", m.faces);
  std::printf("\n  %-36s", "pupils found");
  for (const Mode& m : modes) std::printf(" %17d", m.pupils);
  std::printf("\n");
  const auto row = [&modes](const char* name, std::vector<double> Mode::*v) {
    std::printf("  %-36s", name);
    for (const Mode& m : modes) {
      const Stats st = Summarise(m.*v);
      std::printf(" %8.3f /%7.3f", st.median, st.mean);
    }
    std::printf("\n");
  };
  row("grey, small image, equalisation", &Mode::convert);
  row("face detection", &Mode::face);
  row("finder 1 / eye centre (both eyes)", &Mode::finder1);
  row("finder 2 + eye vector (both eyes)", &Mode::finder2);
  row("tiles, regions, camera quarter", &Mode::tiles);
  row("panel snapshots", &Mode::panels);
  row("preview and video", &Mode::output);
  row("whole frame", &Mode::total);
  row("whole frame, this thread's CPU time", &Mode::cpu);
  const auto median = [&modes](int m, std::vector<double> Mode::*v) {
    return Summarise(modes[m].*v).median;
  };
  const auto ratio = [](double a, double b) { return b > 0 ? a / b : 0.0; };
  std::printf("  median rate (frames per second):   ");
  for (int m = 0; m < kModes; ++m) std::printf(" %17.0f", ratio(1000.0, median(m, &Mode::total)));
  std::printf("\n  followed face against the full search at 1/4, face stage (medians): %.2f x\n",
              ratio(median(3, &Mode::face), median(2, &Mode::face)));
  std::printf("  robust against default, whole frame (medians): %.2f x\n",
              ratio(median(3, &Mode::total), median(0, &Mode::total)));
  std::printf("  precise against default, whole frame (medians): %.2f x\n",
              ratio(median(1, &Mode::total), median(0, &Mode::total)));
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  BenchOptions o;
  if (const int status = ParseArguments(argc, argv, &o); status >= 0) return status;
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  cv::setNumThreads(o.threads);

  gen::FacePhoto photo;
  std::string error;
  if (!gen::LoadFacePhoto(std::string(PUPILTRAK_FACES_DIR) + "/jesper_2.jpg", &photo, &error)) {
    std::fprintf(stderr, "pupiltrak08-bench-pipeline: %s\n", error.c_str());
    return 1;
  }
  const std::shared_ptr<cv::CascadeClassifier> cascade = LoadFaceCascade(PUPILTRAK_CASCADE);
  if (!cascade) {
    std::fprintf(stderr, "pupiltrak08-bench-pipeline: cannot load %s\n", PUPILTRAK_CASCADE);
    return 1;
  }
  TrackerState states[kModes];
  SetUpModes(states, cascade, o.sliders);

  std::printf(
      "ProcessFrame, both options on, sliders %d,%d,%d,%d, %d OpenCV thread(s), %d frames;\n"
      "the modes take turns frame by frame (milliseconds: median / mean)\n",
      o.sliders[0], o.sliders[1], o.sliders[2], o.sliders[3], o.threads, o.frames);
  for (const cv::Size& size : o.sizes) {
    const std::vector<cv::Mat> made = MakeFrames(photo, size, o);
    Mode modes[kModes];
    for (int m = 0; m < kModes; ++m) {
      modes[m].name = kModeNames[m];
      modes[m].ctx.state = &states[m];
      modes[m].ctx.results = &modes[m].results;
      modes[m].ctx.timings = &modes[m].t;
    }
    TimeModes(modes, made, o.frames);
    PrintModes(modes, size, o.faceShare);
  }
  return 0;
}
