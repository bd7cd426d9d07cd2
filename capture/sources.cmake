set(CAPTURE_CORE_SOURCES
  capture/FrameCallback.cpp capture/FrameCallback.h
  capture/FrameRecord.h
  capture/GazeStream.cpp capture/GazeStream.h
  capture/LastCalibration.cpp capture/LastCalibration.h
  capture/SessionRunner.cpp capture/SessionRunner.h
  capture/TrackerSession.cpp capture/TrackerSession.h
  capture/TrackingCommands.cpp capture/TrackingCommands.h
)
set(CAPTURE_DIALOG_SOURCES
)
