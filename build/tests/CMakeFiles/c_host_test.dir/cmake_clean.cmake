file(REMOVE_RECURSE
  "CMakeFiles/c_host_test.dir/c/c_host_test.c.o"
  "CMakeFiles/c_host_test.dir/c/c_host_test.c.o.d"
  "c_host_test"
  "c_host_test.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang C)
  include(CMakeFiles/c_host_test.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
