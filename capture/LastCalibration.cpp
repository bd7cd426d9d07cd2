#include "capture/LastCalibration.h"

#include "capture/TrackerSession.h"
#include "mapping/CalibrationProtocol.h"
#include "mapping/GazeMapping.h"
#include "platform/DialogControls.h"
#include "platform/Machine.h"

namespace pupiltrak {

void UseLastCalibrationCommand(TrackerSession& session, DialogControls& dialog, bool on,
                               const std::string& protocolPath) {
  if (!on) {
    session.StopUsingMapping();
    dialog.AddLogLine("No longer using the last calibration");
    return;
  }
  GazeMapping mapping;
  std::string error, warning;
  int line = 0;
  if (!ReadLastMappingFromFile(protocolPath, &mapping, &error, &line, &warning)) {
    dialog.AddBugLine("Cannot use the last calibration: " + error);
    return;
  }
  session.UseMapping(mapping, session.platform.Machine().FullScreenSize());
  dialog.AddLogLine("Using the last calibration: the mapping report at line " +
                    std::to_string(line) + " of " + protocolPath);
  // The last calibration failed and an older one is used: the user may want to calibrate.
  if (!warning.empty()) dialog.AddLogLine("Warning: " + warning);
}

}  // namespace pupiltrak
