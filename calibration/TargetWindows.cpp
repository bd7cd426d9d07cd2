#include "calibration/TargetWindows.h"

void RegisterTargetWindowClass(const QImage&) {}
void CreateCalibrationTargetWindow(int, double, double) {}
void CreateAccuracyTargetWindow(int, int) {}
void DestroyCalibrationTargetWindows() {}
void DrawMarker(QImage&, const QImage&, int, int, QColor) {}
