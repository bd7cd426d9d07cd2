#pragma once
// A strip chart drawn straight onto the dialog: one pixel per value in the newest column at the
// right edge, the trace scrolling one column to the left per value.

#include <QFont>
#include <QImage>
#include <mutex>
#include <string>

#include "platform/Geometry.h"

class DialogCanvas;

class StripChart {
 public:
  StripChart();
  virtual ~StripChart();
  void Create(DialogCanvas& window, int left, int top, int right, int bottom, double min,
              double max, const std::string& label);
  // Called by the dialog's repaint with the rectangle to repaint (right and bottom exclusive).
  void Paint(DialogCanvas& window, const IntRect& update);
  void Show(DialogCanvas& window);
  void AddValue(DialogCanvas& window, double value, bool gap);
  bool Created() const;
};

StripChart& GazeXChart();
StripChart& GazeYChart();
// Shows both charts blank on the main dialog ("Gaze X" first); nothing without a dialog.
void ShowGazeCharts();
