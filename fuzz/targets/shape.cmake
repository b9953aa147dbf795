tallisyn_fuzz_target(shape_blob MODULE engine SOURCE fuzz_shape_blob.cpp)
tallisyn_fuzz_target(shapes_xml MODULE shapes SOURCE fuzz_shapes_xml.cpp)
