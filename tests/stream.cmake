# The gaze stream: the replay's messages, its faults, the switch while frames flow, the menu.
find_package(Qt6 REQUIRED COMPONENTS Test)
pupiltrak_add_test(stream_tests stream_test.cpp GUI)
target_link_libraries(stream_tests PRIVATE pupiltrak_replay Qt6::Test PkgConfig::ZMQ)
