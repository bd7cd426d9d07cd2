#pragma once
// The nine-target calibration run, its sample store and the calibration panel.

#include <QImage>

class DialogControls;

// The Calibrate command (button 1021), on the GUI thread. The dialog is told of failures it
// should log (the protocol file that cannot be opened).
void CalibrateCommand(DialogControls& dialog);
// Pipeline hooks on the shared run.
void AppendCalibrationSample(double dxL, double dyL, double dxR, double dyR);
bool CalibrationCollecting();
void SharedCalibrationPanelStep(QImage& surface);
