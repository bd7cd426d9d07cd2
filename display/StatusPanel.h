#pragma once
// The 160 x 120 status panel: pupils, their offsets, "Blink", detection time, frame rate.

#include <QImage>

// Draws the panel of the shared frame results and tracker state into the surface.
void DrawSharedStatusPanel(QImage& surface);
