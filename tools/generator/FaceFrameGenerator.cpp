#include "FaceFrameGenerator.h"

#include <algorithm>
#include <cmath>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <sstream>
#include <vector>

namespace pupiltrak {

namespace gen {

namespace {

std::string BaseName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string DirName(const std::string& path) {
  const size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? std::string(".") : path.substr(0, slash);
}

std::vector<std::string> SplitCsv(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream in(line);
  std::string field;
  while (std::getline(in, field, ',')) fields.push_back(field);
  return fields;
}

cv::Vec3d Mix(const cv::Vec3d& a, const cv::Vec3d& b, double t) { return a * (1 - t) + b * t; }

cv::Vec3d ToVec(const cv::Scalar& s) { return cv::Vec3d(s[0], s[1], s[2]); }

// Supersampling grid per pixel side for the painted eye (anti-aliased edges keep the circle
// centres sub-pixel exact).
constexpr int kSamples = 4;

}  // namespace

double FacePhoto::EyeDistance() const { return cv::norm(eye[1] - eye[0]); }

bool LoadFacePhoto(const std::string& imagePath, FacePhoto* photo, std::string* error) {
  const auto fail = [error](const std::string& why) {
    if (error) *error = why;
    return false;
  };
  photo->image = cv::imread(imagePath, cv::IMREAD_COLOR);
  if (photo->image.empty()) return fail("cannot read " + imagePath);
  const std::string csvPath = DirName(imagePath) + "/eye_centres.csv";
  std::ifstream csv(csvPath);
  if (!csv) return fail("cannot read " + csvPath);
  const std::string name = BaseName(imagePath);
  std::string line;
  while (std::getline(csv, line)) {
    const std::vector<std::string> f = SplitCsv(line);
    if (f.size() < 7 || f[0] != name) continue;
    try {
      photo->eye[0] = cv::Point2f(std::stof(f[3]), std::stof(f[4]));
      photo->eye[1] = cv::Point2f(std::stof(f[5]), std::stof(f[6]));
    } catch (const std::exception&) {
      return fail("bad line for " + name + " in " + csvPath);
    }
    return true;
  }
  return fail(name + " is not listed in " + csvPath);
}

Scene DefaultScene(cv::Size frameSize) {
  Scene scene;
  scene.frameSize = frameSize;
  scene.eyeDistance = 0.233 * frameSize.height;
  scene.eyesMidpoint = cv::Point2f(static_cast<float>(frameSize.width / 2.0),
                                   static_cast<float>(0.415 * frameSize.height));
  return scene;
}

Scene SubPixelScene(cv::Size frameSize) {
  Scene scene = DefaultScene(frameSize);
  scene.subPixelSamples = 16;
  return scene;
}

FaceFrameGenerator::FaceFrameGenerator(FacePhoto photo, Scene scene)
    : photo_(std::move(photo)), scene_(scene) {
  const double photoDistance = std::max(photo_.EyeDistance(), 1.0);
  scale_ = scene_.eyeDistance / photoDistance;
  cv::resize(photo_.image, scaled_, cv::Size(), scale_, scale_,
             scale_ < 1 ? cv::INTER_AREA : cv::INTER_LINEAR);
  scaledMid_ = (photo_.eye[0] + photo_.eye[1]) * 0.5f * static_cast<float>(scale_);

  // Lid colour: the skin just below each eye.
  for (int e = 0; e < 2; ++e) {
    const cv::Point2f below = photo_.eye[e] * static_cast<float>(scale_) +
                              cv::Point2f(0.f, static_cast<float>(0.28 * scene_.eyeDistance));
    const int w = std::max(2, static_cast<int>(0.12 * scene_.eyeDistance));
    const int h = std::max(2, static_cast<int>(0.06 * scene_.eyeDistance));
    cv::Rect patch(static_cast<int>(below.x) - w / 2, static_cast<int>(below.y) - h / 2, w, h);
    patch &= cv::Rect(0, 0, scaled_.cols, scaled_.rows);
    skin_[e] = patch.empty() ? cv::Scalar(120, 140, 190) : cv::mean(scaled_(patch));
  }
}

cv::Point2f FaceFrameGenerator::EyeCentre(int eye) const {
  return photo_.eye[eye == 1 ? 1 : 0] * static_cast<float>(scale_) - scaledMid_ +
         scene_.eyesMidpoint;
}

namespace {

// Paints one eye opening into the frame: the lids when the shot blinks, else sclera, iris and
// pupil with the glint on top, each pixel the mean of samples x samples points.
void PaintEye(cv::Mat& frame, const Scene& sc, const cv::Scalar& skin, const FrameSpec& shot,
              const EyeTruth& et) {
  const double D = sc.eyeDistance;
  const double hw = sc.openingHalfWidth * D;
  const double hh = sc.openingHalfHeight * D;
  const double rIris = sc.irisRadius * D;
  const double rPupil = sc.pupilRadius * D;
  const cv::Vec3d sclera = ToVec(sc.sclera), iris = ToVec(sc.iris), pupil = ToVec(sc.pupil);
  const bool subPixel = sc.subPixelSamples > 0;
  const int samples = subPixel ? sc.subPixelSamples : kSamples;
  // The glint's Gaussian, as the share of its peak that covers a pixel on one axis.
  const double sigma = sc.glintSigma;
  const auto glintShare = [sigma](double from) {
    const double k = 1 / (std::sqrt(2.0) * sigma);
    return std::sqrt(M_PI / 2) * sigma * (std::erf((from + 1) * k) - std::erf(from * k));
  };

  const cv::Vec3d lid = ToVec(skin);
  const cv::Vec3d lash = lid * 0.4;
  // Closed lids cover a little more than the opening.
  const double cw = shot.blink ? hw * 1.15 : hw;
  const double ch = shot.blink ? hh * 1.3 : hh;
  const int x0 = std::max(0, static_cast<int>(std::floor(et.centre.x - cw - 2)));
  const int x1 = std::min(frame.cols - 1, static_cast<int>(std::ceil(et.centre.x + cw + 2)));
  const int y0 = std::max(0, static_cast<int>(std::floor(et.centre.y - ch - 2)));
  const int y1 = std::min(frame.rows - 1, static_cast<int>(std::ceil(et.centre.y + ch + 2)));

  for (int y = y0; y <= y1; ++y) {
    cv::Vec3b* row = frame.ptr<cv::Vec3b>(y);
    for (int x = x0; x <= x1; ++x) {
      const cv::Vec3d original(row[x][0], row[x][1], row[x][2]);
      cv::Vec3d sum(0, 0, 0);
      int inside = 0;
      for (int i = 0; i < samples; ++i) {
        for (int j = 0; j < samples; ++j) {
          const double sx = x + (j + 0.5) / samples - 0.5;
          const double sy = y + (i + 0.5) / samples - 0.5;
          const double ex = (sx - et.centre.x) / cw;
          const double ey = (sy - et.centre.y) / ch;
          if (ex * ex + ey * ey > 1) {
            sum += original;
            continue;
          }
          ++inside;
          if (shot.blink) {
            // The lash line bows down a little below the eye's centre.
            const double lineY = et.centre.y + 0.3 * ch * (1 - ex * ex);
            sum += std::abs(sy - lineY) < 0.8 ? lash : lid;
            continue;
          }
          const double d = std::hypot(sx - et.pupil.x, sy - et.pupil.y);
          if (d < rPupil)
            sum += pupil;
          else if (d < rIris)
            sum += d > 0.85 * rIris ? iris * 0.75 : iris;  // darker limbal ring
          else
            sum += sclera;
        }
      }
      cv::Vec3d c = sum * (1.0 / (samples * samples));
      if (!shot.blink && inside > 0) {
        double a;
        if (subPixel) {
          a = glintShare(x - 0.5 - et.glint.x) * glintShare(y - 0.5 - et.glint.y) * inside /
              (samples * samples);
        } else {
          const double g2 =
              (x - et.glint.x) * (x - et.glint.x) + (y - et.glint.y) * (y - et.glint.y);
          a = std::exp(-g2 / (2 * sc.glintSigma * sc.glintSigma)) * inside / (kSamples * kSamples);
        }
        c = Mix(c, cv::Vec3d(255, 255, 255), a);
      }
      row[x] = cv::Vec3b(cv::saturate_cast<uchar>(c[0]), cv::saturate_cast<uchar>(c[1]),
                         cv::saturate_cast<uchar>(c[2]));
    }
  }
}

}  // namespace

cv::Mat FaceFrameGenerator::Render(const FrameSpec& shot, FrameTruth* truth) const {
  const Scene& sc = scene_;
  cv::Mat frame;
  const cv::Point2f offset = sc.eyesMidpoint + shot.headShift - scaledMid_;
  const cv::Matx23d move(1, 0, offset.x, 0, 1, offset.y);
  cv::warpAffine(scaled_, frame, move, sc.frameSize, cv::INTER_LINEAR, cv::BORDER_REPLICATE);

  FrameTruth t;
  t.blink = shot.blink;
  for (int e = 0; e < 2; ++e) {
    EyeTruth& et = t.eye[e];
    et.centre = EyeCentre(e) + shot.headShift;
    et.glint = et.centre;
    et.pupil = et.glint + shot.gazeOffset[e];
    et.pupilRadius = static_cast<float>(sc.pupilRadius * sc.eyeDistance);
    et.irisRadius = static_cast<float>(sc.irisRadius * sc.eyeDistance);
    if (sc.repaintEyes) PaintEye(frame, sc, skin_[e], shot, et);
  }

  if (shot.noiseSigma > 0) {
    cv::Mat noise(frame.size(), CV_16SC3);
    cv::RNG rng(shot.noiseSeed);
    rng.fill(noise, cv::RNG::NORMAL, 0, shot.noiseSigma);
    cv::Mat noisy;
    cv::add(frame, noise, noisy, cv::noArray(), CV_8U);
    frame = noisy;
  }
  if (truth) *truth = t;
  return frame;
}

}  // namespace gen

}  // namespace pupiltrak
