#pragma once
// Choosing the capture file (button 1003) and switching recording (check box 1017). Recording
// itself starts and stops with tracking; these only set the file name and CaptureToFile.

namespace pupiltrak {

class DialogView;
struct TrackerState;

// Runs the save-file chooser; a confirmed name becomes the capture file.
void SetCaptureFileCommand(DialogView& view, TrackerState& t);
// Click on "Capture to file": asks for a file first when none was chosen yet.
void CaptureToFileCommand(DialogView& view, TrackerState& t);

}  // namespace pupiltrak
