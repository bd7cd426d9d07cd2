// pupiltrak08-session-shots [output-folder]
//
// Runs a whole session in the real dialog with the real "Source", "Preview" and target windows,
// with a generated camera in place of camera 0: a face photograph whose pupils follow the
// target window on the screen. Clicks "Gaze Direction", Start Tracking and Calibrate, and saves
// screenshots of the whole screen during the calibration and during the accuracy test, and of
// the "Preview" mosaic. Needs an X server; without a display of its own run it as
//   xvfb-run -a -s "-screen 0 1280x1024x24" pupiltrak08-session-shots out/
// The calibration protocol is written into the output folder.
#include <unistd.h>

#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QFile>
#include <QPixmap>
#include <QScreen>
#include <QThread>
#include <QWidget>
#include <atomic>
#include <climits>
#include <cstdio>
#include <functional>
#include <opencv2/core.hpp>
#include <string>
#include <vector>

#include "FaceFrameGenerator.h"
#include "RecordingTargetWindows.h"
#include "ReplayRun.h"
#include "TargetFollowingUser.h"
#include "app/DialogTemplate.h"
#include "app/EventLog.h"
#include "app/TrackerDialog.h"
#include "calibration/CalibrationRun.h"
#include "capture/TrackerSession.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"
#include "platform/CameraLibrary.h"
#include "platform/FrameSource.h"
#include "platform/Machine.h"
#include "platform/Prompts.h"
#include "platform/TargetWindowHost.h"
#include "platform/qt/QtMachine.h"
#include "platform/qt/QtNamedWindows.h"
#include "platform/qt/QtTargetWindows.h"
#include "tracking/FaceCascade.h"
#include "tracking/FrameResults.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

// The real screen, clock and beep; the protocol goes into the output folder.
class ShotMachine : public QtMachine {
 public:
  explicit ShotMachine(std::string dir) : dir_(std::move(dir)) {}
  std::string ProgramDirectory() override { return dir_; }

 private:
  std::string dir_;
};

// Runs the event loop until done() or the time is up; false on time-out.
bool WaitFor(const std::function<bool()>& done, int seconds) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > seconds * 1000LL) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
  return true;
}

void Pause(int milliseconds) {
  QElapsedTimer timer;
  timer.start();
  while (timer.elapsed() < milliseconds) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QThread::msleep(10);
  }
}

void Click(TrackerDialog& dialog, int id) {
  if (auto* button = qobject_cast<QAbstractButton*>(dialog.Control(id))) button->click();
}

// The picture with at most 256 colours chosen for it (k-means over a sample of its pixels,
// each pixel mapped to the nearest), as an 8-bit indexed image: a screenshot with a
// photograph in it then fits a PNG of a fraction of the size, with hardly a visible change.
QImage WithOwnPalette(const QImage& picture) {
  const QImage rgb = picture.convertToFormat(QImage::Format_RGB888);
  const int pixels = rgb.width() * rgb.height();
  if (pixels == 0) return rgb;
  cv::RNG rng(1);
  const int samples = std::min(pixels, 40000);
  cv::Mat data(samples, 3, CV_32F);
  for (int i = 0; i < samples; ++i) {
    const int p = samples == pixels ? i : rng.uniform(0, pixels);
    const uchar* c = rgb.constScanLine(p / rgb.width()) + 3 * (p % rgb.width());
    for (int k = 0; k < 3; ++k) data.at<float>(i, k) = c[k];
  }
  const int colours = std::min(256, samples);
  cv::Mat labels, centres;
  cv::kmeans(data, colours, labels,
             cv::TermCriteria(cv::TermCriteria::EPS + cv::TermCriteria::COUNT, 12, 0.5), 1,
             cv::KMEANS_PP_CENTERS, centres);
  QVector<QRgb> table(colours);
  for (int j = 0; j < colours; ++j)
    table[j] = qRgb(cvRound(centres.at<float>(j, 0)), cvRound(centres.at<float>(j, 1)),
                    cvRound(centres.at<float>(j, 2)));
  // Nearest palette entry for every colour at 6 bits per channel.
  std::vector<uchar> nearest(64 * 64 * 64);
  for (int r = 0; r < 64; ++r)
    for (int g = 0; g < 64; ++g)
      for (int b = 0; b < 64; ++b) {
        int best = 0, bestD = INT_MAX;
        for (int j = 0; j < colours; ++j) {
          const int dr = qRed(table[j]) - (r * 4 + 2), dg = qGreen(table[j]) - (g * 4 + 2),
                    db = qBlue(table[j]) - (b * 4 + 2);
          const int d = dr * dr + dg * dg + db * db;
          if (d < bestD) bestD = d, best = j;
        }
        nearest[(r * 64 + g) * 64 + b] = static_cast<uchar>(best);
      }
  QImage indexed(rgb.size(), QImage::Format_Indexed8);
  indexed.setColorTable(table);
  for (int y = 0; y < rgb.height(); ++y) {
    const uchar* in = rgb.constScanLine(y);
    uchar* out = indexed.scanLine(y);
    for (int x = 0; x < rgb.width(); ++x, in += 3)
      out[x] = nearest[((in[0] >> 2) * 64 + (in[1] >> 2)) * 64 + (in[2] >> 2)];
  }
  return indexed;
}

