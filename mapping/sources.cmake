set(MAPPING_SOURCES
  mapping/CalibrationProtocol.cpp mapping/CalibrationProtocol.h
  mapping/GazeMapping.cpp mapping/GazeMapping.h
)
