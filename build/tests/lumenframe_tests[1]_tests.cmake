set(  lumenframe_tests_TESTS)
