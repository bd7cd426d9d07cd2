// PUPILTRAK_08: one modal dialog; the program ends when the dialog ends. It reads no
// command-line arguments and no settings: every run starts from the defaults.
#include <QApplication>

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

int main(int, char** argv) {
  // Only the program's own name goes to Qt: the arguments are not read.
  int qtArgc = 1;
  char* qtArgv[] = {argv[0], nullptr};
  QApplication application(qtArgc, qtArgv);

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
