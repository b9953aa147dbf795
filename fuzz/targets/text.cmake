tallisyn_fuzz_target(fontsdat MODULE text SOURCE fuzz_fontsdat.cpp)
