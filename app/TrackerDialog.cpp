#include "app/TrackerDialog.h"

#include <QAction>
#include <QActionGroup>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QExposeEvent>
#include <QGroupBox>
#include <QLabel>
#include <QMenu>
#include <QPaintEvent>
#include <QPainter>
#include <QPixmap>
#include <QPushButton>
#include <QStyleFactory>
#include <QWindow>
#include <cmath>
#include <opencv2/objdetect.hpp>
#include <opencv2/videoio.hpp>

#include "app/AboutBox.h"
#include "app/CaptureFileCommands.h"
#include "app/DialogFont.h"
#include "app/DialogTemplate.h"
#include "app/EventLog.h"
#include "app/HelpCommand.h"
#include "app/OptionCommands.h"
#include "app/ParameterSlider.h"
#include "capture/LastCalibration.h"
#include "capture/TrackerSession.h"
#include "capture/TrackingCommands.h"
#include "mapping/CalibrationProtocol.h"
#include "platform/Machine.h"
#include "platform/Resources.h"
#include "tracking/FaceCascade.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

constexpr int kUnchecked = 0;
constexpr int kChecked = 1;
constexpr int kIndeterminate = 2;

QSize ClientSize() {
  const DialogTemplate& t = MainDialogTemplate();
  return QSize(DialogUnitsToPixelsX(t.width), DialogUnitsToPixelsY(t.height));
}

IntRect ToIntRect(const QRect& r) {
  return IntRect{r.left(), r.top(), r.left() + r.width(), r.top() + r.height()};
}

}  // namespace

DialogHooks DialogHooks::Program(TrackerSession& session) {
  DialogHooks hooks;
  hooks.startTracking = [&session](DialogControls& d) { StartTrackingCommand(session, d); };
  hooks.stopTracking = [&session](DialogControls& d) { StopTrackingCommand(session, d); };
  hooks.calibrate = [&session](DialogControls& d) { session.Calibrate(d); };
  hooks.propertyPage = PropertyPageCommand;
  hooks.paintCharts = [&session](DialogCanvas& canvas, const IntRect& update) {
    session.charts.x.Paint(canvas, update);
    session.charts.y.Paint(canvas, update);
  };
  return hooks;
}

TrackerDialog::TrackerDialog(TrackerSession& session)
    : TrackerDialog(session, DialogHooks::Program(session)) {}

TrackerDialog::TrackerDialog(TrackerSession& session, DialogHooks hooks)
    : QDialog(nullptr, Qt::Dialog | Qt::CustomizeWindowHint | Qt::WindowTitleHint |
                           Qt::WindowCloseButtonHint),
      session_(session),
      hooks_(std::move(hooks)),
      canvas_(ClientSize().width(), ClientSize().height()) {
  // The dialog from its template, with the event log and its image list.
  BuildControls();
  session_.state.SetCaptureFileName(kNoCaptureFile);
  QIcon icon;
  icon.addPixmap(QPixmap::fromImage(ResourceIcon(resource_id::kProgramIcon, 32)));
  icon.addPixmap(QPixmap::fromImage(ResourceIcon(resource_id::kProgramIcon, 16)));
  programIcon_ = icon;
  for (int id : resource_id::kBitmaps) ResourceBitmap(id);

  // The canvas starts in the dialog's own colour; the frame thread's drawings into it are
  // painted on the GUI thread.
  const QColor background = palette().color(QPalette::Window);
  canvas_.Draw(canvas_.ClientRect(), [&](QImage& image) { image.fill(background); });
  canvas_.SetChangedCallback([this](const QRect& rect) {
    QMetaObject::invokeMethod(
        this, [this, rect] { CanvasChanged(rect); }, Qt::QueuedConnection);
  });

  ConnectCommands();
  initResult_ = InitDialog();
  // Enter presses Exit as long as the user has not moved to another push button.
  if (QWidget* exit = Control(control_id::kExit)) exit->setFocus(Qt::OtherFocusReason);
}

