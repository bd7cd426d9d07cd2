#include "app/DialogFont.h"

#include <QStringList>

namespace pupiltrak {

QFont DialogFont() {
  QFont font;
  font.setFamilies({QStringLiteral("Liberation Sans"), QStringLiteral("Arial"),
                    QStringLiteral("DejaVu Sans"), QStringLiteral("Sans Serif")});
  font.setPixelSize(11);
  font.setWeight(QFont::Normal);
  return font;
}

DialogStyle::DialogStyle() : QProxyStyle() {}

int DialogStyle::pixelMetric(PixelMetric metric, const QStyleOption* option,
                             const QWidget* widget) const {
  // The window system's check boxes leave a narrow gap between box and text; the templates'
  // check-box widths count on it.
  if (metric == PM_CheckBoxLabelSpacing || metric == PM_RadioButtonLabelSpacing) return 4;
  return QProxyStyle::pixelMetric(metric, option, widget);
}

}  // namespace pupiltrak
