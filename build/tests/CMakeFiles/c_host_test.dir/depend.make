# Empty dependencies file for c_host_test.
# This may be replaced when dependencies are built.
