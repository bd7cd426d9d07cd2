#pragma once
// Where the camera layer gets its frames: the V4L2 camera, a video file, an image sequence or
// generated frames. The layer's worker thread opens a source, reads it frame by frame and paces
// it; a source only has to deliver top-down images.

#include <atomic>
#include <cstdint>
#include <functional>
#include <memory>
#include <opencv2/core.hpp>
#include <opencv2/videoio.hpp>
#include <string>
#include <vector>

namespace pupiltrak {

class FrameSource {
 public:
  virtual ~FrameSource() = default;
  // Prepares delivery from the first frame on; false when the source cannot deliver at all.
  // May be called again after Close (a file then starts again from its beginning).
  virtual bool Open() = 0;
  // The next frame, top-down, in whatever depth and channel count the source has (the layer
  // converts it). false: the source has ended or failed and delivers nothing more.
  virtual bool Read(cv::Mat& frame) = 0;
  virtual void Close() = 0;
  // Seconds between frames at which the layer paces delivery; 0: as fast as Read returns
  // (a camera paces itself).
  virtual double FrameInterval() const { return 0.0; }
  // A short description for tools and messages ("camera /dev/video0", a file name, ...).
  virtual std::string Describe() const = 0;
};

// Converts any 8-bit or 16-bit or floating image with 1, 3 or 4 channels to 8-bit B, G, R.
// Grey becomes three equal channels, alpha is dropped, 16-bit keeps the upper byte and floating
// point is taken as 0..1. false (and out empty) for an empty image or another channel count.
bool ToBgr8(const cv::Mat& in, cv::Mat& out);

// The video format chosen on the video-format page for the next start; zeros leave the
// driver's choice.
struct VideoFormat {
  uint32_t fourcc = 0;  // V4L2 pixel format, e.g. 'MJPG', 'YUYV'
  int width = 0, height = 0;
  double framesPerSecond = 0;
  bool operator==(const VideoFormat& o) const {
    return fourcc == o.fourcc && width == o.width && height == o.height &&
           framesPerSecond == o.framesPerSecond;
  }
};

// A V4L2 camera, opened through OpenCV's V4L2 backend by its node number (/dev/video<N>).
class V4L2CameraSource : public FrameSource {
 public:
  explicit V4L2CameraSource(int deviceNumber, VideoFormat format = {});
  bool Open() override;
  bool Read(cv::Mat& frame) override;
  void Close() override;
  std::string Describe() const override;

 private:
  int deviceNumber_;
  VideoFormat format_;
  cv::VideoCapture capture_;
};

enum class Pacing {
  RealTime,         // one frame per frame interval of the file
  AsFastAsPossible  // as fast as the frame callback returns
};

// Opens a video file with FFmpeg where OpenCV has it: the other backends would try the file too
// when FFmpeg cannot read it, and each fails with messages of its own.
bool OpenVideoFile(cv::VideoCapture& capture, const std::string& path);

// A video file read with cv::VideoCapture.
class VideoFileSource : public FrameSource {
 public:
  explicit VideoFileSource(std::string path, Pacing pacing = Pacing::RealTime);
  bool Open() override;
  bool Read(cv::Mat& frame) override;
  void Close() override;
  double FrameInterval() const override;
  std::string Describe() const override;
  // The file's own rate (0 until opened or when the file does not say).
  double FramesPerSecond() const { return fps_; }

 private:
  std::string path_;
  Pacing pacing_;
  cv::VideoCapture capture_;
  double fps_ = 0;
};

// The largest image a sequence accepts, checked from the file's header before decoding: a
// header can claim any size, and decoding it would take that much memory.
inline constexpr int kMaxImageSide = 16384;
inline constexpr long long kMaxImagePixels = 50000000;
// A pattern ends at the first run of this many missing numbers; a shorter gap is skipped.
inline constexpr int kMaxPatternGap = 100;

// Why an image file cannot be used (empty, too large, cut short), found without decoding it;
// empty when it looks fine.
std::string ImageProblem(const std::string& file);

// Still images read one after another: every image file of a folder in name order, or the
// files of a printf-style pattern ("frames/img%04d.png") from the first number found (at most
// kMaxPatternGap after firstNumber) until kMaxPatternGap numbers in a row are missing. An image
// that cannot be read (empty, damaged, too large) and a missing number before the end are
// skipped, each told to the skip handler; the rest of the sequence is read.
class ImageSequenceSource : public FrameSource {
 public:
  // Told the name of every skipped file and why, on the thread that reads.
  using SkipHandler = std::function<void(const std::string& file, const std::string& reason)>;

  // framesPerSecond 0: as fast as possible.
  explicit ImageSequenceSource(std::string folderOrPattern, double framesPerSecond = 0,
                               int firstNumber = 0);
  bool Open() override;
  bool Read(cv::Mat& frame) override;
  void Close() override;
  double FrameInterval() const override;
  std::string Describe() const override;
  // The files found by Open (folder form) or read so far (pattern form).
  const std::vector<std::string>& Files() const { return files_; }
  void OnSkipped(SkipHandler handler) { onSkipped_ = std::move(handler); }
  // Files skipped since Open (may be read from any thread).
  long Skipped() const { return skipped_.load(); }

 private:
  bool IsPattern() const;
  std::string PatternFile(int number) const;
  // The pattern's next file from next_ on (missing numbers before it skipped); empty at the end.
  std::string NextPatternFile();
  void Skip(const std::string& file, const std::string& reason);

  std::string where_;
  double fps_;
  int first_;
  std::vector<std::string> files_;
  size_t next_ = 0;
  SkipHandler onSkipped_;
  std::atomic<long> skipped_{0};
};

// Frames made by a function of the frame index (0, 1, 2, ...). An empty image from the
// function ends the source, as does reaching frameCount (when not negative).
class GeneratedSource : public FrameSource {
 public:
  using Generator = std::function<cv::Mat(int64_t index)>;
  explicit GeneratedSource(Generator generator, double framesPerSecond = 0,
                           int64_t frameCount = -1);
  bool Open() override;
  bool Read(cv::Mat& frame) override;
  void Close() override {}
  double FrameInterval() const override;
  std::string Describe() const override;
  // Frames handed out since Open (may be read from any thread).
  int64_t FramesRead() const { return next_.load(); }

 private:
  Generator generator_;
  double fps_;
  int64_t count_;
  std::atomic<int64_t> next_{0};
};

}  // namespace pupiltrak
