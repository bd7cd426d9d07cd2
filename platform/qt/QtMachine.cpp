#include "platform/qt/QtMachine.h"

#include <QApplication>
#include <QGuiApplication>
#include <QScreen>
#include <chrono>

QtMachine::QtMachine()
    : programDirectory_(QCoreApplication::applicationDirPath().toStdString() + "/") {}

QSize QtMachine::FullScreenSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->availableGeometry().size() : QSize();
}

QSize QtMachine::ScreenSize() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->geometry().size() : QSize();
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
