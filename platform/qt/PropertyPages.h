#pragma once
// The camera's two property pages as modal Qt dialogs: "camera_pp" shows the device's own
// controls (brightness, contrast, exposure, white balance, focus, ... whatever it offers) and
// changes them at once; "video_pp" lists its pixel formats, frame sizes and frame rates and
// keeps the choice for the next start of camera 0.

#include <QDialog>
#include <cstdint>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "platform/FrameSource.h"
#include "platform/V4L2Device.h"

class QComboBox;
class QLabel;
class QWidget;

namespace pupiltrak {

class CameraLibrary;

// How the settings page reads and changes the controls (the V4L2 device, or a fake in tests).
struct ControlAccess {
  std::function<std::vector<v4l2::Control>()> list;
  std::function<bool(uint32_t id, int32_t value)> set;
};

class CameraSettingsDialog : public QDialog {
  Q_OBJECT
 public:
  CameraSettingsDialog(const QString& cameraName, ControlAccess access, QWidget* parent = nullptr);
  // The editor of a control: a QSpinBox (with a slider beside it), QCheckBox, QComboBox or
  // QPushButton; null for a control the device does not offer.
  QWidget* Editor(uint32_t id) const;
  // Sets every control back to the device's default value.
  void RestoreDefaults();

 private:
  void Build();
  void Apply(uint32_t id, int32_t value);
  // Reads the controls again: another control may have changed (automatic exposure makes the
  // exposure time inactive).
  void Refresh();

  ControlAccess access_;
  std::vector<v4l2::Control> controls_;
  std::map<uint32_t, QWidget*> editors_;
  std::map<uint32_t, QWidget*> sliders_;
  QLabel* status_ = nullptr;
  bool refreshing_ = false;
};

class VideoFormatDialog : public QDialog {
  Q_OBJECT
 public:
  VideoFormatDialog(const std::vector<v4l2::PixelFormat>& formats, const VideoFormat& current,
                    QWidget* parent = nullptr);
  // What the three lists show; zeros where the device lists nothing.
  VideoFormat Chosen() const;
  QComboBox* FormatBox() const { return format_; }
  QComboBox* SizeBox() const { return size_; }
  QComboBox* RateBox() const { return rate_; }

 private:
  void FillSizes();
  void FillRates();

  std::vector<v4l2::PixelFormat> formats_;
  QComboBox* format_ = nullptr;
  QComboBox* size_ = nullptr;
  QComboBox* rate_ = nullptr;
};

// Shows the page for a request of the camera layer, modally. Without a V4L2 device the page
// says that the camera has no settings of its own.
void ShowPropertyPage(CameraLibrary& camera, int cameraIndex, const std::string& page,
                      const std::string& devicePath, QWidget* parent = nullptr);

// Makes these dialogs the camera layer's property pages (the program calls it once at start).
void InstallPropertyPages(CameraLibrary& camera);

}  // namespace pupiltrak
