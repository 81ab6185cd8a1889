# Empty dependencies file for lumenframe.
# This may be replaced when dependencies are built.
