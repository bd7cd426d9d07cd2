#pragma once
// The program's bitmaps and icons, drawn by the program itself.

#include <QImage>

// Bitmaps 141, 143 (28 x 32 eye emblems), 150, 158, 162 (16 x 16 markers); 32-bit.
const QImage& ResourceBitmap(int id);
// Icons 128 (program), 129 (cog), 130 (beetle) at the given size (16 or 32).
QImage ResourceIcon(int id, int size);
