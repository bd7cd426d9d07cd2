// pupiltrak08-makevideo: writes generated camera frames of a virtual user to a video file or
// an image sequence, with the rendered truth of every frame on request.

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/videoio.hpp>
#include <string>

#include "FaceFrameGenerator.h"
#include "VirtualUser.h"
#include "platform/Machine.h"

namespace pupiltrak {

namespace {

// The face photograph: the source tree's test data in a build, the installed copy otherwise.
std::string DefaultPhoto() {
  const std::string built = std::string(PUPILTRAK_FACES_DIR) + "/jesper_2.jpg";
  if (PathExists(built)) return built;
  return InstalledDataDirectory(ExecutableDirectory()) + "faces/jesper_2.jpg";
}

void Usage(std::FILE* out) {
  std::fprintf(out,
               "usage: pupiltrak08-makevideo [options] OUTPUT\n"
               "  OUTPUT              a video file (.avi, ...) or an image pattern such as\n"
               "                      frames/img%%04d.png\n"
               "  --photo PATH        face photograph with eye_centres.csv beside it\n"
               "                      (default: the face photograph jesper_2.jpg that comes\n"
               "                      with the program)\n"
               "  --size WxH          frame size (640x480)\n"
               "  --frames N          number of frames (360)\n"
               "  --fps F             video frame rate (30)\n"
               "  --codec FOURCC      video compressor (MJPG)\n"
               "  --screen WxH        the virtual user's screen (1024x710)\n"
               "  --points grid|centre  grid: the nine points of a 3 x 3 grid with the margin\n"
               "                      H/8; centre: the screen centre only (grid)\n"
               "  --frames-per-point N  (40)\n"
               "  --blink-every N     a 3-frame blink every N frames (0: none)\n"
               "  --sway PX           head sway amplitude in frame pixels (0)\n"
               "  --noise SIGMA       Gaussian sensor noise in grey levels (0)\n"
               "  --seed N            (1)\n"
               "  --truth FILE        CSV of what was painted in each frame\n"
               "  --sub-pixel N       paint the eyes with N x N samples per pixel and the glint\n"
               "                      integrated over each pixel (0: the plain painting; 0)\n"
               "  --help, -h          this text\n"
               "  --version           the program's version\n");
}

bool ParseSize(const char* text, cv::Size* size) {
  int w = 0, h = 0;
  if (std::sscanf(text, "%dx%d", &w, &h) != 2 || w <= 0 || h <= 0) return false;
  *size = cv::Size(w, h);
  return true;
}

struct MakeOptions {
  std::string photoPath = DefaultPhoto();
  std::string output, truthPath, points = "grid", codec = "MJPG";
  cv::Size size{640, 480};
  gen::VirtualUser user;
  gen::Session session;
  int frames = 360;
  int subPixel = 0;
  double fps = 30;
};

// -1 when the run goes on, else the exit status.
int ParseArguments(int argc, char** argv, MakeOptions* o) {
  for (int i = 1; i < argc; ++i) {
    const std::string arg = argv[i];
    const bool hasValue = i + 1 < argc;
    const auto value = [&]() { return argv[++i]; };
    if (arg == "--help" || arg == "-h") {
      Usage(stdout);
      return 0;
    } else if (arg == "--version") {
      std::puts("pupiltrak08-makevideo " PUPILTRAK_VERSION);
      return 0;
    } else if (arg == "--photo" && hasValue) {
      o->photoPath = value();
    } else if (arg == "--size" && hasValue) {
      if (!ParseSize(value(), &o->size)) return Usage(stderr), 2;
    } else if (arg == "--screen" && hasValue) {
      if (!ParseSize(value(), &o->user.screen)) return Usage(stderr), 2;
    } else if (arg == "--frames" && hasValue) {
      o->frames = std::atoi(value());
    } else if (arg == "--fps" && hasValue) {
      o->fps = std::atof(value());
    } else if (arg == "--codec" && hasValue) {
      o->codec = value();
    } else if (arg == "--points" && hasValue) {
      o->points = value();
    } else if (arg == "--frames-per-point" && hasValue) {
      o->session.framesPerPoint = std::atoi(value());
    } else if (arg == "--blink-every" && hasValue) {
      o->session.blinkEvery = std::atoi(value());
    } else if (arg == "--sway" && hasValue) {
      o->session.swayAmplitude = std::atof(value());
    } else if (arg == "--noise" && hasValue) {
      o->session.noiseSigma = std::atof(value());
    } else if (arg == "--seed" && hasValue) {
      o->session.seed = std::strtoull(value(), nullptr, 10);
    } else if (arg == "--sub-pixel" && hasValue) {
      o->subPixel = std::atoi(value());
    } else if (arg == "--truth" && hasValue) {
      o->truthPath = value();
    } else if (!arg.empty() && arg[0] != '-' && o->output.empty()) {
      o->output = arg;
    } else {
      Usage(stderr);
      return 2;
    }
  }
  if (o->output.empty() || o->frames <= 0 || o->fps <= 0 || o->codec.size() != 4 ||
      (o->points != "grid" && o->points != "centre")) {
    Usage(stderr);
    return 2;
  }
  return -1;
}

// Where the frames and their truth go: a video or an image sequence, and the truth CSV when
// asked for.
class FrameOutput {
 public:
  bool Open(const MakeOptions& o) {
    output_ = o.output;
    sequence_ = output_.find('%') != std::string::npos;
    if (!sequence_) {
      const std::string& c = o.codec;
      writer_.open(output_, cv::VideoWriter::fourcc(c[0], c[1], c[2], c[3]), o.fps, o.size);
      if (!writer_.isOpened()) return CannotWrite(output_);
    }
    if (o.truthPath.empty()) return true;
    truth_.open(o.truthPath);
    if (!truth_) return CannotWrite(o.truthPath);
    truth_ << "frame,blink,screen_x,screen_y,glint1_x,glint1_y,pupil1_x,pupil1_y,"
              "glint2_x,glint2_y,pupil2_x,pupil2_y,pupil_radius\n";
    return true;
  }

