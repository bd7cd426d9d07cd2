#pragma once
// The per-eye linear gaze mapping, its least-squares fit and the live estimate.

#include <string>

// Fits the shared mapping from the shared calibration samples and writes the report.
void FitGazeMapping(const std::string& captureFileName);
