#include "platform/FrameSource.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <opencv2/imgcodecs.hpp>
#include <opencv2/imgproc.hpp>
#include <opencv2/videoio/registry.hpp>
#include <system_error>

namespace pupiltrak {

bool ToBgr8(const cv::Mat& in, cv::Mat& out) {
  if (in.empty() || (in.channels() != 1 && in.channels() != 3 && in.channels() != 4)) {
    out.release();
    return false;
  }
  cv::Mat eight;
  switch (in.depth()) {
    case CV_8U:
      eight = in;
      break;
    case CV_8S:
      in.convertTo(eight, CV_8U, 1.0, 128.0);
      break;
    case CV_16U:
      in.convertTo(eight, CV_8U, 1.0 / 256.0);
      break;
    case CV_16S:
      in.convertTo(eight, CV_8U, 1.0 / 256.0, 128.0);
      break;
    case CV_32F:
    case CV_64F:
      in.convertTo(eight, CV_8U, 255.0);
      break;
    default:
      in.convertTo(eight, CV_8U);
      break;
  }
  switch (eight.channels()) {
    case 1:
      cv::cvtColor(eight, out, cv::COLOR_GRAY2BGR);
      break;
    case 4:
      cv::cvtColor(eight, out, cv::COLOR_BGRA2BGR);
      break;
    default:
      // Never share the caller's pixels: the layer draws into what it gets.
      if (eight.data == in.data)
        in.copyTo(out);
      else
        out = eight;
      break;
  }
  return true;
}

// --- V4L2 camera ---

V4L2CameraSource::V4L2CameraSource(int deviceNumber, VideoFormat format)
    : deviceNumber_(deviceNumber), format_(format) {}

bool V4L2CameraSource::Open() {
  capture_.release();
  if (!capture_.open(deviceNumber_, cv::CAP_V4L2)) return false;
  // The driver takes what it can of the chosen format; what it cannot it rounds or ignores.
  if (format_.fourcc != 0) capture_.set(cv::CAP_PROP_FOURCC, static_cast<double>(format_.fourcc));
  if (format_.width > 0 && format_.height > 0) {
    capture_.set(cv::CAP_PROP_FRAME_WIDTH, format_.width);
    capture_.set(cv::CAP_PROP_FRAME_HEIGHT, format_.height);
  }
  if (format_.framesPerSecond > 0) capture_.set(cv::CAP_PROP_FPS, format_.framesPerSecond);
  return capture_.isOpened();
}

bool V4L2CameraSource::Read(cv::Mat& frame) {
  // A camera that was unplugged fails here, and so ends the run.
  return capture_.isOpened() && capture_.read(frame) && !frame.empty();
}

void V4L2CameraSource::Close() { capture_.release(); }

std::string V4L2CameraSource::Describe() const {
  return "camera /dev/video" + std::to_string(deviceNumber_);
}

// --- video file ---

VideoFileSource::VideoFileSource(std::string path, Pacing pacing)
    : path_(std::move(path)), pacing_(pacing) {}

bool OpenVideoFile(cv::VideoCapture& capture, const std::string& path) {
  static const bool ffmpeg = cv::videoio_registry::hasBackend(cv::CAP_FFMPEG);
  try {
    return capture.open(path, ffmpeg ? cv::CAP_FFMPEG : cv::CAP_ANY) && capture.isOpened();
  } catch (const cv::Exception&) {
    return false;
  }
}

bool VideoFileSource::Open() {
  capture_.release();
  std::error_code ec;
  if (!std::filesystem::is_regular_file(path_, ec) || !OpenVideoFile(capture_, path_)) return false;
  fps_ = capture_.get(cv::CAP_PROP_FPS);
  if (!(fps_ > 0 && fps_ < 1000)) fps_ = 0;
  return true;
}

bool VideoFileSource::Read(cv::Mat& frame) {
  return capture_.isOpened() && capture_.read(frame) && !frame.empty();
}

void VideoFileSource::Close() { capture_.release(); }

double VideoFileSource::FrameInterval() const {
  if (pacing_ == Pacing::AsFastAsPossible) return 0.0;
  // A file that gives no rate plays at the video writer's nominal rate.
  return 1.0 / (fps_ > 0 ? fps_ : 30.0);
}

std::string VideoFileSource::Describe() const { return path_; }

// --- image sequence ---

namespace {
bool IsImageFile(const std::filesystem::path& p) {
  std::string ext = p.extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  static const char* known[] = {".png", ".jpg", ".jpeg", ".bmp",  ".pgm", ".ppm",
                                ".pnm", ".pbm", ".tif",  ".tiff", ".webp"};
  return std::find(std::begin(known), std::end(known), ext) != std::end(known);
}

// The decoders of a truncated JPEG or PNG file complain on standard error by themselves; the
// file's last bytes tell it is cut short without decoding it. Other formats are left to imread.
bool LooksComplete(const std::string& file) {
  std::string ext = std::filesystem::path(file).extension().string();
  std::transform(ext.begin(), ext.end(), ext.begin(),
                 [](unsigned char c) { return static_cast<char>(std::tolower(c)); });
  std::ifstream in(file, std::ios::binary | std::ios::ate);
  const std::streamoff size = in ? static_cast<std::streamoff>(in.tellg()) : 0;
  if (size <= 0) return false;
  // The end marker: a JPEG's EOI (0xFF 0xD9 cannot occur inside its coded data) or a PNG's
  // IEND chunk, near the end (a little padding after it is allowed).
  const char* end = ext == ".jpg" || ext == ".jpeg" ? "\xFF\xD9" : ext == ".png" ? "IEND" : nullptr;
  if (!end) return true;
  const std::streamoff tail = std::min<std::streamoff>(size, 1024);
  std::string bytes(static_cast<size_t>(tail), '\0');
  in.seekg(size - tail);
  in.read(bytes.data(), tail);
  return in && bytes.find(end) != std::string::npos;
}

}  // namespace

ImageSequenceSource::ImageSequenceSource(std::string folderOrPattern, double framesPerSecond,
                                         int firstNumber)
    : where_(std::move(folderOrPattern)), fps_(framesPerSecond), first_(firstNumber) {}

bool ImageSequenceSource::IsPattern() const {
  // One integer conversion such as %d, %4d or %04d.
  size_t pos = where_.find('%');
  if (pos == std::string::npos) return false;
  size_t i = pos + 1;
  while (i < where_.size() && std::isdigit(static_cast<unsigned char>(where_[i]))) ++i;
  return i < where_.size() && where_[i] == 'd' && where_.find('%', i) == std::string::npos;
}

std::string ImageSequenceSource::PatternFile(int number) const {
  char buf[4096];
  std::snprintf(buf, sizeof buf, where_.c_str(), number);
  return buf;
}

bool ImageSequenceSource::Open() {
  files_.clear();
  next_ = 0;
  skipped_ = 0;
  std::error_code ec;
  if (IsPattern()) return std::filesystem::exists(PatternFile(first_), ec);
  if (!std::filesystem::is_directory(where_, ec)) return false;
  for (const auto& entry : std::filesystem::directory_iterator(where_, ec)) {
    if (entry.is_regular_file(ec) && IsImageFile(entry.path()))
      files_.push_back(entry.path().string());
  }
  std::sort(files_.begin(), files_.end());
  return !files_.empty();
}

bool ImageSequenceSource::Read(cv::Mat& frame) {
  for (;;) {
    std::string file;
    if (IsPattern()) {
      file = PatternFile(first_ + static_cast<int>(next_));
      std::error_code ec;
      if (!std::filesystem::exists(file, ec)) return false;
      files_.push_back(file);
    } else {
      if (next_ >= files_.size()) return false;
      file = files_[next_];
    }
    ++next_;
    // Keep the file's own depth and channels; the layer converts.
    frame = LooksComplete(file) ? cv::imread(file, cv::IMREAD_UNCHANGED) : cv::Mat();
    if (!frame.empty()) return true;
    // One bad image of many ends nothing: the rest of the sequence is still worth reading.
    ++skipped_;
    if (onSkipped_) onSkipped_(file);
  }
}

void ImageSequenceSource::Close() {}

double ImageSequenceSource::FrameInterval() const { return fps_ > 0 ? 1.0 / fps_ : 0.0; }

std::string ImageSequenceSource::Describe() const { return where_; }

// --- generated frames ---

GeneratedSource::GeneratedSource(Generator generator, double framesPerSecond, int64_t frameCount)
    : generator_(std::move(generator)), fps_(framesPerSecond), count_(frameCount) {}

bool GeneratedSource::Open() {
  next_ = 0;
  return static_cast<bool>(generator_);
}

bool GeneratedSource::Read(cv::Mat& frame) {
  int64_t index = next_.load();
  if (count_ >= 0 && index >= count_) return false;
  frame = generator_(index);
  next_ = index + 1;
  return !frame.empty();
}

double GeneratedSource::FrameInterval() const { return fps_ > 0 ? 1.0 / fps_ : 0.0; }

std::string GeneratedSource::Describe() const { return "generated frames"; }

}  // namespace pupiltrak
