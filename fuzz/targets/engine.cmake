tallisyn_fuzz_target(page_xml MODULE engine SOURCE fuzz_page_xml.cpp)
tallisyn_fuzz_target(document_stream MODULE engine SOURCE fuzz_document_stream.cpp)
tallisyn_fuzz_target(paste_text MODULE engine SOURCE fuzz_paste_text.cpp)
