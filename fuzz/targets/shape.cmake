tallisyn_fuzz_target(shape_blob MODULE engine SOURCE fuzz_shape_blob.cpp)
