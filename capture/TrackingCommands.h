#pragma once
// Start Tracking (button 1000), Stop Tracking (button 1001) and the two property-page commands
// (buttons 1019, 1020). All run on the GUI thread.

#include <functional>

namespace pupiltrak {

class DialogControls;
class TrackerSession;

void StartTrackingCommand(TrackerSession& session, DialogControls& dialog);
void StopTrackingCommand(TrackerSession& session, DialogControls& dialog);
bool EndTracking(TrackerSession& session, DialogControls& dialog);
// name: "camera_pp" (button 1019) or "video_pp" (button 1020). The pages are the window
// system's, on the process's camera layer.
void PropertyPageCommand(DialogControls& dialog, const char* name);

// StartTracking with work to do after everything is prepared but before frames are let into
// the pipeline (TrackingActive set): the command resets the pupil histories and the accuracy
// targets there, so the frame thread never sees them half reset.
bool StartTracking(TrackerSession& session, DialogControls& dialog,
                   const std::function<void()>& beforeFramesFlow);

}  // namespace pupiltrak
