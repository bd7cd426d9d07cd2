set(CAPTURE_CORE_SOURCES
  capture/FrameCallback.cpp capture/FrameCallback.h
  capture/PipelineWiring.cpp capture/PipelineWiring.h
)
set(CAPTURE_DIALOG_SOURCES
  capture/TrackingCommands.cpp capture/TrackingCommands.h
)
