# Empty dependencies file for lumenframe_fixtures.
# This may be replaced when dependencies are built.
