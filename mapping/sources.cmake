set(MAPPING_SOURCES
  mapping/AccuracyMeasures.cpp mapping/AccuracyMeasures.h
  mapping/CalibrationData.cpp mapping/CalibrationData.h
  mapping/CalibrationProtocol.cpp mapping/CalibrationProtocol.h
  mapping/Fixations.cpp mapping/Fixations.h
  mapping/GazeMapping.cpp mapping/GazeMapping.h
  mapping/GazeQuality.cpp mapping/GazeQuality.h
)