// Saves a PNG of at most maxBytes, scaling the picture down step by step when it is larger.
bool Save(const QImage& picture, const QString& path, qint64 maxBytes = 160 * 1024) {
  QImage image = picture.convertToFormat(QImage::Format_RGB888);
  QImage written;
  bool ok = false;
  for (int attempt = 0; attempt < 12; ++attempt) {
    written = WithOwnPalette(image);
    ok = written.save(path, "PNG", 0);  // quality 0: the strongest compression
    if (!ok || QFile(path).size() <= maxBytes) break;
    image = image.scaledToWidth(image.width() * 9 / 10, Qt::SmoothTransformation);
  }
  std::printf("%s %s (%d x %d, %lld bytes)\n", ok ? "wrote" : "could not write", qPrintable(path),
              written.width(), written.height(), static_cast<long long>(QFile(path).size()));
  return ok;
}

// The part of the screen that shows something: the given windows and a margin, within the
// screen.
QRect Covered(const std::vector<QRect>& windows, const QRect& screen) {
  QRect r;
  for (const QRect& w : windows) r |= w;
  return r.adjusted(-8, -8, 8, 8) & screen;
}

// Where the gaze marker of the calibration panel is now: the estimate of the last frame with
// both eyes, scaled to the 160 x 120 panel.
QPointF GazeMarkerPosition(const TrackerSession& session, QSize full) {
  const ScreenPoint s = session.smoother.Smoothed();
  return QPointF(160.0 / full.width() * s.x, 120.0 / full.height() * s.y);
}

QImage GrabScreen() {
  QScreen* screen = QGuiApplication::primaryScreen();
  return screen ? screen->grabWindow(0).toImage() : QImage();
}

int StoredSamples(const TrackerSession& session) {
  int n = 0;
  session.samples.WithData([&](const CalibrationData& d) {
    for (const CalibrationTarget& t : d.targets)
      for (double v : t.dxL)
        if (v != kEmptySlot) ++n;
  });
  return n;
}

// The output folder with the face cascade in it, made the current directory (the dialog loads
// the cascade from there), and no protocol of an earlier run.
bool PrepareOutputFolder(const QString& outDir) {
  if (!QDir().mkpath(outDir)) {
    std::fprintf(stderr, "cannot create the output folder %s\n", qPrintable(outDir));
    return false;
  }
  std::string cascade = FindFaceCascade(ExecutableDirectory());
  if (!PathExists(cascade)) cascade = PUPILTRAK_BUILD_CASCADE;
  const QString cascadeCopy = outDir + "/" + kCascadeFileName;
  QFile::remove(cascadeCopy);
  if (!QFile::copy(QString::fromStdString(cascade), cascadeCopy) || !QDir::setCurrent(outDir)) {
    std::fprintf(stderr, "cannot put the face cascade into %s\n", qPrintable(outDir));
    return false;
  }
  QFile::remove(outDir + "/" + kCalibrationProtocolFileName);
  return true;
}

