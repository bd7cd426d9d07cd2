#pragma once
// The nine-target calibration run, its sample store and the calibration panel.

#include <QImage>

// The Calibrate command (button 1021), on the GUI thread.
void CalibrateCommand();
// Pipeline hooks on the shared run.
void AppendCalibrationSample(double dxL, double dyL, double dxR, double dyR);
bool CalibrationCollecting();
void SharedCalibrationPanelStep(QImage& surface);
