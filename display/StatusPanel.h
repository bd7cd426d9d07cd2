#pragma once
// The 160 x 120 status panel: pupils, their offsets, "Blink", detection time, frame rate.

#include <QImage>

#include "platform/Geometry.h"

namespace pupiltrak {

struct FrameResults;

// Draws the panel of one frame's results into the surface (the panel, black to start with).
// Pupil positions are scaled from the source picture (sourceClientRect) to the surface; with
// an empty source rectangle the pupil discs are left out, the texts are still written.
void DrawStatusPanel(QImage& surface, const FrameResults& results, bool searchEyeRegions,
                     double frameRate, const IntRect& sourceClientRect, const QImage& darkEmblem);

}  // namespace pupiltrak
