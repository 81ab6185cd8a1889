# Empty dependencies file for lumenframe_test_support.
# This may be replaced when dependencies are built.
