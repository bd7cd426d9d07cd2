#pragma once
// The machine facts from Qt: the primary screen, the program's directory, the system beep and
// the steady clock. Screen objects belong to the GUI thread, so their sizes are read there and
// kept in atomics that the frame thread may read.

#include <atomic>
#include <cstdint>
#include <string>

#include "platform/Machine.h"

namespace pupiltrak {

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
  // Qt's AppDataLocation.
  std::string UserDataDirectory() override;

 private:
  // Reads the primary screen's sizes (GUI thread only).
  void Refresh();

  std::string programDirectory_;
  std::atomic<uint64_t> fullScreen_{0};
  std::atomic<uint64_t> screen_{0};
};

}  // namespace pupiltrak
