#pragma once
// The program's bitmaps and icons, drawn by the program itself.

#include <QImage>

namespace pupiltrak {

// The resource numbers of the program's pictures.
namespace resource_id {
// Icons, drawn at the size asked for.
inline constexpr int kProgramIcon = 128;
inline constexpr int kCogIcon = 129;
inline constexpr int kBeetleIcon = 130;
// Bitmaps: the 28 x 32 eye emblems of the calibration and status panels, the 16 x 16 markers.
inline constexpr int kCalibrationEmblem = 141;
inline constexpr int kStatusEmblem = 143;
inline constexpr int kGazeMarker = 150;
inline constexpr int kTargetMarker = 158;
inline constexpr int kAccuracyMarker = 162;
inline constexpr int kBitmaps[] = {kCalibrationEmblem, kStatusEmblem, kGazeMarker, kTargetMarker,
                                   kAccuracyMarker};
}  // namespace resource_id

// One of the bitmaps (32-bit); an empty image for any other number.
const QImage& ResourceBitmap(int id);
// One of the icons at the given size (16 or 32); an empty image for any other number.
QImage ResourceIcon(int id, int size);

}  // namespace pupiltrak
