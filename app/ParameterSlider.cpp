#include "app/ParameterSlider.h"

namespace pupiltrak {

ParameterSlider::ParameterSlider(QWidget* parent) : QSlider(Qt::Horizontal, parent) {
  setTickPosition(QSlider::NoTicks);
  // A fresh trackbar's own defaults, kept when the dialog's initialisation stops early.
  setRange(0, 100);
  setValue(0);
}

void ParameterSlider::SetPaintCycleHandler(std::function<void()> handler) {
  onPaintCycle_ = std::move(handler);
}

void ParameterSlider::paintEvent(QPaintEvent* event) {
  if (onPaintCycle_) onPaintCycle_();
  QSlider::paintEvent(event);
}

}  // namespace pupiltrak
