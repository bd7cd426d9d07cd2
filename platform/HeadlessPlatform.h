#pragma once
// The machine, the preview windows, the target windows and the prompts of a run without a
// window system (the replay, the demo, the tests). Made as the process's stand-ins, they are
// installed for as long as it lives and removed at its end, when the camera layer has its
// defaults back. Made on its own, it installs nothing and owns a camera layer too: a session
// given its Parts() runs beside other sessions of the process without sharing any of them.

#include "platform/CameraLibrary.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Platform.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"

namespace pupiltrak {

class HeadlessPlatform {
 public:
  enum class Reach { kProcess, kOwn };
  explicit HeadlessPlatform(Reach reach = Reach::kProcess);
  ~HeadlessPlatform();
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  // The parts for a session: these stand-ins, and the camera layer this platform reaches
  // (the process's one, or its own).
  Platform Parts();
  CameraLibrary& Camera();

  FixedMachine machine;
  HeadlessWindows windows;
  HeadlessTargetWindows targets;
  ScriptedPrompts prompts;

 private:
  const Reach reach_;
  CameraLibrary ownCamera_;
};

}  // namespace pupiltrak
