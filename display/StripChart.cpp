#include "display/StripChart.h"

StripChart::StripChart() = default;
StripChart::~StripChart() = default;
void StripChart::Create(DialogCanvas&, int, int, int, int, double, double, const std::string&) {}
void StripChart::Paint(DialogCanvas&, const IntRect&) {}
void StripChart::Show(DialogCanvas&) {}
void StripChart::AddValue(DialogCanvas&, double, bool) {}
bool StripChart::Created() const { return false; }

StripChart& GazeXChart() {
  static StripChart chart;
  return chart;
}
StripChart& GazeYChart() {
  static StripChart chart;
  return chart;
}
void ShowGazeCharts() {}
