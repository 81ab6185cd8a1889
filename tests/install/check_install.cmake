# SPDX-License-Identifier: MIT
# Installs the build into a fresh prefix and uses only what was installed: the tool makes a photo
# and reads it through the module it finds, a C host is built with pkg-config's flags, and a CMake
# project builds the same host as C and C++ through find_package(Lumenframe).
# -DBUILD_DIR= -DSOURCE_DIR= -DWORK_DIR=
file(REMOVE_RECURSE ${WORK_DIR})
set(prefix ${WORK_DIR}/prefix)

function(run)
  execute_process(COMMAND ${ARGN} RESULT_VARIABLE result OUTPUT_VARIABLE out ERROR_VARIABLE err)
  if(NOT result EQUAL 0)
    message(FATAL_ERROR "failed (${result}): ${ARGN}\n${out}\n${err}")
  endif()
  set(out "${out}" PARENT_SCOPE)
endfunction()

run(${CMAKE_COMMAND} --install ${BUILD_DIR} --prefix ${prefix})
foreach(installed bin/lumenframe include/lumenframe/lumenframe.h
    share/bash-completion/completions/lumenframe share/doc/Lumenframe/LICENSE)
  if(NOT EXISTS ${prefix}/${installed})
    message(FATAL_ERROR "not installed: ${installed}")
  endif()
endforeach()
# The module is a plug-in, not a library to link: in its private folder, not the public one.
file(GLOB module ${prefix}/lib*/lumenframe/Lumenframe.pcp)
file(GLOB public_module ${prefix}/lib*/Lumenframe.pcp ${prefix}/lib*/*/Lumenframe.pcp)
list(REMOVE_ITEM public_module ${module})
file(GLOB_RECURSE pc_file ${prefix}/lib*/pkgconfig/lumenframe.pc)
if(NOT module OR public_module OR NOT pc_file)
  message(FATAL_ERROR "the module is not (only) in lib/lumenframe/, or lumenframe.pc is missing")
endif()
file(GLOB man_page ${prefix}/share/man/man1/lumenframe.1)
find_program(HELP2MAN help2man)
if(HELP2MAN AND NOT man_page)
  message(FATAL_ERROR "the man page is not installed")
endif()

# The installed tool finds the installed module (and nothing of the build tree).
set(photo ${WORK_DIR}/photo.jpg)
run(${CMAKE_COMMAND} -E env --unset=LUMENFRAME_MODULE ${prefix}/bin/lumenframe sample ${photo})
run(${CMAKE_COMMAND} -E env --unset=LUMENFRAME_MODULE ${prefix}/bin/lumenframe info ${photo})

# pkg-config: the flags and the module's path.
get_filename_component(pc_dir ${pc_file} DIRECTORY)
set(ENV{PKG_CONFIG_PATH} ${pc_dir})
run(pkg-config --cflags --libs lumenframe)
separate_arguments(flags UNIX_COMMAND "${out}")
run(pkg-config --variable=module lumenframe)
string(STRIP "${out}" pc_module)
run(cc -std=c99 -Wall -Werror ${SOURCE_DIR}/tests/install/install_host.c -o ${WORK_DIR}/host ${flags})
run(${WORK_DIR}/host ${pc_module} ${photo})
if(NOT out MATCHES "^orientation [1-8] date [0-9][0-9][0-9][0-9]:[0-9][0-9]:[0-9][0-9]")
  message(FATAL_ERROR "the pkg-config host read: ${out}")
endif()
set(expected "${out}")

# find_package(Lumenframe): the same host as C and as C++.
run(${CMAKE_COMMAND} -S ${SOURCE_DIR}/tests/install -B ${WORK_DIR}/consumer -DCMAKE_PREFIX_PATH=${prefix})
run(${CMAKE_COMMAND} --build ${WORK_DIR}/consumer)
file(READ ${WORK_DIR}/consumer/module.txt package_module)
foreach(host host_c host_cpp)
  run(${WORK_DIR}/consumer/${host} ${package_module} ${photo})
  if(NOT out STREQUAL expected)
    message(FATAL_ERROR "${host} read: ${out}")
  endif()
endforeach()
file(REMOVE_RECURSE ${WORK_DIR})
