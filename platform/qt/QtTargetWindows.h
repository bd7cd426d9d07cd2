#pragma once
// Target windows as real top-level Qt windows.

#include "platform/TargetWindowHost.h"
