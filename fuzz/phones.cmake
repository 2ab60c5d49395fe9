# Fuzz targets of the phone side.
