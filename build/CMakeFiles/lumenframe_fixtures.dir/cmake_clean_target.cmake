file(REMOVE_RECURSE
  "liblumenframe_fixtures.a"
)
