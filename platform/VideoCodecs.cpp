#include "platform/VideoCodecs.h"

#include <unistd.h>

#include <cstdio>
#include <filesystem>
#include <mutex>
#include <opencv2/videoio.hpp>
#include <optional>
#include <system_error>

namespace pupiltrak {

namespace {
int Fourcc(const char* c) { return cv::VideoWriter::fourcc(c[0], c[1], c[2], c[3]); }

// Writes three frames with the codec and reads them back.
bool Writes(const VideoCodec& codec, const std::string& file) {
  const cv::Size size(64, 48);
  {
    cv::VideoWriter writer(file, cv::CAP_FFMPEG, codec.fourcc, 30.0, size, true);
    if (!writer.isOpened()) {
      writer.open(file, codec.fourcc, 30.0, size, true);
      if (!writer.isOpened()) return false;
    }
    for (int i = 0; i < 3; ++i) writer.write(cv::Mat(size, CV_8UC3, cv::Scalar(40 * i, 120, 200)));
  }
  cv::VideoCapture reader(file);
  cv::Mat frame;
  bool ok = reader.isOpened() && reader.read(frame) && frame.size() == size;
  reader.release();
  std::error_code ec;
  std::filesystem::remove(file, ec);
  return ok;
}
}  // namespace

std::vector<VideoCodec> CandidateCodecs() {
  return {
      {Fourcc("MJPG"), "Motion JPEG (MJPG)"},
      {Fourcc("XVID"), "Xvid MPEG-4 (XVID)"},
      {Fourcc("H264"), "H.264 (H264)"},
      {Fourcc("FFV1"), "FFV1 lossless (FFV1)"},
      {Fourcc("HFYU"), "HuffYUV lossless (HFYU)"},
      {0, "Full frames (uncompressed)"},
  };
}

std::vector<VideoCodec> ProbeCodecs(const std::vector<VideoCodec>& candidates,
                                    const std::string& dir) {
  std::vector<VideoCodec> working;
  for (const auto& codec : candidates) {
    std::string file = dir + "/pupiltrak-codec-probe-" + std::to_string(getpid()) + "-" +
                       std::to_string(codec.fourcc) + ".avi";
    if (Writes(codec, file)) working.push_back(codec);
  }
  return working;
}

std::vector<VideoCodec> AvailableCodecs() {
  static std::once_flag once;
  static std::vector<VideoCodec> available;
  std::call_once(once, [] {
    std::error_code ec;
    std::string dir = std::filesystem::temp_directory_path(ec).string();
    available = ProbeCodecs(CandidateCodecs(), ec ? std::string("/tmp") : dir);
  });
  return available;
}

std::unique_ptr<cv::VideoWriter> OpenVideoWriter(const std::string& path, int fourcc,
                                                 double framesPerSecond, cv::Size frameSize,
                                                 bool colour) {
  if (fourcc == kAskForCodec) {
    std::optional<VideoCodec> chosen = UserPrompts().ChooseCodec(AvailableCodecs());
    if (!chosen) return nullptr;
    fourcc = chosen->fourcc;
  }
  auto writer = std::make_unique<cv::VideoWriter>();
  // The FFmpeg backend writes every codec offered, uncompressed frames included.
  if (!writer->open(path, cv::CAP_FFMPEG, fourcc, framesPerSecond, frameSize, colour))
    writer->open(path, fourcc, framesPerSecond, frameSize, colour);
  if (!writer->isOpened()) return nullptr;
  return writer;
}

}  // namespace pupiltrak
