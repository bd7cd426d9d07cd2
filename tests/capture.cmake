# The camera layer, frame sources, the frame callback, the video writer and the tracker
# session (no widgets).
pupiltrak_add_test(capture_layer_tests
  capture_camera_test.cpp capture_sources_test.cpp capture_v4l2_test.cpp
  capture_callback_test.cpp capture_codecs_test.cpp capture_session_test.cpp
  capture_runner_test.cpp)
target_link_libraries(capture_layer_tests PRIVATE pupiltrak_generator)
# Start and Stop Tracking, the property-page command and the property pages themselves.
pupiltrak_add_test(capture_command_tests
  capture_commands_test.cpp capture_recording_test.cpp capture_pages_test.cpp GUI)
