set(CAPTURE_CORE_SOURCES
  capture/FrameCallback.cpp capture/FrameCallback.h
  capture/GazeStream.cpp capture/GazeStream.h
  capture/PipelineWiring.cpp capture/PipelineWiring.h
  capture/TrackingCommands.cpp capture/TrackingCommands.h
)
set(CAPTURE_DIALOG_SOURCES
)
