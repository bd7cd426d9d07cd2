#pragma once
// "Use last calibration" in the dialog's right-click menu: gaze, the charts and the gaze
// stream from the last complete mapping in the protocol file, without calibrating again.
// Off at program start; a Calibrate replaces it.

#include <string>

namespace pupiltrak {

class DialogControls;
class TrackerSession;

// on: reads the last complete mapping report of the protocol at protocolPath and sets it on
// the session for the full screen of the moment, logging which report was taken, and a
// "Warning: " line when a later report's fit failed (a "Bug: " line and nothing set when there
// is no complete report). off: the session stops using it. GUI thread.
void UseLastCalibrationCommand(TrackerSession& session, DialogControls& dialog, bool on,
                               const std::string& protocolPath);

}  // namespace pupiltrak
