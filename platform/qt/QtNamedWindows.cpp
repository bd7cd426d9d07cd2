#include "platform/qt/QtNamedWindows.h"

#include <QPaintEvent>
#include <QPainter>
#include <QResizeEvent>

#include "platform/qt/QtPrompts.h"

namespace pupiltrak {

QImage MatToQImage(const cv::Mat& image) {
  if (image.empty() || image.depth() != CV_8U) return QImage();
  const int w = image.cols, h = image.rows;
  const int stride = static_cast<int>(image.step);
  switch (image.channels()) {
    case 1:
      return QImage(image.data, w, h, stride, QImage::Format_Grayscale8).copy();
    case 3:
      return QImage(image.data, w, h, stride, QImage::Format_BGR888).copy();
    case 4:
      // B, G, R, spare: the layout of Format_RGB32 on little-endian machines.
      return QImage(image.data, w, h, stride, QImage::Format_RGB32).copy();
    default:
      return QImage();
  }
}

ImageWindow::ImageWindow(const QString& title, bool autosize,
                         std::shared_ptr<ImageWindowState> state)
    : QWidget(nullptr, Qt::Window), state_(std::move(state)), autosize_(autosize) {
  setWindowTitle(title);
  setAttribute(Qt::WA_OpaquePaintEvent);
  const QSize initial(QtNamedWindows::kInitialWidth, QtNamedWindows::kInitialHeight);
  if (autosize_)
    setFixedSize(initial);
  else
    resize(initial);
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->clientSize = size();
}

void ImageWindow::TakeLatest() {
  state_->repaintQueued = false;
  {
    std::lock_guard<std::mutex> lock(state_->mutex);
    shown_ = state_->latest;
  }
  if (autosize_ && !shown_.isNull() && shown_.size() != size()) {
    setFixedSize(shown_.size());
    std::lock_guard<std::mutex> lock(state_->mutex);
    state_->clientSize = shown_.size();
  }
  update();
}

void ImageWindow::paintEvent(QPaintEvent* event) {
  ++repaints_;
  QPainter painter(this);
  painter.fillRect(event->rect(), Qt::darkGray);
  if (!shown_.isNull()) painter.drawImage(0, 0, shown_);
}

void ImageWindow::resizeEvent(QResizeEvent* event) {
  std::lock_guard<std::mutex> lock(state_->mutex);
  state_->clientSize = event->size();
}

QtNamedWindows::QtNamedWindows() = default;

QtNamedWindows::~QtNamedWindows() {
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, entry] : windows_) delete entry.window;
  windows_.clear();
}

bool QtNamedWindows::Create(const std::string& name, int flags) {
  if (!OnGuiThread()) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  if (it != windows_.end()) return true;  // as the vision library: the window exists already
  Entry entry;
  entry.handle = nextHandle_++;
  entry.state = std::make_shared<ImageWindowState>();
  entry.window = new ImageWindow(QString::fromStdString(name), (flags & 1) != 0, entry.state);
  entry.window->show();
  windows_[name] = entry;
  return true;
}

uintptr_t QtNamedWindows::NativeHandle(const std::string& name) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  return it == windows_.end() ? 0 : it->second.handle;
}

void QtNamedWindows::Destroy(const std::string& name) {
  ImageWindow* window = nullptr;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    auto it = windows_.find(name);
    if (it == windows_.end()) return;
    window = it->second.window;
    windows_.erase(it);
  }
  // Deleting the window also drops a repaint still queued for it.
  delete window;
}

void QtNamedWindows::Deliver(Entry& entry, const cv::Mat& image) {
  QImage copy = MatToQImage(image);
  if (copy.isNull()) return;
  {
    std::lock_guard<std::mutex> lock(entry.state->mutex);
    entry.state->latest = std::move(copy);
  }
  ++entry.state->deliveries;
  // One repaint in flight at most: the window takes whatever image is latest when it runs.
  if (!entry.state->repaintQueued.exchange(true)) {
    ImageWindow* window = entry.window;
    QMetaObject::invokeMethod(
        window, [window] { window->TakeLatest(); }, Qt::QueuedConnection);
  }
}

void QtNamedWindows::Show(const std::string& name, const cv::Mat& image) {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  if (it != windows_.end()) Deliver(it->second, image);
}

void QtNamedWindows::ShowInHandle(uintptr_t handle, const cv::Mat& image) {
  if (handle == 0) return;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, entry] : windows_) {
    if (entry.handle == handle) {
      Deliver(entry, image);
      return;
    }
  }
}

bool QtNamedWindows::ClientRect(uintptr_t handle, IntRect* rect) {
  if (handle == 0) return false;
  std::lock_guard<std::mutex> lock(mutex_);
  for (auto& [name, entry] : windows_) {
    if (entry.handle == handle) {
      std::lock_guard<std::mutex> sizeLock(entry.state->mutex);
      *rect = IntRect{0, 0, entry.state->clientSize.width(), entry.state->clientSize.height()};
      return true;
    }
  }
  return false;
}

ImageWindow* QtNamedWindows::Window(const std::string& name) const {
  std::lock_guard<std::mutex> lock(mutex_);
  auto it = windows_.find(name);
  return it == windows_.end() ? nullptr : it->second.window;
}

}  // namespace pupiltrak
