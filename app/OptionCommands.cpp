#include "app/OptionCommands.h"

#include <string>

#include "app/DialogTemplate.h"
#include "app/DialogView.h"
#include "tracking/TrackerState.h"

namespace pupiltrak {

namespace {

constexpr int kUnchecked = 0;
constexpr int kChecked = 1;

void EyeRegionsClicked(DialogView& view, TrackerState& t, int state) {
  if (state == kChecked) {
    view.AddLogLine("Search for eye regions is on");
    t.SearchEyeRegions = 1;
  } else if (state == kUnchecked) {
    // The gaze needs the eye regions, so it goes off with them.
    view.AddLogLine("Search for eye regions is off");
    t.SearchEyeRegions = 0;
    t.EstimateGazeDirection = 0;
    view.SetCheckState(control_id::kGazeDirection, kUnchecked);
  }
}

void GazeDirectionClicked(DialogView& view, TrackerState& t, int state) {
  if (state == kChecked) {
    view.AddLogLine("Estimation of gaze direction and its prerequisites are on");
    t.EstimateGazeDirection = 1;
    t.SearchEyeRegions = 1;
    view.SetCheckState(control_id::kEyeRegions, kChecked);
  } else if (state == kUnchecked) {
    view.AddLogLine("Estimation of gaze direction is off");
    t.EstimateGazeDirection = 0;
  }
}

void FlagClicked(DialogView& view, int state, std::atomic<int>& flag, const char* name) {
  if (state == kChecked) {
    view.AddLogLine(std::string(name) + " is on");
    flag = 1;
  } else if (state == kUnchecked) {
    view.AddLogLine(std::string(name) + " is off");
    flag = 0;
  }
}

}  // namespace

void OptionClicked(DialogView& view, TrackerState& t, int id) {
  int state = view.CheckState(id);
  switch (id) {
    case control_id::kEyeRegions:
      EyeRegionsClicked(view, t, state);
      break;
    case control_id::kGazeDirection:
      GazeDirectionClicked(view, t, state);
      break;
    case control_id::kEqualizeHist1:
      FlagClicked(view, state, t.EqualizeHist1, "EqualizeHist1");
      break;
    case control_id::kEqualizeHist2:
      FlagClicked(view, state, t.EqualizeHist2, "EqualizeHist2");
      break;
    default:
      break;
  }
}

void SliderDrawn(DialogView& view, TrackerState& t, int id) {
  std::atomic<int>* field = nullptr;
  const char* name = nullptr;
  switch (id) {
    case control_id::kFinder1Param1:
      field = &t.Finder1Param1;
      name = "Finder1Param1";
      break;
    case control_id::kFinder1Param2:
      field = &t.Finder1Param2;
      name = "Finder1Param2";
      break;
    case control_id::kFinder2Param1:
      field = &t.Finder2Param1;
      name = "Finder2Param1";
      break;
    case control_id::kFinder2Param2:
      field = &t.Finder2Param2;
      name = "Finder2Param2";
      break;
    default:
      return;
  }
  int position = view.SliderPosition(id);
  *field = position;
  view.AddLogLine(std::string(name) + " = " + std::to_string(position));
}

}  // namespace pupiltrak
