// The camera property pages, built from a fake device's controls and formats (this machine has
// no camera).
#include <gtest/gtest.h>
#include <linux/videodev2.h>

#include <QCheckBox>
#include <QComboBox>
#include <QPushButton>
#include <QSpinBox>
#include <map>

#include "platform/qt/PropertyPages.h"

using namespace pupiltrak;

namespace {

v4l2::Control Make(uint32_t id, v4l2::Control::Kind kind, const char* name, int32_t minimum,
                   int32_t maximum, int32_t step, int32_t defaultValue, int32_t value) {
  v4l2::Control c;
  c.id = id;
  c.kind = kind;
  c.name = name;
  c.minimum = minimum;
  c.maximum = maximum;
  c.step = step;
  c.defaultValue = defaultValue;
  c.value = value;
  return c;
}

// A camera with brightness, automatic white balance, an exposure mode menu, the exposure time
// (inactive while the mode is automatic) and a read-only control.
class FakeControls {
 public:
  FakeControls() {
    using Kind = v4l2::Control::Kind;
    Add(Make(V4L2_CID_BRIGHTNESS, Kind::Integer, "Brightness", -64, 64, 1, 0, 10));
    Add(Make(V4L2_CID_AUTO_WHITE_BALANCE, Kind::Boolean, "White Balance, Automatic", 0, 1, 1, 1,
             1));
    v4l2::Control mode = Make(V4L2_CID_EXPOSURE_AUTO, Kind::Menu, "Auto Exposure", 0, 3, 1, 3, 3);
    mode.menu = {{1, "Manual Mode"}, {3, "Aperture Priority Mode"}};
    Add(mode);
    Add(Make(V4L2_CID_EXPOSURE_ABSOLUTE, Kind::Integer, "Exposure Time, Absolute", 1, 5000, 1, 156,
             156));
    v4l2::Control fixed = Make(V4L2_CID_FOCUS_ABSOLUTE, Kind::Integer, "Focus", 0, 250, 5, 0, 40);
    fixed.readOnly = true;
    Add(fixed);
  }
  ControlAccess Access() {
    return {[this] { return List(); },
            [this](uint32_t id, int32_t value) {
              sets.emplace_back(id, value);
              auto it = controls_.find(id);
              if (it == controls_.end() || value < it->second.minimum || value > it->second.maximum)
                return false;
              it->second.value = value;
              return true;
            }};
  }
  std::vector<v4l2::Control> List() {
    std::vector<v4l2::Control> out;
    for (auto id : order_) {
      v4l2::Control c = controls_[id];
      if (id == V4L2_CID_EXPOSURE_ABSOLUTE)
        c.inactive = controls_[V4L2_CID_EXPOSURE_AUTO].value != V4L2_EXPOSURE_MANUAL;
      out.push_back(c);
    }
    return out;
  }
  int32_t Value(uint32_t id) { return controls_[id].value; }
  std::vector<std::pair<uint32_t, int32_t>> sets;

