#include "FrameRecipe.h"

#include <algorithm>
#include <cmath>
#include <opencv2/imgproc.hpp>
#include <string>

#include "FaceFrameGenerator.h"
#include "calibration/CalibrationRun.h"
#include "platform/CameraFrame.h"
#include "platform/FrameSource.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace fuzzing {

namespace {

// Header layout (all single bytes unless said otherwise):
//  0-1  width - 1, little endian      2-3  height - 1, little endian
//  4    bits 0-1 channels (0: 1, 1: 3, 2: 4, 3: 3), bit 2 sixteen-bit, bit 3 large frame,
//       bits 4-5 content
//  5    bit 0 Eye Regions, bit 1 Gaze Direction, bit 2 EqualizeHist1, bit 3 EqualizeHist2,
//       bit 4 calibrating
//  6-9  the four sliders, each modulo 201
//  10   flat level             11  photograph
//  12   eye distance           13  eyes' midpoint x        14  eyes' midpoint y
//  15   unused
constexpr double kMinEyeDistance = 0.03, kMaxEyeDistance = 0.40;
constexpr double kMinMid = -0.25, kMaxMid = 1.25;
// The photograph is never enlarged more than this (memory stays bounded for 4000 x 3000).
constexpr double kMaxPhotoScale = 6.0;
// A face needs some pixels between the eyes to be painted at all.
constexpr double kMinEyePixels = 8.0;

double FromByte(uint8_t b, double lo, double hi) { return lo + (hi - lo) * b / 255.0; }

uint8_t ToByte(double v, double lo, double hi) {
  const double t = (std::clamp(v, lo, hi) - lo) / (hi - lo);
  return static_cast<uint8_t>(std::lround(t * 255.0));
}

uint8_t SliderByte(int value) { return static_cast<uint8_t>(std::clamp(value, 0, 200)); }

}  // namespace

FrameRecipe DecodeRecipe(const uint8_t* data, size_t size) {
  uint8_t h[kRecipeHeaderSize] = {};
  std::copy(data, data + std::min(size, kRecipeHeaderSize), h);
  FrameRecipe r;
  const bool large = (h[4] & 0x08) != 0;
  const int rawW = h[0] | (h[1] << 8);
  const int rawH = h[2] | (h[3] << 8);
  r.width = 1 + rawW % (large ? kMaxWidth : kUsualMaxWidth);
  r.height = 1 + rawH % (large ? kMaxHeight : kUsualMaxHeight);
  static const int kChannels[4] = {1, 3, 4, 3};
  r.channels = kChannels[h[4] & 0x03];
  r.sixteenBit = (h[4] & 0x04) != 0;
  r.content = static_cast<Content>((h[4] >> 4) & 0x03);
  // The dialog never lets Gaze Direction be on without Eye Regions.
  r.gaze = (h[5] & 0x02) != 0;
  r.eyeRegions = (h[5] & 0x01) != 0 || r.gaze;
  r.equalise1 = (h[5] & 0x04) != 0;
  r.equalise2 = (h[5] & 0x08) != 0;
  r.calibrating = (h[5] & 0x10) != 0;
  for (int i = 0; i < 4; ++i) r.sliders[i] = h[6 + i] % 201;
  r.level = h[10];
  r.photo = h[11];
  r.eyeDistance = FromByte(h[12], kMinEyeDistance, kMaxEyeDistance);
  r.midX = FromByte(h[13], kMinMid, kMaxMid);
  r.midY = FromByte(h[14], kMinMid, kMaxMid);
  if (size > kRecipeHeaderSize) r.bytes.assign(data + kRecipeHeaderSize, data + size);
  return r;
}

std::vector<uint8_t> EncodeRecipe(const FrameRecipe& r) {
  std::vector<uint8_t> out(kRecipeHeaderSize, 0);
  const int w = std::clamp(r.width, 1, kMaxWidth) - 1;
  const int h = std::clamp(r.height, 1, kMaxHeight) - 1;
  const bool large = w >= kUsualMaxWidth || h >= kUsualMaxHeight;
  out[0] = static_cast<uint8_t>(w & 0xFF);
  out[1] = static_cast<uint8_t>(w >> 8);
  out[2] = static_cast<uint8_t>(h & 0xFF);
  out[3] = static_cast<uint8_t>(h >> 8);
  const int channels = r.channels == 1 ? 0 : r.channels == 4 ? 2 : 1;
  out[4] = static_cast<uint8_t>(channels | (r.sixteenBit ? 0x04 : 0) | (large ? 0x08 : 0) |
                                (static_cast<int>(r.content) << 4));
  out[5] = static_cast<uint8_t>((r.eyeRegions ? 0x01 : 0) | (r.gaze ? 0x02 : 0) |
                                (r.equalise1 ? 0x04 : 0) | (r.equalise2 ? 0x08 : 0) |
                                (r.calibrating ? 0x10 : 0));
  for (int i = 0; i < 4; ++i) out[6 + i] = SliderByte(r.sliders[i]);
  out[10] = static_cast<uint8_t>(std::clamp(r.level, 0, 255));
  out[11] = static_cast<uint8_t>(std::clamp(r.photo, 0, 255));
  out[12] = ToByte(r.eyeDistance, kMinEyeDistance, kMaxEyeDistance);
  out[13] = ToByte(r.midX, kMinMid, kMaxMid);
  out[14] = ToByte(r.midY, kMinMid, kMaxMid);
  out.insert(out.end(), r.bytes.begin(), r.bytes.end());
  return out;
}

