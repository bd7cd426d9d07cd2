# Where the program finds its files in a build folder and installed; the installed tree, the
# manual pages and the desktop files.
find_package(Qt6 REQUIRED COMPONENTS Test)
pupiltrak_add_test(install_tests
  dialog_support.h
  install_lookup_test.cpp
  GUI)
target_link_libraries(install_tests PRIVATE Qt6::Test)

# The installed tree and its manual pages (made only where help2man is installed).
if(HELP2MAN)
  add_test(NAME Install.InstalledTreeManualPagesAndDesktopFiles
           COMMAND ${CMAKE_CURRENT_SOURCE_DIR}/install_files_test.sh ${CMAKE_BINARY_DIR}
                   ${PROJECT_VERSION})
endif()
