#pragma once
// The dialogs' font and style. The font: the closest present face to the 8-point dialog font (11
// pixels high), which the dialog-unit layout assumes.

#include <QFont>
#include <QProxyStyle>

namespace pupiltrak {

QFont DialogFont();

// The application's style with the few metrics the dialog templates assume.
class DialogStyle : public QProxyStyle {
 public:
  DialogStyle();
  int pixelMetric(PixelMetric metric, const QStyleOption* option = nullptr,
                  const QWidget* widget = nullptr) const override;
};

}  // namespace pupiltrak
