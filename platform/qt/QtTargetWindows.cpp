#include "platform/qt/QtTargetWindows.h"

#include <QCloseEvent>
#include <QIcon>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>

#include "platform/Resources.h"
#include "platform/Surface.h"

namespace pupiltrak {

namespace {

// One target window: black, the marker centred, white of the marker transparent.
class TargetWindow : public QWidget {
 public:
  explicit TargetWindow(const QImage& bitmap)
      : QWidget(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnTopHint | Qt::Tool),
        bitmap_(bitmap) {
    // The user keeps working in the dialog while targets come and go.
    setAttribute(Qt::WA_ShowWithoutActivating);
    setAttribute(Qt::WA_OpaquePaintEvent);
    setCursor(Qt::ArrowCursor);
    QIcon icon;
    icon.addPixmap(QPixmap::fromImage(ResourceIcon(resource_id::kProgramIcon, 32)));
    icon.addPixmap(QPixmap::fromImage(ResourceIcon(resource_id::kProgramIcon, 16)));
    setWindowIcon(icon);
  }

 protected:
  void paintEvent(QPaintEvent*) override {
    // The whole client area is composed and the painter clips it to the exposed part, so a
    // partial repaint never puts the marker anywhere but the centre.
    QImage picture = surface::Make(width(), height());
    surface::DrawTransparent(picture, width() / 2 - 8, height() / 2 - 8, bitmap_,
                             QColor(255, 255, 255));
    QPainter p(this);
    p.drawImage(0, 0, picture);
  }
  // Target windows have no close command; they go when the program destroys them.
  void closeEvent(QCloseEvent* event) override { event->ignore(); }

 private:
  QImage bitmap_;
};

}  // namespace

QtTargetWindows::QtTargetWindows(QObject* parent) : QObject(parent) {}

QtTargetWindows::~QtTargetWindows() {
  for (auto& [handle, window] : windows_) delete window.data();
}

bool QtTargetWindows::RegisterClass(const QImage& targetBitmap) {
  std::lock_guard<std::mutex> lock(mutex_);
  registered_ = true;
  bitmap_ = targetBitmap.copy();
  return true;
}

uintptr_t QtTargetWindows::Create(const std::string& title, int x, int y, int w, int h,
                                  unsigned long* error) {
  uintptr_t handle = 0;
  QImage bitmap;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!registered_) {
      if (error) *error = kErrorClassNotRegistered;
      return 0;
    }
    handle = next_++;
    bitmap = bitmap_;
  }
  const QString caption = QString::fromStdString(title);
  const QRect geometry(x, y, w, h);
  QMetaObject::invokeMethod(
      this,
      [this, handle, caption, geometry, bitmap] { CreateNow(handle, caption, geometry, bitmap); },
      Qt::QueuedConnection);
  return handle;
}

void QtTargetWindows::Destroy(uintptr_t handle) {
  if (!handle) return;
  // Queued behind the creation it undoes, whichever thread asked for either.
  QMetaObject::invokeMethod(
      this, [this, handle] { DestroyNow(handle); }, Qt::QueuedConnection);
}

void QtTargetWindows::CreateNow(uintptr_t handle, const QString& title, const QRect& geometry,
                                const QImage& bitmap) {
  auto* window = new TargetWindow(bitmap);
  window->setWindowTitle(title);
  window->setGeometry(geometry);
  windows_[handle] = window;
  window->show();
}

void QtTargetWindows::DestroyNow(uintptr_t handle) {
  auto it = windows_.find(handle);
  if (it == windows_.end()) return;
  delete it->second.data();
  windows_.erase(it);
}

QWidget* QtTargetWindows::WindowOf(uintptr_t handle) const {
  auto it = windows_.find(handle);
  return it == windows_.end() ? nullptr : it->second.data();
}

int QtTargetWindows::WindowCount() const {
  int n = 0;
  for (auto& [handle, window] : windows_)
    if (window) ++n;
  return n;
}

}  // namespace pupiltrak