TrackerDialog::~TrackerDialog() {
  // The frame thread draws into the canvas: it must be gone before the canvas is.
  if (Tracking() && hooks_.stopTracking) hooks_.stopTracking(*this);
  canvas_.SetChangedCallback(nullptr);
  DialogCanvas* self = &canvas_;
  session_.state.MainWindow.compare_exchange_strong(self, nullptr);
}

void TrackerDialog::BuildControls() {
  const DialogTemplate& t = MainDialogTemplate();
  style_ = new DialogStyle;
  // Group boxes with the title set into the frame line, as the template's layout expects.
  groupStyle_ = QStyleFactory::create(QStringLiteral("Windows"));
  setWindowTitle(QString::fromUtf8(t.caption));
  setFont(DialogFont());
  setFixedSize(ClientSize());

  for (const ControlTemplate& c : t.controls) {
    const QString text = QString::fromUtf8(c.text);
    QWidget* w = nullptr;
    switch (c.kind) {
      case ControlKind::PushButton:
      case ControlKind::DefaultPushButton: {
        auto* button = new QPushButton(text, this);
        button->setAutoDefault(true);
        if (c.kind == ControlKind::DefaultPushButton) button->setDefault(true);
        w = button;
        break;
      }
      case ControlKind::StaticText:
        w = new QLabel(text, this);
        break;
      case ControlKind::GroupBox: {
        auto* group = new QGroupBox(text, this);
        if (groupStyle_) group->setStyle(groupStyle_);
        w = group;
        break;
      }
      case ControlKind::CheckBox: {
        auto* box = new QCheckBox(text, this);
        box->setStyle(style_);
        box->setChecked(c.checked);
        w = box;
        break;
      }
      case ControlKind::Trackbar: {
        auto* slider = new ParameterSlider(this);
        const int id = c.id;
        slider->SetPaintCycleHandler([this, id] { SliderDrawn(*this, session_.state, id); });
        sliders_.push_back(slider);
        w = slider;
        break;
      }
      case ControlKind::ListView:
        log_ = new EventLog(this);
        w = log_;
        break;
      case ControlKind::Icon: {
        auto* label = new QLabel(this);
        label->setPixmap(QPixmap::fromImage(ResourceIcon(resource_id::kProgramIcon, 32)));
        w = label;
        break;
      }
    }
    w->setObjectName(QString::number(c.id));
    w->setGeometry(DialogUnitsToPixels(c));
    w->setEnabled(c.enabled);
    if (c.id != control_id::kStatic) controls_[c.id] = w;
  }
  // Owned by the dialog; a child made after the controls goes after them.
  style_->setParent(this);
  if (groupStyle_) groupStyle_->setParent(this);
}

void TrackerDialog::ConnectCommands() {
  using namespace control_id;
  auto onClick = [this](int id, std::function<void()> handler) {
    if (auto* button = qobject_cast<QAbstractButton*>(Control(id)))
      connect(button, &QAbstractButton::clicked, this,
              [handler = std::move(handler)] { handler(); });
  };
  onClick(kSetCaptureFile, [this] { SetCaptureFileCommand(*this, session_.state); });
  onClick(kStartTracking, [this] {
    if (hooks_.startTracking) hooks_.startTracking(*this);
  });
  onClick(kStopTracking, [this] {
    if (hooks_.stopTracking) hooks_.stopTracking(*this);
  });
  onClick(kCaptureToFile, [this] { CaptureToFileCommand(*this, session_.state); });
  onClick(kEyeRegions, [this] { OptionClicked(*this, session_.state, kEyeRegions); });
  onClick(kGazeDirection, [this] { OptionClicked(*this, session_.state, kGazeDirection); });
  onClick(kHelp, [] { HelpCommand(); });
  onClick(kCameraPropertyPage, [this] {
    if (hooks_.propertyPage) hooks_.propertyPage(*this, "camera_pp");
  });
  onClick(kVideoFormatProperties, [this] {
    if (hooks_.propertyPage) hooks_.propertyPage(*this, "video_pp");
  });
  onClick(kCalibrate, [this] {
    if (hooks_.calibrate) hooks_.calibrate(*this);
  });
  onClick(kEqualizeHist1, [this] { OptionClicked(*this, session_.state, kEqualizeHist1); });
  onClick(kEqualizeHist2, [this] { OptionClicked(*this, session_.state, kEqualizeHist2); });
  onClick(kExit, [this] { accept(); });
}

