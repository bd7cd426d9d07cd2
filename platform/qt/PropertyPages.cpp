#include "platform/qt/PropertyPages.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QHBoxLayout>
#include <QLabel>
#include <QMessageBox>
#include <QPushButton>
#include <QScrollArea>
#include <QSignalBlocker>
#include <QSlider>
#include <QSpinBox>
#include <QVBoxLayout>
#include <algorithm>

#include "platform/CameraLibrary.h"

namespace pupiltrak {

namespace {
QString Qs(const std::string& s) { return QString::fromStdString(s); }
}  // namespace

// --- camera settings ---

CameraSettingsDialog::CameraSettingsDialog(const QString& cameraName, ControlAccess access,
                                           QWidget* parent)
    : QDialog(parent), access_(std::move(access)) {
  setWindowTitle(cameraName.isEmpty() ? tr("Camera properties")
                                      : tr("Camera properties: %1").arg(cameraName));
  setModal(true);
  controls_ = access_.list ? access_.list() : std::vector<v4l2::Control>{};
  Build();
}

void CameraSettingsDialog::Build() {
  auto* outer = new QVBoxLayout(this);
  if (controls_.empty()) {
    outer->addWidget(new QLabel(tr("This camera offers no settings of its own."), this));
  } else {
    auto* area = new QScrollArea(this);
    area->setWidgetResizable(true);
    auto* page = new QWidget(area);
    auto* form = new QFormLayout(page);
    for (const auto& c : controls_) {
      const uint32_t id = c.id;
      QWidget* editor = nullptr;
      switch (c.kind) {
        case v4l2::Control::Kind::Integer: {
          auto* row = new QWidget(page);
          auto* h = new QHBoxLayout(row);
          h->setContentsMargins(0, 0, 0, 0);
          auto* slider = new QSlider(Qt::Horizontal, row);
          auto* spin = new QSpinBox(row);
          slider->setRange(c.minimum, c.maximum);
          spin->setRange(c.minimum, c.maximum);
          slider->setSingleStep(c.step);
          spin->setSingleStep(c.step);
          slider->setValue(c.value);
          spin->setValue(c.value);
          h->addWidget(slider, 1);
          h->addWidget(spin);
          connect(slider, &QSlider::valueChanged, spin, &QSpinBox::setValue);
          connect(spin, qOverload<int>(&QSpinBox::valueChanged), slider, &QSlider::setValue);
          connect(spin, qOverload<int>(&QSpinBox::valueChanged), this,
                  [this, id](int v) { Apply(id, v); });
          sliders_[id] = slider;
          editor = spin;
          form->addRow(Qs(c.name), row);
          break;
        }
        case v4l2::Control::Kind::Boolean: {
          auto* box = new QCheckBox(page);
          box->setChecked(c.value != 0);
          connect(box, &QCheckBox::toggled, this, [this, id](bool on) { Apply(id, on ? 1 : 0); });
          editor = box;
          form->addRow(Qs(c.name), box);
          break;
        }
        case v4l2::Control::Kind::Menu:
        case v4l2::Control::Kind::IntegerMenu: {
          auto* combo = new QComboBox(page);
          for (const auto& item : c.menu)
            combo->addItem(Qs(item.name), QVariant::fromValue<qlonglong>(item.value));
          combo->setCurrentIndex(combo->findData(QVariant::fromValue<qlonglong>(c.value)));
          connect(combo, qOverload<int>(&QComboBox::activated), this, [this, id, combo](int i) {
            Apply(id, static_cast<int32_t>(combo->itemData(i).toLongLong()));
          });
          editor = combo;
          form->addRow(Qs(c.name), combo);
          break;
        }
        case v4l2::Control::Kind::Button: {
          auto* button = new QPushButton(Qs(c.name), page);
          connect(button, &QPushButton::clicked, this, [this, id] { Apply(id, 1); });
          editor = button;
          form->addRow(QString(), button);
          break;
        }
      }
      editor->setEnabled(!c.inactive && !c.readOnly);
      if (sliders_.count(id)) sliders_[id]->setEnabled(editor->isEnabled());
      editors_[id] = editor;
    }
    area->setWidget(page);
    outer->addWidget(area, 1);
  }
  status_ = new QLabel(this);
  outer->addWidget(status_);
  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Close, this);
  if (!controls_.empty()) {
    auto* defaults = buttons->addButton(tr("Defaults"), QDialogButtonBox::ResetRole);
    connect(defaults, &QPushButton::clicked, this, &CameraSettingsDialog::RestoreDefaults);
  }
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);
  resize(460, std::min(120 + 34 * static_cast<int>(controls_.size()), 640));
}

