#pragma once
// The stand-ins a session reaches the outside world through: the camera layer, the machine,
// the preview windows, the target windows and the prompts. A part left null is the process's
// own (Camera(), Machine(), Windows(), TargetWindows(), UserPrompts()), so a session made
// without a platform behaves as before; a headless platform of its own lets two sessions run
// side by side in one process.

namespace pupiltrak {

class CameraLibrary;
class MachineFacts;
class NamedWindows;
class Prompts;
class TargetWindowHost;

struct Platform {
  CameraLibrary* camera = nullptr;
  MachineFacts* machine = nullptr;
  NamedWindows* windows = nullptr;
  TargetWindowHost* targets = nullptr;
  Prompts* prompts = nullptr;

  CameraLibrary& Camera() const;
  MachineFacts& Machine() const;
  NamedWindows& Windows() const;
  TargetWindowHost& TargetWindows() const;
  Prompts& UserPrompts() const;
};

}  // namespace pupiltrak
