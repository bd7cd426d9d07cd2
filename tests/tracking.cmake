# The eye-tracking pipeline: its algorithms, the mosaic, whole frames of real photographs and
# generated frames, and the frame generator itself.
pupiltrak_add_test(tracking_tests
  tracking_support.h
  tracking_algorithms_test.cpp
  tracking_mosaic_test.cpp
  tracking_pipeline_test.cpp
  tracking_photo_test.cpp
  tracking_generator_test.cpp
  tracking_precise_test.cpp
  tracking_follow_test.cpp
  tracking_faces_ahead_test.cpp)
target_link_libraries(tracking_tests PRIVATE pupiltrak_generator)