QWidget* CameraSettingsDialog::Editor(uint32_t id) const {
  auto it = editors_.find(id);
  return it == editors_.end() ? nullptr : it->second;
}

void CameraSettingsDialog::Apply(uint32_t id, int32_t value) {
  if (refreshing_) return;
  bool ok = access_.set && access_.set(id, value);
  status_->setText(ok ? QString() : tr("The camera did not take that value."));
  Refresh();
}

void CameraSettingsDialog::RestoreDefaults() {
  for (const auto& c : controls_) {
    if (c.kind == v4l2::Control::Kind::Button || c.readOnly) continue;
    if (access_.set) access_.set(c.id, c.defaultValue);
  }
  Refresh();
}

void CameraSettingsDialog::Refresh() {
  if (!access_.list) return;
  refreshing_ = true;
  controls_ = access_.list();
  for (const auto& c : controls_) {
    QWidget* editor = Editor(c.id);
    if (!editor) continue;
    QSignalBlocker block(editor);
    if (auto* spin = qobject_cast<QSpinBox*>(editor)) {
      spin->setValue(c.value);
      if (auto* slider = qobject_cast<QSlider*>(sliders_[c.id])) {
        QSignalBlocker blockSlider(slider);
        slider->setValue(c.value);
        slider->setEnabled(!c.inactive && !c.readOnly);
      }
    } else if (auto* box = qobject_cast<QCheckBox*>(editor)) {
      box->setChecked(c.value != 0);
    } else if (auto* combo = qobject_cast<QComboBox*>(editor)) {
      combo->setCurrentIndex(combo->findData(QVariant::fromValue<qlonglong>(c.value)));
    }
    editor->setEnabled(!c.inactive && !c.readOnly);
  }
  refreshing_ = false;
}

// --- video format ---

VideoFormatDialog::VideoFormatDialog(const std::vector<v4l2::PixelFormat>& formats,
                                     const VideoFormat& current, QWidget* parent)
    : QDialog(parent), formats_(formats) {
  setWindowTitle(tr("Video format properties"));
  setModal(true);
  auto* outer = new QVBoxLayout(this);
  auto* form = new QFormLayout;
  format_ = new QComboBox(this);
  size_ = new QComboBox(this);
  rate_ = new QComboBox(this);
  form->addRow(tr("Pixel format"), format_);
  form->addRow(tr("Frame size"), size_);
  form->addRow(tr("Frame rate"), rate_);
  outer->addLayout(form);
  if (formats_.empty())
    outer->addWidget(new QLabel(tr("The camera lists no video formats."), this));
  else
    outer->addWidget(new QLabel(tr("The format is used from the next Start Tracking on."), this));

  for (size_t i = 0; i < formats_.size(); ++i) {
    const auto& f = formats_[i];
    format_->addItem(
        QStringLiteral("%1 (%2)").arg(Qs(f.description), Qs(v4l2::FourccText(f.fourcc))),
        static_cast<int>(i));
  }
  connect(format_, qOverload<int>(&QComboBox::currentIndexChanged), this,
          &VideoFormatDialog::FillSizes);
  connect(size_, qOverload<int>(&QComboBox::currentIndexChanged), this,
          &VideoFormatDialog::FillRates);

  // Start from the current choice where the device still lists it.
  int f = 0;
  for (size_t i = 0; i < formats_.size(); ++i)
    if (formats_[i].fourcc == current.fourcc) f = static_cast<int>(i);
  {
    QSignalBlocker block(format_);
    format_->setCurrentIndex(formats_.empty() ? -1 : f);
  }
  FillSizes();
  if (!formats_.empty()) {
    const auto& sizes = formats_[static_cast<size_t>(f)].sizes;
    for (size_t i = 0; i < sizes.size(); ++i)
      if (sizes[i].width == current.width && sizes[i].height == current.height)
        size_->setCurrentIndex(static_cast<int>(i));
    for (int i = 0; i < rate_->count(); ++i)
      if (rate_->itemData(i).toDouble() == current.framesPerSecond) rate_->setCurrentIndex(i);
  }

  auto* buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, this);
  buttons->button(QDialogButtonBox::Ok)->setEnabled(!formats_.empty());
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);
  outer->addWidget(buttons);
}