// A plain desktop under everything, so that the black target windows stand out.
void ShowDesktop(QWidget& desktop, QSize screen) {
  desktop.setGeometry(QRect(QPoint(0, 0), screen));
  desktop.setAutoFillBackground(true);
  QPalette palette = desktop.palette();
  palette.setColor(QPalette::Window, QColor(58, 110, 165));
  desktop.setPalette(palette);
  desktop.show();
}

void PrintProtocolResults(const QString& outDir) {
  QFile protocol(outDir + "/" + kCalibrationProtocolFileName);
  if (!protocol.open(QIODevice::ReadOnly)) return;
  const QList<QByteArray> lines = protocol.readAll().split('\n');
  for (const QByteArray& line : lines)
    if (line.startsWith("Accuracy") || line.startsWith("Gaze"))
      std::printf("protocol: %s\n", line.trimmed().constData());
}

// The moments worth a picture.
enum class Moment { None, Calibration, Accuracy };

// One session in the real dialog on the real windows, its camera a generated user who follows
// the target windows. The Qt windows are the process's stand-ins, as the window system wants.
class ShotSession {
 public:
  ShotSession(const QString& outDir, const gen::FacePhoto& photo)
      : outDir_(outDir),
        machine_(outDir.toStdString() + "/"),
        targets_(shownTargets_),
        screen_(machine_.ScreenSize()),
        fullScreen_(machine_.FullScreenSize()),  // read here: QScreen is the GUI thread's
        user_(gen::FaceFrameGenerator(photo, gen::DefaultScene(cv::Size(640, 480))),
              targets_.Record(), UserOptions(screen_)) {
    SetMachine(&machine_);
    SetUserPrompts(&prompts_);
    SetWindows(&windows_);
    SetTargetWindows(&targets_);
    std::printf("screen %d x %d, full-screen client %d x %d\n", screen_.width(), screen_.height(),
                fullScreen_.width(), fullScreen_.height());
    ConnectCamera();
  }
  ~ShotSession() {
    Camera().RestoreDefaults();
    SetTargetWindows(nullptr);
    SetWindows(nullptr);
    SetUserPrompts(nullptr);
    SetMachine(nullptr);
  }

  QSize Screen() const { return screen_; }

  // Gaze Direction, Start Tracking, Calibrate, the two shots, Stop Tracking; 0 when both shots
  // were taken.
  int Run() {
    int status = 0;
    {
      TrackerDialog dialog(session_);
      StartCalibrating(dialog);
      if (!Shoot(dialog, Moment::Calibration, "session_calibration.png", false)) {
        std::fprintf(stderr, "the calibration did not reach target 5\n");
        status = 1;
      } else if (!Shoot(dialog, Moment::Accuracy, "session_accuracy.png", true)) {
        std::fprintf(stderr, "the accuracy test did not run long enough\n");
        status = 1;
      }
      Click(dialog, control_id::kStopTracking);
      Pause(300);
      for (const std::string& line : dialog.Log().Lines()) std::printf("log: %s\n", line.c_str());
      dialog.accept();
    }
    for (const std::string& m : prompts_.Messages()) std::printf("message box: %s\n", m.c_str());
    return status;
  }

 private:
  static TargetFollowingUser::Options UserOptions(QSize screen) {
    TargetFollowingUser::Options options;
    options.user.screen = cv::Size(screen.width(), screen.height());
    // The same eye movement across this screen as across the 1024 x 710 one the model is made
    // for.
    options.user.gainX *= 1024.0 / screen.width();
    options.user.gainY *= 710.0 / screen.height();
    return options;
  }

  // The frame gate holds the camera at the moments worth a picture, so the screen stays still
  // while it is grabbed; frames go on when the shot is taken.
  void ConnectCamera() {
    Camera().SetCameraCounter([] { return 1; });
    Camera().SetSourceFactory([this](int) {
      return std::make_unique<GeneratedSource>([this](int64_t i) { return user_.Frame(i); }, 30.0);
    });
    Camera().SetFrameGate([this] {
      if (held_.load()) return false;
      const bool hold = AtWantedMoment();
      if (hold) held_ = true;
      return !hold;
    });
  }

