#pragma once
// The four option check boxes (1010, 1012, 1022, 1023) and the four detection-parameter
// sliders (1028, 1025, 1026, 1027). Each writes its fields of the tracker state and logs the
// change.

namespace pupiltrak {

class DialogView;
struct TrackerState;

// Click on an option check box: reads its state and runs the "on" or "off" action.
void OptionClicked(DialogView& view, TrackerState& t, int id);

// A slider starts a paint cycle: its position becomes the finder parameter and is logged,
// every time, also when it did not change.
void SliderDrawn(DialogView& view, TrackerState& t, int id);

}  // namespace pupiltrak
