# Drawing surfaces, resources, the status panel, the strip charts and the target windows.
pupiltrak_add_test(display_tests
  display_surface_test.cpp
  display_stripchart_test.cpp
  display_statuspanel_test.cpp
  display_resources_test.cpp
  display_pictures_test.cpp
  display_gazepictures_test.cpp
  targetwindows_slots_test.cpp)

# The Qt target windows live in the widgets library.
pupiltrak_add_test(targetwindows_qt_tests targetwindows_qt_test.cpp GUI)
