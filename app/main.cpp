// PUPILTRAK_08: one modal dialog; the program ends when the dialog ends. It reads no settings:
// every run starts from the defaults. The few command-line options change nothing it computes.
#include <QApplication>
#include <cstdio>
#include <cstring>

#include "app/EventLog.h"
#include "app/TrackerApp.h"
#include "platform/CameraLibrary.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"
#include "platform/qt/PropertyPages.h"
#include "platform/qt/QtMachine.h"
#include "platform/qt/QtNamedWindows.h"
#include "platform/qt/QtPrompts.h"
#include "platform/qt/QtTargetWindows.h"

using namespace pupiltrak;

namespace {

const char kUsage[] =
    "Usage: pupiltrak08 [options]\n"
    "\n"
    "PUPILTRAK_08, a desktop eye tracker for one ordinary webcam: finds the face and both\n"
    "pupils in every camera frame, calibrates a gaze mapping on nine screen targets and\n"
    "measures its accuracy. Everything happens in its dialog; see the Help button.\n"
    "\n"
    "Options:\n"
    "  --print-log    also print every line of the dialog's event log on standard error\n"
    "  --help, -h     this text\n"
    "  --version      the program's version\n"
    "\n"
    "Files:\n"
    "  haarcascade_frontalface_default.xml\n"
    "                 the face cascade, from the current directory, else from beside the\n"
    "                 program, else from the system's OpenCV data folder\n"
    "                 (" PUPILTRAK_SYSTEM_CASCADE_DIR
    ", package opencv-data)\n"
    "  CalibrationProtocol.txt\n"
    "                 every calibration is appended to it: beside the program when that\n"
    "                 folder can be written, else in the user's data folder\n"
    "                 (~/.local/share/pupiltrak08/); the event log names it at start-up\n";

}  // namespace

int main(int argc, char** argv) {
  for (int i = 1; i < argc; ++i) {
    if (!std::strcmp(argv[i], "--help") || !std::strcmp(argv[i], "-h")) {
      std::fputs(kUsage, stdout);
      return 0;
    } else if (!std::strcmp(argv[i], "--version")) {
      std::puts("pupiltrak08 " PUPILTRAK_VERSION);
      return 0;
    } else if (!std::strcmp(argv[i], "--print-log")) {
      EventLog::SetPrintToStandardError(true);
    } else {
      std::fprintf(stderr, "pupiltrak08: unknown option %s (see pupiltrak08 --help)\n", argv[i]);
      return 2;
    }
  }

  // Only the program's own name goes to Qt: its options are not for Qt.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);
  // The name the user's data folder is made from, whatever the program file is called.
  QCoreApplication::setApplicationName(QStringLiteral("pupiltrak08"));

  // The Qt side of the platform layer, in place before the dialog is built.
  QtMachine machine;
  QtPrompts prompts;
  QtNamedWindows windows;
  QtTargetWindows targetWindows;
  SetMachine(&machine);
  SetUserPrompts(&prompts);
  SetWindows(&windows);
  SetTargetWindows(&targetWindows);
  InstallPropertyPages(Camera());

  TrackerApp app;
  app.InitInstance();

  SetTargetWindows(nullptr);
  SetWindows(nullptr);
  SetUserPrompts(nullptr);
  SetMachine(nullptr);
  return 0;
}
