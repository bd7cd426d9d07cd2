#include "platform/qt/QtMachine.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <QStandardPaths>
#include <QThread>
#include <chrono>

namespace pupiltrak {

namespace {
uint64_t Pack(QSize s) {
  return (static_cast<uint64_t>(static_cast<uint32_t>(s.width())) << 32) |
         static_cast<uint32_t>(s.height());
}
QSize Unpack(uint64_t v) {
  return QSize(static_cast<int32_t>(v >> 32), static_cast<int32_t>(v & 0xffffffffu));
}
bool OnGuiThread() { return qApp && QThread::currentThread() == qApp->thread(); }
}  // namespace

QtMachine::QtMachine()
    : programDirectory_(QCoreApplication::applicationDirPath().toStdString() + "/") {
  Refresh();
  // Screens come, go and change size on the GUI thread; keep the copies current from there.
  auto watch = [this](QScreen* screen) {
    if (!screen) return;
    QObject::connect(screen, &QScreen::geometryChanged, qApp, [this] { Refresh(); });
    QObject::connect(screen, &QScreen::availableGeometryChanged, qApp, [this] { Refresh(); });
  };
  watch(QGuiApplication::primaryScreen());
  QObject::connect(qApp, &QGuiApplication::primaryScreenChanged, qApp, [this, watch](QScreen* s) {
    watch(s);
    Refresh();
  });
}

void QtMachine::Refresh() {
  QScreen* screen = QGuiApplication::primaryScreen();
  fullScreen_ = Pack(screen ? screen->availableGeometry().size() : QSize());
  screen_ = Pack(screen ? screen->geometry().size() : QSize());
}

QSize QtMachine::FullScreenSize() {
  if (OnGuiThread()) Refresh();
  return Unpack(fullScreen_.load());
}

QSize QtMachine::ScreenSize() {
  if (OnGuiThread()) Refresh();
  return Unpack(screen_.load());
}

void QtMachine::Beep() {
  QMetaObject::invokeMethod(
      qApp, [] { QApplication::beep(); }, Qt::QueuedConnection);
}

std::string QtMachine::ProgramDirectory() { return programDirectory_; }

int64_t QtMachine::TickCount() {
  return std::chrono::duration_cast<std::chrono::nanoseconds>(
             std::chrono::steady_clock::now().time_since_epoch())
      .count();
}

double QtMachine::TickFrequency() { return 1e9; }

std::time_t QtMachine::Now() { return std::time(nullptr); }

std::string QtMachine::UserDataDirectory() {
  return WithTrailingSlash(
      QStandardPaths::writableLocation(QStandardPaths::AppDataLocation).toStdString());
}

}  // namespace pupiltrak
