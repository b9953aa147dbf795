tallisyn_fuzz_target(image_bmp MODULE persist SOURCE fuzz_image_bmp.cpp)
tallisyn_fuzz_target(image_filer MODULE persist SOURCE fuzz_image_filer.cpp)
