#include "platform/CameraLibrary.h"

#include <chrono>
#include <exception>
#include <opencv2/core.hpp>

#include "platform/NamedWindows.h"
#include "platform/V4L2Device.h"

namespace pupiltrak {

namespace {

// Where the frame is shown: the picture upright, whatever the buffer's row order.
void ShowUpright(NamedWindows& windows, uintptr_t window, const CameraFrame& frame,
                 cv::Mat& scratch) {
  if (frame.image.empty()) return;
  if (frame.origin != 0) {
    cv::flip(frame.image, scratch, 0);
    windows.ShowInHandle(window, scratch);
  } else {
    windows.ShowInHandle(window, frame.image);
  }
}

}  // namespace

CameraLibrary::CameraLibrary() { RestoreDefaults(); }

CameraLibrary::~CameraLibrary() {
  std::lock_guard<std::mutex> control(control_);
  StopLocked();
}

bool CameraLibrary::OnWorker() const { return workerId_.load() == std::this_thread::get_id(); }

int CameraLibrary::CameraCount() {
  CameraCounter counter;
  {
    std::lock_guard<std::mutex> lock(config_);
    counter = counter_;
  }
  return counter ? std::max(0, counter()) : 0;
}

bool CameraLibrary::SetEnable(int camera, bool enable) {
  if (camera != 0) return false;
  std::lock_guard<std::mutex> lock(config_);
  enabled_ = enable;
  return true;
}

bool CameraLibrary::SetRender(int camera, bool render) {
  if (camera != 0) return false;
  render_ = render;
  return true;
}

bool CameraLibrary::SetWindow(int camera, uintptr_t nativeHandle) {
  if (camera != 0) return false;
  window_ = nativeHandle;
  return true;
}

bool CameraLibrary::SetCallback(int camera, CameraCallback callback) {
  if (camera != 0) return false;
  std::lock_guard<std::mutex> lock(config_);
  callback_ = std::move(callback);
  return true;
}

int CameraLibrary::Init() {
  if (OnWorker()) return 0;
  std::lock_guard<std::mutex> control(control_);
  // Initialising again under a running camera keeps it running (the property pages do this).
  if (initialised_) return 1;
  SourceFactory factory;
  {
    std::lock_guard<std::mutex> lock(config_);
    if (!enabled_) return 0;
    factory = factory_;
  }
  std::unique_ptr<FrameSource> source = factory ? factory(0) : nullptr;
  if (!source) return 0;
  source_ = std::move(source);
  opened_ = false;
  initialised_ = true;
  return 1;
}

int CameraLibrary::Start() {
  if (OnWorker()) return -1;
  std::lock_guard<std::mutex> control(control_);
  if (!initialised_ || !source_) return -1;
  {
    std::lock_guard<std::mutex> lock(wait_);
    if (delivering_) return 0;  // already running
  }
  // A run whose source ended by itself still has its thread to collect.
  if (worker_.joinable()) worker_.join();
  // The device is opened here rather than at initialise, so an idle program never holds it.
  if (!opened_) {
    if (!source_->Open()) return -1;
    opened_ = true;
  }
  CameraCallback callback;
  std::function<bool()> gate;
  {
    std::lock_guard<std::mutex> lock(config_);
    callback = callback_;
    gate = gate_;
  }
  stopRequested_ = false;
  sourceEnded_ = false;
  framesDelivered_ = 0;
  failedCallbacks_ = 0;
  {
    std::lock_guard<std::mutex> lock(wait_);
    delivering_ = true;
    lastError_.clear();
  }
  worker_ = std::thread(&CameraLibrary::Deliver, this, source_.get(), std::move(callback),
                        std::move(gate));
  return 0;
}

void CameraLibrary::Stop() {
  if (OnWorker()) {
    // Joining itself is impossible; the worker ends after the current frame.
    std::lock_guard<std::mutex> lock(wait_);
    stopRequested_ = true;
    return;
  }
  std::lock_guard<std::mutex> control(control_);
  StopLocked();
}

void CameraLibrary::StopLocked() {
  {
    std::lock_guard<std::mutex> lock(wait_);
    stopRequested_ = true;
  }
  wake_.notify_all();
  if (worker_.joinable()) worker_.join();
  workerId_ = std::thread::id();
  // Closing the device at stop lets the camera go idle; the next start opens it again.
  if (source_ && opened_) source_->Close();
  opened_ = false;
}

void CameraLibrary::Exit() {
  if (OnWorker()) return;
  std::lock_guard<std::mutex> control(control_);
  StopLocked();
  source_.reset();
  initialised_ = false;
  std::lock_guard<std::mutex> lock(config_);
  enabled_ = false;
  callback_ = nullptr;
  render_ = false;
  window_ = 0;
}

bool CameraLibrary::ShowPropertyPage(int camera, const std::string& page) {
  if (camera != 0 || (page != "camera_pp" && page != "video_pp")) return false;
  if (!initialised_) return false;
  PropertyPageRequest request{camera, page, DevicePath(camera)};
  PropertyPageHandler handler;
  {
    std::lock_guard<std::mutex> lock(config_);
    pagesShown_.push_back(request);
    handler = pageHandler_;
  }
  if (handler) handler(*this, request);
  return true;
}

bool CameraLibrary::Initialised() const { return initialised_.load(); }

bool CameraLibrary::Delivering() const {
  std::lock_guard<std::mutex> lock(wait_);
  return delivering_;
}

bool CameraLibrary::StopRequested() const {
  std::lock_guard<std::mutex> lock(wait_);
  return stopRequested_.load() && delivering_;
}

std::string CameraLibrary::LastCallbackError() const {
  std::lock_guard<std::mutex> lock(wait_);
  return lastError_;
}

void CameraLibrary::WaitUntilIdle() {
  std::unique_lock<std::mutex> lock(wait_);
  wake_.wait(lock, [this] { return !delivering_; });
}

bool CameraLibrary::WaitForFrames(int64_t count) {
  std::unique_lock<std::mutex> lock(wait_);
  wake_.wait(lock, [this, count] { return framesDelivered_.load() >= count || !delivering_; });
  return framesDelivered_.load() >= count;
}

std::string CameraLibrary::DevicePath(int camera) {
  std::string dir;
  {
    std::lock_guard<std::mutex> lock(config_);
    dir = devDir_;
  }
  auto devices = v4l2::CaptureDevices(dir);
  if (camera < 0 || static_cast<size_t>(camera) >= devices.size()) return "";
  return devices[static_cast<size_t>(camera)].path;
}

void CameraLibrary::SetVideoFormat(int camera, const VideoFormat& format) {
  if (camera != 0) return;
  std::lock_guard<std::mutex> lock(config_);
  videoFormat_ = format;
}

VideoFormat CameraLibrary::ChosenVideoFormat(int camera) const {
  if (camera != 0) return {};
  std::lock_guard<std::mutex> lock(config_);
  return videoFormat_;
}

void CameraLibrary::SetCameraCounter(CameraCounter counter) {
  std::lock_guard<std::mutex> lock(config_);
  counter_ = std::move(counter);
}

void CameraLibrary::SetSourceFactory(SourceFactory factory) {
  std::lock_guard<std::mutex> lock(config_);
  factory_ = std::move(factory);
}

void CameraLibrary::SetDeviceDirectory(const std::string& dir) {
  std::lock_guard<std::mutex> lock(config_);
  devDir_ = dir;
}

void CameraLibrary::SetFrameGate(std::function<bool()> gate) {
  std::lock_guard<std::mutex> lock(config_);
  gate_ = std::move(gate);
}

void CameraLibrary::SetPropertyPageHandler(PropertyPageHandler handler) {
  std::lock_guard<std::mutex> lock(config_);
  pageHandler_ = std::move(handler);
}

std::vector<PropertyPageRequest> CameraLibrary::PropertyPagesShown() const {
  std::lock_guard<std::mutex> lock(config_);
  return pagesShown_;
}

void CameraLibrary::RestoreDefaults() {
  Exit();
  std::lock_guard<std::mutex> lock(config_);
  devDir_ = "/dev";
  // Cameras are the V4L2 capture nodes; camera i is the i-th of them, opened by its number.
  counter_ = [this] {
    std::string dir;
    {
      std::lock_guard<std::mutex> lock(config_);
      dir = devDir_;
    }
    return static_cast<int>(v4l2::CaptureDevices(dir).size());
  };
  factory_ = [this](int camera) -> std::unique_ptr<FrameSource> {
    std::string dir;
    VideoFormat format;
    {
      std::lock_guard<std::mutex> lock(config_);
      dir = devDir_;
      format = videoFormat_;
    }
    auto devices = v4l2::CaptureDevices(dir);
    if (camera < 0 || static_cast<size_t>(camera) >= devices.size()) return nullptr;
    return std::make_unique<V4L2CameraSource>(devices[static_cast<size_t>(camera)].number, format);
  };
  pageHandler_ = nullptr;
  gate_ = nullptr;
  pagesShown_.clear();
  videoFormat_ = VideoFormat{};
}

void CameraLibrary::Deliver(FrameSource* source, CameraCallback callback,
                            std::function<bool()> gate) {
  workerId_ = std::this_thread::get_id();
  using Clock = std::chrono::steady_clock;
  const double interval = source->FrameInterval();
  const auto period = std::chrono::duration_cast<Clock::duration>(
      std::chrono::duration<double>(interval > 0 ? interval : 0.0));
  auto due = Clock::now();

  // The layer's own buffer, reused for every frame of the run.
  CameraFrame frame;
  cv::Mat raw, bgr, scratch;
  while (!stopRequested_.load()) {
    if (gate && !gate()) {
      std::unique_lock<std::mutex> lock(wait_);
      wake_.wait_for(lock, std::chrono::milliseconds(1), [this] { return stopRequested_.load(); });
      continue;
    }
    bool got = false;
    try {
      // 8-bit colour frames need no conversion: they are flipped into the buffer directly.
      got = source->Read(raw) && (raw.type() == CV_8UC3 || ToBgr8(raw, bgr));
    } catch (const std::exception& e) {
      std::lock_guard<std::mutex> lock(wait_);
      lastError_ = e.what();
    }
    if (!got) {
      sourceEnded_ = true;  // end of file, unplugged camera, unreadable image: delivery ends
      break;
    }
    cv::flip(raw.type() == CV_8UC3 ? raw : bgr, frame.image, 0);
    frame.origin = 1;
    if (callback) {
      try {
        callback(frame);
      } catch (const std::exception& e) {
        // An escaping exception would end the program; drop the frame and go on.
        ++failedCallbacks_;
        std::lock_guard<std::mutex> lock(wait_);
        lastError_ = e.what();
      }
    }
    {
      // Under the lock, so that a waiter for frames cannot miss the wake-up.
      std::lock_guard<std::mutex> lock(wait_);
      ++framesDelivered_;
    }
    wake_.notify_all();
    uintptr_t window = window_.load();
    if (render_.load() && window != 0) {
      NamedWindows* windows = renderWindows_.load();
      ShowUpright(windows ? *windows : Windows(), window, frame, scratch);
    }

    if (interval > 0) {
      due += period;
      auto now = Clock::now();
      if (due < now) due = now;  // a slow frame does not cause a burst afterwards
      std::unique_lock<std::mutex> lock(wait_);
      wake_.wait_until(lock, due, [this] { return stopRequested_.load(); });
    }
  }
  {
    std::lock_guard<std::mutex> lock(wait_);
    delivering_ = false;
  }
  wake_.notify_all();
}

CameraLibrary& Camera() {
  static CameraLibrary camera;
  return camera;
}

}  // namespace pupiltrak
