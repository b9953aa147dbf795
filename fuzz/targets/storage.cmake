tallisyn_fuzz_target(storage MODULE persist SOURCE fuzz_storage.cpp)
tallisyn_fuzz_target(storage_file MODULE persist SOURCE fuzz_storage_file.cpp)
