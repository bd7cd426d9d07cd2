#include "calibration/AccuracyTest.h"

void ResetAccuracyTargets() {}
