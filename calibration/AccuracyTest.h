#pragma once
// The accuracy test: random targets, the live gaze estimate, the error sums.

// Called at every tracking start.
void ResetAccuracyTargets();
