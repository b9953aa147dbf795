tallisyn_fuzz_target(bitmap_data MODULE raster SOURCE fuzz_bitmap_data.cpp)
