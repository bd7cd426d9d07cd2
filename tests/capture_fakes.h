#pragma once
// Stand-ins shared by the capture tests: a dialog that records its log and control states,
// and frame generators.

#include <map>
#include <mutex>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "platform/DialogControls.h"

using namespace pupiltrak;

class RecordingDialog : public DialogControls {
 public:
  void AddLogLine(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back(text);
  }
  void AddBugLine(const std::string& text) override {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.push_back("Bug: " + text);
  }
  void EnableControl(int id, bool enabled) override {
    std::lock_guard<std::mutex> lock(mutex_);
    enabled_[id] = enabled;
  }
  std::vector<std::string> Lines() const {
    std::lock_guard<std::mutex> lock(mutex_);
    return lines_;
  }
  void ClearLines() {
    std::lock_guard<std::mutex> lock(mutex_);
    lines_.clear();
  }
  // -1: never set.
  int Enabled(int id) const {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = enabled_.find(id);
    return it == enabled_.end() ? -1 : (it->second ? 1 : 0);
  }

 private:
  mutable std::mutex mutex_;
  std::vector<std::string> lines_;
  std::map<int, bool> enabled_;
};

// A picture whose top row is red, bottom row blue, the rest grey with the index in pixel (0,1).
inline cv::Mat MarkedPictureSized(int64_t index, int width, int height) {
  cv::Mat m(height, width, CV_8UC3, cv::Scalar(90, 90, 90));
  m.row(0).setTo(cv::Scalar(0, 0, 255));
  m.row(height - 1).setTo(cv::Scalar(255, 0, 0));
  m.at<cv::Vec3b>(1, 0) = cv::Vec3b(static_cast<uchar>(index % 256), 0, 0);
  return m;
}

// The same at 64 x 48 (usable as a frame generator).
inline cv::Mat MarkedPicture(int64_t index) { return MarkedPictureSized(index, 64, 48); }
