file(REMOVE_RECURSE
  "CMakeFiles/lumenframe_objects.dir/plugin/exports.cpp.o"
  "CMakeFiles/lumenframe_objects.dir/plugin/exports.cpp.o.d"
  "CMakeFiles/lumenframe_objects.dir/plugin/pending_operations.cpp.o"
  "CMakeFiles/lumenframe_objects.dir/plugin/pending_operations.cpp.o.d"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lumenframe_objects.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
