tallisyn_fuzz_target(hck MODULE persist SOURCE fuzz_hck.cpp)
