#pragma once
// A strip chart drawn straight onto the dialog: one pixel per value in the newest column at the
// right edge, the trace scrolling one column to the left per value.
//
// Create and Paint run on the GUI thread, AddValue and Show on the frame thread; each chart
// serialises its own operations, and every change of the dialog is one locked canvas step.

#include <QFont>
#include <QImage>
#include <QSize>
#include <mutex>
#include <optional>
#include <string>

#include "platform/Geometry.h"

namespace pupiltrak {

class DialogCanvas;

// The dialog row of the most recently plotted point, shared by charts drawn side by side: each
// chart's white pixel clears the point the other chart plotted one call earlier in its newest
// column.
struct PlottedRow {
  std::mutex mutex;
  std::optional<int> row;
};

class StripChart {
 public:
  // A chart with a row of its own, or one sharing sharedRow with other charts.
  StripChart();
  explicit StripChart(PlottedRow& sharedRow);
  virtual ~StripChart();
  StripChart(const StripChart&) = delete;
  StripChart& operator=(const StripChart&) = delete;

  // Sets the geometry, range and label (cut to 63 characters) and builds the blank chart.
  void Create(DialogCanvas& window, int left, int top, int right, int bottom, double min,
              double max, const std::string& label);
  // Called by the dialog's repaint with the rectangle to repaint (right and bottom exclusive).
  // A repaint touching the chart (edges included) restarts it blank.
  void Paint(DialogCanvas& window, const IntRect& update);
  // Copies the blank chart to the dialog at (left, top).
  void Show(DialogCanvas& window);
  // Plots one value (screen pixels), or a grey gap line when gap is set, then scrolls.
  void AddValue(DialogCanvas& window, double value, bool gap);
  bool Created() const;

  IntRect Rect() const;
  std::string Label() const;
  // Back to the freshly constructed state (tests).
  void Reset();

 private:
  void CreateLocked(int left, int top, int right, int bottom, double min, double max,
                    const std::string& label);
  void ShowLocked(DialogCanvas& window);

  mutable std::mutex mutex_;
  int left_ = 0, top_ = 0, right_ = 0, bottom_ = 0;
  double min_ = 0, max_ = 0;
  double height_ = 0;
  double range_ = 0;
  QImage image_;    // the blank chart, shown by Show
  QImage scratch_;  // the plotting area on its way one column to the left
  std::string label_;
  QFont valueFont_;
  QFont labelFont_;
  bool fontsMade_ = false;
  bool gapPending_ = false;
  bool created_ = false;
  PlottedRow ownRow_;
  PlottedRow* lastRow_;
};

// The two gaze charts of the main dialog, sharing the row of the last plotted point.
struct GazeCharts {
  PlottedRow lastRow;
  StripChart x{lastRow};  // "Gaze X", 0 to the full screen's width
  StripChart y{lastRow};  // "Gaze Y", 0 to its height

  // Both at their places on the main dialog, for a full screen of the given size.
  void Create(DialogCanvas& window, QSize fullScreen);
  // Both blank on the window ("Gaze X" first); nothing without one.
  void Show(DialogCanvas* window);
  // Both and the shared row back to the freshly constructed state.
  void Reset();
};

}  // namespace pupiltrak
