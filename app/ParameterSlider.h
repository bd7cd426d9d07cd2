#pragma once
// A horizontal slider without tick marks that tells its owner at the start of each of its
// paint cycles (first display, every move, every repaint over it), before it draws itself.
// The detection parameters are taken from the slider at exactly those moments.

#include <QSlider>
#include <functional>

namespace pupiltrak {

class ParameterSlider : public QSlider {
 public:
  explicit ParameterSlider(QWidget* parent = nullptr);
  void SetPaintCycleHandler(std::function<void()> handler);

 protected:
  void paintEvent(QPaintEvent* event) override;

 private:
  std::function<void()> onPaintCycle_;
};

}  // namespace pupiltrak
