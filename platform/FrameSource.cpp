#include "platform/FrameSource.h"

#include <algorithm>
#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <cstring>
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

uint32_t BigEndian(const unsigned char* b, int n) {
  uint32_t v = 0;
  for (int i = 0; i < n; ++i) v = (v << 8) | b[i];
  return v;
}

// The width and height a JPEG file's frame header gives: the first start-of-frame segment.
bool JpegSize(std::ifstream& in, long long* w, long long* h) {
  unsigned char b[8];
  in.seekg(2);
  for (int segments = 0; segments < 4096 && in.read(reinterpret_cast<char*>(b), 4); ++segments) {
    if (b[0] != 0xFF) return false;
    const int marker = b[1];
    const uint32_t length = BigEndian(b + 2, 2);
    const bool frame =
        marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
    if (frame) {
      if (!in.read(reinterpret_cast<char*>(b), 5)) return false;
      *h = BigEndian(b + 1, 2);
      *w = BigEndian(b + 3, 2);
      return true;
    }
    if (length < 2) return false;
    in.seekg(length - 2, std::ios::cur);
  }
  return false;
}

// The size an image file's header claims, for PNG, JPEG, BMP and the PNM family; false when
// the format is another or the header cannot be read (the decoder then decides).
bool HeaderSize(const std::string& file, long long* w, long long* h) {
  std::ifstream in(file, std::ios::binary);
  unsigned char b[32] = {};
  if (!in.read(reinterpret_cast<char*>(b), 26)) return false;
  if (std::memcmp(b, "\x89PNG\r\n\x1a\n", 8) == 0 && std::memcmp(b + 12, "IHDR", 4) == 0) {
    *w = BigEndian(b + 16, 4);
    *h = BigEndian(b + 20, 4);
    return true;
  }
  if (b[0] == 0xFF && b[1] == 0xD8) return JpegSize(in, w, h);
  if (b[0] == 'B' && b[1] == 'M') {
    int32_t bw = 0, bh = 0;
    std::memcpy(&bw, b + 18, 4);  // little-endian, as the machines this runs on
    std::memcpy(&bh, b + 22, 4);
    *w = std::llabs(bw);
    *h = std::llabs(bh);
    return true;
  }
  if (b[0] == 'P' && b[1] >= '1' && b[1] <= '6') {
    in.clear();
    in.seekg(2);
    long long v[2] = {0, 0};
    for (long long& x : v) {
      in >> std::ws;
      while (in.peek() == '#') {
        std::string comment;
        std::getline(in, comment);
        in >> std::ws;
      }
      if (!(in >> x)) return false;
    }
    *w = v[0];
    *h = v[1];
    return true;
  }
  return false;
}

}  // namespace

std::string ImageProblem(const std::string& file) {
  std::error_code ec;
  const auto size = std::filesystem::file_size(file, ec);
  if (ec) return "cannot be read";
  if (size == 0) return "empty file";
  long long w = 0, h = 0;
  if (HeaderSize(file, &w, &h) &&
      (w > kMaxImageSide || h > kMaxImageSide || w * h > kMaxImagePixels || w <= 0 || h <= 0))
    return "its header says " + std::to_string(w) + " x " + std::to_string(h) +
           " pixels; at most " + std::to_string(kMaxImageSide) + " per side and " +
           std::to_string(kMaxImagePixels / 1000000) + " megapixels are accepted";
  if (!LooksComplete(file)) return "damaged or cut short";
  return "";
}

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
  if (IsPattern()) {
    // The first number found starts the sequence; the numbers before it are no gap.
    for (int n = 0; n < kMaxPatternGap; ++n)
      if (std::filesystem::exists(PatternFile(first_ + n), ec)) {
        next_ = static_cast<size_t>(n);
        return true;
      }
    return false;
  }
  if (!std::filesystem::is_directory(where_, ec)) return false;
  for (const auto& entry : std::filesystem::directory_iterator(where_, ec)) {
    if (entry.is_regular_file(ec) && IsImageFile(entry.path()))
      files_.push_back(entry.path().string());
  }
  std::sort(files_.begin(), files_.end());
  return !files_.empty();
}

void ImageSequenceSource::Skip(const std::string& file, const std::string& reason) {
  ++skipped_;
  if (onSkipped_) onSkipped_(file, reason);
}

std::string ImageSequenceSource::NextPatternFile() {
  std::error_code ec;
  const int at = first_ + static_cast<int>(next_);
  for (int gap = 0; gap < kMaxPatternGap; ++gap) {
    if (!std::filesystem::exists(PatternFile(at + gap), ec)) continue;
    // A gap before the next file: each missing number is named, as a skipped image would be.
    for (int n = 0; n < gap; ++n) Skip(PatternFile(at + n), "missing from the numbered sequence");
    next_ += static_cast<size_t>(gap);
    return PatternFile(at + gap);
  }
  return "";
}

bool ImageSequenceSource::Read(cv::Mat& frame) {
  for (;;) {
    std::string file;
    if (IsPattern()) {
      file = NextPatternFile();
      if (file.empty()) return false;
      files_.push_back(file);
    } else {
      if (next_ >= files_.size()) return false;
      file = files_[next_];
    }
    ++next_;
    // One bad image of many ends nothing: the rest of the sequence is still worth reading.
    std::string problem = ImageProblem(file);
    if (problem.empty()) {
      try {
        // Keep the file's own depth and channels; the layer converts.
        frame = cv::imread(file, cv::IMREAD_UNCHANGED);
      } catch (const cv::Exception&) {
        frame.release();
      }
      if (!frame.empty()) return true;
      problem = "not a readable image";
    }
    Skip(file, problem);
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
