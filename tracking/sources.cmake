set(TRACKING_SOURCES
  tracking/EyeRegions.cpp tracking/EyeRegions.h
  tracking/EyeCentre.cpp tracking/EyeCentre.h
  tracking/EyeVector.cpp tracking/EyeVector.h
  tracking/FacesAhead.cpp tracking/FacesAhead.h
  tracking/FaceCascade.cpp tracking/FaceCascade.h
  tracking/FaceDetection.cpp tracking/FaceDetection.h
  tracking/FaceFollower.cpp tracking/FaceFollower.h
  tracking/FramePipeline.cpp tracking/FramePipeline.h
  tracking/FrameResults.h
  tracking/Mosaic.cpp tracking/Mosaic.h
  tracking/PupilFinder.cpp tracking/PupilFinder.h
  tracking/TrackerSettings.h
  tracking/TrackerState.cpp tracking/TrackerState.h
)
