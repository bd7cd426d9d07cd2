pupiltrak_add_test(smoke_tests smoke_test.cpp)
