#include "display/StripChart.h"

#include <cmath>
#include <cstdio>
#include <optional>

#include "platform/DialogCanvas.h"
#include "platform/Surface.h"

namespace pupiltrak {

namespace {

const QColor kWhite(255, 255, 255);
const QColor kBlack(0, 0, 0);
const QColor kGapGrey(192, 192, 192);

// Truncation toward zero, kept within the int range (and 0 for no number at all).
int TruncToInt(double v) {
  if (std::isnan(v)) return 0;
  if (v >= 2147483647.0) return 2147483647;
  if (v <= -2147483648.0) return -2147483647 - 1;
  return static_cast<int>(v);
}

QString Decimal(int v) {
  char text[16];
  std::snprintf(text, sizeof text, "%d", v);
  return QString::fromLatin1(text);
}

}  // namespace

StripChart::StripChart() : lastRow_(&ownRow_) {}
StripChart::StripChart(PlottedRow& sharedRow) : lastRow_(&sharedRow) {}
StripChart::~StripChart() = default;

void StripChart::CreateLocked(int left, int top, int right, int bottom, double min, double max,
                              const std::string& label) {
  left_ = left;
  top_ = top;
  right_ = right;
  bottom_ = bottom;
  min_ = min;
  max_ = max;
  height_ = static_cast<double>(bottom) - top;
  range_ = max - min;
  label_ = label.substr(0, 63);
  if (!fontsMade_) {
    valueFont_ = surface::Arial(9);
    labelFont_ = surface::Arial(12);
    fontsMade_ = true;
  }

  const int w = std::max(0, right - left), h = std::max(0, bottom - top);
  image_ = surface::Make(w, h);
  surface::Rectangle(image_, 0, 0, w, h, kBlack, kWhite);
  surface::TextOutRotated(image_, 3, 60, QString::fromStdString(label_), labelFont_, kBlack, 900);
  surface::TextOut(image_, 5, 0, Decimal(TruncToInt(min_)), valueFont_, kBlack);
  surface::TextOut(image_, 5, TruncToInt(height_) - 10, Decimal(TruncToInt(max_)), valueFont_,
                   kBlack);
  created_ = true;
}

void StripChart::Create(DialogCanvas&, int left, int top, int right, int bottom, double min,
                        double max, const std::string& label) {
  std::lock_guard<std::mutex> lock(mutex_);
  CreateLocked(left, top, right, bottom, min, max, label);
}

void StripChart::ShowLocked(DialogCanvas& window) {
  const int w = image_.width(), h = image_.height();
  window.Draw(QRect(left_, top_, w, h),
              [&](QImage& dialog) { surface::BitBlt(dialog, left_, top_, w, h, image_, 0, 0); });
}

void StripChart::Paint(DialogCanvas& window, const IntRect& update) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!created_) return;
  if (update.left > right_ || update.right < left_ || update.top > bottom_ || update.bottom < top_)
    return;
  CreateLocked(left_, top_, right_, bottom_, min_, max_, label_);
  ShowLocked(window);
}

void StripChart::Show(DialogCanvas& window) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (created_) ShowLocked(window);
}

void StripChart::AddValue(DialogCanvas& window, double value, bool gap) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!created_) return;

  const int column = right_ - 2;
  // Row of the value, truncated toward zero and kept inside the outline; a value that is no
  // number (an empty range, for one) counts as below the range.
  int row = 0;
  if (!gap) {
    double r = top_ + std::trunc(height_ / range_ * value);
    if (std::isnan(r) || r < top_ + 1) r = top_ + 1;
    if (r > bottom_ - 2) r = bottom_ - 2;
    row = static_cast<int>(r);
  }

  const QRect changed(left_, top_, right_ - left_, bottom_ - top_);
  window.Draw(changed, [&](QImage& dialog) {
    if (gapPending_) {
      surface::Line(dialog, column, top_ + 2, column, bottom_ - 3, kWhite);
      gapPending_ = false;
    }
    if (gap) {
      surface::Line(dialog, column, top_ + 2, column, bottom_ - 3, kGapGrey);
      gapPending_ = true;
    } else {
      std::lock_guard<std::mutex> rowLock(lastRow_->mutex);
      std::optional<int>& lastRow = lastRow_->row;
      if (!lastRow) lastRow = top_ + 1;
      surface::SetPixel(dialog, column, *lastRow, kWhite);
      surface::SetPixel(dialog, column, row, kBlack);
      lastRow = row;
    }

    // Columns left + 30 .. right - 2 move one column to the left; the label columns and the
    // right outline stay where they are.
    const int width = right_ - left_ - 31, height = bottom_ - top_;
    if (width <= 0 || height <= 0) return;
    if (scratch_.width() != width || scratch_.height() != height) {
      scratch_ = surface::Make(width, height);
      scratch_.fill(kWhite);
    }
    surface::BitBlt(scratch_, 0, 0, width, height, dialog, left_ + 30, top_);
    surface::BitBlt(dialog, left_ + 29, top_, width, height, scratch_, 0, 0);
  });
}

bool StripChart::Created() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return created_;
}

IntRect StripChart::Rect() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return IntRect{left_, top_, right_, bottom_};
}

std::string StripChart::Label() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return label_;
}

void StripChart::Reset() {
  std::lock_guard<std::mutex> lock(mutex_);
  left_ = top_ = right_ = bottom_ = 0;
  min_ = max_ = height_ = range_ = 0;
  image_ = QImage();
  scratch_ = QImage();
  label_.clear();
  gapPending_ = false;
  created_ = false;
}

void GazeCharts::Create(DialogCanvas& window, QSize fullScreen) {
  x.Create(window, 12, 310, 468, 390, 0, fullScreen.width(), "Gaze X");
  y.Create(window, 12, 395, 468, 475, 0, fullScreen.height(), "Gaze Y");
}

void GazeCharts::Show(DialogCanvas* window) {
  if (!window) return;
  x.Show(*window);
  y.Show(*window);
}

void GazeCharts::Reset() {
  x.Reset();
  y.Reset();
  std::lock_guard<std::mutex> lock(lastRow.mutex);
  lastRow.row.reset();
}

}  // namespace pupiltrak
