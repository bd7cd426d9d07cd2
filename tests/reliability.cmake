# Faults and awkward input: frames of every size and layout, a camera that is missing, busy or
# goes away, files that cannot be written, a user who clicks fast, and the dialog with a broken
# cascade, or closed while tracking. The frame recipes are shared with the fuzzer in fuzz/.
pupiltrak_add_test(reliability_tests
  reliability_support.h reliability_support.cpp
  reliability_frames_test.cpp
  reliability_camera_test.cpp
  reliability_files_test.cpp
  reliability_users_test.cpp
  reliability_dialog_test.cpp
  ${PROJECT_SOURCE_DIR}/fuzz/FrameRecipe.cpp ${PROJECT_SOURCE_DIR}/fuzz/FrameRecipe.h
  GUI)
target_include_directories(reliability_tests PRIVATE ${PROJECT_SOURCE_DIR}/fuzz)
find_package(Qt6 REQUIRED COMPONENTS Test)
target_link_libraries(reliability_tests PRIVATE pupiltrak_replay pupiltrak_generator Qt6::Test)
