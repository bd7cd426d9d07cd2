#include "calibration/CalibrationRun.h"

void CalibrateCommand(DialogControls&) {}
void AppendCalibrationSample(double, double, double, double) {}
bool CalibrationCollecting() { return false; }
void SharedCalibrationPanelStep(QImage&) {}
