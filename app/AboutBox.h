#pragma once
// The About box (template 100): program icon, name and version, drawn light blue throughout.

#include <QColor>
#include <QDialog>

namespace pupiltrak {

class AboutBox : public QDialog {
 public:
  static const QColor kBackground;  // RGB(207, 228, 245)
  explicit AboutBox(QWidget* parent = nullptr);
};

}  // namespace pupiltrak