  bool AtWantedMoment() const {
    if (wanted_.load() == Moment::Calibration) {
      // Target 5 (right edge, middle) with some samples taken: its window stands clear.
      return StoredSamples(session_) >= 5 * 40 + 15;
    }
    if (wanted_.load() != Moment::Accuracy || user_.FramesOnAccuracyTargets() < 250) return false;
    // A frame whose gaze marker lies inside the panel (the stretched estimate is mostly off the
    // screen), or any frame once that has taken too long.
    const FrameResults& r = session_.results;
    const QPointF p = GazeMarkerPosition(session_, fullScreen_);
    return (r.pupilFound[0] && r.pupilFound[1] && p.x() >= 10 && p.x() <= 150 && p.y() >= 10 &&
            p.y() <= 110) ||
           user_.FramesOnAccuracyTargets() >= 1200;
  }

  void StartCalibrating(TrackerDialog& dialog) {
    dialog.move(8, 8);
    dialog.show();
    Pause(800);
    Click(dialog, control_id::kGazeDirection);
    Click(dialog, control_id::kStartTracking);
    if (ImageWindow* source = windows_.Window("Source")) source->move(500, 8);
    if (ImageWindow* preview = windows_.Window("Preview")) preview->move(500, 530);
    Pause(1500);
    Click(dialog, control_id::kCalibrate);
  }

  // The shot waits for the held frame to reach the screen: the canvas, the windows.
  bool Shoot(TrackerDialog& dialog, Moment moment, const QString& name, bool withPreview) {
    wanted_ = moment;
    if (!WaitFor([this] { return held_.load(); }, 300)) return false;
    Pause(600);
    if (moment == Moment::Accuracy) {
      const QPointF marker = GazeMarkerPosition(session_, fullScreen_);
      std::printf("gaze marker at (%.0f, %.0f) in the panel\n", marker.x(), marker.y());
    }
    ImageWindow* source = windows_.Window("Source");
    ImageWindow* preview = windows_.Window("Preview");
    std::vector<QRect> shown = {dialog.frameGeometry()};
    if (source) shown.push_back(source->frameGeometry());
    if (preview) shown.push_back(preview->frameGeometry());
    for (const auto& w : targets_.Record().Existing()) shown.push_back(w.geometry);
    const QImage screenShot = GrabScreen();
    Save(screenShot.copy(Covered(shown, screenShot.rect())), outDir_ + "/" + name);
    if (withPreview && preview) {
      const QImage mosaic = preview->grab().toImage();
      Save(mosaic.scaled(mosaic.size() * 2), outDir_ + "/session_preview.png");
    }
    wanted_ = Moment::None;
    held_ = false;
    return true;
  }

  const QString outDir_;
  ShotMachine machine_;
  ScriptedPrompts prompts_;  // a message box would hold the session; they are printed instead
  QtNamedWindows windows_;
  QtTargetWindows shownTargets_;
  RecordingTargetWindows targets_;
  const QSize screen_;
  const QSize fullScreen_;
  TargetFollowingUser user_;
  TrackerSession session_;
  std::atomic<Moment> wanted_{Moment::None};
  std::atomic<bool> held_{false};
};

}  // namespace

}  // namespace pupiltrak

using namespace pupiltrak;

int main(int argc, char** argv) {
  QApplication application(argc, argv);
  const QString outDir =
      QDir(argc > 1 ? QString::fromLocal8Bit(argv[1]) : QDir::currentPath()).absolutePath();
  if (!PrepareOutputFolder(outDir)) return 2;
  if (QGuiApplication::platformName() == QLatin1String("offscreen"))
    std::fprintf(stderr, "the offscreen platform has no screen to grab: run under xvfb-run\n");

  gen::FacePhoto photo;
  std::string error;
  if (!gen::LoadFacePhoto(std::string(PUPILTRAK_FACES_DIR) + "/jesper_2.jpg", &photo, &error)) {
    std::fprintf(stderr, "%s\n", error.c_str());
    return 2;
  }
  ShotSession shots(outDir, photo);
  QWidget desktop(nullptr, Qt::FramelessWindowHint | Qt::WindowStaysOnBottomHint);
  ShowDesktop(desktop, shots.Screen());
  const int status = shots.Run();
  PrintProtocolResults(outDir);
  return status;
}
