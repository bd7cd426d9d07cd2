set(CAPTURE_CORE_SOURCES
  capture/PipelineWiring.cpp capture/PipelineWiring.h
)
set(CAPTURE_DIALOG_SOURCES
)
