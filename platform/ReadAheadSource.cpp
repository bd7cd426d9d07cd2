#include "platform/ReadAheadSource.h"

#include <algorithm>
#include <utility>

ReadAheadSource::ReadAheadSource(std::unique_ptr<FrameSource> inner, size_t depth, Prepare prepare)
    : inner_(std::move(inner)), depth_(std::max<size_t>(depth, 1)), prepare_(std::move(prepare)) {}

ReadAheadSource::~ReadAheadSource() { Close(); }

bool ReadAheadSource::Open() {
  Close();
  if (!inner_->Open()) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    ready_.clear();
    ended_ = stop_ = false;
    error_ = nullptr;
  }
  reader_ = std::thread([this] { ReadLoop(); });
  return true;
}

void ReadAheadSource::ReadLoop() {
  for (int64_t index = 0;; ++index) {
    cv::Mat buffer;
    {
      std::unique_lock<std::mutex> lock(mutex_);
      changed_.wait(lock, [this] { return stop_ || ready_.size() < depth_; });
      if (stop_) return;
      if (!spare_.empty()) {
        buffer = std::move(spare_.back());
        spare_.pop_back();
      }
    }
    bool got = false;
    std::exception_ptr error;
    try {
      got = inner_->Read(buffer);
      if (got && !buffer.empty() && prepare_) prepare_(buffer, index);
    } catch (...) {
      error = std::current_exception();
    }
    std::lock_guard<std::mutex> lock(mutex_);
    if (got && !buffer.empty()) {
      ready_.push_back(std::move(buffer));
    } else {
      ended_ = true;
      error_ = error;
    }
    changed_.notify_all();
    if (ended_) return;
  }
}

bool ReadAheadSource::Read(cv::Mat& frame) {
  // The caller's previous frame is done with: unless the caller kept a reference of its own,
  // its buffer goes back to the reader.
  frame.release();
  std::unique_lock<std::mutex> lock(mutex_);
  if (!handedOut_.empty() && handedOut_.u && handedOut_.u->refcount == 1)
    spare_.push_back(std::move(handedOut_));
  handedOut_.release();
  if (!reader_.joinable()) return false;
  changed_.wait(lock, [this] { return !ready_.empty() || ended_; });
  if (ready_.empty()) {
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    return false;
  }
  handedOut_ = std::move(ready_.front());
  ready_.pop_front();
  changed_.notify_all();
  frame = handedOut_;
  return true;
}

void ReadAheadSource::StopReader() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (reader_.joinable()) reader_.join();
}

void ReadAheadSource::Close() {
  StopReader();
  inner_->Close();
  std::lock_guard<std::mutex> lock(mutex_);
  ready_.clear();
  spare_.clear();
  handedOut_.release();
}
