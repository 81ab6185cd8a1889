
# Consider dependencies only in project.
set(CMAKE_DEPENDS_IN_PROJECT_ONLY OFF)

# The set of languages for which implicit dependencies are needed:
set(CMAKE_DEPENDS_LANGUAGES
  )

# The set of dependency files which are needed:
set(CMAKE_DEPENDS_DEPENDENCY_FILES
  "/work/main/cli/cmd_check.cpp" "CMakeFiles/lumenframe.dir/cli/cmd_check.cpp.o" "gcc" "CMakeFiles/lumenframe.dir/cli/cmd_check.cpp.o.d"
  "/work/main/cli/cmd_kinds.cpp" "CMakeFiles/lumenframe.dir/cli/cmd_kinds.cpp.o" "gcc" "CMakeFiles/lumenframe.dir/cli/cmd_kinds.cpp.o.d"
  "/work/main/cli/cmd_sample.cpp" "CMakeFiles/lumenframe.dir/cli/cmd_sample.cpp.o" "gcc" "CMakeFiles/lumenframe.dir/cli/cmd_sample.cpp.o.d"
  "/work/main/cli/host.cpp" "CMakeFiles/lumenframe.dir/cli/host.cpp.o" "gcc" "CMakeFiles/lumenframe.dir/cli/host.cpp.o.d"
  "/work/main/cli/main.cpp" "CMakeFiles/lumenframe.dir/cli/main.cpp.o" "gcc" "CMakeFiles/lumenframe.dir/cli/main.cpp.o.d"
  )

# Targets to which this target links.
set(CMAKE_TARGET_LINKED_INFO_FILES
  "/work/main/build/CMakeFiles/lumenframe_fixtures.dir/DependInfo.cmake"
  )

# Fortran module output directory.
set(CMAKE_Fortran_TARGET_MODULE_DIR "")
