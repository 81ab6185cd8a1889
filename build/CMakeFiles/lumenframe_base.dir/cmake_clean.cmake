file(REMOVE_RECURSE
  "CMakeFiles/lumenframe_base.dir/platform/clock.cpp.o"
  "CMakeFiles/lumenframe_base.dir/platform/clock.cpp.o.d"
  "CMakeFiles/lumenframe_base.dir/platform/errors.cpp.o"
  "CMakeFiles/lumenframe_base.dir/platform/errors.cpp.o.d"
  "CMakeFiles/lumenframe_base.dir/platform/faults.cpp.o"
  "CMakeFiles/lumenframe_base.dir/platform/faults.cpp.o.d"
  "CMakeFiles/lumenframe_base.dir/platform/file.cpp.o"
  "CMakeFiles/lumenframe_base.dir/platform/file.cpp.o.d"
  "CMakeFiles/lumenframe_base.dir/platform/memory.cpp.o"
  "CMakeFiles/lumenframe_base.dir/platform/memory.cpp.o.d"
  "CMakeFiles/lumenframe_base.dir/platform/temp_files.cpp.o"
  "CMakeFiles/lumenframe_base.dir/platform/temp_files.cpp.o.d"
  "CMakeFiles/lumenframe_base.dir/plugin/file_kind.cpp.o"
  "CMakeFiles/lumenframe_base.dir/plugin/file_kind.cpp.o.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lumenframe_base.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
