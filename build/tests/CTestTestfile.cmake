# CMake generated Testfile for 
# Source directory: /work/main/tests
# Build directory: /work/main/build/tests
# 
# This file includes the relevant testing commands required for 
# testing this directory and lists subdirectories to be tested as well.
include("/work/main/build/tests/lumenframe_tests[1]_include.cmake")
add_test([=[c_host_test]=] "/work/main/build/tests/c_host_test")
set_tests_properties([=[c_host_test]=] PROPERTIES  _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;30;add_test;/work/main/tests/CMakeLists.txt;0;")
add_test([=[exported_symbols]=] "/usr/bin/cmake" "-DMODULE=/work/main/build/Lumenframe.pcp" "-DEXPECTED=/work/main/tests/c/expected_exports.txt" "-P" "/work/main/tests/c/check_exports.cmake")
set_tests_properties([=[exported_symbols]=] PROPERTIES  _BACKTRACE_TRIPLES "/work/main/tests/CMakeLists.txt;33;add_test;/work/main/tests/CMakeLists.txt;0;")
