# Empty dependencies file for lumenframe_tests.
# This may be replaced when dependencies are built.