cv::Mat RenderRecipe(const FrameRecipe& r, const std::vector<gen::FacePhoto>& photos) {
  const cv::Size size(std::clamp(r.width, 1, kMaxWidth), std::clamp(r.height, 1, kMaxHeight));
  cv::Mat bgr(size, CV_8UC3, cv::Scalar::all(r.level));
  const bool face = r.content == Content::Face || r.content == Content::FaceAndBytes;
  if (face && !photos.empty()) {
    const gen::FacePhoto& photo = photos[static_cast<size_t>(r.photo) % photos.size()];
    gen::Scene scene = gen::DefaultScene(size);
    const double wanted = std::max(kMinEyePixels, r.eyeDistance * size.height);
    scene.eyeDistance = std::min(wanted, kMaxPhotoScale * std::max(photo.EyeDistance(), 1.0));
    scene.eyesMidpoint = cv::Point2f(static_cast<float>(r.midX * size.width),
                                     static_cast<float>(r.midY * size.height));
    bgr = gen::FaceFrameGenerator(photo, scene).Render(gen::FrameSpec{});
  }
  if ((r.content == Content::Bytes || r.content == Content::FaceAndBytes) && !r.bytes.empty()) {
    const size_t n = r.bytes.size();
    size_t k = 0;
    for (int y = 0; y < bgr.rows; ++y) {
      uint8_t* row = bgr.ptr<uint8_t>(y);
      for (int x = 0; x < bgr.cols * 3; ++x, k = (k + 1 == n ? 0 : k + 1)) {
        if (r.content == Content::Bytes)
          row[x] = r.bytes[k];
        else  // noise of +-64 around the face
          row[x] = cv::saturate_cast<uint8_t>(row[x] + (r.bytes[k] - 128) / 2);
      }
    }
  }

  cv::Mat out;
  if (r.channels == 1)
    cv::cvtColor(bgr, out, cv::COLOR_BGR2GRAY);
  else if (r.channels == 4)
    cv::cvtColor(bgr, out, cv::COLOR_BGR2BGRA);
  else
    out = bgr;
  if (r.sixteenBit) out.convertTo(out, CV_MAKETYPE(CV_16U, out.channels()), 257.0);
  return out;
}

bool ToCameraFrame(const cv::Mat& sourceFrame, CameraFrame* frame) {
  cv::Mat bgr;
  if (!ToBgr8(sourceFrame, bgr)) return false;
  cv::flip(bgr, frame->image, 0);
  frame->origin = 1;
  return true;
}

void ApplySettings(const FrameRecipe& r, TrackerState& t, CalibrationSamples& samples) {
  t.SearchEyeRegions = r.eyeRegions ? 1 : 0;
  t.EstimateGazeDirection = r.gaze ? 1 : 0;
  t.EqualizeHist1 = r.equalise1 ? 1 : 0;
  t.EqualizeHist2 = r.equalise2 ? 1 : 0;
  t.Finder1Param1 = r.sliders[0];
  t.Finder1Param2 = r.sliders[1];
  t.Finder2Param1 = r.sliders[2];
  t.Finder2Param2 = r.sliders[3];
  if (r.calibrating && !samples.CollectingSamples()) {
    samples.StartRun(1024, 710);
    t.CalibratedSinceStart = 1;
  }
  t.CalibrationActive = r.calibrating ? 1 : 0;
}

std::vector<gen::FacePhoto> LoadTestPhotos(const std::string& facesDir) {
  std::vector<gen::FacePhoto> photos;
  for (const char* name : {"grace_hopper.jpg", "jesper_2.jpg", "new_wave_2.jpg", "bar55_2.jpg"}) {
    gen::FacePhoto photo;
    if (gen::LoadFacePhoto(facesDir + "/" + name, &photo, nullptr)) photos.push_back(photo);
  }
  return photos;
}

