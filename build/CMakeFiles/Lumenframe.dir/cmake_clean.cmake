file(REMOVE_RECURSE
  "Lumenframe.pcp"
  "Lumenframe.pdb"
)

# Per-language clean rules from dependency scanning.
foreach(lang CXX)
  include(CMakeFiles/Lumenframe.dir/cmake_clean_${lang}.cmake OPTIONAL)
endforeach()
