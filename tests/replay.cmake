pupiltrak_add_test(replay_tests replay_options_test.cpp replay_run_test.cpp replay_batch_test.cpp
  replay_interrupt_test.cpp replay_inputs_test.cpp replay_gaze_test.cpp)
# The batch test runs the program itself.
add_dependencies(replay_tests pupiltrak08-replay)
target_link_libraries(replay_tests PRIVATE pupiltrak_replay)
