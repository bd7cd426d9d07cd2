#include "app/AboutBox.h"

#include <QLabel>
#include <QPixmap>
#include <QPushButton>

#include "app/DialogFont.h"
#include "app/DialogTemplate.h"
#include "platform/Resources.h"

namespace pupiltrak {

const QColor AboutBox::kBackground(207, 228, 245);

AboutBox::AboutBox(QWidget* parent) : QDialog(parent) {
  const DialogTemplate& t = AboutDialogTemplate();
  setWindowTitle(QString::fromUtf8(t.caption));
  setFont(DialogFont());
  setFixedSize(DialogUnitsToPixelsX(t.width), DialogUnitsToPixelsY(t.height));

  // The whole box light blue: window, controls and the text backgrounds behind them.
  QPalette pal = palette();
  pal.setColor(QPalette::Window, kBackground);
  pal.setColor(QPalette::Button, kBackground);
  pal.setColor(QPalette::Base, kBackground);
  setPalette(pal);
  setAutoFillBackground(true);

  for (const ControlTemplate& c : t.controls) {
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::Icon: {
        auto* icon = new QLabel(this);
        icon->setPixmap(QPixmap::fromImage(ResourceIcon(resource_id::kProgramIcon, 32)));
        w = icon;
        break;
      }
      case ControlKind::DefaultPushButton:
      case ControlKind::PushButton: {
        auto* button = new QPushButton(QString::fromUtf8(c.text), this);
        if (c.kind == ControlKind::DefaultPushButton) button->setDefault(true);
        connect(button, &QPushButton::clicked, this, &QDialog::accept);
        w = button;
        break;
      }
      default:
        w = new QLabel(QString::fromUtf8(c.text), this);
        break;
    }
    w->setObjectName(QString::number(c.id));
    w->setGeometry(DialogUnitsToPixels(c));
  }
}

}  // namespace pupiltrak
