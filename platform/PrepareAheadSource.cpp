#include "platform/PrepareAheadSource.h"

#include <algorithm>
#include <utility>

namespace pupiltrak {

PrepareAheadSource::PrepareAheadSource(std::unique_ptr<FrameSource> inner, size_t depth,
                                       Prepare prepare)
    : inner_(std::move(inner)), depth_(std::max<size_t>(depth, 1)), prepare_(std::move(prepare)) {}

PrepareAheadSource::~PrepareAheadSource() { Close(); }

bool PrepareAheadSource::Open() {
  Close();
  if (!inner_->Open()) return false;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    inFlight_.clear();
    prepared_ = 0;
    stop_ = false;
    preparedIndex_ = 0;
    error_ = nullptr;
  }
  ended_ = false;
  preparer_ = std::thread([this] { PrepareLoop(); });
  return true;
}

void PrepareAheadSource::PrepareLoop() {
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    changed_.wait(lock, [this] { return stop_ || prepared_ < inFlight_.size(); });
    if (stop_) return;
    // The frame stays where it is: the caller only takes frames already prepared, and the
    // deque never moves its elements when frames are added at the back.
    const cv::Mat& frame = inFlight_[prepared_];
    const int64_t index = preparedIndex_ + static_cast<int64_t>(prepared_);
    lock.unlock();
    try {
      if (prepare_) prepare_(frame, index);
    } catch (...) {
      // A frame whose preparation failed is handed out as it is.
    }
    lock.lock();
    ++prepared_;
    changed_.notify_all();
  }
}

bool PrepareAheadSource::Read(cv::Mat& frame) {
  frame.release();
  if (!handedOut_.empty() && handedOut_.u && handedOut_.u->refcount == 1)
    spare_.push_back(std::move(handedOut_));
  handedOut_.release();
  if (!preparer_.joinable()) return false;

  // Keep depth frames in flight: read on this thread while the other one prepares.
  for (;;) {
    {
      std::lock_guard<std::mutex> lock(mutex_);
      if (ended_ || inFlight_.size() >= depth_) break;
    }
    cv::Mat buffer;
    if (!spare_.empty()) {
      buffer = std::move(spare_.back());
      spare_.pop_back();
    }
    bool got = false;
    try {
      got = inner_->Read(buffer) && !buffer.empty();
    } catch (...) {
      std::lock_guard<std::mutex> lock(mutex_);
      if (!error_) error_ = std::current_exception();
    }
    if (!got) {
      ended_ = true;
      break;
    }
    std::lock_guard<std::mutex> lock(mutex_);
    inFlight_.push_back(std::move(buffer));
    changed_.notify_all();
  }

  std::unique_lock<std::mutex> lock(mutex_);
  changed_.wait(lock, [this] { return prepared_ > 0 || inFlight_.empty(); });
  if (inFlight_.empty()) {
    if (error_) std::rethrow_exception(std::exchange(error_, nullptr));
    return false;
  }
  handedOut_ = std::move(inFlight_.front());
  inFlight_.pop_front();
  --prepared_;
  ++preparedIndex_;
  frame = handedOut_;
  return true;
}

void PrepareAheadSource::StopPreparing() {
  {
    std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  changed_.notify_all();
  if (preparer_.joinable()) preparer_.join();
}

void PrepareAheadSource::Close() {
  StopPreparing();
  inner_->Close();
  std::lock_guard<std::mutex> lock(mutex_);
  inFlight_.clear();
  prepared_ = 0;
  spare_.clear();
  handedOut_.release();
}

}  // namespace pupiltrak
