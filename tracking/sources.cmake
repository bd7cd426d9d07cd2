set(TRACKING_SOURCES
  tracking/EyeRegions.cpp tracking/EyeRegions.h
  tracking/FramePipeline.cpp tracking/FramePipeline.h
  tracking/FrameResults.cpp tracking/FrameResults.h
  tracking/PupilFinder.cpp tracking/PupilFinder.h
)
