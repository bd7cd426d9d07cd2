#include "platform/HeadlessPlatform.h"

namespace pupiltrak {

HeadlessPlatform::HeadlessPlatform(Reach reach) : reach_(reach) {
  // Its own camera layer shows rendered frames in its own windows.
  ownCamera_.SetRenderWindows(&windows);
  if (reach_ != Reach::kProcess) return;
  SetMachine(&machine);
  SetWindows(&windows);
  SetTargetWindows(&targets);
  SetUserPrompts(&prompts);
}

HeadlessPlatform::~HeadlessPlatform() {
  if (reach_ != Reach::kProcess) return;
  pupiltrak::Camera().RestoreDefaults();
  SetMachine(nullptr);
  SetWindows(nullptr);
  SetTargetWindows(nullptr);
  SetUserPrompts(nullptr);
}

CameraLibrary& HeadlessPlatform::Camera() {
  return reach_ == Reach::kProcess ? pupiltrak::Camera() : ownCamera_;
}

Platform HeadlessPlatform::Parts() {
  return Platform{&Camera(), &machine, &windows, &targets, &prompts};
}

}  // namespace pupiltrak
