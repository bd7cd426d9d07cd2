// The main dialog's layout against its template: every control where the table puts it, with
// its text whole, and the band for the panels and charts free of controls.
#include <QAbstractButton>
#include <QCheckBox>
#include <QFontMetrics>
#include <QGroupBox>
#include <QLabel>
#include <QListWidget>
#include <QPushButton>
#include <QSlider>
#include <QStyle>
#include <QStyleOptionButton>
#include <set>

#include "app/AboutBox.h"
#include "app/DialogTemplate.h"
#include "dialog_support.h"

using namespace pupiltrak;

using namespace dialog_test;

namespace {

class DialogLayout : public DialogTest {};

TEST(DialogUnits, MapLikeTheWindowSystemWithBaseUnitsSixByThirteen) {
  // Halves round away from zero: 7 units are 10.5 px across, 11.375 px down.
  EXPECT_EQ(DialogUnitsToPixelsX(7), 11);
  EXPECT_EQ(DialogUnitsToPixelsY(7), 11);
  EXPECT_EQ(DialogUnitsToPixelsX(320), 480);
  EXPECT_EQ(DialogUnitsToPixelsY(535), 869);
  EXPECT_EQ(DialogUnitsToPixelsY(8), 13);
  EXPECT_EQ(DialogUnitsToPixelsX(0), 0);
  // Corners are mapped on their own, so neighbours never overlap or leave gaps.
  ControlTemplate c{1, ControlKind::PushButton, "", 7, 7, 77, 14, true, false};
  EXPECT_EQ(DialogUnitsToPixels(c), QRect(11, 11, 115, 23));
}

TEST(DialogTemplates, MainTemplateHoldsEveryControlOnce) {
  const DialogTemplate& t = MainDialogTemplate();
  EXPECT_EQ(t.id, 102);
  EXPECT_STREQ(t.caption, "PUPILTRAK_08");
  EXPECT_EQ(t.width, 320);
  EXPECT_EQ(t.height, 535);
  std::set<int> ids;
  for (const auto& c : t.controls) {
    if (c.id != control_id::kStatic) {
      EXPECT_TRUE(ids.insert(c.id).second) << c.id;
    }
  }
  const std::set<int> expected{1,    16,   1000, 1001, 1002, 1003, 1004, 1009, 1010, 1012,
                               1017, 1019, 1020, 1021, 1022, 1023, 1025, 1026, 1027, 1028};
  EXPECT_EQ(ids, expected);
}

TEST_F(DialogLayout, ControlsStandWhereTheTemplatePutsThem) {
  ScratchDirectory cwd(Cascade::Present);
  TrackerDialog dialog(session);
  EXPECT_EQ(dialog.windowTitle(), QStringLiteral("PUPILTRAK_08"));
  EXPECT_EQ(dialog.size(), QSize(480, 869));
  for (const auto& c : MainDialogTemplate().controls) {
    if (c.id == control_id::kStatic) continue;
    QWidget* w = dialog.Control(c.id);
    ASSERT_NE(w, nullptr) << c.id;
    EXPECT_EQ(w->objectName(), QString::number(c.id));
    EXPECT_EQ(w->geometry(), DialogUnitsToPixels(c)) << c.id;
    EXPECT_EQ(w->parentWidget(), &dialog) << c.id;
  }
  // The unnamed group box too.
  auto boxes = dialog.findChildren<QGroupBox*>();
  ASSERT_EQ(boxes.size(), 2);
  QGroupBox* detection = boxes[0]->title() == "Detection parameters" ? boxes[0] : boxes[1];
  EXPECT_EQ(detection->title(), QStringLiteral("Detection parameters"));
  EXPECT_EQ(detection->geometry(), QRect(11, 488, 459, 193));
}

TEST_F(DialogLayout, ControlKindsAndTextsFollowTheTable) {
  ScratchDirectory cwd(Cascade::Present);
  TrackerDialog dialog(session);
  auto button = [&](int id) { return qobject_cast<QPushButton*>(dialog.Control(id)); };
  auto box = [&](int id) { return qobject_cast<QCheckBox*>(dialog.Control(id)); };
  ASSERT_TRUE(button(1000));
  EXPECT_EQ(button(1000)->text(), "Start Tracking");
  EXPECT_EQ(button(1001)->text(), "Stop Tracking");
  EXPECT_EQ(button(1003)->text(), "Set Capture File ...");
  EXPECT_EQ(button(1)->text(), "Exit");
  EXPECT_TRUE(button(1)->isDefault());
  EXPECT_FALSE(button(1000)->isDefault());
  EXPECT_EQ(button(16)->text(), "Help");
  EXPECT_EQ(button(1019)->text(), "Camera property page ...");
  EXPECT_EQ(button(1020)->text(), "Video format properties ...");
  EXPECT_EQ(button(1021)->text(), "Calibrate");
  ASSERT_TRUE(box(1010));
  EXPECT_EQ(box(1010)->text(), "Eye Regions");
  EXPECT_EQ(box(1012)->text(), "Gaze Direction");
  EXPECT_EQ(box(1017)->text(), "Capture to file");
  EXPECT_EQ(box(1022)->text(), "Use EqualizeHist1");
  EXPECT_EQ(box(1023)->text(), "Use EqualizeHist2");
  auto* options = qobject_cast<QGroupBox*>(dialog.Control(1009));
  ASSERT_TRUE(options);
  EXPECT_EQ(options->title(), "Options");
  EXPECT_TRUE(qobject_cast<QLabel*>(dialog.Control(1002)));
  EXPECT_TRUE(qobject_cast<QListWidget*>(dialog.Control(1004)));
  for (int id : {1028, 1025, 1026, 1027}) {
    auto* slider = qobject_cast<QSlider*>(dialog.Control(id));
    ASSERT_TRUE(slider) << id;
    EXPECT_EQ(slider->orientation(), Qt::Horizontal);
    EXPECT_EQ(slider->tickPosition(), QSlider::NoTicks);
  }
  // Sliders from the top: 1028, 1025, 1026, 1027.
  EXPECT_LT(dialog.Control(1028)->y(), dialog.Control(1025)->y());
  EXPECT_LT(dialog.Control(1025)->y(), dialog.Control(1026)->y());
  EXPECT_LT(dialog.Control(1026)->y(), dialog.Control(1027)->y());
}

TEST_F(DialogLayout, TextsFitTheirControlsUnclipped) {
  ScratchDirectory cwd(Cascade::Present);
  TrackerDialog dialog(session);
  for (auto* b : dialog.findChildren<QAbstractButton*>()) {
    QFontMetrics fm(b->font());
    const int text = fm.horizontalAdvance(b->text());
    if (qobject_cast<QCheckBox*>(b)) {
      // Indicator, its spacing and the text.
      const int indicator = b->style()->pixelMetric(QStyle::PM_IndicatorWidth, nullptr, b) +
                            b->style()->pixelMetric(QStyle::PM_CheckBoxLabelSpacing, nullptr, b);
      EXPECT_LE(indicator + text, b->width()) << b->text().toStdString();
      EXPECT_LE(fm.height(), b->height()) << b->text().toStdString();
    } else {
      EXPECT_LE(text + 8, b->width()) << b->text().toStdString();
      EXPECT_LE(fm.height() + 4, b->height()) << b->text().toStdString();
    }
  }
  auto* label = qobject_cast<QLabel*>(dialog.Control(1002));
  QFontMetrics fm(label->font());
  EXPECT_LE(fm.height(), label->height());
  EXPECT_LE(fm.horizontalAdvance(QString::fromUtf8(kNoCaptureFile)), label->width());
  for (auto* g : dialog.findChildren<QGroupBox*>())
    EXPECT_LE(QFontMetrics(g->font()).horizontalAdvance(g->title()) + 16, g->width());
}

TEST_F(DialogLayout, BandForPanelsAndChartsHoldsNoControl) {
  ScratchDirectory cwd(Cascade::Present);
  TrackerDialog dialog(session);
  // From below the capture-file line to the top of "Detection parameters".
  const QRect band(0, 148, 480, 488 - 148);
  EXPECT_TRUE(band.contains(QRect(12, 310, 456, 165)));      // both charts
  EXPECT_TRUE(band.contains(QRect(12, 869 / 5, 160, 120)));  // the panel snapshots
  for (auto* w : dialog.findChildren<QWidget*>()) {
    if (w->parentWidget() != &dialog || w->isWindow()) continue;
    EXPECT_FALSE(w->geometry().intersects(band)) << w->objectName().toStdString();
  }
}

TEST_F(DialogLayout, AboutBoxFollowsItsTemplateInLightBlue) {
  AboutBox about;
  const DialogTemplate& t = AboutDialogTemplate();
  EXPECT_EQ(t.id, 100);
  EXPECT_EQ(about.windowTitle(), QStringLiteral("About PUPILTRAK_08"));
  EXPECT_EQ(about.size(), QSize(DialogUnitsToPixelsX(235), DialogUnitsToPixelsY(82)));
  EXPECT_EQ(about.palette().color(QPalette::Window), QColor(207, 228, 245));
  const QImage shot = about.grab().toImage();
  EXPECT_EQ(QColor(shot.pixel(2, 2)), QColor(207, 228, 245));
  EXPECT_EQ(QColor(shot.pixel(shot.width() - 3, shot.height() / 2)), QColor(207, 228, 245));
  int lines = 0;
  for (auto* label : about.findChildren<QLabel*>()) {
    if (label->text().isEmpty()) continue;
    ++lines;
    EXPECT_LE(QFontMetrics(label->font()).horizontalAdvance(label->text()), label->width());
  }
  EXPECT_EQ(lines, 2);
  auto buttons = about.findChildren<QPushButton*>();
  ASSERT_EQ(buttons.size(), 1);
  EXPECT_TRUE(buttons[0]->isDefault());
}

}  // namespace
