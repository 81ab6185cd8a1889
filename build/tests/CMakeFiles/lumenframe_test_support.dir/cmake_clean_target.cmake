file(REMOVE_RECURSE
  "liblumenframe_test_support.a"
)
