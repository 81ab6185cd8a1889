# Empty compiler generated dependencies file for Lumenframe.
# This may be replaced when dependencies are built.
