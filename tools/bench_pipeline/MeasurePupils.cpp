// pupiltrak08-measure-pupils: how exact the eye vectors and eye centres are, in the default mode
// and with precise pupils: the eye-vector error on generated frames whose pupils and glints
// were painted at known sub-pixel positions, and the eye centres found in the real photographs
// against their annotations.

#include <QGuiApplication>
#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <map>
#include <opencv2/imgproc.hpp>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>
#include <set>
#include <string>
#include <vector>

#include "FaceFrameGenerator.h"
#include "tracking/EyeRegions.h"
#include "tracking/FaceCascade.h"
#include "tracking/FramePipeline.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

struct Runner {
  TrackerState state;
  FrameResults results;
  EyeRegions regions;
  PipelineContext ctx;
  Runner(std::shared_ptr<cv::CascadeClassifier> cascade, bool precise) {
    state.FaceCascade = std::move(cascade);
    state.SearchEyeRegions = 1;
    state.EstimateGazeDirection = 1;
    state.PrecisePupils = precise ? 1 : 0;
    ctx.state = &state;
    ctx.results = &results;
    ctx.eyeRegions = &regions;
    ctx.composeMosaic = false;
  }
  void Run(const cv::Mat& frame) {
    cv::Mat copy = frame.clone(), camera;
    cv::flip(frame, camera, 0);
    ProcessFrame(ctx, copy, camera, OverlayFont{}, nullptr);
  }
};

// Eye-vector error in frame pixels: the measured pupil-minus-glint offset ((circle centre -
// bright spot) / 2 in zoom pixels) against the painted one.
void EyeVectorError(const gen::FacePhoto& photo, std::shared_ptr<cv::CascadeClassifier> cascade,
                    int frames, double noise, bool subPixel) {
  gen::Scene scene =
      subPixel ? gen::SubPixelScene(cv::Size(640, 480)) : gen::DefaultScene(cv::Size(640, 480));
  const gen::FaceFrameGenerator generator(photo, scene);
  Runner modes[2] = {Runner(cascade, false), Runner(cascade, true)};
  double sum2[2] = {0, 0}, worst[2] = {0, 0};
  int n[2] = {0, 0}, missed[2] = {0, 0};
  std::set<long> values[2];
  cv::RNG rng(15);
  for (int k = 0; k < frames; ++k) {
    gen::FrameSpec shot;
    // The virtual user's range, anywhere between pixels, the head anywhere between pixels.
    const cv::Point2f offset(rng.uniform(-2.0f, 2.0f), rng.uniform(-1.5f, 1.5f));
    shot.gazeOffset = {offset, offset};
    shot.headShift = cv::Point2f(rng.uniform(-10.0f, 10.0f), rng.uniform(-5.0f, 5.0f));
    shot.noiseSigma = noise;
    shot.noiseSeed = static_cast<uint64_t>(k + 1);
    gen::FrameTruth truth;
    const cv::Mat frame = generator.Render(shot, &truth);
    for (int m = 0; m < 2; ++m) {
      modes[m].Run(frame);
      const FrameResults& r = modes[m].results;
      for (int e = 0; e < 2; ++e) {
        if (!r.pupilFound[e]) {
          ++missed[m];
          continue;
        }
        const cv::Point2f painted = truth.eye[e].pupil - truth.eye[e].glint;
        const double ex = (r.circleCentre[e].x - r.brightSpot[e].x) / 2 - painted.x;
        const double ey = (r.circleCentre[e].y - r.brightSpot[e].y) / 2 - painted.y;
        sum2[m] += ex * ex + ey * ey;
        worst[m] = std::max({worst[m], std::abs(ex), std::abs(ey)});
        ++n[m];
        values[m].insert(std::lround(100 * (e == 0 ? r.dxL : r.dxR)));
      }
    }
  }
  std::printf("\nEye vectors on %d generated frames (%s painting, noise %.1f), frame pixels:\n",
              frames, subPixel ? "sub-pixel" : "plain", noise);
  for (int m = 0; m < 2; ++m)
    std::printf("  %-15s rms %.3f  worst %.3f  (%d eyes, %d missed; %zu distinct dx values)\n",
                m == 0 ? "default" : "precise pupils", n[m] ? std::sqrt(sum2[m] / n[m]) : 0.0,
                worst[m], n[m], missed[m], values[m].size());
}

