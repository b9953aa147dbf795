tallisyn_fuzz_target(metafile_emf MODULE engine SOURCE fuzz_metafile_emf.cpp)
