tallisyn_fuzz_target(xml MODULE persist SOURCE fuzz_xml.cpp)
