# The camera layer, frame sources, the frame callback and the video writer (no widgets).
pupiltrak_add_test(capture_layer_tests
  capture_camera_test.cpp capture_sources_test.cpp capture_v4l2_test.cpp
  capture_callback_test.cpp capture_codecs_test.cpp)
# Start and Stop Tracking, the property-page command, the property pages themselves and the
# session's reset.
pupiltrak_add_test(capture_command_tests
  capture_commands_test.cpp capture_recording_test.cpp capture_pages_test.cpp
  capture_session_test.cpp GUI)