bool TrackerDialog::InitDialog() {
  TrackerState& t = session_.state;
  // 1. Data exchange: the capture-file line shows the current name.
  RefreshData();
  // 2. The About entry (there is no system menu to extend: it lives in the dialog's menu).
  aboutMenuText_ = kAboutMenuText;
  // 3. The client area for the frame thread's drawings; the program icon.
  t.MainWindow = &canvas_;
  setWindowIcon(programIcon_);
  // 4. Back to the start-up state.
  t.SearchEyeRegions = 0;
  t.EstimateGazeDirection = 0;
  t.CaptureToFile = 0;
  t.TrackingActive = 0;
  t.CalibrationActive = 0;
  cascadeFileName_ = kCascadeFileName;
  t.FaceCascade.reset();
  t.CaptureWriter.reset();
  // 5. The log's icons: cog for ordinary lines, beetle for failures.
  log_->SetImageList({QIcon(QPixmap::fromImage(ResourceIcon(resource_id::kCogIcon, 16))),
                      QIcon(QPixmap::fromImage(ResourceIcon(resource_id::kBeetleIcon, 16)))});
  // 6. No detection time to show yet.
  session_.results.detectionText.clear();
  // 7. The face cascade: the current directory's, else the one beside the program, else the
  // system's. The lines name the file that was tried; then where calibrations are recorded.
  FoundCascade found = FindAndLoadFaceCascade(session_.platform.Machine().ProgramDirectory());
  cascadeFileName_ = found.path;
  std::shared_ptr<cv::CascadeClassifier> cascade = std::move(found.cascade);
  AddLogLine("Loading " + cascadeFileName_);
  if (!cascade) {
    AddBugLine("Could not load classifier cascade " + cascadeFileName_);
    AddLogLine(ProtocolLocationLine(session_.platform.Machine()));
    return false;
  }
  AddLogLine("Classifier cascade " + cascadeFileName_ + " loaded");
  AddLogLine(ProtocolLocationLine(session_.platform.Machine()));
  // 8. The session: the cascade, the target windows' class with the calibration target
  // picture, the gaze strip charts in client-area pixels.
  SetUpSession(session_, std::move(cascade), &canvas_,
               session_.platform.Machine().FullScreenSize());
  chartsCreated_ = true;
  // 9. The sliders' range, then their positions from the parameters.
  const int positions[] = {t.Finder1Param1, t.Finder1Param2, t.Finder2Param1, t.Finder2Param2};
  for (size_t i = 0; i < sliders_.size() && i < 4; ++i) {
    sliders_[i]->setRange(1, 200);  // the dialog is not shown yet: nothing is drawn
    sliders_[i]->setValue(positions[i]);
  }
  // 10. The box matching the default of EqualizeHist2 (no log line).
  SetCheckState(control_id::kEqualizeHist2, kChecked);
  return true;
}

void TrackerDialog::AddLogLine(const std::string& text) { log_->AddLogLine(text); }

void TrackerDialog::AddBugLine(const std::string& text) { log_->AddBugLine(text); }

void TrackerDialog::EnableControl(int id, bool enabled) {
  if (QWidget* w = Control(id)) w->setEnabled(enabled);
}

