tallisyn_fuzz_target(metafile_wmf MODULE engine SOURCE fuzz_metafile_wmf.cpp)
