# The main dialog, its commands and the Qt side of the platform layer, driven offscreen.
find_package(Qt6 REQUIRED COMPONENTS Test)
pupiltrak_add_test(dialog_tests
  dialog_support.h
  dialog_commands_test.cpp
  dialog_eventlog_test.cpp
  dialog_options_test.cpp
  dialog_paint_test.cpp
  dialog_platform_test.cpp
  dialog_start_test.cpp
  dialog_template_test.cpp
  GUI)
target_link_libraries(dialog_tests PRIVATE Qt6::Test)
