# Empty dependencies file for lumenframe_base.
# This may be replaced when dependencies are built.
