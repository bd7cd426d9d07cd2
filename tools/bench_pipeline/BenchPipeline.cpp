// pupiltrak08-bench-pipeline: times ProcessFrame on generated frames of a virtual user (both
// options on) and prints the median, mean and 90th percentile of every stage, for the default
// mode and for precise pupils, the two taking turns frame by frame in one run.

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
      "                                  [--sliders A,B,C,D] [--noise SIGMA]\n"
      "  --frames N     frames timed per size (200)\n"
      "  --threads T    OpenCV worker threads (1: one core)\n"
      "  --size WxH     frame size, repeatable (640x480 and 1280x720)\n"
      "  --sliders      Finder1Param1,Finder1Param2,Finder2Param1,Finder2Param2 (1,1,60,30)\n"
      "  --noise SIGMA  sensor noise of the generated frames (2)\n");
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  int frames = 200, threads = 1;
  int sliders[4] = {1, 1, 60, 30};
  double noise = 2;
  std::vector<cv::Size> sizes;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    if (arg == "--frames" && hasValue) {
      frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--threads" && hasValue) {
      threads = std::atoi(argv[++i]);
    } else if (arg == "--noise" && hasValue) {
      noise = std::atof(argv[++i]);
    } else if (arg == "--size" && hasValue) {
      int w = 0, h = 0;
      if (std::sscanf(argv[++i], "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) return Usage(), 2;
      sizes.emplace_back(w, h);
    } else if (arg == "--sliders" && hasValue) {
      if (std::sscanf(argv[++i], "%d,%d,%d,%d", &sliders[0], &sliders[1], &sliders[2],
                      &sliders[3]) != 4)
        return Usage(), 2;
    } else {
      Usage();
      return arg == "--help" ? 0 : 2;
    }
  }
  if (sizes.empty()) sizes = {cv::Size(640, 480), cv::Size(1280, 720)};
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  cv::setNumThreads(threads);

  gen::FacePhoto photo;
  std::string error;
  if (!gen::LoadFacePhoto(std::string(PUPILTRAK_FACES_DIR) + "/jesper_2.jpg", &photo, &error)) {
    std::fprintf(stderr, "pupiltrak08-bench-pipeline: %s\n", error.c_str());
    return 1;
  }
  TrackerState state;
  state.FaceCascade = std::make_shared<cv::CascadeClassifier>(PUPILTRAK_CASCADE);
  if (state.FaceCascade->empty()) {
    std::fprintf(stderr, "pupiltrak08-bench-pipeline: cannot load %s\n", PUPILTRAK_CASCADE);
    return 1;
  }
  TrackerSettings settings;
  settings.searchEyeRegions = settings.estimateGazeDirection = 1;
  settings.finder1Param1 = sliders[0];
  settings.finder1Param2 = sliders[1];
  settings.finder2Param1 = sliders[2];
  settings.finder2Param2 = sliders[3];
  state.Apply(settings);

  // The same settings with precise pupils.
  TrackerState precise;
  precise.FaceCascade = state.FaceCascade;
  settings.precisePupils = 1;
  precise.Apply(settings);

  std::printf(
      "ProcessFrame, both options on, sliders %d,%d,%d,%d, %d OpenCV thread(s), %d frames;\n"
      "default mode and precise pupils take turns frame by frame\n",
      sliders[0], sliders[1], sliders[2], sliders[3], threads, frames);
  for (const cv::Size& size : sizes) {
    // A virtual user looking round the nine grid points, swaying a little, blinking now and then.
    gen::FaceFrameGenerator generator(photo, gen::DefaultScene(size));
    gen::VirtualUser user;
    gen::Session session;
    session.points = gen::GridPoints(user.screen, user.screen.height / 8);
    session.framesPerPoint = 20;
    session.blinkEvery = 60;
    session.swayAmplitude = 0.02 * size.height;
    session.noiseSigma = noise;
    const int distinct = std::min(frames, 180);
    std::vector<cv::Mat> made;
    for (int k = 0; k < distinct; ++k) made.push_back(generator.Render(session.SpecAt(k, user)));

    struct Mode {
      const char* name;
      PipelineContext ctx;
      FrameResults results;
      StageTimings t;
      std::vector<double> total, cpu, convert, face, finder1, finder2, tiles, panels, output;
      int faces = 0, pupils = 0;
    };
    Mode modes[2];
    modes[0].name = "default";
    modes[1].name = "precise pupils";
    for (int m = 0; m < 2; ++m) {
      modes[m].ctx.state = m == 0 ? &state : &precise;
      modes[m].ctx.results = &modes[m].results;
      modes[m].ctx.timings = &modes[m].t;
    }
    OverlayFont font;
    cv::Mat copy, camera;
    for (int k = -10; k < frames; ++k) {  // ten frames to warm up
      const cv::Mat& frame = made[static_cast<size_t>((k + 10) % distinct)];
      for (Mode& m : modes) {
        frame.copyTo(copy);
        cv::flip(frame, camera, 0);
        const double cpuStart = ThreadCpuMs();
        ProcessFrame(m.ctx, copy, camera, font, nullptr);
        const double cpuMs = ThreadCpuMs() - cpuStart;
        if (k < 0) continue;
        const StageTimings& t = m.t;
        m.total.push_back(t.total);
        m.cpu.push_back(cpuMs);
        m.convert.push_back(t.convert);
        m.face.push_back(t.face);
        m.finder1.push_back(t.finder1);
        m.finder2.push_back(t.finder2);
        m.tiles.push_back(t.tiles);
        m.panels.push_back(t.panels);
        m.output.push_back(t.output);
        m.faces += m.results.faceFound ? 1 : 0;
        m.pupils += (m.results.pupilFound[0] ? 1 : 0) + (m.results.pupilFound[1] ? 1 : 0);
      }
    }
    std::printf(
        "\n%dx%d: face in %d of %d frames; pupils found: %d (default), %d (precise) of %d\n",
        size.width, size.height, modes[0].faces, frames, modes[0].pupils, modes[1].pupils,
        2 * frames);
    std::printf("  %-36s %8s %8s %8s | %8s %8s %8s\n", "stage (ms): default | precise", "median",
                "mean", "p90", "median", "mean", "p90");
    const auto row = [&modes](const char* name, std::vector<double> Mode::*v) {
      const Stats a = Summarise(modes[0].*v), b = Summarise(modes[1].*v);
      std::printf("  %-36s %8.3f %8.3f %8.3f | %8.3f %8.3f %8.3f\n", name, a.median, a.mean, a.p90,
                  b.median, b.mean, b.p90);
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
    const Stats d = Summarise(modes[0].total), p = Summarise(modes[1].total);
    const Stats df = Summarise(modes[0].face), pf = Summarise(modes[1].face);
    std::printf("  median rate %.0f (default), %.0f (precise) frames per second\n",
                d.median > 0 ? 1000.0 / d.median : 0, p.median > 0 ? 1000.0 / p.median : 0);
    std::printf("  whole frame against face detection (medians): default %.2f x, precise %.2f x\n",
                df.median > 0 ? d.median / df.median : 0, pf.median > 0 ? p.median / pf.median : 0);
    std::printf("  precise against default, whole frame (medians): %.2f x\n",
                d.median > 0 ? p.median / d.median : 0);
  }
  return 0;
}
