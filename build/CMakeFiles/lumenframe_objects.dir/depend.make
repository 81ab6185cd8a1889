# Empty dependencies file for lumenframe_objects.
# This may be replaced when dependencies are built.