namespace {

// Bytes that look like sensor noise: a fixed pseudo-random sequence of an odd length, so that
// repeating it never lines up with image rows.
std::vector<uint8_t> NoiseBytes() {
  std::vector<uint8_t> bytes(4099);
  uint32_t state = 12345u;
  for (uint8_t& b : bytes) {
    state = state * 1103515245u + 12345u;
    b = static_cast<uint8_t>(state >> 16);
  }
  return bytes;
}

FrameRecipe Sized(int width, int height, Content content, int level = 0) {
  FrameRecipe r;
  r.width = width;
  r.height = height;
  r.content = content;
  r.level = level;
  if (content == Content::Bytes || content == Content::FaceAndBytes) r.bytes = NoiseBytes();
  return r;
}

}  // namespace

std::vector<NamedRecipe> EdgeCaseRecipes() {
  std::vector<NamedRecipe> cases;
  const auto add = [&cases](std::string name, FrameRecipe r) {
    cases.push_back({std::move(name), std::move(r)});
  };

  // Sizes.
  add("1x1 black", Sized(1, 1, Content::Flat, 0));
  add("1x1 white grey", [] {
    FrameRecipe r = Sized(1, 1, Content::Flat, 255);
    r.channels = 1;
    return r;
  }());
  add("2x2 noise", Sized(2, 2, Content::Bytes));
  add("15x11 noise", Sized(15, 11, Content::Bytes));
  add("15x11 face", Sized(15, 11, Content::Face));
  add("one row 799x1", Sized(799, 1, Content::Bytes));
  add("one column 1x599", Sized(1, 599, Content::Bytes));
  add("odd 641x481 face", Sized(641, 481, Content::Face));
  add("odd 333x221 face", Sized(333, 221, Content::Face));
  add("odd 17x479 face", Sized(17, 479, Content::Face));
  add("4000x3000 face", Sized(4000, 3000, Content::Face));
  add("4000x3000 black", Sized(4000, 3000, Content::Flat, 0));
  add("3999x2999 noise", Sized(3999, 2999, Content::Bytes));

  // Layouts a source may deliver.
  for (int channels : {1, 4}) {
    FrameRecipe r = Sized(640, 480, Content::Face);
    r.channels = channels;
    add(std::to_string(channels) + " channel face", r);
    r.sixteenBit = true;
    add(std::to_string(channels) + " channel 16-bit face", r);
  }
  {
    FrameRecipe r = Sized(320, 240, Content::FaceAndBytes);
    r.sixteenBit = true;
    add("3 channel 16-bit noisy face", r);
  }

  // Content.
  add("all black", Sized(640, 480, Content::Flat, 0));
  add("all white", Sized(640, 480, Content::Flat, 255));
  add("mid grey", Sized(640, 480, Content::Flat, 128));
  add("noise", Sized(640, 480, Content::Bytes));
  add("noisy face", Sized(640, 480, Content::FaceAndBytes));
  for (int photo = 0; photo < 4; ++photo) {
    FrameRecipe r = Sized(640, 480, Content::Face);
    r.photo = photo;
    add("face photograph " + std::to_string(photo), r);
  }

  // Faces hanging over every border and corner, and the extremes of face size.
  const double inside = 0.5;
  const double over[] = {-0.10, 0.02, 0.98, 1.10};
  for (double x : over) {
    FrameRecipe r = Sized(640, 480, Content::Face);
    r.midX = x;
    r.midY = inside;
    add("face at x " + std::to_string(x), r);
  }
  for (double y : over) {
    FrameRecipe r = Sized(640, 480, Content::Face);
    r.midX = inside;
    r.midY = y;
    add("face at y " + std::to_string(y), r);
  }
  for (double x : {0.05, 0.95}) {
    for (double y : {0.05, 0.95}) {
      FrameRecipe r = Sized(640, 480, Content::Face);
      r.eyeDistance = 0.30;
      r.midX = x;
      r.midY = y;
      add("face in corner " + std::to_string(x) + "," + std::to_string(y), r);
    }
  }
  {
    FrameRecipe r = Sized(640, 480, Content::Face);
    r.eyeDistance = 0.40;
    add("huge face", r);
    r.eyeDistance = 0.03;
    add("tiny face", r);
  }

  // Detection parameters and options.
  for (int value : {0, 200}) {
    FrameRecipe r = Sized(640, 480, Content::Face);
    for (int& s : r.sliders) s = value;
    add("sliders all " + std::to_string(value), r);
    r.equalise1 = true;
    r.equalise2 = false;
    add("sliders all " + std::to_string(value) + " other equalisation", r);
  }
  {
    FrameRecipe r = Sized(640, 480, Content::Face);
    r.gaze = false;
    add("eye regions only", r);
    r.eyeRegions = false;
    add("no options", r);
    r = Sized(640, 480, Content::Face);
    r.calibrating = true;
    add("calibrating", r);
  }
  return cases;
}

}  // namespace fuzzing

}  // namespace pupiltrak
