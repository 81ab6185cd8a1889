file(REMOVE_RECURSE
  "CMakeFiles/lumenframe.dir/cli/cmd_check.cpp.o"
  "CMakeFiles/lumenframe.dir/cli/cmd_check.cpp.o.d"
  "CMakeFiles/lumenframe.dir/cli/cmd_kinds.cpp.o"
  "CMakeFiles/lumenframe.dir/cli/cmd_kinds.cpp.o.d"
  "CMakeFiles/lumenframe.dir/cli/cmd_sample.cpp.o"
  "CMakeFiles/lumenframe.dir/cli/cmd_sample.cpp.o.d"
  "CMakeFiles/lumenframe.dir/cli/host.cpp.o"
  "CMakeFiles/lumenframe.dir/cli/host.cpp.o.d"
  "CMakeFiles/lumenframe.dir/cli/main.cpp.o"
  "CMakeFiles/lumenframe.dir/cli/main.cpp.o.d"
  "lumenframe"
  "lumenframe.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lumenframe.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
