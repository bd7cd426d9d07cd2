# Tracking quality on real webcam video: the score of a replay's pupils against annotated eye
# centres, the scoring itself, and precise pupils on real eyes with creases and lids.
pupiltrak_add_test(quality_tests quality_score_test.cpp quality_webcam_test.cpp)
target_link_libraries(quality_tests PRIVATE pupiltrak_pupil_score pupiltrak_generator)
# The clip's test runs the replay itself.
add_dependencies(quality_tests pupiltrak08-replay)
