#include "capture/FrameCallback.h"

void FrameCallback(CameraFrame&) {}
