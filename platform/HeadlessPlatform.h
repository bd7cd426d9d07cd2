#pragma once
// The machine, the preview windows, the target windows and the prompts of a run without a
// window system (the replay, the demo, the tests), installed as the process's stand-ins for
// as long as it lives; at its end they are removed and the camera layer has its defaults back.

#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"

namespace pupiltrak {

class HeadlessPlatform {
 public:
  HeadlessPlatform();
  ~HeadlessPlatform();
  HeadlessPlatform(const HeadlessPlatform&) = delete;
  HeadlessPlatform& operator=(const HeadlessPlatform&) = delete;

  FixedMachine machine;
  HeadlessWindows windows;
  HeadlessTargetWindows targets;
  ScriptedPrompts prompts;
};

}  // namespace pupiltrak