void VideoFormatDialog::FillSizes() {
  {
    QSignalBlocker block(size_);
    size_->clear();
    int f = format_->currentIndex();
    if (f >= 0 && static_cast<size_t>(f) < formats_.size()) {
      for (const auto& s : formats_[static_cast<size_t>(f)].sizes)
        size_->addItem(QStringLiteral("%1 x %2").arg(s.width).arg(s.height));
    }
    size_->setCurrentIndex(size_->count() > 0 ? 0 : -1);
  }
  FillRates();
}

void VideoFormatDialog::FillRates() {
  QSignalBlocker block(rate_);
  rate_->clear();
  int f = format_->currentIndex(), s = size_->currentIndex();
  if (f < 0 || s < 0 || static_cast<size_t>(f) >= formats_.size()) return;
  const auto& sizes = formats_[static_cast<size_t>(f)].sizes;
  if (static_cast<size_t>(s) >= sizes.size()) return;
  std::vector<double> rates;
  for (const auto& interval : sizes[static_cast<size_t>(s)].intervals) {
    double fps = interval.FramesPerSecond();
    if (fps > 0 && std::find(rates.begin(), rates.end(), fps) == rates.end()) rates.push_back(fps);
  }
  std::sort(rates.rbegin(), rates.rend());
  for (double fps : rates) rate_->addItem(tr("%1 frames per second").arg(fps, 0, 'g', 4), fps);
  rate_->setCurrentIndex(rate_->count() > 0 ? 0 : -1);
}

VideoFormat VideoFormatDialog::Chosen() const {
  VideoFormat v;
  int f = format_->currentIndex(), s = size_->currentIndex();
  if (f < 0 || static_cast<size_t>(f) >= formats_.size()) return v;
  const auto& format = formats_[static_cast<size_t>(f)];
  v.fourcc = format.fourcc;
  if (s >= 0 && static_cast<size_t>(s) < format.sizes.size()) {
    v.width = format.sizes[static_cast<size_t>(s)].width;
    v.height = format.sizes[static_cast<size_t>(s)].height;
  }
  if (rate_->currentIndex() >= 0) v.framesPerSecond = rate_->currentData().toDouble();
  return v;
}

// --- the layer's pages ---

void ShowPropertyPage(CameraLibrary& camera, int cameraIndex, const std::string& page,
                      const std::string& devicePath, QWidget* parent) {
  if (devicePath.empty()) {
    QMessageBox::information(parent,
                             page == "video_pp" ? QObject::tr("Video format properties")
                                                : QObject::tr("Camera properties"),
                             QObject::tr("This camera offers no settings of its own."));
    return;
  }
  // A node of its own: controls and formats can be read while the camera streams.
  auto device = std::make_shared<v4l2::Device>(devicePath);
  if (page == "camera_pp") {
    v4l2::Capabilities caps;
    QString name;
    if (v4l2::QueryCapabilities(devicePath, &caps)) name = Qs(caps.card);
    ControlAccess access;
    access.list = [device] { return device->Controls(); };
    access.set = [device](uint32_t id, int32_t value) { return device->SetControl(id, value); };
    CameraSettingsDialog dialog(name, access, parent);
    dialog.exec();
  } else if (page == "video_pp") {
    VideoFormatDialog dialog(device->Formats(), camera.ChosenVideoFormat(cameraIndex), parent);
    if (dialog.exec() == QDialog::Accepted) camera.SetVideoFormat(cameraIndex, dialog.Chosen());
  }
}

void InstallPropertyPages(CameraLibrary& camera) {
  camera.SetPropertyPageHandler([](CameraLibrary& layer, const PropertyPageRequest& request) {
    ShowPropertyPage(layer, request.camera, request.page, request.devicePath);
  });
}

}  // namespace pupiltrak