 private:
  void Add(const v4l2::Control& c) {
    controls_[c.id] = c;
    order_.push_back(c.id);
  }
  std::map<uint32_t, v4l2::Control> controls_;
  std::vector<uint32_t> order_;
};

TEST(CameraSettingsPageTest, ShowsAnEditorPerControlAndAppliesChangesAtOnce) {
  FakeControls device;
  CameraSettingsDialog page("Fake camera", device.Access());
  auto* brightness = qobject_cast<QSpinBox*>(page.Editor(V4L2_CID_BRIGHTNESS));
  auto* balance = qobject_cast<QCheckBox*>(page.Editor(V4L2_CID_AUTO_WHITE_BALANCE));
  auto* mode = qobject_cast<QComboBox*>(page.Editor(V4L2_CID_EXPOSURE_AUTO));
  auto* time = qobject_cast<QSpinBox*>(page.Editor(V4L2_CID_EXPOSURE_ABSOLUTE));
  auto* focus = page.Editor(V4L2_CID_FOCUS_ABSOLUTE);
  ASSERT_TRUE(brightness && balance && mode && time && focus);
  EXPECT_EQ(page.Editor(V4L2_CID_GAIN), nullptr) << "no editor for what the device lacks";

  EXPECT_EQ(brightness->value(), 10);
  EXPECT_EQ(brightness->minimum(), -64);
  EXPECT_TRUE(balance->isChecked());
  EXPECT_EQ(mode->currentText(), "Aperture Priority Mode");
  EXPECT_FALSE(time->isEnabled()) << "exposure time is inactive under automatic exposure";
  EXPECT_FALSE(focus->isEnabled()) << "read-only";

  brightness->setValue(-20);
  EXPECT_EQ(device.Value(V4L2_CID_BRIGHTNESS), -20);
  balance->setChecked(false);
  EXPECT_EQ(device.Value(V4L2_CID_AUTO_WHITE_BALANCE), 0);

  // Manual exposure makes the exposure time editable: the page reads the controls again.
  mode->setCurrentIndex(mode->findText("Manual Mode"));
  emit mode->activated(mode->currentIndex());
  EXPECT_EQ(device.Value(V4L2_CID_EXPOSURE_AUTO), V4L2_EXPOSURE_MANUAL);
  EXPECT_TRUE(time->isEnabled());
  time->setValue(300);
  EXPECT_EQ(device.Value(V4L2_CID_EXPOSURE_ABSOLUTE), 300);
}

TEST(CameraSettingsPageTest, DefaultsPutEveryWritableControlBack) {
  FakeControls device;
  CameraSettingsDialog page("", device.Access());
  qobject_cast<QSpinBox*>(page.Editor(V4L2_CID_BRIGHTNESS))->setValue(33);
  device.sets.clear();
  page.RestoreDefaults();
  EXPECT_EQ(device.Value(V4L2_CID_BRIGHTNESS), 0);
  EXPECT_EQ(device.Value(V4L2_CID_EXPOSURE_AUTO), 3);
  EXPECT_EQ(qobject_cast<QSpinBox*>(page.Editor(V4L2_CID_BRIGHTNESS))->value(), 0);
  for (auto [id, value] : device.sets) EXPECT_NE(id, V4L2_CID_FOCUS_ABSOLUTE) << "read-only";
}

TEST(CameraSettingsPageTest, ACameraWithoutControlsGetsAPageThatSaysSo) {
  CameraSettingsDialog page("", ControlAccess{[] { return std::vector<v4l2::Control>{}; },
                                              [](uint32_t, int32_t) { return false; }});
  EXPECT_EQ(page.Editor(V4L2_CID_BRIGHTNESS), nullptr);
}

std::vector<v4l2::PixelFormat> FakeFormats() {
  v4l2::PixelFormat yuyv{V4L2_PIX_FMT_YUYV, "YUYV 4:2:2", {}};
  yuyv.sizes = {{640, 480, {{1, 30}, {1, 15}}}, {320, 240, {{1, 30}}}};
  v4l2::PixelFormat mjpg{V4L2_PIX_FMT_MJPEG, "Motion-JPEG", {}};
  mjpg.sizes = {{1280, 720, {{1, 60}, {1, 30}}}, {640, 480, {{1, 30}}}};
  return {yuyv, mjpg};
}

TEST(VideoFormatPageTest, ListsFormatsSizesAndRatesAndReturnsTheChoice) {
  VideoFormatDialog page(FakeFormats(), VideoFormat{});
  EXPECT_EQ(page.FormatBox()->count(), 2);
  EXPECT_EQ(page.FormatBox()->itemText(1), "Motion-JPEG (MJPG)");
  EXPECT_EQ(page.SizeBox()->count(), 2);
  EXPECT_EQ(page.RateBox()->count(), 2);
  VideoFormat first = page.Chosen();
  EXPECT_EQ(first, (VideoFormat{V4L2_PIX_FMT_YUYV, 640, 480, 30.0}));

  page.FormatBox()->setCurrentIndex(1);
  EXPECT_EQ(page.SizeBox()->itemText(0), "1280 x 720") << "sizes follow the format";
  EXPECT_EQ(page.Chosen(), (VideoFormat{V4L2_PIX_FMT_MJPEG, 1280, 720, 60.0}))
      << "fastest rate first";
  page.RateBox()->setCurrentIndex(1);
  EXPECT_EQ(page.Chosen().framesPerSecond, 30.0);
  page.SizeBox()->setCurrentIndex(1);
  EXPECT_EQ(page.RateBox()->count(), 1);
  EXPECT_EQ(page.Chosen(), (VideoFormat{V4L2_PIX_FMT_MJPEG, 640, 480, 30.0}));
}

TEST(VideoFormatPageTest, StartsFromTheCurrentChoice) {
  VideoFormatDialog page(FakeFormats(), VideoFormat{V4L2_PIX_FMT_YUYV, 640, 480, 15.0});
  EXPECT_EQ(page.Chosen(), (VideoFormat{V4L2_PIX_FMT_YUYV, 640, 480, 15.0}));
  VideoFormatDialog none({}, VideoFormat{});
  EXPECT_EQ(none.Chosen(), VideoFormat{});
}

}  // namespace