int TrackerDialog::CheckState(int id) {
  auto* box = qobject_cast<QCheckBox*>(Control(id));
  if (!box) return -1;
  switch (box->checkState()) {
    case Qt::Unchecked:
      return kUnchecked;
    case Qt::Checked:
      return kChecked;
    case Qt::PartiallyChecked:
      return kIndeterminate;
  }
  return -1;
}

void TrackerDialog::SetCheckState(int id, int state) {
  auto* box = qobject_cast<QCheckBox*>(Control(id));
  if (!box) return;
  // Setting the state by program emits no clicked(), so no handler runs.
  box->setCheckState(state == kChecked         ? Qt::Checked
                     : state == kIndeterminate ? Qt::PartiallyChecked
                                               : Qt::Unchecked);
}

int TrackerDialog::SliderPosition(int id) {
  auto* slider = qobject_cast<QSlider*>(Control(id));
  return slider ? slider->value() : 0;
}

void TrackerDialog::RefreshData() {
  if (auto* label = qobject_cast<QLabel*>(Control(control_id::kCaptureFileStatic)))
    label->setText(QString::fromStdString(session_.state.CaptureFileName()));
}

QWidget* TrackerDialog::Control(int id) const {
  auto it = controls_.find(id);
  return it == controls_.end() ? nullptr : it->second;
}

bool TrackerDialog::Tracking() const {
  if (session_.state.TrackingActive != 0) return true;
  QWidget* stop = Control(control_id::kStopTracking);
  return stop && stop->isEnabled();
}

void TrackerDialog::SystemCommand(int command) {
  if ((command & 0xFFF0) == kAboutCommand) {
    AboutBox about(this);
    about.exec();
  }
}

QMenu* TrackerDialog::CreateContextMenu(QWidget* parent) {
  auto* menu = new QMenu(parent);
  if (!aboutMenuText_.empty()) {
    menu->addAction(QString::fromStdString(aboutMenuText_), this,
                    [this] { SystemCommand(kAboutCommand); });
  }
  // Options beyond the dialog's own check boxes, each off at start, logged when switched.
  // Robust tracking is what an ordinary webcam wants (smaller faces, following the face,
  // precise pupils), whatever the items of its parts say.
  AddSwitch(menu, "Precise pupils", session_.state.PrecisePupils);
  AddSwitch(menu, "Robust tracking", session_.state.RobustTracking);
  AddSwitch(menu, "Follow the face", session_.state.FollowFace);
  AddSmallestFaceMenu(menu);
  // The live gaze stream to other programs; off at program start.
  QAction* stream = menu->addAction("Stream gaze");
  stream->setCheckable(true);
  stream->setChecked(session_.stream.On());
  connect(stream, &QAction::toggled, this,
          [this](bool on) { StreamGazeCommand(session_.stream, *this, on); });
  // Gaze from the last calibration in the protocol file; off at program start.
  QAction* last = menu->addAction("Use last calibration");
  last->setCheckable(true);
  last->setChecked(session_.UsingMapping());
  connect(last, &QAction::toggled, this, [this](bool on) {
    UseLastCalibrationCommand(session_, *this, on,
                              CalibrationProtocolPath(session_.platform.Machine()));
  });
  AddSettlingMenu(menu);
  return menu;
}

void TrackerDialog::AddSwitch(QMenu* menu, const char* name, std::atomic<int>& flag) {
  QAction* item = menu->addAction(name);
  item->setCheckable(true);
  item->setChecked(flag.load() != 0);
  connect(item, &QAction::toggled, this, [this, name, &flag](bool on) {
    AddLogLine(std::string(name) + (on ? " is on" : " is off"));
    flag = on ? 1 : 0;
  });
}

