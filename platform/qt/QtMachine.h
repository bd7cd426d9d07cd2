#pragma once
// The machine facts from Qt: the primary screen, the program's directory, the system beep and
// the steady clock.

#include <string>

#include "platform/Machine.h"

class QtMachine : public MachineFacts {
 public:
  // Needs the application object; the program directory is taken once, here.
  QtMachine();
  QSize FullScreenSize() override;
  QSize ScreenSize() override;
  // Queued to the GUI thread, so any thread may beep without waiting.
  void Beep() override;
  std::string ProgramDirectory() override;
  int64_t TickCount() override;
  double TickFrequency() override;
  std::time_t Now() override;

 private:
  std::string programDirectory_;
};