// The pupils found in the unretouched photographs against their annotated eye centres, in inter-eye
// distances (IOD).
void Photographs(std::shared_ptr<cv::CascadeClassifier> cascade) {
  std::printf(
      "\nReal photographs, eyes 95, 112 and 130 pixels apart, three head positions each;\n"
      "distance of each eye's found centre from its annotation in IOD:\n");
  for (const char* name : {"jesper_2.jpg", "grace_hopper.jpg", "new_wave_2.jpg", "bar55_2.jpg"}) {
    gen::FacePhoto photo;
    std::string error;
    if (!gen::LoadFacePhoto(std::string(PUPILTRAK_FACES_DIR) + "/" + name, &photo, &error)) {
      std::printf("  %s: %s\n", name, error.c_str());
      continue;
    }
    for (int m = 0; m < 2; ++m) {
      // [0]: the coarse centre (finder 1's or the gradient eye centre, filtered); [1]: the
      // pupil where finder 2 found one, else the coarse centre.
      int frames = 0, faces = 0, within[2] = {0, 0}, pupils = 0;
      double worst[2] = {0, 0};
      for (double distance : {95.0, 112.0, 130.0}) {
        for (cv::Point2f shift :
             {cv::Point2f(-30, -10), cv::Point2f(0, 10), cv::Point2f(30, -10)}) {
          gen::Scene scene = gen::DefaultScene(cv::Size(640, 480));
          scene.eyeDistance = distance;
          scene.repaintEyes = false;
          const gen::FaceFrameGenerator generator(photo, scene);
          gen::FrameSpec shot;
          shot.headShift = shift;
          Runner runner(cascade, m == 1);
          runner.Run(generator.Render(shot));
          ++frames;
          if (!runner.results.faceFound) continue;
          ++faces;
          const FrameResults& r = runner.results;
          double far[2] = {0, 0};
          for (int e = 0; e < 2; ++e) {
            cv::Point2f coarse(-1e4f, -1e4f);  // no centre counts as a miss
            if (r.finder1Found[e])
              coarse = cv::Point2f(runner.regions.FrameRect(e + 1).tl()) +
                       cv::Point2f(float(r.filteredCentre[e].x), float(r.filteredCentre[e].y));
            cv::Point2f pupil = coarse;
            if (r.pupilFound[e]) {
              pupil = cv::Point2f(float(r.pupilPos[e].x), float(r.pupilPos[e].y));
              ++pupils;
            }
            const cv::Point2f annotated = generator.EyeCentre(e) + shift;
            far[0] = std::max(far[0], cv::norm(coarse - annotated) / distance);
            far[1] = std::max(far[1], cv::norm(pupil - annotated) / distance);
          }
          for (int i = 0; i < 2; ++i) {
            worst[i] = std::max(worst[i], far[i]);
            if (far[i] <= 0.10) ++within[i];
          }
        }
      }
      std::printf(
          "  %-17s %-15s face %d/%d, pupils %2d/%d; both within 0.10 IOD: coarse %d "
          "(worst %.3f), pupil or coarse %d (worst %.3f)\n",
          name, m == 0 ? "default" : "precise pupils", faces, frames, pupils, 2 * frames, within[0],
          std::min(worst[0], 9.999), within[1], std::min(worst[1], 9.999));
    }
  }
}

