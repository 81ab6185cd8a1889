file(REMOVE_RECURSE
  "CMakeFiles/lumenframe_fixtures.dir/tests/support/fixture_builder.cpp.o"
  "CMakeFiles/lumenframe_fixtures.dir/tests/support/fixture_builder.cpp.o.d"
  "liblumenframe_fixtures.a"
  "liblumenframe_fixtures.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/lumenframe_fixtures.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
