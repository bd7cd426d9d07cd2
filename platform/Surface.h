#pragma once
// Off-screen drawing surfaces and the few drawing operations the panels, charts and markers
// use: the counterpart of a memory device context with a compatible bitmap selected.
// A surface is a QImage; the "compatible" format is 32-bit RGB (blue, green, red, spare bytes).

#include <QColor>
#include <QFont>
#include <QImage>
#include <QRect>
#include <QString>

namespace pupiltrak {

namespace surface {

// A 32-bit surface of w x h, initially black (as a fresh compatible bitmap is).
QImage Make(int w, int h);

// Raster operations of block copies.
enum class Rop { SrcCopy, SrcInvert, SrcAnd };

// Copies w x h pixels of src at (sx, sy) to dst at (x, y), combined by rop; clipped to both.
void BitBlt(QImage& dst, int x, int y, int w, int h, const QImage& src, int sx, int sy,
            Rop rop = Rop::SrcCopy);

// Draws bitmap with its top-left corner at (x, y), leaving dst unchanged wherever the bitmap has
// the transparent colour: a mask of the transparent pixels and the SrcInvert, SrcAnd, SrcInvert
// sequence, so every other pixel ends as the bitmap's own.
void DrawTransparent(QImage& dst, int x, int y, const QImage& bitmap, QColor transparent);

// Rectangle with a one-pixel outline and a solid fill; right and bottom are exclusive.
void Rectangle(QImage& dst, int left, int top, int right, int bottom, QColor outline, QColor fill);

// Ellipse bounded by the rectangle, solid one-pixel pen and solid brush of one colour.
void FillEllipse(QImage& dst, int left, int top, int right, int bottom, QColor colour);

// One line of text, its cell's top-left corner at (x, y), transparent background.
void TextOut(QImage& dst, int x, int y, const QString& text, const QFont& font, QColor colour);

// Text whose baseline is turned counter-clockwise by escapement tenths of a degree about the
// cell's top-left corner (x, y); 900 makes it run upwards from there.
void TextOutRotated(QImage& dst, int x, int y, const QString& text, const QFont& font,
                    QColor colour, int escapement);

// One line centred horizontally and vertically in rect, transparent background.
void DrawCentredText(QImage& dst, const QRect& rect, const QString& text, const QFont& font,
                     QColor colour);

// Pixels outside the surface are left alone; reading one gives an invalid colour.
void SetPixel(QImage& dst, int x, int y, QColor colour);
QColor GetPixel(const QImage& src, int x, int y);

// A line from (x0, y0) up to, not including, (x1, y1), one pixel wide.
void Line(QImage& dst, int x0, int y0, int x1, int y1, QColor colour);

// The default font of a fresh surface (the system font).
QFont SystemFont();
// Arial (or its closest metric-compatible face) with the given character height in pixels.
QFont Arial(int pixelHeight);

}  // namespace surface

}  // namespace pupiltrak
