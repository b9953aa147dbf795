tallisyn_fuzz_target(page_xml MODULE engine SOURCE fuzz_page_xml.cpp)
