#pragma once
// Target windows on the screen and the transparent marker drawing.

#include <QImage>

// Registers the target window class once, at dialog initialisation.
void RegisterTargetWindowClass(const QImage& targetBitmap);
