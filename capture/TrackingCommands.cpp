#include "capture/TrackingCommands.h"

#include "app/DialogControls.h"

void StartTrackingCommand(DialogControls&) {}
void StopTrackingCommand(DialogControls&) {}
bool StartTracking(DialogControls&) { return true; }
bool EndTracking(DialogControls&) { return true; }
void PropertyPageCommand(DialogControls&, const char*) {}
