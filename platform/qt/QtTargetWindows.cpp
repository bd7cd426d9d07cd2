#include "platform/qt/QtTargetWindows.h"