// A real recording against its annotated eye centres (frame,left_x,left_y,right_x,right_y,iod),
// stage by stage: how often the coarse centre and the pupil of both eyes lie within 0.10 IOD.
void Recording(std::shared_ptr<cv::CascadeClassifier> cascade, const std::string& video,
               const std::string& eyesFile, double smallestFace) {
  std::map<long, std::array<double, 5>> eyes;
  std::ifstream in(eyesFile);
  std::string line;
  while (std::getline(in, line)) {
    std::array<double, 6> v{};
    if (std::sscanf(line.c_str(), "%lf,%lf,%lf,%lf,%lf,%lf", &v[0], &v[1], &v[2], &v[3], &v[4],
                    &v[5]) == 6)
      eyes[std::lround(v[0])] = {v[1], v[2], v[3], v[4], v[5]};
  }
  std::printf("\n%s, %zu annotated frames, smallest face %.2f; both eyes within 0.10 IOD:\n",
              video.c_str(), eyes.size(), smallestFace);
  for (int m = 0; m < 2; ++m) {
    cv::VideoCapture capture(video);
    Runner runner(cascade, m == 1);
    runner.state.SmallestFace = smallestFace;
    int annotated = 0, faces = 0, within[2] = {0, 0};
    cv::Mat frame;
    for (long k = 0; capture.read(frame); ++k) {
      runner.Run(frame);
      const auto it = eyes.find(k);
      if (it == eyes.end()) continue;
      ++annotated;
      const FrameResults& r = runner.results;
      if (!r.faceFound) continue;
      ++faces;
      double far[2] = {0, 0};
      for (int e = 0; e < 2; ++e) {
        const cv::Point2f annotation(float(it->second[2 * e]), float(it->second[2 * e + 1]));
        cv::Point2f coarse(-1e4f, -1e4f), pupil(-1e4f, -1e4f);
        if (r.finder1Found[e])
          coarse = cv::Point2f(runner.regions.FrameRect(e + 1).tl()) +
                   cv::Point2f(float(r.filteredCentre[e].x), float(r.filteredCentre[e].y));
        if (r.pupilFound[e]) pupil = cv::Point2f(float(r.pupilPos[e].x), float(r.pupilPos[e].y));
        far[0] = std::max(far[0], cv::norm(coarse - annotation) / it->second[4]);
        far[1] = std::max(far[1], cv::norm(pupil - annotation) / it->second[4]);
      }
      for (int i = 0; i < 2; ++i) within[i] += far[i] <= 0.10;
    }
    std::printf("  %-15s face %d/%d, coarse centre %d, pupil %d\n",
                m == 0 ? "default" : "precise pupils", faces, annotated, within[0], within[1]);
  }
}

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  int frames = 200;
  double noise = 2, smallestFace = 0.25;
  std::string video, eyesFile;
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    if (arg == "--frames" && i + 1 < argc) {
      frames = std::max(1, std::atoi(argv[++i]));
    } else if (arg == "--noise" && i + 1 < argc) {
      noise = std::atof(argv[++i]);
    } else if (arg == "--video" && i + 2 < argc) {
      video = argv[++i];
      eyesFile = argv[++i];
    } else if (arg == "--smallest-face" && i + 1 < argc) {
      smallestFace = std::atof(argv[++i]);
    } else {
      std::fprintf(stderr,
                   "usage: pupiltrak08-measure-pupils [--frames N] [--noise SIGMA]\n"
                   "  --frames N     generated frames per painting (200)\n"
                   "  --noise SIGMA  their sensor noise in grey levels (2)\n"
                   "  --video FILE EYES.csv  only a real recording against its annotated eye\n"
                   "                 centres (frame,left_x,left_y,right_x,right_y,iod)\n"
                   "  --smallest-face F  the face search's smallest face there (0.25)\n");
      return arg == "--help" ? 0 : 2;
    }
  }
  setenv("QT_QPA_PLATFORM", "offscreen", 0);
  QGuiApplication app(argc, argv);
  cv::setNumThreads(1);
  auto cascade = LoadFaceCascade(PUPILTRAK_CASCADE);
  gen::FacePhoto photo;
  std::string error;
  if (!cascade ||
      !gen::LoadFacePhoto(std::string(PUPILTRAK_FACES_DIR) + "/jesper_2.jpg", &photo, &error)) {
    std::fprintf(stderr, "pupiltrak08-measure-pupils: no cascade or photograph %s\n",
                 error.c_str());
    return 1;
  }
  if (!video.empty()) {
    Recording(cascade, video, eyesFile, smallestFace);
    return 0;
  }
  EyeVectorError(photo, cascade, frames, noise, true);
  EyeVectorError(photo, cascade, frames, noise, false);
  Photographs(cascade);
  return 0;
}