  bool Write(int k, const cv::Mat& frame, const gen::FrameTruth& t, cv::Point2d looking) {
    if (sequence_) {
      char name[4096];
      std::snprintf(name, sizeof name, output_.c_str(), k);
      if (!cv::imwrite(name, frame)) return CannotWrite(name);
    } else {
      writer_.write(frame);
    }
    if (truth_.is_open()) {
      truth_ << k << ',' << (t.blink ? 1 : 0) << ',' << looking.x << ',' << looking.y;
      for (const gen::EyeTruth& e : t.eye)
        truth_ << ',' << e.glint.x << ',' << e.glint.y << ',' << e.pupil.x << ',' << e.pupil.y;
      truth_ << ',' << t.eye[0].pupilRadius << '\n';
    }
    return true;
  }

 private:
  static bool CannotWrite(const std::string& path) {
    std::fprintf(stderr, "pupiltrak08-makevideo: cannot write %s\n", path.c_str());
    return false;
  }

  std::string output_;
  bool sequence_ = false;
  cv::VideoWriter writer_;
  std::ofstream truth_;
};

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  MakeOptions o;
  if (const int status = ParseArguments(argc, argv, &o); status >= 0) return status;

  gen::FacePhoto photo;
  std::string error;
  if (!gen::LoadFacePhoto(o.photoPath, &photo, &error)) {
    std::fprintf(stderr, "pupiltrak08-makevideo: %s\n", error.c_str());
    return 1;
  }
  gen::Scene scene = gen::DefaultScene(o.size);
  scene.subPixelSamples = std::max(0, o.subPixel);
  gen::FaceFrameGenerator generator(photo, scene);
  if (o.points == "grid")
    o.session.points = gen::GridPoints(o.user.screen, o.user.screen.height / 8);

  FrameOutput out;
  if (!out.Open(o)) return 1;
  for (int k = 0; k < o.frames; ++k) {
    cv::Point2d looking;
    const gen::FrameSpec shot = o.session.SpecAt(k, o.user, &looking);
    gen::FrameTruth t;
    const cv::Mat frame = generator.Render(shot, &t);
    if (!out.Write(k, frame, t, looking)) return 1;
  }
  std::printf("%d frames of %dx%d written to %s\n", o.frames, o.size.width, o.size.height,
              o.output.c_str());
  return 0;
}
