#pragma once
// The camera layer's per-frame callback: frame rate, upright copy, ProcessFrame.

#include "platform/CameraFrame.h"

void FrameCallback(CameraFrame& frame);
