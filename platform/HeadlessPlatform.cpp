#include "platform/HeadlessPlatform.h"

#include "platform/CameraLibrary.h"

namespace pupiltrak {

HeadlessPlatform::HeadlessPlatform() {
  SetMachine(&machine);
  SetWindows(&windows);
  SetTargetWindows(&targets);
  SetUserPrompts(&prompts);
}

HeadlessPlatform::~HeadlessPlatform() {
  Camera().RestoreDefaults();
  SetMachine(nullptr);
  SetWindows(nullptr);
  SetTargetWindows(nullptr);
  SetUserPrompts(nullptr);
}

}  // namespace pupiltrak
