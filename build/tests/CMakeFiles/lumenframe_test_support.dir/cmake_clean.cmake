file(REMOVE_RECURSE
  "CMakeFiles/lumenframe_test_support.dir/support/host_module.cpp.o"
  "CMakeFiles/lumenframe_test_support.dir/support/host_module.cpp.o.d"
  "liblumenframe_test_support.a"
  "liblumenframe_test_support.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lumenframe_test_support.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
