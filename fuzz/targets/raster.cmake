tallisyn_fuzz_target(polygon MODULE raster SOURCE fuzz_polygon.cpp)
