
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/platform/clock.cpp" "CMakeFiles/lumenframe_base.dir/platform/clock.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/platform/clock.cpp.o.d"
  "/work/main/platform/errors.cpp" "CMakeFiles/lumenframe_base.dir/platform/errors.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/platform/errors.cpp.o.d"
  "/work/main/platform/faults.cpp" "CMakeFiles/lumenframe_base.dir/platform/faults.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/platform/faults.cpp.o.d"
  "/work/main/platform/file.cpp" "CMakeFiles/lumenframe_base.dir/platform/file.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/platform/file.cpp.o.d"
  "/work/main/platform/memory.cpp" "CMakeFiles/lumenframe_base.dir/platform/memory.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/platform/memory.cpp.o.d"
  "/work/main/platform/temp_files.cpp" "CMakeFiles/lumenframe_base.dir/platform/temp_files.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/platform/temp_files.cpp.o.d"
  "/work/main/plugin/file_kind.cpp" "CMakeFiles/lumenframe_base.dir/plugin/file_kind.cpp.o" "gcc" "CMakeFiles/lumenframe_base.dir/plugin/file_kind.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
