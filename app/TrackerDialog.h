#pragma once
// The main dialog (template 102): every control the user touches, the event log and the
// client-area canvas into which the frame thread draws the status panel and the strip charts.
// Built from the template's control table; controls are found by their identifiers.

#include <QDialog>
#include <QIcon>
#include <QRegion>
#include <atomic>
#include <functional>
#include <map>
#include <string>
#include <vector>

#include "app/DialogView.h"
#include "platform/DialogCanvas.h"
#include "platform/Geometry.h"

class QMenu;
class QStyle;

namespace pupiltrak {

class DialogStyle;
class EventLog;
class TrackerSession;
class ParameterSlider;

// The commands the dialog hands its buttons to, and the chart repair of its paint handler.
// The program uses Program(session); tests replace single entries to watch what the dialog
// does.
struct DialogHooks {
  std::function<void(DialogControls&)> startTracking;
  std::function<void(DialogControls&)> stopTracking;
  std::function<void(DialogControls&)> calibrate;
  std::function<void(DialogControls&, const char*)> propertyPage;
  // Asks both strip charts to repaint themselves within the update rectangle.
  std::function<void(DialogCanvas&, const IntRect&)> paintCharts;

  static DialogHooks Program(TrackerSession& session);
};

class TrackerDialog : public QDialog, public DialogView {
 public:
  // Builds the controls and runs the dialog's initialisation on the session (which outlives
  // the dialog); the dialog is not shown yet.
  explicit TrackerDialog(TrackerSession& session);
  TrackerDialog(TrackerSession& session, DialogHooks hooks);
  ~TrackerDialog() override;

  // DialogControls (GUI thread only).
  void AddLogLine(const std::string& text) override;
  void AddBugLine(const std::string& text) override;
  void EnableControl(int id, bool enabled) override;
  // DialogView.
  int CheckState(int id) override;
  void SetCheckState(int id, int state) override;
  int SliderPosition(int id) override;
  void RefreshData() override;

  // The control with that identifier (its objectName is the number), or null.
  QWidget* Control(int id) const;
  EventLog& Log() const { return *log_; }
  DialogCanvas& Canvas() { return canvas_; }
  TrackerSession& Session() { return session_; }
  // What the initialisation returned: false when it stopped early (no cascade).
  bool InitResult() const { return initResult_; }
  bool ChartsCreated() const { return chartsCreated_; }
  // Tracking runs from Start Tracking to Stop Tracking.
  bool Tracking() const;

  // The window system's menu commands; kAboutCommand shows the About box.
  void SystemCommand(int command);
  // The dialog's menu (right click, menu key) carrying the About entry.
  QMenu* CreateContextMenu(QWidget* parent);

  // Ends the dialog (Exit, the cancel key, closing the window); stops tracking first.
  void done(int result) override;

 protected:
  void paintEvent(QPaintEvent* event) override;
  void contextMenuEvent(QContextMenuEvent* event) override;
  void showEvent(QShowEvent* event) override;
  // Watches the window's exposures: a window coming back (restored, shown again) repaints.
  bool eventFilter(QObject* watched, QEvent* event) override;

 private:
  // A checkable item that switches flag and logs "<name> is on" or "<name> is off".
  void AddSwitch(QMenu* menu, const char* name, std::atomic<int>& flag);
  // "Smallest face": the exclusive choices of the face search's smallest size.
  void AddSmallestFaceMenu(QMenu* menu);
  void AddSettlingMenu(QMenu* menu);
  void BuildControls();
  void ConnectCommands();
  bool InitDialog();
  void CanvasChanged(const QRect& rect);

  TrackerSession& session_;
  DialogHooks hooks_;
  DialogCanvas canvas_;
  DialogStyle* style_ = nullptr;  // owned as a child object
  QStyle* groupStyle_ = nullptr;  // owned as a child object
  std::map<int, QWidget*> controls_;
  EventLog* log_ = nullptr;
  std::vector<ParameterSlider*> sliders_;  // 1028, 1025, 1026, 1027
  QIcon programIcon_;
  std::string cascadeFileName_;
  std::string aboutMenuText_;
  // Areas the canvas asked to repaint and that have not been painted yet; the rest of a
  // paint region is a real expose, which repairs the charts.
  QRegion pendingCanvas_;
  QObject* watchedWindow_ = nullptr;
  bool windowExposed_ = false;
  bool initResult_ = false;
  bool chartsCreated_ = false;
};

}  // namespace pupiltrak
