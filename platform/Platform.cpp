#include "platform/Platform.h"

#include "platform/CameraLibrary.h"
#include "platform/Machine.h"
#include "platform/NamedWindows.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"

namespace pupiltrak {

CameraLibrary& Platform::Camera() const { return camera ? *camera : pupiltrak::Camera(); }
MachineFacts& Platform::Machine() const { return machine ? *machine : pupiltrak::Machine(); }
NamedWindows& Platform::Windows() const { return windows ? *windows : pupiltrak::Windows(); }
TargetWindowHost& Platform::TargetWindows() const {
  return targets ? *targets : pupiltrak::TargetWindows();
}
Prompts& Platform::UserPrompts() const { return prompts ? *prompts : pupiltrak::UserPrompts(); }

}  // namespace pupiltrak
