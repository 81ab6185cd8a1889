file(REMOVE_RECURSE
  "lumenframe_tests"
  "lumenframe_tests.pdb"
  "lumenframe_tests[1]_tests.cmake"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lumenframe_tests.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
