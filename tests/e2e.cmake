# Whole sessions through the real dialog: a virtual user in front of a generated camera, from
# Start Tracking through the calibration and the accuracy test to Stop Tracking.
find_package(Qt6 REQUIRED COMPONENTS Test)
pupiltrak_add_test(e2e_tests
  e2e_support.h
  e2e_support.cpp
  e2e_session_test.cpp
  e2e_blinks_test.cpp
  e2e_lastcalibration_test.cpp
  GUI)
target_link_libraries(e2e_tests PRIVATE Qt6::Test pupiltrak_replay)
