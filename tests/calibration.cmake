pupiltrak_add_test(calibration_tests
  calibration_fixture.h calibration_run_test.cpp calibration_panel_test.cpp
  calibration_accuracy_test.cpp)
