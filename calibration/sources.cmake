set(CALIBRATION_SOURCES
  calibration/AccuracyTest.cpp calibration/AccuracyTest.h
  calibration/CalibrationRun.cpp calibration/CalibrationRun.h
  calibration/TargetWindows.cpp calibration/TargetWindows.h
)
