# Where the program finds its files in a build folder and installed.
find_package(Qt6 REQUIRED COMPONENTS Test)
pupiltrak_add_test(install_tests
  dialog_support.h
  install_lookup_test.cpp
  GUI)
target_link_libraries(install_tests PRIVATE Qt6::Test)
