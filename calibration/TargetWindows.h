#pragma once
// Target windows on the screen and the transparent marker drawing.
//
// The windows live in the platform's target-window host (TargetWindows()); this module keeps
// the nine calibration slots and the accuracy slot. They are called from the frame thread and
// may be called from the dialog too, so the slots are guarded.

#include <QColor>
#include <QImage>

namespace pupiltrak {

// Registers the target window class once, at dialog initialisation.
void RegisterTargetWindowClass(const QImage& targetBitmap);

// Calibration target window i (0..8) centred on the target's screen position (x, y),
// truncated to integers; destroys all calibration target windows first. An index outside
// 0..8 only destroys them. A failed creation shows "Error %lu" with the error code.
void CreateCalibrationTargetWindow(int i, double x, double y);
// Replaces the accuracy target window by one centred on (x, y).
void CreateAccuracyTargetWindow(int x, int y);
void DestroyCalibrationTargetWindows();
// Destroys the calibration windows and the accuracy window (for the end of a session).
void DestroyAllTargetWindows();

// Draws the 16 x 16 bitmap with its top-left corner at (x - 8, y - 8), leaving the destination
// unchanged wherever the bitmap has the transparent colour.
void DrawMarker(QImage& dst, const QImage& bitmap, int x, int y, QColor transparent);

}  // namespace pupiltrak