void TrackerDialog::AddSmallestFaceMenu(QMenu* menu) {
  static const struct {
    double share;
    const char* text;
  } kChoices[] = {{0.5, "Half the picture's height"},
                  {1.0 / 3, "A third of the picture's height"},
                  {0.25, "A quarter of the picture's height"},
                  {0.2, "A fifth of the picture's height"}};
  QMenu* sizes = menu->addMenu("Smallest face");
  auto* group = new QActionGroup(sizes);
  const double now = session_.state.SmallestFace.load();
  for (const auto& choice : kChoices) {
    QAction* item = sizes->addAction(choice.text);
    item->setCheckable(true);
    item->setActionGroup(group);
    item->setChecked(std::abs(now - choice.share) < 1e-9);
    connect(item, &QAction::triggered, this, [this, choice] {
      AddLogLine(std::string("Smallest face: ") + choice.text);
      session_.state.SmallestFace = choice.share;
    });
  }
}

void TrackerDialog::AddSettlingMenu(QMenu* menu) {
  // The accuracy test's first milliseconds after each new target, before the eyes can have
  // arrived, left out of its figures; none at start, so the protocol stays as it was.
  static const struct {
    int ms;
    const char* text;
  } kChoices[] = {{0, "None"}, {200, "200 ms"}, {400, "400 ms"}};
  QMenu* times = menu->addMenu("Settling");
  auto* group = new QActionGroup(times);
  const int now = session_.settleMs.load();
  for (const auto& choice : kChoices) {
    QAction* item = times->addAction(choice.text);
    item->setCheckable(true);
    item->setActionGroup(group);
    item->setChecked(now == choice.ms);
    connect(item, &QAction::triggered, this, [this, choice] {
      AddLogLine(std::string("Settling: ") + choice.text);
      session_.settleMs = choice.ms;
    });
  }
}

void TrackerDialog::contextMenuEvent(QContextMenuEvent* event) {
  QMenu* menu = CreateContextMenu(this);
  if (!menu->isEmpty()) menu->exec(event->globalPos());
  delete menu;
}

void TrackerDialog::done(int result) {
  if (Tracking() && hooks_.stopTracking) hooks_.stopTracking(*this);
  QDialog::done(result);
}

void TrackerDialog::showEvent(QShowEvent* event) {
  if (!watchedWindow_ && windowHandle()) {
    watchedWindow_ = windowHandle();
    watchedWindow_->installEventFilter(this);
  }
  QDialog::showEvent(event);
}

bool TrackerDialog::eventFilter(QObject* watched, QEvent* event) {
  if (watched == watchedWindow_ && event->type() == QEvent::Expose) {
    QT_WARNING_PUSH
    QT_WARNING_DISABLE_DEPRECATED
    const QRegion exposed = static_cast<QExposeEvent*>(event)->region();
    QT_WARNING_POP
    const bool nowExposed = windowHandle() && windowHandle()->isExposed() && !exposed.isEmpty();
    // Qt brings a window back (restored, shown again) from its backing store without a paint
    // cycle. Marking the exposed part dirty first makes that a real repaint, as the window
    // system does it: the sliders draw themselves and the charts repair themselves there.
    // Further exposures of a window that stayed visible are only flushed, as on a compositing
    // desktop: the window system repeats them, and each would log the sliders again.
    if (nowExposed && !windowExposed_) update(exposed);
    // An empty exposure tells that the window is no longer exposed (minimised, hidden).
    windowExposed_ = nowExposed;
  }
  return QDialog::eventFilter(watched, event);
}

void TrackerDialog::CanvasChanged(const QRect& rect) {
  pendingCanvas_ += rect;
  update(rect);
}

void TrackerDialog::paintEvent(QPaintEvent* event) {
  const QRegion region = event->region();
  // What the canvas did not ask for was exposed by the window system: the charts repair
  // themselves there (they restart blank).
  const QRegion exposed = region.subtracted(pendingCanvas_);
  pendingCanvas_ -= region;
  if (!exposed.isEmpty() && chartsCreated_ && hooks_.paintCharts)
    hooks_.paintCharts(canvas_, ToIntRect(exposed.boundingRect()));

  QPainter painter(this);
  for (const QRect& r : region) painter.drawImage(r.topLeft(), canvas_.Region(r));
}

}  // namespace pupiltrak
