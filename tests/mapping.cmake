pupiltrak_add_test(mapping_tests
  mapping_fit_test.cpp mapping_estimate_test.cpp mapping_protocol_test.cpp
  mapping_accuracy_test.cpp mapping_gaze_test.cpp)
