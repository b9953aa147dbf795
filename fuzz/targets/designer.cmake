tallisyn_fuzz_target(split_sides MODULE designer SOURCE fuzz_split_sides.cpp)
